// A host for interpreter tests: records what the shell asks of it and
// reports console lines and outlet messages when a test tells it to.
#pragma once

#include "host_port.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vorhost::testing {

struct FakeObject {
    std::string class_name;
    FakeObject* wrapper = nullptr;
};

class FakeHost : public HostPort {
public:
    // Interned symbols: the same text gives the same pointer.
    t_symbol* sym(const std::string& text) {
        auto it = symbols_.find(text);
        if (it == symbols_.end()) {
            names_.push_back(text);
            it = symbols_.emplace(text, t_symbol{names_.back().c_str()}).first;
        }
        return &it->second;
    }

    // Just enough of the host's reader for the tests' lines: blanks between
    // words, "quoted words", whole numbers, numbers with a point.
    bool parse(const std::string& text, std::vector<t_atom>& atoms, std::string& why) override {
        atoms.clear();
        std::size_t i = 0;
        while (i < text.size()) {
            if (text[i] == ' ' || text[i] == '\t') {
                ++i;
                continue;
            }
            t_atom a{};
            if (text[i] == '"') {
                std::size_t end = text.find('"', i + 1);
                if (end == std::string::npos) {
                    why = "unterminated quote";
                    return false;
                }
                a.a_type = A_SYM;
                a.a_w.w_sym = sym(text.substr(i + 1, end - i - 1));
                i = end + 1;
            } else {
                std::size_t end = text.find_first_of(" \t", i);
                std::string word = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
                i = end == std::string::npos ? text.size() : end;
                char* stop = nullptr;
                long long n = std::strtoll(word.c_str(), &stop, 10);
                if (*stop == '\0') {
                    a.a_type = A_LONG;
                    a.a_w.w_long = n;
                } else if (double d = std::strtod(word.c_str(), &stop); *stop == '\0') {
                    a.a_type = A_FLOAT;
                    a.a_w.w_float = d;
                } else {
                    a.a_type = A_SYM;
                    a.a_w.w_sym = sym(word);
                }
            }
            atoms.push_back(a);
        }
        return true;
    }

    std::string format(const t_atom& a) override {
        char buf[64];
        if (a.a_type == A_LONG) {
            std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(a.a_w.w_long));
            return buf;
        }
        if (a.a_type == A_FLOAT) {
            std::snprintf(buf, sizeof buf, "%g", a.a_w.w_float);
            return buf;
        }
        std::string s = a.a_w.w_sym->s_name;
        return s.find(' ') == std::string::npos && !s.empty() ? s : "\"" + s + "\"";
    }

    t_atom symbol(const std::string& text) {
        t_atom a{};
        a.a_type = A_SYM;
        a.a_w.w_sym = sym(text);
        return a;
    }
    static t_atom number(long long n) {
        t_atom a{};
        a.a_type = A_LONG;
        a.a_w.w_long = n;
        return a;
    }

    std::string text(const std::vector<t_atom>& atoms) {
        std::string s;
        for (const t_atom& a : atoms)
            s += (s.empty() ? "" : " ") + format(a);
        return s;
    }

    // ---------------------------------------------------------------- boxes

    std::set<std::string> classes{"vor.dx.grab"};
    std::set<std::string> failing_classes;                     // constructors that return null
    std::function<void(FakeObject* box)> on_new;               // runs inside new_box
    std::function<void(FakeObject* box, const std::string& message)> on_send;
    std::function<void(FakeObject* box)> on_free;              // runs inside free_box

    std::vector<std::string> log;  // "new CLASS ARGS", "send MESSAGE ARGS", "free CLASS"
    std::vector<FakeObject*> freed;

    FakeObject* object(const std::string& class_name, FakeObject* wrapper = nullptr) {
        objects_.push_back(std::make_unique<FakeObject>(FakeObject{class_name, wrapper}));
        return objects_.back().get();
    }

    bool has_box_class(const std::string& name) override { return classes.count(name) != 0; }

    void* new_box(const std::string& class_name, std::vector<t_atom>& args) override {
        log.push_back("new " + class_name + (args.empty() ? "" : " " + text(args)));
        if (failing_classes.count(class_name))
            return nullptr;
        FakeObject* box = object(class_name);
        if (on_new)
            on_new(box);
        return box;
    }

    void send(void* box, t_symbol* message, std::vector<t_atom>& args) override {
        log.push_back(std::string("send ") + message->s_name + (args.empty() ? "" : " " + text(args)));
        last_send_box = static_cast<FakeObject*>(box);
        if (on_send)
            on_send(static_cast<FakeObject*>(box), message->s_name);
    }

    void free_box(void* box) override {
        auto* b = static_cast<FakeObject*>(box);
        if (on_free)
            on_free(b);
        freed.push_back(b);
    }

    void* wrapping_box(void* object) override { return static_cast<FakeObject*>(object)->wrapper; }
    std::string class_name(void* object) override { return static_cast<FakeObject*>(object)->class_name; }

    // ---------------------------------------------------------------- output

    bool output_ok = true;
    MatrixShape shape;
    std::vector<t_atom> planes;
    TextureShape texture_shape;
    std::vector<std::pair<long, long>> cells_asked;

    bool matrix(void*, MatrixShape& s, std::string& why) override {
        if (!output_ok) {
            why = "the box has no matrix output";
            return false;
        }
        s = shape;
        return true;
    }
    bool cell(void*, long x, long y, std::vector<t_atom>& p, std::string& why) override {
        cells_asked.emplace_back(x, y);
        if (!output_ok) {
            why = "outside";
            return false;
        }
        p = planes;
        return true;
    }
    bool texture(void*, TextureShape& t, std::string& why) override {
        if (!output_ok) {
            why = "no texture";
            return false;
        }
        t = texture_shape;
        return true;
    }

    // ---------------------------------------------------------------- the person

    std::vector<std::string> dialog_answers;  // "cancel" or the path
    std::vector<bool> windows;
    std::string folder = "/data/out";
    long queue_runs = 0;
    FakeObject* last_send_box = nullptr;

    void answer_save_dialog(const char* path) override { dialog_answers.push_back(path ? path : "cancel"); }
    void set_main_window(bool present) override { windows.push_back(present); }
    std::string default_folder() override { return folder; }
    void run_queue() override { ++queue_runs; }

private:
    std::deque<std::string> names_;
    std::map<std::string, t_symbol> symbols_;
    std::vector<std::unique_ptr<FakeObject>> objects_;
};

}  // namespace vorhost::testing
