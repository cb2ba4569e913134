// Matrix layouts: the byte size of a cell type, tight strides, the span an
// info describes, and a walk over every row of a matrix of any dimension.
//
// Pure code on t_vor_matrix_info (types are recognised by their text, so no
// symbol has to be interned).
#pragma once

#include <cstdint>

#include "matrix/copy.h"
#include "vorlib.h"

// Bytes of one plane value: char 1, long 4 (32-bit storage), float32 4,
// float64 8; 0 for a type this host does not know.
int32_t vor_mx_type_size(const t_symbol* type);
bool vor_mx_type_is_char(const t_symbol* type);

// Brings dimcount into 1..32, every used dim to at least 1 and planecount
// into 1..32, and zeroes the unused dims and strides. False when the type is
// unknown (null counts as unknown here; callers substitute char first).
bool vor_mx_info_clamp(t_vor_matrix_info& info);

// Tight strides for the type, planes and dims: dimstride[0] = planes * type
// size, dimstride[i] = dimstride[i-1] * dim[i-1]; size = the span. False
// when the size would not fit in 62 bits.
bool vor_mx_info_tighten(t_vor_matrix_info& info);

// True when the strides are no smaller than the tight ones, so cells never
// overlap.
bool vor_mx_info_strides_hold_cells(const t_vor_matrix_info& info);

// Bytes from the first byte of the first cell to one past the last byte of
// the last cell; -1 when a stride is negative or the span overflows.
int64_t vor_mx_info_span(const t_vor_matrix_info& info);

// True when `data` is not null and the span fits in info.size.
bool vor_mx_info_fits(const t_vor_matrix_info& info, const void* data);

// The x/y view of a char matrix whose dims past the second are all 1; false
// for other matrices.
bool vor_mx_info_view(const t_vor_matrix_info& info, void* data, vor_mx_view& view);

// Calls fn(row pointer) for every row (run of dim[0] cells) of a matrix that
// fits, walking the dims above 0 in order.
template <class F>
void vor_mx_for_each_row(const t_vor_matrix_info& info, uint8_t* data, F&& fn) {
    int32_t index[VOR_MATRIX_MAXDIMCOUNT] = {};
    const int32_t dc = info.dimcount;
    for (;;) {
        int64_t off = 0;
        for (int32_t d = 1; d < dc; ++d) off += static_cast<int64_t>(index[d]) * info.dimstride[d];
        fn(data + off);
        int32_t d = 1;
        for (; d < dc; ++d) {
            if (++index[d] < info.dim[d]) break;
            index[d] = 0;
        }
        if (d >= dc) return;
    }
}
