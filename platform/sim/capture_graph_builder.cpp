// The capture graph builder: the graph it works on, FindPin, FindInterface,
// SetOutputFileName, and the class registration. RenderStream is in
// capture_graph_builder_render.cpp.
#include "capture_graph_builder.h"

#include <set>

#include "class_registry.h"
#include "graph_pins.h"
#include "vorsim.h"

namespace vorsim {
namespace {

bool query(IUnknown* object, REFIID iid, void** out) {
    return object != nullptr && SUCCEEDED(object->QueryInterface(iid, out)) && *out != nullptr;
}

// Searches through pins of one direction: each pin, the pin it is
// connected to, that pin's filter, then on from that filter, depth first.
// The start filter itself is not asked.
bool search_along(IBaseFilter* filter, PIN_DIRECTION direction, REFIID iid, void** out,
                  std::set<IUnknown*>& visited) {
    if (!visited.insert(unknown_of(filter)).second) return false;
    for (const ComPtr<IPin>& pin : pins_of(filter, direction)) {
        if (query(pin.get(), iid, out)) return true;
        ComPtr<IPin> peer = peer_of(pin.get());
        if (!peer) continue;
        if (query(peer.get(), iid, out)) return true;
        ComPtr<IBaseFilter> next = filter_of(peer.get());
        if (query(next.get(), iid, out)) return true;
        if (next && search_along(next.get(), direction, iid, out, visited)) return true;
    }
    return false;
}

bool search_upstream(IBaseFilter* filter, REFIID iid, void** out) {
    std::set<IUnknown*> visited;
    return search_along(filter, PINDIR_INPUT, iid, out, visited);
}

bool search_downstream(IBaseFilter* filter, REFIID iid, void** out) {
    std::set<IUnknown*> visited;
    return search_along(filter, PINDIR_OUTPUT, iid, out, visited);
}

}  // namespace

bool pin_matches(IPin* pin, const GUID* category, const GUID* type) {
    if (category != nullptr) {
        const std::optional<GUID> c = category_of(pin);
        if (!c || *c != *category) return false;
    }
    return type == nullptr || offers_major_type(pin, *type);
}

HRESULT CaptureGraphBuilder::graph(ComPtr<IGraphBuilder>* out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!graph_) {
        ComPtr<IGraphBuilder> made;
        if (HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                          made.put_void());
            FAILED(hr))
            return hr;
        graph_ = made;
    }
    *out = graph_;
    return S_OK;
}

HRESULT CaptureGraphBuilder::SetFiltergraph(IGraphBuilder* pfg) {
    if (pfg == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("ICaptureGraphBuilder2::SetFiltergraph"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (graph_) return E_UNEXPECTED;
    graph_ = ComPtr<IGraphBuilder>(pfg);
    // Capture graphs have no video window to repaint: let the application
    // see EC_REPAINT instead of the graph handling it.
    ComPtr<IMediaEvent> events;
    if (SUCCEEDED(pfg->QueryInterface(IID_IMediaEvent, events.put_void()))) events->CancelDefaultHandling(EC_REPAINT);
    return S_OK;
}

HRESULT CaptureGraphBuilder::GetFiltergraph(IGraphBuilder** ppfg) {
    if (ppfg == nullptr) return E_POINTER;
    *ppfg = nullptr;
    if (HRESULT hr = fault_result("ICaptureGraphBuilder2::GetFiltergraph"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!graph_) return E_UNEXPECTED;
    *ppfg = graph_.get();
    (*ppfg)->AddRef();
    return S_OK;
}

HRESULT CaptureGraphBuilder::FindPin(IUnknown* pSource, PIN_DIRECTION pindir, const GUID* pCategory,
                                     const GUID* pType, BOOL fUnconnected, int num, IPin** ppPin) {
    if (ppPin == nullptr) return E_POINTER;
    *ppPin = nullptr;
    if (pSource == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("ICaptureGraphBuilder2::FindPin"); FAILED(hr)) return hr;
    return com_guard([&]() -> HRESULT {
        const auto fits = [&](IPin* pin) {
            return direction_of(pin) == pindir && (!fUnconnected || !is_connected(pin)) &&
                   pin_matches(pin, pCategory, pType);
        };
        ComPtr<IPin> pin;
        if (SUCCEEDED(pSource->QueryInterface(IID_IPin, pin.put_void()))) {
            if (num != 0 || !fits(pin.get())) return E_FAIL;
            *ppPin = pin.detach();
            return S_OK;
        }
        ComPtr<IBaseFilter> filter;
        if (FAILED(pSource->QueryInterface(IID_IBaseFilter, filter.put_void()))) return E_FAIL;
        int index = 0;
        for (ComPtr<IPin>& candidate : pins_of(filter.get())) {
            if (!fits(candidate.get())) continue;
            if (index++ == num) {
                *ppPin = candidate.detach();
                return S_OK;
            }
        }
        return E_FAIL;
    });
}

HRESULT CaptureGraphBuilder::FindInterface(const GUID* pCategory, const GUID* pType, IBaseFilter* pf, REFIID riid,
                                           void** ppint) {
    if (ppint == nullptr) return E_POINTER;
    *ppint = nullptr;
    if (pf == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("ICaptureGraphBuilder2::FindInterface"); FAILED(hr)) return hr;
    return com_guard([&]() -> HRESULT {
        if (pCategory != nullptr && *pCategory == LOOK_UPSTREAM_ONLY)
            return search_upstream(pf, riid, ppint) ? S_OK : E_FAIL;
        if (pCategory != nullptr && *pCategory == LOOK_DOWNSTREAM_ONLY)
            return search_downstream(pf, riid, ppint) ? S_OK : E_FAIL;
        if (query(pf, riid, ppint)) return S_OK;
        if (pCategory == nullptr) {
            return search_downstream(pf, riid, ppint) || search_upstream(pf, riid, ppint) ? S_OK : E_FAIL;
        }
        // A pin category: that kind of output pin and what is downstream of it.
        bool any = false;
        for (const ComPtr<IPin>& pin : pins_of(pf, PINDIR_OUTPUT)) {
            if (!pin_matches(pin.get(), pCategory, pType)) continue;
            any = true;
            if (query(pin.get(), riid, ppint)) return S_OK;
            ComPtr<IPin> peer = peer_of(pin.get());
            if (!peer) continue;
            if (query(peer.get(), riid, ppint)) return S_OK;
            ComPtr<IBaseFilter> next = filter_of(peer.get());
            if (query(next.get(), riid, ppint)) return S_OK;
            if (next && search_downstream(next.get(), riid, ppint)) return S_OK;
        }
        return any ? E_FAIL : E_NOINTERFACE;
    });
}

HRESULT CaptureGraphBuilder::SetOutputFileName(const GUID* pType, LPCOLESTR lpstrFile, IBaseFilter** ppf,
                                               IFileSinkFilter** ppSink) {
    if (ppf == nullptr) return E_POINTER;
    *ppf = nullptr;
    if (ppSink != nullptr) *ppSink = nullptr;
    if (pType == nullptr || lpstrFile == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("ICaptureGraphBuilder2::SetOutputFileName"); FAILED(hr)) return hr;
    return com_guard([&]() -> HRESULT {
        ComPtr<IGraphBuilder> g;
        if (HRESULT hr = graph(&g); FAILED(hr)) return hr;
        // MEDIASUBTYPE_Avi means the AVI Mux; otherwise the type names the
        // multiplexer's class.
        const bool avi = *pType == MEDIASUBTYPE_Avi;
        const CLSID mux_class = avi ? CLSID_AviDest : *pType;
        ComPtr<IBaseFilter> mux;
        if (HRESULT hr = CoCreateInstance(mux_class, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, mux.put_void());
            FAILED(hr))
            return hr;
        if (HRESULT hr = g->AddFilter(mux.get(), avi ? u"AVI Mux" : u"Mux"); FAILED(hr)) return hr;
        ComPtr<IBaseFilter> writer;
        ComPtr<IFileSinkFilter> sink;
        const auto undo = [&](HRESULT hr) {
            if (writer) g->RemoveFilter(writer.get());
            g->RemoveFilter(mux.get());
            return hr;
        };
        if (FAILED(mux->QueryInterface(IID_IFileSinkFilter, sink.put_void()))) {
            // A multiplexer that writes no file of its own feeds the File Writer.
            if (HRESULT hr = CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                              writer.put_void());
                FAILED(hr))
                return undo(hr);
            if (HRESULT hr = g->AddFilter(writer.get(), u"File Writer"); FAILED(hr)) {
                writer.reset();
                return undo(hr);
            }
            ComPtr<IPin> out;
            if (FAILED(mux->FindPin(u"AVI Out", out.put()))) {
                const auto outs = pins_of(mux.get(), PINDIR_OUTPUT);
                if (!outs.empty()) out = outs.front();
            }
            const auto ins = pins_of(writer.get(), PINDIR_INPUT);
            if (!out || ins.empty()) return undo(E_FAIL);
            if (HRESULT hr = g->ConnectDirect(out.get(), ins.front().get(), nullptr); FAILED(hr)) return undo(hr);
            if (HRESULT hr = writer->QueryInterface(IID_IFileSinkFilter, sink.put_void()); FAILED(hr))
                return undo(hr);
        }
        if (HRESULT hr = sink->SetFileName(lpstrFile, nullptr); FAILED(hr)) return undo(hr);
        *ppf = mux.detach();
        if (ppSink != nullptr) *ppSink = sink.detach();
        return S_OK;
    });
}

HRESULT CaptureGraphBuilder::ControlStream(const GUID*, const GUID*, IBaseFilter*, REFERENCE_TIME*, REFERENCE_TIME*,
                                           WORD, WORD) {
    return E_NOTIMPL;
}

HRESULT CaptureGraphBuilder::AllocCapFile(LPCOLESTR, DWORDLONG) { return E_NOTIMPL; }

HRESULT CaptureGraphBuilder::CopyCaptureFile(LPOLESTR, LPOLESTR, int, IAMCopyCaptureFileProgress*) {
    return E_NOTIMPL;
}

namespace {
const ClassRegistration registration(CLSID_CaptureGraphBuilder2, "CaptureGraphBuilder2",
                                     &create_instance<CaptureGraphBuilder>);
}  // namespace

}  // namespace vorsim
