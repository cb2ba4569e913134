// The "vor_matrix" class: creation and naming, setinfo and setinfo_ex,
// referring to data it does not own, fillplane, clear_custom, frommatrix
// through the object, and what its clients hear.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "hoxhost.h"

namespace {

t_hox_err call(void* x, const char* m) {
    return static_cast<t_hox_err>(reinterpret_cast<intptr_t>(vor_object_method(x, gensym(m))));
}
template <class A, class... B>
t_hox_err call(void* x, const char* m, A a, B... b) {
    return static_cast<t_hox_err>(reinterpret_cast<intptr_t>(vor_object_method(x, gensym(m), a, b...)));
}

t_vor_matrix_info info_of(void* m) {
    t_vor_matrix_info info{};
    EXPECT_EQ(call(m, "getinfo", &info), HOX_ERR_NONE);
    return info;
}

uint8_t* data_of(void* m) {
    void* p = nullptr;
    EXPECT_EQ(call(m, "getdata", &p), HOX_ERR_NONE);
    return static_cast<uint8_t*>(p);
}

t_vor_matrix_info char_info(int32_t w, int32_t h, int32_t planes = 4) {
    t_vor_matrix_info info{};
    vor_matrix_info_default(&info);
    info.dim[0] = w;
    info.dim[1] = h;
    info.planecount = planes;
    return info;
}

// A client that records what it hears.
struct t_listener {
    t_object ob;
    std::vector<std::string>* heard;
    void* sender;
};
void listener_notify(t_listener* x, t_symbol* /*name*/, t_symbol* msg, void* sender, void* /*data*/) {
    x->heard->push_back(msg->s_name);
    x->sender = sender;
}
t_class* listener_class() {
    static t_class* c = [] {
        t_class* k = vor_class_new("matrix_test_listener", nullptr, nullptr, sizeof(t_listener), A_CANT, 0);
        vor_class_addmethod(k, HOXFN(listener_notify), "notify", A_CANT, 0);
        vor_class_register(k);
        return k;
    }();
    return c;
}

struct Listener {
    std::vector<std::string> heard;
    t_listener* obj;
    t_symbol* name;
    explicit Listener(void* matrix) {
        obj = static_cast<t_listener*>(vor_object_alloc(listener_class()));
        obj->heard = &heard;
        name = vor_object_findregisteredbyptr(matrix);
        EXPECT_EQ(vor_object_attach(name, obj), matrix);
    }
    ~Listener() {
        vor_object_detach(name, obj);
        vor_object_free(obj);
    }
};

class MatrixTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (void* m : made) vor_object_free(m);
    }
    void* make(const t_vor_matrix_info* info = nullptr) {
        void* m = info ? vor_object_new(gensym("vor_matrix"), info) : vor_object_new(gensym("vor_matrix"), nullptr);
        EXPECT_NE(m, nullptr);
        made.push_back(m);
        return m;
    }
    std::vector<void*> made;
};

// ---------------------------------------------------------------- creation

TEST_F(MatrixTest, WithoutInfoIsOneCharCellOfFourPlanesUnderAUniqueName) {
    void* m = make();
    const t_vor_matrix_info info = info_of(m);
    EXPECT_STREQ(info.type->s_name, "char");
    EXPECT_EQ(info.planecount, 4);
    EXPECT_EQ(info.dimcount, 2);
    EXPECT_EQ(info.dim[0], 1);
    EXPECT_EQ(info.dim[1], 1);
    EXPECT_EQ(info.dimstride[0], 4);
    EXPECT_EQ(info.dimstride[1], 4);
    EXPECT_EQ(info.size, 4);
    EXPECT_EQ(info.flags & VOR_MATRIX_DATA_REFERENCE, 0);
    EXPECT_NE(data_of(m), nullptr);

    auto* name = static_cast<t_symbol*>(vor_object_method(m, gensym("matrixname")));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->s_name[0], 'u');
    EXPECT_EQ(vor_object_findregistered(name), m);
    EXPECT_EQ(vor_object_findregisteredbyptr(m), name);
    void* other = make();
    EXPECT_NE(vor_object_method(other, gensym("matrixname")), name);
}

TEST_F(MatrixTest, WithInfoTakesItsShapeAndZeroFilledData) {
    const t_vor_matrix_info want = char_info(5, 3);
    void* m = make(&want);
    const t_vor_matrix_info info = info_of(m);
    EXPECT_EQ(info.dim[0], 5);
    EXPECT_EQ(info.dim[1], 3);
    EXPECT_EQ(info.dimstride[1], 20);
    EXPECT_EQ(info.size, 60);
    const uint8_t* p = data_of(m);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 60), std::vector<uint8_t>(60, 0));
}

TEST_F(MatrixTest, FreeingTellsClientsFreeOnce) {
    void* m = vor_object_new(gensym("vor_matrix"), nullptr);
    Listener l(m);
    vor_object_free(m);
    EXPECT_EQ(l.heard, std::vector<std::string>{"free"});
}

// ---------------------------------------------------------------- setinfo

TEST_F(MatrixTest, SetinfoComputesTightStridesForEveryType) {
    void* m = make();
    struct Case {
        const char* type;
        int32_t planes, dimcount, dims[3], strides[3];
        int64_t size;
    } cases[] = {
        {"char", 4, 2, {3, 2, 0}, {4, 12, 0}, 24},
        {"long", 2, 2, {5, 3, 0}, {8, 40, 0}, 120},
        {"float32", 3, 1, {7, 0, 0}, {12, 0, 0}, 84},
        {"float64", 1, 3, {2, 3, 4}, {8, 16, 48}, 192},
    };
    for (const Case& c : cases) {
        t_vor_matrix_info in{};
        in.type = gensym(c.type);
        in.planecount = c.planes;
        in.dimcount = c.dimcount;
        for (int d = 0; d < c.dimcount; ++d) in.dim[d] = c.dims[d];
        in.dimstride[0] = 999;  // ignored by setinfo
        in.size = 1;
        ASSERT_EQ(call(m, "setinfo", &in), HOX_ERR_NONE) << c.type;
        const t_vor_matrix_info out = info_of(m);
        EXPECT_STREQ(out.type->s_name, c.type);
        for (int d = 0; d < c.dimcount; ++d) EXPECT_EQ(out.dimstride[d], c.strides[d]) << c.type << " dim " << d;
        EXPECT_EQ(out.size, c.size) << c.type;
    }
}

TEST_F(MatrixTest, SetinfoRefusesAnUnknownTypeAndKeepsTheMatrix) {
    const t_vor_matrix_info start = char_info(2, 2);
    void* m = make(&start);
    Listener l(m);
    t_vor_matrix_info bad = char_info(9, 9);
    bad.type = gensym("int16");
    EXPECT_EQ(call(m, "setinfo", &bad), HOX_EROR);
    EXPECT_EQ(info_of(m).dim[0], 2);
    EXPECT_TRUE(l.heard.empty());
}

TEST_F(MatrixTest, SetinfoNotifiesAndReallocatesOnlyWhenTheLayoutChanges) {
    void* m = make();
    Listener l(m);
    t_vor_matrix_info a = char_info(4, 4);
    ASSERT_EQ(call(m, "setinfo", &a), HOX_ERR_NONE);
    uint8_t* first = data_of(m);
    first[5] = 42;
    ASSERT_EQ(call(m, "setinfo", &a), HOX_ERR_NONE);
    EXPECT_EQ(data_of(m), first);
    EXPECT_EQ(data_of(m)[5], 42);

    t_vor_matrix_info b = char_info(8, 2);  // same byte count, other layout
    ASSERT_EQ(call(m, "setinfo", &b), HOX_ERR_NONE);
    EXPECT_EQ(data_of(m)[5], 0);
    EXPECT_EQ(l.heard, (std::vector<std::string>{"setinfo", "setinfo", "setinfo"}));
    EXPECT_EQ(l.obj->sender, m);
}

TEST_F(MatrixTest, SetinfoClampsDimsAndPlanesIntoRange) {
    void* m = make();
    t_vor_matrix_info in = char_info(0, -5, 0);
    ASSERT_EQ(call(m, "setinfo", &in), HOX_ERR_NONE);
    const t_vor_matrix_info out = info_of(m);
    EXPECT_EQ(out.dim[0], 1);
    EXPECT_EQ(out.dim[1], 1);
    EXPECT_EQ(out.planecount, 1);
    EXPECT_EQ(out.size, 1);
}

// ---------------------------------------------------------------- setinfo_ex and references

TEST_F(MatrixTest, SetinfoExKeepsRoomyStridesAndReplacesOverlappingOnes) {
    void* m = make();
    t_vor_matrix_info padded = char_info(3, 2);
    padded.dimstride[1] = 16;  // four bytes of padding per row
    padded.size = 10;          // too small for the cells: grows to the span
    ASSERT_EQ(call(m, "setinfo_ex", &padded), HOX_ERR_NONE);
    t_vor_matrix_info out = info_of(m);
    EXPECT_EQ(out.dimstride[1], 16);
    EXPECT_EQ(out.size, 28);

    t_vor_matrix_info overlapping = char_info(3, 2);
    overlapping.dimstride[1] = 8;
    ASSERT_EQ(call(m, "setinfo_ex", &overlapping), HOX_ERR_NONE);
    out = info_of(m);
    EXPECT_EQ(out.dimstride[0], 4);
    EXPECT_EQ(out.dimstride[1], 12);
    EXPECT_EQ(out.size, 24);
}

TEST_F(MatrixTest, FrameMatrixSetUpReferencesNothingUntilPointedAtData) {
    // As a grabber makes its frame matrix: freedata, flag 4 with size 0, data null.
    void* m = make();
    Listener l(m);
    t_vor_matrix_info info = info_of(m);
    ASSERT_EQ(call(m, "freedata"), HOX_ERR_NONE);
    info.size = 0;
    info.flags = VOR_MATRIX_DATA_REFERENCE;
    ASSERT_EQ(call(m, "setinfo_ex", &info), HOX_ERR_NONE);
    ASSERT_EQ(call(m, "data", static_cast<void*>(nullptr)), HOX_ERR_NONE);
    EXPECT_EQ(data_of(m), nullptr);
    EXPECT_EQ(info_of(m).flags & VOR_MATRIX_DATA_REFERENCE, VOR_MATRIX_DATA_REFERENCE);
    EXPECT_EQ(l.heard, std::vector<std::string>{"setinfo"});
    // Nothing to read from or write to.
    void* other = make();
    EXPECT_EQ(call(other, "frommatrix", m, static_cast<t_vor_matrix_conv_info*>(nullptr)), HOX_EROR);
    EXPECT_EQ(call(m, "fillplane", 0L, 255L), HOX_EROR);
}

TEST_F(MatrixTest, ReferringMatrixReadsAndWritesThroughTheGivenPointer) {
    // A 2 x 2 frame with rows 12 bytes apart in a buffer of exactly that span.
    std::vector<uint8_t> frame(12 + 8 + 16, 0xCC);
    uint8_t* base = frame.data() + 8;
    void* m = make();
    t_vor_matrix_info info = char_info(2, 2);
    info.flags = VOR_MATRIX_DATA_REFERENCE;
    info.dimstride[1] = 12;
    info.size = 20;
    ASSERT_EQ(call(m, "freedata"), HOX_ERR_NONE);
    ASSERT_EQ(call(m, "setinfo_ex", &info), HOX_ERR_NONE);
    ASSERT_EQ(call(m, "data", static_cast<void*>(base)), HOX_ERR_NONE);
    EXPECT_EQ(data_of(m), base);

    ASSERT_EQ(call(m, "clear_custom", 0x01020304L), HOX_ERR_NONE);
    const uint8_t want[36] = {0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC,  // before
                              1,    2,    3,    4,    1,    2,    3,    4,     // row 0
                              0xCC, 0xCC, 0xCC, 0xCC,                          // row padding
                              1,    2,    3,    4,    1,    2,    3,    4,     // row 1
                              0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC};
    EXPECT_EQ(frame, std::vector<uint8_t>(want, want + 36));

    // A copy from it reads the referenced cells.
    const t_vor_matrix_info plain = char_info(2, 2);
    void* out = make(&plain);
    ASSERT_EQ(call(out, "frommatrix", m, static_cast<t_vor_matrix_conv_info*>(nullptr)), HOX_ERR_NONE);
    EXPECT_EQ(std::vector<uint8_t>(data_of(out), data_of(out) + 16),
              (std::vector<uint8_t>{1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3, 4}));

    // A size too small for the layout is never read through.
    info.size = 19;
    ASSERT_EQ(call(m, "setinfo_ex", &info), HOX_ERR_NONE);
    EXPECT_EQ(data_of(m), base);  // a referring matrix keeps its pointer
    EXPECT_EQ(call(m, "clear_custom", 0L), HOX_EROR);
    EXPECT_EQ(frame, std::vector<uint8_t>(want, want + 36));

    // setinfo makes it own data again.
    const t_vor_matrix_info own = char_info(2, 2);
    ASSERT_EQ(call(m, "setinfo", &own), HOX_ERR_NONE);
    EXPECT_EQ(info_of(m).flags & VOR_MATRIX_DATA_REFERENCE, 0);
    EXPECT_NE(data_of(m), base);
    ASSERT_EQ(call(m, "clear_custom", 0L), HOX_ERR_NONE);
    EXPECT_EQ(frame, std::vector<uint8_t>(want, want + 36));
}

TEST_F(MatrixTest, SharingAnotherMatrixsDataAndDetachingFromIt) {
    const t_vor_matrix_info frame_info = char_info(3, 1);
    void* frame = make(&frame_info);
    uint8_t* fp = data_of(frame);
    for (int i = 0; i < 12; ++i) fp[i] = static_cast<uint8_t>(i);
    void* out = make();
    Listener l(out);

    t_vor_matrix_info shared = info_of(frame);
    shared.flags |= VOR_MATRIX_DATA_REFERENCE;
    ASSERT_EQ(call(out, "freedata"), HOX_ERR_NONE);
    ASSERT_EQ(call(out, "setinfo_ex", &shared), HOX_ERR_NONE);
    ASSERT_EQ(call(out, "data", static_cast<void*>(fp)), HOX_ERR_NONE);
    EXPECT_EQ(data_of(out), fp);
    EXPECT_EQ(info_of(out).dim[0], 3);

    // The detach a frame thread runs before replacing the frame buffer.
    t_vor_matrix_info info = info_of(out);
    info.size = 0;
    ASSERT_EQ(call(out, "data", static_cast<void*>(nullptr)), HOX_ERR_NONE);
    ASSERT_EQ(call(out, "setinfo_ex", &info), HOX_ERR_NONE);
    EXPECT_EQ(data_of(out), nullptr);
    EXPECT_EQ(info_of(out).flags & VOR_MATRIX_DATA_REFERENCE, VOR_MATRIX_DATA_REFERENCE);
    EXPECT_EQ(l.heard, (std::vector<std::string>{"setinfo", "setinfo"}));
    EXPECT_EQ(std::vector<uint8_t>(fp, fp + 12), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

TEST_F(MatrixTest, OwningMatrixRefusesAForeignPointer) {
    void* m = make();
    uint8_t* own = data_of(m);
    uint8_t other[4] = {};
    EXPECT_EQ(call(m, "data", static_cast<void*>(other)), HOX_EROR);
    EXPECT_EQ(data_of(m), own);
}

TEST_F(MatrixTest, FreedataDropsTheBlockAndReportsSizeZero) {
    const t_vor_matrix_info in = char_info(2, 2);
    void* m = make(&in);
    ASSERT_EQ(call(m, "freedata"), HOX_ERR_NONE);
    EXPECT_EQ(data_of(m), nullptr);
    EXPECT_EQ(info_of(m).size, 0);
    EXPECT_EQ(call(m, "clear_custom", 0L), HOX_EROR);
    ASSERT_EQ(call(m, "setinfo", &in), HOX_ERR_NONE);  // owns a block again
    EXPECT_NE(data_of(m), nullptr);
    EXPECT_EQ(call(m, "clear_custom", 0L), HOX_ERR_NONE);
}

TEST_F(MatrixTest, LockAnswersThePreviousState) {
    void* m = make();
    EXPECT_EQ(reinterpret_cast<intptr_t>(vor_object_method(m, gensym("lock"), 1L)), 0);
    EXPECT_EQ(reinterpret_cast<intptr_t>(vor_object_method(m, gensym("lock"), 1L)), 1);
    EXPECT_EQ(reinterpret_cast<intptr_t>(vor_object_method(m, gensym("lock"), 0L)), 1);
    EXPECT_EQ(reinterpret_cast<intptr_t>(vor_object_method(m, gensym("lock"), 0L)), 0);
}

// ---------------------------------------------------------------- fill

TEST_F(MatrixTest, FillplaneSetsOnePlaneOfEveryCellAndNothingElse) {
    void* m = make();
    t_vor_matrix_info padded = char_info(3, 2);
    padded.dimstride[1] = 14;  // two bytes of row padding
    ASSERT_EQ(call(m, "setinfo_ex", &padded), HOX_ERR_NONE);
    uint8_t* p = data_of(m);
    const int64_t size = info_of(m).size;
    ASSERT_EQ(size, 26);
    std::memset(p, 7, static_cast<size_t>(size));
    ASSERT_EQ(call(m, "fillplane", 0L, 255L), HOX_ERR_NONE);
    for (int64_t i = 0; i < size; ++i) {
        const int64_t in_row = i % 14;
        const bool plane0 = in_row < 12 && in_row % 4 == 0;
        EXPECT_EQ(p[i], plane0 ? 255 : 7) << "byte " << i;
    }
    EXPECT_EQ(call(m, "fillplane", 4L, 1L), HOX_EROR);
    EXPECT_EQ(call(m, "fillplane", -1L, 1L), HOX_EROR);
}

TEST_F(MatrixTest, FillplaneWritesWholeValuesForWiderTypes) {
    void* m = make();
    t_vor_matrix_info in{};
    in.type = gensym("long");
    in.planecount = 2;
    in.dimcount = 1;
    in.dim[0] = 3;
    ASSERT_EQ(call(m, "setinfo", &in), HOX_ERR_NONE);
    ASSERT_EQ(call(m, "fillplane", 1L, -70000L), HOX_ERR_NONE);
    const auto* v = reinterpret_cast<const int32_t*>(data_of(m));
    EXPECT_EQ(std::vector<int32_t>(v, v + 6), (std::vector<int32_t>{0, -70000, 0, -70000, 0, -70000}));

    in.type = gensym("float64");
    ASSERT_EQ(call(m, "setinfo", &in), HOX_ERR_NONE);
    ASSERT_EQ(call(m, "fillplane", 0L, 3L), HOX_ERR_NONE);
    const auto* d = reinterpret_cast<const double*>(data_of(m));
    EXPECT_EQ(std::vector<double>(d, d + 6), (std::vector<double>{3, 0, 3, 0, 3, 0}));
}

TEST_F(MatrixTest, ClearCustomPutsPlaneZeroInTheTopByte) {
    const t_vor_matrix_info in = char_info(2, 3);
    void* m = make(&in);
    ASSERT_EQ(call(m, "clear_custom", 0x80108010L), HOX_ERR_NONE);
    const uint8_t* p = data_of(m);
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(std::vector<uint8_t>(p + 4 * c, p + 4 * c + 4), (std::vector<uint8_t>{0x80, 0x10, 0x80, 0x10}));
    ASSERT_EQ(call(m, "clear_custom", 0xFF000000L), HOX_ERR_NONE);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 8), (std::vector<uint8_t>{255, 0, 0, 0, 255, 0, 0, 0}));

    t_vor_matrix_info wide{};
    wide.type = gensym("float32");
    wide.planecount = 4;
    wide.dimcount = 1;
    wide.dim[0] = 2;
    void* f = make(&wide);
    EXPECT_EQ(call(f, "clear_custom", 0L), HOX_EROR);
}

// ---------------------------------------------------------------- frommatrix

TEST_F(MatrixTest, FrommatrixAppliesTheDescriptor) {
    // A bottom-up 2 x 2 frame of B, G, R, X into an upright A, R, G, B output of 4 x 2.
    const t_vor_matrix_info fi = char_info(2, 2);
    void* frame = make(&fi);
    uint8_t* f = data_of(frame);
    const uint8_t bgrx[16] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
    std::memcpy(f, bgrx, 16);
    const t_vor_matrix_info oi = char_info(4, 2);
    void* out = make(&oi);

    t_vor_matrix_conv_info c{};
    c.flags = VOR_MATRIX_CONVERT_SRCDIM;
    c.planemap[0] = 3, c.planemap[1] = 2, c.planemap[2] = 1, c.planemap[3] = 0;
    c.srcdimstart[0] = 0, c.srcdimend[0] = 1;
    c.srcdimstart[1] = 1, c.srcdimend[1] = 0;
    ASSERT_EQ(call(out, "frommatrix", frame, &c), HOX_ERR_NONE);
    ASSERT_EQ(call(out, "fillplane", 0L, 255L), HOX_ERR_NONE);
    const uint8_t* o = data_of(out);
    const uint8_t want[32] = {255, 9, 8, 7, 255, 9, 8, 7, 255, 12, 11, 10, 255, 12, 11, 10,
                              255, 3, 2, 1, 255, 3, 2, 1, 255, 6,  5,  4,  255, 6,  5,  4};
    EXPECT_EQ(std::vector<uint8_t>(o, o + 32), std::vector<uint8_t>(want, want + 32));
}

// An object that is no matrix but answers getinfo and getdata for one, as a
// box output does.
struct t_proxy {
    t_object ob;
    void* target;
};
t_hox_err proxy_getinfo(t_proxy* x, t_vor_matrix_info* i) {
    return static_cast<t_hox_err>(reinterpret_cast<intptr_t>(vor_object_method(x->target, gensym("getinfo"), i)));
}
t_hox_err proxy_getdata(t_proxy* x, void** p) {
    return static_cast<t_hox_err>(reinterpret_cast<intptr_t>(vor_object_method(x->target, gensym("getdata"), p)));
}
t_class* proxy_class() {
    static t_class* c = [] {
        t_class* k = vor_class_new("matrix_test_proxy", nullptr, nullptr, sizeof(t_proxy), A_CANT, 0);
        vor_class_addmethod(k, HOXFN(proxy_getinfo), "getinfo", A_CANT, 0);
        vor_class_addmethod(k, HOXFN(proxy_getdata), "getdata", A_CANT, 0);
        vor_class_register(k);
        return k;
    }();
    return c;
}

TEST_F(MatrixTest, FrommatrixReadsAnyObjectThatDescribesAMatrix) {
    const t_vor_matrix_info si = char_info(1, 2);
    void* src = make(&si);
    uint8_t* s = data_of(src);
    for (int i = 0; i < 8; ++i) s[i] = static_cast<uint8_t>(i + 1);
    auto* proxy = static_cast<t_proxy*>(vor_object_alloc(proxy_class()));
    proxy->target = src;
    const t_vor_matrix_info di = char_info(1, 2);
    void* dst = make(&di);
    EXPECT_EQ(call(dst, "frommatrix", static_cast<void*>(proxy), static_cast<t_vor_matrix_conv_info*>(nullptr)),
              HOX_ERR_NONE);
    EXPECT_EQ(std::vector<uint8_t>(data_of(dst), data_of(dst) + 8), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    vor_object_free(proxy);
}

TEST_F(MatrixTest, FrommatrixRefusesOtherTypesAndNoSource) {
    t_vor_matrix_info li{};
    li.type = gensym("long");
    li.planecount = 4;
    li.dimcount = 2;
    li.dim[0] = 2, li.dim[1] = 2;
    void* longs = make(&li);
    const t_vor_matrix_info ci = char_info(2, 2);
    void* chars = make(&ci);
    EXPECT_EQ(call(chars, "frommatrix", longs, static_cast<t_vor_matrix_conv_info*>(nullptr)), HOX_EROR);
    EXPECT_EQ(call(longs, "frommatrix", chars, static_cast<t_vor_matrix_conv_info*>(nullptr)), HOX_EROR);
    EXPECT_EQ(call(chars, "frommatrix", static_cast<void*>(nullptr), static_cast<t_vor_matrix_conv_info*>(nullptr)),
              HOX_EROR);
}

TEST_F(MatrixTest, FrommatrixIntoItselfFlipsInPlace) {
    const t_vor_matrix_info in = char_info(1, 3, 1);
    void* m = make(&in);
    uint8_t* p = data_of(m);
    p[0] = 1, p[1] = 2, p[2] = 3;
    t_vor_matrix_conv_info c{};
    c.flags = VOR_MATRIX_CONVERT_SRCDIM;
    c.srcdimstart[0] = 0, c.srcdimend[0] = 0;
    c.srcdimstart[1] = 2, c.srcdimend[1] = 0;
    ASSERT_EQ(call(m, "frommatrix", m, &c), HOX_ERR_NONE);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 3), (std::vector<uint8_t>{3, 2, 1}));
}

// ---------------------------------------------------------------- threads

TEST_F(MatrixTest, DetachOnAFrameThreadWhileTheHostThreadUsesTheMatrix) {
    // The frame thread repeatedly lets go of the frame and points the matrix
    // at it again; the host thread meanwhile clears it and copies from it.
    // Every call sees a whole description: either the frame (and then it
    // fits) or no data at all, never a pointer with the other state's size.
    std::vector<uint8_t> frame(4 * 8 * 8, 0);
    void* out = make();
    t_vor_matrix_info ref = char_info(8, 8);
    ref.flags = VOR_MATRIX_DATA_REFERENCE;
    ASSERT_EQ(call(out, "setinfo_ex", &ref), HOX_ERR_NONE);
    ASSERT_EQ(call(out, "data", static_cast<void*>(frame.data())), HOX_ERR_NONE);
    const t_vor_matrix_info ci = char_info(8, 8);
    void* copy = make(&ci);

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
    int cleared = 0, refused = 0;
    for (int i = 0; i < 2000; ++i) {
        const t_hox_err a = call(out, "clear_custom", 0x11223344L);
        const t_hox_err b = call(copy, "frommatrix", out, static_cast<t_vor_matrix_conv_info*>(nullptr));
        for (t_hox_err e : {a, b}) {
            ASSERT_TRUE(e == HOX_ERR_NONE || e == HOX_EROR);
            (e == HOX_ERR_NONE ? cleared : refused)++;
        }
    }
    frame_thread.join();
    EXPECT_EQ(cleared + refused, 4000);
    for (size_t i = 0; i < frame.size(); i += 4)
        ASSERT_TRUE(frame[i] == 0 || (frame[i] == 0x11 && frame[i + 3] == 0x44)) << "cell " << i / 4;
}

}  // namespace
