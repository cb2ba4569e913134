#include "bench_support.h"

#include <emmintrin.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vorbench {

namespace {

constexpr size_t kMiB = size_t{1} << 20;
constexpr size_t kAlign = 64;
constexpr size_t kStagger = 1088;  // 17 cache lines: parts never share low address bits

size_t env_bytes(const char* name) {
    const char* v = std::getenv(name);
    if (!v || !*v) return 0;
    char* end = nullptr;
    const unsigned long long n = std::strtoull(v, &end, 10);
    return end && *end == '\0' ? static_cast<size_t>(n) : 0;
}

size_t round_up(size_t n, size_t to) { return (n + to - 1) / to * to; }

// The arena behind every rotation, filled once.
struct Arena {
    uint8_t* data = nullptr;
    size_t size = 0;
};

Arena& arena() {
    static Arena a = [] {
        Arena made;
        made.size = cold_bytes() + 64 * kMiB;  // room for the parts' stagger
        made.data = static_cast<uint8_t*>(std::aligned_alloc(4096, made.size));
        if (!made.data) {
            std::fprintf(stderr, "bench: cannot allocate %zu bytes for the frame arena\n", made.size);
            std::exit(1);
        }
        // Every page touched before anything is timed; bytes vary so that no
        // kernel meets a special case (all zero, all equal).
        uint32_t s = 0x9e3779b9u;
        auto* words = reinterpret_cast<uint32_t*>(made.data);
        for (size_t i = 0; i < made.size / 4; ++i) {
            s = s * 1664525u + 1013904223u;
            words[i] = s;
        }
        return made;
    }();
    return a;
}

}  // namespace

const std::vector<FrameSize>& frame_sizes() {
    static const std::vector<FrameSize> sizes = {{640, 480}, {1280, 720}, {1920, 1080}};
    return sizes;
}

size_t llc_bytes() {
    if (const size_t v = env_bytes("VOR_BENCH_LLC_BYTES")) return v;
    long l3 = sysconf(_SC_LEVEL3_CACHE_SIZE);
    if (l3 > 0) return static_cast<size_t>(l3);
    long l2 = sysconf(_SC_LEVEL2_CACHE_SIZE);
    if (l2 > 0) return static_cast<size_t>(l2);
    return 32 * kMiB;
}

size_t cold_bytes() {
    if (const size_t v = env_bytes("VOR_BENCH_COLD_BYTES")) return std::max(v, 64 * kMiB);
    return std::clamp(2 * llc_bytes(), 64 * kMiB, 1024 * kMiB);
}

Rotation::Rotation(Temp temp, std::vector<size_t> part_bytes) {
    size_t at = 0;
    for (size_t i = 0; i < part_bytes.size(); ++i) {
        at = round_up(at, 4096) + i * kStagger;
        offsets_.push_back(at);
        at += round_up(part_bytes[i], kAlign);
    }
    slot_bytes_ = round_up(at, 4096);
    Arena& a = arena();
    slots_ = temp == Temp::hot ? 1 : static_cast<int>(std::max<size_t>(2, cold_bytes() / slot_bytes_));
    if (static_cast<size_t>(slots_) * slot_bytes_ > a.size) {
        std::fprintf(stderr, "bench: a rotation of %d slots of %zu bytes does not fit the arena\n", slots_,
                     slot_bytes_);
        std::exit(1);
    }
    base_ = a.data;
}

void evict_caches() {
    // Loads only: the lines it brings in are clean, so the timed work that
    // follows does not pay for writing them back.
    Arena& a = arena();
    const volatile uint8_t* p = a.data;
    uint8_t sink = 0;
    for (size_t i = 0; i < a.size; i += kAlign) sink = static_cast<uint8_t>(sink + p[i]);
    benchmark::DoNotOptimize(sink);
}

void flush_lines(const void* data, size_t bytes) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < bytes; i += kAlign) _mm_clflush(p + i);
    _mm_mfence();
}

void run_group(benchmark::State& state, Rotation& r, std::vector<Contender>& group) {
    using clock = std::chrono::steady_clock;
    const bool hot = r.slots() == 1;
    std::vector<double> seconds(group.size(), 0.0);
    for (auto _ : state) {
        double iteration = 0;
        for (size_t i = 0; i < group.size(); ++i) {
            Contender& c = group[i];
            const int slot = r.next();
            if (c.prepare) c.prepare();
            if (hot) c.frame(slot);  // its own buffers cached, not the previous contender's
            const auto t0 = clock::now();
            c.frame(slot);
            benchmark::ClobberMemory();
            const double dt = std::chrono::duration<double>(clock::now() - t0).count();
            seconds[i] += dt;
            iteration += dt;
        }
        state.SetIterationTime(iteration);
    }
    const double frames = static_cast<double>(state.iterations());
    if (frames == 0) return;
    for (size_t i = 0; i < group.size(); ++i) {
        const double fps = seconds[i] > 0 ? frames / seconds[i] : 0.0;
        state.counters[group[i].name + " frames/s"] = fps;
        state.counters[group[i].name + " bytes/s"] = fps * group[i].bytes_per_frame;
    }
    for (size_t i = 0; i < group.size(); ++i) {
        if (group[i].name.rfind("ours", 0) != 0) continue;
        for (size_t j = 0; j < group.size(); ++j) {
            if (group[j].name.rfind("ours", 0) == 0 || seconds[i] <= 0) continue;
            state.counters[group[i].name + "/" + group[j].name] = seconds[j] / seconds[i];
        }
    }
}

benchmark::internal::Benchmark* add(const std::string& path, const FrameSize& size, const std::string& variant,
                                    std::function<void(benchmark::State&)> fn) {
    const std::string name = path + "/" + size.name() + "/" + variant;
    return benchmark::RegisterBenchmark(name.c_str(), [fn](benchmark::State& st) { fn(st); })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

int run(const char* program, int argc, char** argv) {
    const int cpu = sched_getcpu();
    if (cpu >= 0) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        if (sched_setaffinity(0, sizeof one, &one) != 0)
            std::fprintf(stderr, "%s: could not pin to CPU %d\n", program, cpu);
    }
    benchmark::AddCustomContext("vor_llc_bytes", std::to_string(llc_bytes()));
    benchmark::AddCustomContext("vor_cold_bytes", std::to_string(cold_bytes()));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace vorbench
