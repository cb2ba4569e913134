// Matrix-runtime objects: creation and calls, the registry and clients,
// unique names, the console, attributes by name and atoms.
#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "hoxhost.h"
#include "runtime/hox_private.h"
#include "vorlib.h"

namespace {

// Console lines of a wrapped object belong to its box.
void* console_owner(void* x) {
    void* box = hox_host_wrapping_box(x);
    return box ? box : x;
}

std::atomic<long long> unique_counter{1000000001};

}  // namespace

// ---------------------------------------------------------------- objects

void* vor_object_alloc(t_class* c) { return object_alloc(c); }

void* vor_object_new_imp(t_symbol* classname, long argc, const t_word* argv) {
    return object_new_imp(gensym("nobox"), classname, argc, argv);
}

t_hox_err vor_object_method_typed(void* x, t_symbol* s, long ac, t_atom* av, t_atom* rv) {
    return object_method_typed(x, s, ac, av, rv);
}

t_hox_err vor_object_free(void* x) { return object_free(x); }

// ---------------------------------------------------------------- registry

void* vor_object_findregistered(t_symbol* name) { return hox_registry_find(name); }

t_symbol* vor_object_findregisteredbyptr(void* x) { return hox_registry_name(x); }

t_hox_err vor_object_unregister(void* x) { return hox_registry_unregister(x); }

void* vor_object_attach(t_symbol* name, void* client) { return hox_registry_attach(name, client); }

t_hox_err vor_object_detach(t_symbol* name, void* client) { return hox_registry_detach(name, client); }

t_hox_err vor_object_notify(void* x, t_symbol* message, void* data) { return hox_registry_notify(x, message, data); }

t_symbol* vor_symbol_unique() {
    char name[32];
    std::snprintf(name, sizeof name, "u%lld", unique_counter.fetch_add(1));
    return gensym(name);
}

// ---------------------------------------------------------------- console

void vor_object_post(void* x, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    hox_console_v(console_owner(x), HOX_CONSOLE_POST, fmt, ap);
    va_end(ap);
}

void vor_object_error(void* x, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    hox_console_v(console_owner(x), HOX_CONSOLE_ERROR, fmt, ap);
    va_end(ap);
}

void vor_error_code(void* box, t_hox_err code) {
    if (code == HOX_ERR_NONE || code == HOX_SPRS) return;
    char text[5];
    for (int i = 0; i < 4; ++i) {
        auto c = static_cast<unsigned char>((static_cast<uint32_t>(code) >> (24 - 8 * i)) & 0xFF);
        text[i] = std::isprint(c) ? static_cast<char>(c) : '?';
    }
    text[4] = '\0';
    vor_object_error(box, "error code %s", text);
}

// ---------------------------------------------------------------- attributes

t_hox_err vor_attr_setlong(void* x, t_symbol* name, t_atom_long v) { return object_attr_setlong(x, name, v); }

t_atom_long vor_attr_getlong(void* x, t_symbol* name) { return object_attr_getlong(x, name); }

t_hox_err vor_attr_setsym(void* x, t_symbol* name, t_symbol* v) { return object_attr_setsym(x, name, v); }

t_symbol* vor_attr_getsym(void* x, t_symbol* name) { return object_attr_getsym(x, name); }

t_hox_err vor_attr_user_touch(void* x, t_symbol* name) {
    t_object* attr = object_attr_get(x, name);
    if (!attr) return HOX_EROR;
    return vor_object_notify(x, gensym("attr_modified"), attr);
}

// ---------------------------------------------------------------- atoms

t_hox_err vor_atom_setlong(t_atom* a, t_atom_long v) { return atom_setlong(a, v); }
t_hox_err vor_atom_setfloat(t_atom* a, double v) { return atom_setfloat(a, v); }
t_hox_err vor_atom_setsym(t_atom* a, t_symbol* s) { return atom_setsym(a, s); }
t_atom_long vor_atom_getlong(const t_atom* a) { return atom_getlong(a); }
double vor_atom_getfloat(const t_atom* a) { return atom_getfloat(a); }
t_symbol* vor_atom_getsym(const t_atom* a) { return atom_getsym(a); }

namespace {

const t_atom* arg_at(long index, long ac, const t_atom* av) {
    if (!av || index < 0 || index >= ac) return nullptr;
    return av + index;
}

bool is_number(const t_atom* a) { return a->a_type == A_LONG || a->a_type == A_FLOAT; }

}  // namespace

t_hox_err vor_atom_arg_getlong(t_atom_long* result, long index, long ac, const t_atom* av) {
    const t_atom* a = arg_at(index, ac, av);
    if (!result || !a || !is_number(a)) return HOX_EROR;
    *result = atom_getlong(a);
    return HOX_ERR_NONE;
}

t_hox_err vor_atom_arg_getfloat(float* result, long index, long ac, const t_atom* av) {
    const t_atom* a = arg_at(index, ac, av);
    if (!result || !a || !is_number(a)) return HOX_EROR;
    *result = static_cast<float>(atom_getfloat(a));
    return HOX_ERR_NONE;
}

t_hox_err vor_atom_arg_getsym(t_symbol** result, long index, long ac, const t_atom* av) {
    const t_atom* a = arg_at(index, ac, av);
    if (!result || !a || a->a_type != A_SYM) return HOX_EROR;
    *result = a->a_w.w_sym;
    return HOX_ERR_NONE;
}

// Atom memory for getters comes from the same allocator as sysmem, so either
// release works.
void* vor_getbytes(long bytes) { return sysmem_newptr(bytes); }

void vor_freebytes(void* p, long) { sysmem_freeptr(p); }
