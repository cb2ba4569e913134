// The packed-cell row kernels in plain C++ (the `portable` level), the
// choice of a level's table at run time, and the converters' row entry
// points (see kernels.h).
#include "matrix/kernels.h"

#include <algorithm>
#include <cstring>

#include "matrix/convert.h"

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
#define VOR_MX_X86 1
#else
#define VOR_MX_X86 0
#endif

namespace {


bool is_identity(const uint8_t* map) { return map[0] == 0 && map[1] == 1 && map[2] == 2 && map[3] == 3; }
bool is_reversal(const uint8_t* map) { return map[0] == 3 && map[1] == 2 && map[2] == 1 && map[3] == 0; }

// The reversal is a byte swap of the cell read as a word, whatever the
// byte order; other maps go byte by byte.

void shuffle4_portable(uint8_t* dst, const uint8_t* src, int32_t cells, const uint8_t* map, const uint8_t*) {
    const size_t n = static_cast<size_t>(cells);
    if (is_identity(map)) {
        std::memcpy(dst, src, n * 4);
    } else if (is_reversal(map)) {
        for (size_t j = 0; j < n; ++j) mx_store32(dst + 4 * j, __builtin_bswap32(mx_load32(src + 4 * j)));
    } else {
        const uint8_t m0 = map[0], m1 = map[1], m2 = map[2], m3 = map[3];
        for (size_t j = 0; j < n; ++j) {
            const uint8_t* s = src + 4 * j;
            uint8_t* d = dst + 4 * j;
            d[0] = s[m0], d[1] = s[m1], d[2] = s[m2], d[3] = s[m3];
        }
    }
}

void mirror4_portable(uint8_t* dst, const uint8_t* src, int32_t cells, const uint8_t* map, const uint8_t*) {
    const int64_t n = cells;
    if (is_reversal(map)) {
        for (int64_t j = 0; j < n; ++j) mx_store32(dst + 4 * j, __builtin_bswap32(mx_load32(src - 4 * j)));
    } else {
        const uint8_t m0 = map[0], m1 = map[1], m2 = map[2], m3 = map[3];
        for (int64_t j = 0; j < n; ++j) {
            const uint8_t* s = src - 4 * j;
            uint8_t* d = dst + 4 * j;
            d[0] = s[m0], d[1] = s[m1], d[2] = s[m2], d[3] = s[m3];
        }
    }
}

void gather4_portable(uint8_t* dst, const uint8_t* src, const int32_t* off, int32_t cells, const uint8_t* map,
                      const uint8_t*) {
    const size_t n = static_cast<size_t>(cells);
    if (is_identity(map)) {
        for (size_t j = 0; j < n; ++j) mx_store32(dst + 4 * j, mx_load32(src + off[j]));
    } else if (is_reversal(map)) {
        for (size_t j = 0; j < n; ++j) mx_store32(dst + 4 * j, __builtin_bswap32(mx_load32(src + off[j])));
    } else {
        const uint8_t m0 = map[0], m1 = map[1], m2 = map[2], m3 = map[3];
        for (size_t j = 0; j < n; ++j) {
            const uint8_t* s = src + off[j];
            uint8_t* d = dst + 4 * j;
            d[0] = s[m0], d[1] = s[m1], d[2] = s[m2], d[3] = s[m3];
        }
    }
}

void fill4_portable(uint8_t* row, int32_t cells, int32_t plane, uint8_t value, const uint8_t*) {
    const size_t n = static_cast<size_t>(cells);
    for (size_t j = 0; j < n; ++j) row[4 * j + static_cast<size_t>(plane)] = value;
}

constexpr int32_t kBlendOffset = 32640;  // t = B - 32640 (kernels.h)

void blend_rows_portable(int16_t* t, const uint8_t* r0, const uint8_t* r1, int32_t bytes, uint32_t wy,
                         const uint8_t*, const uint8_t*) {
    const int32_t w0 = 256 - static_cast<int32_t>(wy), w1 = static_cast<int32_t>(wy);
    const size_t n = static_cast<size_t>(bytes);
    for (size_t i = 0; i < n; ++i) t[i] = static_cast<int16_t>(r0[i] * w0 + r1[i] * w1 - kBlendOffset);
}

void blend_cols_portable(uint8_t* out, const int16_t* t, const int32_t* off, const int16_t* w, int32_t count,
                         const uint8_t* map) {
    for (int32_t j = 0; j < count; ++j) {
        const int16_t* c0 = t + off[j];
        const int16_t* c1 = c0 + 4;
        const int32_t w0 = w[8 * j], w1 = w[8 * j + 1];
        for (int32_t i = 0; i < 4; ++i) {
            const int32_t b0 = c0[map[i]] + kBlendOffset, b1 = c1[map[i]] + kBlendOffset;
            out[4 * j + i] = static_cast<uint8_t>((b0 * w0 + b1 * w1 + 32768) >> 16);
        }
    }
}

void uyvy_to_ayuv_portable(const uint8_t* src, int32_t cells, uint8_t* dst) {
    const size_t n = static_cast<size_t>(cells);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* s = src + 4 * i;
        uint8_t* d = dst + 8 * i;
        const uint8_t u = s[0], y0 = s[1], v = s[2], y1 = s[3];
        d[0] = 255, d[1] = y0, d[2] = u, d[3] = v;
        d[4] = 255, d[5] = y1, d[6] = u, d[7] = v;
    }
}

void ayuv_to_uyvy_portable(const uint8_t* src, int32_t pairs, uint8_t* dst) {
    const size_t n = static_cast<size_t>(pairs);
    for (size_t j = 0; j < n; ++j) {
        const uint8_t* a = src + 8 * j;
        uint8_t* d = dst + 4 * j;
        d[0] = static_cast<uint8_t>((a[2] + a[6] + 1) >> 1);
        d[1] = a[1];
        d[2] = static_cast<uint8_t>((a[3] + a[7] + 1) >> 1);
        d[3] = a[5];
    }
}

// ---------------------------------------------------------------- choice

constexpr int kLevels = 4;  // portable, sse2, ssse3, avx2

int level_index(vor_mx_kernel k) {
    switch (k) {
        case vor_mx_kernel::sse2: return 1;
        case vor_mx_kernel::ssse3: return 2;
        case vor_mx_kernel::avx2: return 3;
        case vor_mx_kernel::automatic: return kLevels - 1;
        default: return 0;
    }
}

constexpr vor_mx_kernel kLevelOf[kLevels] = {vor_mx_kernel::portable, vor_mx_kernel::sse2, vor_mx_kernel::ssse3,
                                             vor_mx_kernel::avx2};

struct level_tables {
    vor_mx_kernels table[kLevels];
    int best = 0;  // the highest index the CPU runs
};

level_tables make_tables() {
    level_tables lt;
    vor_mx_kernels t{};
    vor_mx_kernels_fill_portable(t);
    int best = 0;
#if VOR_MX_X86
    __builtin_cpu_init();
    best = __builtin_cpu_supports("sse2") ? 1 : 0;  // always, on x86-64
    if (best >= 1 && __builtin_cpu_supports("ssse3")) best = 2;
    if (best >= 2 && __builtin_cpu_supports("avx2")) best = 3;
#endif
    for (int i = 0; i < kLevels; ++i) {
#if VOR_MX_X86
        if (i <= best) {
            if (i == 1) vor_mx_kernels_fill_sse2(t);
            if (i == 2) vor_mx_kernels_fill_ssse3(t);
            if (i == 3) vor_mx_kernels_fill_avx2(t);
        }
#endif
        t.level = kLevelOf[std::min(i, best)];
        lt.table[i] = t;
    }
    lt.best = best;
    return lt;
}

const level_tables& tables() {
    static const level_tables lt = make_tables();
    return lt;
}

}  // namespace

void vor_mx_kernels_fill_portable(vor_mx_kernels& t) {
    t.level = vor_mx_kernel::portable;
    t.shuffle4 = shuffle4_portable;
    t.mirror4 = mirror4_portable;
    t.gather4 = gather4_portable;
    t.fill4 = fill4_portable;
    t.blend_rows = blend_rows_portable;
    t.blend_cols_any = blend_cols_portable;
    t.blend_cols_fixed = blend_cols_portable;
    t.uyvy_to_ayuv = uyvy_to_ayuv_portable;
    t.ayuv_to_uyvy = ayuv_to_uyvy_portable;
}

const vor_mx_kernels& vor_mx_kernels_for(vor_mx_kernel k) { return tables().table[level_index(k)]; }

bool vor_mx_kernel_supported(vor_mx_kernel k) {
    switch (k) {
        case vor_mx_kernel::sse2:
        case vor_mx_kernel::ssse3:
        case vor_mx_kernel::avx2: return level_index(k) <= tables().best;
        default: return true;
    }
}

vor_mx_kernel vor_mx_kernel_best() { return kLevelOf[tables().best]; }

const char* vor_mx_kernel_name(vor_mx_kernel k) {
    switch (k) {
        case vor_mx_kernel::reference: return "reference";
        case vor_mx_kernel::automatic: return "automatic";
        case vor_mx_kernel::portable: return "portable";
        case vor_mx_kernel::sse2: return "sse2";
        case vor_mx_kernel::ssse3: return "ssse3";
        case vor_mx_kernel::avx2: return "avx2";
    }
    return "?";
}

// ---------------------------------------------------------------- converters

void vor_mx_uyvy_to_ayuv(const uint8_t* src, int64_t sstride, int32_t cells, uint8_t* dst, int64_t dstride,
                         vor_mx_kernel k) {
    if (k != vor_mx_kernel::reference && sstride == 4 && dstride == 4 && cells > 0) {
        vor_mx_kernels_for(k).uyvy_to_ayuv(src, cells, dst);
        return;
    }
    vor_uyvy_to_ayuv_row(src, sstride, cells, dst, dstride);
}

void vor_mx_ayuv_to_uyvy(const uint8_t* src, int64_t sstride, int32_t cells, uint8_t* dst, int64_t dstride,
                         vor_mx_kernel k) {
    // An odd width's last cell is never read; a single cell pairs with itself.
    if (k != vor_mx_kernel::reference && sstride == 4 && dstride == 4 && cells >= 2) {
        vor_mx_kernels_for(k).ayuv_to_uyvy(src, cells / 2, dst);
        return;
    }
    vor_ayuv_to_uyvy_row(src, sstride, cells, dst, dstride);
}
