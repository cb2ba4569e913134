// The cell loop behind fillplane: every level against the reference on
// packed and padded char matrices of odd sizes, in buffers of exactly their
// span between sentinels; and fillplane through the matrix class.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "../../../host/matrix/fill.h"
#include "matrix_test_util.h"

namespace {

constexpr uint8_t kSentinel = 0xC3;
constexpr int64_t kPad = 48;

struct Frame {
    std::vector<uint8_t> bytes;
    vor_mx_view view{};
    Frame(int32_t w, int32_t h, int32_t planes, int64_t xstride, int64_t ystride) {
        view = {nullptr, 0, w, h, xstride, ystride, planes};
        view.size = (w - 1) * xstride + (h - 1) * ystride + planes;
        bytes.assign(static_cast<size_t>(view.size + 2 * kPad), kSentinel);
        view.data = bytes.data() + kPad;
    }
    Frame(const Frame& o) : bytes(o.bytes), view(o.view) { view.data = bytes.data() + kPad; }
};

TEST(MatrixFill, EveryLevelMatchesTheReferenceOnPackedAndPaddedCells) {
    std::mt19937 rng(42);
    std::vector<vor_mx_kernel> ks = {vor_mx_kernel::automatic, vor_mx_kernel::portable};
    for (vor_mx_kernel k : {vor_mx_kernel::sse2, vor_mx_kernel::ssse3, vor_mx_kernel::avx2})
        if (vor_mx_kernel_supported(k)) ks.push_back(k);
    int packed = 0;
    for (int iter = 0; iter < 600; ++iter) {
        const int32_t w = 1 + static_cast<int32_t>(rng() % (iter % 4 == 0 ? 1930 : 90));
        const int32_t h = 1 + static_cast<int32_t>(rng() % 5);
        const int32_t planes = rng() % 3 ? 4 : 1 + static_cast<int32_t>(rng() % 6);
        const int64_t xstride = planes + (rng() % 3 ? 0 : static_cast<int64_t>(rng() % 3));
        const int64_t ystride = xstride * w + static_cast<int64_t>(rng() % 3 ? 0 : rng() % 9);
        const int32_t plane = static_cast<int32_t>(rng() % static_cast<uint32_t>(planes));
        const uint8_t value = static_cast<uint8_t>(rng());
        Frame base(w, h, planes, xstride, ystride);
        for (int64_t i = 0; i < base.view.size; ++i) base.view.data[i] = static_cast<uint8_t>(rng());
        packed += planes == 4 && xstride == 4;

        Frame want = base;
        vor_mx_fill_plane(want.view, plane, value, vor_mx_kernel::reference);
        // The reference itself: every cell's plane byte holds the value, and
        // nothing else changed (all cells written, base restored: equal).
        Frame check = want;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const int64_t at = y * ystride + x * xstride + plane;
                ASSERT_EQ(check.view.data[at], value);
                check.view.data[at] = base.view.data[at];
            }
        ASSERT_EQ(check.bytes, base.bytes);
        for (vor_mx_kernel k : ks) {
            Frame got = base;
            vor_mx_fill_plane(got.view, plane, value, k);
            ASSERT_EQ(got.bytes, want.bytes) << "iteration " << iter << " " << vor_mx_kernel_name(k) << " " << w << "x"
                                             << h << " planes " << planes << " plane " << plane;
        }
    }
    EXPECT_GT(packed, 250);
}

TEST(MatrixFillplane, ThreeDimensionalCharMatrixFillsEveryRow) {
    t_vor_matrix_info info = shape(5, 3, 4);
    info.dimcount = 3;
    info.dim[2] = 2;
    void* m = vor_object_new(gensym("vor_matrix"), &info);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(call(m, "fillplane", 1L, 9L), HOX_ERR_NONE);
    const t_vor_matrix_info got = info_of(m);
    const uint8_t* data = data_of(m);
    for (int64_t i = 0; i < got.size; ++i) EXPECT_EQ(data[i], i % 4 == 1 ? 9 : 0) << i;
    vor_object_free(m);
}

}  // namespace
