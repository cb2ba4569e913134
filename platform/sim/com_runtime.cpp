// The COM runtime: the class registry behind CoCreateInstance, task memory,
// BSTRs and VARIANTs.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "class_registry.h"
#include "vorsim.h"

namespace vorsim {
namespace {

std::mutex& registry_mutex() {
    static std::mutex m;
    return m;
}
std::vector<ClassEntry>& registry() {
    static std::vector<ClassEntry> classes;
    return classes;
}

std::atomic<long long> g_task_bytes{0};
std::atomic<long long> g_task_blocks{0};
std::atomic<long long> g_bstrs{0};

// Task memory blocks carry their size in a 16-byte header, so the
// outstanding total can be counted and Realloc knows the old size.
constexpr size_t kTaskHeader = 16;

}  // namespace

void register_class(const CLSID& clsid, std::string short_name, ClassCreator create) {
    std::lock_guard<std::mutex> lock(registry_mutex());
    for (ClassEntry& e : registry()) {
        if (e.clsid == clsid) {
            e.short_name = std::move(short_name);
            e.create = create;
            return;
        }
    }
    registry().push_back(ClassEntry{clsid, std::move(short_name), create});
}

void unregister_class(const CLSID& clsid) {
    std::lock_guard<std::mutex> lock(registry_mutex());
    auto& classes = registry();
    for (auto it = classes.begin(); it != classes.end(); ++it) {
        if (it->clsid == clsid) {
            classes.erase(it);
            return;
        }
    }
}

bool find_class(const CLSID& clsid, ClassEntry* out) {
    std::lock_guard<std::mutex> lock(registry_mutex());
    for (const ClassEntry& e : registry()) {
        if (e.clsid == clsid) {
            if (out != nullptr) *out = e;
            return true;
        }
    }
    return false;
}

long long task_memory_outstanding() { return g_task_bytes.load(); }
long long task_memory_allocations() { return g_task_blocks.load(); }
long long bstr_outstanding() { return g_bstrs.load(); }

}  // namespace vorsim

using vorsim::ClassEntry;

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    ClassEntry entry;
    if ((dwClsContext & CLSCTX_INPROC) == 0 || !vorsim::find_class(rclsid, &entry)) return REGDB_E_CLASSNOTREG;
    const std::string fault = "CoCreateInstance:" + entry.short_name;
    if (HRESULT hr = vorsim::fault_result("CoCreateInstance", REGDB_E_CLASSNOTREG); FAILED(hr)) return hr;
    if (HRESULT hr = vorsim::fault_result(fault.c_str(), REGDB_E_CLASSNOTREG); FAILED(hr)) return hr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    const HRESULT hr = entry.create(riid, ppv);
    if (FAILED(hr)) *ppv = nullptr;
    return hr;
}

LPVOID CoTaskMemAlloc(SIZE_T cb) {
    auto* block = static_cast<unsigned char*>(std::malloc(cb + vorsim::kTaskHeader));
    if (block == nullptr) return nullptr;
    std::memcpy(block, &cb, sizeof cb);
    vorsim::g_task_bytes += static_cast<long long>(cb);
    vorsim::g_task_blocks.fetch_add(1, std::memory_order_relaxed);
    return block + vorsim::kTaskHeader;
}

LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
    if (pv == nullptr) return CoTaskMemAlloc(cb);
    auto* block = static_cast<unsigned char*>(pv) - vorsim::kTaskHeader;
    SIZE_T old = 0;
    std::memcpy(&old, block, sizeof old);
    if (cb == 0) {
        CoTaskMemFree(pv);
        return nullptr;
    }
    auto* grown = static_cast<unsigned char*>(std::realloc(block, cb + vorsim::kTaskHeader));
    if (grown == nullptr) return nullptr;  // the old block stays valid
    std::memcpy(grown, &cb, sizeof cb);
    vorsim::g_task_bytes += static_cast<long long>(cb) - static_cast<long long>(old);
    return grown + vorsim::kTaskHeader;
}

void CoTaskMemFree(LPVOID pv) {
    if (pv == nullptr) return;
    auto* block = static_cast<unsigned char*>(pv) - vorsim::kTaskHeader;
    SIZE_T size = 0;
    std::memcpy(&size, block, sizeof size);
    vorsim::g_task_bytes -= static_cast<long long>(size);
    std::free(block);
}

// A BSTR points at its characters; the 4 bytes before hold the length in
// bytes (without the terminator). The block starts 8 bytes earlier so the
// characters stay 8-byte aligned.
BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
    const size_t bytes = static_cast<size_t>(cch) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(8 + bytes + sizeof(OLECHAR)));
    if (block == nullptr) return nullptr;
    const auto len = static_cast<uint32_t>(bytes);
    std::memcpy(block + 4, &len, sizeof len);
    auto* text = reinterpret_cast<OLECHAR*>(block + 8);
    if (pch != nullptr) {
        std::memcpy(text, pch, bytes);
    } else {
        std::memset(text, 0, bytes);
    }
    text[cch] = 0;
    ++vorsim::g_bstrs;
    return text;
}

BSTR SysAllocString(const OLECHAR* psz) {
    if (psz == nullptr) return nullptr;
    UINT n = 0;
    while (psz[n] != 0) ++n;
    return SysAllocStringLen(psz, n);
}

void SysFreeString(BSTR bstr) {
    if (bstr == nullptr) return;
    --vorsim::g_bstrs;
    std::free(reinterpret_cast<unsigned char*>(bstr) - 8);
}

UINT SysStringLen(BSTR bstr) {
    if (bstr == nullptr) return 0;
    uint32_t len = 0;
    std::memcpy(&len, reinterpret_cast<unsigned char*>(bstr) - 4, sizeof len);
    return len / sizeof(OLECHAR);
}

void VariantInit(VARIANTARG* pvarg) {
    if (pvarg != nullptr) pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (pvarg == nullptr) return E_INVALIDARG;
    switch (pvarg->vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
    case VT_UI1:
    case VT_UI4:
        break;
    case VT_BSTR:
        SysFreeString(pvarg->bstrVal);
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (pvarg->punkVal != nullptr) pvarg->punkVal->Release();
        break;
    default:
        // The platform hands out no other types (no SAFEARRAYs).
        return DISP_E_BADVARTYPE;
    }
    pvarg->vt = VT_EMPTY;
    return S_OK;
}
