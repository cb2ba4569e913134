#include "devices/device_set.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace vorsim {
namespace {

DeviceSet parse_ok(const std::string& text) {
    DeviceSet set;
    std::string error;
    EXPECT_TRUE(parse_device_file(text, set, error)) << error;
    EXPECT_EQ(error, "");
    return set;
}

std::string parse_error(const std::string& text) {
    DeviceSet set;
    std::string error;
    EXPECT_FALSE(parse_device_file(text, set, error)) << "accepted: " << text;
    return error;
}

// One camera with the given pin list, for the error cases.
std::string camera(const std::string& pins, const std::string& extra = "") {
    return R"({"video": [{"friendly_name": "Cam", "pins": )" + pins + extra + "}]}";
}
std::string one_caps(const std::string& caps) { return camera(R"([{"category": "capture", "caps": [)" + caps + "]}]"); }

TEST(SubtypeNames, NamesAndGuids) {
    EXPECT_EQ(subtype_from_name("{773C9AC0-3274-11D0-B724-00AA006C1A01}"), subtype::ARGB32);
    for (const char* bad : {"yuy2", "DVSD", "{30323449-0000-0010-8000-00aa00389b7}", "{30323449-0000-0010-8000x00aa00389b71}",
                            "{3032344G-0000-0010-8000-00aa00389b71}"})
        EXPECT_FALSE(subtype_from_name(bad)) << bad;
    const SubtypeId nv12 = fourcc_subtype(make_fourcc('N', 'V', '1', '2'));
    EXPECT_EQ(subtype_name(nv12), "{3231564E-0000-0010-8000-00AA00389B71}");
    EXPECT_EQ(subtype_from_name(subtype_name(nv12)), nv12);
    EXPECT_EQ(subtype_name(subtype::MJPG), "MJPG");
}

TEST(ParseDeviceFile, DefaultsAndValueForms) {
    const DeviceSet set = parse_ok(one_caps(
        R"({"format": "VideoInfo", "subtype": "RGB24", "width": 320, "height": 240},
           {"format": "VideoInfo", "subtype": "RGB565", "compression": 3, "width": 4, "height": -4},
           {"format": "VideoInfo", "subtype": "{30323449-0000-0010-8000-00AA00389B71}", "width": 8, "height": 8},
           {"format": "MPEG", "subtype": "{E06D8026-DB46-11CF-B4D1-00805F6CBBEA}", "compression": 0, "width": 720, "height": 480, "min_interval": 400000, "standard": 496})"));
    const VideoDevice& d = set.video[0];
    EXPECT_FALSE(d.description);
    EXPECT_FALSE(d.device_path);
    EXPECT_TRUE(d.bag);
    EXPECT_TRUE(d.bind);
    EXPECT_EQ(d.pattern.kind, Pattern::Kind::Bars);
    EXPECT_FALSE(d.crossbar || d.procamp || d.transport || d.property_pages);
    EXPECT_FALSE(set.converters);  // all of them
    const auto& caps = d.pins[0].caps;
    ASSERT_EQ(caps.size(), 4u);
    EXPECT_EQ(caps[0], (VideoCaps{FormatType::VideoInfo, subtype::RGB24, kBiRgb, 320, 240, 333333, 0}));
    EXPECT_EQ(caps[1].compression, kBiBitfields);
    EXPECT_EQ(caps[1].height, -4);
    EXPECT_EQ(caps[2].compression, 0x30323449u);  // the FOURCC of a GUID given in braces
    EXPECT_EQ(caps[3].format, FormatType::Mpeg);
    EXPECT_EQ(caps[3].min_interval, 400000);
    EXPECT_EQ(caps[3].standard, 496u);
    const DeviceSet other = parse_ok(R"({"audio": [{"friendly_name": "Mic"},
        {"friendly_name": "Mic 2", "rate": 48000, "property_pages": 0}], "converters": ["AVI Decompressor"],
        "cards": [{"name": "Card", "id": "BM-7", "modes": [{"name": "PAL", "width": 720, "height": 576}]}]})");
    EXPECT_EQ(other.audio, (std::vector<AudioDevice>{{"Mic", 44100, 2}, {"Mic 2", 48000, 2, 0}}));
    EXPECT_EQ(other.audio[0].property_pages, std::nullopt) << "absent: no ISpecifyPropertyPages";
    EXPECT_EQ(other.converters, std::vector<std::string>{"AVI Decompressor"});
    EXPECT_EQ(other.cards, (std::vector<Card>{{"Card", "BM-7", {{"PAL", 720, 576}}}}));
    const std::string pins = R"([{"category": "capture", "caps": [{"format": "VideoInfo", "subtype": "RGB32", "width": 2, "height": 2}]}])";
    EXPECT_EQ(*parse_ok(camera(pins, R"(, "crossbar": {"inputs": ["A", "B"]})")).video[0].crossbar, (Crossbar{{"A", "B"}, 1, 0, {0, 1}}));
    const DeviceSet s = parse_ok(camera(pins, R"(, "pattern": {"solid": [1, 2, 3, 255]}, "bag": false, "bind": false, "property_pages": 0,
        "procamp": {"gain": {"min": -10, "max": 10, "step": 2, "default": 0, "flags": 1}})"));
    EXPECT_EQ(s.video[0].pattern, (Pattern{Pattern::Kind::Solid, {1, 2, 3, 255}}));
    EXPECT_FALSE(s.video[0].bag || s.video[0].bind);
    EXPECT_EQ(s.video[0].property_pages, 0u);
    EXPECT_EQ((*s.video[0].procamp)[9], (ProcAmpEntry{-10, 10, 2, 0, 1, 0}));
}

TEST(ParseDeviceFile, CapslessPinsShareTheFirstCapsAndKeepTheirOwnCurrent) {
    const DeviceSet set = parse_ok(camera(R"([
        {"category": "still"},
        {"category": "capture", "caps": [
            {"format": "VideoInfo", "subtype": "YUY2", "width": 640, "height": 480},
            {"format": "VideoInfo", "subtype": "RGB32", "width": 320, "height": 240}], "current": 1},
        {"category": "preview", "caps": [{"format": "VideoInfo", "subtype": "RGB24", "width": 160, "height": 120}]},
        {"category": "preview", "current": 0}])"));
    const auto& pins = set.video[0].pins;
    ASSERT_EQ(pins.size(), 4u);
    EXPECT_EQ(pins[0].caps, pins[1].caps);  // the first pin that has caps, even listed later
    EXPECT_EQ(pins[0].current, 0u);
    EXPECT_EQ(pins[1].current, 1u);
    EXPECT_EQ(pins[3].caps, pins[1].caps);  // not the nearer preview pin's
}

// A message ending in "..." only has to start the error.
TEST(ParseDeviceFile, ErrorsNameTheDeviceTheFieldAndWhatWasExpected) {
    const std::string cap = R"({"format": "VideoInfo", "subtype": "RGB32", "width": 8, "height": 8})";
    const std::string pins = R"([{"category": "capture", "caps": [)" + cap + "]}]";
    const std::string cam = R"(video[0] "Cam": )";
    const auto caps_with = [](const std::string& fields) {
        return one_caps(R"({"format": "VideoInfo", "subtype": "RGB32", )" + fields + "}");
    };
    const std::pair<std::string, std::string> cases[] = {
        {R"({"video": [{"description": "Virtual Camera", "pins": [{"category": "capture", "caps": [)" + cap +
             R"(, {"format": "VideoInfo", "subtype": "RGB32", "width": 0, "height": 8}]}]}]})",
         R"(video[0] "Virtual Camera": pins[0].caps[1].width: expected a positive integer)"},
        {"[]", "expected a JSON object at the top level"},
        {"{\n  \"video\": [\n    {,}\n  ]\n}", "not valid JSON: line 3, column 6..."},
        {"", "not valid JSON: line 1, column 1..."},
        {R"({"videos": []})", "videos: unknown field"},
        {R"({"video": [{"friendly_name": 5, "pins": []}]})", "video[0]: friendly_name: expected a string"},
        {R"({"video": [{"device_path": "x"}]})", "video[0]: pins: missing (an array of pins)"},
        {camera(R"([{"category": "preview"}])"), cam + "pins: expected at least one pin with caps"},
        {camera(R"([{"category": "output", "caps": [)" + cap + "]}]"),
         cam + "pins[0].category: expected capture, preview, still, analogvideoin, vbi, videoport or cc"},
        {one_caps(R"({"subtype": "RGB32", "width": 8, "height": 8})"),
         cam + "pins[0].caps[0].format: missing (VideoInfo, VideoInfo2, MPEG or DvInfo)"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "NV12", "width": 8, "height": 8})"),
         cam + "pins[0].caps[0].subtype: expected a subtype name (RGB1, RGB4,..."},
        {caps_with(R"("width": 640.5, "height": 8)"), cam + "pins[0].caps[0].width: expected a positive integer"},
        {caps_with(R"("width": 4294967297, "height": 8)"), cam + "pins[0].caps[0].width: expected a positive integer"},
        {caps_with(R"("width": 8, "height": 0)"), cam + "pins[0].caps[0].height: expected a non-zero integer"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "YUY2", "width": 7, "height": 8})"),
         cam + "pins[0].caps[0].width: expected an even width for YUY2"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "I420", "width": 8, "height": -7})"),
         cam + "pins[0].caps[0].height: expected an even height for I420"},
        {caps_with(R"("compression": -1, "width": 8, "height": 8)"),
         cam + "pins[0].caps[0].compression: expected a four-character code or a number from 0 to 4294967295"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "{E06D8026-DB46-11CF-B4D1-00805F6CBBEA}", "width": 8, "height": 8})"),
         cam + "pins[0].caps[0].compression: missing (needed for a subtype without a FOURCC)"},
        {caps_with(R"("width": 8, "height": 8, "min_interval": -1)"),
         cam + "pins[0].caps[0].min_interval: expected an integer from 0 (100-ns units)"},
        {camera(R"([{"category": "capture", "caps": [)" + cap + R"(]}, {"category": "preview", "current": 1}])"),
         cam + "pins[1].current: expected an index into caps (0 to 0)"},
        {camera(R"([{"category": "capture", "interleaved": true, "caps": [{"format": "DvInfo", "subtype": "dvsd", "width": 720, "height": 480}, )" + cap + "]}]"),
         cam + "pins[0].caps[1].subtype: expected dvsd on an interleaved pin"},
        {camera(R"([{"category": "preview", "interleaved": true}])"), cam + "pins[0].interleaved: only a capture pin can be interleaved"},
        {camera(pins, R"(, "pattern": {"solid": [1, 2, 256, 4]})"), cam + "pattern.solid[2]: expected an integer from 0 to 255"},
        {camera(pins, R"(, "crossbar": {"inputs": ["A"], "routed": 1})"),
         cam + "crossbar.routed: expected an input index (0 to 0) or -1 for none"},
        {camera(pins, R"(, "procamp": {"hue": {"min": 0, "max": 10, "step": 1, "default": 5, "flags": 2, "value": -1}})"),
         cam + "procamp.hue.value: expected an integer from 0 to 10"},
        {camera(pins, R"(, "procamp": {"hue": {"min": 10, "max": 0, "step": 1, "default": 5, "flags": 2}})"),
         cam + "procamp.hue.max: expected an integer not below min"},
        {camera(pins, R"(, "transport": {})"), cam + "transport.input_signal: missing (an integer)"},
        {camera(pins, R"(, "bag": "yes")"), cam + "bag: expected true or false"},
        {R"({"audio": [{"friendly_name": "Mic", "rate": -1}]})", R"(audio[0] "Mic": rate: expected a positive integer)"},
        {R"({"audio": [{"friendly_name": "Mic", "property_pages": -1}]})",
         R"(audio[0] "Mic": property_pages: expected a non-negative integer)"},
        {R"({"cards": [{"name": "Card", "id": "XX-1", "modes": []}]})", R"(cards[0] "Card": id: expected a string beginning with "BM-")"},
        {R"({"cards": [{"name": "A", "id": "BM-1", "modes": []}, {"name": "B", "id": "BM-1", "modes": []}]})",
         R"(cards[1] "B": id: "BM-1" is already used by another card)"},
        {R"({"converters": ["AVI Decompressor", "Bogus"]})",
         R"(converters[1]: expected one of "AVI Decompressor", "Color Space Converter", "MJPEG Decompressor", "DV Splitter", "DV Video Decoder")"},
    };
    for (const auto& [text, message] : cases) {
        const std::string e = parse_error(text);
        if (message.ends_with("..."))
            EXPECT_EQ(e.substr(0, message.size() - 3), message.substr(0, message.size() - 3)) << text;
        else
            EXPECT_EQ(e, message) << text;
    }
}

TEST(ParseDeviceFile, AReasonIsOneLineWhateverTheNamesItQuotesHold) {
    // Names and keys from the file keep their control characters escaped.
    EXPECT_EQ(parse_error(R"({"video": [{"friendly_name": "Cam\r\nTwo\t\u0001", "pins": []}]})"),
              R"(video[0] "Cam\r\nTwo\t\u0001": pins: expected at least one pin)");
    EXPECT_EQ(parse_error(R"({"video": [{"friendly\name": "Cam"}]})"), R"(video[0]: friendly\name: unknown field)");
    EXPECT_EQ(parse_error(R"({"cards": [{"name": "A\u007f", "id": "BM-1\n", "modes": []},
                                        {"name": "B", "id": "BM-1\n", "modes": []}]})"),
              R"(cards[1] "B": id: "BM-1\n" is already used by another card)");
}

TEST(ParseDeviceFile, FailureLeavesTheSetUntouched) {
    DeviceSet set = default_devices();
    const DeviceSet before = set;
    std::string error;
    // Valid up to the last device.
    EXPECT_FALSE(parse_device_file(R"({"audio": [{"friendly_name": "Mic"}], "cards": [{"name": "C", "id": "B-1", "modes": []}]})",
                                   set, error));
    EXPECT_EQ(set, before);
    EXPECT_TRUE(parse_device_file("{}", set, error));  // success replaces everything
    EXPECT_EQ(set, DeviceSet{});
}

TEST(DefaultDevices, EqualsTheExampleFile) {
    std::ifstream in(std::string(VOR_SOURCE_DIR) + "/examples/devices/default.json");
    std::ostringstream text;
    text << in.rdbuf();
    const DeviceSet def = default_devices();
    EXPECT_EQ(parse_ok(text.str()), def);
    ASSERT_EQ(def.video.size(), 3u);
    EXPECT_EQ(device_label(def.video[0]), "Virtual Camera");
    EXPECT_EQ(device_label(def.video[1]), "Virtual DV Camcorder");
    EXPECT_TRUE(def.video[1].pins[0].interleaved);
    EXPECT_TRUE(def.video[2].crossbar && def.video[2].procamp);
    ASSERT_EQ(def.cards.size(), 1u);
    EXPECT_EQ(def.cards[0].id, "BM-0001");
}

}  // namespace
}  // namespace vorsim
