// IAMStreamConfig on the capture filter's pins, media types from the caps,
// pin ids and categories.
#include <gtest/gtest.h>

#include "capture_filter.h"
#include "devices_fixture.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;

struct TypeHolder {
    AM_MEDIA_TYPE* mt = nullptr;
    ~TypeHolder() { DeleteMediaType(mt); }
    const BITMAPINFOHEADER& bmi() const {
        if (mt->formattype == FORMAT_VideoInfo2) return reinterpret_cast<const VIDEOINFOHEADER2*>(mt->pbFormat)->bmiHeader;
        return reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader;
    }
    REFERENCE_TIME interval() const {
        if (mt->formattype == FORMAT_VideoInfo2) return reinterpret_cast<const VIDEOINFOHEADER2*>(mt->pbFormat)->AvgTimePerFrame;
        return reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)->AvgTimePerFrame;
    }
};

class StreamConfig : public DeviceTest {
protected:
    void SetUp() override {
        DeviceSet set;
        VideoDevice cam = make_camera("Config Camera", {make_caps(FormatType::VideoInfo, subtype::YUY2, 320, 240),
                                                        make_caps(FormatType::VideoInfo2, subtype::MJPG, 640, 480),
                                                        make_caps(FormatType::VideoInfo, subtype::RGB24, 160, 120, 666667),
                                                        make_caps(FormatType::VideoInfo, subtype::YUY2, 640, 480)});
        VideoPin preview = cam.pins[0];
        preview.category = PinCategory::Preview;
        preview.current = 2;
        cam.pins.push_back(preview);
        set.video = {cam};
        install(set);
        filter = bind_first_video();
        ASSERT_TRUE(filter);
        capture = pin(filter.get(), u"Capture");
        preview_pin = pin(filter.get(), u"Preview");
        config = query<IAMStreamConfig>(capture.get(), IID_IAMStreamConfig);
        ASSERT_TRUE(config);
    }
    void TearDown() override {
        if (sink) {
            filter->Stop();
            sink->Stop();
            capture->Disconnect();
            sink->in->Disconnect();
            EXPECT_EQ(sink.detach()->Release(), 0u);
        }
        config.reset();
        capture.reset();
        preview_pin.reset();
        if (filter) {
            EXPECT_EQ(filter.detach()->Release(), 0u) << "final Release";
        }
        DeviceTest::TearDown();
    }

    TypeHolder caps_at(int i, VIDEO_STREAM_CONFIG_CAPS* scc = nullptr) {
        VIDEO_STREAM_CONFIG_CAPS local;
        TypeHolder t;
        EXPECT_EQ(config->GetStreamCaps(i, &t.mt, reinterpret_cast<BYTE*>(scc ? scc : &local)), S_OK);
        return t;
    }
    TypeHolder format() {
        TypeHolder t;
        EXPECT_EQ(config->GetFormat(&t.mt), S_OK);
        return t;
    }
    std::vector<MediaType> offered(IPin* p) {
        std::vector<MediaType> out;
        ComPtr<IEnumMediaTypes> e;
        EXPECT_EQ(p->EnumMediaTypes(e.put()), S_OK);
        AM_MEDIA_TYPE* mt = nullptr;
        while (e->Next(1, &mt, nullptr) == S_OK) {
            out.emplace_back(*mt);
            DeleteMediaType(mt);
        }
        return out;
    }

    ComPtr<IBaseFilter> filter;
    ComPtr<IPin> capture;
    ComPtr<IPin> preview_pin;
    ComPtr<IAMStreamConfig> config;
    ComPtr<RecordingSink> sink;
};

TEST_F(StreamConfig, CountAndCapsInFileOrder) {
    int count = 0, size = 0;
    ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(size, 128);

    VIDEO_STREAM_CONFIG_CAPS scc;
    TypeHolder first = caps_at(0, &scc);
    EXPECT_EQ(first.mt->majortype, MEDIATYPE_Video);
    EXPECT_EQ(first.mt->subtype, MEDIASUBTYPE_YUY2);
    EXPECT_EQ(first.mt->formattype, FORMAT_VideoInfo);
    EXPECT_EQ(first.bmi().biWidth, 320);
    EXPECT_EQ(first.bmi().biCompression, MEDIASUBTYPE_YUY2.Data1);
    EXPECT_EQ(first.bmi().biSizeImage, 320u * 240 * 2);
    EXPECT_EQ(first.mt->lSampleSize, 320u * 240 * 2);
    EXPECT_EQ(first.interval(), 333333);
    EXPECT_EQ(scc.guid, FORMAT_VideoInfo);
    EXPECT_EQ(scc.MinFrameInterval, 333333);
    EXPECT_EQ(scc.MaxFrameInterval, 6 * 333333);
    EXPECT_EQ(scc.MaxOutputSize.cx, 320);

    TypeHolder second = caps_at(1, &scc);
    EXPECT_EQ(second.mt->subtype, MEDIASUBTYPE_MJPG);
    EXPECT_EQ(second.mt->formattype, FORMAT_VideoInfo2);
    EXPECT_EQ(second.bmi().biWidth, 640) << "read through VIDEOINFOHEADER2";
    EXPECT_EQ(second.bmi().biCompression, MEDIASUBTYPE_MJPG.Data1);
    EXPECT_EQ(second.mt->bFixedSizeSamples, FALSE);
    EXPECT_EQ(scc.guid, FORMAT_VideoInfo2);

    TypeHolder third = caps_at(2, &scc);
    EXPECT_EQ(third.mt->subtype, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(third.bmi().biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(third.bmi().biSizeImage, 160u * 3 * 120);
    EXPECT_EQ(third.interval(), 666667);
}

TEST_F(StreamConfig, PastTheEndIsSFalseWithNothingAllocated) {
    const long long memory = task_memory_outstanding();
    AM_MEDIA_TYPE* mt = reinterpret_cast<AM_MEDIA_TYPE*>(0x1);
    BYTE scc[128];
    EXPECT_EQ(config->GetStreamCaps(4, &mt, scc), S_FALSE);
    EXPECT_EQ(mt, nullptr);
    EXPECT_EQ(task_memory_outstanding(), memory);
    EXPECT_EQ(config->GetStreamCaps(-1, &mt, scc), E_INVALIDARG);
    EXPECT_EQ(config->GetStreamCaps(0, nullptr, scc), E_POINTER);
}

TEST_F(StreamConfig, TheCurrentEntryIsTheDefaultTypeAndEachPinHasItsOwn) {
    TypeHolder f = format();
    EXPECT_EQ(f.mt->subtype, MEDIASUBTYPE_YUY2);
    EXPECT_EQ(f.bmi().biWidth, 320);
    auto preview_config = query<IAMStreamConfig>(preview_pin.get(), IID_IAMStreamConfig);
    TypeHolder p;
    ASSERT_EQ(preview_config->GetFormat(&p.mt), S_OK);
    EXPECT_EQ(p.mt->subtype, MEDIASUBTYPE_RGB24) << "the preview pin's current is entry 2";
    int count = 0, size = 0;
    ASSERT_EQ(preview_config->GetNumberOfCapabilities(&count, &size), S_OK);
    EXPECT_EQ(count, 4) << "the preview pin shares the capture pin's caps";

    auto types = offered(capture.get());
    ASSERT_EQ(types.size(), 4u);
    EXPECT_EQ(types[0]->subtype, MEDIASUBTYPE_YUY2);
    EXPECT_EQ(types[1]->subtype, MEDIASUBTYPE_MJPG);
    auto preview_types = offered(preview_pin.get());
    ASSERT_EQ(preview_types.size(), 4u);
    EXPECT_EQ(preview_types[0]->subtype, MEDIASUBTYPE_RGB24) << "the current entry is offered first";
    EXPECT_EQ(preview_types[1]->subtype, MEDIASUBTYPE_YUY2);
}

TEST_F(StreamConfig, SetFormatRules) {
    TypeHolder rgb = caps_at(2);
    ASSERT_EQ(filter->Run(0), S_OK);
    EXPECT_EQ(config->SetFormat(rgb.mt), VFW_E_NOT_STOPPED);
    ASSERT_EQ(filter->Stop(), S_OK);
    EXPECT_EQ(config->SetFormat(nullptr), E_POINTER);

    TypeHolder odd = caps_at(0);
    reinterpret_cast<VIDEOINFOHEADER*>(odd.mt->pbFormat)->bmiHeader.biWidth = 300;
    EXPECT_EQ(config->SetFormat(odd.mt), E_FAIL) << "no such size";
    odd.mt->subtype = MEDIASUBTYPE_UYVY;
    reinterpret_cast<VIDEOINFOHEADER*>(odd.mt->pbFormat)->bmiHeader.biWidth = 320;
    EXPECT_EQ(config->SetFormat(odd.mt), E_FAIL) << "no such subtype";

    // The bit count and image size follow from the subtype: wrong ones do
    // not matter.
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(rgb.mt->pbFormat);
    vih->bmiHeader.biBitCount = 0;
    vih->bmiHeader.biSizeImage = 0;
    ASSERT_EQ(config->SetFormat(rgb.mt), S_OK);
    auto types = offered(capture.get());
    ASSERT_EQ(types.size(), 1u) << "after SetFormat only that type is offered";
    EXPECT_EQ(types[0]->subtype, MEDIASUBTYPE_RGB24);
    TypeHolder now = format();
    EXPECT_EQ(now.mt->subtype, MEDIASUBTYPE_RGB24);
    EXPECT_EQ(now.bmi().biSizeImage, 160u * 3 * 120);
    EXPECT_EQ(offered(preview_pin.get()).size(), 4u) << "the other pin is unaffected";
}

TEST_F(StreamConfig, FrameIntervalSnapsToTheNearestSupported) {
    const struct {
        REFERENCE_TIME asked;
        REFERENCE_TIME got;
    } cases[] = {{400000, 333333}, {600000, 666666}, {1000000, 999999}, {5000000, 1999998}, {0, 333333}};
    for (const auto& c : cases) {
        TypeHolder t = caps_at(0);
        reinterpret_cast<VIDEOINFOHEADER*>(t.mt->pbFormat)->AvgTimePerFrame = c.asked;
        ASSERT_EQ(config->SetFormat(t.mt), S_OK);
        EXPECT_EQ(format().interval(), c.got) << "asked " << c.asked;
    }
}

TEST_F(StreamConfig, AConnectedPinReconnectsWithTheNewFormat) {
    sink = recording_sink(MEDIATYPE_Video, MEDIASUBTYPE_YUY2);
    ASSERT_EQ(capture->Connect(sink->in, nullptr), S_OK);
    TypeHolder connected = format();
    EXPECT_EQ(connected.bmi().biWidth, 320);

    TypeHolder big = caps_at(3);
    ASSERT_EQ(config->SetFormat(big.mt), S_OK);
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(capture->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biWidth, 640) << "reconnected";
    FreeMediaType(mt);
}

TEST_F(StreamConfig, DuplicateCategoriesGetNumberedIdsAndDvUsesDvInfo) {
    DeviceSet set;
    VideoDevice dv = make_camera("DV", {make_caps(FormatType::DvInfo, subtype::dvsd, 720, 576, 400000)});
    dv.pins[0].interleaved = true;
    VideoPin video_only;
    video_only.caps = {make_caps(FormatType::VideoInfo, subtype::dvsd, 720, 576, 400000)};
    dv.pins.push_back(video_only);
    set.video = {dv};
    install(set);
    ComPtr<IBaseFilter> f = bind_first_video();
    ASSERT_TRUE(f);
    ComPtr<IPin> second = pin(f.get(), u"Capture 2");
    auto c = query<IAMStreamConfig>(pin(f.get(), u"Capture").get(), IID_IAMStreamConfig);
    TypeHolder t;
    BYTE scc[128];
    ASSERT_EQ(c->GetStreamCaps(0, &t.mt, scc), S_OK);
    EXPECT_EQ(t.mt->majortype, MEDIATYPE_Interleaved);
    EXPECT_EQ(t.mt->subtype, MEDIASUBTYPE_dvsd);
    EXPECT_EQ(t.mt->formattype, FORMAT_DvInfo);
    ASSERT_EQ(t.mt->cbFormat, sizeof(DVINFO));
    EXPECT_NE(reinterpret_cast<DVINFO*>(t.mt->pbFormat)->dwDVVAuxSrc & 0x00200000u, 0u) << "625/50";
    EXPECT_EQ(t.mt->lSampleSize, 24u + 720 * 576 * 2);
    c.reset();
    second.reset();
    EXPECT_EQ(f.detach()->Release(), 0u);
}

}  // namespace
