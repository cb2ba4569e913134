// The system device enumerator, its monikers and property bags, and the
// device controls (load, plug, unplug).
#include <gtest/gtest.h>


#include "device_enum.h"
#include "devices_fixture.h"
#include "wide.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070002u);

// Reads one bag value as text; the HRESULT of Read goes to *hr.
std::string read_text(IPropertyBag* bag, const char16_t* name, HRESULT* hr) {
    VARIANT v;
    VariantInit(&v);
    *hr = bag->Read(name, &v, nullptr);
    std::string text;
    if (*hr == S_OK && v.vt == VT_BSTR) text = to_utf8(wide_view(v.bstrVal));
    if (FAILED(*hr)) {
        EXPECT_EQ(v.vt, VT_EMPTY) << "a failed Read leaves the variant empty";
    }
    EXPECT_EQ(VariantClear(&v), S_OK);
    return text;
}

ComPtr<IPropertyBag> bag_of(IMoniker* m) {
    ComPtr<IPropertyBag> bag;
    EXPECT_EQ(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void()), S_OK);
    return bag;
}

class DeviceEnum : public DeviceTest {
protected:
    void SetUp() override {
        DeviceSet set;
        VideoDevice cam = make_camera("USB Camera", {make_caps(FormatType::VideoInfo, subtype::YUY2, 320, 240)});
        cam.device_path = "\\\\?\\usb#vid_046d&pid_0825&mi_00#6&2b0fd4a9&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
        VideoDevice dv = make_camera("Microsoft DV Camera and VCR", {make_caps(FormatType::DvInfo, subtype::dvsd, 720, 480, 333667)});
        dv.description = "Sony DCR-TRV900";
        dv.pins[0].interleaved = true;
        set.video = {cam, dv};
        set.audio = {AudioDevice{"Mic A", 48000, 1}, AudioDevice{"Mic B", 44100, 2}};
        set.cards = {Card{"Card One", "BM-0007", {{"NTSC", 720, 486}}}};
        install(set);
    }
};

TEST_F(DeviceEnum, EmptyOrUnknownCategoryIsSFalseWithNoEnumerator) {
    DeviceSet no_audio;
    no_audio.video = {make_camera("Only Video", {make_caps(FormatType::VideoInfo, subtype::RGB24, 64, 48)})};
    install(no_audio);
    ComPtr<ICreateDevEnum> devenum;
    ASSERT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                               devenum.put_void()),
              S_OK);
    IEnumMoniker* e = reinterpret_cast<IEnumMoniker*>(0x1);
    EXPECT_EQ(devenum->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &e, 0), S_FALSE);
    EXPECT_EQ(e, nullptr);
    e = reinterpret_cast<IEnumMoniker*>(0x1);
    EXPECT_EQ(devenum->CreateClassEnumerator(CLSID_LegacyAmFilterCategory, &e, 0), S_FALSE);
    EXPECT_EQ(e, nullptr);
    EXPECT_EQ(devenum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, nullptr, 0), E_POINTER);
    // S_OK, not merely success: only then is there an enumerator.
    ASSERT_EQ(devenum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &e, 0), S_OK);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Release(), 0u);
    EXPECT_EQ(devenum.detach()->Release(), 0u);
}

TEST_F(DeviceEnum, BagsHoldWhatTheDeviceFileGivesAndNotFoundForTheRest) {
    const std::string path =
        "\\\\?\\usb#vid_046d&pid_0825&mi_00#6&2b0fd4a9&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
    struct Case {
        const GUID& category;
        size_t index;
        const char16_t* name;
        HRESULT hr;
        std::string text;
    } const cases[] = {
        {CLSID_VideoInputDeviceCategory, 0, u"Description", kNotFound, ""},
        {CLSID_VideoInputDeviceCategory, 0, u"FriendlyName", S_OK, "USB Camera"},
        {CLSID_VideoInputDeviceCategory, 0, u"friendlyNAME", S_OK, "USB Camera"},
        {CLSID_VideoInputDeviceCategory, 0, u"DevicePath", S_OK, path},
        {CLSID_VideoInputDeviceCategory, 1, u"Description", S_OK, "Sony DCR-TRV900"},
        {CLSID_VideoInputDeviceCategory, 1, u"FriendlyName", S_OK, "Microsoft DV Camera and VCR"},
        {CLSID_VideoInputDeviceCategory, 1, u"DevicePath", kNotFound, ""},
        {CLSID_AudioInputDeviceCategory, 1, u"FriendlyName", S_OK, "Mic B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(to_utf8(c.name) + " of device " + std::to_string(c.index));
        auto all = monikers(c.category);
        ASSERT_EQ(all.size(), 2u);
        HRESULT hr = E_UNEXPECTED;
        EXPECT_EQ(read_text(bag_of(all[c.index].get()).get(), c.name, &hr), c.text);
        EXPECT_EQ(hr, c.hr);
    }
    auto audio = monikers(CLSID_AudioInputDeviceCategory);
    ComPtr<IPropertyBag> bag = bag_of(audio[1].get());
    VARIANT v;
    VariantInit(&v);
    ASSERT_EQ(bag->Read(u"WaveInId", &v, nullptr), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 1);
    EXPECT_EQ(bag->Read(nullptr, &v, nullptr), E_POINTER);
    EXPECT_EQ(bag->Read(u"FriendlyName", nullptr, nullptr), E_POINTER);
    v.vt = VT_I4;
    EXPECT_EQ(bag->Read(u"FriendlyName", &v, nullptr), E_INVALIDARG) << "a string does not fit VT_I4";
}

TEST_F(DeviceEnum, BagFalseAndBindFalseFail) {
    DeviceSet set;
    VideoDevice broken = make_camera("Broken", {make_caps(FormatType::VideoInfo, subtype::RGB24, 64, 48)});
    broken.bag = false;
    broken.bind = false;
    set.video = {broken};
    install(set);
    auto all = monikers(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(all.size(), 1u);
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_TRUE(FAILED(all[0]->BindToStorage(nullptr, nullptr, IID_IPropertyBag, &p)));
    EXPECT_EQ(p, nullptr);
    p = reinterpret_cast<void*>(0x1);
    EXPECT_TRUE(FAILED(all[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter, &p)));
    EXPECT_EQ(p, nullptr);
}

TEST_F(DeviceEnum, AnEnumeratorKeepsItsSnapshotWhileNewOnesSeePlugAndUnplug) {
    ComPtr<ICreateDevEnum> devenum;
    ASSERT_EQ(create_device_enumerator(IID_ICreateDevEnum, devenum.put_void()), S_OK);
    ComPtr<IEnumMoniker> before;
    ASSERT_EQ(devenum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, before.put(), 0), S_OK);

    DeviceSet more;
    more.video = {make_camera("Plugged Later", {make_caps(FormatType::VideoInfo, subtype::RGB32, 32, 24)})};
    plug_devices(more);
    EXPECT_EQ(monikers(CLSID_VideoInputDeviceCategory).size(), 3u);

    EXPECT_TRUE(unplug_device("USB Camera"));
    EXPECT_FALSE(unplug_device("USB Camera")) << "already gone";
    EXPECT_FALSE(unplug_device("No Such Device"));
    auto now = monikers(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(now.size(), 2u);
    HRESULT hr = S_OK;
    EXPECT_EQ(read_text(bag_of(now[0].get()).get(), u"FriendlyName", &hr), "Microsoft DV Camera and VCR");
    EXPECT_EQ(read_text(bag_of(now[1].get()).get(), u"FriendlyName", &hr), "Plugged Later");

    // The old enumerator still lists the two it started with; the unplugged
    // camera's moniker can no longer make a filter.
    IMoniker* old[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(before->Next(3, old, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    ComPtr<IMoniker> gone = ComPtr<IMoniker>::adopt(old[0]);
    ComPtr<IMoniker> still = ComPtr<IMoniker>::adopt(old[1]);
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(gone->BindToObject(nullptr, nullptr, IID_IBaseFilter, &p), kDeviceGone);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(read_text(bag_of(gone.get()).get(), u"FriendlyName", &hr), "USB Camera");
    ComPtr<IBaseFilter> f;
    EXPECT_EQ(still->BindToObject(nullptr, nullptr, IID_IBaseFilter, f.put_void()), S_OK);
}

}  // namespace
