// The DV Video Decoder (CLSID_DVVideoCodec) and what it shares with the DV
// Splitter: the picture a dvsd type announces.
//
// The decoder takes MEDIATYPE_Video / dvsd (FORMAT_VideoInfo or
// FORMAT_DvInfo) and offers RGB32, RGB24, UYVY, YUY2 (in that order) at the
// size IIPDVDec::put_IPDisplay chose, as a fraction of the announced
// picture:
//   DVRESOLUTION_FULL     w x h          (720x480 NTSC, 720x576 PAL)
//   DVRESOLUTION_HALF     w/2 x h/2      (360x240, 360x288)
//   DVRESOLUTION_QUARTER  w/4 x h/4      (180x120, 180x144)
//   DVRESOLUTION_DC       w*11/90 x h/8  (88x60, 88x72)
// The default is DVRESOLUTION_HALF, as the system's decoder is commonly
// seen to start. put_IPDisplay answers E_FAIL unless the filter is stopped
// and E_INVALIDARG for other values; it decides the types offered from
// then on (an output already connected keeps its size until reconnected).
//
// Each sample carries the sim's private DV payload (devices/pattern.h,
// read_dv_frame): a UYVY picture, resampled nearest-neighbour to the
// output's size (pixel_kernels.h) and converted for RGB outputs with the
// BT.601 formula. RGB outputs are bottom-up. A sample that is not such a
// payload is dropped.
#pragma once

#include "dshow_platform.h"

namespace vorsim {

// The picture size and frame interval a dvsd type announces: from its
// VIDEOINFOHEADER, or for FORMAT_DvInfo from the DV standard (PAL 720x576
// at 25 fps when the 50-field flag, bit 21 of dwDVVAuxSrc, is set or the
// sample size is a PAL frame's; else NTSC 720x480 at 29.97 fps). False for
// other types. majortype is not checked (interleaved or video).
bool dv_picture(const AM_MEDIA_TYPE& mt, int& width, int& height, REFERENCE_TIME& frame_interval);

}  // namespace vorsim
