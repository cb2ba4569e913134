// The texture class "vor_gl_video_texture": what a video object hands its
// frames to when it outputs textures. There is no GPU here; the texture keeps
// the frame's pixels as an image in memory, which can be exported as a PNG.
//
// Attributes: output_texture (char, 0), texture_name (symbol: a unique name,
// under which the texture is registered at creation), drawto (symbol,
// empty), automatic (char, 0).
//
// Methods (direct calls):
//   submit_bitmap(t_vor_bitmap*)     remembers the bitmap's width, signed
//                                    height, pitch, format code and data
//                                    pointer, and takes a copy of its pixels
//   draw_texture()                   makes the last submitted pixels the
//                                    texture's image; counts the draw
//   clear_texture()                  turns the image black; counts nothing
//   export_image_surface(ac, av)     PNG of the image as RGBA
//
// Why the pixels are copied at submission and not at the draw: a video object
// submits while it holds the lock of its frame buffer and draws after
// releasing it, when a capture thread may already be overwriting or replacing
// that buffer. The copy is taken while the pixels are still guarded; the draw
// then only publishes it. The image ends up the same as a copy at draw time
// of an unchanged buffer.
//
// Pixel formats (t_vor_bitmap::format):
//   8  argb: bytes b, g, r, x per pixel, rows `pitch` bytes apart (the pitch
//      must hold 4 x width bytes). Rows run bottom-up when the height is
//      positive and top-down when it is negative; the image is kept top-down.
//   3  uyvy: bytes U, Y0, V, Y1 per pixel pair, packed rows of 2 x width
//      bytes, always top-down (packed 4:2:2 video is stored top-down whatever
//      the height's sign). The bitmap's pitch is not used: a video object
//      gives a uyvy bitmap the 4 x width pitch of the texture it becomes,
//      not the pitch of its packed rows. Exported as RGB by the BT.601
//      limited-range conversion; the last pixel of an odd width uses V = 128
//      (its pair has no V byte).
//   Other codes are remembered but give no image.
#include <atomic>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "hoxhost.h"
#include "matrix/classes.h"
#include "matrix/image_file.h"

namespace {

constexpr uint8_t kFormatUyvy = 3;
constexpr uint8_t kFormatArgb = 8;

struct image {
    std::vector<uint8_t> pixels;  // top-down rows of rowbytes
    int32_t width = 0;
    int32_t height = 0;
    int64_t rowbytes = 0;
    uint8_t format = 0;
    bool valid = false;
};

struct texture_state {
    std::mutex mu;
    int32_t width = 0, height = 0, pitch = 0;
    int32_t format = 0;
    void* data = nullptr;
    int64_t draws = 0;
    image pending;  // pixels of the last submission
    image shown;    // pixels of the last draw
};

struct t_vor_texture {
    t_object ob;
    void* owner;
    t_symbol* texture_name;
    t_symbol* drawto;
    char output_texture;
    char automatic;
    texture_state* st;
};

t_class* s_class = nullptr;

texture_state* state_of(void* x) {
    return x && object_class(x) == s_class ? static_cast<t_vor_texture*>(x)->st : nullptr;
}

// Copies a bitmap's pixels into `img` (top-down); an empty, unknown or
// inconsistent bitmap leaves `img` invalid.
void take_pixels(const t_vor_bitmap& b, image& img) {
    img.valid = false;
    const int32_t w = b.width;
    const int64_t h = b.height < 0 ? -static_cast<int64_t>(b.height) : b.height;
    if (!b.data || w < 1 || h < 1) return;
    const auto* src = static_cast<const uint8_t*>(b.data);
    int64_t rowbytes, stride;
    bool bottom_up;
    if (b.format == kFormatArgb) {
        rowbytes = 4 * static_cast<int64_t>(w);
        stride = b.pitch;
        if (stride < rowbytes) return;
        bottom_up = b.height > 0;
    } else if (b.format == kFormatUyvy) {
        rowbytes = 2 * static_cast<int64_t>(w);
        stride = rowbytes;
        bottom_up = false;
    } else {
        return;
    }
    img.pixels.resize(static_cast<size_t>(rowbytes * h));
    for (int64_t r = 0; r < h; ++r) {
        const int64_t from = bottom_up ? h - 1 - r : r;
        std::memcpy(img.pixels.data() + r * rowbytes, src + from * stride, static_cast<size_t>(rowbytes));
    }
    img.width = w;
    img.height = static_cast<int32_t>(h);
    img.rowbytes = rowbytes;
    img.format = b.format;
    img.valid = true;
}

uint8_t clamp255(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// BT.601, limited range (Y 16..235, U and V 16..240 around 128), in 8-bit
// fixed point.
void yuv_to_rgb(int32_t y, int32_t u, int32_t v, uint8_t* rgb) {
    const int32_t c = 298 * (y - 16);
    const int32_t d = u - 128, e = v - 128;
    rgb[0] = clamp255((c + 409 * e + 128) >> 8);
    rgb[1] = clamp255((c - 100 * d - 208 * e + 128) >> 8);
    rgb[2] = clamp255((c + 516 * d + 128) >> 8);
}

void to_rgba(const image& img, std::vector<uint8_t>& rgba) {
    rgba.resize(static_cast<size_t>(img.width) * static_cast<size_t>(img.height) * 4);
    uint8_t* out = rgba.data();
    for (int32_t r = 0; r < img.height; ++r) {
        const uint8_t* row = img.pixels.data() + r * img.rowbytes;
        for (int32_t i = 0; i < img.width; ++i, out += 4) {
            if (img.format == kFormatArgb) {
                const uint8_t* p = row + 4 * static_cast<int64_t>(i);
                out[0] = p[2], out[1] = p[1], out[2] = p[0];
            } else {
                const int64_t pair = 4 * static_cast<int64_t>(i / 2);
                const int32_t u = row[pair];
                const int32_t y = row[pair + (i % 2 ? 3 : 1)];
                const int32_t v = pair + 2 < img.rowbytes ? row[pair + 2] : 128;
                yuv_to_rgb(y, u, v, out);
            }
            out[3] = 255;
        }
    }
}

// ---------------------------------------------------------------- methods

t_hox_err t_submit_bitmap(t_vor_texture* x, t_vor_bitmap* b) {
    texture_state* st = state_of(x);
    if (!st || !b) return HOX_EROR;
    try {
        std::lock_guard<std::mutex> g(st->mu);
        st->width = b->width;
        st->height = b->height;
        st->pitch = b->pitch;
        st->format = b->format;
        st->data = b->data;
        take_pixels(*b, st->pending);
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_EROR;
    }
}

t_hox_err t_draw_texture(t_vor_texture* x) {
    texture_state* st = state_of(x);
    if (!st) return HOX_EROR;
    try {
        std::lock_guard<std::mutex> g(st->mu);
        if (st->pending.valid) {
            std::swap(st->shown, st->pending);
            st->pending.valid = false;
        }
        ++st->draws;
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_EROR;
    }
}

t_hox_err t_clear_texture(t_vor_texture* x) {
    texture_state* st = state_of(x);
    if (!st) return HOX_EROR;
    try {
        std::lock_guard<std::mutex> g(st->mu);
        image& img = st->shown;
        if (!img.valid) return HOX_ERR_NONE;
        if (img.format == kFormatUyvy) {
            // Video black: U 128, Y 16, V 128, Y 16.
            for (size_t i = 0; i < img.pixels.size(); ++i) img.pixels[i] = (i % 2) ? 16 : 128;
        } else {
            std::fill(img.pixels.begin(), img.pixels.end(), uint8_t{0});
        }
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_EROR;
    }
}

t_hox_err t_export_image_surface(t_vor_texture* x, long ac, t_atom* av) {
    texture_state* st = state_of(x);
    if (!st) return HOX_EROR;
    try {
        const std::string path = vor_export_path(ac, av, hox_host_default_folder());
        if (path.empty()) return HOX_EROR;
        std::vector<uint8_t> rgba;
        int32_t w, h;
        {
            std::lock_guard<std::mutex> g(st->mu);
            if (!st->shown.valid) return HOX_EROR;
            to_rgba(st->shown, rgba);
            w = st->shown.width;
            h = st->shown.height;
        }
        return vor_png_write_rgba(path.c_str(), w, h, rgba.data(), static_cast<int64_t>(w) * 4);
    } catch (...) {
        return HOX_EROR;
    }
}

// ---------------------------------------------------------------- new, free

void* texture_new(void* owner) {
    auto* x = static_cast<t_vor_texture*>(vor_object_alloc(s_class));
    if (!x) return nullptr;
    x->st = new (std::nothrow) texture_state;
    if (!x->st) {
        vor_object_free(x);
        return nullptr;
    }
    x->owner = owner;
    x->drawto = gensym("");
    x->texture_name = vor_symbol_unique();
    vor_object_register(x, x->texture_name);
    return x;
}

void texture_free(t_vor_texture* x) {
    if (!x) return;
    delete x->st;
    x->st = nullptr;
}

t_object* offset_attr(const char* name, const char* type, long offset) {
    return static_cast<t_object*>(
        vor_object_new(gensym("vor_attr_offset"), gensym(name), gensym(type), 0L, nullptr, nullptr, offset));
}

}  // namespace

t_hox_err vor_texture_state(void* texture, t_vor_texture_state* state) {
    texture_state* st = state_of(texture);
    if (!st || !state) return HOX_EROR;
    try {
        std::lock_guard<std::mutex> g(st->mu);
        state->name = static_cast<t_vor_texture*>(texture)->texture_name;
        state->width = st->width;
        state->height = st->height;
        state->pitch = st->pitch;
        state->format = st->format;
        state->draws = st->draws;
        return HOX_ERR_NONE;
    } catch (...) {
        return HOX_EROR;
    }
}

void vor_texture_class_init() {
    t_class* c = vor_class_new("vor_gl_video_texture", HOXFN(texture_new), HOXFN(texture_free),
                               sizeof(t_vor_texture), A_CANT, 0);
    if (!c) return;
    vor_class_addattr(c, offset_attr("output_texture", "char", offsetof(t_vor_texture, output_texture)));
    vor_class_addattr(c, offset_attr("texture_name", "symbol", offsetof(t_vor_texture, texture_name)));
    vor_class_addattr(c, offset_attr("drawto", "symbol", offsetof(t_vor_texture, drawto)));
    vor_class_addattr(c, offset_attr("automatic", "char", offsetof(t_vor_texture, automatic)));
    vor_class_addmethod(c, HOXFN(t_submit_bitmap), "submit_bitmap", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(t_draw_texture), "draw_texture", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(t_clear_texture), "clear_texture", A_CANT, 0);
    vor_class_addmethod(c, HOXFN(t_export_image_surface), "export_image_surface", A_CANT, 0);
    vor_class_register(c);
    s_class = c;
}
