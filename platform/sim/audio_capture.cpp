// The virtual microphone.
#include "audio_capture.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <mutex>
#include <new>

#include "filter_base.h"
#include "graph_events.h"
#include "pin_base.h"
#include "sim_device.h"
#include "streaming.h"
#include "vorsim.h"

namespace vorsim {
namespace {

// The pages an audio capture filter offers: the input mixer's only.
// {2CA8CA52-3C3F-11D2-B73D-00C04FB6BD3D}, the system's CLSID_AudioInputMixerProperties.
constexpr CLSID kAudioInputMixerPage = {0x2ca8ca52, 0x3c3f, 0x11d2, {0xb7, 0x3d, 0x00, 0xc0, 0x4f, 0xb6, 0xbd, 0x3d}};
const CLSID* const kPages[] = {&kAudioInputMixerPage};

WAVEFORMATEX wave_format(const AudioDevice& d) {
    WAVEFORMATEX w;
    std::memset(&w, 0, sizeof w);
    w.wFormatTag = WAVE_FORMAT_PCM;
    w.nChannels = static_cast<WORD>(d.channels);
    w.nSamplesPerSec = d.rate;
    w.wBitsPerSample = 16;
    w.nBlockAlign = static_cast<WORD>(d.channels * 2);
    w.nAvgBytesPerSec = d.rate * w.nBlockAlign;
    return w;
}

MediaType audio_type(const AudioDevice& d) {
    const WAVEFORMATEX w = wave_format(d);
    MediaType type;
    type->majortype = MEDIATYPE_Audio;
    type->subtype = MEDIASUBTYPE_PCM;
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = w.nBlockAlign;
    type.set_format(FORMAT_WaveFormatEx, &w, sizeof w);
    return type;
}

bool same_wave_format(const AM_MEDIA_TYPE& mt, const AudioDevice& d) {
    if (mt.majortype != MEDIATYPE_Audio || mt.subtype != MEDIASUBTYPE_PCM || mt.formattype != FORMAT_WaveFormatEx ||
        mt.pbFormat == nullptr || mt.cbFormat < sizeof(WAVEFORMATEX))
        return false;
    WAVEFORMATEX theirs;
    std::memcpy(&theirs, mt.pbFormat, sizeof theirs);
    const WAVEFORMATEX ours = wave_format(d);
    return theirs.wFormatTag == ours.wFormatTag && theirs.nChannels == ours.nChannels &&
           theirs.nSamplesPerSec == ours.nSamplesPerSec && theirs.wBitsPerSample == ours.wBitsPerSample &&
           theirs.nBlockAlign == ours.nBlockAlign;
}

class AudioCaptureFilter;

class AudioPin final : public OutputPin<IAMStreamConfig> {
public:
    AudioPin(FilterCore& filter, const AudioDevice& device)
        : OutputPin<IAMStreamConfig>(filter, u"Capture", u"Capture"), device_(device) {
        set_category(PIN_CATEGORY_CAPTURE);
    }

    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* pmt) override {
        if (HRESULT hr = fault_result("IAMStreamConfig::SetFormat"); FAILED(hr)) return hr;
        if (filter().state() != State_Stopped) return VFW_E_NOT_STOPPED;
        if (pmt == nullptr) return E_POINTER;
        return same_wave_format(*pmt, device_) ? S_OK : E_FAIL;
    }

    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** pmt) override {
        if (pmt == nullptr) return E_POINTER;
        *pmt = nullptr;
        if (HRESULT hr = fault_result("IAMStreamConfig::GetFormat"); FAILED(hr)) return hr;
        try {
            *pmt = audio_type(device_).to_task_memory();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return *pmt != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override {
        if (count == nullptr || size == nullptr) return E_POINTER;
        if (HRESULT hr = fault_result("IAMStreamConfig::GetNumberOfCapabilities"); FAILED(hr)) return hr;
        *count = 1;
        *size = sizeof(AUDIO_STREAM_CONFIG_CAPS);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** pmt, BYTE* scc) override {
        if (pmt == nullptr || scc == nullptr) return E_POINTER;
        *pmt = nullptr;
        if (HRESULT hr = fault_result("IAMStreamConfig::GetStreamCaps"); FAILED(hr)) return hr;
        if (index < 0) return E_INVALIDARG;
        if (index > 0) return S_FALSE;
        AUDIO_STREAM_CONFIG_CAPS caps;
        std::memset(&caps, 0, sizeof caps);
        caps.guid = MEDIATYPE_Audio;
        caps.MinimumChannels = caps.MaximumChannels = device_.channels;
        caps.ChannelsGranularity = 1;
        caps.MinimumBitsPerSample = caps.MaximumBitsPerSample = 16;
        caps.BitsPerSampleGranularity = 8;
        caps.MinimumSampleFrequency = caps.MaximumSampleFrequency = device_.rate;
        caps.SampleFrequencyGranularity = 1;
        try {
            *pmt = audio_type(device_).to_task_memory();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        if (*pmt == nullptr) return E_OUTOFMEMORY;
        std::memcpy(scc, &caps, sizeof caps);
        return S_OK;
    }

    HRESULT start_streaming(const std::shared_ptr<DeviceLink>& link) {
        if (!connected()) return S_OK;
        try {
            thread_.start(kAudioChunkInterval, [this, link](uint64_t n) {
                if (link->present()) push(n);
            });
        } catch (...) {
            return E_FAIL;
        }
        return S_OK;
    }
    void stop_streaming() { thread_.stop(); }

protected:
    std::vector<MediaType> media_types() const override { return {audio_type(device_)}; }
    HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
        return same_wave_format(mt, device_) ? S_OK : S_FALSE;
    }
    ALLOCATOR_PROPERTIES buffer_properties(const AM_MEDIA_TYPE&) const override {
        return ALLOCATOR_PROPERTIES{4, static_cast<LONG>(audio_chunk_frames(device_.rate) * device_.channels * 2), 1, 0};
    }

private:
    void push(uint64_t n) {
        IMediaSample* raw = nullptr;
        if (FAILED(get_delivery_buffer(&raw))) return;
        ComPtr<IMediaSample> sample = ComPtr<IMediaSample>::adopt(raw);
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data))) return;
        const uint32_t frames = audio_chunk_frames(device_.rate);
        const uint64_t first = n * frames;
        for (uint32_t f = 0; f < frames; ++f) {
            const int16_t v = audio_tone_sample(first + f, device_.rate);
            for (uint32_t c = 0; c < device_.channels; ++c)
                std::memcpy(data + (static_cast<size_t>(f) * device_.channels + c) * 2, &v, sizeof v);
        }
        sample->SetActualDataLength(static_cast<LONG>(frames * device_.channels * 2));
        REFERENCE_TIME start = static_cast<REFERENCE_TIME>(first * 10000000ULL / device_.rate);
        REFERENCE_TIME stop = static_cast<REFERENCE_TIME>((first + frames) * 10000000ULL / device_.rate);
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(TRUE);
        deliver(sample.get());
    }

    const AudioDevice& device_;  // the filter's copy
    StreamingThread thread_;
};

class AudioCaptureFilter final : public Filter<IAMFilterMiscFlags, ISpecifyPropertyPages, ISimDevice>,
                                 private DeviceLossListener {
public:
    explicit AudioCaptureFilter(std::shared_ptr<const PluggedAudioDevice> device)
        : Filter<IAMFilterMiscFlags, ISpecifyPropertyPages, ISimDevice>(CLSID_AudioRecord), device_(std::move(device)) {
        pin_ = static_cast<AudioPin*>(add_pin(std::make_unique<AudioPin>(*this, device_->device)));
        if (!device_->link->attach(this)) lost_ = true;
    }
    ~AudioCaptureFilter() override {
        device_->link->detach(this);
        std::lock_guard<std::mutex> lock(streams_);
        pin_->stop_streaming();
    }

    ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

    // The first property_pages pages of the list (that is, the mixer page
    // unless the count is 0), in task memory the caller frees.
    HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override {
        return device_pages(pages, device_->device.property_pages, kPages, std::size(kPages));
    }

    std::string device_name() override { return device_->device.friendly_name; }

    void device_lost() override {
        lost_ = true;
        pin_->decommit_pool();
        {
            std::lock_guard<std::mutex> lock(streams_);
            pin_->stop_streaming();
        }
        // As the video capture filter does: the graph holds this filter
        // while it is in the graph, so the queue may AddRef it.
        std::lock_guard<std::recursive_mutex> lock(filter_lock());
        if (IFilterGraph* g = graph()) graph_post_event(g, EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(identity()), 0);
    }

protected:
    bool interface_allowed(REFIID iid) override {
        return iid != IID_ISpecifyPropertyPages || device_->device.property_pages.has_value();
    }
    HRESULT on_pause(FILTER_STATE from) override {
        if (from == State_Stopped && lost_) return kAudioGone;
        if (from == State_Running) {
            std::lock_guard<std::mutex> lock(streams_);
            pin_->stop_streaming();
        }
        return S_OK;
    }
    HRESULT on_run(REFERENCE_TIME) override {
        std::lock_guard<std::mutex> lock(streams_);
        if (lost_) return kAudioGone;
        return pin_->start_streaming(device_->link);
    }
    void on_stop() override {
        std::lock_guard<std::mutex> lock(streams_);
        pin_->stop_streaming();
    }
    HRESULT state_result(FILTER_STATE s) const override {
        return s == State_Paused && pin_->connected() ? VFW_S_CANT_CUE : S_OK;
    }

private:
    static constexpr HRESULT kAudioGone = HRESULT_FROM_WIN32(1167);  // ERROR_DEVICE_NOT_CONNECTED

    const std::shared_ptr<const PluggedAudioDevice> device_;
    AudioPin* pin_;
    std::atomic<bool> lost_{false};
    std::mutex streams_;
};

}  // namespace

int16_t audio_tone_sample(uint64_t frame, uint32_t rate) {
    if (rate == 0) return 0;
    const uint64_t phase = (frame * 441 * 65536 / rate) % 65536;  // one period = 65536 steps
    return static_cast<int16_t>((static_cast<int32_t>(phase) - 32768) / 4);
}

HRESULT create_audio_capture(std::shared_ptr<const PluggedAudioDevice> device, REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    try {
        ComPtr<AudioCaptureFilter> filter = make_com<AudioCaptureFilter>(std::move(device));
        return filter->QueryInterface(iid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace vorsim
