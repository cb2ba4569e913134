// The sim's frame path at full HD: a source on the filter base fills
// 1920x1080 RGB32 frames with the solid pattern and delivers them, on the
// manual clock, to a sink that does nothing with them – the Sample Grabber
// with an empty SampleCB feeding a Null Renderer, as the module's graph has
// it, or, when no Sample Grabber is registered, a bare sink of our own (the
// label says which ran).
//
// Counters:
//   frames/s          frames through the path per second of wall time, with
//                     the whole process pinned to one CPU
//   allocs_per_frame  operator new calls (this program replaces the global
//                     one) during the timed loop, per frame; deliver_frames'
//                     own bookkeeping is spread over the batch
//
// Run by hand: build/bin/frame_path_bench (not part of ctest).
#include <benchmark/benchmark.h>
#include <sched.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "class_registry.h"
#include "devices/pattern.h"
#include "filter_base.h"
#include "pin_base.h"
#include "sample_grabber_api.h"
#include "streaming.h"
#include "vorsim.h"

// ---- counting allocations ----------------------------------------------------

namespace {
std::atomic<long long> g_allocations{0};

void* counted_alloc(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
    if (void* p = counted_alloc(size)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size) {
    if (void* p = counted_alloc(size)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return counted_alloc(size); }
[[gnu::noinline]] void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return counted_alloc(size); }
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using namespace vorsim;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr REFERENCE_TIME kInterval = 333333;
const CLSID CLSID_BenchSource = {0x1d0a5e01, 0x00b1, 0x4c11, {0x90, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0xb1}};
const CLSID CLSID_BenchSink = {0x1d0a5e01, 0x00b2, 0x4c11, {0x90, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0xb2}};

// A full-HD RGB32 source: one output pin, a streaming thread, the solid
// pattern.
class SolidSource final : public Filter<> {
public:
    class Out final : public OutputPin<> {
    public:
        explicit Out(FilterCore& f) : OutputPin<>(f, u"Out", u"Capture") {}
        std::vector<MediaType> media_types() const override {
            return {make_video_type(MEDIASUBTYPE_RGB32, kWidth, kHeight, 32, kInterval)};
        }
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
            return mt.majortype == MEDIATYPE_Video && mt.subtype == MEDIASUBTYPE_RGB32 ? S_OK : S_FALSE;
        }
    };

    SolidSource() : Filter<>(CLSID_BenchSource) {
        out = static_cast<Out*>(add_pin(std::make_unique<Out>(*this)));
        pattern_.kind = Pattern::Kind::Solid;
        pattern_.solid = {0x20, 0x40, 0x80, 0x00};
        format_.subtype = subtype::RGB32;
        format_.width = kWidth;
        format_.height = kHeight;
    }
    ~SolidSource() override { thread_.stop(); }

    Out* out;
    std::atomic<long long> delivered{0};
    std::atomic<long long> failed{0};

protected:
    HRESULT on_run(REFERENCE_TIME) override {
        try {
            thread_.start(kInterval, [this](uint64_t index) { push(index); });
        } catch (...) {
            return E_FAIL;
        }
        return S_OK;
    }
    HRESULT on_pause(FILTER_STATE from) override {
        if (from == State_Running) thread_.stop();
        return S_OK;
    }
    void on_stop() override { thread_.stop(); }

private:
    void push(uint64_t index) {
        IMediaSample* sample = nullptr;
        if (FAILED(out->get_delivery_buffer(&sample))) {
            ++failed;
            return;
        }
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        const size_t bytes = fill_frame(pattern_, format_, index, data, static_cast<size_t>(sample->GetSize()));
        sample->SetActualDataLength(static_cast<LONG>(bytes));
        REFERENCE_TIME start = static_cast<REFERENCE_TIME>(index) * kInterval;
        REFERENCE_TIME stop = start + kInterval;
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(TRUE);
        if (out->deliver(sample) == S_OK) {
            ++delivered;
        } else {
            ++failed;
        }
        sample->Release();
    }

    Pattern pattern_;
    FrameFormat format_;
    StreamingThread thread_;
};

// The fallback sink: takes RGB32 and does nothing.
class IdleSink final : public Filter<> {
public:
    class In final : public InputPin<> {
    public:
        explicit In(FilterCore& f) : InputPin<>(f, u"In", u"In") {}
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
            return mt.majortype == MEDIATYPE_Video ? S_OK : S_FALSE;
        }
    };
    IdleSink() : Filter<>(CLSID_BenchSink) { add_pin(std::make_unique<In>(*this)); }
};

// An empty SampleCB.
class IdleCallback final : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as the benchmark
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }
};

ComPtr<IPin> pin_of(IBaseFilter* filter, const char16_t* id) {
    ComPtr<IPin> pin;
    filter->FindPin(reinterpret_cast<LPCWSTR>(id), pin.put());
    return pin;
}

// The filters downstream of the source, in stopping order.
struct Chain {
    std::vector<ComPtr<IBaseFilter>> filters;  // downstream first
    const char* label = "";
};

bool build_chain(SolidSource& source, Chain& chain, IdleCallback& callback) {
    ComPtr<IBaseFilter> grabber;
    if (CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, grabber.put_void()) ==
        S_OK) {
        ComPtr<ISampleGrabber> sg;
        if (grabber->QueryInterface(IID_ISampleGrabber, sg.put_void()) != S_OK) return false;
        sg->SetCallback(&callback, 0);
        if (source.out->Connect(pin_of(grabber.get(), u"In").get(), nullptr) != S_OK) return false;
        ComPtr<IBaseFilter> null_renderer;
        if (CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             null_renderer.put_void()) == S_OK &&
            pin_of(grabber.get(), u"Out")->Connect(pin_of(null_renderer.get(), u"In").get(), nullptr) == S_OK) {
            chain.filters.push_back(null_renderer);
            chain.label = "Sample Grabber (empty SampleCB) -> Null Renderer";
        } else {
            chain.label = "Sample Grabber (empty SampleCB)";
        }
        chain.filters.push_back(grabber);
        return true;
    }
    auto sink = make_com<IdleSink>();
    if (source.out->Connect(sink->pin_at(0)->ipin(), nullptr) != S_OK) return false;
    chain.filters.push_back(ComPtr<IBaseFilter>(sink.get()));
    chain.label = "own idle sink (no Sample Grabber registered)";
    return true;
}

void disconnect_all(IBaseFilter* filter) {
    ComPtr<IEnumPins> pins;
    if (filter->EnumPins(pins.put()) != S_OK) return;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        pin->Disconnect();
        pin->Release();
    }
}

void BM_FullHdRgb32Solid(benchmark::State& state) {
    const int batch = static_cast<int>(state.range(0));
    clock_set(ClockMode::manual);
    IdleCallback callback;
    auto source = make_com<SolidSource>();
    Chain chain;
    if (!build_chain(*source, chain, callback)) {
        state.SkipWithError("could not connect the source to a sink");
        return;
    }
    for (auto& f : chain.filters) f->Run(0);
    source->Run(0);
    deliver_frames(4);  // warm up: the pool's samples, first-use allocations

    const long long delivered_before = source->delivered.load();
    const long long allocations_before = g_allocations.load();
    for (auto _ : state) {
        deliver_frames(batch);
    }
    const long long allocations = g_allocations.load() - allocations_before;
    const long long frames = source->delivered.load() - delivered_before;

    source->Stop();
    for (auto& f : chain.filters) f->Stop();
    disconnect_all(source.get());
    for (auto& f : chain.filters) disconnect_all(f.get());
    clock_set(ClockMode::real);

    state.SetLabel(chain.label);
    state.SetItemsProcessed(frames);
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["allocs_per_frame"] = frames > 0 ? static_cast<double>(allocations) / frames : 0.0;
    state.counters["failed"] = static_cast<double>(source->failed.load());
}
BENCHMARK(BM_FullHdRgb32Solid)->Arg(1)->Arg(100)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // One core for everything: the streaming thread and this one.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    if (sched_setaffinity(0, sizeof one, &one) != 0) std::fprintf(stderr, "frame_path_bench: could not pin to CPU 0\n");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
