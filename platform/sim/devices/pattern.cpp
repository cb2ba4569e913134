#include "devices/pattern.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>

namespace vorsim {

namespace {

struct Rgb {
    uint8_t r, g, b;
};
struct Yuv {
    uint8_t y, u, v;
};

// BT.601, studio range.
constexpr Yuv to_yuv(Rgb c) {
    const int r = c.r, g = c.g, b = c.b;
    return Yuv{uint8_t(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16),
               uint8_t(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128),
               uint8_t(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128)};
}

// The bars picture's colours: eight bars, then the strip and its block.
constexpr int kStrip = 8;
constexpr int kBlock = 9;
constexpr Rgb kBarsRgb[10] = {
    {191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0}, {191, 0, 191},
    {191, 0, 0},     {0, 0, 191},   {0, 0, 0},     {32, 32, 32}, {255, 255, 255},
};
constexpr Yuv kBarsYuv[10] = {
    to_yuv(kBarsRgb[0]), to_yuv(kBarsRgb[1]), to_yuv(kBarsRgb[2]), to_yuv(kBarsRgb[3]), to_yuv(kBarsRgb[4]),
    to_yuv(kBarsRgb[5]), to_yuv(kBarsRgb[6]), to_yuv(kBarsRgb[7]), to_yuv(kBarsRgb[8]), to_yuv(kBarsRgb[9]),
};

// Which bars colour a pixel of frame n has.
class Bars {
public:
    Bars(int32_t w, int32_t h, uint64_t n)
        : w_(w), strip_top_(h - h / 6), block_(w / 16 > 0 ? w / 16 : 1) {
        const int32_t step = w / 64 > 0 ? w / 64 : 1;
        pos_ = int32_t((n % uint64_t(w)) * uint64_t(step) % uint64_t(w));
    }
    int colour(int32_t x, int32_t y) const {
        if (y >= strip_top_) {
            int32_t d = x - pos_;
            if (d < 0) d += w_;
            return d < block_ ? kBlock : kStrip;
        }
        return int(int64_t(x) * 8 / w_);
    }

private:
    int32_t w_, strip_top_, block_, pos_ = 0;
};

// The RGB picture of a pattern, for the RGB layouts and the JPEG.
Rgb picture(const Pattern& p, const Bars& bars, int32_t x, int32_t y, uint64_t n) {
    switch (p.kind) {
    case Pattern::Kind::Ramp: return Rgb{uint8_t(n), uint8_t(y), uint8_t(x)};
    case Pattern::Kind::Solid: return Rgb{p.solid[2], p.solid[1], p.solid[0]};
    case Pattern::Kind::Bars: break;
    }
    return kBarsRgb[bars.colour(x, y)];
}

enum class Layout { Unknown, Palette, Rgb565, Rgb555, Rgb24, Rgb32, Argb32, Uyvy, Yuy2, I420, Yv12, Mjpg, Dv };

Layout layout_of(const SubtypeId& s) {
    if (s == subtype::RGB1 || s == subtype::RGB4 || s == subtype::RGB8) return Layout::Palette;
    if (s == subtype::RGB565) return Layout::Rgb565;
    if (s == subtype::RGB555) return Layout::Rgb555;
    if (s == subtype::RGB24) return Layout::Rgb24;
    if (s == subtype::RGB32) return Layout::Rgb32;
    if (s == subtype::ARGB32) return Layout::Argb32;
    if (s == subtype::UYVY) return Layout::Uyvy;
    if (s == subtype::YUY2) return Layout::Yuy2;
    if (s == subtype::I420) return Layout::I420;
    if (s == subtype::YV12) return Layout::Yv12;
    if (s == subtype::MJPG) return Layout::Mjpg;
    if (s == subtype::dvsd) return Layout::Dv;
    return Layout::Unknown;
}

// RGB rows in memory order: row r of memory holds image row image_row(r).
struct RgbRows {
    uint8_t* dst;
    size_t stride;
    int32_t h;
    bool bottom_up;
    uint8_t* row(int32_t r) const { return dst + size_t(r) * stride; }
    int32_t image_row(int32_t r) const { return bottom_up ? h - 1 - r : r; }
};

void fill_rgb32(const Pattern& p, int32_t w, const RgbRows& rows, uint64_t n, uint8_t x_byte) {
    const Bars bars(w, rows.h, n);
    for (int32_t r = 0; r < rows.h; ++r) {
        uint8_t* o = rows.row(r);
        const int32_t y = rows.image_row(r);
        if (p.kind == Pattern::Kind::Solid) {
            for (int32_t x = 0; x < w; ++x, o += 4) std::memcpy(o, p.solid.data(), 4);
            continue;
        }
        for (int32_t x = 0; x < w; ++x, o += 4) {
            const Rgb c = picture(p, bars, x, y, n);
            o[0] = c.b;
            o[1] = c.g;
            o[2] = c.r;
            o[3] = x_byte;
        }
    }
}

void fill_rgb24(const Pattern& p, int32_t w, const RgbRows& rows, uint64_t n) {
    const Bars bars(w, rows.h, n);
    const size_t used = size_t(w) * 3;
    for (int32_t r = 0; r < rows.h; ++r) {
        uint8_t* o = rows.row(r);
        const int32_t y = rows.image_row(r);
        for (int32_t x = 0; x < w; ++x, o += 3) {
            const Rgb c = picture(p, bars, x, y, n);
            o[0] = c.b;
            o[1] = c.g;
            o[2] = c.r;
        }
        std::memset(o, 0, rows.stride - used);
    }
}

void fill_rgb16(const Pattern& p, int32_t w, const RgbRows& rows, uint64_t n, bool is565) {
    const Bars bars(w, rows.h, n);
    const size_t used = size_t(w) * 2;
    for (int32_t r = 0; r < rows.h; ++r) {
        uint8_t* o = rows.row(r);
        const int32_t y = rows.image_row(r);
        for (int32_t x = 0; x < w; ++x, o += 2) {
            if (p.kind == Pattern::Kind::Solid) {
                o[0] = p.solid[0];
                o[1] = p.solid[1];
                continue;
            }
            const Rgb c = picture(p, bars, x, y, n);
            const uint16_t v = is565 ? uint16_t((c.r >> 3) << 11 | (c.g >> 2) << 5 | (c.b >> 3))
                                     : uint16_t((c.r >> 3) << 10 | (c.g >> 3) << 5 | (c.b >> 3));
            o[0] = uint8_t(v);
            o[1] = uint8_t(v >> 8);
        }
        std::memset(o, 0, rows.stride - used);
    }
}

// UYVY (U Y0 V Y1) or YUY2 (Y0 U Y1 V), always top-down.
void fill_packed(const Pattern& p, int32_t w, int32_t h, uint64_t n, bool uyvy, uint8_t* dst) {
    const Bars bars(w, h, n);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* o = dst + size_t(y) * size_t(w) * 2;
        for (int32_t q = 0; q < w / 2; ++q, o += 4) {
            if (p.kind == Pattern::Kind::Solid) {
                std::memcpy(o, p.solid.data(), 4);
                continue;
            }
            uint8_t u, y0, v, y1;
            if (p.kind == Pattern::Kind::Ramp) {
                u = uint8_t(q);
                y0 = uint8_t(y);
                v = uint8_t(n);
                y1 = uint8_t(y + 128);
            } else {
                const Yuv a = kBarsYuv[bars.colour(2 * q, y)];
                const Yuv b = kBarsYuv[bars.colour(2 * q + 1, y)];
                u = a.u;
                y0 = a.y;
                v = a.v;
                y1 = b.y;
            }
            if (uyvy) {
                o[0] = u, o[1] = y0, o[2] = v, o[3] = y1;
            } else {
                o[0] = y0, o[1] = u, o[2] = y1, o[3] = v;
            }
        }
    }
}

// I420 (Y, Cb, Cr) or YV12 (Y, Cr, Cb), always top-down.
void fill_planar(const Pattern& p, int32_t w, int32_t h, uint64_t n, bool yv12, uint8_t* dst) {
    const Bars bars(w, h, n);
    const int32_t cw = w / 2, ch = h / 2;
    uint8_t* yp = dst;
    uint8_t* first = dst + size_t(w) * size_t(h);
    uint8_t* second = first + size_t(cw) * size_t(ch);
    uint8_t* cb = yv12 ? second : first;
    uint8_t* cr = yv12 ? first : second;

    for (int32_t y = 0; y < h; ++y) {
        uint8_t* o = yp + size_t(y) * size_t(w);
        for (int32_t x = 0; x < w; ++x) {
            switch (p.kind) {
            case Pattern::Kind::Ramp: o[x] = uint8_t(x + y); break;
            case Pattern::Kind::Solid: o[x] = p.solid[0]; break;
            case Pattern::Kind::Bars: o[x] = kBarsYuv[bars.colour(x, y)].y; break;
            }
        }
    }
    for (int32_t j = 0; j < ch; ++j) {
        uint8_t* ob = cb + size_t(j) * size_t(cw);
        uint8_t* orr = cr + size_t(j) * size_t(cw);
        for (int32_t i = 0; i < cw; ++i) {
            switch (p.kind) {
            case Pattern::Kind::Ramp:
                ob[i] = uint8_t(i + 2 * j);
                orr[i] = uint8_t(n + uint64_t(j));
                break;
            case Pattern::Kind::Solid:
                ob[i] = p.solid[1];
                orr[i] = p.solid[2];
                break;
            case Pattern::Kind::Bars: {
                const Yuv c = kBarsYuv[bars.colour(2 * i, 2 * j)];
                ob[i] = c.u;
                orr[i] = c.v;
                break;
            }
            }
        }
    }
}

// ---- MJPG ----------------------------------------------------------------

constexpr size_t kJpegSlack = 2048;  // headers and tables beyond the pixels

struct JpegErrors {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void jpeg_fail(j_common_ptr c) { std::longjmp(reinterpret_cast<JpegErrors*>(c->err)->jump, 1); }
void jpeg_quiet(j_common_ptr) {}

// Writes into the caller's buffer; running out of room is noted, the rest
// goes to a scratch area and the frame is refused.
struct JpegDest {
    jpeg_destination_mgr mgr;
    uint8_t* start;
    size_t size;
    bool overflow;
    JOCTET spill[4096];
};

void dest_init(j_compress_ptr c) {
    auto* d = reinterpret_cast<JpegDest*>(c->dest);
    d->mgr.next_output_byte = d->start;
    d->mgr.free_in_buffer = d->size;
}
boolean dest_full(j_compress_ptr c) {
    auto* d = reinterpret_cast<JpegDest*>(c->dest);
    d->overflow = true;
    d->mgr.next_output_byte = d->spill;
    d->mgr.free_in_buffer = sizeof d->spill;
    return TRUE;
}
void dest_term(j_compress_ptr) {}

struct JpegJob {
    jpeg_compress_struct cinfo;
    JpegErrors errors;
    JpegDest dest;
    const Pattern* pattern;
    int32_t width, height;
    uint64_t n;
    JSAMPLE* row;
    size_t written;
};

// Everything libjpeg may jump out of lives in `job`, so nothing here is
// clobbered by the longjmp.
bool encode_jpeg(JpegJob& job) {
    job.cinfo.err = jpeg_std_error(&job.errors.mgr);
    job.errors.mgr.error_exit = jpeg_fail;
    job.errors.mgr.output_message = jpeg_quiet;
    if (setjmp(job.errors.jump)) {
        jpeg_destroy_compress(&job.cinfo);
        return false;
    }
    jpeg_create_compress(&job.cinfo);
    job.dest.mgr.init_destination = dest_init;
    job.dest.mgr.empty_output_buffer = dest_full;
    job.dest.mgr.term_destination = dest_term;
    job.cinfo.dest = &job.dest.mgr;
    job.cinfo.image_width = JDIMENSION(job.width);
    job.cinfo.image_height = JDIMENSION(job.height);
    job.cinfo.input_components = 3;
    job.cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&job.cinfo);
    jpeg_set_quality(&job.cinfo, 90, TRUE);
    jpeg_start_compress(&job.cinfo, TRUE);
    const Bars bars(job.width, job.height, job.n);
    while (job.cinfo.next_scanline < job.cinfo.image_height) {
        const int32_t y = int32_t(job.cinfo.next_scanline);
        for (int32_t x = 0; x < job.width; ++x) {
            const Rgb c = picture(*job.pattern, bars, x, y, job.n);
            job.row[3 * x] = c.r;
            job.row[3 * x + 1] = c.g;
            job.row[3 * x + 2] = c.b;
        }
        JSAMPROW rows[1] = {job.row};
        jpeg_write_scanlines(&job.cinfo, rows, 1);
    }
    jpeg_finish_compress(&job.cinfo);
    job.written = job.dest.size - job.dest.mgr.free_in_buffer;
    jpeg_destroy_compress(&job.cinfo);
    return !job.dest.overflow;
}

size_t fill_mjpg(const Pattern& p, int32_t w, int32_t h, uint64_t n, uint8_t* dst, size_t size) {
    std::vector<JSAMPLE> row(size_t(w) * 3);
    auto job = std::make_unique<JpegJob>();  // value-initialised: all zero
    job->dest.start = dst;
    job->dest.size = size;
    job->pattern = &p;
    job->width = w;
    job->height = h;
    job->n = n;
    job->row = row.data();
    return encode_jpeg(*job) ? job->written : 0;
}

void put_le32(uint8_t* o, uint32_t v) {
    for (int i = 0; i < 4; ++i) o[i] = uint8_t(v >> (8 * i));
}
void put_le64(uint8_t* o, uint64_t v) {
    for (int i = 0; i < 8; ++i) o[i] = uint8_t(v >> (8 * i));
}
uint64_t get_le(const uint8_t* o, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t(o[i]) << (8 * i);
    return v;
}

}  // namespace

uint16_t bits_per_pixel(const SubtypeId& s) {
    if (s == subtype::RGB1) return 1;
    if (s == subtype::RGB4) return 4;
    if (s == subtype::RGB8) return 8;
    switch (layout_of(s)) {
    case Layout::Rgb565:
    case Layout::Rgb555:
    case Layout::Uyvy:
    case Layout::Yuy2: return 16;
    case Layout::Rgb24:
    case Layout::Mjpg:
    case Layout::Dv: return 24;
    case Layout::Rgb32:
    case Layout::Argb32: return 32;
    case Layout::I420:
    case Layout::Yv12: return 12;
    case Layout::Palette:
    case Layout::Unknown: break;
    }
    return 0;
}

size_t rgb_stride(int32_t width, uint16_t bpp) {
    return (size_t(width) * bpp + 31) / 32 * 4;
}

size_t frame_size(const FrameFormat& f) {
    if (f.width <= 0 || f.height == 0 || f.height == INT32_MIN) return 0;
    const size_t w = size_t(f.width);
    const size_t h = size_t(f.height < 0 ? -f.height : f.height);
    switch (layout_of(f.subtype)) {
    case Layout::Palette:
    case Layout::Rgb565:
    case Layout::Rgb555:
    case Layout::Rgb24:
    case Layout::Rgb32:
    case Layout::Argb32: return rgb_stride(f.width, bits_per_pixel(f.subtype)) * h;
    case Layout::Uyvy:
    case Layout::Yuy2: return w % 2 ? 0 : w * h * 2;
    case Layout::I420:
    case Layout::Yv12: return (w % 2 || h % 2) ? 0 : w * h * 3 / 2;
    case Layout::Mjpg: return w * h * 3 + kJpegSlack;
    case Layout::Dv: return w % 2 ? 0 : kDvHeaderSize + w * h * 2;
    case Layout::Unknown: break;
    }
    return 0;
}

size_t fill_frame(const Pattern& pattern, const FrameFormat& f, uint64_t n, uint8_t* dst, size_t size) {
    const size_t need = frame_size(f);
    if (need == 0 || dst == nullptr || size < need) return 0;
    const int32_t w = f.width;
    const int32_t h = f.height < 0 ? -f.height : f.height;
    const Layout layout = layout_of(f.subtype);
    if (layout == Layout::Mjpg) {
        try {
            return fill_mjpg(pattern, w, h, n, dst, size);
        } catch (...) {
            return 0;  // out of memory
        }
    }
    const RgbRows rows{dst, rgb_stride(w, bits_per_pixel(f.subtype)), h, f.height > 0};
    switch (layout) {
    case Layout::Palette: std::memset(dst, 0, need); break;
    case Layout::Rgb565: fill_rgb16(pattern, w, rows, n, true); break;
    case Layout::Rgb555: fill_rgb16(pattern, w, rows, n, false); break;
    case Layout::Rgb24: fill_rgb24(pattern, w, rows, n); break;
    case Layout::Rgb32: fill_rgb32(pattern, w, rows, n, 0); break;
    case Layout::Argb32: fill_rgb32(pattern, w, rows, n, 255); break;
    case Layout::Uyvy: fill_packed(pattern, w, h, n, true, dst); break;
    case Layout::Yuy2: fill_packed(pattern, w, h, n, false, dst); break;
    case Layout::I420: fill_planar(pattern, w, h, n, false, dst); break;
    case Layout::Yv12: fill_planar(pattern, w, h, n, true, dst); break;
    case Layout::Dv:
        std::memcpy(dst, kDvMagic, sizeof kDvMagic);
        put_le32(dst + 8, uint32_t(w));
        put_le32(dst + 12, uint32_t(h));
        put_le64(dst + 16, n);
        fill_packed(pattern, w, h, n, true, dst + kDvHeaderSize);
        break;
    case Layout::Mjpg:
    case Layout::Unknown: return 0;
    }
    return need;
}

bool read_dv_frame(const uint8_t* data, size_t size, DvFrameHeader& header, const uint8_t*& picture) {
    if (data == nullptr || size < kDvHeaderSize || std::memcmp(data, kDvMagic, sizeof kDvMagic) != 0) return false;
    DvFrameHeader h;
    h.width = uint32_t(get_le(data + 8, 4));
    h.height = uint32_t(get_le(data + 12, 4));
    h.frame_index = get_le(data + 16, 8);
    if (h.width == 0 || h.height == 0 || h.width % 2) return false;
    const uint64_t avail = size - kDvHeaderSize;
    const uint64_t row = uint64_t(h.width) * 2;
    if (row > avail || h.height > avail / row) return false;
    header = h;
    picture = data + kDvHeaderSize;
    return true;
}

}  // namespace vorsim
