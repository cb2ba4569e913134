#include "matrix_view.h"

#include <gtest/gtest.h>

#include <vector>

namespace vorhost {
namespace {

// A 2-d matrix of `w` x `h` cells with rows `row_bytes` apart.
t_vor_matrix_info info(const char* type, int planes, int elem, int w, int h, int row_bytes) {
    t_vor_matrix_info i{};
    i.type = gensym(type);
    i.planecount = planes;
    i.dimcount = 2;
    i.dim[0] = w, i.dim[1] = h;
    i.dimstride[0] = planes * elem;
    i.dimstride[1] = row_bytes;
    i.size = int64_t(row_bytes) * h;
    return i;
}

// The cell as text ("L5" for a long, "F0.5" for a float), or "refused: WHY".
std::string cell(const t_vor_matrix_info& i, const void* data, long x, long y) {
    std::vector<t_atom> planes;
    std::string why, text;
    if (!read_cell(i, data, x, y, planes, why)) return planes.empty() ? "refused: " + why : "refused with planes";
    for (const t_atom& a : planes)
        text += (text.empty() ? "" : " ") +
                (a.a_type == A_LONG ? "L" + std::to_string(a.a_w.w_long) : "F" + std::to_string(a.a_w.w_float));
    return text;
}

TEST(MatrixView, CellsFollowTheStridesAndTheirOwnType) {
    std::vector<unsigned char> chars(32, 0xEE);  // 3 x 2 cells, 4 planes, rows padded to 16 bytes
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int p = 0; p < 4; ++p) chars[y * 16 + x * 4 + p] = static_cast<unsigned char>(100 * y + 10 * x + p);
    chars[0] = 255;  // char values are unsigned
    const auto ci = info("char", 4, 1, 3, 2, 16);
    EXPECT_EQ(cell(ci, chars.data(), 2, 1), "L120 L121 L122 L123");
    EXPECT_EQ(cell(ci, chars.data(), 0, 0), "L255 L1 L2 L3");
    const int32_t longs[2] = {-5, 70000};
    EXPECT_EQ(cell(info("long", 2, 4, 1, 1, 8), longs, 0, 0), "L-5 L70000");
    const float floats[2] = {0.25f, 0.5f};
    EXPECT_EQ(cell(info("float32", 1, 4, 2, 1, 8), floats, 1, 0), "F0.500000");
    const double d = -1.75;
    EXPECT_EQ(cell(info("float64", 1, 8, 1, 1, 8), &d, 0, 0), "F-1.750000");
}

TEST(MatrixView, OutsideCellsAndUnreadableMatricesAreRefused) {
    std::vector<unsigned char> data(1280 * 240);
    const auto i = info("char", 4, 1, 320, 240, 1280);
    for (auto [x, y] : {std::pair{320L, 0L}, {0L, 240L}, {-1L, 0L}})
        EXPECT_EQ(cell(i, data.data(), x, y).rfind("refused: cell", 0), 0u) << x << " " << y;
    EXPECT_EQ(cell(i, data.data(), 0, -1), "refused: cell 0 -1 is outside the matrix (320 x 240)");
    EXPECT_EQ(cell(i, data.data(), 319, 239), "L0 L0 L0 L0");
    EXPECT_EQ(cell(i, nullptr, 0, 0), "refused: the matrix has no data");
    EXPECT_EQ(cell(info("int16", 4, 1, 2, 2, 8), data.data(), 0, 0).rfind("refused: ", 0), 0u);
    auto one_dim = info("char", 4, 1, 2, 2, 8);
    one_dim.dimcount = 1;
    EXPECT_EQ(cell(one_dim, data.data(), 0, 0).rfind("refused: ", 0), 0u);
    auto short_size = info("char", 4, 1, 2, 2, 8);  // strides that point past the data's end
    short_size.size = 12;
    EXPECT_EQ(cell(short_size, data.data(), 1, 1).rfind("refused: ", 0), 0u);
    EXPECT_EQ(cell(short_size, data.data(), 0, 1), "L0 L0 L0 L0");
}

}  // namespace
}  // namespace vorhost
