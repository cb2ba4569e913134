// Symbols, atoms and their argument readers, memory and atom arrays.
#include <string>
#include <thread>
#include <vector>

#include "runtime_test_util.h"

TEST(Symbols, SameTextGivesTheSameRecordFromEveryThread) {
    t_symbol* a = gensym("runtime_symbol_identity");
    EXPECT_EQ(a, gensym(std::string("runtime_symbol_").append("identity").c_str()));
    EXPECT_NE(a, gensym("runtime_symbol_identitY"));
    EXPECT_EQ(gensym(""), gensym(nullptr));
    std::vector<std::vector<t_symbol*>> seen(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &seen] {
            for (int i = 0; i < 500; ++i) seen[t].push_back(gensym(("concurrent_" + std::to_string(i)).c_str()));
        });
    for (auto& th : threads) th.join();
    for (int t = 1; t < 4; ++t) EXPECT_EQ(seen[t], seen[0]);
    EXPECT_STREQ(seen[0][321]->s_name, "concurrent_321");
}

TEST(Atoms, ConversionsAndArgumentReaders) {
    int thing;
    t_atom obj;
    atom_setobj(&obj, &thing);
    EXPECT_EQ(atom_getobj(&obj), &thing);
    const struct { t_atom a; t_atom_long l; double f; t_symbol* s; } cases[] = {
        {long_atom(-7), -7, -7.0, gensym("")}, {float_atom(-2.75), -2, -2.75, gensym("")},  // truncates toward zero
        {sym_atom("x"), 0, 0.0, gensym("x")},  {obj, 0, 0.0, gensym("")}};
    for (const auto& c : cases) {
        EXPECT_EQ(atom_getlong(&c.a), c.l) << c.f;
        EXPECT_DOUBLE_EQ(atom_getfloat(&c.a), c.f);
        EXPECT_EQ(atom_getsym(&c.a), c.s);
    }
    // The argument readers convert numbers, refuse other kinds and bad
    // indexes, and leave the result alone when they refuse.
    t_atom av[3] = {long_atom(640), float_atom(2.5), sym_atom("cam")};
    t_atom_long l = -1;
    float f = -1;
    t_symbol* s = nullptr;
    EXPECT_EQ(vor_atom_arg_getlong(&l, 1, 3, av), HOX_ERR_NONE);
    EXPECT_EQ(vor_atom_arg_getfloat(&f, 0, 3, av), HOX_ERR_NONE);
    EXPECT_EQ(vor_atom_arg_getsym(&s, 2, 3, av), HOX_ERR_NONE);
    for (long i : {2L, 3L, -1L}) EXPECT_EQ(vor_atom_arg_getlong(&l, i, 3, av), HOX_EROR) << i;
    EXPECT_EQ(vor_atom_arg_getfloat(&f, 2, 3, av), HOX_EROR);
    EXPECT_EQ(vor_atom_arg_getsym(&s, 0, 3, av), HOX_EROR);
    EXPECT_EQ(l, 2);
    EXPECT_FLOAT_EQ(f, 640.0f);
    EXPECT_EQ(s, gensym("cam"));
}

// atom_alloc's getter convention is shown through attribute getters (attributes_test.cpp).
TEST(Memory, SizesAreRememberedAndBadSizesRefused) {
    EXPECT_EQ(sysmem_newptr(-1), nullptr);
    char* z = sysmem_newptrclear(64);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(std::string(z, 64), std::string(64, '\0'));
    void* v = vor_getbytes(32);  // shares the allocator: either release works on either block
    EXPECT_EQ(sysmem_ptrsize(v), 32);
    sysmem_freeptr(v);
    vor_freebytes(z, 64);
}

TEST(AtomArrays, CopyOnCreationAndFreshCopiesOnRead) {
    t_atom src[3] = {long_atom(1), sym_atom("two"), float_atom(3.5)};
    auto* arr = static_cast<t_atomarray*>(object_new(gensym("nobox"), gensym("atomarray"), 3L, src));
    ASSERT_NE(arr, nullptr);
    atom_setlong(&src[0], 99);  // the array holds its own copy
    t_atom got;
    ASSERT_EQ(atomarray_getindex(arr, 0, &got), HOX_ERR_NONE);
    EXPECT_EQ(atom_getlong(&got), 1);
    EXPECT_EQ(atomarray_getindex(arr, 3, &got), HOX_EROR);
    EXPECT_EQ(atomarray_getindex(arr, -1, &got), HOX_EROR);
    t_atom four = sym_atom("four");
    ASSERT_EQ(atomarray_appendatom(arr, &four), HOX_ERR_NONE);
    long ac = 0, cac = 0;
    t_atom *av = nullptr, *cav = nullptr;
    ASSERT_EQ(atomarray_getatoms(arr, &ac, &av), HOX_ERR_NONE);
    ASSERT_EQ(ac, 4);
    ASSERT_EQ(object_getvalueof(arr, &cac, &cav), HOX_ERR_NONE);
    ASSERT_EQ(cac, 4);
    EXPECT_NE(cav, av);
    freeobject(arr);
    EXPECT_EQ(atom_getsym(cav + 3), gensym("four"));  // the copy outlives the array
    EXPECT_DOUBLE_EQ(atom_getfloat(cav + 2), 3.5);
    sysmem_freeptr(cav);
    // An object of a class without a value has none to give.
    t_class* c = class_new("basics_novalue", nullptr, nullptr, sizeof(t_object), nullptr, 0, 0);
    class_register(gensym("nobox"), c);
    void* x = object_alloc(c);
    ac = 5;
    EXPECT_EQ(object_getvalueof(x, &ac, &av), HOX_EROR);
    EXPECT_EQ(ac, 0);
    object_free(x);
}
