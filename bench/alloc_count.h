// Heap allocations of a benchmark program, counted: the program's malloc,
// calloc and realloc (and so operator new, which calls malloc) pass through
// counters before glibc's allocator. Under the sanitizers, which own malloc,
// only operator new is counted.
//
// Host-thread allocations count only inside a window the benchmark opens
// (around a bang); allocations of every other thread (the streaming threads
// that deliver samples and run the frame callback) always count.
#pragma once

namespace vorbench {

struct AllocCounts {
    long long host = 0;   // on the host thread, inside windows
    long long other = 0;  // on any other thread
};

// The calling thread is the host thread from now on.
void alloc_mark_host_thread();
void alloc_window(bool open);
AllocCounts alloc_counts();

}  // namespace vorbench
