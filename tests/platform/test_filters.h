// A tiny streaming source built on the filter base, to prove it (the sink is
// filters_test_filters.h's RecordingSink), and a graph stand-in.
//
// TestSource: one output pin "Out" (category configurable) offering, in
// order, RGB32 320x240 then YUY2 320x240; while running it streams on a
// StreamingThread, writing the frame index into the first 8 bytes of each
// sample and stamping it with frame times.
#pragma once

#include <atomic>
#include <cstring>
#include <vector>

#include "filter_base.h"
#include "pin_base.h"
#include "streaming.h"

namespace vorsim_test {

using namespace vorsim;

inline const CLSID CLSID_TestSource = {0x1d0a5e01, 0x0001, 0x4c11, {0x90, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x01}};
inline constexpr REFERENCE_TIME kInterval = 333333;

class TestSource final : public Filter<> {
public:
    class Out final : public OutputPin<> {
    public:
        explicit Out(FilterCore& f) : OutputPin<>(f, u"Out", u"Output") {}
        std::vector<MediaType> media_types() const override {
            return {make_video_type(MEDIASUBTYPE_RGB32, 320, 240, 32, kInterval),
                    make_video_type(MEDIASUBTYPE_YUY2, 320, 240, 16, kInterval)};
        }
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
            return mt.majortype == MEDIATYPE_Video ? S_OK : S_FALSE;
        }
    };

    TestSource() : Filter<>(CLSID_TestSource) { out = static_cast<Out*>(add_pin(std::make_unique<Out>(*this))); }
    ~TestSource() override { thread.stop(); }

    Out* out;
    StreamingThread thread;
    std::atomic<int> delivery_failures{0};

protected:
    HRESULT on_run(REFERENCE_TIME) override {
        if (!out->connected()) return S_OK;
        try {
            thread.start(kInterval, [this](uint64_t index) { push(index); });
        } catch (...) {
            return E_FAIL;
        }
        return S_OK;
    }
    HRESULT on_pause(FILTER_STATE from) override {
        if (from == State_Running) thread.stop();
        return S_OK;
    }
    void on_stop() override { thread.stop(); }
    HRESULT state_result(FILTER_STATE s) const override { return s == State_Paused ? VFW_S_CANT_CUE : S_OK; }

private:
    void push(uint64_t index) {
        IMediaSample* raw = nullptr;
        if (FAILED(out->get_delivery_buffer(&raw))) {
            ++delivery_failures;
            return;
        }
        ComPtr<IMediaSample> sample = ComPtr<IMediaSample>::adopt(raw);
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        std::memcpy(data, &index, sizeof index);
        REFERENCE_TIME start = static_cast<REFERENCE_TIME>(index) * kInterval;
        REFERENCE_TIME stop = start + kInterval;
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(TRUE);
        if (out->deliver(sample.get()) != S_OK) ++delivery_failures;
    }
};

// A graph stand-in: only its identity and count matter to filters.
class FakeGraph final : public ComObject<IFilterGraph> {
public:
    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reconnect(IPin*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Disconnect(IPin*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override { return E_NOTIMPL; }
};

}  // namespace vorsim_test
