// Matrix-runtime classes: the vor_ names for classes, methods, attributes,
// interfaces and adornments, on top of the object runtime. Classes
// registered here live in the "nobox" namespace.
#include "hoxhost.h"
#include "objects/vor_objects.h"
#include "runtime/hox_private.h"
#include "vorlib.h"

namespace {

t_class* offset_class = nullptr;
t_class* offset_array_class = nullptr;

// vor_object_new(_vor_sym_vor_attr_offset, name, type, flags, getter, setter, offset)
void* attr_offset_new(const void* name, t_symbol* type, long flags, const t_fn* get, const t_fn* set,
                      long offset) {
    auto* o = static_cast<t_object*>(object_alloc(offset_class));
    if (!o) return nullptr;
    if (hox_attr_setup(o, name, type, flags, get, set, true, offset, 1) != HOX_ERR_NONE) {
        object_free(o);
        return nullptr;
    }
    return o;
}

// vor_object_new(_vor_sym_vor_attr_offset_array, name, type, length, flags,
// getter, setter, 0, offset); the word before the offset is unused.
void* attr_offset_array_new(const void* name, t_symbol* type, long length, long flags, const t_fn* get,
                            const t_fn* set, long, long offset) {
    auto* o = static_cast<t_object*>(object_alloc(offset_array_class));
    if (!o) return nullptr;
    if (hox_attr_setup(o, name, type, flags, get, set, true, offset, length) != HOX_ERR_NONE) {
        object_free(o);
        return nullptr;
    }
    return o;
}

long method_true(void*) { return 1; }

void* register_method(void* x, t_symbol* name) { return vor_object_register(x, name); }

t_symbol* nobox() { return gensym("nobox"); }

}  // namespace

void vor_register_attribute_classes() {
    offset_class = class_new("vor_attr_offset", HOXFN(attr_offset_new), nullptr, sizeof(t_object), nullptr,
                             A_CANT, 0);
    offset_array_class = class_new("vor_attr_offset_array", HOXFN(attr_offset_array_new), nullptr,
                                   sizeof(t_object), nullptr, A_CANT, 0);
    class_register(nobox(), offset_class);
    class_register(nobox(), offset_array_class);
}

const t_fn vor_method_true = hox_fn_v<&method_true>;
const t_fn vor_object_register_method = hox_fn_v<&register_method>;

t_class* vor_class_new(const char* name, const t_fn* mnew, const t_fn* mfree, long size, long argtype, long) {
    return class_new(name, mnew, mfree, size, nullptr, argtype, 0);
}

t_hox_err vor_class_addmethod(t_class* c, const t_fn* fn, const char* name, long type, long) {
    return class_addmethod(c, fn, name, type, 0);
}

t_hox_err vor_class_addtypedwrapper(t_class* c, const t_fn* fn, const char* name, long, long) {
    return class_addmethod(c, fn, name, A_GIMMEBACK, 0);
}

t_hox_err vor_class_addattr(t_class* c, t_object* attr) { return class_addattr(c, attr); }

t_hox_err vor_class_addadornment(t_class* c, t_object* adornment) { return hox_class_set_adornment(c, adornment); }

t_hox_err vor_class_addinterface(t_class* c, t_class* iface, long offset, long flags) {
    return hox_class_addinterface(c, iface, offset, flags);
}

t_class* vor_class_findbyname(t_symbol* name) { return class_findbyname(nobox(), name); }

t_object* vor_class_attr_get(t_class* c, t_symbol* name) { return class_attr_get(c, name); }

t_hox_err vor_class_register(t_class* c) { return class_register(nobox(), c); }

t_hox_err vor_attr_addfilterset_proc(t_object* attr, const t_fn* filter) { return hox_attr_set_filter(attr, filter); }

void* vor_object_register(void* x, t_symbol* name) { return hox_registry_register(x, name); }
