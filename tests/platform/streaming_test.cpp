// Streaming through the filter base: the manual clock, delivery, samples
// going back to their pool, Stop joining the streaming thread and waiting
// for a Receive in progress.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

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

TEST(MediaSample, TimesLengthsAndFlagsResetOnReuse) {
    auto pool = SamplePool::create(1, 256);
    pool->commit();
    IMediaSample* raw = nullptr;
    ASSERT_EQ(pool->get_buffer(&raw), S_OK);
    ComPtr<IMediaSample> s = ComPtr<IMediaSample>::adopt(raw);

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

    EXPECT_EQ(s->IsPreroll(), S_FALSE);
    EXPECT_EQ(s->SetPreroll(TRUE), S_OK);
    EXPECT_EQ(s->IsPreroll(), S_OK);
    // Back in the pool, then out again: as good as new.
    IMediaSample* again = nullptr;
    s.reset();
    ASSERT_EQ(pool->get_buffer(&again), S_OK);
    EXPECT_EQ(again, raw) << "the same sample, reused";
    EXPECT_EQ(again->GetActualDataLength(), 256);
    EXPECT_EQ(again->IsPreroll(), S_FALSE);
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
