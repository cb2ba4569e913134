// Heap allocations of this test program, counted per window: a thread opens
// a window of a kind, and every allocation it makes while the window is open
// counts for that kind. This program's malloc, calloc and realloc (and so
// operator new, which calls malloc) count before glibc's allocator does the
// work; under the sanitizers, which own malloc, only operator new counts.
#pragma once

enum class AllocWindow { none = 0, bang = 1, callback = 2 };

// Opens (or, with none, closes) the calling thread's window.
void alloc_window(AllocWindow kind);
// Allocations counted for a kind since the program started.
long long allocations_in(AllocWindow kind);
