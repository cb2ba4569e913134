// Opening, streaming and closing on the real clock while outputs are taken,
// and unplugging mid-stream: run under the sanitizers, these catch races
// between the streaming thread and the host thread, and anything left behind.
#include "module/module_fixture.h"

#include <chrono>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "vorsim.h"

namespace {

class Streaming : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        // A fast camera (about 1000 frames a second) in each layout.
        const std::string path = ::testing::TempDir() + "streaming_devices_" + std::to_string(getpid()) + ".json";
        std::ofstream(path) << R"({"video": [
          {"friendly_name": "Fast RGB32", "device_path": "fast-rgb32", "pattern": "ramp",
           "pins": [{"category": "capture", "caps": [
             {"format": "VideoInfo", "subtype": "RGB32", "width": 64, "height": 48, "min_interval": 10000}]}]},
          {"friendly_name": "Fast I420", "device_path": "fast-i420", "pattern": "ramp",
           "pins": [{"category": "capture", "caps": [
             {"format": "VideoInfo", "subtype": "I420", "width": 96, "height": 48, "min_interval": 10000}]}]}],
          "audio": [{"friendly_name": "Mic", "rate": 8000, "channels": 1}]})";
        std::string why;
        ASSERT_TRUE(vorsim::load_device_file(path, why)) << why;
        vorsim::clock_set(vorsim::ClockMode::real);
    }
    void TearDown() override {
        ModuleTest::TearDown();
        vorsim::clock_set(vorsim::ClockMode::manual);
    }
};

TEST_F(Streaming, OpenCloseRepeatedlyWhileBanging) {
    for (const char* setup : {"@colormode argb", "@colormode uyvy @vdevice 1"}) {
        SCOPED_TRACE(setup);
        void* box = new_box(std::string("32 24 ") + setup);
        ASSERT_NE(box, nullptr);
        for (int round = 0; round < 8; ++round) {
            send(box, "open");
            for (int i = 0; i < 10; ++i) {
                send(box, "bang");
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            send(box, "close");
            send(box, "bang");
        }
        EXPECT_EQ(std::count(dump.begin(), dump.end(), "open 1"), 8);
        EXPECT_EQ(std::count(dump.begin(), dump.end(), "close"), 8);
        dump.clear();
    }
    EXPECT_TRUE(console.empty()) << console.front();
}

// The layout changes while frames arrive. The frame callback reads the
// subtype the layout asks for, so the change must not race with a frame in
// flight (ThreadSanitizer reports it when it does); nothing but the atomic
// frame count is touched between frames and the change, so no other lock
// hides the race. Each change reopens the device, which delivers again.
TEST_F(Streaming, ColormodeChangesWhileFramesArrive) {
    // The I420 camera: converted for argb, taken as it is (and converted by
    // the frame callback) for uyvy.
    void* box = new_box("32 24 @vdevice 1");
    send(box, "open");
    t_grabber* x = grabber_of(box);
    for (int round = 0; round < 6; ++round) {
        for (const char* mode : {"colormode uyvy", "colormode argb"}) {
            dropped_ref(x).store(0);
            for (int i = 0; i < 200 && dropped_ref(x).load() < 3; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_GE(dropped_ref(x).load(), 3) << "no frames before " << mode;
            send(box, mode);
            ASSERT_EQ(x->state, GRAB_OPEN) << mode;
        }
    }
    send(box, "bang");
    EXPECT_EQ(out.size(), 1u);
    EXPECT_TRUE(console.empty()) << console.front();
}

TEST_F(Streaming, UnplugWhileStreamingThenFreeTheBox) {
    void* box = new_box("@colormode uyvy @vdevice 1");
    send(box, "open");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    send(box, "bang");
    ASSERT_FALSE(out.empty());
    EXPECT_TRUE(vorsim::unplug_device("Fast I420"));
    send(box, "bang");
    // Freeing the box (fixture tear-down) closes the orphaned graph.
}

}  // namespace
