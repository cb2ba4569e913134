// The test ends shared by the filter, device and AVI Mux tests: a source
// whose samples the test pushes itself (on whatever thread it likes) and a
// sink that records what reaches it. Chains are connected
// pin to pin with IPin::Connect and run downstream first, as the graph does.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <vector>

#include "class_registry.h"
#include "filter_base.h"
#include "pin_base.h"
#include "wide.h"

// Their own namespace: other test files have helpers of the same names.
namespace filters_test {

using namespace vorsim;

inline const CLSID CLSID_PushSource = {0x1d0a5e01, 0x0031, 0x4c11, {0x90, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x31}};
inline const CLSID CLSID_RecordingSink = {0x1d0a5e01, 0x0032, 0x4c11, {0x90, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x32}};

// One output pin "Out" offering `types` in order and taking only those.
// Pool samples are extra_bytes larger than the type's sample size.
class PushSource final : public Filter<> {
public:
    class Out final : public OutputPin<> {
    public:
        Out(FilterCore& f, PushSource& s) : OutputPin<>(f, u"Out", u"Out"), s_(s) {}
        std::vector<MediaType> media_types() const override { return s_.types; }
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
            for (const MediaType& t : s_.types)
                if (same_media_type(t.get(), mt)) return S_OK;
            return S_FALSE;
        }
        ALLOCATOR_PROPERTIES buffer_properties(const AM_MEDIA_TYPE& mt) const override {
            ALLOCATOR_PROPERTIES p = PinCore::buffer_properties(mt);
            p.cBuffers = s_.pool_count;
            p.cbBuffer += s_.extra_bytes;
            return p;
        }

    private:
        PushSource& s_;
    };

    explicit PushSource(std::vector<MediaType> offered, LONG extra = 0, LONG count = 4)
        : Filter<>(CLSID_PushSource), types(std::move(offered)), extra_bytes(extra), pool_count(count) {
        out = static_cast<Out*>(add_pin(std::make_unique<Out>(*this, *this)));
    }

    // Delivers one sample holding `bytes`, timed [start, stop) when start is
    // given; returns what the downstream Receive answered.
    HRESULT push(const std::vector<uint8_t>& bytes, std::optional<REFERENCE_TIME> start = std::nullopt,
                 REFERENCE_TIME stop = 0, bool preroll = false) {
        IMediaSample* raw = nullptr;
        if (HRESULT hr = out->get_delivery_buffer(&raw); FAILED(hr)) return hr;
        ComPtr<IMediaSample> sample = ComPtr<IMediaSample>::adopt(raw);
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        if (static_cast<LONG>(bytes.size()) > sample->GetSize()) return E_INVALIDARG;
        if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
        sample->SetActualDataLength(static_cast<LONG>(bytes.size()));
        if (start) {
            REFERENCE_TIME s = *start, e = stop;
            sample->SetTime(&s, &e);
        }
        sample->SetPreroll(preroll);
        sample->SetSyncPoint(TRUE);
        return out->deliver(sample.get());
    }

    const std::vector<MediaType> types;
    const LONG extra_bytes;
    const LONG pool_count;
    Out* out;
};

// What a RecordingSink saw of one sample.
struct Received {
    std::vector<uint8_t> bytes;  // the valid bytes
    LONG size = 0;               // GetSize
    HRESULT time_result = S_OK;  // GetTime
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool sync_point = false;
    IMediaSample* sample = nullptr;  // identity only, not held
    const BYTE* data = nullptr;      // GetPointer
};

// One input pin "In" taking what `accepts` allows (everything by default).
class RecordingSink final : public Filter<> {
public:
    class In final : public InputPin<> {
    public:
        In(FilterCore& f, RecordingSink& s) : InputPin<>(f, u"In", u"In"), s_(s) {}
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
            return !s_.accepts || s_.accepts(mt) ? S_OK : S_FALSE;
        }
        HRESULT on_receive(IMediaSample* sample) override { return s_.take(sample); }
        HRESULT on_end_of_stream() override {
            std::lock_guard<std::mutex> lock(s_.mutex);
            ++s_.end_of_streams;
            return S_OK;
        }

    private:
        RecordingSink& s_;
    };

    explicit RecordingSink(std::function<bool(const AM_MEDIA_TYPE&)> accept = {})
        : Filter<>(CLSID_RecordingSink), accepts(std::move(accept)) {
        in = static_cast<In*>(add_pin(std::make_unique<In>(*this, *this)));
    }

    std::vector<Received> received() {
        std::lock_guard<std::mutex> lock(mutex);
        return log;
    }
    int eos() {
        std::lock_guard<std::mutex> lock(mutex);
        return end_of_streams;
    }

    const std::function<bool(const AM_MEDIA_TYPE&)> accepts;
    In* in;
    bool keep = false;                    // set before running
    std::vector<ComPtr<IMediaSample>> kept;  // touched in Receive and after Stop

private:
    HRESULT take(IMediaSample* sample) {
        Received r;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        r.bytes.assign(data, data + sample->GetActualDataLength());
        r.data = data;
        r.size = sample->GetSize();
        r.time_result = sample->GetTime(&r.start, &r.stop);
        r.sync_point = sample->IsSyncPoint() == S_OK;
        r.sample = sample;
        if (keep) kept.emplace_back(sample);
        std::lock_guard<std::mutex> lock(mutex);
        log.push_back(std::move(r));
        return S_OK;
    }

    std::mutex mutex;
    std::vector<Received> log;
    int end_of_streams = 0;
};

// A sink taking one major type (and subtype, unless GUID_NULL).
inline ComPtr<RecordingSink> recording_sink(const GUID& major, const GUID& subtype) {
    return make_com<RecordingSink>([major, subtype](const AM_MEDIA_TYPE& mt) {
        return mt.majortype == major && (subtype == GUID_NULL || mt.subtype == subtype);
    });
}

// A filter made by CoCreateInstance, as IBaseFilter.
inline ComPtr<IBaseFilter> create_filter(const CLSID& clsid) {
    ComPtr<IBaseFilter> f;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, f.put_void()), S_OK);
    return f;
}

inline ComPtr<IPin> find_pin(IBaseFilter* filter, const char16_t* id) {
    ComPtr<IPin> pin;
    EXPECT_EQ(filter->FindPin(id, pin.put()), S_OK) << "pin " << to_utf8(id);
    return pin;
}

// Disconnects a pin and its peer.
inline void disconnect_both(IPin* pin) {
    ComPtr<IPin> peer;
    if (SUCCEEDED(pin->ConnectedTo(peer.put()))) peer->Disconnect();
    pin->Disconnect();
}

// Runs filters in the order given (downstream first, as the graph does).
inline void run_all(std::initializer_list<IBaseFilter*> filters) {
    for (IBaseFilter* f : filters) ASSERT_EQ(f->Run(0), S_OK);
}
inline void stop_all(std::initializer_list<IBaseFilter*> filters) {
    for (IBaseFilter* f : filters) EXPECT_EQ(f->Stop(), S_OK);
}

// Releases the last reference the test holds: it must be the last one.
template <class T>
void expect_final_release(ComPtr<T>& p) {
    ASSERT_TRUE(p);
    EXPECT_EQ(p.detach()->Release(), 0u) << "something still holds the object";
}

}  // namespace filters_test
