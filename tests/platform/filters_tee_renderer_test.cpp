// The Smart Tee: its two outputs, how they follow the input to a new type, and
// the Null Renderer.
#include <gtest/gtest.h>

#include "com_conformance.h"
#include "filters_test_filters.h"
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
        preview_sink = make_com<RecordingSink>();
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
    ComPtr<IBaseFilter> tee;
    ComPtr<IPin> input, capture, preview;
    ComPtr<PushSource> source;
    ComPtr<RecordingSink> capture_sink, preview_sink;
};

TEST_F(SmartTeeTest, OutputsOfferExactlyTheInputType) {
    EXPECT_EQ(capture->Connect(capture_sink->in, nullptr), VFW_E_NO_ACCEPTABLE_TYPES) << "input not connected yet";
    MediaType interleaved;  // any input type: a camcorder's interleaved stream too
    interleaved->majortype = MEDIATYPE_Interleaved;
    EXPECT_EQ(input->QueryAccept(&interleaved.get()), S_OK);
    connect_all();
    const MediaType other = make_video_type(MEDIASUBTYPE_YUY2, 16, 4, 16, 333333);
    for (IPin* out : {capture.get(), preview.get()}) {
        EXPECT_TRUE(same_media_type(connection_of(out).get(), type.get()));
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

// ---- Null Renderer ----------------------------------------------------------

TEST(NullRenderer, OneInputThatTakesAnythingAndARendererFlag) {
    ComPtr<IBaseFilter> renderer = create_filter(CLSID_NullRenderer);
    ASSERT_TRUE(renderer);
    ComPtr<IAMFilterMiscFlags> flags;
    ASSERT_EQ(renderer.query(IID_IAMFilterMiscFlags, flags), S_OK);
    EXPECT_EQ(flags->GetMiscFlags(), static_cast<ULONG>(AM_FILTER_MISC_FLAGS_IS_RENDERER));
    flags.reset();

    ComPtr<IPin> in = find_pin(renderer.get(), u"In");

    MediaType odd;  // a major type nobody knows, no format block
    odd->majortype = GUID{0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    const MediaType types[] = {make_video_type(MEDIASUBTYPE_RGB32, 4, 4, 32, 0), odd};
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
