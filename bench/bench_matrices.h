// Matrices of the host's runtime as the module's output uses them, for the
// benchmarks that call the host's matrix methods directly (vorlib registers
// its classes when it loads, so no host set-up is needed).
#pragma once

#include <cstdint>

#include "vorlib.h"

namespace vorbench {

// A 4-plane char matrix of w x h cells that refers to `data` (tight rows),
// made as the grabber makes its frame matrix. Null when the runtime refused.
inline void* referring_matrix(int32_t w, int32_t h, void* data) {
    void* m = vor_object_new(_vor_sym_vor_matrix, nullptr);
    if (!m) return nullptr;
    t_vor_matrix_info info{};
    vor_object_method(m, _vor_sym_getinfo, &info);
    info.type = _vor_sym_char;
    info.planecount = 4;
    info.dimcount = 2;
    info.dim[0] = w;
    info.dim[1] = h;
    info.dimstride[0] = 4;
    info.dimstride[1] = 4 * w;
    info.size = int64_t{4} * w * h;
    info.flags |= VOR_MATRIX_DATA_REFERENCE;
    vor_object_method(m, _vor_sym_setinfo_ex, &info);
    vor_object_method(m, _vor_sym_data, data);
    return m;
}

// An owning 4-plane char matrix of w x h cells.
inline void* owning_matrix(int32_t w, int32_t h) {
    t_vor_matrix_info info{};
    vor_matrix_info_default(&info);
    info.dim[0] = w;
    info.dim[1] = h;
    return vor_object_new(_vor_sym_vor_matrix, &info);
}

inline void point_at(void* m, void* data) { vor_object_method(m, _vor_sym_data, data); }

inline t_hox_err call(void* result) { return static_cast<t_hox_err>(reinterpret_cast<intptr_t>(result)); }

inline t_hox_err frommatrix(void* dst, void* src, const t_vor_matrix_conv_info* d) {
    return call(vor_object_method(dst, _vor_sym_frommatrix, src, d));
}

inline t_hox_err fillplane(void* m, long plane, long value) {
    return call(vor_object_method(m, _vor_sym_fillplane, plane, value));
}

// The descriptor the module's argb output passes for a bottom-up RGB32
// frame of w x h pixels into an output of out_w x out_h cells, without
// source or destination rectangles: planes A R G B from B G R X, rows read
// from the last to the first.
inline t_vor_matrix_conv_info argb_descriptor(int32_t w, int32_t h, int32_t out_w, int32_t out_h, bool interp) {
    t_vor_matrix_conv_info d{};
    d.flags = VOR_MATRIX_CONVERT_SRCDIM | (interp ? VOR_MATRIX_CONVERT_INTERP : 0);
    d.planemap[0] = 3;
    d.planemap[1] = 2;
    d.planemap[2] = 1;
    d.planemap[3] = 0;
    d.srcdimstart[0] = 0;
    d.srcdimstart[1] = h - 1;
    d.srcdimend[0] = w - 1;
    d.srcdimend[1] = 0;
    d.dstdimstart[0] = 0;
    d.dstdimstart[1] = 0;
    d.dstdimend[0] = out_w - 1;
    d.dstdimend[1] = out_h - 1;
    return d;
}

}  // namespace vorbench
