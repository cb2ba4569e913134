// Device controls: the format list and format choice, resolution and frame
// rate, input selection, image adjustment and the device's property pages.
// Everything here runs on the host's message thread and asks the open
// graph's filters each time; nothing but the grabber's own fields is kept.
#pragma once

#include "capture/graph.h"
#include "grabber/grabber.h"

// ---- shared lookups

// The graph's capture filter ("Video Capture"), with a reference the caller
// releases; null when there is no graph or no such filter.
IBaseFilter* capture_filter_find(t_grabber* x);
// The first pin of `dir` that is connected, with a reference for the caller.
// E_FAIL when no pin qualifies, or the EnumPins failure code.
HRESULT connected_pin(IBaseFilter* filter, PIN_DIRECTION dir, IPin** pin);

// True when a card of the card back end is the chosen device.
inline bool card_chosen(const t_grabber* x) { return x->cardgrabber && x->carddevice >= 0; }
// Pushes a setting to the chosen card: at once while closed, otherwise by
// closing the card, setting it and opening it again.
template <class Set>
void card_setting(t_grabber* x, Set set) {
    if (x->state == GRAB_CLOSED) {
        set();
        return;
    }
    grabber_close(x);
    set();
    grabber_open(x);
}

// ---- formats (formats.cpp)

// Pushes the chosen format to the capture filter's pins; graph build calls
// it after the Sample Grabber is in the graph, before anything connects.
void format_apply(t_grabber* x, IBaseFilter* capture);
// Typed method: the names of the listable formats as one atom array.
t_hox_err grabber_getformatlist(t_grabber* x, t_symbol* s, long ac, t_atom* av, t_atom* rv);
// `format` setter: stores the index and applies it where a device is open.
t_hox_err format_set(t_grabber* x, void* attr, long ac, t_atom* av);
// A format chosen outside the module (the card back end): store, report.
void grabber_format_changed(t_grabber* x, long index);
// `colormode` setter: "argb" or "uyvy"; a change reopens an open device.
t_hox_err colormode_set(t_grabber* x, void* attr, long ac, t_atom* av);

// ---- resolution and frame rate (rate.cpp)

// Sets the frame interval `*interval` (100-ns units; 0 asks for no change)
// on the first capture-category pin whose current format is a
// VIDEOINFOHEADER. When such a pin was found, `*interval` holds its previous
// AvgTimePerFrame on return. S_OK when the interval was set, else E_FAIL;
// a refused SetFormat reports "could not set frame rate".
HRESULT framerate_apply(t_grabber* x, IBaseFilter* capture, int64_t* interval);
// `resolution`: the delivered size when open, the stored request otherwise.
t_hox_err resolution_get(t_grabber* x, void* attr, long* ac, t_atom** av);
t_hox_err resolution_set(t_grabber* x, void* attr, long ac, t_atom* av);

// ---- inputs (input.cpp)

t_hox_err input_get(t_grabber* x, void* attr, long* ac, t_atom** av);
t_hox_err input_set(t_grabber* x, void* attr, long ac, t_atom* av);
t_hox_err grabber_getinputlist(t_grabber* x, t_symbol* s, long ac, t_atom* av, t_atom* rv);

// ---- image adjustment (procamp.cpp)

// Getter and setter of each of the ten image attributes, in registration
// order (brightness ... gain): index = VideoProcAmp property.
struct t_procamp_accessors {
    const char* name;
    const t_fn* get;
    const t_fn* set;
};
extern const t_procamp_accessors kProcAmpAccessors[10];
void grabber_defaults(t_grabber* x);

// ---- property pages (property_pages.cpp)

void grabber_settings(t_grabber* x);
void grabber_snd_settings(t_grabber* x);
