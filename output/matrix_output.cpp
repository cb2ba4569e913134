// matrix_calc: the latest frame into the output matrix (or the texture).
//
// The frame buffer holds what the frame callback left there: RGB32 as the
// device delivered it (bottom-up unless its height is negative), or UYVY
// (YUY2 frames are put in UYVY order and planar ones converted to it on
// arrival). The frame matrix is pointed at it; the output is then filled by
// sharing (uyvy at the frame's own size), by the host's matrix copy with a
// conversion descriptor (argb: plane reorder, flip, crop, scale), or for a
// scaled uyvy output through two 4:4:4 matrices.
#include <cstring>

#include "capture/com_holders.h"
#include "module/module.h"
#include "output/output.h"

namespace {

constexpr const char* kNoBufferSize = "could not get buffer size";
constexpr const char* kNoConnectedType = "could not get connected media type";
constexpr const char* kInvalidType = "invalid media type";

t_vor_matrix_info info_of(void* m) {
    t_vor_matrix_info info{};
    vor_object_method(m, _vor_sym_getinfo, &info);
    return info;
}

long lock(void* m, long state) {
    return static_cast<long>(reinterpret_cast<t_word>(vor_object_method(m, _vor_sym_lock, state)));
}

bool is_uyvy(const t_grabber* x) { return x->colormode == g_module.uyvy; }

void set_range(int32_t* start, int32_t* end, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    start[0] = x0;
    start[1] = y0;
    end[0] = x1;
    end[1] = y1;
}

// argb: planes A R G B from B G R X, the picture upright, always passed.
t_vor_matrix_conv_info argb_descriptor(const t_grabber* x, const t_vor_matrix_info& frame, bool bottomup, int32_t out_w,
                                       int32_t out_h) {
    t_vor_matrix_conv_info d{};
    const int32_t f = frame.dim[0], g = frame.dim[1];
    if (x->usesrcrect || bottomup) d.flags |= VOR_MATRIX_CONVERT_SRCDIM;
    if (x->usedstrect) d.flags |= VOR_MATRIX_CONVERT_DSTDIM;
    if (x->interp) d.flags |= VOR_MATRIX_CONVERT_INTERP;
    d.planemap[0] = 3;
    d.planemap[1] = 2;
    d.planemap[2] = 1;
    d.planemap[3] = 0;
    const int32_t* r = x->srcrect;
    if ((d.flags & VOR_MATRIX_CONVERT_SRCDIM) && x->usesrcrect) {
        if (bottomup)
            set_range(d.srcdimstart, d.srcdimend, r[0], g - r[1], r[2], g - r[3]);
        else
            set_range(d.srcdimstart, d.srcdimend, r[0], r[1], r[2], r[3]);
    } else if (bottomup) {
        set_range(d.srcdimstart, d.srcdimend, 0, g - 1, f - 1, 0);
    } else {
        set_range(d.srcdimstart, d.srcdimend, 0, 0, f - 1, g - 1);
    }
    const int32_t* o = x->dstrect;
    if (x->usedstrect)
        set_range(d.dstdimstart, d.dstdimend, o[0], o[1], o[2], o[3]);
    else
        set_range(d.dstdimstart, d.dstdimend, 0, 0, out_w - 1, out_h - 1);
    return d;
}

// uyvy: the planes as they are, never flipped; passed only with a rectangle.
t_vor_matrix_conv_info uyvy_descriptor(const t_grabber* x) {
    t_vor_matrix_conv_info d{};
    if (x->usesrcrect) d.flags |= VOR_MATRIX_CONVERT_SRCDIM;
    if (x->usedstrect) d.flags |= VOR_MATRIX_CONVERT_DSTDIM;
    if ((x->usesrcrect || x->usedstrect) && x->interp) d.flags |= VOR_MATRIX_CONVERT_INTERP;
    for (int i = 0; i < 4; ++i) d.planemap[i] = i;
    const int32_t* r = x->srcrect;
    const int32_t* o = x->dstrect;
    set_range(d.srcdimstart, d.srcdimend, r[0], r[1], r[2], r[3]);
    set_range(d.dstdimstart, d.dstdimend, o[0], o[1], o[2], o[3]);
    return d;
}

void frommatrix(void* dst, void* src, const t_vor_matrix_conv_info* d) {
    vor_object_method(dst, _vor_sym_frommatrix, src, d);
}

// Fills `out` from the frame matrix.
void output_copy(t_grabber* x, void* out, void* src, const t_vor_matrix_conv_info* d) {
    const t_vor_matrix_info si = info_of(src);
    t_vor_matrix_info oi = info_of(out);
    const bool uyvy = is_uyvy(x);
    x->selfresize = 1;

    if (x->adapt) {
        if (oi.dim[0] != si.dim[0] || oi.dim[1] != si.dim[1]) {
            oi.dim[0] = si.dim[0];
            oi.dim[1] = si.dim[1];
            vor_object_method(out, _vor_sym_setinfo_ex, &oi);
        }
        frommatrix(out, src, d);
        x->selfresize = 0;
        return;
    }

    const int32_t tw = x->optimize ? outdim_of(x, 0) : oi.dim[0] * (uyvy ? 2 : 1);
    const int32_t th = x->optimize ? outdim_of(x, 1) : oi.dim[1];
    const int32_t cw = uyvy ? tw / 2 : tw;

    if (!d && cw == si.dim[0] && th == si.dim[1]) {
        // The output refers to the frame buffer itself: no copy per frame.
        if (!(outchange_of(x) == OUTCHANGE_NONE && (oi.flags & VOR_MATRIX_DATA_REFERENCE))) {
            vor_object_method(out, g_module.freedata);
            t_vor_matrix_info shared = si;
            shared.flags |= VOR_MATRIX_DATA_REFERENCE;
            vor_object_method(out, _vor_sym_setinfo_ex, &shared);
            void* data = nullptr;
            vor_object_method(src, _vor_sym_getdata, &data);
            vor_object_method(out, _vor_sym_data, data);
        }
        x->selfresize = 0;
        return;
    }

    bool changed = false;
    if (oi.flags & VOR_MATRIX_DATA_REFERENCE) {
        oi.flags &= ~VOR_MATRIX_DATA_REFERENCE;
        oi.type = _vor_sym_char;
        oi.dimcount = 2;
        oi.planecount = 4;
        changed = true;
    }
    if (oi.dim[0] != cw || oi.dim[1] != th) {
        oi.dim[0] = cw;
        oi.dim[1] = th;
        changed = true;
    }
    if (changed) vor_object_method(out, _vor_sym_setinfo_ex, &oi);

    if (!uyvy) {
        frommatrix(out, src, d);
    } else {
        vor_object_method(x->uyvy2ayuv, _vor_sym_matrix_calc, src, x->convmatrix[0]);
        t_vor_matrix_info ci = info_of(x->convmatrix[1]);
        if (ci.dim[0] != tw || ci.dim[1] != th) {
            ci.dim[0] = tw;
            ci.dim[1] = th;
            vor_object_method(x->convmatrix[1], _vor_sym_setinfo, &ci);
        }
        frommatrix(x->convmatrix[1], x->convmatrix[0], d);
        vor_object_method(x->ayuv2uyvy, _vor_sym_matrix_calc, x->convmatrix[1], out);
    }
    x->selfresize = 0;
}

// The frame as a bitmap for the texture; the mutex is held on entry and
// released here before the texture draws.
void texture_submit(t_grabber* x, int32_t w, int32_t hs) {
    t_vor_bitmap* b = x->bitmap;
    if (b && !(b->width == w && b->height == hs && b->pitch == 4 * w)) {
        vor_bitmap_free(b);
        b = x->bitmap = nullptr;
    }
    if (!b) b = x->bitmap = vor_bitmap_new(w, hs, 4L * w, 0);
    if (b) {
        vor_bitmap_setdata(b, x->framebuf);
        b->format = is_uyvy(x) ? 3 : 8;
        vor_object_method(x->texture, g_module.submit_bitmap, b);
    }
    systhread_mutex_unlock(x->mutex);
    vor_object_method(x->texture, g_module.draw_texture);
}

t_hox_err directshow_frame(t_grabber* x, void* out) {
    LONG size = 0;
    HRESULT hr = x->samplegrabber->GetCurrentBuffer(&size, nullptr);
    if (hr == VFW_E_WRONG_STATE) return HOX_ERR_NONE;
    if (FAILED(hr)) {
        vor_object_error(x, "%s", kNoBufferSize);
        return HOX_ERR_NONE;
    }
    if (size < 1) return HOX_SPRS;
    if (x->unique && dropped_ref(x).load() == 0) return HOX_SPRS;
    const int32_t dropped = dropped_ref(x).load();
    if (dropped >= 2 && x->dropreport) {
        t_atom a;
        atom_setlong(&a, dropped - 1);
        notify_client(x, g_module.dropped, 1, &a);
    }
    dropped_ref(x).store(0);

    MediaTypeHolder mt;
    if (FAILED(x->samplegrabber->GetConnectedMediaType(mt.get()))) {
        vor_object_error(x, "%s", kNoConnectedType);
        return HOX_EROR;
    }
    const VIDEOINFOHEADER* vih = video_info(*mt);
    if (!(mt->subtype == x->subtype) || !vih) {
        vor_object_error(x, "%s", kInvalidType);
        return HOX_EROR;
    }
    const int32_t w = vih->bmiHeader.biWidth;
    const int32_t hs = vih->bmiHeader.biHeight;
    // A size that describes no frame (no whole pixel pair in uyvy; a height
    // whose magnitude is no int32) is refused as a wrong type is.
    const int64_t rows = hs < 0 ? -static_cast<int64_t>(hs) : hs;
    if (w < (is_uyvy(x) ? 2 : 1) || rows < 1 || rows > INT32_MAX) {
        vor_object_error(x, "%s", kInvalidType);
        return HOX_EROR;
    }
    // The bytes of a row as the texture and the frame matrix read it.
    const int64_t row_bytes = (is_uyvy(x) ? 2 : 4) * static_cast<int64_t>(w);

    systhread_mutex_lock(x->mutex);
    // A frame buffer that holds less (a sample shorter than its type, or an
    // earlier frame left by a planar sample that was skipped) is not output:
    // the output would take the frame's size and show what is not there.
    if (!x->framebuf || sysmem_ptrsize(x->framebuf) / row_bytes < rows) {
        systhread_mutex_unlock(x->mutex);
        return HOX_SPRS;
    }
    if (x->output_texture) {
        texture_submit(x, w, hs);
        return HOX_ERR_NONE;
    }
    void* frame = x->framematrix;
    if (frame) {
        t_vor_matrix_info fi = info_of(frame);
        if (outchange_of(x) != OUTCHANGE_NONE) {
            fi.dim[0] = is_uyvy(x) ? (w >> 1) : w;
            fi.dim[1] = static_cast<int32_t>(rows);
            fi.dimstride[0] = 4;
            fi.dimstride[1] = 4 * fi.dim[0];
            fi.size = x->framebuf ? sysmem_ptrsize(x->framebuf) : 0;
            vor_object_method(frame, _vor_sym_setinfo_ex, &fi);
            vor_object_method(frame, _vor_sym_data, x->framebuf);
        }
        const bool bottomup = hs >= 0;
        if (out) {
            const long frame_lock = lock(frame, 1);
            grabber_attach(x, out);
            const long out_lock = lock(out, 1);
            const t_vor_matrix_info oi = info_of(out);
            if (is_uyvy(x)) {
                const t_vor_matrix_conv_info d = uyvy_descriptor(x);
                output_copy(x, out, frame, d.flags ? &d : nullptr);
            } else {
                const t_vor_matrix_conv_info d = argb_descriptor(x, fi, bottomup, oi.dim[0], oi.dim[1]);
                output_copy(x, out, frame, &d);
            }
            output_clear(x, out);
            set_outchange(x, OUTCHANGE_NONE);
            lock(out, out_lock);
            lock(frame, frame_lock);
        }
    }
    systhread_mutex_unlock(x->mutex);
    if (x->colormode == g_module.argb && out) vor_object_method(out, _vor_sym_fillplane, 0L, 255L);
    return HOX_ERR_NONE;
}

t_hox_err card_frame(t_grabber* x, void* out) {
    t_vor_matrix_info oi = out ? info_of(out) : t_vor_matrix_info{};
    if (outchange_of(x) != OUTCHANGE_NONE && x->bitmap) {
        vor_bitmap_free(x->bitmap);
        x->bitmap = nullptr;
    }
    const long status =
        bm_grab_getCurrentFrame(x->cardgrabber, &x->bitmap, x->output_texture ? x->texture : nullptr, x->unique != 0);
    if (status == 2 && x->bitmap) {
        const int32_t w = is_uyvy(x) ? x->bitmap->width / 2 : x->bitmap->width;
        const int32_t h = x->bitmap->height;
        if (out && x->adapt) {
            oi.dim[0] = w;
            oi.dim[1] = h;
            vor_object_method(out, _vor_sym_setinfo, &oi);
        }
        if (out && oi.planecount != 4) {
            oi.planecount = 4;
            vor_object_method(out, _vor_sym_setinfo, &oi);
        }
        if (x->framematrix) {
            vor_object_method(x->framematrix, _vor_sym_data, nullptr);
            t_vor_matrix_info fi = info_of(x->framematrix);
            const long pitch = vor_bitmap_pitch(x->bitmap);
            fi.type = _vor_sym_char;
            fi.planecount = 4;
            fi.dimcount = 2;
            fi.dim[0] = w;
            fi.dim[1] = h;
            fi.dimstride[0] = 4;
            fi.dimstride[1] = static_cast<int32_t>(pitch);
            fi.size = static_cast<int64_t>(pitch) * h;
            vor_object_method(x->framematrix, _vor_sym_setinfo_ex, &fi);
            if (void* p = vor_bitmap_lock(x->bitmap)) {
                vor_object_method(x->framematrix, _vor_sym_data, p);
                vor_bitmap_release(x->bitmap);
            }
            set_outchange(x, OUTCHANGE_NONE);
        }
        vor_attr_user_touch(x, _vor_sym_dim);
    }
    if (status == 0 || status == 2) {
        if (x->output_texture) {
            vor_object_method(x->texture, g_module.draw_texture);
            return HOX_ERR_NONE;
        }
        if (!out || !x->framematrix) return HOX_ERR_NONE;
        t_vor_matrix_conv_info d{};
        if (x->usesrcrect) d.flags |= VOR_MATRIX_CONVERT_SRCDIM;
        if (x->usedstrect) d.flags |= VOR_MATRIX_CONVERT_DSTDIM;
        if ((x->usesrcrect || x->usedstrect) && x->interp) d.flags |= VOR_MATRIX_CONVERT_INTERP;
        const int32_t planes = std::max<int32_t>(oi.planecount, 1);
        for (int32_t i = 0; i < std::max<int32_t>(planes, 4) && i < VOR_MATRIX_MAXPLANECOUNT; ++i)
            d.planemap[i % planes] = i;
        set_range(d.srcdimstart, d.srcdimend, x->srcrect[0], x->srcrect[1], x->srcrect[2], x->srcrect[3]);
        set_range(d.dstdimstart, d.dstdimend, x->dstrect[0], x->dstrect[1], x->dstrect[2], x->dstrect[3]);
        const long out_lock = lock(out, 1);
        grabber_attach(x, out);
        output_clear(x, out);
        frommatrix(out, x->framematrix, d.flags ? &d : nullptr);
        lock(out, out_lock);
        return HOX_ERR_NONE;
    }
    return status == 5 ? HOX_OMEM : HOX_SPRS;
}

}  // namespace

t_hox_err matrix_calc(t_grabber* x, void*, void* outputs) {
    void* out = outputs ? vor_object_method(outputs, _vor_sym_getindex, 0L) : nullptr;
    if (x->cardgrabber && x->carddevice >= 0 && x->state == GRAB_CARD && !x->suspended) return card_frame(x, out);

    if (x->graph && x->samplegrabber && x->state == GRAB_OPEN && !x->suspended) return directshow_frame(x, out);

    // No frames come in: a pending clear, and the alpha of an argb output.
    output_clear(x, out);
    if (x->colormode == g_module.argb && !x->output_texture && out)
        vor_object_method(out, _vor_sym_fillplane, 0L, 255L);
    return HOX_ERR_NONE;
}

t_hox_err grabber_dimensions(t_grabber* x, long width, long height) {
    set_output_size(x, static_cast<int32_t>(width), static_cast<int32_t>(height));
    set_outchange(x, OUTCHANGE_GEOMETRY);
    return HOX_ERR_NONE;
}
