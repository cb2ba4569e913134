// Device controls against the virtual devices: what reaches the device
// (frame interval, amplifier flags, routes) where the shell cannot see it,
// and the rules that keep a graph from being rebuilt when it must not be.
#include "module/module_fixture.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "capture/com_holders.h"
#include "vorsim.h"

namespace {

class Controls : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        const std::string path = ::testing::TempDir() + "controls_devices_" + std::to_string(getpid()) + ".json";
        std::ostringstream many;  // 300 listable capabilities
        for (int i = 0; i < 300; ++i)
            many << (i ? "," : "") << R"({"format": "VideoInfo", "subtype": "RGB32", "width": )" << 2 * (i + 1)
                 << R"(, "height": 2})";
        std::ofstream(path) << R"({"video": [
          {"friendly_name": "Ramp Camera", "pattern": "ramp",
           "pins": [{"category": "capture", "caps": [
             {"format": "VideoInfo", "subtype": "RGB32", "width": 32, "height": 8},
             {"format": "VideoInfo", "subtype": "RGB32", "width": 16, "height": 4, "min_interval": 400000}]}],
           "procamp": {
             "brightness": {"min": 0, "max": 255, "step": 1, "default": 128, "flags": 3, "value": 10},
             "hue": {"min": 0, "max": 10, "step": 1, "default": 5, "flags": 1, "value": 2}}},
          {"friendly_name": "Analog", "pattern": "ramp",
           "pins": [{"category": "capture", "caps": [
             {"format": "VideoInfo", "subtype": "RGB32", "width": 32, "height": 8, "standard": 1}]}],
           "crossbar": {"inputs": ["Tuner", "Composite"], "routed": 0}},
          {"friendly_name": "Many Formats", "pins": [{"category": "capture", "caps": [)"
                            << many.str() << R"(]}]}],
          "audio": [{"friendly_name": "Mic", "rate": 8000, "channels": 1}]})";
        std::string why;
        ASSERT_TRUE(vorsim::load_device_file(path, why)) << why;
    }

    // A box with the device open on DirectShow.
    void* open_box(const std::string& args) {
        void* box = new_box(args);
        send(box, "open");
        EXPECT_EQ(dump.back(), "open 1") << (console.empty() ? "" : console.front());
        return grabber_of(box)->graph ? box : nullptr;
    }

    // The capture pin's current AvgTimePerFrame.
    static int64_t pin_interval(t_grabber* g) {
        ComRef<IBaseFilter> capture;
        EXPECT_EQ(g->graph->FindFilterByName(DSW("Video Capture"), capture.put()), S_OK);
        ComRef<IEnumPins> pins;
        capture->EnumPins(pins.put());
        ComRef<IPin> pin;
        EXPECT_EQ(pins->Next(1, pin.put(), nullptr), S_OK);
        ComRef<IAMStreamConfig> config;
        EXPECT_EQ(pin.query(IID_IAMStreamConfig, config), S_OK);
        MediaTypePtr mt;
        EXPECT_EQ(config->GetFormat(mt.put()), S_OK);
        return video_info(*mt.get())->AvgTimePerFrame;
    }

    static ComRef<IAMVideoProcAmp> procamp(t_grabber* g) {
        ComRef<IBaseFilter> capture;
        g->graph->FindFilterByName(DSW("Video Capture"), capture.put());
        ComRef<IAMVideoProcAmp> amp;
        capture.query(IID_IAMVideoProcAmp, amp);
        return amp;
    }

    // Plane `plane` of the output cell (x, y).
    static int cell(void* box, int x, int y, int plane) {
        void* m = output_of(box);
        const t_vor_matrix_info info = info_of(m);
        char* data = nullptr;
        vor_object_method(m, _vor_sym_getdata, &data);
        return static_cast<uint8_t>(data[y * info.dimstride[1] + x * 4 + plane]);
    }
};

TEST_F(Controls, AColormodeThatChangesNothingKeepsAReplacedFrameBufferPending) {
    void* box = open_box("@adapt 1");
    ASSERT_NE(box, nullptr);
    vorsim::deliver_frames(1);
    send(box, "bang");  // the frame matrix reads the 32 x 8 frame buffer
    send(box, "format 1");
    vorsim::deliver_frames(1);  // a 16 x 4 frame: the callback replaces the buffer
    send(box, "colormode argb");
    send(box, "bang");
    // The output reads the new buffer: B = x, G = y of the 16 x 4 ramp.
    const t_vor_matrix_info info = info_of(output_of(box));
    EXPECT_EQ(info.dim[0], 16);
    EXPECT_EQ(info.dim[1], 4);
    EXPECT_EQ(cell(box, 5, 2, 3), 5);
    EXPECT_EQ(cell(box, 5, 2, 2), 2);
}

TEST_F(Controls, FrameRateIsAskedOfTheCapturePinAtEveryBuild) {
    void* box = open_box("32 8 @vdevice 0");
    ASSERT_NE(box, nullptr);
    t_grabber* g = grabber_of(box);
    EXPECT_EQ(pin_interval(g), 333333) << "framerate 0 and no format: the device's own";
    send(box, "framerate 15");
    EXPECT_EQ(pin_interval(g), 333333) << "setting the attribute alone rebuilds nothing";
    send(box, "close");
    send(box, "open");
    EXPECT_EQ(pin_interval(g), 666666);
    send(box, "framerate 7");
    send(box, "resolution 64 16");  // a reopen
    // 1428571 asked; the device runs at its nearest interval.
    EXPECT_EQ(pin_interval(g), 1333332);
    // Back to 0 after a format was applied: that format's minimum interval.
    send(box, "framerate 0");
    send(box, "format 1");
    EXPECT_EQ(g->frameinterval, 400000);
    EXPECT_EQ(pin_interval(g), 400000);
    EXPECT_TRUE(console.empty()) << console.front();
}

TEST_F(Controls, ResolutionReopensOnlyWhenItChanges) {
    // The ramp's red is the frame number, counted from each start.
    void* box = open_box("32 8 @vdevice 0");
    ASSERT_NE(box, nullptr);
    vorsim::deliver_frames(3);
    send(box, "resolution 32 8");
    vorsim::deliver_frames(1);
    send(box, "bang");
    EXPECT_EQ(cell(box, 0, 0, 1), 3) << "same size: the stream went on";
    send(box, "resolution 64 16");
    vorsim::deliver_frames(1);
    send(box, "bang");
    EXPECT_EQ(cell(box, 0, 0, 1), 0) << "new size: reopened, counting again";
}

TEST_F(Controls, FormatWaitsForTheEndOfARecording) {
    void* box = open_box("32 8 @vdevice 0");
    ASSERT_NE(box, nullptr);
    hox_host_set_default_folder(::testing::TempDir().c_str());
    send(box, "write controls_format_" + std::to_string(getpid()));
    t_grabber* g = grabber_of(box);
    ASSERT_EQ(g->state, GRAB_RECORDING);
    send(box, "format 1");
    EXPECT_EQ(g->format, 1);
    send(box, "getresolution");
    EXPECT_EQ(dump.back(), "resolution 32 8") << "the recording keeps its format";
    send(box, "stop");
    send(box, "getresolution");
    EXPECT_EQ(dump.back(), "resolution 16 4") << "the preview after it takes the new one";
}

TEST_F(Controls, FormatChangedReportsListedFormatsOnly) {
    void* box = open_box("32 8 @vdevice 0");
    ASSERT_NE(box, nullptr);
    t_grabber* g = grabber_of(box);
    dump.clear();
    vor_object_method(g, gensym("format_changed"), 1L);
    EXPECT_EQ(g->format, 1);
    ASSERT_EQ(console.size(), 1u);
    EXPECT_EQ(console[0], "post: device format set to: RGB32 [16 x 4] 25");
    ASSERT_EQ(dump.size(), 1u);
    EXPECT_EQ(dump[0], "device_format \"RGB32 [16 x 4] 25\"");
    vor_object_method(g, gensym("format_changed"), 2L);
    EXPECT_EQ(g->format, 2);
    EXPECT_EQ(console.size(), 1u);
    EXPECT_EQ(dump.size(), 1u);
}

TEST_F(Controls, DefaultsPassTheCapabilityFlagsAndSkipAutoOnly) {
    void* box = open_box("32 8 @vdevice 0");
    ASSERT_NE(box, nullptr);
    t_grabber* g = grabber_of(box);
    send(box, "brightness 0.5");
    ComRef<IAMVideoProcAmp> amp = procamp(g);
    LONG value = 0, flags = 0;
    ASSERT_EQ(amp->Get(VideoProcAmp_Brightness, &value, &flags), S_OK);
    EXPECT_EQ(value, 127);
    EXPECT_EQ(flags, VideoProcAmp_Flags_Manual);
    send(box, "defaults");
    ASSERT_EQ(amp->Get(VideoProcAmp_Brightness, &value, &flags), S_OK);
    EXPECT_EQ(value, 128);
    EXPECT_EQ(flags, 3);
    ASSERT_EQ(amp->Get(VideoProcAmp_Hue, &value, &flags), S_OK);
    EXPECT_EQ(value, 2) << "no manual control: left alone";
}

TEST_F(Controls, OnlyANewRouteAsksForAnOutputChange) {
    void* box = open_box("32 8 @vdevice 1");
    ASSERT_NE(box, nullptr);
    t_grabber* g = grabber_of(box);
    set_outchange(g, OUTCHANGE_NONE);
    send(box, "input 0");
    EXPECT_EQ(outchange_of(g), OUTCHANGE_NONE);
    send(box, "input 1");
    EXPECT_EQ(outchange_of(g), OUTCHANGE_GEOMETRY);
    send(box, "getinput");
    EXPECT_EQ(dump.back(), "input 1");
}

TEST_F(Controls, TheListStopsAt256) {
    void* box = open_box("@vdevice 2");
    ASSERT_NE(box, nullptr);
    send(box, "getformatlist");
    const std::string& list = dump.back();
    EXPECT_EQ(std::count(list.begin(), list.end(), '['), 256);
    EXPECT_NE(list.find("\"RGB32 [512 x 2] 30\""), std::string::npos);
    EXPECT_EQ(list.find("[514 x 2]"), std::string::npos);
}

}  // namespace
