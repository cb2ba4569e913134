#include "box_harness.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "hoxhost.h"
#include "vorsim.h"

namespace vorbench {

namespace {

std::string program_dir() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string device_json() {
    std::ostringstream j;
    j << "{\"video\": [";
    bool first = true;
    for (const FrameSize& s : frame_sizes()) {
        // Per size: RGB32 and UYVY cameras with a capture pin only (the
        // graph takes its preview through a Smart Tee), then an RGB32
        // camera with a preview pin of its own.
        for (int kind = 0; kind < 3; ++kind) {
            const char* subtype = kind == 1 ? "UYVY" : "RGB32";
            if (!first) j << ",";
            first = false;
            j << "{\"friendly_name\": \"Bench " << subtype << (kind == 2 ? " preview " : " ") << s.name()
              << "\", \"pattern\": {\"solid\": [16, 128, 235, 0]},"
              << " \"pins\": [{\"category\": \"capture\", \"caps\": [{\"format\": \"VideoInfo\", \"subtype\": \""
              << subtype << "\", \"width\": " << s.w << ", \"height\": " << s.h << "}]}"
              << (kind == 2 ? ", {\"category\": \"preview\"}" : "") << "]}";
        }
    }
    j << "], \"audio\": [{\"friendly_name\": \"Bench Microphone\", \"rate\": 8000, \"channels\": 1}]}";
    return j.str();
}

int size_index(const FrameSize& s) {
    const auto& all = frame_sizes();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].w == s.w && all[i].h == s.h) return static_cast<int>(i);
    return -1;
}

void on_console(void*, void*, t_hox_console_kind kind, const char* text) {
    if (kind == HOX_CONSOLE_ERROR) {
        ++box_talk().errors;
        box_talk().last_error = text;
    }
}

void on_outlet(void*, void*, long, bool dump, t_symbol* s, long ac, t_atom* av) {
    if (dump) {
        std::string line = s->s_name;
        if (ac > 0) {
            char buf[256];
            hox_atom_format(&av[0], buf, sizeof buf);
            line += std::string(" ") + buf;
        }
        box_talk().last_dump = line;
    } else if (s == _vor_sym_vor_matrix) {
        ++box_talk().matrices;
    }
}

}  // namespace

BoxTalk& box_talk() {
    static BoxTalk talk;
    return talk;
}

bool box_world(std::string& why) {
    static int state = 0;  // 0 not tried, 1 ready, -1 failed
    static std::string reason;
    if (state == 0) {
        state = -1;
        char err[512] = "";
        const std::string module = program_dir() + "/vor.dx.grab.kpx64";
        const std::string devices = "/tmp/vorbench_devices_" + std::to_string(getpid()) + ".json";
        if (hox_host_load_module(module.c_str(), err, sizeof err) != 0) {
            reason = module + ": " + (err[0] ? err : "cannot be loaded");
        } else if (!(std::ofstream(devices) << device_json())) {
            reason = devices + ": cannot be written";
        } else if (!vorsim::load_device_file(devices, reason)) {
            // reason says why
        } else {
            vorsim::clock_set(vorsim::ClockMode::manual);
            hox_host_set_console(on_console, nullptr);
            hox_host_set_outlet_sink(on_outlet, nullptr);
            state = 1;
        }
        std::remove(devices.c_str());
    }
    why = reason;
    return state == 1;
}

int rgb32_device(const FrameSize& s) { return 3 * size_index(s); }
int uyvy_device(const FrameSize& s) { return 3 * size_index(s) + 1; }
int rgb32_preview_pin_device(const FrameSize& s) { return 3 * size_index(s) + 2; }

Box::Box(const std::string& args) {
    long ac = 0;
    t_atom* av = nullptr;
    char err[128];
    if (hox_atoms_parse(args.c_str(), &ac, &av, err, sizeof err) != HOX_ERR_NONE) return;
    box_ = object_new_typed(gensym("box"), gensym("vor.dx.grab"), ac, av);
    sysmem_freeptr(av);
    hox_host_run_queue();
}

Box::~Box() {
    if (box_) object_free(box_);
    hox_host_run_queue();
}

void Box::send(const std::string& message) {
    long ac = 0;
    t_atom* av = nullptr;
    char err[128];
    if (!box_ || hox_atoms_parse(message.c_str(), &ac, &av, err, sizeof err) != HOX_ERR_NONE || ac < 1) return;
    object_send(box_, atom_getsym(&av[0]), ac - 1, av + 1);
    sysmem_freeptr(av);
    hox_host_run_queue();
}

void Box::bang() {
    static t_symbol* const bang_sym = gensym("bang");
    object_send(box_, bang_sym, 0, nullptr);
    hox_host_run_queue();
}

void* Box::output() const { return box_ ? hox_vor_mop_getoutput(box_, 1) : nullptr; }

void first_cell(void* matrix, uint8_t cell[4]) {
    std::memset(cell, 0, 4);
    if (!matrix) return;
    t_vor_matrix_info info{};
    void* data = nullptr;
    vor_object_method(matrix, _vor_sym_getinfo, &info);
    vor_object_method(matrix, _vor_sym_getdata, &data);
    if (data && info.planecount >= 4 && info.size >= 4) std::memcpy(cell, data, 4);
}

}  // namespace vorbench
