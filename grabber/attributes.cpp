#include "grabber/attributes.h"

#include <algorithm>
#include <cstdint>

t_hox_err getter_atoms(long* ac, t_atom** av, long count) {
    if (*ac >= count && *av) {
        *ac = count;
        return HOX_ERR_NONE;
    }
    *ac = count;
    *av = static_cast<t_atom*>(vor_getbytes(static_cast<long>(sizeof(t_atom)) * count));
    if (!*av) {
        *ac = 0;
        return HOX_OMEM;
    }
    return HOX_ERR_NONE;
}

int32_t atom_int32(const t_atom* a) {
    const t_atom_long v = atom_getlong(a);
    return static_cast<int32_t>(std::clamp<t_atom_long>(v, INT32_MIN, INT32_MAX));
}

t_hox_err engine_get(t_grabber*, void*, long* ac, t_atom** av) {
    if (t_hox_err err = getter_atoms(ac, av, 1)) return err;
    atom_setsym(*av, gensym("dx"));
    return HOX_ERR_NONE;
}

t_hox_err engine_set(t_grabber*, void*, long, t_atom*) {
    // The back end follows from the device index, not from this attribute.
    return HOX_ERR_NONE;
}

static t_hox_err set_flag_and_restart_count(t_grabber* x, uint8_t* field, long ac, t_atom* av) {
    if (ac < 1 || !av) return HOX_ERR_NONE;
    *field = atom_getlong(av) != 0 ? 1 : 0;
    dropped_ref(x).store(0);
    return HOX_ERR_NONE;
}

t_hox_err unique_set(t_grabber* x, void*, long ac, t_atom* av) {
    return set_flag_and_restart_count(x, &x->unique, ac, av);
}

t_hox_err dropreport_set(t_grabber* x, void*, long ac, t_atom* av) {
    return set_flag_and_restart_count(x, &x->dropreport, ac, av);
}

t_hox_err vdevice_get(t_grabber* x, void*, long* ac, t_atom** av) {
    if (t_hox_err err = getter_atoms(ac, av, 1)) return err;
    atom_setlong(*av, x->vdevice);
    return HOX_ERR_NONE;
}
