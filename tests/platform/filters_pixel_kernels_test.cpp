// The converters' row kernels on their own: every width from 1 to 9 plus a
// wide one, in buffers of exactly the row's size with sentinels after them,
// against the per-pixel formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "pixel_kernels.h"

namespace {

using namespace vorsim::pixels;

constexpr uint8_t kSentinel = 0xa5;
constexpr int kWidths[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 641};

std::vector<uint8_t> random_bytes(size_t n, unsigned seed) {
    std::mt19937 r(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(r() & 0xff);
    return v;
}

// A destination of exactly n bytes followed by 16 sentinel bytes.
struct Guarded {
    explicit Guarded(size_t n) : size(n), bytes(n + 16, kSentinel) {}
    uint8_t* data() { return bytes.data(); }
    bool intact() const {
        for (size_t i = size; i < bytes.size(); ++i)
            if (bytes[i] != kSentinel) return false;
        return true;
    }
    size_t size;
    std::vector<uint8_t> bytes;
};

struct GuardedBgra {
    explicit GuardedBgra(int w) : width(w), px(size_t(w) + 4, Bgra{kSentinel, kSentinel, kSentinel, kSentinel}) {}
    bool intact() const {
        for (size_t i = size_t(width); i < px.size(); ++i)
            if (px[i].b != kSentinel || px[i].g != kSentinel || px[i].r != kSentinel || px[i].a != kSentinel)
                return false;
        return true;
    }
    int width;
    std::vector<Bgra> px;
};

bool same(const Bgra& a, const Bgra& b) { return a.b == b.b && a.g == b.g && a.r == b.r && a.a == b.a; }

TEST(PixelKernels, YuvFormulaKnownValues) {
    const struct {
        int y, u, v;
        Bgra expected;
    } cases[] = {
        {16, 128, 128, {0, 0, 0, 255}},      {235, 128, 128, {255, 255, 255, 255}},
        {81, 90, 240, {0, 0, 255, 255}},     {145, 54, 34, {1, 255, 0, 255}},
        {41, 240, 110, {255, 0, 0, 255}},    {126, 128, 128, {128, 128, 128, 255}},  // (298*110+128)>>8 = 128
        {0, 0, 0, {0, 135, 0, 255}},         {255, 255, 255, {255, 125, 255, 255}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.y << " " << c.u << " " << c.v);
        const Bgra got = yuv_to_bgra(c.y, c.u, c.v);
        EXPECT_EQ(got.b, c.expected.b);
        EXPECT_EQ(got.g, c.expected.g);
        EXPECT_EQ(got.r, c.expected.r);
        EXPECT_EQ(got.a, 255);
    }
}

TEST(PixelKernels, PackedAndPlanarRowsMatchTheFormulaAndStayInTheirRow) {
    for (int w : kWidths) {
        SCOPED_TRACE(w);
        const int pairs = (w + 1) / 2;
        const auto uyvy = random_bytes(size_t(pairs) * 4, unsigned(w));
        GuardedBgra a(w), b(w), c(w);
        uyvy_row_to_bgra(uyvy.data(), a.px.data(), w);
        // The same bytes read as YUY2 (Y0 U Y1 V).
        yuy2_row_to_bgra(uyvy.data(), b.px.data(), w);
        const auto y = random_bytes(size_t(w), 1000u + unsigned(w));
        const auto cb = random_bytes(size_t(pairs), 2000u + unsigned(w));
        const auto cr = random_bytes(size_t(pairs), 3000u + unsigned(w));
        planar_row_to_bgra(y.data(), cb.data(), cr.data(), c.px.data(), w);
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &uyvy[size_t(x / 2) * 4];
            EXPECT_TRUE(same(a.px[x], yuv_to_bgra(p[x % 2 ? 3 : 1], p[0], p[2]))) << "UYVY x " << x;
            EXPECT_TRUE(same(b.px[x], yuv_to_bgra(p[x % 2 ? 2 : 0], p[1], p[3]))) << "YUY2 x " << x;
            EXPECT_TRUE(same(c.px[x], yuv_to_bgra(y[x], cb[x / 2], cr[x / 2]))) << "planar x " << x;
        }
        EXPECT_TRUE(a.intact() && b.intact() && c.intact());
    }
}

TEST(PixelKernels, RgbRowsRoundTripAndStayInTheirRow) {
    const RgbLayout layouts[] = {RgbLayout::rgb24, RgbLayout::rgb32, RgbLayout::argb32, RgbLayout::rgb555,
                                 RgbLayout::rgb565};
    for (RgbLayout layout : layouts) {
        for (int w : kWidths) {
            SCOPED_TRACE(testing::Message() << "layout " << int(layout) << " width " << w);
            const size_t row = size_t(w) * size_t(rgb_bits(layout)) / 8;
            auto src = random_bytes(row, unsigned(w) * 7u + unsigned(layout));
            if (layout == RgbLayout::rgb555)  // the top bit is not part of the pixel
                for (size_t i = 1; i < row; i += 2) src[i] &= 0x7f;
            GuardedBgra px(w);
            rgb_row_to_bgra(layout, src.data(), px.px.data(), w);
            EXPECT_TRUE(px.intact());
            Guarded back(row);
            bgra_row_to_rgb(layout, px.px.data(), back.data(), w);
            EXPECT_TRUE(back.intact());
            std::vector<uint8_t> expected = src;
            if (layout == RgbLayout::rgb32)  // the unused byte comes back as 255
                for (size_t i = 3; i < row; i += 4) expected[i] = 255;
            EXPECT_EQ(std::vector<uint8_t>(back.bytes.begin(), back.bytes.begin() + long(row)), expected);
        }
    }
    // Widening repeats the top bits: 5-bit 1 -> 8, 31 -> 255; 6-bit 1 -> 4.
    const uint8_t rgb565[2] = {0x21, 0xf8};  // R 31, G 1, B 1
    Bgra p{};
    rgb_row_to_bgra(RgbLayout::rgb565, rgb565, &p, 1);
    EXPECT_EQ(p.r, 255);
    EXPECT_EQ(p.g, 4);
    EXPECT_EQ(p.b, 8);
}

TEST(PixelKernels, ResamplingPicksTheNearestSourcePixel) {
    for (int src_w : {2, 6, 720}) {
        for (int dst_w : {2, 4, 88, 360, 720}) {
            SCOPED_TRACE(testing::Message() << src_w << " -> " << dst_w);
            const auto src = random_bytes(size_t(src_w) * 2, unsigned(src_w * 31 + dst_w));
            auto Y = [&](int x) { return src[size_t(x / 2) * 4 + (x % 2 ? 3 : 1)]; };
            GuardedBgra rgb(dst_w);
            Guarded uyvy(size_t(dst_w) * 2), yuy2(size_t(dst_w) * 2);
            uyvy_row_resample_to_bgra(src.data(), src_w, rgb.px.data(), dst_w);
            uyvy_row_resample_to_uyvy(src.data(), src_w, uyvy.data(), dst_w);
            uyvy_row_resample_to_yuy2(src.data(), src_w, yuy2.data(), dst_w);
            EXPECT_TRUE(rgb.intact() && uyvy.intact() && yuy2.intact());
            for (int x = 0; x < dst_w; ++x) {
                const int s = x * src_w / dst_w;
                const uint8_t* pair = &src[size_t(s / 2) * 4];
                EXPECT_TRUE(same(rgb.px[x], yuv_to_bgra(Y(s), pair[0], pair[2]))) << x;
            }
            for (int q = 0; q < dst_w / 2; ++q) {
                const int s0 = 2 * q * src_w / dst_w, s1 = (2 * q + 1) * src_w / dst_w;
                const uint8_t* pair = &src[size_t(s0 / 2) * 4];
                const uint8_t* u = &uyvy.bytes[size_t(q) * 4];
                const uint8_t* y = &yuy2.bytes[size_t(q) * 4];
                EXPECT_EQ(u[0], pair[0]);
                EXPECT_EQ(u[1], Y(s0));
                EXPECT_EQ(u[2], pair[2]);
                EXPECT_EQ(u[3], Y(s1));
                EXPECT_EQ(y[0], Y(s0));
                EXPECT_EQ(y[1], pair[0]);
                EXPECT_EQ(y[2], Y(s1));
                EXPECT_EQ(y[3], pair[2]);
            }
            if (src_w == dst_w) {
                EXPECT_TRUE(std::equal(src.begin(), src.end(), uyvy.bytes.begin())) << "identity";
            }
        }
    }
}

}  // namespace
