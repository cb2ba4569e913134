// vorlib: the host's matrix runtime, as a module sees it.
//
// Matrix classes and attributes on top of HoxAPI, matrices and their copy
// with a conversion descriptor (`frommatrix`), bitmaps, the uyvy/ayuv
// converters, the texture class, the box wrapper (`hox_vor_*`), the capture
// engine class `vor_grab` and the card back end (`bm_grab_*`).
//
// Choices this host makes, written down once here:
// - Matrix "long" attributes store 32-bit integers.
// - `vor_object_new(_vor_sym_vor_grab, _vor_sym_vor_grab, count, atoms)`
//   creates an instance of the class registered as "vor_grab_dx_imp" with
//   (width, height, device): width and height are the first two creation
//   arguments before any attribute argument when they read as numbers (0
//   when missing), device is 0. So a box created without arguments gets a
//   grabber made with (0, 0, 0).
// - Unique names are "u" followed by a counter starting at 1000000001.
// - The none symbol `_vor_sym__none_` is "_none_"; `_vor_sym_nothing` is "".
// - Box wrapping flags (hox_vor_object_mop_wrap): bit 1 gives the box a
//   `bang` that runs its "outputmatrix" method, bit 4 gives the MOP
//   adornment the `outputmode` attribute (default 1), and 901 has both.
#pragma once

#include "hoxapi.h"

#if defined(_WIN32)
#if defined(VORLIB_BUILD)
#define VORLIB __declspec(dllexport)
#else
#define VORLIB __declspec(dllimport)
#endif
#else
#define VORLIB __attribute__((visibility("default")))
#endif

// ---------------------------------------------------------------- symbols

// Interned by the runtime when it loads.
VORLIB extern t_symbol* _vor_sym_nothing;         // ""
VORLIB extern t_symbol* _vor_sym__none_;          // "_none_"
VORLIB extern t_symbol* _vor_sym_char;            // "char"
VORLIB extern t_symbol* _vor_sym_long;            // "long"
VORLIB extern t_symbol* _vor_sym_float32;         // "float32"
VORLIB extern t_symbol* _vor_sym_float64;         // "float64"
VORLIB extern t_symbol* _vor_sym_symbol;          // "symbol"
VORLIB extern t_symbol* _vor_sym_atom;            // "atom"
VORLIB extern t_symbol* _vor_sym_object;          // "object"
VORLIB extern t_symbol* _vor_sym_vor_matrix;      // "vor_matrix"
VORLIB extern t_symbol* _vor_sym_vor_mop;         // "vor_mop"
VORLIB extern t_symbol* _vor_sym_vor_attr_offset;        // "vor_attr_offset"
VORLIB extern t_symbol* _vor_sym_vor_attr_offset_array;  // "vor_attr_offset_array"
VORLIB extern t_symbol* _vor_sym_vor_gl_texture;  // "vor_gl_texture"
VORLIB extern t_symbol* _vor_sym_dim;             // "dim"
VORLIB extern t_symbol* _vor_sym_getinfo;         // "getinfo"
VORLIB extern t_symbol* _vor_sym_setinfo;         // "setinfo"
VORLIB extern t_symbol* _vor_sym_setinfo_ex;      // "setinfo_ex"
VORLIB extern t_symbol* _vor_sym_data;            // "data"
VORLIB extern t_symbol* _vor_sym_getdata;         // "getdata"
VORLIB extern t_symbol* _vor_sym_frommatrix;      // "frommatrix"
VORLIB extern t_symbol* _vor_sym_lock;            // "lock"
VORLIB extern t_symbol* _vor_sym_getindex;        // "getindex"
VORLIB extern t_symbol* _vor_sym_fillplane;       // "fillplane"
VORLIB extern t_symbol* _vor_sym_clear_custom;    // "clear_custom"
VORLIB extern t_symbol* _vor_sym_getmatrix;       // "getmatrix"
VORLIB extern t_symbol* _vor_sym_matrixname;      // "matrixname"
VORLIB extern t_symbol* _vor_sym_matrix_calc;     // "matrix_calc"
VORLIB extern t_symbol* _vor_sym_getoutput;       // "getoutput"
VORLIB extern t_symbol* _vor_sym_getoutputlist;   // "getoutputlist"
VORLIB extern t_symbol* _vor_sym_getinputlist;    // "getinputlist"
VORLIB extern t_symbol* _vor_sym_outputmode;      // "outputmode"
VORLIB extern t_symbol* _vor_sym_ioname;          // "ioname"
VORLIB extern t_symbol* _vor_sym_export_image_surface;  // "export_image_surface"

// ---------------------------------------------------------------- classes

// vor_class_new(name, new, free, size, argument type, 0)
VORLIB t_class* vor_class_new(const char* name, const t_fn* mnew, const t_fn* mfree, long size, long argtype,
                              long end);
VORLIB t_hox_err vor_class_addmethod(t_class* c, const t_fn* fn, const char* name, long type, long end);
// The typed wrapper (type A_GIMMEBACK) of a method: what object_method_typed
// calls. fn(self, symbol, count, atoms, result atom) -> t_hox_err.
VORLIB t_hox_err vor_class_addtypedwrapper(t_class* c, const t_fn* fn, const char* name, long type, long end);
// `attr` is an object made with vor_object_new(_vor_sym_vor_attr_offset, name,
// type, flags, getter, setter, byte offset) or
// vor_object_new(_vor_sym_vor_attr_offset_array, name, type, length, flags,
// getter, setter, 0, byte offset); name a C string (a symbol is accepted
// too); getter and setter null for plain access.
VORLIB t_hox_err vor_class_addattr(t_class* c, t_object* attr);
// The class keeps `adornment` as the template of what its instances' wrapper
// gets (the MOP: outputs, their type and plane count).
VORLIB t_hox_err vor_class_addadornment(t_class* c, t_object* adornment);
// The attributes and methods of `iface` appear on `c` and act on the object
// whose pointer is stored at byte `offset` of the instance.
VORLIB t_hox_err vor_class_addinterface(t_class* c, t_class* iface, long offset, long flags);
VORLIB t_class* vor_class_findbyname(t_symbol* name);
VORLIB t_object* vor_class_attr_get(t_class* c, t_symbol* name);
VORLIB t_hox_err vor_class_register(t_class* c);
// filter(self, attr, count, atoms) runs before every set of the attribute.
VORLIB t_hox_err vor_attr_addfilterset_proc(t_object* attr, const t_fn* filter);

// Methods the runtime offers for registration.
VORLIB extern const t_fn vor_method_true;              // answers 1
VORLIB extern const t_fn vor_object_register_method;   // register(self, name) -> registered object
VORLIB void* vor_object_register(void* x, t_symbol* name);

// MOP adornment set-up: vor_object_new(_vor_sym_vor_mop, inputs, outputs).
VORLIB t_hox_err vor_mop_single_type(void* mop, t_symbol* type);
VORLIB t_hox_err vor_mop_single_planecount(void* mop, long planecount);

// ---------------------------------------------------------------- objects

VORLIB void* vor_object_alloc(t_class* c);  // zero-filled instance, or null
VORLIB void* vor_object_new_imp(t_symbol* classname, long argc, const t_word* argv);
template <class... A>
inline void* vor_object_new(t_symbol* classname, A... a) {
    t_word w[sizeof...(A) + 1] = {hox_detail::to_word(a)...};
    return vor_object_new_imp(classname, static_cast<long>(sizeof...(A)), w);
}
template <class... A>
inline void* vor_object_method(void* x, t_symbol* s, A... a) {
    t_word w[sizeof...(A) + 1] = {hox_detail::to_word(a)...};
    return reinterpret_cast<void*>(object_method_imp(x, s, static_cast<long>(sizeof...(A)), w));
}
VORLIB t_hox_err vor_object_method_typed(void* x, t_symbol* s, long ac, t_atom* av, t_atom* rv);
VORLIB t_hox_err vor_object_free(void* x);

// Registry and clients. A client attached to a name gets
// notify(client, name, message, sender, data) for every vor_object_notify of
// the object registered under that name (also when the object is registered
// after the client attached).
VORLIB void* vor_object_findregistered(t_symbol* name);
VORLIB t_symbol* vor_object_findregisteredbyptr(void* x);  // null when not registered
VORLIB t_hox_err vor_object_unregister(void* x);
VORLIB void* vor_object_attach(t_symbol* name, void* client);  // the registered object or null
VORLIB t_hox_err vor_object_detach(t_symbol* name, void* client);
VORLIB t_hox_err vor_object_notify(void* x, t_symbol* message, void* data);
VORLIB t_symbol* vor_symbol_unique();

// Console: one line on the host console, attributed to the object (or to the
// box that wraps it).
VORLIB void vor_object_post(void* x, const char* fmt, ...) HOX_PRINTF(2, 3);
VORLIB void vor_object_error(void* x, const char* fmt, ...) HOX_PRINTF(2, 3);
// Reports a result code on the box's console as "error code XXXX" (the four
// characters); SPRS is not reported.
VORLIB void vor_error_code(void* box, t_hox_err code);

// ---------------------------------------------------------------- attributes

VORLIB t_hox_err vor_attr_setlong(void* x, t_symbol* name, t_atom_long v);
VORLIB t_atom_long vor_attr_getlong(void* x, t_symbol* name);  // 0 when missing
VORLIB t_hox_err vor_attr_setsym(void* x, t_symbol* name, t_symbol* v);
VORLIB t_symbol* vor_attr_getsym(void* x, t_symbol* name);     // null when missing
// Announces a changed attribute: clients get the notification
// "attr_modified" with the attribute object as data.
VORLIB t_hox_err vor_attr_user_touch(void* x, t_symbol* name);

// ---------------------------------------------------------------- atoms

VORLIB t_hox_err vor_atom_setlong(t_atom* a, t_atom_long v);
VORLIB t_hox_err vor_atom_setfloat(t_atom* a, double v);
VORLIB t_hox_err vor_atom_setsym(t_atom* a, t_symbol* s);
VORLIB t_atom_long vor_atom_getlong(const t_atom* a);
VORLIB double vor_atom_getfloat(const t_atom* a);
VORLIB t_symbol* vor_atom_getsym(const t_atom* a);
// Argument `index` of a list, converted (longs and floats convert into each
// other; a symbol is taken only by getsym). 0 on success, HOX_EROR when the
// index is out of range or the type does not fit; the result is then left
// unchanged.
VORLIB t_hox_err vor_atom_arg_getlong(t_atom_long* result, long index, long ac, const t_atom* av);
VORLIB t_hox_err vor_atom_arg_getfloat(float* result, long index, long ac, const t_atom* av);
VORLIB t_hox_err vor_atom_arg_getsym(t_symbol** result, long index, long ac, const t_atom* av);
VORLIB void* vor_getbytes(long bytes);  // atom memory for getters; null on failure
VORLIB void vor_freebytes(void* p, long bytes);

// ---------------------------------------------------------------- matrices

constexpr int VOR_MATRIX_MAXDIMCOUNT = 32;
constexpr int VOR_MATRIX_MAXPLANECOUNT = 32;

enum : int32_t {
    VOR_MATRIX_DATA_REFERENCE = 4,  // the matrix refers to data it does not own
};

struct t_vor_matrix_info {
    int64_t size;  // bytes of data
    t_symbol* type;
    int32_t flags;
    int32_t dimcount;
    int32_t dim[VOR_MATRIX_MAXDIMCOUNT];
    int32_t dimstride[VOR_MATRIX_MAXDIMCOUNT];
    int32_t planecount;
};

enum : int32_t {
    VOR_MATRIX_CONVERT_INTERP = 2,
    VOR_MATRIX_CONVERT_SRCDIM = 4,
    VOR_MATRIX_CONVERT_DSTDIM = 8,
};

// The conversion descriptor of frommatrix.
struct t_vor_matrix_conv_info {
    int32_t flags;
    int32_t planemap[VOR_MATRIX_MAXPLANECOUNT];
    int32_t srcdimstart[VOR_MATRIX_MAXDIMCOUNT];  // first cell, per dimension
    int32_t srcdimend[VOR_MATRIX_MAXDIMCOUNT];    // last cell, inclusive; start > end runs backwards
    int32_t dstdimstart[VOR_MATRIX_MAXDIMCOUNT];
    int32_t dstdimend[VOR_MATRIX_MAXDIMCOUNT];
};

// char, 4 planes, 2 dims of 1 x 1, strides and size to match.
VORLIB void vor_matrix_info_default(t_vor_matrix_info* info);

// Methods of "vor_matrix" objects, called with vor_object_method(m, symbol, ...):
//   getinfo(t_vor_matrix_info*)                 -> t_hox_err
//   setinfo(t_vor_matrix_info*)                 -> t_hox_err  (owns data; strides and size computed; notifies "setinfo")
//   setinfo_ex(t_vor_matrix_info*)              -> t_hox_err  (taken as given; with VOR_MATRIX_DATA_REFERENCE no data is owned; notifies "setinfo")
//   data(void*)                                 -> t_hox_err  (the data a referring matrix points at)
//   getdata(void**)                             -> t_hox_err
//   freedata()                                  -> t_hox_err  (drops owned data)
//   lock(long)                                  -> previous lock state
//   frommatrix(void* source, t_vor_matrix_conv_info* or null) -> t_hox_err
//   fillplane(long plane, long value)           -> t_hox_err
//   clear_custom(long packed)                   -> t_hox_err  (plane 0 in the most significant byte)
//   export_image_surface(long ac, t_atom* av)   -> t_hox_err  (PNG; the first atom names the file)
//   matrixname()                                -> t_symbol* (registered name)
// A matrix created with vor_object_new(_vor_sym_vor_matrix, info or null) is
// registered under a unique name. Freeing it notifies "free".

// ---------------------------------------------------------------- bitmaps

struct t_vor_bitmap {
    int32_t width;
    int32_t height;  // signed: negative is top-down
    int32_t pitch;   // bytes per row
    uint8_t format;  // pixel format code: 3 packed uyvy, 8 argb (x, r, g, b in memory order b, g, r, x)
    void* data;      // set with vor_bitmap_setdata; not owned
    int32_t locks;
};
VORLIB t_vor_bitmap* vor_bitmap_new(long width, long height, long pitch, long flags);
VORLIB t_hox_err vor_bitmap_setdata(t_vor_bitmap* b, void* data);
VORLIB void* vor_bitmap_lock(t_vor_bitmap* b);
VORLIB long vor_bitmap_pitch(t_vor_bitmap* b);
VORLIB t_hox_err vor_bitmap_release(t_vor_bitmap* b);
VORLIB t_hox_err vor_bitmap_free(t_vor_bitmap* b);

// ---------------------------------------------------------------- box wrapper

VORLIB t_hox_err hox_vor_class_obex_setup(t_class* c, long obex_offset);
VORLIB t_hox_err hox_vor_class_addmethod_usurp_low(t_class* c, const t_fn* fn, const char* name);
VORLIB t_hox_err hox_vor_class_addmethod_defer_low(t_class* c, const t_fn* fn, const char* name);
// Defer-low methods of the runtime: call the wrapped object's typed method of
// the message's name; the first also sends the reply list out of the dump
// outlet under that name.
VORLIB extern const t_fn hox_vor_obex_gimmeback_dumpout;
VORLIB extern const t_fn hox_vor_obex_gimmeback;

VORLIB t_hox_err hox_vor_object_wrap_standard(void* box, void* inner, long flags);
VORLIB t_hox_err hox_vor_object_mop_wrap(void* box, void* inner, long flags);
VORLIB t_hox_err hox_vor_object_wrap_complete(void* box, void* inner, long flags);
VORLIB void hox_vor_object_free(void* box);
VORLIB void* hox_vor_obex_vorob_get(void* box);
VORLIB void* hox_vor_obex_adornment_get(void* box, t_symbol* name);
VORLIB void hox_vor_obex_dumpout(void* box, t_symbol* s, long ac, t_atom* av);
// Creation arguments: how many come before the first "@name" argument.
VORLIB long hox_vor_attr_args_offset(long ac, const t_atom* av);
// Applies every "@name values..." creation argument to the wrapped object.
VORLIB t_hox_err hox_vor_attr_args(void* box, long ac, t_atom* av);
VORLIB t_hox_err hox_vor_mop_setup_simple(void* box, void* inner, long ac, t_atom* av);
// Output `index` (from 1) of the box's MOP: an io object that answers
// getmatrix, matrixname and ioname and passes every matrix method on to its
// matrix; null when there is none.
VORLIB void* hox_vor_mop_getoutput(void* box, long index);
VORLIB t_outlet* hox_vor_mop_io_getoutlet(void* io);
VORLIB void hox_vor_mop_free(void* box);
VORLIB t_hox_err hox_vor_mop_notify(void* box, t_symbol* s, t_symbol* msg);

// ---------------------------------------------------------------- card back end

struct t_bm_grab;
VORLIB t_bm_grab* bm_grab_new(void* owner);
VORLIB void bm_grab_free(t_bm_grab* h);
VORLIB long bm_grab_getDeviceCount(t_bm_grab* h);
VORLIB t_hox_err bm_grab_getDeviceName(t_bm_grab* h, long index, t_atom* name);
VORLIB t_hox_err bm_grab_getDeviceID(t_bm_grab* h, long index, t_atom* id);
VORLIB long bm_grab_getDeviceIndexForID(t_bm_grab* h, t_symbol* id);  // negative when not found
VORLIB long bm_grab_open(t_bm_grab* h, long index);                   // non-zero on success
VORLIB void bm_grab_close(t_bm_grab* h);
VORLIB t_hox_err bm_grab_setPixelFormat(t_bm_grab* h, long index, t_symbol* colormode);
VORLIB t_hox_err bm_grab_setDisplayMode(t_bm_grab* h, long index, long mode);
// The display mode names of a device, stored into `result` as a new atom
// array of symbols (the caller frees it).
VORLIB t_hox_err bm_grab_getDisplayModeNames(t_bm_grab* h, long index, t_atom* result);
// 2 = a new frame in *bitmap (replacing it), 0 = no new frame, 5 = out of
// memory, other values: no frame to give.
VORLIB long bm_grab_getCurrentFrame(t_bm_grab* h, t_vor_bitmap** bitmap, void* texture, long unique);
