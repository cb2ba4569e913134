// Attributes: plain access by offset for every type and for arrays, custom
// accessors and the getter convention, filters, properties, flags and
// interfaces.
#include <cstring>
#include <string>
#include <vector>

#include "runtime_test_util.h"

namespace {

struct Texture {
    t_object ob;
    int32_t output_texture;
    t_symbol* texture_name;
    long drawn;
};

struct Record {
    t_object ob;
    uint8_t c;
    int32_t l;
    float f32;
    double f64;
    t_symbol* s;
    t_atom a;
    void* o;
    int32_t rect[4];
    float gains[3];
    int32_t hidden;
    Texture* texture;  // the interface object
    int32_t outchange;
};

t_object* array_attr(const char* name, t_symbol* type, long length, std::size_t offset) {
    return static_cast<t_object*>(vor_object_new(_vor_sym_vor_attr_offset_array, name, type, length, 0L,
                                                 static_cast<const t_fn*>(nullptr), static_cast<const t_fn*>(nullptr),
                                                 0L, static_cast<long>(offset)));
}

// "engine" always reads "dx" and records how it was asked; "twice" stores
// twice the value in `l`. Filters record whom they saw; the one on `l`
// refuses negative values.
std::vector<std::pair<void*, long>> g_getter_calls;
std::vector<void*> g_filter_selves;
t_hox_err engine_get(Record* x, t_object*, long* ac, t_atom** av) {
    g_getter_calls.push_back({x, *ac});
    char alloc;
    if (atom_alloc(ac, av, &alloc) != HOX_ERR_NONE) return HOX_OMEM;
    atom_setsym(*av, gensym("dx"));
    return HOX_ERR_NONE;
}
// "six" reads six longs, 10 to 15: into the caller's atoms when there is
// room for them, else into atoms of its own.
t_hox_err six_get(Record*, t_object*, long* ac, t_atom** av) {
    if (*ac < 6 || !*av) {
        *av = static_cast<t_atom*>(vor_getbytes(6 * static_cast<long>(sizeof(t_atom))));
        if (!*av) return HOX_OMEM;
    }
    *ac = 6;
    for (long i = 0; i < 6; ++i) atom_setlong(*av + i, 10 + i);
    return HOX_ERR_NONE;
}
t_hox_err twice_set(Record* x, t_object* attr, long ac, t_atom* av) {
    if (hox_attr_name(attr) != gensym("twice")) return HOX_EROR;
    if (ac > 0) x->l = static_cast<int32_t>(2 * atom_getlong(av));
    return HOX_ERR_NONE;
}
t_hox_err refuse_negative(void* self, t_object*, long ac, t_atom* av) {
    g_filter_selves.push_back(self);
    return ac > 0 && atom_getlong(av) < 0 ? HOX_EROR : HOX_ERR_NONE;
}
t_hox_err output_texture_filter(Record* x, t_object*, long ac, t_atom* av) {
    g_filter_selves.push_back(x);
    if (ac > 0 && atom_getlong(av) != x->texture->output_texture) x->outchange = 3;
    return HOX_ERR_NONE;
}
long texture_draw(Texture* t, long n) { return t->drawn += n; }
void texture_bang(Texture* t) { t->drawn += 100; }

t_class* texture_class() {
    static t_class* c = [] {
        t_class* k = vor_class_new("attr_test_texture", nullptr, nullptr, sizeof(Texture), A_CANT, 0);
        vor_class_addattr(k, offset_attr("output_texture", _vor_sym_long, offsetof(Texture, output_texture), 0x8040000));
        t_object* name = offset_attr("texture_name", _vor_sym_symbol, offsetof(Texture, texture_name));
        object_addattr_parse(name, "label", _vor_sym_symbol, 0, "\"Texture Name\"");
        vor_class_addattr(k, name);
        vor_class_addmethod(k, HOXFN(texture_draw), "draw", A_CANT, 0);
        vor_class_addmethod(k, HOXFN(texture_bang), "drawbang", A_NOTHING, 0);
        vor_class_register(k);
        return k;
    }();
    return c;
}

t_class* record_class() {
    static t_class* c = [] {
        t_class* k = vor_class_new("attr_test_record", nullptr, nullptr, sizeof(Record), A_CANT, 0);
        vor_class_addattr(k, offset_attr("c", _vor_sym_char, offsetof(Record, c)));
        vor_class_addattr(k, offset_attr("l", _vor_sym_long, offsetof(Record, l)));
        vor_class_addattr(k, offset_attr("f32", _vor_sym_float32, offsetof(Record, f32)));
        // Attributes are named by text or, as here, by symbol.
        vor_class_addattr(k, static_cast<t_object*>(vor_object_new(_vor_sym_vor_attr_offset, gensym("f64"),
                                                                   _vor_sym_float64, 0L, static_cast<const t_fn*>(nullptr),
                                                                   static_cast<const t_fn*>(nullptr),
                                                                   static_cast<long>(offsetof(Record, f64)))));
        vor_class_addattr(k, offset_attr("s", _vor_sym_symbol, offsetof(Record, s)));
        vor_class_addattr(k, offset_attr("a", _vor_sym_atom, offsetof(Record, a)));
        vor_class_addattr(k, offset_attr("o", _vor_sym_object, offsetof(Record, o)));
        vor_class_addattr(k, array_attr("rect", _vor_sym_long, 4, offsetof(Record, rect)));
        vor_class_addattr(k, array_attr("gains", _vor_sym_float32, 3, offsetof(Record, gains)));
        // The interface comes before the last own attributes: those still list first.
        vor_class_addinterface(k, texture_class(), offsetof(Record, texture), 0);
        vor_class_addattr(k, offset_attr("engine", _vor_sym_symbol, 0, 0, HOXFN(engine_get),
                                         &object_attr_obsolete_setter));
        vor_class_addattr(k, offset_attr("twice", _vor_sym_long, offsetof(Record, l), 0, nullptr, HOXFN(twice_set)));
        vor_class_addattr(k, offset_attr("hidden", _vor_sym_long, offsetof(Record, hidden),
                                         ATTR_GET_OPAQUE | ATTR_SET_OPAQUE));
        vor_class_addattr(k, attribute_new("old", _vor_sym_long, 0, &object_attr_obsolete_getter,
                                           &object_attr_obsolete_setter));
        vor_class_addattr(k, attribute_new("none", _vor_sym_long, 0, nullptr, nullptr));
        vor_class_addattr(k, attribute_new("six", _vor_sym_long, 0, HOXFN(six_get), nullptr));
        vor_attr_addfilterset_proc(vor_class_attr_get(k, gensym("l")), HOXFN(refuse_negative));
        vor_attr_addfilterset_proc(vor_class_attr_get(k, gensym("output_texture")), HOXFN(output_texture_filter));
        class_attr_addattr_parse(k, "output_texture", "introduced", _vor_sym_symbol, 0, str_tr("7.0.4"));
        vor_class_register(k);
        return k;
    }();
    return c;
}

class Attributes : public ::testing::Test {
protected:
    void SetUp() override {
        x = static_cast<Record*>(vor_object_alloc(record_class()));
        tex = static_cast<Texture*>(vor_object_alloc(texture_class()));
        ASSERT_TRUE(x && tex);
        x->texture = tex;
        g_filter_selves.clear();
        g_getter_calls.clear();
    }
    void TearDown() override {
        vor_object_free(x);
        vor_object_free(tex);
    }
    t_hox_err set(const char* name, std::vector<t_atom> v) {
        return object_attr_setvalueof(x, gensym(name), static_cast<long>(v.size()), v.data());
    }
    std::vector<t_atom> get(const char* name, t_hox_err want = HOX_ERR_NONE) {
        long ac = 0;
        t_atom* av = nullptr;
        EXPECT_EQ(object_attr_getvalueof(x, gensym(name), &ac, &av), want) << name;
        std::vector<t_atom> out(av, av + ac);
        sysmem_freeptr(av);
        return out;
    }
    Record* x = nullptr;
    Texture* tex = nullptr;
};

}  // namespace

TEST_F(Attributes, PlainAccessForEveryTypeAndWrongKindsStoreNothing) {
    int thing;
    t_atom obj;
    atom_setobj(&obj, &thing);
    struct Case {
        const char* name;
        t_atom in, out;
    };
    const Case cases[] = {
        {"c", long_atom(300), long_atom(255)},  // one byte: clamped
        {"c", float_atom(-4.0), long_atom(0)},    {"l", float_atom(123.7), long_atom(123)},
        {"f32", float_atom(0.5), float_atom(0.5)}, {"f64", long_atom(3), float_atom(3.0)},
        {"s", sym_atom("uyvy"), sym_atom("uyvy")}, {"a", float_atom(1.25), float_atom(1.25)},
        {"o", obj, obj},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(set(c.name, {c.in}), HOX_ERR_NONE) << c.name;
        const std::vector<t_atom> v = get(c.name);
        ASSERT_EQ(v.size(), 1u) << c.name;
        EXPECT_EQ(v[0].a_type, c.out.a_type) << c.name;
        EXPECT_EQ(std::memcmp(&v[0].a_w, &c.out.a_w, sizeof v[0].a_w), 0) << c.name;
    }
    EXPECT_EQ(x->l, 123);
    EXPECT_DOUBLE_EQ(x->f64, 3.0);
    EXPECT_EQ(vor_attr_setsym(x, gensym("s"), gensym("argb")), HOX_ERR_NONE);
    EXPECT_EQ(object_attr_getsym(x, gensym("s")), gensym("argb"));

    // Wrong kinds, missing attributes and refusing filters change nothing.
    g_filter_selves.clear();
    EXPECT_EQ(set("l", {float_atom(-5)}), HOX_EROR);
    EXPECT_EQ(g_filter_selves, std::vector<void*>{x});  // the filter ran, and refused before the store
    EXPECT_EQ(set("l", {sym_atom("ten")}), HOX_EROR);
    EXPECT_EQ(set("s", {long_atom(1)}), HOX_EROR);
    EXPECT_EQ(set("o", {long_atom(1)}), HOX_EROR);
    EXPECT_EQ(set("rect", {long_atom(9), sym_atom("no")}), HOX_EROR);
    EXPECT_EQ(set("l", {}), HOX_ERR_NONE);  // nothing to store
    EXPECT_EQ(x->l, 123);
    EXPECT_EQ(x->s, gensym("argb"));
    EXPECT_EQ(x->o, &thing);
    EXPECT_EQ(x->rect[0], 0);
    EXPECT_EQ(set("nope", {long_atom(1)}), HOX_EROR);
    EXPECT_EQ(vor_attr_getlong(x, gensym("nope")), 0);
    EXPECT_EQ(vor_attr_getsym(x, gensym("nope")), nullptr);
}

TEST_F(Attributes, ArraysByOffset) {
    ASSERT_EQ(set("rect", {long_atom(1), long_atom(2), long_atom(3), long_atom(4), long_atom(5)}), HOX_ERR_NONE);
    EXPECT_EQ(x->rect[3], 4);
    EXPECT_EQ(x->hidden, 0);  // the value past the array's end went nowhere
    ASSERT_EQ(set("rect", {long_atom(7), long_atom(8)}), HOX_ERR_NONE);  // a shorter list sets the first ones
    std::vector<long> got;
    for (const t_atom& a : get("rect")) got.push_back(static_cast<long>(atom_getlong(&a)));
    EXPECT_EQ(got, (std::vector<long>{7, 8, 3, 4}));
    ASSERT_EQ(set("gains", {float_atom(0.1), float_atom(0.2), float_atom(0.3)}), HOX_ERR_NONE);
    EXPECT_FLOAT_EQ(x->gains[2], 0.3f);
    EXPECT_EQ(hox_attr_length(object_attr_get(x, gensym("gains"))), 3);
    EXPECT_EQ(object_classname(object_attr_get(x, gensym("gains"))), _vor_sym_vor_attr_offset_array);

    // A caller's own, shorter buffer gets as many values as it holds.
    t_atom two[2];
    long ac = 2;
    t_atom* av = two;
    ASSERT_EQ(object_attr_getvalueof(x, gensym("rect"), &ac, &av), HOX_ERR_NONE);
    EXPECT_EQ(av, two);
    EXPECT_EQ(ac, 2);
    EXPECT_EQ(atom_getlong(&two[1]), 8);
}

TEST_F(Attributes, CustomAccessorsFollowTheGetterConvention) {
    EXPECT_EQ(atom_getsym(&get("engine").at(0)), gensym("dx"));
    t_atom mine;
    long ac = 1;
    t_atom* av = &mine;
    ASSERT_EQ(object_attr_getvalueof(x, gensym("engine"), &ac, &av), HOX_ERR_NONE);
    EXPECT_EQ(av, &mine);
    EXPECT_EQ(atom_getsym(&mine), gensym("dx"));
    // First asked to allocate, then given the caller's atom; always about x.
    EXPECT_EQ(g_getter_calls, (std::vector<std::pair<void*, long>>{{x, 0}, {x, 1}}));
    EXPECT_EQ(set("engine", {sym_atom("qt")}), HOX_ERR_NONE);  // accepted, ignored
    EXPECT_EQ(atom_getsym(&get("engine").at(0)), gensym("dx"));

    ASSERT_EQ(set("twice", {long_atom(21)}), HOX_ERR_NONE);
    EXPECT_EQ(x->l, 42);
    EXPECT_EQ(vor_attr_getlong(x, gensym("twice")), 42);  // plain getter, custom setter
    EXPECT_EQ(set("old", {long_atom(1)}), HOX_ERR_NONE);
    EXPECT_TRUE(get("old").empty());
    // Opaque attributes and ones without accessors have no value to read or write.
    for (const char* name : {"hidden", "none"}) {
        EXPECT_EQ(set(name, {long_atom(1)}), HOX_EROR) << name;
        get(name, HOX_EROR);
    }
    EXPECT_EQ(x->hidden, 0);
}

// The single-value readers lend the getter a few atoms of their own: they
// read the first value whether the getter used them, allocated (freed
// again: the sanitizer build would see a leak), gave nothing or failed.
TEST_F(Attributes, SingleValueReadersTakeTheFirstAtom) {
    x->rect[0] = -7;
    x->s = gensym("first");
    EXPECT_EQ(object_attr_getlong(x, gensym("rect")), -7);
    EXPECT_EQ(object_attr_getlong(x, gensym("six")), 10);
    EXPECT_EQ(atom_getlong(&get("six").at(5)), 15);
    EXPECT_EQ(object_attr_getsym(x, gensym("s")), gensym("first"));
    EXPECT_EQ(object_attr_getsym(x, gensym("engine")), gensym("dx"));
    EXPECT_EQ(object_attr_getsym(x, gensym("six")), nullptr);  // not a symbol
    for (const char* name : {"old", "hidden", "missing"}) {
        EXPECT_EQ(object_attr_getlong(x, gensym(name)), 0) << name;
        EXPECT_EQ(object_attr_getsym(x, gensym(name)), nullptr) << name;
    }
}

TEST_F(Attributes, PropertiesAndFlags) {
    // Order, flags and most properties are checked on the module's class
    // (tests/module); here what that class does not show.
    t_class* c = record_class();
    EXPECT_EQ(hox_attr_flags(vor_class_attr_get(c, gensym("output_texture"))), 0x8040000);  // the view keeps them
    ASSERT_EQ(class_attr_addattr_parse(c, "engine", "introduced", _vor_sym_symbol, 0, "9"), HOX_ERR_NONE);
    EXPECT_EQ(class_attr_addattr_parse(c, "missing", "label", _vor_sym_symbol, 0, "x"), HOX_EROR);
    const struct { const char *attr, *name, *text; } props[] = {
        {"engine", "introduced", "9"},  // the declared type wins over the text's look
        {"texture_name", "label", "Texture Name"},  // the interface's own
        {"output_texture", "introduced", "7.0.4"}};  // added by the outer class
    for (const auto& p : props) {
        long ac = 0;
        t_atom* av = nullptr;
        ASSERT_EQ(hox_attr_property(vor_class_attr_get(c, gensym(p.attr)), gensym(p.name), &ac, &av), HOX_ERR_NONE)
            << p.attr << " " << p.name;
        ASSERT_EQ(ac, 1) << p.name;
        EXPECT_EQ(av->a_type, A_SYM) << p.name;
        EXPECT_EQ(atom_getsym(av), gensym(p.text)) << p.name;
    }
    // The outer class's view is its own: the interface class gained nothing.
    long ac = 0;
    t_atom* av = nullptr;
    t_object* inner = class_attr_get(texture_class(), gensym("output_texture"));
    EXPECT_NE(vor_class_attr_get(c, gensym("output_texture")), inner);
    EXPECT_EQ(hox_attr_property(inner, gensym("introduced"), &ac, &av), HOX_EROR);
}

TEST_F(Attributes, InterfaceAttributesAndMethodsActOnTheInnerObject) {
    // The filter sees the outer object; the value lands in the inner one.
    ASSERT_EQ(vor_attr_setlong(x, gensym("output_texture"), 1), HOX_ERR_NONE);
    EXPECT_EQ(tex->output_texture, 1);
    EXPECT_EQ(x->outchange, 3);
    EXPECT_EQ(g_filter_selves, std::vector<void*>{x});
    x->outchange = 0;
    ASSERT_EQ(vor_attr_setlong(x, gensym("output_texture"), 1), HOX_ERR_NONE);  // unchanged value
    EXPECT_EQ(x->outchange, 0);
    EXPECT_EQ(vor_attr_getlong(x, gensym("output_texture")), 1);
    ASSERT_EQ(vor_attr_setlong(tex, gensym("output_texture"), 0), HOX_ERR_NONE);  // bypasses the outer filter
    EXPECT_EQ(g_filter_selves.size(), 2u);
    t_atom name = sym_atom("tex1");
    ASSERT_EQ(object_send(x, gensym("texture_name"), 1, &name), HOX_ERR_NONE);
    EXPECT_EQ(tex->texture_name, gensym("tex1"));

    EXPECT_TRUE(object_hasmethod(x, gensym("draw")));
    EXPECT_EQ(reinterpret_cast<t_word>(object_method(x, gensym("draw"), 5L)), 5);
    EXPECT_EQ(object_send(x, gensym("drawbang"), 0, nullptr), HOX_ERR_NONE);
    EXPECT_EQ(tex->drawn, 105);
    // Without an interface object there is nothing to act on.
    x->texture = nullptr;
    EXPECT_EQ(vor_attr_setlong(x, gensym("output_texture"), 1), HOX_EROR);
    EXPECT_EQ(object_method(x, gensym("draw"), 1L), nullptr);
    x->texture = tex;
}
