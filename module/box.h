// The box vor.dx.grab: what a user places in a patch. It owns one grabber,
// makes the matrix output and the dump outlet through the runtime's wrapper,
// runs the grabber's matrix_calc to output, and turns the grabber's client
// messages into messages on the dump outlet.
#pragma once

#include "hoxapi.h"
#include "vorlib.h"

struct t_box {
    t_object ob;          // host header
    void* obex;           // the wrapper's extension record
    t_symbol* regname;    // the name the grabber is registered under
};

void* box_new(t_symbol* s, long ac, t_atom* av);
void box_free(t_box* x);
t_hox_err box_outputmatrix(t_box* x);
void box_exportimage(t_box* x, t_symbol* s, long ac, t_atom* av);
t_hox_err box_assist(t_box* x, void* b, long m, long a, char* s);
t_hox_err box_notify(t_box* x, t_symbol* s, t_symbol* msg, void* sender, void* data);
