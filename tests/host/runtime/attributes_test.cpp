// Attributes: plain access by offset for every type and for arrays, custom
// accessors and the getter convention, filters, properties, flags and
// interfaces.
#include <cstddef>
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

const t_fn* no_fn = nullptr;

t_object* offset_attr(const char* name, t_symbol* type, long flags, std::size_t offset, const t_fn* get = nullptr,
                      const t_fn* set = nullptr) {
    return static_cast<t_object*>(
        vor_object_new(_vor_sym_vor_attr_offset, name, type, flags, get, set, static_cast<long>(offset)));
}

t_object* array_attr(const char* name, t_symbol* type, long length, std::size_t offset) {
    return static_cast<t_object*>(vor_object_new(_vor_sym_vor_attr_offset_array, name, type, length, 0L, no_fn,
                                                 no_fn, 0L, static_cast<long>(offset)));
}

// Custom accessors: "engine" reports "dx" and ignores writes; "twice" keeps
// twice the value it is given in `l`.
std::vector<std::pair<void*, long>> g_getter_calls;
t_hox_err engine_get(Record* x, t_object*, long* ac, t_atom** av) {
    g_getter_calls.push_back({x, *ac});
    if (*ac && *av) {
        atom_setsym(*av, gensym("dx"));
        return HOX_ERR_NONE;
    }
    *ac = 1;
    *av = static_cast<t_atom*>(vor_getbytes(sizeof(t_atom)));
    if (!*av) {
        *ac = 0;
        return HOX_OMEM;
    }
    atom_setsym(*av, gensym("dx"));
    return HOX_ERR_NONE;
}
t_hox_err twice_set(Record* x, t_object* attr, long ac, t_atom* av) {
    if (hox_attr_name(attr) != gensym("twice")) return HOX_EROR;
    if (ac > 0) x->l = static_cast<int32_t>(2 * atom_getlong(av));
    return HOX_ERR_NONE;
}

// Filters: record who they saw, refuse negative values.
std::vector<void*> g_filter_selves;
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
        vor_class_addattr(k, offset_attr("output_texture", _vor_sym_long, 0x8040000, offsetof(Texture, output_texture)));
        t_object* name = offset_attr("texture_name", _vor_sym_symbol, 0, offsetof(Texture, texture_name));
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
        vor_class_addattr(k, offset_attr("c", _vor_sym_char, 0x8040000, offsetof(Record, c)));
        vor_class_addattr(k, offset_attr("l", _vor_sym_long, 0, offsetof(Record, l)));
        vor_class_addattr(k, offset_attr("f32", _vor_sym_float32, 0, offsetof(Record, f32)));
        vor_class_addattr(k, offset_attr("f64", _vor_sym_float64, 0, offsetof(Record, f64)));
        vor_class_addattr(k, offset_attr("s", _vor_sym_symbol, 768, offsetof(Record, s)));
        vor_class_addattr(k, offset_attr("a", _vor_sym_atom, 0, offsetof(Record, a)));
        vor_class_addattr(k, offset_attr("o", _vor_sym_object, 0, offsetof(Record, o)));
        vor_class_addattr(k, array_attr("rect", _vor_sym_long, 4, offsetof(Record, rect)));
        vor_class_addattr(k, array_attr("gains", _vor_sym_float32, 3, offsetof(Record, gains)));
        // The interface comes before the last own attributes: those still
        // list first.
        vor_class_addinterface(k, texture_class(), offsetof(Record, texture), 0);
        vor_class_addattr(k, offset_attr("engine", _vor_sym_symbol, 0, 0, HOXFN(engine_get),
                                         &object_attr_obsolete_setter));
        vor_class_addattr(k, offset_attr("twice", _vor_sym_long, 0, offsetof(Record, l), nullptr, HOXFN(twice_set)));
        vor_class_addattr(k, offset_attr("hidden", _vor_sym_long, ATTR_GET_OPAQUE | ATTR_SET_OPAQUE,
                                         offsetof(Record, hidden)));
        vor_class_addattr(k, attribute_new("old", _vor_sym_long, 0, &object_attr_obsolete_getter,
                                           &object_attr_obsolete_setter));
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
    std::vector<t_atom> get(const char* name) {
        long ac = 0;
        t_atom* av = nullptr;
        EXPECT_EQ(object_attr_getvalueof(x, gensym(name), &ac, &av), HOX_ERR_NONE) << name;
        std::vector<t_atom> out(av, av + ac);
        sysmem_freeptr(av);
        return out;
    }
    Record* x = nullptr;
    Texture* tex = nullptr;
};

}  // namespace

TEST_F(Attributes, PlainAccessForEveryType) {
    int thing;
    ASSERT_EQ(set("c", {long_atom(200)}), HOX_ERR_NONE);
    EXPECT_EQ(x->c, 200);
    set("c", {long_atom(300)});
    EXPECT_EQ(x->c, 255);  // one byte: clamped
    set("c", {float_atom(-4.0)});
    EXPECT_EQ(x->c, 0);
    ASSERT_EQ(set("l", {float_atom(-123.7)}), HOX_EROR);  // the filter refuses negatives
    ASSERT_EQ(set("l", {float_atom(123.7)}), HOX_ERR_NONE);
    EXPECT_EQ(x->l, 123);
    ASSERT_EQ(set("f32", {float_atom(0.5)}), HOX_ERR_NONE);
    EXPECT_FLOAT_EQ(x->f32, 0.5f);
    ASSERT_EQ(set("f64", {long_atom(3)}), HOX_ERR_NONE);
    EXPECT_DOUBLE_EQ(x->f64, 3.0);
    ASSERT_EQ(set("s", {sym_atom("uyvy")}), HOX_ERR_NONE);
    EXPECT_EQ(x->s, gensym("uyvy"));
    ASSERT_EQ(set("a", {float_atom(1.25)}), HOX_ERR_NONE);
    EXPECT_EQ(x->a.a_type, A_FLOAT);
    t_atom obj;
    atom_setobj(&obj, &thing);
    ASSERT_EQ(set("o", {obj}), HOX_ERR_NONE);
    EXPECT_EQ(x->o, &thing);

    EXPECT_EQ(atom_getlong(&get("c")[0]), 0);
    EXPECT_EQ(get("l")[0].a_type, A_LONG);
    EXPECT_EQ(atom_getlong(&get("l")[0]), 123);
    EXPECT_EQ(get("f32")[0].a_type, A_FLOAT);
    EXPECT_DOUBLE_EQ(atom_getfloat(&get("f32")[0]), 0.5);
    EXPECT_DOUBLE_EQ(atom_getfloat(&get("f64")[0]), 3.0);
    EXPECT_EQ(atom_getsym(&get("s")[0]), gensym("uyvy"));
    EXPECT_DOUBLE_EQ(atom_getfloat(&get("a")[0]), 1.25);
    EXPECT_EQ(atom_getobj(&get("o")[0]), &thing);
    EXPECT_EQ(object_attr_getsym(x, gensym("s")), gensym("uyvy"));
    EXPECT_EQ(vor_attr_getlong(x, gensym("l")), 123);
    EXPECT_EQ(vor_attr_setsym(x, gensym("s"), gensym("argb")), HOX_ERR_NONE);
    EXPECT_EQ(vor_attr_getsym(x, gensym("s")), gensym("argb"));
}

TEST_F(Attributes, WrongKindsStoreNothing) {
    x->l = 5;
    x->s = gensym("argb");
    EXPECT_EQ(set("l", {sym_atom("ten")}), HOX_EROR);
    EXPECT_EQ(set("s", {long_atom(1)}), HOX_EROR);
    EXPECT_EQ(set("o", {long_atom(1)}), HOX_EROR);
    EXPECT_EQ(set("rect", {long_atom(9), sym_atom("no")}), HOX_EROR);
    EXPECT_EQ(x->l, 5);
    EXPECT_EQ(x->s, gensym("argb"));
    EXPECT_EQ(x->rect[0], 0);
    EXPECT_EQ(set("l", {}), HOX_ERR_NONE);  // nothing to store
    EXPECT_EQ(x->l, 5);
    // Missing attributes.
    EXPECT_EQ(set("nope", {long_atom(1)}), HOX_EROR);
    EXPECT_EQ(vor_attr_getlong(x, gensym("nope")), 0);
    EXPECT_EQ(vor_attr_getsym(x, gensym("nope")), nullptr);
    EXPECT_EQ(object_attr_get(x, gensym("nope")), nullptr);
}

TEST_F(Attributes, ArraysByOffset) {
    ASSERT_EQ(set("rect", {long_atom(1), long_atom(2), long_atom(3), long_atom(4), long_atom(5)}), HOX_ERR_NONE);
    EXPECT_EQ(x->rect[0], 1);
    EXPECT_EQ(x->rect[3], 4);
    EXPECT_EQ(x->hidden, 0);  // the value past the array's end went nowhere
    ASSERT_EQ(set("rect", {long_atom(7), long_atom(8)}), HOX_ERR_NONE);  // a shorter list sets the first ones
    auto v = get("rect");
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(atom_getlong(&v[0]), 7);
    EXPECT_EQ(atom_getlong(&v[1]), 8);
    EXPECT_EQ(atom_getlong(&v[2]), 3);
    EXPECT_EQ(atom_getlong(&v[3]), 4);

    ASSERT_EQ(set("gains", {float_atom(0.1), float_atom(0.2), float_atom(0.3)}), HOX_ERR_NONE);
    EXPECT_FLOAT_EQ(x->gains[2], 0.3f);
    EXPECT_EQ(hox_attr_length(object_attr_get(x, gensym("gains"))), 3);
    EXPECT_EQ(hox_attr_type(object_attr_get(x, gensym("gains"))), _vor_sym_float32);

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
    auto v = get("engine");
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(atom_getsym(&v[0]), gensym("dx"));
    ASSERT_EQ(g_getter_calls.size(), 1u);
    EXPECT_EQ(g_getter_calls[0].first, x);
    EXPECT_EQ(g_getter_calls[0].second, 0);  // asked to allocate

    t_atom mine;
    long ac = 1;
    t_atom* av = &mine;
    ASSERT_EQ(object_attr_getvalueof(x, gensym("engine"), &ac, &av), HOX_ERR_NONE);
    EXPECT_EQ(av, &mine);
    EXPECT_EQ(atom_getsym(&mine), gensym("dx"));

    EXPECT_EQ(set("engine", {sym_atom("qt")}), HOX_ERR_NONE);  // accepted, ignored
    EXPECT_EQ(atom_getsym(&get("engine")[0]), gensym("dx"));

    ASSERT_EQ(set("twice", {long_atom(21)}), HOX_ERR_NONE);
    EXPECT_EQ(x->l, 42);
    EXPECT_EQ(vor_attr_getlong(x, gensym("twice")), 42);  // plain getter, custom setter

    EXPECT_EQ(set("old", {long_atom(1)}), HOX_ERR_NONE);
    ac = 0;
    av = nullptr;
    EXPECT_EQ(object_attr_getvalueof(x, gensym("old"), &ac, &av), HOX_ERR_NONE);
    EXPECT_EQ(ac, 0);
    sysmem_freeptr(av);

    EXPECT_EQ(set("hidden", {long_atom(1)}), HOX_EROR);
    EXPECT_EQ(x->hidden, 0);
    ac = 0;
    av = nullptr;
    EXPECT_EQ(object_attr_getvalueof(x, gensym("hidden"), &ac, &av), HOX_EROR);
}

TEST_F(Attributes, FiltersRunBeforeTheStoreAndCanRefuse) {
    ASSERT_EQ(vor_attr_setlong(x, gensym("l"), 8), HOX_ERR_NONE);
    EXPECT_EQ(x->l, 8);
    EXPECT_EQ(vor_attr_setlong(x, gensym("l"), -8), HOX_EROR);
    EXPECT_EQ(x->l, 8);
    EXPECT_EQ(g_filter_selves, (std::vector<void*>{x, x}));
}

TEST_F(Attributes, FlagsPropertiesAndOrder) {
    t_class* c = record_class();
    // Own attributes first, in registration order, then the interface's.
    const char* order[] = {"c",   "l",    "f32",   "f64",    "s",   "a",              "o",           "rect",
                           "gains", "engine", "twice", "hidden", "old", "output_texture", "texture_name"};
    ASSERT_EQ(hox_class_attr_count(c), 15);
    for (long i = 0; i < 15; ++i) EXPECT_EQ(hox_attr_name(hox_class_attr_at(c, i)), gensym(order[i])) << i;
    EXPECT_EQ(hox_class_attr_at(c, 15), nullptr);

    EXPECT_EQ(hox_attr_flags(vor_class_attr_get(c, gensym("c"))), 0x8040000);
    EXPECT_EQ(hox_attr_flags(vor_class_attr_get(c, gensym("s"))), 768);
    EXPECT_EQ(hox_attr_flags(vor_class_attr_get(c, gensym("output_texture"))), 0x8040000);
    EXPECT_EQ(hox_attr_length(vor_class_attr_get(c, gensym("c"))), 1);

    t_object* label_target = vor_class_attr_get(c, gensym("f32"));
    ASSERT_EQ(object_addattr_parse(label_target, "label", _vor_sym_symbol, 0, "\"Frame Rate\""), HOX_ERR_NONE);
    ASSERT_EQ(object_addattr_parse(label_target, "style", _vor_sym_symbol, 0, "onoff"), HOX_ERR_NONE);
    ASSERT_EQ(class_attr_addattr_parse(c, "s", "enumvals", _vor_sym_atom, 0, "argb uyvy"), HOX_ERR_NONE);
    ASSERT_EQ(class_attr_addattr_parse(c, "engine", "obsolete", _vor_sym_long, 0, "1"), HOX_ERR_NONE);
    ASSERT_EQ(class_attr_addattr_parse(c, "engine", "introduced", _vor_sym_symbol, 0, "9"), HOX_ERR_NONE);
    EXPECT_EQ(class_attr_addattr_parse(c, "missing", "label", _vor_sym_symbol, 0, "x"), HOX_EROR);

    long ac = 0;
    t_atom* av = nullptr;
    ASSERT_EQ(hox_attr_property(label_target, gensym("label"), &ac, &av), HOX_ERR_NONE);
    ASSERT_EQ(ac, 1);
    EXPECT_EQ(atom_getsym(av), gensym("Frame Rate"));
    ASSERT_EQ(hox_attr_property(vor_class_attr_get(c, gensym("s")), gensym("enumvals"), &ac, &av), HOX_ERR_NONE);
    ASSERT_EQ(ac, 2);
    EXPECT_EQ(atom_getsym(av + 1), gensym("uyvy"));
    ASSERT_EQ(hox_attr_property(vor_class_attr_get(c, gensym("engine")), gensym("obsolete"), &ac, &av), HOX_ERR_NONE);
    ASSERT_EQ(ac, 1);
    EXPECT_EQ(av->a_type, A_LONG);
    ASSERT_EQ(hox_attr_property(vor_class_attr_get(c, gensym("engine")), gensym("introduced"), &ac, &av),
              HOX_ERR_NONE);
    EXPECT_EQ(av->a_type, A_SYM);  // the declared type wins over the text's look
    EXPECT_EQ(atom_getsym(av), gensym("9"));
    EXPECT_EQ(hox_attr_property(label_target, gensym("nothing"), &ac, &av), HOX_EROR);
    EXPECT_EQ(ac, 0);
}

TEST_F(Attributes, InterfaceAttributesActOnTheInnerObject) {
    t_class* c = record_class();
    t_object* view = vor_class_attr_get(c, gensym("output_texture"));
    ASSERT_NE(view, nullptr);
    EXPECT_NE(view, class_attr_get(texture_class(), gensym("output_texture")));  // the class's own view

    // The filter sees the outer object; the value lands in the inner one.
    ASSERT_EQ(vor_attr_setlong(x, gensym("output_texture"), 1), HOX_ERR_NONE);
    EXPECT_EQ(tex->output_texture, 1);
    EXPECT_EQ(x->outchange, 3);
    EXPECT_EQ(g_filter_selves, std::vector<void*>{x});
    x->outchange = 0;
    ASSERT_EQ(vor_attr_setlong(x, gensym("output_texture"), 1), HOX_ERR_NONE);  // unchanged value
    EXPECT_EQ(x->outchange, 0);
    EXPECT_EQ(vor_attr_getlong(x, gensym("output_texture")), 1);
    // Setting the texture directly bypasses the outer class's filter.
    ASSERT_EQ(vor_attr_setlong(tex, gensym("output_texture"), 0), HOX_ERR_NONE);
    EXPECT_EQ(g_filter_selves.size(), 2u);

    t_atom name = sym_atom("tex1");
    ASSERT_EQ(object_send(x, gensym("texture_name"), 1, &name), HOX_ERR_NONE);
    EXPECT_EQ(tex->texture_name, gensym("tex1"));

    // Properties: the view starts with the interface's and adds its own
    // without touching the interface class.
    long ac = 0;
    t_atom* av = nullptr;
    ASSERT_EQ(hox_attr_property(vor_class_attr_get(c, gensym("texture_name")), gensym("label"), &ac, &av),
              HOX_ERR_NONE);
    EXPECT_EQ(atom_getsym(av), gensym("Texture Name"));
    ASSERT_EQ(hox_attr_property(view, gensym("introduced"), &ac, &av), HOX_ERR_NONE);
    EXPECT_EQ(atom_getsym(av), gensym("7.0.4"));
    EXPECT_EQ(hox_attr_property(class_attr_get(texture_class(), gensym("output_texture")), gensym("introduced"), &ac,
                                &av),
              HOX_EROR);

    // Interface methods answer on the outer object too.
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

TEST(AttributeObjects, NamedByTextOrSymbolAndFreedLikeObjects) {
    auto* by_symbol = static_cast<t_object*>(vor_object_new(_vor_sym_vor_attr_offset, gensym("by_symbol"),
                                                            _vor_sym_long, 0L, no_fn, no_fn, 16L));
    ASSERT_NE(by_symbol, nullptr);
    EXPECT_EQ(hox_attr_name(by_symbol), gensym("by_symbol"));
    EXPECT_EQ(object_classname(by_symbol), _vor_sym_vor_attr_offset);
    auto* by_text = static_cast<t_object*>(vor_object_new(_vor_sym_vor_attr_offset_array, "by_text", _vor_sym_char,
                                                          4L, 0L, no_fn, no_fn, 0L, 16L));
    ASSERT_NE(by_text, nullptr);
    EXPECT_EQ(hox_attr_name(by_text), gensym("by_text"));
    EXPECT_EQ(hox_attr_length(by_text), 4);
    EXPECT_EQ(object_classname(by_text), _vor_sym_vor_attr_offset_array);
    object_free(by_symbol);
    object_free(by_text);

    // attribute_new without accessors has no value to read or write.
    t_class* c = vor_class_new(unique_class_name("attr_none").c_str(), nullptr, nullptr, 64, A_CANT, 0);
    vor_class_addattr(c, attribute_new("none", _vor_sym_long, 0, nullptr, nullptr));
    vor_class_register(c);
    void* x = vor_object_alloc(c);
    EXPECT_EQ(vor_attr_setlong(x, gensym("none"), 1), HOX_EROR);
    long ac = 0;
    t_atom* av = nullptr;
    EXPECT_EQ(object_attr_getvalueof(x, gensym("none"), &ac, &av), HOX_EROR);
    vor_object_free(x);
}
