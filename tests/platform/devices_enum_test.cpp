// The system device enumerator, its monikers and property bags, and the
// device controls (load, plug, unplug).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

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

TEST_F(DeviceEnum, WebcamBagHasNoDescriptionButAFriendlyNameAndPath) {
    auto all = monikers(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(all.size(), 2u);
    ComPtr<IPropertyBag> bag = bag_of(all[0].get());
    HRESULT hr = S_OK;
    read_text(bag.get(), u"Description", &hr);
    EXPECT_EQ(hr, kNotFound);
    EXPECT_EQ(read_text(bag.get(), u"FriendlyName", &hr), "USB Camera");
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(read_text(bag.get(), u"friendlyNAME", &hr), "USB Camera") << "names ignore case";
    EXPECT_EQ(read_text(bag.get(), u"DevicePath", &hr),
              "\\\\?\\usb#vid_046d&pid_0825&mi_00#6&2b0fd4a9&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global");
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(bag->Read(nullptr, &v, nullptr), E_POINTER);
    EXPECT_EQ(bag->Read(u"FriendlyName", nullptr, nullptr), E_POINTER);
    v.vt = VT_I4;
    EXPECT_EQ(bag->Read(u"FriendlyName", &v, nullptr), E_INVALIDARG) << "a string does not fit VT_I4";
}

TEST_F(DeviceEnum, CamcorderHasADescriptionAndNoPathWhenTheFileGivesNone) {
    auto all = monikers(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(all.size(), 2u);
    ComPtr<IPropertyBag> bag = bag_of(all[1].get());
    HRESULT hr = S_OK;
    EXPECT_EQ(read_text(bag.get(), u"Description", &hr), "Sony DCR-TRV900");
    EXPECT_EQ(read_text(bag.get(), u"FriendlyName", &hr), "Microsoft DV Camera and VCR");
    read_text(bag.get(), u"DevicePath", &hr);
    EXPECT_EQ(hr, kNotFound);
}

TEST_F(DeviceEnum, AudioBagsCarryTheirWaveInIndex) {
    auto all = monikers(CLSID_AudioInputDeviceCategory);
    ASSERT_EQ(all.size(), 2u);
    for (LONG i = 0; i < 2; ++i) {
        ComPtr<IPropertyBag> bag = bag_of(all[static_cast<size_t>(i)].get());
        VARIANT v;
        VariantInit(&v);
        ASSERT_EQ(bag->Read(u"WaveInId", &v, nullptr), S_OK);
        EXPECT_EQ(v.vt, VT_I4);
        EXPECT_EQ(v.lVal, i);
        HRESULT hr = S_OK;
        EXPECT_EQ(read_text(bag.get(), u"FriendlyName", &hr), i == 0 ? "Mic A" : "Mic B");
    }
}

TEST_F(DeviceEnum, EachBindGivesANewBagAndANewFilter) {
    auto all = monikers(CLSID_VideoInputDeviceCategory);
    ASSERT_FALSE(all.empty());
    ComPtr<IPropertyBag> a = bag_of(all[0].get());
    ComPtr<IPropertyBag> b = bag_of(all[0].get());
    EXPECT_NE(a.get(), b.get());
    ComPtr<IBaseFilter> f1 = bind(all[0].get());
    ComPtr<IBaseFilter> f2 = bind(all[0].get());
    ASSERT_TRUE(f1 && f2);
    EXPECT_NE(identity_of(f1.get()), identity_of(f2.get()));
    EXPECT_EQ(a.detach()->Release(), 0u);
    EXPECT_EQ(b.detach()->Release(), 0u);
    EXPECT_EQ(f1.detach()->Release(), 0u);
    EXPECT_EQ(f2.detach()->Release(), 0u);
}

TEST_F(DeviceEnum, MonikersRefuseOtherStorageAndAnswerNotImplemented) {
    auto all = monikers(CLSID_VideoInputDeviceCategory);
    ASSERT_FALSE(all.empty());
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(all[0]->BindToStorage(nullptr, nullptr, IID_IBaseFilter, &p), MK_E_NOSTORAGE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(all[0]->BindToStorage(nullptr, all[1].get(), IID_IPropertyBag, &p), MK_E_NOSTORAGE);
    LPOLESTR name = nullptr;
    EXPECT_EQ(all[0]->GetDisplayName(nullptr, nullptr, &name), E_NOTIMPL);
    DWORD hash = 0;
    EXPECT_EQ(all[0]->Hash(&hash), E_NOTIMPL);
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

TEST_F(DeviceEnum, EnumeratorNextSkipResetClone) {
    ComPtr<ICreateDevEnum> devenum;
    ASSERT_EQ(create_device_enumerator(IID_ICreateDevEnum, devenum.put_void()), S_OK);
    ComPtr<IEnumMoniker> e;
    ASSERT_EQ(devenum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, e.put(), 0), S_OK);
    IMoniker* got[3] = {};
    ULONG fetched = 99;
    EXPECT_EQ(e->Next(2, got, nullptr), E_INVALIDARG) << "fetched may be null only for one";
    EXPECT_EQ(e->Next(3, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    for (ULONG i = 0; i < fetched; ++i) got[i]->Release();
    EXPECT_EQ(e->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Skip(1), S_OK);
    ComPtr<IEnumMoniker> clone;
    ASSERT_EQ(e->Clone(clone.put()), S_OK);
    EXPECT_EQ(e->Skip(5), S_FALSE);
    ASSERT_EQ(clone->Next(1, got, &fetched), S_OK) << "the clone keeps the position it was made at";
    ComPtr<IMoniker> second = ComPtr<IMoniker>::adopt(got[0]);
    ComPtr<IPropertyBag> bag = bag_of(second.get());
    HRESULT hr = S_OK;
    EXPECT_EQ(read_text(bag.get(), u"FriendlyName", &hr), "Microsoft DV Camera and VCR");
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

TEST_F(DeviceEnum, UnplugFindsAudioByNameAndCardsByNameOrId) {
    EXPECT_TRUE(unplug_device("Mic A"));
    EXPECT_EQ(monikers(CLSID_AudioInputDeviceCategory).size(), 1u);
    EXPECT_EQ(current_devices().cards.size(), 1u) << "cards stay for the shell to pass on";
    EXPECT_TRUE(unplug_device("BM-0007"));
    EXPECT_TRUE(current_devices().cards.empty());
}

TEST_F(DeviceEnum, DeviceFilesLoadAndPlugAndABadOneChangesNothing) {
    std::string error;
    EXPECT_FALSE(load_device_file("/nonexistent/devices.json", error));
    EXPECT_NE(error.find("/nonexistent/devices.json"), std::string::npos) << error;
    EXPECT_EQ(monikers(CLSID_VideoInputDeviceCategory).size(), 2u);

    const std::string path = testing::TempDir() + "devices_enum_test.json";
    {
        std::ofstream out(path);
        out << R"({"video": [{"friendly_name": "From File", "pins": [{"category": "capture", "caps": [)"
               R"({"format": "VideoInfo", "subtype": "RGB24", "width": 8, "height": 8}]}]}],)"
               R"( "converters": ["Color Space Converter"]})";
    }
    ASSERT_TRUE(plug_device_file(path, error)) << error;
    EXPECT_EQ(monikers(CLSID_VideoInputDeviceCategory).size(), 3u);
    ASSERT_TRUE(current_devices().converters.has_value());
    EXPECT_EQ(*current_devices().converters, std::vector<std::string>{"Color Space Converter"});
    ASSERT_TRUE(load_device_file(path, error)) << error;
    auto all = monikers(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(all.size(), 1u);
    HRESULT hr = S_OK;
    EXPECT_EQ(read_text(bag_of(all[0].get()).get(), u"FriendlyName", &hr), "From File");
    EXPECT_TRUE(monikers(CLSID_AudioInputDeviceCategory).empty());

    {
        std::ofstream out(path);
        out << R"({"video": [{"friendly_name": "Bad", "pins": []}]})";
    }
    EXPECT_FALSE(load_device_file(path, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(monikers(CLSID_VideoInputDeviceCategory).size(), 1u) << "a bad file changes nothing";
    std::remove(path.c_str());
}

TEST_F(DeviceEnum, FaultsHitTheNamedCallsOnly) {
    auto all = monikers(CLSID_VideoInputDeviceCategory);
    ASSERT_FALSE(all.empty());
    ComPtr<IPropertyBag> bag = bag_of(all[0].get());
    fault_set("IPropertyBag::Read:FriendlyName", 1);
    HRESULT hr = S_OK;
    read_text(bag.get(), u"DevicePath", &hr);
    EXPECT_EQ(hr, S_OK) << "another name is not faulted";
    read_text(bag.get(), u"FriendlyName", &hr);
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(read_text(bag.get(), u"FriendlyName", &hr), "USB Camera") << "one failure only";

    fault_set("IMoniker::BindToObject", 1, E_OUTOFMEMORY);
    void* p = nullptr;
    EXPECT_EQ(all[0]->BindToObject(nullptr, nullptr, IID_IBaseFilter, &p), E_OUTOFMEMORY);
    EXPECT_EQ(p, nullptr);

    fault_set("ICreateDevEnum::CreateClassEnumerator");
    EXPECT_TRUE(monikers(CLSID_VideoInputDeviceCategory).empty());
}

}  // namespace
