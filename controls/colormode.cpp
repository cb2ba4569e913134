// The colour mode: which subtype the Sample Grabber asks for, and a pending
// change of output layout for the output side.
#include "capture/graph.h"
#include "controls/controls.h"
#include "module/module.h"

namespace {

// Cancels a pending change of output layout, and only that: a frame buffer
// replaced by the frame callback (OUTCHANGE_GEOMETRY) must still reach the
// output, whose frame matrix would otherwise go on reading the freed buffer.
void cancel_layout_change(t_grabber* x) {
    std::atomic_ref<uint8_t> change(x->outchange);
    for (uint8_t pending : {OUTCHANGE_TO_UYVY, OUTCHANGE_TO_ARGB})
        if (change.compare_exchange_strong(pending, OUTCHANGE_NONE)) return;
}

}  // namespace

t_hox_err colormode_set(t_grabber* x, void*, long ac, t_atom* av) {
    if (ac < 1 || !av) return HOX_ERR_NONE;
    t_symbol* mode = atom_getsym(av);
    cancel_layout_change(x);
    if (mode == x->colormode) return HOX_ERR_NONE;
    if (x->colormode == g_module.argb && mode == g_module.uyvy) {
        set_outchange(x, OUTCHANGE_TO_UYVY);
        x->colormode = g_module.uyvy;
        set_subtype(x, MEDIASUBTYPE_UYVY);
    } else if (x->colormode == g_module.uyvy && mode == g_module.argb) {
        set_outchange(x, OUTCHANGE_TO_ARGB);
        x->colormode = g_module.argb;
        set_subtype(x, MEDIASUBTYPE_RGB32);
    } else {
        return HOX_ERR_NONE;
    }

    if (card_chosen(x)) {
        card_setting(x, [x] { bm_grab_setPixelFormat(x->cardgrabber, x->carddevice, x->colormode); });
    } else if (!x->suspended && x->samplegrabber) {
        grabber_reopen(x);
    }
    return HOX_ERR_NONE;
}
