// The camera's media types: VIDEOINFOHEADER formats of its layouts.
#include "vcam.h"

#include <cstring>

namespace vorvcam {

namespace {

constexpr DWORD fourcc(char a, char b, char c, char d) {
    return DWORD(uint8_t(a)) | DWORD(uint8_t(b)) << 8 | DWORD(uint8_t(c)) << 16 | DWORD(uint8_t(d)) << 24;
}

// FOURCC subtypes: XXXXXXXX-0000-0010-8000-00AA00389B71.
GUID fourcc_subtype(DWORD code) {
    return GUID{code, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

DWORD compression_of(Layout layout) {
    switch (layout) {
    case Layout::rgb32: return BI_RGB;
    case Layout::uyvy: return fourcc('U', 'Y', 'V', 'Y');
    case Layout::yuy2: return fourcc('Y', 'U', 'Y', '2');
    case Layout::i420: return fourcc('I', '4', '2', '0');
    }
    return BI_RGB;
}

WORD bits_of(Layout layout) {
    switch (layout) {
    case Layout::rgb32: return 32;
    case Layout::uyvy:
    case Layout::yuy2: return 16;
    case Layout::i420: return 12;
    }
    return 0;
}

}  // namespace

GUID subtype_of(Layout layout) {
    if (layout == Layout::rgb32) return MEDIASUBTYPE_RGB32;
    return fourcc_subtype(compression_of(layout));
}

HRESULT make_media_type(const CameraFormat& f, LONGLONG interval, AM_MEDIA_TYPE& mt) {
    std::memset(&mt, 0, sizeof mt);
    const size_t size = ramp_frame_size(f.layout, f.width, f.height);
    auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (!vih) return E_OUTOFMEMORY;
    std::memset(vih, 0, sizeof *vih);
    vih->AvgTimePerFrame = interval;
    vih->dwBitRate = DWORD(double(size) * 8.0 * 10000000.0 / double(interval));
    BITMAPINFOHEADER& bmi = vih->bmiHeader;
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = f.width;
    bmi.biHeight = f.height;
    bmi.biPlanes = 1;
    bmi.biBitCount = bits_of(f.layout);
    bmi.biCompression = compression_of(f.layout);
    bmi.biSizeImage = DWORD(size);

    mt.majortype = MEDIATYPE_Video;
    mt.subtype = subtype_of(f.layout);
    mt.bFixedSizeSamples = TRUE;
    mt.bTemporalCompression = FALSE;
    mt.lSampleSize = ULONG(size);
    mt.formattype = FORMAT_VideoInfo;
    mt.cbFormat = sizeof(VIDEOINFOHEADER);
    mt.pbFormat = reinterpret_cast<BYTE*>(vih);
    return S_OK;
}

void free_media_type(AM_MEDIA_TYPE& mt) {
    if (mt.cbFormat != 0 || mt.pbFormat) CoTaskMemFree(mt.pbFormat);
    mt.cbFormat = 0;
    mt.pbFormat = nullptr;
    if (mt.pUnk) {
        mt.pUnk->Release();
        mt.pUnk = nullptr;
    }
}

HRESULT copy_media_type(AM_MEDIA_TYPE& dst, const AM_MEDIA_TYPE& src) {
    dst = src;
    dst.pbFormat = nullptr;
    dst.cbFormat = 0;
    if (src.cbFormat && src.pbFormat) {
        dst.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(src.cbFormat));
        if (!dst.pbFormat) {
            dst.pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(dst.pbFormat, src.pbFormat, src.cbFormat);
        dst.cbFormat = src.cbFormat;
    }
    if (dst.pUnk) dst.pUnk->AddRef();
    return S_OK;
}

const VIDEOINFOHEADER* video_info(const AM_MEDIA_TYPE& mt) {
    if (mt.formattype != FORMAT_VideoInfo || !mt.pbFormat || mt.cbFormat < sizeof(VIDEOINFOHEADER)) return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
}

}  // namespace vorvcam
