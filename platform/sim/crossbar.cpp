// The analog crossbar filter.
#include "crossbar.h"

#include <algorithm>
#include <mutex>

#include "capture_filter.h"
#include "filter_base.h"
#include "pin_base.h"
#include "vorsim.h"
#include "wide.h"

namespace vorsim {
namespace {

MediaType analog_video_type() {
    MediaType type;
    type->majortype = MEDIATYPE_AnalogVideo;
    type->subtype = MEDIASUBTYPE_AnalogVideo_NTSC_M;
    type->formattype = FORMAT_None;
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = 1;
    return type;
}

class CrossbarInput final : public InputPin<> {
public:
    CrossbarInput(FilterCore& f, const std::u16string& name) : InputPin<>(f, name, name) {}

protected:
    HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
        return mt.majortype == MEDIATYPE_AnalogVideo ? S_OK : S_FALSE;
    }
};

class CrossbarOutput final : public OutputPin<> {
public:
    CrossbarOutput(FilterCore& f, const std::u16string& name) : OutputPin<>(f, name, name) {}

protected:
    std::vector<MediaType> media_types() const override { return {analog_video_type()}; }
    HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
        return mt.majortype == MEDIATYPE_AnalogVideo ? S_OK : S_FALSE;
    }
    ALLOCATOR_PROPERTIES buffer_properties(const AM_MEDIA_TYPE&) const override { return {1, 1, 1, 0}; }
};

bool contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

// The physical connector a crossbar input's name describes; 0 when unknown.
LONG physical_type(const std::string& name) {
    if (name.rfind("Audio", 0) == 0) {
        if (contains(name, "Tuner")) return PhysConn_Audio_Tuner;
        if (contains(name, "Line")) return PhysConn_Audio_Line;
        if (contains(name, "Mic")) return PhysConn_Audio_Mic;
        return 0;
    }
    if (contains(name, "Tuner")) return PhysConn_Video_Tuner;
    if (contains(name, "Composite")) return PhysConn_Video_Composite;
    if (contains(name, "SVideo") || contains(name, "S-Video")) return PhysConn_Video_SVideo;
    return 0;
}

class CrossbarFilter final : public Filter<IAMCrossbar> {
public:
    explicit CrossbarFilter(const Crossbar& desc) : Filter<IAMCrossbar>(CLSID_KsProxy), desc_(desc) {
        for (const std::string& name : desc.inputs) add_pin(std::make_unique<CrossbarInput>(*this, from_utf8(name)));
        for (int32_t i = 0; i < desc.outputs; ++i) {
            const std::u16string name = i == 0   ? std::u16string(u"Video Decoder Out")
                                        : i == 1 ? std::u16string(u"Audio Decoder Out")
                                                 : u"Output " + from_utf8(std::to_string(i + 1));
            add_pin(std::make_unique<CrossbarOutput>(*this, name));
        }
        routed_.assign(static_cast<size_t>(desc.outputs), -1);
        if (!routed_.empty()) routed_[0] = desc.routed;
    }

    HRESULT STDMETHODCALLTYPE get_PinCounts(LONG* outputs, LONG* inputs) override {
        if (outputs == nullptr || inputs == nullptr) return E_POINTER;
        if (HRESULT hr = fault_result("IAMCrossbar::get_PinCounts"); FAILED(hr)) return hr;
        *outputs = desc_.outputs;
        *inputs = input_count();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CanRoute(LONG out, LONG in) override {
        if (HRESULT hr = fault_result("IAMCrossbar::CanRoute"); FAILED(hr)) return hr;
        if (!valid_output(out) || !valid_input(in)) return E_INVALIDARG;
        return routable(out, in) ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Route(LONG out, LONG in) override {
        if (HRESULT hr = fault_result("IAMCrossbar::Route"); FAILED(hr)) return hr;
        if (!valid_output(out) || !valid_input(in)) return E_INVALIDARG;
        if (!routable(out, in)) return S_FALSE;
        std::lock_guard<std::mutex> lock(mutex_);
        routed_[static_cast<size_t>(out)] = in;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_IsRoutedTo(LONG out, LONG* in) override {
        if (in == nullptr) return E_POINTER;
        if (HRESULT hr = fault_result("IAMCrossbar::get_IsRoutedTo"); FAILED(hr)) return hr;
        if (!valid_output(out)) return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(mutex_);
        *in = routed_[static_cast<size_t>(out)];
        return *in >= 0 ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE get_CrossbarPinInfo(BOOL is_input, LONG index, LONG* related, LONG* type) override {
        if (related == nullptr || type == nullptr) return E_POINTER;
        if (HRESULT hr = fault_result("IAMCrossbar::get_CrossbarPinInfo"); FAILED(hr)) return hr;
        *related = -1;
        if (is_input) {
            if (!valid_input(index)) return E_INVALIDARG;
            *type = physical_type(desc_.inputs[static_cast<size_t>(index)]);
            return *type != 0 ? S_OK : S_FALSE;
        }
        if (!valid_output(index)) return E_INVALIDARG;
        *type = index == 1 ? PhysConn_Audio_AudioDecoder : PhysConn_Video_VideoDecoder;
        return S_OK;
    }

private:
    LONG input_count() const { return static_cast<LONG>(desc_.inputs.size()); }
    bool valid_input(LONG i) const { return i >= 0 && i < input_count(); }
    bool valid_output(LONG o) const { return o >= 0 && o < desc_.outputs; }
    bool routable(LONG out, LONG in) const {
        return out == 0 && std::find(desc_.routable.begin(), desc_.routable.end(), in) != desc_.routable.end();
    }

    const Crossbar desc_;
    std::mutex mutex_;
    std::vector<LONG> routed_;  // per output; -1 unrouted
};

}  // namespace

ComPtr<IBaseFilter> make_crossbar(const Crossbar& desc) { return make_com<CrossbarFilter>(desc); }

}  // namespace vorsim
