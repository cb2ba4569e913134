// Helpers shared by the object runtime's tests: console capture and atom
// builders.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hoxhost.h"

struct ConsoleLine {
    void* object;
    t_hox_console_kind kind;
    std::string text;
};

// Collects every console line while it lives.
class ConsoleCapture {
public:
    ConsoleCapture() { hox_host_set_console(&ConsoleCapture::sink, this); }
    ~ConsoleCapture() { hox_host_set_console(nullptr, nullptr); }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    std::vector<ConsoleLine> lines;

private:
    static void sink(void* ctx, void* object, t_hox_console_kind kind, const char* text) {
        static_cast<ConsoleCapture*>(ctx)->lines.push_back({object, kind, text});
    }
};

inline t_atom long_atom(t_atom_long v) {
    t_atom a;
    atom_setlong(&a, v);
    return a;
}

inline t_atom float_atom(double v) {
    t_atom a;
    atom_setfloat(&a, v);
    return a;
}

inline t_atom sym_atom(const char* s) {
    t_atom a;
    atom_setsym(&a, gensym(s));
    return a;
}

// A class name no other test uses, so that registrations never collide.
inline std::string unique_class_name(const char* base) {
    static int n = 0;
    return std::string(base) + "_" + std::to_string(++n);
}
