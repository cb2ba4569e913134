// The audio capture filter's property pages, and OleCreatePropertyFrame
// naming the device whose filter a dialog is for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices_fixture.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;

// The system's CLSID_AudioInputMixerProperties.
constexpr CLSID kAudioInputMixerPage = {0x2ca8ca52, 0x3c3f, 0x11d2, {0xb7, 0x3d, 0x00, 0xc0, 0x4f, 0xb6, 0xbd, 0x3d}};

class DevicePages : public DeviceTest {
protected:
    void SetUp() override {
        DeviceSet set;
        VideoDevice both = make_camera("Friendly Cam", {make_caps(FormatType::VideoInfo, subtype::RGB24, 64, 48)});
        both.description = "Described Cam";
        VideoDevice described = both;
        described.friendly_name.reset();
        set.video = {both, described};
        set.audio = {AudioDevice{"No Pages"}, AudioDevice{"Zero Pages", 44100, 2, 0},
                     AudioDevice{"Four Pages", 44100, 2, 4}};
        install(set);
        for (auto& m : monikers(CLSID_VideoInputDeviceCategory)) video.push_back(bind(m.get()));
        for (auto& m : monikers(CLSID_AudioInputDeviceCategory)) audio.push_back(bind(m.get()));
        ASSERT_EQ(video.size(), 2u);
        ASSERT_EQ(audio.size(), 3u);
    }
    void TearDown() override {
        property_frame_handler_set({});
        video.clear();
        audio.clear();
        DeviceTest::TearDown();
    }

    std::vector<ComPtr<IBaseFilter>> video, audio;
};

TEST_F(DevicePages, AudioFilterOffersTheMixerPageWhenTheDeviceHasPages) {
    ComPtr<ISpecifyPropertyPages> none;
    EXPECT_EQ(audio[0]->QueryInterface(IID_ISpecifyPropertyPages, none.put_void()), E_NOINTERFACE);

    CAUUID list{};
    ASSERT_EQ(query<ISpecifyPropertyPages>(audio[1].get(), IID_ISpecifyPropertyPages)->GetPages(&list), S_OK);
    EXPECT_EQ(list.cElems, 0u);
    EXPECT_EQ(list.pElems, nullptr);

    auto pages = query<ISpecifyPropertyPages>(audio[2].get(), IID_ISpecifyPropertyPages);
    ASSERT_EQ(pages->GetPages(&list), S_OK);
    ASSERT_EQ(list.cElems, 1u) << "four asked for: the one page there is";
    EXPECT_EQ(list.pElems[0], kAudioInputMixerPage);
    CoTaskMemFree(list.pElems);
    fault_set("ISpecifyPropertyPages::GetPages", 1);
    EXPECT_EQ(pages->GetPages(&list), E_FAIL);
    EXPECT_EQ(list.cElems, 0u);
}

TEST_F(DevicePages, DialogNamesTheDeviceOfItsFirstObject) {
    std::vector<std::string> names;
    property_frame_handler_set([&names](const PropertyFrameCall& call) {
        names.push_back(call.device_name);
        return S_OK;
    });
    ComPtr<IPin> capture_pin = pin(video[0].get(), u"Capture");
    const std::vector<std::vector<IUnknown*>> dialogs = {
        {video[0].get()}, {video[1].get()}, {audio[2].get()},
        {capture_pin.get()},              // a part of a device filter, not the filter
        {capture_pin.get(), video[0].get()},  // only the first object counts
        {}};
    for (std::vector<IUnknown*> objects : dialogs)
        EXPECT_EQ(OleCreatePropertyFrame(nullptr, 0, 0, nullptr, static_cast<ULONG>(objects.size()), objects.data(), 0,
                                         nullptr, 0, 0, nullptr),
                  S_OK);
    EXPECT_EQ(names, (std::vector<std::string>{"Friendly Cam", "Described Cam", "Four Pages", "", "", ""}));
}

}  // namespace
