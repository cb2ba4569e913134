// MediaType: an AM_MEDIA_TYPE that owns its format block (task memory), so
// copies are deep and destruction frees it. Plus the comparisons pins use.
#pragma once

#include <cstddef>

#include "dshow_platform.h"

namespace vorsim {

class MediaType {
public:
    MediaType();  // all zero: no type
    explicit MediaType(const AM_MEDIA_TYPE& mt);  // deep copy; throws std::bad_alloc
    MediaType(const MediaType& o);
    MediaType(MediaType&& o) noexcept;
    MediaType& operator=(const MediaType& o);
    MediaType& operator=(MediaType&& o) noexcept;
    ~MediaType();

    const AM_MEDIA_TYPE& get() const { return mt_; }
    AM_MEDIA_TYPE& get() { return mt_; }
    const AM_MEDIA_TYPE* operator->() const { return &mt_; }
    AM_MEDIA_TYPE* operator->() { return &mt_; }

    // Replaces the format block with a copy of size bytes (throws std::bad_alloc).
    void set_format(const GUID& formattype, const void* data, size_t size);
    // The format as VIDEOINFOHEADER when it is FORMAT_VideoInfo with at
    // least 88 bytes, else null.
    const VIDEOINFOHEADER* video_info() const;
    void clear();

    // A task-memory deep copy for AM_MEDIA_TYPE** out-parameters (null when
    // out of memory); the caller DeleteMediaType's it.
    AM_MEDIA_TYPE* to_task_memory() const;

private:
    AM_MEDIA_TYPE mt_;
};

// Major type, subtype, format type and format block all equal.
bool same_media_type(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b);
// Whether mt fits a partly specified type: GUID_NULL fields of pattern
// (majortype, subtype, formattype) accept anything.
bool fits_partial(const AM_MEDIA_TYPE& pattern, const AM_MEDIA_TYPE& mt);
// A video type with a VIDEOINFOHEADER (RGB: bottom-up, BI_RGB; others: the
// subtype's FOURCC as biCompression). For pins and tests.
MediaType make_video_type(const GUID& subtype, int width, int height, int bits_per_pixel,
                          REFERENCE_TIME frame_interval);

}  // namespace vorsim
