// The filter base: one implementation of IBaseFilter that concrete filters
// (capture, Sample Grabber, Null Renderer, Smart Tee, ...) build on.
//
// FilterCore owns the state machine (Stopped / Paused / Running), the graph
// pointer and name given by JoinFilterGraph, the pins and their set version,
// the sync source, and the streaming lock. Concrete filters fill in hooks:
//   on_pause(from)      entering Paused from Stopped or Running
//   on_run(start)       entering Running (Paused first when stopped)
//   on_stop()           entering Stopped, after the output pools were
//                       decommitted: sources join their streaming threads
//   state_result(s)     what GetState answers once settled (VFW_S_CANT_CUE
//                       for a live source while paused)
// Stop then takes the streaming lock, so it returns only after a Receive in
// progress on this filter has returned; a later Receive sees Stopped and
// fails with VFW_E_WRONG_STATE.
//
// Filter<Extra...> is the COM object: IBaseFilter plus the concrete filter's
// own interfaces, one count for the filter and all its pins.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "com_object.h"

namespace vorsim {

class PinCore;

class FilterCore {
public:
    FilterCore(const CLSID& clsid, RefCount& lifetime);
    virtual ~FilterCore();
    FilterCore(const FilterCore&) = delete;
    FilterCore& operator=(const FilterCore&) = delete;

    // The filter's IBaseFilter (not AddRef'd) and the count it shares with
    // its pins.
    virtual IBaseFilter* base_filter() = 0;
    RefCount& lifetime() { return lifetime_; }

    FILTER_STATE state() const { return state_.load(std::memory_order_acquire); }
    // Non-owning: the graph owns the filter, not the reverse.
    IFilterGraph* graph() const;
    std::u16string name() const;
    const CLSID& clsid() const { return clsid_; }

    // Pins, in enumeration order. Adding or removing one bumps the pin-set
    // version, which puts every pin enumerator out of sync until Reset.
    PinCore* add_pin(std::unique_ptr<PinCore> pin);
    void remove_pin(PinCore* pin);
    size_t pin_count() const;
    PinCore* pin_at(size_t index) const;  // null past the end
    uint64_t pin_version() const;

    // Filters that must sit upstream of this one before it can capture (an
    // analog card's crossbar feeding the capture filter's analog input pin).
    // The capture graph builder adds them under these names and connects
    // them at the first category render, as the system's builder does.
    struct Supporting {
        ComPtr<IBaseFilter> filter;
        std::u16string name;
    };
    virtual std::vector<Supporting> supporting_filters() { return {}; }

    // Taken by Receive for the duration of a sample; Stop waits for it.
    std::mutex& streaming_lock() { return streaming_lock_; }
    // Serialises graph-building calls on the filter and its pins.
    std::recursive_mutex& filter_lock() { return filter_lock_; }

    // IBaseFilter, for Filter<> to forward to.
    HRESULT get_class_id(CLSID* pClassID);
    HRESULT stop();
    HRESULT pause();
    HRESULT run(REFERENCE_TIME tStart);
    HRESULT get_state(DWORD ms, FILTER_STATE* state);
    HRESULT set_sync_source(IReferenceClock* clock);
    HRESULT get_sync_source(IReferenceClock** clock);
    HRESULT enum_pins(IEnumPins** ppEnum);
    HRESULT find_pin(LPCWSTR id, IPin** ppPin);
    HRESULT query_filter_info(FILTER_INFO* info);
    HRESULT join_filter_graph(IFilterGraph* graph, LPCWSTR name);
    HRESULT query_vendor_info(LPWSTR* info);

protected:
    virtual HRESULT on_pause(FILTER_STATE from);
    virtual HRESULT on_run(REFERENCE_TIME start);
    virtual void on_stop();
    virtual HRESULT state_result(FILTER_STATE settled) const;
    // The reference clock given by SetSyncSource (not AddRef'd; may be null).
    IReferenceClock* sync_source() const;
    // Start time given to Run.
    REFERENCE_TIME run_start() const { return run_start_; }

private:
    HRESULT pause_locked();

    const CLSID clsid_;
    RefCount& lifetime_;
    std::atomic<FILTER_STATE> state_{State_Stopped};
    mutable std::recursive_mutex filter_lock_;
    std::mutex state_change_;  // one state transition at a time
    std::mutex streaming_lock_;
    IFilterGraph* graph_ = nullptr;  // non-owning, see graph()
    std::u16string name_;
    ComPtr<IReferenceClock> clock_;
    REFERENCE_TIME run_start_ = 0;
    std::vector<std::unique_ptr<PinCore>> pins_;
    std::atomic<uint64_t> pin_version_{0};
};

// The COM filter object: IBaseFilter (with IMediaFilter and IPersist) plus
// Extra interfaces the concrete filter implements.
template <class... Extra>
class Filter : public ComObject<IBaseFilter, Extra...>, public FilterCore {
public:
    explicit Filter(const CLSID& clsid) : FilterCore(clsid, static_cast<RefCount&>(*this)) {}

    IBaseFilter* base_filter() override { return this; }

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override { return get_class_id(pClassID); }
    HRESULT STDMETHODCALLTYPE Stop() override { return stop(); }
    HRESULT STDMETHODCALLTYPE Pause() override { return pause(); }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME tStart) override { return run(tStart); }
    HRESULT STDMETHODCALLTYPE GetState(DWORD ms, FILTER_STATE* s) override { return get_state(ms, s); }
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* c) override { return set_sync_source(c); }
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** c) override { return get_sync_source(c); }
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** e) override { return enum_pins(e); }
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** p) override { return find_pin(id, p); }
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* i) override { return query_filter_info(i); }
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* g, LPCWSTR n) override {
        return join_filter_graph(g, n);
    }
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* v) override { return query_vendor_info(v); }
};

}  // namespace vorsim
