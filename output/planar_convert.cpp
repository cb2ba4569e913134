#include "output/planar_convert.h"

#include <algorithm>

int32_t planar_rows_written(int32_t height) {
    if (height < 7) return 6;
    return 6 + 2 * (((height - 7) >> 1) + 1);
}

namespace {

// One odd row's chroma from the chroma rows around it; the result keeps only
// its low 8 bits, as the packed format stores it.
inline uint8_t interpolate(int32_t k_above, int32_t k0, int32_t k1, int32_t k_below) {
    return static_cast<uint8_t>((9 * (k0 + k1) - k_above - k_below - 8) >> 4);
}

}  // namespace

void planar_to_packed(uint8_t* dst, const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t luma_stride,
                      int32_t chroma_stride, int32_t width, int32_t height, int32_t pair_step, int32_t dst_stride) {
    // A frame needs at least one chroma sample: 2 x 2 pixels.
    if (!dst || !y || !u || !v || width < 2 || height < 2) return;
    const int32_t rows = planar_rows_written(height);
    const int32_t used_chroma_rows = rows / 2;
    // Rows that exist in the sample: the luma height and its chroma half
    // (at least one row, so a one-row frame still has its chroma).
    const int32_t last_luma_row = height - 1;
    const int32_t last_chroma_row = height / 2 - 1;

    // Whole pixel pairs only: a row of the frame buffer holds width / 2
    // cells, so an odd width's last pixel has no cell of its own.
    for (int32_t x = 0; x + 1 < width; x += 2) {
        const int32_t q = x / 2;
        // Chroma row j of the conversion, with the edge rule, then clamped
        // to the rows the sample has.
        auto chroma = [&](const uint8_t* plane, int32_t j) -> int32_t {
            j = std::clamp(j, 0, used_chroma_rows - 1);
            j = std::min(j, last_chroma_row);
            return plane[static_cast<int64_t>(j) * chroma_stride + q];
        };
        uint8_t* cell = dst + static_cast<int64_t>(q) * pair_step;
        for (int32_t r = 0; r < rows; ++r) {
            const int32_t luma_row = std::min(r, last_luma_row);
            const uint8_t* yrow = y + static_cast<int64_t>(luma_row) * luma_stride;
            uint8_t cu, cv;
            if ((r & 1) == 0) {
                cu = static_cast<uint8_t>(chroma(u, r / 2));
                cv = static_cast<uint8_t>(chroma(v, r / 2));
            } else {
                const int32_t j = (r - 1) / 2;
                cu = interpolate(chroma(u, j - 1), chroma(u, j), chroma(u, j + 1), chroma(u, j + 2));
                cv = interpolate(chroma(v, j - 1), chroma(v, j), chroma(v, j + 1), chroma(v, j + 2));
            }
            uint8_t* out = cell + static_cast<int64_t>(r) * dst_stride;
            out[0] = cu;
            out[1] = yrow[x];
            out[2] = cv;
            out[3] = yrow[x + 1];
        }
    }
}
