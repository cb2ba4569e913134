// The cell copy behind `frommatrix` (see copy.h for the mapping).
//
// Shape: the driver validates the views, turns each dimension's ranges into
// a table of byte offsets (one entry per destination cell that is written),
// and then runs a row kernel once per destination row. The plain kernels
// here copy `count` cells between offset tables and handle every case.
// Frames are four one-byte planes packed in four-byte cells; for them the
// driver looks for runs of consecutive cells and hands whole rows to the
// packed kernels of kernels.h:
//   - nearest, cells in a row consecutive on both sides (either way
//     round): a byte shuffle per cell (the plane map);
//   - nearest, consecutive destination cells from source cells anywhere
//     (scaling): the cells gathered through a table of offsets, shuffled;
//   - bilinear: two passes per destination row, the two source rows blended
//     into 16-bit entries (kept for the next row when it reads the same
//     pair), then each destination cell from two neighbouring entries.
// Bilinear in two passes gives the same bytes as the per-cell formula of
// copy.h: with weights that add up to 256, both orders sum the same four
// products a(256-wx)(256-wy) + b wx(256-wy) + c(256-wx)wy + d wx wy
// exactly (the row blend, at most 255 * 256, fits 16 bits; the sum, below
// 2^24, 32), and the only rounding is the final one. The kernels check
// every (wx, wy) pair against the per-cell loop in the tests.
#include "matrix/copy.h"
#include "matrix/kernels.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

namespace {

// One written destination cell along a dimension: its byte offset in the
// destination, the byte offsets of the one or two source cells it reads and
// the weight (0..255) of the second one.
struct axis_entry {
    int64_t dst;
    int64_t src0;
    int64_t src1;
    uint32_t weight;
};

struct plane_pair {
    int32_t dst;
    int32_t src;
};

int64_t clamp64(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Fills `out` with the written cells of one dimension, in the order of k.
void build_axis(bool use_src_range, int32_t rs, int32_t re, int32_t src_cells, int64_t src_stride,
                bool use_dst_range, int32_t ds, int32_t de, int32_t dst_cells, int64_t dst_stride, bool interp,
                std::vector<axis_entry>& out) {
    out.clear();
    int64_t s0 = 0, s1 = src_cells - 1;
    if (use_src_range) {
        s0 = clamp64(rs, 0, src_cells - 1);
        s1 = clamp64(re, 0, src_cells - 1);
    }
    const int64_t sdir = s0 <= s1 ? 1 : -1;
    const int64_t m = (s1 - s0) * sdir + 1;

    int64_t d0 = 0, d1 = dst_cells - 1;
    if (use_dst_range) {
        d0 = ds;
        d1 = de;
    }
    const int64_t ddir = d0 <= d1 ? 1 : -1;
    const int64_t n = (d1 - d0) * ddir + 1;

    // The k whose position d0 + ddir * k lies in 0..dst_cells-1.
    int64_t klo, khi;
    if (ddir > 0) {
        klo = std::max<int64_t>(0, -d0);
        khi = std::min<int64_t>(n - 1, dst_cells - 1 - d0);
    } else {
        klo = std::max<int64_t>(0, d0 - (dst_cells - 1));
        khi = std::min<int64_t>(n - 1, d0);
    }
    if (klo > khi) return;
    out.reserve(static_cast<size_t>(khi - klo + 1));

    // Cell k reads at floor(num(k) / den): nearest num = k m, den = n;
    // bilinear num = (2k + 1) m 65536, den = 2n, which is u + 1/2 in 16.16.
    // num grows by the same step from cell to cell, so the quotient and
    // remainder are carried along instead of divided out per cell (n may
    // reach 2^32 and m 2^31: the first numerator needs 128 bits, the step
    // and everything after it fit 64).
    const int64_t den = interp ? 2 * n : n;
    const int64_t step = interp ? 2 * m * 65536 : m;
    const __int128 first =
        interp ? static_cast<__int128>(2 * klo + 1) * m * 65536 : static_cast<__int128>(klo) * m;
    int64_t q = static_cast<int64_t>(first / den), r = static_cast<int64_t>(first % den);
    const int64_t dq = step / den, dr = step % den;

    for (int64_t k = klo; k <= khi; ++k) {
        axis_entry e{};
        e.dst = (d0 + ddir * k) * dst_stride;
        int64_t i0, i1;
        uint32_t w = 0;
        if (!interp) {
            i0 = q;
            i1 = i0;
        } else {
            const int64_t u = clamp64(q - 32768, 0, (m - 1) * 65536);
            i0 = u >> 16;
            w = static_cast<uint32_t>((u >> 8) & 0xFF);
            i1 = std::min<int64_t>(i0 + 1, m - 1);
        }
        q += dq;
        r += dr;
        if (r >= den) {
            r -= den;
            ++q;
        }
        e.src0 = (s0 + sdir * i0) * src_stride;
        e.src1 = (s0 + sdir * i1) * src_stride;
        e.weight = w;
        out.push_back(e);
    }
}

// ---------------------------------------------------------------- row kernels

// Nearest, any planes: destination cell j takes the source cell at x[j].src0.
void row_nearest_ref(uint8_t* drow, const uint8_t* srow, const axis_entry* x, int32_t count, const plane_pair* planes,
                     int32_t nplanes) {
    for (int32_t j = 0; j < count; ++j) {
        uint8_t* d = drow + x[j].dst;
        const uint8_t* s = srow + x[j].src0;
        for (int32_t p = 0; p < nplanes; ++p) d[planes[p].dst] = s[planes[p].src];
    }
}

// Bilinear, any planes, between source rows r0 and r1 with row weight wy.
void row_bilinear_ref(uint8_t* drow, const uint8_t* r0, const uint8_t* r1, uint32_t wy, const axis_entry* x,
                      int32_t count, const plane_pair* planes, int32_t nplanes) {
    for (int32_t j = 0; j < count; ++j) {
        uint8_t* d = drow + x[j].dst;
        const uint32_t wx = x[j].weight;
        for (int32_t p = 0; p < nplanes; ++p) {
            const int32_t sp = planes[p].src;
            const uint32_t a = r0[x[j].src0 + sp], b = r0[x[j].src1 + sp];
            const uint32_t c = r1[x[j].src0 + sp], e = r1[x[j].src1 + sp];
            const uint32_t top = a * (256 - wx) + b * wx;
            const uint32_t bottom = c * (256 - wx) + e * wx;
            d[planes[p].dst] = static_cast<uint8_t>((top * (256 - wy) + bottom * wy + 32768) >> 16);
        }
    }
}

// Nearest with four planes in both matrices and a full plane map: whole
// cells as 32-bit words. `order` holds map[i] for output byte i.
enum class cell_order { identity, reversed, general };


template <cell_order O>
void row_nearest_cell4(uint8_t* drow, const uint8_t* srow, const axis_entry* x, int32_t count, const uint8_t* map) {
    for (int32_t j = 0; j < count; ++j) {
        const uint8_t* s = srow + x[j].src0;
        uint8_t* d = drow + x[j].dst;
        if constexpr (O == cell_order::identity) {
            mx_store32(d, mx_load32(s));
        } else if constexpr (O == cell_order::reversed) {
            mx_store32(d, __builtin_bswap32(mx_load32(s)));
        } else {
            const uint8_t c[4] = {s[map[0]], s[map[1]], s[map[2]], s[map[3]]};
            std::memcpy(d, c, 4);
        }
    }
}

// ---------------------------------------------------------------- driver

// The tables and rows a copy works with, kept per thread from one call to
// the next: a steady stream of frames of one size allocates nothing.
struct copy_scratch {
    std::vector<axis_entry> xs, ys;
    std::vector<int32_t> off;
    std::vector<int16_t> weights, blended;
    std::vector<uint8_t> packed;
};

copy_scratch& scratch() {
    thread_local copy_scratch s;
    return s;
}

int64_t view_span(const vor_mx_view& v) {
    return (static_cast<int64_t>(v.width) - 1) * v.xstride + (static_cast<int64_t>(v.height) - 1) * v.ystride +
           v.planecount;
}

bool overlaps(const vor_mx_view& a, const vor_mx_view& b) {
    const uint8_t* a0 = a.data;
    const uint8_t* a1 = a.data + view_span(a);
    const uint8_t* b0 = b.data;
    const uint8_t* b1 = b.data + view_span(b);
    return std::less<const uint8_t*>()(a0, b1) && std::less<const uint8_t*>()(b0, a1);
}

// A row of consecutive four-byte cells on both sides: destination cell j
// (from the left) at dst + 4j reads the source cell at src + 4j, or at
// src - 4j when `mirror`.
struct packed_run {
    int64_t dst = 0;
    int64_t src = 0;
    bool mirror = false;
};

bool find_packed_run(const std::vector<axis_entry>& x, packed_run& run) {
    const size_t n = x.size();
    int64_t dstep = 4, sstep = 4;
    if (n > 1) {
        dstep = x[1].dst - x[0].dst;
        sstep = x[1].src0 - x[0].src0;
    }
    if ((dstep != 4 && dstep != -4) || (sstep != 4 && sstep != -4)) return false;
    for (size_t j = 1; j < n; ++j)
        if (x[j].dst - x[j - 1].dst != dstep || x[j].src0 - x[j - 1].src0 != sstep) return false;
    // A destination written right to left is the same run read from its
    // other end.
    const axis_entry& first = dstep > 0 ? x.front() : x.back();
    run.dst = first.dst;
    run.src = first.src0;
    run.mirror = (dstep > 0) != (sstep > 0);
    return true;
}

// When the x table writes consecutive four-byte destination cells (either
// way round), the offsets of their source cells in destination order from
// the leftmost cell at dst0; false when the cells are not consecutive or an
// offset does not fit 31 bits.
bool gather_table(const std::vector<axis_entry>& x, int64_t& dst0, std::vector<int32_t>& off) {
    const size_t n = x.size();
    const int64_t dstep = n > 1 ? x[1].dst - x[0].dst : 4;
    if (dstep != 4 && dstep != -4) return false;
    for (size_t j = 1; j < n; ++j)
        if (x[j].dst - x[j - 1].dst != dstep) return false;
    off.resize(n);
    for (size_t j = 0; j < n; ++j) {
        const axis_entry& e = x[dstep > 0 ? j : n - 1 - j];
        if (e.src0 > INT32_MAX) return false;
        off[j] = static_cast<int32_t>(e.src0);
    }
    dst0 = dstep > 0 ? x.front().dst : x.back().dst;
    return true;
}

// Bilinear between packed four-byte source cells (xstride 4) into
// four-plane destination cells, in the two passes of kernels.h.
void bilinear_packed(const vor_mx_view& dst, const vor_mx_view& src, const std::vector<axis_entry>& xs,
                     const std::vector<axis_entry>& ys, const uint8_t* map, const vor_mx_kernels& k,
                     copy_scratch& sc) {
    const size_t count = xs.size();

    // The destination row: one run of consecutive cells (either way round),
    // or cells placed one by one from a packed row.
    bool direct = dst.xstride == 4;
    int64_t dstep = 4;
    if (direct && count > 1) {
        dstep = xs[1].dst - xs[0].dst;
        direct = dstep == 4 || dstep == -4;
        for (size_t j = 1; direct && j < count; ++j) direct = xs[j].dst - xs[j - 1].dst == dstep;
    }
    const bool backwards = direct && dstep < 0;

    // The source bytes the row reads, and per output cell (left to right
    // in the destination when direct) the entry of its lower source cell
    // and the weights of that cell and the next one.
    int64_t lo = INT64_MAX, hi = INT64_MIN;
    for (const axis_entry& e : xs) {
        lo = std::min({lo, e.src0, e.src1});
        hi = std::max({hi, e.src0, e.src1});
    }
    hi += 4;
    std::vector<int32_t>& off = sc.off;
    std::vector<int16_t>& weights = sc.weights;
    off.resize(count);
    weights.resize(count * 8);
    for (size_t j = 0; j < count; ++j) {
        const axis_entry& e = xs[backwards ? count - 1 - j : j];
        const bool ascending = e.src1 >= e.src0;
        off[j] = static_cast<int32_t>(std::min(e.src0, e.src1) - lo);
        const int16_t w_near = static_cast<int16_t>(256 - e.weight), w_far = static_cast<int16_t>(e.weight);
        for (int p = 0; p < 4; ++p) {
            weights[8 * j + 2 * p] = ascending ? w_near : w_far;
            weights[8 * j + 2 * p + 1] = ascending ? w_far : w_near;
        }
    }
    // The columns pass reads the cell after the last one used (weighing 0
    // where it lies past the row).
    const int32_t bytes = static_cast<int32_t>(hi - lo);
    std::vector<int16_t>& blended = sc.blended;
    blended.assign(static_cast<size_t>(bytes) + 8, 0);
    std::vector<uint8_t>& packed = sc.packed;
    packed.resize(direct ? 0 : count * 4);

    bool identity = true, reversal = true;
    for (int32_t i = 0; i < 4; ++i) {
        identity = identity && map[i] == i;
        reversal = reversal && map[i] == 3 - i;
    }
    const vor_mx_blend_cols_fn cols = identity || reversal ? k.blend_cols_fixed : k.blend_cols_any;
    const int64_t dst0 = backwards ? xs.back().dst : xs.front().dst;

    for (size_t r = 0; r < ys.size(); ++r) {
        const axis_entry& y = ys[r];
        // A row pair blended for the row before is still in `blended`.
        if (r == 0 || ys[r - 1].src0 != y.src0 || ys[r - 1].src1 != y.src1 || ys[r - 1].weight != y.weight) {
            const axis_entry* next = r + 1 < ys.size() ? &ys[r + 1] : nullptr;
            k.blend_rows(blended.data(), src.data + y.src0 + lo, src.data + y.src1 + lo, bytes, y.weight,
                         next ? src.data + next->src0 + lo : nullptr, next ? src.data + next->src1 + lo : nullptr);
        }
        uint8_t* drow = dst.data + y.dst;
        if (direct) {
            cols(drow + dst0, blended.data(), off.data(), weights.data(), static_cast<int32_t>(count), map);
            continue;
        }
        cols(packed.data(), blended.data(), off.data(), weights.data(), static_cast<int32_t>(count), map);
        for (size_t j = 0; j < count; ++j) std::memcpy(drow + xs[j].dst, packed.data() + 4 * j, 4);
    }
}

t_hox_err copy_impl(const vor_mx_view& dst, const vor_mx_view& src_in, const t_vor_matrix_conv_info* conv,
                    vor_mx_kernel kernel) {
    if (!vor_mx_view_fits(dst) || !vor_mx_view_fits(src_in)) return HOX_EROR;

    // Planes to write.
    plane_pair planes[VOR_MATRIX_MAXPLANECOUNT];
    int32_t nplanes = 0;
    const int32_t dp = std::min(dst.planecount, VOR_MATRIX_MAXPLANECOUNT);
    for (int32_t i = 0; i < dp; ++i) {
        const int32_t s = conv ? conv->planemap[i] : i;
        if (s >= 0 && s < src_in.planecount) planes[nplanes++] = {i, s};
    }
    if (nplanes == 0) return HOX_ERR_NONE;

    const bool use_src = conv && (conv->flags & VOR_MATRIX_CONVERT_SRCDIM);
    const bool use_dst = conv && (conv->flags & VOR_MATRIX_CONVERT_DSTDIM);
    bool interp = conv && (conv->flags & VOR_MATRIX_CONVERT_INTERP);

    // Overlapping buffers (a matrix copied into itself, or one referring to
    // another's data): read from a copy of the source.
    vor_mx_view src = src_in;
    std::vector<uint8_t> aside;
    if (overlaps(dst, src_in)) {
        const int64_t span = view_span(src_in);
        aside.assign(src_in.data, src_in.data + span);
        src.data = aside.data();
        src.size = span;
    }

    copy_scratch& sc = scratch();
    std::vector<axis_entry>& xs = sc.xs;
    std::vector<axis_entry>& ys = sc.ys;
    build_axis(use_src, use_src ? conv->srcdimstart[0] : 0, use_src ? conv->srcdimend[0] : 0, src.width, src.xstride,
               use_dst, use_dst ? conv->dstdimstart[0] : 0, use_dst ? conv->dstdimend[0] : 0, dst.width, dst.xstride,
               interp, xs);
    build_axis(use_src, use_src ? conv->srcdimstart[1] : 0, use_src ? conv->srcdimend[1] : 0, src.height, src.ystride,
               use_dst, use_dst ? conv->dstdimstart[1] : 0, use_dst ? conv->dstdimend[1] : 0, dst.height, dst.ystride,
               interp, ys);
    if (xs.empty() || ys.empty()) return HOX_ERR_NONE;
    const int32_t count = static_cast<int32_t>(xs.size());

    // Bilinear cells whose weights are all 0 read one source cell exactly
    // (a * 256 * 256 + 32768 >> 16 == a), as the nearest kernels do; this is
    // the case whenever the ranges have equal sizes.
    const bool fast = kernel != vor_mx_kernel::reference;
    const auto unweighted = [](const std::vector<axis_entry>& axis) {
        return std::all_of(axis.begin(), axis.end(), [](const axis_entry& e) { return e.weight == 0; });
    };
    if (interp && fast && unweighted(xs) && unweighted(ys)) interp = false;

    // Four planes from four: the packed kernels, when the cells fit them.
    const bool cell4 = fast && nplanes == 4 && dst.planecount == 4 && src.planecount == 4 && dst.xstride >= 4 &&
                       src.xstride >= 4;
    uint8_t map[4] = {};
    if (cell4)
        for (int32_t i = 0; i < 4; ++i) map[i] = static_cast<uint8_t>(planes[i].src);

    if (interp) {
        // The two passes index a source row with 32-bit offsets.
        if (cell4 && src.xstride == 4 && src.width <= (1 << 28))
            bilinear_packed(dst, src, xs, ys, map, vor_mx_kernels_for(kernel), sc);
        else
            for (const axis_entry& y : ys)
                row_bilinear_ref(dst.data + y.dst, src.data + y.src0, src.data + y.src1, y.weight, xs.data(), count,
                                 planes, nplanes);
        return HOX_ERR_NONE;
    }

    if (!cell4) {
        for (const axis_entry& y : ys)
            row_nearest_ref(dst.data + y.dst, src.data + y.src0, xs.data(), count, planes, nplanes);
        return HOX_ERR_NONE;
    }

    bool identity = true, reversed = true;
    for (int32_t i = 0; i < 4; ++i) {
        identity = identity && map[i] == i;
        reversed = reversed && map[i] == 3 - i;
    }
    const vor_mx_kernels& k = vor_mx_kernels_for(kernel);
    const auto ahead_row = [&](size_t r) { return r + 1 < ys.size() ? src.data + ys[r + 1].src0 : nullptr; };
    packed_run run;
    if (dst.xstride == 4 && src.xstride == 4 && find_packed_run(xs, run)) {
        // Whole rows of consecutive cells.
        for (size_t r = 0; r < ys.size(); ++r) {
            uint8_t* d = dst.data + ys[r].dst + run.dst;
            const uint8_t* s = src.data + ys[r].src0 + run.src;
            const uint8_t* ahead = ahead_row(r) ? ahead_row(r) + run.src : nullptr;
            if (run.mirror)
                k.mirror4(d, s, count, map, ahead);
            else
                k.shuffle4(d, s, count, map, ahead);
        }
        return HOX_ERR_NONE;
    }
    int64_t dst0 = 0;
    std::vector<int32_t>& gather = sc.off;
    if (dst.xstride == 4 && gather_table(xs, dst0, gather)) {
        // Consecutive destination cells from source cells anywhere in the row.
        for (size_t r = 0; r < ys.size(); ++r)
            k.gather4(dst.data + ys[r].dst + dst0, src.data + ys[r].src0, gather.data(), count, map, ahead_row(r));
        return HOX_ERR_NONE;
    }
    for (const axis_entry& y : ys) {
        uint8_t* drow = dst.data + y.dst;
        const uint8_t* srow = src.data + y.src0;
        if (identity)
            row_nearest_cell4<cell_order::identity>(drow, srow, xs.data(), count, map);
        else if (reversed)
            row_nearest_cell4<cell_order::reversed>(drow, srow, xs.data(), count, map);
        else
            row_nearest_cell4<cell_order::general>(drow, srow, xs.data(), count, map);
    }
    return HOX_ERR_NONE;
}

}  // namespace

bool vor_mx_view_fits(const vor_mx_view& v) {
    if (!v.data || v.size <= 0 || v.width < 1 || v.height < 1 || v.planecount < 1) return false;
    if (v.xstride < 0 || v.ystride < 0) return false;
    const __int128 span = static_cast<__int128>(v.width - 1) * v.xstride +
                          static_cast<__int128>(v.height - 1) * v.ystride + v.planecount;
    return span <= v.size;
}

t_hox_err vor_mx_copy(const vor_mx_view& dst, const vor_mx_view& src, const t_vor_matrix_conv_info* conv,
                      vor_mx_kernel kernel) {
    try {
        return copy_impl(dst, src, conv, kernel);
    } catch (const std::bad_alloc&) {
        return HOX_OMEM;
    } catch (...) {
        return HOX_EROR;
    }
}
