// SSE2 row kernels: eight cells (16 pixels, 32 output bytes) a step, the
// rest of a row by the reference kernel. SSE2 is part of x86-64, so these
// build with the project's ordinary flags.
#include "output/uyvy_kernels.h"

#if defined(VOR_HAVE_X86_KERNELS)

#include <emmintrin.h>

namespace {

constexpr int32_t kCells = 8;

// Cells ahead whose luma and destination lines are asked for every other
// step (see kernels_avx2.cpp: the interpolated rows otherwise outrun the
// hardware prefetchers on frames that are not in cache).
constexpr int32_t kPrefetchCells = 1024;

inline void prefetch(const uint8_t* y, uint8_t* dst, int32_t i) {
    // Addresses as integers: the lines may lie past the buffers.
    const uintptr_t luma = reinterpret_cast<uintptr_t>(y) + 2 * static_cast<uintptr_t>(i + kPrefetchCells);
    const uintptr_t out = reinterpret_cast<uintptr_t>(dst) + 4 * static_cast<uintptr_t>(i + kPrefetchCells);
    __builtin_prefetch(reinterpret_cast<const void*>(luma));
    __builtin_prefetch(reinterpret_cast<const void*>(out));
}

inline __m128i load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline __m128i load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store16(uint8_t* p, __m128i x) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), x); }

// Eight chroma pairs (U V U V ...) and sixteen luma bytes into eight cells.
inline void store_cells(uint8_t* dst, __m128i uv, const uint8_t* y) {
    const __m128i luma = load16(y);
    store16(dst, _mm_unpacklo_epi8(uv, luma));
    store16(dst + 16, _mm_unpackhi_epi8(uv, luma));
}

// 9 * (row1 + row2) - row0 - row3 - 8 for eight samples, in 16-bit lanes.
// The sum lies in [-518, 4582], so nothing overflows; its bits 4..11 are
// the result byte.
inline __m128i interpolate8(const ChromaTaps& c, int32_t i) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_unpacklo_epi8(load8(c.row[0] + i), zero);
    const __m128i b = _mm_unpacklo_epi8(load8(c.row[1] + i), zero);
    const __m128i d = _mm_unpacklo_epi8(load8(c.row[2] + i), zero);
    const __m128i e = _mm_unpacklo_epi8(load8(c.row[3] + i), zero);
    const __m128i inner = _mm_add_epi16(b, d);
    const __m128i outer = _mm_add_epi16(_mm_add_epi16(a, e), _mm_set1_epi16(8));
    return _mm_sub_epi16(_mm_add_epi16(_mm_slli_epi16(inner, 3), inner), outer);
}

}  // namespace

void pack_row_sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int32_t cells) {
    int32_t i = 0;
    for (; i + kCells <= cells; i += kCells) {
        if ((i & 8) == 0) prefetch(y, dst, i);
        const __m128i uv = _mm_unpacklo_epi8(load8(u + i), load8(v + i));
        store_cells(dst + 4 * i, uv, y + 2 * i);
    }
    if (i < cells) pack_row_ref(y + 2 * i, u + i, v + i, dst + 4 * i, cells - i);
}

void pack_interp_row_sse2(const uint8_t* y, const ChromaTaps& u, const ChromaTaps& v, uint8_t* dst, int32_t cells) {
    const __m128i low_byte = _mm_set1_epi16(0x00FF);
    int32_t i = 0;
    for (; i + kCells <= cells; i += kCells) {
        if ((i & 8) == 0) prefetch(y, dst, i);
        // U's result byte to the low byte of each lane, V's to the high one.
        const __m128i cu = _mm_and_si128(_mm_srli_epi16(interpolate8(u, i), 4), low_byte);
        const __m128i cv = _mm_andnot_si128(low_byte, _mm_slli_epi16(interpolate8(v, i), 4));
        store_cells(dst + 4 * i, _mm_or_si128(cu, cv), y + 2 * i);
    }
    if (i < cells) {
        const ChromaTaps ut{{u.row[0] + i, u.row[1] + i, u.row[2] + i, u.row[3] + i}};
        const ChromaTaps vt{{v.row[0] + i, v.row[1] + i, v.row[2] + i, v.row[3] + i}};
        pack_interp_row_ref(y + 2 * i, ut, vt, dst + 4 * i, cells - i);
    }
}

void swap16_sse2(uint8_t* dst, const uint8_t* src, size_t size) {
    size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        for (size_t k = 0; k < 64; k += 16) {
            const __m128i x = load16(src + i + k);
            store16(dst + i + k, _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8)));
        }
    }
    for (; i + 16 <= size; i += 16) {
        const __m128i x = load16(src + i);
        store16(dst + i, _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8)));
    }
    if (i < size) swap16_ref(dst + i, src + i, size - i);
}

#endif
