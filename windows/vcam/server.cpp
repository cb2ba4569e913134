// The in-process COM server: the class factory, registration of the filter
// class and of the cameras in the video input device category, and the
// manual clock's entry point.
#include "vcam.h"
#include "vcam_control.h"

#include <new>
#include <vector>

namespace vorvcam {

// {BE3863F0-8681-45A6-8C41-AEB7B63CE4D8}
const CLSID kCameraClass = {0xbe3863f0, 0x8681, 0x45a6, {0x8c, 0x41, 0xae, 0xb7, 0xb6, 0x3c, 0xe4, 0xd8}};
std::atomic<long> g_live{0};
HMODULE g_module = nullptr;

namespace {

constexpr WCHAR kClassName[] = L"Vor Virtual Camera";
constexpr DWORD kDeliverTimeoutMs = 10000;

SRWLOCK g_streams_lock = SRWLOCK_INIT;
std::vector<Pin*>* g_streams = nullptr;  // made on first use, lives with the DLL

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // One static factory: its references are server locks.
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++g_live); }
    STDMETHODIMP_(ULONG) Release() override { return ULONG(--g_live); }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        Filter* filter = new (std::nothrow) Filter();
        if (!filter) return E_OUTOFMEMORY;
        const HRESULT hr = filter->QueryInterface(iid, out);
        filter->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            ++g_live;
        else
            --g_live;
        return S_OK;
    }
};

Factory g_factory;

std::wstring guid_text(const GUID& id) {
    WCHAR text[40] = {};
    StringFromGUID2(id, text, 40);
    return text;
}

HRESULT set_value(HKEY key, const WCHAR* name, const std::wstring& value) {
    const LONG r = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  DWORD((value.size() + 1) * sizeof(WCHAR)));
    return HRESULT_FROM_WIN32(r);
}

// HKCR\CLSID\{class}: the DLL serves the class in process, from any
// apartment.
HRESULT register_class() {
    WCHAR path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return E_FAIL;
    const std::wstring key_name = L"CLSID\\" + guid_text(kCameraClass);
    HKEY key = nullptr;
    LONG r = RegCreateKeyExW(HKEY_CLASSES_ROOT, key_name.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS) return HRESULT_FROM_WIN32(r);
    HRESULT hr = set_value(key, nullptr, kClassName);
    HKEY server = nullptr;
    if (SUCCEEDED(hr)) {
        r = RegCreateKeyExW(key, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &server, nullptr);
        hr = HRESULT_FROM_WIN32(r);
    }
    if (SUCCEEDED(hr)) hr = set_value(server, nullptr, path);
    if (SUCCEEDED(hr)) hr = set_value(server, L"ThreadingModel", L"Both");
    if (server) RegCloseKey(server);
    RegCloseKey(key);
    return hr;
}

HRESULT unregister_class() {
    const std::wstring key_name = L"CLSID\\" + guid_text(kCameraClass);
    const LONG r = RegDeleteTreeW(HKEY_CLASSES_ROOT, key_name.c_str());
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(r);
}

// Each camera through the filter mapper, under its own instance name; its
// DevicePath is written into the bag of the moniker the mapper made.
HRESULT register_cameras(IFilterMapper2* mapper) {
    REGPINTYPES type = {&MEDIATYPE_Video, &MEDIASUBTYPE_NULL};
    REGFILTERPINS2 pin{};
    pin.dwFlags = 0;
    pin.cInstances = 1;
    pin.nMediaTypes = 1;
    pin.lpMediaType = &type;
    pin.clsPinCategory = &PIN_CATEGORY_CAPTURE;
    REGFILTER2 filter{};
    filter.dwVersion = 2;
    filter.dwMerit = MERIT_DO_NOT_USE;
    filter.cPins2 = 1;
    filter.rgPins2 = &pin;
    for (size_t i = 0; i < camera_count(); ++i) {
        const Camera& c = cameras()[i];
        IMoniker* moniker = nullptr;
        HRESULT hr = mapper->RegisterFilter(kCameraClass, c.friendly_name, &moniker, &CLSID_VideoInputDeviceCategory,
                                            c.instance, &filter);
        if (FAILED(hr)) return hr;
        if (!moniker) return E_FAIL;
        IPropertyBag* bag = nullptr;
        hr = moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag));
        moniker->Release();
        if (FAILED(hr)) return hr;
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocString(c.device_path);
        hr = v.bstrVal ? bag->Write(L"DevicePath", &v) : E_OUTOFMEMORY;
        VariantClear(&v);
        bag->Release();
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT unregister_cameras(IFilterMapper2* mapper) {
    for (size_t i = 0; i < camera_count(); ++i)
        mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, cameras()[i].instance, kCameraClass);
    return S_OK;
}

// Runs fn with a filter mapper, COM initialised on this thread meanwhile.
template <class Fn>
HRESULT with_mapper(Fn fn) {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IFilterMapper2* mapper = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  reinterpret_cast<void**>(&mapper));
    if (SUCCEEDED(hr)) {
        hr = fn(mapper);
        mapper->Release();
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return hr;
}

}  // namespace

void streams_add(Pin* pin) {
    AcquireSRWLockExclusive(&g_streams_lock);
    if (!g_streams) g_streams = new (std::nothrow) std::vector<Pin*>();
    if (g_streams) g_streams->push_back(pin);
    ReleaseSRWLockExclusive(&g_streams_lock);
}

void streams_remove(Pin* pin) {
    AcquireSRWLockExclusive(&g_streams_lock);
    if (g_streams) std::erase(*g_streams, pin);
    ReleaseSRWLockExclusive(&g_streams_lock);
}

}  // namespace vorvcam

using namespace vorvcam;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID id, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (id != kCameraClass) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() { return g_live.load() == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    HRESULT hr = register_class();
    if (SUCCEEDED(hr)) hr = with_mapper(register_cameras);
    return hr;
}

STDAPI DllUnregisterServer() {
    const HRESULT hr = with_mapper(unregister_cameras);
    const HRESULT cls = unregister_class();
    return FAILED(hr) ? hr : cls;
}

// The manual clock (vcam_control.h). The running streams are held (through
// their filters) while the shell waits for them.
extern "C" long vorvcam_deliver(long frames) {
    if (frames <= 0) return 0;
    struct Waiting {
        Pin* pin;
        uint64_t target;
    };
    std::vector<Waiting> waiting;
    AcquireSRWLockExclusive(&g_streams_lock);
    if (g_streams) {
        for (Pin* pin : *g_streams) {
            // A paused stream delivers nothing: there is nothing to wait for.
            if (!pin->manual_clock() || !pin->running()) continue;
            pin->AddRef();
            waiting.push_back({pin, pin->request(frames)});
        }
    }
    ReleaseSRWLockExclusive(&g_streams_lock);
    for (const Waiting& w : waiting) {
        w.pin->wait_delivered(w.target, kDeliverTimeoutMs);
        w.pin->Release();
    }
    return long(waiting.size());
}
