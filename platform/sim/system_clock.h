// The system reference clock (CLSID_SystemClock): the clock a graph picks
// when none of its filters offers one. Time is the monotonic clock in
// 100-ns units and never runs backwards.
//
// AdviseTime/AdvisePeriodic need event and semaphore handles, which this
// platform does not have: they answer E_NOTIMPL (nothing here waits on a
// clock; sources are paced by the streaming threads).
#pragma once

#include <mutex>

#include "com_object.h"

namespace vorsim {

class SystemClock final : public ComObject<IReferenceClock> {
public:
    // S_OK with a new time, S_FALSE when it equals the previous answer.
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* pTime) override;
    HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                                         DWORD_PTR* pdwAdviseCookie) override;
    HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                             HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR dwAdviseCookie) override;

private:
    std::mutex mutex_;
    REFERENCE_TIME last_ = 0;
};

}  // namespace vorsim
