// Row kernels of the converters between packed 4:2:2 cells and one cell per
// pixel (the classes "vor_uyvy2ayuv" and "vor_ayuv2uyvy", converters.cpp).
//
// A uyvy cell is a pixel pair: planes U, Y0, V, Y1. An ayuv cell is one
// pixel: planes A, Y, U, V.
//
// - uyvy -> ayuv: input cell i gives output cells 2i and 2i + 1, namely
//   (255, Y0, U, V) and (255, Y1, U, V): the pair's chroma is repeated.
// - ayuv -> uyvy: output cell j pairs input cells a = 2j and b = 2j + 1 and
//   is (U, Ya, V, Yb) with U = (Ua + Ub + 1) >> 1 and V likewise (the average
//   rounded half up). There are max(1, w / 2) output cells for w input cells:
//   an odd width drops its last cell, which keeps the output as wide as the
//   grabber sizes it (half the pixel width, truncated) so that no frame
//   resizes it again; a width of 1 gives one cell whose pixel pairs with
//   itself.
#pragma once

#include <cstdint>

#include "vorlib.h"

// `cells` input cells of `sstride` bytes into 2 * cells output cells of
// `dstride` bytes.
VORLIB void vor_uyvy_to_ayuv_row(const uint8_t* src, int64_t sstride, int32_t cells, uint8_t* dst,
                                  int64_t dstride);

// `cells` input cells into vor_ayuv_to_uyvy_width(cells) output cells.
VORLIB void vor_ayuv_to_uyvy_row(const uint8_t* src, int64_t sstride, int32_t cells, uint8_t* dst,
                                  int64_t dstride);
inline int32_t vor_ayuv_to_uyvy_width(int32_t cells) { return cells / 2 > 1 ? cells / 2 : 1; }
