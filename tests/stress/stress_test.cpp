// A bounded stress test: four boxes on real-clock 1280 x 720 virtual devices
// while a driver thread sends them random messages and plugs and unplugs
// devices for VOR_STRESS_SECONDS seconds (default 20); then every box is
// freed. VOR_STRESS_SEED repeats a run's random choices (the seed is printed).
//
// The driver thread plays the patch and the person at the machine. Box
// messages go to the host thread (the test's main thread), which runs them
// one at a time as the shell does; plugging and unplugging happen on the
// driver thread itself, while the host thread and the streaming threads are
// busy. What is checked:
//   - no deadlock: a watchdog aborts the program, naming the operations in
//     progress, when none completes for 30 s;
//   - every recording that started is, once it ends (stop, close, a reopen,
//     settings, the box freed; also after its device was unplugged), a
//     complete AVI file holding every frame the AVI Mux was handed while it
//     ran, in the order the device numbered them, from 0;
//   - the heap back to its level from before the boxes were made once they
//     are freed, and no task memory or BSTR left;
//   - and, run under ThreadSanitizer and ASan+UBSan (scripts/stress),
//     no sanitizer report.
#include <malloc.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "capture/com_holders.h"
#include "devices/device_set.h"
#include "module/module_fixture.h"
#include "sim_device.h"
#include "vorsim.h"

extern "C" {
#include <libavformat/avformat.h>
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// From the sanitizer runtime (GCC installs no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#define VOR_STRESS_SANITIZED 1
#endif

namespace {

namespace fs = std::filesystem;
using steady = std::chrono::steady_clock;

constexpr int kBoxes = 4;
constexpr auto kStallLimit = std::chrono::seconds(30);
constexpr auto kLongestRecording = std::chrono::seconds(4);

// How far the heap may be above its starting level once every box is gone.
// What legitimately stays: the symbols the run interned (box names, the
// recordings' file names: a bounded set, a few KiB, kept for the life of the
// process). The plain build reads glibc's count of bytes in use, which also
// counts the chunks parked in the host thread's tcache (at most 7 chunks in
// each of 64 size classes up to 1032 bytes: under 240 KiB, at the start as
// at the end); the sanitizers' allocators keep no such cache. A frame buffer
// left behind is 1.8 MiB or more; a graph or a matrix left per operation
// adds up over hundreds of operations.
#ifdef VOR_STRESS_SANITIZED
constexpr long long kHeapTolerance = 64 * 1024;
#else
constexpr long long kHeapTolerance = 512 * 1024;
#endif

// Bytes the program has allocated and not freed: under a sanitizer, its
// allocator's count; in the plain build, glibc's arenas and mmapped blocks
// in use.
long long heap_in_use() {
#ifdef VOR_STRESS_SANITIZED
    return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 mi = mallinfo2();
    return static_cast<long long>(mi.uordblks + mi.hblkhd);
#endif
}

// A whole number from the environment; `fallback` when unset, -1 when it
// is not a number.
long env_count(const char* name, long fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    return *end == '\0' && v >= 0 ? v : -1;
}

// ---- operations ------------------------------------------------------------

enum Op { kOpen, kClose, kBang, kColormode, kFormat, kVdevice, kResolution, kWrite, kStop, kSettings, kPlug, kUnplug,
          kOpCount };
constexpr const char* kOpNames[kOpCount] = {"open",       "close", "bang", "colormode", "format", "vdevice",
                                            "resolution", "write", "stop", "settings",  "plug",   "unplug"};
// How often the driver picks each; plug and unplug share one pick (the
// chosen device changes state).
constexpr int kOpWeights[kOpCount] = {3, 1, 8, 1, 1, 1, 1, 4, 1, 1, 2, 0};

struct Job {
    int box = 0;
    Op op = kBang;
    std::string message;
    std::string file;  // write: the name given, without ".avi"
};

// Box messages from the driver thread to the host thread; the driver waits
// while two are queued.
class JobQueue {
public:
    void push(Job job) {
        std::unique_lock<std::mutex> lock(mutex_);
        room_.wait(lock, [&] { return jobs_.size() < 2; });
        jobs_.push_back(std::move(job));
        ready_.notify_one();
    }
    // The next job; false once closed and empty.
    bool pop(Job& job) {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return closed_ || !jobs_.empty(); });
        if (jobs_.empty()) return false;
        job = std::move(jobs_.front());
        jobs_.pop_front();
        room_.notify_one();
        return true;
    }
    void close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        ready_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_, room_;
    std::deque<Job> jobs_;
    bool closed_ = false;
};

// Aborts the program when no operation completes for `limit`, printing what
// each thread was doing.
class Watchdog {
public:
    enum Lane { kHost, kDriver };

    explicit Watchdog(steady::duration limit) : limit_(limit), last_(steady::now()) {
        thread_ = std::thread([this] { run(); });
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void begin(Lane lane, const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex_);
        running_[lane] = what;
    }
    void end(Lane lane) {
        std::lock_guard<std::mutex> lock(mutex_);
        running_[lane] = "(between operations)";
        last_ = steady::now();
    }
    // Progress within a long operation.
    void tick() {
        std::lock_guard<std::mutex> lock(mutex_);
        last_ = steady::now();
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            wake_.wait_for(lock, std::chrono::seconds(1));
            if (stop_ || steady::now() - last_ < limit_) continue;
            std::fprintf(stderr,
                         "stress: no operation completed for %lld s (a deadlock?)\n"
                         "  host thread:   %s\n  driver thread: %s\n",
                         static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(limit_).count()),
                         running_[kHost].c_str(), running_[kDriver].c_str());
            std::fflush(stderr);
            std::abort();
        }
    }

    const steady::duration limit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    steady::time_point last_;
    std::string running_[2] = {"(between operations)", "(between operations)"};
    std::thread thread_;
};

// ---- reading a recording back ------------------------------------------------

uint32_t le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// Whether the file is RIFF chunks ("AVI ", then any "AVIX" of an OpenDML
// file) whose sizes add up to the file's: the writer fills them in when it
// finishes the recording.
bool riff_complete(const std::string& path, std::string& why) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        why = "cannot stat the file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    uintmax_t at = 0;
    for (int chunk = 0; at < size; ++chunk) {
        unsigned char head[12];
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(reinterpret_cast<char*>(head), sizeof head)) {
            why = "a RIFF header is cut off at byte " + std::to_string(at);
            return false;
        }
        const char* form = chunk == 0 ? "AVI " : "AVIX";
        if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, form, 4) != 0) {
            why = "no RIFF " + std::string(form) + " chunk at byte " + std::to_string(at);
            return false;
        }
        at += 8 + le32(head + 4) + (le32(head + 4) & 1);
    }
    if (at != size || size == 0) {
        why = "the RIFF chunks end at byte " + std::to_string(at) + " of " + std::to_string(size);
        return false;
    }
    return true;
}

// Where the ramp pattern keeps the frame number in a frame of this format
// (see docs/vorhost.md, "pattern"), or -1 for a format it is not known in.
long frame_number_offset(uint32_t tag, int bits, int w, int h) {
    if (tag == 0 && (bits == 32 || bits == 24)) return 2;  // bottom-up: the last row's pixel 0 is B, G, R = n
    if (tag == MKTAG('U', 'Y', 'V', 'Y')) return 2;        // U Y0 V=n Y1
    if (tag == MKTAG('Y', 'U', 'Y', '2')) return 3;        // Y0 U Y1 V=n
    if (tag == MKTAG('I', '4', '2', '0')) return static_cast<long>(w) * h * 5 / 4;  // Cr(0, 0) = n
    if (tag == MKTAG('Y', 'V', '1', '2')) return static_cast<long>(w) * h;          // Cr plane first
    return -1;
}

long frame_bytes(uint32_t tag, int bits, int w, int h) {
    if (tag == 0) return static_cast<long>((w * bits + 31) / 32 * 4) * h;
    if (tag == MKTAG('U', 'Y', 'V', 'Y') || tag == MKTAG('Y', 'U', 'Y', '2')) return 2L * w * h;
    return static_cast<long>(w) * h * 3 / 2;
}

// Checks one finished recording against what the mux reported; the number
// of video frames checked. `progress` is called as frames are read.
long check_recording(const std::string& path, const vorsim::RecordingReport& report,
                     const std::function<void()>& progress) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(report.ok) << "a write or the closing of the file failed";
    std::string why;
    EXPECT_TRUE(riff_complete(path, why)) << "not a complete AVI file: " << why;

    av_log_set_level(AV_LOG_ERROR);  // its remark on files with sound ("non-interleaved") stays off the output
    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "libavformat cannot open the file";
        return 0;
    }
    struct Stream {
        bool video = false;
        uint32_t tag = 0;
        int bits = 0, w = 0, h = 0;
        int64_t header_frames = 0;
        long long packets = 0, bytes = 0;
        long bad_size = -1, bad_number = -1;  // the first packet that is wrong
    };
    std::vector<Stream> streams(ctx->nb_streams);
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVCodecParameters* p = ctx->streams[i]->codecpar;
        streams[i] = {p->codec_type == AVMEDIA_TYPE_VIDEO, p->codec_tag, p->bits_per_coded_sample, p->width,
                      p->height, ctx->streams[i]->nb_frames};
    }
    AVPacket* packet = av_packet_alloc();
    while (packet && av_read_frame(ctx, packet) >= 0) {
        Stream& s = streams.at(static_cast<size_t>(packet->stream_index));
        if (s.video) {
            const long n = static_cast<long>(s.packets);
            const long offset = frame_number_offset(s.tag, s.bits, s.w, s.h);
            if (s.bad_size < 0 && packet->size != frame_bytes(s.tag, s.bits, s.w, s.h)) s.bad_size = n;
            if (s.bad_number < 0 && (offset < 0 || offset >= packet->size || packet->data[offset] != (n & 255)))
                s.bad_number = n;
        }
        ++s.packets;
        s.bytes += packet->size;
        progress();
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&ctx);

    EXPECT_EQ(streams.size(), report.streams.size()) << "streams in the file and in the mux";
    long frames = 0;
    for (size_t i = 0; i < streams.size() && i < report.streams.size(); ++i) {
        SCOPED_TRACE("stream " + std::to_string(i));
        const Stream& s = streams[i];
        EXPECT_EQ(s.video, report.streams[i].video);
        if (s.video) {
            EXPECT_EQ(s.packets, report.streams[i].received) << "frames in the file, and handed to the mux";
            EXPECT_EQ(s.header_frames, s.packets) << "the stream header's length";
            EXPECT_EQ(s.bad_size, -1) << "a frame of the wrong size";
            EXPECT_EQ(s.bad_number, -1) << "frame numbers are not 0, 1, 2, ... (a frame lost, repeated or torn)";
            frames += static_cast<long>(s.packets);
        } else {
            EXPECT_EQ(s.bytes, report.streams[i].received) << "sound bytes in the file, and handed to the mux";
        }
    }
    return frames;
}

// ---- the test ------------------------------------------------------------------

class Stress : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        // Outlets and console are counted, not kept: the run's memory must
        // come back to where it started.
        hox_host_set_console([](void* ctx, void*, t_hox_console_kind kind,
                                const char*) { ++static_cast<Stress*>(ctx)->console_lines[kind]; },
                             this);
        hox_host_set_outlet_sink([](void* ctx, void*, long, bool dump, t_symbol*, long,
                                    t_atom*) { ++static_cast<Stress*>(ctx)->outlet_lines[dump ? 1 : 0]; },
                                 this);
        folder = fs::path(::testing::TempDir()) / ("vor_stress_" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        previous_folder = hox_host_default_folder();
        hox_host_set_default_folder(folder.c_str());
        hox_host_set_main_window(true);

        std::ifstream in(VOR_STRESS_DEVICES);
        std::stringstream text;
        text << in.rdbuf();
        std::string why;
        ASSERT_TRUE(vorsim::parse_device_file(text.str(), devices, why)) << why;
        ASSERT_EQ(devices.video.size(), 4u);
        ASSERT_EQ(devices.audio.size(), 1u);
        load_devices();
        vorsim::clock_set(vorsim::ClockMode::real);
        vorsim::take_recording_reports();
    }
    void TearDown() override {
        ModuleTest::TearDown();
        vorsim::clock_set(vorsim::ClockMode::manual);
        hox_host_set_main_window(false);
        hox_host_set_default_folder(previous_folder.c_str());
        std::error_code ec;
        fs::remove_all(folder, ec);
    }

    void load_devices() {
        vorsim::load_devices(devices);
        for (auto& p : plugged) p = true;
    }

    // The label unplug_device takes for device d (the cameras, then the
    // microphone).
    std::string device_name(size_t d) const {
        return d < devices.video.size() ? *devices.video[d].friendly_name : devices.audio[0].friendly_name;
    }

    // Plugs device d in again, or unplugs it.
    void toggle_device(size_t d) {
        if (plugged[d]) {
            EXPECT_TRUE(vorsim::unplug_device(device_name(d))) << device_name(d);
            unplugs[d].fetch_add(1);
        } else {
            vorsim::DeviceSet one;
            if (d < devices.video.size())
                one.video.push_back(devices.video[d]);
            else
                one.audio.push_back(devices.audio[0]);
            vorsim::plug_devices(one);
        }
        plugged[d] = !plugged[d];
    }

    std::string avi_path(const std::string& name) const { return (folder / (name + ".avi")).string(); }

    // ---- recordings, on the host thread ----

    struct Box {
        void* box = nullptr;
        bool recording = false;
        std::string file;  // the recording's path
        int camera = -1;   // the device recorded from, and its unplug count at the start
        long camera_unplugs = 0;
        steady::time_point started{};
    };

    // Which of the device file's cameras the box has open, or -1.
    int camera_of(t_grabber* x) const {
        ComRef<IBaseFilter> capture;
        ComRef<vorsim::ISimDevice> device;
        if (!x->graph || FAILED(x->graph->FindFilterByName(DSW("Video Capture"), capture.put())) ||
            FAILED(capture->QueryInterface(vorsim::IID_ISimDevice, device.put_void())))
            return -1;
        const std::string name = device->device_name();
        for (size_t d = 0; d < devices.video.size(); ++d)
            if (device_name(d) == name) return static_cast<int>(d);
        return -1;
    }

    // The mux's reports for `path` taken out of those gathered so far.
    std::vector<vorsim::RecordingReport> reports_for(const std::string& path) {
        for (auto& r : vorsim::take_recording_reports()) pending_reports.push_back(std::move(r));
        std::vector<vorsim::RecordingReport> found;
        for (auto it = pending_reports.begin(); it != pending_reports.end();) {
            if (fs::path(it->path).filename() == fs::path(path).filename()) {
                found.push_back(std::move(*it));
                it = pending_reports.erase(it);
            } else {
                ++it;
            }
        }
        return found;
    }

    void recording_ended(Box& b, const char* how) {
        SCOPED_TRACE(std::string("recording ended by ") + how);
        const std::vector<vorsim::RecordingReport> found = reports_for(b.file);
        if (found.size() == 1) {
            frames_checked += check_recording(b.file, found[0], [this] {
                if (watchdog) watchdog->tick();
            });
            ++recordings_checked;
            if (b.camera >= 0 && unplugs[static_cast<size_t>(b.camera)].load() != b.camera_unplugs) ++recordings_cut;
        } else {
            ADD_FAILURE() << b.file << ": " << found.size()
                          << " finished recordings reported by the mux, where one was expected";
        }
        std::error_code ec;
        fs::remove(b.file, ec);
        b.recording = false;
        b.file.clear();
    }

    // After a message to a box: a recording that started, ended, or a start
    // that failed (its file and any report of it go).
    void follow_recording(Box& b, const Job& job) {
        const bool now = grabber_of(b.box)->state == GRAB_RECORDING;
        if (b.recording && !now) {
            recording_ended(b, kOpNames[job.op]);
        } else if (!b.recording && now) {
            EXPECT_EQ(job.op, kWrite) << "a box started recording on " << job.message;
            b.recording = true;
            ++recordings_started;
            b.started = steady::now();
            b.file = avi_path(job.file);
            b.camera = camera_of(grabber_of(b.box));
            if (b.camera >= 0) b.camera_unplugs = unplugs[static_cast<size_t>(b.camera)].load();
        } else if (!b.recording && job.op == kWrite) {
            const std::string path = avi_path(job.file);
            reports_for(path);
            std::error_code ec;
            fs::remove(path, ec);
        }
    }

    // ---- the two threads' work ----

    std::string describe(const Job& job) const {
        return "box " + std::to_string(job.box) + ": " + job.message;
    }

    // Sends the job's message, then checks what became of the box's
    // recording; each half is an operation for the watchdog.
    void run_job(const Job& job, Watchdog& dog) {
        Box& b = boxes[static_cast<size_t>(job.box)];
        if (job.op == kWrite && !b.recording) reports_for(avi_path(job.file));  // none may be left of an earlier take
        dog.begin(Watchdog::kHost, describe(job));
        const auto t0 = steady::now();
        send(b.box, job.message);
        const double took = std::chrono::duration<double>(steady::now() - t0).count();
        dog.end(Watchdog::kHost);
        if (took > longest) {
            longest = took;
            longest_op = job.op;
        }
        ops[job.op].fetch_add(1);
        dog.begin(Watchdog::kHost, "checking the recording of " + describe(job));
        follow_recording(b, job);
        dog.end(Watchdog::kHost);
    }

    // Recordings are kept short, so that files stay small and reading them
    // back stays quick under the sanitizers: the host thread stops any that
    // ran for kLongestRecording.
    void stop_long_recordings(Watchdog& dog) {
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (!boxes[i].recording || steady::now() - boxes[i].started < kLongestRecording) continue;
            Job stop;
            stop.box = static_cast<int>(i);
            stop.op = kStop;
            stop.message = "stop";
            run_job(stop, dog);
        }
    }

    Job make_job(std::mt19937& rng, Op op) {
        Job job;
        job.box = static_cast<int>(rng() % kBoxes);
        job.op = op;
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        switch (op) {
        case kColormode: job.message = pick(2) ? "colormode uyvy" : "colormode argb"; break;
        case kFormat: job.message = "format " + std::to_string(pick(7) - 1); break;  // -1 .. 5, past the list too
        case kVdevice: job.message = "vdevice " + std::to_string(pick(6)); break;
        case kResolution: {
            static const char* const sizes[] = {"1280 720", "640 360", "320 240"};
            job.message = std::string("resolution ") + sizes[pick(3)];
            break;
        }
        case kWrite: {
            static const char* const rates[] = {"", " 10", " 15", " 30"};
            job.file = "b" + std::to_string(job.box) + "_" + std::to_string(takes[job.box]++ % 4);
            job.message = "write " + job.file + rates[pick(4)];
            break;
        }
        default: job.message = kOpNames[op]; break;
        }
        return job;
    }

    void drive(steady::time_point until, unsigned seed, Watchdog& dog) {
        std::mt19937 rng(seed);
        int total = 0;
        for (int w : kOpWeights) total += w;
        while (steady::now() < until) {
            int r = static_cast<int>(rng() % static_cast<unsigned>(total));
            int op = 0;
            while (r >= kOpWeights[op]) r -= kOpWeights[op++];
            if (op == kPlug) {
                const size_t d = rng() % plugged.size();
                const Op what = plugged[d] ? kUnplug : kPlug;
                dog.begin(Watchdog::kDriver, std::string(kOpNames[what]) + " \"" + device_name(d) + "\"");
                toggle_device(d);
                ops[what].fetch_add(1);
            } else {
                Job job = make_job(rng, static_cast<Op>(op));
                dog.begin(Watchdog::kDriver, "handing the host thread " + describe(job));
                queue.push(std::move(job));
            }
            dog.end(Watchdog::kDriver);
            std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 25));
        }
        queue.close();
    }

    // Waits for a frame to arrive (up to 5 s), then bangs it out.
    void bang_a_frame(void* box) {
        t_grabber* x = grabber_of(box);
        for (int i = 0; i < 250 && dropped_ref(x).load() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_GT(dropped_ref(x).load(), 0) << "no frame came in the warm-up";
        send(box, "bang");
    }

    // One box through what the run does, so that what the module, host and
    // platform make once and keep (class data, converters, the muxer's
    // tables) exists before the heap is measured.
    void warm_up() {
        void* box = new_box("@vdevice 0 @write_audio 1");
        ASSERT_NE(box, nullptr);
        send(box, "open");
        // Every camera in both layouts, with a frame out of each: the host
        // thread's matrix copy keeps its tables from one frame to the next,
        // grown to the largest seen.
        for (int d = 0; d < 4; ++d) {
            if (d) send(box, "vdevice " + std::to_string(d));
            for (const char* layout : {"colormode argb", "colormode uyvy"}) {
                send(box, layout);
                bang_a_frame(box);
            }
        }
        send(box, "vdevice 0");
        for (const char* m : {"format 2", "resolution 640 360", "bang", "colormode argb", "format 4", "bang",
                              "settings"})
            send(box, m);
        send(box, "write warm 15");
        ASSERT_EQ(grabber_of(box)->state, GRAB_RECORDING) << "the warm-up recording did not start";
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        send(box, "stop");
        Box b{box, true, avi_path("warm")};
        recording_ended(b, "stop");
        toggle_device(1);
        toggle_device(1);
        send(box, "close");
        forget_box(box);
        object_free(box);
        hox_host_run_queue();
        load_devices();
    }

    vorsim::DeviceSet devices;
    std::array<bool, 5> plugged{};  // the cameras, then the microphone (driver thread)
    std::array<std::atomic<long>, 5> unplugs{};  // how often each was unplugged
    fs::path folder;
    std::string previous_folder;

    std::array<Box, kBoxes> boxes{};
    std::array<int, kBoxes> takes{};  // file names cycle through four a box, so few symbols are made
    std::vector<vorsim::RecordingReport> pending_reports;
    JobQueue queue;
    Watchdog* watchdog = nullptr;  // during the run

    std::array<std::atomic<long>, kOpCount> ops{};
    double longest = 0;  // seconds the slowest box message took (the watchdog's margin)
    Op longest_op = kBang;
    long recordings_started = 0;
    long recordings_checked = 0;
    long recordings_cut = 0;  // of those, recordings whose camera was unplugged while they ran
    long frames_checked = 0;
    std::array<long, 2> console_lines{}, outlet_lines{};
};

TEST_F(Stress, RandomOperationsOnFourBoxesThenFreeThem) {
    const long seconds = env_count("VOR_STRESS_SECONDS", 20);
    ASSERT_GE(seconds, 0) << "VOR_STRESS_SECONDS must be a whole number of seconds";
    const long seed_env = env_count("VOR_STRESS_SEED", -2);
    ASSERT_NE(seed_env, -1) << "VOR_STRESS_SEED must be a whole number";
    const unsigned seed = seed_env >= 0 ? static_cast<unsigned>(seed_env) : std::random_device{}();
    std::printf("stress: %ld s, seed %u (VOR_STRESS_SEED repeats the choices)\n", seconds, seed);
    std::fflush(stdout);

    warm_up();
    if (HasFatalFailure()) return;
    recordings_started = recordings_checked = frames_checked = 0;  // the summary counts the run's own
    pending_reports.reserve(16);
    const long long heap_before = heap_in_use();
    const long long task_before = vorsim::task_memory_outstanding();
    const long long bstr_before = vorsim::bstr_outstanding();

    for (int i = 0; i < kBoxes; ++i) {
        const std::string args = "@vdevice " + std::to_string(i) + " @colormode " + (i % 2 ? "uyvy" : "argb") +
                                 " @write_audio " + std::to_string(i / 2);
        boxes[static_cast<size_t>(i)].box = new_box(args);
        ASSERT_NE(boxes[static_cast<size_t>(i)].box, nullptr) << args;
    }

    const auto started = steady::now();
    {
        Watchdog dog(kStallLimit);
        watchdog = &dog;
        std::thread driver([&] { drive(started + std::chrono::seconds(seconds), seed, dog); });
        Job job;
        while (queue.pop(job)) {
            stop_long_recordings(dog);
            run_job(job, dog);
        }
        driver.join();

        for (size_t i = 0; i < boxes.size(); ++i) {
            Box& b = boxes[i];
            dog.begin(Watchdog::kHost, "freeing box " + std::to_string(i));
            forget_box(b.box);
            object_free(b.box);
            hox_host_run_queue();
            b.box = nullptr;
            dog.end(Watchdog::kHost);
            if (b.recording) {
                dog.begin(Watchdog::kHost, "checking the recording of box " + std::to_string(i));
                recording_ended(b, "freeing the box");
                dog.end(Watchdog::kHost);
            }
        }
        watchdog = nullptr;
    }
    const double ran = std::chrono::duration<double>(steady::now() - started).count();

    load_devices();
    hox_host_run_queue();
    for (const auto& r : vorsim::take_recording_reports()) pending_reports.push_back(r);
    for (const auto& r : pending_reports) ADD_FAILURE() << "a recording nobody started or checked: " << r.path;
    pending_reports = {};

    const long long heap_after = heap_in_use();
    EXPECT_LE(heap_after - heap_before, kHeapTolerance)
        << "the heap grew by " << heap_after - heap_before << " bytes over the run (before " << heap_before
        << ", after " << heap_after << ")";
    EXPECT_EQ(vorsim::task_memory_outstanding(), task_before) << "task memory left over";
    EXPECT_EQ(vorsim::bstr_outstanding(), bstr_before) << "BSTRs left over";
    EXPECT_EQ(recordings_checked, recordings_started) << "every recording that started was checked";
    if (ops[kWrite].load() >= 50) {
        // Enough tries for some recordings to have started and held frames.
        EXPECT_GT(recordings_checked, 0);
        EXPECT_GT(frames_checked, 0);
    }

    long total = 0;
    std::string counts;
    for (int op = 0; op < kOpCount; ++op) {
        total += ops[static_cast<size_t>(op)].load();
        counts += std::string(op ? ", " : "") + kOpNames[op] + " " + std::to_string(ops[static_cast<size_t>(op)].load());
    }
    std::printf("stress summary: %.1f s (seed %u); %ld operations: %s; recordings checked %ld (%ld cut short by an "
                "unplug); frames checked %ld; slowest %s %.2f s; heap %+lld bytes; console errors %ld, posts %ld\n",
                ran, seed, total, counts.c_str(), recordings_checked, recordings_cut, frames_checked,
                kOpNames[longest_op], longest,
                heap_after - heap_before, console_lines[HOX_CONSOLE_ERROR], console_lines[HOX_CONSOLE_POST]);
    std::fflush(stdout);
}

}  // namespace
