// Which vector instructions the pixel kernels may use on this CPU, found
// once. The kernels themselves never ask: the code that picks a kernel table
// does, and tests ask for every table the CPU can run.
#pragma once

enum class CpuLevel {
    reference,  // plain C++, any CPU
    sse2,       // x86 SSE2 (every x86-64 CPU)
    avx2,       // x86 AVX2, with the OS saving the YMM registers
};

// The most capable level this CPU (and OS) supports.
CpuLevel cpu_level();

// Whether kernels written for `level` can run here.
inline bool cpu_supports(CpuLevel level) { return static_cast<int>(level) <= static_cast<int>(cpu_level()); }
