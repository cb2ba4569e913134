// Media type helpers of the DirectShow base classes: they are not operating
// system exports, so both platforms get them from platform/common.
//   FreeMediaType: frees the format block (and releases pUnk) of a media
//     type the caller owns, e.g. one filled by IPin::ConnectionMediaType or
//     ISampleGrabber::GetConnectedMediaType. The struct itself stays.
//   DeleteMediaType: FreeMediaType, then frees the struct; for types handed
//     back as AM_MEDIA_TYPE** (GetFormat, GetStreamCaps, IEnumMediaTypes).
//   CopyMediaType: deep copy (new format block, pUnk AddRef'd);
//     E_OUTOFMEMORY when the block cannot be allocated (dst then has none).
//   CreateMediaType: a task-memory deep copy, null on failure.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#include <dshow.h>
#else
#include "dshow_structs.h"
#endif

void FreeMediaType(AM_MEDIA_TYPE& mt);
void DeleteMediaType(AM_MEDIA_TYPE* pmt);
HRESULT CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource);
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* pSrc);
