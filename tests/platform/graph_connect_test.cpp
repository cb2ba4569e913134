// Intelligent connect through IGraphBuilder::Connect: direct connections,
// filters already in the graph, and converters from the transform registry
// (only those the device file allows), removed again when they lead
// nowhere.
#include <gtest/gtest.h>

#include "graph_fixture.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;

class IntelligentConnect : public GraphTest {
protected:
    void SetUp() override {
        GraphTest::SetUp();
        src = source("src", {MEDIASUBTYPE_YUY2});
        add(src.get(), u"src");
    }
    void TearDown() override {
        src.reset();
        GraphTest::TearDown();
        EXPECT_EQ(TestConverters::alive(), 0) << "a converter outlived its graph";
    }
    IPin* out() { return src->pin(u"Out"); }

    TestConverters converters;
    ComPtr<Box> src;
};

TEST_F(IntelligentConnect, ConnectsDirectlyOrThroughAsFewConvertersAsNeeded) {
    struct Case {
        const GUID& wanted;
        std::vector<std::u16string> names;  // newest first
    } const cases[] = {
        {MEDIASUBTYPE_YUY2, {u"dst", u"src"}},
        {MEDIASUBTYPE_UYVY, {u"Test Converter", u"dst", u"src"}},
        {MEDIASUBTYPE_RGB24, {u"Test Converter 2", u"Test Converter", u"dst", u"src"}},
    };
    for (const Case& c : cases) {
        ComPtr<Box> dst = sink("dst", c.wanted);
        add(dst.get(), u"dst");
        const int made_before = TestConverters::made();
        ASSERT_EQ(graph->Connect(out(), dst->pin(u"In")), S_OK);
        EXPECT_EQ(names_in_order(), c.names);
        EXPECT_EQ(TestConverters::made() - made_before, int(c.names.size()) - 2) << "no converter more than needed";
        // The last converter (or the source) feeds the sink in its own type.
        ComPtr<IBaseFilter> feeder;
        if (c.names.size() > 2) {
            ASSERT_EQ(graph->FindFilterByName(c.names[0].c_str(), feeder.put()), S_OK);
        }
        EXPECT_TRUE(same_object(filter_of(connected_to(dst->pin(u"In"))).get(),
                                feeder ? feeder.get() : static_cast<IBaseFilter*>(src.get())));
        AM_MEDIA_TYPE mt;
        ASSERT_EQ(dst->pin(u"In")->ConnectionMediaType(&mt), S_OK);
        EXPECT_EQ(mt.subtype, c.wanted);
        FreeMediaType(mt);
        feeder.reset();
        // Start again from the source alone.
        ASSERT_EQ(graph->RemoveFilter(dst.get()), S_OK);
        for (size_t i = 0; i + 2 < c.names.size(); ++i) {
            ComPtr<IBaseFilter> conv;
            ASSERT_EQ(graph->FindFilterByName(c.names[i].c_str(), conv.put()), S_OK);
            ASSERT_EQ(graph->RemoveFilter(conv.get()), S_OK);
        }
    }
}

TEST_F(IntelligentConnect, ConvertersThatLeadNowhereAreRemovedAgain) {
    ComPtr<Box> dst = sink("dst", MEDIASUBTYPE_RGB8);
    add(dst.get(), u"dst");
    EXPECT_EQ(graph->Connect(out(), dst->pin(u"In")), VFW_E_CANNOT_CONNECT);
    EXPECT_GE(TestConverters::made(), 1) << "the converter was tried";
    EXPECT_EQ(TestConverters::alive(), 0) << "and destroyed when it led nowhere";
    EXPECT_EQ(names_in_order(), (std::vector<std::u16string>{u"dst", u"src"})) << "and taken out again";
    EXPECT_EQ(connected_to(out()), nullptr);
    EXPECT_EQ(connected_to(dst->pin(u"In")), nullptr);
}

TEST_F(IntelligentConnect, PrefersAFilterAlreadyInTheGraph) {
    ComPtr<Box> dst = sink("dst", MEDIASUBTYPE_UYVY);
    add(dst.get(), u"dst");
    ComPtr<Box> mine = make_box("mine");
    mine->add_input(u"In", MEDIATYPE_Video, MEDIASUBTYPE_YUY2);
    mine->add_output(u"Out", {video(MEDIASUBTYPE_UYVY)});
    add(mine.get(), u"My Converter");
    ASSERT_EQ(graph->Connect(out(), dst->pin(u"In")), S_OK);
    EXPECT_EQ(TestConverters::made(), 0);
    EXPECT_EQ(connected_to(out()), mine->pin(u"In"));
    EXPECT_EQ(connected_to(dst->pin(u"In")), mine->pin(u"Out"));
}

TEST_F(IntelligentConnect, RefusesConnectedPinsAndWrongDirections) {
    ComPtr<Box> dst = sink("dst", MEDIASUBTYPE_YUY2);
    ComPtr<Box> other = sink("other", MEDIASUBTYPE_YUY2);
    add(dst.get(), u"dst");
    add(other.get(), u"other");
    EXPECT_EQ(graph->Connect(dst->pin(u"In"), out()), VFW_E_INVALID_DIRECTION);
    ASSERT_EQ(graph->Connect(out(), dst->pin(u"In")), S_OK);
    EXPECT_EQ(graph->Connect(out(), other->pin(u"In")), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(graph->Connect(nullptr, other->pin(u"In")), E_POINTER);
    fault_set("IGraphBuilder::Connect", 1, E_OUTOFMEMORY);
    EXPECT_EQ(graph->Connect(out(), other->pin(u"In")), E_OUTOFMEMORY);
}

}  // namespace
