// What every frame-path benchmark shares: the frame sizes, hot and cold
// buffers, the side-by-side runner, the counters, and the program's main.
//
// Hot: the same buffers every frame. Cold: each frame takes the next slot of
// a rotation whose slots together span more than the last-level cache, so
// every frame is read from and written to memory. All slots are carved from
// one arena that is allocated and filled once per program, so a benchmark's
// set-up costs nothing however often Google Benchmark calls it.
//
// Side by side: our code and its anchors run in one benchmark, taking turns
// frame by frame, each frame timed on its own. On a machine shared with
// other work, both then see the same load, and their ratio is measured
// within every repetition.
//
// Names: PATH/WxH/hot|cold (a program may add variants of its own).
// Counters of a group, for each contender NAME ("ours..." for our code; an
// anchor is named after what it runs: memcpy, libyuv_ARGBShuffle_flip, ...):
//   NAME frames/s   frames through the contender per second of its own time
//   NAME bytes/s    frame bytes read plus frame bytes written per second (the
//                   input frame and the output frame once each: the same
//                   definition for our code and its anchors)
//   OURS/ANCHOR     OURS frames/s over ANCHOR frames/s, for every pair
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vorbench {

struct FrameSize {
    int32_t w;
    int32_t h;
    std::string name() const { return std::to_string(w) + "x" + std::to_string(h); }
};

// 640x480, 1280x720, 1920x1080.
const std::vector<FrameSize>& frame_sizes();

enum class Temp { hot, cold };
inline const char* temp_name(Temp t) { return t == Temp::hot ? "hot" : "cold"; }

// The last-level cache size: VOR_BENCH_LLC_BYTES when set, else what the
// system reports (L3, else L2), else 32 MiB.
size_t llc_bytes();
// Bytes a cold rotation spans: twice the last-level cache, at least 64 MiB
// and at most 1 GiB (VOR_BENCH_COLD_BYTES overrides).
size_t cold_bytes();

// A rotation of frame slots, each made of `parts` buffers of the given sizes.
// Hot has one slot; cold as many as fit in cold_bytes() (at least two).
// Buffers start 64-byte aligned; parts of a slot are staggered so that no
// two share their low address bits (no 4 KiB aliasing between source and
// destination). The bytes are an arbitrary fixed pattern, never zero pages.
class Rotation {
public:
    Rotation(Temp temp, std::vector<size_t> part_bytes);
    int slots() const { return slots_; }
    uint8_t* part(int slot, int index) const {
        return base_ + static_cast<size_t>(slot) * slot_bytes_ + offsets_[index];
    }
    // Next slot in turn (0 always when hot).
    int next() {
        const int s = cursor_;
        if (++cursor_ == slots_) cursor_ = 0;
        return s;
    }

private:
    uint8_t* base_;
    size_t slot_bytes_ = 0;
    std::vector<size_t> offsets_;
    int slots_ = 1;
    int cursor_ = 0;
};

// One contender of a side-by-side group.
struct Contender {
    std::string name;  // "ours..." for our code
    double bytes_per_frame;
    std::function<void(int slot)> frame;  // one frame's work on a rotation slot
    // Untimed work before each of its frames (may be empty).
    std::function<void()> prepare = {};
};

// Runs the group: every iteration, each contender in turn does one frame on
// the next slot of `r` (so when cold no contender finds another's buffers
// cached; when hot each first does one untimed frame, so that its own
// buffers are the ones cached). Each timed frame is measured on its own; the
// iteration's time (manual time) is the sum. Sets the counters above.
void run_group(benchmark::State& state, Rotation& r, std::vector<Contender>& group);

// Reads every cache line of the arena (more than the last-level cache):
// what was cached before is gone afterwards. For benchmarks that cannot
// rotate their buffers (they live inside the platform or the module); run
// it outside the timed part.
void evict_caches();
// Flushes the cache lines of one buffer out of every cache.
void flush_lines(const void* data, size_t bytes);

// Registers `fn` as PATH/WxH/VARIANT in milliseconds of the time `fn`
// reports itself (SetIterationTime, as run_group does).
benchmark::internal::Benchmark* add(const std::string& path, const FrameSize& size, const std::string& variant,
                                    std::function<void(benchmark::State&)> fn);
inline benchmark::internal::Benchmark* add(const std::string& path, const FrameSize& size, Temp temp,
                                           std::function<void(benchmark::State&)> fn) {
    return add(path, size, temp_name(temp), std::move(fn));
}

// Pins the process to the CPU it runs on (the timings of one run then share
// one core's caches); reports the LLC and cold sizes in the context; runs the
// benchmarks. `program` names the program in messages.
int run(const char* program, int argc, char** argv);

}  // namespace vorbench
