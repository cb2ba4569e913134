// The filter graph manager's bookkeeping: one object with one count, filter
// names, FindFilterByName, the filter enumerator, RemoveFilter and the final
// Release.
#include <gtest/gtest.h>

#include "graph_fixture.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;

using FilterGraphTest = GraphTest;

TEST_F(FilterGraphTest, OneObjectAnswersEveryGraphInterface) {
    expect_interfaces(graph.get(),
                      {&IID_IGraphBuilder, &IID_IFilterGraph, &IID_IMediaControl, &IID_IMediaEvent,
                       &IID_IMediaEventEx, &IID_IMediaFilter, &IID_IPersist, &IID_IDispatch},
                      {&IID_IBaseFilter, &IID_ICaptureGraphBuilder2, &IID_IPin});
}

TEST_F(FilterGraphTest, NamesAreGeneratedOrMadeUnique) {
    ComPtr<Box> a = make_box("a"), b = make_box("b"), c = make_box("c"), d = make_box("d"), e = make_box("e");
    EXPECT_EQ(add(a.get(), nullptr), S_OK);
    EXPECT_EQ(add(b.get(), nullptr), S_OK);
    EXPECT_EQ(name_in_graph(a.get()), u"0001");
    EXPECT_EQ(name_in_graph(b.get()), u"0002");

    EXPECT_EQ(add(c.get(), u"Video Capture"), S_OK);
    // A taken name is still a success, but says it was changed.
    EXPECT_EQ(add(d.get(), u"Video Capture"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(name_in_graph(d.get()), u"Video Capture 0001");
    EXPECT_EQ(add(e.get(), u"Video Capture"), VFW_S_DUPLICATE_NAME);
    EXPECT_EQ(name_in_graph(e.get()), u"Video Capture 0002");

    // The requested name finds the filter that really has it: the first.
    ComPtr<IBaseFilter> found;
    ASSERT_EQ(graph->FindFilterByName(u"Video Capture", found.put()), S_OK);
    EXPECT_TRUE(same_object(found.get(), c.get()));
    ASSERT_EQ(graph->FindFilterByName(u"Video Capture 0002", found.put()), S_OK);
    EXPECT_TRUE(same_object(found.get(), e.get()));
    EXPECT_EQ(graph->AddFilter(a.get(), u"again"), E_INVALIDARG) << "a filter joins one graph once";
    for (const char16_t* miss : {u"video capture", u"Video"}) {
        IBaseFilter* out = reinterpret_cast<IBaseFilter*>(0x1);
        EXPECT_EQ(graph->FindFilterByName(miss, &out), VFW_E_NOT_FOUND) << "whole names, case-sensitive";
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(graph->FindFilterByName(u"Video Capture", nullptr), E_POINTER);
}

TEST_F(FilterGraphTest, EnumeratesNewestFirstAndGoesStaleOnChange) {
    ComPtr<Box> a = make_box("a"), b = make_box("b"), c = make_box("c");
    add(a.get(), u"A");
    add(b.get(), u"B");
    add(c.get(), u"C");
    EXPECT_EQ(names_in_order(), (std::vector<std::u16string>{u"C", u"B", u"A"}));

    ComPtr<IEnumFilters> e;
    ASSERT_EQ(graph->EnumFilters(e.put()), S_OK);
    EXPECT_EQ(graph->EnumFilters(nullptr), E_POINTER);
    IBaseFilter* got[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(e->Next(2, got, nullptr), E_INVALIDARG);
    EXPECT_EQ(e->Next(1, nullptr, nullptr), E_POINTER);
    ASSERT_EQ(e->Next(1, got, &fetched), S_OK);
    EXPECT_TRUE(same_object(got[0], c.get()));
    got[0]->Release();

    // Fetch one, remove it, Reset, fetch the next: the documented loop.
    ASSERT_EQ(graph->RemoveFilter(c.get()), S_OK);
    EXPECT_EQ(e->Next(1, got, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(e->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
    ComPtr<IEnumFilters> clone;
    EXPECT_EQ(e->Clone(clone.put()), VFW_E_ENUM_OUT_OF_SYNC);
    ASSERT_EQ(e->Reset(), S_OK);
    ASSERT_EQ(e->Next(3, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_TRUE(same_object(got[0], b.get()));
    EXPECT_TRUE(same_object(got[1], a.get()));
    got[0]->Release();
    got[1]->Release();

    // Adding makes it stale too.
    add(c.get(), u"C");
    EXPECT_EQ(e->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
    const ULONG with_enums = ref_count(graph.get());
    e.reset();
    EXPECT_EQ(ref_count(graph.get()), with_enums - 1) << "an enumerator holds the graph";
}

TEST_F(FilterGraphTest, RemoveFilterDisconnectsBothEndsAndLeavesTheGraph) {
    ComPtr<Box> src = source("src", {MEDIASUBTYPE_RGB32});
    ComPtr<Box> mid = pass_through("mid", MEDIASUBTYPE_RGB32);
    ComPtr<Box> dst = sink("dst", MEDIASUBTYPE_RGB32);
    add(src.get(), u"src");
    add(mid.get(), u"mid");
    add(dst.get(), u"dst");
    ASSERT_EQ(graph->ConnectDirect(src->pin(u"Out"), mid->pin(u"In"), nullptr), S_OK);
    ASSERT_EQ(graph->ConnectDirect(mid->pin(u"Out"), dst->pin(u"In"), nullptr), S_OK);

    ASSERT_EQ(graph->SetDefaultSyncSource(), S_OK);
    ComPtr<IReferenceClock> clock;
    mid->GetSyncSource(clock.put());
    EXPECT_TRUE(clock) << "the graph handed its clock out";

    ASSERT_EQ(graph->RemoveFilter(mid.get()), S_OK);
    EXPECT_EQ(connected_to(src->pin(u"Out")), nullptr) << "the upstream peer is disconnected too";
    EXPECT_EQ(connected_to(dst->pin(u"In")), nullptr) << "and the downstream one";
    EXPECT_EQ(mid->graph(), nullptr);
    EXPECT_EQ(name_in_graph(mid.get()), u"");
    mid->GetSyncSource(clock.put());
    EXPECT_FALSE(clock) << "a removed filter gives its clock up";
    EXPECT_EQ(names_in_order(), (std::vector<std::u16string>{u"dst", u"src"}));

    EXPECT_EQ(graph->RemoveFilter(mid.get()), E_FAIL) << "not in the graph";
    EXPECT_EQ(graph->RemoveFilter(nullptr), E_POINTER);
}

// A source connected to a sink, the graph running.
class RunningPairTest : public FilterGraphTest {
protected:
    void SetUp() override {
        FilterGraphTest::SetUp();
        src = source("src", {MEDIASUBTYPE_RGB32});
        dst = sink("dst", MEDIASUBTYPE_RGB32);
        add(src.get(), u"src");
        add(dst.get(), u"dst");
        ASSERT_EQ(graph->ConnectDirect(src->pin(u"Out"), dst->pin(u"In"), nullptr), S_OK);
        ASSERT_EQ(control->Run(), S_OK);
    }
    void TearDown() override {
        src.reset();
        dst.reset();
        FilterGraphTest::TearDown();
    }
    ComPtr<Box> src, dst;
};

TEST_F(RunningPairTest, RemoveFilterRefusesWhileRunningAndRemovesNothing) {

    EXPECT_EQ(graph->RemoveFilter(dst.get()), VFW_E_NOT_STOPPED);
    EXPECT_EQ(connected_to(src->pin(u"Out")), dst->pin(u"In")) << "still connected";
    EXPECT_EQ(names_in_order(), (std::vector<std::u16string>{u"dst", u"src"})) << "still in the graph";
    EXPECT_TRUE(same_object(dst->graph(), graph.get()));

    ASSERT_EQ(control->Stop(), S_OK);
    EXPECT_EQ(graph->RemoveFilter(dst.get()), S_OK);
}

TEST_F(RunningPairTest, FinalReleaseStopsAndEmptiesARunningGraph) {
    log.take();
    control.reset();
    events.reset();
    EXPECT_EQ(graph.detach()->Release(), 0u);
    EXPECT_EQ(src->state(), State_Stopped);
    EXPECT_EQ(dst->state(), State_Stopped);
    EXPECT_EQ(log.take(), (std::vector<std::string>{"dst:pause", "src:pause", "dst:stop", "src:stop"}));
    EXPECT_EQ(connected_to(src->pin(u"Out")), nullptr) << "connections would keep the filters alive";
    // TearDown checks both filters are down to the test's own reference.
}

// A Stop that failed leaves the filters running while the graph counts itself
// stopped; the final release still stops and disconnects them, even while
// every Stop a program makes keeps failing.
TEST_F(RunningPairTest, FinalReleaseStopsFiltersWhoseStopFailed) {
    fault_set("IMediaFilter::Stop");
    EXPECT_EQ(control->Stop(), E_FAIL);
    EXPECT_NE(src->state(), State_Stopped);
    control.reset();
    events.reset();
    EXPECT_EQ(graph.detach()->Release(), 0u);
    EXPECT_EQ(src->state(), State_Stopped);
    EXPECT_EQ(dst->state(), State_Stopped);
    EXPECT_EQ(connected_to(src->pin(u"Out")), nullptr);
    EXPECT_NE(src->Stop(), S_OK) << "the fault is still armed for the program's own calls";
}

}  // namespace
