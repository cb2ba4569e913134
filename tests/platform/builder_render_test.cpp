// ICaptureGraphBuilder2::RenderStream: pins by category and major type, the
// Smart Tee for devices without a preview pin, the second render of a
// category, interleaved streams, intermediate legs and their partial
// failure, converters, and supporting upstream filters.
#include <gtest/gtest.h>

#include "builder_fixture.h"
#include "transform_registry.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;

using RenderStream = BuilderTest;

// No converter may take part while one lives (as a device file listing none).
struct NoConverters {
    NoConverters() { transforms_allow_only({}); }
    ~NoConverters() { transforms_allow_all(); }
};

TEST_F(RenderStream, PreviewOnACaptureOnlyDeviceGoesThroughASmartTee) {
    ComPtr<Box> cam = webcam();
    ComPtr<Box> grab = added_sink(u"Grabber");
    // Success, but not S_OK: the preview is a Smart Tee's, not the device's.
    EXPECT_EQ(render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, cam.get(), nullptr, grab.get()), VFW_S_NOPREVIEWPIN);
    EXPECT_EQ(g_tees_made, 1);
    ComPtr<IBaseFilter> tee = find(u"Smart Tee");
    ASSERT_TRUE(tee);
    IPin* tee_input = connected_to(cam->pin(u"Capture"));
    ASSERT_NE(tee_input, nullptr);
    EXPECT_TRUE(same_object(filter_of(tee_input).get(), tee.get()));
    IPin* feeding_grabber = connected_to(grab->pin(u"In"));
    ASSERT_NE(feeding_grabber, nullptr);
    LPWSTR id = nullptr;
    ASSERT_EQ(feeding_grabber->QueryId(&id), S_OK);
    EXPECT_EQ(std::u16string(id), u"Preview");
    CoTaskMemFree(id);

    // CAPTURE on the same device shares the Smart Tee and answers S_OK.
    ComPtr<Box> writer = added_sink(u"Writer");
    EXPECT_EQ(render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, cam.get(), nullptr, writer.get()), S_OK);
    EXPECT_EQ(g_tees_made, 1);
    IPin* feeding_writer = connected_to(writer->pin(u"In"));
    ASSERT_NE(feeding_writer, nullptr);
    EXPECT_TRUE(same_object(filter_of(feeding_writer).get(), tee.get()));

    // Each category renders once.
    ComPtr<Box> third = added_sink(u"Third");
    const size_t before = names_in_order().size();
    EXPECT_EQ(render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, cam.get(), nullptr, third.get()), E_INVALIDARG);
    EXPECT_EQ(render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, cam.get(), nullptr, third.get()), E_INVALIDARG);
    EXPECT_EQ(names_in_order().size(), before);
    EXPECT_EQ(connected_to(third->pin(u"In")), nullptr);
}

TEST_F(RenderStream, ADeviceWithAPreviewPinUsesItDirectly) {
    ComPtr<Box> card = card_with_preview();
    ComPtr<Box> a = added_sink(u"A"), b = added_sink(u"B"), c = added_sink(u"C");
    EXPECT_EQ(render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, card.get(), nullptr, a.get()), S_OK);
    EXPECT_EQ(connected_to(card->pin(u"Preview")), a->pin(u"In"));
    EXPECT_EQ(render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, card.get(), nullptr, b.get()), S_OK);
    EXPECT_EQ(connected_to(card->pin(u"Capture")), b->pin(u"In"));
    EXPECT_EQ(g_tees_made, 0) << "no Smart Tee";
    EXPECT_FALSE(find(u"Smart Tee"));
    EXPECT_EQ(render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, card.get(), nullptr, c.get()), E_INVALIDARG);
    EXPECT_EQ(render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, card.get(), nullptr, c.get()), E_FAIL);
}

TEST_F(RenderStream, InterleavedFromAWebcamFailsWithNothingInserted) {
    ComPtr<Box> cam = webcam();
    ComPtr<Box> a = added_sink(u"A");
    const std::vector<std::u16string> before = names_in_order();
    EXPECT_EQ(render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, cam.get(), nullptr, a.get()), E_INVALIDARG);
    EXPECT_EQ(render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved, cam.get(), nullptr, a.get()), E_INVALIDARG);
    EXPECT_EQ(names_in_order(), before);
    EXPECT_EQ(g_tees_made, 0);
    EXPECT_EQ(connected_to(cam->pin(u"Capture")), nullptr);
}

TEST_F(RenderStream, InterleavedComesFromTheCamcordersInterleavedPin) {
    ComPtr<Box> dv = make_box("dv");
    dv->add_output(u"DV Vid Out", {video(MEDIASUBTYPE_dvsd)}, &PIN_CATEGORY_CAPTURE);
    dv->add_output(u"DV A/V Out", {typed(MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd)}, &PIN_CATEGORY_CAPTURE);
    add(dv.get(), u"DV Camera");
    ComPtr<Box> mux = make_box("mux");
    mux->add_input(u"Input 01", MEDIATYPE_Interleaved, MEDIASUBTYPE_dvsd);
    add(mux.get(), u"AVI Mux");
    EXPECT_EQ(render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, dv.get(), nullptr, mux.get()), S_OK);
    EXPECT_EQ(connected_to(dv->pin(u"DV Vid Out")), nullptr);
    IPin* tee_input = connected_to(dv->pin(u"DV A/V Out"));
    ASSERT_NE(tee_input, nullptr);
    EXPECT_EQ(class_of(filter_of(tee_input).get()), CLSID_SmartTee) << "a Smart Tee takes any type";
}

TEST_F(RenderStream, AFailingSecondLegLeavesTheFirstConnected) {
    NoConverters none;
    ComPtr<Box> cam = webcam();
    ComPtr<Box> grabber = pass_through("grabber", MEDIASUBTYPE_RGB32);
    add(grabber.get(), u"Sample Grabber");
    ComPtr<Box> renderer = added_sink(u"Null Renderer", MEDIASUBTYPE_UYVY);
    EXPECT_EQ(render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, cam.get(), grabber.get(), renderer.get()),
              VFW_E_CANNOT_CONNECT);
    IPin* grabber_feed = connected_to(grabber->pin(u"In"));
    ASSERT_NE(grabber_feed, nullptr) << "source -> intermediate stays";
    EXPECT_EQ(class_of(filter_of(grabber_feed).get()), CLSID_SmartTee);
    EXPECT_EQ(connected_to(grabber->pin(u"Out")), nullptr);
    EXPECT_EQ(connected_to(renderer->pin(u"In")), nullptr);
}

TEST_F(RenderStream, AFailingFirstLegLeavesNothingButTheSmartTee) {
    NoConverters none;
    ComPtr<Box> cam = webcam();
    ComPtr<Box> grabber = pass_through("grabber", MEDIASUBTYPE_RGB8);
    add(grabber.get(), u"Sample Grabber");
    ComPtr<Box> renderer = added_sink(u"Null Renderer");
    EXPECT_EQ(render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, cam.get(), grabber.get(), renderer.get()), E_FAIL);
    EXPECT_EQ(connected_to(grabber->pin(u"In")), nullptr);
    EXPECT_EQ(connected_to(renderer->pin(u"In")), nullptr);
    ASSERT_TRUE(find(u"Smart Tee")) << "the Smart Tee stays";
    EXPECT_NE(connected_to(cam->pin(u"Capture")), nullptr);

    // A later render reuses it.
    ComPtr<Box> other = pass_through("other", MEDIASUBTYPE_RGB32);
    add(other.get(), u"Other Grabber");
    EXPECT_EQ(render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, cam.get(), other.get(), renderer.get()),
              VFW_S_NOPREVIEWPIN);
    EXPECT_EQ(g_tees_made, 1);
    EXPECT_EQ(connected_to(other->pin(u"Out")), renderer->pin(u"In"));
}

TEST_F(RenderStream, SupportingUpstreamFiltersArriveWithTheFirstCategoryRender) {
    ComPtr<Box> crossbar = make_com<Box>("crossbar");
    crossbar->add_output(u"Video Decoder Out", {typed(MEDIATYPE_AnalogVideo, MEDIASUBTYPE_TestAnalog)});
    crossbar->marked = true;
    Box* xbar = crossbar.get();
    ComPtr<Box> card = make_box("card");
    card->add_input(u"Analog Video In", MEDIATYPE_AnalogVideo, MEDIASUBTYPE_TestAnalog);
    card->add_output(u"Capture", {video(MEDIASUBTYPE_RGB32)}, &PIN_CATEGORY_CAPTURE);
    card->supporting.push_back({std::move(crossbar), u"Analog Crossbar"});
    add(card.get(), u"Video Capture");
    ComPtr<Box> a = added_sink(u"A"), b = added_sink(u"B");

    EXPECT_FALSE(find(u"Analog Crossbar")) << "nothing before the first render";
    ComPtr<IUnknown> found;
    EXPECT_EQ(builder->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, card.get(), IID_ITestMarker, found.put_void()),
              E_FAIL);

    ASSERT_EQ(render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, card.get(), nullptr, a.get()), VFW_S_NOPREVIEWPIN);
    ComPtr<IBaseFilter> added_crossbar = find(u"Analog Crossbar");
    ASSERT_TRUE(added_crossbar);
    EXPECT_TRUE(same_object(added_crossbar.get(), static_cast<IBaseFilter*>(xbar)));
    EXPECT_EQ(connected_to(card->pin(u"Analog Video In")), xbar->pin(u"Video Decoder Out"));
    ASSERT_EQ(builder->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, card.get(), IID_ITestMarker, found.put_void()),
              S_OK);
    EXPECT_TRUE(same_object(found.get(), static_cast<IBaseFilter*>(xbar)));

    const size_t count = names_in_order().size();
    ASSERT_EQ(render(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, card.get(), nullptr, b.get()), S_OK);
    EXPECT_EQ(names_in_order().size(), count) << "added once only";
}

TEST_F(RenderStream, ASmartTeeThatCannotBeMadeOrConnectedLeavesNothing) {
    ComPtr<Box> cam = webcam();
    ComPtr<Box> a = added_sink(u"A");
    fault_set("CoCreateInstance:SmartTee", 1);
    EXPECT_EQ(render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, cam.get(), nullptr, a.get()), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(find(u"Smart Tee"));
    ASSERT_EQ(control->Run(), S_OK);
    EXPECT_EQ(render(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, cam.get(), nullptr, a.get()), VFW_E_NOT_STOPPED);
    EXPECT_FALSE(find(u"Smart Tee")) << "the Smart Tee that could not connect left again";
    EXPECT_EQ(g_tees_made, 1);
}

}  // namespace
