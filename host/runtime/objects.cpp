// Objects: allocation, construction and freeing, method calls, typed calls
// and messages sent as a patch sends them.
#include <cstring>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace {

void report(void* x, const char* what, t_symbol* s) {
    hox::console(x, HOX_CONSOLE_ERROR, std::string(what) + " '" + (s ? s->s_name : "") + "'");
}

// One argument for a method of type A_LONG or A_FLOAT: a number (longs and
// floats convert into each other).
bool single_number(long ac, const t_atom* av) {
    return ac == 1 && (av[0].a_type == A_LONG || av[0].a_type == A_FLOAT);
}

// Runs a method found by name for a message; false when its arguments do
// not fit its type.
bool dispatch(const hox::Bound& b, t_symbol* s, long ac, t_atom* av) {
    const t_fn* fn = b.m->fn;
    void* self = b.self;
    switch (b.m->type) {
        case A_NOTHING:
            if (ac != 0) return false;
            hox_fn_call(fn, self);
            return true;
        case A_LONG:
            if (!single_number(ac, av)) return false;
            hox_fn_call(fn, self, atom_getlong(av));
            return true;
        case A_FLOAT: {
            if (!single_number(ac, av)) return false;
            double v = atom_getfloat(av);
            hox_fn_call(fn, self, &v);
            return true;
        }
        case A_SYM:
            if (ac != 1 || av[0].a_type != A_SYM) return false;
            hox_fn_call(fn, self, av[0].a_w.w_sym);
            return true;
        case A_GIMME:
            hox_fn_call(fn, self, s, ac, av);
            return true;
        case A_GIMMEBACK: {
            t_atom rv{};
            hox_fn_call(fn, self, s, ac, av, &rv);
            if (rv.a_type == A_OBJ && rv.a_w.w_obj) object_free(rv.a_w.w_obj);
            return true;
        }
        case A_DEFER_LOW:
        case A_USURP_LOW:
            hox_host_defer(self, fn, s, ac, av, b.m->type == A_USURP_LOW);
            return true;
        default:
            return false;
    }
}

// A method a message can reach: its plain entry unless that is direct-call
// only, else its typed wrapper.
hox::Bound message_method(void* x, t_symbol* s) {
    hox::Bound b = hox::find_method(x, s, false);
    if (b.m && b.m->type != A_CANT) return b;
    return hox::find_method(x, s, true);
}

// `origin` is the object the message was first sent to: it reports errors
// and, when it has a "dumpout" method, answers "get" messages.
t_hox_err send(void* x, t_symbol* s, long ac, t_atom* av, void* origin, int depth) {
    hox::Bound b = message_method(x, s);
    if (b.m) {
        if (dispatch(b, s, ac, av)) return HOX_ERR_NONE;
        report(origin, "bad arguments for message", s);
        return HOX_EROR;
    }
    if (t_object* attr = hox::class_attr_find(static_cast<t_object*>(x)->o_class, s)) {
        hox::Attr* a = hox::attr_of(attr);
        if (!(a->flags & ATTR_SET_OPAQUE) || a->inner) {
            if (hox::attr_set(attr, x, ac, av) == HOX_ERR_NONE) return HOX_ERR_NONE;
            // A custom setter reports its own failures; the runtime speaks
            // only for the values its plain store refused.
            const hox::Attr* store = a->inner ? hox::attr_of(a->inner) : a;
            if (!store || !store->set) report(origin, "bad arguments for message", s);
            return HOX_EROR;
        }
    }
    if (std::strncmp(s->s_name, "get", 3) == 0 && s->s_name[3]) {
        t_symbol* name = gensym(s->s_name + 3);
        if (t_object* attr = hox::class_attr_find(static_cast<t_object*>(x)->o_class, name)) {
            long n = 0;
            t_atom* values = nullptr;
            if (hox::attr_get(attr, x, &n, &values) == HOX_ERR_NONE) {
                t_symbol* dumpout = gensym("dumpout");
                void* to = object_hasmethod(origin, dumpout) ? origin : x;
                if (object_hasmethod(to, dumpout)) object_method(to, dumpout, name, n, values);
                sysmem_freeptr(values);
                return HOX_ERR_NONE;
            }
        }
    }
    if (void* target = hox::forward_target(x); target && depth < 8)
        return send(target, s, ac, av, origin, depth + 1);
    hox::Bound any = hox::find_method(x, gensym("anything"), false);
    if (any.m && any.m->type == A_GIMME) {
        hox_fn_call(any.m->fn, any.self, s, ac, av);
        return HOX_ERR_NONE;
    }
    report(origin, "no method for", s);
    return HOX_EROR;
}

}  // namespace

void* object_alloc(t_class* c) {
    if (!c) return nullptr;
    auto* o = reinterpret_cast<t_object*>(sysmem_newptrclear(c->size));
    if (!o) return nullptr;
    try {
        o->o_runtime = new hox::ObjRuntime;
    } catch (...) {
        sysmem_freeptr(o);
        return nullptr;
    }
    o->o_class = c;
    return o;
}

void* object_new_imp(t_symbol* name_space, t_symbol* classname, long argc, const t_word* argv) {
    t_class* c = class_findbyname(name_space, classname);
    if (!c) return nullptr;
    try {
        if (!c->mnew) return object_alloc(c);
        if (c->argtype == A_GIMME) {
            // Callers give (count, atoms); the constructor also gets the class name.
            t_word count = argc > 0 ? argv[0] : 0;
            t_word atoms = argc > 1 ? argv[1] : 0;
            return reinterpret_cast<void*>(hox_fn_call(c->mnew, classname, count, atoms));
        }
        return reinterpret_cast<void*>(c->mnew->call(argc, argv));
    } catch (...) {
        return nullptr;
    }
}

void* object_new_typed(t_symbol* name_space, t_symbol* classname, long ac, t_atom* av) {
    t_class* c = class_findbyname(name_space, classname);
    if (!c) return nullptr;
    try {
        if (!c->mnew) return object_alloc(c);
        if (c->argtype != A_GIMME) return nullptr;
        return reinterpret_cast<void*>(hox_fn_call(c->mnew, classname, ac, av));
    } catch (...) {
        return nullptr;
    }
}

t_hox_err object_free(void* x) {
    if (!x) return HOX_ERR_NONE;
    auto* o = static_cast<t_object*>(x);
    try {
        if (o->o_class && o->o_class->mfree) hox_fn_call(o->o_class->mfree, x);
    } catch (...) {
    }
    hox::registry_object_freed(x);
    hox_host_forget(x);
    hox::wrapping_forget(x);
    auto* rt = static_cast<hox::ObjRuntime*>(o->o_runtime);
    if (rt) {
        hox::release_outlets(rt);
        delete rt;
    }
    sysmem_freeptr(o);
    return HOX_ERR_NONE;
}

void freeobject(void* x) { object_free(x); }

t_class* object_class(void* x) { return x ? static_cast<t_object*>(x)->o_class : nullptr; }

t_symbol* object_classname(void* x) {
    t_class* c = object_class(x);
    return c ? c->name : nullptr;
}

t_word object_method_imp(void* x, t_symbol* s, long argc, const t_word* argv) {
    for (int depth = 0; x && s && depth < 8; ++depth) {
        hox::Bound b = hox::find_method(x, s, false);
        if (b.m) {
            try {
                return hox::call_with_self(b.m->fn, b.self, argc, argv);
            } catch (...) {
                return 0;
            }
        }
        x = hox::forward_target(x);
    }
    return 0;
}

t_hox_err object_method_typed(void* x, t_symbol* s, long ac, t_atom* av, t_atom* rv) {
    for (int depth = 0; x && s && depth < 8; ++depth) {
        hox::Bound b = hox::find_method(x, s, true);
        if (b.m) {
            t_atom scratch{};
            try {
                return static_cast<t_hox_err>(hox_fn_call(b.m->fn, b.self, s, ac, av, rv ? rv : &scratch));
            } catch (...) {
                return HOX_EROR;
            }
        }
        x = hox::forward_target(x);
    }
    return HOX_EROR;
}

bool object_hasmethod(void* x, t_symbol* s) {
    return hox::find_method(x, s, false).m || hox::find_method(x, s, true).m;
}

t_hox_err object_send(void* x, t_symbol* s, long ac, t_atom* av) {
    if (!x || !s || ac < 0 || (ac > 0 && !av)) return HOX_EROR;
    try {
        return send(x, s, ac, av, x, 0);
    } catch (...) {
        return HOX_EROR;
    }
}
