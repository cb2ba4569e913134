// The allocator's entry points, routed through alloc_counted(), which the
// program that links this file defines (its own counting policy). Outside
// the sanitizers malloc, calloc and realloc are replaced, so every library
// the program loads is counted, and operator new with them; under the
// sanitizers, which own malloc, only operator new is counted.
#include <cstddef>
#include <cstdlib>
#include <new>

// Called once per allocation, from any thread, inside the allocator: it must
// not allocate.
void alloc_counted() noexcept;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)

void* operator new(std::size_t n) {
    alloc_counted();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    alloc_counted();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    alloc_counted();
    return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    alloc_counted();
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
    alloc_counted();
    return __libc_malloc(n);
}
extern "C" void* calloc(std::size_t n, std::size_t size) noexcept {
    alloc_counted();
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, std::size_t n) noexcept {
    alloc_counted();
    return __libc_realloc(p, n);
}

#endif
