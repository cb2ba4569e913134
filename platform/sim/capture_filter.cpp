// The virtual video capture filter: pins from the device, its controls,
// streaming state and the device going away.
#include "capture_filter.h"

#include <algorithm>
#include <new>

#include "crossbar.h"
#include "device_enum.h"
#include "graph_events.h"
#include "vorsim.h"

namespace vorsim {
namespace {

std::u16string category_pin_name(PinCategory c) {
    switch (c) {
    case PinCategory::Preview: return u"Preview";
    case PinCategory::Still: return u"Still";
    case PinCategory::AnalogVideoIn: return u"Analog";
    case PinCategory::Vbi: return u"VBI";
    case PinCategory::VideoPort: return u"VP";
    case PinCategory::ClosedCaption: return u"CC";
    case PinCategory::Capture: break;
    }
    return u"Capture";
}

// Property pages in the order they are offered.
const CLSID* const kPages[] = {&CLSID_VideoProcAmpPropertyPage, &CLSID_CameraControlPropertyPage,
                               &CLSID_AnalogVideoDecoderPropertyPage, &CLSID_VideoStreamConfigPropertyPage,
                               &CLSID_CrossbarFilterPropertyPage};

LONG lowest_bit(uint32_t mask) { return static_cast<LONG>(mask & (~mask + 1)); }

bool single_bit(LONG v) { return v > 0 && (v & (v - 1)) == 0; }

}  // namespace

CaptureFilter::CaptureFilter(std::shared_ptr<const PluggedVideoDevice> device)
    : Filter(CLSID_KsProxy), device_(std::move(device)) {
    const VideoDevice& d = device_->device;
    std::vector<std::u16string> used;
    for (const VideoPin& desc : d.pins) {
        const std::u16string base = category_pin_name(desc.category);
        const auto n = std::count(used.begin(), used.end(), base);
        used.push_back(base);
        std::u16string id = base;
        if (n > 0) {
            const std::string number = std::to_string(n + 1);
            id += u" " + std::u16string(number.begin(), number.end());
        }
        outputs_.push_back(static_cast<CapturePin*>(add_pin(std::make_unique<CapturePin>(*this, id, desc))));
    }
    if (d.crossbar) {
        analog_in_ = static_cast<AnalogInputPin*>(add_pin(std::make_unique<AnalogInputPin>(*this)));
        crossbar_ = make_crossbar(*d.crossbar);
    }
    if (d.procamp) {
        for (size_t i = 0; i < kProcAmpCount; ++i) {
            if (const auto& e = (*d.procamp)[i]) {
                amp_[i].value = e->value;
                amp_[i].mode = (e->flags & VideoProcAmp_Flags_Manual) ? VideoProcAmp_Flags_Manual
                                                                      : VideoProcAmp_Flags_Auto;
            }
        }
    }
    const VideoPin& first = d.pins.front();
    tv_format_ = lowest_bit(first.caps.at(first.current).standard);
    if (tv_format_ == 0) tv_format_ = lowest_bit(available_standards());
    if (!device_->link->attach(this)) lost_ = true;
}

CaptureFilter::~CaptureFilter() {
    device_->link->detach(this);
    stop_all_streams();
}

HRESULT create_capture_filter(std::shared_ptr<const PluggedVideoDevice> device, REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    try {
        ComPtr<CaptureFilter> filter = make_com<CaptureFilter>(std::move(device));
        return filter->QueryInterface(iid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

bool CaptureFilter::interface_allowed(REFIID iid) {
    const VideoDevice& d = device_->device;
    if (iid == IID_IAMVideoProcAmp) return d.procamp.has_value();
    if (iid == IID_IAMAnalogVideoDecoder) return has_analog_decoder();
    if (iid == IID_IAMExtTransport) return d.transport.has_value();
    if (iid == IID_ISpecifyPropertyPages) return d.property_pages.has_value();
    return true;
}

bool CaptureFilter::has_analog_decoder() const {
    const VideoDevice& d = device_->device;
    if (d.crossbar) return true;
    return std::any_of(d.pins.begin(), d.pins.end(), [](const VideoPin& p) {
        return std::any_of(p.caps.begin(), p.caps.end(), [](const VideoCaps& c) { return c.standard != 0; });
    });
}

std::vector<FilterCore::Supporting> CaptureFilter::supporting_filters() {
    if (!crossbar_ || analog_in_ == nullptr || analog_in_->connected()) return {};
    return {Supporting{crossbar_, kCrossbarName}};
}

// ---- Streaming state ---------------------------------------------------------

bool CaptureFilter::any_output_connected() const {
    return std::any_of(outputs_.begin(), outputs_.end(), [](const CapturePin* p) { return p->connected(); });
}

void CaptureFilter::stop_all_streams() {
    std::lock_guard<std::mutex> lock(streams_);
    for (CapturePin* pin : outputs_) pin->stop_streaming();
}

HRESULT CaptureFilter::on_pause(FILTER_STATE from) {
    if (from == State_Stopped && lost_) return kDeviceGone;
    if (from == State_Running) stop_all_streams();
    return S_OK;
}

HRESULT CaptureFilter::on_run(REFERENCE_TIME) {
    std::lock_guard<std::mutex> lock(streams_);
    if (lost_) return kDeviceGone;
    for (CapturePin* pin : outputs_) {
        if (HRESULT hr = pin->start_streaming(); FAILED(hr)) {
            for (CapturePin* p : outputs_) p->stop_streaming();
            return hr;
        }
    }
    return S_OK;
}

void CaptureFilter::on_stop() { stop_all_streams(); }

HRESULT CaptureFilter::state_result(FILTER_STATE settled) const {
    // A live source delivers nothing while paused.
    return settled == State_Paused && any_output_connected() ? VFW_S_CANT_CUE : S_OK;
}

void CaptureFilter::device_lost() {
    lost_ = true;
    // Release a streaming thread waiting for a sample, then end them all.
    for (CapturePin* pin : outputs_) pin->decommit_pool();
    stop_all_streams();
    // Tell the graph (param1 this filter, param2 0: removed). While the
    // filter is in a graph the graph holds a reference on it, and it leaves
    // only through JoinFilterGraph(NULL), which waits for this lock: so the
    // filter is alive for the queue's AddRef, even when the application is
    // releasing it at this very moment.
    std::lock_guard<std::recursive_mutex> lock(filter_lock());
    if (IFilterGraph* g = graph()) graph_post_event(g, EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(identity()), 0);
}

// ---- IAMFilterMiscFlags ------------------------------------------------------

ULONG CaptureFilter::GetMiscFlags() { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

// ---- IAMVideoProcAmp ---------------------------------------------------------

HRESULT CaptureFilter::GetRange(LONG prop, LONG* min, LONG* max, LONG* step, LONG* def, LONG* caps) {
    if (min == nullptr || max == nullptr || step == nullptr || def == nullptr || caps == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IAMVideoProcAmp::GetRange"); FAILED(hr)) return hr;
    const auto& amp = device_->device.procamp;
    if (!amp || prop < 0 || static_cast<size_t>(prop) >= kProcAmpCount || !(*amp)[static_cast<size_t>(prop)])
        return E_PROP_ID_UNSUPPORTED;
    const ProcAmpEntry& e = *(*amp)[static_cast<size_t>(prop)];
    *min = e.min;
    *max = e.max;
    *step = e.step;
    *def = e.default_value;
    *caps = e.flags;
    return S_OK;
}

HRESULT CaptureFilter::Get(LONG prop, LONG* value, LONG* flags) {
    if (value == nullptr || flags == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IAMVideoProcAmp::Get"); FAILED(hr)) return hr;
    const auto& amp = device_->device.procamp;
    if (!amp || prop < 0 || static_cast<size_t>(prop) >= kProcAmpCount || !(*amp)[static_cast<size_t>(prop)])
        return E_PROP_ID_UNSUPPORTED;
    std::lock_guard<std::mutex> lock(controls_);
    *value = amp_[static_cast<size_t>(prop)].value;
    *flags = amp_[static_cast<size_t>(prop)].mode;
    return S_OK;
}

HRESULT CaptureFilter::Set(LONG prop, LONG value, LONG flags) {
    if (HRESULT hr = fault_result("IAMVideoProcAmp::Set"); FAILED(hr)) return hr;
    const auto& amp = device_->device.procamp;
    if (!amp || prop < 0 || static_cast<size_t>(prop) >= kProcAmpCount || !(*amp)[static_cast<size_t>(prop)])
        return E_PROP_ID_UNSUPPORTED;
    const ProcAmpEntry& e = *(*amp)[static_cast<size_t>(prop)];
    // Auto wins when both modes are asked for, as drivers do with the
    // capability flags passed back unchanged.
    const LONG both = VideoProcAmp_Flags_Auto | VideoProcAmp_Flags_Manual;
    if (flags <= 0 || (flags & ~both) != 0) return E_INVALIDARG;
    const LONG mode = (flags & VideoProcAmp_Flags_Auto) ? VideoProcAmp_Flags_Auto : VideoProcAmp_Flags_Manual;
    if ((e.flags & mode) == 0) return E_INVALIDARG;  // a mode the device lacks
    std::lock_guard<std::mutex> lock(controls_);
    AmpState& s = amp_[static_cast<size_t>(prop)];
    if (mode == VideoProcAmp_Flags_Auto) {
        // The value given is ignored; the device settles on its default.
        s.value = e.default_value;
        s.mode = flags;
        return S_OK;
    }
    if (value < e.min || value > e.max) return E_INVALIDARG;
    s.value = value;
    s.mode = flags;
    return S_OK;
}

// ---- IAMAnalogVideoDecoder ---------------------------------------------------

HRESULT CaptureFilter::get_AvailableTVFormats(LONG* standards) {
    if (standards == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IAMAnalogVideoDecoder::get_AvailableTVFormats"); FAILED(hr)) return hr;
    *standards = static_cast<LONG>(available_standards());
    return S_OK;
}

uint32_t CaptureFilter::available_standards() const {
    uint32_t mask = 0;
    for (const VideoPin& p : device_->device.pins)
        for (const VideoCaps& c : p.caps) mask |= c.standard;
    return mask;
}

HRESULT CaptureFilter::put_TVFormat(LONG standard) {
    if (HRESULT hr = fault_result("IAMAnalogVideoDecoder::put_TVFormat"); FAILED(hr)) return hr;
    if (!single_bit(standard) || (static_cast<uint32_t>(standard) & available_standards()) == 0) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(controls_);
    tv_format_ = standard;
    return S_OK;
}

HRESULT CaptureFilter::get_TVFormat(LONG* standard) {
    if (standard == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IAMAnalogVideoDecoder::get_TVFormat"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(controls_);
    *standard = tv_format_;
    return S_OK;
}

HRESULT CaptureFilter::get_HorizontalLocked(LONG* locked) {
    if (locked == nullptr) return E_POINTER;
    *locked = 1;  // the virtual signal is always stable
    return S_OK;
}

HRESULT CaptureFilter::put_VCRHorizontalLocking(LONG locking) {
    std::lock_guard<std::mutex> lock(controls_);
    vcr_locking_ = locking != 0 ? 1 : 0;
    return S_OK;
}

HRESULT CaptureFilter::get_VCRHorizontalLocking(LONG* locking) {
    if (locking == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(controls_);
    *locking = vcr_locking_;
    return S_OK;
}

HRESULT CaptureFilter::get_NumberOfLines(LONG* lines) {
    if (lines == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(controls_);
    const bool lines525 = (tv_format_ & (AnalogVideo_NTSC_Mask | AnalogVideo_PAL_M | AnalogVideo_PAL_60)) != 0;
    *lines = tv_format_ == 0 ? 0 : lines525 ? 525 : 625;
    return S_OK;
}

HRESULT CaptureFilter::put_OutputEnable(LONG enable) {
    std::lock_guard<std::mutex> lock(controls_);
    output_enable_ = enable != 0 ? 1 : 0;
    return S_OK;
}

HRESULT CaptureFilter::get_OutputEnable(LONG* enable) {
    if (enable == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(controls_);
    *enable = output_enable_;
    return S_OK;
}

// ---- IAMExtTransport ---------------------------------------------------------

HRESULT CaptureFilter::GetTransportBasicParameters(LONG param, LONG* value, LPOLESTR* data) {
    if (data != nullptr) *data = nullptr;
    if (HRESULT hr = fault_result("IAMExtTransport::GetTransportBasicParameters"); FAILED(hr)) return hr;
    if (param != ED_TRANSBASIC_INPUT_SIGNAL) return E_NOTIMPL;
    if (value == nullptr) return E_POINTER;
    const LONG signal = device_->device.transport->input_signal;
    // Below ED_BASE the device file names a Win32 error code, which the DV
    // driver hands back as the result itself (a positive "success").
    if (signal >= 0 && signal < ED_BASE) return static_cast<HRESULT>(signal);
    *value = signal;
    return S_OK;
}

// ---- ISpecifyPropertyPages ---------------------------------------------------

HRESULT CaptureFilter::GetPages(CAUUID* pages) {
    return device_pages(pages, device_->device.property_pages, kPages, std::size(kPages));
}

// ---- ISimDevice --------------------------------------------------------------

std::string CaptureFilter::device_name() {
    const VideoDevice& d = device_->device;
    return d.friendly_name.value_or(d.description.value_or(std::string()));
}

}  // namespace vorsim
