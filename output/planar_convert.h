// Planar 4:2:0 (I420, YV12) to packed UYVY, done while a frame is copied into
// the frame buffer on the streaming thread.
//
// Each destination cell is four bytes U, Y0, V, Y1 for one pair of pixels.
// Even output rows take their chroma row directly; odd rows interpolate it
// from the four nearest chroma rows with the taps (-1, 9, 9, -1) / 16, minus
// 8 before the shift, and store the low 8 bits of the result unclamped. The
// top edge repeats the first chroma row, the bottom edge the last one used.
//
// Rows written: the height rounded up to even, and never fewer than 6. So
// short and odd-height frames get rows past their height; they land in the
// frame buffer, which the caller sizes at four times the packed frame.
//
// Reads never leave the planes described by `height` and `width` (luma
// width x height, chroma width/2 x height/2): a luma row past the last is
// read as the last row and a chroma row past the last as the last one.
// Only whole pixel pairs are written (width / 2 cells a row), so an odd
// width's last pixel is dropped rather than spilling into the next row.
// Frames of normal size (even width, even height of 6 or more) are converted
// exactly as the rule above says, with no clamping. A frame smaller than
// 2 x 2 has no chroma sample and is left alone.
#pragma once

#include <cstdint>

// Rows the conversion writes for a frame of this height.
int32_t planar_rows_written(int32_t height);

// Converts a frame row by row, with the fastest row kernels this CPU runs
// (output/uyvy_kernels.h). `pair_step` is the distance between cells in a
// destination row (4 when they are packed, the fast case).
void planar_to_packed(uint8_t* dst, const uint8_t* y, const uint8_t* u, const uint8_t* v, int32_t luma_stride,
                      int32_t chroma_stride, int32_t width, int32_t height, int32_t pair_step, int32_t dst_stride);

struct UyvyKernels;
// The same with the given kernel table, so that tests can run each one.
void planar_to_packed_with(const UyvyKernels& kernels, uint8_t* dst, const uint8_t* y, const uint8_t* u,
                           const uint8_t* v, int32_t luma_stride, int32_t chroma_stride, int32_t width, int32_t height,
                           int32_t pair_step, int32_t dst_stride);
