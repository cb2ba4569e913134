// Planar 4:2:0 to packed UYVY: known answers, the unclamped interpolation,
// and reads that stay inside the planes for every frame size.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "output/planar_convert.h"

namespace {

struct Frame {
    int w, h;
    std::vector<uint8_t> y, u, v;
    Frame(int width, int height) : w(width), h(height), y(w * h), u((w / 2) * (h / 2)), v((w / 2) * (h / 2)) {}
};

std::vector<uint8_t> convert(const Frame& f) {
    const int stride = (f.w / 2) * 4;
    std::vector<uint8_t> out(static_cast<size_t>(stride) * planar_rows_written(f.h), 0xEE);
    planar_to_packed(out.data(), f.y.data(), f.u.data(), f.v.data(), f.w, f.w / 2, f.w, f.h, 4, stride);
    return out;
}

// The rule written out for one chroma byte of output row r, column pair q,
// for frames whose rows all exist (even width, even height >= 6).
int reference_chroma(const std::vector<uint8_t>& plane, int stride, int q, int r, int n) {
    auto k = [&](int j) { return static_cast<int>(plane[std::clamp(j, 0, n - 1) * stride + q]); };
    if (r % 2 == 0) return k(r / 2);
    const int j = (r - 1) / 2;
    return ((9 * (k(j) + k(j + 1)) - k(j - 1) - k(j + 2) - 8) >> 4) & 0xFF;
}

TEST(PlanarConvert, RowsWritten) {
    EXPECT_EQ(planar_rows_written(2), 6);
    EXPECT_EQ(planar_rows_written(6), 6);
    EXPECT_EQ(planar_rows_written(7), 8);
    EXPECT_EQ(planar_rows_written(8), 8);
    EXPECT_EQ(planar_rows_written(481), 482);
}

TEST(PlanarConvert, FourBySixKnownAnswer) {
    Frame f(4, 6);
    for (int i = 0; i < 24; ++i) f.y[i] = static_cast<uint8_t>(i);
    std::fill(f.u.begin(), f.u.end(), 128);
    std::fill(f.v.begin(), f.v.end(), 128);
    const auto out = convert(f);
    const std::vector<uint8_t> row0{128, 0, 128, 1, 128, 2, 128, 3};
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 8), row0);
    for (int r = 1; r < 6; r += 2)
        for (int q = 0; q < 2; ++q) {
            EXPECT_EQ(out[r * 8 + q * 4 + 0], 127) << r;  // (16 * 128 - 8) >> 4
            EXPECT_EQ(out[r * 8 + q * 4 + 2], 127) << r;
            EXPECT_EQ(out[r * 8 + q * 4 + 1], r * 4 + q * 2);
        }
}

TEST(PlanarConvert, InterpolationKeepsTheLowEightBits) {
    // Chroma rows 0, 255, 255, 0 (and the same for V, inverted): row 3 sits
    // between the two 255 rows.
    Frame f(2, 8);
    f.u = {0, 255, 255, 0};
    f.v = {255, 0, 0, 255};
    const auto out = convert(f);
    EXPECT_EQ(out[3 * 4 + 0], 286 & 0xFF);   // (9 * 510 - 8) >> 4 = 286 -> 30
    EXPECT_EQ(out[3 * 4 + 2], (-33) & 0xFF);  // (-510 - 8) >> 4 = -33 -> 223
}

TEST(PlanarConvert, MatchesTheRuleOnRandomFrames) {
    std::mt19937 rng(7);
    for (auto [w, h] : {std::pair{2, 6}, {6, 8}, {640, 480}, {18, 12}}) {
        Frame f(w, h);
        for (auto* p : {&f.y, &f.u, &f.v})
            for (auto& b : *p) b = static_cast<uint8_t>(rng());
        const auto out = convert(f);
        const int stride = (w / 2) * 4, n = h / 2;
        for (int r = 0; r < h; ++r)
            for (int q = 0; q < w / 2; ++q) {
                const uint8_t* cell = &out[r * stride + q * 4];
                ASSERT_EQ(cell[0], reference_chroma(f.u, w / 2, q, r, n)) << w << "x" << h << " r" << r;
                ASSERT_EQ(cell[1], f.y[r * w + 2 * q]);
                ASSERT_EQ(cell[2], reference_chroma(f.v, w / 2, q, r, n));
                ASSERT_EQ(cell[3], f.y[r * w + 2 * q + 1]);
            }
    }
}

TEST(PlanarConvert, SmallAndOddFramesStayInsideTheirPlanes) {
    // Each plane and the destination are exactly their size, so a read or
    // write past them is caught by the sanitizers; every written row is
    // checked to be complete.
    for (auto [w, h] : {std::pair{2, 2}, {3, 2}, {5, 3}, {2, 5}, {7, 7}, {4, 4}, {9, 11}}) {
        Frame f(w, h);
        std::fill(f.y.begin(), f.y.end(), 50);
        std::fill(f.u.begin(), f.u.end(), 60);
        std::fill(f.v.begin(), f.v.end(), 70);
        const auto out = convert(f);
        const int stride = (w / 2) * 4;
        for (int r = 0; r < planar_rows_written(h); ++r)
            for (int q = 0; q < w / 2; ++q) {
                const uint8_t* cell = &out[r * stride + q * 4];
                // Flat chroma interpolates to (16 * c - 8) >> 4 = c - 1.
                EXPECT_EQ(cell[0], r % 2 ? 59 : 60) << w << "x" << h;
                EXPECT_EQ(cell[1], 50);
                EXPECT_EQ(cell[2], r % 2 ? 69 : 70);
            }
    }
    // Too small for a chroma sample: nothing is written.
    Frame tiny(1, 1);
    tiny.u.assign(1, 0);
    tiny.v.assign(1, 0);
    std::vector<uint8_t> out(24, 0xEE);
    planar_to_packed(out.data(), tiny.y.data(), tiny.u.data(), tiny.v.data(), 1, 0, 1, 1, 4, 0);
    EXPECT_EQ(out, std::vector<uint8_t>(24, 0xEE));
}

}  // namespace
