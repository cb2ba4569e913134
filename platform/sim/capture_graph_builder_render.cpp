// ICaptureGraphBuilder2::RenderStream: choosing the source pin (with the
// Smart Tee for capture-only devices), connecting the legs, and adding the
// filters a capture filter needs upstream of it.
#include <vector>

#include "capture_graph_builder.h"
#include "filter_base.h"
#include "graph_pins.h"
#include "vorsim.h"

namespace vorsim {
namespace {

constexpr int kMaxDownstreamSearch = 16;

struct SourcePin {
    ComPtr<IPin> pin;      // null: nothing to render (the quirk below)
    HRESULT success = S_OK;  // what a successful render answers
};

bool is_category(const GUID* category, const GUID& which) { return category != nullptr && *category == which; }

std::vector<ComPtr<IPin>> matching_outputs(IBaseFilter* filter, const GUID* category, const GUID* type) {
    std::vector<ComPtr<IPin>> out;
    for (ComPtr<IPin>& pin : pins_of(filter, PINDIR_OUTPUT)) {
        if (pin_matches(pin.get(), category, type)) out.push_back(std::move(pin));
    }
    return out;
}

// A free output pin of the major type on the filter, else downstream of its
// connected ones (filters there have no pin categories).
ComPtr<IPin> free_output_downstream(IBaseFilter* filter, const GUID* type, int depth) {
    if (filter == nullptr || depth > kMaxDownstreamSearch) return nullptr;
    const std::vector<ComPtr<IPin>> outs = matching_outputs(filter, nullptr, type);
    for (const ComPtr<IPin>& pin : outs) {
        if (!is_connected(pin.get())) return pin;
    }
    for (const ComPtr<IPin>& pin : outs) {
        ComPtr<IPin> peer = peer_of(pin.get());
        if (!peer) continue;
        if (ComPtr<IPin> found = free_output_downstream(filter_of(peer.get()).get(), type, depth + 1)) return found;
    }
    return nullptr;
}

// Categories other than CAPTURE/PREVIEW, or none.
HRESULT choose_plain(IBaseFilter* filter, const GUID* category, const GUID* type, SourcePin* out) {
    const std::vector<ComPtr<IPin>> outs = matching_outputs(filter, category, type);
    if (outs.empty()) {
        if (category != nullptr) return E_INVALIDARG;
        if (type != nullptr) return S_OK;  // no pin of that type: nothing to do, and that is success
        return E_FAIL;
    }
    for (const ComPtr<IPin>& pin : outs) {
        if (!is_connected(pin.get())) {
            out->pin = pin;
            return S_OK;
        }
    }
    for (const ComPtr<IPin>& pin : outs) {
        ComPtr<IPin> peer = peer_of(pin.get());
        if (!peer) continue;
        if ((out->pin = free_output_downstream(filter_of(peer.get()).get(), type, 1))) return S_OK;
    }
    return E_FAIL;
}

// The Smart Tee a capture pin already feeds, if it feeds one.
ComPtr<IBaseFilter> tee_fed_by(IPin* capture) {
    ComPtr<IPin> peer = peer_of(capture);
    if (!peer) return nullptr;
    ComPtr<IBaseFilter> filter = filter_of(peer.get());
    return class_of(filter.get()) == CLSID_SmartTee ? filter : nullptr;
}

// CAPTURE and PREVIEW.
HRESULT choose_capture_or_preview(IGraphBuilder* graph, IBaseFilter* filter, const GUID* category, const GUID* type,
                                  SourcePin* out) {
    const bool preview = is_category(category, PIN_CATEGORY_PREVIEW);
    const std::vector<ComPtr<IPin>> captures = matching_outputs(filter, &PIN_CATEGORY_CAPTURE, type);
    const std::vector<ComPtr<IPin>> previews = matching_outputs(filter, &PIN_CATEGORY_PREVIEW, type);

    if (preview && !previews.empty()) {
        for (const ComPtr<IPin>& pin : previews) {
            if (!is_connected(pin.get())) {
                out->pin = pin;
                return S_OK;
            }
        }
        return E_FAIL;  // the preview pin is rendered already
    }
    if (captures.empty()) return E_INVALIDARG;
    if (!previews.empty()) {
        for (const ComPtr<IPin>& pin : captures) {
            if (!is_connected(pin.get())) {
                out->pin = pin;
                return S_OK;
            }
        }
        return E_INVALIDARG;
    }

    // Capture pin, no preview pin: both categories go through one Smart Tee.
    ComPtr<IBaseFilter> tee;
    ComPtr<IPin> capture;
    for (const ComPtr<IPin>& pin : captures) {
        if ((tee = tee_fed_by(pin.get()))) break;
        if (!capture && !is_connected(pin.get())) capture = pin;
    }
    if (!tee) {
        if (!capture) return E_INVALIDARG;  // the capture pin feeds something else
        if (HRESULT hr =
                CoCreateInstance(CLSID_SmartTee, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, tee.put_void());
            FAILED(hr))
            return hr;
        if (HRESULT hr = graph->AddFilter(tee.get(), u"Smart Tee"); FAILED(hr)) return hr;
        const std::vector<ComPtr<IPin>> inputs = pins_of(tee.get(), PINDIR_INPUT);
        const HRESULT hr =
            inputs.empty() ? E_FAIL : graph->ConnectDirect(capture.get(), inputs.front().get(), nullptr);
        if (FAILED(hr)) {
            graph->RemoveFilter(tee.get());
            return hr;
        }
    }
    const std::vector<ComPtr<IPin>> tee_outputs = pins_of(tee.get(), PINDIR_OUTPUT);
    const size_t which = preview ? 1 : 0;
    if (tee_outputs.size() <= which) return E_FAIL;
    if (is_connected(tee_outputs[which].get())) return E_INVALIDARG;  // each category renders once
    out->pin = tee_outputs[which];
    out->success = preview ? VFW_S_NOPREVIEWPIN : S_OK;
    return S_OK;
}

HRESULT choose_source(IGraphBuilder* graph, IUnknown* source, IBaseFilter* filter, const GUID* category,
                      const GUID* type, SourcePin* out) {
    ComPtr<IPin> given;
    if (SUCCEEDED(source->QueryInterface(IID_IPin, given.put_void()))) {
        if (direction_of(given.get()) != PINDIR_OUTPUT) return E_INVALIDARG;
        ComPtr<IPin> peer = peer_of(given.get());
        if (!peer) {
            out->pin = given;
            return S_OK;
        }
        out->pin = free_output_downstream(filter_of(peer.get()).get(), type, 1);
        return out->pin ? S_OK : E_FAIL;
    }
    if (is_category(category, PIN_CATEGORY_CAPTURE) || is_category(category, PIN_CATEGORY_PREVIEW))
        return choose_capture_or_preview(graph, filter, category, type, out);
    return choose_plain(filter, category, type, out);
}

bool in_graph(IBaseFilter* filter, IGraphBuilder* graph) {
    ComPtr<IFilterGraph> joined = graph_of(filter);
    return joined && same_object(joined.get(), graph);
}

ComPtr<IPin> first_free(IBaseFilter* filter, PIN_DIRECTION direction) {
    const std::vector<ComPtr<IPin>> pins = free_pins_of(filter, direction);
    return pins.empty() ? nullptr : pins.front();
}

// Filters the source needs upstream of it (an analog card's crossbar), added
// the first time it is rendered with a category and connected into its free
// input pins (or into each other's: a tuner feeding the crossbar).
void add_supporting_filters(IGraphBuilder* graph, IBaseFilter* source) {
    auto* core = dynamic_cast<FilterCore*>(source);
    if (core == nullptr) return;  // not one of this platform's filters: it needs none
    std::vector<ComPtr<IBaseFilter>> added;
    for (const FilterCore::Supporting& s : core->supporting_filters()) {
        if (!s.filter || in_graph(s.filter.get(), graph)) continue;
        if (SUCCEEDED(graph->AddFilter(s.filter.get(), s.name.c_str()))) added.push_back(s.filter);
    }
    std::vector<ComPtr<IBaseFilter>> targets{ComPtr<IBaseFilter>(source)};
    targets.insert(targets.end(), added.begin(), added.end());
    for (const ComPtr<IBaseFilter>& from : added) {
        for (const ComPtr<IPin>& out : free_pins_of(from.get(), PINDIR_OUTPUT)) {
            bool connected = false;
            for (const ComPtr<IBaseFilter>& to : targets) {
                if (connected || same_object(to.get(), from.get())) continue;
                for (const ComPtr<IPin>& in : free_pins_of(to.get(), PINDIR_INPUT)) {
                    if (SUCCEEDED(graph->ConnectDirect(out.get(), in.get(), nullptr))) {
                        connected = true;
                        break;
                    }
                }
            }
        }
    }
}

}  // namespace

HRESULT CaptureGraphBuilder::RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource,
                                          IBaseFilter* pfCompressor, IBaseFilter* pfRenderer) {
    if (pSource == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("ICaptureGraphBuilder2::RenderStream"); FAILED(hr)) return hr;
    return com_guard([&] { return render_stream(pCategory, pType, pSource, pfCompressor, pfRenderer); });
}

HRESULT CaptureGraphBuilder::render_stream(const GUID* category, const GUID* type, IUnknown* source,
                                           IBaseFilter* intermediate, IBaseFilter* sink) {
    ComPtr<IGraphBuilder> g;
    if (HRESULT hr = graph(&g); FAILED(hr)) return hr;

    ComPtr<IBaseFilter> source_filter;
    ComPtr<IPin> source_pin;
    if (SUCCEEDED(source->QueryInterface(IID_IPin, source_pin.put_void()))) {
        source_filter = filter_of(source_pin.get());
    } else if (FAILED(source->QueryInterface(IID_IBaseFilter, source_filter.put_void()))) {
        return E_INVALIDARG;
    }
    for (IBaseFilter* f : {source_filter.get(), intermediate, sink}) {
        if (f != nullptr && !in_graph(f, g.get())) return VFW_E_NOT_IN_GRAPH;
    }

    // Without a sink, the system's renderer for the type.
    ComPtr<IBaseFilter> renderer;
    if (sink == nullptr) {
        const bool video = type != nullptr && *type == MEDIATYPE_Video;
        const bool audio = type != nullptr && *type == MEDIATYPE_Audio;
        if (!video && !audio) return E_INVALIDARG;
        if (FAILED(CoCreateInstance(video ? CLSID_VideoRenderer : CLSID_DSoundRender, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IBaseFilter, renderer.put_void())))
            return E_FAIL;
    }

    SourcePin from;
    if (HRESULT hr = choose_source(g.get(), source, source_filter.get(), category, type, &from); FAILED(hr))
        return hr;
    if (!from.pin) return S_OK;

    if (renderer) {
        if (HRESULT hr = g->AddFilter(renderer.get(), type != nullptr && *type == MEDIATYPE_Video
                                                          ? u"Video Renderer"
                                                          : u"Default DirectSound Device");
            FAILED(hr))
            return hr;
        sink = renderer.get();
    }
    ComPtr<IPin> sink_in = first_free(sink, PINDIR_INPUT);
    if (!sink_in) return E_FAIL;

    if (intermediate == nullptr) {
        if (HRESULT hr = g->Connect(from.pin.get(), sink_in.get()); FAILED(hr)) return hr;
    } else {
        ComPtr<IPin> middle_in = first_free(intermediate, PINDIR_INPUT);
        if (!middle_in || FAILED(g->Connect(from.pin.get(), middle_in.get()))) return E_FAIL;
        // From here on the first leg stays, whatever happens to the second.
        ComPtr<IPin> middle_out = first_free(intermediate, PINDIR_OUTPUT);
        if (!middle_out || FAILED(g->Connect(middle_out.get(), sink_in.get()))) return VFW_E_CANNOT_CONNECT;
    }

    if (category != nullptr && !source_pin) add_supporting_filters(g.get(), source_filter.get());
    return from.success;
}

}  // namespace vorsim
