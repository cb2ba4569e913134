// The cell copy behind frommatrix, on raw buffers between sentinel bytes:
// known answers that pin the mapping down, bounds safety, and a
// differential check of both kernels against a per-cell model over many
// random ranges.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "../../../host/matrix/copy.h"

namespace {

constexpr uint8_t kSentinel = 0xA5;
constexpr int64_t kPad = 64;

// A char matrix in a buffer of exactly its span, with sentinels on both sides.
struct Buffer {
    std::vector<uint8_t> bytes;
    vor_mx_view view{};

    Buffer(int32_t w, int32_t h, int32_t planes, int64_t xpad = 0, int64_t ypad = 0) {
        view = {nullptr, 0, w, h, planes + xpad, (planes + xpad) * w + ypad, planes};
        view.size = (w - 1) * view.xstride + (h - 1) * view.ystride + planes;
        bytes.assign(static_cast<size_t>(view.size + 2 * kPad), kSentinel);
        view.data = bytes.data() + kPad;
    }
    Buffer(const Buffer& o) : bytes(o.bytes), view(o.view) { view.data = bytes.data() + kPad; }
    uint8_t& at(int32_t x, int32_t y, int32_t p) { return view.data[y * view.ystride + x * view.xstride + p]; }
    std::vector<uint8_t> cells() const { return {view.data, view.data + view.size}; }
    bool pads_intact() const {
        return std::all_of(bytes.begin(), bytes.begin() + kPad, [](uint8_t b) { return b == kSentinel; }) &&
               std::all_of(bytes.end() - kPad, bytes.end(), [](uint8_t b) { return b == kSentinel; });
    }
    void fill(std::mt19937& rng) {
        for (int64_t i = 0; i < view.size; ++i) view.data[i] = static_cast<uint8_t>(rng());
    }
};

// How one destination coordinate reads the source along one dimension,
// worked out per cell from the definition in copy.h.
struct AxisRead {
    bool written = false;
    int64_t s0 = 0, s1 = 0, weight = 0;  // source cells, weight of s1 (0..255)
};

AxisRead model_axis(int64_t pos, bool use_src, int32_t rs, int32_t re, int32_t src_cells, bool use_dst, int32_t ds,
                    int32_t de, int32_t dst_cells, bool interp) {
    AxisRead r;
    int64_t a = 0, b = src_cells - 1, c = 0, d = dst_cells - 1;
    if (use_src) a = std::clamp<int64_t>(rs, 0, src_cells - 1), b = std::clamp<int64_t>(re, 0, src_cells - 1);
    if (use_dst) c = ds, d = de;
    const int64_t m = std::abs(b - a) + 1, n = std::abs(d - c) + 1;
    const int64_t k = c <= d ? pos - c : c - pos;  // pos = c + ddir * k
    if (k < 0 || k >= n) return r;
    r.written = true;
    int64_t i0 = k * m / n, i1 = i0;
    if (interp) {
        // u = ((2k + 1) m - n) / (2n), clamped to 0..m-1; weight = floor(256 * frac(u)).
        const int64_t num = (2 * k + 1) * m - n, den = 2 * n;
        i0 = num <= 0 ? 0 : num / den;
        r.weight = num <= 0 ? 0 : 256 * (num % den) / den;
        if (i0 >= m - 1) i0 = m - 1, r.weight = 0;
        i1 = std::min(i0 + 1, m - 1);
    }
    const int64_t sdir = a <= b ? 1 : -1;
    r.s0 = a + sdir * i0;
    r.s1 = a + sdir * i1;
    return r;
}

void model_copy(Buffer& dst, Buffer& src, const t_vor_matrix_conv_info* cv) {
    const bool us = cv && (cv->flags & VOR_MATRIX_CONVERT_SRCDIM), ud = cv && (cv->flags & VOR_MATRIX_CONVERT_DSTDIM);
    const bool in = cv && (cv->flags & VOR_MATRIX_CONVERT_INTERP);
    auto axis = [&](int d, int64_t pos, int32_t scells, int32_t dcells) {
        return model_axis(pos, us, us ? cv->srcdimstart[d] : 0, us ? cv->srcdimend[d] : 0, scells, ud,
                          ud ? cv->dstdimstart[d] : 0, ud ? cv->dstdimend[d] : 0, dcells, in);
    };
    for (int32_t y = 0; y < dst.view.height; ++y) {
        const AxisRead ry = axis(1, y, src.view.height, dst.view.height);
        for (int32_t x = 0; x < dst.view.width && ry.written; ++x) {
            const AxisRead rx = axis(0, x, src.view.width, dst.view.width);
            for (int32_t p = 0; rx.written && p < dst.view.planecount && p < VOR_MATRIX_MAXPLANECOUNT; ++p) {
                const int32_t sp = cv ? cv->planemap[p] : p;
                if (sp < 0 || sp >= src.view.planecount) continue;
                auto s = [&](int64_t sx, int64_t sy) -> int64_t {
                    return src.at(static_cast<int32_t>(sx), static_cast<int32_t>(sy), sp);
                };
                const int64_t wx = rx.weight, wy = ry.weight;
                const int64_t top = s(rx.s0, ry.s0) * (256 - wx) + s(rx.s1, ry.s0) * wx;
                const int64_t bottom = s(rx.s0, ry.s1) * (256 - wx) + s(rx.s1, ry.s1) * wx;
                dst.at(x, y, p) = static_cast<uint8_t>((top * (256 - wy) + bottom * wy + 32768) >> 16);
            }
        }
    }
}

t_vor_matrix_conv_info conv(int32_t flags, std::vector<int32_t> src, std::vector<int32_t> dst = {},
                            std::vector<int32_t> map = {0, 1, 2, 3}) {
    t_vor_matrix_conv_info c{};
    c.flags = flags;
    std::copy(map.begin(), map.end(), c.planemap);
    for (size_t d = 0; d < src.size() / 2; ++d) c.srcdimstart[d] = src[2 * d], c.srcdimend[d] = src[2 * d + 1];
    for (size_t d = 0; d < dst.size() / 2; ++d) c.dstdimstart[d] = dst[2 * d], c.dstdimend[d] = dst[2 * d + 1];
    return c;
}

TEST(MatrixCopy, KnownAnswersOnOneRow) {
    // One-plane rows: what the model must agree with, written out by hand.
    struct Case {
        const char* what;
        std::vector<uint8_t> src;
        t_vor_matrix_conv_info c;
        std::vector<uint8_t> want;  // from a destination of 99s
    };
    const Case cases[] = {
        {"nearest repeats", {10, 20}, conv(0, {}, {}, {0}), {10, 10, 20, 20}},
        {"nearest skips", {0, 1, 2, 3, 4}, conv(0, {}, {}, {0}), {0, 2}},  // floor(k * 5 / 2)
        // Source coordinates -0.25 (clamped), 0.25, 0.75, 1.25 (clamped).
        {"bilinear blends", {0, 255}, conv(VOR_MATRIX_CONVERT_INTERP, {}, {}, {0}), {0, 64, 191, 255}},
        {"flipped range", {1, 2, 3}, conv(VOR_MATRIX_CONVERT_SRCDIM, {2, 0, 0, 0}, {}, {0}), {3, 2, 1}},
        {"start past the end reads the edge", {1, 2, 3}, conv(VOR_MATRIX_CONVERT_SRCDIM, {5, 1, 0, 0}, {}, {0}), {3, 2}},
        {"destination partly outside", {0, 1, 2, 3}, conv(VOR_MATRIX_CONVERT_DSTDIM, {}, {-2, 1, 0, 0}, {0}),
         {2, 3, 99, 99}},
        {"destination wholly outside", {1, 2}, conv(VOR_MATRIX_CONVERT_DSTDIM, {}, {3, 10, 0, 0}, {0}), {99, 99, 99}},
        {"plane map outside the source", {7}, conv(0, {}, {}, {-1}), {99}},
    };
    for (const Case& k : cases) {
        Buffer s(static_cast<int32_t>(k.src.size()), 1, 1), d(static_cast<int32_t>(k.want.size()), 1, 1);
        std::copy(k.src.begin(), k.src.end(), s.view.data);
        std::fill(d.view.data, d.view.data + d.view.size, 99);
        ASSERT_EQ(vor_mx_copy(d.view, s.view, &k.c), HOX_ERR_NONE) << k.what;
        EXPECT_EQ(d.cells(), k.want) << k.what;
        EXPECT_TRUE(d.pads_intact()) << k.what;
    }
}

TEST(MatrixCopy, BottomUpBgrxBecomesUprightArgbAndFlipsInPlace) {
    Buffer s(2, 2, 4), d(2, 2, 4);
    const uint8_t bgrx[16] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};  // bottom row first
    std::copy(bgrx, bgrx + 16, s.view.data);
    const t_vor_matrix_conv_info c = conv(VOR_MATRIX_CONVERT_SRCDIM, {0, 1, 1, 0}, {}, {3, 2, 1, 0});
    ASSERT_EQ(vor_mx_copy(d.view, s.view, &c), HOX_ERR_NONE);
    EXPECT_EQ(d.cells(), (std::vector<uint8_t>{0, 9, 8, 7, 0, 12, 11, 10, 0, 3, 2, 1, 0, 6, 5, 4}));
    // The same copy within one buffer reads the original, not its own output.
    ASSERT_EQ(vor_mx_copy(s.view, s.view, &c), HOX_ERR_NONE);
    EXPECT_EQ(s.cells(), d.cells());
}

TEST(MatrixCopy, ViewsThatDoNotFitTheirBuffersAreRefused) {
    Buffer s(2, 2, 4), d(2, 2, 4);
    const std::vector<uint8_t> before = d.bytes;
    vor_mx_view short_src = s.view, null_dst = d.view, bad_stride = d.view;
    short_src.size -= 1;
    null_dst.data = nullptr;
    bad_stride.ystride = -8;
    EXPECT_EQ(vor_mx_copy(d.view, short_src, nullptr), HOX_EROR);
    EXPECT_EQ(vor_mx_copy(null_dst, s.view, nullptr), HOX_EROR);
    EXPECT_EQ(vor_mx_copy(bad_stride, s.view, nullptr), HOX_EROR);
    EXPECT_EQ(d.bytes, before);
}

TEST(MatrixCopy, ExtremeRangesStayInside) {
    std::mt19937 rng(11);
    Buffer s(3, 2, 4), d(4, 3, 4);
    s.fill(rng);
    d.fill(rng);
    for (int32_t interp : {0, static_cast<int32_t>(VOR_MATRIX_CONVERT_INTERP)}) {
        const t_vor_matrix_conv_info c =
            conv(VOR_MATRIX_CONVERT_SRCDIM | VOR_MATRIX_CONVERT_DSTDIM | interp, {INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN},
                 {INT32_MAX, INT32_MIN, INT32_MIN, 1});
        Buffer want = d, got = d;
        model_copy(want, s, &c);
        ASSERT_EQ(vor_mx_copy(got.view, s.view, &c), HOX_ERR_NONE);
        EXPECT_EQ(got.bytes, want.bytes) << "interp " << interp;
    }
}

// Every level this CPU runs, with the reference and the automatic choice.
std::vector<vor_mx_kernel> kernels() {
    std::vector<vor_mx_kernel> out = {vor_mx_kernel::reference, vor_mx_kernel::automatic};
    for (vor_mx_kernel k : {vor_mx_kernel::portable, vor_mx_kernel::sse2, vor_mx_kernel::ssse3, vor_mx_kernel::avx2})
        if (vor_mx_kernel_supported(k)) out.push_back(k);
    return out;
}

int32_t random_bound(std::mt19937& rng, int32_t cells) {
    switch (rng() % 10) {
        case 0: return -static_cast<int32_t>(rng() % 4) - 1;       // before the start
        case 1: return cells + static_cast<int32_t>(rng() % 4);    // past the end (cells itself included)
        default: return static_cast<int32_t>(rng() % static_cast<uint32_t>(cells));
    }
}

TEST(MatrixCopy, BothKernelsMatchTheCellModelOverRandomRanges) {
    std::mt19937 rng(20240601);
    static const int32_t orders[3][4] = {{0, 1, 2, 3}, {3, 2, 1, 0}, {1, 0, 3, 2}};  // identity, reversed, general
    int fast_shaped = 0;
    for (int iter = 0; iter < 4000; ++iter) {
        const bool cell4 = iter % 3 == 0;  // the shape the fast kernels take
        const int32_t sp = cell4 ? 4 : 1 + static_cast<int32_t>(rng() % 5);
        const int32_t dp = cell4 ? 4 : 1 + static_cast<int32_t>(rng() % 5);
        const int32_t sw = 1 + static_cast<int32_t>(rng() % 9), sh = 1 + static_cast<int32_t>(rng() % 7);
        const int32_t dw = 1 + static_cast<int32_t>(rng() % 9), dh = 1 + static_cast<int32_t>(rng() % 7);
        Buffer s(sw, sh, sp, cell4 ? 0 : rng() % 3, rng() % 5), d(dw, dh, dp, cell4 ? 0 : rng() % 3, rng() % 5);
        s.fill(rng);
        d.fill(rng);
        t_vor_matrix_conv_info c{};
        const bool none = rng() % 8 == 0;
        c.flags = static_cast<int32_t>(rng() % 16) & ~1;
        for (int32_t i = 0; i < VOR_MATRIX_MAXPLANECOUNT; ++i)
            c.planemap[i] = cell4 && rng() % 4 != 0 ? (i < 4 ? orders[(iter / 3) % 3][i] : 0)
                                                    : static_cast<int32_t>(rng() % static_cast<uint32_t>(sp + 2)) - 1;
        c.srcdimstart[0] = random_bound(rng, sw), c.srcdimend[0] = random_bound(rng, sw);
        c.srcdimstart[1] = random_bound(rng, sh), c.srcdimend[1] = random_bound(rng, sh);
        c.dstdimstart[0] = random_bound(rng, dw), c.dstdimend[0] = random_bound(rng, dw);
        c.dstdimstart[1] = random_bound(rng, dh), c.dstdimend[1] = random_bound(rng, dh);
        const t_vor_matrix_conv_info* cp = none ? nullptr : &c;
        if (cell4 && !(c.flags & VOR_MATRIX_CONVERT_INTERP)) ++fast_shaped;
        Buffer want = d;
        model_copy(want, s, cp);
        for (vor_mx_kernel k : kernels()) {
            Buffer got = d;
            ASSERT_EQ(vor_mx_copy(got.view, s.view, cp, k), HOX_ERR_NONE);
            ASSERT_EQ(got.bytes, want.bytes) << "iteration " << iter << " kernel " << static_cast<int>(k);
        }
        ASSERT_TRUE(s.pads_intact());
    }
    EXPECT_GT(fast_shaped, 500);
}

// Packed four-plane cells across widths that run every vector loop and its
// tail, with random ranges (partial, reversed, past the edges), maps and
// modes: every level against the reference.
TEST(MatrixCopy, PackedKernelsMatchTheReferenceOnWideRandomRanges) {
    std::mt19937 rng(777);
    int whole_rows = 0;
    for (int iter = 0; iter < 2048; ++iter) {
        const int32_t sw = 1 + static_cast<int32_t>(rng() % 140), sh = 1 + static_cast<int32_t>(rng() % 6);
        const int32_t dw = 1 + static_cast<int32_t>(rng() % 140), dh = 1 + static_cast<int32_t>(rng() % 6);
        Buffer s(sw, sh, 4, 0, rng() % 2 ? 0 : 4 * (rng() % 3)), d(dw, dh, 4, 0, rng() % 2 ? 0 : 4 * (rng() % 3));
        s.fill(rng);
        d.fill(rng);
        t_vor_matrix_conv_info c{};
        c.flags = static_cast<int32_t>(rng() % 8) << 1;  // SRCDIM, DSTDIM, INTERP in any mix
        // Every one of the 256 maps in turn (the shuffle, mirror, gather and
        // blend kernels each handle any map), the common ones as often again.
        for (int32_t i = 0; i < 4; ++i) c.planemap[i] = ((iter / 2) % 256 >> (2 * i)) & 3;
        if (iter % 2) c.planemap[0] = 3, c.planemap[1] = 2, c.planemap[2] = 1, c.planemap[3] = 0;
        // Whole rows either way round half of the time, random ranges otherwise.
        const bool whole = rng() % 2;
        const bool flip_x = rng() % 2, flip_y = rng() % 2;
        c.srcdimstart[0] = whole ? (flip_x ? sw - 1 : 0) : random_bound(rng, sw);
        c.srcdimend[0] = whole ? (flip_x ? 0 : sw - 1) : random_bound(rng, sw);
        c.srcdimstart[1] = whole ? (flip_y ? sh - 1 : 0) : random_bound(rng, sh);
        c.srcdimend[1] = whole ? (flip_y ? 0 : sh - 1) : random_bound(rng, sh);
        const bool dflip = rng() % 4 == 0;
        c.dstdimstart[0] = whole ? (dflip ? dw - 1 : 0) : random_bound(rng, dw);
        c.dstdimend[0] = whole ? (dflip ? 0 : dw - 1) : random_bound(rng, dw);
        c.dstdimstart[1] = random_bound(rng, dh), c.dstdimend[1] = random_bound(rng, dh);
        if (whole && !(c.flags & VOR_MATRIX_CONVERT_INTERP)) ++whole_rows;
        Buffer want = d;
        ASSERT_EQ(vor_mx_copy(want.view, s.view, &c, vor_mx_kernel::reference), HOX_ERR_NONE);
        for (vor_mx_kernel k : kernels()) {
            Buffer got = d;
            ASSERT_EQ(vor_mx_copy(got.view, s.view, &c, k), HOX_ERR_NONE);
            ASSERT_EQ(got.bytes, want.bytes) << "iteration " << iter << " kernel " << vor_mx_kernel_name(k);
        }
    }
    EXPECT_GT(whole_rows, 200);
}

// Every pair of weights (wx, wy): m source cells scaled to 256 m give each
// pair of neighbouring cells all 256 weights, so every 2 x 2 block of the
// source meets all 65536 weight pairs. Sources of random values and of
// 0 and 255 only (the extremes of every product).
TEST(MatrixCopy, BilinearMatchesTheReferenceForEveryWeightPair) {
    std::mt19937 rng(256);
    constexpr int32_t m = 4;
    for (int source = 0; source < 3; ++source) {
        Buffer s(m, m, 4), d(256 * m, 256 * m, 4);
        s.fill(rng);
        if (source > 0)
            for (int64_t i = 0; i < s.view.size; ++i) s.view.data[i] = rng() % 2 ? 255 : 0;
        const t_vor_matrix_conv_info c = conv(VOR_MATRIX_CONVERT_INTERP, {}, {}, source == 2 ? std::vector<int32_t>{2, 0, 3, 1}
                                                                                             : std::vector<int32_t>{0, 1, 2, 3});
        Buffer want = d;
        ASSERT_EQ(vor_mx_copy(want.view, s.view, &c, vor_mx_kernel::reference), HOX_ERR_NONE);
        // Destination cell k weighs (k - 128) mod 256 along each axis: cell
        // (383, 129) blends the first block with wx = 255, wy = 1.
        if (source < 2) {
            const uint32_t top = s.at(0, 0, 0) * 1u + s.at(1, 0, 0) * 255u;
            const uint32_t bottom = s.at(0, 1, 0) * 1u + s.at(1, 1, 0) * 255u;
            EXPECT_EQ(want.at(383, 129, 0), static_cast<uint8_t>((top * 255 + bottom * 1 + 32768) >> 16));
        }
        for (vor_mx_kernel k : kernels()) {
            Buffer got = d;
            ASSERT_EQ(vor_mx_copy(got.view, s.view, &c, k), HOX_ERR_NONE);
            ASSERT_TRUE(got.bytes == want.bytes) << "source " << source << " " << vor_mx_kernel_name(k);
        }
    }
}

}  // namespace
