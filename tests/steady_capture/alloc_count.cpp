#include "steady_capture/alloc_count.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long long> g_counts[3];
// A plain thread-local (no constructor): safe to read inside malloc.
thread_local int t_window = 0;

inline void count_one() {
    if (t_window != 0) g_counts[t_window].fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

void alloc_window(AllocWindow kind) { t_window = static_cast<int>(kind); }
long long allocations_in(AllocWindow kind) { return g_counts[static_cast<int>(kind)].load(); }

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)

void* operator new(std::size_t n) {
    count_one();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    count_one();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    count_one();
    return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    count_one();
    return std::malloc(n ? n : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

#else

// glibc's own entry points; the definitions below take the place of malloc,
// calloc and realloc for every library this program loads.
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);

extern "C" void* malloc(std::size_t n) noexcept {
    count_one();
    return __libc_malloc(n);
}
extern "C" void* calloc(std::size_t n, std::size_t size) noexcept {
    count_one();
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, std::size_t n) noexcept {
    count_one();
    return __libc_realloc(p, n);
}

#endif
