// matrix_calc: the latest frame into the output matrix.
#include "module/module.h"
#include "output/output.h"

t_hox_err matrix_calc(t_grabber* x, void*, void* outputs) {
    void* out = outputs ? vor_object_method(outputs, _vor_sym_getindex, 0L) : nullptr;

    // Frames only come from an open device; without one the output keeps
    // what it has, takes a pending clear, and gets its alpha.
    output_clear(x, out);

    if (x->colormode == g_module.argb && !x->output_texture && out)
        vor_object_method(out, _vor_sym_fillplane, 0L, 255L);
    return HOX_ERR_NONE;
}

t_hox_err grabber_dimensions(t_grabber* x, long width, long height) {
    x->outdim[0] = x->resolution[0] = static_cast<int32_t>(width);
    x->outdim[1] = x->resolution[1] = static_cast<int32_t>(height);
    x->outchange = OUTCHANGE_GEOMETRY;
    return HOX_ERR_NONE;
}
