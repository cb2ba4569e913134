// Classes: creation, method tables, namespaces, interfaces, forwarding and
// what the host can ask about them.
#include <map>
#include <mutex>

#include "runtime/hox_private.h"
#include "runtime/runtime.h"

namespace {

struct Namespaces {
    std::mutex lock;
    std::map<t_symbol*, std::map<t_symbol*, t_class*>> classes;
};

Namespaces& namespaces() {
    static Namespaces* n = new Namespaces;
    return *n;
}

const hox::Method* find_in(const std::vector<hox::Method>& table, t_symbol* name) {
    for (const auto& m : table)
        if (m.name == name) return &m;
    return nullptr;
}

void note_name(t_class* c, t_symbol* name) {
    for (t_symbol* s : c->method_names)
        if (s == name) return;
    c->method_names.push_back(name);
}

// Looks through a class and, depth first, through its interfaces.
hox::Bound find_in_class(t_class* c, void* x, t_symbol* name, bool typed, int depth) {
    if (!c || !x || depth > 8) return {};
    if (const hox::Method* m = find_in(typed ? c->typed : c->methods, name)) return {x, m};
    for (const auto& i : c->interfaces) {
        void* inner = *reinterpret_cast<void**>(static_cast<char*>(x) + i.offset);
        if (!inner) continue;
        hox::Bound b = find_in_class(i.iface, inner, name, typed, depth + 1);
        if (b.m) return b;
    }
    return {};
}

}  // namespace

namespace hox {

Bound find_method(void* x, t_symbol* name, bool typed) {
    if (!x || !name) return {};
    return find_in_class(static_cast<t_object*>(x)->o_class, x, name, typed, 0);
}

void* forward_target(void* x) {
    if (!x) return nullptr;
    t_class* c = static_cast<t_object*>(x)->o_class;
    if (!c || !c->forward) return nullptr;
    void* target = reinterpret_cast<void*>(hox_fn_call(c->forward, x));
    return target == x ? nullptr : target;
}

t_word call_with_self(const t_fn* fn, void* self, long argc, const t_word* argv) {
    // Calls are short: a small fixed buffer covers every method the runtime
    // knows; longer ones are cut to what the buffer holds.
    constexpr long kMax = 16;
    t_word w[kMax + 1] = {};
    w[0] = reinterpret_cast<t_word>(self);
    long n = argc < kMax ? argc : kMax;
    for (long i = 0; i < n; ++i) w[i + 1] = argv[i];
    return fn->call(n + 1, w);
}

}  // namespace hox

t_class* class_new(const char* name, const t_fn* mnew, const t_fn* mfree, long size, const void*,
                   long argtype, long) {
    if (!name) return nullptr;
    try {
        auto* c = new t_class;
        c->name = gensym(name);
        c->mnew = mnew;
        c->mfree = mfree;
        c->size = size < static_cast<long>(sizeof(t_object)) ? static_cast<long>(sizeof(t_object)) : size;
        c->argtype = argtype;
        return c;
    } catch (...) {
        return nullptr;
    }
}

t_hox_err class_addmethod(t_class* c, const t_fn* fn, const char* name, long type, long) {
    if (!c || !fn || !name) return HOX_EROR;
    switch (type) {
        case A_NOTHING: case A_LONG: case A_FLOAT: case A_SYM: case A_GIMME: case A_CANT:
        case A_GIMMEBACK: case A_DEFER_LOW: case A_USURP_LOW:
            break;
        default:
            return HOX_EROR;
    }
    try {
        t_symbol* s = gensym(name);
        auto& table = type == A_GIMMEBACK ? c->typed : c->methods;
        for (auto& m : table) {
            if (m.name == s) {  // a later registration replaces the earlier one
                m.fn = fn;
                m.type = type;
                return HOX_ERR_NONE;
            }
        }
        table.push_back({s, fn, type});
        note_name(c, s);
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_OMEM;
    }
}

t_hox_err class_register(t_symbol* name_space, t_class* c) {
    if (!name_space || !c) return HOX_EROR;
    try {
        Namespaces& n = namespaces();
        std::lock_guard<std::mutex> g(n.lock);
        n.classes[name_space][c->name] = c;
        c->name_space = name_space;
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_OMEM;
    }
}

t_class* class_findbyname(t_symbol* name_space, t_symbol* name) {
    if (!name_space || !name) return nullptr;
    Namespaces& n = namespaces();
    std::lock_guard<std::mutex> g(n.lock);
    auto ns = n.classes.find(name_space);
    if (ns == n.classes.end()) return nullptr;
    auto it = ns->second.find(name);
    return it == ns->second.end() ? nullptr : it->second;
}

t_symbol* class_nameget(t_class* c) { return c ? c->name : nullptr; }

t_hox_err hox_class_setforward(t_class* c, const t_fn* target) {
    if (!c) return HOX_EROR;
    c->forward = target;
    return HOX_ERR_NONE;
}

t_hox_err hox_class_set_adornment(t_class* c, t_object* adornment) {
    if (!c) return HOX_EROR;
    c->adornment = adornment;
    return HOX_ERR_NONE;
}

t_object* hox_class_adornment(t_class* c) { return c ? c->adornment : nullptr; }

// ---------------------------------------------------------------- interfaces

t_hox_err hox_class_addinterface(t_class* c, t_class* iface, long offset, long flags) {
    if (!c || !iface || c == iface || offset < static_cast<long>(sizeof(t_object)) ||
        offset + static_cast<long>(sizeof(void*)) > c->size)
        return HOX_EROR;
    try {
        c->interfaces.push_back({iface, offset, flags});
        // The interface's attributes (its own, then those of its interfaces)
        // become views on this class, in the interface's order.
        std::vector<t_object*> inner = iface->attrs;
        inner.insert(inner.end(), iface->iface_attrs.begin(), iface->iface_attrs.end());
        t_class* view_class = class_findbyname(gensym("nobox"), gensym("attribute"));
        for (t_object* a : inner) {
            hox::Attr* src = hox::attr_of(a);
            if (!src) continue;
            auto* v = static_cast<t_object*>(object_alloc(view_class));
            if (!v) return HOX_OMEM;
            if (hox_attr_setup(v, src->name, src->type, src->flags, nullptr, nullptr, false, 0,
                               src->length) != HOX_ERR_NONE) {
                object_free(v);
                return HOX_OMEM;
            }
            hox::Attr* view = hox::attr_of(v);
            view->inner = a;
            view->iface_offset = offset;
            view->props = src->props;
            c->iface_attrs.push_back(v);
        }
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_OMEM;
    }
}

// ---------------------------------------------------------------- introspection

long hox_class_method_type(t_class* c, t_symbol* name) {
    if (!c) return -1;
    if (const hox::Method* m = find_in(c->methods, name)) return m->type;
    if (find_in(c->typed, name)) return A_GIMMEBACK;
    return -1;
}

bool hox_class_has_typedwrapper(t_class* c, t_symbol* name) {
    return c && find_in(c->typed, name) != nullptr;
}

long hox_class_method_count(t_class* c) { return c ? static_cast<long>(c->method_names.size()) : 0; }

t_symbol* hox_class_method_at(t_class* c, long index) {
    if (!c || index < 0 || index >= static_cast<long>(c->method_names.size())) return nullptr;
    return c->method_names[static_cast<std::size_t>(index)];
}
