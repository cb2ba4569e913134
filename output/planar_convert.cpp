#include "output/planar_convert.h"

#include <algorithm>

#include "output/uyvy_kernels.h"

int32_t planar_rows_written(int32_t height) {
    if (height < 7) return 6;
    return 6 + 2 * (((height - 7) >> 1) + 1);
}

namespace {

// Where the conversion reads: the planes, their strides and the rows that
// exist, with the edge rules of planar_convert.h.
struct Source {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
    int64_t luma_stride;
    int64_t chroma_stride;
    int32_t last_luma_row;
    int32_t last_chroma_row;

    const uint8_t* luma_row(int32_t r) const { return y + std::min(r, last_luma_row) * luma_stride; }
    // Chroma row j of the conversion. The top edge repeats row 0; the bottom
    // edge repeats the last row used, and rows past the sample read its last
    // one. The rows written never use fewer chroma rows than the sample has
    // (rows / 2 >= height / 2), so both come to the sample's last row.
    int64_t chroma_offset(int32_t j) const { return std::clamp(j, 0, last_chroma_row) * chroma_stride; }
    ChromaTaps taps(const uint8_t* plane, int32_t j) const {
        return {{plane + chroma_offset(j - 1), plane + chroma_offset(j), plane + chroma_offset(j + 1),
                 plane + chroma_offset(j + 2)}};
    }
};

// Output row r of `cells` cells, starting at cell `first`, into `out`
// (contiguous cells).
void convert_row(const UyvyKernels& k, const Source& s, int32_t r, int32_t first, int32_t cells, uint8_t* out) {
    const uint8_t* yrow = s.luma_row(r) + 2 * static_cast<int64_t>(first);
    if ((r & 1) == 0) {
        const int64_t c = s.chroma_offset(r / 2) + first;
        k.pack_row(yrow, s.u + c, s.v + c, out, cells);
    } else {
        const int32_t j = (r - 1) / 2;
        k.pack_interp_row(yrow, s.taps(s.u + first, j), s.taps(s.v + first, j), out, cells);
    }
}

void convert(const UyvyKernels& k, uint8_t* dst, const uint8_t* y, const uint8_t* u, const uint8_t* v,
             int32_t luma_stride, int32_t chroma_stride, int32_t width, int32_t height, int32_t pair_step,
             int32_t dst_stride) {
    // A frame needs at least one chroma sample: 2 x 2 pixels.
    if (!dst || !y || !u || !v || width < 2 || height < 2) return;
    const int32_t rows = planar_rows_written(height);
    const Source s{y, u, v, luma_stride, chroma_stride, height - 1, height / 2 - 1};
    // Whole pixel pairs only: a row of the frame buffer holds width / 2
    // cells, so an odd width's last pixel has no cell of its own.
    const int32_t cells = width / 2;

    if (pair_step == 4) {
        for (int32_t r = 0; r < rows; ++r) convert_row(k, s, r, 0, cells, dst + static_cast<int64_t>(r) * dst_stride);
        return;
    }
    // Cells spaced apart: each row goes through a small buffer in pieces.
    constexpr int32_t kPiece = 256;
    uint8_t packed[4 * kPiece];
    for (int32_t r = 0; r < rows; ++r) {
        uint8_t* row = dst + static_cast<int64_t>(r) * dst_stride;
        for (int32_t first = 0; first < cells; first += kPiece) {
            const int32_t n = std::min(kPiece, cells - first);
            convert_row(k, s, r, first, n, packed);
            for (int32_t i = 0; i < n; ++i)
                std::copy_n(packed + 4 * i, 4, row + static_cast<int64_t>(first + i) * pair_step);
        }
    }
}

}  // namespace

void planar_to_packed(uint8_t* dst, const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t luma_stride,
                      int32_t chroma_stride, int32_t width, int32_t height, int32_t pair_step, int32_t dst_stride) {
    convert(uyvy_kernels_best(), dst, y, u, v, luma_stride, chroma_stride, width, height, pair_step, dst_stride);
}

void planar_to_packed_with(const UyvyKernels& kernels, uint8_t* dst, const uint8_t* y, const uint8_t* u,
                           const uint8_t* v, int32_t luma_stride, int32_t chroma_stride, int32_t width, int32_t height,
                           int32_t pair_step, int32_t dst_stride) {
    convert(kernels, dst, y, u, v, luma_stride, chroma_stride, width, height, pair_step, dst_stride);
}
