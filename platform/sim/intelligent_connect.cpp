// Intelligent connect.
#include "intelligent_connect.h"

#include "graph_pins.h"
#include "transform_registry.h"

namespace vorsim {
namespace {

// How many pin connections one search may try. A graph that still holds
// filters from earlier builds (ones it could not remove) offers each of them
// at every step, and the search grows as their number to the power of its
// depth; a real build tries a few dozen.
constexpr int kMaxConnectionAttempts = 1024;

struct Search {
    IGraphBuilder* graph;
    IPin* target;  // the input pin to reach
    ComPtr<IBaseFilter> target_filter;
    int attempts_left = kMaxConnectionAttempts;
};

bool connect_directly(Search& s, IPin* out, IPin* in) {
    if (s.attempts_left <= 0) return false;
    --s.attempts_left;
    return SUCCEEDED(out->Connect(in, nullptr));
}

void disconnect_both(IPin* out, IPin* in) {
    out->Disconnect();
    in->Disconnect();
}

// Whether candidate is from itself or feeds it, directly or through others.
bool is_upstream_of(IBaseFilter* candidate, IBaseFilter* from, int depth = 0) {
    if (same_object(candidate, from)) return true;
    if (depth > 64) return false;  // a graph that deep is not ours to build
    for (const ComPtr<IPin>& in : pins_of(from, PINDIR_INPUT)) {
        ComPtr<IPin> peer = peer_of(in.get());
        if (peer && is_upstream_of(candidate, filter_of(peer.get()).get(), depth + 1)) return true;
    }
    return false;
}

bool connect_from(Search& s, IPin* out, int depth);

// The filter's input is connected: go on from one of its free outputs.
bool onward(Search& s, IBaseFilter* filter, int depth) {
    for (const ComPtr<IPin>& next : free_pins_of(filter, PINDIR_OUTPUT)) {
        if (connect_from(s, next.get(), depth + 1)) return true;
    }
    return false;
}

// Tries the filter's free input pins, each followed onward.
bool through_filter(Search& s, IPin* out, IBaseFilter* filter, int depth) {
    for (const ComPtr<IPin>& in : free_pins_of(filter, PINDIR_INPUT)) {
        if (!connect_directly(s, out, in.get())) continue;
        if (onward(s, filter, depth)) return true;
        disconnect_both(out, in.get());
    }
    return false;
}

std::vector<ComPtr<IBaseFilter>> filters_in(IGraphBuilder* graph) {
    std::vector<ComPtr<IBaseFilter>> filters;
    ComPtr<IEnumFilters> e;
    if (FAILED(graph->EnumFilters(e.put())) || !e) return filters;
    IBaseFilter* f = nullptr;
    while (e->Next(1, &f, nullptr) == S_OK) filters.push_back(ComPtr<IBaseFilter>::adopt(f));
    return filters;
}

bool through_graph(Search& s, IPin* out, int depth) {
    ComPtr<IBaseFilter> from = filter_of(out);
    for (const ComPtr<IBaseFilter>& f : filters_in(s.graph)) {
        if (same_object(f.get(), s.target_filter.get()) || is_upstream_of(f.get(), from.get())) continue;
        if (free_pins_of(f.get(), PINDIR_OUTPUT).empty()) continue;  // a renderer leads nowhere
        if (through_filter(s, out, f.get(), depth)) return true;
    }
    return false;
}

bool takes_one_of(const TransformInfo& t, const std::vector<MediaType>& types) {
    if (t.accepts_input == nullptr) return true;
    for (const MediaType& type : types) {
        if (t.accepts_input(type.get())) return true;
    }
    return false;
}

bool through_transform(Search& s, IPin* out, int depth) {
    const std::vector<MediaType> types = types_of(out);
    const CLSID from_class = class_of(filter_of(out).get());
    for (const TransformInfo& t : allowed_transforms()) {
        if (t.clsid == from_class) continue;  // a converter never feeds its own kind
        if (!takes_one_of(t, types)) continue;
        ComPtr<IBaseFilter> f;
        if (FAILED(CoCreateInstance(t.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, f.put_void()))) continue;
        if (FAILED(s.graph->AddFilter(f.get(), t.name.c_str()))) continue;
        if (through_filter(s, out, f.get(), depth)) return true;
        s.graph->RemoveFilter(f.get());
    }
    return false;
}

bool connect_from(Search& s, IPin* out, int depth) {
    if (connect_directly(s, out, s.target)) return true;
    if (depth >= kMaxIntermediateFilters || s.attempts_left <= 0) return false;
    return through_graph(s, out, depth) || through_transform(s, out, depth);
}

}  // namespace

HRESULT intelligent_connect(IGraphBuilder* graph, IPin* out, IPin* in) {
    if (graph == nullptr || out == nullptr || in == nullptr) return E_POINTER;
    if (direction_of(out) != PINDIR_OUTPUT || direction_of(in) != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;
    if (is_connected(out) || is_connected(in)) return VFW_E_ALREADY_CONNECTED;
    Search s{graph, in, filter_of(in)};
    return connect_from(s, out, 0) ? S_OK : VFW_E_CANNOT_CONNECT;
}

}  // namespace vorsim
