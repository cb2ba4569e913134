// The converter classes "vor_uyvy2ayuv" and "vor_ayuv2uyvy" (row kernels and
// the cell mapping in convert.h).
//
// matrix_calc(self, in, out) takes matrices, or list objects answering
// "getindex" (element 0 is used). The input must be a char matrix of at
// least four planes (planes 0..3 are read) whose dims past the second are 1.
// The output is made a 4-plane char matrix of the converted dims with
// setinfo when it is not one already; a referring output of the right shape
// is written through its pointer. Input and output must not share data: an
// input that lies in the output's block is refused.
// Rows of packed cells (stride 4 on both sides) take the fastest row kernel
// (kernels.h), every other row the plain one of convert.h.
#include <cstdint>

#include "matrix/classes.h"
#include "matrix/convert.h"
#include "matrix/kernels.h"
#include "matrix/layout.h"

namespace {

struct t_vor_converter {
    t_object ob;
};

t_class* s_uyvy2ayuv = nullptr;
t_class* s_ayuv2uyvy = nullptr;

t_hox_err call_err(void* x, t_symbol* s, void* arg) {
    return static_cast<t_hox_err>(reinterpret_cast<intptr_t>(vor_object_method(x, s, arg)));
}

bool read_matrix(void* m, t_vor_matrix_info& info, vor_mx_view& view) {
    void* data = nullptr;
    if (call_err(m, gensym("getinfo"), &info) != HOX_ERR_NONE) return false;
    if (call_err(m, gensym("getdata"), &data) != HOX_ERR_NONE) return false;
    return vor_mx_info_view(info, data, view);
}

// Gives `out` the shape of (width, height) 4-plane char cells and reads its
// view back.
bool shape_output(void* out, int32_t width, int32_t height, vor_mx_view& view) {
    t_vor_matrix_info info{};
    if (call_err(out, gensym("getinfo"), &info) != HOX_ERR_NONE) return false;
    const bool fits = vor_mx_type_is_char(info.type) && info.planecount == 4 && info.dimcount == 2 &&
                      info.dim[0] == width && info.dim[1] == height;
    if (!fits) {
        info.type = gensym("char");
        info.planecount = 4;
        info.dimcount = 2;
        info.dim[0] = width;
        info.dim[1] = height;
        info.flags &= ~VOR_MATRIX_DATA_REFERENCE;
        if (call_err(out, gensym("setinfo"), &info) != HOX_ERR_NONE) return false;
    }
    t_vor_matrix_info now{};
    return read_matrix(out, now, view) && view.planecount == 4 && view.width == width && view.height == height;
}

bool share_data(const vor_mx_view& a, const vor_mx_view& b) {
    const uint8_t* a1 = a.data + a.size;
    const uint8_t* b1 = b.data + b.size;
    return a.data < b1 && b.data < a1;
}

// True when the input reads from the output's current block: giving the
// output its shape may free that block, so such an input is refused before
// anything changes.
bool reads_output(const vor_mx_view& src, void* out) {
    t_vor_matrix_info info{};
    void* data = nullptr;
    if (call_err(out, gensym("getinfo"), &info) != HOX_ERR_NONE || call_err(out, gensym("getdata"), &data) != HOX_ERR_NONE)
        return false;
    if (!data || info.size <= 0) return false;
    vor_mx_view block{};
    block.data = static_cast<uint8_t*>(data);
    block.size = info.size;
    return share_data(src, block);
}

template <bool ToAyuv>
t_hox_err convert(void* in, void* out) {
    in = vor_list_first(in);
    out = vor_list_first(out);
    if (!in || !out || in == out) return HOX_EROR;
    if (t_object* m = vor_matrix_resolve(in); m && m == vor_matrix_resolve(out)) return HOX_EROR;
    t_vor_matrix_info ii{};
    vor_mx_view src{};
    if (!read_matrix(in, ii, src) || src.planecount < 4) return HOX_EROR;
    const int32_t width = ToAyuv ? (src.width > INT32_MAX / 2 ? -1 : src.width * 2) : vor_ayuv_to_uyvy_width(src.width);
    if (width < 1 || reads_output(src, out)) return HOX_EROR;
    vor_mx_view dst{};
    if (!shape_output(out, width, src.height, dst) || share_data(src, dst)) return HOX_EROR;
    for (int32_t y = 0; y < src.height; ++y) {
        const uint8_t* s = src.data + y * src.ystride;
        uint8_t* d = dst.data + y * dst.ystride;
        if constexpr (ToAyuv)
            vor_mx_uyvy_to_ayuv(s, src.xstride, src.width, d, dst.xstride);
        else
            vor_mx_ayuv_to_uyvy(s, src.xstride, src.width, d, dst.xstride);
    }
    return HOX_ERR_NONE;
}

t_hox_err uyvy2ayuv_calc(t_vor_converter*, void* in, void* out) {
    try {
        return convert<true>(in, out);
    } catch (...) {
        return HOX_EROR;
    }
}

t_hox_err ayuv2uyvy_calc(t_vor_converter*, void* in, void* out) {
    try {
        return convert<false>(in, out);
    } catch (...) {
        return HOX_EROR;
    }
}

void* uyvy2ayuv_new() { return vor_object_alloc(s_uyvy2ayuv); }
void* ayuv2uyvy_new() { return vor_object_alloc(s_ayuv2uyvy); }

}  // namespace

void vor_converter_classes_init() {
    t_class* a = vor_class_new("vor_uyvy2ayuv", HOXFN(uyvy2ayuv_new), nullptr, sizeof(t_vor_converter), A_CANT, 0);
    if (a) {
        vor_class_addmethod(a, HOXFN(uyvy2ayuv_calc), "matrix_calc", A_CANT, 0);
        vor_class_register(a);
        s_uyvy2ayuv = a;
    }
    t_class* b = vor_class_new("vor_ayuv2uyvy", HOXFN(ayuv2uyvy_new), nullptr, sizeof(t_vor_converter), A_CANT, 0);
    if (b) {
        vor_class_addmethod(b, HOXFN(ayuv2uyvy_calc), "matrix_calc", A_CANT, 0);
        vor_class_register(b);
        s_ayuv2uyvy = b;
    }
}
