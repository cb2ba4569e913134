// The AVX2 row kernels (see kernels.h). As in kernels_sse.cpp the
// instruction set is a target attribute per function. Vector loops take 32
// bytes (or two vectors) at a time and hand what is left of a row to the
// SSSE3 or SSE2 kernel of the same job, which finishes it cell by cell.
// Gathering cells for nearest scaling stays with the SSSE3 kernel: its
// scalar loads measured faster than vpgatherdd here.
#include "matrix/kernels.h"

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)

#include <immintrin.h>

#define VOR_AVX2 __attribute__((target("avx2")))

namespace {

// The smaller kernels that finish a row (kernels_sse.cpp, through the
// tables, so that no second copy of them is built here).
struct tails {
    vor_mx_kernels sse2{};
    vor_mx_kernels ssse3{};
};

const tails& tail_kernels() {
    static const tails t = [] {
        tails k;
        vor_mx_kernels_fill_portable(k.sse2);
        vor_mx_kernels_fill_sse2(k.sse2);
        k.ssse3 = k.sse2;
        vor_mx_kernels_fill_ssse3(k.ssse3);
        return k;
    }();
    return t;
}

VOR_AVX2 inline __m256i load256(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
VOR_AVX2 inline void store256(void* p, __m256i v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
VOR_AVX2 inline __m128i load128(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void prefetch(const uint8_t* p) { _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0); }

constexpr int64_t kFillLead = 2048;  // see kernels_sse.cpp

VOR_AVX2 void fill4_avx2(uint8_t* row, int32_t cells, int32_t plane, uint8_t value, const uint8_t* ahead) {
    const uint32_t shift = 8u * static_cast<uint32_t>(plane);
    const __m256i keep = _mm256_set1_epi32(static_cast<int>(~(0xFFu << shift)));
    const __m256i put = _mm256_set1_epi32(static_cast<int>(static_cast<uint32_t>(value) << shift));
    const int64_t bytes = 4 * static_cast<int64_t>(cells);
    int64_t o = 0;
    for (; o + 64 <= bytes; o += 64) {
        const int64_t p = o + kFillLead;
        if (p < bytes)
            prefetch(row + p);
        else if (ahead && p - bytes < bytes)
            prefetch(ahead + (p - bytes));
        uint8_t* q = row + o;
        const __m256i a = load256(q), b = load256(q + 32);
        store256(q, _mm256_or_si256(_mm256_and_si256(a, keep), put));
        store256(q + 32, _mm256_or_si256(_mm256_and_si256(b, keep), put));
    }
    if (o < bytes) tail_kernels().sse2.fill4(row + o, static_cast<int32_t>((bytes - o) / 4), plane, value, nullptr);
}

// The in-lane byte mask that permutes four cells by `map` (and, with
// `mirror`, reverses their order within the lane), in both lanes.
VOR_AVX2 inline __m256i cell_mask_avx2(const uint8_t* map, bool mirror) {
    alignas(16) uint8_t m[16];
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < 4; ++i) m[4 * c + i] = static_cast<uint8_t>(4 * (mirror ? 3 - c : c) + map[i]);
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(m)));
}

VOR_AVX2 void shuffle4_avx2(uint8_t* dst, const uint8_t* src, int32_t cells, const uint8_t* map,
                            const uint8_t* ahead) {
    const __m256i mask = cell_mask_avx2(map, false);
    if (!ahead) ahead = src;
    int32_t j = 0;
    for (; j + 32 <= cells; j += 32) {
        const size_t o = 4 * static_cast<size_t>(j);
        prefetch(ahead + o);
        prefetch(ahead + o + 64);
        const __m256i a = load256(src + o), b = load256(src + o + 32);
        const __m256i c = load256(src + o + 64), d = load256(src + o + 96);
        store256(dst + o, _mm256_shuffle_epi8(a, mask));
        store256(dst + o + 32, _mm256_shuffle_epi8(b, mask));
        store256(dst + o + 64, _mm256_shuffle_epi8(c, mask));
        store256(dst + o + 96, _mm256_shuffle_epi8(d, mask));
    }
    if (j < cells) {
        const size_t o = 4 * static_cast<size_t>(j);
        tail_kernels().ssse3.shuffle4(dst + o, src + o, cells - j, map, ahead + o);
    }
}

VOR_AVX2 void mirror4_avx2(uint8_t* dst, const uint8_t* src, int32_t cells, const uint8_t* map,
                           const uint8_t* ahead) {
    const __m256i mask = cell_mask_avx2(map, true);
    if (!ahead) ahead = src;
    int32_t j = 0;
    for (; j + 16 <= cells; j += 16) {
        // Cells j .. j + 7 lie at src - 4j - 28 .. src - 4j + 3, last one
        // first: swap the lanes, then reverse the cells within each.
        const int64_t back = 4 * static_cast<int64_t>(j) + 28;
        prefetch(ahead - back - 32);
        const __m256i a = _mm256_permute4x64_epi64(load256(src - back), 0x4E);
        const __m256i b = _mm256_permute4x64_epi64(load256(src - back - 32), 0x4E);
        store256(dst + 4 * static_cast<size_t>(j), _mm256_shuffle_epi8(a, mask));
        store256(dst + 4 * static_cast<size_t>(j) + 32, _mm256_shuffle_epi8(b, mask));
    }
    if (j < cells) {
        const int64_t back = 4 * static_cast<int64_t>(j);
        tail_kernels().ssse3.mirror4(dst + 4 * static_cast<size_t>(j), src - back, cells - j, map, ahead - back);
    }
}

// 16 bytes of each row blended, widened and offset (see kernels_sse.cpp).
VOR_AVX2 inline __m256i blend16_avx2(const uint8_t* a, const uint8_t* b, __m256i w0, __m256i w1, __m256i offset) {
    const __m256i x = _mm256_cvtepu8_epi16(load128(a));
    const __m256i y = _mm256_cvtepu8_epi16(load128(b));
    return _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(x, w0), _mm256_mullo_epi16(y, w1)), offset);
}

VOR_AVX2 void blend_rows_avx2(int16_t* t, const uint8_t* r0, const uint8_t* r1, int32_t bytes, uint32_t wy,
                              const uint8_t* ahead0, const uint8_t* ahead1) {
    const __m256i w0 = _mm256_set1_epi16(static_cast<short>(256 - wy));
    const __m256i w1 = _mm256_set1_epi16(static_cast<short>(wy));
    const __m256i offset = _mm256_set1_epi16(static_cast<short>(0x8080));
    if (!ahead0 || !ahead1) ahead0 = r0, ahead1 = r1;
    int32_t i = 0;
    for (; i + 64 <= bytes; i += 64) {
        prefetch(ahead0 + i);
        prefetch(ahead1 + i);
        store256(t + i, blend16_avx2(r0 + i, r1 + i, w0, w1, offset));
        store256(t + i + 16, blend16_avx2(r0 + i + 16, r1 + i + 16, w0, w1, offset));
        store256(t + i + 32, blend16_avx2(r0 + i + 32, r1 + i + 32, w0, w1, offset));
        store256(t + i + 48, blend16_avx2(r0 + i + 48, r1 + i + 48, w0, w1, offset));
    }
    if (i < bytes) tail_kernels().sse2.blend_rows(t + i, r0 + i, r1 + i, bytes - i, wy, nullptr, nullptr);
}

// Output cells j and j + 1, one per lane, as 32-bit planes in map order,
// each less 128 (see kernels.h).
VOR_AVX2 inline __m256i blend_two_avx2(const int16_t* t, const int32_t* off, const int16_t* w, __m256i pair_mask) {
    const __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(load128(t + off[0])), load128(t + off[1]), 1);
    return _mm256_srai_epi32(_mm256_madd_epi16(_mm256_shuffle_epi8(v, pair_mask), load256(w)), 16);
}

VOR_AVX2 void blend_cols_avx2(uint8_t* out, const int16_t* t, const int32_t* off, const int16_t* w, int32_t count,
                              const uint8_t* map) {
    alignas(16) uint8_t m[16];
    for (int i = 0; i < 4; ++i) {
        const uint8_t p = static_cast<uint8_t>(2 * map[i]);
        m[4 * i + 0] = p, m[4 * i + 1] = static_cast<uint8_t>(p + 1);
        m[4 * i + 2] = static_cast<uint8_t>(p + 8), m[4 * i + 3] = static_cast<uint8_t>(p + 9);
    }
    const __m256i pm = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(m)));
    const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
    // The packs leave the cells in the order 0 2 4 6 | 1 3 5 7.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    int32_t j = 0;
    for (; j + 8 <= count; j += 8) {
        const __m256i s01 = blend_two_avx2(t, off + j, w + 8 * j, pm);
        const __m256i s23 = blend_two_avx2(t, off + j + 2, w + 8 * j + 16, pm);
        const __m256i s45 = blend_two_avx2(t, off + j + 4, w + 8 * j + 32, pm);
        const __m256i s67 = blend_two_avx2(t, off + j + 6, w + 8 * j + 48, pm);
        const __m256i b = _mm256_packs_epi16(_mm256_packs_epi32(s01, s23), _mm256_packs_epi32(s45, s67));
        store256(out + 4 * static_cast<size_t>(j), _mm256_xor_si256(_mm256_permutevar8x32_epi32(b, order), flip));
    }
    if (j < count)
        tail_kernels().ssse3.blend_cols_any(out + 4 * static_cast<size_t>(j), t, off + j, w + 8 * j, count - j, map);
}

VOR_AVX2 void uyvy_to_ayuv_avx2(const uint8_t* src, int32_t cells, uint8_t* dst) {
    // Per lane, the low 8 bytes (two uyvy cells) become four ayuv cells, and
    // likewise the high 8 bytes.
    const __m256i lo = _mm256_setr_epi8(-1, 1, 0, 2, -1, 3, 0, 2, -1, 5, 4, 6, -1, 7, 4, 6,  //
                                        -1, 1, 0, 2, -1, 3, 0, 2, -1, 5, 4, 6, -1, 7, 4, 6);
    const __m256i hi = _mm256_setr_epi8(-1, 9, 8, 10, -1, 11, 8, 10, -1, 13, 12, 14, -1, 15, 12, 14,  //
                                        -1, 9, 8, 10, -1, 11, 8, 10, -1, 13, 12, 14, -1, 15, 12, 14);
    const __m256i alpha = _mm256_set1_epi32(0xFF);
    int32_t i = 0;
    for (; i + 8 <= cells; i += 8) {
        // Input quarters q0 q1 q2 q3 (two cells each) as lanes (q0, q2) and
        // (q1, q3): the low halves make the first 32 output bytes.
        const __m256i c = _mm256_permute4x64_epi64(load256(src + 4 * static_cast<size_t>(i)), _MM_SHUFFLE(3, 1, 2, 0));
        uint8_t* d = dst + 8 * static_cast<size_t>(i);
        store256(d, _mm256_or_si256(_mm256_shuffle_epi8(c, lo), alpha));
        store256(d + 32, _mm256_or_si256(_mm256_shuffle_epi8(c, hi), alpha));
    }
    if (i < cells)
        tail_kernels().ssse3.uyvy_to_ayuv(src + 4 * static_cast<size_t>(i), cells - i, dst + 8 * static_cast<size_t>(i));
}

VOR_AVX2 void ayuv_to_uyvy_avx2(const uint8_t* src, int32_t pairs, uint8_t* dst) {
    // As the SSSE3 kernel: per lane, pairs of `a` fill the low 8 bytes and
    // pairs of `b` the high 8 bytes; the average of the two picks is the
    // output, put back in order by swapping the middle quarters.
    const __m256i first_a = _mm256_setr_epi8(2, 1, 3, 5, 10, 9, 11, 13, -1, -1, -1, -1, -1, -1, -1, -1,  //
                                             2, 1, 3, 5, 10, 9, 11, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i second_a = _mm256_setr_epi8(6, 1, 7, 5, 14, 9, 15, 13, -1, -1, -1, -1, -1, -1, -1, -1,  //
                                              6, 1, 7, 5, 14, 9, 15, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i first_b = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 2, 1, 3, 5, 10, 9, 11, 13,  //
                                             -1, -1, -1, -1, -1, -1, -1, -1, 2, 1, 3, 5, 10, 9, 11, 13);
    const __m256i second_b = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 6, 1, 7, 5, 14, 9, 15, 13,  //
                                              -1, -1, -1, -1, -1, -1, -1, -1, 6, 1, 7, 5, 14, 9, 15, 13);
    int32_t j = 0;
    for (; j + 8 <= pairs; j += 8) {
        const uint8_t* s = src + 8 * static_cast<size_t>(j);
        const __m256i a = load256(s), b = load256(s + 32);
        const __m256i p = _mm256_or_si256(_mm256_shuffle_epi8(a, first_a), _mm256_shuffle_epi8(b, first_b));
        const __m256i q = _mm256_or_si256(_mm256_shuffle_epi8(a, second_a), _mm256_shuffle_epi8(b, second_b));
        store256(dst + 4 * static_cast<size_t>(j), _mm256_permute4x64_epi64(_mm256_avg_epu8(p, q), _MM_SHUFFLE(3, 1, 2, 0)));
    }
    if (j < pairs)
        tail_kernels().ssse3.ayuv_to_uyvy(src + 8 * static_cast<size_t>(j), pairs - j, dst + 4 * static_cast<size_t>(j));
}

}  // namespace

void vor_mx_kernels_fill_avx2(vor_mx_kernels& t) {
    t.shuffle4 = shuffle4_avx2;
    t.mirror4 = mirror4_avx2;
    t.fill4 = fill4_avx2;
    t.blend_rows = blend_rows_avx2;
    t.blend_cols_any = blend_cols_avx2;
    t.blend_cols_fixed = blend_cols_avx2;
    t.uyvy_to_ayuv = uyvy_to_ayuv_avx2;
    t.ayuv_to_uyvy = ayuv_to_uyvy_avx2;
}

#endif
