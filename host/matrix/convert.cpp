// Row kernels of the uyvy/ayuv converters (see convert.h).
#include "matrix/convert.h"

#include <algorithm>

void vor_uyvy_to_ayuv_row(const uint8_t* src, int64_t sstride, int32_t cells, uint8_t* dst, int64_t dstride) {
    for (int32_t i = 0; i < cells; ++i) {
        const uint8_t* s = src + i * sstride;
        const uint8_t u = s[0], y0 = s[1], v = s[2], y1 = s[3];
        uint8_t* d0 = dst + (2 * static_cast<int64_t>(i)) * dstride;
        uint8_t* d1 = d0 + dstride;
        d0[0] = 255, d0[1] = y0, d0[2] = u, d0[3] = v;
        d1[0] = 255, d1[1] = y1, d1[2] = u, d1[3] = v;
    }
}

void vor_ayuv_to_uyvy_row(const uint8_t* src, int64_t sstride, int32_t cells, uint8_t* dst, int64_t dstride) {
    if (cells < 1) return;
    const int32_t out = vor_ayuv_to_uyvy_width(cells);
    for (int32_t j = 0; j < out; ++j) {
        const uint8_t* a = src + (2 * static_cast<int64_t>(j)) * sstride;
        const uint8_t* b = src + std::min<int64_t>(2 * static_cast<int64_t>(j) + 1, cells - 1) * sstride;
        uint8_t* d = dst + j * dstride;
        d[0] = static_cast<uint8_t>((a[2] + b[2] + 1) >> 1);
        d[1] = a[1];
        d[2] = static_cast<uint8_t>((a[3] + b[3] + 1) >> 1);
        d[3] = b[1];
    }
}
