// The cameras this DLL registers in the video input device category: one
// filter class serves them all, and each filter learns which camera it is
// from the DevicePath in the property bag its moniker loads it with
// (IPersistPropertyBag::Load), as a driver's proxy filter does.
#pragma once

#include "ramp.h"

#include <windows.h>

#include <cstddef>

namespace vorvcam {

struct CameraFormat {
    Layout layout;
    int32_t width;
    int32_t height;  // biHeight: RGB32 positive, stored bottom-up
};

struct Camera {
    const wchar_t* instance;       // the registry key under the category
    const wchar_t* friendly_name;  // FriendlyName
    const wchar_t* device_path;    // DevicePath
    const CameraFormat* formats;   // the capture pin's capabilities, in order
    size_t format_count;
};

// The cameras DllRegisterServer registers, in enumeration order.
const Camera* cameras();
size_t camera_count();
// The camera with this DevicePath (case-insensitive), or null.
const Camera* camera_by_path(const wchar_t* path);

// Every camera streams at 30 frames a second at most and 1 at least.
constexpr LONGLONG kMinFrameInterval = 333333;
constexpr LONGLONG kMaxFrameInterval = 10000000;

}  // namespace vorvcam
