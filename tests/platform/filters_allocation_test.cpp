// Steady streaming through the Sample Grabber, Smart Tee, converters and
// Null Renderer allocates nothing: this program's operator new counts the
// allocations of each thread, and the test pushes frames on its own thread.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

#include "filters_test_filters.h"

namespace {
thread_local long long t_allocations = 0;

void* counted_alloc(std::size_t n) {
    ++t_allocations;
    if (void* p = std::malloc(n != 0 ? n : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t n) { return counted_alloc(n); }
void* operator new[](std::size_t n) { return counted_alloc(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
// The library's own nothrow allocations (std::stable_sort's buffer) must
// come from the same allocator as the deletes above.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    ++t_allocations;
    return std::malloc(n != 0 ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    ++t_allocations;
    return std::malloc(n != 0 ? n : 1);
}
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using namespace vorsim;
using namespace filters_test;

class Counting final : public ComObject<ISampleGrabberCB> {
public:
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override {
        ++calls;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }
    int calls = 0;  // streaming thread = the test's thread
};

// Pushes two frames to settle, then counts the allocations of twenty.
long long allocations_while_streaming(PushSource& source, const std::vector<uint8_t>& frame) {
    EXPECT_EQ(source.push(frame, 0, 1), S_OK);
    EXPECT_EQ(source.push(frame, 1, 2), S_OK);
    const long long before = t_allocations;
    for (int i = 0; i < 20; ++i) EXPECT_EQ(source.push(frame, 2 + i, 3 + i), S_OK);
    return t_allocations - before;
}

TEST(FilterAllocations, TheCounterSeesAllocations) {
    const long long before = t_allocations;
    auto* p = new std::vector<int>(10);
    delete p;
    EXPECT_EQ(t_allocations - before, 2);
}

// source -> filter (in_id / out_id) -> Null Renderer, plus Null Renderers
// on any further outputs given.
// `prepare` may set the filter up before it streams.
void expect_no_allocations(const CLSID& clsid, const MediaType& input, const std::vector<uint8_t>& frame,
                           const char16_t* in_id, std::vector<const char16_t*> out_ids,
                           const std::function<void(IBaseFilter*)>& prepare = {}) {
    ComPtr<IBaseFilter> filter = create_filter(clsid);
    if (prepare) prepare(filter.get());
    ComPtr<PushSource> source = make_com<PushSource>(std::vector<MediaType>{input});
    ComPtr<IPin> in = find_pin(filter.get(), in_id);
    ASSERT_EQ(source->out->Connect(in.get(), nullptr), S_OK);
    std::vector<ComPtr<IBaseFilter>> renderers;
    std::vector<ComPtr<IPin>> outs;
    for (const char16_t* id : out_ids) {
        renderers.push_back(create_filter(CLSID_NullRenderer));
        outs.push_back(find_pin(filter.get(), id));
        ASSERT_EQ(outs.back()->Connect(find_pin(renderers.back().get(), u"In").get(), nullptr), S_OK);
    }
    for (auto& r : renderers) ASSERT_EQ(r->Run(0), S_OK);
    run_all({filter.get(), source.get()});
    EXPECT_EQ(allocations_while_streaming(*source, frame), 0);
    for (auto& r : renderers) r->Stop();
    stop_all({filter.get(), source.get()});
    disconnect_both(in.get());
    for (auto& o : outs) disconnect_both(o.get());
    in.reset();
    outs.clear();
    expect_final_release(filter);
    expect_final_release(source);
    for (auto& r : renderers) expect_final_release(r);
}

TEST(FilterAllocations, GrabberConvertersAndTheSmartTee) {
    {
        SCOPED_TRACE("Sample Grabber buffering, with a callback");
        ComPtr<Counting> cb = make_com<Counting>();
        expect_no_allocations(CLSID_SampleGrabber, make_video_type(MEDIASUBTYPE_RGB32, 64, 48, 32, 333333),
                              std::vector<uint8_t>(64 * 48 * 4, 1), u"In", {u"Out"}, [&](IBaseFilter* f) {
                                  ComPtr<ISampleGrabber> sg;
                                  ASSERT_EQ(f->QueryInterface(IID_ISampleGrabber, sg.put_void()), S_OK);
                                  ASSERT_EQ(sg->SetCallback(cb.get(), 0), S_OK);
                                  ASSERT_EQ(sg->SetBufferSamples(TRUE), S_OK);
                              });
        EXPECT_EQ(cb->calls, 22);
        expect_final_release(cb);
    }
    {
        SCOPED_TRACE("AVI Decompressor");
        expect_no_allocations(CLSID_AVIDec, make_video_type(MEDIASUBTYPE_YUY2, 64, 48, 16, 333333),
                              std::vector<uint8_t>(64 * 48 * 2, 128), u"XForm In", {u"XForm Out"});
    }
    {
        SCOPED_TRACE("Color Space Converter");
        expect_no_allocations(CLSID_Colour, make_video_type(MEDIASUBTYPE_RGB24, 63, 48, 24, 333333),
                              std::vector<uint8_t>(192 * 48, 7), u"XForm In", {u"XForm Out"});
    }
    {
        SCOPED_TRACE("Smart Tee");
        expect_no_allocations(CLSID_SmartTee, make_video_type(MEDIASUBTYPE_UYVY, 64, 48, 16, 333333),
                              std::vector<uint8_t>(64 * 48 * 2, 9), u"Input", {u"Capture", u"Preview"});
    }
    {
        SCOPED_TRACE("DV Video Decoder");
        std::vector<uint8_t> payload(24 + 64 * 48 * 2, 128);
        const uint32_t w = 64, h = 48;
        std::memcpy(payload.data(), "VORSIMDV", 8);
        std::memcpy(&payload[8], &w, 4);
        std::memcpy(&payload[12], &h, 4);
        MediaType dv = make_video_type(MEDIASUBTYPE_dvsd, 64, 48, 24, 333667);
        dv->lSampleSize = DWORD(payload.size());
        expect_no_allocations(CLSID_DVVideoCodec, dv, payload, u"XForm In", {u"XForm Out"});
    }
    {
        SCOPED_TRACE("DV Splitter");
        DVINFO info{};
        MediaType interleaved;
        interleaved->majortype = MEDIATYPE_Interleaved;
        interleaved->subtype = MEDIASUBTYPE_dvsd;
        interleaved->lSampleSize = 4096;
        interleaved.set_format(FORMAT_DvInfo, &info, sizeof info);
        expect_no_allocations(CLSID_DVSplitter, interleaved, std::vector<uint8_t>(4096, 1), u"Input",
                              {u"DVVidOut0", u"AudOut00"});
    }
}

}  // namespace
