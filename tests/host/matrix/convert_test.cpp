// The uyvy/ayuv converters: the row kernels on known cells, and the classes
// on matrices and on list objects.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "../../../host/matrix/convert.h"
#include "matrix_test_util.h"

namespace {

TEST(ConvertKernels, KnownCellsOddWidthsAndRoundTrip) {
    // One uyvy cell is two ayuv pixels sharing its chroma.
    const uint8_t uyvy[8] = {90, 16, 240, 235, 10, 20, 30, 40};
    uint8_t ayuv[16] = {};
    vor_uyvy_to_ayuv_row(uyvy, 4, 2, ayuv, 4);
    EXPECT_EQ(std::vector<uint8_t>(ayuv, ayuv + 16),
              (std::vector<uint8_t>{255, 16, 90, 240, 255, 235, 90, 240, 255, 20, 10, 30, 255, 40, 10, 30}));
    // A pixel pair is one cell with rounded chroma: U 10, 13 -> 12; V 200, 201 -> 201.
    const uint8_t pair[8] = {255, 50, 10, 200, 255, 60, 13, 201};
    uint8_t cell[8] = {0, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE};
    vor_ayuv_to_uyvy_row(pair, 4, 2, cell, 4);
    EXPECT_EQ(std::vector<uint8_t>(cell, cell + 4), (std::vector<uint8_t>{12, 50, 201, 60}));
    // Odd widths drop the last pixel, except a width of one, which fills one cell alone.
    for (auto [pixels, cells] : {std::pair{1, 1}, {2, 1}, {5, 2}, {6, 3}}) EXPECT_EQ(vor_ayuv_to_uyvy_width(pixels), cells);
    vor_ayuv_to_uyvy_row(pair, 4, 1, cell, 4);
    EXPECT_EQ(std::vector<uint8_t>(cell, cell + 8), (std::vector<uint8_t>{10, 50, 200, 50, 0xEE, 0xEE, 0xEE, 0xEE}));

    std::mt19937 rng(9);
    std::vector<uint8_t> in(4 * 33), wide(8 * 33), back(4 * 33);
    for (auto& b : in) b = static_cast<uint8_t>(rng());
    vor_uyvy_to_ayuv_row(in.data(), 4, 33, wide.data(), 4);
    vor_ayuv_to_uyvy_row(wide.data(), 4, 66, back.data(), 4);
    EXPECT_EQ(back, in);
}


// A list object as a box's MOP hands out: answers getindex.
struct t_test_list {
    t_object ob;
    void* item;
};
void* list_getindex(t_test_list* x, long index) { return index == 0 ? x->item : nullptr; }

class Converters : public ::testing::Test {
protected:
    void TearDown() override {
        for (void* o : made) vor_object_free(o);
    }
    void* keep(void* o) {
        EXPECT_NE(o, nullptr);
        made.push_back(o);
        return o;
    }
    void* matrix(int32_t w, int32_t h, int32_t planes = 4) {
        const t_vor_matrix_info info = shape(w, h, planes);
        return keep(vor_object_new(gensym("vor_matrix"), &info));
    }
    void* list(void* item) {
        static t_class* c = [] {
            t_class* k = vor_class_new("matrix_test_list", nullptr, nullptr, sizeof(t_test_list), A_CANT, 0);
            vor_class_addmethod(k, HOXFN(list_getindex), "getindex", A_CANT, 0);
            vor_class_register(k);
            return k;
        }();
        auto* l = static_cast<t_test_list*>(keep(vor_object_alloc(c)));
        l->item = item;
        return l;
    }
    std::vector<void*> made;
    void* to444 = keep(vor_object_new(gensym("vor_uyvy2ayuv"), nullptr));
    void* to422 = keep(vor_object_new(gensym("vor_ayuv2uyvy"), nullptr));
};

TEST_F(Converters, RoundTripThroughBothClassesResizesOutputs) {
    void *uyvy = matrix(3, 2), *ayuv = matrix(1, 1), *back = matrix(1, 1);
    uint8_t* p = data_of(uyvy);
    for (int i = 0; i < 24; ++i) p[i] = static_cast<uint8_t>(11 * i + 3);
    ASSERT_EQ(call(to444, "matrix_calc", uyvy, ayuv), HOX_ERR_NONE);
    const t_vor_matrix_info ai = info_of(ayuv);
    EXPECT_EQ(ai.dim[0], 6);
    EXPECT_EQ(ai.dim[1], 2);
    // Row 1, input cell 2 (U 223, Y0 234, V 245, Y1 0) -> output cells 4 and 5 of row 1.
    const uint8_t* r1 = data_of(ayuv) + ai.dimstride[1];
    EXPECT_EQ(std::vector<uint8_t>(r1 + 16, r1 + 24), (std::vector<uint8_t>{255, 234, 223, 245, 255, 0, 223, 245}));
    ASSERT_EQ(call(to422, "matrix_calc", ayuv, back), HOX_ERR_NONE);
    EXPECT_EQ(info_of(back).dim[0], 3);
    EXPECT_EQ(info_of(back).dim[1], 2);
    EXPECT_EQ(std::vector<uint8_t>(data_of(back), data_of(back) + 24), std::vector<uint8_t>(p, p + 24));
}

TEST_F(Converters, TakeTheFirstElementOfListsAndRefuseWhatTheyCannotConvert) {
    void *in = matrix(1, 1), *out = matrix(2, 1);
    const uint8_t cell[4] = {1, 2, 3, 4};
    std::copy(cell, cell + 4, data_of(in));
    ASSERT_EQ(call(to444, "matrix_calc", list(in), list(out)), HOX_ERR_NONE);
    EXPECT_EQ(std::vector<uint8_t>(data_of(out), data_of(out) + 8), (std::vector<uint8_t>{255, 2, 1, 3, 255, 4, 1, 3}));

    void *two_planes = matrix(2, 2, 2), *small = matrix(1, 1);
    EXPECT_EQ(call(to444, "matrix_calc", two_planes, small), HOX_EROR);
    EXPECT_EQ(call(to444, "matrix_calc", small, small), HOX_EROR);
    EXPECT_EQ(call(to444, "matrix_calc", static_cast<void*>(nullptr), small), HOX_EROR);
    EXPECT_EQ(call(to444, "matrix_calc", in, list(nullptr)), HOX_EROR);
    EXPECT_EQ(info_of(small).dim[0], 1);  // a refused call leaves the output as it was
}

TEST_F(Converters, RefuseAnInputThatLiesInTheOutputsBlock) {
    // The output's shape does not fit the conversion, so it would get a new
    // block: the input, referring into the old one, would be read after it
    // was freed.
    void* out = matrix(5, 3);
    const uint8_t* block = data_of(out);
    t_vor_matrix_info ref = shape(2, 2, 4, "char", VOR_MATRIX_DATA_REFERENCE);
    ref.size = 16;
    void* in = keep(vor_object_new(gensym("vor_matrix"), nullptr));
    ASSERT_EQ(call(in, "setinfo_ex", &ref), HOX_ERR_NONE);
    ASSERT_EQ(call(in, "data", const_cast<uint8_t*>(block) + 8), HOX_ERR_NONE);
    EXPECT_EQ(call(to444, "matrix_calc", in, out), HOX_EROR);
    EXPECT_EQ(call(to422, "matrix_calc", in, out), HOX_EROR);
    EXPECT_EQ(info_of(out).dim[0], 5);
    EXPECT_EQ(data_of(out), block);  // the output kept its block
}

}  // namespace
