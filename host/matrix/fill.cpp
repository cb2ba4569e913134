// The cell loop behind `fillplane` (see fill.h).
#include "matrix/fill.h"

void vor_mx_fill_plane(const vor_mx_view& v, int32_t plane, uint8_t value, vor_mx_kernel kernel) {
    if (plane < 0 || plane >= v.planecount || v.width < 1 || v.height < 1) return;
    const bool packed = kernel != vor_mx_kernel::reference && v.planecount == 4 && v.xstride == 4;
    const vor_mx_fill4_fn fill4 = packed ? vor_mx_kernels_for(kernel).fill4 : nullptr;
    for (int64_t y = 0; y < v.height; ++y) {
        uint8_t* row = v.data + y * v.ystride;
        if (fill4) {
            fill4(row, v.width, plane, value, y + 1 < v.height ? row + v.ystride : nullptr);
            continue;
        }
        uint8_t* p = row + plane;
        for (int32_t i = 0; i < v.width; ++i, p += v.xstride) *p = value;
    }
}
