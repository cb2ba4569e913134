// Recording on the manual clock, read back with libavformat: what only the
// file, the capture pin and the graph show (frames, layout, rate, streams,
// files left by a recording that ends without `stop`, what a failed start
// leaves). Replies, names, the dialog and failure texts: tests/scripts/recording-*.
#include <gmock/gmock.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "avi_read.h"
#include "capture/com_holders.h"
#include "module/module_fixture.h"
#include "vorsim.h"

namespace {

namespace fs = std::filesystem;
using ::testing::UnorderedElementsAre;

// ---- reading the files back ------------------------------------------------

using AviStream = avi_read::Stream;

// The file's streams; a failure when libavformat cannot open it.
std::vector<AviStream> read_avi(const std::string& path) {
    auto streams = avi_read::demux(path, false);
    if (!streams) ADD_FAILURE() << "libavformat cannot open " << path;
    return streams.value_or(std::vector<AviStream>{});
}

// 0, 1, ..., n - 1: the ramp's V byte is the frame number.
std::vector<int> frame_numbers(int n) {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(i);
    return v;
}

// vdevice indexes of the devices below. The tee device has no preview pin,
// so its capture pin feeds a Smart Tee.
enum : int { kRgb32 = 0, kUyvy = 1, kI420 = 2, kTee = 3, kDv = 4 };

constexpr const char* kDevices = R"({"video": [
  {"friendly_name": "Rec RGB32", "pattern": "ramp",
   "pins": [{"category": "capture", "caps": [{"format": "VideoInfo", "subtype": "RGB32", "width": 64, "height": 48}]},
            {"category": "preview"}]},
  {"friendly_name": "Rec UYVY", "pattern": "ramp",
   "pins": [{"category": "capture", "caps": [{"format": "VideoInfo", "subtype": "UYVY", "width": 64, "height": 48}]},
            {"category": "preview"}]},
  {"friendly_name": "Rec I420", "pattern": "ramp",
   "pins": [{"category": "capture", "caps": [{"format": "VideoInfo", "subtype": "I420", "width": 64, "height": 48}]},
            {"category": "preview"}]},
  {"friendly_name": "Rec Tee", "pattern": "ramp",
   "pins": [{"category": "capture", "caps": [{"format": "VideoInfo", "subtype": "UYVY", "width": 64, "height": 48}]}]},
  {"friendly_name": "Rec DV",
   "pins": [{"category": "capture", "interleaved": true,
             "caps": [{"format": "DvInfo", "subtype": "dvsd", "compression": "dvsd",
                       "width": 720, "height": 480, "min_interval": 333667}]}],
   "transport": {"input_signal": 5038}}],
  "audio": [{"friendly_name": "Rec Mic", "rate": 8000, "channels": 1}]})";

// The files' video FOURCCs (uncompressed RGB has none: 0).
constexpr uint32_t kUyvy4cc = MKTAG('U', 'Y', 'V', 'Y'), kI4204cc = MKTAG('I', '4', '2', '0'),
                   kDv4cc = MKTAG('d', 'v', 's', 'd');
const char* const kDeviceNames[] = {"Rec RGB32", "Rec UYVY", "Rec I420", "Rec Tee", "Rec DV"};

class Recording : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        // A folder of this process's own: test programs may run side by side.
        folder = fs::path(::testing::TempDir()) / ("vor_recording_" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        previous_folder = hox_host_default_folder();
        hox_host_set_default_folder(folder.c_str());
        devices = folder.string() + ".json";  // outside the folder the recordings go to
        std::ofstream(devices) << kDevices;
        load_devices();
        vorsim::clock_set(vorsim::ClockMode::manual);
    }
    void TearDown() override {
        ModuleTest::TearDown();
        vorsim::fault_clear();
        hox_host_answer_save_dialog(nullptr);
        hox_host_set_default_folder(previous_folder.c_str());
        std::error_code ec;
        fs::remove_all(folder, ec);
        fs::remove(devices, ec);
    }

    void load_devices() {
        std::string why;
        ASSERT_TRUE(vorsim::load_device_file(devices, why)) << why;
    }

    // A box with the device open on the preview.
    void* open_box(int vdevice, int write_audio = 0) {
        void* box = new_box("@vdevice " + std::to_string(vdevice) + " @write_audio " + std::to_string(write_audio));
        if (box) send(box, "open");
        EXPECT_TRUE(box && grabber_of(box)->state == GRAB_OPEN) << "device " << vdevice << " did not open";
        return box;
    }

    // Sends "write ARGS"; whether the grabber records after it.
    bool start(void* box, const std::string& args) {
        send(box, "write " + args);
        return grabber_of(box)->state == GRAB_RECORDING;
    }

    // The frame interval of the capture filter's "Capture" pin now, or -1.
    static int64_t capture_interval(t_grabber* x) {
        ComRef<IBaseFilter> capture;
        ComRef<IPin> pin;
        ComRef<IAMStreamConfig> config;
        MediaTypePtr mt;
        if (!x->graph || FAILED(x->graph->FindFilterByName(DSW("Video Capture"), capture.put())) ||
            FAILED(capture->FindPin(DSW("Capture"), pin.put())) || FAILED(pin.query(IID_IAMStreamConfig, config)) ||
            FAILED(config->GetFormat(mt.put())))
            return -1;
        const VIDEOINFOHEADER* vih = video_info(*mt.get());
        return vih ? vih->AvgTimePerFrame : -1;
    }

    // The master stream the recording's AVI Mux was given, or -2 without a mux.
    static long master_stream(t_grabber* x) {
        ComRef<IBaseFilter> mux;
        ComRef<IConfigAviMux> config;
        LONG stream = -2;
        if (SUCCEEDED(x->graph->FindFilterByName(DSW("AVI Mux"), mux.put())) &&
            SUCCEEDED(mux.query(IID_IConfigAviMux, config)))
            config->GetMasterStream(&stream);
        return stream;
    }

    // The names of the graph's filters named like a mux or a file writer.
    static std::vector<std::string> writers_in_graph(t_grabber* x) {
        std::vector<std::string> found;
        ComRef<IEnumFilters> filters;
        EXPECT_EQ(x->graph->EnumFilters(filters.put()), S_OK);
        ComRef<IBaseFilter> f;
        while (filters && filters->Next(1, f.put(), nullptr) == S_OK) {
            FILTER_INFO info{};
            if (FAILED(f->QueryFilterInfo(&info))) continue;
            if (info.pGraph) info.pGraph->Release();
            std::string name;
            for (const WCHAR* c = info.achName; *c; ++c) name += static_cast<char>(*c);
            if (name.find("Mux") != std::string::npos || name.find("Writer") != std::string::npos)
                found.push_back(name);
        }
        return found;
    }

    std::string in_folder(const std::string& name) const { return (folder / name).string(); }

    fs::path folder;
    std::string devices;
    std::string previous_folder;
};

// ---- what lands in the file ------------------------------------------------

// The interval asked is the whole part of 10^7 / rate (15: 666666); the
// device settles on the nearest interval it has, and the file's rate is the
// interval the pin delivered at. No rate, or one that is not positive, is 30.
TEST_F(Recording, FileHoldsEveryFrameAtTheRateAsked) {
    const struct {
        const char* label;
        int vdevice;
        const char* args;      // without a name, the save dialog answers clip.avi
        uint32_t tag;          // the file's video FOURCC (0: uncompressed RGB)
        int bits;
        int64_t pin_interval;  // what the capture pin runs at while recording
        AVRational time_base;  // the file's seconds per frame
    } cases[] = {
        {"rgb32 at 15", kRgb32, "clip 15", 0, 32, 666666, {1, 15}},
        {"uyvy at the default 30", kUyvy, "clip", kUyvy4cc, 16, 333333, {1, 30}},
        {"i420 at 10", kI420, "clip 10", kI4204cc, 12, 999999, {1, 10}},
        {"zero rate means 30", kUyvy, "clip 0", kUyvy4cc, 16, 333333, {1, 30}},
        {"a rate given as a float", kRgb32, "clip 15.0", 0, 32, 666666, {1, 15}},
        // Six times the fastest interval: close to, but not quite, 5 a second.
        {"a tiny rate asks for the longest interval", kRgb32, "clip 1e-30", 0, 32, 1999998, {999999, 5000000}},
        {"a symbol where the rate goes is ignored", kUyvy, "clip fast", kUyvy4cc, 16, 333333, {1, 30}},
        {"with the dialog the rate comes first", kUyvy, "15", kUyvy4cc, 16, 666666, {1, 15}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        hox_host_answer_save_dialog(in_folder("clip.avi").c_str());
        void* box = open_box(c.vdevice);
        t_grabber* x = grabber_of(box);
        ASSERT_EQ(capture_interval(x), 333333);
        ASSERT_TRUE(start(box, c.args));
        EXPECT_EQ(capture_interval(x), c.pin_interval);
        EXPECT_EQ(x->frameinterval, 333333) << "the preview's interval is kept for the preview after";
        EXPECT_EQ(vorsim::deliver_frames(3), 1);
        EXPECT_EQ(vorsim::deliver_frames(4), 1);
        send(box, "stop");
        EXPECT_EQ(capture_interval(x), 333333);

        const std::vector<AviStream> f = read_avi(in_folder("clip.avi"));
        ASSERT_EQ(f.size(), 1u);
        EXPECT_EQ(f[0].tag, c.tag);
        EXPECT_EQ(f[0].bits, c.bits);
        EXPECT_EQ(f[0].packets.size(), 7u);
        EXPECT_EQ(av_cmp_q(f[0].time_base, c.time_base), 0) << f[0].time_base.num << "/" << f[0].time_base.den;
        send(box, "close");
        fs::remove(in_folder("clip.avi"));
    }
}

// Two takes in one box: each counts its frames from 0, and a write while
// one runs is refused without disturbing it.
TEST_F(Recording, RateReachesTheFileThroughTheSmartTee) {
    void* box = open_box(kTee);
    for (const std::string name : {"take0", "take1"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(start(box, name + " 15"));
        EXPECT_EQ(capture_interval(grabber_of(box)), 666666);
        vorsim::deliver_frames(1);
        send(box, "write again 30");
        EXPECT_EQ(capture_interval(grabber_of(box)), 666666);
        vorsim::deliver_frames(5);
        vorsim::deliver_frames(2);
        send(box, "stop");
        const std::vector<AviStream> f = read_avi(in_folder(name + ".avi"));
        ASSERT_EQ(f.size(), 1u);
        EXPECT_EQ(f[0].byte_of_each(2), frame_numbers(8));
        EXPECT_EQ(av_cmp_q(f[0].time_base, AVRational{1, 15}), 0) << f[0].time_base.num << "/" << f[0].time_base.den;
    }
    EXPECT_FALSE(fs::exists(in_folder("again.avi")));
}

// ---- streams, and recordings that end without stop -------------------------

// An audio stream exactly when write_audio is 1 and the audio capture filter
// is there; a camcorder's interleaved stream carries its own sound. However
// the recording ends, the file is complete: every frame delivered, in order,
// and a header that counts them.
TEST_F(Recording, AudioExactlyWhenAskedAndTheFileCompleteHoweverItEnds) {
    const struct {
        const char* label;
        int vdevice;
        int write_audio;
        const char* fault;  // made to fail once, or null
        bool unplug;        // the camera goes first
        const char* end;    // "stop", "close", or "free" the box
        bool audio;         // an audio stream in the file
    } cases[] = {
        {"video only, stopped", kUyvy, 0, nullptr, false, "stop", false},
        {"with audio, closed", kUyvy, 1, nullptr, false, "close", true},
        {"Smart Tee with audio, box freed", kTee, 1, nullptr, false, "free", true},
        {"DV camcorder, stopped", kDv, 1, nullptr, false, "stop", false},
        {"audio filter missing, unplugged then freed", kUyvy, 1, "IFilterGraph::FindFilterByName:Audio Capture",
         true, "free", false},
        {"Smart Tee, unplugged then stopped", kTee, 0, nullptr, true, "stop", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        load_devices();  // the case before may have unplugged one
        void* box = open_box(c.vdevice, c.write_audio);
        if (c.fault) vorsim::fault_set(c.fault, 1);
        ASSERT_TRUE(start(box, "av"));
        EXPECT_EQ(master_stream(grabber_of(box)), c.audio ? 1 : -1);
        vorsim::deliver_frames(2);
        vorsim::deliver_frames(3);
        if (c.unplug) {
            ASSERT_TRUE(vorsim::unplug_device(kDeviceNames[c.vdevice]));
            vorsim::deliver_frames(4);  // none of these come from the camera
        }
        const bool freed = std::string(c.end) == "free";
        if (freed) {
            forget_box(box);
            object_free(box);
            hox_host_run_queue();
        } else {
            send(box, c.end);
        }

        const std::vector<AviStream> f = read_avi(in_folder("av.avi"));
        ASSERT_EQ(f.size(), c.audio ? 2u : 1u);
        EXPECT_EQ(f[0].tag, c.vdevice == kDv ? kDv4cc : kUyvy4cc);
        EXPECT_EQ(f[0].packets.size(), 5u);
        EXPECT_EQ(f[0].nb_frames, 5);
        if (c.vdevice != kDv) {
            EXPECT_EQ(f[0].byte_of_each(2), frame_numbers(5));
        }
        if (c.audio) {
            EXPECT_EQ(f[1].sample_rate, 8000);
            EXPECT_EQ(f[1].channels, 1);
            EXPECT_FALSE(f[1].packets.empty());
        }
        if (!freed) send(box, "close");
        fs::remove(in_folder("av.avi"));
    }
}

// A start that fails after the AVI Mux and File Writer joined the graph
// takes them out again, so the preview after it writes nothing; the next
// start records.
TEST_F(Recording, FailedStartLeavesNoWriterInTheGraph) {
    const std::pair<const char*, int> faults[] = {
        {"IMediaControl::Run", 1},
        {"IFilterGraph::SetDefaultSyncSource", 1},
        {"ICaptureGraphBuilder2::RenderStream", 2},  // the interleaved try, then plain video
    };
    for (int device : {kUyvy, kTee}) {
        void* box = open_box(device, 1);
        t_grabber* x = grabber_of(box);
        for (const auto& [fault, count] : faults) {
            SCOPED_TRACE(std::string(kDeviceNames[device]) + ", " + fault);
            vorsim::fault_set(fault, count);
            ASSERT_FALSE(start(box, "broken 15"));
            EXPECT_EQ(writers_in_graph(x), std::vector<std::string>{});
            EXPECT_EQ(capture_interval(x), 333333);
            out.clear();
            EXPECT_GE(vorsim::deliver_frames(1), 1);
            send(box, "bang");
            EXPECT_FALSE(out.empty()) << "no preview after the failed start";
        }
        EXPECT_FALSE(fs::exists(in_folder("broken.avi")));

        ASSERT_TRUE(start(box, "works"));
        EXPECT_THAT(writers_in_graph(x), UnorderedElementsAre("AVI Mux", "File Writer"));
        vorsim::deliver_frames(2);
        send(box, "stop");
        const std::vector<AviStream> f = read_avi(in_folder("works.avi"));
        ASSERT_EQ(f.size(), 2u);
        EXPECT_EQ(f[0].byte_of_each(2), frame_numbers(2));
        send(box, "close");
        fs::remove(in_folder("works.avi"));
    }
}

}  // namespace
