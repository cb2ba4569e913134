// Image adjustment: the ten video processing amplifier properties of the
// capture filter, each read and written on a 0..1 scale mapped onto the
// device's own range, and `defaults`.
#include <cmath>

#include "capture/com_holders.h"
#include "capture/messages.h"
#include "controls/controls.h"
#include "grabber/attributes.h"

namespace {

// The capture filter's amplifier; false after reporting what is missing
// (`quiet_without_procamp` for the getter, which fails silently there).
bool find_procamp(t_grabber* x, ComRef<IAMVideoProcAmp>& procamp, bool quiet_without_procamp) {
    ComRef<IBaseFilter> capture(capture_filter_find(x));
    if (!capture) {
        vor_object_error(x, "%s", msg::kNoCaptureFilter);
        return false;
    }
    if (FAILED(capture.query(IID_IAMVideoProcAmp, procamp))) {
        if (!quiet_without_procamp) vor_object_error(x, "%s", msg::kNoImageAdjustment);
        return false;
    }
    return true;
}

// The property's position in its range: (value - low) / (high - low).
bool procamp_read(t_grabber* x, LONG property, double* out) {
    ComRef<IAMVideoProcAmp> procamp;
    if (!find_procamp(x, procamp, true)) return false;
    LONG low = 0, high = 0, step = 0, def = 0, caps = 0, value = 0, flags = 0;
    if (FAILED(procamp->GetRange(property, &low, &high, &step, &def, &caps))) return false;
    if (FAILED(procamp->Get(property, &value, &flags))) return false;
    *out = (static_cast<double>(value) - low) / (static_cast<double>(high) - low);
    return true;
}

// Writes `v` (0..1) under manual control, or the device default under
// automatic control.
void procamp_write(t_grabber* x, double v, LONG property, bool use_default) {
    ComRef<IAMVideoProcAmp> procamp;
    if (!find_procamp(x, procamp, false)) return;
    LONG low = 0, high = 0, step = 0, def = 0, caps = 0;
    if (FAILED(procamp->GetRange(property, &low, &high, &step, &def, &caps))) return;
    if (use_default) {
        procamp->Set(property, def, VideoProcAmp_Flags_Auto);
        return;
    }
    LONG value = 0, flags = 0;
    if (FAILED(procamp->Get(property, &value, &flags))) return;
    // The span in 32-bit arithmetic, scaled in double and truncated.
    const auto span = static_cast<int32_t>(static_cast<uint32_t>(high) - static_cast<uint32_t>(low));
    const auto offset = static_cast<int32_t>(std::trunc(span * v));
    const auto target = static_cast<LONG>(static_cast<uint32_t>(low) + static_cast<uint32_t>(offset));
    procamp->Set(property, target, VideoProcAmp_Flags_Manual);
}

template <LONG P>
t_hox_err procamp_get(t_grabber* x, void*, long* ac, t_atom** av) {
    if (!x->graph) {
        *ac = 0;
        return HOX_ERR_NONE;
    }
    double v = 0;
    if (!procamp_read(x, P, &v)) {
        *ac = 0;
        return HOX_ERR_NONE;
    }
    if (t_hox_err err = getter_atoms(ac, av, 1)) return err;
    atom_setfloat(*av, v);
    return HOX_ERR_NONE;
}

template <LONG P>
t_hox_err procamp_set(t_grabber* x, void*, long ac, t_atom* av) {
    if (!x->graph) return HOX_ERR_NONE;
    if (ac >= 1 && av && (av->a_type == A_LONG || av->a_type == A_FLOAT)) {
        double v = atom_getfloat(av);
        // Not-a-number and everything at or below 0 give 0.
        if (!(v > 0)) v = 0;
        if (v >= 1) v = 1;
        procamp_write(x, v, P, false);
    } else {
        procamp_write(x, 0, P, true);
    }
    return HOX_ERR_NONE;
}

}  // namespace

const t_procamp_accessors kProcAmpAccessors[10] = {
    {"brightness", HOXFN(procamp_get<0>), HOXFN(procamp_set<0>)},
    {"contrast", HOXFN(procamp_get<1>), HOXFN(procamp_set<1>)},
    {"hue", HOXFN(procamp_get<2>), HOXFN(procamp_set<2>)},
    {"saturation", HOXFN(procamp_get<3>), HOXFN(procamp_set<3>)},
    {"sharpness", HOXFN(procamp_get<4>), HOXFN(procamp_set<4>)},
    {"gamma", HOXFN(procamp_get<5>), HOXFN(procamp_set<5>)},
    {"colorenable", HOXFN(procamp_get<6>), HOXFN(procamp_set<6>)},
    {"whitebalance", HOXFN(procamp_get<7>), HOXFN(procamp_set<7>)},
    {"backlight", HOXFN(procamp_get<8>), HOXFN(procamp_set<8>)},
    {"gain", HOXFN(procamp_get<9>), HOXFN(procamp_set<9>)},
};

void grabber_defaults(t_grabber* x) {
    // Without a device there is nothing to restore; nothing is reported.
    if (!x->graph) return;
    ComRef<IAMVideoProcAmp> procamp;
    if (!find_procamp(x, procamp, false)) return;
    for (LONG p = 0; p <= 9; ++p) {
        LONG low = 0, high = 0, step = 0, def = 0, caps = 0;
        if (FAILED(procamp->GetRange(p, &low, &high, &step, &def, &caps))) continue;
        if (caps & VideoProcAmp_Flags_Manual) procamp->Set(p, def, caps);
    }
}
