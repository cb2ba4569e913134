// The shell's platform commands against the in-process platform itself:
// what each command changes there, what a wrong line says, and the dialog
// line. The commands against the module are covered by the transcripts.
#include "platform_commands.h"
#include "real_host.h"

#include "devices/device_set.h"
#include "vorsim.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vorhost {
namespace {

std::vector<std::string> video_labels() {
    std::vector<std::string> labels;
    for (const vorsim::VideoDevice& d : vorsim::current_devices().video)
        labels.push_back(d.description.value_or(d.friendly_name.value_or("")));
    return labels;
}

const char* kOneCamera = R"({"video": [{"description": "Plugged Camera", "pins": [{"category": "capture",
    "caps": [{"format": "VideoInfo", "subtype": "YUY2", "width": 320, "height": 240}]}]}]})";

class PlatformCommandsTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::path(testing::TempDir()) /
               ("vorhost-platform-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        saved_ = vorsim::current_devices();
        vorsim::load_devices(vorsim::DeviceSet{});
        vorsim::fault_clear();
    }
    void TearDown() override {
        vorsim::fault_clear();
        vorsim::clock_set(vorsim::ClockMode::real);
        vorsim::load_devices(saved_);
        std::filesystem::remove_all(dir_);
    }

    std::string write(const std::string& name, const std::string& text) {
        const std::filesystem::path path = dir_ / name;
        std::ofstream(path) << text;
        return path.string();
    }
    bool line(const std::string& text) { return shell_.run_line(1, text); }
    std::string errors() { return err_.str(); }

    std::filesystem::path dir_;
    vorsim::DeviceSet saved_;
    RealHost host_;
    std::ostringstream out_, err_;
    Interpreter shell_{host_, out_, err_};
};

TEST_F(PlatformCommandsTest, PlugTakesRelativeFilesFromTheScriptFolder) {
    write("camera.json", kOneCamera);
    PlatformCommands commands(shell_, dir_.string());
    EXPECT_TRUE(line("plug camera.json")) << errors();
    EXPECT_EQ(video_labels(), std::vector<std::string>{"Plugged Camera"});
    EXPECT_TRUE(line("plug " + (dir_ / "camera.json").string())) << "an absolute path as given";
    EXPECT_EQ(video_labels(), (std::vector<std::string>{"Plugged Camera", "Plugged Camera"}));
    EXPECT_TRUE(line("unplug \"Plugged Camera\"")) << errors();
    EXPECT_EQ(video_labels(), std::vector<std::string>{"Plugged Camera"}) << "one device per unplug";
    EXPECT_TRUE(out_.str().empty()) << "plugging prints nothing";
}

TEST_F(PlatformCommandsTest, WrongPlugAndUnplugLinesSayWhy) {
    write("broken.json", R"({"video": [{"description": "X", "pins": []}]})");
    PlatformCommands commands(shell_, dir_.string());
    EXPECT_FALSE(line("plug missing.json"));
    EXPECT_NE(errors().find("vorhost: 1: plug: "), std::string::npos) << errors();
    EXPECT_NE(errors().find("missing.json"), std::string::npos) << errors();
    err_.str("");
    EXPECT_FALSE(line("plug broken.json"));
    EXPECT_NE(errors().find("vorhost: 1: plug: "), std::string::npos) << errors();
    err_.str("");
    EXPECT_FALSE(line("unplug \"No Such Camera\""));
    EXPECT_EQ(errors(), "vorhost: 1: unplug: no device \"No Such Camera\"\n");
    err_.str("");
    EXPECT_FALSE(line("unplug"));
    EXPECT_EQ(errors(), "vorhost: 1: unplug: expected unplug DEVICE\n");
    EXPECT_TRUE(video_labels().empty()) << "nothing changed";
}

TEST_F(PlatformCommandsTest, FaultArmsCountsAndClears) {
    PlatformCommands commands(shell_, "");
    EXPECT_TRUE(line("fault IMediaControl::Run 2")) << errors();
    EXPECT_TRUE(vorsim::fault_hit("IMediaControl::Run"));
    EXPECT_TRUE(vorsim::fault_hit("IMediaControl::Run"));
    EXPECT_FALSE(vorsim::fault_hit("IMediaControl::Run")) << "two calls only";

    EXPECT_TRUE(line("fault CoCreateInstance:SampleGrabber")) << errors();
    EXPECT_TRUE(line("fault IFilterGraph::AddFilter:Null")) << errors();
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(vorsim::fault_hit("CoCreateInstance:SampleGrabber")) << "always";
    EXPECT_TRUE(line("fault clear")) << errors();
    EXPECT_FALSE(vorsim::fault_hit("CoCreateInstance:SampleGrabber"));
    EXPECT_FALSE(vorsim::fault_hit("IFilterGraph::AddFilter:Null"));
}

TEST_F(PlatformCommandsTest, WrongFaultAndFramesLines) {
    PlatformCommands commands(shell_, "");
    EXPECT_FALSE(line("fault IMediaControl::Run 0"));
    EXPECT_EQ(errors(), "vorhost: 1: fault: N must be a whole number from 1, not 0\n");
    EXPECT_FALSE(vorsim::fault_hit("IMediaControl::Run")) << "nothing armed";
    err_.str("");
    EXPECT_FALSE(line("fault clear 3"));
    EXPECT_EQ(errors(), "vorhost: 1: fault: expected fault CALL [N] or fault clear\n");
    err_.str("");
    EXPECT_FALSE(line("fault"));
    EXPECT_EQ(errors(), "vorhost: 1: fault: expected fault CALL [N] or fault clear\n");
    err_.str("");
    EXPECT_FALSE(line("frames -1"));
    EXPECT_EQ(errors(), "vorhost: 1: frames: N must be a whole number from 0, not -1\n");
    err_.str("");
    EXPECT_FALSE(line("frames many"));
    EXPECT_EQ(errors(), "vorhost: 1: frames: N must be a whole number, not \"many\"\n");
    err_.str("");
    EXPECT_TRUE(line("frames 3")) << "nothing is running: nothing to wait for";
    EXPECT_TRUE(errors().empty());
}

TEST_F(PlatformCommandsTest, PropertyPagesPrintOneLineWhileTheCommandsExist) {
    CLSID pages[2] = {};
    {
        PlatformCommands commands(shell_, "");
        EXPECT_EQ(OleCreatePropertyFrame(nullptr, 0, 0, reinterpret_cast<LPCOLESTR>(u"Virtual Camera"), 0, nullptr, 2,
                                         pages, 0, 0, nullptr),
                  S_OK);
        EXPECT_EQ(OleCreatePropertyFrame(nullptr, 0, 0, reinterpret_cast<LPCOLESTR>(u"Cam\u00e9ra"), 0, nullptr, 1,
                                         pages, 0, 0, nullptr),
                  S_OK);
    }
    EXPECT_EQ(out_.str(),
              "dialog: property pages of \"Virtual Camera\" (2 pages)\n"
              "dialog: property pages of \"Cam\xC3\xA9ra\" (1 pages)\n");
    EXPECT_EQ(OleCreatePropertyFrame(nullptr, 0, 0, reinterpret_cast<LPCOLESTR>(u"Later"), 0, nullptr, 2, pages, 0,
                                     0, nullptr),
              S_OK);
    EXPECT_EQ(out_.str().find("Later"), std::string::npos) << "no report once the commands are gone";
}

TEST_F(PlatformCommandsTest, SetupLoadsTheDeviceSetAndSetsTheClock) {
    Options o;
    std::string why;
    o.device_set = DeviceSet::file;
    o.devices_path = write("camera.json", kOneCamera);
    o.clock = Clock::manual;
    ASSERT_TRUE(setup_platform(o, why)) << why;
    EXPECT_EQ(video_labels(), std::vector<std::string>{"Plugged Camera"});
    EXPECT_EQ(vorsim::clock_mode(), vorsim::ClockMode::manual);

    o.device_set = DeviceSet::none;
    o.clock = Clock::real;
    ASSERT_TRUE(setup_platform(o, why)) << why;
    EXPECT_TRUE(vorsim::current_devices().video.empty());
    EXPECT_TRUE(vorsim::current_devices().audio.empty());
    EXPECT_EQ(vorsim::clock_mode(), vorsim::ClockMode::real);

    // Valid JSON that is no device file: refused, and nothing changes.
    o.device_set = DeviceSet::file;
    o.devices_path = write("wrong.json", R"({"video": [{"description": 12}]})");
    o.clock = Clock::manual;
    EXPECT_FALSE(setup_platform(o, why));
    EXPECT_EQ(why.rfind("--devices: ", 0), 0u) << why;
    EXPECT_TRUE(vorsim::current_devices().video.empty());
    EXPECT_EQ(vorsim::clock_mode(), vorsim::ClockMode::real);
}

}  // namespace
}  // namespace vorhost
