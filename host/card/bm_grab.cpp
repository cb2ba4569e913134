// The card back end: capture cards the matrix runtime serves itself. This
// host knows no card devices yet, so every device query answers that there
// is none and nothing can be opened.
#include "vorlib.h"

#include <new>

struct t_bm_grab {
    void* owner;  // the object that asked for the handle; not owned
};

t_bm_grab* bm_grab_new(void* owner) { return new (std::nothrow) t_bm_grab{owner}; }
void bm_grab_free(t_bm_grab* h) { delete h; }
long bm_grab_getDeviceCount(t_bm_grab*) { return 0; }
t_hox_err bm_grab_getDeviceName(t_bm_grab*, long, t_atom*) { return HOX_EROR; }
t_hox_err bm_grab_getDeviceID(t_bm_grab*, long, t_atom*) { return HOX_EROR; }
long bm_grab_getDeviceIndexForID(t_bm_grab*, t_symbol*) { return -1; }
long bm_grab_open(t_bm_grab*, long) { return 0; }
void bm_grab_close(t_bm_grab*) {}
t_hox_err bm_grab_setPixelFormat(t_bm_grab*, long, t_symbol*) { return HOX_EROR; }
t_hox_err bm_grab_setDisplayMode(t_bm_grab*, long, long) { return HOX_EROR; }
t_hox_err bm_grab_getDisplayModeNames(t_bm_grab*, long, long* ac, t_atom** av) {
    if (ac) *ac = 0;
    if (av) *av = nullptr;
    return HOX_EROR;
}
long bm_grab_getCurrentFrame(t_bm_grab*, t_vor_bitmap**, void*, long) { return 1; }
