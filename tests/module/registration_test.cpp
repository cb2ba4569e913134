// The inner class and the box class as a host sees them after ext_main.
#include "module/module_fixture.h"

namespace {

using Registration = ModuleTest;

std::string property(t_object* attr, const char* name) {
    long ac = 0;
    t_atom* av = nullptr;
    if (hox_attr_property(attr, gensym(name), &ac, &av) != 0) return "<none>";
    return atoms_text(ac, av);
}

TEST_F(Registration, AttributesInOrderWithTypesFlagsAndLengths) {
    struct Expect {
        const char* name;
        const char* type;
        long length;
    };
    const Expect expected[] = {
        {"engine", "symbol", 1},      {"adapt", "char", 1},          {"interp", "char", 1},
        {"srcrect", "long", 4},       {"dstrect", "long", 4},        {"usesrcrect", "char", 1},
        {"usedstrect", "char", 1},    {"input", "long", 1},          {"format", "long", 1},
        {"framerate", "long", 1},     {"colormode", "symbol", 1},    {"unique", "char", 1},
        {"dropreport", "char", 1},    {"vdevice", "long", 1},        {"resolution", "long", 2},
        {"brightness", "float32", 1}, {"contrast", "float32", 1},    {"hue", "float32", 1},
        {"saturation", "float32", 1}, {"sharpness", "float32", 1},   {"gamma", "float32", 1},
        {"colorenable", "float32", 3}, {"whitebalance", "float32", 3}, {"backlight", "float32", 3},
        {"gain", "float32", 3},       {"write_video", "char", 1},    {"write_audio", "char", 1},
        {"uniqueid", "symbol", 1},    {"write_name", "symbol", 1},   {"optimize", "char", 1},
    };
    t_class* c = g_module.grabber_class;
    ASSERT_GE(hox_class_attr_count(c), 30);
    for (long i = 0; i < 30; ++i) {
        t_object* attr = hox_class_attr_at(c, i);
        SCOPED_TRACE(expected[i].name);
        EXPECT_STREQ(hox_attr_name(attr)->s_name, expected[i].name);
        EXPECT_STREQ(hox_attr_type(attr)->s_name, expected[i].type);
        EXPECT_EQ(hox_attr_length(attr), expected[i].length);
        const bool opaque = std::string(expected[i].name) == "write_name" || std::string(expected[i].name) == "optimize";
        EXPECT_EQ(hox_attr_flags(attr), opaque ? 768 : 0x8040000);
    }
}

TEST_F(Registration, TextureInterfaceAttributesComeThroughTheInterface) {
    t_class* c = g_module.grabber_class;
    for (const char* name : {"output_texture", "texture_name", "drawto", "automatic"}) {
        SCOPED_TRACE(name);
        t_object* attr = vor_class_attr_get(c, gensym(name));
        ASSERT_NE(attr, nullptr);
        bool own = false;
        for (long i = 0; i < 30; ++i) own = own || hox_attr_name(hox_class_attr_at(c, i)) == gensym(name);
        EXPECT_FALSE(own);
    }
}

TEST_F(Registration, PropertiesAsTheHostParsedThem) {
    auto attr = [](const char* name) { return vor_class_attr_get(g_module.grabber_class, gensym(name)); };
    EXPECT_EQ(property(attr("srcrect"), "label"), "\"Source Rect\"");  // two words, one symbol
    EXPECT_EQ(property(attr("adapt"), "style"), "onoff");
    EXPECT_EQ(property(attr("colormode"), "enumvals"), "argb uyvy");
    EXPECT_EQ(property(attr("engine"), "obsolete"), "1");
    EXPECT_EQ(property(attr("output_texture"), "introduced"), "7.0.4");  // through the interface
}

TEST_F(Registration, MethodsWithTypeCodesAndTypedWrappers) {
    t_class* c = g_module.grabber_class;
    const std::pair<const char*, long> methods[] = {
        {"matrix_calc", 9}, {"class_vor_dx_grab", 9}, {"register", 9}, {"getvdevlist", 9},
        {"getinputlist", 9}, {"getformatlist", 9}, {"open", 9}, {"close", 9}, {"write", 9},
        {"notify", 9}, {"dimensions", 9}, {"attach", 9}, {"settings", 68}, {"snd_settings", 68},
        {"stop", 67}, {"defaults", 67}, {"clear", 67}, {"format_changed", 9}, {"fileusage", 9},
    };
    std::vector<std::string> order;
    for (long i = 0; i < hox_class_method_count(c); ++i) order.push_back(hox_class_method_at(c, i)->s_name);
    std::vector<std::string> want;
    for (const auto& [name, type] : methods) {
        want.push_back(name);
        EXPECT_EQ(hox_class_method_type(c, gensym(name)), type) << name;
    }
    EXPECT_EQ(order, want);
    for (const char* typed : {"getvdevlist", "getinputlist", "getformatlist", "open", "close", "write"})
        EXPECT_TRUE(hox_class_has_typedwrapper(c, gensym(typed))) << typed;
    for (const char* plain : {"matrix_calc", "stop", "getsnddevlist", "getsndinputlist"})
        EXPECT_FALSE(hox_class_has_typedwrapper(c, gensym(plain))) << plain;
}

TEST_F(Registration, BoxClass) {
    t_class* c = g_module.box_class;
    ASSERT_EQ(class_findbyname(gensym("box"), gensym("vor.dx.grab")), c);
    EXPECT_EQ(hox_class_method_type(c, gensym("outputmatrix")), A_USURP_LOW);
    for (const char* name : {"exportimage", "open", "close", "write", "getvdevlist", "getinputlist",
                             "getsnddevlist", "getsndinputlist", "getformatlist"})
        EXPECT_EQ(hox_class_method_type(c, gensym(name)), A_DEFER_LOW) << name;
    EXPECT_EQ(hox_class_method_type(c, gensym("assist")), A_CANT);
    EXPECT_EQ(hox_class_method_type(c, gensym("notify")), A_CANT);
}

}  // namespace
