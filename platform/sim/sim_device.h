// ISimDevice: how a filter made from a plugged device (the video capture
// filter, the audio capture filter) says which device it is, to other parts
// of the sim that only hold an IUnknown, such as OleCreatePropertyFrame
// naming the dialog it reports. Asking through QueryInterface keeps those
// callers free of the filters' classes, and any other object (the module's
// own, a pin, the graph) simply answers E_NOINTERFACE.
//
// The IID is the sim's own: it is in no system header, and the module never
// sees it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "dshow_platform.h"
#include "vorsim.h"

namespace vorsim {

// ISpecifyPropertyPages::GetPages of a device filter: the first `wanted`
// pages of `list` (none when the device file gives no count), in task
// memory the caller frees.
inline HRESULT device_pages(CAUUID* pages, std::optional<uint32_t> wanted, const CLSID* const* list, size_t size) {
    if (pages == nullptr) return E_POINTER;
    pages->cElems = 0;
    pages->pElems = nullptr;
    if (HRESULT hr = fault_result("ISpecifyPropertyPages::GetPages"); FAILED(hr)) return hr;
    const size_t count = std::min<size_t>(wanted.value_or(0), size);
    if (count == 0) return S_OK;
    auto* elems = static_cast<GUID*>(CoTaskMemAlloc(count * sizeof(GUID)));
    if (elems == nullptr) return E_OUTOFMEMORY;
    for (size_t i = 0; i < count; ++i) elems[i] = *list[i];
    pages->cElems = static_cast<ULONG>(count);
    pages->pElems = elems;
    return S_OK;
}

inline constexpr IID IID_ISimDevice = {0x64b9ed8f, 0xf916, 0x44a9, {0xbf, 0x6c, 0x69, 0xc2, 0x64, 0xa2, 0x72, 0x2d}};

struct ISimDevice : public IUnknown {
    // The name a person knows the device by, in UTF-8: its friendly name,
    // else its description, else empty.
    virtual std::string device_name() = 0;
};

}  // namespace vorsim

// So that filters can list ISimDevice among their interfaces.
namespace vorcom {
template <>
struct interface_traits<vorsim::ISimDevice> {
    static constexpr const IID& iid = vorsim::IID_ISimDevice;
    using base = IUnknown;
};
}  // namespace vorcom
