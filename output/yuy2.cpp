#include "output/yuy2.h"

#include "output/uyvy_kernels.h"

void yuy2_to_uyvy(uint8_t* dst, const uint8_t* src, size_t size) { uyvy_kernels_best().swap16(dst, src, size); }
