// Row kernels that write packed UYVY, in a reference version (plain C++) and
// vector versions for x86 (SSE2, AVX2), chosen once at run time. They are
// pure functions of their rows: the plane drivers (planar_convert.cpp,
// yuy2.cpp) own the geometry, the edge rules and the choice of kernel.
//
// Every version gives the reference's bytes exactly, for any count; the
// vector ones run whole vectors and leave the remainder to the reference.
// Sources and destination must not overlap.
#pragma once

#include <cstddef>
#include <cstdint>

#include "output/cpu_level.h"

// One UYVY row from a luma row and one chroma row each: cell i is
// U[i], Y[2i], V[i], Y[2i+1]. Reads 2 * cells luma and cells chroma bytes,
// writes 4 * cells bytes.
using PackRowFn = void (*)(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int32_t cells);

// The four chroma rows around an interpolated output row, top to bottom.
struct ChromaTaps {
    const uint8_t* row[4];
};

// One UYVY row whose chroma lies between taps row[1] and row[2]:
// c = low 8 bits of (9 * (row[1] + row[2]) - row[0] - row[3] - 8) >> 4,
// the shift arithmetic, no clamping.
using PackInterpRowFn = void (*)(const uint8_t* y, const ChromaTaps& u, const ChromaTaps& v, uint8_t* dst,
                                 int32_t cells);

// Swaps the two bytes of every 16-bit unit (YUY2 into UYVY order); a stray
// last byte of an odd size is copied as it is.
using Swap16Fn = void (*)(uint8_t* dst, const uint8_t* src, size_t size);

struct UyvyKernels {
    const char* name;
    PackRowFn pack_row;
    PackInterpRowFn pack_interp_row;
    Swap16Fn swap16;
};

// The table written for `level`, or null when this CPU cannot run it (or the
// build has none for it).
const UyvyKernels* uyvy_kernels(CpuLevel level);
// The fastest table this CPU runs, chosen on first use.
const UyvyKernels& uyvy_kernels_best();

// The kernels of each level; the vector ones exist on x86-64 builds only.
void pack_row_ref(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int32_t cells);
void pack_interp_row_ref(const uint8_t* y, const ChromaTaps& u, const ChromaTaps& v, uint8_t* dst, int32_t cells);
void swap16_ref(uint8_t* dst, const uint8_t* src, size_t size);
#if defined(__x86_64__)
#define VOR_HAVE_X86_KERNELS 1
void pack_row_sse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int32_t cells);
void pack_interp_row_sse2(const uint8_t* y, const ChromaTaps& u, const ChromaTaps& v, uint8_t* dst, int32_t cells);
void swap16_sse2(uint8_t* dst, const uint8_t* src, size_t size);
void pack_row_avx2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* dst, int32_t cells);
void pack_interp_row_avx2(const uint8_t* y, const ChromaTaps& u, const ChromaTaps& v, uint8_t* dst, int32_t cells);
void swap16_avx2(uint8_t* dst, const uint8_t* src, size_t size);
#endif
