// Helpers shared by the object runtime's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "hoxhost.h"

struct ConsoleLine {
    void* object;
    t_hox_console_kind kind;
    std::string text;
};

// Collects every console line while it lives.
struct ConsoleCapture {
    ConsoleCapture() { hox_host_set_console(&sink, this); }
    ~ConsoleCapture() { hox_host_set_console(nullptr, nullptr); }
    std::vector<ConsoleLine> lines;
    static void sink(void* ctx, void* object, t_hox_console_kind kind, const char* text) {
        static_cast<ConsoleCapture*>(ctx)->lines.push_back({object, kind, text});
    }
};

inline t_atom long_atom(t_atom_long v) { t_atom a; atom_setlong(&a, v); return a; }
inline t_atom float_atom(double v) { t_atom a; atom_setfloat(&a, v); return a; }
inline t_atom sym_atom(const char* s) { t_atom a; atom_setsym(&a, gensym(s)); return a; }

// An attribute stored at `offset` of the object, with optional accessors.
inline t_object* offset_attr(const char* name, t_symbol* type, std::size_t offset, long flags = 0,
                             const t_fn* get = nullptr, const t_fn* set = nullptr) {
    return static_cast<t_object*>(
        vor_object_new(_vor_sym_vor_attr_offset, name, type, flags, get, set, static_cast<long>(offset)));
}
