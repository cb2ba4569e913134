// Host bitmaps: a width, a signed height, a pitch, a pixel-format code and a
// data pointer the bitmap does not own. `locks` counts vor_bitmap_lock calls
// not yet released; it guards nothing by itself.
#include <new>

#include "vorlib.h"

t_vor_bitmap* vor_bitmap_new(long width, long height, long pitch, long /*flags*/) {
    t_vor_bitmap* b = new (std::nothrow) t_vor_bitmap{};
    if (!b) return nullptr;
    b->width = static_cast<int32_t>(width);
    b->height = static_cast<int32_t>(height);
    b->pitch = static_cast<int32_t>(pitch);
    return b;
}

t_hox_err vor_bitmap_setdata(t_vor_bitmap* b, void* data) {
    if (!b) return HOX_EROR;
    b->data = data;
    return HOX_ERR_NONE;
}

void* vor_bitmap_lock(t_vor_bitmap* b) {
    if (!b) return nullptr;
    ++b->locks;
    return b->data;
}

long vor_bitmap_pitch(t_vor_bitmap* b) { return b ? b->pitch : 0; }

t_hox_err vor_bitmap_release(t_vor_bitmap* b) {
    if (!b || b->locks <= 0) return HOX_EROR;
    --b->locks;
    return HOX_ERR_NONE;
}

t_hox_err vor_bitmap_free(t_vor_bitmap* b) {
    delete b;
    return HOX_ERR_NONE;
}
