#include "module/pending.h"

t_hox_err pending_typed(t_grabber*, t_symbol*, long, t_atom*, t_atom*) { return HOX_EROR; }
t_hox_err pending_method(t_grabber*) { return HOX_EROR; }
t_hox_err pending_get(t_grabber*, void*, long*, t_atom**) { return HOX_EROR; }
t_hox_err pending_set(t_grabber*, void*, long, t_atom*) { return HOX_EROR; }
