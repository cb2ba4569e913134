// The transform filters intelligent connect may insert between two pins
// (Color Space Converter, AVI Decompressor, MJPEG Decompressor, DV Splitter,
// DV Video Decoder, ...). Each converter registers itself from its own
// source file, next to its CoCreateInstance registration:
//
//   static const vorsim::TransformRegistration transform(
//       {CLSID_Colour, u"Color Space Converter", &ColourConverter::accepts_input, 60});
//
// The device file's "converters" list restricts which ones may be used
// (names as given to `name`); without a list every registered one may.
#pragma once

#include <string>
#include <vector>

#include "dshow_platform.h"

namespace vorsim {

struct TransformInfo {
    CLSID clsid;
    std::u16string name;  // the friendly name it is added to the graph under
    // Whether its input pin can take a connection of this type (a quick
    // filter before the candidate is created and tried).
    bool (*accepts_input)(const AM_MEDIA_TYPE& type);
    int merit;  // higher is tried first
};

void register_transform(const TransformInfo& info);
// The transforms intelligent connect may use now, highest merit first,
// registration order among equals.
std::vector<TransformInfo> allowed_transforms();
// Restricts the allowed set to these names (UTF-8); transforms_allow_all
// lifts the restriction.
void transforms_allow_only(const std::vector<std::string>& names);
void transforms_allow_all();

struct TransformRegistration {
    explicit TransformRegistration(const TransformInfo& info) { register_transform(info); }
};

}  // namespace vorsim
