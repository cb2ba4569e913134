// Streaming through the filter base: the manual clock, delivery, samples
// going back to their pool, Stop joining the streaming thread and waiting
// for a Receive in progress.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "com_conformance.h"
#include "test_filters.h"
#include "vorsim.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;
using namespace std::chrono_literals;

class Streaming : public testing::Test {
protected:
    void SetUp() override {
        clock_set(ClockMode::manual);
        source = make_com<TestSource>();
        sink = make_com<TestSink>(MEDIASUBTYPE_RGB32);
        ASSERT_EQ(source->out->Connect(sink->in, nullptr), S_OK);
    }
    void TearDown() override {
        sink->release_hold();
        stop_all();
        sink->kept.clear();
        source->out->Disconnect();
        sink->in->Disconnect();
        EXPECT_EQ(source.detach()->Release(), 0u);
        EXPECT_EQ(sink.detach()->Release(), 0u);
        clock_set(ClockMode::real);
    }
    // As the graph does: downstream first, pausing before running.
    void run_all() {
        ASSERT_EQ(sink->Run(0), S_OK);
        ASSERT_EQ(source->Run(0), S_OK);
    }
    void stop_all() {
        sink->Stop();
        source->Stop();
    }

    ComPtr<TestSource> source;
    ComPtr<TestSink> sink;
};

TEST_F(Streaming, ManualClockDeliversNothingUntilAsked) {
    run_all();
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(sink->frames().empty());
    EXPECT_EQ(deliver_frames(3), 1) << "one running source";
    EXPECT_EQ(sink->frames(), (std::vector<uint64_t>{0, 1, 2}));
    EXPECT_EQ(deliver_frames(2), 1);
    EXPECT_EQ(sink->frames(), (std::vector<uint64_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(source->delivered_ok, 5);
    EXPECT_EQ(source->delivery_failures, 0);
}

TEST_F(Streaming, OnlyRunningSourcesTakePart) {
    EXPECT_EQ(deliver_frames(1), 0);
    run_all();
    ASSERT_EQ(source->Pause(), S_OK);
    EXPECT_EQ(deliver_frames(1), 0) << "a paused live source delivers nothing";
    EXPECT_TRUE(sink->frames().empty());
    ASSERT_EQ(source->Run(0), S_OK);
    EXPECT_EQ(deliver_frames(1), 1);
    EXPECT_EQ(sink->frames().size(), 1u);
}

TEST_F(Streaming, SamplesGoBackToThePoolSoStreamingAllocatesNothing) {
    run_all();
    SamplePool* pool = source->out->pool();
    ASSERT_NE(pool, nullptr);
    const int count = pool->count();
    const long long memory = task_memory_outstanding();
    deliver_frames(3 * count);
    EXPECT_EQ(pool->count(), count) << "no new samples were made";
    EXPECT_EQ(pool->free_count(), count) << "every sample came back";
    EXPECT_EQ(task_memory_outstanding(), memory);
    EXPECT_EQ(sink->frames().size(), static_cast<size_t>(3 * count));
}

TEST_F(Streaming, SamplesCarryTimesAndFlags) {
    sink->keep_samples = true;
    run_all();
    deliver_frames(2);
    stop_all();
    ASSERT_EQ(sink->kept.size(), 2u);
    IMediaSample* second = sink->kept[1].get();
    REFERENCE_TIME start = 0, stop = 0;
    EXPECT_EQ(second->GetTime(&start, &stop), S_OK);
    EXPECT_EQ(start, kInterval);
    EXPECT_EQ(stop, 2 * kInterval);
    EXPECT_EQ(second->IsSyncPoint(), S_OK);
    EXPECT_EQ(second->GetSize(), 320 * 240 * 4);
    EXPECT_EQ(second->GetActualDataLength(), 320 * 240 * 4);
    EXPECT_EQ(source->out->pool()->free_count(), source->out->pool()->count() - 2) << "kept samples stay out";
    sink->kept.clear();
    EXPECT_EQ(source->out->pool()->free_count(), source->out->pool()->count());
}

TEST_F(Streaming, StopWaitsForAReceiveInProgressAndNoneStartsAfter) {
    run_all();
    sink->hold();
    std::thread deliverer([] { deliver_frames(1); });
    sink->wait_until_entered();
    ASSERT_TRUE(sink->in_receive);

    auto stopped = std::async(std::launch::async, [&] { return sink->Stop(); });
    EXPECT_EQ(stopped.wait_for(50ms), std::future_status::timeout) << "Stop must wait for Receive";
    sink->release_hold();
    EXPECT_EQ(stopped.get(), S_OK);
    EXPECT_FALSE(sink->in_receive) << "no Receive in flight once Stop returned";
    deliverer.join();

    // The source still runs; its samples now bounce off the stopped sink.
    const size_t before = sink->frames().size();
    deliver_frames(2);
    EXPECT_EQ(sink->frames().size(), before);
    EXPECT_EQ(source->delivery_failures, 2);
}

TEST_F(Streaming, ReceiveOnAStoppedFilterIsWrongState) {
    ComPtr<IMemInputPin> input;
    ASSERT_EQ(sink->in->QueryInterface(IID_IMemInputPin, input.put_void()), S_OK);
    auto pool = SamplePool::create(1, 16);
    pool->commit();
    IMediaSample* sample = nullptr;
    ASSERT_EQ(pool->get_buffer(&sample), S_OK);
    EXPECT_EQ(input->Receive(sample), VFW_E_WRONG_STATE);
    EXPECT_EQ(input->Receive(nullptr), E_POINTER);
    EXPECT_EQ(sample->Release(), 0u);
}

TEST_F(Streaming, StopJoinsTheStreamingThreadOfABlockedSource) {
    // Every sample is kept downstream: the source ends up waiting for a
    // free one. Stop must still return, with the thread gone.
    sink->keep_samples = true;
    run_all();
    const int count = source->out->pool()->count();
    deliver_frames(count);
    EXPECT_EQ(source->out->pool()->free_count(), 0);
    std::thread deliverer([] { deliver_frames(1); });  // blocks in get_buffer
    std::this_thread::sleep_for(20ms);
    sink->Stop();
    EXPECT_EQ(source->Stop(), S_OK);
    deliverer.join();
    EXPECT_FALSE(source->thread.running());
    EXPECT_EQ(source->delivery_failures, 1) << "the waiting push gave up on the decommitted pool";
}

TEST_F(Streaming, RealClockStreamsAtTheFrameInterval) {
    clock_set(ClockMode::real);
    run_all();
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (sink->frames().size() < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    stop_all();
    const auto frames = sink->frames();
    ASSERT_GE(frames.size(), 3u);
    for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(frames[i], i);
}

TEST(MediaSample, TimesLengthsAndTypes) {
    auto pool = SamplePool::create(1, 256);
    pool->commit();
    IMediaSample* raw = nullptr;
    ASSERT_EQ(pool->get_buffer(&raw), S_OK);
    ComPtr<IMediaSample> s = ComPtr<IMediaSample>::adopt(raw);
    expect_interfaces(s.get(), {&IID_IMediaSample}, {&IID_IPin});

    REFERENCE_TIME start = 0, stop = 0;
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    REFERENCE_TIME t = 1000;
    EXPECT_EQ(s->SetTime(&t, nullptr), S_OK);
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(start, 1000);
    EXPECT_EQ(s->SetTime(nullptr, nullptr), S_OK);
    EXPECT_EQ(s->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);

    EXPECT_EQ(s->GetSize(), 256);
    EXPECT_EQ(s->SetActualDataLength(200), S_OK);
    EXPECT_EQ(s->GetActualDataLength(), 200) << "valid bytes differ from the buffer size";
    EXPECT_EQ(s->GetSize(), 256);
    EXPECT_EQ(s->SetActualDataLength(257), VFW_E_BUFFER_OVERFLOW);

    AM_MEDIA_TYPE* type = reinterpret_cast<AM_MEDIA_TYPE*>(0x1);
    EXPECT_EQ(s->GetMediaType(&type), S_FALSE) << "S_FALSE: the type did not change";
    EXPECT_EQ(type, nullptr);
    MediaType yuy2 = make_video_type(MEDIASUBTYPE_YUY2, 4, 4, 16, kInterval);
    EXPECT_EQ(s->SetMediaType(&yuy2.get()), S_OK);
    ASSERT_EQ(s->GetMediaType(&type), S_OK);
    EXPECT_TRUE(same_media_type(*type, yuy2.get()));
    DeleteMediaType(type);

    EXPECT_EQ(s->IsPreroll(), S_FALSE);
    EXPECT_EQ(s->SetPreroll(TRUE), S_OK);
    EXPECT_EQ(s->IsPreroll(), S_OK);
    EXPECT_EQ(s->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(s->SetDiscontinuity(TRUE), S_OK);
    EXPECT_EQ(s->IsDiscontinuity(), S_OK);
    LONGLONG m0 = 0, m1 = 0;
    EXPECT_EQ(s->GetMediaTime(&m0, &m1), VFW_E_MEDIA_TIME_NOT_SET);

    // Back in the pool, then out again: as good as new.
    IMediaSample* again = nullptr;
    s.reset();
    ASSERT_EQ(pool->get_buffer(&again), S_OK);
    EXPECT_EQ(again, raw) << "the same sample, reused";
    EXPECT_EQ(again->GetActualDataLength(), 256);
    EXPECT_EQ(again->IsPreroll(), S_FALSE);
    EXPECT_EQ(again->GetMediaType(&type), S_FALSE);
    EXPECT_EQ(again->Release(), 0u);
}

TEST(MediaSample, PoolOutlivesItsOwnerWhileSamplesAreOut) {
    auto pool = SamplePool::create(2, 8);
    pool->commit();
    IMediaSample* s = nullptr;
    ASSERT_EQ(pool->get_buffer(&s), S_OK);
    pool.reset();  // the owner lets go; the sample keeps the pool
    BYTE* data = nullptr;
    EXPECT_EQ(s->GetPointer(&data), S_OK);
    data[7] = 1;
    EXPECT_EQ(s->Release(), 0u);  // and the pool goes with it (ASan checks)
}

TEST(MediaSample, DecommitWakesAWaitingTaker) {
    auto pool = SamplePool::create(1, 8);
    IMediaSample* s = nullptr;
    EXPECT_EQ(pool->get_buffer(&s), VFW_E_NOT_COMMITTED);
    pool->commit();
    ASSERT_EQ(pool->get_buffer(&s), S_OK);
    auto waiting = std::async(std::launch::async, [&] {
        IMediaSample* second = nullptr;
        return pool->get_buffer(&second);
    });
    EXPECT_EQ(waiting.wait_for(30ms), std::future_status::timeout) << "all samples are out: it waits";
    pool->decommit();
    EXPECT_EQ(waiting.get(), VFW_E_NOT_COMMITTED);
    s->Release();
}

}  // namespace
