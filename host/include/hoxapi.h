// HoxAPI: the host's object runtime, as a module sees it.
//
// Symbols, atoms and atom arrays, classes with methods and attributes,
// objects, outlets, memory, mutexes, text conversion, paths and the save
// dialog, the file-usage collector and the console. The matrix runtime
// (vorlib.h) builds on this library.
//
// Choices this host makes, written down once here:
// - An atom is 16 bytes: a type word, then an 8-byte value.
// - Functions handed to the runtime (constructors, destructors, methods,
//   attribute accessors, filters) are passed as `const t_fn*`, made with
//   HOXFN(function). The runtime calls them through a typed adapter that
//   turns a list of machine words back into the function's own parameters,
//   so no function pointer is ever cast to another type. Parameters and
//   results must be pointers, integers or enums.
// - Method type codes (class_addmethod):
//     A_NOTHING (0)   message without arguments: fn(self)
//     A_LONG (1), A_FLOAT (2), A_SYM (3)
//                     message with one argument of that type, checked at
//                     dispatch: fn(self, value) (a float is passed as a
//                     pointer to a double)
//     A_GIMME (8)     message with any arguments: fn(self, symbol, count, atoms)
//     A_CANT (9)      direct call only (object_method), never by a message:
//                     fn(self, args...) with the caller's own arguments
//     A_GIMMEBACK (14) typed wrapper: fn(self, symbol, count, atoms, result)
//                     returning t_hox_err, the reply stored in *result
//     A_DEFER_LOW (67) message queued and run later by the host thread's
//                     low-priority queue: fn(self, symbol, count, atoms)
//     A_USURP_LOW (68) like A_DEFER_LOW, but a newer message replaces one
//                     of the same name still waiting in the queue
//   Extra parameters a function does not declare are simply not passed, so
//   a type 67 method may be written fn(self).
// - Class constructors: argument type A_GIMME (8) receive
//   (symbol, count, atoms); A_CANT (9) receive the creator's own arguments.
// - Attribute flags are recorded and reported; see ATTR_* below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#if defined(_WIN32)
#if defined(HOXAPI_BUILD)
#define HOXAPI __declspec(dllexport)
#else
#define HOXAPI __declspec(dllimport)
#endif
#else
#define HOXAPI __attribute__((visibility("default")))
#endif

#if defined(__GNUC__)
#define HOX_PRINTF(a, b) __attribute__((format(printf, a, b)))
#else
#define HOX_PRINTF(a, b)
#endif

// ---------------------------------------------------------------- basics

using t_atom_long = int64_t;
using t_atom_float = double;
using t_hox_err = int32_t;  // 0 for success, else a four-character code
using t_word = intptr_t;    // one argument or result of a runtime call

// Result codes: four characters as one 32-bit value.
constexpr t_hox_err HOX_ERR_NONE = 0;
constexpr t_hox_err HOX_EROR = 0x45524F52;  // 'EROR': the operation cannot run
constexpr t_hox_err HOX_OMEM = 0x4F4D454D;  // 'OMEM': out of memory
constexpr t_hox_err HOX_SPRS = 0x53505253;  // 'SPRS': nothing to output now

struct t_class;
struct t_symbol {
    const char* s_name;  // the interned text; lives as long as the process
};

// Every object record starts with this header; the runtime owns it.
struct t_object {
    t_class* o_class;
    void* o_runtime;  // the runtime's bookkeeping for this object
};

// ---------------------------------------------------------------- atoms

enum : int64_t {
    A_NOTHING = 0,
    A_LONG = 1,
    A_FLOAT = 2,
    A_SYM = 3,
    A_OBJ = 4,
    A_GIMME = 8,
    A_CANT = 9,
    A_GIMMEBACK = 14,
    A_DEFER_LOW = 67,
    A_USURP_LOW = 68,
};

union t_atom_word {
    t_atom_long w_long;
    t_atom_float w_float;
    t_symbol* w_sym;
    t_object* w_obj;
};

struct t_atom {
    int64_t a_type;
    t_atom_word a_w;
};
static_assert(sizeof(t_atom) == 16, "an atom is a type word and an 8-byte value");

// ---------------------------------------------------------------- functions

// A function handed to the runtime: an adapter that calls it with `argc`
// words, and the number of parameters it declares.
struct t_fn {
    t_word (*call)(long argc, const t_word* argv);
    long arity;
};

namespace hox_detail {

template <class T>
constexpr bool is_word_type = std::is_pointer_v<T> || std::is_integral_v<T> || std::is_enum_v<T> ||
                              std::is_same_v<T, std::nullptr_t>;

template <class T>
inline t_word to_word(T v) {
    static_assert(is_word_type<T>, "runtime calls take pointers, integers and enums only");
    if constexpr (std::is_same_v<T, std::nullptr_t>)
        return 0;
    else if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<t_word>(v);
    else
        return static_cast<t_word>(v);
}

template <class T>
inline T from_word(t_word w) {
    static_assert(is_word_type<T>, "runtime calls take pointers, integers and enums only");
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<T>(w);
    else
        return static_cast<T>(w);
}

template <auto F, class Sig>
struct adapter;

template <auto F, class R, class... A>
struct adapter<F, R (*)(A...)> {
    template <std::size_t... I>
    static t_word invoke(long argc, const t_word* argv, std::index_sequence<I...>) {
        auto arg = [&](std::size_t i) -> t_word { return static_cast<long>(i) < argc ? argv[i] : 0; };
        if constexpr (std::is_void_v<R>) {
            F(from_word<A>(arg(I))...);
            return 0;
        } else {
            return to_word<R>(F(from_word<A>(arg(I))...));
        }
    }
    static t_word call(long argc, const t_word* argv) {
        return invoke(argc, argv, std::index_sequence_for<A...>{});
    }
    static constexpr long arity = sizeof...(A);
};

}  // namespace hox_detail

template <auto F>
inline constexpr t_fn hox_fn_v{&hox_detail::adapter<F, decltype(F)>::call,
                               hox_detail::adapter<F, decltype(F)>::arity};

// The runtime's handle on a function of this program: HOXFN(my_method).
#define HOXFN(f) (&hox_fn_v<&f>)

// Call a t_fn with the given arguments (used by the runtime itself and by
// tests).
template <class... A>
inline t_word hox_fn_call(const t_fn* fn, A... a) {
    t_word w[sizeof...(A) + 1] = {hox_detail::to_word(a)...};
    return fn->call(static_cast<long>(sizeof...(A)), w);
}

// ---------------------------------------------------------------- symbols

HOXAPI t_symbol* gensym(const char* text);
HOXAPI const char* str_tr(const char* text);  // translated text (identity here)

// ---------------------------------------------------------------- atoms

HOXAPI t_hox_err atom_setlong(t_atom* a, t_atom_long v);
HOXAPI t_hox_err atom_setfloat(t_atom* a, double v);
HOXAPI t_hox_err atom_setsym(t_atom* a, t_symbol* s);
HOXAPI t_hox_err atom_setobj(t_atom* a, void* o);
HOXAPI t_atom_long atom_getlong(const t_atom* a);   // floats truncate; others 0
HOXAPI t_atom_float atom_getfloat(const t_atom* a); // longs convert; others 0
HOXAPI t_symbol* atom_getsym(const t_atom* a);      // the empty symbol unless A_SYM
HOXAPI void* atom_getobj(const t_atom* a);          // null unless A_OBJ
// Getter convention: when *av is null, allocate one atom with the host's atom
// memory and set *ac to 1, *alloc to 1; otherwise leave them.
HOXAPI t_hox_err atom_alloc(long* ac, t_atom** av, char* alloc);

// ---------------------------------------------------------------- memory

HOXAPI char* sysmem_newptr(long bytes);       // null on failure or bytes < 0
HOXAPI char* sysmem_newptrclear(long bytes);  // zero-filled
HOXAPI void sysmem_freeptr(void* p);          // null is allowed
HOXAPI void sysmem_copyptr(const void* src, void* dst, long bytes);
HOXAPI long sysmem_ptrsize(void* p);          // the size asked of sysmem_newptr

// ---------------------------------------------------------------- atom arrays

// Objects of class "atomarray" in the "nobox" namespace.
// object_new("nobox", "atomarray", count, atoms) copies the atoms.
struct t_atomarray;
HOXAPI t_atomarray* atomarray_new(long ac, const t_atom* av);
HOXAPI t_hox_err atomarray_appendatom(t_atomarray* x, const t_atom* a);
HOXAPI long atomarray_getsize(t_atomarray* x);
HOXAPI t_hox_err atomarray_getindex(t_atomarray* x, long index, t_atom* out);
// The array's own atoms: valid until the array changes or is freed.
HOXAPI t_hox_err atomarray_getatoms(t_atomarray* x, long* ac, t_atom** av);
// A fresh copy of an object's value (an atom array's atoms); the caller
// releases *av with sysmem_freeptr. Objects without a value give 0 atoms and
// HOX_EROR.
HOXAPI t_hox_err object_getvalueof(void* x, long* ac, t_atom** av);

// ---------------------------------------------------------------- classes

// class_new(name, new, free, size, 0, argument type, 0)
HOXAPI t_class* class_new(const char* name, const t_fn* mnew, const t_fn* mfree, long size,
                          const void* reserved, long argtype, long end);
// class_addmethod(class, fn, name, type, 0)
HOXAPI t_hox_err class_addmethod(t_class* c, const t_fn* fn, const char* name, long type, long end);
// Registers the class in a namespace: "box" (what a patch can create) or
// "nobox" (objects made by code only).
HOXAPI t_hox_err class_register(t_symbol* name_space, t_class* c);
HOXAPI t_class* class_findbyname(t_symbol* name_space, t_symbol* name);
HOXAPI t_symbol* class_nameget(t_class* c);

// Attributes. Types: "char" (one byte), "long" (32-bit integer storage),
// "float32", "float64", "symbol", "atom", "object" (pointer).
// Accessor conventions:
//   getter t_hox_err get(self, attr, long* ac, t_atom** av): when *av is
//     given and *ac atoms are room enough, write into them; otherwise
//     allocate with vor_getbytes (or atom_alloc). Either way set *ac to the
//     number of atoms written (0 for no value). object_attr_getlong and
//     object_attr_getsym rely on this to read without allocating.
//   setter t_hox_err set(self, attr, long ac, t_atom* av)
//   filter t_hox_err filter(self, attr, long ac, t_atom* av): runs before
//     the setter (or the plain store)
enum : long {
    ATTR_FLAGS_NONE = 0,
    ATTR_GET_OPAQUE = 0x00000001,       // no getter at all
    ATTR_SET_OPAQUE = 0x00000002,       // no setter at all
    ATTR_GET_OPAQUE_USER = 0x00000100,  // hidden from the inspector's reading
    ATTR_SET_OPAQUE_USER = 0x00000200,  // hidden from the inspector's writing
    ATTR_SET_DEFER_LOW = 0x00040000,    // set from another thread: queued low
    ATTR_GET_DEFER_LOW = 0x08000000,    // get from another thread: queued low
};
HOXAPI t_object* attribute_new(const char* name, t_symbol* type, long flags, const t_fn* get,
                               const t_fn* set);
HOXAPI t_hox_err class_addattr(t_class* c, t_object* attr);
HOXAPI t_object* class_attr_get(t_class* c, t_symbol* name);
// Properties: `text` is read as atoms (words, numbers, "quoted symbols").
HOXAPI t_hox_err object_addattr_parse(t_object* attr, const char* property, t_symbol* type,
                                      long flags, const char* text);
HOXAPI t_hox_err class_attr_addattr_parse(t_class* c, const char* attrname, const char* property,
                                          t_symbol* type, long flags, const char* text);
// Accessors for attributes that only exist for compatibility: reading gives
// nothing, writing is accepted and ignored.
HOXAPI extern const t_fn object_attr_obsolete_getter;
HOXAPI extern const t_fn object_attr_obsolete_setter;

// Attribute access on objects (through the accessors and filters).
HOXAPI t_hox_err object_attr_getvalueof(void* x, t_symbol* name, long* ac, t_atom** av);
HOXAPI t_hox_err object_attr_setvalueof(void* x, t_symbol* name, long ac, t_atom* av);
HOXAPI t_atom_long object_attr_getlong(void* x, t_symbol* name);
HOXAPI t_hox_err object_attr_setlong(void* x, t_symbol* name, t_atom_long v);
HOXAPI t_symbol* object_attr_getsym(void* x, t_symbol* name);
HOXAPI t_hox_err object_attr_setsym(void* x, t_symbol* name, t_symbol* v);
HOXAPI t_object* object_attr_get(void* x, t_symbol* name);  // the attribute object

// ---------------------------------------------------------------- objects

HOXAPI void* object_alloc(t_class* c);  // zero-filled, header set; null on failure
// object_new(namespace, class name, args...): the constructor receives the
// arguments as its argument type says.
HOXAPI void* object_new_imp(t_symbol* name_space, t_symbol* classname, long argc, const t_word* argv);
template <class... A>
inline void* object_new(t_symbol* name_space, t_symbol* classname, A... a) {
    t_word w[sizeof...(A) + 1] = {hox_detail::to_word(a)...};
    return object_new_imp(name_space, classname, static_cast<long>(sizeof...(A)), w);
}
// Creation from an atom list, as a patch does (constructors of type A_GIMME).
HOXAPI void* object_new_typed(t_symbol* name_space, t_symbol* classname, long ac, t_atom* av);
HOXAPI t_hox_err object_free(void* x);  // runs the destructor; null is allowed
HOXAPI void freeobject(void* x);
HOXAPI t_class* object_class(void* x);
HOXAPI t_symbol* object_classname(void* x);

// Methods. object_method calls a method by name with the caller's own
// arguments and returns its result (0 when the object has no such method).
HOXAPI t_word object_method_imp(void* x, t_symbol* s, long argc, const t_word* argv);
template <class... A>
inline void* object_method(void* x, t_symbol* s, A... a) {
    t_word w[sizeof...(A) + 1] = {hox_detail::to_word(a)...};
    return reinterpret_cast<void*>(object_method_imp(x, s, static_cast<long>(sizeof...(A)), w));
}
// Typed call: the method's typed wrapper (A_GIMMEBACK) with an atom list and
// a result atom; HOX_EROR when there is none.
HOXAPI t_hox_err object_method_typed(void* x, t_symbol* s, long ac, t_atom* av, t_atom* rv);
// Whether the object's class (or an interface of it) has a method of that name.
HOXAPI bool object_hasmethod(void* x, t_symbol* s);
// Sends a message as a patch would (type checks, queues for 67 and 68,
// attribute set and "get" messages); reports one console line on a mismatch.
HOXAPI t_hox_err object_send(void* x, t_symbol* s, long ac, t_atom* av);

// ---------------------------------------------------------------- outlets

struct t_outlet;
HOXAPI t_outlet* outlet_new(void* owner, const char* type);
HOXAPI void* outlet_anything(t_outlet* o, t_symbol* s, long ac, t_atom* av);

// ---------------------------------------------------------------- console

HOXAPI void object_post(void* x, const char* fmt, ...) HOX_PRINTF(2, 3);
HOXAPI void object_error(void* x, const char* fmt, ...) HOX_PRINTF(2, 3);

// ---------------------------------------------------------------- threads

struct t_systhread_mutex_rec;
using t_systhread_mutex = t_systhread_mutex_rec*;
HOXAPI long systhread_mutex_new(t_systhread_mutex* m, long flags);  // 0 on success
HOXAPI long systhread_mutex_lock(t_systhread_mutex m);
HOXAPI long systhread_mutex_unlock(t_systhread_mutex m);
HOXAPI long systhread_mutex_free(t_systhread_mutex m);

// ---------------------------------------------------------------- text

#if defined(_WIN32)
using t_unichar = wchar_t;
#else
using t_unichar = char16_t;
#endif
// UTF-16 to a new UTF-8 string (release with sysmem_freeptr); len -1 means
// zero-terminated; *outlen (when given) receives the byte count. Null for
// null input or invalid UTF-16.
HOXAPI char* charset_unicodetoutf8(const t_unichar* s, long len, long* outlen);
// UTF-8 to a new zero-terminated UTF-16 string (release with sysmem_freeptr);
// *outlen (when given) receives the unit count. Null for invalid UTF-8.
HOXAPI t_unichar* charset_utf8tounicode(const char* s, long* outlen);

// ---------------------------------------------------------------- files

constexpr long MAX_PATH_CHARS = 2048;
// Folder ids: small numbers naming a folder the host knows.
HOXAPI short path_getdefault();
// Joins a folder id and a file name into the host's full-path form
// ("/folder/name"); `fullpath` holds MAX_PATH_CHARS bytes. Non-zero when the
// folder is unknown or the result does not fit.
HOXAPI short path_topotentialname(short path, const char* name, char* fullpath, short check);
// Converts a full path into the system's file name (`dst` holds
// MAX_PATH_CHARS bytes). Non-zero when it does not fit.
HOXAPI short path_nameconform(const char* src, char* dst, long style, long type);
// The save dialog: `name` (MAX_PATH_CHARS bytes) gives the proposed name and
// receives the chosen one, *path the chosen folder, *outtype the chosen type.
// Returns 0 when the user saved, 1 when the user cancelled.
HOXAPI short saveasdialog_extended(char* name, short* path, uint32_t* outtype, const uint32_t* typelist,
                                   short numtypes);
// The parent window for device dialogs; null when the host has none.
HOXAPI void* main_get_frame();

// The file-usage collector.
HOXAPI void fileusage_addpackage(void* w, const char* name, t_atomarray* subfolders);
HOXAPI void fileusage_addfilename(void* w, long flags, const char* name);
