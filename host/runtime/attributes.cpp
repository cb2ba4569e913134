// Attributes: attribute objects, their accessors, plain access by offset,
// filters, properties, interface views and attribute access on objects.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "runtime/hox_private.h"
#include "runtime/runtime.h"

namespace {

t_class* attribute_class() {
    static t_class* c = [] {
        t_class* k = class_new("attribute", nullptr, nullptr, sizeof(t_object), nullptr, A_CANT, 0);
        class_register(gensym("nobox"), k);
        return k;
    }();
    return c;
}

// Registered when the library loads, so class_findbyname sees it at once.
[[maybe_unused]] const t_class* const kAttributeClass = attribute_class();

// Bytes one value of a plain attribute takes in the instance; 0 for a type
// the runtime cannot store.
long element_size(t_symbol* type) {
    if (type == gensym("char")) return 1;
    if (type == gensym("long")) return 4;
    if (type == gensym("float32")) return 4;
    if (type == gensym("float64")) return 8;
    if (type == gensym("symbol")) return sizeof(t_symbol*);
    if (type == gensym("atom")) return sizeof(t_atom);
    if (type == gensym("object")) return sizeof(void*);
    return 0;
}

bool is_number(const t_atom& a) { return a.a_type == A_LONG || a.a_type == A_FLOAT; }

template <class T>
T clamp_long(t_atom_long v, t_atom_long lo, t_atom_long hi) {
    return static_cast<T>(std::clamp(v, lo, hi));
}

t_hox_err plain_get(const hox::Attr& a, void* self, long* ac, t_atom** av) {
    long size = element_size(a.type);
    if (!size) return HOX_EROR;
    long n = a.length;
    if (*ac > 0 && *av) {
        n = std::min(*ac, n);
    } else {
        *av = reinterpret_cast<t_atom*>(sysmem_newptrclear(n * static_cast<long>(sizeof(t_atom))));
        if (!*av) {
            *ac = 0;
            return HOX_OMEM;
        }
    }
    *ac = n;
    const char* base = static_cast<const char*>(self) + a.offset;
    for (long i = 0; i < n; ++i) {
        const char* p = base + i * size;
        t_atom* out = *av + i;
        if (a.type == gensym("char")) {
            atom_setlong(out, *reinterpret_cast<const uint8_t*>(p));
        } else if (a.type == gensym("long")) {
            int32_t v;
            std::memcpy(&v, p, sizeof v);
            atom_setlong(out, v);
        } else if (a.type == gensym("float32")) {
            float v;
            std::memcpy(&v, p, sizeof v);
            atom_setfloat(out, v);
        } else if (a.type == gensym("float64")) {
            double v;
            std::memcpy(&v, p, sizeof v);
            atom_setfloat(out, v);
        } else if (a.type == gensym("symbol")) {
            t_symbol* v;
            std::memcpy(&v, p, sizeof v);
            atom_setsym(out, v);
        } else if (a.type == gensym("atom")) {
            std::memcpy(out, p, sizeof(t_atom));
        } else {
            void* v;
            std::memcpy(&v, p, sizeof v);
            atom_setobj(out, v);
        }
    }
    return HOX_ERR_NONE;
}

// Stores the given values (as many as fit); a value of the wrong kind stores
// nothing at all.
t_hox_err plain_set(const hox::Attr& a, void* self, long ac, const t_atom* av) {
    long size = element_size(a.type);
    if (!size) return HOX_EROR;
    long n = std::min(ac, a.length);
    for (long i = 0; i < n; ++i) {
        const t_atom& v = av[i];
        bool ok = a.type == gensym("symbol")   ? v.a_type == A_SYM
                  : a.type == gensym("atom")   ? true
                  : a.type == gensym("object") ? v.a_type == A_OBJ
                                               : is_number(v);
        if (!ok) return HOX_EROR;
    }
    char* base = static_cast<char*>(self) + a.offset;
    for (long i = 0; i < n; ++i) {
        char* p = base + i * size;
        const t_atom* v = av + i;
        if (a.type == gensym("char")) {
            *reinterpret_cast<uint8_t*>(p) = clamp_long<uint8_t>(atom_getlong(v), 0, 255);
        } else if (a.type == gensym("long")) {
            int32_t x = clamp_long<int32_t>(atom_getlong(v), INT32_MIN, INT32_MAX);
            std::memcpy(p, &x, sizeof x);
        } else if (a.type == gensym("float32")) {
            float x = static_cast<float>(atom_getfloat(v));
            std::memcpy(p, &x, sizeof x);
        } else if (a.type == gensym("float64")) {
            double x = atom_getfloat(v);
            std::memcpy(p, &x, sizeof x);
        } else if (a.type == gensym("symbol")) {
            t_symbol* x = atom_getsym(v);
            std::memcpy(p, &x, sizeof x);
        } else if (a.type == gensym("atom")) {
            std::memcpy(p, v, sizeof(t_atom));
        } else {
            void* x = atom_getobj(v);
            std::memcpy(p, &x, sizeof x);
        }
    }
    return HOX_ERR_NONE;
}

void* interface_object(const hox::Attr& view, void* outer) {
    return *reinterpret_cast<void**>(static_cast<char*>(outer) + view.iface_offset);
}

t_hox_err obsolete_get(void*, t_object*, long* ac, t_atom**) {
    if (ac) *ac = 0;
    return HOX_ERR_NONE;
}

t_hox_err obsolete_set(void*, t_object*, long, t_atom*) { return HOX_ERR_NONE; }

// Atoms of a property, converted to the property's declared type.
void coerce(std::vector<t_atom>& atoms, t_symbol* type) {
    for (t_atom& a : atoms) {
        if (type == gensym("symbol") && a.a_type != A_SYM) {
            char buf[64];
            hox_atom_format(&a, buf, sizeof buf);
            atom_setsym(&a, gensym(buf));
        } else if (type == gensym("long") && a.a_type == A_FLOAT) {
            atom_setlong(&a, atom_getlong(&a));
        } else if ((type == gensym("float32") || type == gensym("float64")) && a.a_type == A_LONG) {
            atom_setfloat(&a, atom_getfloat(&a));
        }
    }
}

}  // namespace

const t_fn object_attr_obsolete_getter = hox_fn_v<&obsolete_get>;
const t_fn object_attr_obsolete_setter = hox_fn_v<&obsolete_set>;

namespace hox {

Attr* attr_of(t_object* o) {
    if (!o || !o->o_runtime) return nullptr;
    return static_cast<ObjRuntime*>(o->o_runtime)->attr.get();
}

t_hox_err attr_get(t_object* attr, void* self, long* ac, t_atom** av) {
    Attr* a = attr_of(attr);
    if (!a || !self || !ac || !av) return HOX_EROR;
    if (a->inner) {
        void* inner = interface_object(*a, self);
        return inner ? attr_get(a->inner, inner, ac, av) : HOX_EROR;
    }
    if (a->flags & ATTR_GET_OPAQUE) return HOX_EROR;
    try {
        if (a->get) return static_cast<t_hox_err>(hox_fn_call(a->get, self, attr, ac, av));
        if (a->plain) return plain_get(*a, self, ac, av);
    } catch (...) {
        return HOX_EROR;
    }
    return HOX_EROR;
}

t_hox_err attr_set(t_object* attr, void* self, long ac, t_atom* av) {
    Attr* a = attr_of(attr);
    if (!a || !self || ac < 0 || (ac > 0 && !av)) return HOX_EROR;
    try {
        if (a->inner) {
            void* inner = interface_object(*a, self);
            if (!inner) return HOX_EROR;
            // The filter of a view sees the outer object; the value then goes
            // to the interface object through its own attribute.
            if (a->filter) {
                auto e = static_cast<t_hox_err>(hox_fn_call(a->filter, self, attr, ac, av));
                if (e != HOX_ERR_NONE) return e;
            }
            return attr_set(a->inner, inner, ac, av);
        }
        if (a->flags & ATTR_SET_OPAQUE) return HOX_EROR;
        if (!a->set && !a->plain) return HOX_EROR;
        if (a->filter) {
            auto e = static_cast<t_hox_err>(hox_fn_call(a->filter, self, attr, ac, av));
            if (e != HOX_ERR_NONE) return e;
        }
        if (a->set) return static_cast<t_hox_err>(hox_fn_call(a->set, self, attr, ac, av));
        return plain_set(*a, self, ac, av);
    } catch (...) {
        return HOX_EROR;
    }
}

t_object* class_attr_find(t_class* c, t_symbol* name) {
    if (!c || !name) return nullptr;
    for (t_object* a : c->attrs)
        if (attr_of(a)->name == name) return a;
    for (t_object* a : c->iface_attrs)
        if (attr_of(a)->name == name) return a;
    return nullptr;
}

BoundAttr find_attr(void* x, t_symbol* name) {
    for (int depth = 0; x && depth < 8; ++depth) {
        if (t_object* a = class_attr_find(static_cast<t_object*>(x)->o_class, name)) return {x, a};
        x = forward_target(x);
    }
    return {};
}

}  // namespace hox

t_hox_err hox_attr_setup(t_object* o, const void* name, t_symbol* type, long flags, const t_fn* get,
                         const t_fn* set, bool plain, long offset, long length) {
    if (!o || !o->o_runtime || !name || !type || length < 1 || offset < 0) return HOX_EROR;
    try {
        auto a = std::make_unique<hox::Attr>();
        a->name = hox::is_symbol(name) ? static_cast<t_symbol*>(const_cast<void*>(name))
                                       : gensym(static_cast<const char*>(name));
        a->type = type;
        a->flags = flags;
        a->get = get;
        a->set = set;
        a->plain = plain;
        a->offset = offset;
        a->length = length;
        static_cast<hox::ObjRuntime*>(o->o_runtime)->attr = std::move(a);
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_OMEM;
    }
}

t_hox_err hox_attr_set_filter(t_object* attr, const t_fn* filter) {
    hox::Attr* a = hox::attr_of(attr);
    if (!a) return HOX_EROR;
    a->filter = filter;
    return HOX_ERR_NONE;
}

t_object* attribute_new(const char* name, t_symbol* type, long flags, const t_fn* get, const t_fn* set) {
    if (!name || !type) return nullptr;
    auto* o = static_cast<t_object*>(object_alloc(attribute_class()));
    if (!o) return nullptr;
    if (hox_attr_setup(o, name, type, flags, get, set, false, 0, 1) != HOX_ERR_NONE) {
        object_free(o);
        return nullptr;
    }
    return o;
}

t_hox_err class_addattr(t_class* c, t_object* attr) {
    hox::Attr* a = hox::attr_of(attr);
    if (!c || !a) return HOX_EROR;
    try {
        for (auto& existing : c->attrs) {
            if (hox::attr_of(existing)->name == a->name) {
                existing = attr;  // the newer definition replaces the older
                return HOX_ERR_NONE;
            }
        }
        c->attrs.push_back(attr);
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_OMEM;
    }
}

t_object* class_attr_get(t_class* c, t_symbol* name) { return hox::class_attr_find(c, name); }

t_hox_err object_addattr_parse(t_object* attr, const char* property, t_symbol* type, long flags,
                               const char* text) {
    hox::Attr* a = hox::attr_of(attr);
    if (!a || !property || !type) return HOX_EROR;
    long ac = 0;
    t_atom* av = nullptr;
    char err[128];
    t_hox_err e = hox_atoms_parse(text ? text : "", &ac, &av, err, sizeof err);
    if (e != HOX_ERR_NONE) return e;
    try {
        std::vector<t_atom> atoms(av, av + ac);
        sysmem_freeptr(av);
        coerce(atoms, type);
        t_symbol* name = gensym(property);
        for (auto& p : a->props) {
            if (p.name == name) {
                p = {name, type, flags, std::move(atoms)};
                return HOX_ERR_NONE;
            }
        }
        a->props.push_back({name, type, flags, std::move(atoms)});
        return HOX_ERR_NONE;
    } catch (...) {
        sysmem_freeptr(av);
        return HOX_OMEM;
    }
}

t_hox_err class_attr_addattr_parse(t_class* c, const char* attrname, const char* property, t_symbol* type,
                                   long flags, const char* text) {
    if (!c || !attrname) return HOX_EROR;
    t_object* attr = hox::class_attr_find(c, gensym(attrname));
    if (!attr) return HOX_EROR;
    return object_addattr_parse(attr, property, type, flags, text);
}

// ---------------------------------------------------------------- on objects

t_hox_err object_attr_getvalueof(void* x, t_symbol* name, long* ac, t_atom** av) {
    hox::BoundAttr b = hox::find_attr(x, name);
    if (!b.attr) return HOX_EROR;
    return hox::attr_get(b.attr, b.self, ac, av);
}

t_hox_err object_attr_setvalueof(void* x, t_symbol* name, long ac, t_atom* av) {
    hox::BoundAttr b = hox::find_attr(x, name);
    if (!b.attr) return HOX_EROR;
    return hox::attr_set(b.attr, b.self, ac, av);
}

namespace {

// The single-value readers run on every frame (the box reads its
// attributes on each bang), so they lend the getter a few atoms of their
// own; a getter that needs more allocates as usual.
template <class Pick>
auto read_first(void* x, t_symbol* name, Pick pick) {
    constexpr long kRoom = 4;
    t_atom room[kRoom];
    long ac = kRoom;
    t_atom* av = room;
    const t_hox_err err = object_attr_getvalueof(x, name, &ac, &av);
    auto v = pick(err == HOX_ERR_NONE && av ? ac : 0, av);
    if (av != room) sysmem_freeptr(av);
    return v;
}

}  // namespace

t_atom_long object_attr_getlong(void* x, t_symbol* name) {
    return read_first(x, name, [](long ac, const t_atom* av) -> t_atom_long { return ac > 0 ? atom_getlong(av) : 0; });
}

t_hox_err object_attr_setlong(void* x, t_symbol* name, t_atom_long v) {
    t_atom a;
    atom_setlong(&a, v);
    return object_attr_setvalueof(x, name, 1, &a);
}

t_symbol* object_attr_getsym(void* x, t_symbol* name) {
    return read_first(x, name, [](long ac, const t_atom* av) -> t_symbol* {
        return ac > 0 && av[0].a_type == A_SYM ? av[0].a_w.w_sym : nullptr;
    });
}

t_hox_err object_attr_setsym(void* x, t_symbol* name, t_symbol* v) {
    t_atom a;
    atom_setsym(&a, v);
    return object_attr_setvalueof(x, name, 1, &a);
}

t_object* object_attr_get(void* x, t_symbol* name) { return hox::find_attr(x, name).attr; }

// ---------------------------------------------------------------- introspection

long hox_class_attr_count(t_class* c) {
    return c ? static_cast<long>(c->attrs.size() + c->iface_attrs.size()) : 0;
}

t_object* hox_class_attr_at(t_class* c, long index) {
    if (!c || index < 0) return nullptr;
    auto i = static_cast<std::size_t>(index);
    if (i < c->attrs.size()) return c->attrs[i];
    i -= c->attrs.size();
    return i < c->iface_attrs.size() ? c->iface_attrs[i] : nullptr;
}

t_symbol* hox_attr_name(t_object* attr) {
    hox::Attr* a = hox::attr_of(attr);
    return a ? a->name : nullptr;
}

t_symbol* hox_attr_type(t_object* attr) {
    hox::Attr* a = hox::attr_of(attr);
    return a ? a->type : nullptr;
}

long hox_attr_flags(t_object* attr) {
    hox::Attr* a = hox::attr_of(attr);
    return a ? a->flags : 0;
}

long hox_attr_length(t_object* attr) {
    hox::Attr* a = hox::attr_of(attr);
    return a ? a->length : 0;
}

t_hox_err hox_attr_property(t_object* attr, t_symbol* property, long* ac, t_atom** av) {
    hox::Attr* a = hox::attr_of(attr);
    if (!a || !ac || !av) return HOX_EROR;
    for (auto& p : a->props) {
        if (p.name == property) {
            *ac = static_cast<long>(p.atoms.size());
            *av = p.atoms.empty() ? nullptr : p.atoms.data();
            return HOX_ERR_NONE;
        }
    }
    *ac = 0;
    *av = nullptr;
    return HOX_EROR;
}
