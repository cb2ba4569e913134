// The "vor_matrix" class: a matrix description (t_vor_matrix_info) and its
// data, which the matrix either owns or merely refers to.
//
// Owning matrices (setinfo, or setinfo_ex without VOR_MATRIX_DATA_REFERENCE)
// hold a zero-filled block of info.size bytes. A new block is made whenever
// the layout (type, planes, dims, strides, size) changes; an unchanged
// layout keeps the block and its contents.
//
// Referring matrices (setinfo_ex with VOR_MATRIX_DATA_REFERENCE) own nothing:
// they read and write through the pointer given with `data`, trusting
// info.size as the number of bytes behind it. Every operation that touches
// cells first checks that the layout fits in info.size, so a referring
// matrix whose size was set to 0 (or whose pointer is null) is never read.
//
// Each matrix has a small lock of its own around its description and data
// pointer, so that a frame thread detaching a matrix and the host thread
// reading it never see half an update. It is never held while clients are
// notified. The `lock` method is the host's advisory lock flag: it is
// recorded and reported, and blocks nothing.
//
// Clients hear "setinfo" after every successful setinfo and setinfo_ex; the
// runtime tells them "free" when the matrix is freed.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "hoxhost.h"
#include "matrix/classes.h"
#include "matrix/copy.h"
#include "matrix/fill.h"
#include "matrix/image_file.h"
#include "matrix/layout.h"

namespace {

struct matrix_state {
    std::mutex mu;
    t_vor_matrix_info info{};
    uint8_t* data = nullptr;
    bool owned = false;
    std::atomic<long> lockflag{0};
    t_symbol* name = nullptr;
};

struct t_vor_matrix {
    t_object ob;
    matrix_state* st;
};

t_class* s_class = nullptr;

struct syms {
    t_symbol* char_ = nullptr;
    t_symbol* setinfo = nullptr;
    t_symbol* getinfo = nullptr;
    t_symbol* getdata = nullptr;
    t_symbol* getmatrix = nullptr;
    t_symbol* getindex = nullptr;
} S;

matrix_state* state_of(void* x) {
    return x && object_class(x) == s_class ? static_cast<t_vor_matrix*>(x)->st : nullptr;
}

bool same_layout(const t_vor_matrix_info& a, const t_vor_matrix_info& b) {
    if (a.type != b.type || a.planecount != b.planecount || a.dimcount != b.dimcount || a.size != b.size)
        return false;
    for (int32_t d = 0; d < a.dimcount; ++d)
        if (a.dim[d] != b.dim[d] || a.dimstride[d] != b.dimstride[d]) return false;
    return true;
}

void drop_data(matrix_state& st) {
    if (st.owned) std::free(st.data);
    st.data = nullptr;
    st.owned = false;
}

// Makes the matrix own a block for `info` (already clamped, strides and size
// final), keeping the current one when the layout is unchanged.
t_hox_err own_data(matrix_state& st, const t_vor_matrix_info& info) {
    if (st.owned && st.data && same_layout(st.info, info)) {
        st.info = info;
        return HOX_ERR_NONE;
    }
    auto* block = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(info.size), 1));
    if (!block) return HOX_OMEM;
    drop_data(st);
    st.data = block;
    st.owned = true;
    st.info = info;
    return HOX_ERR_NONE;
}

// The info as a caller gave it, with a type and in range; false when the
// type is unknown.
bool accept(const t_vor_matrix_info* in, t_vor_matrix_info& info) {
    if (!in) return false;
    info = *in;
    if (!info.type) info.type = S.char_;
    return vor_mx_info_clamp(info);
}

t_hox_err apply_setinfo(matrix_state& st, const t_vor_matrix_info* in) {
    t_vor_matrix_info info;
    if (!accept(in, info)) return HOX_EROR;
    info.flags &= ~VOR_MATRIX_DATA_REFERENCE;
    if (!vor_mx_info_tighten(info)) return HOX_EROR;
    return own_data(st, info);
}

t_hox_err apply_setinfo_ex(matrix_state& st, const t_vor_matrix_info* in) {
    t_vor_matrix_info info;
    if (!accept(in, info)) return HOX_EROR;
    if (info.flags & VOR_MATRIX_DATA_REFERENCE) {
        // Referring: keep the pointer a referring matrix already has; an
        // owning one lets go of its block and waits for `data`.
        if (st.owned) drop_data(st);
        if (info.size < 0) info.size = 0;
        st.info = info;
        return HOX_ERR_NONE;
    }
    // Owning: strides that keep cells apart are kept, others are replaced by
    // tight ones; the size covers at least the cells.
    if (!vor_mx_info_strides_hold_cells(info)) {
        if (!vor_mx_info_tighten(info)) return HOX_EROR;
    } else {
        const int64_t span = vor_mx_info_span(info);
        if (span < 0) return HOX_EROR;
        if (info.size < span) info.size = span;
    }
    return own_data(st, info);
}

// ---------------------------------------------------------------- methods

t_hox_err m_getinfo(t_vor_matrix* x, t_vor_matrix_info* out) {
    matrix_state* st = state_of(x);
    if (!st || !out) return HOX_EROR;
    try {
        std::lock_guard<std::mutex> g(st->mu);
        *out = st->info;
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_EROR;
    }
}

template <class F>
t_hox_err change_info(t_vor_matrix* x, F&& apply) {
    matrix_state* st = state_of(x);
    if (!st) return HOX_EROR;
    t_hox_err err;
    try {
        std::lock_guard<std::mutex> g(st->mu);
        err = apply(*st);
    } catch (...) {
        return HOX_EROR;
    }
    if (err == HOX_ERR_NONE) vor_object_notify(x, S.setinfo, nullptr);
    return err;
}

t_hox_err m_setinfo(t_vor_matrix* x, t_vor_matrix_info* in) {
    return change_info(x, [in](matrix_state& st) { return apply_setinfo(st, in); });
}

t_hox_err m_setinfo_ex(t_vor_matrix* x, t_vor_matrix_info* in) {
    return change_info(x, [in](matrix_state& st) { return apply_setinfo_ex(st, in); });
}

// Points a referring matrix at `p`; an owning matrix refuses.
t_hox_err m_data(t_vor_matrix* x, void* p) {
    matrix_state* st = state_of(x);
    if (!st) return HOX_EROR;
    try {
        std::lock_guard<std::mutex> g(st->mu);
        if (!(st->info.flags & VOR_MATRIX_DATA_REFERENCE)) return HOX_EROR;
        st->data = static_cast<uint8_t*>(p);
        st->owned = false;
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_EROR;
    }
}

t_hox_err m_getdata(t_vor_matrix* x, void** p) {
    matrix_state* st = state_of(x);
    if (!st || !p) return HOX_EROR;
    try {
        std::lock_guard<std::mutex> g(st->mu);
        *p = st->data;
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_EROR;
    }
}

// Drops the data (the block of an owning matrix, the pointer of a referring
// one); the info then reports a size of 0.
t_hox_err m_freedata(t_vor_matrix* x) {
    matrix_state* st = state_of(x);
    if (!st) return HOX_EROR;
    try {
        std::lock_guard<std::mutex> g(st->mu);
        drop_data(*st);
        st->info.size = 0;
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_EROR;
    }
}

long m_lock(t_vor_matrix* x, long v) {
    matrix_state* st = state_of(x);
    return st ? st->lockflag.exchange(v) : 0;
}

t_symbol* m_matrixname(t_vor_matrix* x) {
    matrix_state* st = state_of(x);
    return st ? st->name : nullptr;
}

t_hox_err frommatrix_impl(t_vor_matrix* x, void* source, const t_vor_matrix_conv_info* conv) {
    matrix_state* st = state_of(x);
    if (!st || !source) return HOX_EROR;
    t_object* srcm = vor_matrix_resolve(source);
    matrix_state* ss = state_of(srcm);
    if (ss == st) {
        std::lock_guard<std::mutex> g(st->mu);
        vor_mx_view v{};
        if (!vor_mx_info_view(st->info, st->data, v)) return HOX_EROR;
        return vor_mx_copy(v, v, conv);
    }
    if (ss) {
        std::scoped_lock g(st->mu, ss->mu);
        vor_mx_view d{}, s{};
        if (!vor_mx_info_view(st->info, st->data, d) || !vor_mx_info_view(ss->info, ss->data, s)) return HOX_EROR;
        return vor_mx_copy(d, s, conv);
    }
    // Some other matrix-like object: read it through its methods.
    t_vor_matrix_info si{};
    void* sdata = nullptr;
    if (reinterpret_cast<intptr_t>(vor_object_method(source, S.getinfo, &si)) != HOX_ERR_NONE) return HOX_EROR;
    if (reinterpret_cast<intptr_t>(vor_object_method(source, S.getdata, &sdata)) != HOX_ERR_NONE) return HOX_EROR;
    std::lock_guard<std::mutex> g(st->mu);
    vor_mx_view d{}, s{};
    if (!vor_mx_info_view(st->info, st->data, d) || !vor_mx_info_view(si, sdata, s)) return HOX_EROR;
    return vor_mx_copy(d, s, conv);
}

t_hox_err m_frommatrix(t_vor_matrix* x, void* source, t_vor_matrix_conv_info* conv) {
    try {
        return frommatrix_impl(x, source, conv);
    } catch (...) {
        return HOX_EROR;
    }
}

// Writes `value` into one plane of every cell: the low byte for char, a
// 32-bit integer for long, the converted number for float32 and float64.
// Char matrices of one or two dimensions go through vor_mx_fill_plane
// (fill.h), whose packed kernel rewrites the other planes of a four-plane
// cell with their own values under this matrix's lock.
t_hox_err m_fillplane(t_vor_matrix* x, long plane, long value) {
    matrix_state* st = state_of(x);
    if (!st) return HOX_EROR;
    try {
        std::lock_guard<std::mutex> g(st->mu);
        const t_vor_matrix_info& info = st->info;
        if (!vor_mx_info_fits(info, st->data) || plane < 0 || plane >= info.planecount) return HOX_EROR;
        vor_mx_view view{};
        if (vor_mx_info_view(info, st->data, view)) {
            vor_mx_fill_plane(view, static_cast<int32_t>(plane), static_cast<uint8_t>(value));
            return HOX_ERR_NONE;
        }
        const int32_t ts = vor_mx_type_size(info.type);
        uint8_t bytes[8] = {};
        if (vor_mx_type_is_char(info.type)) {
            bytes[0] = static_cast<uint8_t>(value);
        } else if (std::strcmp(info.type->s_name, "long") == 0) {
            const int32_t v = static_cast<int32_t>(value);
            std::memcpy(bytes, &v, 4);
        } else if (ts == 4) {
            const float v = static_cast<float>(value);
            std::memcpy(bytes, &v, 4);
        } else {
            const double v = static_cast<double>(value);
            std::memcpy(bytes, &v, 8);
        }
        const int64_t xs = info.dimstride[0];
        const int32_t w = info.dim[0];
        const int64_t off = static_cast<int64_t>(plane) * ts;
        vor_mx_for_each_row(info, st->data, [&](uint8_t* row) {
            for (int32_t i = 0; i < w; ++i) std::memcpy(row + i * xs + off, bytes, static_cast<size_t>(ts));
        });
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_EROR;
    }
}

// Sets every cell of a char matrix to the bytes of `packed`, plane 0 from
// the most significant byte; planes past the fourth get 0.
t_hox_err m_clear_custom(t_vor_matrix* x, long packed) {
    matrix_state* st = state_of(x);
    if (!st) return HOX_EROR;
    try {
        std::lock_guard<std::mutex> g(st->mu);
        const t_vor_matrix_info& info = st->info;
        if (!vor_mx_type_is_char(info.type) || !vor_mx_info_fits(info, st->data)) return HOX_EROR;
        uint8_t cell[VOR_MATRIX_MAXPLANECOUNT] = {};
        const auto p = static_cast<uint32_t>(packed);
        for (int32_t i = 0; i < 4 && i < info.planecount; ++i) cell[i] = static_cast<uint8_t>(p >> (24 - 8 * i));
        const int64_t xs = info.dimstride[0];
        const int32_t w = info.dim[0];
        const size_t pc = static_cast<size_t>(info.planecount);
        vor_mx_for_each_row(info, st->data, [&](uint8_t* row) {
            for (int32_t i = 0; i < w; ++i) std::memcpy(row + i * xs, cell, pc);
        });
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_EROR;
    }
}

// PNG of a 4-plane char matrix read as planes A, R, G, B (one or two dims).
t_hox_err m_export_image_surface(t_vor_matrix* x, long ac, t_atom* av) {
    matrix_state* st = state_of(x);
    if (!st) return HOX_EROR;
    try {
        const std::string path = vor_export_path(ac, av, hox_host_default_folder());
        if (path.empty()) return HOX_EROR;
        std::vector<uint8_t> rgba;
        int32_t w = 0, h = 0;
        {
            std::lock_guard<std::mutex> g(st->mu);
            vor_mx_view v{};
            if (st->info.planecount != 4 || !vor_mx_info_view(st->info, st->data, v)) return HOX_EROR;
            w = v.width;
            h = v.height;
            rgba.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
            uint8_t* out = rgba.data();
            for (int32_t y = 0; y < h; ++y) {
                const uint8_t* row = v.data + y * v.ystride;
                for (int32_t i = 0; i < w; ++i, out += 4) {
                    const uint8_t* c = row + i * v.xstride;
                    out[0] = c[1], out[1] = c[2], out[2] = c[3], out[3] = c[0];
                }
            }
        }
        return vor_png_write_rgba(path.c_str(), w, h, rgba.data(), static_cast<int64_t>(w) * 4);
    } catch (...) {
        return HOX_EROR;
    }
}

// ---------------------------------------------------------------- new, free

void* matrix_new(t_vor_matrix_info* info) {
    auto* x = static_cast<t_vor_matrix*>(vor_object_alloc(s_class));
    if (!x) return nullptr;
    x->st = new (std::nothrow) matrix_state;
    t_vor_matrix_info def{};
    if (!info) {
        vor_matrix_info_default(&def);
        info = &def;
    }
    if (!x->st || apply_setinfo(*x->st, info) != HOX_ERR_NONE) {
        vor_object_free(x);
        return nullptr;
    }
    t_symbol* name = vor_symbol_unique();
    x->st->name = name;
    vor_object_register(x, name);
    return x;
}

void matrix_free(t_vor_matrix* x) {
    if (!x || !x->st) return;
    drop_data(*x->st);
    delete x->st;
    x->st = nullptr;
}

}  // namespace

// ---------------------------------------------------------------- shared

void vor_matrix_info_default(t_vor_matrix_info* info) {
    if (!info) return;
    std::memset(info, 0, sizeof *info);
    info->type = gensym("char");
    info->planecount = 4;
    info->dimcount = 2;
    info->dim[0] = 1;
    info->dim[1] = 1;
    info->dimstride[0] = 4;
    info->dimstride[1] = 4;
    info->size = 4;
}

t_class* vor_matrix_class() { return s_class; }

t_object* vor_matrix_resolve(void* x) {
    if (!x) return nullptr;
    if (object_class(x) == s_class) return static_cast<t_object*>(x);
    void* m = object_hasmethod(x, S.getmatrix) ? vor_object_method(x, S.getmatrix) : nullptr;
    return m && object_class(m) == s_class ? static_cast<t_object*>(m) : nullptr;
}

void* vor_list_first(void* x) {
    if (x && object_hasmethod(x, S.getindex)) return vor_object_method(x, S.getindex, 0L);
    return x;
}

void vor_matrix_class_init() {
    S.char_ = gensym("char");
    S.setinfo = gensym("setinfo");
    S.getinfo = gensym("getinfo");
    S.getdata = gensym("getdata");
    S.getmatrix = gensym("getmatrix");
    S.getindex = gensym("getindex");

    t_class* c = vor_class_new("vor_matrix", HOXFN(matrix_new), HOXFN(matrix_free), sizeof(t_vor_matrix), A_CANT, 0);
    if (!c) return;
    vor_class_addmethod(c, HOXFN(m_getinfo), "getinfo", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(m_setinfo), "setinfo", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(m_setinfo_ex), "setinfo_ex", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(m_data), "data", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(m_getdata), "getdata", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(m_freedata), "freedata", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(m_lock), "lock", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(m_frommatrix), "frommatrix", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(m_fillplane), "fillplane", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(m_clear_custom), "clear_custom", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(m_export_image_surface), "export_image_surface", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(m_matrixname), "matrixname", A_CANT, 0);
    vor_class_register(c);
    s_class = c;
}
