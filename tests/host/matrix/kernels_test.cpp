// The packed row kernels of every instruction-set level, byte for byte
// against plain loops written here from kernels.h, on every width up to a
// few vectors and some frame widths, in exactly sized buffers with
// sentinels on both sides; and the converters' row entry points against the
// plain kernels of convert.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "../../../host/matrix/convert.h"
#include "../../../host/matrix/kernels.h"

namespace {

constexpr uint8_t kSentinel = 0x5A;
constexpr size_t kPad = 64;

// `n` bytes (or entries) between sentinels.
template <class T>
struct Guarded {
    std::vector<T> all;
    explicit Guarded(size_t n, T fill = T(kSentinel)) {
        all.reserve(n + 2 * kPad);
        all.insert(all.end(), kPad, T(kSentinel));
        all.insert(all.end(), n, fill);
        all.insert(all.end(), kPad, T(kSentinel));
    }
    T* data() { return all.data() + kPad; }
    const T* data() const { return all.data() + kPad; }
    size_t size() const { return all.size() - 2 * kPad; }
    std::vector<T> body() const { return {all.begin() + kPad, all.end() - kPad}; }
    bool intact() const {
        return std::all_of(all.begin(), all.begin() + kPad, [](T b) { return b == T(kSentinel); }) &&
               std::all_of(all.end() - kPad, all.end(), [](T b) { return b == T(kSentinel); });
    }
    void randomize(std::mt19937& rng) {
        for (size_t i = 0; i < size(); ++i) data()[i] = static_cast<T>(rng());
    }
};

// The levels this CPU runs; the others are named once in the test log.
std::vector<vor_mx_kernel> levels() {
    std::vector<vor_mx_kernel> out;
    for (vor_mx_kernel k : {vor_mx_kernel::portable, vor_mx_kernel::sse2, vor_mx_kernel::ssse3, vor_mx_kernel::avx2}) {
        if (vor_mx_kernel_supported(k))
            out.push_back(k);
        else
            std::printf("  (%s: not on this CPU, not tested)\n", vor_mx_kernel_name(k));
    }
    return out;
}

// Widths 0..80 cover every tail after one, two and more vectors of every
// level; the others are frame widths, odd and even.
std::vector<int32_t> widths() {
    std::vector<int32_t> w;
    for (int32_t i = 0; i <= 80; ++i) w.push_back(i);
    for (int32_t i : {127, 128, 129, 255, 640, 719, 1279, 1280, 1917, 1920}) w.push_back(i);
    return w;
}

std::vector<std::vector<uint8_t>> all_maps() {
    std::vector<std::vector<uint8_t>> maps;
    for (int i = 0; i < 256; ++i)
        maps.push_back({static_cast<uint8_t>(i & 3), static_cast<uint8_t>((i >> 2) & 3),
                        static_cast<uint8_t>((i >> 4) & 3), static_cast<uint8_t>(i >> 6)});
    return maps;
}

std::string label(vor_mx_kernel k, int32_t width) {
    return std::string(vor_mx_kernel_name(k)) + " width " + std::to_string(width);
}

TEST(MatrixKernels, LevelsAreChosenAsAskedAndNeverAboveTheCpu) {
    EXPECT_TRUE(vor_mx_kernel_supported(vor_mx_kernel::portable));
    EXPECT_EQ(vor_mx_kernels_for(vor_mx_kernel::portable).level, vor_mx_kernel::portable);
    EXPECT_EQ(vor_mx_kernels_for(vor_mx_kernel::automatic).level, vor_mx_kernel_best());
    for (vor_mx_kernel k : {vor_mx_kernel::sse2, vor_mx_kernel::ssse3, vor_mx_kernel::avx2}) {
        const vor_mx_kernels& t = vor_mx_kernels_for(k);
        if (vor_mx_kernel_supported(k))
            EXPECT_EQ(t.level, k) << vor_mx_kernel_name(k);
        else
            EXPECT_EQ(t.level, vor_mx_kernel_best()) << vor_mx_kernel_name(k);
        EXPECT_TRUE(t.shuffle4 && t.mirror4 && t.gather4 && t.fill4 && t.blend_rows && t.blend_cols_any && t.blend_cols_fixed &&
                    t.uyvy_to_ayuv && t.ayuv_to_uyvy);
    }
#if defined(__x86_64__)
    EXPECT_TRUE(vor_mx_kernel_supported(vor_mx_kernel::sse2));
#endif
}

TEST(MatrixKernels, ShuffleAndMirrorPermuteEveryCellByEveryMap) {
    std::mt19937 rng(1);
    const auto maps = all_maps();
    for (vor_mx_kernel k : levels()) {
        const vor_mx_kernels& t = vor_mx_kernels_for(k);
        for (int32_t w : widths()) {
            Guarded<uint8_t> src(4 * static_cast<size_t>(w));
            src.randomize(rng);
            // Wide rows try a handful of maps, narrow ones all of them.
            for (size_t m = 0; m < maps.size(); m += w > 80 ? 37 : 1) {
                const uint8_t* map = maps[m].data();
                Guarded<uint8_t> want(src.size(), 0xEE), got(src.size(), 0xEE), mirrored(src.size(), 0xEE);
                for (int32_t j = 0; j < w; ++j)
                    for (int i = 0; i < 4; ++i) want.data()[4 * j + i] = src.data()[4 * j + map[i]];
                t.shuffle4(got.data(), src.data(), w, map, m % 2 ? src.data() : nullptr);
                ASSERT_EQ(got.all, want.all) << label(k, w) << " map " << m;
                // The mirror reads from the last cell leftwards.
                if (w > 0) t.mirror4(mirrored.data(), src.data() + 4 * (w - 1), w, map, nullptr);
                for (int32_t j = 0; j < w; ++j)
                    for (int i = 0; i < 4; ++i) want.data()[4 * j + i] = src.data()[4 * (w - 1 - j) + map[i]];
                ASSERT_EQ(mirrored.all, want.all) << label(k, w) << " map " << m << " mirrored";
            }
            ASSERT_TRUE(src.intact());
        }
    }
}

TEST(MatrixKernels, GatherTakesEachCellFromItsOffsetByEveryMap) {
    std::mt19937 rng(11);
    const auto maps = all_maps();
    for (vor_mx_kernel k : levels()) {
        const vor_mx_kernels& t = vor_mx_kernels_for(k);
        for (int32_t w : widths()) {
            // A source row of odd length; offsets anywhere a whole cell fits,
            // the first and last byte included.
            Guarded<uint8_t> src(4 * static_cast<size_t>(w) + 7);
            src.randomize(rng);
            std::vector<int32_t> off(static_cast<size_t>(w));
            for (auto& o : off) o = static_cast<int32_t>(rng() % (src.size() - 3));
            if (w > 1) off[0] = static_cast<int32_t>(src.size() - 4), off[1] = 0;
            for (size_t m = 0; m < maps.size(); m += w > 80 ? 41 : 3) {
                const uint8_t* map = maps[m].data();
                Guarded<uint8_t> want(4 * static_cast<size_t>(w), 0xEE), got(4 * static_cast<size_t>(w), 0xEE);
                for (int32_t j = 0; j < w; ++j)
                    for (int i = 0; i < 4; ++i) want.data()[4 * j + i] = src.data()[off[j] + map[i]];
                t.gather4(got.data(), src.data(), off.data(), w, map, m % 2 ? src.data() : nullptr);
                ASSERT_EQ(got.all, want.all) << label(k, w) << " map " << m;
            }
        }
    }
}

TEST(MatrixKernels, FillWritesOnePlaneAndKeepsTheOthers) {
    std::mt19937 rng(2);
    for (vor_mx_kernel k : levels()) {
        for (int32_t w : widths()) {
            for (int32_t plane = 0; plane < 4; ++plane) {
                Guarded<uint8_t> row(4 * static_cast<size_t>(w));
                row.randomize(rng);
                std::vector<uint8_t> want = row.all;
                const uint8_t value = static_cast<uint8_t>(rng());
                for (int32_t j = 0; j < w; ++j) want[kPad + 4 * j + plane] = value;
                vor_mx_kernels_for(k).fill4(row.data(), w, plane, value, plane % 2 ? row.data() : nullptr);
                ASSERT_EQ(row.all, want) << label(k, w) << " plane " << plane;
            }
        }
    }
}

// The rows pass of every level against the formula, for every row weight.
TEST(MatrixKernels, RowBlendIsExactForEveryWeight) {
    std::mt19937 rng(3);
    for (vor_mx_kernel k : levels()) {
        for (int32_t n : widths()) {
            Guarded<uint8_t> r0(static_cast<size_t>(n)), r1(static_cast<size_t>(n));
            r0.randomize(rng);
            r1.randomize(rng);
            // Extremes where the blend reaches its largest value.
            if (n > 2) r0.data()[0] = r1.data()[0] = 255, r0.data()[1] = 255, r1.data()[1] = 0;
            for (uint32_t wy = 0; wy < 256; wy += n > 80 ? 17 : 1) {
                Guarded<int16_t> got(static_cast<size_t>(n), -1);
                std::vector<int16_t> want(static_cast<size_t>(n));
                for (int32_t i = 0; i < n; ++i)
                    want[i] = static_cast<int16_t>(r0.data()[i] * (256 - wy) + r1.data()[i] * wy - 32640);
                // The rows ahead only steer prefetching: some calls name them.
                const bool ahead = wy % 2;
                vor_mx_kernels_for(k).blend_rows(got.data(), r0.data(), r1.data(), n, wy, ahead ? r1.data() : nullptr,
                                                 ahead ? r0.data() : nullptr);
                ASSERT_EQ(got.body(), want) << label(k, n) << " wy " << wy;
                ASSERT_TRUE(got.intact()) << label(k, n);
            }
        }
    }
}

// The columns pass against the formula: random cells of a blended row
// (values the rows pass can give, the largest included), random weights,
// and every map the kernel takes.
TEST(MatrixKernels, ColumnBlendMatchesTheFormulaForEveryMap) {
    std::mt19937 rng(4);
    const auto maps = all_maps();
    const std::vector<std::vector<uint8_t>> fixed = {{0, 1, 2, 3}, {3, 2, 1, 0}};
    for (vor_mx_kernel k : levels()) {
        const vor_mx_kernels& t = vor_mx_kernels_for(k);
        for (int32_t n : widths()) {
            // A blended row of 40 cells, plus the four entries the kernel may
            // read past the last cell.
            const int32_t cells = 40;
            Guarded<uint8_t> r0(4 * cells), r1(4 * cells);
            r0.randomize(rng);
            r1.randomize(rng);
            r0.data()[0] = r0.data()[1] = 255, r1.data()[0] = r1.data()[1] = 255;
            Guarded<int16_t> row(4 * cells + 4, 0);
            t.blend_rows(row.data(), r0.data(), r1.data(), 4 * cells, rng() & 255, nullptr, nullptr);
            std::vector<int32_t> off(static_cast<size_t>(n));
            std::vector<int16_t> wt(8 * static_cast<size_t>(n));
            for (int32_t j = 0; j < n; ++j) {
                off[j] = 4 * static_cast<int32_t>(rng() % cells);
                const uint32_t pick = rng() % 260;  // 0..255, and 0, 85, 170, 255 more often
                const int16_t w1 = static_cast<int16_t>(pick >= 256 ? (pick - 256) * 85 : pick);
                for (int p = 0; p < 4; ++p) wt[8 * j + 2 * p] = static_cast<int16_t>(256 - w1), wt[8 * j + 2 * p + 1] = w1;
            }
            if (n > 0) {
                // The last cell alone: its neighbour lies past the row and weighs 0.
                off[n - 1] = 4 * (cells - 1);
                for (int p = 0; p < 4; ++p) wt[8 * (n - 1) + 2 * p] = 256, wt[8 * (n - 1) + 2 * p + 1] = 0;
            }
            for (int pass = 0; pass < 2; ++pass) {
                const auto& ms = pass == 0 ? fixed : maps;
                for (size_t m = 0; m < ms.size(); m += (pass == 1 && n > 20) ? 29 : 1) {
                    const uint8_t* map = ms[m].data();
                    Guarded<uint8_t> got(4 * static_cast<size_t>(n), 0xEE);
                    std::vector<uint8_t> want(4 * static_cast<size_t>(n));
                    for (int32_t j = 0; j < n; ++j)
                        for (int i = 0; i < 4; ++i) {
                            const int32_t b0 = row.data()[off[j] + map[i]] + 32640;
                            const int32_t b1 = row.data()[off[j] + 4 + map[i]] + 32640;
                            want[4 * j + i] = static_cast<uint8_t>((b0 * wt[8 * j] + b1 * wt[8 * j + 1] + 32768) >> 16);
                        }
                    const vor_mx_blend_cols_fn fn = pass == 0 ? t.blend_cols_fixed : t.blend_cols_any;
                    fn(got.data(), row.data(), off.data(), wt.data(), n, map);
                    ASSERT_EQ(got.body(), want) << label(k, n) << (pass == 0 ? " fixed map " : " map ") << m;
                    ASSERT_TRUE(got.intact()) << label(k, n);
                }
            }
        }
    }
}

// The converters at every level against the plain kernels of convert.h,
// on packed rows and (falling back to them) padded ones.
TEST(MatrixKernels, ConvertersMatchThePlainKernelsOnEveryWidth) {
    std::mt19937 rng(5);
    std::vector<vor_mx_kernel> ks = levels();
    ks.push_back(vor_mx_kernel::automatic);
    for (vor_mx_kernel k : ks) {
        for (int32_t w : widths()) {
            for (int64_t stride : {4, 5}) {
                const size_t in_bytes = w ? static_cast<size_t>((w - 1) * stride + 4) : 0;
                Guarded<uint8_t> in(in_bytes);
                in.randomize(rng);
                // uyvy -> ayuv: 2w output cells.
                const size_t wide = w ? static_cast<size_t>((2 * w - 1) * stride + 4) : 0;
                Guarded<uint8_t> want(wide, 0xEE), got(wide, 0xEE);
                vor_uyvy_to_ayuv_row(in.data(), stride, w, want.data(), stride);
                vor_mx_uyvy_to_ayuv(in.data(), stride, w, got.data(), stride, k);
                ASSERT_EQ(got.all, want.all) << label(k, w) << " stride " << stride << " to ayuv";
                if (w == 0) continue;
                // ayuv -> uyvy: max(1, w / 2) output cells.
                const int32_t out = vor_ayuv_to_uyvy_width(w);
                const size_t narrow = static_cast<size_t>((out - 1) * stride + 4);
                Guarded<uint8_t> want2(narrow, 0xEE), got2(narrow, 0xEE);
                vor_ayuv_to_uyvy_row(in.data(), stride, w, want2.data(), stride);
                vor_mx_ayuv_to_uyvy(in.data(), stride, w, got2.data(), stride, k);
                ASSERT_EQ(got2.all, want2.all) << label(k, w) << " stride " << stride << " to uyvy";
            }
        }
    }
}

TEST(MatrixKernels, AveragedChromaRoundsHalfUpAtEveryLevel) {
    // All 65536 (Ua, Ub) pairs, as U and (swapped) as V, through each level.
    std::vector<uint8_t> ayuv(8 * 65536);
    for (uint32_t i = 0; i < 65536; ++i) {
        uint8_t* c = ayuv.data() + 8 * i;
        const uint8_t a = static_cast<uint8_t>(i), b = static_cast<uint8_t>(i >> 8);
        c[0] = 255, c[1] = b, c[2] = a, c[3] = b, c[4] = 255, c[5] = a, c[6] = b, c[7] = a;
    }
    for (vor_mx_kernel k : levels()) {
        std::vector<uint8_t> uyvy(4 * 65536);
        vor_mx_ayuv_to_uyvy(ayuv.data(), 4, 2 * 65536, uyvy.data(), 4, k);
        for (uint32_t i = 0; i < 65536; ++i) {
            const uint8_t a = static_cast<uint8_t>(i), b = static_cast<uint8_t>(i >> 8);
            const uint8_t avg = static_cast<uint8_t>((a + b + 1) >> 1);
            ASSERT_EQ(uyvy[4 * i + 0], avg) << vor_mx_kernel_name(k) << " " << +a << " " << +b;
            ASSERT_EQ(uyvy[4 * i + 1], b);
            ASSERT_EQ(uyvy[4 * i + 2], avg);
            ASSERT_EQ(uyvy[4 * i + 3], a);
        }
    }
}

}  // namespace
