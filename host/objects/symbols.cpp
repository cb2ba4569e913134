// The runtime's interned symbols and the classes it defines for every
// module: both made when the library loads, before any other initialiser of
// this library runs.
#include "vorlib.h"

#include "objects/vor_objects.h"

t_symbol* _vor_sym_nothing = nullptr;
t_symbol* _vor_sym__none_ = nullptr;
t_symbol* _vor_sym_char = nullptr;
t_symbol* _vor_sym_long = nullptr;
t_symbol* _vor_sym_float32 = nullptr;
t_symbol* _vor_sym_float64 = nullptr;
t_symbol* _vor_sym_symbol = nullptr;
t_symbol* _vor_sym_atom = nullptr;
t_symbol* _vor_sym_object = nullptr;
t_symbol* _vor_sym_vor_matrix = nullptr;
t_symbol* _vor_sym_vor_mop = nullptr;
t_symbol* _vor_sym_vor_attr_offset = nullptr;
t_symbol* _vor_sym_vor_attr_offset_array = nullptr;
t_symbol* _vor_sym_vor_gl_texture = nullptr;
t_symbol* _vor_sym_dim = nullptr;
t_symbol* _vor_sym_getinfo = nullptr;
t_symbol* _vor_sym_setinfo = nullptr;
t_symbol* _vor_sym_setinfo_ex = nullptr;
t_symbol* _vor_sym_data = nullptr;
t_symbol* _vor_sym_getdata = nullptr;
t_symbol* _vor_sym_frommatrix = nullptr;
t_symbol* _vor_sym_lock = nullptr;
t_symbol* _vor_sym_getindex = nullptr;
t_symbol* _vor_sym_fillplane = nullptr;
t_symbol* _vor_sym_clear_custom = nullptr;
t_symbol* _vor_sym_getmatrix = nullptr;
t_symbol* _vor_sym_matrixname = nullptr;
t_symbol* _vor_sym_matrix_calc = nullptr;
t_symbol* _vor_sym_getoutput = nullptr;
t_symbol* _vor_sym_getoutputlist = nullptr;
t_symbol* _vor_sym_getinputlist = nullptr;
t_symbol* _vor_sym_outputmode = nullptr;
t_symbol* _vor_sym_ioname = nullptr;
t_symbol* _vor_sym_export_image_surface = nullptr;

namespace {

// Priority 101 runs this ahead of the library's ordinary static
// initialisers, which may already use the symbols.
__attribute__((constructor(101))) void vor_runtime_load() {
    _vor_sym_nothing = gensym("");
    _vor_sym__none_ = gensym("_none_");
    _vor_sym_char = gensym("char");
    _vor_sym_long = gensym("long");
    _vor_sym_float32 = gensym("float32");
    _vor_sym_float64 = gensym("float64");
    _vor_sym_symbol = gensym("symbol");
    _vor_sym_atom = gensym("atom");
    _vor_sym_object = gensym("object");
    _vor_sym_vor_matrix = gensym("vor_matrix");
    _vor_sym_vor_mop = gensym("vor_mop");
    _vor_sym_vor_attr_offset = gensym("vor_attr_offset");
    _vor_sym_vor_attr_offset_array = gensym("vor_attr_offset_array");
    _vor_sym_vor_gl_texture = gensym("vor_gl_texture");
    _vor_sym_dim = gensym("dim");
    _vor_sym_getinfo = gensym("getinfo");
    _vor_sym_setinfo = gensym("setinfo");
    _vor_sym_setinfo_ex = gensym("setinfo_ex");
    _vor_sym_data = gensym("data");
    _vor_sym_getdata = gensym("getdata");
    _vor_sym_frommatrix = gensym("frommatrix");
    _vor_sym_lock = gensym("lock");
    _vor_sym_getindex = gensym("getindex");
    _vor_sym_fillplane = gensym("fillplane");
    _vor_sym_clear_custom = gensym("clear_custom");
    _vor_sym_getmatrix = gensym("getmatrix");
    _vor_sym_matrixname = gensym("matrixname");
    _vor_sym_matrix_calc = gensym("matrix_calc");
    _vor_sym_getoutput = gensym("getoutput");
    _vor_sym_getoutputlist = gensym("getoutputlist");
    _vor_sym_getinputlist = gensym("getinputlist");
    _vor_sym_outputmode = gensym("outputmode");
    _vor_sym_ioname = gensym("ioname");
    _vor_sym_export_image_surface = gensym("export_image_surface");
    vor_register_attribute_classes();
}

}  // namespace
