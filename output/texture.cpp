// The grabber as a client of its output matrix, the pending clear, and the
// switch between matrix and texture output.
#include "module/module.h"
#include "output/output.h"

namespace {

// Packed clear values, plane 0 in the most significant byte.
constexpr long kClearArgb = static_cast<long>(0xFF000000u);  // alpha 255, black
constexpr long kClearUyvy = static_cast<long>(0x80108010u);  // U 128, Y 16, V 128, Y 16: video black

}  // namespace

t_hox_err grabber_attach(t_grabber* x, void* matrix) {
    void* m = vor_object_method(matrix, _vor_sym_getmatrix);
    if (!m) m = matrix;
    t_symbol* name = vor_object_findregisteredbyptr(m);
    if (!name) name = _vor_sym_nothing;
    if (name == x->attached) return HOX_ERR_NONE;
    if (x->attached != _vor_sym_nothing) vor_object_detach(x->attached, x);
    x->attached = name;
    if (name != _vor_sym_nothing) vor_object_attach(name, x);
    return HOX_ERR_NONE;
}

t_hox_err grabber_notify(t_grabber* x, t_symbol* name, t_symbol* message, void* sender, void*) {
    // The grabber's own resizing of the output is not the user's request.
    if (name != x->attached || x->selfresize) return HOX_ERR_NONE;
    if (message == _vor_sym_setinfo) {
        t_vor_matrix_info info{};
        vor_object_method(sender, _vor_sym_getinfo, &info);
        set_output_size(x, info.dim[0], info.dim[1]);
        set_outchange(x, OUTCHANGE_GEOMETRY);
    } else if (message == gensym("free")) {
        set_outchange(x, OUTCHANGE_GEOMETRY);
    }
    return HOX_ERR_NONE;
}

void output_detach(t_grabber* x) {
    if (x->attached != _vor_sym_nothing) {
        if (void* m = vor_object_findregistered(x->attached)) {
            t_vor_matrix_info info{};
            vor_object_method(m, _vor_sym_getinfo, &info);
            if (info.flags & VOR_MATRIX_DATA_REFERENCE) {
                info.size = 0;
                vor_object_method(m, _vor_sym_data, nullptr);
                vor_object_method(m, _vor_sym_setinfo_ex, &info);
            }
        }
    }
    set_outchange(x, OUTCHANGE_GEOMETRY);
}

t_hox_err grabber_clear(t_grabber* x) {
    x->clearflag = 1;
    return HOX_ERR_NONE;
}

void output_clear(t_grabber* x, void* out) {
    if (!x->clearflag) return;
    if (out) {
        if (x->colormode == g_module.uyvy) {
            vor_object_method(out, _vor_sym_clear_custom, kClearUyvy);
            vor_object_method(x->convmatrix[0], _vor_sym_clear_custom, kClearUyvy);
            vor_object_method(x->convmatrix[1], _vor_sym_clear_custom, kClearUyvy);
        } else {
            vor_object_method(out, _vor_sym_clear_custom, kClearArgb);
        }
    }
    if (x->output_texture) vor_object_method(x->texture, gensym("clear_texture"));
    x->clearflag = 0;
}

t_hox_err output_texture_filter(t_grabber* x, void*, long ac, t_atom* av) {
    if (!x || ac < 1 || !av) return HOX_ERR_NONE;
    const t_atom_long v = atom_getlong(av);
    if (v == x->output_texture) return HOX_ERR_NONE;
    x->output_texture = static_cast<uint8_t>(v & 0xFF);
    set_outchange(x, OUTCHANGE_GEOMETRY);
    return HOX_ERR_NONE;
}
