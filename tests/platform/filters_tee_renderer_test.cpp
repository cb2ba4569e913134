// The Smart Tee: its two outputs, how they follow the input to a new type, and
// the Null Renderer.
#include <gtest/gtest.h>

#include "com_conformance.h"
#include "filters_test_filters.h"
#include "graph_pins.h"
#include "vorsim.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;
using namespace filters_test;

std::vector<uint8_t> bytes_of(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed ^ (i * 13));
    return v;
}

class SmartTeeTest : public testing::Test {
protected:
    void SetUp() override {
        tee = create_filter(CLSID_SmartTee);
        ASSERT_TRUE(tee);
        input = find_pin(tee.get(), u"Input");
        capture = find_pin(tee.get(), u"Capture");
        preview = find_pin(tee.get(), u"Preview");
        source = make_com<PushSource>(std::vector<MediaType>{type, bigger}, 0, 2);
        capture_sink = make_com<RecordingSink>();
        // Takes `type` always, `bigger` as often as the test allows.
        preview_sink = make_com<RecordingSink>(
            [this](const AM_MEDIA_TYPE& mt) { return same_media_type(mt, type.get()) || bigger_asks-- > 0; });
    }
    void TearDown() override {
        preview_sink->Stop();
        capture_sink->Stop();
        tee->Stop();
        source->Stop();
        preview_sink->kept.clear();
        capture_sink->kept.clear();
        for (IPin* p : {input.get(), capture.get(), preview.get()}) disconnect_both(p);
        input.reset();
        capture.reset();
        preview.reset();
        expect_final_release(tee);
        expect_final_release(source);
        expect_final_release(capture_sink);
        expect_final_release(preview_sink);
    }
    void connect_all() {
        ASSERT_EQ(source->out->Connect(input.get(), nullptr), S_OK);
        ASSERT_EQ(capture->Connect(capture_sink->in, nullptr), S_OK);
        ASSERT_EQ(preview->Connect(preview_sink->in, nullptr), S_OK);
    }
    void run() {
        run_all({preview_sink.get(), capture_sink.get(), tee.get(), source.get()});
    }

    MediaType connection_of(IPin* pin) {
        AM_MEDIA_TYPE mt{};
        EXPECT_EQ(pin->ConnectionMediaType(&mt), S_OK);
        MediaType copy(mt);
        FreeMediaType(mt);
        return copy;
    }
    // The source's link into the tee dropped at both ends, as a capture pin
    // does before it connects again with a new format.
    void unplug_input() {
        ASSERT_EQ(input->Disconnect(), S_OK);
        ASSERT_EQ(source->out->Disconnect(), S_OK);
    }

    const MediaType type = make_video_type(MEDIASUBTYPE_YUY2, 8, 4, 16, 333333);     // 64 bytes
    const MediaType bigger = make_video_type(MEDIASUBTYPE_YUY2, 16, 4, 16, 666666);  // 128 bytes, half the rate
    int bigger_asks = 1000;
    ComPtr<IBaseFilter> tee;
    ComPtr<IPin> input, capture, preview;
    ComPtr<PushSource> source;
    ComPtr<RecordingSink> capture_sink, preview_sink;
};

TEST_F(SmartTeeTest, OutputsOfferExactlyTheInputType) {
    EXPECT_EQ(capture->Connect(capture_sink->in, nullptr), VFW_E_NO_ACCEPTABLE_TYPES) << "input not connected yet";
    // Any input type: audio too.
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    MediaType audio;
    audio->majortype = MEDIATYPE_Audio;
    audio->subtype = MEDIASUBTYPE_PCM;
    audio.set_format(FORMAT_WaveFormatEx, &wfx, sizeof wfx);
    EXPECT_EQ(input->QueryAccept(&audio.get()), S_OK);

    connect_all();
    for (IPin* out : {capture.get(), preview.get()}) {
        AM_MEDIA_TYPE mt{};
        ASSERT_EQ(out->ConnectionMediaType(&mt), S_OK);
        EXPECT_TRUE(same_media_type(mt, type.get()));
        FreeMediaType(mt);
        ComPtr<IEnumMediaTypes> types;
        ASSERT_EQ(out->EnumMediaTypes(types.put()), S_OK);
        AM_MEDIA_TYPE* offered[2] = {};
        ULONG got = 0;
        EXPECT_EQ(types->Next(2, offered, &got), S_FALSE);
        ASSERT_EQ(got, 1u);
        EXPECT_TRUE(same_media_type(*offered[0], type.get()));
        DeleteMediaType(offered[0]);
        const MediaType other = make_video_type(MEDIASUBTYPE_YUY2, 16, 4, 16, 333333);
        EXPECT_EQ(out->QueryAccept(&other.get()), S_FALSE);
    }
}

TEST_F(SmartTeeTest, CaptureGetsTheSampleItselfPreviewAnUntimedViewOfIt) {
    connect_all();
    run();
    const auto frame = bytes_of(64, 7);
    ASSERT_EQ(source->push(frame, 1000, 2000), S_OK);
    const auto cap = capture_sink->received();
    const auto pre = preview_sink->received();
    ASSERT_EQ(cap.size(), 1u);
    ASSERT_EQ(pre.size(), 1u);
    EXPECT_EQ(cap[0].bytes, frame);
    EXPECT_EQ(pre[0].bytes, frame);
    EXPECT_EQ(cap[0].time_result, S_OK);
    EXPECT_EQ(cap[0].start, 1000);
    EXPECT_EQ(cap[0].stop, 2000);
    EXPECT_EQ(pre[0].time_result, VFW_E_SAMPLE_TIME_NOT_SET) << "preview samples carry no times";
    EXPECT_NE(pre[0].sample, cap[0].sample) << "preview is a sample of its own";
    EXPECT_EQ(pre[0].data, cap[0].data) << "over the same buffer: no copy";
    EXPECT_EQ(source->out->pool()->free_count(), source->out->pool()->count()) << "every sample came back";
}

TEST_F(SmartTeeTest, PreviewDropsFramesRatherThanStallCapture) {
    connect_all();
    preview_sink->keep = true;  // the preview branch holds on to everything
    run();
    for (int i = 0; i < 10; ++i) ASSERT_EQ(source->push(bytes_of(64, static_cast<uint8_t>(i)), i, i + 1), S_OK);
    EXPECT_EQ(capture_sink->received().size(), 10u);
    const auto pre = preview_sink->received();
    ASSERT_EQ(pre.size(), 1u) << "a held preview keeps one of the source's two buffers";
    EXPECT_EQ(pre[0].bytes, bytes_of(64, 0));
    // Once the preview lets go, the source has all its buffers back.
    preview_sink->Stop();
    preview_sink->kept.clear();
    EXPECT_EQ(source->out->pool()->free_count(), source->out->pool()->count());
}

TEST_F(SmartTeeTest, EitherOutputMayStayUnconnectedAndEndOfStreamReachesBoth) {
    ASSERT_EQ(source->out->Connect(input.get(), nullptr), S_OK);
    ASSERT_EQ(preview->Connect(preview_sink->in, nullptr), S_OK);
    run_all({preview_sink.get(), tee.get(), source.get()});
    EXPECT_EQ(source->push(bytes_of(64, 1), 0, 1), S_OK);
    EXPECT_EQ(preview_sink->received().size(), 1u);
    tee->Stop();
    preview_sink->Stop();
    ASSERT_EQ(capture->Connect(capture_sink->in, nullptr), S_OK);
    run();
    EXPECT_EQ(input->EndOfStream(), S_OK);
    EXPECT_EQ(capture_sink->eos(), 1);
    EXPECT_EQ(preview_sink->eos(), 1);
}

TEST_F(SmartTeeTest, OutputsReconnectWhenTheInputComesBackWithANewType) {
    connect_all();
    unplug_input();
    EXPECT_EQ(input->QueryAccept(&bigger.get()), S_OK);
    ASSERT_EQ(source->out->Connect(input.get(), &bigger.get()), S_OK);
    for (IPin* out : {capture.get(), preview.get()}) {
        EXPECT_TRUE(same_media_type(connection_of(out).get(), bigger.get()));
        EXPECT_EQ(out->QueryAccept(&type.get()), S_FALSE) << "the old type is gone";
    }
    EXPECT_TRUE(same_media_type(connection_of(capture_sink->in).get(), bigger.get()));
    EXPECT_TRUE(same_media_type(connection_of(preview_sink->in).get(), bigger.get()));

    // The preview pool was made again for the bigger frames.
    run();
    const auto frame = bytes_of(128, 5);
    ASSERT_EQ(source->push(frame, 0, 666666), S_OK);
    ASSERT_EQ(capture_sink->received().size(), 1u);
    ASSERT_EQ(preview_sink->received().size(), 1u);
    EXPECT_EQ(preview_sink->received()[0].bytes, frame);
}

TEST_F(SmartTeeTest, ATypeAnOutputCannotTakeLeavesEveryConnectionAsItWas) {
    const auto expect_unchanged = [&] {
        EXPECT_FALSE(is_connected(input.get()));
        for (IPin* out : {capture.get(), preview.get()}) {
            EXPECT_TRUE(same_media_type(connection_of(out).get(), type.get()));
        }
        EXPECT_EQ(peer_of(capture.get()).get(), capture_sink->in->ipin());
        EXPECT_EQ(peer_of(preview.get()).get(), preview_sink->in->ipin());
    };
    connect_all();
    unplug_input();

    // The preview's peer says no when asked.
    bigger_asks = 0;
    EXPECT_EQ(input->QueryAccept(&bigger.get()), S_FALSE);
    EXPECT_EQ(source->out->Connect(input.get(), &bigger.get()), VFW_E_TYPE_NOT_ACCEPTED);
    expect_unchanged();

    // It says yes when asked, then refuses the connection itself: Capture
    // had already reconnected and gets its old type back.
    bigger_asks = 1;
    EXPECT_EQ(source->out->Connect(input.get(), &bigger.get()), VFW_E_TYPE_NOT_ACCEPTED);
    expect_unchanged();

    // The source goes back to the old type and the frames flow as before.
    ASSERT_EQ(source->out->Connect(input.get(), &type.get()), S_OK);
    run();
    ASSERT_EQ(source->push(bytes_of(64, 9), 0, 1), S_OK);
    EXPECT_EQ(capture_sink->received().size(), 1u);
    EXPECT_EQ(preview_sink->received().size(), 1u);
}

TEST_F(SmartTeeTest, PreviewThroughASampleGrabberGivesSampleTimeZero) {
    class Times final : public ComObject<ISampleGrabberCB> {
    public:
        HRESULT STDMETHODCALLTYPE SampleCB(double t, IMediaSample*) override {
            times.push_back(t);
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }
        std::vector<double> times;  // streaming thread = this thread here
    };
    ComPtr<IBaseFilter> preview_grabber = create_filter(CLSID_SampleGrabber);
    ComPtr<IBaseFilter> capture_grabber = create_filter(CLSID_SampleGrabber);
    ComPtr<ISampleGrabber> pg, cg;
    ASSERT_EQ(preview_grabber.query(IID_ISampleGrabber, pg), S_OK);
    ASSERT_EQ(capture_grabber.query(IID_ISampleGrabber, cg), S_OK);
    ComPtr<Times> preview_times = make_com<Times>(), capture_times = make_com<Times>();
    ASSERT_EQ(pg->SetCallback(preview_times.get(), 0), S_OK);
    ASSERT_EQ(cg->SetCallback(capture_times.get(), 0), S_OK);
    ComPtr<IPin> pg_in = find_pin(preview_grabber.get(), u"In");
    ComPtr<IPin> cg_in = find_pin(capture_grabber.get(), u"In");

    ASSERT_EQ(source->out->Connect(input.get(), nullptr), S_OK);
    ASSERT_EQ(preview->Connect(pg_in.get(), nullptr), S_OK);
    ASSERT_EQ(capture->Connect(cg_in.get(), nullptr), S_OK);
    run_all({preview_grabber.get(), capture_grabber.get(), tee.get(), source.get()});
    ASSERT_EQ(source->push(bytes_of(64, 3), 15000000, 15333333), S_OK);
    stop_all({preview_grabber.get(), capture_grabber.get(), tee.get(), source.get()});
    ASSERT_EQ(preview_times->times, std::vector<double>{0.0});
    ASSERT_EQ(capture_times->times, std::vector<double>{1.5});

    disconnect_both(pg_in.get());
    disconnect_both(cg_in.get());
    ASSERT_EQ(pg->SetCallback(nullptr, 0), S_OK);
    ASSERT_EQ(cg->SetCallback(nullptr, 0), S_OK);
    pg.reset();
    cg.reset();
    pg_in.reset();
    cg_in.reset();
    expect_final_release(preview_grabber);
    expect_final_release(capture_grabber);
    expect_final_release(preview_times);
    expect_final_release(capture_times);
}

// ---- Null Renderer ----------------------------------------------------------

TEST(NullRenderer, OneInputThatTakesAnythingAndARendererFlag) {
    ComPtr<IBaseFilter> renderer = create_filter(CLSID_NullRenderer);
    ASSERT_TRUE(renderer);
    expect_interfaces(renderer.get(), {&IID_IBaseFilter, &IID_IAMFilterMiscFlags}, {&IID_ISampleGrabber});
    ComPtr<IAMFilterMiscFlags> flags;
    ASSERT_EQ(renderer.query(IID_IAMFilterMiscFlags, flags), S_OK);
    EXPECT_EQ(flags->GetMiscFlags(), static_cast<ULONG>(AM_FILTER_MISC_FLAGS_IS_RENDERER));
    flags.reset();

    ComPtr<IPin> in = find_pin(renderer.get(), u"In");

    MediaType odd;  // a major type nobody knows, no format block
    odd->majortype = GUID{0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    const MediaType types[] = {make_video_type(MEDIASUBTYPE_RGB32, 4, 4, 32, 0),
                               make_video_type(MEDIASUBTYPE_MJPG, 4, 4, 24, 0), odd};
    for (const MediaType& t : types) {
        EXPECT_EQ(in->QueryAccept(&t.get()), S_OK);
        // Connect for real, push a sample, see it accepted and given back.
        ComPtr<PushSource> source = make_com<PushSource>(std::vector<MediaType>{t});
        ASSERT_EQ(source->out->Connect(in.get(), nullptr), S_OK);
        run_all({renderer.get(), source.get()});
        EXPECT_EQ(source->push(std::vector<uint8_t>(1, 9), 0, 1), S_OK);
        EXPECT_EQ(source->out->pool()->free_count(), source->out->pool()->count()) << "discarded at once";
        stop_all({renderer.get(), source.get()});
        disconnect_both(in.get());
        expect_final_release(source);
    }
    in.reset();
    expect_final_release(renderer);
}

}  // namespace
