// Media types of the virtual capture devices, built from the device file's
// caps, and the way back from a media type to the caps entry it describes.
//
//   VideoInfo   VIDEOINFOHEADER (88 bytes; with BI_BITFIELDS the three colour
//               masks follow, 100 bytes)
//   VideoInfo2  VIDEOINFOHEADER2 (112 bytes), picture aspect ratio w:h reduced
//   MPEG        FORMAT_MPEGVideo: a VIDEOINFOHEADER then an empty sequence
//               header (100 bytes)
//   DvInfo      FORMAT_DvInfo: a DVINFO (32 bytes) whose 50/60 flag
//               (0x00200000 in dwDVAAuxSrc and dwDVVAuxSrc) is set for
//               625-line (576) frames; no other bits
// Interleaved pins use MEDIATYPE_Interleaved, others MEDIATYPE_Video.
// biSizeImage and lSampleSize are the frame size (pattern.h frame_size: for
// MJPG the largest frame, and then bFixedSizeSamples is FALSE and
// lSampleSize 0).
//
// Frame intervals: a caps entry supports min_interval times 1, 2, 3, 4 and 6
// (for a 30 fps camera: 30, 15, 10, 7.5 and 5 fps), as USB cameras
// typically list them; MaxFrameInterval is 6 x min_interval. A requested
// interval snaps to the nearest of those (the faster one on a tie).
#pragma once

#include <optional>
#include <vector>

#include "devices/device_set.h"
#include "devices/pattern.h"
#include "media_type.h"

namespace vorsim {

inline constexpr int64_t kMaxIntervalFactor = 6;

GUID to_guid(const SubtypeId& id);
const GUID& format_guid(FormatType f);

// The type for one caps entry at a frame interval (throws std::bad_alloc).
MediaType caps_media_type(const VideoCaps& caps, bool interleaved, REFERENCE_TIME interval);
// Fills a 128-byte VIDEO_STREAM_CONFIG_CAPS.
void fill_stream_caps(const VideoCaps& caps, VIDEO_STREAM_CONFIG_CAPS& out);

// The supported interval nearest to `wanted` (0: min_interval).
REFERENCE_TIME snap_interval(const VideoCaps& caps, REFERENCE_TIME wanted);
bool is_supported_interval(const VideoCaps& caps, REFERENCE_TIME interval);

// Which caps entry a media type names: major type (Video, or Interleaved
// for interleaved pins), subtype, format type, width and height (DvInfo:
// subtype and format type only). The interval is the type's
// AvgTimePerFrame (0 when the format block has none). Bit count,
// compression and sizes are not looked at: they follow from the subtype.
struct CapsMatch {
    size_t index = 0;
    REFERENCE_TIME interval = 0;
};
std::optional<CapsMatch> match_caps(const std::vector<VideoCaps>& caps, bool interleaved, const AM_MEDIA_TYPE& mt);

}  // namespace vorsim
