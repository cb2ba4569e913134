// Methods and accessors whose device work is not available yet: the format
// list and format choice, resolution, inputs, image adjustment, property
// pages and recording. Each is
// registered with the class so that the interface is complete, and answers
// EROR, reporting nothing and changing nothing.
#pragma once

#include "grabber/grabber.h"

t_hox_err pending_typed(t_grabber* x, t_symbol* s, long ac, t_atom* av, t_atom* rv);
t_hox_err pending_method(t_grabber* x);
t_hox_err pending_get(t_grabber* x, void* attr, long* ac, t_atom** av);
t_hox_err pending_set(t_grabber* x, void* attr, long ac, t_atom* av);
