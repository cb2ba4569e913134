// The filter graph's event queue, and IMediaEvent / IMediaEventEx on the
// graph.
#include "graph_events.h"

#include <chrono>

#include "graph_manager.h"
#include "graph_pins.h"
#include "vorsim.h"

namespace vorsim {
namespace {

constexpr LONG kNoNotify = 1;  // AM_MEDIAEVENT_NONOTIFY

bool is_completion(LONG code) { return code == EC_COMPLETE || code == EC_ERRORABORT || code == EC_USERABORT; }

}  // namespace

bool EventQueue::handled_by_default(LONG code) const {
    return code == EC_REPAINT && cancelled_.count(code) == 0;
}

void EventQueue::post(LONG code, LONG_PTR param1, LONG_PTR param2) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (is_completion(code) && !completion_) completion_ = code;
    if ((notify_flags_ & kNoNotify) != 0 || handled_by_default(code)) {
        posted_.notify_all();
        return;
    }
    try {
        Event e{code, param1, param2, {}};
        if (code == EC_DEVICE_LOST && param1 != 0) e.hold = ComPtr<IUnknown>(reinterpret_cast<IUnknown*>(param1));
        queue_.push_back(std::move(e));
    } catch (const std::bad_alloc&) {
        return;  // an event lost for want of memory; the stream goes on
    }
    posted_.notify_all();
}

HRESULT EventQueue::get(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG ms) {
    if (code == nullptr || param1 == nullptr || param2 == nullptr) return E_POINTER;
    std::unique_lock<std::mutex> lock(mutex_);
    const auto ready = [&] { return !queue_.empty(); };
    if (ms < 0) {
        posted_.wait(lock, ready);
    } else if (!posted_.wait_for(lock, std::chrono::milliseconds(ms), ready)) {
        *code = 0;
        *param1 = 0;
        *param2 = 0;
        return E_ABORT;
    }
    Event e = std::move(queue_.front());
    queue_.pop_front();
    *code = e.code;
    *param1 = e.param1;
    *param2 = e.param2;
    if (e.hold) {
        try {
            handed_out_.push_back(std::move(e));
        } catch (const std::bad_alloc&) {
            // The reference goes with e; the application's pointer stays
            // valid for as long as the filter lives in its graph.
        }
    }
    return S_OK;
}

void EventQueue::free_params(LONG code, LONG_PTR param1, LONG_PTR param2) {
    ComPtr<IUnknown> dropped;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = handed_out_.begin(); it != handed_out_.end(); ++it) {
        if (it->code == code && it->param1 == param1 && it->param2 == param2) {
            dropped = std::move(it->hold);
            handed_out_.erase(it);
            return;  // dropped is released after the lock
        }
    }
}

HRESULT EventQueue::wait_for_completion(LONG ms, LONG* code) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto done = [&] { return completion_.has_value(); };
    if (ms < 0) {
        posted_.wait(lock, done);
    } else if (!posted_.wait_for(lock, std::chrono::milliseconds(ms), done)) {
        *code = 0;
        return E_ABORT;
    }
    *code = *completion_;
    return S_OK;
}

void EventQueue::forget_completion() {
    std::lock_guard<std::mutex> lock(mutex_);
    completion_.reset();
}

void EventQueue::cancel_default_handling(LONG code) {
    std::lock_guard<std::mutex> lock(mutex_);
    try {
        cancelled_.insert(code);
    } catch (const std::bad_alloc&) {
    }
}

void EventQueue::restore_default_handling(LONG code) {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_.erase(code);
}

void EventQueue::set_notify_flags(LONG flags) {
    std::deque<Event> dropped;
    std::lock_guard<std::mutex> lock(mutex_);
    notify_flags_ = flags;
    if ((flags & kNoNotify) != 0) dropped.swap(queue_);
}

LONG EventQueue::notify_flags() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return notify_flags_;
}

void EventQueue::clear() {
    std::deque<Event> queued;
    std::vector<Event> read;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queued.swap(queue_);
        read.swap(handed_out_);
        completion_.reset();
    }
}

}  // namespace vorsim

// ---- IMediaEvent and IMediaEventEx on the graph ----------------------------

namespace vorsim {

HRESULT FilterGraph::GetEventHandle(OAEVENT* hEvent) {
    if (hEvent == nullptr) return E_POINTER;
    *hEvent = 0;
    return E_NOTIMPL;  // no event objects on this platform: poll GetEvent
}

HRESULT FilterGraph::GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2, LONG msTimeout) {
    if (lEventCode == nullptr || lParam1 == nullptr || lParam2 == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IMediaEvent::GetEvent"); FAILED(hr)) return hr;
    return com_guard([&] { return events_.get(lEventCode, lParam1, lParam2, msTimeout); });
}

HRESULT FilterGraph::WaitForCompletion(LONG msTimeout, LONG* pEvCode) {
    if (pEvCode == nullptr) return E_POINTER;
    *pEvCode = 0;
    if (HRESULT hr = fault_result("IMediaEvent::WaitForCompletion"); FAILED(hr)) return hr;
    {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        if (state_ != State_Running) return VFW_E_WRONG_STATE;
    }
    return com_guard([&] { return events_.wait_for_completion(msTimeout, pEvCode); });
}

HRESULT FilterGraph::CancelDefaultHandling(LONG lEvCode) {
    if (HRESULT hr = fault_result("IMediaEvent::CancelDefaultHandling"); FAILED(hr)) return hr;
    events_.cancel_default_handling(lEvCode);
    return S_OK;
}

HRESULT FilterGraph::RestoreDefaultHandling(LONG lEvCode) {
    if (HRESULT hr = fault_result("IMediaEvent::RestoreDefaultHandling"); FAILED(hr)) return hr;
    events_.restore_default_handling(lEvCode);
    return S_OK;
}

HRESULT FilterGraph::FreeEventParams(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) {
    if (HRESULT hr = fault_result("IMediaEvent::FreeEventParams"); FAILED(hr)) return hr;
    events_.free_params(lEvCode, lParam1, lParam2);
    return S_OK;
}

HRESULT FilterGraph::SetNotifyWindow(OAHWND, LONG, LONG_PTR) {
    if (HRESULT hr = fault_result("IMediaEventEx::SetNotifyWindow"); FAILED(hr)) return hr;
    return S_OK;  // there are no windows to post to; events still queue
}

HRESULT FilterGraph::SetNotifyFlags(LONG lNoNotifyFlags) {
    if (HRESULT hr = fault_result("IMediaEventEx::SetNotifyFlags"); FAILED(hr)) return hr;
    if ((lNoNotifyFlags & ~LONG{1}) != 0) return E_INVALIDARG;
    events_.set_notify_flags(lNoNotifyFlags);
    return S_OK;
}

HRESULT FilterGraph::GetNotifyFlags(LONG* lplNoNotifyFlags) {
    if (lplNoNotifyFlags == nullptr) return E_POINTER;
    *lplNoNotifyFlags = events_.notify_flags();
    return S_OK;
}

}  // namespace vorsim
