// Private records of the object runtime: classes, attributes and the
// bookkeeping every object carries. Only the runtime's own sources include
// this header; vorlib reaches the same machinery through hox_private.h.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hoxapi.h"
#include "hoxhost.h"

namespace hox {

struct Method {
    t_symbol* name;
    const t_fn* fn;
    long type;
};

struct Interface {
    t_class* iface;
    long offset;  // byte offset of the interface object's pointer in the instance
    long flags;
};

struct Property {
    t_symbol* name;
    t_symbol* type;
    long flags;
    std::vector<t_atom> atoms;
};

// What makes an object an attribute. Three kinds share it: custom accessors
// (get/set), plain access to the instance at a byte offset (`plain`), and a
// class's view of an interface's attribute (`inner` set).
struct Attr {
    t_symbol* name = nullptr;
    t_symbol* type = nullptr;
    long flags = 0;
    long length = 1;
    const t_fn* get = nullptr;
    const t_fn* set = nullptr;
    const t_fn* filter = nullptr;
    bool plain = false;
    long offset = 0;
    t_object* inner = nullptr;  // the interface's own attribute object
    long iface_offset = 0;      // where the interface object's pointer sits in the outer instance
    std::vector<Property> props;
};

// What o_runtime points at.
struct ObjRuntime {
    std::vector<t_outlet*> outlets;
    std::unique_ptr<Attr> attr;
};

// The attribute record of an object, or null when it is no attribute.
Attr* attr_of(t_object* o);

// Reading and writing an attribute's value on an instance, with the
// accessor, offset, filter and interface rules.
t_hox_err attr_get(t_object* attr, void* self, long* ac, t_atom** av);
t_hox_err attr_set(t_object* attr, void* self, long ac, t_atom* av);

// The attribute of that name on an object's class (own ones, then interface
// views); null when none. Forwarding is not followed.
t_object* class_attr_find(t_class* c, t_symbol* name);

// Method lookup through a class and its interfaces: the entry and the object
// it applies to (the instance, or an interface object). `typed` selects the
// A_GIMMEBACK table.
struct Bound {
    void* self = nullptr;
    const Method* m = nullptr;
};
Bound find_method(void* x, t_symbol* name, bool typed);
// The attribute of that name on an object, and the object to apply it to:
// the instance itself for own and interface attributes (views resolve the
// interface object themselves), or the forward target.
struct BoundAttr {
    void* self = nullptr;
    t_object* attr = nullptr;
};
BoundAttr find_attr(void* x, t_symbol* name);
// The object a class forwards to (null when none or no forwarding).
void* forward_target(void* x);

// Calls a runtime function with self first, then the given words.
t_word call_with_self(const t_fn* fn, void* self, long argc, const t_word* argv);

// Interned symbols used inside the runtime.
t_symbol* sym(const char* text);

// Whether a pointer is an interned symbol record.
bool is_symbol(const void* p);

// Console line on an object (through the sink or to standard error).
void console(void* object, t_hox_console_kind kind, const std::string& text);

// Outlets an object owns, released when the object goes.
void release_outlets(ObjRuntime* rt);

// Registry bookkeeping for object_free.
void registry_object_freed(void* x);
void wrapping_forget(void* x);

}  // namespace hox

struct t_class {
    t_symbol* name = nullptr;
    const t_fn* mnew = nullptr;
    const t_fn* mfree = nullptr;
    long size = 0;
    long argtype = 0;
    t_symbol* name_space = nullptr;
    std::vector<hox::Method> methods;  // every type but A_GIMMEBACK
    std::vector<hox::Method> typed;    // A_GIMMEBACK wrappers
    std::vector<t_symbol*> method_names;  // first registration order, both tables
    std::vector<t_object*> attrs;        // own attributes, registration order
    std::vector<t_object*> iface_attrs;  // views of interface attributes
    std::vector<hox::Interface> interfaces;
    const t_fn* forward = nullptr;
    t_object* adornment = nullptr;
};
