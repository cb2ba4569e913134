#include "ramp.h"

namespace vorvcam {

size_t ramp_frame_size(Layout layout, int32_t width, int32_t height) {
    if (height < 0 && layout == Layout::rgb32) height = -height;
    if (width < 1 || height < 1) return 0;
    const size_t w = size_t(width), h = size_t(height);
    switch (layout) {
    case Layout::rgb32: return w * h * 4;
    case Layout::uyvy:
    case Layout::yuy2: return w % 2 ? 0 : w * h * 2;
    case Layout::i420: return (w % 2 || h % 2) ? 0 : w * h * 3 / 2;
    }
    return 0;
}

namespace {

void fill_rgb32(int32_t w, int32_t h, bool bottom_up, uint64_t n, uint8_t* dst) {
    for (int32_t r = 0; r < h; ++r) {
        const int32_t y = bottom_up ? h - 1 - r : r;
        uint8_t* o = dst + size_t(r) * size_t(w) * 4;
        for (int32_t x = 0; x < w; ++x, o += 4) {
            o[0] = uint8_t(x);
            o[1] = uint8_t(y);
            o[2] = uint8_t(n);
            o[3] = 0;
        }
    }
}

void fill_packed(int32_t w, int32_t h, uint64_t n, bool uyvy, uint8_t* dst) {
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* o = dst + size_t(y) * size_t(w) * 2;
        for (int32_t q = 0; q < w / 2; ++q, o += 4) {
            const uint8_t u = uint8_t(q), y0 = uint8_t(y), v = uint8_t(n), y1 = uint8_t(y + 128);
            if (uyvy) {
                o[0] = u, o[1] = y0, o[2] = v, o[3] = y1;
            } else {
                o[0] = y0, o[1] = u, o[2] = y1, o[3] = v;
            }
        }
    }
}

void fill_i420(int32_t w, int32_t h, uint64_t n, uint8_t* dst) {
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* o = dst + size_t(y) * size_t(w);
        for (int32_t x = 0; x < w; ++x) o[x] = uint8_t(x + y);
    }
    const int32_t cw = w / 2, ch = h / 2;
    uint8_t* cb = dst + size_t(w) * size_t(h);
    uint8_t* cr = cb + size_t(cw) * size_t(ch);
    for (int32_t j = 0; j < ch; ++j) {
        for (int32_t i = 0; i < cw; ++i) {
            cb[size_t(j) * size_t(cw) + size_t(i)] = uint8_t(i + 2 * j);
            cr[size_t(j) * size_t(cw) + size_t(i)] = uint8_t(n + uint64_t(j));
        }
    }
}

}  // namespace

bool ramp_fill(Layout layout, int32_t width, int32_t height, uint64_t n, uint8_t* dst, size_t size) {
    const size_t need = ramp_frame_size(layout, width, height);
    if (need == 0 || dst == nullptr || size < need) return false;
    switch (layout) {
    case Layout::rgb32: fill_rgb32(width, height < 0 ? -height : height, height > 0, n, dst); break;
    case Layout::uyvy: fill_packed(width, height, n, true, dst); break;
    case Layout::yuy2: fill_packed(width, height, n, false, dst); break;
    case Layout::i420: fill_i420(width, height, n, dst); break;
    }
    return true;
}

}  // namespace vorvcam
