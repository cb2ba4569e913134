// Small helpers the filter graph, intelligent connect and the capture graph
// builder share: walking a filter's pins and a pin's connection through the
// public interfaces only, so filters that are not built on the platform's
// bases take part too.
#pragma once

#include <optional>
#include <vector>

#include "com_object.h"
#include "media_type.h"

namespace vorsim {

// Runs f, turning an escaping exception into an HRESULT: no exception
// crosses a COM method.
template <class F>
HRESULT com_guard(F&& f) noexcept {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// The object's IUnknown identity (not AddRef'd; null for null).
IUnknown* unknown_of(IUnknown* object);
bool same_object(IUnknown* a, IUnknown* b);

// The filter's pins in enumeration order, all or one direction only.
std::vector<ComPtr<IPin>> pins_of(IBaseFilter* filter);
std::vector<ComPtr<IPin>> pins_of(IBaseFilter* filter, PIN_DIRECTION direction);
// Pins of that direction that are not connected.
std::vector<ComPtr<IPin>> free_pins_of(IBaseFilter* filter, PIN_DIRECTION direction);

std::optional<PIN_DIRECTION> direction_of(IPin* pin);
// The connected pin, or null.
ComPtr<IPin> peer_of(IPin* pin);
bool is_connected(IPin* pin);
// The filter owning the pin.
ComPtr<IBaseFilter> filter_of(IPin* pin);
// The pin category answered through IKsPropertySet; none for pins without
// it (pins of software filters).
std::optional<GUID> category_of(IPin* pin);
// Whether any type the pin enumerates (or its connection type) has this
// major type.
bool offers_major_type(IPin* pin, const GUID& majortype);
// The types the pin enumerates.
std::vector<MediaType> types_of(IPin* pin);
CLSID class_of(IBaseFilter* filter);  // GUID_NULL when it does not say
// The graph the filter joined (AddRef'd), or null.
ComPtr<IFilterGraph> graph_of(IBaseFilter* filter);

}  // namespace vorsim
