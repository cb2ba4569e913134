// The SSE2 and SSSE3 row kernels (see kernels.h). Each function carries its
// instruction set as a target attribute, so this file builds with the
// compiler's default flags (also for Windows) and the kernels run only
// where the run-time check chose them. Vector loops take 16 bytes at a
// time; what is left of a row goes through the same arithmetic a cell at a
// time.
#include "matrix/kernels.h"

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)

#include <immintrin.h>

#include <cstring>

#define VOR_SSE2 __attribute__((target("sse2")))
#define VOR_SSSE3 __attribute__((target("ssse3")))

namespace {

inline void prefetch(const uint8_t* p) { _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0); }

// ---------------------------------------------------------------- SSE2

// The portable kernels, for what a level below SSSE3 cannot shuffle.
const vor_mx_kernels& portable() {
    static const vor_mx_kernels t = [] {
        vor_mx_kernels k{};
        vor_mx_kernels_fill_portable(k);
        return k;
    }();
    return t;
}

// The byte order of every cell reversed (3, 2, 1, 0): bytes swapped within
// each 16-bit half, then the halves swapped.
VOR_SSE2 inline __m128i reverse_cells_sse2(__m128i v) {
    const __m128i t = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(t, _MM_SHUFFLE(2, 3, 0, 1)), _MM_SHUFFLE(2, 3, 0, 1));
}

inline bool map_is_identity(const uint8_t* map) { return map[0] == 0 && map[1] == 1 && map[2] == 2 && map[3] == 3; }
inline bool map_is_reversal(const uint8_t* map) { return map[0] == 3 && map[1] == 2 && map[2] == 1 && map[3] == 0; }

// SSE2 shuffles only the identity and the reversal; other maps go to the
// portable kernel.
template <bool Reverse>
VOR_SSE2 void shuffle4_sse2_t(uint8_t* dst, const uint8_t* src, int32_t cells, const uint8_t* ahead) {
    int32_t j = 0;
    for (; j + 16 <= cells; j += 16) {
        const size_t o = 4 * static_cast<size_t>(j);
        prefetch(ahead + o);
        for (size_t k = 0; k < 64; k += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + o + k));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + o + k), Reverse ? reverse_cells_sse2(v) : v);
        }
    }
    for (; j < cells; ++j) {
        const uint8_t* s = src + 4 * static_cast<size_t>(j);
        uint8_t* d = dst + 4 * static_cast<size_t>(j);
        for (int i = 0; i < 4; ++i) d[i] = s[Reverse ? 3 - i : i];
    }
}

VOR_SSE2 void shuffle4_sse2(uint8_t* dst, const uint8_t* src, int32_t cells, const uint8_t* map,
                            const uint8_t* ahead) {
    if (!ahead) ahead = src;
    if (map_is_identity(map))
        shuffle4_sse2_t<false>(dst, src, cells, ahead);
    else if (map_is_reversal(map))
        shuffle4_sse2_t<true>(dst, src, cells, ahead);
    else
        portable().shuffle4(dst, src, cells, map, ahead);
}

template <bool Reverse>
VOR_SSE2 void mirror4_sse2_t(uint8_t* dst, const uint8_t* src, int32_t cells, const uint8_t* ahead) {
    int32_t j = 0;
    for (; j + 4 <= cells; j += 4) {
        // Cells j .. j + 3 lie at src - 4j - 12 .. src - 4j + 3, last one first.
        const int64_t back = 4 * static_cast<int64_t>(j) + 12;
        prefetch(ahead - back);
        const __m128i v = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src - back)),
                                            _MM_SHUFFLE(0, 1, 2, 3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * static_cast<size_t>(j)),
                         Reverse ? reverse_cells_sse2(v) : v);
    }
    for (; j < cells; ++j) {
        const uint8_t* s = src - 4 * static_cast<int64_t>(j);
        uint8_t* d = dst + 4 * static_cast<size_t>(j);
        for (int i = 0; i < 4; ++i) d[i] = s[Reverse ? 3 - i : i];
    }
}

VOR_SSE2 void mirror4_sse2(uint8_t* dst, const uint8_t* src, int32_t cells, const uint8_t* map,
                           const uint8_t* ahead) {
    if (!ahead) ahead = src;
    if (map_is_identity(map))
        mirror4_sse2_t<false>(dst, src, cells, ahead);
    else if (map_is_reversal(map))
        mirror4_sse2_t<true>(dst, src, cells, ahead);
    else
        portable().mirror4(dst, src, cells, map, ahead);
}

// The fill's lead: how far ahead of its writes it prefetches. It reads
// a frame that was usually written just before and sits in the last-level
// cache, which the hardware prefetchers bring in less eagerly than memory.
constexpr int64_t kFillLead = 2048;

// The byte kFillLead ahead of offset o of a row of `bytes`, in the row or
// the next one (null when there is none).
inline const uint8_t* fill_lead(const uint8_t* row, int64_t bytes, const uint8_t* ahead, int64_t o) {
    const int64_t p = o + kFillLead;
    if (p < bytes) return row + p;
    return ahead && p - bytes < bytes ? ahead + (p - bytes) : nullptr;
}

VOR_SSE2 void fill4_sse2(uint8_t* row, int32_t cells, int32_t plane, uint8_t value, const uint8_t* ahead) {
    const uint32_t shift = 8u * static_cast<uint32_t>(plane);
    const __m128i keep = _mm_set1_epi32(static_cast<int>(~(0xFFu << shift)));
    const __m128i put = _mm_set1_epi32(static_cast<int>(static_cast<uint32_t>(value) << shift));
    const int64_t bytes = 4 * static_cast<int64_t>(cells);
    int64_t o = 0;
    for (; o + 64 <= bytes; o += 64) {
        if (const uint8_t* lead = fill_lead(row, bytes, ahead, o)) prefetch(lead);
        for (int64_t k = 0; k < 64; k += 16) {
            __m128i* p = reinterpret_cast<__m128i*>(row + o + k);
            _mm_storeu_si128(p, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(p), keep), put));
        }
    }
    for (; o + 16 <= bytes; o += 16) {
        __m128i* p = reinterpret_cast<__m128i*>(row + o);
        _mm_storeu_si128(p, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(p), keep), put));
    }
    for (; o < bytes; o += 4) row[o + plane] = value;
}

// The blend of 8 bytes of each row, widened to 16 bits, less 32640 (added
// as 0x8080 modulo 2^16: the blend itself never exceeds 65280).
VOR_SSE2 inline __m128i blend8_sse2(__m128i a, __m128i b, __m128i w0, __m128i w1, __m128i offset) {
    return _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(a, w0), _mm_mullo_epi16(b, w1)), offset);
}

VOR_SSE2 inline void blend16_sse2(int16_t* t, const uint8_t* r0, const uint8_t* r1, __m128i w0, __m128i w1,
                                  __m128i offset) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(t),
                     blend8_sse2(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), w0, w1, offset));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(t + 8),
                     blend8_sse2(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), w0, w1, offset));
}

VOR_SSE2 void blend_rows_sse2(int16_t* t, const uint8_t* r0, const uint8_t* r1, int32_t bytes, uint32_t wy,
                              const uint8_t* ahead0, const uint8_t* ahead1) {
    const __m128i w0 = _mm_set1_epi16(static_cast<short>(256 - wy));
    const __m128i w1 = _mm_set1_epi16(static_cast<short>(wy));
    const __m128i offset = _mm_set1_epi16(static_cast<short>(0x8080));
    if (!ahead0 || !ahead1) ahead0 = r0, ahead1 = r1;
    int32_t i = 0;
    for (; i + 64 <= bytes; i += 64) {
        prefetch(ahead0 + i);
        prefetch(ahead1 + i);
        for (int32_t k = 0; k < 64; k += 16) blend16_sse2(t + i + k, r0 + i + k, r1 + i + k, w0, w1, offset);
    }
    for (; i + 16 <= bytes; i += 16) blend16_sse2(t + i, r0 + i, r1 + i, w0, w1, offset);
    for (; i < bytes; ++i) t[i] = static_cast<int16_t>(r0[i] * (256 - wy) + r1[i] * wy - 32640);
}

// One output cell as four 32-bit lanes (planes in source order), each the
// blend less 128 (-128..127): the two blended cells at t interleaved plane
// by plane, times their weights, shifted down (see kernels.h).
VOR_SSE2 inline __m128i blend_cell_sse2(const int16_t* t, const int16_t* w) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t));
    const __m128i pairs = _mm_unpacklo_epi16(v, _mm_srli_si128(v, 8));
    return _mm_srai_epi32(_mm_madd_epi16(pairs, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w))), 16);
}

// Four cells of lanes less 128 as 16 output bytes, and one as 4.
VOR_SSE2 inline __m128i pack_cells_sse2(__m128i c0, __m128i c1, __m128i c2, __m128i c3) {
    const __m128i b = _mm_packs_epi16(_mm_packs_epi32(c0, c1), _mm_packs_epi32(c2, c3));
    return _mm_xor_si128(b, _mm_set1_epi8(static_cast<char>(0x80)));
}
VOR_SSE2 inline uint32_t pack_cell_sse2(__m128i c) {
    return static_cast<uint32_t>(_mm_cvtsi128_si32(pack_cells_sse2(c, c, c, c)));
}

template <bool Reverse>
VOR_SSE2 inline __m128i blend_cell_fixed_sse2(const int16_t* t, const int16_t* w) {
    const __m128i c = blend_cell_sse2(t, w);
    if constexpr (Reverse) return _mm_shuffle_epi32(c, _MM_SHUFFLE(0, 1, 2, 3));
    return c;
}

template <bool Reverse>
VOR_SSE2 void blend_cols_fixed_sse2_t(uint8_t* out, const int16_t* t, const int32_t* off, const int16_t* w,
                                      int32_t count) {
    int32_t j = 0;
    for (; j + 4 <= count; j += 4) {
        const __m128i c0 = blend_cell_fixed_sse2<Reverse>(t + off[j], w + 8 * j);
        const __m128i c1 = blend_cell_fixed_sse2<Reverse>(t + off[j + 1], w + 8 * j + 8);
        const __m128i c2 = blend_cell_fixed_sse2<Reverse>(t + off[j + 2], w + 8 * j + 16);
        const __m128i c3 = blend_cell_fixed_sse2<Reverse>(t + off[j + 3], w + 8 * j + 24);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * static_cast<size_t>(j)), pack_cells_sse2(c0, c1, c2, c3));
    }
    for (; j < count; ++j)
        mx_store32(out + 4 * static_cast<size_t>(j), pack_cell_sse2(blend_cell_fixed_sse2<Reverse>(t + off[j], w + 8 * j)));
}

VOR_SSE2 void blend_cols_fixed_sse2(uint8_t* out, const int16_t* t, const int32_t* off, const int16_t* w,
                                    int32_t count, const uint8_t* map) {
    if (map[0] == 0)
        blend_cols_fixed_sse2_t<false>(out, t, off, w, count);
    else
        blend_cols_fixed_sse2_t<true>(out, t, off, w, count);
}

// uyvy cell U Y0 V Y1 as the word U | Y0 << 8 | V << 16 | Y1 << 24 gives
// the ayuv words 0xFF | Y << 8 | U << 16 | V << 24.
VOR_SSE2 void uyvy_to_ayuv_sse2(const uint8_t* src, int32_t cells, uint8_t* dst) {
    const __m128i alpha = _mm_set1_epi32(0xFF);
    const __m128i lowbyte = _mm_set1_epi32(0xFF);
    const __m128i thirdbyte = _mm_set1_epi32(0xFF0000);
    const __m128i secondbyte = _mm_set1_epi32(0xFF00);
    int32_t i = 0;
    for (; i + 4 <= cells; i += 4) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * static_cast<size_t>(i)));
        const __m128i uv = _mm_or_si128(_mm_slli_epi32(_mm_and_si128(c, lowbyte), 16),
                                        _mm_slli_epi32(_mm_and_si128(c, thirdbyte), 8));
        const __m128i base = _mm_or_si128(uv, alpha);
        const __m128i p0 = _mm_or_si128(base, _mm_and_si128(c, secondbyte));
        const __m128i p1 = _mm_or_si128(base, _mm_and_si128(_mm_srli_epi32(c, 16), secondbyte));
        uint8_t* d = dst + 8 * static_cast<size_t>(i);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi32(p0, p1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), _mm_unpackhi_epi32(p0, p1));
    }
    for (; i < cells; ++i) {
        const uint8_t* s = src + 4 * static_cast<size_t>(i);
        uint8_t* d = dst + 8 * static_cast<size_t>(i);
        const uint8_t u = s[0], y0 = s[1], v = s[2], y1 = s[3];
        d[0] = 255, d[1] = y0, d[2] = u, d[3] = v;
        d[4] = 255, d[5] = y1, d[6] = u, d[7] = v;
    }
}

// Four output cells from 8 input cells (two vectors). In each 8-byte pair
// (A Ya Ua Va A Yb Ub Vb) the average of the pair's two cells lands in its
// low word, from which U and V are taken; Ya and Yb come from the pair.
VOR_SSE2 inline __m128i ayuv_pairs_sse2(__m128i x) {
    const __m128i avg = _mm_avg_epu8(x, _mm_srli_epi64(x, 32));
    const __m128i u = _mm_and_si128(_mm_srli_epi32(avg, 16), _mm_set1_epi32(0xFF));
    const __m128i v = _mm_and_si128(_mm_srli_epi32(avg, 8), _mm_set1_epi32(0xFF0000));
    const __m128i ya = _mm_and_si128(x, _mm_set1_epi32(0xFF00));
    const __m128i yb = _mm_and_si128(_mm_srli_epi64(x, 16), _mm_set1_epi32(static_cast<int>(0xFF000000u)));
    const __m128i cells = _mm_or_si128(_mm_or_si128(u, v), _mm_or_si128(ya, yb));
    return _mm_shuffle_epi32(cells, _MM_SHUFFLE(2, 0, 2, 0));  // the low word of each pair
}

VOR_SSE2 void ayuv_to_uyvy_sse2(const uint8_t* src, int32_t pairs, uint8_t* dst) {
    int32_t j = 0;
    for (; j + 4 <= pairs; j += 4) {
        const uint8_t* s = src + 8 * static_cast<size_t>(j);
        const __m128i a = ayuv_pairs_sse2(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)));
        const __m128i b = ayuv_pairs_sse2(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * static_cast<size_t>(j)), _mm_unpacklo_epi64(a, b));
    }
    for (; j < pairs; ++j) {
        const uint8_t* a = src + 8 * static_cast<size_t>(j);
        uint8_t* d = dst + 4 * static_cast<size_t>(j);
        d[0] = static_cast<uint8_t>((a[2] + a[6] + 1) >> 1);
        d[1] = a[1];
        d[2] = static_cast<uint8_t>((a[3] + a[7] + 1) >> 1);
        d[3] = a[5];
    }
}

// ---------------------------------------------------------------- SSSE3

// The pshufb mask that permutes the bytes of each of four cells by `map`;
// `mirror` also reverses the order of the four cells.
VOR_SSSE3 inline __m128i cell_mask_ssse3(const uint8_t* map, bool mirror) {
    alignas(16) uint8_t m[16];
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < 4; ++i) m[4 * c + i] = static_cast<uint8_t>(4 * (mirror ? 3 - c : c) + map[i]);
    return _mm_load_si128(reinterpret_cast<const __m128i*>(m));
}

VOR_SSSE3 void shuffle4_ssse3(uint8_t* dst, const uint8_t* src, int32_t cells, const uint8_t* map,
                              const uint8_t* ahead) {
    const __m128i mask = cell_mask_ssse3(map, false);
    if (!ahead) ahead = src;
    int32_t j = 0;
    for (; j + 16 <= cells; j += 16) {
        const size_t o = 4 * static_cast<size_t>(j);
        prefetch(ahead + o);
        for (size_t k = 0; k < 64; k += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + o + k));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + o + k), _mm_shuffle_epi8(a, mask));
        }
    }
    for (; j < cells; ++j) {
        const uint8_t* s = src + 4 * static_cast<size_t>(j);
        uint8_t* d = dst + 4 * static_cast<size_t>(j);
        d[0] = s[map[0]], d[1] = s[map[1]], d[2] = s[map[2]], d[3] = s[map[3]];
    }
}

VOR_SSSE3 void mirror4_ssse3(uint8_t* dst, const uint8_t* src, int32_t cells, const uint8_t* map,
                             const uint8_t* ahead) {
    const __m128i mask = cell_mask_ssse3(map, true);
    if (!ahead) ahead = src;
    int32_t j = 0;
    for (; j + 4 <= cells; j += 4) {
        // Cells j .. j + 3 lie at src - 4j - 12 .. src - 4j + 3, last one first.
        const int64_t back = 4 * static_cast<int64_t>(j) + 12;
        prefetch(ahead - back);
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src - back));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * static_cast<size_t>(j)), _mm_shuffle_epi8(a, mask));
    }
    for (; j < cells; ++j) {
        const uint8_t* s = src - 4 * static_cast<int64_t>(j);
        uint8_t* d = dst + 4 * static_cast<size_t>(j);
        d[0] = s[map[0]], d[1] = s[map[1]], d[2] = s[map[2]], d[3] = s[map[3]];
    }
}

VOR_SSSE3 void gather4_ssse3(uint8_t* dst, const uint8_t* src, const int32_t* off, int32_t cells, const uint8_t* map,
                             const uint8_t* ahead) {
    const __m128i mask = cell_mask_ssse3(map, false);
    if (!ahead) ahead = src;
    int32_t j = 0;
    for (; j + 4 <= cells; j += 4) {
        prefetch(ahead + off[j]);
        const __m128i v = _mm_setr_epi32(static_cast<int>(mx_load32(src + off[j])), static_cast<int>(mx_load32(src + off[j + 1])),
                                         static_cast<int>(mx_load32(src + off[j + 2])), static_cast<int>(mx_load32(src + off[j + 3])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * static_cast<size_t>(j)), _mm_shuffle_epi8(v, mask));
    }
    for (; j < cells; ++j) {
        const uint8_t* s = src + off[j];
        uint8_t* d = dst + 4 * static_cast<size_t>(j);
        d[0] = s[map[0]], d[1] = s[map[1]], d[2] = s[map[2]], d[3] = s[map[3]];
    }
}

// The pshufb mask that interleaves two blended cells (8 bytes each) plane
// by plane in map order: lane i holds (first cell, second cell) of plane
// map[i].
VOR_SSSE3 inline __m128i pair_mask_ssse3(const uint8_t* map) {
    alignas(16) uint8_t m[16];
    for (int i = 0; i < 4; ++i) {
        const uint8_t p = static_cast<uint8_t>(2 * map[i]);
        m[4 * i + 0] = p, m[4 * i + 1] = static_cast<uint8_t>(p + 1);
        m[4 * i + 2] = static_cast<uint8_t>(p + 8), m[4 * i + 3] = static_cast<uint8_t>(p + 9);
    }
    return _mm_load_si128(reinterpret_cast<const __m128i*>(m));
}

VOR_SSSE3 inline __m128i blend_cell_ssse3(const int16_t* t, const int16_t* w, __m128i pair_mask) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t));
    const __m128i s =
        _mm_madd_epi16(_mm_shuffle_epi8(v, pair_mask), _mm_loadu_si128(reinterpret_cast<const __m128i*>(w)));
    return _mm_srai_epi32(s, 16);
}

VOR_SSSE3 void blend_cols_ssse3(uint8_t* out, const int16_t* t, const int32_t* off, const int16_t* w, int32_t count,
                                const uint8_t* map) {
    const __m128i pm = pair_mask_ssse3(map);
    int32_t j = 0;
    for (; j + 4 <= count; j += 4) {
        const __m128i c0 = blend_cell_ssse3(t + off[j], w + 8 * j, pm);
        const __m128i c1 = blend_cell_ssse3(t + off[j + 1], w + 8 * j + 8, pm);
        const __m128i c2 = blend_cell_ssse3(t + off[j + 2], w + 8 * j + 16, pm);
        const __m128i c3 = blend_cell_ssse3(t + off[j + 3], w + 8 * j + 24, pm);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * static_cast<size_t>(j)), pack_cells_sse2(c0, c1, c2, c3));
    }
    for (; j < count; ++j)
        mx_store32(out + 4 * static_cast<size_t>(j), pack_cell_sse2(blend_cell_ssse3(t + off[j], w + 8 * j, pm)));
}

VOR_SSSE3 void uyvy_to_ayuv_ssse3(const uint8_t* src, int32_t cells, uint8_t* dst) {
    // Input cells 0, 1 give output cells 0..3; cells 2, 3 give 4..7.
    const __m128i lo = _mm_setr_epi8(-1, 1, 0, 2, -1, 3, 0, 2, -1, 5, 4, 6, -1, 7, 4, 6);
    const __m128i hi = _mm_setr_epi8(-1, 9, 8, 10, -1, 11, 8, 10, -1, 13, 12, 14, -1, 15, 12, 14);
    const __m128i alpha = _mm_set1_epi32(0xFF);
    int32_t i = 0;
    for (; i + 4 <= cells; i += 4) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * static_cast<size_t>(i)));
        uint8_t* d = dst + 8 * static_cast<size_t>(i);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(_mm_shuffle_epi8(c, lo), alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), _mm_or_si128(_mm_shuffle_epi8(c, hi), alpha));
    }
    if (i < cells) uyvy_to_ayuv_sse2(src + 4 * static_cast<size_t>(i), cells - i, dst + 8 * static_cast<size_t>(i));
}

// Each pair A Ya Ua Va A Yb Ub Vb becomes (Ua, Ya, Va, Yb) and (Ub, Ya, Vb,
// Yb), whose byte average is the output cell (the Y bytes average with
// themselves).
VOR_SSSE3 void ayuv_to_uyvy_ssse3(const uint8_t* src, int32_t pairs, uint8_t* dst) {
    const __m128i first_lo = _mm_setr_epi8(2, 1, 3, 5, 10, 9, 11, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i second_lo = _mm_setr_epi8(6, 1, 7, 5, 14, 9, 15, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i first_hi = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 2, 1, 3, 5, 10, 9, 11, 13);
    const __m128i second_hi = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 6, 1, 7, 5, 14, 9, 15, 13);
    int32_t j = 0;
    for (; j + 4 <= pairs; j += 4) {
        const uint8_t* s = src + 8 * static_cast<size_t>(j);
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        const __m128i p = _mm_or_si128(_mm_shuffle_epi8(a, first_lo), _mm_shuffle_epi8(b, first_hi));
        const __m128i q = _mm_or_si128(_mm_shuffle_epi8(a, second_lo), _mm_shuffle_epi8(b, second_hi));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * static_cast<size_t>(j)), _mm_avg_epu8(p, q));
    }
    if (j < pairs) ayuv_to_uyvy_sse2(src + 8 * static_cast<size_t>(j), pairs - j, dst + 4 * static_cast<size_t>(j));
}

}  // namespace

void vor_mx_kernels_fill_sse2(vor_mx_kernels& t) {
    t.shuffle4 = shuffle4_sse2;
    t.mirror4 = mirror4_sse2;
    t.fill4 = fill4_sse2;
    t.blend_rows = blend_rows_sse2;
    t.blend_cols_fixed = blend_cols_fixed_sse2;
    t.uyvy_to_ayuv = uyvy_to_ayuv_sse2;
    t.ayuv_to_uyvy = ayuv_to_uyvy_sse2;
}

void vor_mx_kernels_fill_ssse3(vor_mx_kernels& t) {
    t.shuffle4 = shuffle4_ssse3;
    t.mirror4 = mirror4_ssse3;
    t.gather4 = gather4_ssse3;
    t.blend_cols_any = blend_cols_ssse3;
    t.blend_cols_fixed = blend_cols_ssse3;
    t.uyvy_to_ayuv = uyvy_to_ayuv_ssse3;
    t.ayuv_to_uyvy = ayuv_to_uyvy_ssse3;
}

#endif
