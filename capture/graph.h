// The capture graph of a grabber: opening a device (a DirectShow graph from
// the capture filter through a Sample Grabber into a Null Renderer, or the
// card back end), closing it, and the operations other settings use to
// rebuild it.
#pragma once

#include "grabber/grabber.h"

// Opens the device chosen by `vdevice`/`carddevice`.
HRESULT grabber_open(t_grabber* x);
// Stops and dismantles whatever is open; `state` becomes closed.
void grabber_close(t_grabber* x);
// Close, then open again with the same choices.
HRESULT grabber_reopen(t_grabber* x);
// Builds everything downstream of `capture` (already in the graph) and runs.
HRESULT graph_build(t_grabber* x, IBaseFilter* capture);
// Stops the graph and removes every filter downstream of `from`, or every
// filter of the graph when `from` is null.
void graph_teardown(t_grabber* x, IBaseFilter* from);
// Teardown below "Video Capture", then build from it again.
HRESULT graph_rebuild(t_grabber* x);
// Adds the first audio capture device to the graph, unconnected.
void audio_filter_insert(t_grabber* x);

// Typed methods: (grabber, message, count, atoms, result atom).
t_hox_err grabber_open_method(t_grabber* x, t_symbol* s, long ac, t_atom* av, t_atom* rv);
t_hox_err grabber_close_method(t_grabber* x, t_symbol* s, long ac, t_atom* av, t_atom* rv);
