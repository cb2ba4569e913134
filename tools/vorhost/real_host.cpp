#include "real_host.h"

#include "hoxhost.h"
#include "matrix_view.h"

#include <cstdint>

namespace vorhost {

namespace {

void on_console(void* ctx, void* object, t_hox_console_kind kind, const char* text) {
    static_cast<HostEvents*>(ctx)->console(object, kind == HOX_CONSOLE_ERROR, text);
}

void on_outlet(void* ctx, void* owner, long index, bool dump, t_symbol* s, long ac, t_atom* av) {
    static_cast<HostEvents*>(ctx)->outlet(owner, index, dump, s, ac, av);
}

t_symbol* box_namespace() {
    return gensym("box");
}

// A matrix method's result code (methods answer through a machine word).
t_hox_err method_err(void* result) {
    return static_cast<t_hox_err>(reinterpret_cast<intptr_t>(result));
}

// Output 1 of a box and its description.
void* output_info(void* box, t_vor_matrix_info& info, std::string& why) {
    void* io = hox_vor_mop_getoutput(box, 1);
    if (!io) {
        why = "the box has no matrix output";
        return nullptr;
    }
    info = t_vor_matrix_info{};
    if (method_err(vor_object_method(io, _vor_sym_getinfo, &info)) != HOX_ERR_NONE) {
        why = "the output matrix does not describe itself";
        return nullptr;
    }
    return io;
}

}  // namespace

RealHost::~RealHost() {
    connect(nullptr);
}

void RealHost::connect(HostEvents* events) {
    events_ = events;
    if (events) {
        hox_host_set_console(on_console, events);
        hox_host_set_outlet_sink(on_outlet, events);
    } else {
        hox_host_set_console(nullptr, nullptr);
        hox_host_set_outlet_sink(nullptr, nullptr);
    }
}

bool RealHost::load_module(const std::string& path, std::string& why) {
    char err[512] = "";
    if (hox_host_load_module(path.c_str(), err, sizeof err) != 0) {
        why = err[0] ? err : "the module cannot be loaded";
        return false;
    }
    return true;
}

void RealHost::set_default_folder(const std::string& dir) {
    hox_host_set_default_folder(dir.c_str());
}

bool RealHost::parse(const std::string& text, std::vector<t_atom>& atoms, std::string& why) {
    long ac = 0;
    t_atom* av = nullptr;
    char err[256] = "";
    t_hox_err e = hox_atoms_parse(text.c_str(), &ac, &av, err, sizeof err);
    atoms.clear();
    if (e == HOX_ERR_NONE && av)
        atoms.assign(av, av + ac);
    sysmem_freeptr(av);
    if (e != HOX_ERR_NONE) {
        why = err[0] ? err : "cannot read the line";
        return false;
    }
    return true;
}

std::string RealHost::format(const t_atom& a) {
    char buf[256];
    long n = hox_atom_format(&a, buf, sizeof buf);
    if (n < 0)
        return {};
    if (n < long(sizeof buf))
        return std::string(buf, static_cast<std::size_t>(n));
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    hox_atom_format(&a, big.data(), n + 1);
    big.resize(static_cast<std::size_t>(n));
    return big;
}

bool RealHost::has_box_class(const std::string& name) {
    return class_findbyname(box_namespace(), gensym(name.c_str())) != nullptr;
}

void* RealHost::new_box(const std::string& class_name, std::vector<t_atom>& args) {
    return object_new_typed(box_namespace(), gensym(class_name.c_str()), long(args.size()),
                            args.empty() ? nullptr : args.data());
}

void RealHost::send(void* box, t_symbol* message, std::vector<t_atom>& args) {
    // A message the box does not take is reported on the console by the host.
    object_send(box, message, long(args.size()), args.empty() ? nullptr : args.data());
}

void RealHost::free_box(void* box) {
    object_free(box);
}

void* RealHost::wrapping_box(void* object) {
    return hox_host_wrapping_box(object);
}

std::string RealHost::class_name(void* object) {
    t_symbol* s = object_classname(object);
    return s && s->s_name ? s->s_name : "";
}

bool RealHost::matrix(void* box, MatrixShape& shape, std::string& why) {
    t_vor_matrix_info info;
    if (!output_info(box, info, why))
        return false;
    shape.type = info.type && info.type->s_name ? info.type->s_name : "";
    shape.planecount = info.planecount;
    shape.dims.clear();
    for (int d = 0; d < info.dimcount && d < VOR_MATRIX_MAXDIMCOUNT; ++d)
        shape.dims.push_back(info.dim[d]);
    shape.flags = info.flags;
    return true;
}

bool RealHost::cell(void* box, long x, long y, std::vector<t_atom>& planes, std::string& why) {
    t_vor_matrix_info info;
    void* io = output_info(box, info, why);
    if (!io)
        return false;
    // Locked so that the description and the data belong together.
    void* was = vor_object_method(io, _vor_sym_lock, long(1));
    void* data = nullptr;
    bool ok;
    if (method_err(vor_object_method(io, _vor_sym_getinfo, &info)) != HOX_ERR_NONE ||
        method_err(vor_object_method(io, _vor_sym_getdata, &data)) != HOX_ERR_NONE) {
        why = "the output matrix gives no data";
        ok = false;
    } else {
        ok = read_cell(info, data, x, y, planes, why);
    }
    vor_object_method(io, _vor_sym_lock, static_cast<long>(reinterpret_cast<intptr_t>(was)));
    return ok;
}

bool RealHost::texture(void* box, TextureShape& shape, std::string& why) {
    void* grabber = hox_vor_obex_vorob_get(box);
    if (!grabber) {
        why = "the box wraps no object";
        return false;
    }
    t_symbol* name = vor_attr_getsym(grabber, gensym("texture_name"));
    void* tex = name ? vor_object_findregistered(name) : nullptr;
    if (!tex) {
        why = "no texture object is registered under the box's texture_name";
        return false;
    }
    t_vor_texture_state st{};
    if (vor_texture_state(tex, &st) != HOX_ERR_NONE) {
        why = "the object named by texture_name is not a texture";
        return false;
    }
    shape.name = st.name ? st.name : name;
    shape.width = st.width;
    shape.height = st.height;
    shape.pitch = st.pitch;
    shape.format = st.format;
    shape.draws = st.draws;
    return true;
}

void RealHost::answer_save_dialog(const char* fullpath) {
    hox_host_answer_save_dialog(fullpath);
}

void RealHost::set_main_window(bool present) {
    hox_host_set_main_window(present);
}

std::string RealHost::default_folder() {
    const char* dir = hox_host_default_folder();
    return dir ? dir : "";
}

void RealHost::run_queue() {
    hox_host_run_queue();
}

}  // namespace vorhost
