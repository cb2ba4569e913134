// The filter graph's state: IMediaControl, IMediaFilter, the order filters
// change state in, and the deferred stop of StopWhenReady.
#include <chrono>
#include <functional>

#include "graph_manager.h"
#include "graph_pins.h"
#include "vorsim.h"

namespace vorsim {
namespace {

using namespace std::chrono_literals;

constexpr auto kPollInterval = 10ms;  // how often pending transitions are checked

bool any_intermediate(const std::vector<ComPtr<IBaseFilter>>& filters) {
    for (const ComPtr<IBaseFilter>& f : filters) {
        FILTER_STATE fs;
        if (f->GetState(0, &fs) == VFW_S_STATE_INTERMEDIATE) return true;
    }
    return false;
}

// What GetState answers once the graph itself settled: waits up to ms
// (negative: for ever) for filters still in transition.
HRESULT settled_result(const std::vector<ComPtr<IBaseFilter>>& filters, FILTER_STATE target, LONG ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    for (;;) {
        bool intermediate = false;
        bool cant_cue = false;
        for (const ComPtr<IBaseFilter>& f : filters) {
            FILTER_STATE fs;
            const HRESULT hr = f->GetState(0, &fs);
            if (FAILED(hr)) return hr;
            intermediate = intermediate || hr == VFW_S_STATE_INTERMEDIATE;
            cant_cue = cant_cue || hr == VFW_S_CANT_CUE;
        }
        if (!intermediate) return target == State_Paused && cant_cue ? VFW_S_CANT_CUE : S_OK;
        if (ms >= 0 && std::chrono::steady_clock::now() >= deadline) return VFW_S_STATE_INTERMEDIATE;
        std::this_thread::sleep_for(kPollInterval);
    }
}

}  // namespace

std::vector<ComPtr<IBaseFilter>> FilterGraph::downstream_first_locked() const {
    const size_t n = filters_.size();
    // feeds[i]: the filters that filter i's output pins are connected to.
    std::vector<std::vector<size_t>> feeds(n);
    for (size_t i = 0; i < n; ++i) {
        for (const ComPtr<IPin>& pin : pins_of(filters_[i].filter.get(), PINDIR_OUTPUT)) {
            ComPtr<IPin> peer = peer_of(pin.get());
            if (!peer) continue;
            IUnknown* downstream = unknown_of(filter_of(peer.get()).get());
            for (size_t j = 0; j < n; ++j) {
                if (filters_[j].identity == downstream) feeds[i].push_back(j);
            }
        }
    }
    // Depth-first, each filter after everything it feeds.
    std::vector<bool> seen(n, false);
    std::vector<ComPtr<IBaseFilter>> order;
    order.reserve(n);
    std::function<void(size_t)> visit = [&](size_t i) {
        if (seen[i]) return;
        seen[i] = true;
        for (size_t j : feeds[i]) visit(j);
        order.push_back(filters_[i].filter);
    };
    for (size_t i = 0; i < n; ++i) visit(i);
    return order;
}

void FilterGraph::stop_all_quietly_locked() {
    for (const ComPtr<IBaseFilter>& f : downstream_first_locked()) f->Stop();
    state_ = State_Stopped;
}

HRESULT FilterGraph::pause_locked() {
    const std::vector<ComPtr<IBaseFilter>> order = downstream_first_locked();
    for (const ComPtr<IBaseFilter>& f : order) {
        if (HRESULT hr = f->Pause(); FAILED(hr)) {
            stop_all_quietly_locked();  // a failed transition leaves the graph stopped
            return hr;
        }
    }
    state_ = State_Paused;
    return any_intermediate(order) ? S_FALSE : S_OK;
}

HRESULT FilterGraph::run_locked(REFERENCE_TIME start) {
    if (state_ == State_Stopped) {
        if (HRESULT hr = pause_locked(); FAILED(hr)) return hr;
    }
    const std::vector<ComPtr<IBaseFilter>> order = downstream_first_locked();
    for (const ComPtr<IBaseFilter>& f : order) {
        if (HRESULT hr = f->Run(start); FAILED(hr)) {
            stop_all_quietly_locked();
            return hr;
        }
    }
    state_ = State_Running;
    return any_intermediate(order) ? S_FALSE : S_OK;
}

HRESULT FilterGraph::stop_filters_locked() {
    const std::vector<ComPtr<IBaseFilter>> order = downstream_first_locked();
    HRESULT first = S_OK;
    if (state_ == State_Running) {
        for (const ComPtr<IBaseFilter>& f : order) {
            const HRESULT hr = f->Pause();
            if (FAILED(hr) && SUCCEEDED(first)) first = hr;
        }
    }
    for (const ComPtr<IBaseFilter>& f : order) {
        const HRESULT hr = f->Stop();
        if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    }
    state_ = State_Stopped;
    return first;
}

REFERENCE_TIME FilterGraph::stream_start_locked() {
    if (!clock_chosen_) choose_default_clock_locked();  // without one the graph runs unclocked
    REFERENCE_TIME now = 0;
    if (clock_) clock_->GetTime(&now);
    return now;
}

// ---- The deferred stop -----------------------------------------------------

bool FilterGraph::cancel_deferred_stop() {
    std::thread worker;
    bool was_pending = false;
    {
        std::lock_guard<std::mutex> lock(deferred_mutex_);
        was_pending = deferred_pending_;
        deferred_pending_ = false;
        ++deferred_generation_;
        worker = std::move(deferred_thread_);
    }
    deferred_changed_.notify_all();
    // The worker only ever try-locks lock_, so joining while holding it is
    // safe.
    if (worker.joinable()) worker.join();
    return was_pending;
}

void FilterGraph::deferred_stop(uint64_t generation) {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(deferred_mutex_);
            if (deferred_changed_.wait_for(lock, kPollInterval, [&] { return deferred_generation_ != generation; }))
                return;  // cancelled by a newer state command
        }
        std::unique_lock<std::recursive_mutex> graph(lock_, std::try_to_lock);
        if (!graph.owns_lock()) continue;
        {
            std::lock_guard<std::mutex> lock(deferred_mutex_);
            if (deferred_generation_ != generation) return;
        }
        try {
            if (any_intermediate(downstream_first_locked())) continue;
            stop_filters_locked();
        } catch (...) {
            stop_all_quietly_locked();
        }
        {
            std::lock_guard<std::mutex> lock(deferred_mutex_);
            deferred_pending_ = false;
        }
        deferred_changed_.notify_all();
        return;
    }
}

// ---- IMediaControl ---------------------------------------------------------

HRESULT FilterGraph::Run() {
    if (HRESULT hr = fault_result("IMediaControl::Run"); FAILED(hr)) return hr;
    return com_guard([&]() -> HRESULT {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        cancel_deferred_stop();
        if (state_ == State_Running) return S_OK;
        if (state_ == State_Stopped) events_.forget_completion();
        return run_locked(stream_start_locked());
    });
}

HRESULT FilterGraph::Pause() {
    if (HRESULT hr = fault_result("IMediaControl::Pause"); FAILED(hr)) return hr;
    return com_guard([&]() -> HRESULT {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        const bool was_pending = cancel_deferred_stop();
        if (state_ == State_Paused && !was_pending) return S_OK;
        if (!clock_chosen_) choose_default_clock_locked();
        return pause_locked();
    });
}

HRESULT FilterGraph::Stop() {
    if (HRESULT hr = fault_result("IMediaControl::Stop"); FAILED(hr)) return hr;
    return com_guard([&]() -> HRESULT {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        const bool was_pending = cancel_deferred_stop();
        if (state_ == State_Stopped && !was_pending) return S_OK;
        return stop_filters_locked();
    });
}

HRESULT FilterGraph::StopWhenReady() {
    if (HRESULT hr = fault_result("IMediaControl::StopWhenReady"); FAILED(hr)) return hr;
    return com_guard([&]() -> HRESULT {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        const bool was_pending = cancel_deferred_stop();
        if (state_ == State_Stopped && !was_pending) return S_OK;
        if (HRESULT hr = pause_locked(); FAILED(hr)) return hr;
        if (!any_intermediate(downstream_first_locked())) {
            const HRESULT hr = stop_filters_locked();
            return FAILED(hr) ? hr : S_OK;
        }
        // The pause is still completing: the graph is Stopped from now on,
        // and a worker stops the filters once they settled.
        state_ = State_Stopped;
        std::lock_guard<std::mutex> deferred(deferred_mutex_);
        deferred_pending_ = true;
        deferred_thread_ = std::thread(&FilterGraph::deferred_stop, this, deferred_generation_);
        return S_FALSE;
    });
}

HRESULT FilterGraph::GetState(LONG msTimeout, OAFilterState* pfs) {
    if (pfs == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IMediaControl::GetState"); FAILED(hr)) return hr;
    return com_guard([&]() -> HRESULT {
        FILTER_STATE target;
        std::vector<ComPtr<IBaseFilter>> filters;
        {
            std::lock_guard<std::recursive_mutex> lock(lock_);
            target = state_;
            for (const Entry& e : filters_) filters.push_back(e.filter);
        }
        *pfs = target;
        {
            std::unique_lock<std::mutex> lock(deferred_mutex_);
            const auto stopped = [&] { return !deferred_pending_; };
            if (msTimeout < 0) {
                deferred_changed_.wait(lock, stopped);
            } else if (!deferred_changed_.wait_for(lock, std::chrono::milliseconds(msTimeout), stopped)) {
                return VFW_S_STATE_INTERMEDIATE;  // the deferred stop has not finished
            }
        }
        return settled_result(filters, target, msTimeout);
    });
}

HRESULT FilterGraph::RenderFile(BSTR) { return E_NOTIMPL; }

HRESULT FilterGraph::AddSourceFilter(BSTR, IDispatch** ppUnk) {
    if (ppUnk == nullptr) return E_POINTER;
    *ppUnk = nullptr;
    return E_NOTIMPL;
}

HRESULT FilterGraph::get_FilterCollection(IDispatch** ppUnk) {
    if (ppUnk == nullptr) return E_POINTER;
    *ppUnk = nullptr;
    return E_NOTIMPL;
}

HRESULT FilterGraph::get_RegFilterCollection(IDispatch** ppUnk) {
    if (ppUnk == nullptr) return E_POINTER;
    *ppUnk = nullptr;
    return E_NOTIMPL;
}

// ---- IMediaFilter (the graph as a whole) -----------------------------------

HRESULT FilterGraph::MediaFilterFace::Stop() {
    if (HRESULT hr = fault_result("IMediaFilter::Stop"); FAILED(hr)) return hr;
    return com_guard([&]() -> HRESULT {
        std::lock_guard<std::recursive_mutex> lock(graph_.lock_);
        const bool was_pending = graph_.cancel_deferred_stop();
        if (graph_.state_ == State_Stopped && !was_pending) return S_OK;
        return graph_.stop_filters_locked();
    });
}

HRESULT FilterGraph::MediaFilterFace::Pause() {
    if (HRESULT hr = fault_result("IMediaFilter::Pause"); FAILED(hr)) return hr;
    return com_guard([&]() -> HRESULT {
        std::lock_guard<std::recursive_mutex> lock(graph_.lock_);
        const bool was_pending = graph_.cancel_deferred_stop();
        if (graph_.state_ == State_Paused && !was_pending) return S_OK;
        return graph_.pause_locked();
    });
}

HRESULT FilterGraph::MediaFilterFace::Run(REFERENCE_TIME tStart) {
    if (HRESULT hr = fault_result("IMediaFilter::Run"); FAILED(hr)) return hr;
    return com_guard([&]() -> HRESULT {
        std::lock_guard<std::recursive_mutex> lock(graph_.lock_);
        graph_.cancel_deferred_stop();
        if (graph_.state_ == State_Running) return S_OK;
        return graph_.run_locked(tStart);
    });
}

HRESULT FilterGraph::MediaFilterFace::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) {
    if (State == nullptr) return E_POINTER;
    OAFilterState fs = State_Stopped;
    const HRESULT hr = graph_.GetState(static_cast<LONG>(dwMilliSecsTimeout), &fs);
    *State = static_cast<FILTER_STATE>(fs);
    return hr;
}

}  // namespace vorsim
