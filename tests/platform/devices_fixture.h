// Shared pieces of the device tests: a device set installed for one test
// (the default set comes back afterwards), enumeration and binding helpers,
// and the recording sink of filters_test_filters.h taking one type.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "com_conformance.h"
#include "devices/device_set.h"
#include "filters_test_filters.h"
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

using filters_test::RecordingSink;
using filters_test::recording_sink;

}  // namespace vorsim_test
