// The capture graph of a grabber: open, close and the typed methods that
// drive them.
#pragma once

#include "grabber/grabber.h"

// Stops and dismantles whatever the grabber has open (graph or card device)
// and sets `state` to closed.
void grabber_close(t_grabber* x);

// Typed methods: (grabber, message, count, atoms, result atom).
t_hox_err grabber_open_method(t_grabber* x, t_symbol* s, long ac, t_atom* av, t_atom* rv);
t_hox_err grabber_close_method(t_grabber* x, t_symbol* s, long ac, t_atom* av, t_atom* rv);
