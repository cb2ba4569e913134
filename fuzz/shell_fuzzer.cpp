// The shell's reading of scripts: the host's atom reader and printer, the
// interpreter's line handling, dispatch and argument checks (Args), run
// over arbitrary text as a script typed at the prompt (which goes on after
// a wrong line).
//
// The host reads and prints atoms as the real one does (it is the real one)
// but only plays at having boxes: a box is a small record that echoes what
// it is sent out of its outlets and on the console, so the interpreter's
// naming and printing run too. The platform commands are the shell's own,
// except that `plug` only takes files in the scratch folder and `sleep`
// does not sleep, so that no input reads a device or waits.
//
// Checked beyond the sanitizers: nothing escapes run(); every output line
// is whole; every error line names its script line; the status says
// whether there was a wrong line; every box made is freed by finish(); and
// every atom read from a line prints as text that reads back as the same
// atom (longs and symbols exactly, floats as the number the text says).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "devices/device_set.h"
#include "fuzz_support.h"
#include "hoxhost.h"
#include "interpreter.h"
#include "options.h"
#include "platform_commands.h"
#include "real_host.h"
#include "vorsim.h"

namespace {

constexpr const char* kTarget = "shell";

struct Box {
    std::string class_name;
    Box* wrapper = nullptr;  // the box an inner object belongs to
    Box* inner = nullptr;
};

class EchoHost : public vorhost::RealHost {
public:
    vorhost::HostEvents* events = nullptr;
    long live = 0;  // boxes and inner objects not yet freed

    bool has_box_class(const std::string& name) override { return name == "vor.dx.grab" || name == "vor.other"; }

    void* new_box(const std::string& class_name, std::vector<t_atom>& args) override {
        // A constructor that fails, when asked to.
        for (const t_atom& a : args)
            if (a.a_type == A_SYM && a.a_w.w_sym && std::string(a.a_w.w_sym->s_name) == "@fail") return nullptr;
        auto* box = new Box{class_name};
        box->inner = new Box{"vor_grab_dx_imp", box};
        live += 2;
        // Reports while the box is made name it by the name being given.
        events->console(box, false, "constructing");
        events->console(box->inner, true, "inner");
        events->outlet(box, 1, true, gensym("new"), long(args.size()), args.empty() ? nullptr : args.data());
        return box;
    }

    void send(void* box, t_symbol* message, std::vector<t_atom>& args) override {
        auto* b = static_cast<Box*>(box);
        const long ac = long(args.size());
        const t_atom* av = args.empty() ? nullptr : args.data();
        events->outlet(b, 0, false, message, ac, av);
        events->outlet(b->inner, 0, true, message, ac, av);
        events->console(b->inner, ac % 2 == 0, message->s_name);
        events->console(nullptr, false, "host");
    }

    void free_box(void* box) override {
        auto* b = static_cast<Box*>(box);
        events->console(b, false, "freeing");
        delete b->inner;
        delete b;
        live -= 2;
    }

    void* wrapping_box(void* object) override { return static_cast<Box*>(object)->wrapper; }
    std::string class_name(void* object) override { return static_cast<Box*>(object)->class_name; }

    bool matrix(void* box, vorhost::MatrixShape& s, std::string& why) override {
        if (static_cast<Box*>(box)->class_name != "vor.dx.grab") {
            why = "the box has no matrix output";
            return false;
        }
        s = vorhost::MatrixShape{"char", 4, {320, 240}, 0};
        return true;
    }
    bool cell(void*, long x, long y, std::vector<t_atom>& planes, std::string& why) override {
        if (x < 0 || y < 0 || x >= 320 || y >= 240) {
            why = "outside the matrix";
            return false;
        }
        planes.assign(4, t_atom{});
        for (long i = 0; i < 4; ++i) atom_setlong(&planes[size_t(i)], (x + y + i) & 255);
        return true;
    }
    bool texture(void*, vorhost::TextureShape& t, std::string& why) override {
        t = vorhost::TextureShape{gensym("u1000000002"), 640, 480, 2560, 8, 3};
        why.clear();
        return true;
    }
    void answer_save_dialog(const char*) override {}
    void set_main_window(bool) override {}
    std::string default_folder() override { return vorfuzz::scratch_folder(); }
    void run_queue() override {}
};

// Each atom of the line prints as text that reads back as the same atom.
void check_round_trip(const std::string& line) {
    long ac = 0;
    t_atom* av = nullptr;
    char err[128] = "";
    if (hox_atoms_parse(line.c_str(), &ac, &av, err, sizeof err) != HOX_ERR_NONE) {
        VORFUZZ_CHECK(kTarget, ac == 0 && av == nullptr, "a refused line left atoms behind");
        VORFUZZ_CHECK(kTarget, err[0] != '\0', "a refused line without a reason");
        return;
    }
    for (long i = 0; i < ac; ++i) {
        const t_atom& a = av[i];
        const long n = hox_atom_format(&a, nullptr, 0);
        VORFUZZ_CHECK(kTarget, n >= 0, "an atom that cannot be printed");
        std::string text(size_t(n) + 1, '\0');
        VORFUZZ_CHECK(kTarget, hox_atom_format(&a, text.data(), n + 1) == n, "printing gives two lengths");
        text.resize(size_t(n));
        long bc = 0;
        t_atom* bv = nullptr;
        VORFUZZ_CHECK(kTarget, hox_atoms_parse(text.c_str(), &bc, &bv, nullptr, 0) == HOX_ERR_NONE,
                      "printed atom does not read: " + text);
        VORFUZZ_CHECK(kTarget, bc == 1, "printed atom reads as " + std::to_string(bc) + " atoms: " + text);
        const t_atom& b = bv[0];
        if (a.a_type == A_LONG) {
            VORFUZZ_CHECK(kTarget, b.a_type == A_LONG && b.a_w.w_long == a.a_w.w_long,
                          "a long does not read back: " + text);
        } else if (a.a_type == A_SYM) {
            VORFUZZ_CHECK(kTarget, b.a_type == A_SYM && b.a_w.w_sym == a.a_w.w_sym,
                          "a symbol does not read back: " + text);
        } else if (std::isfinite(a.a_w.w_float)) {
            // %g keeps six digits, and a float with none after the point
            // reads back as a long: the number the text says is kept.
            VORFUZZ_CHECK(
                kTarget,
                (b.a_type == A_LONG || b.a_type == A_FLOAT) && atom_getfloat(&b) == std::strtod(text.c_str(), nullptr),
                "a float prints as " + text + " which reads back as another number");
        } else {
            VORFUZZ_CHECK(kTarget, b.a_type == A_SYM, "an infinite float prints as a number: " + text);
        }
        sysmem_freeptr(bv);
    }
    sysmem_freeptr(av);
}

struct Shell {
    EchoHost host;
    std::ostringstream out, err;
    vorhost::Interpreter interpreter{host, out, err};
    vorhost::PlatformCommands platform{interpreter, vorfuzz::scratch_folder()};

    Shell() {
        host.events = &interpreter;
        // `plug` reads device files from the scratch folder only.
        interpreter.add_command("plug", [](vorhost::Args& a) {
            a.expect(1, 1, "plug FILE.json");
            const std::string name = a.word(0, "FILE");
            if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
                throw vorhost::CommandError{"plug: only files of the scratch folder"};
            std::string why;
            if (!vorsim::plug_device_file(vorfuzz::scratch_folder() + "/" + name, why))
                throw vorhost::CommandError{"plug: " + why};
        });
        interpreter.add_command("sleep", [](vorhost::Args& a) { a.expect(1, 1, "sleep MS"); });
    }
};

const vorsim::DeviceSet& default_set() {
    static const vorsim::DeviceSet set = vorsim::default_devices();
    return set;
}

// Puts the platform back as the shell starts it: the built-in devices on
// the manual clock, no faults.
void reset_platform() {
    vorsim::fault_clear();
    if (vorsim::current_devices() == default_set()) return;
    vorsim::load_devices(default_set());
    vorhost::Options options;
    options.clock = vorhost::Clock::manual;
    std::string why;
    VORFUZZ_CHECK(kTarget, vorhost::setup_platform(options, why), "the platform cannot be set up: " + why);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vorhost::Options options;
    options.clock = vorhost::Clock::manual;
    std::string why;
    VORFUZZ_CHECK(kTarget, vorhost::setup_platform(options, why), "the platform cannot be set up: " + why);
    // Device files `plug` may name.
    std::ofstream(vorfuzz::scratch_folder() + "/camera.json")
        << R"({"video": [{"friendly_name": "Plugged", "pins": [{"category": "capture", "caps": [)"
           R"({"format": "VideoInfo", "subtype": "RGB32", "width": 64, "height": 48}]}]}],)"
           R"( "cards": [{"name": "Card 2", "id": "BM-0002", "modes": [{"name": "M", "width": 8, "height": 6}]}]})";
    std::ofstream(vorfuzz::scratch_folder() + "/broken.json") << R"({"video": [{"pins": []}]})";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string script(reinterpret_cast<const char*>(data), size);
    int status = 0;
    std::string out, err;
    long live = 0;
    {
        Shell shell;
        std::istringstream in(script);
        try {
            status = shell.interpreter.run(in, true);
            shell.interpreter.finish();
        } catch (...) {
            vorfuzz::fail(kTarget, "an exception escaped the interpreter");
        }
        out = shell.out.str();
        err = shell.err.str();
        live = shell.host.live;
    }
    reset_platform();

    VORFUZZ_CHECK(kTarget, live == 0, std::to_string(live) + " objects were not freed");
    VORFUZZ_CHECK(kTarget, status == (err.empty() ? 0 : 2),
                  "status " + std::to_string(status) + " with errors: " + err);
    VORFUZZ_CHECK(kTarget, !out.empty() && out.back() == '\n', "the output does not end with a whole line");
    // Error lines: "vorhost: N: what", N a script line.
    std::istringstream errors(err);
    std::string line;
    while (std::getline(errors, line)) {
        VORFUZZ_CHECK(kTarget, line.rfind("vorhost: ", 0) == 0, "an error line without the program's name: " + line);
        const size_t digits = line.find_first_not_of("0123456789", 9);
        VORFUZZ_CHECK(kTarget, digits > 9 && digits != std::string::npos && line.compare(digits, 2, ": ") == 0,
                      "an error line without its line number: " + line);
    }
    VORFUZZ_CHECK(kTarget, err.empty() || err.back() == '\n', "the errors do not end with a whole line");

    std::istringstream lines(script);
    while (std::getline(lines, line)) check_round_trip(line);
    return 0;
}
