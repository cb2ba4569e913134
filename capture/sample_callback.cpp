#include "capture/sample_callback.h"

#include <cstring>
#include <new>

#include "capture/com_holders.h"
#include "grabber/grabber.h"
#include "output/output.h"
#include "output/planar_convert.h"
#include "output/yuy2.h"

SampleGrabberCallback* sample_callback_new(t_grabber* owner) {
    return new (std::nothrow) SampleGrabberCallback(owner);
}

void sample_callback_delete(SampleGrabberCallback* cb) { delete cb; }

HRESULT SampleGrabberCallback::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
        *out = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

// The object lives as long as its grabber; the counts are fixed answers.
ULONG SampleGrabberCallback::AddRef() { return 1; }
ULONG SampleGrabberCallback::Release() { return 2; }

HRESULT SampleGrabberCallback::BufferCB(double, BYTE*, LONG) { return E_NOTIMPL; }

namespace {

// Gives the grabber a frame buffer of `size` bytes, replacing one of another
// size after the output let go of it. False when none could be had.
bool fit_frame_buffer(t_grabber* g, long size) {
    if (g->framebuf && sysmem_ptrsize(g->framebuf) == size) return true;
    if (g->framebuf) {
        output_detach(g);
        sysmem_freeptr(g->framebuf);
    }
    g->framebuf = sysmem_newptr(size);
    set_outchange(g, OUTCHANGE_GEOMETRY);
    return g->framebuf != nullptr;
}

// I420 or YV12 into packed UYVY. The sample must hold the three planes its
// connected type describes; frames that do not are dropped.
void convert_planar(t_grabber* g, const BYTE* p, int32_t size) {
    // `samplegrabber` is read under the mutex: grabber close clears it under
    // the same mutex, so it cannot go away while this runs.
    ISampleGrabber* sg = g->samplegrabber;
    if (!sg) return;
    MediaTypeHolder mt;
    if (FAILED(sg->GetConnectedMediaType(mt.get()))) return;
    const VIDEOINFOHEADER* vih = video_info(*mt);
    if (!vih) return;
    const int32_t w = vih->bmiHeader.biWidth;
    const int32_t h = vih->bmiHeader.biHeight;
    if (w < 2 || h < 2 || static_cast<int64_t>(w) * h > (int64_t{1} << 28)) return;
    const int32_t a = w * h;
    const int32_t q = a / 4;
    if (size < a + 2 * q) return;

    const BYTE* y = p;
    const BYTE* u = p + a;
    const BYTE* v = p + a + q;
    if (g->subtype == MEDIASUBTYPE_YV12) std::swap(u, v);

    const int32_t stride = (w / 2) * 4;
    if (!fit_frame_buffer(g, static_cast<long>(stride) * h * 4)) return;
    planar_to_packed(reinterpret_cast<uint8_t*>(g->framebuf), y, u, v, w, w / 2, w, h, 4, stride);
}

}  // namespace

HRESULT SampleGrabberCallback::SampleCB(double, IMediaSample* sample) {
    t_grabber* g = owner;
    dropped_ref(g).fetch_add(1, std::memory_order_relaxed);
    if (!sample) return S_OK;
    const int32_t size = sample->GetSize();

    systhread_mutex_lock(g->mutex);
    BYTE* p = nullptr;
    if (size > 0 && SUCCEEDED(sample->GetPointer(&p)) && p) {
        if (g->subtype == MEDIASUBTYPE_I420 || g->subtype == MEDIASUBTYPE_YV12) {
            convert_planar(g, p, size);
        } else if (fit_frame_buffer(g, size)) {
            // YUY2 is stored in UYVY order, so every output path reads one
            // packed layout; other formats are kept as delivered.
            if (g->subtype == MEDIASUBTYPE_YUY2)
                yuy2_to_uyvy(reinterpret_cast<uint8_t*>(g->framebuf), p, static_cast<size_t>(size));
            else
                std::memcpy(g->framebuf, p, static_cast<size_t>(size));
        }
    }
    systhread_mutex_unlock(g->mutex);
    return S_OK;
}
