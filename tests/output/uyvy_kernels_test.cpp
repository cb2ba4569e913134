// The UYVY row kernels: every table this CPU runs, through whole frames (the
// YUY2 swap row by row), byte for byte against the rules written out here, on
// odd and small sizes, unaligned planes, strides wider than the rows, and
// chroma values at the ends of their range (where the interpolation leaves
// 0..255).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "output/planar_convert.h"
#include "output/uyvy_kernels.h"

namespace {

constexpr uint8_t kSentinel = 0xA5;

std::vector<const UyvyKernels*> tables() {
    std::vector<const UyvyKernels*> all;
    for (CpuLevel level : {CpuLevel::reference, CpuLevel::sse2, CpuLevel::avx2})
        if (const UyvyKernels* k = uyvy_kernels(level)) all.push_back(k);
    return all;
}

// Bytes biased to the ends of the range, where wrong widths or clamping show.
uint8_t pixel(std::mt19937& rng) {
    const uint32_t r = rng();
    switch (r % 4) {
        case 0:
            return 0;
        case 1:
            return 255;
        default:
            return static_cast<uint8_t>(r >> 8);
    }
}

// A buffer whose data starts `misalign` bytes into its storage and ends
// exactly at the end of it, so a read past `size` leaves the allocation.
struct Exact {
    std::vector<uint8_t> storage;
    size_t offset;
    Exact(size_t size, size_t misalign) : storage(size + misalign, kSentinel), offset(misalign) {}
    uint8_t* data() { return storage.data() + offset; }
    const uint8_t* data() const { return storage.data() + offset; }
    size_t size() const { return storage.size() - offset; }
};

// A destination with guard bytes on both sides.
struct Guarded {
    static constexpr size_t kGuard = 64;
    std::vector<uint8_t> storage;
    explicit Guarded(size_t size) : storage(size + 2 * kGuard, kSentinel) {}
    uint8_t* data() { return storage.data() + kGuard; }
    std::vector<uint8_t> body() const { return {storage.begin() + kGuard, storage.end() - kGuard}; }
    bool guards_intact() const {
        return std::all_of(storage.begin(), storage.begin() + kGuard, [](uint8_t b) { return b == kSentinel; }) &&
               std::all_of(storage.end() - kGuard, storage.end(), [](uint8_t b) { return b == kSentinel; });
    }
};

uint8_t rule_interpolate(int above, int k0, int k1, int below) {
    return static_cast<uint8_t>(((9 * (k0 + k1) - above - below - 8) >> 4) & 0xFF);
}

TEST(UyvyKernels, TheBestTableIsTheMostCapableTheCpuRuns) {
    ASSERT_NE(uyvy_kernels(CpuLevel::reference), nullptr);
#if defined(__x86_64__)
    EXPECT_NE(uyvy_kernels(CpuLevel::sse2), nullptr);  // part of x86-64
#endif
    const UyvyKernels* expected = uyvy_kernels(cpu_level());
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(&uyvy_kernels_best(), expected) << uyvy_kernels_best().name;
    if (!cpu_supports(CpuLevel::avx2)) {
        EXPECT_EQ(uyvy_kernels(CpuLevel::avx2), nullptr);
    }
}

TEST(UyvyKernels, InterpolationCoversEveryTapCombinationAtTheExtremes) {
    // All 3^4 combinations of 0, 1 and 255 on the four taps, one per cell,
    // repeated so that each lands in vector lanes and in the tail.
    std::vector<uint8_t> taps[4];
    const uint8_t values[3] = {0, 1, 255};
    for (int n = 0; n < 81 * 2; ++n) {
        int c = n % 81;
        for (auto& t : taps) {
            t.push_back(values[c % 3]);
            c /= 3;
        }
    }
    const int32_t cells = static_cast<int32_t>(taps[0].size());
    const std::vector<uint8_t> y(2 * cells, 0);
    const ChromaTaps c{{taps[0].data(), taps[1].data(), taps[2].data(), taps[3].data()}};
    for (const UyvyKernels* k : tables()) {
        SCOPED_TRACE(k->name);
        std::vector<uint8_t> out(4 * cells);
        k->pack_interp_row(y.data(), c, c, out.data(), cells);
        for (int32_t i = 0; i < cells; ++i) {
            const uint8_t want = rule_interpolate(taps[0][i], taps[1][i], taps[2][i], taps[3][i]);
            ASSERT_EQ(out[4 * i], want) << i;
            ASSERT_EQ(out[4 * i + 2], want) << i;
        }
    }
}

TEST(UyvyKernels, Swap16MatchesTheRuleForEverySizeAndAlignment) {
    std::mt19937 rng(13);
    for (const UyvyKernels* k : tables()) {
        SCOPED_TRACE(k->name);
        for (size_t size = 0; size <= 300; ++size)
            for (size_t misalign = 0; misalign < 4; ++misalign) {
                Exact src(size, misalign);
                for (size_t i = 0; i < size; ++i) src.data()[i] = pixel(rng);
                Guarded out(size + 3);
                uint8_t* dst = out.data() + (3 - misalign);
                k->swap16(dst, src.data(), size);
                for (size_t i = 0; i + 1 < size; i += 2) {
                    ASSERT_EQ(dst[i], src.data()[i + 1]) << size << " bytes, byte " << i;
                    ASSERT_EQ(dst[i + 1], src.data()[i]) << size << " bytes, byte " << i;
                }
                if (size % 2) {
                    ASSERT_EQ(dst[size - 1], src.data()[size - 1]) << size << " bytes";
                }
                const auto got = out.body();
                for (size_t i = 0; i < 3 - misalign; ++i) ASSERT_EQ(got[i], kSentinel);
                for (size_t i = 3 - misalign + size; i < got.size(); ++i) ASSERT_EQ(got[i], kSentinel);
                ASSERT_TRUE(out.guards_intact());
            }
    }
}

// ---- whole frames -------------------------------------------------------------

// A planar frame in exactly sized planes: each plane ends with its last
// row's last byte, so a read past the frame leaves its allocation.
struct PlanarFrame {
    int32_t w, h, luma_stride, chroma_stride;
    Exact y, u, v;
    PlanarFrame(int32_t width, int32_t height, int32_t luma_pad, int32_t chroma_pad, std::mt19937& rng)
        : w(width),
          h(height),
          luma_stride(width + luma_pad),
          chroma_stride(width / 2 + chroma_pad),
          y(static_cast<size_t>(luma_stride) * (height - 1) + width, 1),
          u(static_cast<size_t>(chroma_stride) * (height / 2 - 1) + width / 2, 2),
          v(static_cast<size_t>(chroma_stride) * (height / 2 - 1) + width / 2, 3) {
        for (Exact* b : {&y, &u, &v})
            for (size_t i = 0; i < b->size(); ++i) b->data()[i] = pixel(rng);
    }
};

// The conversion rule of planar_convert.h written out cell by cell: rows
// past the height read the last luma row; chroma row j is clamped to the
// rows the conversion uses, then to the rows the sample has. Bytes the rule
// does not write keep the sentinel.
std::vector<uint8_t> rule_frame(const PlanarFrame& f, int32_t pair_step, int32_t dst_stride, size_t dst_size) {
    std::vector<uint8_t> out(dst_size, kSentinel);
    const int32_t rows = planar_rows_written(f.h);
    auto chroma = [&](const Exact& plane, int32_t j, int32_t q) -> int {
        j = std::min(std::clamp(j, 0, rows / 2 - 1), f.h / 2 - 1);
        return plane.data()[static_cast<size_t>(j) * f.chroma_stride + q];
    };
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t q = 0; q < f.w / 2; ++q) {
            const uint8_t* luma = f.y.data() + static_cast<size_t>(std::min(r, f.h - 1)) * f.luma_stride;
            uint8_t* cell = out.data() + static_cast<size_t>(r) * dst_stride + static_cast<size_t>(q) * pair_step;
            const int32_t j = r / 2;
            if (r % 2 == 0) {
                cell[0] = static_cast<uint8_t>(chroma(f.u, j, q));
                cell[2] = static_cast<uint8_t>(chroma(f.v, j, q));
            } else {
                cell[0] = rule_interpolate(chroma(f.u, j - 1, q), chroma(f.u, j, q), chroma(f.u, j + 1, q),
                                           chroma(f.u, j + 2, q));
                cell[2] = rule_interpolate(chroma(f.v, j - 1, q), chroma(f.v, j, q), chroma(f.v, j + 1, q),
                                           chroma(f.v, j + 2, q));
            }
            cell[1] = luma[2 * q];
            cell[3] = luma[2 * q + 1];
        }
    return out;
}

struct Layout {
    int32_t luma_pad, chroma_pad, dst_pad, pair_step;
};

void expect_frame_matches_rule(const UyvyKernels& k, int32_t w, int32_t h, const Layout& l, std::mt19937& rng) {
    PlanarFrame f(w, h, l.luma_pad, l.chroma_pad, rng);
    const int32_t dst_stride = (w / 2) * l.pair_step + l.dst_pad;
    const size_t dst_size = static_cast<size_t>(dst_stride) * planar_rows_written(h);
    Guarded out(dst_size);
    planar_to_packed_with(k, out.data(), f.y.data(), f.u.data(), f.v.data(), f.luma_stride, f.chroma_stride, w, h,
                          l.pair_step, dst_stride);
    const auto got = out.body();
    const auto want = rule_frame(f, l.pair_step, dst_stride, dst_size);
    ASSERT_TRUE(out.guards_intact()) << w << "x" << h;
    if (got == want) return;
    const size_t at = static_cast<size_t>(std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin());
    FAIL() << k.name << " " << w << "x" << h << " pads " << l.luma_pad << "/" << l.chroma_pad << "/" << l.dst_pad
           << " step " << l.pair_step << ": first difference in row " << at / dst_stride << ", byte "
           << at % dst_stride << ": " << int(got[at]) << " instead of " << int(want[at]);
}

TEST(UyvyKernels, FramesMatchTheRuleForSmallAndOddSizes) {
    std::mt19937 rng(21);
    const Layout layouts[] = {{0, 0, 0, 4}, {3, 5, 12, 4}, {17, 1, 4, 4}};
    for (const UyvyKernels* k : tables())
        for (const Layout& l : layouts)
            for (int32_t w = 2; w <= 70; ++w)
                for (int32_t h = 2; h <= 20; ++h) {
                    expect_frame_matches_rule(*k, w, h, l, rng);
                    if (HasFatalFailure()) return;
                }
}

TEST(UyvyKernels, FramesWithSpacedCellsMatchTheRule) {
    // Cells farther apart than four bytes go through the row buffer in
    // pieces: widths around the piece size show a seam.
    std::mt19937 rng(22);
    for (const UyvyKernels* k : tables())
        for (int32_t w : {2, 3, 33, 510, 511, 512, 513, 514, 1030})
            for (int32_t h : {2, 5, 9}) {
                expect_frame_matches_rule(*k, w, h, {1, 2, 3, 6}, rng);
                expect_frame_matches_rule(*k, w, h, {0, 0, 0, 8}, rng);
                if (HasFatalFailure()) return;
            }
}

TEST(UyvyKernels, LargeFramesMatchTheReferenceTable) {
    std::mt19937 rng(23);
    const UyvyKernels& ref = *uyvy_kernels(CpuLevel::reference);
    for (const UyvyKernels* k : tables())
        for (auto [w, h] : {std::pair{640, 480}, {1283, 37}, {1920, 18}, {722, 577}}) {
            PlanarFrame f(w, h, 8, 4, rng);
            const int32_t stride = (w / 2) * 4;
            const size_t size = static_cast<size_t>(stride) * planar_rows_written(h);
            std::vector<uint8_t> a(size, kSentinel), b(size, kSentinel);
            planar_to_packed_with(ref, a.data(), f.y.data(), f.u.data(), f.v.data(), f.luma_stride, f.chroma_stride,
                                  w, h, 4, stride);
            planar_to_packed_with(*k, b.data(), f.y.data(), f.u.data(), f.v.data(), f.luma_stride, f.chroma_stride, w,
                                  h, 4, stride);
            ASSERT_TRUE(a == b) << k->name << " " << w << "x" << h;
        }
}

TEST(UyvyKernels, PlanarToPackedMatchesTheRule) {
    // The entry point the frame callback calls, with the table it picks.
    std::mt19937 rng(24);
    for (auto [w, h] : {std::pair{66, 10}, {7, 3}}) {
        PlanarFrame f(w, h, 2, 1, rng);
        const int32_t stride = (w / 2) * 4;
        const size_t size = static_cast<size_t>(stride) * planar_rows_written(h);
        std::vector<uint8_t> a(size, kSentinel), b(size, kSentinel);
        planar_to_packed(a.data(), f.y.data(), f.u.data(), f.v.data(), f.luma_stride, f.chroma_stride, w, h, 4,
                         stride);
        b = rule_frame(f, 4, stride, size);
        EXPECT_EQ(a, b) << w << "x" << h;
    }
}

// Known answers for the rule itself, through the entry point: a 4 x 6 frame
// of flat chroma, chroma rows that take the interpolation past both ends of
// 0..255 (only its low eight bits are kept), and a frame too small for a
// chroma sample.
TEST(PlanarToPacked, KnownAnswers) {
    EXPECT_EQ(planar_rows_written(2), 6);
    EXPECT_EQ(planar_rows_written(7), 8);
    EXPECT_EQ(planar_rows_written(481), 482);

    std::vector<uint8_t> y(24), u(6, 128), v(6, 128), out(6 * 8, kSentinel);
    for (int i = 0; i < 24; ++i) y[i] = static_cast<uint8_t>(i);
    planar_to_packed(out.data(), y.data(), u.data(), v.data(), 4, 2, 4, 6, 4, 8);
    for (int r = 0; r < 6; ++r)
        for (int q = 0; q < 2; ++q) {
            const uint8_t* cell = &out[r * 8 + q * 4];
            EXPECT_EQ(cell[0], r % 2 ? 127 : 128) << r;  // (16 * 128 - 8) >> 4
            EXPECT_EQ(cell[2], r % 2 ? 127 : 128) << r;
            EXPECT_EQ(cell[1], r * 4 + q * 2);
            EXPECT_EQ(cell[3], r * 4 + q * 2 + 1);
        }

    // 2 x 8: chroma rows 0, 255, 255, 0 for U and the inverse for V; output
    // row 3 lies between the middle two.
    y.assign(16, 0);
    u = {0, 255, 255, 0};
    v = {255, 0, 0, 255};
    out.assign(8 * 4, kSentinel);
    planar_to_packed(out.data(), y.data(), u.data(), v.data(), 2, 1, 2, 8, 4, 4);
    EXPECT_EQ(out[3 * 4 + 0], 30);   // (9 * 510 - 8) >> 4 = 286
    EXPECT_EQ(out[3 * 4 + 2], 223);  // (-510 - 8) >> 4 = -33

    out.assign(24, kSentinel);
    planar_to_packed(out.data(), y.data(), u.data(), v.data(), 1, 0, 1, 1, 4, 0);
    EXPECT_EQ(out, std::vector<uint8_t>(24, kSentinel));
}

}  // namespace
