#include "alloc_count.h"

#include <atomic>

namespace {

std::atomic<long long> g_host{0};
std::atomic<long long> g_other{0};
// Plain thread-locals (no constructors): safe to touch from the allocator.
thread_local bool t_host_thread = false;
thread_local bool t_window = false;

}  // namespace

// The counting policy behind bench/alloc_interpose.cpp.
void alloc_counted() noexcept {
    if (t_host_thread) {
        if (t_window) g_host.fetch_add(1, std::memory_order_relaxed);
    } else {
        g_other.fetch_add(1, std::memory_order_relaxed);
    }
}

namespace vorbench {

void alloc_mark_host_thread() { t_host_thread = true; }
void alloc_window(bool open) { t_window = open; }
AllocCounts alloc_counts() { return {g_host.load(), g_other.load()}; }

}  // namespace vorbench
