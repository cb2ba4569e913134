// Symbols, atoms, memory and atom arrays.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "runtime_test_util.h"

TEST(Symbols, SameTextGivesTheSameRecordFromEveryThread) {
    t_symbol* a = gensym("runtime_symbol_identity");
    EXPECT_EQ(a, gensym(std::string("runtime_symbol_") .append("identity").c_str()));
    EXPECT_STREQ(a->s_name, "runtime_symbol_identity");
    EXPECT_NE(a, gensym("runtime_symbol_identitY"));
    EXPECT_EQ(gensym(""), gensym(nullptr));

    // Many threads interning overlapping names must agree on every record.
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

TEST(Symbols, TranslationIsIdentity) {
    const char* text = "7.0.4";
    EXPECT_EQ(str_tr(text), text);
}

TEST(Atoms, LayoutAndConversions) {
    EXPECT_EQ(sizeof(t_atom), 16u);
    t_atom a;
    atom_setlong(&a, -7);
    EXPECT_EQ(a.a_type, A_LONG);
    EXPECT_EQ(atom_getlong(&a), -7);
    EXPECT_DOUBLE_EQ(atom_getfloat(&a), -7.0);
    EXPECT_EQ(atom_getsym(&a), gensym(""));
    EXPECT_EQ(atom_getobj(&a), nullptr);

    atom_setfloat(&a, 2.75);
    EXPECT_EQ(a.a_type, A_FLOAT);
    EXPECT_EQ(atom_getlong(&a), 2);
    atom_setfloat(&a, -2.75);
    EXPECT_EQ(atom_getlong(&a), -2);  // truncates toward zero

    atom_setsym(&a, gensym("x"));
    EXPECT_EQ(atom_getsym(&a), gensym("x"));
    EXPECT_EQ(atom_getlong(&a), 0);
    EXPECT_DOUBLE_EQ(atom_getfloat(&a), 0.0);

    int thing;
    atom_setobj(&a, &thing);
    EXPECT_EQ(a.a_type, A_OBJ);
    EXPECT_EQ(atom_getobj(&a), &thing);
    EXPECT_EQ(atom_getlong(&a), 0);

    EXPECT_EQ(atom_setlong(nullptr, 1), HOX_EROR);
}

TEST(Atoms, AllocFollowsTheGetterConvention) {
    long ac = 0;
    t_atom* av = nullptr;
    char alloc = 0;
    ASSERT_EQ(atom_alloc(&ac, &av, &alloc), HOX_ERR_NONE);
    ASSERT_NE(av, nullptr);
    EXPECT_EQ(ac, 1);
    EXPECT_EQ(alloc, 1);
    EXPECT_EQ(sysmem_ptrsize(av), static_cast<long>(sizeof(t_atom)));
    sysmem_freeptr(av);

    // A caller's own atom is left alone.
    t_atom mine;
    av = &mine;
    ac = 1;
    alloc = 0;
    ASSERT_EQ(atom_alloc(&ac, &av, &alloc), HOX_ERR_NONE);
    EXPECT_EQ(av, &mine);
    EXPECT_EQ(alloc, 0);
}

TEST(Memory, SizesAreRememberedAndBadSizesRefused) {
    char* p = sysmem_newptr(37);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(sysmem_ptrsize(p), 37);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    EXPECT_EQ(sysmem_newptr(-1), nullptr);
    char* z = sysmem_newptrclear(64);
    ASSERT_NE(z, nullptr);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(z[i], 0);
    std::memcpy(p, "hello, runtime", 15);
    sysmem_copyptr(p, z, 15);
    EXPECT_STREQ(z, "hello, runtime");
    // vor_getbytes shares the allocator: either release works on either block.
    void* v = vor_getbytes(32);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(sysmem_ptrsize(v), 32);
    sysmem_freeptr(v);
    vor_freebytes(z, 64);
    sysmem_freeptr(p);
    sysmem_freeptr(nullptr);
    EXPECT_EQ(sysmem_ptrsize(nullptr), 0);
}

TEST(AtomArrays, CopyOnCreationAndFreshCopiesOnRead) {
    t_atom src[3] = {long_atom(1), sym_atom("two"), float_atom(3.5)};
    auto* arr = static_cast<t_atomarray*>(object_new(gensym("nobox"), gensym("atomarray"), 3L, src));
    ASSERT_NE(arr, nullptr);
    EXPECT_EQ(object_classname(arr), gensym("atomarray"));
    atom_setlong(&src[0], 99);  // the array holds its own copy
    EXPECT_EQ(atomarray_getsize(arr), 3);
    t_atom got;
    ASSERT_EQ(atomarray_getindex(arr, 0, &got), HOX_ERR_NONE);
    EXPECT_EQ(atom_getlong(&got), 1);
    EXPECT_EQ(atomarray_getindex(arr, 3, &got), HOX_EROR);
    EXPECT_EQ(atomarray_getindex(arr, -1, &got), HOX_EROR);

    t_atom four = sym_atom("four");
    ASSERT_EQ(atomarray_appendatom(arr, &four), HOX_ERR_NONE);
    long ac = 0;
    t_atom* av = nullptr;
    ASSERT_EQ(atomarray_getatoms(arr, &ac, &av), HOX_ERR_NONE);
    ASSERT_EQ(ac, 4);
    EXPECT_EQ(atom_getsym(av + 1), gensym("two"));
    EXPECT_EQ(atom_getsym(av + 3), gensym("four"));

    long cac = 0;
    t_atom* cav = nullptr;
    ASSERT_EQ(object_getvalueof(arr, &cac, &cav), HOX_ERR_NONE);
    ASSERT_EQ(cac, 4);
    EXPECT_NE(cav, av);
    EXPECT_DOUBLE_EQ(atom_getfloat(cav + 2), 3.5);
    freeobject(arr);
    // The copy outlives the array.
    EXPECT_EQ(atom_getsym(cav + 3), gensym("four"));
    sysmem_freeptr(cav);
}

TEST(AtomArrays, EmptyArraysAndObjectsWithoutValue) {
    t_atomarray* empty = atomarray_new(0, nullptr);
    ASSERT_NE(empty, nullptr);
    long ac = 5;
    t_atom* av = reinterpret_cast<t_atom*>(&ac);
    EXPECT_EQ(object_getvalueof(empty, &ac, &av), HOX_ERR_NONE);
    EXPECT_EQ(ac, 0);
    EXPECT_EQ(av, nullptr);
    object_free(empty);

    t_class* c = class_new(unique_class_name("novalue").c_str(), nullptr, nullptr, sizeof(t_object), nullptr, 0, 0);
    class_register(gensym("nobox"), c);  // classes live as long as the process
    void* x = object_alloc(c);
    ac = 5;
    EXPECT_EQ(object_getvalueof(x, &ac, &av), HOX_EROR);
    EXPECT_EQ(ac, 0);
    EXPECT_EQ(atomarray_getsize(reinterpret_cast<t_atomarray*>(x)), 0);
    object_free(x);
}
