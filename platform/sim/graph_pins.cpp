// Helpers for walking pins and connections.
#include "graph_pins.h"

namespace vorsim {

IUnknown* unknown_of(IUnknown* object) {
    if (object == nullptr) return nullptr;
    IUnknown* unk = nullptr;
    if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk))) || unk == nullptr)
        return nullptr;
    unk->Release();  // the object is held by the caller's pointer
    return unk;
}

bool same_object(IUnknown* a, IUnknown* b) {
    if (a == nullptr || b == nullptr) return a == b;
    return unknown_of(a) == unknown_of(b);
}

std::vector<ComPtr<IPin>> pins_of(IBaseFilter* filter) {
    std::vector<ComPtr<IPin>> pins;
    if (filter == nullptr) return pins;
    ComPtr<IEnumPins> e;
    if (FAILED(filter->EnumPins(e.put())) || !e) return pins;
    IPin* pin = nullptr;
    while (e->Next(1, &pin, nullptr) == S_OK) pins.push_back(ComPtr<IPin>::adopt(pin));
    return pins;
}

std::vector<ComPtr<IPin>> pins_of(IBaseFilter* filter, PIN_DIRECTION direction) {
    std::vector<ComPtr<IPin>> out;
    for (ComPtr<IPin>& pin : pins_of(filter)) {
        if (direction_of(pin.get()) == direction) out.push_back(std::move(pin));
    }
    return out;
}

std::vector<ComPtr<IPin>> free_pins_of(IBaseFilter* filter, PIN_DIRECTION direction) {
    std::vector<ComPtr<IPin>> out;
    for (ComPtr<IPin>& pin : pins_of(filter, direction)) {
        if (!is_connected(pin.get())) out.push_back(std::move(pin));
    }
    return out;
}

std::optional<PIN_DIRECTION> direction_of(IPin* pin) {
    PIN_DIRECTION dir = PINDIR_INPUT;
    if (pin == nullptr || FAILED(pin->QueryDirection(&dir))) return std::nullopt;
    return dir;
}

ComPtr<IPin> peer_of(IPin* pin) {
    ComPtr<IPin> peer;
    if (pin == nullptr || pin->ConnectedTo(peer.put()) != S_OK) return nullptr;
    return peer;
}

bool is_connected(IPin* pin) { return static_cast<bool>(peer_of(pin)); }

ComPtr<IBaseFilter> filter_of(IPin* pin) {
    PIN_INFO info;
    info.pFilter = nullptr;
    if (pin == nullptr || FAILED(pin->QueryPinInfo(&info))) return nullptr;
    return ComPtr<IBaseFilter>::adopt(info.pFilter);
}

std::optional<GUID> category_of(IPin* pin) {
    ComPtr<IKsPropertySet> props;
    if (pin == nullptr || FAILED(pin->QueryInterface(IID_IKsPropertySet, props.put_void()))) return std::nullopt;
    GUID category = GUID_NULL;
    DWORD returned = 0;
    if (props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category, &returned) !=
            S_OK ||
        returned != sizeof category)
        return std::nullopt;
    return category;
}

std::vector<MediaType> types_of(IPin* pin) {
    std::vector<MediaType> types;
    ComPtr<IEnumMediaTypes> e;
    if (pin == nullptr || FAILED(pin->EnumMediaTypes(e.put())) || !e) return types;
    AM_MEDIA_TYPE* mt = nullptr;
    while (e->Next(1, &mt, nullptr) == S_OK) {
        try {
            types.emplace_back(*mt);
        } catch (...) {
            DeleteMediaType(mt);
            throw;
        }
        DeleteMediaType(mt);
    }
    return types;
}

bool offers_major_type(IPin* pin, const GUID& majortype) {
    for (const MediaType& t : types_of(pin)) {
        if (t->majortype == majortype) return true;
    }
    AM_MEDIA_TYPE mt;
    if (pin != nullptr && pin->ConnectionMediaType(&mt) == S_OK) {
        const bool match = mt.majortype == majortype;
        FreeMediaType(mt);
        return match;
    }
    return false;
}

CLSID class_of(IBaseFilter* filter) {
    CLSID clsid = GUID_NULL;
    if (filter == nullptr || FAILED(filter->GetClassID(&clsid))) return GUID_NULL;
    return clsid;
}

ComPtr<IFilterGraph> graph_of(IBaseFilter* filter) {
    FILTER_INFO info;
    info.pGraph = nullptr;
    if (filter == nullptr || FAILED(filter->QueryFilterInfo(&info))) return nullptr;
    return ComPtr<IFilterGraph>::adopt(info.pGraph);
}

}  // namespace vorsim
