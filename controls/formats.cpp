// The format list and the choice of format: names for the capture pin's
// capabilities (or a card's display modes), the `format` index applied at
// every graph build, and formats chosen from outside.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "capture/com_holders.h"
#include "capture/graph.h"
#include "capture/messages.h"
#include "controls/controls.h"
#include "grabber/attributes.h"
#include "module/module.h"

namespace {

constexpr long kMaxFormats = 256;
constexpr size_t kMaxNameBytes = 256;  // 255 and the terminating zero

const char* rgb_subtype_name(const GUID& subtype) {
    static const struct {
        const GUID* subtype;
        const char* name;
    } kNames[] = {
        {&MEDIASUBTYPE_RGB1, "RGB1"},     {&MEDIASUBTYPE_RGB4, "RGB4"},   {&MEDIASUBTYPE_RGB8, "RGB8"},
        {&MEDIASUBTYPE_RGB565, "RGB565"}, {&MEDIASUBTYPE_RGB555, "RGB555"}, {&MEDIASUBTYPE_RGB24, "RGB24"},
        {&MEDIASUBTYPE_RGB32, "RGB32"},   {&MEDIASUBTYPE_ARGB32, "ARGB32"},
    };
    for (const auto& n : kNames)
        if (*n.subtype == subtype) return n.name;
    return "RGB";
}

// Exactly one bit of the analog standards has a name; anything else that is
// not zero is unknown.
const char* standard_text(ULONG standard) {
    static const struct {
        ULONG bit;
        const char* text;
    } kStandards[] = {
        {0x00000001, " NTSC_M"},   {0x00000002, " NTSC_M_J"}, {0x00000004, " NTSC_433"},   {0x00000010, " PAL_B"},
        {0x00000020, " PAL_D"},    {0x00000080, " PAL_H"},    {0x00000100, " PAL_I"},      {0x00000200, " PAL_M"},
        {0x00000400, " PAL_N"},    {0x00000800, " PAL_60"},   {0x00001000, " SECAM_B"},    {0x00002000, " SECAM_D"},
        {0x00004000, " SECAM_G"},  {0x00008000, " SECAM_H"},  {0x00010000, " SECAM_K"},    {0x00020000, " SECAM_K1"},
        {0x00040000, " SECAM_L"},  {0x00080000, " SECAM_L1"}, {0x00100000, " PAL_N_COMBO"},
    };
    if (standard == 0) return "";
    for (const auto& s : kStandards)
        if (s.bit == standard) return s.text;
    return " unknown standard";
}

// "SUBTYPE[ STANDARD] [W x H][ RATE]" for one VIDEOINFOHEADER capability.
t_symbol* format_name(const AM_MEDIA_TYPE& mt, const VIDEO_STREAM_CONFIG_CAPS& caps) {
    const VIDEOINFOHEADER* vih = video_info(mt);
    if (!vih) return nullptr;
    const BITMAPINFOHEADER& bmi = vih->bmiHeader;
    char subtype[5] = {};
    std::memcpy(subtype, &bmi.biCompression, 4);  // memory order; ends at a zero byte
    char name[kMaxNameBytes];
    const char* type = bmi.biCompression != 0 ? subtype : rgb_subtype_name(mt.subtype);
    if (caps.MinFrameInterval != 0) {
        const int rate = static_cast<int>(10000000.0 / static_cast<double>(caps.MinFrameInterval) + 0.5);
        std::snprintf(name, sizeof name, "%s%s [%d x %d] %d", type, standard_text(caps.VideoStandard),
                      static_cast<int>(bmi.biWidth), static_cast<int>(bmi.biHeight), rate);
    } else {
        std::snprintf(name, sizeof name, "%s%s [%d x %d]", type, standard_text(caps.VideoStandard),
                      static_cast<int>(bmi.biWidth), static_cast<int>(bmi.biHeight));
    }
    return gensym(name);
}

// Calls `visit(mt, caps)` for each capability of FORMAT_VideoInfo type, in
// GetStreamCaps order, until it returns true. Capabilities whose call fails
// are passed over. False when the capabilities cannot be counted.
template <class Visit>
bool for_each_video_caps(IAMStreamConfig* config, Visit visit) {
    int count = 0, size = 0;
    if (FAILED(config->GetNumberOfCapabilities(&count, &size))) return false;
    // The structure is read as VIDEO_STREAM_CONFIG_CAPS whatever size the
    // device reports, so the buffer is never smaller than that.
    const long bytes = std::max<long>(size, static_cast<long>(sizeof(VIDEO_STREAM_CONFIG_CAPS)));
    char* buffer = sysmem_newptrclear(bytes);
    if (!buffer) return false;
    for (int i = 0; i < count; ++i) {
        MediaTypePtr mt;
        if (FAILED(config->GetStreamCaps(i, mt.put(), reinterpret_cast<BYTE*>(buffer))) || !mt) continue;
        if (mt->formattype != FORMAT_VideoInfo) continue;
        VIDEO_STREAM_CONFIG_CAPS caps;
        std::memcpy(&caps, buffer, sizeof caps);
        if (visit(mt.get(), caps)) break;
    }
    sysmem_freeptr(buffer);
    return true;
}

// Appends the names of the pin's VIDEOINFOHEADER capabilities to `list`;
// entries beyond the 256th are not listed.
void enumerate_formats(t_grabber* x, IPin* pin, t_atom* list, long* count) {
    ComRef<IAMStreamConfig> config;
    if (FAILED(pin->QueryInterface(IID_IAMStreamConfig, config.put_void()))) {
        vor_object_error(x, "%s", msg::kNoStreamConfig);
        return;
    }
    for_each_video_caps(config.get(), [&](AM_MEDIA_TYPE* mt, const VIDEO_STREAM_CONFIG_CAPS& caps) {
        if (t_symbol* name = format_name(*mt, caps)) atom_setsym(&list[(*count)++], name);
        return *count >= kMaxFormats;
    });
}

// Pushes the `wanted`-th VIDEOINFOHEADER capability of one pin to the device.
void apply_on_pin(t_grabber* x, IBaseFilter* capture, IAMStreamConfig* config, int32_t wanted) {
    int count = 0, size = 0;
    if (FAILED(config->GetNumberOfCapabilities(&count, &size)) || wanted >= count) return;
    int32_t k = 0;
    for_each_video_caps(config, [&](AM_MEDIA_TYPE* mt, const VIDEO_STREAM_CONFIG_CAPS& caps) {
        if (k++ != wanted) return false;
        x->frameinterval = caps.MinFrameInterval;
        ComRef<IAMAnalogVideoDecoder> decoder;
        if (SUCCEEDED(capture->QueryInterface(IID_IAMAnalogVideoDecoder, decoder.put_void())))
            decoder->put_TVFormat(static_cast<LONG>(caps.VideoStandard));
        decoder.reset();
        config->SetFormat(mt);  // a refused format leaves the device as it is
        set_outchange(x, OUTCHANGE_GEOMETRY);
        return true;
    });
}

}  // namespace

IBaseFilter* capture_filter_find(t_grabber* x) {
    if (!x->graph) return nullptr;
    IBaseFilter* f = nullptr;
    if (FAILED(x->graph->FindFilterByName(DSW("Video Capture"), &f))) return nullptr;
    return f;
}

HRESULT connected_pin(IBaseFilter* filter, PIN_DIRECTION dir, IPin** out) {
    *out = nullptr;
    ComRef<IEnumPins> pins;
    if (HRESULT hr = filter->EnumPins(pins.put()); FAILED(hr)) return hr;
    ComRef<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        PIN_DIRECTION d;
        if (FAILED(pin->QueryDirection(&d)) || d != dir) continue;
        ComRef<IPin> peer;
        if (FAILED(pin->ConnectedTo(peer.put()))) continue;
        *out = pin.detach();
        return S_OK;
    }
    return E_FAIL;
}

void format_apply(t_grabber* x, IBaseFilter* capture) {
    if (x->format < 0 || x->colormode == g_module.uyvy) return;
    ComRef<IEnumPins> pins;
    if (FAILED(capture->EnumPins(pins.put()))) return;
    ComRef<IPin> pin;
    while (pins->Next(1, pin.put(), nullptr) == S_OK) {
        PIN_DIRECTION d;
        if (FAILED(pin->QueryDirection(&d)) || d != PINDIR_OUTPUT) continue;
        ComRef<IAMStreamConfig> config;
        if (FAILED(pin.query(IID_IAMStreamConfig, config))) continue;
        apply_on_pin(x, capture, config.get(), x->format);
    }
}

t_hox_err grabber_getformatlist(t_grabber* x, t_symbol*, long, t_atom*, t_atom* rv) {
    if (card_chosen(x)) {
        bm_grab_getDisplayModeNames(x->cardgrabber, x->carddevice, rv);
        return HOX_EROR;
    }
    if (!x->builder || !x->graph) return HOX_EROR;
    ComRef<IBaseFilter> capture(capture_filter_find(x));
    if (!capture) return HOX_EROR;
    t_atom list[kMaxFormats];
    long count = 0;
    {
        ComRef<IPin> pin;
        if (SUCCEEDED(connected_pin(capture.get(), PINDIR_OUTPUT, pin.put())))
            enumerate_formats(x, pin.get(), list, &count);
    }
    if (count == 0) return HOX_EROR;
    return grabber_reply(rv, count, list);
}

t_hox_err format_set(t_grabber* x, void*, long ac, t_atom* av) {
    if (ac < 1 || !av) return HOX_ERR_NONE;
    x->format = atom_int32(av);
    if (card_chosen(x)) {
        card_setting(x, [x] { bm_grab_setDisplayMode(x->cardgrabber, x->carddevice, x->format); });
        return HOX_ERR_NONE;
    }
    if (x->builder && x->graph && x->state != GRAB_RECORDING) graph_rebuild(x);
    return HOX_ERR_NONE;
}

void grabber_format_changed(t_grabber* x, long index) {
    x->format = static_cast<int32_t>(index);
    if (card_chosen(x)) bm_grab_setDisplayMode(x->cardgrabber, x->carddevice, index);
    vor_attr_user_touch(x, gensym("format"));
    t_atom result;
    atom_setobj(&result, nullptr);
    vor_object_method_typed(x, gensym("getformatlist"), 0, nullptr, &result);
    auto* list = static_cast<t_atomarray*>(atom_getobj(&result));
    if (!list) return;
    t_atom entry;
    if (index >= 0 && atomarray_getsize(list) > index && atomarray_getindex(list, index, &entry) == HOX_ERR_NONE) {
        t_symbol* name = atom_getsym(&entry);
        vor_object_post(x, msg::kFormatSet, name->s_name);
        notify_client(x, gensym("device_format"), 1, &entry);
    }
    object_free(list);
}
