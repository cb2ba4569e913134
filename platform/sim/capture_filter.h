// The virtual video capture filter: one per IMoniker::BindToObject, made
// from a plugged device of the device file.
//
// Pins: the device's output pins in file order, ids and names after their
// category ("Capture", "Preview", "Still", "VBI", "VP", "CC"; a second pin
// of a category gets " 2"), each with IKsPropertySet (its category) and
// IAMStreamConfig; then, on a device with a crossbar, the input pin
// "Analog Video In" (category ANALOGVIDEOIN). The crossbar is a filter of
// its own (crossbar.h), made with the capture filter and handed to the
// capture graph builder through supporting_filters() while that input pin
// is unconnected.
//
// Filter interfaces: IAMFilterMiscFlags (IS_SOURCE) and ISimDevice always;
// IAMVideoProcAmp with `procamp`; IAMAnalogVideoDecoder with a crossbar or a
// caps entry with a non-zero standard; IAMExtTransport with `transport`;
// ISpecifyPropertyPages with `property_pages`. Control values (amplifier, TV
// format) belong to the filter instance and start from the device file's.
//
// IAMStreamConfig (each output pin):
//   GetNumberOfCapabilities  the caps count, 128
//   GetStreamCaps(i)         caps order; past the end S_FALSE, nothing made
//   GetFormat                connected: the connection type; else the type
//                            SetFormat stored; else the pin's current caps
//                            entry at its fastest rate
//   SetFormat                VFW_E_NOT_STOPPED unless stopped; E_POINTER;
//                            E_FAIL for a type matching no caps entry; the
//                            interval snaps (capture_filter_formats.h); from
//                            then on the pin offers only that type; a
//                            connected pin reconnects with it, and when the
//                            downstream pin refuses, keeps its connection and
//                            answers VFW_E_INVALIDMEDIATYPE.
// EnumMediaTypes offers the current entry first, then the other caps in
// order (each at its fastest rate); a pin takes a type matching a caps entry
// at one of its supported intervals.
//
// Streaming: while running, each connected output pin has a StreamingThread
// that fills pool samples with fill_frame (the device's pattern, the
// connection's format, frame n counted from 0 at each Run), stamps them
// start = n x interval, stop = start + interval (stream time), marks them
// sync points and delivers them. The pool's samples hold frame_size bytes
// (the largest frame for MJPG); the actual length is the frame's.
// Paused with a connected pin, GetState answers VFW_S_CANT_CUE.
//
// Unplugging: device_lost() stops every streaming thread, posts
// EC_DEVICE_LOST (param1 the filter, param2 0) to the graph the filter is
// in, and makes Run fail with kDeviceGone from then on.
//
// Faults: "IAMStreamConfig::<method>", "IAMVideoProcAmp::<method>",
// "IAMAnalogVideoDecoder::<method>", "IAMExtTransport::GetTransportBasicParameters",
// "ISpecifyPropertyPages::GetPages", plus the filter and pin bases' own.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "capture_filter_formats.h"
#include "device_registry.h"
#include "filter_base.h"
#include "pin_base.h"
#include "sim_device.h"
#include "streaming.h"

namespace vorsim {

class CaptureFilter;

// The class id capture filters report (the kernel-streaming proxy's).
inline constexpr CLSID CLSID_KsProxy = {0x17cca71b, 0xecd7, 0x11d0, {0xb9, 0x08, 0x00, 0xa0, 0xc9, 0x22, 0x31, 0x96}};

class CapturePin final : public OutputPin<IAMStreamConfig> {
public:
    CapturePin(CaptureFilter& filter, std::u16string id, const VideoPin& desc);

    // IAMStreamConfig.
    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* pmt) override;
    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** pmt) override;
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override;
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** pmt, BYTE* scc) override;

    // Streaming, called by the filter.
    HRESULT start_streaming();
    void stop_streaming();

protected:
    std::vector<MediaType> media_types() const override;
    HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override;
    HRESULT on_connected(const AM_MEDIA_TYPE& mt) override;
    ALLOCATOR_PROPERTIES buffer_properties(const AM_MEDIA_TYPE& mt) const override;
    bool interface_allowed(REFIID iid) override;

private:
    MediaType default_type() const;
    void push(uint64_t frame_index);

    CaptureFilter& owner_;  // not owned: the filter owns its pins
    const VideoPin desc_;
    std::optional<MediaType> set_format_;  // under the filter lock
    // The format being streamed, fixed at connection.
    FrameFormat stream_format_;
    REFERENCE_TIME stream_interval_ = 0;
    StreamingThread thread_;
};

class AnalogInputPin final : public InputPin<IKsPropertySet> {
public:
    explicit AnalogInputPin(FilterCore& filter);

    HRESULT STDMETHODCALLTYPE Set(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID, DWORD) override {
        return ks_set(set, id);
    }
    HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD cb,
                                  DWORD* returned) override {
        return ks_get(set, id, data, cb, returned);
    }
    HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override {
        return ks_query_supported(set, id, support);
    }

protected:
    HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override;
};

class CaptureFilter final : public Filter<IAMFilterMiscFlags, IAMVideoProcAmp, IAMAnalogVideoDecoder, IAMExtTransport,
                                          ISpecifyPropertyPages, ISimDevice>,
                            private DeviceLossListener {
public:
    // Throws std::bad_alloc.
    explicit CaptureFilter(std::shared_ptr<const PluggedVideoDevice> device);
    ~CaptureFilter() override;

    const VideoDevice& device() const { return device_->device; }
    bool lost() const { return lost_.load(); }
    // Stops delivering for good: the device is gone. Called by the device
    // registry when the device is unplugged.
    void device_lost() override;

    std::vector<Supporting> supporting_filters() override;

    // IAMFilterMiscFlags.
    ULONG STDMETHODCALLTYPE GetMiscFlags() override;
    // IAMVideoProcAmp.
    HRESULT STDMETHODCALLTYPE GetRange(LONG prop, LONG* min, LONG* max, LONG* step, LONG* def, LONG* caps) override;
    HRESULT STDMETHODCALLTYPE Set(LONG prop, LONG value, LONG flags) override;
    HRESULT STDMETHODCALLTYPE Get(LONG prop, LONG* value, LONG* flags) override;
    // IAMAnalogVideoDecoder.
    HRESULT STDMETHODCALLTYPE get_AvailableTVFormats(LONG* standards) override;
    HRESULT STDMETHODCALLTYPE put_TVFormat(LONG standard) override;
    HRESULT STDMETHODCALLTYPE get_TVFormat(LONG* standard) override;
    HRESULT STDMETHODCALLTYPE get_HorizontalLocked(LONG* locked) override;
    HRESULT STDMETHODCALLTYPE put_VCRHorizontalLocking(LONG locking) override;
    HRESULT STDMETHODCALLTYPE get_VCRHorizontalLocking(LONG* locking) override;
    HRESULT STDMETHODCALLTYPE get_NumberOfLines(LONG* lines) override;
    HRESULT STDMETHODCALLTYPE put_OutputEnable(LONG enable) override;
    HRESULT STDMETHODCALLTYPE get_OutputEnable(LONG* enable) override;
    // IAMExtTransport: the input signal; the rest E_NOTIMPL.
    HRESULT STDMETHODCALLTYPE GetCapability(LONG, LONG*, double*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_MediaState(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_MediaState(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_LocalControl(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LocalControl(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStatus(LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTransportBasicParameters(LONG param, LONG* value, LPOLESTR* data) override;
    HRESULT STDMETHODCALLTYPE SetTransportBasicParameters(LONG, LONG, LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTransportVideoParameters(LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTransportVideoParameters(LONG, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTransportAudioParameters(LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTransportAudioParameters(LONG, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Mode(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Mode(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Rate(double) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Rate(double*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChase(LONG*, LONG*, HEVENT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetChase(LONG, LONG, HEVENT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBump(LONG*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetBump(LONG, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_AntiClogControl(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_AntiClogControl(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEditPropertySet(LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetEditPropertySet(LONG*, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEditProperty(LONG, LONG, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetEditProperty(LONG, LONG, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_EditStart(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_EditStart(LONG) override { return E_NOTIMPL; }
    // ISpecifyPropertyPages.
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override;
    // ISimDevice.
    std::string device_name() override;

protected:
    bool interface_allowed(REFIID iid) override;
    HRESULT on_pause(FILTER_STATE from) override;
    HRESULT on_run(REFERENCE_TIME start) override;
    void on_stop() override;
    HRESULT state_result(FILTER_STATE settled) const override;

private:
    bool has_analog_decoder() const;
    uint32_t available_standards() const;
    bool any_output_connected() const;
    void stop_all_streams();

    const std::shared_ptr<const PluggedVideoDevice> device_;
    std::atomic<bool> lost_{false};
    std::mutex streams_;  // starting and stopping the streaming threads
    std::vector<CapturePin*> outputs_;  // not owned: pins of this filter
    AnalogInputPin* analog_in_ = nullptr;
    ComPtr<IBaseFilter> crossbar_;

    std::mutex controls_;
    struct AmpState {
        LONG value = 0;
        LONG mode = 0;  // VideoProcAmp_Flags_Auto or _Manual
    };
    std::array<AmpState, kProcAmpCount> amp_{};
    LONG tv_format_ = 0;
    LONG vcr_locking_ = 0;
    LONG output_enable_ = 1;
};

// Creates the capture filter for a device and hands it out as iid.
HRESULT create_capture_filter(std::shared_ptr<const PluggedVideoDevice> device, REFIID iid, void** ppv);

}  // namespace vorsim
