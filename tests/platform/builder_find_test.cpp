// The capture graph builder's FindInterface and SetOutputFileName.
#include <gtest/gtest.h>

#include "builder_fixture.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;

// card <- (In 1) left <- far ; card <- (In 2) right.
class FindInterface : public BuilderTest {
protected:
    void SetUp() override {
        BuilderTest::SetUp();
        card = make_box("card");
        card->add_input(u"In 1");
        card->add_input(u"In 2");
        card->add_output(u"Capture", {video(MEDIASUBTYPE_RGB32)}, &PIN_CATEGORY_CAPTURE);
        card->add_output(u"Preview", {video(MEDIASUBTYPE_RGB32)}, &PIN_CATEGORY_PREVIEW);
        left = make_box("left");
        left->add_input(u"In");
        left->add_output(u"Out", {video(MEDIASUBTYPE_RGB32)});
        far = source("far", {MEDIASUBTYPE_RGB32});
        right = source("right", {MEDIASUBTYPE_RGB32});
        renderer = added_sink(u"renderer");
        for (Box* b : {card.get(), left.get(), far.get(), right.get()}) add(b, to_utf16(b->label).c_str());
        ASSERT_EQ(graph->ConnectDirect(left->pin(u"Out"), card->pin(u"In 1"), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(far->pin(u"Out"), left->pin(u"In"), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(right->pin(u"Out"), card->pin(u"In 2"), nullptr), S_OK);
        ASSERT_EQ(graph->ConnectDirect(card->pin(u"Capture"), renderer->pin(u"In"), nullptr), S_OK);
    }
    void TearDown() override {
        found.reset();
        card.reset();
        left.reset();
        far.reset();
        right.reset();
        renderer.reset();
        BuilderTest::TearDown();
    }
    static std::u16string to_utf16(const std::string& s) { return from_utf8(s); }
    IUnknown* look(const GUID* category, IBaseFilter* from, HRESULT* hr, const GUID* type = nullptr) {
        found.reset();
        *hr = builder->FindInterface(category, type, from, IID_ITestMarker, found.put_void());
        return found.get();
    }
    static IUnknown* id(IUnknown* o) { return unknown_of(o); }

    ComPtr<Box> card, left, far, right, renderer;
    ComPtr<IUnknown> found;
};

TEST_F(FindInterface, UpstreamGoesDepthFirstThroughEachInputPinInTurn) {
    HRESULT hr = S_OK;
    card->marked = true;
    EXPECT_EQ(look(&LOOK_UPSTREAM_ONLY, card.get(), &hr), nullptr) << "the start filter is not asked";
    EXPECT_EQ(hr, E_FAIL);

    far->marked = true;
    right->marked = true;
    EXPECT_EQ(look(&LOOK_UPSTREAM_ONLY, card.get(), &hr), id(static_cast<IBaseFilter*>(far.get())))
        << "all of In 1's upstream before In 2";
    EXPECT_EQ(hr, S_OK);

    left->marked = true;
    EXPECT_EQ(look(&LOOK_UPSTREAM_ONLY, card.get(), &hr), id(static_cast<IBaseFilter*>(left.get())))
        << "the nearer filter first";
    static_cast<Box::Out*>(left->pin_at(1))->marked = true;
    EXPECT_EQ(look(&LOOK_UPSTREAM_ONLY, card.get(), &hr), id(left->pin(u"Out"))) << "the peer pin before its filter";
    static_cast<Box::In*>(card->pin_at(0))->marked = true;
    EXPECT_EQ(look(&LOOK_UPSTREAM_ONLY, card.get(), &hr), id(card->pin(u"In 1"))) << "the input pin itself first";

    EXPECT_EQ(look(&LOOK_UPSTREAM_ONLY, far.get(), &hr), nullptr) << "nothing above a source";
    EXPECT_EQ(hr, E_FAIL);
}

// ---- SetOutputFileName -----------------------------------------------------

using OutputFile = BuilderTest;

TEST_F(OutputFile, AviMuxFeedsAFileWriterWithTheName) {
    ComPtr<IBaseFilter> mux;
    ComPtr<IFileSinkFilter> sink;
    ASSERT_EQ(builder->SetOutputFileName(&MEDIASUBTYPE_Avi, u"/tmp/t\u00e9ke1.avi", mux.put(), sink.put()), S_OK);
    ASSERT_TRUE(mux);
    ASSERT_TRUE(sink);
    EXPECT_EQ(class_of(mux.get()), CLSID_AviDest);
    EXPECT_EQ(name_in_graph(mux.get()), u"AVI Mux");
    ComPtr<IBaseFilter> writer = find(u"File Writer");
    ASSERT_TRUE(writer);
    EXPECT_TRUE(same_object(writer.get(), sink.get())) << "the sink is the File Writer's";
    ComPtr<IPin> mux_out, writer_in;
    ASSERT_EQ(mux->FindPin(u"AVI Out", mux_out.put()), S_OK);
    ASSERT_EQ(writer->FindPin(u"in", writer_in.put()), S_OK);
    EXPECT_EQ(connected_to(mux_out.get()), writer_in.get());
    LPOLESTR file = nullptr;
    ASSERT_EQ(sink->GetCurFile(&file, nullptr), S_OK);
    EXPECT_EQ(std::u16string(file), u"/tmp/t\u00e9ke1.avi");
    CoTaskMemFree(file);

    // Both out-parameters are the caller's own references: once the graph
    // is gone, they are the last ones.
    writer.reset();
    mux_out.reset();
    writer_in.reset();
    control.reset();
    events.reset();
    EXPECT_EQ(builder.detach()->Release(), 0u);
    EXPECT_EQ(graph.detach()->Release(), 0u);
    EXPECT_EQ(sink.detach()->Release(), 0u) << "the File Writer";
    EXPECT_EQ(mux.detach()->Release(), 0u) << "the AVI Mux";
}

TEST_F(OutputFile, AWriterThatCannotBeMadeLeavesNoMuxBehind) {
    fault_set("CoCreateInstance:FileWriter", 1);
    ComPtr<IBaseFilter> mux;
    ComPtr<IFileSinkFilter> sink;
    EXPECT_EQ(builder->SetOutputFileName(&MEDIASUBTYPE_Avi, u"x.avi", mux.put(), sink.put()), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(mux);
    EXPECT_FALSE(sink);
    EXPECT_TRUE(names_in_order().empty());
}

}  // namespace
