// What the shell needs of the host, as one interface: the interpreter talks
// only to this, so that it runs against the real host (real_host.h) or
// against a fake in tests.
#pragma once

#include "hoxapi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vorhost {

struct MatrixShape {
    std::string type;
    long planecount = 0;
    std::vector<long> dims;
    long flags = 0;
};

struct TextureShape {
    t_symbol* name = nullptr;  // the registered texture's name
    long width = 0, height = 0, pitch = 0, format = 0;
    int64_t draws = 0;
};

// What the host reports while it runs: console lines and outlet messages.
// Either may arrive on any thread.
class HostEvents {
public:
    virtual ~HostEvents() = default;
    virtual void console(void* object, bool error, const char* text) = 0;
    virtual void outlet(void* owner, long index, bool dump, t_symbol* s, long ac, const t_atom* av) = 0;
};

class HostPort {
public:
    virtual ~HostPort() = default;

    // Text of atoms: the host's own reader and printer.
    virtual bool parse(const std::string& text, std::vector<t_atom>& atoms, std::string& why) = 0;
    virtual std::string format(const t_atom& a) = 0;

    // Boxes. new_box returns null when the constructor fails.
    virtual bool has_box_class(const std::string& name) = 0;
    virtual void* new_box(const std::string& class_name, std::vector<t_atom>& args) = 0;
    virtual void send(void* box, t_symbol* message, std::vector<t_atom>& args) = 0;
    virtual void free_box(void* box) = 0;

    // Who an object is: the box wrapping it (null for none) and its class.
    virtual void* wrapping_box(void* object) = 0;
    virtual std::string class_name(void* object) = 0;

    // What a box produced. On failure `why` says what is missing.
    virtual bool matrix(void* box, MatrixShape& shape, std::string& why) = 0;
    virtual bool cell(void* box, long x, long y, std::vector<t_atom>& planes, std::string& why) = 0;
    virtual bool texture(void* box, TextureShape& shape, std::string& why) = 0;

    // The person at the host.
    virtual void answer_save_dialog(const char* fullpath) = 0;  // null: cancel
    virtual void set_main_window(bool present) = 0;
    virtual std::string default_folder() = 0;

    // Runs the deferred work until none is left.
    virtual void run_queue() = 0;
};

}  // namespace vorhost
