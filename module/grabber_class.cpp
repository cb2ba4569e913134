// Registration of the inner class vor_grab_dx_imp: its constructor, MOP
// adornment, attributes, methods, the texture interface and the symbols the
// grabber keeps.
#include <cstddef>

#include "capture/enumerate.h"
#include "capture/graph.h"
#include "controls/controls.h"
#include "grabber/attributes.h"
#include "grabber/grabber.h"
#include "module/module.h"
#include "output/output.h"
#include "output/recording.h"

namespace {

constexpr long kAttrFlags = 0x8040000;    // get and set deferred to the low queue
constexpr long kOpaqueUserFlags = 768;    // hidden from the inspector

#define FIELD(f) static_cast<long>(offsetof(t_grabber, f))

t_object* add_attr(t_class* c, const char* name, t_symbol* type, long flags, const t_fn* get, const t_fn* set,
                   long offset) {
    auto* attr = static_cast<t_object*>(
        vor_object_new(_vor_sym_vor_attr_offset, gensym(name), type, flags, get, set, offset));
    vor_class_addattr(c, attr);
    return attr;
}

t_object* add_array_attr(t_class* c, const char* name, t_symbol* type, long length, const t_fn* get,
                         const t_fn* set, long offset) {
    auto* attr = static_cast<t_object*>(vor_object_new(_vor_sym_vor_attr_offset_array, gensym(name), type, length,
                                                       kAttrFlags, get, set, 0L, offset));
    vor_class_addattr(c, attr);
    return attr;
}

void label(t_object* attr, const char* text) { object_addattr_parse(attr, "label", _vor_sym_symbol, 0, text); }
void onoff(t_object* attr) { object_addattr_parse(attr, "style", _vor_sym_symbol, 0, "onoff"); }

void add_attributes(t_class* c) {
    t_symbol* const chr = _vor_sym_char;
    t_symbol* const lng = _vor_sym_long;
    t_symbol* const f32 = _vor_sym_float32;
    t_symbol* const sym = _vor_sym_symbol;
    t_object* a;

    a = add_attr(c, "engine", sym, kAttrFlags, HOXFN(engine_get), HOXFN(engine_set), 0);
    label(a, "Engine");
    a = add_attr(c, "adapt", chr, kAttrFlags, nullptr, nullptr, FIELD(adapt));
    onoff(a);
    label(a, "Adapt");
    a = add_attr(c, "interp", chr, kAttrFlags, nullptr, nullptr, FIELD(interp));
    onoff(a);
    label(a, "Interp");
    a = add_array_attr(c, "srcrect", lng, 4, nullptr, nullptr, FIELD(srcrect));
    label(a, "\"Source Rect\"");
    a = add_array_attr(c, "dstrect", lng, 4, nullptr, nullptr, FIELD(dstrect));
    label(a, "\"Dest Rect\"");
    a = add_attr(c, "usesrcrect", chr, kAttrFlags, nullptr, nullptr, FIELD(usesrcrect));
    onoff(a);
    label(a, "\"Use Source Rect\"");
    a = add_attr(c, "usedstrect", chr, kAttrFlags, nullptr, nullptr, FIELD(usedstrect));
    onoff(a);
    label(a, "\"Use Dest Rect\"");
    a = add_attr(c, "input", lng, kAttrFlags, HOXFN(input_get), HOXFN(input_set), 0);
    label(a, "Input");
    a = add_attr(c, "format", lng, kAttrFlags, nullptr, HOXFN(format_set), FIELD(format));
    label(a, "Format");
    a = add_attr(c, "framerate", lng, kAttrFlags, nullptr, nullptr, FIELD(framerate));
    label(a, "\"Frame Rate\"");
    a = add_attr(c, "colormode", sym, kAttrFlags, nullptr, HOXFN(colormode_set), FIELD(colormode));
    class_attr_addattr_parse(c, "colormode", "style", _vor_sym_symbol, 0, "enum");
    class_attr_addattr_parse(c, "colormode", "enumvals", _vor_sym_atom, 0, "argb uyvy");
    label(a, "Colormode");
    a = add_attr(c, "unique", chr, kAttrFlags, nullptr, HOXFN(unique_set), FIELD(unique));
    onoff(a);
    label(a, "Unique");
    a = add_attr(c, "dropreport", chr, kAttrFlags, nullptr, HOXFN(dropreport_set), FIELD(dropreport));
    onoff(a);
    label(a, "\"Drop Report\"");
    a = add_attr(c, "vdevice", lng, kAttrFlags, HOXFN(vdevice_get), HOXFN(vdevice_set), FIELD(vdevice));
    label(a, "Vdevice");
    add_array_attr(c, "resolution", lng, 2, HOXFN(resolution_get), HOXFN(resolution_set), 0);
    // Six scalar image attributes, then four arrays of three whose first
    // value is the only one used.
    for (int i = 0; i < 10; ++i) {
        const t_procamp_accessors& p = kProcAmpAccessors[i];
        if (i < 6)
            add_attr(c, p.name, f32, kAttrFlags, p.get, p.set, 0);
        else
            add_array_attr(c, p.name, f32, 3, p.get, p.set, 0);
    }
    add_attr(c, "write_video", chr, kAttrFlags, nullptr, nullptr, FIELD(write_video));
    add_attr(c, "write_audio", chr, kAttrFlags, nullptr, nullptr, FIELD(write_audio));
    a = add_attr(c, "uniqueid", sym, kAttrFlags, HOXFN(uniqueid_get), HOXFN(uniqueid_set), 0);
    label(a, "\"Unique ID\"");
    add_attr(c, "write_name", sym, kOpaqueUserFlags, nullptr, nullptr, FIELD(write_name));
    add_attr(c, "optimize", chr, kOpaqueUserFlags, nullptr, nullptr, FIELD(optimize));
}

void add_methods(t_class* c) {
    vor_class_addmethod(c, HOXFN(matrix_calc), "matrix_calc", A_CANT, 0);
    vor_class_addmethod(c, &vor_method_true, "class_vor_dx_grab", A_CANT, 0);
    vor_class_addmethod(c, &vor_object_register_method, "register", A_CANT, 0);

    const struct {
        const char* name;
        const t_fn* fn;
    } typed[] = {
        {"getvdevlist", HOXFN(grabber_getvdevlist)}, {"getinputlist", HOXFN(grabber_getinputlist)},
        {"getformatlist", HOXFN(grabber_getformatlist)}, {"open", HOXFN(grabber_open_method)},
        {"close", HOXFN(grabber_close_method)}, {"write", HOXFN(grabber_write)},
    };
    for (const auto& m : typed) {
        vor_class_addmethod(c, m.fn, m.name, A_CANT, 0);
        vor_class_addtypedwrapper(c, m.fn, m.name, A_GIMMEBACK, 0);
    }

    vor_class_addmethod(c, HOXFN(grabber_notify), "notify", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(grabber_dimensions), "dimensions", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(grabber_attach), "attach", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(grabber_settings), "settings", A_USURP_LOW, 0);
    vor_class_addmethod(c, HOXFN(grabber_snd_settings), "snd_settings", A_USURP_LOW, 0);
    vor_class_addmethod(c, HOXFN(grabber_stop), "stop", A_DEFER_LOW, 0);
    vor_class_addmethod(c, HOXFN(grabber_defaults), "defaults", A_DEFER_LOW, 0);
    vor_class_addmethod(c, HOXFN(grabber_clear), "clear", A_DEFER_LOW, 0);
    vor_class_addmethod(c, HOXFN(grabber_format_changed), "format_changed", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(grabber_fileusage), "fileusage", A_CANT, 0);
}

void introduced(t_class* c, const char* attr, const char* version) {
    class_attr_addattr_parse(c, attr, "introduced", _vor_sym_symbol, 0, str_tr(version));
}

#undef FIELD

}  // namespace

void grabber_class_register() {
    t_class* c = vor_class_new("vor_grab_dx_imp", HOXFN(grabber_new), HOXFN(grabber_free),
                               static_cast<long>(sizeof(t_grabber)), A_CANT, 0);
    g_module.grabber_class = c;

    // Every output is one 4-plane char matrix.
    void* mop = vor_object_new(_vor_sym_vor_mop, 1L, 1L);
    vor_mop_single_type(mop, _vor_sym_char);
    vor_mop_single_planecount(mop, 4);
    vor_class_addadornment(c, static_cast<t_object*>(mop));

    add_attributes(c);
    add_methods(c);

    vor_class_addinterface(c, vor_class_findbyname(gensym("vor_gl_video_texture")),
                           static_cast<long>(offsetof(t_grabber, texture)), 0);
    vor_attr_addfilterset_proc(vor_class_attr_get(c, gensym("output_texture")), HOXFN(output_texture_filter));

    introduced(c, "adapt", "7.0.4");
    introduced(c, "automatic", "7.0.0");
    introduced(c, "drawto", "7.0.0");
    introduced(c, "output_texture", "7.0.4");
    introduced(c, "texture_name", "7.0.4");
    class_attr_addattr_parse(c, "engine", "obsolete", _vor_sym_long, 0, "1");
    class_attr_addattr_parse(c, "engine", "invisible", _vor_sym_long, 0, "1");
    introduced(c, "uniqueid", "9.0.5");

    vor_class_register(c);

    g_module.argb = gensym("argb");
    g_module.uyvy = gensym("uyvy");
    g_module.write = gensym("write");
    g_module.dropped = gensym("dropped");
    g_module.atomarray = gensym("atomarray");
    g_module.nobox = gensym("nobox");
    g_module.freedata = gensym("freedata");
    g_module.typedmess = gensym("typedmess");
    g_module.draw_texture = gensym("draw_texture");
    g_module.submit_bitmap = gensym("submit_bitmap");
}
