// Shared pieces of the device tests: a device set installed for one test
// (the default set comes back afterwards), enumeration and binding helpers,
// and a sink that records every sample it receives.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "com_conformance.h"
#include "devices/device_set.h"
#include "filter_base.h"
#include "pin_base.h"
#include "vorsim.h"

namespace vorsim_test {

using namespace vorsim;

inline VideoCaps make_caps(FormatType format, SubtypeId subtype, int32_t w, int32_t h, int64_t interval = 333333,
                           uint32_t standard = 0) {
    VideoCaps c;
    c.format = format;
    c.subtype = subtype;
    c.compression = is_rgb_subtype(subtype) ? kBiRgb : subtype.d1;
    c.width = w;
    c.height = h;
    c.min_interval = interval;
    c.standard = standard;
    return c;
}

inline VideoDevice make_camera(const char* friendly, std::vector<VideoCaps> caps) {
    VideoDevice d;
    d.friendly_name = friendly;
    VideoPin pin;
    pin.caps = std::move(caps);
    d.pins = {pin};
    return d;
}

// Installs a device set for the test; the default set comes back after it.
class DeviceTest : public testing::Test {
protected:
    void TearDown() override {
        fault_clear();
        load_devices(default_devices());
        EXPECT_EQ(task_memory_outstanding(), task_memory_at_start_) << "task memory leaked";
        EXPECT_EQ(bstr_outstanding(), bstrs_at_start_) << "BSTR leaked";
    }
    void install(const DeviceSet& set) { load_devices(set); }

    std::vector<ComPtr<IMoniker>> monikers(const GUID& category) {
        std::vector<ComPtr<IMoniker>> out;
        ComPtr<ICreateDevEnum> devenum;
        EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                   devenum.put_void()),
                  S_OK);
        ComPtr<IEnumMoniker> e;
        // S_FALSE (an empty category) leaves no enumerator: test for S_OK.
        if (devenum->CreateClassEnumerator(category, e.put(), 0) != S_OK) return out;
        IMoniker* m = nullptr;
        while (e->Next(1, &m, nullptr) == S_OK) out.push_back(ComPtr<IMoniker>::adopt(m));
        return out;
    }

    ComPtr<IBaseFilter> bind(IMoniker* m) {
        ComPtr<IBaseFilter> f;
        EXPECT_EQ(m->BindToObject(nullptr, nullptr, IID_IBaseFilter, f.put_void()), S_OK);
        return f;
    }

    // The only (or first) video device's filter.
    ComPtr<IBaseFilter> bind_first_video() {
        auto all = monikers(CLSID_VideoInputDeviceCategory);
        if (all.empty()) {
            ADD_FAILURE() << "no video device";
            return nullptr;
        }
        return bind(all.front().get());
    }

public:
    static ComPtr<IPin> pin(IBaseFilter* f, const char16_t* id) {
        ComPtr<IPin> p;
        EXPECT_EQ(f->FindPin(id, p.put()), S_OK);
        return p;
    }

    template <class I>
    static ComPtr<I> query(IUnknown* object, const IID& iid) {
        ComPtr<I> out;
        EXPECT_EQ(object->QueryInterface(iid, out.put_void()), S_OK);
        return out;
    }

protected:

private:
    long long task_memory_at_start_ = task_memory_outstanding();
    long long bstrs_at_start_ = bstr_outstanding();
};

inline const CLSID CLSID_RecordingSink = {0x1d0a5e01, 0x0003, 0x4c11, {0x90, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x03}};

// A sink taking one major type (and subtype, unless GUID_NULL) that keeps a
// copy of every sample: its valid bytes, size and times.
class RecordingSink final : public Filter<> {
public:
    struct Received {
        std::vector<BYTE> bytes;
        LONG size = 0;
        HRESULT time_result = S_OK;
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        bool sync_point = false;
    };

    class In final : public InputPin<> {
    public:
        In(RecordingSink& sink) : InputPin<>(sink, u"In", u"Input"), sink_(sink) {}
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
            if (mt.majortype != sink_.major) return S_FALSE;
            return sink_.subtype == GUID_NULL || mt.subtype == sink_.subtype ? S_OK : S_FALSE;
        }
        HRESULT on_receive(IMediaSample* sample) override {
            Received r;
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            r.bytes.assign(data, data + sample->GetActualDataLength());
            r.size = sample->GetSize();
            r.time_result = sample->GetTime(&r.start, &r.stop);
            r.sync_point = sample->IsSyncPoint() == S_OK;
            std::lock_guard<std::mutex> lock(sink_.mutex_);
            sink_.received_.push_back(std::move(r));
            return S_OK;
        }

    private:
        RecordingSink& sink_;
    };

    RecordingSink(const GUID& major_type, const GUID& sub_type)
        : Filter<>(CLSID_RecordingSink), major(major_type), subtype(sub_type) {
        in = static_cast<In*>(add_pin(std::make_unique<In>(*this)));
    }

    std::vector<Received> received() {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

    const GUID major;
    const GUID subtype;
    In* in;

private:
    std::mutex mutex_;
    std::vector<Received> received_;
};

}  // namespace vorsim_test
