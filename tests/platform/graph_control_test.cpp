// The filter graph's state: Run, Pause, Stop and the order filters change
// state in, StopWhenReady, GetState, live sources, failures and faults.
// Stop waiting for a Receive in progress: the Sample Grabber's tests.
#include <gtest/gtest.h>

#include "graph_fixture.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;

class GraphControl : public GraphTest {
protected:
    // src -> mid -> dst, added in an order unrelated to the topology.
    void SetUp() override {
        GraphTest::SetUp();
        src = source("src", {MEDIASUBTYPE_RGB32});
        mid = pass_through("mid", MEDIASUBTYPE_RGB32);
        dst = sink("dst", MEDIASUBTYPE_RGB32);
        ASSERT_EQ(add(mid.get(), u"mid"), S_OK);
        ASSERT_EQ(add(src.get(), u"src"), S_OK);
        ASSERT_EQ(add(dst.get(), u"dst"), S_OK);
        ASSERT_EQ(graph->ConnectDirect(src->pin(u"Out"), mid->pin(u"In"), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(mid->pin(u"Out"), dst->pin(u"In"), nullptr), S_OK);
    }
    void TearDown() override {
        src.reset();
        mid.reset();
        dst.reset();
        GraphTest::TearDown();
    }
    ComPtr<Box> src, mid, dst;
};

TEST_F(GraphControl, RunAndStopPauseEverythingFirstThenGoDownstreamFirst) {
    EXPECT_EQ(state(), State_Stopped);
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_EQ(log.take(), (std::vector<std::string>{"dst:pause", "mid:pause", "src:pause", "dst:run", "mid:run",
                                                    "src:run"}));
    HRESULT hr = E_FAIL;
    EXPECT_EQ(state(0, &hr), State_Running);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(control->Run(), S_OK) << "running already";
    EXPECT_TRUE(log.take().empty());
    ComPtr<IReferenceClock> clock;
    src->GetSyncSource(clock.put());
    EXPECT_TRUE(clock) << "Run chose a clock when none was set";

    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(log.take(), (std::vector<std::string>{"dst:pause", "mid:pause", "src:pause", "dst:stop", "mid:stop",
                                                    "src:stop"}));
    EXPECT_EQ(state(0, &hr), State_Stopped);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(control->Stop(), S_OK) << "stopped already";
    EXPECT_TRUE(log.take().empty());
}

TEST_F(GraphControl, PausedLiveGraphCannotCue) {
    src->live = true;
    ASSERT_EQ(control->Pause(), S_OK);
    HRESULT hr = E_FAIL;
    EXPECT_EQ(state(0, &hr), State_Paused);
    // S_OK would claim the graph is cued; a live source delivers nothing
    // while paused.
    EXPECT_EQ(hr, VFW_S_CANT_CUE);
    EXPECT_EQ(state(-1, &hr), State_Paused) << "and it does not wait for frames that will not come";
    EXPECT_EQ(hr, VFW_S_CANT_CUE);
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_EQ(state(0, &hr), State_Running);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(control->GetState(0, nullptr), E_POINTER);
}

TEST_F(GraphControl, AFilterFailingToRunFailsRunAndLeavesTheGraphStopped) {
    src->run_result = HRESULT_FROM_WIN32(ERROR_NO_SYSTEM_RESOURCES);
    EXPECT_EQ(control->Run(), HRESULT_FROM_WIN32(ERROR_NO_SYSTEM_RESOURCES));
    EXPECT_EQ(state(), State_Stopped);
    EXPECT_EQ(src->state(), State_Stopped);
    EXPECT_EQ(dst->state(), State_Stopped);
    src->run_result = S_OK;
    EXPECT_EQ(control->Run(), S_OK);
}

TEST_F(GraphControl, ConnectionsNeedAStoppedGraph) {
    ComPtr<Box> other = sink("other", MEDIASUBTYPE_RGB32);
    ComPtr<Box> feed = source("feed", {MEDIASUBTYPE_RGB32});
    add(other.get(), u"other");
    add(feed.get(), u"feed");
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_EQ(graph->ConnectDirect(feed->pin(u"Out"), other->pin(u"In"), nullptr), VFW_E_NOT_STOPPED);
    EXPECT_EQ(graph->Connect(feed->pin(u"Out"), other->pin(u"In")), VFW_E_NOT_STOPPED);
    EXPECT_EQ(graph->Disconnect(dst->pin(u"In")), VFW_E_NOT_STOPPED);
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(graph->ConnectDirect(dst->pin(u"In"), feed->pin(u"Out"), nullptr), VFW_E_INVALID_DIRECTION);
    EXPECT_EQ(graph->Disconnect(dst->pin(u"In")), S_OK);
    EXPECT_EQ(connected_to(mid->pin(u"Out")), dst->pin(u"In")) << "Disconnect affects one end only";
    EXPECT_EQ(graph->Disconnect(mid->pin(u"Out")), S_OK);
    EXPECT_EQ(graph->Disconnect(mid->pin(u"Out")), S_FALSE) << "nothing left to disconnect";
}

TEST_F(GraphControl, StopWhenReadyFinishesLaterWhileAFilterIsStillPausing) {
    ASSERT_EQ(control->Run(), S_OK);
    mid->settling = true;
    EXPECT_EQ(control->StopWhenReady(), S_FALSE);
    // The logical state is Stopped at once; the transition is still going.
    HRESULT hr = E_FAIL;
    EXPECT_EQ(state(0, &hr), State_Stopped);
    EXPECT_EQ(hr, VFW_S_STATE_INTERMEDIATE);
    EXPECT_EQ(mid->state(), State_Paused);

    mid->settling = false;
    EXPECT_EQ(state(-1, &hr), State_Stopped) << "INFINITE waits for the deferred stop";
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(src->state(), State_Stopped);
    EXPECT_EQ(mid->state(), State_Stopped);
    EXPECT_EQ(dst->state(), State_Stopped);
}

TEST_F(GraphControl, ANewStateCommandCancelsTheDeferredStop) {
    ASSERT_EQ(control->Run(), S_OK);
    mid->settling = true;
    ASSERT_EQ(control->StopWhenReady(), S_FALSE);
    mid->settling = false;
    ASSERT_EQ(control->Run(), S_OK);
    HRESULT hr = E_FAIL;
    EXPECT_EQ(state(-1, &hr), State_Running);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(src->state(), State_Running) << "the cancelled stop never happened";
    EXPECT_EQ(mid->state(), State_Running);

    // And Stop after a pending deferred stop stops for real, at once.
    mid->settling = true;
    ASSERT_EQ(control->StopWhenReady(), S_FALSE);
    mid->settling = false;
    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(mid->state(), State_Stopped);
    EXPECT_EQ(src->state(), State_Stopped);
}

TEST_F(GraphControl, RunAnswersSFalseWhileAFilterIsStillInTransition) {
    mid->settling = true;
    EXPECT_EQ(control->Run(), S_FALSE);
    HRESULT hr = E_FAIL;
    EXPECT_EQ(state(0, &hr), State_Running);
    EXPECT_EQ(hr, VFW_S_STATE_INTERMEDIATE);
    mid->settling = false;
    EXPECT_EQ(state(0, &hr), State_Running);
    EXPECT_EQ(hr, S_OK);
}

}  // namespace
