// Armed faults: name -> how many more calls fail, and with what.
#include <map>
#include <mutex>
#include <string>

#include "faults.h"
#include "vorsim.h"
#include "wide.h"

namespace vorsim {
namespace {

struct Fault {
    int remaining;  // kAlways: every call
    HRESULT result;
};

std::mutex g_mutex;
std::map<std::string, Fault, std::less<>> g_faults;
thread_local bool t_held_back = false;

// Consumes one fault; true with its result when one was armed.
bool take(std::string_view name, HRESULT* result) {
    if (t_held_back) return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_faults.empty()) return false;
    auto it = g_faults.find(name);
    if (it == g_faults.end()) return false;
    *result = it->second.result;
    if (it->second.remaining != kAlways && --it->second.remaining <= 0) g_faults.erase(it);
    return true;
}

}  // namespace

FaultsHeldBack::FaultsHeldBack() : outer_held_(t_held_back) { t_held_back = true; }
FaultsHeldBack::~FaultsHeldBack() { t_held_back = outer_held_; }

void fault_set(const std::string& name, int count, HRESULT result) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (count == 0) {
        g_faults.erase(name);
        return;
    }
    g_faults[name] = Fault{count < 0 ? kAlways : count, result};
}

void fault_clear() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_faults.clear();
}

bool fault_hit(const char* name) {
    HRESULT ignored = 0;
    return name != nullptr && take(name, &ignored);
}

HRESULT fault_result(const char* name, HRESULT site_default) {
    HRESULT result = 0;
    if (name == nullptr || !take(name, &result)) return S_OK;
    return result != 0 ? result : site_default;
}

HRESULT fault_result(const char* base, const WCHAR* qualifier, HRESULT site_default) {
    if (HRESULT hr = fault_result(base, site_default); FAILED(hr)) return hr;
    const std::string qualified = std::string(base) + ":" + to_utf8(wide_view(qualifier));
    return fault_result(qualified.c_str(), site_default);
}

}  // namespace vorsim
