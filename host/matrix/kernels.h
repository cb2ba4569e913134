// Row kernels of the matrix runtime's frame paths, and the choice between
// them: the cell copy (copy.cpp), fillplane (fill.cpp) and the uyvy/ayuv
// converters (converters.cpp).
//
// Every operation has a plain kernel that handles every case (in copy.cpp,
// fill.cpp and convert.cpp) and, for the shapes frames come in (four
// one-byte planes packed in four-byte cells, rows of consecutive cells),
// faster row kernels at several instruction-set levels. A level's table
// holds the best kernel at or below that level for each job, so a job
// without a variant at some level runs the one below (gather4 has none at
// AVX2: vpgatherdd measured slower than the SSSE3 kernel's scalar loads).
// Every fast kernel gives the same bytes as the plain one, for every width.
//
// Callers name the level they want (vor_mx_kernel); `automatic` is the best
// the CPU offers, found once. A level the CPU lacks is brought down to the
// best it has, so asking never crashes; vor_mx_kernel_supported says
// whether a level runs as asked. Nothing is switched globally: tests and
// benchmarks pass the level with each call.
#pragma once

#include <cstdint>
#include <cstring>

#include "vorlib.h"

// One 4-byte cell, read and written without alignment or aliasing concerns.
inline uint32_t mx_load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void mx_store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

enum class vor_mx_kernel {
    reference,  // the plain per-cell loops, for every case
    automatic,  // the fastest kernel that fits the case (byte-identical)
    portable,   // the packed-cell kernels in plain C++ (no intrinsics)
    sse2,       // at most SSE2
    ssse3,      // at most SSSE3
    avx2,       // at most AVX2
};

// True when `k` runs as asked on this CPU (reference, automatic and
// portable always do).
VORLIB bool vor_mx_kernel_supported(vor_mx_kernel k);
// The level `automatic` stands for on this CPU.
VORLIB vor_mx_kernel vor_mx_kernel_best();
// "reference", "portable", "sse2", ... for messages and benchmark labels.
VORLIB const char* vor_mx_kernel_name(vor_mx_kernel k);

// ---------------------------------------------------------------- row kernels
//
// All cells are four bytes, one byte per plane, packed one after the other.

// Kernels that stream a frame row by row take `ahead`: the same bytes of
// the row the caller reads next (null when there is none). They prefetch it
// as they go, so that the next row is on its way while this one is worked
// on (rows of a flipped or scaled frame are not in address order, which the
// hardware's own prefetch does not foresee).

// dst cell j = src cell j with its bytes permuted: dst[4j + i] = src[4j + map[i]]
// (map entries 0..3, repeats allowed).
using vor_mx_shuffle4_fn = void (*)(uint8_t* dst, const uint8_t* src, int32_t cells, const uint8_t* map,
                                    const uint8_t* ahead);

// As shuffle4, reading the source right to left: dst cell j takes the cell
// that starts at src - 4j (src points at the first cell read, the rightmost;
// so does ahead).
using vor_mx_mirror4_fn = vor_mx_shuffle4_fn;

// dst cell j = the source cell at src + off[j], its bytes permuted by map
// (nearest scaling: source cells wherever the table puts them). ahead is the
// next source row, read at the same offsets.
using vor_mx_gather4_fn = void (*)(uint8_t* dst, const uint8_t* src, const int32_t* off, int32_t cells,
                                   const uint8_t* map, const uint8_t* ahead);

// Byte `plane` (0..3) of every one of `cells` cells becomes `value`; the
// other three bytes of each cell keep their values (they are written back
// unchanged by the vector kernels). ahead is the row filled next: the
// vector kernels touch a couple of kilobytes ahead of where they write,
// running on into it at the end of the row.
using vor_mx_fill4_fn = void (*)(uint8_t* row, int32_t cells, int32_t plane, uint8_t value, const uint8_t* ahead);

// Bilinear scaling in two passes over a destination row.
//
// Rows pass: B[i] = r0[i] * (256 - wy) + r1[i] * wy for i < bytes (wy
// 0..255), exact (at most 255 * 256), stored as t[i] = B[i] - 32640, which
// lies in -32640..32640 and so fits a signed 16-bit entry. ahead0 and ahead1
// are the rows of the next call.
using vor_mx_blend_rows_fn = void (*)(int16_t* t, const uint8_t* r0, const uint8_t* r1, int32_t bytes, uint32_t wy,
                                      const uint8_t* ahead0, const uint8_t* ahead1);

// Columns pass: output cell j, plane i, from the two blended cells at
// t + off[j] and t + off[j] + 4 with the weights w[8j] (first cell) and
// w[8j + 1] (second), which add up to 256 (w[8j..8j+7] repeat that pair four
// times, ready to load as one vector):
//   out[4j + i] = (B0 * w0 + B1 * w1 + 32768) >> 16
// where B0, B1 are the blends of plane map[i]. Because the weights add up to
// 256, the offset of the entries carries the rounding: with t = B - 32640,
//   t0 * w0 + t1 * w1 = B0 w0 + B1 w1 + 32768 - 128 * 65536,
// so the output is ((t0 w0 + t1 w1) >> 16) + 128 with an arithmetic shift,
// one multiply-add per plane pair in 32 bits.
// Both cells are read even when the second weighs 0, so t must hold four
// readable entries past the last cell used.
using vor_mx_blend_cols_fn = void (*)(uint8_t* out, const int16_t* t, const int32_t* off, const int16_t* w,
                                      int32_t count, const uint8_t* map);

// uyvy -> ayuv: `cells` input cells into 2 * cells output cells (convert.h).
using vor_mx_uyvy_to_ayuv_fn = void (*)(const uint8_t* src, int32_t cells, uint8_t* dst);
// ayuv -> uyvy: `pairs` output cells, each from input cells 2j and 2j + 1.
using vor_mx_ayuv_to_uyvy_fn = void (*)(const uint8_t* src, int32_t pairs, uint8_t* dst);

struct vor_mx_kernels {
    vor_mx_kernel level;  // the level these kernels were chosen for
    vor_mx_shuffle4_fn shuffle4;
    vor_mx_mirror4_fn mirror4;
    vor_mx_gather4_fn gather4;
    vor_mx_fill4_fn fill4;
    vor_mx_blend_rows_fn blend_rows;
    // Kernels for maps whose entries are 0..3; `blend_cols_any` handles any
    // such map, `blend_cols_fixed` only the identity and the reversal
    // (3, 2, 1, 0), which is what a level without byte shuffles can do.
    vor_mx_blend_cols_fn blend_cols_any;
    vor_mx_blend_cols_fn blend_cols_fixed;
    vor_mx_uyvy_to_ayuv_fn uyvy_to_ayuv;
    vor_mx_ayuv_to_uyvy_fn ayuv_to_uyvy;
};

// The kernels for level `k` (automatic: the best; reference: the portable
// table, which callers that honour `reference` never use).
VORLIB const vor_mx_kernels& vor_mx_kernels_for(vor_mx_kernel k);

// ---------------------------------------------------------------- converters

// The converters' rows at the chosen level: the packed kernels when both
// strides are 4, the plain ones of convert.h otherwise (and for the single
// cell of a one-pixel ayuv row). Same arguments and results as
// vor_uyvy_to_ayuv_row and vor_ayuv_to_uyvy_row.
VORLIB void vor_mx_uyvy_to_ayuv(const uint8_t* src, int64_t sstride, int32_t cells, uint8_t* dst, int64_t dstride,
                                vor_mx_kernel k = vor_mx_kernel::automatic);
VORLIB void vor_mx_ayuv_to_uyvy(const uint8_t* src, int64_t sstride, int32_t cells, uint8_t* dst, int64_t dstride,
                                vor_mx_kernel k = vor_mx_kernel::automatic);

// ---------------------------------------------------------------- internal

// Per-level tables, filled by the kernel files (kernels_*.cpp). Each takes
// the table of the level below and replaces the kernels it improves.
void vor_mx_kernels_fill_portable(vor_mx_kernels& t);
void vor_mx_kernels_fill_sse2(vor_mx_kernels& t);
void vor_mx_kernels_fill_ssse3(vor_mx_kernels& t);
void vor_mx_kernels_fill_avx2(vor_mx_kernels& t);
