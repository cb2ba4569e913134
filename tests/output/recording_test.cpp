// Recording to disk on the manual clock, read back with libavformat: what
// lands in the file (layout, frame count and order, rate, streams), what
// `write` answers, the names it records under, and files left behind by a
// recording that ends without `stop`.
#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <type_traits>
#include <vector>

#include "capture/com_holders.h"
#include "module/module_fixture.h"
#include "vorsim.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

namespace fs = std::filesystem;

// ---- reading the files back ------------------------------------------------

// libavformat, loaded at run time: this program links only the module, the
// host and the platform.
struct LibAv {
    decltype(&avformat_open_input) open_input = nullptr;
    decltype(&avformat_close_input) close_input = nullptr;
    decltype(&av_read_frame) read_frame = nullptr;
    decltype(&av_packet_alloc) packet_alloc = nullptr;
    decltype(&av_packet_free) packet_free = nullptr;
    decltype(&av_packet_unref) packet_unref = nullptr;
    decltype(&av_log_set_level) log_set_level = nullptr;

    static const LibAv* get() {
        static const LibAv* const lib = [] () -> const LibAv* {
            void* h = dlopen("libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
            if (!h) return nullptr;
            static LibAv l;
            auto load = [h](auto& fn, const char* name) {
                fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(h, name));
                return fn != nullptr;
            };
            // The packet calls live in libavcodec and the log level in
            // libavutil, both loaded by libavformat.
            const bool ok = load(l.open_input, "avformat_open_input") &&
                            load(l.close_input, "avformat_close_input") && load(l.read_frame, "av_read_frame") &&
                            load(l.packet_alloc, "av_packet_alloc") && load(l.packet_free, "av_packet_free") &&
                            load(l.packet_unref, "av_packet_unref") && load(l.log_set_level, "av_log_set_level");
            if (!ok) return nullptr;
            // Only errors on the test's output, not the demuxer's remarks.
            l.log_set_level(AV_LOG_ERROR);
            return &l;
        }();
        return lib;
    }
};

struct AviStream {
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    uint32_t tag = 0;
    int width = 0, height = 0, bits = 0;
    AVRational time_base{0, 1};
    int64_t header_frames = 0;  // the stream header's length
    int sample_rate = 0, channels = 0;
    long packets = 0;
    std::vector<int> third_bytes;  // byte 2 of each packet (UYVY: V of the first pixel pair)
};

struct AviFile {
    bool opened = false;
    std::vector<AviStream> streams;
};

AviFile read_avi(const std::string& path) {
    AviFile file;
    const LibAv* av = LibAv::get();
    if (!av) {
        ADD_FAILURE() << "libavformat could not be loaded";
        return file;
    }
    AVFormatContext* ctx = nullptr;
    if (av->open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) return file;
    file.opened = true;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        AviStream s;
        s.type = st->codecpar->codec_type;
        s.tag = st->codecpar->codec_tag;
        s.width = st->codecpar->width;
        s.height = st->codecpar->height;
        s.bits = st->codecpar->bits_per_coded_sample;
        s.time_base = st->time_base;
        s.header_frames = st->nb_frames;
        s.sample_rate = st->codecpar->sample_rate;
        s.channels = st->codecpar->ch_layout.nb_channels;
        file.streams.push_back(s);
    }
    AVPacket* packet = av->packet_alloc();
    while (packet && av->read_frame(ctx, packet) >= 0) {
        if (packet->stream_index >= 0 && static_cast<size_t>(packet->stream_index) < file.streams.size()) {
            AviStream& s = file.streams[static_cast<size_t>(packet->stream_index)];
            ++s.packets;
            if (packet->size > 2) s.third_bytes.push_back(packet->data[2]);
        }
        av->packet_unref(packet);
    }
    av->packet_free(&packet);
    av->close_input(&ctx);
    return file;
}

constexpr uint32_t fourcc(const char (&t)[5]) {
    return uint32_t(uint8_t(t[0])) | uint32_t(uint8_t(t[1])) << 8 | uint32_t(uint8_t(t[2])) << 16 |
           uint32_t(uint8_t(t[3])) << 24;
}

std::vector<int> counting(int from, int n) {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back((from + i) % 256);
    return v;
}

// ---- the devices -----------------------------------------------------------

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

const char* const kDeviceNames[] = {"Rec RGB32", "Rec UYVY", "Rec I420", "Rec Tee", "Rec DV"};

// ---- the fixture -----------------------------------------------------------

class Recording : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        // A folder of this process's own: test programs may run side by side.
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::path(::testing::TempDir()) /
                 (std::string("vor_recording_") + info->name() + "_" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        previous_folder = hox_host_default_folder();
        hox_host_set_default_folder(folder.c_str());
        // The device file sits outside the folder the recordings go to.
        devices = folder.string() + ".json";
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
    void* open_box(int vdevice, const std::string& more = "") {
        void* box = new_box("@vdevice " + std::to_string(vdevice) + " " + more);
        EXPECT_NE(box, nullptr);
        if (!box) return nullptr;
        send(box, "open");
        EXPECT_EQ(dump, std::vector<std::string>{"open 1"});
        dump.clear();
        return box;
    }

    // The grabber's own answer to "write ARGS": its reply atoms as text, and
    // the error code (HOX_EROR with no reply at all).
    struct Reply {
        t_hox_err err = HOX_ERR_NONE;
        std::string atoms;
        bool replied = false;
    };
    Reply write(void* box, const std::string& args) {
        Reply r;
        long ac = 0;
        t_atom* av = nullptr;
        char err[128];
        EXPECT_EQ(hox_atoms_parse(args.c_str(), &ac, &av, err, sizeof err), 0) << err;
        t_atom rv{};
        r.err = object_method_typed(grabber_of(box), gensym("write"), ac, av, &rv);
        sysmem_freeptr(av);
        if (void* reply = atom_getobj(&rv)) {
            long n = 0;
            t_atom* atoms = nullptr;
            object_getvalueof(reply, &n, &atoms);
            r.atoms = atoms_text(n, atoms);
            r.replied = true;
            sysmem_freeptr(atoms);
            freeobject(reply);
        }
        hox_host_run_queue();
        return r;
    }

    // The frame interval of the capture filter's capture pin now, or -1.
    static int64_t capture_interval(t_grabber* x) {
        if (!x->graph) return -1;
        ComRef<IBaseFilter> capture;
        if (FAILED(x->graph->FindFilterByName(DSW("Video Capture"), capture.put())) || !capture) return -1;
        ComRef<IEnumPins> pins;
        if (FAILED(capture->EnumPins(pins.put()))) return -1;
        ComRef<IPin> pin;
        while (pins->Next(1, pin.put(), nullptr) == S_OK) {
            ComRef<IKsPropertySet> props;
            GUID category{};
            DWORD returned = 0;
            if (FAILED(pin.query(IID_IKsPropertySet, props)) ||
                FAILED(props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category,
                                  &returned)) ||
                category != PIN_CATEGORY_CAPTURE)
                continue;
            ComRef<IAMStreamConfig> config;
            MediaTypePtr mt;
            if (FAILED(pin.query(IID_IAMStreamConfig, config)) || FAILED(config->GetFormat(mt.put())) || !mt)
                return -1;
            const VIDEOINFOHEADER* vih = video_info(*mt.get());
            return vih ? vih->AvgTimePerFrame : -1;
        }
        return -1;
    }

    // The master stream the recording's AVI Mux was given, or -2 without a mux.
    static long master_stream(t_grabber* x) {
        ComRef<IBaseFilter> mux;
        if (!x->graph || FAILED(x->graph->FindFilterByName(DSW("AVI Mux"), mux.put())) || !mux) return -2;
        ComRef<IConfigAviMux> config;
        LONG stream = -2;
        if (SUCCEEDED(mux.query(IID_IConfigAviMux, config))) config->GetMasterStream(&stream);
        return stream;
    }

    // A preview frame reaches the output again.
    void expect_preview(void* box) {
        out.clear();
        EXPECT_EQ(grabber_of(box)->state, GRAB_OPEN);
        EXPECT_GE(vorsim::deliver_frames(1), 1);
        send(box, "bang");
        EXPECT_FALSE(out.empty()) << "no frame after the recording";
    }

    std::string in_folder(const std::string& name) const { return (folder / name).string(); }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        return names;
    }

    fs::path folder;
    std::string devices;
    std::string previous_folder;
};

// ---- what lands in the file ------------------------------------------------

struct RateCase {
    const char* label;
    int vdevice;
    const char* args;     // the write message's arguments
    uint32_t tag;         // the file's video FOURCC (0: uncompressed RGB)
    int bits;
    int64_t pin_interval;  // what the capture pin runs at while recording
    AVRational time_base;  // the file's seconds per frame
};

// The interval asked is the whole part of 10^7 / rate (15: 666666); the
// device settles on the nearest interval it has, and the file's rate is the
// interval the pin delivered at.
const RateCase kRateCases[] = {
    {"rgb32 at 15", kRgb32, "clip 15", 0, 32, 666666, {1, 15}},
    {"uyvy at the default 30", kUyvy, "clip", fourcc("UYVY"), 16, 333333, {1, 30}},
    {"i420 at 10", kI420, "clip 10", fourcc("I420"), 12, 999999, {1, 10}},
    {"zero rate means 30", kUyvy, "clip 0", fourcc("UYVY"), 16, 333333, {1, 30}},
    {"negative rate means 30", kUyvy, "clip -5", fourcc("UYVY"), 16, 333333, {1, 30}},
    {"a rate given as a long", kUyvy, "clip 15", fourcc("UYVY"), 16, 666666, {1, 15}},
    {"a rate given as a float", kRgb32, "clip 15.0", 0, 32, 666666, {1, 15}},
    // Six times the fastest interval: close to, but not quite, 5 a second.
    {"a tiny rate asks for the longest interval", kRgb32, "clip 1e-30", 0, 32, 1999998, {999999, 5000000}},
    {"a symbol where the rate goes is ignored", kUyvy, "clip fast", fourcc("UYVY"), 16, 333333, {1, 30}},
};

TEST_F(Recording, FileHoldsEveryFrameAtTheRateAsked) {
    for (const RateCase& c : kRateCases) {
        SCOPED_TRACE(c.label);
        void* box = open_box(c.vdevice);
        t_grabber* x = grabber_of(box);
        const int64_t preview_interval = capture_interval(x);
        ASSERT_EQ(preview_interval, 333333);

        const Reply r = write(box, c.args);
        EXPECT_EQ(r.err, HOX_ERR_NONE);
        EXPECT_EQ(r.atoms, "1");
        EXPECT_EQ(x->state, GRAB_RECORDING);
        EXPECT_EQ(x->write_name, gensym(in_folder("clip.avi").c_str()));
        EXPECT_EQ(capture_interval(x), c.pin_interval);
        // The preview's interval is kept for the preview that follows.
        EXPECT_EQ(x->frameinterval, preview_interval);

        EXPECT_EQ(vorsim::deliver_frames(3), 1);
        EXPECT_EQ(vorsim::deliver_frames(4), 1);
        send(box, "stop");
        EXPECT_EQ(dump, std::vector<std::string>{"write " + in_folder("clip.avi") + " 1"});
        EXPECT_TRUE(console.empty()) << console.front();
        EXPECT_EQ(capture_interval(x), preview_interval);
        expect_preview(box);

        ASSERT_GT(fs::file_size(in_folder("clip.avi")), 0u);
        const AviFile f = read_avi(in_folder("clip.avi"));
        ASSERT_TRUE(f.opened);
        ASSERT_EQ(f.streams.size(), 1u);
        const AviStream& v = f.streams[0];
        EXPECT_EQ(v.type, AVMEDIA_TYPE_VIDEO);
        EXPECT_EQ(v.tag, c.tag);
        EXPECT_EQ(v.bits, c.bits);
        EXPECT_EQ(v.width, 64);
        EXPECT_EQ(v.height, 48);
        EXPECT_EQ(v.packets, 7);
        EXPECT_EQ(v.header_frames, 7);
        EXPECT_EQ(av_cmp_q(v.time_base, c.time_base), 0) << v.time_base.num << "/" << v.time_base.den;

        send(box, "close");
        dump.clear();
        fs::remove(in_folder("clip.avi"));
    }
}

// The same through a Smart Tee. Fails today: the platform's Smart Tee keeps
// its outputs' old type when the capture pin reconnects with the new
// interval, so the AVI Mux records the preview's rate.
TEST_F(Recording, DISABLED_RateReachesTheFileThroughTheSmartTee) {
    void* box = open_box(kTee);
    t_grabber* x = grabber_of(box);
    ASSERT_EQ(write(box, "tee 15").atoms, "1");
    EXPECT_EQ(capture_interval(x), 666666);
    vorsim::deliver_frames(3);
    send(box, "stop");
    const AviFile f = read_avi(in_folder("tee.avi"));
    ASSERT_EQ(f.streams.size(), 1u);
    EXPECT_EQ(f.streams[0].packets, 3);
    EXPECT_EQ(av_cmp_q(f.streams[0].time_base, AVRational{1, 15}), 0)
        << f.streams[0].time_base.num << "/" << f.streams[0].time_base.den;
}

TEST_F(Recording, FramesLandOnceEachInTheOrderDelivered) {
    for (int device : {kUyvy, kTee}) {
        SCOPED_TRACE(kDeviceNames[device]);
        void* box = open_box(device);
        for (int take = 0; take < 2; ++take) {
            SCOPED_TRACE(take);
            const std::string name = "take" + std::to_string(take);
            ASSERT_EQ(write(box, name).atoms, "1");
            for (int n : {1, 5, 2}) vorsim::deliver_frames(n);
            send(box, "stop");
            // Each recording counts its frames from 0: the ramp's V is the
            // frame number.
            const AviFile f = read_avi(in_folder(name + ".avi"));
            ASSERT_EQ(f.streams.size(), 1u);
            EXPECT_EQ(f.streams[0].third_bytes, counting(0, 8));
        }
        EXPECT_EQ(dump, (std::vector<std::string>{"write " + in_folder("take0.avi") + " 1",
                                                  "write " + in_folder("take1.avi") + " 1"}));
        send(box, "close");
        dump.clear();
    }
}

struct AudioCase {
    const char* label;
    int vdevice;
    int write_audio;
    uint32_t video_tag;
    bool audio;
    std::vector<std::string> console;
};

// A camcorder's interleaved stream has no VIDEOINFOHEADER to set a rate in.
const std::vector<std::string> kNoRate{"error: could not set frame rate"};

const AudioCase kAudioCases[] = {
    {"video only", kUyvy, 0, fourcc("UYVY"), false, {}},
    {"video and audio", kUyvy, 1, fourcc("UYVY"), true, {}},
    {"audio beside the Smart Tee", kTee, 1, fourcc("UYVY"), true, {}},
    {"rgb32 and audio", kRgb32, 1, 0, true, {}},
    // A camcorder's interleaved stream carries its own sound: no audio
    // capture stream is added.
    {"DV camcorder", kDv, 1, fourcc("dvsd"), false, kNoRate},
    {"DV camcorder without audio", kDv, 0, fourcc("dvsd"), false, kNoRate},
};

TEST_F(Recording, AudioStreamExactlyWhenAsked) {
    for (const AudioCase& c : kAudioCases) {
        SCOPED_TRACE(c.label);
        void* box = open_box(c.vdevice, "@write_audio " + std::to_string(c.write_audio));
        t_grabber* x = grabber_of(box);
        ASSERT_EQ(write(box, "av").atoms, "1");
        EXPECT_EQ(master_stream(x), c.audio ? 1 : -1);
        vorsim::deliver_frames(6);
        send(box, "stop");
        EXPECT_EQ(console, c.console);

        const AviFile f = read_avi(in_folder("av.avi"));
        ASSERT_TRUE(f.opened);
        ASSERT_EQ(f.streams.size(), c.audio ? 2u : 1u);
        EXPECT_EQ(f.streams[0].type, AVMEDIA_TYPE_VIDEO);
        EXPECT_EQ(f.streams[0].tag, c.video_tag);
        EXPECT_EQ(f.streams[0].packets, 6);
        if (c.audio) {
            const AviStream& a = f.streams[1];
            EXPECT_EQ(a.type, AVMEDIA_TYPE_AUDIO);
            EXPECT_EQ(a.sample_rate, 8000);
            EXPECT_EQ(a.channels, 1);
            EXPECT_GT(a.packets, 0);
        }
        send(box, "close");
        dump.clear();
        console.clear();
        fs::remove(in_folder("av.avi"));
    }
}

// ---- recordings that end without stop --------------------------------------

enum class Ending { free_box, close, unplug_then_stop, unplug_then_free };

struct EndingCase {
    const char* label;
    Ending ending;
    int vdevice;
    int write_audio;
};

const EndingCase kEndings[] = {
    {"box freed", Ending::free_box, kUyvy, 0},
    {"box freed, with audio", Ending::free_box, kTee, 1},
    {"closed", Ending::close, kUyvy, 1},
    {"closed, Smart Tee", Ending::close, kTee, 0},
    {"unplugged, then stopped", Ending::unplug_then_stop, kUyvy, 0},
    {"unplugged, then stopped, with audio", Ending::unplug_then_stop, kTee, 1},
    {"unplugged, then freed", Ending::unplug_then_free, kUyvy, 1},
    {"unplugged, then freed, Smart Tee", Ending::unplug_then_free, kTee, 0},
};

TEST_F(Recording, EndingWithoutStopLeavesACompleteFile) {
    for (const EndingCase& c : kEndings) {
        SCOPED_TRACE(c.label);
        load_devices();  // the case before may have unplugged one
        void* box = open_box(c.vdevice, "@write_audio " + std::to_string(c.write_audio));
        ASSERT_EQ(write(box, "cut").atoms, "1");
        vorsim::deliver_frames(2);
        vorsim::deliver_frames(3);
        switch (c.ending) {
        case Ending::free_box:
            forget_box(box);
            object_free(box);
            hox_host_run_queue();
            break;
        case Ending::close:
            send(box, "close");
            EXPECT_EQ(grabber_of(box)->state, GRAB_CLOSED);
            break;
        case Ending::unplug_then_stop:
        case Ending::unplug_then_free:
            ASSERT_TRUE(vorsim::unplug_device(kDeviceNames[c.vdevice]));
            vorsim::deliver_frames(4);  // none of these come from the camera
            if (c.ending == Ending::unplug_then_stop) {
                send(box, "stop");
                EXPECT_EQ(dump.back(), "write " + in_folder("cut.avi") + " 1");
            } else {
                forget_box(box);
                object_free(box);
                hox_host_run_queue();
            }
            break;
        }

        const AviFile f = read_avi(in_folder("cut.avi"));
        ASSERT_TRUE(f.opened);
        ASSERT_EQ(f.streams.size(), c.write_audio ? 2u : 1u);
        EXPECT_EQ(f.streams[0].packets, 5);
        EXPECT_EQ(f.streams[0].header_frames, 5);
        EXPECT_EQ(f.streams[0].third_bytes, counting(0, 5));
        if (c.write_audio) {
            EXPECT_GT(f.streams[1].packets, 0);
        }

        if (c.ending == Ending::close || c.ending == Ending::unplug_then_stop) send(box, "close");
        dump.clear();
        console.clear();
        fs::remove(in_folder("cut.avi"));
    }
}

// ---- what write answers ----------------------------------------------------

TEST_F(Recording, WithNothingOpenAnswersOneAndRecordsNothing) {
    void* box = new_box();
    t_grabber* x = grabber_of(box);
    EXPECT_EQ(x->write_name, _vor_sym_nothing);
    const Reply r = write(box, "foo 15");
    EXPECT_EQ(r.err, HOX_ERR_NONE);
    EXPECT_EQ(r.atoms, "1");
    EXPECT_EQ(x->write_name, _vor_sym__none_);
    EXPECT_EQ(x->state, GRAB_CLOSED);
    send(box, "stop");
    EXPECT_TRUE(dump.empty());
    EXPECT_TRUE(console.empty());
    EXPECT_TRUE(files().empty());
}

TEST_F(Recording, SecondWriteWhileRecordingIsRefusedAndChangesNothing) {
    void* box = open_box(kUyvy);
    t_grabber* x = grabber_of(box);
    ASSERT_EQ(write(box, "first 15").atoms, "1");
    vorsim::deliver_frames(2);
    const Reply again = write(box, "second 30");
    EXPECT_EQ(again.err, HOX_EROR);
    EXPECT_FALSE(again.replied);
    EXPECT_EQ(x->state, GRAB_RECORDING);
    EXPECT_EQ(x->write_name, gensym(in_folder("first.avi").c_str()));
    EXPECT_EQ(capture_interval(x), 666666);
    vorsim::deliver_frames(3);
    send(box, "stop");
    EXPECT_EQ(dump, std::vector<std::string>{"write " + in_folder("first.avi") + " 1"});
    EXPECT_EQ(files(), std::vector<std::string>{"first.avi"});
    EXPECT_EQ(read_avi(in_folder("first.avi")).streams.at(0).packets, 5);
}

TEST_F(Recording, CancelledDialogAnswersZeroQuietly) {
    void* box = open_box(kRgb32);
    t_grabber* x = grabber_of(box);
    hox_host_answer_save_dialog(nullptr);
    const Reply r = write(box, "25");
    EXPECT_EQ(r.atoms, "0");
    EXPECT_TRUE(console.empty()) << console.front();
    EXPECT_EQ(dump, std::vector<std::string>{"write _none_ 0"});
    EXPECT_EQ(x->writefailed, 0);
    expect_preview(box);
    EXPECT_TRUE(files().empty());
}

TEST_F(Recording, FailedStartAnswersZeroAndTheNextWriteRecords) {
    void* box = open_box(kUyvy);
    t_grabber* x = grabber_of(box);
    vorsim::fault_set("IMediaControl::Run", 1);
    const Reply r = write(box, "broken 15");
    EXPECT_EQ(r.atoms, "0");
    EXPECT_EQ(console, std::vector<std::string>{"error: could not run graph"});
    EXPECT_EQ(dump, std::vector<std::string>{"write " + in_folder("broken.avi") + " 0"});
    EXPECT_EQ(x->writefailed, 0);
    EXPECT_EQ(capture_interval(x), 333333);
    expect_preview(box);

    dump.clear();
    console.clear();
    ASSERT_EQ(write(box, "works").atoms, "1");
    vorsim::deliver_frames(2);
    send(box, "stop");
    EXPECT_EQ(dump, std::vector<std::string>{"write " + in_folder("works.avi") + " 1"});
    EXPECT_EQ(read_avi(in_folder("works.avi")).streams.at(0).packets, 2);
}

TEST_F(Recording, RateThatCannotBeSetStillRecordsAtThePreviewRate) {
    void* box = open_box(kUyvy);
    t_grabber* x = grabber_of(box);
    vorsim::fault_set("IAMStreamConfig::SetFormat", 1);
    EXPECT_EQ(write(box, "slow 15").atoms, "1");
    // Once where the format is refused, once for the recording.
    EXPECT_EQ(console, std::vector<std::string>(2, "error: could not set frame rate"));
    EXPECT_EQ(x->frameinterval, 0);
    EXPECT_EQ(capture_interval(x), 333333);
    vorsim::deliver_frames(3);
    send(box, "stop");
    const AviFile f = read_avi(in_folder("slow.avi"));
    ASSERT_EQ(f.streams.size(), 1u);
    EXPECT_EQ(f.streams[0].packets, 3);
    EXPECT_EQ(av_cmp_q(f.streams[0].time_base, AVRational{1, 30}), 0);
}

TEST_F(Recording, AudioThatCannotBeAddedLeavesAVideoRecording) {
    void* box = open_box(kUyvy, "@write_audio 1");
    vorsim::fault_set("IFilterGraph::FindFilterByName:Audio Capture", 1);
    EXPECT_EQ(write(box, "mute").atoms, "1");
    EXPECT_EQ(console, std::vector<std::string>{"error: could not get audio capture filter"});
    vorsim::deliver_frames(2);
    send(box, "stop");
    EXPECT_EQ(dump, std::vector<std::string>{"write " + in_folder("mute.avi") + " 1"});
    const AviFile f = read_avi(in_folder("mute.avi"));
    ASSERT_EQ(f.streams.size(), 1u);
    EXPECT_EQ(f.streams[0].packets, 2);
}

// ---- the names recorded under ----------------------------------------------

TEST_F(Recording, NamedWritesAlwaysAddAvi) {
    void* box = open_box(kUyvy);
    t_grabber* x = grabber_of(box);
    ASSERT_EQ(write(box, "foo.avi").atoms, "1");
    EXPECT_EQ(x->write_name, gensym(in_folder("foo.avi.avi").c_str()));
    vorsim::deliver_frames(1);
    send(box, "stop");
    EXPECT_EQ(files(), std::vector<std::string>{"foo.avi.avi"});
    EXPECT_EQ(read_avi(in_folder("foo.avi.avi")).streams.at(0).packets, 1);
}

TEST_F(Recording, DialogNameIsTakenAsChosenWithTheRateFirst) {
    void* box = open_box(kUyvy);
    t_grabber* x = grabber_of(box);
    fs::create_directories(folder / "sub");
    const std::string chosen = in_folder("sub/take");
    hox_host_answer_save_dialog(chosen.c_str());
    ASSERT_EQ(write(box, "15").atoms, "1");
    EXPECT_EQ(x->write_name, gensym(chosen.c_str()));
    EXPECT_EQ(capture_interval(x), 666666);
    vorsim::deliver_frames(2);
    send(box, "stop");
    EXPECT_EQ(dump, std::vector<std::string>{"write " + chosen + " 1"});
    const AviFile f = read_avi(chosen);
    ASSERT_EQ(f.streams.size(), 1u);
    EXPECT_EQ(f.streams[0].packets, 2);
    EXPECT_EQ(av_cmp_q(f.streams[0].time_base, AVRational{1, 15}), 0);
}

TEST_F(Recording, NamesThatDoNotFitAreRefused) {
    void* box = open_box(kUyvy);
    t_grabber* x = grabber_of(box);
    // The name with ".avi" fills the 2048-byte buffer exactly, goes one past
    // it, or goes far past; the folder in front never fits with it.
    for (size_t length : {size_t{2043}, size_t{2044}, size_t{5000}}) {
        SCOPED_TRACE(length);
        const Reply r = write(box, std::string(length, 'n'));
        EXPECT_EQ(r.atoms, "0");
        EXPECT_EQ(console, std::vector<std::string>{"error: could not conform name"});
        EXPECT_EQ(dump, std::vector<std::string>{"write _none_ 0"});
        EXPECT_EQ(x->write_name, _vor_sym__none_);
        console.clear();
        dump.clear();
    }
    // A name the dialog accepts in a folder too deep to join with it.
    const std::string deep = "/" + std::string(1500, 'd') + "/" + std::string(600, 'f');
    hox_host_answer_save_dialog(deep.c_str());
    EXPECT_EQ(write(box, "").atoms, "0");
    EXPECT_EQ(console, std::vector<std::string>{"error: could not conform name"});
    EXPECT_EQ(dump, std::vector<std::string>{"write _none_ 0"});
    EXPECT_TRUE(files().empty());
    expect_preview(box);
}

}  // namespace
