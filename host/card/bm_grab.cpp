// The card back end: capture cards the matrix runtime serves itself, here
// virtual ones given by the host (hox_host_set_cards).
//
// An open card makes frames of its display mode in the "ramp" pattern,
// rows top-down, frame n counted from 0 at each open: argb frames are
// bytes A = 255, R = n, G = y, B = x per pixel, in the planes' own order
// (pitch 4 x width); uyvy frames
// are U = q, Y0 = y, V = n, Y1 = y + 128 per pixel pair q (pitch 2 x width);
// every value modulo 256. The frame's pixels live in the handle; the bitmap
// handed out points at them.
#include <chrono>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "hoxhost.h"

namespace {

struct Mode {
    std::string name;
    int32_t width, height;
};

struct Card {
    std::string name, id;
    std::vector<Mode> modes;
};

using Clock = std::chrono::steady_clock;

struct Cards {
    std::mutex lock;
    std::vector<Card> list;
    bool manual = false;
    long advanced = 0;  // frames made by hox_host_cards_advance
    std::vector<t_bm_grab*> handles;  // every live handle, for signal changes
};

Cards& cards() {
    static Cards c;
    return c;
}

// A copy of card `index`, or false when there is none.
bool card_at(long index, Card* out) {
    Cards& c = cards();
    std::lock_guard<std::mutex> g(c.lock);
    if (index < 0 || index >= static_cast<long>(c.list.size())) return false;
    *out = c.list[static_cast<size_t>(index)];
    return true;
}

}  // namespace

struct t_bm_grab {
    void* owner;  // the object that asked for the handle; not owned
    std::vector<t_symbol*> pixel_format = {};   // per device, as set
    std::vector<long> display_mode = {};       // per device, as set
    long open_device = -1;
    Mode mode{};
    bool uyvy = false;
    std::vector<uint8_t> pixels = {};
    uint64_t shown = 0;         // frames made so far (next frame index)
    Clock::time_point opened = {};
    long advanced_at_open = 0;
};

void hox_host_set_cards(const t_hox_card* list, long count) {
    std::vector<Card> next;
    for (long i = 0; list && i < count; ++i) {
        Card card{list[i].name ? list[i].name : "", list[i].id ? list[i].id : "", {}};
        for (long m = 0; list[i].modes && m < list[i].mode_count; ++m)
            card.modes.push_back({list[i].modes[m].name ? list[i].modes[m].name : "", list[i].modes[m].width,
                                  list[i].modes[m].height});
        next.push_back(std::move(card));
    }
    Cards& c = cards();
    std::lock_guard<std::mutex> g(c.lock);
    c.list = std::move(next);
}

void hox_host_cards_manual_clock(bool manual) {
    Cards& c = cards();
    std::lock_guard<std::mutex> g(c.lock);
    c.manual = manual;
}

void hox_host_cards_advance(long n) {
    Cards& c = cards();
    std::lock_guard<std::mutex> g(c.lock);
    if (n > 0) c.advanced += n;
}

t_bm_grab* bm_grab_new(void* owner) {
    auto* h = new (std::nothrow) t_bm_grab{owner};
    if (!h) return nullptr;
    Cards& c = cards();
    std::lock_guard<std::mutex> g(c.lock);
    try {
        c.handles.push_back(h);
    } catch (const std::bad_alloc&) {
        delete h;
        return nullptr;
    }
    return h;
}

void bm_grab_free(t_bm_grab* h) {
    if (!h) return;
    {
        Cards& c = cards();
        std::lock_guard<std::mutex> g(c.lock);
        std::erase(c.handles, h);
    }
    delete h;
}

void hox_host_card_signal(long index, long mode) {
    std::vector<void*> owners;
    {
        Cards& c = cards();
        std::lock_guard<std::mutex> g(c.lock);
        const Card* card = index >= 0 && index < static_cast<long>(c.list.size()) ? &c.list[static_cast<size_t>(index)]
                                                                                   : nullptr;
        for (t_bm_grab* h : c.handles) {
            if (h->open_device != index || !h->owner) continue;
            // The open card now delivers the detected mode; an index it does
            // not have leaves the frames as they were.
            if (card && mode >= 0 && mode < static_cast<long>(card->modes.size())) {
                const Mode next = card->modes[static_cast<size_t>(mode)];
                const int32_t pitch = h->uyvy ? 2 * next.width : 4 * next.width;
                try {
                    h->pixels.assign(static_cast<size_t>(pitch) * static_cast<size_t>(next.height), 0);
                    h->mode = next;
                    // The frame handed out lived in the pixels just replaced:
                    // the next request draws the current frame in the new
                    // mode and hands it out, rather than answer "no new frame"
                    // for pixels that are gone.
                    h->shown = 0;
                } catch (const std::bad_alloc&) {
                }
            }
            owners.push_back(h->owner);
        }
    }
    // The owners are told outside the lock: they call back into the handle.
    for (void* owner : owners) vor_object_method(owner, gensym("format_changed"), mode);
}

long bm_grab_getDeviceCount(t_bm_grab* h) {
    if (!h) return 0;
    Cards& c = cards();
    std::lock_guard<std::mutex> g(c.lock);
    return static_cast<long>(c.list.size());
}

t_hox_err bm_grab_getDeviceName(t_bm_grab* h, long index, t_atom* name) {
    Card card;
    if (!h || !name || !card_at(index, &card)) return HOX_EROR;
    atom_setsym(name, gensym(card.name.c_str()));
    return HOX_ERR_NONE;
}

t_hox_err bm_grab_getDeviceID(t_bm_grab* h, long index, t_atom* id) {
    Card card;
    if (!h || !id || !card_at(index, &card)) return HOX_EROR;
    atom_setsym(id, gensym(card.id.c_str()));
    return HOX_ERR_NONE;
}

long bm_grab_getDeviceIndexForID(t_bm_grab* h, t_symbol* id) {
    if (!h || !id) return -1;
    Cards& c = cards();
    std::lock_guard<std::mutex> g(c.lock);
    for (size_t i = 0; i < c.list.size(); ++i)
        if (c.list[i].id == id->s_name) return static_cast<long>(i);
    return -1;
}

static void remember(std::vector<long>& v, long index, long value) {
    if (index >= static_cast<long>(v.size())) v.resize(static_cast<size_t>(index) + 1, -1);
    v[static_cast<size_t>(index)] = value;
}

t_hox_err bm_grab_setPixelFormat(t_bm_grab* h, long index, t_symbol* colormode) {
    Card card;
    if (!h || !colormode || !card_at(index, &card)) return HOX_EROR;
    if (index >= static_cast<long>(h->pixel_format.size())) h->pixel_format.resize(static_cast<size_t>(index) + 1);
    h->pixel_format[static_cast<size_t>(index)] = colormode;
    return HOX_ERR_NONE;
}

t_hox_err bm_grab_setDisplayMode(t_bm_grab* h, long index, long mode) {
    Card card;
    if (!h || !card_at(index, &card)) return HOX_EROR;
    remember(h->display_mode, index, mode);
    return HOX_ERR_NONE;
}

t_hox_err bm_grab_getDisplayModeNames(t_bm_grab* h, long index, t_atom* result) {
    Card card;
    if (!h || !result || !card_at(index, &card)) return HOX_EROR;
    std::vector<t_atom> names(card.modes.size());
    for (size_t i = 0; i < names.size(); ++i) atom_setsym(&names[i], gensym(card.modes[i].name.c_str()));
    t_atomarray* array = atomarray_new(static_cast<long>(names.size()), names.data());
    if (!array) return HOX_OMEM;
    atom_setobj(result, array);
    return HOX_ERR_NONE;
}

long bm_grab_open(t_bm_grab* h, long index) {
    Card card;
    if (!h || !card_at(index, &card) || card.modes.empty()) return 0;
    long mode = index < static_cast<long>(h->display_mode.size()) ? h->display_mode[static_cast<size_t>(index)] : -1;
    if (mode < 0 || mode >= static_cast<long>(card.modes.size())) mode = 0;
    h->mode = card.modes[static_cast<size_t>(mode)];
    t_symbol* format =
        index < static_cast<long>(h->pixel_format.size()) ? h->pixel_format[static_cast<size_t>(index)] : nullptr;
    h->uyvy = format && std::string(format->s_name) == "uyvy";
    const int32_t pitch = h->uyvy ? 2 * h->mode.width : 4 * h->mode.width;
    try {
        h->pixels.assign(static_cast<size_t>(pitch) * static_cast<size_t>(h->mode.height), 0);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    h->open_device = index;
    h->shown = 0;
    h->opened = Clock::now();
    Cards& c = cards();
    std::lock_guard<std::mutex> g(c.lock);
    h->advanced_at_open = c.advanced;
    return 1;
}

void bm_grab_close(t_bm_grab* h) {
    if (!h) return;
    h->open_device = -1;
    h->pixels.clear();
}

namespace {

// Frames the clock has made since the card opened.
uint64_t frames_made(const t_bm_grab* h) {
    Cards& c = cards();
    std::lock_guard<std::mutex> g(c.lock);
    if (c.manual) return static_cast<uint64_t>(c.advanced - h->advanced_at_open);
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - h->opened);
    return static_cast<uint64_t>(elapsed.count() / 33333) + 1;
}

void draw(t_bm_grab* h, uint64_t n) {
    const int32_t w = h->mode.width, height = h->mode.height;
    uint8_t* p = h->pixels.data();
    for (int32_t y = 0; y < height; ++y) {
        if (h->uyvy) {
            for (int32_t q = 0; q < w / 2; ++q, p += 4) {
                p[0] = static_cast<uint8_t>(q);
                p[1] = static_cast<uint8_t>(y);
                p[2] = static_cast<uint8_t>(n);
                p[3] = static_cast<uint8_t>(y + 128);
            }
            p += 2 * w - 4 * (w / 2);
        } else {
            for (int32_t x = 0; x < w; ++x, p += 4) {
                p[0] = 255;
                p[1] = static_cast<uint8_t>(n);
                p[2] = static_cast<uint8_t>(y);
                p[3] = static_cast<uint8_t>(x);
            }
        }
    }
}

}  // namespace

long bm_grab_getCurrentFrame(t_bm_grab* h, t_vor_bitmap** bitmap, void* texture, long unique) {
    if (!h || !bitmap || h->open_device < 0) return 1;
    const uint64_t made = frames_made(h);
    if (made == 0) return 1;
    if (made <= h->shown) return unique ? 1 : 0;

    const int32_t pitch = h->uyvy ? 2 * h->mode.width : 4 * h->mode.width;
    t_vor_bitmap* b = *bitmap;
    if (b && (b->width != h->mode.width || b->height != h->mode.height || b->pitch != pitch)) {
        vor_bitmap_free(b);
        b = *bitmap = nullptr;
    }
    if (!b) {
        b = *bitmap = vor_bitmap_new(h->mode.width, h->mode.height, pitch, 0);
        if (!b) return 5;
    }
    draw(h, made - 1);
    h->shown = made;
    vor_bitmap_setdata(b, h->pixels.data());
    b->format = h->uyvy ? 3 : 8;
    if (texture) object_method(texture, gensym("submit_bitmap"), b);
    return 2;
}
