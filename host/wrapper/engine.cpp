// The capture engine class "vor_grab". A box asks for
// vor_object_new("vor_grab", "vor_grab", count, atoms) and receives an
// instance of the capture object class "vor_grab_dx_imp", made with the box's
// width and height (the first two creation arguments before any "@"
// argument, 0 when missing or not numbers) and device index 0.
#include "hoxhost.h"
#include "wrapper/mop.h"

namespace {

t_atom_long leading_number(long index, long ac, const t_atom* av) {
    t_atom_long v = 0;
    if (index < hox_vor_attr_args_offset(ac, av) && vor_atom_arg_getlong(&v, index, ac, av) == HOX_ERR_NONE) return v;
    return 0;
}

void* engine_new(t_symbol*, long ac, t_atom* av) {
    const long width = static_cast<long>(leading_number(0, ac, av));
    const long height = static_cast<long>(leading_number(1, ac, av));
    return vor_object_new(gensym("vor_grab_dx_imp"), width, height, 0L);
}

}  // namespace

void engine_class_register() {
    t_class* c = class_new("vor_grab", HOXFN(engine_new), nullptr, sizeof(t_object), nullptr, A_CANT, 0);
    class_register(gensym("nobox"), c);
}
