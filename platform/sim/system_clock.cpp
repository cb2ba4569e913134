// The system reference clock.
#include "system_clock.h"

#include <chrono>

#include "class_registry.h"
#include "vorsim.h"

namespace vorsim {

HRESULT SystemClock::GetTime(REFERENCE_TIME* pTime) {
    if (pTime == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IReferenceClock::GetTime"); FAILED(hr)) return hr;
    const auto since_epoch = std::chrono::steady_clock::now().time_since_epoch();
    const REFERENCE_TIME now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count() / 100;
    std::lock_guard<std::mutex> lock(mutex_);
    const bool moved = now > last_;
    if (moved) last_ = now;
    *pTime = last_;
    return moved ? S_OK : S_FALSE;
}

HRESULT SystemClock::AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR* pdwAdviseCookie) {
    if (pdwAdviseCookie == nullptr) return E_POINTER;
    *pdwAdviseCookie = 0;
    return E_NOTIMPL;
}

HRESULT SystemClock::AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR* pdwAdviseCookie) {
    if (pdwAdviseCookie == nullptr) return E_POINTER;
    *pdwAdviseCookie = 0;
    return E_NOTIMPL;
}

HRESULT SystemClock::Unadvise(DWORD_PTR) { return S_FALSE; }  // nothing was ever advised

namespace {
const ClassRegistration registration(CLSID_SystemClock, "SystemClock", &create_instance<SystemClock>);
}  // namespace

}  // namespace vorsim
