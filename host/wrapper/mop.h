// The matrix-operator (MOP) adornment of a box and the objects around it:
// the adornment itself (outputs, their type and plane count, the
// `outputmode` attribute), the io object of each output (its matrix, name
// and outlet) and the small lists handed to matrix_calc.
#pragma once

#include "hoxapi.h"
#include "vorlib.h"

constexpr long kMopMaxIo = 8;

struct t_vor_mop {
    t_object ob;
    long inputs;
    long outputs;
    t_symbol* type;        // the single type of every output (null: char)
    long planecount;       // the single plane count (0: 4)
    int32_t outputmode;    // attribute: 0 = no output
    void* io[kMopMaxIo];   // the box's outputs, from output 1
    void* outputlist;
    void* inputlist;
};

struct t_vor_mop_io {
    t_object ob;
    void* matrix;       // owned
    t_symbol* ioname;   // attribute
    t_outlet* outlet;   // the box's outlet; not owned
};

struct t_vor_mop_list {
    t_object ob;
    long count;
    void* items[kMopMaxIo];  // not owned
};

// Registers "vor_mop", "vor_mop_io" and "vor_mop_list"; called once when the
// library loads.
void mop_classes_register();
// Registers the capture engine class "vor_grab".
void engine_class_register();

// A box adornment made from a class's template; null when the template is
// not a MOP.
t_vor_mop* mop_instance_new(void* templ);
// Creates the output matrices and io objects, handing io i the outlet i.
void mop_setup_outputs(t_vor_mop* mop, t_outlet* const* outlets, long count);
void mop_instance_free(t_vor_mop* mop);
