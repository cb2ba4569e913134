// RenderStream with the platform's own Smart Tee, Sample Grabber and Null
// Renderer, as the module builds its preview graph: capture device ->
// Smart Tee -> Sample Grabber -> Null Renderer, run, frames through, stop.
#include <gtest/gtest.h>

#include <atomic>

#include "class_registry.h"
#include "com_conformance.h"
#include "graph_pins.h"
#include "test_filters.h"
#include "vorsim.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;

class CountingCallback final : public ComObject<ISampleGrabberCB> {
public:
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample*) override {
        ++samples;
        if (time != 0.0) ++timed;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }
    std::atomic<int> samples{0};
    std::atomic<int> timed{0};
};

ComPtr<IBaseFilter> create(const CLSID& clsid) {
    ComPtr<IBaseFilter> f;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, f.put_void());
    return f;
}

TEST(BuilderWithPlatformFilters, PreviewThroughSmartTeeGrabberAndNullRenderer) {
    for (const CLSID* c : {&CLSID_SmartTee, &CLSID_SampleGrabber, &CLSID_NullRenderer}) {
        if (!find_class(*c, nullptr)) GTEST_SKIP() << "a platform filter is not registered";
    }
    clock_set(ClockMode::manual);
    {
        ComPtr<IGraphBuilder> graph;
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   graph.put_void()),
                  S_OK);
        ComPtr<ICaptureGraphBuilder2> builder;
        ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICaptureGraphBuilder2, builder.put_void()),
                  S_OK);
        ASSERT_EQ(builder->SetFiltergraph(graph.get()), S_OK);

        ComPtr<TestSource> camera = make_com<TestSource>();
        camera->out->set_category(PIN_CATEGORY_CAPTURE);
        ComPtr<IBaseFilter> grabber = create(CLSID_SampleGrabber);
        ComPtr<IBaseFilter> null_renderer = create(CLSID_NullRenderer);
        ASSERT_TRUE(grabber);
        ASSERT_TRUE(null_renderer);
        ASSERT_EQ(graph->AddFilter(camera.get(), u"Video Capture"), S_OK);
        ASSERT_EQ(graph->AddFilter(grabber.get(), u"Grabber"), S_OK);
        ASSERT_EQ(graph->AddFilter(null_renderer.get(), u"Null"), S_OK);
        ComPtr<ISampleGrabber> sg;
        ASSERT_EQ(grabber.query(IID_ISampleGrabber, sg), S_OK);
        ComPtr<CountingCallback> callback = make_com<CountingCallback>();
        ASSERT_EQ(sg->SetCallback(callback.get(), 0), S_OK);

        EXPECT_EQ(builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, camera.get(), grabber.get(),
                                        null_renderer.get()),
                  VFW_S_NOPREVIEWPIN);
        ComPtr<IBaseFilter> tee;
        ASSERT_EQ(graph->FindFilterByName(u"Smart Tee", tee.put()), S_OK);
        EXPECT_TRUE(same_object(filter_of(peer_of(camera->out).get()).get(), tee.get()));

        ComPtr<IMediaControl> control;
        ASSERT_EQ(graph.query(IID_IMediaControl, control), S_OK);
        ASSERT_EQ(control->Run(), S_OK);
        EXPECT_EQ(deliver_frames(3), 1);
        ASSERT_EQ(control->Stop(), S_OK);
        EXPECT_EQ(callback->samples, 3);
        EXPECT_EQ(callback->timed, 0) << "preview samples come untimed through the Smart Tee";
        EXPECT_EQ(deliver_frames(1), 0);

        sg->SetCallback(nullptr, 0);
        sg.reset();
        control.reset();
        tee.reset();
        EXPECT_EQ(builder.detach()->Release(), 0u);
        EXPECT_EQ(graph.detach()->Release(), 0u);
        EXPECT_EQ(camera.detach()->Release(), 0u);
        EXPECT_EQ(grabber.detach()->Release(), 0u);
        EXPECT_EQ(null_renderer.detach()->Release(), 0u);
        EXPECT_EQ(callback.detach()->Release(), 0u);
    }
    clock_set(ClockMode::real);
}

}  // namespace
