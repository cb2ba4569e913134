// The COM runtime: CoCreateInstance and the class registry, task memory,
// BSTR, VARIANT, the media type helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "class_registry.h"
#include "com_conformance.h"
#include "media_type.h"
#include "vorsim.h"

namespace {

using namespace vorsim;
using vorsim_test::expect_interfaces;

std::atomic<int> g_live{0};

class Widget final : public ComObject<IPersist, IReferenceClock> {
public:
    Widget() { ++g_live; }
    ~Widget() override { --g_live; }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* c) override {
        *c = CLSID_SystemClock;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* t) override {
        *t = 42;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR) override { return E_NOTIMPL; }
};

const CLSID CLSID_Widget = {0x1d0a5e01, 0x00ff, 0x4c11, {0x90, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0xff}};
const ClassRegistration widget_registration(CLSID_Widget, "Widget", &create_instance<Widget>);

class ComRuntime : public testing::Test {
protected:
    void TearDown() override { fault_clear(); }
};

TEST_F(ComRuntime, CreatesAFreshObjectEachCall) {
    IReferenceClock* a = nullptr;
    IReferenceClock* b = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                               reinterpret_cast<void**>(&a)),
              S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC, IID_IReferenceClock,
                               reinterpret_cast<void**>(&b)),
              S_OK);
    EXPECT_NE(a, b);
    EXPECT_EQ(g_live, 2);
    REFERENCE_TIME t = 0;
    EXPECT_EQ(a->GetTime(&t), S_OK);
    EXPECT_EQ(t, 42);
    EXPECT_EQ(a->Release(), 0u);
    EXPECT_EQ(b->Release(), 0u);
    EXPECT_EQ(g_live, 0);
}

TEST_F(ComRuntime, ObjectAnswersItsInterfacesAndTheirBases) {
    ComPtr<IUnknown> w;
    ASSERT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, w.put_void()), S_OK);
    expect_interfaces(w.get(), {&IID_IPersist, &IID_IReferenceClock}, {&IID_IBaseFilter, &IID_IMediaFilter});
}

TEST_F(ComRuntime, UnsupportedInterfaceDestroysTheObjectAndNullsTheOutPointer) {
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(g_live, 0);
}

TEST_F(ComRuntime, UnknownClassAggregationAndNullOut) {
    void* p = reinterpret_cast<void*>(0x1);
    const CLSID unknown = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);
    ComPtr<IUnknown> outer;
    ASSERT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, outer.put_void()), S_OK);
    p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(CLSID_Widget, outer.get(), CLSCTX_INPROC_SERVER, IID_IUnknown, &p),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    outer.reset();
    EXPECT_EQ(g_live, 0);
}

TEST_F(ComRuntime, FaultByShortNameFailsOnlyThatManyCalls) {
    fault_set("CoCreateInstance:Widget", 1);
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(g_live, 0);
    ASSERT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(p)->Release(), 0u);
    fault_set("CoCreateInstance:Widget", kAlways, E_OUTOFMEMORY);
    EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), E_OUTOFMEMORY);
    EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), E_OUTOFMEMORY);
}

TEST_F(ComRuntime, UnregisteredClassIsNotRegistered) {
    const CLSID temp = {0x1d0a5e01, 0x00fe, 0x4c11, {0x90, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0xfe}};
    register_class(temp, "Temp", &create_instance<Widget>);
    void* p = nullptr;
    ASSERT_EQ(CoCreateInstance(temp, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), S_OK);
    static_cast<IUnknown*>(p)->Release();
    unregister_class(temp);
    EXPECT_EQ(CoCreateInstance(temp, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
}

TEST(TaskMemory, AllocReallocFreeAreCounted) {
    const long long before = task_memory_outstanding();
    auto* p = static_cast<char*>(CoTaskMemAlloc(10));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "0123456789", 10);
    EXPECT_EQ(task_memory_outstanding(), before + 10);
    p = static_cast<char*>(CoTaskMemRealloc(p, 1000));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, "0123456789", 10), 0) << "realloc keeps the contents";
    EXPECT_EQ(task_memory_outstanding(), before + 1000);
    CoTaskMemFree(p);
    CoTaskMemFree(nullptr);
    EXPECT_EQ(task_memory_outstanding(), before);
}

TEST(Bstr, CarriesItsByteLengthBeforeTheText) {
    const long long before = bstr_outstanding();
    BSTR s = SysAllocString(u"Camera");
    ASSERT_NE(s, nullptr);
    uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 12u);
    EXPECT_EQ(SysStringLen(s), 6u);
    EXPECT_EQ(std::u16string(s), u"Camera");
    EXPECT_EQ(bstr_outstanding(), before + 1);
    SysFreeString(s);
    SysFreeString(nullptr);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(bstr_outstanding(), before);
}

TEST(Variant, InitOnlySetsEmptyAndClearFreesWhatItOwns) {
    VARIANT v;
    std::memset(&v, 0xAB, sizeof v);
    VariantInit(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(v.wReserved1, 0xABAB) << "VariantInit touches only vt";
    EXPECT_EQ(VariantClear(&v), S_OK);

    const long long before = bstr_outstanding();
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"x");
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(bstr_outstanding(), before);

    ComPtr<IUnknown> w;
    ASSERT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, w.put_void()), S_OK);
    w->AddRef();
    v.vt = VT_UNKNOWN;
    v.punkVal = w.get();
    EXPECT_EQ(VariantClear(&v), S_OK);
    EXPECT_EQ(vorsim_test::ref_count(w.get()), 1u) << "VariantClear releases an interface";

    v.vt = 0x7FF;
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
}

TEST(MediaTypeHelpers, CopyIsDeepAndFreeReleasesTheBlock) {
    const long long before = task_memory_outstanding();
    MediaType type = make_video_type(MEDIASUBTYPE_RGB24, 33, 10, 24, 400000);
    ASSERT_NE(type.video_info(), nullptr);
    EXPECT_EQ(type.video_info()->bmiHeader.biSizeImage, 100u * 10u) << "RGB24 rows pad to 4 bytes";
    EXPECT_EQ(type->lSampleSize, 1000u);

    AM_MEDIA_TYPE copy;
    ASSERT_EQ(CopyMediaType(&copy, &type.get()), S_OK);
    EXPECT_NE(copy.pbFormat, type->pbFormat);
    EXPECT_TRUE(same_media_type(copy, type.get()));
    copy.pbFormat[0] ^= 1;
    EXPECT_FALSE(same_media_type(copy, type.get())) << "the copy has its own block";
    FreeMediaType(copy);
    EXPECT_EQ(copy.cbFormat, 0u);
    EXPECT_EQ(copy.pbFormat, nullptr);

    AM_MEDIA_TYPE* heap = CreateMediaType(&type.get());
    ASSERT_NE(heap, nullptr);
    DeleteMediaType(heap);
    DeleteMediaType(nullptr);
    type.clear();
    EXPECT_EQ(task_memory_outstanding(), before);
}

TEST(MediaTypeHelpers, CopyAddRefsPUnkAndFreeReleasesIt) {
    ComPtr<IUnknown> w;
    ASSERT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, w.put_void()), S_OK);
    AM_MEDIA_TYPE src{};
    src.pUnk = w.get();
    AM_MEDIA_TYPE dst;
    ASSERT_EQ(CopyMediaType(&dst, &src), S_OK);
    EXPECT_EQ(vorsim_test::ref_count(w.get()), 2u);
    FreeMediaType(dst);
    EXPECT_EQ(dst.pUnk, nullptr);
    EXPECT_EQ(vorsim_test::ref_count(w.get()), 1u);
}

TEST(MediaTypeHelpers, PartialMatchTreatsNullGuidsAsWildcards) {
    MediaType rgb = make_video_type(MEDIASUBTYPE_RGB32, 4, 4, 32, 333333);
    AM_MEDIA_TYPE pattern{};
    EXPECT_TRUE(fits_partial(pattern, rgb.get()));
    pattern.majortype = MEDIATYPE_Video;
    EXPECT_TRUE(fits_partial(pattern, rgb.get()));
    pattern.subtype = MEDIASUBTYPE_UYVY;
    EXPECT_FALSE(fits_partial(pattern, rgb.get()));
    pattern.subtype = MEDIASUBTYPE_RGB32;
    pattern.formattype = FORMAT_VideoInfo2;
    EXPECT_FALSE(fits_partial(pattern, rgb.get()));
}

TEST(Faults, CountsQualifiedNamesAndResults) {
    fault_set("IFilterGraph::AddFilter:Null", 2);
    EXPECT_EQ(fault_result("IFilterGraph::AddFilter", u"Other"), S_OK);
    EXPECT_EQ(fault_result("IFilterGraph::AddFilter", u"Null"), E_FAIL);
    EXPECT_EQ(fault_result("IFilterGraph::AddFilter", u"Null", VFW_E_DUPLICATE_NAME), VFW_E_DUPLICATE_NAME);
    EXPECT_EQ(fault_result("IFilterGraph::AddFilter", u"Null"), S_OK) << "only two were armed";
    fault_set("IFilterGraph::AddFilter");
    EXPECT_EQ(fault_result("IFilterGraph::AddFilter", u"Any"), E_FAIL) << "the plain name hits every call";
    EXPECT_TRUE(fault_hit("IFilterGraph::AddFilter"));
    fault_set("IFilterGraph::AddFilter", 0);
    EXPECT_FALSE(fault_hit("IFilterGraph::AddFilter")) << "count 0 disarms";
    fault_set("IMediaControl::Run", kAlways, E_UNEXPECTED);
    fault_clear();
    EXPECT_EQ(fault_result("IMediaControl::Run"), S_OK);
}

TEST(PropertyFrame, ReportsTheCallToTheHandler) {
    ComPtr<IUnknown> w;
    ASSERT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, w.put_void()), S_OK);
    IUnknown* objects[1] = {w.get()};
    CLSID pages[2] = {CLSID_VideoProcAmpPropertyPage, CLSID_VideoStreamConfigPropertyPage};
    EXPECT_EQ(OleCreatePropertyFrame(nullptr, 0, 0, u"Cam", 1, objects, 2, pages, 0, 0, nullptr), S_OK);
    PropertyFrameCall seen;
    property_frame_handler_set([&](const PropertyFrameCall& call) {
        seen = call;
        return E_OUTOFMEMORY;
    });
    EXPECT_EQ(OleCreatePropertyFrame(nullptr, 0, 0, u"Cam", 1, objects, 2, pages, 0, 0, nullptr), E_OUTOFMEMORY);
    property_frame_handler_set(nullptr);
    EXPECT_EQ(seen.caption, u"Cam");
    ASSERT_EQ(seen.objects.size(), 1u);
    EXPECT_EQ(seen.objects[0], w.get());
    ASSERT_EQ(seen.pages.size(), 2u);
    EXPECT_EQ(seen.pages[1], CLSID_VideoStreamConfigPropertyPage);
}

}  // namespace
