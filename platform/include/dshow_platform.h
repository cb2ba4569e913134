// The platform (DirectShow, OLE, CryptoAPI) as the module sees it.
//
// This first part holds what the grabber record needs: GUIDs, the media
// subtypes the colour modes ask for, and the interfaces the record keeps.
// The in-process platform fills in the rest of DirectShow beside it.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#include <dshow.h>
#else

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

struct IMediaControl;
struct IMediaEvent;
struct IGraphBuilder;
struct ICaptureGraphBuilder2;
struct ISampleGrabber;

// Media subtypes: a FOURCC in the first word, then the common tail.
inline constexpr GUID MEDIASUBTYPE_RGB32 = {0xe436eb7e, 0x524f, 0x11ce, {0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
inline constexpr GUID MEDIASUBTYPE_UYVY = {0x59565955, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

#endif
