// The filter base: state machine, graph membership, pins and the pin
// enumerator.
#include "filter_base.h"

#include <algorithm>
#include <new>

#include "pin_base.h"
#include "vorsim.h"
#include "wide.h"

namespace vorsim {
namespace {

// IEnumPins over a filter's pins. Holds a reference on the filter; stale
// (VFW_E_ENUM_OUT_OF_SYNC) once the pin set changed, until Reset.
class PinEnumerator final : public ComObject<IEnumPins> {
public:
    PinEnumerator(FilterCore& filter, size_t position, uint64_t version)
        : filter_(filter), hold_(filter.base_filter()), position_(position), version_(version) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override {
        if (pins == nullptr) return E_POINTER;
        if (count > 1 && fetched == nullptr) return E_INVALIDARG;
        if (fetched != nullptr) *fetched = 0;
        std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
        if (filter_.pin_version() != version_) return VFW_E_ENUM_OUT_OF_SYNC;
        ULONG got = 0;
        while (got < count && position_ < filter_.pin_count()) {
            IPin* pin = filter_.pin_at(position_++)->ipin();
            pin->AddRef();
            pins[got++] = pin;
        }
        if (fetched != nullptr) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
        if (filter_.pin_version() != version_) return VFW_E_ENUM_OUT_OF_SYNC;
        const size_t total = filter_.pin_count();
        if (count > total - std::min(position_, total)) {
            position_ = total;
            return S_FALSE;
        }
        position_ += count;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Reset() override {
        std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
        position_ = 0;
        version_ = filter_.pin_version();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
        if (filter_.pin_version() != version_) return VFW_E_ENUM_OUT_OF_SYNC;
        try {
            *out = make_com<PinEnumerator>(filter_, position_, version_).detach();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

private:
    FilterCore& filter_;
    ComPtr<IBaseFilter> hold_;  // keeps filter_ alive
    size_t position_;
    uint64_t version_;
};

}  // namespace

FilterCore::FilterCore(const CLSID& clsid, RefCount& lifetime) : clsid_(clsid), lifetime_(lifetime) {}

FilterCore::~FilterCore() = default;

IFilterGraph* FilterCore::graph() const {
    std::lock_guard<std::recursive_mutex> lock(filter_lock_);
    return graph_;
}

std::u16string FilterCore::name() const {
    std::lock_guard<std::recursive_mutex> lock(filter_lock_);
    return name_;
}

PinCore* FilterCore::add_pin(std::unique_ptr<PinCore> pin) {
    std::lock_guard<std::recursive_mutex> lock(filter_lock_);
    pins_.push_back(std::move(pin));
    ++pin_version_;
    return pins_.back().get();
}

void FilterCore::remove_pin(PinCore* pin) {
    std::lock_guard<std::recursive_mutex> lock(filter_lock_);
    auto it = std::find_if(pins_.begin(), pins_.end(), [&](const auto& p) { return p.get() == pin; });
    if (it == pins_.end()) return;
    pins_.erase(it);
    ++pin_version_;
}

size_t FilterCore::pin_count() const {
    std::lock_guard<std::recursive_mutex> lock(filter_lock_);
    return pins_.size();
}

PinCore* FilterCore::pin_at(size_t index) const {
    std::lock_guard<std::recursive_mutex> lock(filter_lock_);
    return index < pins_.size() ? pins_[index].get() : nullptr;
}

uint64_t FilterCore::pin_version() const { return pin_version_.load(); }

HRESULT FilterCore::get_class_id(CLSID* pClassID) {
    if (pClassID == nullptr) return E_POINTER;
    *pClassID = clsid_;
    return S_OK;
}

HRESULT FilterCore::on_pause(FILTER_STATE) { return S_OK; }
HRESULT FilterCore::on_run(REFERENCE_TIME) { return S_OK; }
void FilterCore::on_stop() {}
HRESULT FilterCore::state_result(FILTER_STATE) const { return S_OK; }

IReferenceClock* FilterCore::sync_source() const {
    std::lock_guard<std::recursive_mutex> lock(filter_lock_);
    return clock_.get();
}

HRESULT FilterCore::stop() {
    if (HRESULT hr = fault_result("IMediaFilter::Stop"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> transition(state_change_);
    if (state() == State_Stopped) return S_OK;
    state_.store(State_Stopped, std::memory_order_release);
    // Release a streaming thread waiting for a sample, then let the source
    // join it, then wait for a Receive still running on this filter.
    for (size_t i = 0; PinCore* pin = pin_at(i); ++i) pin->decommit_pool();
    on_stop();
    { std::lock_guard<std::mutex> wait_for_receive(streaming_lock_); }
    return S_OK;
}

HRESULT FilterCore::pause_locked() {
    const FILTER_STATE from = state();
    if (from == State_Paused) return S_OK;
    if (from == State_Stopped) {
        for (size_t i = 0; PinCore* pin = pin_at(i); ++i) pin->commit_pool();
    }
    const HRESULT hr = on_pause(from);
    if (FAILED(hr)) {
        if (from == State_Stopped) {
            for (size_t i = 0; PinCore* pin = pin_at(i); ++i) pin->decommit_pool();
        }
        return hr;
    }
    state_.store(State_Paused, std::memory_order_release);
    return S_OK;
}

HRESULT FilterCore::pause() {
    if (HRESULT hr = fault_result("IMediaFilter::Pause"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> transition(state_change_);
    return pause_locked();
}

HRESULT FilterCore::run(REFERENCE_TIME tStart) {
    if (HRESULT hr = fault_result("IMediaFilter::Run"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> transition(state_change_);
    if (state() == State_Running) return S_OK;
    if (HRESULT hr = pause_locked(); FAILED(hr)) return hr;
    run_start_ = tStart;
    if (HRESULT hr = on_run(tStart); FAILED(hr)) return hr;
    state_.store(State_Running, std::memory_order_release);
    return S_OK;
}

HRESULT FilterCore::get_state(DWORD, FILTER_STATE* s) {
    if (s == nullptr) return E_POINTER;
    const FILTER_STATE now = state();
    *s = now;
    return state_result(now);
}

HRESULT FilterCore::set_sync_source(IReferenceClock* clock) {
    std::lock_guard<std::recursive_mutex> lock(filter_lock_);
    clock_ = ComPtr<IReferenceClock>(clock);
    return S_OK;
}

HRESULT FilterCore::get_sync_source(IReferenceClock** clock) {
    if (clock == nullptr) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(filter_lock_);
    *clock = clock_.get();
    if (*clock != nullptr) (*clock)->AddRef();
    return S_OK;
}

HRESULT FilterCore::enum_pins(IEnumPins** ppEnum) {
    if (ppEnum == nullptr) return E_POINTER;
    *ppEnum = nullptr;
    if (HRESULT hr = fault_result("IBaseFilter::EnumPins"); FAILED(hr)) return hr;
    try {
        *ppEnum = make_com<PinEnumerator>(*this, 0, pin_version()).detach();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT FilterCore::find_pin(LPCWSTR id, IPin** ppPin) {
    if (id == nullptr || ppPin == nullptr) return E_POINTER;
    *ppPin = nullptr;
    if (HRESULT hr = fault_result("IBaseFilter::FindPin", id); FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> lock(filter_lock_);
    for (const auto& pin : pins_) {
        if (pin->id() == wide_view(id)) {
            *ppPin = pin->ipin();
            (*ppPin)->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT FilterCore::query_filter_info(FILTER_INFO* info) {
    if (info == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IBaseFilter::QueryFilterInfo"); FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> lock(filter_lock_);
    copy_wide(name_, info->achName, MAX_FILTER_NAME);
    info->pGraph = graph_;
    if (graph_ != nullptr) graph_->AddRef();
    return S_OK;
}

HRESULT FilterCore::join_filter_graph(IFilterGraph* graph, LPCWSTR name) {
    if (HRESULT hr = fault_result("IBaseFilter::JoinFilterGraph", name); FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> lock(filter_lock_);
    try {
        name_ = graph != nullptr ? std::u16string(wide_view(name)) : std::u16string();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    graph_ = graph;
    return S_OK;
}

HRESULT FilterCore::query_vendor_info(LPWSTR* info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    return E_NOTIMPL;
}

}  // namespace vorsim
