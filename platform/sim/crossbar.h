// The analog crossbar of a capture card: a filter of its own, upstream of
// the capture filter, as a KS crossbar is.
//
// Pins: the device file's inputs in file order (ids and names as given),
// then the outputs: "Video Decoder Out" (output 0, connected to the capture
// filter's "Analog Video In"), then "Audio Decoder Out", then "Output 3"...
// Inputs and outputs take MEDIATYPE_AnalogVideo.
//
// IAMCrossbar (indexes count inputs and outputs separately, from 0):
//   get_PinCounts(outputs, inputs)  output count first
//   CanRoute(out, in)   output 0: S_OK for the `routable` inputs, S_FALSE
//                       for the others; other outputs route nothing
//   Route(out, in)      S_OK and in effect at once when CanRoute agrees,
//                       else S_FALSE; bad indexes E_INVALIDARG
//   get_IsRoutedTo(out) S_OK and the input, or S_FALSE and -1 when unrouted
//   get_CrossbarPinInfo(input?, i, &related, &type)  related -1; inputs'
//                       physical type from their names: "Tuner" 1,
//                       "Composite" 2, "SVideo"/"S-Video" 3 (PhysConn_Audio_*
//                       for names starting with "Audio": Tuner, Line, Mic),
//                       none of those: S_FALSE and 0; outputs: 0 video
//                       decoder (12), 1 audio decoder (0x1009), others 12.
// Routing belongs to the filter instance and starts from `routed`.
// Faults: "IAMCrossbar::<method>".
#pragma once

#include <string>

#include "com_object.h"
#include "devices/device_set.h"

namespace vorsim {

inline constexpr char16_t kCrossbarName[] = u"Analog Video Crossbar";
// The analog video subtype the crossbar's pins carry (NTSC-M).
inline constexpr GUID MEDIASUBTYPE_AnalogVideo_NTSC_M = {0x0482dde2, 0x7817, 0x11cf, {0x8a, 0x03, 0x00, 0xaa, 0x00, 0x6e, 0xcb, 0x65}};

// A new crossbar filter (throws std::bad_alloc).
ComPtr<IBaseFilter> make_crossbar(const Crossbar& layout);

}  // namespace vorsim
