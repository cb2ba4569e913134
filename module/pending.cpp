#include "module/pending.h"

#include "controls/controls.h"

t_hox_err pending_typed(t_grabber*, t_symbol*, long, t_atom*, t_atom*) { return HOX_EROR; }
t_hox_err pending_method(t_grabber*) { return HOX_EROR; }
t_hox_err pending_get(t_grabber*, void*, long*, t_atom**) { return HOX_EROR; }
t_hox_err pending_set(t_grabber*, void*, long, t_atom*) { return HOX_EROR; }

// Format and frame-rate choice arrive with the device controls; until then
// a graph runs in the device's own current format and rate.
void format_apply(t_grabber*, IBaseFilter*) {}
HRESULT framerate_apply(t_grabber*, IBaseFilter*, int64_t) { return S_OK; }
