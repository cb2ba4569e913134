// The capture filter's pins: stream formats (IAMStreamConfig), connection
// and streaming of the output pins; the analog input pin.
#include <cstring>
#include <new>

#include "capture_filter.h"
#include "vorsim.h"

namespace vorsim {
namespace {

const GUID& category_guid(PinCategory c) {
    switch (c) {
    case PinCategory::Preview: return PIN_CATEGORY_PREVIEW;
    case PinCategory::Still: return PIN_CATEGORY_STILL;
    case PinCategory::AnalogVideoIn: return PIN_CATEGORY_ANALOGVIDEOIN;
    case PinCategory::Vbi: return PIN_CATEGORY_VBI;
    case PinCategory::VideoPort: return PIN_CATEGORY_VIDEOPORT;
    case PinCategory::ClosedCaption: return PIN_CATEGORY_CC;
    case PinCategory::Capture: break;
    }
    return PIN_CATEGORY_CAPTURE;
}

}  // namespace

CapturePin::CapturePin(CaptureFilter& filter, std::u16string id, const VideoPin& desc)
    : OutputPin<IAMStreamConfig>(filter, id, id), owner_(filter), desc_(desc) {
    set_category(category_guid(desc.category));
}

MediaType CapturePin::default_type() const {
    const VideoCaps& c = desc_.caps.at(desc_.current);
    return caps_media_type(c, desc_.interleaved, c.min_interval);
}

std::vector<MediaType> CapturePin::media_types() const {
    std::lock_guard<std::recursive_mutex> lock(filter().filter_lock());
    if (set_format_) return {*set_format_};
    std::vector<MediaType> types;
    types.push_back(default_type());
    for (size_t i = 0; i < desc_.caps.size(); ++i) {
        if (i == desc_.current) continue;
        types.push_back(caps_media_type(desc_.caps[i], desc_.interleaved, desc_.caps[i].min_interval));
    }
    return types;
}

HRESULT CapturePin::check_media_type(const AM_MEDIA_TYPE& mt) const {
    const auto m = match_caps(desc_.caps, desc_.interleaved, mt);
    if (!m) return S_FALSE;
    const VideoCaps& c = desc_.caps[m->index];
    const REFERENCE_TIME interval = m->interval != 0 ? m->interval : c.min_interval;
    if (!is_supported_interval(c, interval)) return S_FALSE;
    std::lock_guard<std::recursive_mutex> lock(filter().filter_lock());
    if (set_format_) {
        const auto fixed = match_caps(desc_.caps, desc_.interleaved, set_format_->get());
        if (!fixed || fixed->index != m->index) return S_FALSE;
        const REFERENCE_TIME fixed_interval = fixed->interval != 0 ? fixed->interval : c.min_interval;
        if (fixed_interval != interval) return S_FALSE;
    }
    return S_OK;
}

HRESULT CapturePin::on_connected(const AM_MEDIA_TYPE& mt) {
    const auto m = match_caps(desc_.caps, desc_.interleaved, mt);
    if (!m) return VFW_E_TYPE_NOT_ACCEPTED;
    const VideoCaps& c = desc_.caps[m->index];
    stream_format_ = frame_format(c);
    stream_interval_ = m->interval != 0 ? m->interval : c.min_interval;
    return S_OK;
}

ALLOCATOR_PROPERTIES CapturePin::buffer_properties(const AM_MEDIA_TYPE& mt) const {
    const auto m = match_caps(desc_.caps, desc_.interleaved, mt);
    if (!m) return OutputPin<IAMStreamConfig>::buffer_properties(mt);
    const size_t size = frame_size(frame_format(desc_.caps[m->index]));
    return ALLOCATOR_PROPERTIES{4, static_cast<LONG>(size > 0 ? size : 1), 1, 0};
}

HRESULT CapturePin::GetNumberOfCapabilities(int* count, int* size) {
    if (count == nullptr || size == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IAMStreamConfig::GetNumberOfCapabilities"); FAILED(hr)) return hr;
    *count = static_cast<int>(desc_.caps.size());
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

HRESULT CapturePin::GetStreamCaps(int index, AM_MEDIA_TYPE** pmt, BYTE* scc) {
    if (pmt == nullptr || scc == nullptr) return E_POINTER;
    *pmt = nullptr;
    if (HRESULT hr = fault_result("IAMStreamConfig::GetStreamCaps"); FAILED(hr)) return hr;
    if (index < 0) return E_INVALIDARG;
    if (static_cast<size_t>(index) >= desc_.caps.size()) return S_FALSE;  // past the end: nothing allocated
    const VideoCaps& c = desc_.caps[static_cast<size_t>(index)];
    try {
        AM_MEDIA_TYPE* type = caps_media_type(c, desc_.interleaved, c.min_interval).to_task_memory();
        if (type == nullptr) return E_OUTOFMEMORY;
        VIDEO_STREAM_CONFIG_CAPS caps;
        fill_stream_caps(c, caps);
        std::memcpy(scc, &caps, sizeof caps);
        *pmt = type;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

bool CapturePin::interface_allowed(REFIID iid) {
    if (iid == IID_IAMStreamConfig && !desc_.stream_config) return false;
    return OutputPin<IAMStreamConfig>::interface_allowed(iid);
}

HRESULT CapturePin::GetFormat(AM_MEDIA_TYPE** pmt) {
    if (pmt == nullptr) return E_POINTER;
    *pmt = nullptr;
    if (HRESULT hr = fault_result("IAMStreamConfig::GetFormat"); FAILED(hr)) return hr;
    try {
        std::lock_guard<std::recursive_mutex> lock(filter().filter_lock());
        const MediaType type = connected() ? connection_type() : set_format_ ? *set_format_ : default_type();
        *pmt = type.to_task_memory();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return *pmt != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CapturePin::SetFormat(AM_MEDIA_TYPE* pmt) {
    if (HRESULT hr = fault_result("IAMStreamConfig::SetFormat"); FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> lock(filter().filter_lock());
    if (filter().state() != State_Stopped) return VFW_E_NOT_STOPPED;
    if (pmt == nullptr) return E_POINTER;
    const auto m = match_caps(desc_.caps, desc_.interleaved, *pmt);
    if (!m) return E_FAIL;  // what a capture driver answers for a size or subtype it lacks
    const VideoCaps& c = desc_.caps[m->index];
    try {
        MediaType wanted = caps_media_type(c, desc_.interleaved, snap_interval(c, m->interval));
        std::optional<MediaType> previous = std::move(set_format_);
        set_format_ = wanted;
        if (!connected()) return S_OK;
        // Reconnect with the new type; when the downstream pin refuses it,
        // the old connection comes back.
        ComPtr<IPin> peer(this->peer());
        const MediaType old = connection_type();
        if (HRESULT hr = peer->Disconnect(); FAILED(hr)) {
            set_format_ = std::move(previous);
            return hr;
        }
        disconnect();
        if (SUCCEEDED(connect(peer.get(), &wanted.get()))) return S_OK;
        set_format_ = std::move(previous);
        connect(peer.get(), &old.get());
        return VFW_E_INVALIDMEDIATYPE;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CapturePin::start_streaming() {
    if (!connected()) return S_OK;
    try {
        thread_.start(stream_interval_, [this](uint64_t index) { push(index); });
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
    return S_OK;
}

void CapturePin::stop_streaming() { thread_.stop(); }

void CapturePin::push(uint64_t frame_index) {
    if (owner_.lost()) return;
    IMediaSample* raw = nullptr;
    if (FAILED(get_delivery_buffer(&raw))) return;  // stopping: the pool was decommitted
    ComPtr<IMediaSample> sample = ComPtr<IMediaSample>::adopt(raw);
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data))) return;
    const size_t written = fill_frame(owner_.device().pattern, stream_format_, frame_index, data,
                                      static_cast<size_t>(sample->GetSize()));
    if (written == 0) return;
    sample->SetActualDataLength(static_cast<LONG>(written));
    REFERENCE_TIME start = static_cast<REFERENCE_TIME>(frame_index) * stream_interval_;
    REFERENCE_TIME stop = start + stream_interval_;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(frame_index == 0 ? TRUE : FALSE);
    deliver(sample.get());  // a refused sample is dropped: the stream goes on
}

AnalogInputPin::AnalogInputPin(FilterCore& filter) : InputPin<IKsPropertySet>(filter, u"Analog Video In", u"Analog Video In") {
    set_category(PIN_CATEGORY_ANALOGVIDEOIN);
}

HRESULT AnalogInputPin::check_media_type(const AM_MEDIA_TYPE& mt) const {
    return mt.majortype == MEDIATYPE_AnalogVideo ? S_OK : S_FALSE;
}

}  // namespace vorsim
