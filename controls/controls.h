// Device controls used while a graph is built.
#pragma once

#include "grabber/grabber.h"

// Applies the chosen format to the capture filter's pins before they
// connect.
void format_apply(t_grabber* x, IBaseFilter* capture);
// Sets the requested frame interval (100-ns units) on the capture pin.
HRESULT framerate_apply(t_grabber* x, IBaseFilter* capture, int64_t interval);

// `colormode` setter: "argb" or "uyvy"; a change reopens an open device.
t_hox_err colormode_set(t_grabber* x, void* attr, long ac, t_atom* av);
