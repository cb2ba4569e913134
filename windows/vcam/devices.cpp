#include "devices.h"

#include <cwchar>

namespace vorvcam {

namespace {

// The capabilities the first camera offers: every layout the camera draws,
// RGB32 (its current format) first.
constexpr CameraFormat kAllFormats[] = {
    {Layout::rgb32, 320, 240},
    {Layout::uyvy, 320, 240},
    {Layout::yuy2, 320, 240},
    {Layout::i420, 320, 240},
};
// Cameras with one packed or planar YUV format and nothing else, as many
// webcams are. A capture pin alone reaches a preview through a Smart Tee,
// which takes the pin's first format: a capture in uyvy gets the YUV
// formats from these cameras, the first camera's from `format` in argb.
constexpr CameraFormat kUyvyOnly[] = {{Layout::uyvy, 320, 240}};
constexpr CameraFormat kYuy2Only[] = {{Layout::yuy2, 320, 240}};
constexpr CameraFormat kI420Only[] = {{Layout::i420, 320, 240}};

// DevicePath in the shape Windows gives capture devices: bus, device,
// instance, the capture interface class, a reference string.
constexpr Camera kCameras[] = {
    {L"vorvcam-0", L"Vor Virtual Camera",
     L"\\\\?\\root#vorvcam#0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global", kAllFormats,
     sizeof kAllFormats / sizeof kAllFormats[0]},
    {L"vorvcam-1", L"Vor Virtual Camera UYVY",
     L"\\\\?\\root#vorvcam#0001#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global", kUyvyOnly, 1},
    {L"vorvcam-2", L"Vor Virtual Camera YUY2",
     L"\\\\?\\root#vorvcam#0002#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global", kYuy2Only, 1},
    {L"vorvcam-3", L"Vor Virtual Camera I420",
     L"\\\\?\\root#vorvcam#0003#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global", kI420Only, 1},
};

}  // namespace

const Camera* cameras() { return kCameras; }
size_t camera_count() { return sizeof kCameras / sizeof kCameras[0]; }

const Camera* camera_by_path(const wchar_t* path) {
    if (!path) return nullptr;
    for (const Camera& c : kCameras)
        if (_wcsicmp(c.device_path, path) == 0) return &c;
    return nullptr;
}

}  // namespace vorvcam
