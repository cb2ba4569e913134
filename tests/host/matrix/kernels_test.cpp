// The kernel table of each instruction-set level, and the converters' row
// entry points at every level against the plain kernels of convert.h, on
// every width up to a few vectors and some frame widths, in exactly sized
// buffers with sentinels on both sides. The copy kernels (shuffle, mirror,
// gather, both blend passes) are checked at every level through the copy
// against its reference (copy_test.cpp: every map, every weight pair), the
// plane fill through fillplane (fill_test.cpp).
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
