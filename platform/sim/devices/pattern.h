// The pictures virtual devices deliver: exact bytes for every format a device
// file may list, so that tests can check every byte of a frame.
//
// Patterns are defined in image coordinates (row 0 on top, x to the right,
// frame n counted from 0 at each start of streaming); every value is taken
// modulo 256.
//
//   ramp   RGB32/ARGB32  B = x, G = y, R = n, X = 0 (ARGB32: A = 255)
//          RGB24         B = x, G = y, R = n
//          RGB565/555    the RGB24 values, each channel's top bits packed
//          UYVY, YUY2    pixel pair q of row y: U = q, Y0 = y, V = n, Y1 = y + 128
//          I420, YV12    Y(x, y) = x + y, Cb(i, j) = i + 2j, Cr(i, j) = n + j
//   solid  every pixel's bytes are c0, c1, c2, c3 in the layout's own order
//          (RGB32 B G R X; RGB24 B G R; RGB565/555 the two bytes c0 c1;
//          UYVY U Y0 V Y1; YUY2 Y0 U Y1 V); planar Y = c0, Cb = c1, Cr = c2
//   bars   eight vertical 75% colour bars (white, yellow, cyan, green,
//          magenta, red, blue, black) over the top five sixths; below, a
//          dark strip with a white block that moves w/64 pixels (at least 1)
//          to the right each frame and wraps around. YUV formats carry the
//          BT.601 studio-range values of those colours; a chroma sample
//          takes the colour of the top-left pixel it covers.
//
// Storage: RGB with a positive height is bottom-up (the last row in memory is
// image row 0), negative height top-down; RGB rows are padded to 4 bytes with
// zeros. YUV formats are always top-down. I420 stores Y, Cb, Cr planes; YV12
// Y, Cr, Cb; chroma planes are (w/2) x (h/2).
//
// Palette formats (RGB1, RGB4, RGB8) are filled with index 0.
//
// MJPG: a baseline JPEG (4:2:0, quality 90) of the pattern's RGB picture: the
// RGB32 values of ramp and solid (R = c2, G = c1, B = c0), the bars colours.
// Its length varies; frame_size() is the buffer a sample needs.
//
// dvsd: a private payload that only the sim's DV decoder reads, all fields
// little-endian:
//   offset  0  8 bytes  magic "VORSIMDV"
//   offset  8  u32      width
//   offset 12  u32      height (positive)
//   offset 16  u64      frame index
//   offset 24           the picture as a UYVY frame of the same pattern,
//                       width * height * 2 bytes
//
// fill_frame allocates nothing for the uncompressed formats and dvsd; the
// caller owns the buffer.
#pragma once

#include "devices/device_set.h"

#include <cstddef>
#include <cstdint>

namespace vorsim {

struct FrameFormat {
    SubtypeId subtype;
    int32_t width = 0;
    int32_t height = 0;  // positive: bottom-up RGB
};

inline FrameFormat frame_format(const VideoCaps& caps) { return FrameFormat{caps.subtype, caps.width, caps.height}; }

// biBitCount for the subtype: 1, 4, 8, 16, 24, 32 for RGB; 16 for UYVY/YUY2;
// 12 for I420/YV12; 24 for MJPG and dvsd; 0 when unknown.
uint16_t bits_per_pixel(const SubtypeId& subtype);

// Bytes in one row of an RGB frame: ((w * bpp + 31) / 32) * 4.
size_t rgb_stride(int32_t width, uint16_t bpp);

// biSizeImage of an uncompressed format; for MJPG an upper bound of a frame;
// for dvsd the payload size. 0 for an unknown subtype, a width or height of
// 0, or odd sizes a YUV layout cannot hold (odd width for UYVY/YUY2, odd
// width or height for I420/YV12).
size_t frame_size(const FrameFormat& format);

// Writes frame `frame_index` of `pattern` into dst and returns the number of
// bytes written: frame_size() for all but MJPG, the JPEG's length for MJPG.
// Returns 0 (and may have written part of dst) when the format is unknown or
// `size` is too small.
size_t fill_frame(const Pattern& pattern, const FrameFormat& format, uint64_t frame_index, uint8_t* dst, size_t size);

// The dvsd payload's header.
inline constexpr size_t kDvHeaderSize = 24;
inline constexpr char kDvMagic[8] = {'V', 'O', 'R', 'S', 'I', 'M', 'D', 'V'};
struct DvFrameHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t frame_index = 0;
};
// Reads a dvsd payload: true when it starts with the magic and holds the whole
// picture the header announces; `picture` then points at the UYVY bytes.
bool read_dv_frame(const uint8_t* data, size_t size, DvFrameHeader& header, const uint8_t*& picture);

}  // namespace vorsim
