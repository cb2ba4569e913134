// The host's matrices and their cell copy: `frommatrix` (plane map, crop,
// flip, nearest and bilinear scaling), `fillplane`, `clear_custom` and the
// uyvy/ayuv converters, between two matrices of arbitrary description
// (type, plane count, dimension count, dims, strides, size, flags) and with
// arbitrary conversion descriptors.
//
// Every matrix sits in a heap block of exactly its size: owning matrices in
// the host's own block of info.size bytes, referring ones in a block of
// ours of exactly the size they are told, so that AddressSanitizer catches
// any byte touched outside either matrix. A source may also be the
// destination itself or refer into the destination's block.
//
// Checked beyond the sanitizers (copy.h, fill.h, kernels.h):
//   - frommatrix between two views that fit gives, byte for byte over the
//     whole destination block, what the reference kernel gives on copies of
//     both blocks (so no byte outside the mapped cells and planes changes),
//     and every kernel level gives the same; the source block is left as
//     it was unless it is the destination's;
//   - frommatrix with a matrix that is not such a view fails and changes
//     nothing;
//   - fillplane on a view sets that byte of every cell and nothing else,
//     at every kernel level.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "hoxhost.h"
#include "matrix/copy.h"
#include "matrix/fill.h"
#include "matrix/layout.h"

namespace {

constexpr const char* kTarget = "frommatrix";
// The largest block a matrix may get: enough for every shape that matters,
// small enough to stay fast.
constexpr int64_t kMaxBlock = int64_t(1) << 18;

t_hox_err err_of(void* result) { return static_cast<t_hox_err>(reinterpret_cast<intptr_t>(result)); }

// A heap block of exactly `size` bytes (malloc(0) for none: any access is
// out of bounds).
struct Block {
    uint8_t* p = nullptr;
    int64_t size = 0;
    explicit Block(int64_t n) : p(static_cast<uint8_t*>(std::malloc(static_cast<size_t>(n)))), size(n) {
        if (!p) vorfuzz::fail(kTarget, "out of memory");
    }
    Block(const uint8_t* from, int64_t n) : Block(n) {
        if (n) std::memcpy(p, from, static_cast<size_t>(n));
    }
    ~Block() { std::free(p); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    bool same(const uint8_t* other) const { return size == 0 || std::memcmp(p, other, static_cast<size_t>(size)) == 0; }
};

// Values that sit on the edges of the rules, or raw ones.
const int32_t kPlanes[] = {4, 4, 4, 1, 2, 3, 5, 8, 0, -1, 31, 32, 33, INT32_MAX, INT32_MIN};
const int32_t kDimCounts[] = {2, 2, 2, 1, 3, 4, 0, -1, 32, 33};
const int32_t kDims[] = {1, 2, 3, 4, 5, 7, 8, 9, 16, 17, 31, 33, 64, 65, 0, -1, -7, INT32_MAX, INT32_MIN, 100, 255};
const int32_t kBounds[] = {
    0,       1,      -1, 2, 3, 4, 5, 7, 8, 15, 16, 31, 32, 63, 64, INT32_MAX, INT32_MIN, INT32_MAX - 1, INT32_MIN + 1,
    1 << 16, 1 << 30};
const int32_t kMapEntries[] = {0, 1, 2, 3, 0, 1, 2, 3, -1, 4, 5, 31, 32, INT32_MIN, INT32_MAX};
const int32_t kFlags[] = {0, 2, 4, 8, 6, 10, 12, 14, 1, 16, -1};

t_symbol* type_symbol(uint8_t k) {
    switch (k % 8) {
    case 3: return gensym("long");
    case 4: return gensym("float32");
    case 5: return gensym("float64");
    case 6: return nullptr;  // the host takes char
    case 7: return gensym("int16");
    default: return gensym("char");
    }
}

// How a matrix of the input is made.
enum class Kind : uint8_t { owning, owning_ex, referring, same_as_destination, inside_destination };

// An upper bound of the bytes a description spans, with the host's clamps.
int64_t span_bound(const t_vor_matrix_info& in, bool tight) {
    t_vor_matrix_info info = in;
    if (!info.type) info.type = gensym("char");
    if (!vor_mx_info_clamp(info)) return 0;
    if (tight) return vor_mx_info_tighten(info) ? info.size : INT64_MAX;
    __int128 span = static_cast<__int128>(info.planecount) * vor_mx_type_size(info.type);
    for (int32_t d = 0; d < info.dimcount; ++d) {
        const int64_t stride = info.dimstride[d] < 0 ? -int64_t(info.dimstride[d]) : info.dimstride[d];
        span += static_cast<__int128>(info.dim[d] - 1) * stride;
    }
    return span > INT64_MAX ? INT64_MAX : static_cast<int64_t>(span);
}

struct Matrix {
    void* object = nullptr;      // null for a source that is the destination
    std::vector<Block*> blocks;  // what referring matrices point into (ours)

    ~Matrix() {
        if (object) vor_object_free(object);
        for (Block* b : blocks) delete b;
    }
};

t_vor_matrix_info read_info(vorfuzz::Reader& r, Kind kind) {
    t_vor_matrix_info info{};
    info.type = type_symbol(r.u8());
    info.planecount = r.pick_or_raw(kPlanes);
    info.dimcount = r.pick_or_raw(kDimCounts);
    for (int d = 0; d < VOR_MATRIX_MAXDIMCOUNT; ++d) info.dim[d] = 1;
    const int32_t given = info.dimcount < 1 ? 1 : info.dimcount > 4 ? 4 : info.dimcount;
    for (int d = 0; d < given; ++d) info.dim[d] = r.pick_or_raw(kDims);
    info.flags = r.pick_or_raw(kFlags) & ~VOR_MATRIX_DATA_REFERENCE;
    if (kind == Kind::owning) return info;

    // Strides: tight ones, padded ones, or anything.
    t_vor_matrix_info tight = info;
    if (!tight.type) tight.type = gensym("char");
    if (vor_mx_info_clamp(tight)) vor_mx_info_tighten(tight);
    for (int d = 0; d < given; ++d) {
        switch (r.u8() % 6) {
        case 0:
        case 1: info.dimstride[d] = tight.dimstride[d]; break;
        case 2: {
            const int64_t padded = int64_t(tight.dimstride[d]) + r.u8();
            info.dimstride[d] = static_cast<int32_t>(std::min<int64_t>(padded, INT32_MAX));
            break;
        }
        case 3: info.dimstride[d] = static_cast<int32_t>(r.u8() % 8); break;
        case 4: info.dimstride[d] = -static_cast<int32_t>(r.u8()); break;
        default: info.dimstride[d] = r.i32(); break;
        }
    }
    switch (r.u8() % 5) {
    case 0: info.size = span_bound(info, false); break;
    case 1: info.size = span_bound(info, false) - 1; break;
    case 2: {
        // Some slack past the span, unless the span is already near the
        // largest size there is.
        const int64_t bound = span_bound(info, false);
        const uint8_t slack = r.u8();
        info.size = bound > INT64_MAX - slack ? bound : bound + slack;
        break;
    }
    case 3: info.size = r.u16(); break;
    default: info.size = static_cast<int64_t>(r.u64() >> (r.u8() % 64)); break;
    }
    return info;
}

VORFUZZ_UNTRACED void fill_block(vorfuzz::Reader& r, uint8_t* p, int64_t n) {
    const uint8_t seed = r.u8(), step = r.u8();
    for (int64_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(seed + step * i + (i >> 8));
}

// Makes a matrix as the input describes it; false when its block would be
// larger than kMaxBlock (asking the host for gigabytes is not a fault).
bool make_matrix(vorfuzz::Reader& r, Kind kind, Matrix& m, void* destination) {
    if (kind == Kind::same_as_destination) return true;
    t_vor_matrix_info info = read_info(r, kind == Kind::inside_destination ? Kind::referring : kind);
    if (kind == Kind::owning || kind == Kind::owning_ex) {
        const int64_t need = std::max(span_bound(info, true),
                                      kind == Kind::owning_ex ? std::max(info.size, span_bound(info, false)) : 0);
        if (need > kMaxBlock) return false;
    } else if (info.size > kMaxBlock) {
        info.size = kMaxBlock;
    }
    m.object = vor_object_new(_vor_sym_vor_matrix, nullptr);
    VORFUZZ_CHECK(kTarget, m.object != nullptr, "a matrix cannot be made");
    if (kind == Kind::owning) {
        vor_object_method(m.object, _vor_sym_setinfo, &info);
    } else if (kind == Kind::owning_ex) {
        vor_object_method(m.object, _vor_sym_setinfo_ex, &info);
    } else {
        info.flags |= VOR_MATRIX_DATA_REFERENCE;
        const int64_t size = info.size < 0 ? 0 : info.size;
        vor_object_method(m.object, _vor_sym_setinfo_ex, &info);
        if (kind == Kind::inside_destination) {
            // Somewhere in the destination's block, as far as it reaches.
            t_vor_matrix_info di{};
            void* dd = nullptr;
            vor_object_method(destination, _vor_sym_getinfo, &di);
            vor_object_method(destination, _vor_sym_getdata, &dd);
            if (!dd || di.size <= 0) return true;
            const int64_t at = r.u16() % di.size;
            info.size = std::min<int64_t>(size, di.size - at);
            vor_object_method(m.object, _vor_sym_setinfo_ex, &info);
            vor_object_method(m.object, _vor_sym_data, static_cast<uint8_t*>(dd) + at);
            return true;
        }
        if (r.u8() % 8 == 0) return true;  // no data given at all
        auto* block = new Block(size);
        m.blocks.push_back(block);
        fill_block(r, block->p, block->size);
        vor_object_method(m.object, _vor_sym_data, block->p);
        return true;
    }
    // Owning matrices start zero-filled; give them contents.
    t_vor_matrix_info now{};
    void* data = nullptr;
    vor_object_method(m.object, _vor_sym_getinfo, &now);
    vor_object_method(m.object, _vor_sym_getdata, &data);
    if (data && now.size > 0) fill_block(r, static_cast<uint8_t*>(data), now.size);
    return true;
}

t_vor_matrix_conv_info read_conv(vorfuzz::Reader& r) {
    t_vor_matrix_conv_info c{};
    c.flags = r.pick_or_raw(kFlags);
    switch (r.u8() % 5) {
    case 0:
        for (int i = 0; i < VOR_MATRIX_MAXPLANECOUNT; ++i) c.planemap[i] = i;
        break;
    case 1:
        for (int i = 0; i < VOR_MATRIX_MAXPLANECOUNT; ++i) c.planemap[i] = i < 4 ? 3 - i : i;
        break;
    case 2:
        for (int i = 0; i < VOR_MATRIX_MAXPLANECOUNT; ++i) c.planemap[i] = -1;
        [[fallthrough]];
    default:
        for (int i = 0; i < 4; ++i) c.planemap[i] = r.pick_or_raw(kMapEntries);
        break;
    }
    for (int d = 0; d < 2; ++d) {
        c.srcdimstart[d] = r.pick_or_raw(kBounds);
        c.srcdimend[d] = r.pick_or_raw(kBounds);
        c.dstdimstart[d] = r.pick_or_raw(kBounds);
        c.dstdimend[d] = r.pick_or_raw(kBounds);
    }
    return c;
}

struct State {
    t_vor_matrix_info info{};
    uint8_t* data = nullptr;
    vor_mx_view view{};
    bool is_view = false;
};

State state_of(void* m) {
    State s;
    void* data = nullptr;
    vor_object_method(m, _vor_sym_getinfo, &s.info);
    vor_object_method(m, _vor_sym_getdata, &data);
    s.data = static_cast<uint8_t*>(data);
    s.is_view = vor_mx_info_view(s.info, data, s.view);
    return s;
}

// A matrix of many cells in a small block (strides of 0) is valid, but
// walking its cells takes as long as its dims say: ops on such matrices are
// left out.
constexpr int64_t kMaxCells = int64_t(1) << 16;
VORFUZZ_UNTRACED bool walkable(const State& s) {
    int64_t cells = 1;
    for (int32_t d = 0; d < s.info.dimcount && d < VOR_MATRIX_MAXDIMCOUNT; ++d) {
        cells *= s.info.dim[d] < 1 ? 1 : s.info.dim[d];
        if (cells > kMaxCells) return false;
    }
    return true;
}

// The bytes of a matrix's block, as far as its description says it goes.
int64_t readable(const State& s) { return s.data && s.info.size > 0 ? s.info.size : 0; }

std::vector<vor_mx_kernel> fast_kernels() {
    std::vector<vor_mx_kernel> out = {vor_mx_kernel::automatic};
    for (vor_mx_kernel k : {vor_mx_kernel::portable, vor_mx_kernel::sse2, vor_mx_kernel::ssse3, vor_mx_kernel::avx2})
        if (vor_mx_kernel_supported(k)) out.push_back(k);
    return out;
}

VORFUZZ_UNTRACED void check_frommatrix(void* dst, void* src, const t_vor_matrix_conv_info* conv) {
    const State d = state_of(dst);
    const State s = state_of(src);
    if (!walkable(d)) return;
    const Block d_before(d.data, readable(d));
    const Block s_before(s.data, readable(s));
    const bool shares = d.data && s.data && d.data < s.data + readable(s) && s.data < d.data + readable(d);

    const t_hox_err err = err_of(vor_object_method(dst, _vor_sym_frommatrix, src, conv));
    if (!d.is_view || !s.is_view) {
        VORFUZZ_CHECK(kTarget, err != HOX_ERR_NONE, "frommatrix took a matrix that is not a char view");
        VORFUZZ_CHECK(kTarget, d_before.same(d.data), "a refused frommatrix changed the destination");
        return;
    }
    VORFUZZ_CHECK(kTarget, err == HOX_ERR_NONE, "frommatrix refused two views that fit: " + std::to_string(err));

    // The reference kernel on copies of both blocks.
    Block want(d_before.p, d_before.size);
    Block source(s_before.p, s_before.size);
    vor_mx_view dv = d.view, sv = s.view;
    dv.data = want.p;
    sv.data = source.p;
    VORFUZZ_CHECK(kTarget, vor_mx_copy(dv, sv, conv, vor_mx_kernel::reference) == HOX_ERR_NONE,
                  "the reference refused two views");
    VORFUZZ_CHECK(kTarget, want.same(d.data), "frommatrix differs from the reference kernel");
    if (!shares) VORFUZZ_CHECK(kTarget, s_before.same(s.data), "frommatrix changed its source");

    // Every level, on its own copies.
    if (want.size > (int64_t(1) << 16)) return;
    for (vor_mx_kernel k : fast_kernels()) {
        Block got(d_before.p, d_before.size);
        Block from(s_before.p, s_before.size);
        dv.data = got.p;
        sv.data = from.p;
        VORFUZZ_CHECK(kTarget, vor_mx_copy(dv, sv, conv, k) == HOX_ERR_NONE, "a kernel level refused two views");
        VORFUZZ_CHECK(kTarget, got.same(want.p),
                      std::string("kernel level ") + vor_mx_kernel_name(k) + " differs from the reference");
    }
}

VORFUZZ_UNTRACED void check_fillplane(void* m, long plane, long value) {
    const State s = state_of(m);
    if (!walkable(s) || s.info.size > kMaxBlock) return;
    const Block before(s.data, readable(s));
    const t_hox_err err = err_of(vor_object_method(m, _vor_sym_fillplane, plane, value));
    if (!s.is_view) return;  // other types and shapes: the sanitizers only
    if (plane < 0 || plane >= s.info.planecount) {
        VORFUZZ_CHECK(kTarget, err != HOX_ERR_NONE, "fillplane took a plane the matrix does not have");
        VORFUZZ_CHECK(kTarget, before.same(s.data), "a refused fillplane changed the matrix");
        return;
    }
    VORFUZZ_CHECK(kTarget, err == HOX_ERR_NONE, "fillplane refused a view");
    // The bytes that are plane `plane` of some cell.
    std::vector<uint8_t> written(static_cast<size_t>(before.size), 0);
    for (int32_t y = 0; y < s.view.height; ++y)
        for (int32_t x = 0; x < s.view.width; ++x)
            written[static_cast<size_t>(y * s.view.ystride + x * s.view.xstride + plane)] = 1;
    const auto v = static_cast<uint8_t>(value);
    for (int64_t i = 0; i < before.size; ++i) {
        const uint8_t want = written[static_cast<size_t>(i)] ? v : before.p[i];
        VORFUZZ_CHECK(kTarget, s.data[i] == want, "fillplane wrote byte " + std::to_string(i) + " wrongly");
    }
    if (before.size > (int64_t(1) << 16)) return;
    for (vor_mx_kernel k : fast_kernels()) {
        Block got(before.p, before.size);
        vor_mx_view view = s.view;
        view.data = got.p;
        vor_mx_fill_plane(view, static_cast<int32_t>(plane), v, k);
        VORFUZZ_CHECK(kTarget, got.same(s.data), std::string("fill level ") + vor_mx_kernel_name(k) + " differs");
    }
}

void fuzz_one(const uint8_t* data, size_t size) {
    vorfuzz::Reader r(data, size);
    Matrix dst, src;
    const auto dkind = static_cast<Kind>(r.u8() % 3);
    if (!make_matrix(r, dkind, dst, nullptr)) return;
    const auto skind = static_cast<Kind>(r.u8() % 5);
    if (!make_matrix(r, skind, src, dst.object)) return;
    void* const source = src.object ? src.object : dst.object;

    static void* const to_ayuv = vor_object_new(gensym("vor_uyvy2ayuv"), nullptr);
    static void* const to_uyvy = vor_object_new(gensym("vor_ayuv2uyvy"), nullptr);

    for (int op = 0; op < 6 && !r.empty(); ++op) {
        switch (r.u8() % 6) {
        case 0:
        case 1: {
            const bool with = r.u8() % 4 != 0;
            const t_vor_matrix_conv_info conv = read_conv(r);
            check_frommatrix(dst.object, source, with ? &conv : nullptr);
            break;
        }
        case 2: {
            const long plane = r.pick_or_raw(kMapEntries);
            check_fillplane(r.flag() ? source : dst.object, plane, static_cast<long>(r.i32()));
            break;
        }
        case 3:
            if (walkable(state_of(dst.object)))
                vor_object_method(dst.object, _vor_sym_clear_custom, static_cast<long>(r.i32()));
            break;
        case 4: {
            // The converters make the output twice (or half) the input's
            // cells: inputs whose output would be larger than a block are
            // left out.
            const State in = state_of(source);
            if (in.is_view && static_cast<int64_t>(in.view.width) * in.view.height * 8 <= kMaxBlock)
                vor_object_method(r.flag() ? to_ayuv : to_uyvy, _vor_sym_matrix_calc, source, dst.object);
            break;
        }
        default: {
            const t_vor_matrix_conv_info conv = read_conv(r);
            check_frommatrix(source, dst.object, &conv);
            break;
        }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_one(data, size);
    vorfuzz::check_leaks_every(512);
    return 0;
}
