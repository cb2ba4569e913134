// OleCreatePropertyFrame: no dialog; the call is reported to the handler.
#include <mutex>

#include "com_object.h"
#include "sim_device.h"
#include "vorsim.h"
#include "wide.h"

namespace vorsim {
namespace {
std::mutex g_mutex;
PropertyFrameHandler g_handler;

// The device an object was made from, when it is one of the sim's device
// filters; empty otherwise.
std::string device_name_of(IUnknown* object) {
    if (object == nullptr) return {};
    ComPtr<ISimDevice> device;
    if (FAILED(object->QueryInterface(IID_ISimDevice, device.put_void())) || !device) return {};
    return device->device_name();
}
}  // namespace

void property_frame_handler_set(PropertyFrameHandler handler) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_handler = std::move(handler);
}

}  // namespace vorsim

HRESULT OleCreatePropertyFrame(HWND, UINT, UINT, LPCOLESTR lpszCaption, ULONG cObjects, LPUNKNOWN* ppUnk,
                               ULONG cPages, LPCLSID pPageClsID, LCID, DWORD, LPVOID) {
    if (HRESULT hr = vorsim::fault_result("OleCreatePropertyFrame"); FAILED(hr)) return hr;
    if ((cObjects != 0 && ppUnk == nullptr) || (cPages != 0 && pPageClsID == nullptr)) return E_INVALIDARG;
    vorsim::PropertyFrameHandler handler;
    {
        std::lock_guard<std::mutex> lock(vorsim::g_mutex);
        handler = vorsim::g_handler;
    }
    if (!handler) return S_OK;
    try {
        vorsim::PropertyFrameCall call;
        call.caption = std::u16string(vorsim::wide_view(lpszCaption));
        call.objects.assign(ppUnk, ppUnk + cObjects);
        call.pages.assign(pPageClsID, pPageClsID + cPages);
        if (cObjects != 0) call.device_name = vorsim::device_name_of(ppUnk[0]);
        return handler(call);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;  // nothing crosses the COM boundary
    }
}
