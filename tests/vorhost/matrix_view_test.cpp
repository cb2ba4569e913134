#include "matrix_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vorhost {
namespace {

class MatrixViewTest : public ::testing::Test {
protected:
    t_symbol char_sym{"char"}, long_sym{"long"}, float32_sym{"float32"}, float64_sym{"float64"}, bogus{"int16"};

    // A 2-d matrix with rows padded to `row_bytes`.
    t_vor_matrix_info info(t_symbol* type, int planes, int elem, int w, int h, int row_bytes) {
        t_vor_matrix_info i{};
        i.type = type;
        i.planecount = planes;
        i.dimcount = 2;
        i.dim[0] = w;
        i.dim[1] = h;
        i.dimstride[0] = planes * elem;
        i.dimstride[1] = row_bytes;
        i.size = int64_t(row_bytes) * h;
        return i;
    }

    static std::vector<long long> longs(const std::vector<t_atom>& atoms) {
        std::vector<long long> v;
        for (const t_atom& a : atoms) {
            EXPECT_EQ(a.a_type, A_LONG);
            v.push_back(a.a_w.w_long);
        }
        return v;
    }
};

TEST_F(MatrixViewTest, CharCellFollowsTheStridesNotTheWidth) {
    // 3 x 2 cells, 4 planes, rows padded to 16 bytes.
    auto i = info(&char_sym, 4, 1, 3, 2, 16);
    std::vector<unsigned char> data(32, 0xEE);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int p = 0; p < 4; ++p)
                data[y * 16 + x * 4 + p] = static_cast<unsigned char>(100 * y + 10 * x + p);
    std::vector<t_atom> planes;
    std::string why;
    ASSERT_TRUE(read_cell(i, data.data(), 2, 1, planes, why)) << why;
    EXPECT_EQ(longs(planes), (std::vector<long long>{120, 121, 122, 123}));
    ASSERT_TRUE(read_cell(i, data.data(), 0, 0, planes, why));
    EXPECT_EQ(longs(planes), (std::vector<long long>{0, 1, 2, 3}));
}

TEST_F(MatrixViewTest, CharValuesAreUnsigned) {
    auto i = info(&char_sym, 1, 1, 1, 1, 1);
    unsigned char v = 255;
    std::vector<t_atom> planes;
    std::string why;
    ASSERT_TRUE(read_cell(i, &v, 0, 0, planes, why));
    EXPECT_EQ(longs(planes), (std::vector<long long>{255}));
}

TEST_F(MatrixViewTest, CellsOutsideAreRefused) {
    auto i = info(&char_sym, 4, 1, 320, 240, 1280);
    std::vector<unsigned char> data(1280 * 240);
    std::vector<t_atom> planes;
    std::string why;
    for (auto [x, y] : {std::pair{320L, 0L}, {0L, 240L}, {-1L, 0L}, {0L, -1L}}) {
        EXPECT_FALSE(read_cell(i, data.data(), x, y, planes, why)) << x << " " << y;
        EXPECT_TRUE(planes.empty());
    }
    EXPECT_EQ(why, "cell 0 -1 is outside the matrix (320 x 240)");
    EXPECT_TRUE(read_cell(i, data.data(), 319, 239, planes, why));
}

TEST_F(MatrixViewTest, WiderTypesAreReadAsTheirOwnType) {
    auto li = info(&long_sym, 2, 4, 1, 1, 8);
    int32_t l[2] = {-5, 70000};
    std::vector<t_atom> planes;
    std::string why;
    ASSERT_TRUE(read_cell(li, l, 0, 0, planes, why));
    EXPECT_EQ(longs(planes), (std::vector<long long>{-5, 70000}));

    auto fi = info(&float32_sym, 1, 4, 2, 1, 8);
    float f[2] = {0.25f, 0.5f};
    ASSERT_TRUE(read_cell(fi, f, 1, 0, planes, why));
    ASSERT_EQ(planes.size(), 1u);
    EXPECT_EQ(planes[0].a_type, A_FLOAT);
    EXPECT_EQ(planes[0].a_w.w_float, 0.5);

    auto di = info(&float64_sym, 1, 8, 1, 1, 8);
    double d = -1.75;
    ASSERT_TRUE(read_cell(di, &d, 0, 0, planes, why));
    EXPECT_EQ(planes[0].a_w.w_float, -1.75);
}

TEST_F(MatrixViewTest, UnreadableMatricesAreRefused) {
    std::vector<unsigned char> data(64);
    std::vector<t_atom> planes;
    std::string why;

    auto no_data = info(&char_sym, 4, 1, 2, 2, 8);
    EXPECT_FALSE(read_cell(no_data, nullptr, 0, 0, planes, why));
    EXPECT_EQ(why, "the matrix has no data");

    auto odd_type = info(&bogus, 4, 1, 2, 2, 8);
    EXPECT_FALSE(read_cell(odd_type, data.data(), 0, 0, planes, why));

    auto one_dim = info(&char_sym, 4, 1, 2, 2, 8);
    one_dim.dimcount = 1;
    EXPECT_FALSE(read_cell(one_dim, data.data(), 0, 0, planes, why));

    // Strides that point past the data's end.
    auto short_size = info(&char_sym, 4, 1, 2, 2, 8);
    short_size.size = 12;
    EXPECT_FALSE(read_cell(short_size, data.data(), 1, 1, planes, why));
    EXPECT_TRUE(read_cell(short_size, data.data(), 0, 1, planes, why));
}

}  // namespace
}  // namespace vorhost
