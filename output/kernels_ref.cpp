// The reference row kernels: the rules of uyvy_kernels.h as plain loops.
// Every vector kernel is checked against these, and finishes its rows with
// them.
#include "output/uyvy_kernels.h"

namespace {

inline uint8_t interpolate(const ChromaTaps& c, int32_t i) {
    const int32_t above = c.row[0][i], k0 = c.row[1][i], k1 = c.row[2][i], below = c.row[3][i];
    return static_cast<uint8_t>((9 * (k0 + k1) - above - below - 8) >> 4);
}

}  // namespace

void pack_row_ref(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int32_t cells) {
    for (int32_t i = 0; i < cells; ++i) {
        dst[4 * i + 0] = u[i];
        dst[4 * i + 1] = y[2 * i];
        dst[4 * i + 2] = v[i];
        dst[4 * i + 3] = y[2 * i + 1];
    }
}

void pack_interp_row_ref(const uint8_t* y, const ChromaTaps& u, const ChromaTaps& v, uint8_t* dst, int32_t cells) {
    for (int32_t i = 0; i < cells; ++i) {
        dst[4 * i + 0] = interpolate(u, i);
        dst[4 * i + 1] = y[2 * i];
        dst[4 * i + 2] = interpolate(v, i);
        dst[4 * i + 3] = y[2 * i + 1];
    }
}

void swap16_ref(uint8_t* dst, const uint8_t* src, size_t size) {
    size_t i = 0;
    for (; i + 1 < size; i += 2) {
        dst[i] = src[i + 1];
        dst[i + 1] = src[i];
    }
    if (i < size) dst[i] = src[i];
}
