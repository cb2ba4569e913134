// The module: ext_main, the registration of the inner class vor_grab_dx_imp
// and of the box class vor.dx.grab, and the symbols both keep.
#pragma once

#include "hoxapi.h"
#include "vorlib.h"

// Written once by ext_main, read-only afterwards.
struct t_module_state {
    t_class* grabber_class = nullptr;  // vor_grab_dx_imp
    t_class* box_class = nullptr;      // vor.dx.grab

    // Inner side.
    t_symbol* argb = nullptr;
    t_symbol* uyvy = nullptr;
    t_symbol* write = nullptr;
    t_symbol* dropped = nullptr;
    t_symbol* atomarray = nullptr;
    t_symbol* nobox = nullptr;
    t_symbol* freedata = nullptr;
    t_symbol* typedmess = nullptr;
    t_symbol* draw_texture = nullptr;
    t_symbol* submit_bitmap = nullptr;

    // Box side.
    t_symbol* optimize = nullptr;
    t_symbol* box_typedmess = nullptr;
    t_symbol* vor_grab = nullptr;
    t_symbol* output_texture = nullptr;
    t_symbol* texture_name = nullptr;
};
extern t_module_state g_module;

// Registration, in the order ext_main runs it.
void grabber_class_register();
void box_class_register();

#if defined(_WIN32)
#define VOR_MODULE_EXPORT __declspec(dllexport)
#else
#define VOR_MODULE_EXPORT __attribute__((visibility("default")))
#endif

// The module's one export, called once by the host after loading it.
extern "C" VOR_MODULE_EXPORT void ext_main();
