// The patch the box benchmarks run in: every device index they use must
// name a camera of the size and layout they expect, and a box on it must
// deliver what the camera shows, shared or copied as the benchmark says.
#include "box_harness.h"

#include <gtest/gtest.h>

#include <ostream>

#include "vorsim.h"

namespace vorbench {
// Test names and failures show the size as WxH.
void PrintTo(const FrameSize& s, std::ostream* os) { *os << s.name(); }
}  // namespace vorbench

namespace {

using vorbench::Box;
using vorbench::FrameSize;

t_vor_matrix_info info_of(void* m) {
    t_vor_matrix_info info{};
    vor_object_method(m, _vor_sym_getinfo, &info);
    return info;
}

class BoxHarness : public ::testing::TestWithParam<FrameSize> {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(vorbench::box_world(why)) << why;
        vorbench::box_talk() = {};
    }
};

TEST_P(BoxHarness, Rgb32CameraGivesAnUprightArgbFrame) {
    const FrameSize s = GetParam();
    Box box(std::to_string(s.w) + " " + std::to_string(s.h) + " @vdevice " + std::to_string(vorbench::rgb32_device(s)));
    ASSERT_NE(box.object(), nullptr);
    box.send("open");
    EXPECT_EQ(vorbench::box_talk().last_dump, "open 1");
    vorsim::deliver_frames(1);
    box.bang();
    EXPECT_EQ(vorbench::box_talk().matrices, 1);
    EXPECT_EQ(vorbench::box_talk().errors, 0) << vorbench::box_talk().last_error;
    const t_vor_matrix_info oi = info_of(box.output());
    EXPECT_EQ(oi.dim[0], s.w);
    EXPECT_EQ(oi.dim[1], s.h);
    EXPECT_FALSE(oi.flags & VOR_MATRIX_DATA_REFERENCE);
    uint8_t cell[4];
    vorbench::first_cell(box.output(), cell);
    // The camera's B G R X = 16 128 235 0 as A R G B.
    EXPECT_EQ(cell[0], 255);
    EXPECT_EQ(cell[1], 235);
    EXPECT_EQ(cell[2], 128);
    EXPECT_EQ(cell[3], 16);
    box.send("close");
}

TEST_P(BoxHarness, UyvyCameraIsSharedAtItsOwnSize) {
    const FrameSize s = GetParam();
    Box box(std::to_string(s.w) + " " + std::to_string(s.h) + " @colormode uyvy @vdevice " +
            std::to_string(vorbench::uyvy_device(s)));
    box.send("open");
    EXPECT_EQ(vorbench::box_talk().last_dump, "open 1");
    vorsim::deliver_frames(1);
    box.bang();
    EXPECT_EQ(vorbench::box_talk().matrices, 1);
    const t_vor_matrix_info oi = info_of(box.output());
    EXPECT_EQ(oi.dim[0], s.w / 2);
    EXPECT_EQ(oi.dim[1], s.h);
    EXPECT_TRUE(oi.flags & VOR_MATRIX_DATA_REFERENCE);
    uint8_t cell[4];
    vorbench::first_cell(box.output(), cell);
    // U Y0 V Y1 as the camera delivers them.
    EXPECT_EQ(cell[0], 16);
    EXPECT_EQ(cell[1], 128);
    EXPECT_EQ(cell[2], 235);
    EXPECT_EQ(cell[3], 0);
    box.send("close");
}

INSTANTIATE_TEST_SUITE_P(FrameSizes, BoxHarness, ::testing::ValuesIn(vorbench::frame_sizes()),
                         [](const ::testing::TestParamInfo<FrameSize>& p) { return p.param.name(); });

}  // namespace
