// The "vor_matrix" class: creation and naming, setinfo and setinfo_ex,
// referring to data it does not own, fillplane, clear_custom, frommatrix
// through the object, what its clients hear, and use from two threads.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "matrix_test_util.h"

namespace {

const auto no_conv = static_cast<t_vor_matrix_conv_info*>(nullptr);

// A client that records what it hears, and an object that is no matrix but
// answers getinfo and getdata for one (by forwarding), as a box output does.
struct t_helper {
    t_object ob;
    std::vector<std::string>* heard;
    void* target;
};
void helper_notify(t_helper* x, t_symbol*, t_symbol* msg, void*, void*) { x->heard->push_back(msg->s_name); }
void* helper_forward(t_helper* x) { return x->target; }
t_class* helper_class() {
    static t_class* c = [] {
        t_class* k = vor_class_new("matrix_test_helper", nullptr, nullptr, sizeof(t_helper), A_CANT, 0);
        vor_class_addmethod(k, HOXFN(helper_notify), "notify", A_CANT, 0);
        hox_class_setforward(k, HOXFN(helper_forward));
        vor_class_register(k);
        return k;
    }();
    return c;
}

class MatrixTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (void* o : made) vor_object_free(o);
    }
    void* make(const t_vor_matrix_info& info) { return keep(vor_object_new(gensym("vor_matrix"), &info)); }
    void* keep(void* o) {
        EXPECT_NE(o, nullptr);
        made.push_back(o);
        return o;
    }
    t_helper* helper(void* target = nullptr) {
        auto* h = static_cast<t_helper*>(keep(vor_object_alloc(helper_class())));
        h->heard = &heard;
        h->target = target;
        return h;
    }
    // What clients of matrix m hear lands in `heard`.
    void listen(void* m) { EXPECT_EQ(vor_object_attach(vor_object_findregisteredbyptr(m), helper()), m); }
    std::vector<void*> made;
    std::vector<std::string> heard;
};

TEST_F(MatrixTest, CreationNamingLockAndFreeing) {
    void* m = vor_object_new(gensym("vor_matrix"), nullptr);  // one char cell of four planes
    const t_vor_matrix_info info = info_of(m);
    EXPECT_STREQ(info.type->s_name, "char");
    EXPECT_EQ((std::vector<int64_t>{info.planecount, info.dimcount, info.dim[0] * info.dim[1], info.size, info.flags}),
              (std::vector<int64_t>{4, 2, 1, 4, 0}));
    auto* name = static_cast<t_symbol*>(vor_object_method(m, gensym("matrixname")));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->s_name[0], 'u');
    EXPECT_EQ(vor_object_findregistered(name), m);
    EXPECT_NE(vor_object_method(make(shape(1, 1)), gensym("matrixname")), name);
    void* n = make(shape(5, 3));  // with an info: its shape, zero-filled
    EXPECT_EQ(info_of(n).dimstride[1], 20);
    EXPECT_EQ(std::vector<uint8_t>(data_of(n), data_of(n) + 60), std::vector<uint8_t>(60, 0));
    const std::pair<long, intptr_t> locks[] = {{1, 0}, {1, 1}, {0, 1}, {0, 0}};  // answers the previous state
    for (auto [set, was] : locks) EXPECT_EQ(reinterpret_cast<intptr_t>(vor_object_method(m, gensym("lock"), set)), was);
    listen(m);
    vor_object_free(m);
    EXPECT_EQ(heard, std::vector<std::string>{"free"});
}

TEST_F(MatrixTest, SetinfoComputesTightStridesClampsAndRefusesUnknownTypes) {
    void* m = make(shape(1, 1));
    listen(m);
    struct Case {
        t_vor_matrix_info in;
        int32_t strides[3], dims[2];
        int64_t size;
    } cases[] = {
        {shape(3, 2, 4), {4, 12, 0}, {3, 2}, 24},
        {shape(5, 3, 2, "long"), {8, 40, 0}, {5, 3}, 120},
        {shape(7, 1, 3, "float32"), {12, 0, 0}, {7, 1}, 84},  // made one-dimensional below
        {shape(2, 3, 1, "float64"), {8, 16, 48}, {2, 3}, 192},
        {shape(0, -5, 0), {1, 1, 0}, {1, 1}, 1},  // dims and planes clamped into range
    };
    cases[2].in.dimcount = 1;
    cases[3].in.dimcount = 3, cases[3].in.dim[2] = 4;
    for (Case& c : cases) {
        c.in.dimstride[0] = 999;  // ignored by setinfo
        c.in.size = 1;
        ASSERT_EQ(call(m, "setinfo", &c.in), HOX_ERR_NONE) << c.in.type->s_name;
        const t_vor_matrix_info out = info_of(m);
        EXPECT_EQ(out.dim[0], c.dims[0]);
        for (int d = 0; d < c.in.dimcount; ++d) EXPECT_EQ(out.dimstride[d], c.strides[d]) << c.in.type->s_name << d;
        EXPECT_EQ(out.size, c.size) << c.in.type->s_name;
    }
    t_vor_matrix_info bad = shape(9, 9, 4, "int16");
    EXPECT_EQ(call(m, "setinfo", &bad), HOX_EROR);
    EXPECT_EQ(info_of(m).dim[0], 1);
    EXPECT_EQ(heard, std::vector<std::string>(5, "setinfo"));
}

TEST_F(MatrixTest, SetinfoReallocatesOnlyWhenTheLayoutChanges) {
    void* m = make(shape(4, 4));
    data_of(m)[5] = 42;
    const t_vor_matrix_info same = shape(4, 4), other = shape(8, 2);  // other: same byte count
    ASSERT_EQ(call(m, "setinfo", &same), HOX_ERR_NONE);
    EXPECT_EQ(data_of(m)[5], 42);  // the same layout keeps the cells
    ASSERT_EQ(call(m, "setinfo", &other), HOX_ERR_NONE);
    EXPECT_EQ(data_of(m)[5], 0);
    // setinfo_ex keeps roomy strides (and grows the size to the span) but
    // replaces overlapping ones.
    t_vor_matrix_info padded = shape(3, 2);
    padded.dimstride[1] = 16;
    padded.size = 10;
    ASSERT_EQ(call(m, "setinfo_ex", &padded), HOX_ERR_NONE);
    EXPECT_EQ(info_of(m).dimstride[1], 16);
    EXPECT_EQ(info_of(m).size, 28);
    padded.dimstride[1] = 8;
    ASSERT_EQ(call(m, "setinfo_ex", &padded), HOX_ERR_NONE);
    EXPECT_EQ(info_of(m).dimstride[1], 12);
    EXPECT_EQ(info_of(m).size, 24);
    // freedata drops the block; setinfo owns one again.
    ASSERT_EQ(call(m, "freedata"), HOX_ERR_NONE);
    EXPECT_EQ(data_of(m), nullptr);
    EXPECT_EQ(info_of(m).size, 0);
    EXPECT_EQ(call(m, "clear_custom", 0L), HOX_EROR);
    ASSERT_EQ(call(m, "setinfo", &same), HOX_ERR_NONE);
    EXPECT_EQ(call(m, "clear_custom", 0L), HOX_ERR_NONE);
    uint8_t foreign[4] = {};
    EXPECT_EQ(call(m, "data", static_cast<void*>(foreign)), HOX_EROR);  // an owning matrix refuses a foreign pointer
    EXPECT_NE(data_of(m), foreign);
}

TEST_F(MatrixTest, ReferringMatrixReadsAndWritesOnlyThroughAFittingPointer) {
    // As a grabber sets up its frame matrix: nothing to read or write until pointed at data.
    void* m = make(shape(1, 1));
    listen(m);
    t_vor_matrix_info info = shape(2, 2, 4, "char", VOR_MATRIX_DATA_REFERENCE);
    info.size = 0;
    ASSERT_EQ(call(m, "freedata"), HOX_ERR_NONE);
    ASSERT_EQ(call(m, "setinfo_ex", &info), HOX_ERR_NONE);
    ASSERT_EQ(call(m, "data", static_cast<void*>(nullptr)), HOX_ERR_NONE);
    EXPECT_EQ(data_of(m), nullptr);
    EXPECT_EQ(info_of(m).flags & VOR_MATRIX_DATA_REFERENCE, VOR_MATRIX_DATA_REFERENCE);
    void* out = make(shape(2, 2));
    EXPECT_EQ(call(out, "frommatrix", m, no_conv), HOX_EROR);
    EXPECT_EQ(call(m, "fillplane", 0L, 255L), HOX_EROR);

    // A 2 x 2 frame with rows 12 bytes apart, in a buffer of exactly that span.
    std::vector<uint8_t> frame(12 + 8 + 16, 0xCC);
    uint8_t* base = frame.data() + 8;
    info.dimstride[1] = 12;
    info.size = 20;
    ASSERT_EQ(call(m, "setinfo_ex", &info), HOX_ERR_NONE);
    ASSERT_EQ(call(m, "data", static_cast<void*>(base)), HOX_ERR_NONE);
    ASSERT_EQ(call(m, "clear_custom", 0x01020304L), HOX_ERR_NONE);
    std::vector<uint8_t> want(frame.size(), 0xCC);
    for (int i : {0, 4, 12, 16}) std::memcpy(want.data() + 8 + i, "\1\2\3\4", 4);
    EXPECT_EQ(frame, want);
    ASSERT_EQ(call(out, "frommatrix", m, no_conv), HOX_ERR_NONE);
    EXPECT_EQ(std::vector<uint8_t>(data_of(out), data_of(out) + 16),
              (std::vector<uint8_t>{1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4}));
    // A size too small for the layout is never written through; setinfo
    // makes the matrix own data again.
    info.size = 19;
    ASSERT_EQ(call(m, "setinfo_ex", &info), HOX_ERR_NONE);
    EXPECT_EQ(data_of(m), base);
    EXPECT_EQ(call(m, "clear_custom", 0L), HOX_EROR);
    const t_vor_matrix_info own = shape(2, 2);
    ASSERT_EQ(call(m, "setinfo", &own), HOX_ERR_NONE);
    EXPECT_EQ(info_of(m).flags & VOR_MATRIX_DATA_REFERENCE, 0);
    ASSERT_EQ(call(m, "clear_custom", 0L), HOX_ERR_NONE);
    EXPECT_EQ(frame, want);
    EXPECT_EQ(heard, std::vector<std::string>(4, "setinfo"));
}

TEST_F(MatrixTest, FillplaneAndClearCustom) {
    void* m = make(shape(1, 1));
    t_vor_matrix_info padded = shape(3, 2);
    padded.dimstride[1] = 14;  // two bytes of row padding
    ASSERT_EQ(call(m, "setinfo_ex", &padded), HOX_ERR_NONE);
    uint8_t* p = data_of(m);
    ASSERT_EQ(info_of(m).size, 26);
    std::memset(p, 7, 26);
    ASSERT_EQ(call(m, "fillplane", 0L, 255L), HOX_ERR_NONE);
    for (int i = 0; i < 26; ++i) EXPECT_EQ(p[i], i % 14 < 12 && i % 14 % 4 == 0 ? 255 : 7) << "byte " << i;
    ASSERT_EQ(call(m, "fillplane", 2L, 0x1234L), HOX_ERR_NONE);  // a char plane takes the low byte
    EXPECT_EQ(p[14 + 4 + 2], 0x34);
    EXPECT_EQ(call(m, "fillplane", 4L, 1L), HOX_EROR);
    EXPECT_EQ(call(m, "fillplane", -1L, 1L), HOX_EROR);
    // clear_custom puts plane 0 in the top byte.
    ASSERT_EQ(call(m, "clear_custom", 0xFF102030L), HOX_ERR_NONE);
    EXPECT_EQ(std::vector<uint8_t>(p + 14, p + 22), (std::vector<uint8_t>{255, 0x10, 0x20, 0x30, 255, 0x10, 0x20, 0x30}));
    EXPECT_EQ(p[12], 7);  // row padding untouched
    // Wider types: whole values; clear_custom is for char matrices only.
    const t_vor_matrix_info longs = shape(3, 1, 2, "long");
    ASSERT_EQ(call(m, "setinfo", &longs), HOX_ERR_NONE);
    ASSERT_EQ(call(m, "fillplane", 1L, -70000L), HOX_ERR_NONE);
    const auto* v = reinterpret_cast<const int32_t*>(data_of(m));
    EXPECT_EQ(std::vector<int32_t>(v, v + 6), (std::vector<int32_t>{0, -70000, 0, -70000, 0, -70000}));
    EXPECT_EQ(call(m, "clear_custom", 0L), HOX_EROR);
}

TEST_F(MatrixTest, FrommatrixReadsAnyObjectThatDescribesACharMatrix) {
    // The descriptor's mapping is checked on raw buffers (copy_test.cpp);
    // here the object's side: who it reads, what it refuses, and itself.
    void* src = make(shape(1, 3, 1));
    uint8_t* s = data_of(src);
    s[0] = 1, s[1] = 2, s[2] = 3;
    void* dst = make(shape(1, 3, 1));
    ASSERT_EQ(call(dst, "frommatrix", static_cast<void*>(helper(src)), no_conv), HOX_ERR_NONE);
    EXPECT_EQ(std::vector<uint8_t>(data_of(dst), data_of(dst) + 3), (std::vector<uint8_t>{1, 2, 3}));
    t_vor_matrix_conv_info flip{};
    flip.flags = VOR_MATRIX_CONVERT_SRCDIM;
    flip.srcdimstart[1] = 2;
    ASSERT_EQ(call(src, "frommatrix", src, &flip), HOX_ERR_NONE);  // into itself: flips in place
    EXPECT_EQ(std::vector<uint8_t>(s, s + 3), (std::vector<uint8_t>{3, 2, 1}));
    void* longs = make(shape(1, 3, 1, "long"));
    EXPECT_EQ(call(dst, "frommatrix", longs, no_conv), HOX_EROR);
    EXPECT_EQ(call(longs, "frommatrix", dst, no_conv), HOX_EROR);
    EXPECT_EQ(call(dst, "frommatrix", static_cast<void*>(nullptr), no_conv), HOX_EROR);
}

TEST_F(MatrixTest, DetachOnAFrameThreadWhileTheHostThreadUsesTheMatrix) {
    // The frame thread repeatedly lets go of the frame and points the matrix
    // at it again; the host thread meanwhile clears it and copies from it.
    // Every call sees a whole description: either the frame (and then it
    // fits) or no data at all, never a pointer with the other state's size.
    std::vector<uint8_t> frame(4 * 8 * 8, 0);
    void* out = make(shape(1, 1));
    const t_vor_matrix_info ref = shape(8, 8, 4, "char", VOR_MATRIX_DATA_REFERENCE);
    ASSERT_EQ(call(out, "setinfo_ex", &ref), HOX_ERR_NONE);
    ASSERT_EQ(call(out, "data", static_cast<void*>(frame.data())), HOX_ERR_NONE);
    void* copy = make(shape(8, 8));
    std::thread frame_thread([&] {
        for (int i = 0; i < 2000; ++i) {
            t_vor_matrix_info info = info_of(out);
            info.size = 0;
            call(out, "data", static_cast<void*>(nullptr));
            call(out, "setinfo_ex", &info);
            info.size = static_cast<int64_t>(frame.size());
            call(out, "setinfo_ex", &info);
            call(out, "data", static_cast<void*>(frame.data()));
        }
    });
    for (int i = 0; i < 2000; ++i) {
        for (t_hox_err e : {call(out, "clear_custom", 0x11223344L), call(copy, "frommatrix", out, no_conv)})
            ASSERT_TRUE(e == HOX_ERR_NONE || e == HOX_EROR);
    }
    frame_thread.join();
    for (size_t i = 0; i < frame.size(); i += 4)
        ASSERT_TRUE(frame[i] == 0 || (frame[i] == 0x11 && frame[i + 3] == 0x44)) << "cell " << i / 4;
}

}  // namespace
