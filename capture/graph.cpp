// Closing what a grabber has open.
#include "capture/graph.h"

void grabber_close(t_grabber* x) {
    // A DirectShow graph is only ever built by open; until one exists the
    // record holds no interfaces to release.
    if (x->cardgrabber && x->carddevice >= 0) {
        bm_grab_close(x->cardgrabber);
        x->carddevice = -1;
    }
    x->state = GRAB_CLOSED;
}

t_hox_err grabber_close_method(t_grabber* x, t_symbol*, long, t_atom*, t_atom* rv) {
    if (x->state == GRAB_CLOSED) return HOX_EROR;
    grabber_close(x);
    return grabber_reply(rv, 0, nullptr);
}
