// Matrix layouts (see layout.h).
#include "matrix/layout.h"

#include <cstring>

namespace {

constexpr int64_t kMaxBytes = int64_t(1) << 62;

bool named(const t_symbol* s, const char* text) { return s && s->s_name && std::strcmp(s->s_name, text) == 0; }

}  // namespace

int32_t vor_mx_type_size(const t_symbol* type) {
    if (named(type, "char")) return 1;
    if (named(type, "long") || named(type, "float32")) return 4;
    if (named(type, "float64")) return 8;
    return 0;
}

bool vor_mx_type_is_char(const t_symbol* type) { return named(type, "char"); }

bool vor_mx_info_clamp(t_vor_matrix_info& info) {
    if (vor_mx_type_size(info.type) == 0) return false;
    if (info.dimcount < 1) info.dimcount = 1;
    if (info.dimcount > VOR_MATRIX_MAXDIMCOUNT) info.dimcount = VOR_MATRIX_MAXDIMCOUNT;
    for (int32_t d = 0; d < VOR_MATRIX_MAXDIMCOUNT; ++d) {
        if (d < info.dimcount) {
            if (info.dim[d] < 1) info.dim[d] = 1;
        } else {
            info.dim[d] = 0;
            info.dimstride[d] = 0;
        }
    }
    if (info.planecount < 1) info.planecount = 1;
    if (info.planecount > VOR_MATRIX_MAXPLANECOUNT) info.planecount = VOR_MATRIX_MAXPLANECOUNT;
    return true;
}

bool vor_mx_info_tighten(t_vor_matrix_info& info) {
    __int128 stride = static_cast<__int128>(info.planecount) * vor_mx_type_size(info.type);
    for (int32_t d = 0; d < info.dimcount; ++d) {
        if (stride > INT32_MAX) return false;
        info.dimstride[d] = static_cast<int32_t>(stride);
        stride *= info.dim[d];
        if (stride > kMaxBytes) return false;
    }
    info.size = static_cast<int64_t>(stride);
    return true;
}

bool vor_mx_info_strides_hold_cells(const t_vor_matrix_info& info) {
    __int128 need = static_cast<__int128>(info.planecount) * vor_mx_type_size(info.type);
    for (int32_t d = 0; d < info.dimcount; ++d) {
        if (info.dimstride[d] < need) return false;
        need = static_cast<__int128>(info.dimstride[d]) * info.dim[d];
    }
    return true;
}

int64_t vor_mx_info_span(const t_vor_matrix_info& info) {
    __int128 span = static_cast<__int128>(info.planecount) * vor_mx_type_size(info.type);
    for (int32_t d = 0; d < info.dimcount; ++d) {
        if (info.dimstride[d] < 0 || info.dim[d] < 1) return -1;
        span += static_cast<__int128>(info.dim[d] - 1) * info.dimstride[d];
    }
    if (span > kMaxBytes) return -1;
    return static_cast<int64_t>(span);
}

bool vor_mx_info_fits(const t_vor_matrix_info& info, const void* data) {
    if (!data || vor_mx_type_size(info.type) == 0) return false;
    if (info.dimcount < 1 || info.dimcount > VOR_MATRIX_MAXDIMCOUNT) return false;
    if (info.planecount < 1 || info.planecount > VOR_MATRIX_MAXPLANECOUNT) return false;
    const int64_t span = vor_mx_info_span(info);
    return span > 0 && span <= info.size;
}

bool vor_mx_info_view(const t_vor_matrix_info& info, void* data, vor_mx_view& view) {
    if (!vor_mx_type_is_char(info.type) || !vor_mx_info_fits(info, data)) return false;
    for (int32_t d = 2; d < info.dimcount; ++d)
        if (info.dim[d] != 1) return false;
    view.data = static_cast<uint8_t*>(data);
    view.size = info.size;
    view.width = info.dim[0];
    view.height = info.dimcount >= 2 ? info.dim[1] : 1;
    view.xstride = info.dimstride[0];
    view.ystride = info.dimcount >= 2 ? info.dimstride[1] : 0;
    view.planecount = info.planecount;
    return true;
}
