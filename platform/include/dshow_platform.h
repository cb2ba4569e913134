// The platform (DirectShow, OLE, CryptoAPI) as the module sees it: the one
// header module code includes for it.
//
// On Windows it is the system headers (platform_windows.h). Elsewhere the
// same names are declared here, family by family, with the Win64 widths and
// layouts, and the in-process platform (platform/sim, library vorplatform)
// implements them:
//   win_types.h, win_hresult.h   base types, GUID, HRESULT values
//   com_api.h                    IUnknown, monikers, property bags, VARIANT,
//                                BSTR, task memory, CoCreateInstance
//   dshow_structs.h              media types, format blocks, pin/filter info
//   dshow_constants.h            enumerations, flags, event codes
//   dshow_guids.h                classes, categories, media types, IIDs
//   dshow_interfaces.h           filters, pins, samples, graph, builder
//   dshow_device_controls.h      device and recording-filter interfaces
//   sample_grabber_api.h         ISampleGrabber, ISampleGrabberCB
//   wincrypt_api.h               CryptoAPI (MD5)
//   com_interface_ids.h          interface type -> IID at compile time
// On both: ext_device_constants.h (DV transport values) and
// media_type_helpers.h (FreeMediaType and friends, from platform/common).
//
// Wide literals: write DSW("text"); it is L"text" on Windows and u"text"
// elsewhere, matching WCHAR.
#pragma once

#if defined(_WIN32)
#include "platform_windows.h"
#define DSW(text) L##text
#else
#include "com_api.h"
#include "com_interface_ids.h"
#include "dshow_constants.h"
#include "dshow_device_controls.h"
#include "dshow_guids.h"
#include "dshow_interfaces.h"
#include "dshow_structs.h"
#include "sample_grabber_api.h"
#include "win_hresult.h"
#include "win_types.h"
#include "wincrypt_api.h"
#define DSW(text) u##text
#endif

#include "ext_device_constants.h"
#include "media_type_helpers.h"
