// Recording to an AVI file: `write` swaps the preview chain for the AVI mux
// and file writer (with the audio capture stream when asked) and runs the
// graph; `stop` ends it, rebuilds the preview and tells the box.
#pragma once

#include "grabber/grabber.h"

// Typed method: optional file name (symbol) and frame rate; replies 1 when
// recording (or when nothing is open), 0 when starting failed. EROR while a
// recording already runs.
t_hox_err grabber_write(t_grabber* x, t_symbol* s, long ac, t_atom* av, t_atom* rv);
// Ends a recording; sends "write" with the file name and 1 (or 0 after a
// failed start).
void grabber_stop(t_grabber* x);
