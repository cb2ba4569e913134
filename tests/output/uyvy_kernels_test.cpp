// The UYVY row kernels: every table this CPU runs, row by row and whole
// frames, byte for byte against the rules written out here, on odd and small
// sizes, unaligned rows, strides wider than the rows, and chroma values at
// the ends of their range (where the interpolation leaves 0..255).
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

TEST(UyvyKernels, PackRowKnownAnswer) {
    // Enough cells for a vector step plus a tail in every table.
    constexpr int32_t kCells = 37;
    std::vector<uint8_t> y(2 * kCells), u(kCells), v(kCells);
    for (int32_t i = 0; i < 2 * kCells; ++i) y[i] = static_cast<uint8_t>(i);
    for (int32_t i = 0; i < kCells; ++i) {
        u[i] = static_cast<uint8_t>(100 + i);
        v[i] = static_cast<uint8_t>(200 + i);
    }
    for (const UyvyKernels* k : tables()) {
        SCOPED_TRACE(k->name);
        std::vector<uint8_t> out(4 * kCells, kSentinel);
        k->pack_row(y.data(), u.data(), v.data(), out.data(), kCells);
        for (int32_t i = 0; i < kCells; ++i) {
            ASSERT_EQ(out[4 * i + 0], 100 + i) << i;
            ASSERT_EQ(out[4 * i + 1], 2 * i) << i;
            ASSERT_EQ(out[4 * i + 2], 200 + i) << i;
            ASSERT_EQ(out[4 * i + 3], 2 * i + 1) << i;
        }
    }
}

TEST(UyvyKernels, InterpolationWrapsAtBothEndsInEveryLane) {
    // U taps 0, 255, 255, 0 give 286, stored as 30; V taps 255, 0, 0, 255
    // give -33, stored as 223. Flat 128 gives 127.
    constexpr int32_t kCells = 40;
    const std::vector<uint8_t> lo(kCells, 0), hi(kCells, 255), mid(kCells, 128), y(2 * kCells, 9);
    const ChromaTaps u{{lo.data(), hi.data(), hi.data(), lo.data()}};
    const ChromaTaps v{{hi.data(), lo.data(), lo.data(), hi.data()}};
    const ChromaTaps flat{{mid.data(), mid.data(), mid.data(), mid.data()}};
    for (const UyvyKernels* k : tables()) {
        SCOPED_TRACE(k->name);
        std::vector<uint8_t> out(4 * kCells, kSentinel);
        k->pack_interp_row(y.data(), u, v, out.data(), kCells);
        for (int32_t i = 0; i < kCells; ++i) {
            ASSERT_EQ(out[4 * i + 0], 30) << i;
            ASSERT_EQ(out[4 * i + 2], 223) << i;
            ASSERT_EQ(out[4 * i + 1], 9);
            ASSERT_EQ(out[4 * i + 3], 9);
        }
        k->pack_interp_row(y.data(), flat, u, out.data(), kCells);
        for (int32_t i = 0; i < kCells; ++i) {
            ASSERT_EQ(out[4 * i + 0], 127) << i;
            ASSERT_EQ(out[4 * i + 2], 30) << i;
        }
    }
}

TEST(UyvyKernels, PackRowMatchesTheRuleForEveryLengthAndAlignment) {
    std::mt19937 rng(11);
    for (const UyvyKernels* k : tables()) {
        SCOPED_TRACE(k->name);
        for (int32_t cells = 0; cells <= 80; ++cells)
            for (size_t misalign = 0; misalign < 4; ++misalign) {
                Exact y(2 * cells, misalign), u(cells, (misalign + 1) % 4), v(cells, (misalign + 3) % 4);
                for (auto* b : {&y, &u, &v})
                    for (size_t i = 0; i < b->size(); ++i) b->data()[i] = pixel(rng);
                Guarded out(4 * cells + misalign);
                k->pack_row(y.data(), u.data(), v.data(), out.data() + misalign, cells);
                const auto got = out.body();
                for (size_t i = 0; i < misalign; ++i) ASSERT_EQ(got[i], kSentinel);
                for (int32_t i = 0; i < cells; ++i) {
                    const uint8_t* cell = got.data() + misalign + 4 * i;
                    ASSERT_EQ(cell[0], u.data()[i]) << cells << " cells, cell " << i;
                    ASSERT_EQ(cell[1], y.data()[2 * i]) << cells << " cells, cell " << i;
                    ASSERT_EQ(cell[2], v.data()[i]) << cells << " cells, cell " << i;
                    ASSERT_EQ(cell[3], y.data()[2 * i + 1]) << cells << " cells, cell " << i;
                }
                ASSERT_TRUE(out.guards_intact()) << cells << " cells";
            }
    }
}

TEST(UyvyKernels, InterpolatedRowMatchesTheRuleForEveryLengthAndAlignment) {
    std::mt19937 rng(12);
    for (const UyvyKernels* k : tables()) {
        SCOPED_TRACE(k->name);
        for (int32_t cells = 0; cells <= 80; ++cells)
            for (size_t misalign = 0; misalign < 4; ++misalign) {
                Exact y(2 * cells, misalign);
                std::vector<Exact> rows;
                for (size_t r = 0; r < 8; ++r) rows.emplace_back(cells, (misalign + r) % 4);
                for (auto& b : rows)
                    for (size_t i = 0; i < b.size(); ++i) b.data()[i] = pixel(rng);
                for (size_t i = 0; i < y.size(); ++i) y.data()[i] = pixel(rng);
                const ChromaTaps u{{rows[0].data(), rows[1].data(), rows[2].data(), rows[3].data()}};
                const ChromaTaps v{{rows[4].data(), rows[5].data(), rows[6].data(), rows[7].data()}};
                Guarded out(4 * cells + misalign);
                k->pack_interp_row(y.data(), u, v, out.data() + misalign, cells);
                const auto got = out.body();
                for (int32_t i = 0; i < cells; ++i) {
                    const uint8_t* cell = got.data() + misalign + 4 * i;
                    ASSERT_EQ(cell[0], rule_interpolate(u.row[0][i], u.row[1][i], u.row[2][i], u.row[3][i]))
                        << cells << " cells, cell " << i;
                    ASSERT_EQ(cell[1], y.data()[2 * i]);
                    ASSERT_EQ(cell[2], rule_interpolate(v.row[0][i], v.row[1][i], v.row[2][i], v.row[3][i]))
                        << cells << " cells, cell " << i;
                    ASSERT_EQ(cell[3], y.data()[2 * i + 1]);
                }
                for (size_t i = 0; i < misalign; ++i) ASSERT_EQ(got[i], kSentinel);
                ASSERT_TRUE(out.guards_intact()) << cells << " cells";
            }
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

}  // namespace
