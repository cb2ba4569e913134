// The uyvy output at the frame's own size: the output matrix refers to the
// frame buffer (optimize 1, which every box has), so a bang copies no pixel
// and should cost the same whatever the frame size. A real box on a solid
// UYVY camera, on the manual clock; what is timed is one `bang` with the
// host's queue run after it, as a patch's bang is.
//
// hot             bangs back to back (the same frame shared again)
// cold            before each bang, untimed: the frame buffer flushed out of
//                 the caches (the frame the bang shares is not cached, as
//                 with a rotation of frames larger than the cache)
// after_delivery  before each bang, untimed: a new frame delivered, then
//                 the frame buffer flushed: steady capture, where the
//                 delivery's copies of the frame pass through the caches
//                 between two bangs (so the bang finds less of its own
//                 state cached, the more so the larger the frame)
// evicted         as after_delivery, then every cache line of the benchmark
//                 arena read: nothing of the box, its matrices or the host's
//                 objects is cached either (the worst case)
//
// Counters: bang_us (the median time of one bang, in microseconds: on a
// shared machine a single preemption moves the mean of short runs by more
// than a bang costs; bang_us_mean has the mean),
// allocs_per_frame (heap allocations per iteration: the bang's on the host
// thread, the delivery's on the streaming thread), "ours frames/s" and
// "ours bytes/s" (bytes of the shared frame made available per second).
#include <algorithm>
#include <chrono>
#include <numeric>
#include <vector>

#include "alloc_count.h"
#include "box_harness.h"
#include "vorsim.h"

namespace {

using namespace vorbench;

constexpr int kColdIterations = 500;
constexpr int kEvictedIterations = 20;

enum class Variant { hot, cold, after_delivery, evicted };

void bang(benchmark::State& st, const FrameSize& s, Variant v) {
    std::string why;
    if (!box_world(why)) {
        st.SkipWithError(why.c_str());
        return;
    }
    box_talk() = {};
    Box box(std::to_string(s.w) + " " + std::to_string(s.h) + " @colormode uyvy @vdevice " +
            std::to_string(uyvy_device(s)));
    box.send("open");
    vorsim::deliver_frames(2);
    box.bang();
    t_vor_matrix_info oi{};
    vor_object_method(box.output(), _vor_sym_getinfo, &oi);
    if (box_talk().last_dump != "open 1" || box_talk().matrices != 1) {
        st.SkipWithError(
            ("the box did not open and output: " + box_talk().last_dump + " " + box_talk().last_error).c_str());
        return;
    }
    if (!(oi.flags & VOR_MATRIX_DATA_REFERENCE) || oi.dim[0] != s.w / 2 || oi.dim[1] != s.h) {
        st.SkipWithError("the output does not share the frame");
        return;
    }

    void* frame = nullptr;
    vor_object_method(box.output(), _vor_sym_getdata, &frame);
    if (!frame) {
        st.SkipWithError("the shared output has no data");
        return;
    }

    std::vector<double> times;  // seconds, one a bang
    times.reserve(static_cast<size_t>(st.max_iterations));
    const AllocCounts before = alloc_counts();
    for (auto _ : st) {
        if (v != Variant::hot) {
            if (v != Variant::cold) vorsim::deliver_frames(1);
            flush_lines(frame, static_cast<size_t>(s.w) * s.h * 2);
            if (v == Variant::evicted) evict_caches();
        }
        const auto t0 = std::chrono::steady_clock::now();
        alloc_window(true);
        box.bang();
        alloc_window(false);
        const double dt = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        times.push_back(dt);
        st.SetIterationTime(dt);
    }
    const AllocCounts after = alloc_counts();
    const long long allocs = (after.host - before.host) + (after.other - before.other);
    const double n = static_cast<double>(st.iterations());
    box.send("close");

    if (box_talk().errors) st.SkipWithError(box_talk().last_error.c_str());
    if (!times.empty()) {
        const double total = std::accumulate(times.begin(), times.end(), 0.0);
        const double mean = total / static_cast<double>(times.size());
        st.counters["ours frames/s"] = static_cast<double>(times.size()) / total;
        st.counters["ours bytes/s"] = static_cast<double>(times.size()) / total * s.w * s.h * 2;
        std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2), times.end());
        st.counters["bang_us"] = times[times.size() / 2] * 1e6;
        st.counters["bang_us_mean"] = mean * 1e6;
    }
    st.counters["allocs_per_frame"] = n > 0 ? static_cast<double>(allocs) / n : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    alloc_mark_host_thread();
    for (const FrameSize& s : frame_sizes()) {
        add("uyvy_share", s, Temp::hot, [=](benchmark::State& st) {
            bang(st, s, Variant::hot);
        })->Unit(benchmark::kMicrosecond);
        add("uyvy_share", s, Temp::cold, [=](benchmark::State& st) { bang(st, s, Variant::cold); })
            ->Iterations(kColdIterations)
            ->Unit(benchmark::kMicrosecond);
        add("uyvy_share", s, "after_delivery", [=](benchmark::State& st) { bang(st, s, Variant::after_delivery); })
            ->Iterations(kColdIterations)
            ->Unit(benchmark::kMicrosecond);
        add("uyvy_share", s, "evicted", [=](benchmark::State& st) { bang(st, s, Variant::evicted); })
            ->Iterations(kEvictedIterations)
            ->Unit(benchmark::kMicrosecond);
    }
    return run("uyvy_share_bench", argc, argv);
}
