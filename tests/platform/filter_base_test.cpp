// The filter base and the pin base, through a tiny source and sink: graph
// membership, pin enumeration, shared counts, connection, Stop joining the
// streaming thread; media samples and their pool.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "com_conformance.h"
#include "filters_test_filters.h"
#include "test_filters.h"
#include "vorsim.h"
#include "wide.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;
using filters_test::RecordingSink;

class FilterBase : public testing::Test {
protected:
    void SetUp() override {
        source = make_com<TestSource>();
        sink = filters_test::recording_sink(MEDIATYPE_Video, MEDIASUBTYPE_YUY2);
    }
    void TearDown() override {
        fault_clear();
        source->Stop();
        sink->Stop();
        sink->kept.clear();
        source->out->Disconnect();
        sink->in->Disconnect();
        // Every test must leave only our own references behind.
        EXPECT_EQ(source.detach()->Release(), 0u);
        EXPECT_EQ(sink.detach()->Release(), 0u);
    }
    HRESULT connect() { return source->out->Connect(sink->in, nullptr); }
    void run() {
        ASSERT_EQ(sink->Run(0), S_OK);
        ASSERT_EQ(source->Run(0), S_OK);
    }

    ComPtr<TestSource> source;
    ComPtr<RecordingSink> sink;
};

TEST_F(FilterBase, InterfacesOfFilterAndPins) {
    expect_interfaces(static_cast<IBaseFilter*>(source.get()), {&IID_IBaseFilter, &IID_IMediaFilter, &IID_IPersist},
                      {&IID_IPin, &IID_IMemInputPin, &IID_ISampleGrabber});
    expect_interfaces(static_cast<IPin*>(sink->in), {&IID_IPin, &IID_IMemInputPin}, {&IID_IKsPropertySet, &IID_IBaseFilter});
    // Without a category an output pin hides IKsPropertySet (software filters).
    expect_interfaces(static_cast<IPin*>(source->out), {&IID_IPin}, {&IID_IKsPropertySet, &IID_IMemInputPin});
    source->out->set_category(PIN_CATEGORY_CAPTURE);
    expect_interfaces(static_cast<IPin*>(source->out), {&IID_IPin, &IID_IKsPropertySet}, {&IID_IMemInputPin});
    EXPECT_NE(identity_of(static_cast<IPin*>(source->out)), identity_of(static_cast<IBaseFilter*>(source.get())))
        << "a pin is an object of its own";
}

TEST_F(FilterBase, FindPinMatchesTheIdAndPinsShareTheFilterCount) {
    IBaseFilter* filter = source.get();
    const ULONG base = ref_count(filter);
    IPin* pin = reinterpret_cast<IPin*>(0x1);
    EXPECT_EQ(filter->FindPin(u"Output", &pin), VFW_E_NOT_FOUND) << "the name is not the id";
    EXPECT_EQ(pin, nullptr);
    EXPECT_EQ(filter->FindPin(u"Out", nullptr), E_POINTER);
    ASSERT_EQ(filter->FindPin(u"Out", &pin), S_OK);
    EXPECT_EQ(ref_count(filter), base + 1) << "holding a pin holds the filter";
    PIN_INFO info;
    ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.pFilter, filter);
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    EXPECT_EQ(std::u16string(info.achName), u"Output");
    EXPECT_EQ(ref_count(filter), base + 2) << "QueryPinInfo AddRefs pFilter";
    info.pFilter->Release();
    pin->Release();
    EXPECT_EQ(ref_count(filter), base);
}

TEST_F(FilterBase, JoinFilterGraphKeepsANonOwningGraphAndTheName) {
    ComPtr<FakeGraph> graph = make_com<FakeGraph>();
    IFilterGraph* g = graph.get();
    FILTER_INFO info;
    ASSERT_EQ(source->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(info.achName[0], 0) << "no name outside a graph";
    EXPECT_EQ(info.pGraph, nullptr);

    ASSERT_EQ(source->JoinFilterGraph(g, u"Video Capture"), S_OK);
    EXPECT_EQ(ref_count(g), 1u) << "the filter does not own its graph";
    ASSERT_EQ(source->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(std::u16string(info.achName), u"Video Capture");
    EXPECT_EQ(info.pGraph, g);
    EXPECT_EQ(ref_count(g), 2u) << "QueryFilterInfo AddRefs pGraph";
    info.pGraph->Release();

    ASSERT_EQ(source->JoinFilterGraph(nullptr, nullptr), S_OK);
    ASSERT_EQ(source->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(info.pGraph, nullptr);
    EXPECT_EQ(info.achName[0], 0);
    EXPECT_EQ(graph.detach()->Release(), 0u);
}

TEST_F(FilterBase, PinEnumeratorHoldsTheFilterAndGoesStaleWhenPinsChange) {
    IBaseFilter* filter = sink.get();
    const ULONG base = ref_count(filter);
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(filter->EnumPins(pins.put()), S_OK);
    EXPECT_EQ(ref_count(filter), base + 1) << "the enumerator holds the filter";
    EXPECT_EQ(filter->EnumPins(nullptr), E_POINTER);

    IPin* got[2] = {nullptr, nullptr};
    ULONG fetched = 9;
    EXPECT_EQ(pins->Next(1, nullptr, &fetched), E_POINTER);
    EXPECT_EQ(pins->Next(2, got, nullptr), E_INVALIDARG);
    EXPECT_EQ(pins->Next(2, got, &fetched), S_FALSE) << "only one pin";
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(got[0], static_cast<IPin*>(sink->in));
    got[0]->Release();
    EXPECT_EQ(pins->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    // A second pin appears: the enumerator is out of sync until Reset.
    sink->add_pin(std::make_unique<RecordingSink::In>(*sink, *sink));
    EXPECT_EQ(pins->Next(1, got, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(pins->Reset(), S_OK);
    ASSERT_EQ(pins->Next(2, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    got[0]->Release();
    got[1]->Release();
    pins.reset();
    EXPECT_EQ(ref_count(filter), base);
}

TEST_F(FilterBase, ConnectNegotiatesTheFirstTypeBothSidesTake) {
    // The source offers RGB32 first; the sink only takes YUY2.
    ASSERT_EQ(connect(), S_OK);
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(sink->in->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_YUY2);
    EXPECT_EQ(mt.formattype, FORMAT_VideoInfo);
    ASSERT_EQ(mt.cbFormat, sizeof(VIDEOINFOHEADER));
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biWidth, 320);
    FreeMediaType(mt);
    ASSERT_EQ(source->out->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_YUY2);
    FreeMediaType(mt);

    IPin* peer = nullptr;
    ASSERT_EQ(source->out->ConnectedTo(&peer), S_OK);
    EXPECT_EQ(peer, static_cast<IPin*>(sink->in));
    peer->Release();
    ASSERT_EQ(sink->in->ConnectedTo(&peer), S_OK);
    EXPECT_EQ(peer, static_cast<IPin*>(source->out));
    peer->Release();
    EXPECT_EQ(source->out->Connect(sink->in, nullptr), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(source->out->pool()->sample_size(), 320 * 240 * 2);
}

TEST_F(FilterBase, ConnectRespectsAPartialTypeAndReportsRefusal) {
    IPin* peer = reinterpret_cast<IPin*>(0x1);
    EXPECT_EQ(source->out->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(peer, nullptr);
    EXPECT_EQ(source->out->Disconnect(), S_FALSE) << "S_FALSE: nothing to disconnect";
    AM_MEDIA_TYPE want{};
    want.majortype = MEDIATYPE_Video;
    want.subtype = MEDIASUBTYPE_RGB32;
    EXPECT_EQ(source->out->Connect(sink->in, &want), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_FALSE(source->out->connected());
    EXPECT_FALSE(sink->in->connected()) << "a failed connection leaves both ends free";

    MediaType full = make_video_type(MEDIASUBTYPE_RGB32, 320, 240, 32, kInterval);
    EXPECT_EQ(source->out->Connect(sink->in, &full.get()), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(sink->in->Connect(source->out, nullptr), E_UNEXPECTED) << "connections start at the output";
    ComPtr<TestSource> other = make_com<TestSource>();
    EXPECT_EQ(source->out->Connect(other->out, nullptr), VFW_E_INVALID_DIRECTION);
    EXPECT_EQ(other.detach()->Release(), 0u);
}

TEST_F(FilterBase, PinCategoryThroughIKsPropertySet) {
    source->out->set_category(PIN_CATEGORY_CAPTURE);
    ComPtr<IKsPropertySet> ks;
    ASSERT_EQ(source->out->QueryInterface(IID_IKsPropertySet, ks.put_void()), S_OK);
    GUID category = GUID_NULL;
    DWORD returned = 0;
    EXPECT_EQ(ks->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category, &returned),
              S_OK);
    EXPECT_EQ(category, PIN_CATEGORY_CAPTURE);
    EXPECT_EQ(returned, 16u);
    returned = 0;
    EXPECT_EQ(ks->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, nullptr, 0, &returned), S_OK);
    EXPECT_EQ(returned, 16u) << "size query";
    EXPECT_TRUE(FAILED(ks->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, 8, &returned)));
    EXPECT_EQ(ks->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_MEDIUM, nullptr, 0, &category, 16, &returned),
              E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(ks->Get(PIN_CATEGORY_CAPTURE, 0, nullptr, 0, &category, 16, &returned), E_PROP_SET_UNSUPPORTED);
    DWORD support = 0;
    EXPECT_EQ(ks->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support), S_OK);
    EXPECT_EQ(support, DWORD{KSPROPERTY_SUPPORT_GET});
}

TEST_F(FilterBase, StopJoinsTheStreamingThreadOfABlockedSource) {
    // Every sample is kept downstream: the source ends up waiting for a
    // free one. Stop must still return, with the thread gone.
    clock_set(ClockMode::manual);
    ASSERT_EQ(connect(), S_OK);
    sink->keep = true;
    run();
    const int count = source->out->pool()->count();
    deliver_frames(count);
    EXPECT_EQ(source->out->pool()->free_count(), 0);
    std::thread deliverer([] { deliver_frames(1); });  // blocks in get_buffer
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sink->Stop();
    EXPECT_EQ(source->Stop(), S_OK);
    deliverer.join();
    EXPECT_FALSE(source->thread.running());
    EXPECT_EQ(source->delivery_failures, 1) << "the waiting push gave up on the decommitted pool";
    clock_set(ClockMode::real);
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
    EXPECT_EQ(s->SetActualDataLength(200), S_OK);
    EXPECT_EQ(s->GetActualDataLength(), 200) << "valid bytes differ from the buffer size";
    EXPECT_EQ(s->GetSize(), 256);
    EXPECT_EQ(s->SetActualDataLength(257), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(s->SetPreroll(TRUE), S_OK);
    EXPECT_EQ(s->IsPreroll(), S_OK);
    // Back in the pool, then out again: as good as new.
    IMediaSample* again = nullptr;
    s.reset();
    ASSERT_EQ(pool->get_buffer(&again), S_OK);
    EXPECT_EQ(again, raw) << "the same sample, reused";
    EXPECT_EQ(again->GetActualDataLength(), 256);
    EXPECT_EQ(again->IsPreroll(), S_FALSE);
    EXPECT_EQ(again->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    pool.reset();  // the owner lets go; the sample keeps the pool
    BYTE* data = nullptr;
    EXPECT_EQ(again->GetPointer(&data), S_OK);
    data[255] = 1;
    EXPECT_EQ(again->Release(), 0u);  // and the pool goes with it (ASan checks)
}

}  // namespace
