// The system device enumerator (CLSID_SystemDeviceEnum, ICreateDevEnum) and
// the device monikers it hands out.
//
// CreateClassEnumerator(category, &enum, flags): the video or audio input
// category gives an IEnumMoniker over a snapshot of the devices plugged now
// (flags are ignored); an empty or unknown category gives S_FALSE and null.
// Each moniker:
//   BindToStorage(IID_IPropertyBag) a new bag each call: FriendlyName,
//                  Description, DevicePath as the device file gives them;
//                  audio devices FriendlyName and WaveInID (their index among
//                  the audio devices of the snapshot). Other interfaces or a
//                  left moniker: MK_E_NOSTORAGE; `bag: false`: E_FAIL.
//   BindToObject   a new filter each call (the capture filter, or the audio
//                  capture filter); `bind: false`: E_FAIL; the device was
//                  unplugged since: kDeviceGone.
//   everything else E_NOTIMPL.
// Faults: "ICreateDevEnum::CreateClassEnumerator", "IEnumMoniker::Next",
// "IEnumMoniker::Skip", "IEnumMoniker::Reset", "IEnumMoniker::Clone",
// "IMoniker::BindToObject", "IMoniker::BindToStorage".
#pragma once

#include "com_object.h"

namespace vorsim {

// What binding a filter for a device that is no longer plugged answers:
// HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED).
inline constexpr HRESULT kDeviceGone = HRESULT_FROM_WIN32(1167);

// A new enumerator (as CoCreateInstance(CLSID_SystemDeviceEnum) makes).
HRESULT create_device_enumerator(REFIID iid, void** ppv);

}  // namespace vorsim
