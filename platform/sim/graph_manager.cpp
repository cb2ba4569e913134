// The filter graph manager: filters, names, enumeration, connections,
// clocks, and the class registration.
#include "graph_manager.h"

#include <algorithm>
#include <cstdio>

#include "class_registry.h"
#include "faults.h"
#include "graph_pins.h"
#include "intelligent_connect.h"
#include "vorsim.h"
#include "wide.h"

namespace vorsim {

// IEnumFilters over the graph's filters, newest first. Holds the graph;
// stale (VFW_E_ENUM_OUT_OF_SYNC) once a filter was added or removed, until
// Reset.
class FilterEnumerator final : public ComObject<IEnumFilters> {
public:
    FilterEnumerator(ComPtr<FilterGraph> graph, size_t position, uint64_t version)
        : graph_(std::move(graph)), position_(position), version_(version) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IBaseFilter** filters, ULONG* fetched) override {
        if (filters == nullptr) return E_POINTER;
        if (count > 1 && fetched == nullptr) return E_INVALIDARG;
        if (fetched != nullptr) *fetched = 0;
        std::lock_guard<std::recursive_mutex> lock(graph_->lock_);
        if (graph_->version_ != version_) return VFW_E_ENUM_OUT_OF_SYNC;
        ULONG got = 0;
        while (got < count && position_ < graph_->filters_.size()) {
            IBaseFilter* f = graph_->filters_[position_++].filter.get();
            f->AddRef();
            filters[got++] = f;
        }
        if (fetched != nullptr) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        std::lock_guard<std::recursive_mutex> lock(graph_->lock_);
        if (graph_->version_ != version_) return VFW_E_ENUM_OUT_OF_SYNC;
        const size_t total = graph_->filters_.size();
        if (count > total - std::min(position_, total)) {
            position_ = total;
            return S_FALSE;
        }
        position_ += count;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Reset() override {
        std::lock_guard<std::recursive_mutex> lock(graph_->lock_);
        position_ = 0;
        version_ = graph_->version_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(IEnumFilters** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        std::lock_guard<std::recursive_mutex> lock(graph_->lock_);
        if (graph_->version_ != version_) return VFW_E_ENUM_OUT_OF_SYNC;
        return com_guard([&] {
            *out = make_com<FilterEnumerator>(graph_, position_, version_).detach();
            return S_OK;
        });
    }

private:
    ComPtr<FilterGraph> graph_;
    size_t position_;
    uint64_t version_;
};

FilterGraph::FilterGraph() = default;

FilterGraph::~FilterGraph() {
    // The last teardown stops and disconnects every filter, armed faults or
    // not: a filter left running keeps its connections, and connected pins
    // hold their peers, so the filters would keep each other alive. Every
    // filter is told to stop, whatever the graph's own state: one whose Stop
    // failed earlier still runs while the graph counts itself stopped.
    FaultsHeldBack held;
    cancel_deferred_stop();
    std::lock_guard<std::recursive_mutex> lock(lock_);
    com_guard([&] { return stop_filters_locked(); });
    // Oldest last, as they would be removed one by one.
    while (!filters_.empty()) {
        if (FAILED(com_guard([&] { return remove_locked(filters_.front().identity); }))) {
            // A filter that refuses to disconnect still leaves the graph.
            Entry e = std::move(filters_.front());
            filters_.erase(filters_.begin());
            e.filter->JoinFilterGraph(nullptr, nullptr);
        }
    }
    clock_.reset();
    events_.clear();
}

HRESULT FilterGraph::query_extra(REFIID iid, void** ppv) {
    if (iid == IID_IMediaFilter || iid == IID_IPersist) {
        *ppv = static_cast<IMediaFilter*>(&media_filter_);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

// ---- Bookkeeping -----------------------------------------------------------

FilterGraph::Entry* FilterGraph::find_locked(IUnknown* filter) {
    IUnknown* id = unknown_of(filter);
    for (Entry& e : filters_) {
        if (e.identity == id) return &e;
    }
    return nullptr;
}

bool FilterGraph::name_taken_locked(const std::u16string& name) const {
    return std::any_of(filters_.begin(), filters_.end(), [&](const Entry& e) { return e.name == name; });
}

HRESULT FilterGraph::unique_name_locked(LPCWSTR requested, std::u16string* name) const {
    constexpr size_t kMax = MAX_FILTER_NAME - 1;
    const std::u16string_view wanted = wide_view(requested);
    const bool generated = wanted.empty();
    if (!generated) {
        *name = std::u16string(wanted.substr(0, kMax));
        if (!name_taken_locked(*name)) return S_OK;
    }
    // "Name 0001", "Name 0002", ...; or "0001", ... for a filter without one.
    const std::u16string base = generated ? std::u16string() : std::u16string(wanted.substr(0, kMax - 5)) + u" ";
    for (int i = 1; i <= 9999; ++i) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04d", i);
        std::u16string candidate = base + from_utf8(digits);
        if (!name_taken_locked(candidate)) {
            *name = std::move(candidate);
            return generated ? S_OK : VFW_S_DUPLICATE_NAME;
        }
    }
    return VFW_E_DUPLICATE_NAME;
}

HRESULT FilterGraph::AddFilter(IBaseFilter* pFilter, LPCWSTR pName) {
    if (pFilter == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IFilterGraph::AddFilter", pName); FAILED(hr)) return hr;
    return com_guard([&]() -> HRESULT {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        if (find_locked(pFilter) != nullptr) return E_INVALIDARG;  // already in this graph
        std::u16string name;
        const HRESULT named = unique_name_locked(pName, &name);
        if (FAILED(named)) return named;
        filters_.reserve(filters_.size() + 1);
        if (HRESULT hr = pFilter->JoinFilterGraph(filter_graph(), name.c_str()); FAILED(hr)) return hr;
        filters_.insert(filters_.begin(), Entry{ComPtr<IBaseFilter>(pFilter), unknown_of(pFilter), std::move(name)});
        ++version_;
        if (clock_chosen_) pFilter->SetSyncSource(clock_.get());
        return named;
    });
}

HRESULT FilterGraph::remove_locked(IUnknown* filter) {
    // A removal is whole or refused: the graph's own walk over the filter's
    // pins is not a program's call, so armed faults do not cut it short (a
    // filter that left the graph still connected would keep its peers, and
    // they it, alive).
    FaultsHeldBack held;
    auto it = std::find_if(filters_.begin(), filters_.end(),
                           [&](const Entry& e) { return e.identity == unknown_of(filter); });
    if (it == filters_.end()) return E_FAIL;
    IBaseFilter* f = it->filter.get();
    const std::vector<ComPtr<IPin>> pins = pins_of(f);
    // A filter that is not stopped keeps its connections: refuse before
    // touching any of them.
    FILTER_STATE fs = State_Stopped;
    f->GetState(0, &fs);
    if (fs != State_Stopped &&
        std::any_of(pins.begin(), pins.end(), [](const ComPtr<IPin>& p) { return is_connected(p.get()); }))
        return VFW_E_NOT_STOPPED;
    for (const ComPtr<IPin>& pin : pins) {
        ComPtr<IPin> peer = peer_of(pin.get());
        if (!peer) continue;
        if (HRESULT hr = pin->Disconnect(); FAILED(hr)) return hr;
        peer->Disconnect();
    }
    Entry e = std::move(*it);
    filters_.erase(it);
    ++version_;
    // The graph's clock leaves with the filter that provided it; the next
    // Run picks a default one again.
    if (clock_ && same_object(clock_.get(), e.filter.get())) {
        set_clock_locked(nullptr);
        clock_chosen_ = false;
    }
    e.filter->JoinFilterGraph(nullptr, nullptr);
    e.filter->SetSyncSource(nullptr);
    return S_OK;  // e's reference goes here
}

HRESULT FilterGraph::RemoveFilter(IBaseFilter* pFilter) {
    if (pFilter == nullptr) return E_POINTER;
    return com_guard([&]() -> HRESULT {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        const Entry* e = find_locked(pFilter);
        if (HRESULT hr = fault_result("IFilterGraph::RemoveFilter", e != nullptr ? e->name.c_str() : nullptr);
            FAILED(hr))
            return hr;
        return remove_locked(pFilter);
    });
}

HRESULT FilterGraph::EnumFilters(IEnumFilters** ppEnum) {
    if (ppEnum == nullptr) return E_POINTER;
    *ppEnum = nullptr;
    if (HRESULT hr = fault_result("IFilterGraph::EnumFilters"); FAILED(hr)) return hr;
    return com_guard([&] {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        *ppEnum = make_com<FilterEnumerator>(ComPtr<FilterGraph>(this), 0, version_).detach();
        return S_OK;
    });
}

HRESULT FilterGraph::FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) {
    if (ppFilter == nullptr) return E_POINTER;
    *ppFilter = nullptr;
    if (pName == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IFilterGraph::FindFilterByName", pName); FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    for (const Entry& e : filters_) {
        if (e.name == wide_view(pName)) {
            *ppFilter = e.filter.get();
            (*ppFilter)->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

// ---- Connections -----------------------------------------------------------

HRESULT FilterGraph::ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) {
    if (ppinOut == nullptr || ppinIn == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IFilterGraph::ConnectDirect"); FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (direction_of(ppinOut) != PINDIR_OUTPUT || direction_of(ppinIn) != PINDIR_INPUT)
        return VFW_E_INVALID_DIRECTION;
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    return ppinOut->Connect(ppinIn, pmt);
}

HRESULT FilterGraph::Reconnect(IPin* ppin) {
    if (ppin == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IFilterGraph::Reconnect"); FAILED(hr)) return hr;
    return com_guard([&]() -> HRESULT {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        ComPtr<IPin> peer = peer_of(ppin);
        if (!peer) return VFW_E_NOT_CONNECTED;
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        ComPtr<IPin> out(ppin), in = peer;
        if (direction_of(ppin) == PINDIR_INPUT) std::swap(out, in);
        AM_MEDIA_TYPE mt;
        if (HRESULT hr = out->ConnectionMediaType(&mt); FAILED(hr)) return hr;
        MediaType type;
        try {
            type = MediaType(mt);
        } catch (...) {
            FreeMediaType(mt);
            throw;
        }
        FreeMediaType(mt);
        out->Disconnect();
        in->Disconnect();
        return out->Connect(in.get(), &type.get());
    });
}

HRESULT FilterGraph::Disconnect(IPin* ppin) {
    if (ppin == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IFilterGraph::Disconnect"); FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return ppin->Disconnect();  // this end only, as on the system
}

HRESULT FilterGraph::Connect(IPin* ppinOut, IPin* ppinIn) {
    if (ppinOut == nullptr || ppinIn == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IGraphBuilder::Connect"); FAILED(hr)) return hr;
    return com_guard([&]() -> HRESULT {
        std::lock_guard<std::recursive_mutex> lock(lock_);
        if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
        return intelligent_connect(this, ppinOut, ppinIn);
    });
}

HRESULT FilterGraph::Render(IPin* ppinOut) {
    if (ppinOut == nullptr) return E_POINTER;
    return E_NOTIMPL;  // no default renderers on this platform
}

HRESULT FilterGraph::RenderFile(LPCWSTR, LPCWSTR) { return E_NOTIMPL; }

HRESULT FilterGraph::AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter** ppFilter) {
    if (ppFilter == nullptr) return E_POINTER;
    *ppFilter = nullptr;
    return E_NOTIMPL;
}

HRESULT FilterGraph::SetLogFile(DWORD_PTR) { return S_OK; }
HRESULT FilterGraph::Abort() { return S_OK; }
HRESULT FilterGraph::ShouldOperationContinue() { return S_OK; }

// ---- Clocks ----------------------------------------------------------------

void FilterGraph::set_clock_locked(IReferenceClock* clock) {
    clock_ = ComPtr<IReferenceClock>(clock);
    clock_chosen_ = true;
    for (const Entry& e : filters_) e.filter->SetSyncSource(clock);
}

HRESULT FilterGraph::choose_default_clock_locked() {
    // The first filter (newest first) that offers a clock, else the system
    // clock.
    ComPtr<IReferenceClock> clock;
    for (const Entry& e : filters_) {
        if (SUCCEEDED(e.filter->QueryInterface(IID_IReferenceClock, clock.put_void()))) break;
    }
    if (!clock) {
        if (HRESULT hr = CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                                          clock.put_void());
            FAILED(hr))
            return hr;
    }
    set_clock_locked(clock.get());
    return S_OK;
}

HRESULT FilterGraph::SetDefaultSyncSource() {
    if (HRESULT hr = fault_result("IFilterGraph::SetDefaultSyncSource"); FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return choose_default_clock_locked();
}

HRESULT FilterGraph::MediaFilterFace::GetClassID(CLSID* pClassID) {
    if (pClassID == nullptr) return E_POINTER;
    *pClassID = CLSID_FilterGraph;
    return S_OK;
}

HRESULT FilterGraph::MediaFilterFace::SetSyncSource(IReferenceClock* pClock) {
    if (HRESULT hr = fault_result("IMediaFilter::SetSyncSource"); FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> lock(graph_.lock_);
    graph_.set_clock_locked(pClock);  // null: run without a clock
    return S_OK;
}

HRESULT FilterGraph::MediaFilterFace::GetSyncSource(IReferenceClock** pClock) {
    if (pClock == nullptr) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(graph_.lock_);
    *pClock = graph_.clock_.get();
    if (*pClock != nullptr) (*pClock)->AddRef();
    return S_OK;
}

// ---- IDispatch -------------------------------------------------------------

HRESULT FilterGraph::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT FilterGraph::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT FilterGraph::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT FilterGraph::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

// ---- Events posted by filters ----------------------------------------------

HRESULT graph_post_event(IFilterGraph* graph, LONG code, LONG_PTR param1, LONG_PTR param2) {
    if (graph == nullptr) return E_POINTER;
    auto* ours = dynamic_cast<FilterGraph*>(graph);
    if (ours == nullptr) return E_NOINTERFACE;
    ours->events().post(code, param1, param2);
    return S_OK;
}

namespace {
const ClassRegistration registration(CLSID_FilterGraph, "FilterGraph", &create_instance<FilterGraph>);
}  // namespace

}  // namespace vorsim
