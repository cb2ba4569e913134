// The output of a frame whose connected type and sample disagree: a box
// open on a graph of its own (an empty one from the platform) whose Sample
// Grabber is a stand-in that reports the type the test chooses, fed through
// the box's own frame callback.
#include "module/module_fixture.h"

#include <climits>
#include <vector>

#include "capture/sample_callback.h"
#include "capture/stand_ins.h"

namespace {

class FrameOutput : public ModuleTest {
protected:
    // A box whose output follows the frame (no size given: adapt 1).
    void SetUp() override {
        ModuleTest::SetUp();
        box = new_box();
        ASSERT_NE(box, nullptr);
        g = grabber_of(box);
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                                               reinterpret_cast<void**>(&graph))));
        g->graph = graph;
        g->samplegrabber = &grabber;
        g->state = GRAB_OPEN;
        g->suspended = 0;
    }
    void TearDown() override {
        if (g) {
            g->samplegrabber = nullptr;
            g->graph = nullptr;
            g->state = GRAB_CLOSED;
        }
        if (graph) graph->Release();
        ModuleTest::TearDown();
    }

    // A sample of `bytes` under a type of w x h, then a bang.
    void frame(int32_t w, int32_t h, size_t bytes) {
        grabber.width = w;
        grabber.height = h;
        grabber.buffer = static_cast<LONG>(bytes);
        BytesSample sample(std::vector<uint8_t>(bytes, 0x5A));
        ASSERT_EQ(g->callback->SampleCB(0.0, &sample), S_OK);
        send(box, "bang");
    }
    t_vor_texture_state texture() {
        t_vor_texture_state st{};
        EXPECT_EQ(vor_texture_state(g->texture, &st), HOX_ERR_NONE);
        return st;
    }

    void* box = nullptr;
    t_grabber* g = nullptr;
    IGraphBuilder* graph = nullptr;
    StandInGrabber grabber;
};

TEST_F(FrameOutput, ASampleShorterThanItsTypeIsNotOutputAndDoesNotSizeTheOutput) {
    ASSERT_EQ(g->adapt, 1);
    frame(4000, 3000, 64);  // the type claims 48 MB
    EXPECT_TRUE(out.empty());
    frame(INT_MAX, -INT_MAX, 64);  // more bytes than 64 bits count
    EXPECT_TRUE(out.empty());
    const t_vor_matrix_info info = info_of(output_of(box));
    EXPECT_EQ(info.dim[0], 320);
    EXPECT_EQ(info.dim[1], 240);
    EXPECT_TRUE(console.empty());
    // A whole frame is output at its own size.
    frame(8, -6, 8 * 6 * 4);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(info_of(output_of(box)).dim[0], 8);
    EXPECT_EQ(info_of(output_of(box)).dim[1], 6);
}

TEST_F(FrameOutput, ATextureIsNotGivenMoreRowsThanTheSampleHolds) {
    send(box, "output_texture 1");
    frame(64, 48, 64 * 4 * 10);  // ten rows of forty-eight
    EXPECT_EQ(texture().width, 0);
    EXPECT_EQ(texture().draws, 0);
    frame(64, 48, 64 * 48 * 4);
    EXPECT_EQ(texture().width, 64);
    EXPECT_EQ(texture().height, 48);
}

TEST_F(FrameOutput, SizesThatDescribeNoFrameAreAnInvalidType) {
    frame(8, INT_MIN, 64);  // its magnitude is no int32
    frame(0, 6, 64);
    // uyvy as an open graph connects it (a colormode message would reopen
    // the device).
    g->colormode = gensym("uyvy");
    g->subtype = grabber.subtype = MEDIASUBTYPE_UYVY;
    frame(1, 6, 64);  // no whole pixel pair
    // Each reported by the grabber, and its code by the box.
    std::vector<std::string> want;
    for (int i = 0; i < 3; ++i) want.insert(want.end(), {"error: invalid media type", "error: error code EROR"});
    EXPECT_EQ(console, want);
    EXPECT_TRUE(out.empty());
}

}  // namespace
