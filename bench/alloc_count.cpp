#include "alloc_count.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long long> g_host{0};
std::atomic<long long> g_other{0};
// Plain thread-locals (no constructors): safe to touch from the allocator.
thread_local bool t_host_thread = false;
thread_local bool t_window = false;

inline void count_one() {
    if (t_host_thread) {
        if (t_window) g_host.fetch_add(1, std::memory_order_relaxed);
    } else {
        g_other.fetch_add(1, std::memory_order_relaxed);
    }
}

}  // namespace

namespace vorbench {

void alloc_mark_host_thread() { t_host_thread = true; }
void alloc_window(bool open) { t_window = open; }
AllocCounts alloc_counts() { return {g_host.load(), g_other.load()}; }

}  // namespace vorbench

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

// glibc's own entry points; the program's definitions below take the place
// of malloc, calloc and realloc for every library the program loads.
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
