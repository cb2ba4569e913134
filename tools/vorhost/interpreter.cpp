#include "interpreter.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <istream>
#include <limits>
#include <ostream>
#include <thread>

namespace vorhost {

namespace {

// An atom as a message about it shows it (output lines use the host's
// printer instead).
std::string describe(const t_atom& a) {
    char buf[64];
    switch (a.a_type) {
    case A_LONG:
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(a.a_w.w_long));
        return buf;
    case A_FLOAT:
        std::snprintf(buf, sizeof buf, "%g", a.a_w.w_float);
        return buf;
    case A_SYM:
        return a.a_w.w_sym ? std::string("\"") + a.a_w.w_sym->s_name + "\"" : "\"\"";
    default:
        return "an object";
    }
}

t_atom symbol_atom(t_symbol* s) {
    t_atom a{};
    a.a_type = A_SYM;
    a.a_w.w_sym = s;
    return a;
}

}  // namespace

// ---------------------------------------------------------------- Args

void Args::expect(std::size_t min, std::size_t max, const char* form) const {
    if (atoms_.size() < min || atoms_.size() > max)
        throw CommandError{command_ + ": expected " + form};
}

std::string Args::word(std::size_t i, const char* what) const {
    if (i >= atoms_.size())
        throw CommandError{command_ + ": " + what + " is missing"};
    const t_atom& a = atoms_[i];
    if (a.a_type != A_SYM || !a.a_w.w_sym)
        throw CommandError{command_ + ": " + what + " must be a word, not " + describe(a)};
    return a.a_w.w_sym->s_name;
}

long Args::number(std::size_t i, const char* what) const {
    if (i >= atoms_.size())
        throw CommandError{command_ + ": " + what + " is missing"};
    const t_atom& a = atoms_[i];
    if (a.a_type != A_LONG || a.a_w.w_long < std::numeric_limits<long>::min() ||
        a.a_w.w_long > std::numeric_limits<long>::max())
        throw CommandError{command_ + ": " + what + " must be a whole number, not " + describe(a)};
    return static_cast<long>(a.a_w.w_long);
}

std::vector<t_atom> Args::rest(std::size_t i) const {
    if (i >= atoms_.size())
        return {};
    return std::vector<t_atom>(atoms_.begin() + static_cast<std::ptrdiff_t>(i), atoms_.end());
}

// ---------------------------------------------------------------- Interpreter

Interpreter::Interpreter(HostPort& host, std::ostream& out, std::ostream& err)
    : host_(host), out_(out), err_(err) {
    add_command("new", [this](Args& a) { cmd_new(a); });
    add_command("free", [this](Args& a) { cmd_free(a); });
    add_command("sleep", [this](Args& a) { cmd_sleep(a); });
    add_command("matrix", [this](Args& a) { cmd_matrix(a); });
    add_command("cell", [this](Args& a) { cmd_cell(a); });
    add_command("texture", [this](Args& a) { cmd_texture(a); });
    add_command("dialog", [this](Args& a) { cmd_dialog(a); });
    add_command("window", [this](Args& a) { cmd_window(a); });
}

Interpreter::~Interpreter() = default;

void Interpreter::add_command(const std::string& name, Handler handler) {
    commands_[name] = std::move(handler);
}

bool Interpreter::run_line(long number, const std::string& raw) {
    std::string line = raw;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#')
        return true;

    bool ok = true;
    try {
        std::vector<t_atom> atoms;
        std::string why;
        if (!host_.parse(line, atoms, why))
            throw CommandError{why.empty() ? "cannot read the line" : why};
        if (!atoms.empty())
            dispatch(atoms);
    } catch (const CommandError& e) {
        std::lock_guard lock(out_mutex_);
        err_ << "vorhost: " << number << ": " << e.what << '\n' << std::flush;
        ok = false;
    } catch (const std::exception& e) {
        std::lock_guard lock(out_mutex_);
        err_ << "vorhost: " << number << ": " << e.what() << '\n' << std::flush;
        ok = false;
    }
    host_.run_queue();
    return ok;
}

void Interpreter::dispatch(std::vector<t_atom>& atoms) {
    if (atoms[0].a_type != A_SYM || !atoms[0].a_w.w_sym)
        throw CommandError{"a line must begin with a command or a box name, not " + describe(atoms[0])};
    std::string head = atoms[0].a_w.w_sym->s_name;
    if (auto it = commands_.find(head); it != commands_.end()) {
        Args args(head, std::vector<t_atom>(atoms.begin() + 1, atoms.end()));
        it->second(args);
        return;
    }
    void* b = box(head);
    if (!b)
        throw CommandError{"no command or box named " + describe(atoms[0])};
    if (atoms.size() < 2)
        throw CommandError{head + ": expected a message after the box name"};
    if (atoms[1].a_type != A_SYM || !atoms[1].a_w.w_sym)
        throw CommandError{head + ": a message must begin with a word, not " + describe(atoms[1])};
    std::vector<t_atom> args(atoms.begin() + 2, atoms.end());
    host_.send(b, atoms[1].a_w.w_sym, args);
}

int Interpreter::run(std::istream& in, bool prompt) {
    int status = 0;
    long number = 0;
    std::string line;
    for (;;) {
        if (prompt) {
            std::lock_guard lock(out_mutex_);
            out_ << "vorhost> " << std::flush;
        }
        if (!std::getline(in, line))
            break;
        ++number;
        if (!run_line(number, line)) {
            status = 2;
            if (!prompt)
                break;
        }
    }
    if (prompt)
        print("");
    return status;
}

void Interpreter::finish() {
    for (;;) {
        void* b;
        {
            std::lock_guard lock(names_mutex_);
            if (boxes_.empty())
                break;
            b = boxes_.back().second;
        }
        // The box keeps its name while its destructor reports.
        host_.free_box(b);
        {
            std::lock_guard lock(names_mutex_);
            boxes_.pop_back();
        }
        host_.run_queue();
    }
}

void Interpreter::print(const std::string& line) {
    std::lock_guard lock(out_mutex_);
    out_ << line << '\n' << std::flush;
}

void* Interpreter::box(const std::string& name) const {
    std::lock_guard lock(names_mutex_);
    for (const auto& [n, b] : boxes_)
        if (n == name)
            return b;
    return nullptr;
}

std::string Interpreter::name_of(void* object) {
    auto known = [this](void* p) -> const std::string* {
        for (const auto& [n, b] : boxes_)
            if (b == p)
                return &n;
        return nullptr;
    };
    if (object) {
        {
            std::lock_guard lock(names_mutex_);
            if (const std::string* n = known(object))
                return *n;
        }
        if (void* wrapper = host_.wrapping_box(object)) {
            std::lock_guard lock(names_mutex_);
            if (const std::string* n = known(wrapper))
                return *n;
        }
    }
    {
        std::lock_guard lock(names_mutex_);
        if (!creating_.empty())
            return creating_;
    }
    std::string cls = object ? host_.class_name(object) : std::string();
    return cls.empty() ? "host" : cls;
}

void Interpreter::console(void* object, bool error, const char* text) {
    try {
        print(name_of(object) + (error ? " error: " : " post: ") + (text ? text : ""));
    } catch (...) {
        // A line that cannot be built (out of memory) is lost; the host goes on.
    }
}

void Interpreter::outlet(void* owner, long index, bool dump, t_symbol* s, long ac, const t_atom* av) {
    try {
        std::string line = name_of(owner);
        if (dump)
            line += " dump:";
        else if (index == 0)
            line += " out:";
        else
            line += " out" + std::to_string(index + 1) + ":";
        line += ' ';
        line += symbol_text(s);
        for (long i = 0; i < ac && av; ++i) {
            line += ' ';
            line += host_.format(av[i]);
        }
        print(line);
    } catch (...) {
        // As for console lines.
    }
}

std::string Interpreter::symbol_text(t_symbol* s) {
    if (!s)
        return "\"\"";
    return host_.format(symbol_atom(s));
}

void* Interpreter::box_arg(const Args& a, std::size_t i) const {
    std::string name = a.word(i, "NAME");
    void* b = box(name);
    if (!b)
        throw CommandError{a.command() + ": no box named " + describe(a.at(i))};
    return b;
}

// ---------------------------------------------------------------- commands

void Interpreter::cmd_new(Args& a) {
    a.expect(2, std::numeric_limits<std::size_t>::max(), "new NAME CLASS ARGS...");
    std::string name = a.word(0, "NAME");
    std::string cls = a.word(1, "CLASS");
    if (commands_.count(name))
        throw CommandError{"new: " + describe(a.at(0)) + " is a command, not a box name"};
    if (box(name))
        throw CommandError{"new: there is a box named " + describe(a.at(0)) + " already"};
    if (!host_.has_box_class(cls))
        throw CommandError{"new: no box class " + describe(a.at(1))};
    std::vector<t_atom> args = a.rest(2);
    {
        std::lock_guard lock(names_mutex_);
        creating_ = name;
    }
    void* b = host_.new_box(cls, args);
    {
        std::lock_guard lock(names_mutex_);
        creating_.clear();
        if (b)
            boxes_.emplace_back(name, b);
    }
    if (!b)
        throw CommandError{"new: could not create a box of class " + describe(a.at(1))};
}

void Interpreter::cmd_free(Args& a) {
    a.expect(1, 1, "free NAME");
    void* b = box_arg(a, 0);
    host_.free_box(b);
    std::lock_guard lock(names_mutex_);
    std::erase_if(boxes_, [b](const auto& entry) { return entry.second == b; });
}

void Interpreter::cmd_sleep(Args& a) {
    a.expect(1, 1, "sleep MS");
    const t_atom& v = a.at(0);
    double ms = v.a_type == A_LONG ? double(v.a_w.w_long) : v.a_type == A_FLOAT ? v.a_w.w_float : -1;
    if (!(ms >= 0) || ms > 24.0 * 3600 * 1000)
        throw CommandError{"sleep: MS must be a number of milliseconds, not " + describe(v)};
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
}

void Interpreter::cmd_matrix(Args& a) {
    a.expect(1, 1, "matrix NAME");
    void* b = box_arg(a, 0);
    MatrixShape shape;
    std::string why;
    if (!host_.matrix(b, shape, why))
        throw CommandError{"matrix: " + a.word(0, "NAME") + ": " + why};
    std::string line = a.word(0, "NAME") + " matrix: " + shape.type + " " + std::to_string(shape.planecount);
    for (long d : shape.dims)
        line += " " + std::to_string(d);
    line += " flags " + std::to_string(shape.flags);
    print(line);
}

void Interpreter::cmd_cell(Args& a) {
    a.expect(3, 3, "cell NAME X Y");
    void* b = box_arg(a, 0);
    long x = a.number(1, "X");
    long y = a.number(2, "Y");
    std::vector<t_atom> planes;
    std::string why;
    if (!host_.cell(b, x, y, planes, why))
        throw CommandError{"cell: " + a.word(0, "NAME") + ": " + why};
    std::string line = a.word(0, "NAME") + " cell " + std::to_string(x) + " " + std::to_string(y) + ":";
    for (const t_atom& p : planes)
        line += " " + host_.format(p);
    print(line);
}

void Interpreter::cmd_texture(Args& a) {
    a.expect(1, 1, "texture NAME");
    void* b = box_arg(a, 0);
    TextureShape t;
    std::string why;
    if (!host_.texture(b, t, why))
        throw CommandError{"texture: " + a.word(0, "NAME") + ": " + why};
    print(a.word(0, "NAME") + " texture: " + symbol_text(t.name) + " " + std::to_string(t.width) + " " +
          std::to_string(t.height) + " " + std::to_string(t.pitch) + " " + std::to_string(t.format) + " draws " +
          std::to_string(t.draws));
}

void Interpreter::cmd_dialog(Args& a) {
    const char* form = "dialog save PATH or dialog cancel";
    a.expect(1, 2, form);
    std::string what = a.word(0, "save or cancel");
    if (what == "cancel" && a.size() == 1) {
        host_.answer_save_dialog(nullptr);
    } else if (what == "save" && a.size() == 2) {
        // A relative path is taken in the host's default folder, where the
        // object would save by itself.
        std::filesystem::path path(a.word(1, "PATH"));
        if (path.is_relative())
            path = std::filesystem::path(host_.default_folder()) / path;
        host_.answer_save_dialog(path.lexically_normal().string().c_str());
    } else {
        throw CommandError{std::string("dialog: expected ") + form};
    }
}

void Interpreter::cmd_window(Args& a) {
    a.expect(1, 1, "window none or window main");
    std::string what = a.word(0, "none or main");
    if (what == "none")
        host_.set_main_window(false);
    else if (what == "main")
        host_.set_main_window(true);
    else
        throw CommandError{"window: expected none or main, not " + describe(a.at(0))};
}

}  // namespace vorhost
