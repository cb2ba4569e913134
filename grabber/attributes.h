// Accessors of the grabber's own attributes.
#pragma once

#include "grabber/grabber.h"

// `engine`: obsolete; always reads "dx", accepts and ignores any value.
t_hox_err engine_get(t_grabber* x, void* attr, long* ac, t_atom** av);
t_hox_err engine_set(t_grabber* x, void* attr, long ac, t_atom* av);

// `unique` and `dropreport`: store 0 or 1 and restart the sample count.
t_hox_err unique_set(t_grabber* x, void* attr, long ac, t_atom* av);
t_hox_err dropreport_set(t_grabber* x, void* attr, long ac, t_atom* av);

// `vdevice` reading: the chosen device index.
t_hox_err vdevice_get(t_grabber* x, void* attr, long* ac, t_atom** av);

// Getter convention: write into the caller's atoms when they are supplied
// and hold `count` (setting *ac to `count`), otherwise allocate `count`
// atoms. OMEM (and *ac = 0) when that fails. A getter with no value sets
// *ac to 0.
t_hox_err getter_atoms(long* ac, t_atom** av, long count);

// An atom's integer value saturated to 32 bits: a huge value stays beyond
// every index and size instead of wrapping into range.
int32_t atom_int32(const t_atom* a);
