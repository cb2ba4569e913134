// The uyvy/ayuv converters: the row kernels on known cells, and the classes
// on matrices and on list objects.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "../../../host/matrix/convert.h"
#include "hoxhost.h"

namespace {

// ---------------------------------------------------------------- kernels

TEST(ConvertKernels, UyvyCellBecomesTwoPixelsSharingChroma) {
    const uint8_t in[8] = {90, 16, 240, 235, 10, 20, 30, 40};
    uint8_t out[16] = {};
    vor_uyvy_to_ayuv_row(in, 4, 2, out, 4);
    const uint8_t want[16] = {255, 16, 90, 240, 255, 235, 90, 240, 255, 20, 10, 30, 255, 40, 10, 30};
    EXPECT_EQ(std::vector<uint8_t>(out, out + 16), std::vector<uint8_t>(want, want + 16));
}

TEST(ConvertKernels, PixelPairBecomesOneCellWithRoundedChroma) {
    // Pixels (A, Y, U, V): U 10 and 13 average to 11.5 -> 12; V 200 and 201 -> 200.5 -> 201.
    const uint8_t in[8] = {255, 50, 10, 200, 255, 60, 13, 201};
    uint8_t out[4] = {};
    vor_ayuv_to_uyvy_row(in, 4, 2, out, 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{12, 50, 201, 60}));
}

TEST(ConvertKernels, OddWidthsDropTheLastPixelExceptAtWidthOne) {
    EXPECT_EQ(vor_ayuv_to_uyvy_width(1), 1);
    EXPECT_EQ(vor_ayuv_to_uyvy_width(2), 1);
    EXPECT_EQ(vor_ayuv_to_uyvy_width(5), 2);
    EXPECT_EQ(vor_ayuv_to_uyvy_width(6), 3);
    const uint8_t one[4] = {255, 77, 30, 40};
    uint8_t out[8] = {0, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE};
    vor_ayuv_to_uyvy_row(one, 4, 1, out, 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{30, 77, 40, 77, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(ConvertKernels, RoundTripKeepsUyvyWhenPairsShareChroma) {
    std::mt19937 rng(9);
    std::vector<uint8_t> uyvy(4 * 33), ayuv(8 * 33), back(4 * 33);
    for (auto& b : uyvy) b = static_cast<uint8_t>(rng());
    vor_uyvy_to_ayuv_row(uyvy.data(), 4, 33, ayuv.data(), 4);
    vor_ayuv_to_uyvy_row(ayuv.data(), 4, 66, back.data(), 4);
    EXPECT_EQ(back, uyvy);
}

// ---------------------------------------------------------------- classes

t_hox_err call(void* x, const char* m, void* a = nullptr, void* b = nullptr) {
    return static_cast<t_hox_err>(reinterpret_cast<intptr_t>(vor_object_method(x, gensym(m), a, b)));
}

void* new_matrix(int32_t w, int32_t h, int32_t planes = 4) {
    t_vor_matrix_info info{};
    vor_matrix_info_default(&info);
    info.dim[0] = w;
    info.dim[1] = h;
    info.planecount = planes;
    return vor_object_new(gensym("vor_matrix"), &info);
}

uint8_t* data_of(void* m) {
    void* p = nullptr;
    EXPECT_EQ(call(m, "getdata", &p), HOX_ERR_NONE);
    return static_cast<uint8_t*>(p);
}

t_vor_matrix_info info_of(void* m) {
    t_vor_matrix_info info{};
    EXPECT_EQ(call(m, "getinfo", &info), HOX_ERR_NONE);
    return info;
}

// A list object as a box's MOP hands out: answers getindex.
struct t_test_list {
    t_object ob;
    void* item;
};
void* list_getindex(t_test_list* x, long index) { return index == 0 ? x->item : nullptr; }
t_class* list_class() {
    static t_class* c = [] {
        t_class* k = vor_class_new("matrix_test_list", nullptr, nullptr, sizeof(t_test_list), A_CANT, 0);
        vor_class_addmethod(k, HOXFN(list_getindex), "getindex", A_CANT, 0);
        vor_class_register(k);
        return k;
    }();
    return c;
}
void* new_list(void* item) {
    auto* l = static_cast<t_test_list*>(vor_object_alloc(list_class()));
    l->item = item;
    return l;
}

TEST(Converters, RoundTripThroughBothClassesResizesOutputs) {
    void* to444 = vor_object_new(gensym("vor_uyvy2ayuv"), nullptr);
    void* to422 = vor_object_new(gensym("vor_ayuv2uyvy"), nullptr);
    ASSERT_NE(to444, nullptr);
    ASSERT_NE(to422, nullptr);
    void* uyvy = new_matrix(3, 2);
    void* ayuv = new_matrix(1, 1);
    void* back = new_matrix(1, 1);
    uint8_t* p = data_of(uyvy);
    for (int i = 0; i < 24; ++i) p[i] = static_cast<uint8_t>(11 * i + 3);

    ASSERT_EQ(call(to444, "matrix_calc", uyvy, ayuv), HOX_ERR_NONE);
    const t_vor_matrix_info ai = info_of(ayuv);
    EXPECT_EQ(ai.dim[0], 6);
    EXPECT_EQ(ai.dim[1], 2);
    EXPECT_EQ(ai.planecount, 4);
    const uint8_t* a = data_of(ayuv);
    // Row 1, input cell 2 (bytes 20..23: U 223, Y0 234, V 245, Y1 0) -> output cells 4 and 5 of row 1.
    const uint8_t* r1 = a + ai.dimstride[1];
    EXPECT_EQ(std::vector<uint8_t>(r1 + 16, r1 + 24), (std::vector<uint8_t>{255, 234, 223, 245, 255, 0, 223, 245}));

    ASSERT_EQ(call(to422, "matrix_calc", ayuv, back), HOX_ERR_NONE);
    const t_vor_matrix_info bi = info_of(back);
    EXPECT_EQ(bi.dim[0], 3);
    EXPECT_EQ(bi.dim[1], 2);
    EXPECT_EQ(std::vector<uint8_t>(data_of(back), data_of(back) + 24), std::vector<uint8_t>(p, p + 24));

    for (void* o : {to444, to422, uyvy, ayuv, back}) vor_object_free(o);
}

TEST(Converters, AcceptListsAndTakeTheirFirstElement) {
    void* to444 = vor_object_new(gensym("vor_uyvy2ayuv"), nullptr);
    void* in = new_matrix(1, 1);
    void* out = new_matrix(2, 1);
    uint8_t* p = data_of(in);
    p[0] = 1, p[1] = 2, p[2] = 3, p[3] = 4;
    void* lin = new_list(in);
    void* lout = new_list(out);
    ASSERT_EQ(call(to444, "matrix_calc", lin, lout), HOX_ERR_NONE);
    const uint8_t* o = data_of(out);
    EXPECT_EQ(std::vector<uint8_t>(o, o + 8), (std::vector<uint8_t>{255, 2, 1, 3, 255, 4, 1, 3}));
    for (void* x : {lin, lout, to444, in, out}) vor_object_free(x);
}

TEST(Converters, RefuseWhatTheyCannotConvert) {
    void* to444 = vor_object_new(gensym("vor_uyvy2ayuv"), nullptr);
    void* two_planes = new_matrix(2, 2, 2);
    void* out = new_matrix(1, 1);
    EXPECT_EQ(call(to444, "matrix_calc", two_planes, out), HOX_EROR);
    EXPECT_EQ(call(to444, "matrix_calc", out, out), HOX_EROR);
    EXPECT_EQ(call(to444, "matrix_calc", nullptr, out), HOX_EROR);
    EXPECT_EQ(info_of(out).dim[0], 1);  // a refused call leaves the output as it was
    void* empty_list = new_list(nullptr);
    EXPECT_EQ(call(to444, "matrix_calc", two_planes, empty_list), HOX_EROR);
    for (void* x : {empty_list, to444, two_planes, out}) vor_object_free(x);
}

}  // namespace
