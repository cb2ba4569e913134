// The virtual camera draws the ramp exactly as the in-process platform's
// virtual devices do (platform/sim/devices/pattern.cpp): every byte, for
// each layout the camera streams, at several sizes and frame numbers. The
// Windows transcripts expect the cell values of the Linux ones because of
// this.
#include "ramp.h"

#include "devices/pattern.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Case {
    vorvcam::Layout layout;
    vorsim::SubtypeId subtype;
    const char* name;
};

const Case kCases[] = {
    {vorvcam::Layout::rgb32, vorsim::subtype::RGB32, "RGB32"},
    {vorvcam::Layout::uyvy, vorsim::subtype::UYVY, "UYVY"},
    {vorvcam::Layout::yuy2, vorsim::subtype::YUY2, "YUY2"},
    {vorvcam::Layout::i420, vorsim::subtype::I420, "I420"},
};

vorsim::Pattern ramp() {
    vorsim::Pattern p;
    p.kind = vorsim::Pattern::Kind::Ramp;
    return p;
}

TEST(VcamRamp, EveryByteMatchesThePlatformPattern) {
    // 320 x 240 is the cameras' size; 300 wraps x past 255; 2 x 2 is the
    // smallest I420 frame; the negative height is a top-down RGB32 frame.
    const int32_t sizes[][2] = {{320, 240}, {300, 258}, {2, 2}, {6, 4}};
    for (const Case& c : kCases) {
        for (const auto& s : sizes) {
            for (int32_t sign : {1, -1}) {
                if (sign < 0 && c.layout != vorvcam::Layout::rgb32) continue;
                const int32_t w = s[0], h = s[1] * sign;
                const vorsim::FrameFormat format{c.subtype, w, h};
                const size_t size = vorsim::frame_size(format);
                ASSERT_GT(size, 0u);
                ASSERT_EQ(vorvcam::ramp_frame_size(c.layout, w, h), size) << c.name << " " << w << "x" << h;
                for (uint64_t n : {uint64_t{0}, uint64_t{3}, uint64_t{300}}) {
                    std::vector<uint8_t> expected(size, 0xAB), actual(size, 0xCD);
                    ASSERT_EQ(vorsim::fill_frame(ramp(), format, n, expected.data(), size), size);
                    ASSERT_TRUE(vorvcam::ramp_fill(c.layout, w, h, n, actual.data(), size));
                    EXPECT_EQ(actual, expected) << c.name << " " << w << "x" << h << " frame " << n;
                }
            }
        }
    }
}

TEST(VcamRamp, KnownCellsOfTheFirstCamera) {
    // Bytes the transcripts read back as cells: RGB32 bottom-up, so image
    // row y is memory row h - 1 - y.
    std::vector<uint8_t> f(vorvcam::ramp_frame_size(vorvcam::Layout::rgb32, 320, 240));
    ASSERT_TRUE(vorvcam::ramp_fill(vorvcam::Layout::rgb32, 320, 240, 2, f.data(), f.size()));
    const uint8_t* px = f.data() + (size_t(240 - 1 - 7) * 320 + 5) * 4;  // x 5, y 7
    EXPECT_EQ(px[0], 5);   // B = x
    EXPECT_EQ(px[1], 7);   // G = y
    EXPECT_EQ(px[2], 2);   // R = n
    EXPECT_EQ(px[3], 0);
    px = f.data() + (size_t(240 - 1 - 200) * 320 + 300) * 4;
    EXPECT_EQ(px[0], 300 % 256);

    std::vector<uint8_t> u(vorvcam::ramp_frame_size(vorvcam::Layout::uyvy, 320, 240));
    ASSERT_TRUE(vorvcam::ramp_fill(vorvcam::Layout::uyvy, 320, 240, 1, u.data(), u.size()));
    const uint8_t* pair = u.data() + size_t(7) * 640 + 3 * 4;  // pair 3 of row 7
    EXPECT_EQ(pair[0], 3);
    EXPECT_EQ(pair[1], 7);
    EXPECT_EQ(pair[2], 1);
    EXPECT_EQ(pair[3], 135);
}

TEST(VcamRamp, RefusesSizesALayoutCannotHold) {
    uint8_t buffer[64] = {};
    EXPECT_EQ(vorvcam::ramp_frame_size(vorvcam::Layout::uyvy, 3, 2), 0u);
    EXPECT_EQ(vorvcam::ramp_frame_size(vorvcam::Layout::i420, 4, 3), 0u);
    EXPECT_EQ(vorvcam::ramp_frame_size(vorvcam::Layout::rgb32, 0, 2), 0u);
    EXPECT_FALSE(vorvcam::ramp_fill(vorvcam::Layout::uyvy, 3, 2, 0, buffer, sizeof buffer));
    // Too small a buffer: nothing is written.
    EXPECT_FALSE(vorvcam::ramp_fill(vorvcam::Layout::rgb32, 4, 4, 0, buffer, 63));
    for (uint8_t b : buffer) EXPECT_EQ(b, 0);
    EXPECT_TRUE(vorvcam::ramp_fill(vorvcam::Layout::rgb32, 4, 4, 0, buffer, 64));
}

}  // namespace
