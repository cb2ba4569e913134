// Runtime plumbing that vorlib builds its generic object calls on. Exported
// by HoxAPI for vorlib only: neither modules nor the shell use it.
#pragma once

#include <cstdarg>

#include "hoxapi.h"
#include "hoxhost.h"

// Makes `o` an attribute. `name` is a C string or an interned symbol.
// With `plain`, null accessors mean direct access to `length` values of
// `type` at byte `offset` of the instance.
HOXAPI t_hox_err hox_attr_setup(t_object* o, const void* name, t_symbol* type, long flags,
                                const t_fn* get, const t_fn* set, bool plain, long offset,
                                long length);
HOXAPI t_hox_err hox_attr_set_filter(t_object* attr, const t_fn* filter);
HOXAPI t_hox_err hox_class_addinterface(t_class* c, t_class* iface, long offset, long flags);

// Registry of named objects and their clients.
HOXAPI void* hox_registry_register(void* x, t_symbol* name);
HOXAPI void* hox_registry_find(t_symbol* name);
HOXAPI t_symbol* hox_registry_name(void* x);
HOXAPI t_hox_err hox_registry_unregister(void* x);
HOXAPI void* hox_registry_attach(t_symbol* name, void* client);
HOXAPI t_hox_err hox_registry_detach(t_symbol* name, void* client);
HOXAPI t_hox_err hox_registry_notify(void* x, t_symbol* message, void* data);

// One console line from a printf format, attributed to `x`.
HOXAPI void hox_console_v(void* x, t_hox_console_kind kind, const char* fmt, va_list ap);
