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

TEST_F(ComRuntime, CreatesAFreshObjectEachCallOrFailsLeavingNothing) {
    ComPtr<IReferenceClock> a, b;
    ASSERT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock, a.put_void()), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC, IID_IReferenceClock, b.put_void()), S_OK);
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(g_live, 2);
    REFERENCE_TIME t = 0;
    EXPECT_EQ(a->GetTime(&t), S_OK);
    EXPECT_EQ(t, 42);
    EXPECT_EQ(a.detach()->Release(), 0u);
    const CLSID unknown = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    struct Case {
        const char* what;
        const CLSID& clsid;
        IUnknown* outer;
        const IID& iid;
        HRESULT expected;
    } const cases[] = {{"unsupported interface", CLSID_Widget, nullptr, IID_IBaseFilter, E_NOINTERFACE},
                       {"unknown class", unknown, nullptr, IID_IUnknown, REGDB_E_CLASSNOTREG},
                       {"aggregation", CLSID_Widget, b.get(), IID_IUnknown, CLASS_E_NOAGGREGATION}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        void* p = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(CoCreateInstance(c.clsid, c.outer, CLSCTX_INPROC_SERVER, c.iid, &p), c.expected);
        EXPECT_EQ(p, nullptr);
        EXPECT_EQ(g_live, 1) << "the object made for the call is gone";
    }
    EXPECT_EQ(CoCreateInstance(CLSID_Widget, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(b.detach()->Release(), 0u);
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

}  // namespace
