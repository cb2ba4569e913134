// The cell copy behind `frommatrix` (see copy.h for the mapping).
//
// Shape: the driver validates the views, turns each dimension's ranges into
// a table of byte offsets (one entry per destination cell that is written),
// and then runs a row kernel once per destination row. The kernels know
// nothing of ranges or matrices: they copy `count` cells between offset
// tables. The reference kernels are plain loops; the fast ones handle the
// common 4-plane nearest case a cell (four bytes) at a time and must give
// the same bytes.
#include "matrix/copy.h"

#include <algorithm>
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

    for (int64_t k = klo; k <= khi; ++k) {
        axis_entry e{};
        e.dst = (d0 + ddir * k) * dst_stride;
        int64_t i0, i1;
        uint32_t w = 0;
        if (!interp) {
            // k < 2^32 and m < 2^31, so the product fits.
            i0 = (k * m) / n;
            i1 = i0;
        } else {
            // u = ((2k + 1) * m / (2n) - 1/2) in 16.16, floored.
            const __int128 num = static_cast<__int128>(2 * k + 1) * m * 65536;
            int64_t u = static_cast<int64_t>(num / (2 * static_cast<__int128>(n))) - 32768;
            u = clamp64(u, 0, (m - 1) * 65536);
            i0 = u >> 16;
            w = static_cast<uint32_t>((u >> 8) & 0xFF);
            i1 = std::min<int64_t>(i0 + 1, m - 1);
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

inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

template <cell_order O>
void row_nearest_cell4(uint8_t* drow, const uint8_t* srow, const axis_entry* x, int32_t count, const uint8_t* map) {
    for (int32_t j = 0; j < count; ++j) {
        const uint8_t* s = srow + x[j].src0;
        uint8_t* d = drow + x[j].dst;
        if constexpr (O == cell_order::identity) {
            store32(d, load32(s));
        } else if constexpr (O == cell_order::reversed) {
            store32(d, __builtin_bswap32(load32(s)));
        } else {
            const uint8_t c[4] = {s[map[0]], s[map[1]], s[map[2]], s[map[3]]};
            std::memcpy(d, c, 4);
        }
    }
}

// ---------------------------------------------------------------- driver

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

// True when the x table writes consecutive destination cells of `step`
// bytes from consecutive source cells of `step` bytes, both ascending.
bool contiguous(const std::vector<axis_entry>& x, int64_t step) {
    for (size_t j = 1; j < x.size(); ++j)
        if (x[j].dst != x[j - 1].dst + step || x[j].src0 != x[j - 1].src0 + step) return false;
    return true;
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

    std::vector<axis_entry> xs, ys;
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
    const auto unweighted = [](const std::vector<axis_entry>& axis) {
        return std::all_of(axis.begin(), axis.end(), [](const axis_entry& e) { return e.weight == 0; });
    };
    if (interp && kernel == vor_mx_kernel::automatic && unweighted(xs) && unweighted(ys)) interp = false;

    if (interp) {
        for (const axis_entry& y : ys)
            row_bilinear_ref(dst.data + y.dst, src.data + y.src0, src.data + y.src1, y.weight, xs.data(), count, planes,
                             nplanes);
        return HOX_ERR_NONE;
    }

    const bool cell4 = kernel == vor_mx_kernel::automatic && nplanes == 4 && dst.planecount == 4 &&
                       src.planecount == 4 && dst.xstride >= 4 && src.xstride >= 4;
    if (!cell4) {
        for (const axis_entry& y : ys)
            row_nearest_ref(dst.data + y.dst, src.data + y.src0, xs.data(), count, planes, nplanes);
        return HOX_ERR_NONE;
    }

    uint8_t map[4];
    bool identity = true, reversed = true;
    for (int32_t i = 0; i < 4; ++i) {
        map[i] = static_cast<uint8_t>(planes[i].src);
        identity = identity && planes[i].src == i;
        reversed = reversed && planes[i].src == 3 - i;
    }
    if (identity && dst.xstride == 4 && src.xstride == 4 && contiguous(xs, 4)) {
        // Whole rows of cells, unchanged.
        const size_t bytes = static_cast<size_t>(count) * 4;
        for (const axis_entry& y : ys) std::memmove(dst.data + y.dst + xs[0].dst, src.data + y.src0 + xs[0].src0, bytes);
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
