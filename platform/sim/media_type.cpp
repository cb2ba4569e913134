// MediaType and media type comparisons.
#include "media_type.h"

#include <cstring>
#include <new>
#include <utility>

namespace vorsim {

MediaType::MediaType() { std::memset(&mt_, 0, sizeof mt_); }

MediaType::MediaType(const AM_MEDIA_TYPE& mt) : MediaType() {
    if (FAILED(CopyMediaType(&mt_, &mt))) {
        std::memset(&mt_, 0, sizeof mt_);
        throw std::bad_alloc();
    }
}

MediaType::MediaType(const MediaType& o) : MediaType(o.mt_) {}

MediaType::MediaType(MediaType&& o) noexcept : mt_(o.mt_) { std::memset(&o.mt_, 0, sizeof o.mt_); }

MediaType& MediaType::operator=(const MediaType& o) {
    if (this != &o) {
        MediaType copy(o);
        *this = std::move(copy);
    }
    return *this;
}

MediaType& MediaType::operator=(MediaType&& o) noexcept {
    if (this != &o) {
        FreeMediaType(mt_);
        mt_ = o.mt_;
        std::memset(&o.mt_, 0, sizeof o.mt_);
    }
    return *this;
}

MediaType::~MediaType() { FreeMediaType(mt_); }

void MediaType::set_format(const GUID& formattype, const void* data, size_t size) {
    BYTE* block = nullptr;
    if (size != 0) {
        block = static_cast<BYTE*>(CoTaskMemAlloc(size));
        if (block == nullptr) throw std::bad_alloc();
        if (data != nullptr) {
            std::memcpy(block, data, size);
        } else {
            std::memset(block, 0, size);
        }
    }
    if (mt_.cbFormat != 0) CoTaskMemFree(mt_.pbFormat);
    mt_.formattype = formattype;
    mt_.cbFormat = static_cast<ULONG>(size);
    mt_.pbFormat = block;
}

const VIDEOINFOHEADER* MediaType::video_info() const {
    if (mt_.formattype != FORMAT_VideoInfo || mt_.cbFormat < sizeof(VIDEOINFOHEADER) || mt_.pbFormat == nullptr)
        return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(mt_.pbFormat);
}

void MediaType::clear() {
    FreeMediaType(mt_);
    std::memset(&mt_, 0, sizeof mt_);
}

AM_MEDIA_TYPE* MediaType::to_task_memory() const { return CreateMediaType(&mt_); }

bool same_media_type(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
    if (a.majortype != b.majortype || a.subtype != b.subtype || a.formattype != b.formattype) return false;
    if (a.cbFormat != b.cbFormat) return false;
    if (a.cbFormat == 0) return true;
    if (a.pbFormat == nullptr || b.pbFormat == nullptr) return a.pbFormat == b.pbFormat;
    return std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

bool fits_partial(const AM_MEDIA_TYPE& pattern, const AM_MEDIA_TYPE& mt) {
    if (pattern.majortype != GUID_NULL && pattern.majortype != mt.majortype) return false;
    if (pattern.subtype != GUID_NULL && pattern.subtype != mt.subtype) return false;
    if (pattern.formattype != GUID_NULL && pattern.formattype != mt.formattype) return false;
    return true;
}

MediaType make_video_type(const GUID& subtype, int width, int height, int bits_per_pixel,
                          REFERENCE_TIME frame_interval) {
    MediaType type;
    VIDEOINFOHEADER vih;
    std::memset(&vih, 0, sizeof vih);
    const bool rgb = subtype.Data2 == 0x524f;  // the RGB subtypes share E436EB7x-524F-...
    const LONG stride = rgb ? ((width * bits_per_pixel + 31) / 32) * 4 : width * bits_per_pixel / 8;
    vih.rcSource = RECT{0, 0, width, height};
    vih.rcTarget = RECT{0, 0, width, height};
    vih.AvgTimePerFrame = frame_interval;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = width;
    vih.bmiHeader.biHeight = height;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = static_cast<WORD>(bits_per_pixel);
    vih.bmiHeader.biCompression = rgb ? BI_RGB : subtype.Data1;
    vih.bmiHeader.biSizeImage = static_cast<DWORD>(stride * height);
    if (frame_interval > 0)
        vih.dwBitRate = static_cast<DWORD>(static_cast<long long>(vih.bmiHeader.biSizeImage) * 8 * 10000000LL /
                                           frame_interval);
    type->majortype = MEDIATYPE_Video;
    type->subtype = subtype;
    type->bFixedSizeSamples = TRUE;
    type->bTemporalCompression = FALSE;
    type->lSampleSize = vih.bmiHeader.biSizeImage;
    type.set_format(FORMAT_VideoInfo, &vih, sizeof vih);
    return type;
}

}  // namespace vorsim
