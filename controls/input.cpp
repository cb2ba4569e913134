// Input selection through the crossbar upstream of the capture filter:
// the crossbar's input names, the input routed to its first output, and
// routing another one there.
#include "capture/com_holders.h"
#include "controls/controls.h"
#include "grabber/attributes.h"

namespace {

// The crossbar that feeds the capture filter, searched upstream only.
bool find_crossbar(t_grabber* x, ComRef<IBaseFilter>& capture, ComRef<IAMCrossbar>& crossbar) {
    capture = ComRef<IBaseFilter>(capture_filter_find(x));
    if (!capture) return false;
    return SUCCEEDED(x->builder->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, capture.get(), IID_IAMCrossbar,
                                               crossbar.put_void()));
}

}  // namespace

t_hox_err input_get(t_grabber* x, void*, long* ac, t_atom** av) {
    ComRef<IBaseFilter> capture;
    ComRef<IAMCrossbar> crossbar;
    if (!x->builder || !x->graph || !find_crossbar(x, capture, crossbar)) {
        *ac = 0;
        return HOX_ERR_NONE;
    }
    // A crossbar that cannot tell its route reports -1, "nothing routed".
    LONG routed = -1;
    if (FAILED(crossbar->get_IsRoutedTo(0, &routed))) routed = -1;
    if (t_hox_err err = getter_atoms(ac, av, 1)) return err;
    atom_setlong(*av, routed);
    return HOX_ERR_NONE;
}

t_hox_err input_set(t_grabber* x, void*, long ac, t_atom* av) {
    if (!x->builder || !x->graph || ac < 1 || !av) return HOX_ERR_NONE;
    const LONG index = atom_int32(av);
    ComRef<IBaseFilter> capture;
    ComRef<IAMCrossbar> crossbar;
    if (!find_crossbar(x, capture, crossbar)) return HOX_ERR_NONE;
    LONG outputs = 0, inputs = 0, current = 0;
    if (FAILED(crossbar->get_PinCounts(&outputs, &inputs)) || inputs == 0) return HOX_ERR_NONE;
    if (FAILED(crossbar->get_IsRoutedTo(0, &current)) || current == index) return HOX_ERR_NONE;
    if (crossbar->CanRoute(0, index) != S_OK) return HOX_ERR_NONE;
    crossbar->Route(0, index);
    set_outchange(x, OUTCHANGE_GEOMETRY);
    return HOX_ERR_NONE;
}

t_hox_err grabber_getinputlist(t_grabber* x, t_symbol*, long, t_atom*, t_atom* rv) {
    if (!x->builder || !x->graph) return HOX_EROR;
    ComRef<IBaseFilter> capture;
    ComRef<IAMCrossbar> crossbar;
    ComRef<IBaseFilter> filter;
    LONG outputs = 0, inputs = 0;
    t_atom* names = nullptr;
    long stored = 0;
    if (find_crossbar(x, capture, crossbar) && SUCCEEDED(crossbar.query(IID_IBaseFilter, filter)) &&
        SUCCEEDED(crossbar->get_PinCounts(&outputs, &inputs)) && inputs >= 1) {
        names = static_cast<t_atom*>(vor_getbytes(static_cast<long>(sizeof(t_atom)) * inputs));
        ComRef<IEnumPins> pins;
        if (names && SUCCEEDED(filter->EnumPins(pins.put()))) {
            // The names of the first pins enumerated, as many as there are
            // inputs; the crossbar lists its input pins first.
            ComRef<IPin> pin;
            while (stored < inputs && pins->Next(1, pin.put(), nullptr) == S_OK) {
                PIN_INFO info{};
                if (FAILED(pin->QueryPinInfo(&info))) continue;
                if (info.pFilter) info.pFilter->Release();
                if (char* text = charset_unicodetoutf8(info.achName, -1, nullptr)) {
                    atom_setsym(&names[stored++], gensym(text));
                    sysmem_freeptr(text);
                }
            }
        }
    }
    t_hox_err err = grabber_reply(rv, stored, names);
    if (names) vor_freebytes(names, static_cast<long>(sizeof(t_atom)) * inputs);
    return err;
}
