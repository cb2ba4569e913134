// The box wrapper: how a box holds the object it wraps, gets its MOP
// outputs and dump outlet, forwards messages and attributes to the wrapped
// object, and sends typed-method replies out of the dump outlet.
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "hoxhost.h"
#include "wrapper/mop.h"

namespace {

enum : long {
    kWrapBang = 1,        // the box answers `bang` with its "outputmatrix"
    kWrapOutputmode = 4,  // the adornment has the `outputmode` attribute
};

struct t_obex {
    void* inner = nullptr;
    t_vor_mop* mop = nullptr;
    long mopflags = 0;
    std::vector<t_outlet*> outlets;  // the MOP outputs, from output 1
    t_outlet* dumpout = nullptr;
};

std::mutex g_offsets_lock;
std::map<t_class*, long> g_obex_offsets;

t_obex** obex_slot(void* box) {
    if (!box) return nullptr;
    std::lock_guard<std::mutex> lock(g_offsets_lock);
    auto it = g_obex_offsets.find(object_class(box));
    if (it == g_obex_offsets.end()) return nullptr;
    return reinterpret_cast<t_obex**>(static_cast<char*>(box) + it->second);
}

t_obex* obex_get(void* box) {
    t_obex** slot = obex_slot(box);
    return slot ? *slot : nullptr;
}

t_obex* obex_make(void* box) {
    t_obex** slot = obex_slot(box);
    if (!slot) return nullptr;
    if (!*slot) *slot = new (std::nothrow) t_obex;
    return *slot;
}

bool has_attr(void* x, t_symbol* name) { return x && object_attr_get(x, name) != nullptr; }

// Reads an attribute and sends "NAME values..." out of the dump outlet.
void get_to_dumpout(void* box, void* owner, t_symbol* name) {
    long ac = 0;
    t_atom* av = nullptr;
    if (object_attr_getvalueof(owner, name, &ac, &av) == HOX_ERR_NONE) hox_vor_obex_dumpout(box, name, ac, av);
    sysmem_freeptr(av);
}

// Messages the box has no method of its own for.
void wrapper_anything(void* box, t_symbol* s, long ac, t_atom* av) {
    t_obex* o = obex_get(box);
    if (!o || !o->inner) {
        object_error(box, "no method for '%s'", s->s_name);
        return;
    }
    if ((o->mopflags & kWrapBang) && std::strcmp(s->s_name, "bang") == 0) {
        object_send(box, gensym("outputmatrix"), 0, nullptr);
        return;
    }
    void* mop = (o->mopflags & kWrapOutputmode) ? o->mop : nullptr;
    if (has_attr(mop, s)) {
        object_attr_setvalueof(mop, s, ac, av);
        return;
    }
    if (std::strncmp(s->s_name, "get", 3) == 0 && s->s_name[3]) {
        t_symbol* name = gensym(s->s_name + 3);
        if (has_attr(mop, name)) return get_to_dumpout(box, mop, name);
        if (has_attr(o->inner, name)) return get_to_dumpout(box, o->inner, name);
    }
    object_send(o->inner, s, ac, av);
}

void call_typed(void* box, t_symbol* s, long ac, t_atom* av, bool to_dumpout) {
    void* inner = hox_vor_obex_vorob_get(box);
    if (!inner) return;
    if (!hox_class_has_typedwrapper(object_class(inner), s)) {
        object_error(box, "no method for '%s'", s->s_name);
        return;
    }
    t_atom rv{};
    object_method_typed(inner, s, ac, av, &rv);
    void* reply = atom_getobj(&rv);
    if (!reply) return;
    if (to_dumpout) {
        long n = 0;
        t_atom* atoms = nullptr;
        object_getvalueof(reply, &n, &atoms);
        hox_vor_obex_dumpout(box, s, n, atoms);
        sysmem_freeptr(atoms);
    }
    freeobject(reply);
}

void gimmeback_dumpout(void* box, t_symbol* s, long ac, t_atom* av) { call_typed(box, s, ac, av, true); }
void gimmeback(void* box, t_symbol* s, long ac, t_atom* av) { call_typed(box, s, ac, av, false); }

bool is_attr_arg(const t_atom* a) {
    return a->a_type == A_SYM && a->a_w.w_sym && a->a_w.w_sym->s_name[0] == '@';
}

}  // namespace

const t_fn hox_vor_obex_gimmeback_dumpout = hox_fn_v<&gimmeback_dumpout>;
const t_fn hox_vor_obex_gimmeback = hox_fn_v<&gimmeback>;

t_hox_err hox_vor_class_obex_setup(t_class* c, long obex_offset) {
    if (!c || obex_offset < static_cast<long>(sizeof(t_object))) return HOX_EROR;
    {
        std::lock_guard<std::mutex> lock(g_offsets_lock);
        g_obex_offsets[c] = obex_offset;
    }
    return class_addmethod(c, HOXFN(wrapper_anything), "anything", A_GIMME, 0);
}

t_hox_err hox_vor_class_addmethod_usurp_low(t_class* c, const t_fn* fn, const char* name) {
    return class_addmethod(c, fn, name, A_USURP_LOW, 0);
}

t_hox_err hox_vor_class_addmethod_defer_low(t_class* c, const t_fn* fn, const char* name) {
    return class_addmethod(c, fn, name, A_DEFER_LOW, 0);
}

t_hox_err hox_vor_object_wrap_standard(void* box, void* inner, long) {
    t_obex* o = obex_make(box);
    if (!o || !inner) return HOX_EROR;
    o->inner = inner;
    hox_host_set_wrapping_box(inner, box);
    return HOX_ERR_NONE;
}

t_hox_err hox_vor_object_mop_wrap(void* box, void* inner, long flags) {
    t_obex* o = obex_get(box);
    if (!o || !inner) return HOX_EROR;
    o->mopflags = flags;
    o->mop = mop_instance_new(hox_class_adornment(object_class(inner)));
    if (!o->mop) return HOX_EROR;
    for (long i = 0; i < o->mop->outputs; ++i) o->outlets.push_back(outlet_new(box, "vor_matrix"));
    return HOX_ERR_NONE;
}

t_hox_err hox_vor_object_wrap_complete(void* box, void*, long) {
    t_obex* o = obex_get(box);
    if (!o) return HOX_EROR;
    if (!o->dumpout) {
        o->dumpout = outlet_new(box, nullptr);
        if (o->dumpout) hox_host_outlet_set_dump(o->dumpout);
    }
    return HOX_ERR_NONE;
}

void hox_vor_object_free(void* box) {
    t_obex** slot = obex_slot(box);
    if (!slot || !*slot) return;
    t_obex* o = *slot;
    if (o->inner) hox_host_set_wrapping_box(o->inner, nullptr);
    mop_instance_free(o->mop);
    delete o;
    *slot = nullptr;
}

void* hox_vor_obex_vorob_get(void* box) {
    t_obex* o = obex_get(box);
    return o ? o->inner : nullptr;
}

void* hox_vor_obex_adornment_get(void* box, t_symbol* name) {
    t_obex* o = obex_get(box);
    if (!o || !name || std::strcmp(name->s_name, "vor_mop") != 0) return nullptr;
    return o->mop;
}

void hox_vor_obex_dumpout(void* box, t_symbol* s, long ac, t_atom* av) {
    t_obex* o = obex_get(box);
    if (o && o->dumpout) outlet_anything(o->dumpout, s, ac, av);
}

long hox_vor_attr_args_offset(long ac, const t_atom* av) {
    if (!av) return 0;
    for (long i = 0; i < ac; ++i)
        if (is_attr_arg(&av[i])) return i;
    return ac;
}

t_hox_err hox_vor_attr_args(void* box, long ac, t_atom* av) {
    t_obex* o = obex_get(box);
    if (!o || !o->inner) return HOX_EROR;
    void* mop = (o->mopflags & kWrapOutputmode) ? o->mop : nullptr;
    t_hox_err result = HOX_ERR_NONE;
    long i = hox_vor_attr_args_offset(ac, av);
    while (i < ac) {
        t_symbol* name = gensym(av[i].a_w.w_sym->s_name + 1);
        long j = i + 1;
        while (j < ac && !is_attr_arg(&av[j])) ++j;
        if (has_attr(mop, name)) {
            object_attr_setvalueof(mop, name, j - i - 1, av + i + 1);
        } else if (has_attr(o->inner, name)) {
            object_attr_setvalueof(o->inner, name, j - i - 1, av + i + 1);
        } else {
            object_error(box, "no attribute '%s'", name->s_name);
            result = HOX_EROR;
        }
        i = j;
    }
    return result;
}

t_hox_err hox_vor_mop_setup_simple(void* box, void*, long, t_atom*) {
    t_obex* o = obex_get(box);
    if (!o || !o->mop) return HOX_EROR;
    mop_setup_outputs(o->mop, o->outlets.data(), static_cast<long>(o->outlets.size()));
    return HOX_ERR_NONE;
}

void* hox_vor_mop_getoutput(void* box, long index) {
    t_obex* o = obex_get(box);
    if (!o || !o->mop || index < 1 || index > o->mop->outputs) return nullptr;
    return o->mop->io[index - 1];
}

t_outlet* hox_vor_mop_io_getoutlet(void* io) {
    return io ? static_cast<t_vor_mop_io*>(io)->outlet : nullptr;
}

void hox_vor_mop_free(void* box) {
    t_obex* o = obex_get(box);
    if (!o) return;
    mop_instance_free(o->mop);
    o->mop = nullptr;
}

t_hox_err hox_vor_mop_notify(void*, t_symbol*, t_symbol*) {
    // This host's outputs follow their matrices directly; notifications of
    // the wrapped object need no work here.
    return HOX_ERR_NONE;
}
