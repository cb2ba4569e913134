// Row kernels of the sim's converters (Color Space Converter, AVI
// Decompressor, DV Video Decoder): one row at a time, plain loops, no COM
// types. The filters' plane drivers pick rows (strides, flips, chroma rows)
// and call these.
//
// Every kernel goes through one pixel form, Bgra: the bytes of an RGB32
// pixel (blue, green, red, then alpha or the unused byte).
//
// RGB layouts, per pixel in memory order:
//   rgb24   B G R
//   rgb32   B G R X       X is written as 255 and ignored when read
//   argb32  B G R A
//   rgb555  16-bit little-endian x RRRRR GGGGG BBBBB (top bit 0)
//   rgb565  16-bit little-endian RRRRR GGGGGG BBBBB
// 5- and 6-bit channels widen by repeating their top bits
// ((v << 3) | (v >> 2), (v << 2) | (v >> 4)) and narrow by keeping the top
// bits. Reading anything but argb32 gives alpha 255.
//
// YUV to RGB: BT.601, studio range (Y 16..235, Cb/Cr 16..240), exact
// integer arithmetic:
//   c = Y - 16, d = Cb - 128, e = Cr - 128
//   R = clamp((298 c + 409 e + 128) >> 8)
//   G = clamp((298 c - 100 d - 208 e + 128) >> 8)
//   B = clamp((298 c + 516 d + 128) >> 8)
// (>> is an arithmetic shift; clamp to 0..255.) Chroma is not
// interpolated: a pixel takes the chroma sample of its pair (packed
// formats) or of its 2x2 block (planar formats). Odd widths: the last pixel
// of a row uses the chroma of its own, half-used pair; packed rows hold
// (width + 1) / 2 pairs and planar chroma rows (width + 1) / 2 samples.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorsim::pixels {

struct Bgra {
    uint8_t b, g, r, a;
};

// The YUV -> RGB formula above for one pixel (alpha 255).
Bgra yuv_to_bgra(int y, int cb, int cr);

enum class RgbLayout { rgb24, rgb32, argb32, rgb555, rgb565 };

int rgb_bits(RgbLayout layout);
// Bytes of one padded row: ((width * bits + 31) / 32) * 4.
size_t rgb_stride(int width, int bits);

// RGB rows <-> Bgra rows of `width` pixels (no padding written).
void rgb_row_to_bgra(RgbLayout layout, const uint8_t* src, Bgra* dst, int width);
void bgra_row_to_rgb(RgbLayout layout, const Bgra* src, uint8_t* dst, int width);

// Packed YUV rows (UYVY: U Y0 V Y1; YUY2: Y0 U Y1 V) to Bgra.
void uyvy_row_to_bgra(const uint8_t* src, Bgra* dst, int width);
void yuy2_row_to_bgra(const uint8_t* src, Bgra* dst, int width);
// One row of a planar frame: its Y row and the chroma rows it uses.
void planar_row_to_bgra(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, Bgra* dst, int width);

// Nearest-neighbour horizontal resampling of a UYVY row of src_width pixels
// to dst_width pixels: destination pixel x shows source pixel
// x * src_width / dst_width.
//   to Bgra through the formula;
//   to UYVY or YUY2 (dst_width even): each destination pair takes the Y of
//   its two source pixels and the chroma of its first pixel's pair.
void uyvy_row_resample_to_bgra(const uint8_t* src, int src_width, Bgra* dst, int dst_width);
void uyvy_row_resample_to_uyvy(const uint8_t* src, int src_width, uint8_t* dst, int dst_width);
void uyvy_row_resample_to_yuy2(const uint8_t* src, int src_width, uint8_t* dst, int dst_width);
// The source column / row a destination pixel shows when resampling.
inline int resample_source(int dst_index, int src_size, int dst_size) {
    return static_cast<int>(static_cast<int64_t>(dst_index) * src_size / dst_size);
}

}  // namespace vorsim::pixels
