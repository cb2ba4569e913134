// The Sample Grabber: media type matching at connection, the
// GetCurrentBuffer checks in their order, buffering, the sample callback.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "com_conformance.h"
#include "filters_test_filters.h"
#include "vorsim.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;
using namespace filters_test;

constexpr REFERENCE_TIME kSecond = 10000000;

MediaType video(const GUID& subtype, int w = 10, int h = 5, int bits = 32) {
    return make_video_type(subtype, w, h, bits, 333333);
}

MediaType partial(const GUID& major, const GUID& sub, const GUID& format) {
    MediaType t;
    t->majortype = major;
    t->subtype = sub;
    t->formattype = format;
    return t;
}

MediaType with_header(MediaType t, void (*edit)(VIDEOINFOHEADER&)) {
    VIDEOINFOHEADER vih = *t.video_info();
    edit(vih);
    t.set_format(FORMAT_VideoInfo, &vih, sizeof vih);
    return t;
}

MediaType as_videoinfo2(const MediaType& t) {
    const VIDEOINFOHEADER& v = *t.video_info();
    VIDEOINFOHEADER2 v2{};
    v2.rcSource = v.rcSource;
    v2.rcTarget = v.rcTarget;
    v2.AvgTimePerFrame = v.AvgTimePerFrame;
    v2.dwPictAspectRatioX = 2;
    v2.dwPictAspectRatioY = 1;
    v2.bmiHeader = v.bmiHeader;
    MediaType out = t;
    out.set_format(FORMAT_VideoInfo2, &v2, sizeof v2);
    return out;
}

std::vector<uint8_t> pattern_bytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

// Records every SampleCB call; checks what it can inside the call.
class RecordingCallback final : public ComObject<ISampleGrabberCB> {
public:
    struct Call {
        double time = -1;
        IMediaSample* sample = nullptr;
        ULONG sample_refs = 0;
        std::vector<uint8_t> bytes;
        std::thread::id thread;
    };
    HRESULT STDMETHODCALLTYPE SampleCB(double t, IMediaSample* s) override {
        Call c{t, s, ref_count(s), {}, std::this_thread::get_id()};
        BYTE* data = nullptr;
        s->GetPointer(&data);
        c.bytes.assign(data, data + s->GetActualDataLength());
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(c));
        return E_FAIL;  // ignored by the grabber
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }
    std::vector<Call> calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

private:
    std::mutex mutex_;
    std::vector<Call> calls_;
};

class SampleGrabberTest : public testing::Test {
protected:
    void SetUp() override {
        grabber = create_filter(CLSID_SampleGrabber);
        ASSERT_TRUE(grabber);
        ASSERT_EQ(grabber.query(IID_ISampleGrabber, sg), S_OK);
        in = find_pin(grabber.get(), u"In");
        out = find_pin(grabber.get(), u"Out");
        ASSERT_TRUE(in && out);
    }
    void TearDown() override {
        if (sink) sink->Stop();
        grabber->Stop();
        if (source) source->Stop();
        if (sink) sink->kept.clear();
        disconnect_both(in.get());
        disconnect_both(out.get());
        in.reset();
        out.reset();
        sg.reset();
        expect_final_release(grabber);
        if (source) expect_final_release(source);
        if (sink) expect_final_release(sink);
    }
    // source (offering `types`, pool samples extra bytes larger) -> grabber
    HRESULT connect_source(std::vector<MediaType> types, LONG extra = 0) {
        source = make_com<PushSource>(std::move(types), extra);
        return source->out->Connect(in.get(), nullptr);
    }
    void connect_sink() {
        sink = make_com<RecordingSink>();
        ASSERT_EQ(out->Connect(sink->in, nullptr), S_OK);
    }
    void run() {
        if (sink) {
            ASSERT_EQ(sink->Run(0), S_OK);
        }
        ASSERT_EQ(grabber->Run(0), S_OK);
        ASSERT_EQ(source->Run(0), S_OK);
    }
    void stop() {
        if (sink) sink->Stop();
        grabber->Stop();
        source->Stop();
    }
    HRESULT accepts(const MediaType& t) { return in->QueryAccept(&t.get()); }

    ComPtr<IBaseFilter> grabber;
    ComPtr<ISampleGrabber> sg;
    ComPtr<IPin> in, out;
    ComPtr<PushSource> source;
    ComPtr<RecordingSink> sink;
};

TEST_F(SampleGrabberTest, GetCurrentBufferChecksInOrder) {
    LONG size = 0;
    std::vector<LONG> buffer(100, 0x5a5a5a5a);
    // 1. a null size wins over everything
    EXPECT_EQ(sg->GetCurrentBuffer(nullptr, buffer.data()), E_POINTER);
    // 2. not connected, whether buffering is off (the default) or on
    EXPECT_EQ(sg->GetCurrentBuffer(&size, buffer.data()), VFW_E_NOT_CONNECTED);
    ASSERT_EQ(sg->SetBufferSamples(TRUE), S_OK);
    EXPECT_EQ(sg->GetCurrentBuffer(&size, buffer.data()), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(sg->GetCurrentBuffer(nullptr, nullptr), E_POINTER);

    // A 10x5 RGB32 frame is 200 bytes, in 256-byte samples.
    ASSERT_EQ(connect_source({video(MEDIASUBTYPE_RGB32)}, 56), S_OK);
    connect_sink();
    // 3. buffering off
    ASSERT_EQ(sg->SetBufferSamples(FALSE), S_OK);
    EXPECT_EQ(sg->GetCurrentBuffer(&size, buffer.data()), E_INVALIDARG);
    // 4. buffering on, nothing received yet
    ASSERT_EQ(sg->SetBufferSamples(TRUE), S_OK);
    EXPECT_EQ(sg->GetCurrentBuffer(&size, buffer.data()), VFW_E_WRONG_STATE);
    EXPECT_EQ(sg->GetCurrentBuffer(&size, nullptr), VFW_E_WRONG_STATE);

    run();
    const auto frame = pattern_bytes(200, 3);
    ASSERT_EQ(source->push(frame, 0, 333333), S_OK);
    ASSERT_EQ(sink->received().size(), 1u);
    EXPECT_EQ(sink->received()[0].size, 256) << "GetSize: the whole buffer";
    EXPECT_EQ(sink->received()[0].bytes.size(), 200u) << "GetActualDataLength: the valid bytes";

    // 5. size query: the valid bytes, not the buffer size
    size = 0;
    EXPECT_EQ(sg->GetCurrentBuffer(&size, nullptr), S_OK);
    EXPECT_EQ(size, 200);
    // 6. too small: E_OUTOFMEMORY, and the size needed
    size = 199;
    EXPECT_EQ(sg->GetCurrentBuffer(&size, buffer.data()), E_OUTOFMEMORY);
    EXPECT_EQ(size, 200);
    EXPECT_EQ(buffer[0], 0x5a5a5a5a) << "nothing copied";
    // 7. copy
    size = static_cast<LONG>(buffer.size() * sizeof(LONG));
    EXPECT_EQ(sg->GetCurrentBuffer(&size, buffer.data()), S_OK);
    EXPECT_EQ(size, 200);
    EXPECT_EQ(std::memcmp(buffer.data(), frame.data(), 200), 0);
    EXPECT_EQ(buffer[50], 0x5a5a5a5a) << "nothing written past the valid bytes";

    // The latest sample replaces the previous one; the copy survives Stop.
    const auto second = pattern_bytes(200, 99);
    ASSERT_EQ(source->push(second, 333333, 666666), S_OK);
    stop();
    size = 200;
    EXPECT_EQ(sg->GetCurrentBuffer(&size, buffer.data()), S_OK);
    EXPECT_EQ(std::memcmp(buffer.data(), second.data(), 200), 0);

    // Buffering off forgets it; on again starts from nothing.
    ASSERT_EQ(sg->SetBufferSamples(FALSE), S_OK);
    EXPECT_EQ(sg->GetCurrentBuffer(&size, buffer.data()), E_INVALIDARG);
    ASSERT_EQ(sg->SetBufferSamples(TRUE), S_OK);
    EXPECT_EQ(sg->GetCurrentBuffer(&size, buffer.data()), VFW_E_WRONG_STATE);
}

TEST_F(SampleGrabberTest, NothingIsBufferedWhileBufferingIsOffOrForPreroll) {
    ASSERT_EQ(connect_source({video(MEDIASUBTYPE_RGB32)}), S_OK);
    connect_sink();
    run();
    ASSERT_EQ(source->push(pattern_bytes(200, 1), 0, 1), S_OK);
    ASSERT_EQ(sg->SetBufferSamples(TRUE), S_OK);
    LONG size = 0;
    EXPECT_EQ(sg->GetCurrentBuffer(&size, nullptr), VFW_E_WRONG_STATE) << "the earlier sample was not kept";
    ASSERT_EQ(source->push(pattern_bytes(200, 2), 0, 1, /*preroll=*/true), S_OK);
    EXPECT_EQ(sg->GetCurrentBuffer(&size, nullptr), VFW_E_WRONG_STATE) << "preroll samples are not buffered";
    EXPECT_EQ(sink->received().size(), 2u) << "but both went downstream";
}

TEST_F(SampleGrabberTest, GetConnectedMediaTypeIsADeepCopyOfTheInputType) {
    AM_MEDIA_TYPE mt{};
    EXPECT_EQ(sg->GetConnectedMediaType(nullptr), E_POINTER);
    EXPECT_EQ(sg->GetConnectedMediaType(&mt), VFW_E_NOT_CONNECTED);
    const MediaType offered = video(MEDIASUBTYPE_RGB24, 7, 3, 24);
    ASSERT_EQ(connect_source({offered}), S_OK);
    const long long memory = task_memory_outstanding();
    ASSERT_EQ(sg->GetConnectedMediaType(&mt), S_OK);
    EXPECT_TRUE(same_media_type(mt, offered.get()));
    EXPECT_NE(mt.pbFormat, offered->pbFormat);
    EXPECT_GT(task_memory_outstanding(), memory) << "the caller owns a new format block";
    FreeMediaType(mt);
    EXPECT_EQ(task_memory_outstanding(), memory);
}

TEST_F(SampleGrabberTest, SetMediaTypeMatchesMajorThenSubThenFormatType) {
    const MediaType rgb24 = video(MEDIASUBTYPE_RGB24, 8, 2, 24);
    const MediaType rgb32 = video(MEDIASUBTYPE_RGB32, 8, 2, 32);
    const MediaType audio = partial(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx);
    MediaType rgb24_no_format = rgb24;
    rgb24_no_format.set_format(FORMAT_None, nullptr, 0);

    EXPECT_EQ(sg->SetMediaType(nullptr), E_POINTER);
    // Nothing set: anything.
    EXPECT_EQ(accepts(rgb24), S_OK);
    EXPECT_EQ(accepts(audio), S_OK);

    struct Case {
        const char* what;
        MediaType wanted;
        const MediaType& offered;
        HRESULT expected;
    };
    const Case cases[] = {
        {"subtype given, format type open", partial(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, GUID_NULL), rgb24, S_OK},
        {"other subtype", partial(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, GUID_NULL), rgb32, S_FALSE},
        {"other major type", partial(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, GUID_NULL), audio, S_FALSE},
        {"size and rate are not compared", partial(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, GUID_NULL),
         video(MEDIASUBTYPE_RGB24, 640, 480, 24), S_OK},
        {"open major type ends the comparison", partial(GUID_NULL, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo), rgb32,
         S_OK},
        {"open subtype ends the comparison", partial(MEDIATYPE_Video, GUID_NULL, FORMAT_WaveFormatEx), rgb32, S_OK},
        {"all three given", partial(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo), rgb24, S_OK},
        {"format type differs", partial(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, FORMAT_VideoInfo), rgb24_no_format,
         S_FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(sg->SetMediaType(&c.wanted.get()), S_OK);
        EXPECT_EQ(accepts(c.offered), c.expected);
    }
}

TEST_F(SampleGrabberTest, TheWantedTypeSkipsTheSourcesEarlierTypesAndOnlyAffectsTheNextConnection) {
    const MediaType yuy2 = video(MEDIASUBTYPE_YUY2, 8, 2, 16);
    const MediaType rgb24 = video(MEDIASUBTYPE_RGB24, 8, 2, 24);
    const MediaType wanted = partial(MEDIATYPE_Video, MEDIASUBTYPE_RGB24, GUID_NULL);
    ASSERT_EQ(sg->SetMediaType(&wanted.get()), S_OK);
    ASSERT_EQ(connect_source({yuy2, rgb24}), S_OK);
    AM_MEDIA_TYPE mt{};
    ASSERT_EQ(sg->GetConnectedMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB24) << "YUY2, offered first, was refused";
    FreeMediaType(mt);

    const MediaType now_yuy2 = partial(MEDIATYPE_Video, MEDIASUBTYPE_YUY2, GUID_NULL);
    ASSERT_EQ(sg->SetMediaType(&now_yuy2.get()), S_OK);
    ASSERT_EQ(sg->GetConnectedMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB24) << "the connection stays";
    FreeMediaType(mt);

    disconnect_both(in.get());
    ASSERT_EQ(source->out->Connect(in.get(), nullptr), S_OK);
    ASSERT_EQ(sg->GetConnectedMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_YUY2);
    FreeMediaType(mt);
}

TEST_F(SampleGrabberTest, VideoInfo2TopDownAndPaddedStridesAreAlwaysRefused) {
    const MediaType rgb32 = video(MEDIASUBTYPE_RGB32, 16, 4, 32);
    const MediaType top_down = with_header(rgb32, [](VIDEOINFOHEADER& v) { v.bmiHeader.biHeight = -4; });
    const MediaType padded = with_header(rgb32, [](VIDEOINFOHEADER& v) { v.rcTarget = RECT{0, 0, 12, 4}; });
    const MediaType exact_target = with_header(rgb32, [](VIDEOINFOHEADER& v) { v.rcTarget = RECT{0, 0, 16, 4}; });
    const MediaType empty_target = with_header(rgb32, [](VIDEOINFOHEADER& v) { v.rcTarget = RECT{0, 0, 0, 0}; });
    const MediaType vih2 = as_videoinfo2(rgb32);

    for (const MediaType& wanted :
         {MediaType(), partial(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, GUID_NULL),
          partial(MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo2)}) {
        ASSERT_EQ(sg->SetMediaType(&wanted.get()), S_OK);
        EXPECT_EQ(accepts(vih2), S_FALSE) << "VIDEOINFOHEADER2";
        EXPECT_EQ(accepts(top_down), S_FALSE) << "negative biHeight";
        EXPECT_EQ(accepts(padded), S_FALSE) << "target narrower than the stride";
    }
    const MediaType open;
    ASSERT_EQ(sg->SetMediaType(&open.get()), S_OK);
    EXPECT_EQ(accepts(rgb32), S_OK);
    EXPECT_EQ(accepts(exact_target), S_OK);
    EXPECT_EQ(accepts(empty_target), S_OK);

    // A source offering VIDEOINFOHEADER2 first connects with its
    // VIDEOINFOHEADER type.
    ASSERT_EQ(connect_source({vih2, top_down, rgb32}), S_OK);
    AM_MEDIA_TYPE mt{};
    ASSERT_EQ(sg->GetConnectedMediaType(&mt), S_OK);
    EXPECT_TRUE(same_media_type(mt, rgb32.get()));
    FreeMediaType(mt);
}

TEST_F(SampleGrabberTest, SetCallbackAddRefsTheNewAndReleasesTheOld) {
    ComPtr<RecordingCallback> first = make_com<RecordingCallback>();
    ComPtr<RecordingCallback> second = make_com<RecordingCallback>();
    EXPECT_EQ(ref_count(first.get()), 1u);
    ASSERT_EQ(sg->SetCallback(first.get(), 0), S_OK);
    EXPECT_EQ(ref_count(first.get()), 2u);
    ASSERT_EQ(sg->SetCallback(second.get(), 1), S_OK);
    EXPECT_EQ(ref_count(first.get()), 1u);
    EXPECT_EQ(ref_count(second.get()), 2u);
    ASSERT_EQ(sg->SetCallback(nullptr, 0), S_OK);
    EXPECT_EQ(ref_count(second.get()), 1u);
    ASSERT_EQ(sg->SetCallback(first.get(), 0), S_OK);
    // Releasing the grabber releases the callback it holds.
    in.reset();
    out.reset();
    sg.reset();
    expect_final_release(grabber);
    EXPECT_EQ(ref_count(first.get()), 1u);
    expect_final_release(first);
    expect_final_release(second);
    grabber = create_filter(CLSID_SampleGrabber);  // for TearDown
    in = find_pin(grabber.get(), u"In");
    out = find_pin(grabber.get(), u"Out");
}

TEST_F(SampleGrabberTest, SampleCallbackRunsInReceiveOnTheStreamingThreadWithTheOriginalSample) {
    ASSERT_EQ(connect_source({video(MEDIASUBTYPE_RGB32)}, 56), S_OK);
    connect_sink();
    ComPtr<RecordingCallback> cb = make_com<RecordingCallback>();
    ASSERT_EQ(sg->SetCallback(cb.get(), 0), S_OK);
    run();

    const auto frame = pattern_bytes(200, 5);
    std::thread::id streaming;
    HRESULT pushed = E_FAIL;
    size_t calls_when_push_returned = 0;
    std::thread t([&] {
        streaming = std::this_thread::get_id();
        pushed = source->push(frame, 2 * kSecond + kSecond / 2, 3 * kSecond);
        calls_when_push_returned = cb->calls().size();
    });
    t.join();
    EXPECT_EQ(pushed, S_OK) << "the callback's failure is ignored";
    EXPECT_EQ(calls_when_push_returned, 1u) << "called inside Receive, before it returned";
    ASSERT_EQ(source->push(frame), S_OK);  // untimed
    ASSERT_EQ(source->push(frame, 0, 1, /*preroll=*/true), S_OK);  // no callback for preroll

    const auto calls = cb->calls();
    const auto received = sink->received();
    ASSERT_EQ(calls.size(), 2u);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(calls[0].thread, streaming);
    EXPECT_DOUBLE_EQ(calls[0].time, 2.5);
    EXPECT_EQ(calls[0].sample, received[0].sample) << "the sample itself, passed on unchanged";
    EXPECT_EQ(calls[0].sample_refs, 2u) << "the source's reference and the grabber's own during the call";
    EXPECT_EQ(calls[0].bytes, frame);
    EXPECT_EQ(received[0].bytes, frame);
    EXPECT_EQ(received[0].time_result, S_OK);
    EXPECT_EQ(received[0].start, 2 * kSecond + kSecond / 2);
    EXPECT_EQ(calls[1].time, 0.0) << "untimed sample";
    stop();
    ASSERT_EQ(sg->SetCallback(nullptr, 0), S_OK);
    expect_final_release(cb);
}

TEST_F(SampleGrabberTest, StopWaitsForACallbackInProgressAndGetCurrentBufferStaysConsistent) {
    // A callback that blocks until released: Stop on the grabber must wait.
    class Blocking final : public ComObject<ISampleGrabberCB> {
    public:
        HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override {
            std::unique_lock<std::mutex> lock(m);
            entered = true;
            cv.notify_all();
            cv.wait(lock, [&] { return released; });
            inside = false;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }
        std::mutex m;
        std::condition_variable cv;
        bool entered = false, released = false;
        std::atomic<bool> inside{true};
    };
    ASSERT_EQ(connect_source({video(MEDIASUBTYPE_RGB32)}), S_OK);
    ASSERT_EQ(sg->SetBufferSamples(TRUE), S_OK);
    ComPtr<Blocking> cb = make_com<Blocking>();
    ASSERT_EQ(sg->SetCallback(cb.get(), 0), S_OK);
    run();
    std::thread streaming([&] { source->push(pattern_bytes(200, 8), 0, 1); });
    {
        std::unique_lock<std::mutex> lock(cb->m);
        cb->cv.wait(lock, [&] { return cb->entered; });
    }
    // Meanwhile the application thread reads the buffer: the copy made
    // before the callback is complete.
    std::vector<uint8_t> buffer(200);
    LONG size = 200;
    EXPECT_EQ(sg->GetCurrentBuffer(&size, reinterpret_cast<LONG*>(buffer.data())), S_OK);
    EXPECT_EQ(buffer, pattern_bytes(200, 8));
    std::atomic<bool> inside_when_stopped{true};
    std::thread stopper([&] {
        grabber->Stop();
        inside_when_stopped = cb->inside.load();
    });
    // Give a Stop that does not wait the time to return early.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    {
        std::lock_guard<std::mutex> lock(cb->m);
        cb->released = true;
    }
    cb->cv.notify_all();
    stopper.join();
    streaming.join();
    EXPECT_FALSE(inside_when_stopped.load()) << "Stop returned while the callback still ran";
    source->Stop();
    ASSERT_EQ(sg->SetCallback(nullptr, 0), S_OK);
    expect_final_release(cb);
}

}  // namespace
