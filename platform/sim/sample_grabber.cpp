// Sample Grabber (CLSID_SampleGrabber): pins "In" ("Input") and "Out"
// ("Output"); ISampleGrabber on the filter object.
//
// Connection: the input takes a type when it fits the type given to
// SetMediaType (major type, then subtype, then format type; a GUID_NULL
// there accepts everything from that field on; for audio with all three
// given, a format block given must be equal) and is not a video type the
// grabber never takes: FORMAT_VideoInfo2, a negative biHeight (top-down), or
// a target rectangle narrower or wider than biWidth (a stride that is not
// the width). The output offers and takes only the input's connection type.
//
// Streaming, in Receive on the streaming thread (the filter's streaming
// lock held, so Stop waits for it): unless the sample is preroll, its valid
// bytes are copied into the grabber's buffer when buffering is on (the
// buffer only grows, so a constant frame size allocates once), and the
// callback runs: SampleCB(start in seconds or 0.0 when untimed, sample),
// with the grabber holding a reference on the sample during the call, or
// BufferCB(time, the sample's bytes, valid length) – called whether or not
// buffering is on. Then the sample goes downstream unchanged. In one-shot
// mode the first sample is followed by EndOfStream downstream and later
// samples are answered S_FALSE, until SetOneShot or the next start from
// Stopped arms it again.
//
// Faults: every ISampleGrabber method can be made to fail
// ("ISampleGrabber::GetCurrentBuffer", ...).
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "class_registry.h"
#include "filter_base.h"
#include "pin_base.h"
#include "vorsim.h"

namespace vorsim {
namespace {

// Whether mt fits the type given to SetMediaType.
bool fits_wanted(const AM_MEDIA_TYPE& wanted, const AM_MEDIA_TYPE& mt) {
    if (wanted.majortype == GUID_NULL) return true;
    if (wanted.majortype != mt.majortype) return false;
    if (wanted.subtype == GUID_NULL) return true;
    if (wanted.subtype != mt.subtype) return false;
    if (wanted.formattype == GUID_NULL) return true;
    if (wanted.formattype != mt.formattype) return false;
    if (wanted.majortype == MEDIATYPE_Audio && wanted.cbFormat != 0 && wanted.pbFormat != nullptr) {
        return mt.cbFormat == wanted.cbFormat && mt.pbFormat != nullptr &&
               std::memcmp(mt.pbFormat, wanted.pbFormat, wanted.cbFormat) == 0;
    }
    return true;
}

// Video types the grabber refuses whatever it was asked for.
bool never_taken(const AM_MEDIA_TYPE& mt) {
    if (mt.majortype != MEDIATYPE_Video) return false;
    if (mt.formattype == FORMAT_VideoInfo2) return true;
    if (mt.formattype != FORMAT_VideoInfo) return false;
    if (mt.cbFormat < sizeof(VIDEOINFOHEADER) || mt.pbFormat == nullptr) return true;
    VIDEOINFOHEADER vih;
    std::memcpy(&vih, mt.pbFormat, sizeof vih);
    if (vih.bmiHeader.biHeight < 0) return true;
    const RECT& target = vih.rcTarget;
    const bool whole_frame = target.left == 0 && target.top == 0 && target.right == 0 && target.bottom == 0;
    return !whole_frame && target.right - target.left != vih.bmiHeader.biWidth;
}

class SampleGrabber final : public Filter<ISampleGrabber> {
public:
    SampleGrabber() : Filter<ISampleGrabber>(CLSID_SampleGrabber) {
        input_ = add_pin(std::make_unique<In>(*this, *this));
        output_ = add_pin(std::make_unique<Out>(*this, *this));
    }

    ~SampleGrabber() override {
        if (callback_ != nullptr) callback_->Release();
    }

    // ISampleGrabber.
    HRESULT STDMETHODCALLTYPE SetOneShot(BOOL OneShot) override {
        if (HRESULT hr = fault_result("ISampleGrabber::SetOneShot"); FAILED(hr)) return hr;
        std::lock_guard<std::mutex> lock(settings_);
        one_shot_ = OneShot != 0;
        one_shot_done_ = false;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE* pType) override {
        if (pType == nullptr) return E_POINTER;
        if (HRESULT hr = fault_result("ISampleGrabber::SetMediaType"); FAILED(hr)) return hr;
        try {
            MediaType copy(*pType);
            std::lock_guard<std::mutex> lock(settings_);
            wanted_ = std::move(copy);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE* pType) override {
        if (pType == nullptr) return E_POINTER;
        if (HRESULT hr = fault_result("ISampleGrabber::GetConnectedMediaType"); FAILED(hr)) return hr;
        std::lock_guard<std::recursive_mutex> lock(filter_lock());
        if (!input_->connected()) return VFW_E_NOT_CONNECTED;
        return input_->copy_connection_type(pType);
    }

    HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL BufferThem) override {
        if (HRESULT hr = fault_result("ISampleGrabber::SetBufferSamples"); FAILED(hr)) return hr;
        std::lock_guard<std::mutex> lock(buffer_mutex_);
        buffering_ = BufferThem != 0;
        if (!buffering_) buffered_ = 0;  // forgotten; the memory stays for the next time
        has_sample_ = has_sample_ && buffering_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetCurrentBuffer(LONG* pBufferSize, LONG* pBuffer) override {
        if (pBufferSize == nullptr) return E_POINTER;
        if (HRESULT hr = fault_result("ISampleGrabber::GetCurrentBuffer"); FAILED(hr)) return hr;
        if (!input_->connected()) return VFW_E_NOT_CONNECTED;
        std::lock_guard<std::mutex> lock(buffer_mutex_);
        if (!buffering_) return E_INVALIDARG;
        if (!has_sample_) return VFW_E_WRONG_STATE;
        const LONG needed = static_cast<LONG>(buffered_);
        if (pBuffer == nullptr) {
            *pBufferSize = needed;  // size query
            return S_OK;
        }
        if (*pBufferSize < needed) {
            *pBufferSize = needed;
            return E_OUTOFMEMORY;
        }
        if (needed > 0) std::memcpy(pBuffer, buffer_.data(), buffered_);
        *pBufferSize = needed;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetCurrentSample(IMediaSample** ppSample) override {
        if (ppSample != nullptr) *ppSample = nullptr;
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE SetCallback(ISampleGrabberCB* pCallback, LONG WhichMethodToCallback) override {
        if (HRESULT hr = fault_result("ISampleGrabber::SetCallback"); FAILED(hr)) return hr;
        if (pCallback != nullptr) pCallback->AddRef();
        ISampleGrabberCB* old = nullptr;
        {
            std::lock_guard<std::mutex> lock(settings_);
            old = callback_;
            callback_ = pCallback;
            which_ = WhichMethodToCallback;
        }
        if (old != nullptr) old->Release();  // a call already running holds its own reference
        return S_OK;
    }

protected:
    HRESULT on_pause(FILTER_STATE from) override {
        if (from == State_Stopped) {
            std::lock_guard<std::mutex> lock(settings_);
            one_shot_done_ = false;
        }
        return S_OK;
    }

private:
    class In final : public InputPin<> {
    public:
        In(FilterCore& f, SampleGrabber& g) : InputPin<>(f, u"In", u"Input"), g_(g) {}
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override { return g_.accepts(mt) ? S_OK : S_FALSE; }
        HRESULT on_receive(IMediaSample* sample) override { return g_.receive(sample); }
        HRESULT on_end_of_stream() override {
            IPin* peer = g_.output_->peer();
            return peer != nullptr ? peer->EndOfStream() : S_OK;
        }

    private:
        SampleGrabber& g_;
    };

    class Out final : public OutputPin<> {
    public:
        Out(FilterCore& f, SampleGrabber& g) : OutputPin<>(f, u"Out", u"Output"), g_(g) {}
        std::vector<MediaType> media_types() const override {
            if (!g_.input_->connected()) return {};
            std::vector<MediaType> types;
            types.push_back(g_.input_->connection_type());
            return types;
        }
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
            if (!g_.input_->connected()) return S_FALSE;
            try {
                return same_media_type(mt, g_.input_->connection_type().get()) ? S_OK : S_FALSE;
            } catch (const std::bad_alloc&) {
                return E_OUTOFMEMORY;
            }
        }
        // Samples pass through from the input: no pool of its own to speak of.
        ALLOCATOR_PROPERTIES buffer_properties(const AM_MEDIA_TYPE&) const override { return {1, 1, 1, 0}; }

    private:
        SampleGrabber& g_;
    };

    bool accepts(const AM_MEDIA_TYPE& mt) {
        if (never_taken(mt)) return false;
        std::lock_guard<std::mutex> lock(settings_);
        return fits_wanted(wanted_.get(), mt);
    }

    // Streaming thread, under the streaming lock.
    HRESULT receive(IMediaSample* sample) {
        ComPtr<ISampleGrabberCB> callback;
        LONG which = 0;
        {
            std::lock_guard<std::mutex> lock(settings_);
            if (one_shot_ && one_shot_done_) return S_FALSE;
            callback = ComPtr<ISampleGrabberCB>(callback_);
            which = which_;
        }
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data))) return E_POINTER;
        const LONG length = sample->GetActualDataLength();
        if (sample->IsPreroll() != S_OK) {
            keep(data, length);
            REFERENCE_TIME start = 0, stop = 0;
            const double time = SUCCEEDED(sample->GetTime(&start, &stop)) ? static_cast<double>(start) / 1e7 : 0.0;
            if (callback && which == 0) {
                ComPtr<IMediaSample> hold(sample);
                callback->SampleCB(time, sample);  // its result is ignored
            } else if (callback && which == 1) {
                callback->BufferCB(time, data, length);
            }
        }
        callback.reset();
        const HRESULT hr = output_->connected() ? output_->deliver(sample) : S_OK;
        bool end_now = false;
        {
            std::lock_guard<std::mutex> lock(settings_);
            if (one_shot_ && !one_shot_done_) end_now = one_shot_done_ = true;
        }
        if (end_now) {
            if (IPin* peer = output_->peer()) peer->EndOfStream();
        }
        return hr;
    }

    void keep(const BYTE* data, LONG length) {
        std::lock_guard<std::mutex> lock(buffer_mutex_);
        if (!buffering_) return;
        const size_t n = length > 0 ? static_cast<size_t>(length) : 0;
        try {
            if (buffer_.size() < n) buffer_.resize(n);
        } catch (const std::bad_alloc&) {
            has_sample_ = false;
            return;
        }
        if (n > 0) std::memcpy(buffer_.data(), data, n);
        buffered_ = n;
        has_sample_ = true;
    }

    PinCore* input_;
    PinCore* output_;

    std::mutex settings_;  // what the application sets, read per sample
    MediaType wanted_;     // all GUID_NULL: anything
    ISampleGrabberCB* callback_ = nullptr;  // owned: one reference
    LONG which_ = 0;
    bool one_shot_ = false;
    bool one_shot_done_ = false;

    std::mutex buffer_mutex_;  // the buffered copy, between Receive and GetCurrentBuffer
    bool buffering_ = false;
    bool has_sample_ = false;
    std::vector<BYTE> buffer_;
    size_t buffered_ = 0;
};

const ClassRegistration registration(CLSID_SampleGrabber, "SampleGrabber", &create_instance<SampleGrabber>);

}  // namespace
}  // namespace vorsim
