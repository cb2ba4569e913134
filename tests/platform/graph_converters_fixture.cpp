// The test converters of graph_test_filters.h.
#include <atomic>

#include "graph_test_filters.h"
#include "transform_registry.h"

namespace vorsim_test {
namespace {

// Registered for the whole program, but taking part only while enabled,
// so no other test ever sees them.
std::atomic<bool> g_enabled{false};
std::atomic<int> g_made{0};
std::atomic<int> g_alive{0};

bool takes_yuy2(const AM_MEDIA_TYPE& mt) {
    return g_enabled && mt.majortype == MEDIATYPE_Video && mt.subtype == MEDIASUBTYPE_YUY2;
}
bool takes_uyvy(const AM_MEDIA_TYPE& mt) {
    return g_enabled && mt.majortype == MEDIATYPE_Video && mt.subtype == MEDIASUBTYPE_UYVY;
}

HRESULT make_converter(const CLSID& clsid, const GUID& in, const GUID& out, REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    try {
        ComPtr<Box> b = make_com<Box>("conv", clsid);
        b->count_in(g_alive);
        b->add_input(u"In", MEDIATYPE_Video, in);
        b->add_output(u"Out", {video(out)});
        ++g_made;
        return b->QueryInterface(iid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
HRESULT make_yuy2_to_uyvy(REFIID iid, void** ppv) {
    return make_converter(CLSID_TestConverter, MEDIASUBTYPE_YUY2, MEDIASUBTYPE_UYVY, iid, ppv);
}
HRESULT make_uyvy_to_rgb24(REFIID iid, void** ppv) {
    return make_converter(CLSID_TestConverter2, MEDIASUBTYPE_UYVY, MEDIASUBTYPE_RGB24, iid, ppv);
}

const TransformRegistration first({CLSID_TestConverter, u"Test Converter", &takes_yuy2, 1});
const TransformRegistration second({CLSID_TestConverter2, u"Test Converter 2", &takes_uyvy, 1});

}  // namespace

TestConverters::TestConverters()
    : first_(CLSID_TestConverter, "TestConverter", &make_yuy2_to_uyvy),
      second_(CLSID_TestConverter2, "TestConverter2", &make_uyvy_to_rgb24) {
    g_made = 0;
    g_enabled = true;
    transforms_allow_only({"Test Converter", "Test Converter 2"});
}

TestConverters::~TestConverters() {
    transforms_allow_all();
    g_enabled = false;
}

int TestConverters::made() { return g_made.load(); }
int TestConverters::alive() { return g_alive.load(); }

}  // namespace vorsim_test
