// The graph the capture object builds, on the platform's own virtual
// devices: capture filter -> Sample Grabber -> Null Renderer, frames on the
// manual clock, and the bytes that arrive checked against the device's
// pattern; a conversion through the transforms the device file allows.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "com_object.h"
#include "devices/pattern.h"
#include "media_type_helpers.h"
#include "vorsim.h"

namespace {

using namespace vorsim;

struct PreviewGraph {
    ComPtr<IGraphBuilder> graph;
    ComPtr<ICaptureGraphBuilder2> builder;
    ComPtr<IMediaControl> control;
    ComPtr<IBaseFilter> capture, grabber, renderer, dv;
    ComPtr<ISampleGrabber> sg;

    ~PreviewGraph() {
        if (control) control->Stop();
    }

    static ComPtr<IBaseFilter> create(const CLSID& clsid) {
        ComPtr<IBaseFilter> f;
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, f.put_void());
        return f;
    }

    // Device `index` of the video input category, rendered as the capture
    // object does it; `subtype` GUID_NULL takes whatever the device offers.
    HRESULT build(int index, const GUID& subtype, bool interleaved) {
        EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, graph.put_void()),
                  S_OK);
        EXPECT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC, IID_ICaptureGraphBuilder2,
                                   builder.put_void()),
                  S_OK);
        graph->QueryInterface(IID_IMediaControl, control.put_void());
        builder->SetFiltergraph(graph.get());
        ComPtr<ICreateDevEnum> devenum;
        CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC, IID_ICreateDevEnum, devenum.put_void());
        ComPtr<IEnumMoniker> monikers;
        if (devenum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0) != S_OK) return E_FAIL;
        ComPtr<IMoniker> m;
        for (int i = 0; i <= index; ++i)
            if (monikers->Next(1, m.put(), nullptr) != S_OK) return E_FAIL;
        HRESULT hr = m->BindToObject(nullptr, nullptr, IID_IBaseFilter, capture.put_void());
        if (FAILED(hr)) return hr;
        graph->AddFilter(capture.get(), u"Video Capture");
        grabber = create(CLSID_SampleGrabber);
        renderer = create(CLSID_NullRenderer);
        graph->AddFilter(grabber.get(), u"Sample Grabber");
        graph->AddFilter(renderer.get(), u"Null");
        grabber->QueryInterface(IID_ISampleGrabber, sg.put_void());
        AM_MEDIA_TYPE mt{};
        mt.majortype = MEDIATYPE_Video;
        mt.subtype = subtype;
        sg->SetMediaType(&mt);
        if (interleaved) {
            dv = create(CLSID_DVVideoCodec);
            graph->AddFilter(dv.get(), u"DVDecompressor");
            hr = builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved, capture.get(), nullptr, dv.get());
            if (FAILED(hr)) return hr;
            hr = builder->RenderStream(nullptr, &MEDIATYPE_Video, dv.get(), grabber.get(), renderer.get());
        } else {
            hr = builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, capture.get(), grabber.get(),
                                       renderer.get());
        }
        if (FAILED(hr)) return hr;
        sg->SetBufferSamples(TRUE);
        return control->Run();
    }

    std::vector<uint8_t> buffer() {
        LONG size = 0;
        if (FAILED(sg->GetCurrentBuffer(&size, nullptr))) return {};
        std::vector<uint8_t> bytes(static_cast<size_t>(size));
        sg->GetCurrentBuffer(&size, reinterpret_cast<LONG*>(bytes.data()));
        return bytes;
    }
};

SubtypeId subtype_id(const GUID& g) {
    SubtypeId s;
    s.d1 = g.Data1;
    s.d2 = g.Data2;
    s.d3 = g.Data3;
    std::memcpy(s.d4, g.Data4, 8);
    return s;
}

class DeviceGraph : public ::testing::Test {
protected:
    void SetUp() override { clock_set(ClockMode::manual); }
    void TearDown() override { load_devices(default_devices()); }
};

TEST_F(DeviceGraph, EveryDefaultDeviceDeliversItsPattern) {
    load_devices(default_devices());
    const DeviceSet devices = current_devices();
    for (size_t i = 0; i < devices.video.size(); ++i) {
        const VideoDevice& device = devices.video[i];
        SCOPED_TRACE(device.friendly_name.value_or("?"));
        const bool interleaved = device.pins.front().interleaved;
        PreviewGraph g;
        ASSERT_EQ(g.build(static_cast<int>(i), GUID_NULL, interleaved), S_OK);
        ASSERT_GE(deliver_frames(2), 1);
        const std::vector<uint8_t> got = g.buffer();
        ASSERT_FALSE(got.empty());

        AM_MEDIA_TYPE mt{};
        ASSERT_EQ(g.sg->GetConnectedMediaType(&mt), S_OK);
        ASSERT_EQ(mt.formattype, FORMAT_VideoInfo);
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
        const FrameFormat format{subtype_id(mt.subtype), vih->bmiHeader.biWidth, vih->bmiHeader.biHeight};
        FreeMediaType(mt);
        if (interleaved) {
            // The decoder's picture: a whole frame of its output format.
            EXPECT_EQ(got.size(), frame_size(format));
            continue;
        }
        std::vector<uint8_t> want(frame_size(format));
        ASSERT_EQ(fill_frame(device.pattern, format, 1, want.data(), want.size()), want.size());
        EXPECT_EQ(got, want);
    }
}

TEST_F(DeviceGraph, RgbFromAYuy2CameraNeedsAnAllowedConverter) {
    const std::string path = ::testing::TempDir() + "yuy2_camera.json";
    auto write = [&](const char* converters) {
        std::ofstream(path) << R"({"video": [{"friendly_name": "YUY2 Cam", "pattern": "ramp",
            "pins": [{"category": "capture", "caps": [
              {"format": "VideoInfo", "subtype": "YUY2", "width": 64, "height": 48}]}]}])"
                            << converters << "}";
        std::string why;
        ASSERT_TRUE(load_device_file(path, why)) << why;
    };
    write("");
    {
        PreviewGraph g;
        ASSERT_EQ(g.build(0, MEDIASUBTYPE_RGB32, false), S_OK);
        ComPtr<IBaseFilter> converter;
        EXPECT_EQ(g.graph->FindFilterByName(u"AVI Decompressor", converter.put()), S_OK);
        deliver_frames(1);
        EXPECT_EQ(g.buffer().size(), 64u * 48u * 4u);
    }
    write(R"(, "converters": [])");
    {
        PreviewGraph g;
        EXPECT_TRUE(FAILED(g.build(0, MEDIASUBTYPE_RGB32, false)));
    }
}

}  // namespace
