// Resolution and frame rate: what size the open device delivers, the DV
// decoder's display size, and the frame interval asked of the capture pin.
#include "capture/com_holders.h"
#include "capture/graph.h"
#include "capture/messages.h"
#include "controls/controls.h"
#include "grabber/attributes.h"

namespace {

// The capture pin's category, read through its property set.
bool is_capture_pin(IPin* pin) {
    ComRef<IKsPropertySet> props;
    if (FAILED(pin->QueryInterface(IID_IKsPropertySet, props.put_void()))) return false;
    GUID category{};
    DWORD returned = 0;
    if (FAILED(props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category,
                          &returned)))
        return false;
    return category == PIN_CATEGORY_CAPTURE;
}

// DV display sizes, per display code, for 525-line and 625-line input.
struct DvSize {
    int code;
    int32_t width, height525, height625;
};
constexpr DvSize kDvSizes[] = {
    {DVRESOLUTION_FULL, 720, 480, 576},
    {DVRESOLUTION_HALF, 360, 240, 288},
    {DVRESOLUTION_QUARTER, 180, 120, 144},
    {DVRESOLUTION_DC, 88, 60, 72},
};

// The size a DV camcorder's frames come out of the decoder in; false (after
// reporting why) when it cannot be told.
bool dv_size(t_grabber* x, IBaseFilter* capture, IBaseFilter* decoder, int32_t* w, int32_t* h) {
    int code = 0;
    {
        ComRef<IIPDVDec> dv;
        if (FAILED(decoder->QueryInterface(IID_IIPDVDec, dv.put_void()))) return false;
        if (FAILED(dv->get_IPDisplay(&code))) return false;
    }
    ComRef<IAMExtTransport> transport;
    if (FAILED(capture->QueryInterface(IID_IAMExtTransport, transport.put_void()))) {
        vor_object_error(x, "%s", msg::kNoTransport);
        return false;
    }
    LONG signal = 0;
    HRESULT hr = transport->GetTransportBasicParameters(ED_TRANSBASIC_INPUT_SIGNAL, &signal, nullptr);
    transport.reset();
    if (FAILED(hr)) {
        vor_object_error(x, "%s", msg::kNoTransportParameters);
        return false;
    }
    bool lines625;
    if (signal == ED_TRANSBASIC_SIGNAL_525_60_SD || signal == ED_TRANSBASIC_SIGNAL_525_60_SDL)
        lines625 = false;
    else if (signal == ED_TRANSBASIC_SIGNAL_625_50_SD || signal == ED_TRANSBASIC_SIGNAL_625_50_SDL)
        lines625 = true;
    else {
        vor_object_error(x, "%s", msg::kUnknownStandard);
        return false;
    }
    // A display code outside the four sizes reports nothing.
    for (const DvSize& s : kDvSizes) {
        if (s.code != code) continue;
        *w = s.width;
        *h = lines625 ? s.height625 : s.height525;
        return true;
    }
    return false;
}

// The size of the capture pin's current format.
bool pin_size(t_grabber* x, IBaseFilter* capture, int32_t* w, int32_t* h) {
    ComRef<IAMStreamConfig> config;
    {
        ComRef<IPin> pin;
        if (FAILED(connected_pin(capture, PINDIR_OUTPUT, pin.put()))) {
            vor_object_post(x, "%s", msg::kNoConnectedPin);
            return false;
        }
        if (FAILED(pin.query(IID_IAMStreamConfig, config))) {
            vor_object_post(x, "%s", msg::kNoConfig);
            return false;
        }
    }
    MediaTypePtr mt;
    if (FAILED(config->GetFormat(mt.put())) || !mt) return false;
    // Only a VIDEOINFOHEADER block is read; other format blocks report
    // nothing rather than be misread.
    const VIDEOINFOHEADER* vih = video_info(*mt.get());
    if (!vih) return false;
    *w = vih->bmiHeader.biWidth;
    *h = vih->bmiHeader.biHeight;
    return true;
}

}  // namespace

HRESULT framerate_apply(t_grabber* x, IBaseFilter* capture, int64_t* interval) {
    if (!capture) return E_FAIL;
    ComRef<IEnumPins> pins;
    if (FAILED(capture->EnumPins(pins.put()))) return E_FAIL;
    bool set = false, handled = false;
    ComRef<IPin> pin;
    while (!handled && pins->Next(1, pin.put(), nullptr) == S_OK) {
        if (!is_capture_pin(pin.get())) continue;
        ComRef<IAMStreamConfig> config;
        if (FAILED(pin.query(IID_IAMStreamConfig, config))) continue;
        MediaTypePtr mt;
        if (FAILED(config->GetFormat(mt.put())) || !mt || !video_info(*mt.get())) continue;
        auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat);
        const int64_t previous = vih->AvgTimePerFrame;
        if (*interval != 0) {
            vih->AvgTimePerFrame = *interval;
            if (FAILED(config->SetFormat(mt.get())))
                vor_object_error(x, "%s", msg::kNoFrameRate);
            else
                set = true;
        }
        *interval = previous;
        handled = true;
    }
    return set ? S_OK : E_FAIL;
}

t_hox_err resolution_get(t_grabber* x, void*, long* ac, t_atom** av) {
    // The stored request; the output matrix's notifications may write it
    // from the streaming thread.
    int32_t w = std::atomic_ref<int32_t>(x->resolution[0]).load();
    int32_t h = std::atomic_ref<int32_t>(x->resolution[1]).load();
    if (x->graph) {
        ComRef<IBaseFilter> capture(capture_filter_find(x));
        if (!capture) {
            vor_object_error(x, "%s", msg::kNoCaptureFilter);
            *ac = 0;
            return HOX_ERR_NONE;
        }
        ComRef<IBaseFilter> decoder;
        const bool dv = SUCCEEDED(x->graph->FindFilterByName(DSW("DVDecompressor"), decoder.put())) && decoder;
        const bool known = dv ? dv_size(x, capture.get(), decoder.get(), &w, &h) : pin_size(x, capture.get(), &w, &h);
        if (!known) {
            *ac = 0;
            return HOX_ERR_NONE;
        }
    }
    if (t_hox_err err = getter_atoms(ac, av, 2)) return err;
    atom_setlong(*av, w);
    atom_setlong(*av + 1, h);
    return HOX_ERR_NONE;
}

t_hox_err resolution_set(t_grabber* x, void*, long ac, t_atom* av) {
    if (x->state == GRAB_RECORDING) {
        vor_object_error(x, "%s", msg::kResolutionWhileWriting);
        return HOX_ERR_NONE;
    }
    if (ac < 2 || !av) return HOX_ERR_NONE;
    const int32_t w = atom_int32(av);
    const int32_t h = atom_int32(av + 1);
    std::atomic_ref<int32_t> stored_w(x->resolution[0]), stored_h(x->resolution[1]);
    if (w == stored_w.load() && h == stored_h.load()) return HOX_ERR_NONE;
    stored_w.store(w);
    stored_h.store(h);
    // The DV display size is chosen when the graph is built.
    if (x->graph) grabber_reopen(x);
    return HOX_ERR_NONE;
}
