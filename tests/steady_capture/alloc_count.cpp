#include "steady_capture/alloc_count.h"

#include <atomic>

namespace {

std::atomic<long long> g_counts[3];
// A plain thread-local (no constructor): safe to read inside malloc.
thread_local int t_window = 0;

// Every counted allocation passes here: a debugger's breakpoint on it shows
// where a per-frame allocation comes from.
[[gnu::noinline]] void allocation_in_window(int window) noexcept {
    g_counts[window].fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

// The counting policy behind bench/alloc_interpose.cpp.
void alloc_counted() noexcept {
    if (t_window != 0) allocation_in_window(t_window);
}

void alloc_window(AllocWindow kind) { t_window = static_cast<int>(kind); }
long long allocations_in(AllocWindow kind) { return g_counts[static_cast<int>(kind)].load(); }
