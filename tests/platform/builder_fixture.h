// A capture graph builder on the test's filter graph, a Smart Tee stand-in
// registered under CLSID_SmartTee, and capture devices made of Boxes.
#pragma once

#include <atomic>

#include "graph_fixture.h"

namespace vorsim_test {

// Smart Tee stand-in: "Input" takes anything, "Capture" and "Preview" pass
// it on.
inline std::atomic<int> g_tees_made{0};
inline std::atomic<int> g_tees_alive{0};

inline HRESULT make_test_tee(REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    try {
        ComPtr<Box> tee = make_com<Box>("tee", CLSID_SmartTee);
        tee->count_in(g_tees_alive);
        tee->add_input(u"Input");
        tee->add_pass_through(u"Capture");
        tee->add_pass_through(u"Preview");
        ++g_tees_made;
        return tee->QueryInterface(iid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

class BuilderTest : public GraphTest {
protected:
    void SetUp() override {
        GraphTest::SetUp();
        g_tees_made = 0;
        ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICaptureGraphBuilder2, builder.put_void()),
                  S_OK);
        ASSERT_EQ(builder->SetFiltergraph(graph.get()), S_OK);
    }
    void TearDown() override {
        if (builder) {
            EXPECT_EQ(builder.detach()->Release(), 0u) << "the builder's final Release";
        }
        GraphTest::TearDown();
        EXPECT_EQ(g_tees_alive, 0) << "a Smart Tee outlived its graph";
    }

    // A webcam: one "Capture" output of the capture category.
    ComPtr<Box> webcam(const GUID& subtype = MEDIASUBTYPE_RGB32) {
        ComPtr<Box> cam = make_box("cam");
        cam->add_output(u"Capture", {video(subtype)}, &PIN_CATEGORY_CAPTURE);
        add(cam.get(), u"Video Capture");
        return cam;
    }
    // A capture card with a preview pin of its own.
    ComPtr<Box> card_with_preview() {
        ComPtr<Box> cam = make_box("card");
        cam->add_output(u"Capture", {video(MEDIASUBTYPE_RGB32)}, &PIN_CATEGORY_CAPTURE);
        cam->add_output(u"Preview", {video(MEDIASUBTYPE_RGB32)}, &PIN_CATEGORY_PREVIEW);
        add(cam.get(), u"Video Capture");
        return cam;
    }
    ComPtr<Box> added_sink(const char16_t* name, const GUID& subtype = MEDIASUBTYPE_RGB32) {
        ComPtr<Box> s = sink(to_utf8(name), subtype);
        add(s.get(), name);
        return s;
    }
    HRESULT render(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate,
                   IBaseFilter* sink_filter) {
        return builder->RenderStream(category, type, source, intermediate, sink_filter);
    }
    ComPtr<IBaseFilter> find(const char16_t* name) {
        ComPtr<IBaseFilter> f;
        graph->FindFilterByName(name, f.put());
        return f;
    }

    ClassOverride tee_class{CLSID_SmartTee, "SmartTee", &make_test_tee};
    ComPtr<ICaptureGraphBuilder2> builder;
};

}  // namespace vorsim_test
