// Streaming from the virtual capture devices and the microphone: the bytes
// are the pattern's, the times follow the frame interval, Stop joins, and
// an unplugged device stops delivering.
#include <gtest/gtest.h>

#include "audio_capture.h"
#include "capture_filter.h"
#include "device_enum.h"
#include "devices/pattern.h"
#include "devices_fixture.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;

class DeviceStreaming : public DeviceTest {
protected:
    void SetUp() override { clock_set(ClockMode::manual); }
    void TearDown() override {
        if (filter) {
            filter->Stop();
            if (sink) sink->Stop();
            if (out) out->Disconnect();
            if (sink) sink->in->Disconnect();
        }
        out.reset();
        if (sink) {
            EXPECT_EQ(sink.detach()->Release(), 0u);
        }
        if (filter) {
            EXPECT_EQ(filter.detach()->Release(), 0u) << "final Release";
        }
        clock_set(ClockMode::real);
        DeviceTest::TearDown();
    }

    // Installs one device, binds it and connects its pin `pin_id` to a sink.
    void connect(const DeviceSet& set, const GUID& category, const char16_t* pin_id, const GUID& major,
                 const GUID& subtype) {
        install(set);
        auto all = monikers(category);
        ASSERT_EQ(all.size(), 1u);
        filter = bind(all[0].get());
        ASSERT_TRUE(filter);
        out = pin(filter.get(), pin_id);
        sink = recording_sink(major, subtype);
        ASSERT_EQ(out->Connect(sink->in, nullptr), S_OK);
    }
    void run() {
        ASSERT_EQ(sink->Run(0), S_OK);
        ASSERT_EQ(filter->Run(0), S_OK);
    }
    void stop() {
        EXPECT_EQ(filter->Stop(), S_OK);
        EXPECT_EQ(sink->Stop(), S_OK);
    }

    static std::vector<BYTE> expected_frame(const Pattern& p, const VideoCaps& c, uint64_t n) {
        std::vector<BYTE> bytes(frame_size(frame_format(c)));
        bytes.resize(fill_frame(p, frame_format(c), n, bytes.data(), bytes.size()));
        return bytes;
    }

    ComPtr<IBaseFilter> filter;
    ComPtr<IPin> out;
    ComPtr<RecordingSink> sink;
};

TEST_F(DeviceStreaming, FramesAreThePatternsBytesWithFrameTimes) {
    DeviceSet set;
    const VideoCaps caps = make_caps(FormatType::VideoInfo, subtype::RGB32, 64, 48, 400000);
    set.video = {make_camera("Ramp Camera", {caps})};
    set.video[0].pattern.kind = Pattern::Kind::Ramp;
    connect(set, CLSID_VideoInputDeviceCategory, u"Capture", MEDIATYPE_Video, MEDIASUBTYPE_RGB32);
    run();
    EXPECT_EQ(deliver_frames(3), 1) << "one running source";
    stop();
    const auto got = sink->received();
    ASSERT_EQ(got.size(), 3u);
    for (uint64_t n = 0; n < 3; ++n) {
        SCOPED_TRACE(n);
        const auto& r = got[n];
        EXPECT_EQ(r.bytes, expected_frame(set.video[0].pattern, caps, n));
        EXPECT_EQ(r.size, 64 * 48 * 4);
        EXPECT_EQ(r.time_result, S_OK);
        EXPECT_EQ(r.start, static_cast<REFERENCE_TIME>(n) * 400000);
        EXPECT_EQ(r.stop, static_cast<REFERENCE_TIME>(n + 1) * 400000);
        EXPECT_TRUE(r.sync_point);
    }
    // The red channel of the ramp carries the frame number: frames differ.
    EXPECT_NE(got[0].bytes, got[1].bytes);

    EXPECT_EQ(deliver_frames(1), 0) << "Stop joined the streaming thread";
    run();
    deliver_frames(1);
    stop();
    ASSERT_EQ(sink->received().size(), 4u);
    EXPECT_EQ(sink->received()[3].bytes, expected_frame(set.video[0].pattern, caps, 0)) << "counting restarts at Run";
    EXPECT_EQ(sink->received()[3].start, 0);
}

TEST_F(DeviceStreaming, CompressedFramesUseTheLargestBufferAndTheirOwnLength) {
    DeviceSet set;
    const VideoCaps caps = make_caps(FormatType::VideoInfo, subtype::MJPG, 64, 48);
    set.video = {make_camera("MJPG Camera", {caps})};
    set.video[0].pattern.kind = Pattern::Kind::Ramp;
    connect(set, CLSID_VideoInputDeviceCategory, u"Capture", MEDIATYPE_Video, MEDIASUBTYPE_MJPG);
    run();
    deliver_frames(2);
    stop();
    const auto got = sink->received();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(static_cast<size_t>(got[0].size), frame_size(frame_format(caps)));
    EXPECT_LT(got[0].bytes.size(), static_cast<size_t>(got[0].size));
    EXPECT_EQ(got[1].bytes, expected_frame(set.video[0].pattern, caps, 1));
}

TEST_F(DeviceStreaming, PausedWithAConnectedPinCannotCue) {
    DeviceSet set;
    set.video = {make_camera("Cam", {make_caps(FormatType::VideoInfo, subtype::YUY2, 32, 16)})};
    connect(set, CLSID_VideoInputDeviceCategory, u"Capture", MEDIATYPE_Video, MEDIASUBTYPE_YUY2);
    ASSERT_EQ(filter->Pause(), S_OK);
    FILTER_STATE s;
    EXPECT_EQ(filter->GetState(0, &s), VFW_S_CANT_CUE);
    EXPECT_EQ(s, State_Paused);
    EXPECT_EQ(deliver_frames(1), 0) << "a paused live source delivers nothing";
}

TEST_F(DeviceStreaming, AnUnpluggedDeviceStopsTellsItsGraphAndCannotRunAgain) {
    DeviceSet set;
    set.video = {make_camera("Going Away", {make_caps(FormatType::VideoInfo, subtype::YUY2, 32, 16)})};
    connect(set, CLSID_VideoInputDeviceCategory, u"Capture", MEDIATYPE_Video, MEDIASUBTYPE_YUY2);
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.put_void()),
              S_OK);
    ASSERT_EQ(graph->AddFilter(filter.get(), u"Video Capture"), S_OK);
    auto events = query<IMediaEvent>(graph.get(), IID_IMediaEvent);
    run();
    deliver_frames(2);
    ASSERT_TRUE(unplug_device("Going Away"));
    EXPECT_EQ(deliver_frames(3), 0) << "its streaming thread ended";
    EXPECT_EQ(sink->received().size(), 2u);
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    ASSERT_EQ(events->GetEvent(&code, &p1, &p2, 0), S_OK);
    EXPECT_EQ(code, EC_DEVICE_LOST);
    EXPECT_EQ(reinterpret_cast<IUnknown*>(p1), identity_of(filter.get()));
    EXPECT_EQ(p2, 0);
    EXPECT_EQ(events->FreeEventParams(code, p1, p2), S_OK);
    stop();
    EXPECT_EQ(filter->Run(0), kDeviceGone);
    EXPECT_TRUE(FAILED(filter->Pause())) << "nor pause";
    events.reset();
    EXPECT_EQ(graph->RemoveFilter(filter.get()), S_OK);
    EXPECT_EQ(graph.detach()->Release(), 0u);
}

TEST_F(DeviceStreaming, UnpluggingAStoppedDeviceIsNoticedAtPause) {
    DeviceSet set;
    set.video = {make_camera("Idle", {make_caps(FormatType::VideoInfo, subtype::YUY2, 32, 16)})};
    connect(set, CLSID_VideoInputDeviceCategory, u"Capture", MEDIATYPE_Video, MEDIASUBTYPE_YUY2);
    load_devices(DeviceSet{});  // every device goes
    EXPECT_TRUE(FAILED(filter->Pause()));
    FILTER_STATE s;
    filter->GetState(0, &s);
    EXPECT_EQ(s, State_Stopped);
}

TEST_F(DeviceStreaming, TheMicrophoneDeliversToneChunks) {
    DeviceSet set;
    set.audio = {AudioDevice{"Mic", 48000, 2}};
    connect(set, CLSID_AudioInputDeviceCategory, u"Capture", MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    run();
    deliver_frames(2);
    stop();
    const auto got = sink->received();
    ASSERT_EQ(got.size(), 2u);
    const uint32_t frames = audio_chunk_frames(48000);
    ASSERT_EQ(frames, 1600u);
    ASSERT_EQ(got[1].bytes.size(), frames * 4u);
    std::vector<int16_t> samples(frames * 2);
    std::memcpy(samples.data(), got[1].bytes.data(), got[1].bytes.size());
    bool varies = false;
    for (uint32_t f = 0; f < frames; ++f) {
        const int16_t want = audio_tone_sample(frames + f, 48000);
        ASSERT_EQ(samples[2 * f], want) << "frame " << f;
        ASSERT_EQ(samples[2 * f + 1], want);
        varies = varies || want != samples[0];
    }
    EXPECT_TRUE(varies) << "a tone, not silence";
    EXPECT_EQ(got[1].start, 333333);
    EXPECT_EQ(got[1].stop, 666666);
}

}  // namespace
