// Atom arrays: objects of class "atomarray" ("nobox") that own a copy of a
// list of atoms.
#include <cstring>

#include "runtime/runtime.h"

struct t_atomarray {
    t_object ob;
    long ac;
    t_atom* av;  // sysmem block of ac atoms, or null when empty
};

namespace {

t_class* array_class = nullptr;

t_atom* copy_atoms(long ac, const t_atom* av) {
    auto* copy = reinterpret_cast<t_atom*>(sysmem_newptr(ac * static_cast<long>(sizeof(t_atom))));
    if (copy) std::memcpy(copy, av, static_cast<std::size_t>(ac) * sizeof(t_atom));
    return copy;
}

void* array_new(long ac, const t_atom* av) {
    if (ac < 0 || (ac > 0 && !av)) return nullptr;
    auto* x = static_cast<t_atomarray*>(object_alloc(array_class));
    if (!x) return nullptr;
    if (ac > 0) {
        x->av = copy_atoms(ac, av);
        if (!x->av) {
            object_free(x);
            return nullptr;
        }
        x->ac = ac;
    }
    return x;
}

void array_free(t_atomarray* x) {
    sysmem_freeptr(x->av);
    x->av = nullptr;
    x->ac = 0;
}

bool is_array(void* x) { return x && array_class && static_cast<t_object*>(x)->o_class == array_class; }

// Registered when the library loads.
const bool kRegistered = [] {
    array_class = class_new("atomarray", HOXFN(array_new), HOXFN(array_free), sizeof(t_atomarray),
                            nullptr, A_CANT, 0);
    return array_class && class_register(gensym("nobox"), array_class) == HOX_ERR_NONE;
}();

}  // namespace

t_atomarray* atomarray_new(long ac, const t_atom* av) { return static_cast<t_atomarray*>(array_new(ac, av)); }

t_hox_err atomarray_appendatom(t_atomarray* x, const t_atom* a) {
    if (!is_array(x) || !a) return HOX_EROR;
    auto* grown = reinterpret_cast<t_atom*>(sysmem_newptr((x->ac + 1) * static_cast<long>(sizeof(t_atom))));
    if (!grown) return HOX_OMEM;
    if (x->ac > 0) std::memcpy(grown, x->av, static_cast<std::size_t>(x->ac) * sizeof(t_atom));
    grown[x->ac] = *a;
    sysmem_freeptr(x->av);
    x->av = grown;
    x->ac += 1;
    return HOX_ERR_NONE;
}

long atomarray_getsize(t_atomarray* x) { return is_array(x) ? x->ac : 0; }

t_hox_err atomarray_getindex(t_atomarray* x, long index, t_atom* out) {
    if (!is_array(x) || !out || index < 0 || index >= x->ac) return HOX_EROR;
    *out = x->av[index];
    return HOX_ERR_NONE;
}

t_hox_err atomarray_getatoms(t_atomarray* x, long* ac, t_atom** av) {
    if (!is_array(x) || !ac || !av) return HOX_EROR;
    *ac = x->ac;
    *av = x->av;
    return HOX_ERR_NONE;
}

t_hox_err object_getvalueof(void* x, long* ac, t_atom** av) {
    if (!ac || !av) return HOX_EROR;
    *ac = 0;
    *av = nullptr;
    if (!kRegistered || !is_array(x)) return HOX_EROR;
    auto* a = static_cast<t_atomarray*>(x);
    if (a->ac == 0) return HOX_ERR_NONE;
    *av = copy_atoms(a->ac, a->av);
    if (!*av) return HOX_OMEM;
    *ac = a->ac;
    return HOX_ERR_NONE;
}
