#include "output/uyvy_kernels.h"

namespace {

const UyvyKernels kReference{"reference", pack_row_ref, pack_interp_row_ref, swap16_ref};
#if defined(VOR_HAVE_X86_KERNELS)
const UyvyKernels kSse2{"sse2", pack_row_sse2, pack_interp_row_sse2, swap16_sse2};
const UyvyKernels kAvx2{"avx2", pack_row_avx2, pack_interp_row_avx2, swap16_avx2};
#endif

}  // namespace

const UyvyKernels* uyvy_kernels(CpuLevel level) {
    if (!cpu_supports(level)) return nullptr;
    switch (level) {
        case CpuLevel::reference:
            return &kReference;
#if defined(VOR_HAVE_X86_KERNELS)
        case CpuLevel::sse2:
            return &kSse2;
        case CpuLevel::avx2:
            return &kAvx2;
#endif
        default:
            return nullptr;
    }
}

const UyvyKernels& uyvy_kernels_best() {
    static const UyvyKernels* const best = [] {
        const UyvyKernels* k = uyvy_kernels(CpuLevel::avx2);
        if (!k) k = uyvy_kernels(CpuLevel::sse2);
        return k ? k : &kReference;
    }();
    return *best;
}
