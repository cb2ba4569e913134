// The capture filter's controls: image amplifier, TV decoder, DV transport,
// property pages, misc flags; and the analog crossbar.
#include <gtest/gtest.h>

#include "capture_filter.h"
#include "crossbar.h"
#include "devices_fixture.h"

namespace {

using namespace vorsim;
using namespace vorsim_test;

class DeviceControls : public DeviceTest {
protected:
    void SetUp() override {
        DeviceSet set;
        VideoDevice tv = make_camera("TV Card", {make_caps(FormatType::VideoInfo, subtype::UYVY, 720, 576, 400000, 0x10),
                                                 make_caps(FormatType::VideoInfo, subtype::UYVY, 720, 480, 333667, 0x1)});
        tv.crossbar = vorsim::Crossbar{{"Video Tuner", "Video Composite", "Video SVideo", "Audio Line"}, 2, 1, {1, 2}};
        ProcAmp amp;
        amp[VideoProcAmp_Brightness] = ProcAmpEntry{-64, 64, 2, 0, 3, 10};
        amp[VideoProcAmp_Gain] = ProcAmpEntry{0, 100, 1, 20, 2, 20};
        tv.procamp = amp;
        tv.property_pages = 3;
        VideoDevice dv = make_camera("DV", {make_caps(FormatType::DvInfo, subtype::dvsd, 720, 480, 333667)});
        dv.pins[0].interleaved = true;
        dv.transport = Transport{5040};
        set.video = {tv, dv};
        install(set);
        auto all = monikers(CLSID_VideoInputDeviceCategory);
        ASSERT_EQ(all.size(), 2u);
        card = bind(all[0].get());
        camcorder = bind(all[1].get());
        ASSERT_TRUE(card && camcorder);
    }
    void TearDown() override {
        if (card) {
            EXPECT_EQ(card.detach()->Release(), 0u);
        }
        if (camcorder) {
            EXPECT_EQ(camcorder.detach()->Release(), 0u);
        }
        DeviceTest::TearDown();
    }

    ComPtr<IBaseFilter> card;
    ComPtr<IBaseFilter> camcorder;
};

TEST_F(DeviceControls, InterfacesFollowTheDeviceFile) {
    expect_interfaces(card.get(),
                      {&IID_IBaseFilter, &IID_IAMFilterMiscFlags, &IID_IAMVideoProcAmp, &IID_IAMAnalogVideoDecoder,
                       &IID_ISpecifyPropertyPages},
                      {&IID_IAMExtTransport, &IID_IAMStreamConfig, &IID_IAMCrossbar});
    expect_interfaces(camcorder.get(), {&IID_IBaseFilter, &IID_IAMFilterMiscFlags, &IID_IAMExtTransport},
                      {&IID_IAMVideoProcAmp, &IID_IAMAnalogVideoDecoder, &IID_ISpecifyPropertyPages});
    EXPECT_EQ(query<IAMFilterMiscFlags>(card.get(), IID_IAMFilterMiscFlags)->GetMiscFlags(),
              static_cast<ULONG>(AM_FILTER_MISC_FLAGS_IS_SOURCE));
}

TEST_F(DeviceControls, ProcAmpRangesValuesAndModes) {
    auto amp = query<IAMVideoProcAmp>(card.get(), IID_IAMVideoProcAmp);
    LONG min = 0, max = 0, step = 0, def = 0, caps = 0;
    ASSERT_EQ(amp->GetRange(VideoProcAmp_Brightness, &min, &max, &step, &def, &caps), S_OK);
    EXPECT_EQ(min, -64);
    EXPECT_EQ(max, 64);
    EXPECT_EQ(step, 2);
    EXPECT_EQ(def, 0);
    EXPECT_EQ(caps, 3);
    EXPECT_EQ(amp->GetRange(VideoProcAmp_Contrast, &min, &max, &step, &def, &caps), E_PROP_ID_UNSUPPORTED);

    LONG value = 0, flags = 0;
    ASSERT_EQ(amp->Get(VideoProcAmp_Brightness, &value, &flags), S_OK);
    EXPECT_EQ(value, 10);
    EXPECT_EQ(flags, VideoProcAmp_Flags_Manual);
    EXPECT_EQ(amp->Set(VideoProcAmp_Brightness, -30, VideoProcAmp_Flags_Manual), S_OK);
    EXPECT_EQ(amp->Set(VideoProcAmp_Brightness, 65, VideoProcAmp_Flags_Manual), E_INVALIDARG) << "above max";
    ASSERT_EQ(amp->Get(VideoProcAmp_Brightness, &value, &flags), S_OK);
    EXPECT_EQ(value, -30);
    EXPECT_EQ(amp->Set(VideoProcAmp_Brightness, 9999, VideoProcAmp_Flags_Auto), S_OK) << "auto ignores the value";
    ASSERT_EQ(amp->Get(VideoProcAmp_Brightness, &value, &flags), S_OK);
    EXPECT_EQ(flags, VideoProcAmp_Flags_Auto);
    EXPECT_EQ(value, 0) << "under automatic control the device settles on its default";
    // Both modes at once (capability flags passed back): automatic wins.
    EXPECT_EQ(amp->Set(VideoProcAmp_Brightness, 20, VideoProcAmp_Flags_Manual), S_OK);
    EXPECT_EQ(amp->Set(VideoProcAmp_Brightness, 40, 3), S_OK);
    ASSERT_EQ(amp->Get(VideoProcAmp_Brightness, &value, &flags), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(flags, 3);
    EXPECT_EQ(amp->Set(VideoProcAmp_Brightness, 0, 4), E_INVALIDARG) << "not a control mode";
    EXPECT_EQ(amp->Set(VideoProcAmp_Gain, 50, VideoProcAmp_Flags_Auto), E_INVALIDARG) << "gain is manual only";
    EXPECT_EQ(amp->Set(VideoProcAmp_Gain, 50, 3), E_INVALIDARG) << "nor does both mean manual";
    EXPECT_EQ(amp->Set(VideoProcAmp_Hue, 0, VideoProcAmp_Flags_Manual), E_PROP_ID_UNSUPPORTED);
}

TEST_F(DeviceControls, AnalogDecoderTakesOnlyAStandardOfTheCaps) {
    auto dec = query<IAMAnalogVideoDecoder>(card.get(), IID_IAMAnalogVideoDecoder);
    LONG now = 0;
    ASSERT_EQ(dec->get_TVFormat(&now), S_OK);
    EXPECT_EQ(now, AnalogVideo_PAL_B) << "the current caps entry's standard";
    EXPECT_EQ(dec->put_TVFormat(AnalogVideo_NTSC_M), S_OK);
    ASSERT_EQ(dec->get_TVFormat(&now), S_OK);
    EXPECT_EQ(now, AnalogVideo_NTSC_M);
    EXPECT_EQ(dec->put_TVFormat(AnalogVideo_SECAM_L), E_INVALIDARG) << "not available";
    EXPECT_EQ(dec->put_TVFormat(AnalogVideo_PAL_B | AnalogVideo_NTSC_M), E_INVALIDARG) << "a mask is no standard";
}

TEST_F(DeviceControls, TransportReportsTheInputSignal) {
    auto transport = query<IAMExtTransport>(camcorder.get(), IID_IAMExtTransport);
    LONG value = 0;
    LPOLESTR data = reinterpret_cast<LPOLESTR>(0x1);
    ASSERT_EQ(transport->GetTransportBasicParameters(ED_TRANSBASIC_INPUT_SIGNAL, &value, &data), S_OK);
    EXPECT_EQ(value, ED_TRANSBASIC_SIGNAL_625_50_SD);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(transport->GetTransportBasicParameters(ED_TRANSBASIC_INPUT_SIGNAL, &value, nullptr), S_OK);

    // A driver that answers with a Win32 code: "success" that is not S_OK.
    DeviceSet set;
    VideoDevice dv = make_camera("Timing Out", {make_caps(FormatType::DvInfo, subtype::dvsd, 720, 480, 333667)});
    dv.pins[0].interleaved = true;
    dv.transport = Transport{ERROR_TIMEOUT};
    set.video = {dv};
    plug_devices(set);
    auto all = monikers(CLSID_VideoInputDeviceCategory);
    ASSERT_EQ(all.size(), 3u);
    ComPtr<IBaseFilter> f = bind(all[2].get());
    auto t2 = query<IAMExtTransport>(f.get(), IID_IAMExtTransport);
    value = 0;
    const HRESULT hr = t2->GetTransportBasicParameters(ED_TRANSBASIC_INPUT_SIGNAL, &value, nullptr);
    EXPECT_EQ(hr, static_cast<HRESULT>(ERROR_TIMEOUT));
    EXPECT_TRUE(SUCCEEDED(hr));
    EXPECT_EQ(value, 0) << "no value with the error";
}

TEST_F(DeviceControls, PropertyPagesInTheStandardOrder) {
    auto pages = query<ISpecifyPropertyPages>(card.get(), IID_ISpecifyPropertyPages);
    CAUUID list{};
    ASSERT_EQ(pages->GetPages(&list), S_OK);
    ASSERT_EQ(list.cElems, 3u);
    EXPECT_EQ(list.pElems[0], CLSID_VideoProcAmpPropertyPage);
    EXPECT_EQ(list.pElems[1], CLSID_CameraControlPropertyPage);
    EXPECT_EQ(list.pElems[2], CLSID_AnalogVideoDecoderPropertyPage);
    CoTaskMemFree(list.pElems);
    EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);
}

class CrossbarFilter : public DeviceControls {
protected:
    void SetUp() override {
        DeviceControls::SetUp();
        auto* core = dynamic_cast<FilterCore*>(card.get());
        ASSERT_NE(core, nullptr);
        auto supporting = core->supporting_filters();
        ASSERT_EQ(supporting.size(), 1u);
        EXPECT_EQ(supporting[0].name, u"Analog Video Crossbar");
        xbar_filter = supporting[0].filter;
        xbar = query<IAMCrossbar>(xbar_filter.get(), IID_IAMCrossbar);
    }
    void TearDown() override {
        xbar.reset();
        if (xbar_filter) {
            ComPtr<IPin> out = pin(xbar_filter.get(), u"Video Decoder Out");
            ComPtr<IPin> in = pin(card.get(), u"Analog Video In");
            out->Disconnect();
            in->Disconnect();
            xbar_filter.reset();
        }
        DeviceControls::TearDown();
    }

    ComPtr<IBaseFilter> xbar_filter;
    ComPtr<IAMCrossbar> xbar;
};

TEST_F(CrossbarFilter, RoutingFollowsTheRoutableList) {
    LONG in = -5;
    ASSERT_EQ(xbar->get_IsRoutedTo(0, &in), S_OK);
    EXPECT_EQ(in, 1);
    EXPECT_EQ(xbar->CanRoute(0, 2), S_OK);
    EXPECT_EQ(xbar->CanRoute(0, 0), S_FALSE) << "the tuner is not routable here";
    EXPECT_EQ(xbar->Route(0, 0), S_FALSE);
    EXPECT_EQ(xbar->Route(0, 2), S_OK);
    ASSERT_EQ(xbar->get_IsRoutedTo(0, &in), S_OK);
    EXPECT_EQ(in, 2);
    EXPECT_EQ(xbar->get_IsRoutedTo(1, &in), S_FALSE) << "output 1 is unrouted";
    EXPECT_EQ(in, -1);
    EXPECT_EQ(xbar->Route(0, 7), E_INVALIDARG);
    EXPECT_EQ(xbar->get_IsRoutedTo(0, nullptr), E_POINTER);
}

TEST_F(CrossbarFilter, ConnectsToTheAnalogInputAndIsNoLongerNeededThen) {
    ComPtr<IPin> in = pin(card.get(), u"Analog Video In");
    PIN_DIRECTION d;
    ASSERT_EQ(in->QueryDirection(&d), S_OK);
    EXPECT_EQ(d, PINDIR_INPUT);
    auto ks = query<IKsPropertySet>(in.get(), IID_IKsPropertySet);
    GUID category{};
    DWORD returned = 0;
    ASSERT_EQ(ks->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category, &returned), S_OK);
    EXPECT_EQ(category, PIN_CATEGORY_ANALOGVIDEOIN);

    ComPtr<IPin> out = pin(xbar_filter.get(), u"Video Decoder Out");
    ASSERT_EQ(out->Connect(in.get(), nullptr), S_OK);
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(in->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.majortype, MEDIATYPE_AnalogVideo);
    FreeMediaType(mt);
    EXPECT_TRUE(dynamic_cast<FilterCore*>(card.get())->supporting_filters().empty());
}

}  // namespace
