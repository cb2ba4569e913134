// The cell copy behind frommatrix, on raw buffers: known answers on tiny
// matrices, and a differential check of both kernels against a per-cell
// model over many random ranges, in exactly sized buffers between sentinels.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "../../../host/matrix/copy.h"

namespace {

constexpr uint8_t kSentinel = 0xA5;
constexpr int64_t kPad = 64;

// A char matrix in a buffer of exactly its span, with sentinel bytes on
// both sides.
struct Buffer {
    std::vector<uint8_t> bytes;
    vor_mx_view view{};

    Buffer(int32_t w, int32_t h, int32_t planes, int64_t xpad = 0, int64_t ypad = 0) {
        view.width = w;
        view.height = h;
        view.planecount = planes;
        view.xstride = planes + xpad;
        view.ystride = view.xstride * w + ypad;
        view.size = (w - 1) * view.xstride + (h - 1) * view.ystride + planes;
        bytes.assign(static_cast<size_t>(view.size + 2 * kPad), kSentinel);
        view.data = bytes.data() + kPad;
    }
    uint8_t& at(int32_t x, int32_t y, int32_t p) { return view.data[y * view.ystride + x * view.xstride + p]; }
    uint8_t at(int32_t x, int32_t y, int32_t p) const { return view.data[y * view.ystride + x * view.xstride + p]; }
    bool pads_intact() const {
        for (int64_t i = 0; i < kPad; ++i)
            if (bytes[static_cast<size_t>(i)] != kSentinel || bytes[bytes.size() - 1 - static_cast<size_t>(i)] != kSentinel)
                return false;
        return true;
    }
    void fill_random(std::mt19937& rng) {
        for (int64_t i = 0; i < view.size; ++i) view.data[i] = static_cast<uint8_t>(rng());
    }
    void fill_pattern() {
        for (int32_t y = 0; y < view.height; ++y)
            for (int32_t x = 0; x < view.width; ++x)
                for (int32_t p = 0; p < view.planecount; ++p) at(x, y, p) = static_cast<uint8_t>(100 * p + 10 * y + x);
    }
};

t_vor_matrix_conv_info conv(int32_t flags, std::initializer_list<int32_t> map = {0, 1, 2, 3}) {
    t_vor_matrix_conv_info c{};
    c.flags = flags;
    int i = 0;
    for (int32_t m : map) c.planemap[i++] = m;
    return c;
}

// ---------------------------------------------------------------- model

// How one destination coordinate reads the source along one dimension, or
// that it is not written. Worked out per cell, from the definition.
struct AxisRead {
    bool written = false;
    int64_t s0 = 0, s1 = 0;  // source cells
    int64_t weight = 0;      // of s1, 0..255
};

AxisRead model_axis(int64_t pos, bool use_src, int32_t rs, int32_t re, int32_t src_cells, bool use_dst, int32_t ds,
                    int32_t de, int32_t dst_cells, bool interp) {
    AxisRead r;
    int64_t a = 0, b = src_cells - 1;
    if (use_src) {
        a = std::clamp<int64_t>(rs, 0, src_cells - 1);
        b = std::clamp<int64_t>(re, 0, src_cells - 1);
    }
    int64_t c = 0, d = dst_cells - 1;
    if (use_dst) c = ds, d = de;
    const int64_t m = std::abs(b - a) + 1, n = std::abs(d - c) + 1;
    // pos = c + ddir * k with 0 <= k < n
    const int64_t k = c <= d ? pos - c : c - pos;
    if (k < 0 || k >= n) return r;
    r.written = true;
    const int64_t sdir = a <= b ? 1 : -1;
    int64_t i0, i1, w = 0;
    if (!interp) {
        i0 = i1 = k * m / n;
    } else {
        // u = ((2k + 1) m - n) / (2n), clamped to 0..m-1; weight = floor(256 * frac(u)).
        const int64_t num = (2 * k + 1) * m - n, den = 2 * n;
        if (num <= 0) {
            i0 = 0;
        } else {
            i0 = num / den;
            w = 256 * (num % den) / den;
        }
        if (i0 >= m - 1) i0 = m - 1, w = 0;
        i1 = std::min(i0 + 1, m - 1);
    }
    r.s0 = a + sdir * i0;
    r.s1 = a + sdir * i1;
    r.weight = w;
    return r;
}

void model_copy(Buffer& dst, const Buffer& src, const t_vor_matrix_conv_info* cv) {
    const bool us = cv && (cv->flags & VOR_MATRIX_CONVERT_SRCDIM);
    const bool ud = cv && (cv->flags & VOR_MATRIX_CONVERT_DSTDIM);
    const bool in = cv && (cv->flags & VOR_MATRIX_CONVERT_INTERP);
    for (int32_t y = 0; y < dst.view.height; ++y) {
        const AxisRead ry = model_axis(y, us, us ? cv->srcdimstart[1] : 0, us ? cv->srcdimend[1] : 0, src.view.height,
                                       ud, ud ? cv->dstdimstart[1] : 0, ud ? cv->dstdimend[1] : 0, dst.view.height, in);
        if (!ry.written) continue;
        for (int32_t x = 0; x < dst.view.width; ++x) {
            const AxisRead rx = model_axis(x, us, us ? cv->srcdimstart[0] : 0, us ? cv->srcdimend[0] : 0,
                                           src.view.width, ud, ud ? cv->dstdimstart[0] : 0,
                                           ud ? cv->dstdimend[0] : 0, dst.view.width, in);
            if (!rx.written) continue;
            for (int32_t p = 0; p < dst.view.planecount && p < VOR_MATRIX_MAXPLANECOUNT; ++p) {
                const int32_t sp = cv ? cv->planemap[p] : p;
                if (sp < 0 || sp >= src.view.planecount) continue;
                const auto X0 = static_cast<int32_t>(rx.s0), X1 = static_cast<int32_t>(rx.s1);
                const auto Y0 = static_cast<int32_t>(ry.s0), Y1 = static_cast<int32_t>(ry.s1);
                const int64_t wx = rx.weight, wy = ry.weight;
                const int64_t top = src.at(X0, Y0, sp) * (256 - wx) + src.at(X1, Y0, sp) * wx;
                const int64_t bottom = src.at(X0, Y1, sp) * (256 - wx) + src.at(X1, Y1, sp) * wx;
                dst.at(x, y, p) = static_cast<uint8_t>((top * (256 - wy) + bottom * wy + 32768) >> 16);
            }
        }
    }
}

std::string describe(const Buffer& d, const Buffer& s, const t_vor_matrix_conv_info& c) {
    std::string t = "dst " + std::to_string(d.view.width) + "x" + std::to_string(d.view.height) + "x" +
                    std::to_string(d.view.planecount) + " src " + std::to_string(s.view.width) + "x" +
                    std::to_string(s.view.height) + "x" + std::to_string(s.view.planecount) + " flags " +
                    std::to_string(c.flags) + " map";
    for (int i = 0; i < d.view.planecount; ++i) t += " " + std::to_string(c.planemap[i]);
    t += " src x " + std::to_string(c.srcdimstart[0]) + ".." + std::to_string(c.srcdimend[0]) + " y " +
         std::to_string(c.srcdimstart[1]) + ".." + std::to_string(c.srcdimend[1]);
    t += " dst x " + std::to_string(c.dstdimstart[0]) + ".." + std::to_string(c.dstdimend[0]) + " y " +
         std::to_string(c.dstdimstart[1]) + ".." + std::to_string(c.dstdimend[1]);
    return t;
}

// ---------------------------------------------------------------- known answers

TEST(MatrixCopy, WithoutDescriptorCopiesEqualSizesExactly) {
    Buffer s(3, 2, 4), d(3, 2, 4);
    s.fill_pattern();
    ASSERT_EQ(vor_mx_copy(d.view, s.view, nullptr), HOX_ERR_NONE);
    EXPECT_EQ(std::vector<uint8_t>(d.view.data, d.view.data + d.view.size),
              std::vector<uint8_t>(s.view.data, s.view.data + s.view.size));
    EXPECT_TRUE(d.pads_intact());
}

TEST(MatrixCopy, WithoutDescriptorLeavesPlanesTheSourceLacks) {
    Buffer s(2, 1, 2), d(2, 1, 4);
    s.fill_pattern();
    for (int x = 0; x < 2; ++x)
        for (int p = 0; p < 4; ++p) d.at(x, 0, p) = 77;
    ASSERT_EQ(vor_mx_copy(d.view, s.view, nullptr), HOX_ERR_NONE);
    EXPECT_EQ(d.at(1, 0, 0), 1);
    EXPECT_EQ(d.at(1, 0, 1), 101);
    EXPECT_EQ(d.at(1, 0, 2), 77);
    EXPECT_EQ(d.at(1, 0, 3), 77);
}

TEST(MatrixCopy, BottomUpBgrxBecomesUprightArgb) {
    // Two rows of B, G, R, X pixels stored bottom row first.
    Buffer s(2, 2, 4), d(2, 2, 4);
    const uint8_t bottom[8] = {1, 2, 3, 0, 4, 5, 6, 0};
    const uint8_t top[8] = {7, 8, 9, 0, 10, 11, 12, 0};
    std::copy(bottom, bottom + 8, s.view.data);
    std::copy(top, top + 8, s.view.data + s.view.ystride);
    t_vor_matrix_conv_info c = conv(VOR_MATRIX_CONVERT_SRCDIM, {3, 2, 1, 0});
    c.srcdimstart[0] = 0, c.srcdimend[0] = 1;
    c.srcdimstart[1] = 1, c.srcdimend[1] = 0;
    ASSERT_EQ(vor_mx_copy(d.view, s.view, &c), HOX_ERR_NONE);
    const uint8_t want[16] = {0, 9, 8, 7, 0, 12, 11, 10, 0, 3, 2, 1, 0, 6, 5, 4};
    EXPECT_EQ(std::vector<uint8_t>(d.view.data, d.view.data + 16), std::vector<uint8_t>(want, want + 16));
}

TEST(MatrixCopy, NearestScalesByRepeatingAndSkippingCells) {
    Buffer s(2, 1, 1), d(4, 1, 1);
    s.at(0, 0, 0) = 10, s.at(1, 0, 0) = 20;
    ASSERT_EQ(vor_mx_copy(d.view, s.view, nullptr), HOX_ERR_NONE);
    EXPECT_EQ((std::vector<uint8_t>{d.at(0, 0, 0), d.at(1, 0, 0), d.at(2, 0, 0), d.at(3, 0, 0)}),
              (std::vector<uint8_t>{10, 10, 20, 20}));

    Buffer big(5, 1, 1), small(2, 1, 1);
    for (int x = 0; x < 5; ++x) big.at(x, 0, 0) = static_cast<uint8_t>(x);
    ASSERT_EQ(vor_mx_copy(small.view, big.view, nullptr), HOX_ERR_NONE);
    EXPECT_EQ(small.at(0, 0, 0), 0);  // floor(0 * 5 / 2)
    EXPECT_EQ(small.at(1, 0, 0), 2);  // floor(1 * 5 / 2)
}

TEST(MatrixCopy, BilinearUpscaleBlendsNeighbours) {
    Buffer s(2, 1, 1), d(4, 1, 1);
    s.at(0, 0, 0) = 0, s.at(1, 0, 0) = 255;
    const t_vor_matrix_conv_info c = conv(VOR_MATRIX_CONVERT_INTERP, {0});
    ASSERT_EQ(vor_mx_copy(d.view, s.view, &c), HOX_ERR_NONE);
    // Source coordinates -0.25 (clamped), 0.25, 0.75, 1.25 (clamped).
    EXPECT_EQ((std::vector<uint8_t>{d.at(0, 0, 0), d.at(1, 0, 0), d.at(2, 0, 0), d.at(3, 0, 0)}),
              (std::vector<uint8_t>{0, 64, 191, 255}));
}

TEST(MatrixCopy, BilinearAtEqualSizesCopiesExactly) {
    std::mt19937 rng(7);
    Buffer s(5, 3, 4), d(5, 3, 4);
    s.fill_random(rng);
    const t_vor_matrix_conv_info c = conv(VOR_MATRIX_CONVERT_INTERP);
    ASSERT_EQ(vor_mx_copy(d.view, s.view, &c), HOX_ERR_NONE);
    EXPECT_EQ(std::vector<uint8_t>(d.view.data, d.view.data + d.view.size),
              std::vector<uint8_t>(s.view.data, s.view.data + s.view.size));
}

TEST(MatrixCopy, PlaneMapEntryOutsideTheSourceLeavesThatPlane) {
    Buffer s(1, 1, 2), d(1, 1, 4);
    s.at(0, 0, 0) = 1, s.at(0, 0, 1) = 2;
    for (int p = 0; p < 4; ++p) d.at(0, 0, p) = 50;
    const t_vor_matrix_conv_info c = conv(0, {1, 2, -1, 0});
    ASSERT_EQ(vor_mx_copy(d.view, s.view, &c), HOX_ERR_NONE);
    EXPECT_EQ(d.at(0, 0, 0), 2);
    EXPECT_EQ(d.at(0, 0, 1), 50);
    EXPECT_EQ(d.at(0, 0, 2), 50);
    EXPECT_EQ(d.at(0, 0, 3), 1);
}

TEST(MatrixCopy, SourceStartOnePastTheEndReadsTheLastRow) {
    // A bottom-up crop of rows "G - top .. G - bottom" with top 0 starts at G.
    Buffer s(2, 4, 1), a(2, 3, 1), b(2, 3, 1);
    s.fill_pattern();
    t_vor_matrix_conv_info c = conv(VOR_MATRIX_CONVERT_SRCDIM, {0});
    c.srcdimstart[0] = 0, c.srcdimend[0] = 1;
    c.srcdimstart[1] = 4, c.srcdimend[1] = 2;
    ASSERT_EQ(vor_mx_copy(a.view, s.view, &c), HOX_ERR_NONE);
    c.srcdimstart[1] = 3;
    ASSERT_EQ(vor_mx_copy(b.view, s.view, &c), HOX_ERR_NONE);
    EXPECT_EQ(std::vector<uint8_t>(a.view.data, a.view.data + a.view.size),
              std::vector<uint8_t>(b.view.data, b.view.data + b.view.size));
    EXPECT_EQ(a.at(0, 0, 0), 30);
    EXPECT_EQ(a.at(1, 2, 0), 21);
    EXPECT_TRUE(s.pads_intact());
}

TEST(MatrixCopy, DestinationRangePartlyOutsideWritesOnlyItsVisibleCells) {
    Buffer s(4, 1, 1), d(4, 1, 1);
    s.fill_pattern();  // 0 1 2 3
    for (int x = 0; x < 4; ++x) d.at(x, 0, 0) = 99;
    t_vor_matrix_conv_info c = conv(VOR_MATRIX_CONVERT_DSTDIM, {0});
    c.dstdimstart[0] = -2, c.dstdimend[0] = 1;  // four cells, two of them left of the matrix
    c.dstdimstart[1] = 0, c.dstdimend[1] = 0;
    ASSERT_EQ(vor_mx_copy(d.view, s.view, &c), HOX_ERR_NONE);
    EXPECT_EQ((std::vector<uint8_t>{d.at(0, 0, 0), d.at(1, 0, 0), d.at(2, 0, 0), d.at(3, 0, 0)}),
              (std::vector<uint8_t>{2, 3, 99, 99}));
}

TEST(MatrixCopy, DestinationRangeWhollyOutsideWritesNothing) {
    Buffer s(3, 3, 4), d(3, 3, 4);
    std::mt19937 rng(3);
    s.fill_random(rng);
    d.fill_random(rng);
    const std::vector<uint8_t> before = d.bytes;
    t_vor_matrix_conv_info c = conv(VOR_MATRIX_CONVERT_DSTDIM);
    c.dstdimstart[0] = 3, c.dstdimend[0] = 10;
    c.dstdimstart[1] = 0, c.dstdimend[1] = 2;
    EXPECT_EQ(vor_mx_copy(d.view, s.view, &c), HOX_ERR_NONE);
    EXPECT_EQ(d.bytes, before);
}

TEST(MatrixCopy, ViewsThatDoNotFitTheirBuffersAreRefused) {
    Buffer s(2, 2, 4), d(2, 2, 4);
    s.fill_pattern();
    const std::vector<uint8_t> before = d.bytes;
    vor_mx_view short_src = s.view;
    short_src.size -= 1;
    EXPECT_EQ(vor_mx_copy(d.view, short_src, nullptr), HOX_EROR);
    vor_mx_view null_dst = d.view;
    null_dst.data = nullptr;
    EXPECT_EQ(vor_mx_copy(null_dst, s.view, nullptr), HOX_EROR);
    vor_mx_view bad_stride = d.view;
    bad_stride.ystride = -8;
    EXPECT_EQ(vor_mx_copy(bad_stride, s.view, nullptr), HOX_EROR);
    EXPECT_EQ(d.bytes, before);
}

TEST(MatrixCopy, FlipWithinOneBufferReadsTheOriginal) {
    Buffer m(3, 3, 4), expect(3, 3, 4);
    m.fill_pattern();
    t_vor_matrix_conv_info c = conv(VOR_MATRIX_CONVERT_SRCDIM);
    c.srcdimstart[0] = 2, c.srcdimend[0] = 0;
    c.srcdimstart[1] = 2, c.srcdimend[1] = 0;
    ASSERT_EQ(vor_mx_copy(expect.view, m.view, &c), HOX_ERR_NONE);
    ASSERT_EQ(vor_mx_copy(m.view, m.view, &c), HOX_ERR_NONE);
    EXPECT_EQ(std::vector<uint8_t>(m.view.data, m.view.data + m.view.size),
              std::vector<uint8_t>(expect.view.data, expect.view.data + expect.view.size));
    EXPECT_EQ(m.at(0, 0, 1), 100 + 22);
}

TEST(MatrixCopy, ExtremeRangesStayInside) {
    Buffer s(3, 2, 4), d(4, 3, 4);
    std::mt19937 rng(11);
    s.fill_random(rng);
    d.fill_random(rng);
    for (int flags : {VOR_MATRIX_CONVERT_SRCDIM | VOR_MATRIX_CONVERT_DSTDIM,
                      VOR_MATRIX_CONVERT_SRCDIM | VOR_MATRIX_CONVERT_DSTDIM | VOR_MATRIX_CONVERT_INTERP}) {
        t_vor_matrix_conv_info c = conv(flags);
        c.srcdimstart[0] = INT32_MIN, c.srcdimend[0] = INT32_MAX;
        c.srcdimstart[1] = INT32_MAX, c.srcdimend[1] = INT32_MIN;
        c.dstdimstart[0] = INT32_MAX, c.dstdimend[0] = INT32_MIN;
        c.dstdimstart[1] = INT32_MIN, c.dstdimend[1] = 1;
        Buffer want = d;
        want.view.data = want.bytes.data() + kPad;
        model_copy(want, s, &c);
        Buffer got = d;
        got.view.data = got.bytes.data() + kPad;
        ASSERT_EQ(vor_mx_copy(got.view, s.view, &c), HOX_ERR_NONE);
        EXPECT_EQ(got.bytes, want.bytes) << describe(got, s, c);
    }
}

// ---------------------------------------------------------------- differential

int32_t random_bound(std::mt19937& rng, int32_t cells) {
    switch (rng() % 10) {
        case 0:
            return -static_cast<int32_t>(rng() % 4) - 1;  // before the start
        case 1:
            return cells + static_cast<int32_t>(rng() % 4);  // past the end (cells itself included)
        default:
            return static_cast<int32_t>(rng() % static_cast<uint32_t>(cells));
    }
}

TEST(MatrixCopy, BothKernelsMatchTheCellModelOverRandomRanges) {
    std::mt19937 rng(20240601);
    int fast_shaped = 0;
    for (int iter = 0; iter < 4000; ++iter) {
        const bool cell4 = iter % 3 == 0;  // the shape the fast kernels take
        const int32_t sp = cell4 ? 4 : 1 + static_cast<int32_t>(rng() % 5);
        const int32_t dp = cell4 ? 4 : 1 + static_cast<int32_t>(rng() % 5);
        const int32_t sw = 1 + static_cast<int32_t>(rng() % 9), sh = 1 + static_cast<int32_t>(rng() % 7);
        const int32_t dw = 1 + static_cast<int32_t>(rng() % 9), dh = 1 + static_cast<int32_t>(rng() % 7);
        const int64_t sxpad = cell4 ? 0 : rng() % 3, dxpad = cell4 ? 0 : rng() % 3;
        Buffer s(sw, sh, sp, sxpad, rng() % 5), d0(dw, dh, dp, dxpad, rng() % 5);
        s.fill_random(rng);
        d0.fill_random(rng);

        t_vor_matrix_conv_info c{};
        const bool none = rng() % 8 == 0;
        c.flags = static_cast<int32_t>(rng() % 16) & ~1;
        for (int32_t i = 0; i < VOR_MATRIX_MAXPLANECOUNT; ++i) {
            if (cell4 && rng() % 4 != 0) {
                static const int32_t orders[3][4] = {{0, 1, 2, 3}, {3, 2, 1, 0}, {1, 0, 3, 2}};
                c.planemap[i] = i < 4 ? orders[iter % 3 == 0 ? (iter / 3) % 3 : 0][i] : 0;
            } else {
                c.planemap[i] = static_cast<int32_t>(rng() % static_cast<uint32_t>(sp + 2)) - 1;
            }
        }
        c.srcdimstart[0] = random_bound(rng, sw), c.srcdimend[0] = random_bound(rng, sw);
        c.srcdimstart[1] = random_bound(rng, sh), c.srcdimend[1] = random_bound(rng, sh);
        c.dstdimstart[0] = random_bound(rng, dw), c.dstdimend[0] = random_bound(rng, dw);
        c.dstdimstart[1] = random_bound(rng, dh), c.dstdimend[1] = random_bound(rng, dh);
        const t_vor_matrix_conv_info* cp = none ? nullptr : &c;
        if (cell4 && !(c.flags & VOR_MATRIX_CONVERT_INTERP)) ++fast_shaped;

        Buffer want = d0;
        want.view.data = want.bytes.data() + kPad;
        model_copy(want, s, cp);
        for (vor_mx_kernel k : {vor_mx_kernel::reference, vor_mx_kernel::automatic}) {
            Buffer got = d0;
            got.view.data = got.bytes.data() + kPad;
            ASSERT_EQ(vor_mx_copy(got.view, s.view, cp, k), HOX_ERR_NONE);
            ASSERT_EQ(got.bytes, want.bytes) << (none ? "no descriptor " : "") << describe(got, s, c) << " kernel "
                                             << static_cast<int>(k);
        }
        ASSERT_TRUE(s.pads_intact());
    }
    EXPECT_GT(fast_shaped, 500);
}

TEST(MatrixCopy, FastKernelsMatchTheReferenceOnFrameSizes) {
    std::mt19937 rng(5);
    for (int32_t w : {2, 4, 6, 7, 640}) {
        for (int flip = 0; flip < 2; ++flip) {
            for (int order = 0; order < 3; ++order) {
                static const int32_t orders[3][4] = {{0, 1, 2, 3}, {3, 2, 1, 0}, {2, 0, 3, 1}};
                Buffer s(w, 5, 4), a(w, 5, 4), b(w, 5, 4);
                s.fill_random(rng);
                t_vor_matrix_conv_info c =
                    conv(VOR_MATRIX_CONVERT_SRCDIM, {orders[order][0], orders[order][1], orders[order][2], orders[order][3]});
                c.srcdimstart[0] = 0, c.srcdimend[0] = w - 1;
                c.srcdimstart[1] = flip ? 4 : 0, c.srcdimend[1] = flip ? 0 : 4;
                ASSERT_EQ(vor_mx_copy(a.view, s.view, &c, vor_mx_kernel::reference), HOX_ERR_NONE);
                ASSERT_EQ(vor_mx_copy(b.view, s.view, &c, vor_mx_kernel::automatic), HOX_ERR_NONE);
                EXPECT_EQ(a.bytes, b.bytes) << "width " << w << " flip " << flip << " order " << order;
            }
        }
    }
}

}  // namespace
