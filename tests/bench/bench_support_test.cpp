// The hot and cold buffers of the benchmarks: a cold rotation must really
// span more than the cache, its buffers must not overlap or alias, and hot
// must stay on one slot.
#include "bench_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace {

using vorbench::Rotation;
using vorbench::Temp;

constexpr size_t kMiB = size_t{1} << 20;

// A small cache for this program, before anything sizes the arena from it.
const bool g_small_cache = [] {
    setenv("VOR_BENCH_LLC_BYTES", std::to_string(40 * kMiB).c_str(), 1);
    unsetenv("VOR_BENCH_COLD_BYTES");
    return true;
}();

struct Span {
    const uint8_t* begin;
    const uint8_t* end;
};

bool overlap(const Span& a, const Span& b) { return a.begin < b.end && b.begin < a.end; }

TEST(ColdBytes, TwiceTheCacheWithinBounds) {
    ASSERT_TRUE(g_small_cache);
    EXPECT_EQ(vorbench::llc_bytes(), 40 * kMiB);
    EXPECT_EQ(vorbench::cold_bytes(), 80 * kMiB);
    setenv("VOR_BENCH_LLC_BYTES", std::to_string(8 * kMiB).c_str(), 1);
    EXPECT_EQ(vorbench::cold_bytes(), 64 * kMiB);  // never below 64 MiB
    setenv("VOR_BENCH_LLC_BYTES", std::to_string(2048 * kMiB).c_str(), 1);
    EXPECT_EQ(vorbench::cold_bytes(), 1024 * kMiB);  // never above 1 GiB
    setenv("VOR_BENCH_LLC_BYTES", "not a number", 1);
    EXPECT_GT(vorbench::llc_bytes(), 0u);  // falls back on what the system says
    setenv("VOR_BENCH_LLC_BYTES", std::to_string(40 * kMiB).c_str(), 1);
}

TEST(Rotation, ColdSpansMoreThanTheCache) {
    const size_t frame = 1920 * 1080 * 4;
    Rotation r(Temp::cold, {frame, frame});
    ASSERT_GE(r.slots(), 2);
    const uint8_t* first = r.part(0, 0);
    const uint8_t* last_end = r.part(r.slots() - 1, 1) + frame;
    EXPECT_GT(static_cast<size_t>(last_end - first), vorbench::llc_bytes());
    // One more slot would not fit the cold set: the rotation uses it all.
    EXPECT_GT(static_cast<size_t>(last_end - first) + 2 * frame + 8192, vorbench::cold_bytes());
}

TEST(Rotation, ColdVisitsEverySlotInTurn) {
    Rotation r(Temp::cold, {4 * kMiB});
    const int n = r.slots();
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < n; ++i) EXPECT_EQ(r.next(), i);
}

TEST(Rotation, BuffersNeitherOverlapNorAlias) {
    const size_t sizes[] = {640 * 480, 640 * 480 / 4, 640 * 480 / 4, 640 * 480 * 2};
    Rotation r(Temp::cold, {sizes[0], sizes[1], sizes[2], sizes[3]});
    std::vector<Span> spans;
    for (int s = 0; s < r.slots(); ++s) {
        std::set<uintptr_t> low_bits;
        for (int p = 0; p < 4; ++p) {
            const uint8_t* b = r.part(s, p);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 64, 0u) << "slot " << s << " part " << p;
            low_bits.insert(reinterpret_cast<uintptr_t>(b) % 4096);
            spans.push_back({b, b + sizes[p]});
        }
        EXPECT_EQ(low_bits.size(), 4u) << "parts of slot " << s << " share their offset in a page";
    }
    for (size_t i = 0; i < spans.size(); ++i)
        for (size_t j = i + 1; j < spans.size(); ++j) ASSERT_FALSE(overlap(spans[i], spans[j])) << i << " " << j;
}

}  // namespace
