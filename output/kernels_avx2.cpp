// AVX2 row kernels: 32 cells (64 pixels, 128 output bytes) a step, then
// 16 cells, then the reference kernel for what is left of a row. Each
// function carries its own target attribute, so this file builds with the
// project's ordinary flags and its code runs only where uyvy_kernels() found
// AVX2.
#include "output/uyvy_kernels.h"

#if defined(VOR_HAVE_X86_KERNELS)

#include <immintrin.h>

#define VOR_AVX2 __attribute__((target("avx2")))
#define VOR_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace {

// Cells ahead whose luma and destination lines each step asks for. Without
// it a frame that is not in cache converts about 15% slower than the same
// frame packed without interpolation: the interpolated rows do enough work
// a step that the hardware prefetchers fall behind. Prefetches never fault,
// so the last rows may ask for lines past the end at no risk.
constexpr int32_t kPrefetchCells = 1024;

VOR_AVX2_INLINE void prefetch_step(const uint8_t* y, uint8_t* dst, int32_t i) {
    // Addresses as integers: the lines may lie past the buffers.
    const uintptr_t luma = reinterpret_cast<uintptr_t>(y) + 2 * static_cast<uintptr_t>(i + kPrefetchCells);
    const uintptr_t out = reinterpret_cast<uintptr_t>(dst) + 4 * static_cast<uintptr_t>(i + kPrefetchCells);
    __builtin_prefetch(reinterpret_cast<const void*>(luma));
    __builtin_prefetch(reinterpret_cast<const void*>(out));
    __builtin_prefetch(reinterpret_cast<const void*>(out + 64));
}

VOR_AVX2_INLINE __m128i load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
VOR_AVX2_INLINE __m256i load32(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
VOR_AVX2_INLINE void store32(uint8_t* p, __m256i x) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), x); }

// ---- 32 cells ----
//
// Chroma comes as two vectors of (U, V) byte pairs in the order the in-lane
// byte unpacks leave them: `lo` holds cells 0-7 | 16-23, `hi` cells
// 8-15 | 24-31. The luma halves are paired to match, unpacked in lane, and
// the lanes put back in order as they are stored.
VOR_AVX2_INLINE void store_cells32(uint8_t* dst, __m256i lo, __m256i hi, const uint8_t* y) {
    const __m256i y0 = load32(y);        // cells 0-15
    const __m256i y1 = load32(y + 32);   // cells 16-31
    const __m256i ylo = _mm256_permute2x128_si256(y0, y1, 0x20);  // cells 0-7 | 16-23
    const __m256i yhi = _mm256_permute2x128_si256(y0, y1, 0x31);  // cells 8-15 | 24-31
    const __m256i a = _mm256_unpacklo_epi8(lo, ylo);  // cells 0-3 | 16-19
    const __m256i b = _mm256_unpackhi_epi8(lo, ylo);  // cells 4-7 | 20-23
    const __m256i c = _mm256_unpacklo_epi8(hi, yhi);  // cells 8-11 | 24-27
    const __m256i d = _mm256_unpackhi_epi8(hi, yhi);  // cells 12-15 | 28-31
    store32(dst, _mm256_permute2x128_si256(a, b, 0x20));
    store32(dst + 32, _mm256_permute2x128_si256(c, d, 0x20));
    store32(dst + 64, _mm256_permute2x128_si256(a, b, 0x31));
    store32(dst + 96, _mm256_permute2x128_si256(c, d, 0x31));
}

// 9 * (row1 + row2) - row0 - row3 - 8 for 32 samples as two vectors of
// 16-bit sums, samples 0-7 | 16-23 and 8-15 | 24-31. Each row's bytes are
// paired with their outer neighbour's (row1 with row0, row2 with row3), and
// one multiply-add per pair gives 9 * inner - outer. The sum lies in
// [-518, 4582], so nothing saturates or overflows; its bits 4..11 are the
// result byte.
struct Sums {
    __m256i lo, hi;
};
VOR_AVX2_INLINE Sums interpolate32(const uint8_t* const (&row)[4], int32_t i) {
    const __m256i taps = _mm256_set1_epi16(static_cast<int16_t>(0xFF09));  // bytes 9, -1
    const __m256i bias = _mm256_set1_epi16(8);
    const __m256i r0 = load32(row[0] + i), r1 = load32(row[1] + i);
    const __m256i r2 = load32(row[2] + i), r3 = load32(row[3] + i);
    const __m256i top_lo = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(r1, r0), taps);
    const __m256i top_hi = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(r1, r0), taps);
    const __m256i bottom_lo = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(r2, r3), taps);
    const __m256i bottom_hi = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(r2, r3), taps);
    return {_mm256_sub_epi16(_mm256_add_epi16(top_lo, bottom_lo), bias),
            _mm256_sub_epi16(_mm256_add_epi16(top_hi, bottom_hi), bias)};
}

// U's result byte to the low byte of each 16-bit lane, V's to the high one.
VOR_AVX2_INLINE __m256i chroma_pairs(__m256i u_sum, __m256i v_sum) {
    const __m256i low_byte = _mm256_set1_epi16(0x00FF);
    const __m256i cu = _mm256_and_si256(_mm256_srli_epi16(u_sum, 4), low_byte);
    const __m256i cv = _mm256_andnot_si256(low_byte, _mm256_slli_epi16(v_sum, 4));
    return _mm256_or_si256(cu, cv);
}

// ---- 16 cells ----

// Sixteen chroma pairs (cells 0-7 in the low lane, 8-15 in the high one) and
// 32 luma bytes into sixteen cells. The in-lane unpacks give cells
// 0-3 | 8-11 and 4-7 | 12-15; the lane permutes put them in order.
VOR_AVX2_INLINE void store_cells16(uint8_t* dst, __m256i uv, const uint8_t* y) {
    const __m256i luma = load32(y);
    const __m256i lo = _mm256_unpacklo_epi8(uv, luma);
    const __m256i hi = _mm256_unpackhi_epi8(uv, luma);
    store32(dst, _mm256_permute2x128_si256(lo, hi, 0x20));
    store32(dst + 32, _mm256_permute2x128_si256(lo, hi, 0x31));
}

// The sum of interpolate32 for sixteen samples, in order, widened first.
VOR_AVX2_INLINE __m256i interpolate16(const uint8_t* const (&row)[4], int32_t i) {
    const __m256i a = _mm256_cvtepu8_epi16(load16(row[0] + i));
    const __m256i b = _mm256_cvtepu8_epi16(load16(row[1] + i));
    const __m256i d = _mm256_cvtepu8_epi16(load16(row[2] + i));
    const __m256i e = _mm256_cvtepu8_epi16(load16(row[3] + i));
    const __m256i inner = _mm256_add_epi16(b, d);
    const __m256i outer = _mm256_add_epi16(_mm256_add_epi16(a, e), _mm256_set1_epi16(8));
    return _mm256_sub_epi16(_mm256_add_epi16(_mm256_slli_epi16(inner, 3), inner), outer);
}

}  // namespace

VOR_AVX2 void pack_row_avx2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int32_t cells) {
    int32_t i = 0;
    for (; i + 32 <= cells; i += 32) {
        prefetch_step(y, dst, i);
        const __m256i cu = load32(u + i), cv = load32(v + i);
        store_cells32(dst + 4 * i, _mm256_unpacklo_epi8(cu, cv), _mm256_unpackhi_epi8(cu, cv), y + 2 * i);
    }
    if (i + 16 <= cells) {
        const __m128i cu = load16(u + i), cv = load16(v + i);
        const __m256i uv = _mm256_set_m128i(_mm_unpackhi_epi8(cu, cv), _mm_unpacklo_epi8(cu, cv));
        store_cells16(dst + 4 * i, uv, y + 2 * i);
        i += 16;
    }
    if (i < cells) pack_row_ref(y + 2 * i, u + i, v + i, dst + 4 * i, cells - i);
}

VOR_AVX2 void pack_interp_row_avx2(const uint8_t* y, const ChromaTaps& u, const ChromaTaps& v, uint8_t* dst,
                                   int32_t cells) {
    // The row pointers in locals: the stores through `dst` could otherwise
    // alias the taps and force a reload of every pointer every step.
    const uint8_t* const ur[4] = {u.row[0], u.row[1], u.row[2], u.row[3]};
    const uint8_t* const vr[4] = {v.row[0], v.row[1], v.row[2], v.row[3]};
    int32_t i = 0;
    for (; i + 32 <= cells; i += 32) {
        prefetch_step(y, dst, i);
        const Sums su = interpolate32(ur, i), sv = interpolate32(vr, i);
        store_cells32(dst + 4 * i, chroma_pairs(su.lo, sv.lo), chroma_pairs(su.hi, sv.hi), y + 2 * i);
    }
    if (i + 16 <= cells) {
        store_cells16(dst + 4 * i, chroma_pairs(interpolate16(ur, i), interpolate16(vr, i)), y + 2 * i);
        i += 16;
    }
    if (i < cells) {
        const ChromaTaps ut{{ur[0] + i, ur[1] + i, ur[2] + i, ur[3] + i}};
        const ChromaTaps vt{{vr[0] + i, vr[1] + i, vr[2] + i, vr[3] + i}};
        pack_interp_row_ref(y + 2 * i, ut, vt, dst + 4 * i, cells - i);
    }
}

VOR_AVX2 void swap16_avx2(uint8_t* dst, const uint8_t* src, size_t size) {
    const __m256i order = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14,  //
                                           1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    size_t i = 0;
    for (; i + 128 <= size; i += 128) {
        const __m256i a = load32(src + i);
        const __m256i b = load32(src + i + 32);
        const __m256i c = load32(src + i + 64);
        const __m256i d = load32(src + i + 96);
        store32(dst + i, _mm256_shuffle_epi8(a, order));
        store32(dst + i + 32, _mm256_shuffle_epi8(b, order));
        store32(dst + i + 64, _mm256_shuffle_epi8(c, order));
        store32(dst + i + 96, _mm256_shuffle_epi8(d, order));
    }
    for (; i + 32 <= size; i += 32) store32(dst + i, _mm256_shuffle_epi8(load32(src + i), order));
    if (i < size) swap16_ref(dst + i, src + i, size - i);
}

#endif
