#include "capture/graph.h"

#include "capture/com_holders.h"
#include "capture/enumerate.h"
#include "capture/messages.h"
#include "capture/sample_callback.h"
#include "controls/controls.h"
#include "module/module.h"

namespace {

void report(t_grabber* x, const char* text) { vor_object_error(x, "%s", text); }

// Waits until the graph is stopped, stopping it first when it runs. A graph
// that refuses to stop would never report Stopped: when StopWhenReady fails,
// Stop is asked, and when that fails too there is nothing to wait for.
void wait_stopped(t_grabber* x) {
    OAFilterState fs = State_Stopped;
    if (FAILED(x->mediacontrol->GetState(static_cast<LONG>(INFINITE), &fs)) || fs == State_Stopped) return;
    x->state = GRAB_CLOSED;
    if (FAILED(x->mediacontrol->StopWhenReady()) && FAILED(x->mediacontrol->Stop())) return;
    while (SUCCEEDED(x->mediacontrol->GetState(static_cast<LONG>(INFINITE), &fs)) && fs != State_Stopped) {
    }
}

template <class T>
void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// The Sample Grabber interface is read by the streaming thread under the
// mutex, so it is replaced under the mutex too; the old one is released
// outside it.
void swap_samplegrabber(t_grabber* x, ISampleGrabber* next) {
    systhread_mutex_lock(x->mutex);
    ISampleGrabber* old = x->samplegrabber;
    x->samplegrabber = next;
    systhread_mutex_unlock(x->mutex);
    if (old) old->Release();
}

void teardown_downstream(t_grabber* x, IBaseFilter* f) {
    ComRef<IEnumPins> pins;
    if (FAILED(f->EnumPins(pins.put()))) return;
    ComRef<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        ComRef<IPin> peer;
        HRESULT connected = pin->ConnectedTo(peer.put());
        pin.reset();
        if (FAILED(connected) || !peer) continue;
        PIN_INFO info{};
        if (FAILED(peer->QueryPinInfo(&info))) break;
        peer.reset();
        ComRef<IBaseFilter> downstream(info.pFilter);
        if (info.dir == PINDIR_INPUT && downstream) {
            teardown_downstream(x, downstream.get());
            x->graph->RemoveFilter(downstream.get());
        }
    }
}

// Removes the graph's filters one at a time, resetting the enumerator after
// each removal (a removal puts it out of step with the graph). A filter the
// graph will not let go of (one whose Stop failed refuses with
// VFW_E_NOT_STOPPED) is stepped over from then on, so the loop ends when
// every filter has either gone or refused; releasing the graph frees the
// ones that refused.
void remove_all_filters(t_grabber* x) {
    ComRef<IEnumFilters> filters;
    if (FAILED(x->graph->EnumFilters(filters.put()))) return;
    ULONG refused = 0;
    ComRef<IBaseFilter> f;
    while ((refused == 0 || filters->Skip(refused) == S_OK) && filters->Next(1, f.put(), nullptr) == S_OK) {
        if (FAILED(x->graph->RemoveFilter(f.get()))) ++refused;
        f.reset();
        filters->Reset();
    }
}

// DV display size for the requested resolution.
int dv_display(t_grabber* x) {
    const int32_t w = std::atomic_ref<int32_t>(x->resolution[0]).load();
    const int32_t h = std::atomic_ref<int32_t>(x->resolution[1]).load();
    if (w > 360 || h > 288) return DVRESOLUTION_FULL;
    if (w > 180 || h > 144) return DVRESOLUTION_HALF;
    if (w > 88 || h > 72) return DVRESOLUTION_QUARTER;
    return DVRESOLUTION_DC;
}

// A camcorder's interleaved stream through the DV decoder into the grabber.
bool dv_route(t_grabber* x, IBaseFilter* capture, IBaseFilter* grabber, IBaseFilter* renderer) {
    ComRef<IBaseFilter> dv;
    if (FAILED(CoCreateInstance(CLSID_DVVideoCodec, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, dv.put_void())))
        return false;
    if (FAILED(x->graph->AddFilter(dv.get(), DSW("DVDecompressor")))) {
        report(x, msg::kNoAddDv);
        return false;
    }
    ComRef<IIPDVDec> display;
    if (SUCCEEDED(dv.query(IID_IIPDVDec, display))) display->put_IPDisplay(dv_display(x));
    display.reset();

    ICaptureGraphBuilder2* b = x->builder;
    bool ok = false;
    HRESULT hr = b->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved, capture, nullptr, dv.get());
    if (hr == S_OK || hr == VFW_S_NOPREVIEWPIN)
        ok = b->RenderStream(nullptr, &MEDIATYPE_Video, dv.get(), grabber, renderer) == S_OK;
    if (!ok && b->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, capture, nullptr, dv.get()) == S_OK)
        ok = b->RenderStream(nullptr, &MEDIATYPE_Video, dv.get(), grabber, renderer) == S_OK;
    if (!ok) x->graph->RemoveFilter(dv.get());
    return ok;
}

bool video_route(t_grabber* x, IBaseFilter* capture, IBaseFilter* grabber, IBaseFilter* renderer) {
    HRESULT hr = x->builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, capture, grabber, renderer);
    if (hr == S_OK || hr == VFW_S_NOPREVIEWPIN) return true;
    // Exactly S_OK: the capture category has no "no preview pin" success.
    return x->builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, capture, grabber, renderer) == S_OK;
}

void set_grabber_type(t_grabber* x, const GUID& subtype) {
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = subtype;
    mt.formattype = GUID_NULL;
    x->samplegrabber->SetMediaType(&mt);
}

bool connect(t_grabber* x, IBaseFilter* capture, IBaseFilter* grabber, IBaseFilter* renderer) {
    if (dv_route(x, capture, grabber, renderer)) return true;
    if (video_route(x, capture, grabber, renderer)) return true;
    if (x->colormode != g_module.uyvy) return false;
    // Devices without UYVY: packed YUY2, then the planar formats, which the
    // frame callback turns into UYVY.
    for (const GUID* fallback : {&MEDIASUBTYPE_YUY2, &MEDIASUBTYPE_I420, &MEDIASUBTYPE_YV12}) {
        set_grabber_type(x, *fallback);
        if (video_route(x, capture, grabber, renderer)) {
            x->subtype = *fallback;
            return true;
        }
    }
    return false;
}

}  // namespace

HRESULT grabber_open(t_grabber* x) {
    if (x->state != GRAB_CLOSED) {
        report(x, msg::kAlreadyOpen);
        return E_FAIL;
    }
    // What an earlier open that failed half-way left behind goes first.
    if (x->graph || x->builder || x->mediacontrol || x->mediaevent || x->samplegrabber) grabber_close(x);

    if (x->cardgrabber && x->carddevice >= 0) {
        bm_grab_setPixelFormat(x->cardgrabber, x->carddevice, x->colormode);
        bm_grab_setDisplayMode(x->cardgrabber, x->carddevice, x->format);
        if (!bm_grab_open(x->cardgrabber, x->carddevice)) {
            x->carddevice = -1;
            return E_FAIL;
        }
        x->suspended = 0;
        x->state = GRAB_CARD;
        set_outchange(x, OUTCHANGE_GEOMETRY);
        return S_OK;
    }

    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(&x->graph));
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC, IID_ICaptureGraphBuilder2,
                              reinterpret_cast<void**>(&x->builder));
    if (SUCCEEDED(hr)) hr = x->graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&x->mediacontrol));
    if (SUCCEEDED(hr)) hr = x->graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&x->mediaevent));
    if (FAILED(hr)) {
        report(x, msg::kNoInterfaces);
        return hr;
    }
    hr = x->builder->SetFiltergraph(x->graph);
    if (FAILED(hr)) {
        report(x, msg::kNoAttach);
        return hr;
    }
    ComRef<IBaseFilter> capture;
    hr = device_lookup(x, capture.put());
    if (FAILED(hr)) return hr;
    hr = x->graph->AddFilter(capture.get(), DSW("Video Capture"));
    if (FAILED(hr)) {
        report(x, msg::kNoAddCapture);
        return hr;
    }
    hr = graph_build(x, capture.get());
    if (FAILED(hr)) {
        report(x, msg::kNoPreviewGraph);
        capture.reset();
        grabber_close(x);
    } else {
        x->suspended = 0;
    }
    return hr;
}

HRESULT graph_build(t_grabber* x, IBaseFilter* capture) {
    if (!x->graph || !x->builder || !x->mediacontrol) return E_FAIL;
    ComRef<IBaseFilter> grabber;
    HRESULT hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  grabber.put_void());
    if (FAILED(hr)) {
        report(x, msg::kNoSampleGrabber);
        return hr;
    }
    hr = x->graph->AddFilter(grabber.get(), DSW("Sample Grabber"));
    if (FAILED(hr)) {
        report(x, msg::kNoAddSampleGrabber);
        return hr;
    }
    swap_samplegrabber(x, nullptr);
    ComRef<ISampleGrabber> sg;
    hr = grabber.query(IID_ISampleGrabber, sg);
    if (FAILED(hr)) {
        report(x, msg::kNoSampleGrabberInterface);
        return hr;
    }
    swap_samplegrabber(x, sg.detach());

    format_apply(x, capture);

    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = x->subtype;
    mt.formattype = GUID_NULL;
    hr = x->samplegrabber->SetMediaType(&mt);
    if (FAILED(hr)) {
        report(x, msg::kNoMediaType);
        return hr;
    }

    ComRef<IBaseFilter> renderer;
    hr = CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, renderer.put_void());
    if (FAILED(hr)) {
        report(x, msg::kNoNullRenderer);
        return hr;
    }
    hr = x->graph->AddFilter(renderer.get(), DSW("Null"));
    if (FAILED(hr)) {
        report(x, msg::kNoAddNullRenderer);
        return hr;
    }

    if (!connect(x, capture, grabber.get(), renderer.get())) {
        report(x, msg::kNoRender);
        return E_FAIL;
    }

    int64_t interval = x->framerate >= 1 ? int64_t{10000000} / x->framerate : x->frameinterval;
    framerate_apply(x, capture, &interval);

    hr = x->samplegrabber->SetBufferSamples(TRUE);
    if (FAILED(hr)) {
        report(x, msg::kNoBufferSamples);
        return hr;
    }
    hr = x->samplegrabber->SetOneShot(FALSE);
    if (FAILED(hr)) {
        report(x, msg::kNoOneShot);
        return hr;
    }
    hr = x->samplegrabber->SetCallback(x->callback, 0);
    if (FAILED(hr)) {
        report(x, msg::kNoCallback);
        return hr;
    }

    audio_filter_insert(x);

    hr = x->mediacontrol->Run();
    x->state = GRAB_OPEN;
    set_outchange(x, OUTCHANGE_GEOMETRY);
    return hr;
}

void graph_teardown(t_grabber* x, IBaseFilter* from) {
    if (x->mediacontrol) wait_stopped(x);
    if (from)
        teardown_downstream(x, from);
    else if (x->graph)
        remove_all_filters(x);
}

HRESULT graph_rebuild(t_grabber* x) {
    if (!x->graph) return E_FAIL;
    ComRef<IBaseFilter> capture;
    HRESULT hr = x->graph->FindFilterByName(DSW("Video Capture"), capture.put());
    if (FAILED(hr)) return hr;
    graph_teardown(x, capture.get());
    return graph_build(x, capture.get());
}

void grabber_close(t_grabber* x) {
    x->state = GRAB_CLOSED;
    if (x->samplegrabber) {
        // Detach the callback, then take the interface away from a frame that
        // may still be arriving: the callback reads it under the mutex.
        x->samplegrabber->SetCallback(nullptr, 0);
        swap_samplegrabber(x, nullptr);
    }
    if (x->graph) graph_teardown(x, nullptr);
    if (x->mediacontrol) wait_stopped(x);
    release(x->mediaevent);
    release(x->mediacontrol);
    release(x->builder);
    release(x->graph);
    if (x->cardgrabber && x->carddevice >= 0) bm_grab_close(x->cardgrabber);
}

HRESULT grabber_reopen(t_grabber* x) {
    grabber_close(x);
    return grabber_open(x);
}

void audio_filter_insert(t_grabber* x) {
    if (!x->graph) return;
    {
        ComRef<IBaseFilter> existing;
        if (SUCCEEDED(x->graph->FindFilterByName(DSW("Audio Capture"), existing.put())) && existing) return;
    }
    ComRef<ICreateDevEnum> devenum;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC, IID_ICreateDevEnum,
                                devenum.put_void()))) {
        report(x, msg::kNoSystemDevices);
        return;
    }
    ComRef<IEnumMoniker> monikers;
    if (FAILED(devenum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, monikers.put(), 0)) || !monikers) {
        report(x, msg::kNoAudioDevices);
        return;
    }
    bool bound = false;
    long index = 0;
    ComRef<IMoniker> m;
    while (monikers->Next(1, m.put(), nullptr) == S_OK) {
        if (index++ != x->snddevice) continue;
        ComRef<IBaseFilter> audio;
        if (SUCCEEDED(m->BindToObject(nullptr, nullptr, IID_IBaseFilter, audio.put_void()))) {
            x->graph->AddFilter(audio.get(), DSW("Audio Capture"));
            bound = true;
        } else {
            report(x, msg::kBindFailed);
        }
        break;
    }
    if (!bound) report(x, msg::kNoAudioCaptureDevice);
}

t_hox_err grabber_open_method(t_grabber* x, t_symbol*, long, t_atom*, t_atom* rv) {
    t_atom result;
    atom_setlong(&result, SUCCEEDED(grabber_open(x)) ? 1 : 0);
    grabber_reply(rv, 1, &result);
    return HOX_ERR_NONE;
}

t_hox_err grabber_close_method(t_grabber* x, t_symbol*, long, t_atom*, t_atom* rv) {
    if (x->state == GRAB_CLOSED) return HOX_EROR;
    grabber_close(x);
    return grabber_reply(rv, 0, nullptr);
}
