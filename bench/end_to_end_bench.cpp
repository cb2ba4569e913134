// End to end on the manual clock, argb at the frame's own size: a real box
// on a solid RGB32 camera; each frame is one deliver_frames(1) (the camera
// fills a sample, the Sample Grabber calls SampleCB, which copies it into the
// frame buffer) followed by one `bang` (frommatrix into the output, alpha
// filled) with the host's queue run. Side by side with memcpy of one frame.
// The camera has a capture pin only, so the graph's preview goes through a
// Smart Tee, which copies each frame; end_to_end_argb_preview_pin is the
// same on a camera with a preview pin of its own.
//
// hot   frames back to back
// cold  ours: before each frame, untimed, every cache line of the benchmark
//       arena read (the camera's samples, the frame buffer and the output
//       live in the platform and the module, out of reach of a rotation);
//       memcpy: a rotation of frames
//
// Counters: as every group's (bench_support.h), and allocs_per_frame: heap
// allocations per frame of ours on the streaming thread and in the bang
// (deliver_frames' own bookkeeping on this thread is not counted).
#include <cstring>
#include <functional>

#include "alloc_count.h"
#include "box_harness.h"
#include "vorsim.h"

namespace {

using namespace vorbench;

constexpr int kColdIterations = 20;

void group(benchmark::State& st, const FrameSize& s, Temp t, int device) {
    std::string why;
    if (!box_world(why)) {
        st.SkipWithError(why.c_str());
        return;
    }
    box_talk() = {};
    Box box(std::to_string(s.w) + " " + std::to_string(s.h) + " @vdevice " + std::to_string(device));
    box.send("open");
    vorsim::deliver_frames(2);
    box.bang();
    uint8_t cell[4];
    first_cell(box.output(), cell);
    if (box_talk().last_dump != "open 1" || box_talk().matrices != 1) {
        st.SkipWithError(
            ("the box did not open and output: " + box_talk().last_dump + " " + box_talk().last_error).c_str());
        return;
    }
    // The camera's solid B G R X = 16 128 235 0 as A R G B.
    if (cell[0] != 255 || cell[1] != 235 || cell[2] != 128 || cell[3] != 16) {
        st.SkipWithError("the output is not the camera's frame");
        return;
    }

    const size_t bytes = static_cast<size_t>(s.w) * s.h * 4;
    Rotation r(t, {bytes, bytes});
    long long frames = 0;
    const AllocCounts before = alloc_counts();
    const long matrices_before = box_talk().matrices;
    std::vector<Contender> g = {
        {"ours", 2.0 * static_cast<double>(bytes),
         [&](int) {
             vorsim::deliver_frames(1);
             alloc_window(true);
             box.bang();
             alloc_window(false);
             ++frames;
         },
         t == Temp::cold ? std::function<void()>(evict_caches) : std::function<void()>()},
        {"memcpy", 2.0 * static_cast<double>(bytes), [&](int k) { std::memcpy(r.part(k, 1), r.part(k, 0), bytes); }},
    };
    run_group(st, r, g);
    const AllocCounts after = alloc_counts();
    const long long allocs = (after.host - before.host) + (after.other - before.other);
    const long outputs = box_talk().matrices - matrices_before;
    box.send("close");

    if (box_talk().errors) st.SkipWithError(box_talk().last_error.c_str());
    if (outputs != frames) st.SkipWithError("a bang gave no output");
    st.counters["allocs_per_frame"] = frames > 0 ? static_cast<double>(allocs) / static_cast<double>(frames) : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    alloc_mark_host_thread();
    for (const FrameSize& s : frame_sizes()) {
        for (const bool own_preview : {false, true}) {
            const std::string path = own_preview ? "end_to_end_argb_preview_pin" : "end_to_end_argb";
            const int device = own_preview ? rgb32_preview_pin_device(s) : rgb32_device(s);
            add(path, s, Temp::hot, [=](benchmark::State& st) { group(st, s, Temp::hot, device); });
            // Every cold frame first reads the whole arena: a fixed count.
            add(path, s, Temp::cold, [=](benchmark::State& st) {
                group(st, s, Temp::cold, device);
            })->Iterations(kColdIterations);
        }
    }
    return run("end_to_end_bench", argc, argv);
}
