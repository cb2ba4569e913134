// The capture graph builder's graph, FindPin, FindInterface and
// SetOutputFileName.
#include <gtest/gtest.h>

#include "builder_fixture.h"
#include "graph_events.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;

using Builder = BuilderTest;

TEST_F(Builder, KeepsOneGraph) {
    expect_interfaces(builder.get(), {&IID_ICaptureGraphBuilder2}, {&IID_IGraphBuilder, &IID_IBaseFilter});
    EXPECT_EQ(builder->SetFiltergraph(graph.get()), E_UNEXPECTED) << "a graph is attached already";
    EXPECT_EQ(builder->SetFiltergraph(nullptr), E_POINTER);
    ComPtr<IGraphBuilder> got;
    const ULONG before = ref_count(graph.get());
    ASSERT_EQ(builder->GetFiltergraph(got.put()), S_OK);
    EXPECT_EQ(got.get(), graph.get());
    EXPECT_EQ(ref_count(graph.get()), before + 1) << "GetFiltergraph AddRefs";
    EXPECT_EQ(builder->GetFiltergraph(nullptr), E_POINTER);
}

TEST_F(Builder, FindPinByDirectionCategoryTypeAndConnection) {
    ComPtr<Box> card = make_box("card");
    card->add_input(u"Analog Video In", MEDIATYPE_AnalogVideo);
    card->add_output(u"Capture", {video(MEDIASUBTYPE_RGB32)}, &PIN_CATEGORY_CAPTURE);
    card->add_output(u"Audio", {typed(MEDIATYPE_Audio, MEDIASUBTYPE_PCM)}, &PIN_CATEGORY_CAPTURE);
    card->add_output(u"Preview", {video(MEDIASUBTYPE_RGB32)}, &PIN_CATEGORY_PREVIEW);
    add(card.get(), u"card");

    ComPtr<IPin> pin;
    ASSERT_EQ(builder->FindPin(card.get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, FALSE, 1, pin.put()), S_OK);
    EXPECT_EQ(pin.get(), card->pin(u"Audio")) << "the second capture pin";
    ASSERT_EQ(builder->FindPin(card.get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, FALSE, 0,
                               pin.put()),
              S_OK);
    EXPECT_EQ(pin.get(), card->pin(u"Audio"));
    ASSERT_EQ(builder->FindPin(card.get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, FALSE, 1, pin.put()), S_OK);
    EXPECT_EQ(pin.get(), card->pin(u"Preview"));
    ASSERT_EQ(builder->FindPin(card.get(), PINDIR_INPUT, nullptr, nullptr, FALSE, 0, pin.put()), S_OK);
    EXPECT_EQ(pin.get(), card->pin(u"Analog Video In"));
    EXPECT_EQ(builder->FindPin(card.get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, FALSE, 2, pin.put()),
              E_FAIL);
    EXPECT_FALSE(pin);
    EXPECT_EQ(builder->FindPin(card.get(), PINDIR_INPUT, &PIN_CATEGORY_CAPTURE, nullptr, FALSE, 0, pin.put()),
              E_FAIL)
        << "input pins have no category";

    ComPtr<Box> s = added_sink(u"sink");
    ASSERT_EQ(graph->ConnectDirect(card->pin(u"Capture"), s->pin(u"In"), nullptr), S_OK);
    ASSERT_EQ(builder->FindPin(card.get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, TRUE, 0, pin.put()), S_OK);
    EXPECT_EQ(pin.get(), card->pin(u"Audio")) << "only unconnected pins";

    // On a pin: that pin only.
    EXPECT_EQ(builder->FindPin(card->pin(u"Preview"), PINDIR_OUTPUT, &PIN_CATEGORY_PREVIEW, nullptr, FALSE, 0,
                               pin.put()),
              S_OK);
    EXPECT_EQ(pin.get(), card->pin(u"Preview"));
    EXPECT_EQ(builder->FindPin(card->pin(u"Preview"), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, FALSE, 0,
                               pin.put()),
              E_FAIL);
    EXPECT_EQ(builder->FindPin(card.get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 0, nullptr), E_POINTER);
}

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

TEST_F(FindInterface, DownstreamAndWithoutCategory) {
    HRESULT hr = S_OK;
    renderer->marked = true;
    EXPECT_EQ(look(&LOOK_DOWNSTREAM_ONLY, card.get(), &hr), id(static_cast<IBaseFilter*>(renderer.get())));
    EXPECT_EQ(look(&LOOK_DOWNSTREAM_ONLY, renderer.get(), &hr), nullptr);
    EXPECT_EQ(hr, E_FAIL);
    // No category: the filter, then downstream, then upstream.
    far->marked = true;
    EXPECT_EQ(look(nullptr, card.get(), &hr), id(static_cast<IBaseFilter*>(renderer.get())));
    renderer->marked = false;
    EXPECT_EQ(look(nullptr, card.get(), &hr), id(static_cast<IBaseFilter*>(far.get())));
    card->marked = true;
    EXPECT_EQ(look(nullptr, card.get(), &hr), id(static_cast<IBaseFilter*>(card.get())));
}

TEST_F(FindInterface, PinCategorySearchesThatPinAndBelowIt) {
    HRESULT hr = S_OK;
    EXPECT_EQ(look(&PIN_CATEGORY_CAPTURE, card.get(), &hr), nullptr);
    EXPECT_EQ(hr, E_FAIL) << "a capture pin exists but nothing answers";
    renderer->marked = true;
    EXPECT_EQ(look(&PIN_CATEGORY_CAPTURE, card.get(), &hr), id(static_cast<IBaseFilter*>(renderer.get())));
    EXPECT_EQ(look(&PIN_CATEGORY_PREVIEW, card.get(), &hr), nullptr) << "the preview pin leads nowhere";
    EXPECT_EQ(hr, E_FAIL);
    static_cast<Box::Out*>(card->pin_at(3))->marked = true;  // Preview
    EXPECT_EQ(look(&PIN_CATEGORY_PREVIEW, card.get(), &hr), id(card->pin(u"Preview")));
    EXPECT_EQ(look(&PIN_CATEGORY_PREVIEW, card.get(), &hr, &MEDIATYPE_Audio), nullptr);
    EXPECT_EQ(hr, E_NOINTERFACE) << "no preview pin of that type";
    EXPECT_EQ(look(&PIN_CATEGORY_CC, card.get(), &hr), nullptr);
    EXPECT_EQ(hr, E_NOINTERFACE);
    EXPECT_EQ(look(&PIN_CATEGORY_CC, nullptr, &hr), nullptr);
    EXPECT_EQ(hr, E_POINTER);
    EXPECT_EQ(builder->FindInterface(nullptr, nullptr, card.get(), IID_ITestMarker, nullptr), E_POINTER);
}

// ---- SetOutputFileName -----------------------------------------------------

using OutputFile = BuilderTest;

TEST_F(OutputFile, AviMuxFeedsAFileWriterWithTheName) {
    ComPtr<IBaseFilter> mux;
    ComPtr<IFileSinkFilter> sink;
    ASSERT_EQ(builder->SetOutputFileName(&MEDIASUBTYPE_Avi, u"/tmp/take1.avi", mux.put(), sink.put()), S_OK);
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
    EXPECT_EQ(std::u16string(file), u"/tmp/take1.avi");
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

TEST_F(OutputFile, SinkOutParameterMayBeNull) {
    ComPtr<IBaseFilter> mux;
    EXPECT_EQ(builder->SetOutputFileName(&MEDIASUBTYPE_Avi, u"x.avi", mux.put(), nullptr), S_OK);
    EXPECT_TRUE(mux);
    EXPECT_EQ(builder->SetOutputFileName(&MEDIASUBTYPE_Avi, u"x.avi", nullptr, nullptr), E_POINTER);
    EXPECT_EQ(builder->SetOutputFileName(nullptr, u"x.avi", mux.put(), nullptr), E_POINTER);
    EXPECT_EQ(builder->SetOutputFileName(&MEDIASUBTYPE_Avi, nullptr, mux.put(), nullptr), E_POINTER);
    EXPECT_FALSE(mux);
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
