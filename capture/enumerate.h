// The video devices in one index space: DirectShow devices of the video
// input category first, then the card back end's devices. Selecting a
// device by index (`vdevice`) or by identifier (`uniqueid`), listing them
// (`getvdevlist`), and binding the chosen one to a capture filter.
#pragma once

#include "grabber/grabber.h"

// Method getvdevlist (typed).
t_hox_err grabber_getvdevlist(t_grabber* x, t_symbol* s, long ac, t_atom* av, t_atom* rv);

// Attribute accessors.
t_hox_err vdevice_set(t_grabber* x, void* attr, long ac, t_atom* av);
t_hox_err uniqueid_get(t_grabber* x, void* attr, long* ac, t_atom** av);
t_hox_err uniqueid_set(t_grabber* x, void* attr, long ac, t_atom* av);

// The capture filter of DirectShow device `vdevice` (counting every
// moniker), AddRef'd into *filter; reports why when there is none.
HRESULT device_lookup(t_grabber* x, IBaseFilter** filter);

// The index among DirectShow devices whose bag binds of the device with this
// identifier, or -1.
long lookup_by_identifier(t_symbol* id);
