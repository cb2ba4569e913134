// The virtual camera's picture: the "ramp" pattern, byte for byte as the
// in-process platform's virtual devices draw it (platform/sim/devices/
// pattern.h), so that the cells a capture gives are the same under Windows
// and in the Linux transcripts. Values are taken modulo 256; frame n counts
// from 0 at each start of streaming.
//
//   RGB32       B = x, G = y, R = n, X = 0; a positive height is stored
//               bottom-up (image row 0 last), a negative one top-down
//   UYVY, YUY2  pixel pair q of row y: U = q, Y0 = y, V = n, Y1 = y + 128
//               (UYVY bytes U Y0 V Y1, YUY2 Y0 U Y1 V), top-down
//   I420        Y(x, y) = x + y, Cb(i, j) = i + 2j, Cr(i, j) = n + j; the
//               Y plane, then Cb, then Cr, chroma planes (w/2) x (h/2)
//
// This file has no Windows dependency: the Linux build tests it against the
// platform's own pattern.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorvcam {

enum class Layout { rgb32, uyvy, yuy2, i420 };

// Bytes of one frame (biSizeImage); 0 when the size cannot be held (width
// or height below 1, odd widths for the YUV layouts, odd heights for I420).
size_t ramp_frame_size(Layout layout, int32_t width, int32_t height);

// Writes frame n into dst (at least ramp_frame_size bytes); false, writing
// nothing, when the size cannot be held or `size` is too small. `height`
// follows biHeight: only RGB32 reads its sign.
bool ramp_fill(Layout layout, int32_t width, int32_t height, uint64_t n, uint8_t* dst, size_t size);

}  // namespace vorvcam
