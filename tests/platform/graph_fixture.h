// A filter graph made through CoCreateInstance, with Boxes that are checked
// to be released completely when the test ends.
#pragma once

#include <gtest/gtest.h>

#include "com_conformance.h"
#include "graph_test_filters.h"
#include "vorsim.h"

namespace vorsim_test {

class GraphTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   graph.put_void()),
                  S_OK);
        ASSERT_EQ(graph.query(IID_IMediaControl, control), S_OK);
        ASSERT_EQ(graph.query(IID_IMediaEventEx, events), S_OK);
    }
    void TearDown() override {
        fault_clear();
        control.reset();
        events.reset();
        // Releasing the graph stops it and removes (and disconnects) every
        // filter, so each Box is left with the test's reference only.
        if (graph) {
            EXPECT_EQ(graph.detach()->Release(), 0u) << "the final Release ends the graph";
        }
        for (ComPtr<Box>& b : boxes) {
            const std::string label = b->label;
            EXPECT_EQ(b->graph(), nullptr) << label << " still thinks it is in a graph";
            EXPECT_EQ(b.detach()->Release(), 0u) << label << " leaked";
        }
    }

    ComPtr<Box> make_box(std::string label, const CLSID& clsid = CLSID_TestBox) {
        ComPtr<Box> b = make_com<Box>(std::move(label), clsid);
        b->log = &log;
        boxes.push_back(b);
        return b;
    }
    // Video source with one output pin "Out" offering these subtypes.
    ComPtr<Box> source(std::string label, std::vector<GUID> subtypes, const GUID* category = nullptr) {
        ComPtr<Box> b = make_box(std::move(label));
        std::vector<MediaType> offers;
        for (const GUID& s : subtypes) offers.push_back(video(s));
        b->add_output(u"Out", std::move(offers), category);
        return b;
    }
    // Renderer with one input pin "In" taking video of this subtype.
    ComPtr<Box> sink(std::string label, const GUID& subtype) {
        ComPtr<Box> b = make_box(std::move(label));
        b->add_input(u"In", MEDIATYPE_Video, subtype);
        return b;
    }
    // Input "In" taking this subtype, output "Out" passing it on.
    ComPtr<Box> pass_through(std::string label, const GUID& subtype) {
        ComPtr<Box> b = make_box(std::move(label));
        b->add_input(u"In", MEDIATYPE_Video, subtype);
        b->add_pass_through(u"Out");
        return b;
    }
    HRESULT add(Box* b, const char16_t* name) { return graph->AddFilter(b, name); }
    std::vector<std::u16string> names_in_order() {
        std::vector<std::u16string> names;
        ComPtr<IEnumFilters> e;
        if (FAILED(graph->EnumFilters(e.put()))) return names;
        IBaseFilter* f = nullptr;
        while (e->Next(1, &f, nullptr) == S_OK) {
            names.push_back(name_in_graph(f));
            f->Release();
        }
        return names;
    }
    OAFilterState state(LONG ms = 0, HRESULT* hr = nullptr) {
        OAFilterState s = -1;
        const HRESULT r = control->GetState(ms, &s);
        if (hr != nullptr) *hr = r;
        return s;
    }

    Log log;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    std::vector<ComPtr<Box>> boxes;
};

}  // namespace vorsim_test
