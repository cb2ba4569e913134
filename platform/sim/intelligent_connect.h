// Intelligent connect: joining an output pin to an input pin the way the
// graph builder does, inserting filters in between when the two cannot
// agree on a type.
//
//   1. a direct connection (the output pin proposes its types first);
//   2. through a filter already in the graph: a free input pin of it, then
//      onward from its free output pins;
//   3. through a transform from the registry (allowed_transforms(): the
//      converters the device file permits, highest merit first) whose input
//      takes one of the output pin's types. It is created with
//      CoCreateInstance, added to the graph under its friendly name, and
//      removed again when it does not lead to the input pin.
// At most kMaxIntermediateFilters filters sit in between, and one search
// tries at most a thousand pin connections before it gives up (a graph
// full of leftover filters would otherwise take hours). A failure leaves
// nothing behind that the call added and nothing connected that it
// connected.
#pragma once

#include "com_object.h"

namespace vorsim {

inline constexpr int kMaxIntermediateFilters = 5;

// S_OK; VFW_E_INVALID_DIRECTION, VFW_E_ALREADY_CONNECTED,
// VFW_E_CANNOT_CONNECT. The graph must be stopped.
HRESULT intelligent_connect(IGraphBuilder* graph, IPin* out, IPin* in);

}  // namespace vorsim
