// Frame output: matrix_calc, the client relation with the output matrix,
// the pending clear and the texture switch.
#pragma once

#include "grabber/grabber.h"

// Fills the first output matrix (or the texture) from the latest frame.
t_hox_err matrix_calc(t_grabber* x, void* inputs, void* outputs);
// Method "dimensions": the size the output should have.
t_hox_err grabber_dimensions(t_grabber* x, long width, long height);

// Method "attach": become a client of the output matrix.
t_hox_err grabber_attach(t_grabber* x, void* matrix);
// Method "notify": notifications of the attached output matrix.
t_hox_err grabber_notify(t_grabber* x, t_symbol* name, t_symbol* message, void* sender, void* data);
// Method "clear": clear the output at the next output.
t_hox_err grabber_clear(t_grabber* x);
// Runs a pending clear on `out` (may be null) and the texture.
void output_clear(t_grabber* x, void* out);
// Makes the output matrix let go of the frame buffer that is about to be
// replaced; runs on the streaming thread with the mutex held.
void output_detach(t_grabber* x);
// Set filter of the `output_texture` attribute.
t_hox_err output_texture_filter(t_grabber* x, void* attr, long ac, t_atom* av);
