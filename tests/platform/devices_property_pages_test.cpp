// OleCreatePropertyFrame naming the device whose filter a dialog is for (the
// audio filter's pages are the shell's controls-pages transcript's).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices_fixture.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;

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
