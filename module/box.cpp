#include "module/box.h"

#include <cstddef>
#include <cstdio>

#include "module/module.h"

namespace {

void* box_adornment(t_box* x) { return hox_vor_obex_adornment_get(x, _vor_sym_vor_mop); }

}  // namespace

void* box_new(t_symbol*, long ac, t_atom* av) {
    auto* x = static_cast<t_box*>(object_alloc(g_module.box_class));
    if (!x) return nullptr;

    t_atom_long width = 320;
    t_atom_long height = 240;
    const long n = hox_vor_attr_args_offset(ac, av);
    if (n && av) {
        t_atom_long v;
        if (vor_atom_arg_getlong(&v, 0, ac, av) == 0) width = v;
        if (vor_atom_arg_getlong(&v, 1, ac, av) == 0) height = v;
    }
    x->regname = nullptr;

    void* grabber = vor_object_new(g_module.vor_grab, g_module.vor_grab, ac, av);
    if (!grabber) {
        vor_object_error(x, "vor.dx.grab: could not allocate object");
        freeobject(x);
        return nullptr;
    }

    hox_vor_object_wrap_standard(x, grabber, 0);
    hox_vor_object_mop_wrap(x, grabber, 901);
    hox_vor_object_wrap_complete(x, grabber, 0);

    x->regname = vor_symbol_unique();
    grabber = vor_object_method(grabber, gensym("register"), x->regname);

    hox_vor_mop_setup_simple(x, grabber, ac, av);

    void* output = hox_vor_mop_getoutput(x, 1);
    t_vor_matrix_info info{};
    vor_object_method(output, _vor_sym_getinfo, &info);
    info.type = _vor_sym_char;
    info.planecount = 4;
    info.dimcount = 2;
    info.dim[0] = static_cast<int32_t>(width);
    info.dim[1] = static_cast<int32_t>(height);
    vor_object_method(output, _vor_sym_setinfo, &info);

    vor_object_method(grabber, gensym("attach"), output);

    hox_vor_attr_args(x, ac, av);
    vor_object_attach(x->regname, x);
    // After the attribute arguments, so that an `optimize` among them does not stick.
    vor_attr_setlong(grabber, g_module.optimize, 1);
    vor_object_method(grabber, gensym("set_hox_ob"), x);
    return x;
}

void box_free(t_box* x) {
    void* output = hox_vor_mop_getoutput(x, 1);
    if (output) {
        // An output that still points into the grabber's frame buffer must
        // own its data again before the grabber goes.
        t_vor_matrix_info info{};
        vor_object_method(output, _vor_sym_getinfo, &info);
        if (info.flags & VOR_MATRIX_DATA_REFERENCE) {
            info.flags &= ~VOR_MATRIX_DATA_REFERENCE;
            vor_object_method(output, _vor_sym_setinfo_ex, &info);
        }
    }
    hox_vor_mop_free(x);
    if (x->regname) vor_object_detach(x->regname, x);
    vor_object_free(hox_vor_obex_vorob_get(x));
    hox_vor_object_free(x);
}

t_hox_err box_outputmatrix(t_box* x) {
    void* mop = box_adornment(x);
    if (!mop) return HOX_EROR;
    void* grabber = hox_vor_obex_vorob_get(x);
    if (vor_attr_getlong(grabber, gensym("writing")) && !vor_attr_getlong(grabber, gensym("write_preview")))
        return HOX_ERR_NONE;
    if (!vor_attr_getlong(mop, _vor_sym_outputmode)) return HOX_ERR_NONE;

    void* outputs = vor_object_method(mop, _vor_sym_getoutputlist);
    void* inputs = vor_object_method(mop, _vor_sym_getinputlist);
    const auto err = static_cast<t_hox_err>(
        reinterpret_cast<t_word>(vor_object_method(grabber, _vor_sym_matrix_calc, inputs, outputs)));
    if (err) {
        vor_error_code(x, err);
        return err;
    }

    void* output = vor_object_method(mop, _vor_sym_getoutput, 1L);
    t_outlet* outlet = output ? hox_vor_mop_io_getoutlet(output) : nullptr;
    if (output && outlet) {
        t_atom a;
        if (vor_attr_getlong(grabber, g_module.output_texture)) {
            atom_setsym(&a, vor_attr_getsym(grabber, g_module.texture_name));
            outlet_anything(outlet, _vor_sym_vor_gl_texture, 1, &a);
        } else {
            atom_setsym(&a, static_cast<t_symbol*>(vor_object_method(output, _vor_sym_matrixname)));
            outlet_anything(outlet, _vor_sym_vor_matrix, 1, &a);
        }
    }
    return HOX_ERR_NONE;
}

void box_exportimage(t_box* x, t_symbol*, long ac, t_atom* av) {
    t_atom reply[2];
    atom_setsym(&reply[0], _vor_sym__none_);
    atom_setlong(&reply[1], 0);

    const long bytes = static_cast<long>(sizeof(t_atom)) * (ac > 0 ? ac : 1);
    auto* copy = reinterpret_cast<t_atom*>(sysmem_newptr(bytes));
    if (!copy) return;
    if (ac > 0) sysmem_copyptr(av, copy, bytes);

    void* mop = box_adornment(x);
    void* output = mop ? hox_vor_mop_getoutput(x, 1) : nullptr;
    if (mop && output) {
        const auto err = static_cast<t_hox_err>(
            reinterpret_cast<t_word>(vor_object_method(output, _vor_sym_export_image_surface, ac, av)));
        if (err == 0) {
            if (ac > 0) reply[0] = copy[0];
            atom_setlong(&reply[1], 1);
        }
    }
    sysmem_freeptr(copy);
    hox_vor_obex_dumpout(x, gensym("exportimage"), 2, reply);
}

t_hox_err box_assist(t_box* x, void*, long m, long a, char* s) {
    void* mop = box_adornment(x);
    if (!mop) return HOX_EROR;
    // The host's assistance buffers hold 512 bytes.
    constexpr size_t kAssistSize = 512;
    if (m == 1) {
        std::snprintf(s, kAssistSize, "bang, messages in");
        return HOX_ERR_NONE;
    }
    void* output = vor_object_method(mop, _vor_sym_getoutput, a + 1);
    if (output) {
        t_symbol* ioname = vor_attr_getsym(output, _vor_sym_ioname);
        std::snprintf(s, kAssistSize, "(matrix) %s", ioname ? ioname->s_name : "");
    } else {
        std::snprintf(s, kAssistSize, "dumpout");
    }
    return HOX_ERR_NONE;
}

t_hox_err box_notify(t_box* x, t_symbol* s, t_symbol* msg, void*, void* data) {
    if (msg == g_module.box_typedmess && data) {
        long count = 0;
        t_atom* atoms = nullptr;
        object_getvalueof(data, &count, &atoms);
        if (count == 0 || !atoms) {
            sysmem_freeptr(atoms);
            return HOX_ERR_NONE;
        }
        hox_vor_obex_dumpout(x, atom_getsym(&atoms[0]), count - 1, atoms + 1);
        sysmem_freeptr(atoms);
        return HOX_ERR_NONE;
    }
    hox_vor_mop_notify(x, s, msg);
    return HOX_ERR_NONE;
}

void box_class_register() {
    t_class* c = class_new("vor.dx.grab", HOXFN(box_new), HOXFN(box_free), static_cast<long>(sizeof(t_box)),
                           nullptr, A_GIMME, 0);
    g_module.box_class = c;
    hox_vor_class_obex_setup(c, static_cast<long>(offsetof(t_box, obex)));
    hox_vor_class_addmethod_usurp_low(c, HOXFN(box_outputmatrix), "outputmatrix");
    hox_vor_class_addmethod_defer_low(c, HOXFN(box_exportimage), "exportimage");
    hox_vor_class_addmethod_defer_low(c, &hox_vor_obex_gimmeback_dumpout, "open");
    hox_vor_class_addmethod_defer_low(c, &hox_vor_obex_gimmeback_dumpout, "close");
    hox_vor_class_addmethod_defer_low(c, &hox_vor_obex_gimmeback, "write");
    for (const char* name : {"getvdevlist", "getinputlist", "getsnddevlist", "getsndinputlist", "getformatlist"})
        hox_vor_class_addmethod_defer_low(c, &hox_vor_obex_gimmeback_dumpout, name);
    class_addmethod(c, HOXFN(box_assist), "assist", A_CANT, 0);
    class_addmethod(c, HOXFN(box_notify), "notify", A_CANT, 0);
    class_register(gensym("box"), c);
}
