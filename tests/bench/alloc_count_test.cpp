// The benchmarks' allocation counter: the host thread counts only inside a
// window, every other thread always; malloc, calloc, realloc and operator
// new all count.
#include "alloc_count.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <thread>

namespace {

// Keeps the compiler from removing an allocation it can see through.
void* volatile g_keep;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMallocCounted = false;  // the sanitizers own malloc: only operator new counts
#else
constexpr bool kMallocCounted = true;
#endif

TEST(AllocCount, HostThreadCountsInsideWindowsOnly) {
    if (!kMallocCounted) GTEST_SKIP() << "malloc is not counted under the sanitizers";
    vorbench::alloc_mark_host_thread();
    const auto before = vorbench::alloc_counts();
    g_keep = std::malloc(32);
    std::free(g_keep);
    EXPECT_EQ(vorbench::alloc_counts().host, before.host);

    vorbench::alloc_window(true);
    g_keep = std::malloc(32);
    std::free(g_keep);
    auto object = std::make_unique<int[]>(100);
    g_keep = object.get();
    vorbench::alloc_window(false);
    EXPECT_EQ(vorbench::alloc_counts().host, before.host + 2);

    vorbench::alloc_window(true);
    void* p = std::calloc(4, 8);
    p = std::realloc(p, 4096);
    std::free(p);
    vorbench::alloc_window(false);
    EXPECT_EQ(vorbench::alloc_counts().host, before.host + 4);
}

TEST(AllocCount, OtherThreadsAlwaysCount) {
    if (!kMallocCounted) GTEST_SKIP() << "malloc is not counted under the sanitizers";
    vorbench::alloc_mark_host_thread();
    const auto before = vorbench::alloc_counts();
    std::thread([] {
        // Whatever this thread's window says.
        vorbench::alloc_window(false);
        for (int i = 0; i < 3; ++i) {
            g_keep = std::malloc(64);
            std::free(g_keep);
        }
    }).join();
    const auto after = vorbench::alloc_counts();
    // The thread's own start-up may allocate too; these three are there.
    EXPECT_GE(after.other - before.other, 3);
    EXPECT_EQ(after.host, before.host);
}

}  // namespace
