// The filter graph's event queue (IMediaEvent / IMediaEventEx), and how the
// platform's filters post to it.
//
// Filters post from any thread, streaming threads included:
//   graph_post_event(core.graph(), EC_COMPLETE, 0, 0);
//   graph_post_event(core.graph(), EC_DEVICE_LOST, LONG_PTR(filter_unknown), 0);
// The application reads events with GetEvent and calls FreeEventParams
// after each. Events queue up harmlessly when nobody reads them.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "com_object.h"

namespace vorsim {

// Posts an event to the graph the filter joined. S_OK; E_POINTER for a null
// graph; E_NOINTERFACE when the graph is not this platform's filter graph.
// For EC_DEVICE_LOST param1 is the lost filter's IUnknown: the queue keeps
// a reference on it until the application's FreeEventParams for that event
// (or until the graph goes away), so the pointer it reads stays valid.
HRESULT graph_post_event(IFilterGraph* graph, LONG code, LONG_PTR param1, LONG_PTR param2);

class EventQueue {
public:
    void post(LONG code, LONG_PTR param1, LONG_PTR param2);
    // E_ABORT when no event came within ms (negative: wait for ever).
    HRESULT get(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG ms);
    void free_params(LONG code, LONG_PTR param1, LONG_PTR param2);
    // Waits for EC_COMPLETE, EC_ERRORABORT or EC_USERABORT posted since
    // the last forget_completion(); E_ABORT on timeout.
    HRESULT wait_for_completion(LONG ms, LONG* code);
    void forget_completion();

    // Events the graph handles itself unless the application cancels that
    // (EC_REPAINT: there are no windows to repaint, so it is dropped).
    void cancel_default_handling(LONG code);
    void restore_default_handling(LONG code);
    // AM_MEDIAEVENT_NONOTIFY (1): nothing is queued, and the queue empties.
    void set_notify_flags(LONG flags);
    LONG notify_flags() const;

    // Drops every event and every reference held for one.
    void clear();

private:
    struct Event {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
        ComPtr<IUnknown> hold;  // EC_DEVICE_LOST: the lost filter
    };
    bool handled_by_default(LONG code) const;

    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Event> queue_;
    std::vector<Event> handed_out_;  // read but not yet freed
    std::set<LONG> cancelled_;
    std::optional<LONG> completion_;
    LONG notify_flags_ = 0;
};

}  // namespace vorsim
