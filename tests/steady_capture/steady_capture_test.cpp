// Steady capture allocates nothing per frame, on every output path: once a
// box has settled on its device, delivering a frame (the module's SampleCB
// on the streaming thread) and taking it with `bang` (the output on the host
// thread) must not touch the heap. Allocations the module causes inside the
// platform or the host during those calls count too: they are per-frame
// costs of the module's choices.
//
// The frame callback is counted by putting a pass-through callback in front
// of the module's on the open graph's Sample Grabber; the bang by opening
// the host thread's window around it. What the platform does on its own
// (the camera filling the sample, deliver_frames) is not counted.
//
// One allocation per call is the platform's by contract: GetConnectedMediaType
// hands back its format block in task memory, and the output reads the
// connected type on every bang (as the planar conversion does on every
// frame). Those blocks are counted apart and must be exactly one per call;
// everything else must be zero.
#include <unistd.h>

#include <fstream>
#include <string>

#include "capture/sample_callback.h"
#include "module/module_fixture.h"
#include "steady_capture/alloc_count.h"
#include "vorsim.h"

namespace {

constexpr int kSettleFrames = 3;
constexpr int kCountedFrames = 40;

// Opens the callback window around the module's SampleCB.
class CountingCallback final : public ISampleGrabberCB {
public:
    explicit CountingCallback(ISampleGrabberCB* inner) : inner_(inner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
            *ppv = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double time, IMediaSample* sample) override {
        const long long blocks = vorsim::task_memory_allocations();
        alloc_window(AllocWindow::callback);
        const HRESULT hr = inner_->SampleCB(time, sample);
        alloc_window(AllocWindow::none);
        task_blocks += vorsim::task_memory_allocations() - blocks;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double time, BYTE* buffer, LONG length) override {
        return inner_->BufferCB(time, buffer, length);
    }

    long long task_blocks = 0;  // GetConnectedMediaType format blocks

private:
    ISampleGrabberCB* inner_;
};

struct Path {
    const char* name;
    const char* args;  // creation arguments of the box, with its device
    bool planar;       // I420 or YV12: the callback reads the connected type
};

void PrintTo(const Path& p, std::ostream* os) { *os << p.name; }

class SteadyCapture : public ModuleTest, public ::testing::WithParamInterface<Path> {
protected:
    static void SetUpTestSuite() {
        ModuleTest::SetUpTestSuite();
        const std::string path = ::testing::TempDir() + "steady_capture_devices_" + std::to_string(getpid()) + ".json";
        std::ofstream file(path);
        file << R"({"video": [)";
        const char* subtypes[] = {"RGB32", "UYVY", "YUY2", "I420", "YV12"};
        for (int i = 0; i < 5; ++i) {
            file << (i ? "," : "") << R"({"friendly_name": "Camera )" << subtypes[i]
                 << R"(", "pattern": "ramp", "pins": [{"category": "capture", "caps": [)"
                 << R"({"format": "VideoInfo", "subtype": ")" << subtypes[i]
                 << R"(", "width": 320, "height": 240}]}]})";
        }
        file << R"(], "audio": [{"friendly_name": "Microphone", "rate": 8000, "channels": 1}]})";
        file.close();
        std::string why;
        ASSERT_TRUE(vorsim::load_device_file(path, why)) << why;
        vorsim::clock_set(vorsim::ClockMode::manual);
    }

    // One frame through the module: delivered, then taken with a bang.
    void frame(void* box) {
        static t_symbol* const bang = gensym("bang");
        vorsim::deliver_frames(1);
        const long long blocks = vorsim::task_memory_allocations();
        alloc_window(AllocWindow::bang);
        object_send(box, bang, 0, nullptr);
        hox_host_run_queue();
        alloc_window(AllocWindow::none);
        bang_task_blocks += vorsim::task_memory_allocations() - blocks;
    }

    long long bang_task_blocks = 0;
};

TEST_P(SteadyCapture, NoAllocationPerFrame) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers own malloc: only operator new would be counted";
#endif
    void* box = new_box(GetParam().args);
    ASSERT_NE(box, nullptr);
    send(box, "open");
    ASSERT_FALSE(dump.empty());
    ASSERT_EQ(dump.back(), "open 1") << (console.empty() ? "" : console.back());
    t_grabber* g = grabber_of(box);
    ASSERT_NE(g->samplegrabber, nullptr);
    ASSERT_NE(g->callback, nullptr);
    CountingCallback counting(g->callback);
    ASSERT_EQ(g->samplegrabber->SetCallback(&counting, 0), S_OK);

    for (int i = 0; i < kSettleFrames; ++i) frame(box);
    // The fixture's outlet sink keeps text (it allocates): while counting,
    // outputs are only counted.
    long outputs = 0;
    hox_host_set_outlet_sink(
        [](void* ctx, void*, long index, bool dump, t_symbol*, long, t_atom*) {
            if (index == 0 && !dump) ++*static_cast<long*>(ctx);
        },
        &outputs);
    const long long callback_before = allocations_in(AllocWindow::callback);
    const long long bang_before = allocations_in(AllocWindow::bang);
    counting.task_blocks = 0;
    bang_task_blocks = 0;
    for (int i = 0; i < kCountedFrames; ++i) frame(box);
    const long long in_callback = allocations_in(AllocWindow::callback) - callback_before - counting.task_blocks;
    const long long in_bang = allocations_in(AllocWindow::bang) - bang_before - bang_task_blocks;
    ModuleTest::SetUp();  // the fixture's sinks again

    g->samplegrabber->SetCallback(g->callback, 0);
    send(box, "close");

    // Every frame gave an output, and nothing went wrong on the way.
    EXPECT_EQ(outputs, kCountedFrames);
    EXPECT_TRUE(console.empty()) << console.front();
    RecordProperty("allocations_per_frame_callback", std::to_string(static_cast<double>(in_callback) / kCountedFrames));
    RecordProperty("allocations_per_frame_bang", std::to_string(static_cast<double>(in_bang) / kCountedFrames));
    EXPECT_EQ(in_callback, 0) << "heap allocations in SampleCB over " << kCountedFrames << " frames";
    EXPECT_EQ(in_bang, 0) << "heap allocations in bang over " << kCountedFrames << " frames";
    EXPECT_EQ(counting.task_blocks, GetParam().planar ? kCountedFrames : 0);
    EXPECT_EQ(bang_task_blocks, kCountedFrames);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SteadyCapture,
    ::testing::Values(Path{"argb_rgb32", "320 240 @vdevice 0", false}, Path{"argb_rgb32_scaled", "160 120 @vdevice 0", false},
                      Path{"argb_rgb32_interp", "160 120 @interp 1 @vdevice 0", false},
                      Path{"argb_rgb32_texture", "320 240 @output_texture 1 @vdevice 0", false},
                      Path{"uyvy_shared_uyvy", "320 240 @colormode uyvy @vdevice 1", false},
                      Path{"uyvy_shared_yuy2", "320 240 @colormode uyvy @vdevice 2", false},
                      Path{"uyvy_shared_i420", "320 240 @colormode uyvy @vdevice 3", true},
                      Path{"uyvy_shared_yv12", "320 240 @colormode uyvy @vdevice 4", true},
                      Path{"uyvy_scaled_uyvy", "160 120 @colormode uyvy @vdevice 1", false},
                      Path{"uyvy_scaled_i420", "160 120 @colormode uyvy @vdevice 3", true},
                      Path{"uyvy_texture_yuy2", "320 240 @colormode uyvy @output_texture 1 @vdevice 2", false}),
    [](const ::testing::TestParamInfo<Path>& info) { return std::string(info.param.name); });

}  // namespace
