#include "matrix_view.h"

#include <cstring>

namespace vorhost {

namespace {

long type_size(const char* type) {
    if (std::strcmp(type, "char") == 0)
        return 1;
    if (std::strcmp(type, "long") == 0 || std::strcmp(type, "float32") == 0)
        return 4;
    if (std::strcmp(type, "float64") == 0)
        return 8;
    return 0;
}

}  // namespace

bool read_cell(const t_vor_matrix_info& info, const void* data, long x, long y, std::vector<t_atom>& planes,
               std::string& why) {
    planes.clear();
    const char* type = info.type ? info.type->s_name : "";
    long size = type_size(type);
    if (size == 0) {
        why = std::string("cannot read cells of type ") + (type[0] ? type : "(none)");
        return false;
    }
    if (info.dimcount < 2 || info.dimcount > VOR_MATRIX_MAXDIMCOUNT) {
        why = "the matrix has " + std::to_string(info.dimcount) + " dimensions, not 2";
        return false;
    }
    if (info.planecount < 1 || info.planecount > VOR_MATRIX_MAXPLANECOUNT) {
        why = "the matrix has " + std::to_string(info.planecount) + " planes";
        return false;
    }
    if (x < 0 || x >= info.dim[0] || y < 0 || y >= info.dim[1]) {
        why = "cell " + std::to_string(x) + " " + std::to_string(y) + " is outside the matrix (" +
              std::to_string(info.dim[0]) + " x " + std::to_string(info.dim[1]) + ")";
        return false;
    }
    if (!data) {
        why = "the matrix has no data";
        return false;
    }
    int64_t offset = int64_t(x) * info.dimstride[0] + int64_t(y) * info.dimstride[1];
    int64_t end = offset + int64_t(info.planecount) * size;
    if (offset < 0 || end > info.size) {
        why = "the matrix's strides do not fit its size";
        return false;
    }

    const unsigned char* cell = static_cast<const unsigned char*>(data) + offset;
    for (long p = 0; p < info.planecount; ++p) {
        const unsigned char* v = cell + p * size;
        t_atom a{};
        if (size == 1) {
            a.a_type = A_LONG;
            a.a_w.w_long = *v;
        } else if (std::strcmp(type, "long") == 0) {
            int32_t n;
            std::memcpy(&n, v, sizeof n);
            a.a_type = A_LONG;
            a.a_w.w_long = n;
        } else if (size == 4) {
            float f;
            std::memcpy(&f, v, sizeof f);
            a.a_type = A_FLOAT;
            a.a_w.w_float = f;
        } else {
            double d;
            std::memcpy(&d, v, sizeof d);
            a.a_type = A_FLOAT;
            a.a_w.w_float = d;
        }
        planes.push_back(a);
    }
    return true;
}

}  // namespace vorhost
