#include "output/cpu_level.h"

namespace {

CpuLevel detect() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    // libgcc only reports AVX2 when XGETBV shows the OS saves the YMM state.
    if (__builtin_cpu_supports("avx2")) return CpuLevel::avx2;
    if (__builtin_cpu_supports("sse2")) return CpuLevel::sse2;
#endif
    return CpuLevel::reference;
}

}  // namespace

CpuLevel cpu_level() {
    static const CpuLevel level = detect();
    return level;
}
