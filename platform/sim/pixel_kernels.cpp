// Row kernels of the sim's converters.
#include "pixel_kernels.h"

namespace vorsim::pixels {
namespace {

uint8_t clamp255(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

uint8_t widen5(unsigned v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }
uint8_t widen6(unsigned v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); }

uint16_t read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void write16(uint8_t* p, unsigned v) {
    p[0] = static_cast<uint8_t>(v & 0xff);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// Packed rows: pixel x lives in pair x / 2; offsets of Y and chroma.
struct PackedOffsets {
    int y0, cb, y1, cr;
};
constexpr PackedOffsets kUyvy{1, 0, 3, 2};
constexpr PackedOffsets kYuy2{0, 1, 2, 3};

void packed_row_to_bgra(const PackedOffsets& o, const uint8_t* src, Bgra* dst, int width) {
    for (int x = 0; x < width; ++x) {
        const uint8_t* pair = src + (x / 2) * 4;
        dst[x] = yuv_to_bgra(pair[(x & 1) ? o.y1 : o.y0], pair[o.cb], pair[o.cr]);
    }
}

void resample_to_packed(const PackedOffsets& o, const uint8_t* src, int src_width, uint8_t* dst, int dst_width) {
    for (int q = 0; q < dst_width / 2; ++q) {
        const int s0 = resample_source(2 * q, src_width, dst_width);
        const int s1 = resample_source(2 * q + 1, src_width, dst_width);
        const uint8_t* p0 = src + (s0 / 2) * 4;
        const uint8_t* p1 = src + (s1 / 2) * 4;
        uint8_t* d = dst + q * 4;
        d[o.y0] = p0[(s0 & 1) ? 3 : 1];
        d[o.y1] = p1[(s1 & 1) ? 3 : 1];
        d[o.cb] = p0[0];
        d[o.cr] = p0[2];
    }
}

}  // namespace

Bgra yuv_to_bgra(int y, int cb, int cr) {
    const int c = y - 16, d = cb - 128, e = cr - 128;
    return Bgra{clamp255((298 * c + 516 * d + 128) >> 8), clamp255((298 * c - 100 * d - 208 * e + 128) >> 8),
                clamp255((298 * c + 409 * e + 128) >> 8), 255};
}

int rgb_bits(RgbLayout layout) {
    switch (layout) {
        case RgbLayout::rgb24: return 24;
        case RgbLayout::rgb32:
        case RgbLayout::argb32: return 32;
        case RgbLayout::rgb555:
        case RgbLayout::rgb565: return 16;
    }
    return 0;
}

size_t rgb_stride(int width, int bits) {
    return ((static_cast<size_t>(width) * static_cast<size_t>(bits) + 31) / 32) * 4;
}

void rgb_row_to_bgra(RgbLayout layout, const uint8_t* src, Bgra* dst, int width) {
    for (int x = 0; x < width; ++x) {
        switch (layout) {
            case RgbLayout::rgb24: {
                const uint8_t* p = src + 3 * x;
                dst[x] = Bgra{p[0], p[1], p[2], 255};
                break;
            }
            case RgbLayout::rgb32:
            case RgbLayout::argb32: {
                const uint8_t* p = src + 4 * x;
                dst[x] = Bgra{p[0], p[1], p[2], layout == RgbLayout::argb32 ? p[3] : uint8_t{255}};
                break;
            }
            case RgbLayout::rgb555: {
                const unsigned v = read16(src + 2 * x);
                dst[x] = Bgra{widen5(v & 0x1f), widen5((v >> 5) & 0x1f), widen5((v >> 10) & 0x1f), 255};
                break;
            }
            case RgbLayout::rgb565: {
                const unsigned v = read16(src + 2 * x);
                dst[x] = Bgra{widen5(v & 0x1f), widen6((v >> 5) & 0x3f), widen5(v >> 11), 255};
                break;
            }
        }
    }
}

void bgra_row_to_rgb(RgbLayout layout, const Bgra* src, uint8_t* dst, int width) {
    for (int x = 0; x < width; ++x) {
        const Bgra& c = src[x];
        switch (layout) {
            case RgbLayout::rgb24: {
                uint8_t* p = dst + 3 * x;
                p[0] = c.b;
                p[1] = c.g;
                p[2] = c.r;
                break;
            }
            case RgbLayout::rgb32:
            case RgbLayout::argb32: {
                uint8_t* p = dst + 4 * x;
                p[0] = c.b;
                p[1] = c.g;
                p[2] = c.r;
                p[3] = layout == RgbLayout::argb32 ? c.a : uint8_t{255};
                break;
            }
            case RgbLayout::rgb555:
                write16(dst + 2 * x, ((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
                break;
            case RgbLayout::rgb565:
                write16(dst + 2 * x, ((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
                break;
        }
    }
}

void uyvy_row_to_bgra(const uint8_t* src, Bgra* dst, int width) { packed_row_to_bgra(kUyvy, src, dst, width); }

void yuy2_row_to_bgra(const uint8_t* src, Bgra* dst, int width) { packed_row_to_bgra(kYuy2, src, dst, width); }

void planar_row_to_bgra(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, Bgra* dst, int width) {
    for (int x = 0; x < width; ++x) dst[x] = yuv_to_bgra(y[x], cb[x / 2], cr[x / 2]);
}

void uyvy_row_resample_to_bgra(const uint8_t* src, int src_width, Bgra* dst, int dst_width) {
    for (int x = 0; x < dst_width; ++x) {
        const int s = resample_source(x, src_width, dst_width);
        const uint8_t* pair = src + (s / 2) * 4;
        dst[x] = yuv_to_bgra(pair[(s & 1) ? 3 : 1], pair[0], pair[2]);
    }
}

void uyvy_row_resample_to_uyvy(const uint8_t* src, int src_width, uint8_t* dst, int dst_width) {
    resample_to_packed(kUyvy, src, src_width, dst, dst_width);
}

void uyvy_row_resample_to_yuy2(const uint8_t* src, int src_width, uint8_t* dst, int dst_width) {
    resample_to_packed(kYuy2, src, src_width, dst, dst_width);
}

}  // namespace vorsim::pixels
