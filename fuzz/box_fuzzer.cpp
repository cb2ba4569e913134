// The box vor.dx.grab under arbitrary messages: every message and attribute
// (module/box.cpp, grabber/attributes.cpp, controls/), with arbitrary atom
// lists, in any order, on open and closed grabbers, with devices coming and
// going, platform calls failing and a second box competing for the devices.
//
// The input is text, one line at a time, read by the host's own atom reader
// (as the shell reads a script):
//
//   MESSAGE ARGS...      sent to the box, as a patch sends it (a box is made
//                        first when there is none)
//   !new ARGS...         the box is freed and made again with these
//                        creation arguments (@attr values... included)
//   !free                the box is freed
//   !second MESSAGE ...  sent to a second box (made when there is none)
//   !frames N            every running source delivers N (0..4) samples;
//                        cards get N new frames
//   !unplug NAME         the device of that name is unplugged
//   !plug                the fuzzer's devices are plugged again, after those
//                        there are
//   !fault CALL [N]      a platform call fails (the next N times)
//   !window 0|1          whether the host has a main window
//   !dialog [NAME]       answers the next save dialog with NAME in the
//                        scratch folder (cancels it without NAME)
//   !cardmode N          the first card detects display mode N
//
// Some words stand for atoms text cannot give: %nan, %inf, %-inf (floats),
// %empty (the empty symbol) and %longN (a symbol of one of eight lengths
// from 255 to 65536 bytes, N picking one). No symbol keeps a '/' (each
// becomes '_'), so that whatever a box writes lands in the scratch folder,
// which is emptied after every input. The first two numbers of creation
// arguments are kept within +-1024 (their bits above 32 are left as they
// are), so that no input asks the host for a matrix of gigabytes.
//
// The devices are the built-in ones made small (kDevices). Nothing streams
// on its own: the platform runs on the manual clock. Every input ends with
// its boxes freed, the platform's devices, faults, window and dialog as they
// were, and the scratch folder empty, so that leaks show up.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "devices/device_set.h"
#include "fuzz_support.h"
#include "hoxhost.h"
#include "module/module.h"
#include "options.h"
#include "platform_commands.h"
#include "vorsim.h"

namespace {

constexpr const char* kTarget = "box";
constexpr size_t kMaxLines = 64;

// The built-in devices made small (frames of a few pixels, odd sizes and
// heights below 6 among them), so that an input runs in milliseconds, plus
// a device whose pin has no stream configuration and nothing else, and one
// with planar formats only (which the frame callback converts). Video
// devices 0 to 4, then the card: vdevice 5.
constexpr const char* kDevices = R"({
  "video": [
    { "friendly_name": "Virtual Camera",
      "device_path": "\\\\?\\usb#vid_1d6b&pid_0102#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global",
      "pins": [
        { "category": "capture",
          "caps": [
            { "format": "VideoInfo",  "subtype": "YUY2",  "width": 16, "height": 12 },
            { "format": "VideoInfo",  "subtype": "YUY2",  "width": 6,  "height": 3 },
            { "format": "VideoInfo",  "subtype": "RGB32", "width": 17, "height": 9 },
            { "format": "VideoInfo",  "subtype": "RGB32", "width": 5,  "height": -3 },
            { "format": "VideoInfo",  "subtype": "RGB24", "width": 13, "height": 7, "min_interval": 666667 },
            { "format": "VideoInfo",  "subtype": "I420",  "width": 12, "height": 4 },
            { "format": "VideoInfo2", "subtype": "MJPG",  "width": 32, "height": 16 }
          ] },
        { "category": "preview" }
      ],
      "procamp": {
        "brightness":   { "min": -64,  "max": 64,   "step": 1,  "default": 0,    "flags": 2 },
        "contrast":     { "min": 0,    "max": 100,  "step": 1,  "default": 50,   "flags": 2 },
        "hue":          { "min": -2147483648, "max": 2147483647, "step": 1, "default": 0, "flags": 2 },
        "gamma":        { "min": 72,   "max": 500,  "step": 1,  "default": 100,  "flags": 2 },
        "whitebalance": { "min": 2800, "max": 6500, "step": 10, "default": 4600, "flags": 3 },
        "gain":         { "min": 0,    "max": 0,    "step": 1,  "default": 0,    "flags": 1 }
      },
      "property_pages": 2 },
    { "description": "Virtual DV Camcorder", "friendly_name": "Microsoft DV Camera and VCR",
      "pins": [ { "category": "capture", "interleaved": true,
                  "caps": [ { "format": "DvInfo", "subtype": "dvsd", "width": 720, "height": 480, "min_interval": 333667 } ] } ],
      "transport": { "input_signal": 5038 } },
    { "friendly_name": "Virtual Analog Capture",
      "pins": [
        { "category": "capture",
          "caps": [
            { "format": "VideoInfo", "subtype": "UYVY",  "width": 18, "height": 6, "min_interval": 333667, "standard": 1 },
            { "format": "VideoInfo", "subtype": "UYVY",  "width": 20, "height": 4, "min_interval": 400000, "standard": 496 },
            { "format": "VideoInfo", "subtype": "YUY2",  "width": 14, "height": 5, "min_interval": 333667, "standard": 1 },
            { "format": "VideoInfo", "subtype": "RGB24", "width": 11, "height": 3, "min_interval": 333667, "standard": 2 },
            { "format": "VideoInfo", "subtype": "YV12",  "width": 10, "height": 8, "min_interval": 0, "standard": 0 }
          ] }
      ],
      "pattern": "ramp",
      "crossbar": { "inputs": ["Video Tuner", "Video Composite", "Video SVideo"], "outputs": 2, "routed": 1, "routable": [0, 2] },
      "procamp": { "brightness": { "min": 0, "max": 10000, "step": 1, "default": 5000, "flags": 2 } },
      "property_pages": 3 },
    { "description": "Plain Capture",
      "pins": [ { "category": "capture", "stream_config": false,
                  "caps": [ { "format": "VideoInfo", "subtype": "RGB32", "width": 3, "height": 2 } ] } ] },
    { "description": "Planar Camera",
      "pins": [ { "category": "capture",
                  "caps": [ { "format": "VideoInfo", "subtype": "I420", "width": 10, "height": 6 },
                            { "format": "VideoInfo", "subtype": "YV12", "width": 6, "height": 2 },
                            { "format": "VideoInfo", "subtype": "I420", "width": 34, "height": 14 } ] } ],
      "pattern": "ramp" }
  ],
  "audio": [ { "friendly_name": "Virtual Microphone", "rate": 8000, "channels": 1, "property_pages": 1 } ],
  "cards": [ { "name": "Virtual Card", "id": "BM-0001",
               "modes": [ { "name": "NTSC", "width": 18, "height": 6 }, { "name": "PAL", "width": 20, "height": 8 },
                          { "name": "Odd", "width": 33, "height": 5 } ] } ]
})";

const vorsim::DeviceSet& device_set() {
    static const vorsim::DeviceSet set = [] {
        vorsim::DeviceSet s;
        std::string why;
        VORFUZZ_CHECK(kTarget, vorsim::parse_device_file(kDevices, s, why), "the fuzzer's devices do not read: " + why);
        return s;
    }();
    return set;
}

// The devices, the manual clock and the cards, as the shell sets them up.
void setup_platform() {
    vorsim::load_devices(device_set());
    vorhost::Options options;
    options.device_set = vorhost::DeviceSet::builtin;  // keeps what is loaded
    options.clock = vorhost::Clock::manual;
    std::string why;
    VORFUZZ_CHECK(kTarget, vorhost::setup_platform(options, why), "the platform cannot be set up: " + why);
}

// The atom a word stands for, and symbols without '/'.
t_atom decode(const t_atom& a) {
    if (a.a_type != A_SYM || !a.a_w.w_sym) return a;
    const std::string text = a.a_w.w_sym->s_name;
    t_atom out = a;
    if (text == "%nan") {
        atom_setfloat(&out, std::numeric_limits<double>::quiet_NaN());
    } else if (text == "%inf") {
        atom_setfloat(&out, std::numeric_limits<double>::infinity());
    } else if (text == "%-inf") {
        atom_setfloat(&out, -std::numeric_limits<double>::infinity());
    } else if (text == "%empty") {
        atom_setsym(&out, gensym(""));
    } else if (text.rfind("%long", 0) == 0) {
        static const size_t kLengths[] = {255, 256, 2043, 2044, 2047, 2048, 4096, 65536};
        const size_t n = kLengths[(text.size() > 5 ? static_cast<unsigned char>(text[5]) : 0) % 8];
        atom_setsym(&out, gensym(std::string(n, 'x').c_str()));
    } else if (text.find('/') != std::string::npos) {
        std::string safe = text;
        for (char& c : safe)
            if (c == '/') c = '_';
        atom_setsym(&out, gensym(safe.c_str()));
    }
    return out;
}

// A size argument within +-1024, keeping the bits above the 32 that a box
// reads.
void bound_size(t_atom& a) {
    constexpr int32_t kLimit = 1024;
    if (a.a_type == A_LONG) {
        const auto low = static_cast<int32_t>(a.a_w.w_long);
        if (low > kLimit || low < -kLimit) a.a_w.w_long = a.a_w.w_long - low + low % (kLimit + 1);
    } else if (a.a_type == A_FLOAT) {
        if (std::fabs(a.a_w.w_float) > kLimit) a.a_w.w_float = std::fmod(a.a_w.w_float, kLimit + 1.0);
    }
}

struct Session {
    void* boxes[2] = {nullptr, nullptr};
    bool devices_changed = false;

    void* make(int which, std::vector<t_atom> args) {
        free_box(which);
        int sizes = 0;
        for (t_atom& a : args) {
            if (a.a_type == A_SYM && a.a_w.w_sym && a.a_w.w_sym->s_name[0] == '@') break;
            if (sizes++ < 2) bound_size(a);
        }
        boxes[which] = object_new_typed(gensym("box"), gensym("vor.dx.grab"), static_cast<long>(args.size()),
                                        args.empty() ? nullptr : args.data());
        hox_host_run_queue();
        return boxes[which];
    }
    void* box(int which) { return boxes[which] ? boxes[which] : make(which, {}); }
    void free_box(int which) {
        if (!boxes[which]) return;
        object_free(boxes[which]);
        boxes[which] = nullptr;
        hox_host_run_queue();
    }
    void send(int which, const std::vector<t_atom>& atoms, size_t from) {
        if (from >= atoms.size() || atoms[from].a_type != A_SYM || !atoms[from].a_w.w_sym) return;
        void* b = box(which);
        if (!b) return;
        std::vector<t_atom> args(atoms.begin() + static_cast<long>(from) + 1, atoms.end());
        object_send(b, atoms[from].a_w.w_sym, static_cast<long>(args.size()), args.empty() ? nullptr : args.data());
        hox_host_run_queue();
    }

    // A line for the person at the machine.
    void person(const std::string& what, const std::vector<t_atom>& a) {
        auto number = [&](size_t i, long otherwise) {
            return i < a.size() && (a[i].a_type == A_LONG || a[i].a_type == A_FLOAT)
                       ? static_cast<long>(atom_getlong(&a[i]))
                       : otherwise;
        };
        auto word = [&](size_t i) {
            return i < a.size() && a[i].a_type == A_SYM ? std::string(atom_getsym(&a[i])->s_name) : "";
        };
        if (what == "!new") {
            make(0, std::vector<t_atom>(a.begin() + 1, a.end()));
        } else if (what == "!free") {
            free_box(0);
        } else if (what == "!second") {
            send(1, a, 1);
        } else if (what == "!frames") {
            const long n = number(1, 1);
            const int frames = static_cast<int>(n < 0 ? 0 : n > 4 ? 4 : n);
            vorsim::deliver_frames(frames);
            hox_host_cards_advance(frames);
            hox_host_run_queue();
        } else if (what == "!unplug") {
            devices_changed = true;
            vorsim::unplug_device(word(1));
            hox_host_run_queue();
        } else if (what == "!plug") {
            devices_changed = true;
            vorsim::plug_devices(device_set());
        } else if (what == "!fault") {
            const long n = number(2, vorsim::kAlways);
            vorsim::fault_set(word(1), n >= 1 && n <= 1000 ? static_cast<int>(n) : vorsim::kAlways);
        } else if (what == "!window") {
            hox_host_set_main_window(number(1, 1) != 0);
        } else if (what == "!dialog") {
            const std::string name = word(1);
            if (name.empty())
                hox_host_answer_save_dialog(nullptr);
            else
                hox_host_answer_save_dialog((vorfuzz::scratch_folder() + "/" + name).c_str());
        } else if (what == "!cardmode") {
            hox_host_card_signal(0, number(1, 0));
            hox_host_run_queue();
        }
    }

    void line(const std::string& text) {
        long ac = 0;
        t_atom* av = nullptr;
        if (hox_atoms_parse(text.c_str(), &ac, &av, nullptr, 0) != HOX_ERR_NONE || ac == 0) {
            sysmem_freeptr(av);
            return;
        }
        std::vector<t_atom> atoms;
        for (long i = 0; i < ac; ++i) atoms.push_back(decode(av[i]));
        sysmem_freeptr(av);
        const std::string head = atoms[0].a_type == A_SYM ? atom_getsym(&atoms[0])->s_name : "";
        if (!head.empty() && head[0] == '!')
            person(head, atoms);
        else
            send(0, atoms, 0);
    }

    // Everything back as it was before the input.
    void end() {
        free_box(1);
        free_box(0);
        vorsim::fault_clear();
        hox_host_set_main_window(true);
        hox_host_answer_save_dialog(nullptr);
        if (devices_changed) setup_platform();
        hox_host_run_queue();
        vorfuzz::clear_scratch_folder();
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    hox_host_set_console([](void*, void*, t_hox_console_kind, const char*) {}, nullptr);
    hox_host_set_outlet_sink([](void*, void*, long, bool, t_symbol*, long, t_atom*) {}, nullptr);
    setup_platform();
    hox_host_set_default_folder(vorfuzz::scratch_folder().c_str());
    ext_main();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Session session;
    size_t lines = 0, start = 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    while (start <= text.size() && lines++ < kMaxLines) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        session.line(text.substr(start, end - start));
        start = end + 1;
    }
    session.end();
    vorfuzz::check_leaks_every(1024);
    return 0;
}
