#include "wrapper/mop.h"

#include <cstdio>

#include "hoxhost.h"

namespace {

t_class* g_mop_class;
t_class* g_io_class;
t_class* g_list_class;

// ---- lists

void* list_new() { return object_alloc(g_list_class); }

void* list_getindex(t_vor_mop_list* x, long index) {
    return index >= 0 && index < x->count ? x->items[index] : nullptr;
}

long list_getsize(t_vor_mop_list* x) { return x->count; }

// ---- io

void* io_getmatrix(t_vor_mop_io* x) { return x->matrix; }

void* io_matrixname(t_vor_mop_io* x) {
    return x->matrix ? vor_object_findregisteredbyptr(x->matrix) : nullptr;
}

void* io_forward_target(t_vor_mop_io* x) { return x->matrix; }

// Getter convention: fill the caller's atom, or allocate one.
t_hox_err one_atom(long* ac, t_atom** av) {
    if (*ac > 0 && *av) {
        *ac = 1;
        return HOX_ERR_NONE;
    }
    *av = reinterpret_cast<t_atom*>(sysmem_newptr(sizeof(t_atom)));
    *ac = *av ? 1 : 0;
    return *av ? HOX_ERR_NONE : HOX_OMEM;
}

t_hox_err io_ioname_get(t_vor_mop_io* x, void*, long* ac, t_atom** av) {
    if (t_hox_err err = one_atom(ac, av)) return err;
    atom_setsym(*av, x->ioname);
    return HOX_ERR_NONE;
}

void io_free(t_vor_mop_io* x) {
    if (x->matrix) vor_object_free(x->matrix);
    x->matrix = nullptr;
}

// ---- the adornment

void* mop_new(long inputs, long outputs) {
    auto* x = static_cast<t_vor_mop*>(object_alloc(g_mop_class));
    if (!x) return nullptr;
    x->inputs = inputs < 0 ? 0 : (inputs > kMopMaxIo ? kMopMaxIo : inputs);
    x->outputs = outputs < 0 ? 0 : (outputs > kMopMaxIo ? kMopMaxIo : outputs);
    x->outputmode = 1;
    return x;
}

t_hox_err mop_outputmode_get(t_vor_mop* x, void*, long* ac, t_atom** av) {
    if (t_hox_err err = one_atom(ac, av)) return err;
    atom_setlong(*av, x->outputmode);
    return HOX_ERR_NONE;
}

t_hox_err mop_outputmode_set(t_vor_mop* x, void*, long ac, t_atom* av) {
    if (ac < 1 || !av) return HOX_ERR_NONE;
    x->outputmode = static_cast<int32_t>(atom_getlong(av));
    return HOX_ERR_NONE;
}

void* mop_getoutput(t_vor_mop* x, long index) {
    return index >= 1 && index <= x->outputs ? x->io[index - 1] : nullptr;
}

void* mop_getoutputlist(t_vor_mop* x) { return x->outputlist; }
void* mop_getinputlist(t_vor_mop* x) { return x->inputlist; }

}  // namespace

void mop_classes_register() {
    g_list_class = class_new("vor_mop_list", nullptr, nullptr, sizeof(t_vor_mop_list), nullptr, A_CANT, 0);
    class_addmethod(g_list_class, HOXFN(list_getindex), "getindex", A_CANT, 0);
    class_addmethod(g_list_class, HOXFN(list_getsize), "getsize", A_CANT, 0);
    class_register(gensym("nobox"), g_list_class);

    g_io_class = class_new("vor_mop_io", nullptr, HOXFN(io_free), sizeof(t_vor_mop_io), nullptr, A_CANT, 0);
    class_addmethod(g_io_class, HOXFN(io_getmatrix), "getmatrix", A_CANT, 0);
    class_addmethod(g_io_class, HOXFN(io_matrixname), "matrixname", A_CANT, 0);
    class_addattr(g_io_class, attribute_new("ioname", gensym("symbol"), ATTR_SET_OPAQUE, HOXFN(io_ioname_get),
                                            nullptr));
    hox_class_setforward(g_io_class, HOXFN(io_forward_target));
    class_register(gensym("nobox"), g_io_class);

    g_mop_class = class_new("vor_mop", HOXFN(mop_new), nullptr, sizeof(t_vor_mop), nullptr, A_CANT, 0);
    class_addmethod(g_mop_class, HOXFN(mop_getoutput), "getoutput", A_CANT, 0);
    class_addmethod(g_mop_class, HOXFN(mop_getoutputlist), "getoutputlist", A_CANT, 0);
    class_addmethod(g_mop_class, HOXFN(mop_getinputlist), "getinputlist", A_CANT, 0);
    class_addattr(g_mop_class, attribute_new("outputmode", gensym("long"), 0, HOXFN(mop_outputmode_get),
                                             HOXFN(mop_outputmode_set)));
    class_register(gensym("nobox"), g_mop_class);
}

t_hox_err vor_mop_single_type(void* mop, t_symbol* type) {
    if (!mop || object_class(mop) != g_mop_class) return HOX_EROR;
    static_cast<t_vor_mop*>(mop)->type = type;
    return HOX_ERR_NONE;
}

t_hox_err vor_mop_single_planecount(void* mop, long planecount) {
    if (!mop || object_class(mop) != g_mop_class || planecount < 1 || planecount > VOR_MATRIX_MAXPLANECOUNT)
        return HOX_EROR;
    static_cast<t_vor_mop*>(mop)->planecount = planecount;
    return HOX_ERR_NONE;
}

t_vor_mop* mop_instance_new(void* templ) {
    if (!templ || object_class(templ) != g_mop_class) return nullptr;
    auto* t = static_cast<t_vor_mop*>(templ);
    auto* x = static_cast<t_vor_mop*>(mop_new(t->inputs, t->outputs));
    if (!x) return nullptr;
    x->type = t->type;
    x->planecount = t->planecount;
    x->outputlist = list_new();
    x->inputlist = list_new();
    return x;
}

void mop_setup_outputs(t_vor_mop* mop, t_outlet* const* outlets, long count) {
    auto* outlist = static_cast<t_vor_mop_list*>(mop->outputlist);
    for (long i = 0; i < mop->outputs; ++i) {
        if (mop->io[i]) continue;
        t_vor_matrix_info info;
        vor_matrix_info_default(&info);
        if (mop->type) info.type = mop->type;
        if (mop->planecount) info.planecount = static_cast<int32_t>(mop->planecount);
        auto* io = static_cast<t_vor_mop_io*>(object_alloc(g_io_class));
        if (!io) continue;
        io->matrix = vor_object_new(gensym("vor_matrix"), &info);
        char name[32];
        std::snprintf(name, sizeof name, "out%ld", i + 1);
        io->ioname = gensym(name);
        io->outlet = i < count ? outlets[i] : nullptr;
        mop->io[i] = io;
        if (outlist) {
            outlist->items[i] = io->matrix;
            outlist->count = i + 1;
        }
    }
}

void mop_instance_free(t_vor_mop* mop) {
    if (!mop) return;
    for (long i = 0; i < mop->outputs; ++i) {
        object_free(mop->io[i]);
        mop->io[i] = nullptr;
    }
    object_free(mop->outputlist);
    object_free(mop->inputlist);
    object_free(mop);
}
