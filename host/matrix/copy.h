// The cell copy behind `frommatrix`: plane map, crop, flip, nearest and
// bilinear scaling between two char matrices given as raw buffers.
//
// Pure code: no runtime objects, no symbols. The matrix class (matrix.cpp)
// turns its infos into views and calls vor_mx_copy; tests and benchmarks
// call it directly.
//
// The mapping, per dimension (x, then y):
//
//   Source range [s0, s1]: with VOR_MATRIX_CONVERT_SRCDIM the descriptor's
//   srcdimstart/srcdimend, each clamped into 0..dim-1 on its own (so a start
//   one past the end, or any value beyond, reads the edge cell); without it
//   0..dim-1. sdir = +1 when s0 <= s1, else -1; m = |s1 - s0| + 1 cells.
//
//   Destination range [d0, d1]: with VOR_MATRIX_CONVERT_DSTDIM the
//   descriptor's dstdimstart/dstdimend as given; without it 0..dim-1.
//   ddir and n as for the source. The range is placed where it is asked to
//   be: only its cells that lie inside the destination are written, and the
//   mapping still spans the whole range, so the visible part is not
//   distorted. Cells outside the range are never touched.
//
//   Destination cell k (0 <= k < n) sits at d0 + ddir * k and takes
//     nearest:  source cell s0 + sdir * floor(k * m / n)
//     bilinear: the source coordinate u = (k + 1/2) * m / n - 1/2, clamped
//               to 0..m-1, computed in 16.16 fixed point with a floor;
//               i0 = floor(u), i1 = min(i0 + 1, m - 1), weight
//               w = the top 8 bits of the fraction (0..255); the cells are
//               s0 + sdir * i0 and s0 + sdir * i1.
//   So equal sizes copy exactly (also with INTERP), and a reversed range
//   flips exactly.
//
//   Bilinear value of one plane from the four cells a (x0,y0), b (x1,y0),
//   c (x0,y1), d (x1,y1) with weights wx, wy:
//     top = a * (256 - wx) + b * wx;  bottom = c * (256 - wx) + d * wx;
//     value = (top * (256 - wy) + bottom * wy + 32768) >> 16.
//
// Planes: destination plane i takes source plane map[i]; an entry outside
// 0..source planes-1 leaves destination plane i untouched. Without a
// descriptor the map is the identity over the planes both matrices have.
//
// Safety: both views are checked to lie inside their buffers before
// anything is read or written, every index comes from clamped ranges, and
// when the two buffers overlap the source is copied aside first.
#pragma once

#include <cstdint>

#include "kernels.h"
#include "vorlib.h"

// A char matrix of one or two dimensions, as raw memory.
struct vor_mx_view {
    uint8_t* data;
    int64_t size;         // bytes that may be touched from data on
    int32_t width;        // cells along x (dim[0])
    int32_t height;       // cells along y (dim[1], 1 for a 1-D matrix)
    int64_t xstride;      // bytes from a cell to the next one in its row
    int64_t ystride;      // bytes from a row to the next one
    int32_t planecount;   // bytes of a cell that are planes
};

// True when every byte the view describes lies in data[0..size).
VORLIB bool vor_mx_view_fits(const vor_mx_view& v);

// Copies `src` into `dst` as the descriptor (or none) says, with the kernels
// of level `kernel` (kernels.h; every level gives the same bytes). Returns 0, or
// HOX_EROR when a view is empty or does not fit its buffer; HOX_OMEM when the
// aside copy for overlapping buffers cannot be had.
VORLIB t_hox_err vor_mx_copy(const vor_mx_view& dst, const vor_mx_view& src, const t_vor_matrix_conv_info* conv,
                             vor_mx_kernel kernel = vor_mx_kernel::automatic);
