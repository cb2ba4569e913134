#include "devices/device_set.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace vorsim {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// The example of docs/vorhost.md, "The virtual device file".
const char* const kDocExample = R"json({
  "video": [
    {
      "description": "Virtual Camera",
      "friendly_name": "Virtual Camera",
      "device_path": "\\\\?\\usb#vid_1d6b&pid_0102&mi_00#6&1c2b3a4d&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global",
      "bag": true,
      "bind": true,
      "pins": [
        { "category": "capture", "interleaved": false,
          "caps": [
            { "format": "VideoInfo", "subtype": "YUY2", "compression": "YUY2",
              "width": 640, "height": 480, "min_interval": 333333, "standard": 0 },
            { "format": "VideoInfo2", "subtype": "MJPG", "width": 1280, "height": 720 }
          ],
          "current": 0 },
        { "category": "preview" }
      ],
      "pattern": "ramp",
      "crossbar": { "inputs": ["Video Tuner", "Video Composite", "Video SVideo"],
                    "outputs": 2, "routed": 1, "routable": [0, 1, 2] },
      "procamp": { "brightness": { "min": 0, "max": 255, "step": 1, "default": 128, "flags": 3, "value": 128 } },
      "transport": { "input_signal": 5040 },
      "property_pages": 2
    }
  ],
  "audio": [ { "friendly_name": "Virtual Microphone", "rate": 44100, "channels": 2 } ],
  "cards": [ { "name": "Virtual Card", "id": "BM-0001",
               "modes": [ { "name": "NTSC", "width": 720, "height": 486 } ] } ],
  "converters": ["Color Space Converter", "AVI Decompressor"]
})json";

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
    EXPECT_EQ(subtype_from_name("YUY2"), subtype::YUY2);
    EXPECT_EQ(subtype_from_name("dvsd"), subtype::dvsd);
    EXPECT_EQ(subtype_from_name("RGB565"), subtype::RGB565);
    EXPECT_EQ(subtype_from_name("{30323449-0000-0010-8000-00aa00389b71}"), subtype::I420);
    EXPECT_EQ(subtype_from_name("{E436EB7E-524F-11CE-9F53-0020AF0BA770}"), subtype::RGB32);
    EXPECT_EQ(subtype_from_name("{773C9AC0-3274-11D0-B724-00AA006C1A01}"), subtype::ARGB32);
    EXPECT_FALSE(subtype_from_name("yuy2"));
    EXPECT_FALSE(subtype_from_name("DVSD"));
    EXPECT_FALSE(subtype_from_name("{30323449-0000-0010-8000-00aa00389b7}"));
    EXPECT_FALSE(subtype_from_name("{30323449-0000-0010-8000x00aa00389b71}"));
    EXPECT_FALSE(subtype_from_name("{3032344G-0000-0010-8000-00aa00389b71}"));
    EXPECT_EQ(subtype_name(subtype::MJPG), "MJPG");
    const SubtypeId nv12 = fourcc_subtype(make_fourcc('N', 'V', '1', '2'));
    EXPECT_EQ(nv12.d1, 0x3231564Eu);
    EXPECT_EQ(subtype_name(nv12), "{3231564E-0000-0010-8000-00AA00389B71}");
    EXPECT_EQ(subtype_from_name(subtype_name(nv12)), nv12);
    EXPECT_EQ(subtype::YUY2.d1, 0x32595559u);
    EXPECT_EQ(subtype::UYVY.d1, 0x59565955u);
    EXPECT_TRUE(is_rgb_subtype(subtype::ARGB32));
    EXPECT_FALSE(is_rgb_subtype(subtype::UYVY));
    EXPECT_TRUE(has_fourcc(subtype::I420));
    EXPECT_FALSE(has_fourcc(subtype::RGB24));
}

TEST(ParseDeviceFile, TheDocumentedExample) {
    const DeviceSet set = parse_ok(kDocExample);
    ASSERT_EQ(set.video.size(), 1u);
    const VideoDevice& d = set.video[0];
    EXPECT_EQ(d.description, "Virtual Camera");
    EXPECT_EQ(d.friendly_name, "Virtual Camera");
    EXPECT_EQ(d.device_path,
              "\\\\?\\usb#vid_1d6b&pid_0102&mi_00#6&1c2b3a4d&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global");
    EXPECT_TRUE(d.bag);
    EXPECT_TRUE(d.bind);
    ASSERT_EQ(d.pins.size(), 2u);
    const VideoPin& cap = d.pins[0];
    EXPECT_EQ(cap.category, PinCategory::Capture);
    EXPECT_FALSE(cap.interleaved);
    ASSERT_EQ(cap.caps.size(), 2u);
    EXPECT_EQ(cap.caps[0], (VideoCaps{FormatType::VideoInfo, subtype::YUY2, 0x32595559, 640, 480, 333333, 0}));
    EXPECT_EQ(cap.caps[1], (VideoCaps{FormatType::VideoInfo2, subtype::MJPG, 0x47504A4D, 1280, 720, 333333, 0}));
    EXPECT_EQ(d.pins[1].category, PinCategory::Preview);
    EXPECT_EQ(d.pins[1].caps, cap.caps);
    EXPECT_EQ(d.pins[1].current, 0u);
    EXPECT_EQ(d.pattern.kind, Pattern::Kind::Ramp);
    ASSERT_TRUE(d.crossbar);
    EXPECT_EQ(*d.crossbar, (Crossbar{{"Video Tuner", "Video Composite", "Video SVideo"}, 2, 1, {0, 1, 2}}));
    ASSERT_TRUE(d.procamp);
    EXPECT_EQ((*d.procamp)[0], (ProcAmpEntry{0, 255, 1, 128, 3, 128}));
    for (size_t i = 1; i < kProcAmpCount; ++i) EXPECT_FALSE((*d.procamp)[i]) << procamp_name(i);
    ASSERT_TRUE(d.transport);
    EXPECT_EQ(d.transport->input_signal, 5040);
    EXPECT_EQ(d.property_pages, 2u);
    EXPECT_EQ(set.audio, (std::vector<AudioDevice>{{"Virtual Microphone", 44100, 2}}));
    EXPECT_EQ(set.cards, (std::vector<Card>{{"Virtual Card", "BM-0001", {{"NTSC", 720, 486}}}}));
    EXPECT_EQ(set.converters, (std::vector<std::string>{"Color Space Converter", "AVI Decompressor"}));
}

TEST(ParseDeviceFile, Defaults) {
    const DeviceSet set = parse_ok(one_caps(R"({"format": "VideoInfo", "subtype": "RGB24", "width": 320, "height": 240})"));
    const VideoDevice& d = set.video[0];
    EXPECT_FALSE(d.description);
    EXPECT_EQ(d.friendly_name, "Cam");
    EXPECT_FALSE(d.device_path);
    EXPECT_TRUE(d.bag);
    EXPECT_TRUE(d.bind);
    EXPECT_EQ(d.pattern, Pattern{});
    EXPECT_EQ(d.pattern.kind, Pattern::Kind::Bars);
    EXPECT_FALSE(d.crossbar);
    EXPECT_FALSE(d.procamp);
    EXPECT_FALSE(d.transport);
    EXPECT_FALSE(d.property_pages);
    EXPECT_EQ(d.pins[0].caps[0].compression, kBiRgb);
    EXPECT_EQ(d.pins[0].caps[0].min_interval, 333333);
    EXPECT_EQ(d.pins[0].caps[0].standard, 0u);
    EXPECT_EQ(d.pins[0].current, 0u);
    EXPECT_TRUE(set.audio.empty());
    EXPECT_TRUE(set.cards.empty());
    EXPECT_FALSE(set.converters);  // all of them

    const DeviceSet empty = parse_ok("{}");
    EXPECT_TRUE(empty.video.empty());
    const DeviceSet audio = parse_ok(R"({"audio": [{"friendly_name": "Mic"}]})");
    EXPECT_EQ(audio.audio, (std::vector<AudioDevice>{{"Mic", 44100, 2}}));
    const DeviceSet cross = parse_ok(camera(R"([{"category": "capture", "caps": [{"format": "VideoInfo", "subtype": "UYVY", "width": 720, "height": 480}]}])",
                                            R"(, "crossbar": {"inputs": ["A", "B"]})"));
    EXPECT_EQ(*cross.video[0].crossbar, (Crossbar{{"A", "B"}, 1, 0, {0, 1}}));
}

TEST(ParseDeviceFile, CompressionAndSubtypeForms) {
    const DeviceSet set = parse_ok(one_caps(
        R"({"format": "VideoInfo", "subtype": "RGB565", "compression": 3, "width": 4, "height": -4},
           {"format": "DvInfo", "subtype": "dvsd", "compression": "dvsd", "width": 720, "height": 480},
           {"format": "VideoInfo", "subtype": "{30323449-0000-0010-8000-00AA00389B71}", "width": 8, "height": 8},
           {"format": "MPEG", "subtype": "{E06D8026-DB46-11CF-B4D1-00805F6CBBEA}", "compression": 0, "width": 720, "height": 480, "min_interval": 400000, "standard": 496})"));
    const auto& caps = set.video[0].pins[0].caps;
    ASSERT_EQ(caps.size(), 4u);
    EXPECT_EQ(caps[0].compression, kBiBitfields);
    EXPECT_EQ(caps[0].height, -4);
    EXPECT_EQ(caps[1].compression, 0x64737664u);
    EXPECT_EQ(caps[2].subtype, subtype::I420);
    EXPECT_EQ(caps[2].compression, 0x30323449u);  // the FOURCC of a GUID given in braces
    EXPECT_EQ(caps[3].format, FormatType::Mpeg);
    EXPECT_EQ(subtype_name(caps[3].subtype), "{E06D8026-DB46-11CF-B4D1-00805F6CBBEA}");
    EXPECT_EQ(caps[3].min_interval, 400000);
    EXPECT_EQ(caps[3].standard, 496u);
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
    EXPECT_EQ(pins[0].category, PinCategory::Still);
    EXPECT_EQ(pins[0].caps, pins[1].caps);  // the first pin that has caps, even listed later
    EXPECT_EQ(pins[0].current, 0u);
    EXPECT_EQ(pins[1].current, 1u);
    EXPECT_EQ(pins[2].caps.size(), 1u);
    EXPECT_EQ(pins[3].caps, pins[1].caps);  // not the nearer preview pin's
}

TEST(ParseDeviceFile, PatternsAndFlags) {
    const std::string pins = R"([{"category": "capture", "caps": [{"format": "VideoInfo", "subtype": "RGB32", "width": 2, "height": 2}]}])";
    const DeviceSet s = parse_ok(camera(pins, R"(, "pattern": {"solid": [1, 2, 3, 255]}, "bag": false, "bind": false, "property_pages": 0)"));
    EXPECT_EQ(s.video[0].pattern, (Pattern{Pattern::Kind::Solid, {1, 2, 3, 255}}));
    EXPECT_FALSE(s.video[0].bag);
    EXPECT_FALSE(s.video[0].bind);
    EXPECT_EQ(s.video[0].property_pages, 0u);
    EXPECT_EQ(parse_ok(camera(pins, R"(, "pattern": "bars")")).video[0].pattern.kind, Pattern::Kind::Bars);
    const DeviceSet p = parse_ok(camera(pins, R"(, "procamp": {}, "transport": {"input_signal": 5038})"));
    ASSERT_TRUE(p.video[0].procamp);
    for (size_t i = 0; i < kProcAmpCount; ++i) EXPECT_FALSE((*p.video[0].procamp)[i]);
    EXPECT_EQ(p.video[0].transport->input_signal, 5038);
    const DeviceSet g = parse_ok(camera(pins, R"(, "procamp": {"gain": {"min": -10, "max": 10, "step": 2, "default": 0, "flags": 1}})"));
    EXPECT_EQ((*g.video[0].procamp)[9], (ProcAmpEntry{-10, 10, 2, 0, 1, 0}));
}

TEST(ParseDeviceFile, ErrorsNameTheDeviceTheFieldAndWhatWasExpected) {
    const std::string cap = R"({"format": "VideoInfo", "subtype": "RGB32", "width": 8, "height": 8})";
    const std::string pins = R"([{"category": "capture", "caps": [)" + cap + "]}]";
    struct Case {
        std::string text, message;
    };
    const Case cases[] = {
        {R"({"video": [{"description": "Virtual Camera", "pins": [{"category": "capture", "caps": [)" + cap +
             R"(, {"format": "VideoInfo", "subtype": "RGB32", "width": 0, "height": 8}]}]}]})",
         R"(video[0] "Virtual Camera": pins[0].caps[1].width: expected a positive integer)"},
        {"[]", "expected a JSON object at the top level"},
        {R"({"videos": []})", "videos: unknown field"},
        {R"({"video": {}})", "video: expected an array"},
        {R"({"video": [5]})", "video[0]: expected an object"},
        {R"({"video": [{"friendly_name": 5, "pins": []}]})", "video[0]: friendly_name: expected a string"},
        {R"({"video": [{"device_path": "x"}]})", "video[0]: pins: missing (an array of pins)"},
        {camera("[]"), R"(video[0] "Cam": pins: expected at least one pin)"},
        {camera(R"([{"category": "preview"}])"), R"(video[0] "Cam": pins: expected at least one pin with caps)"},
        {camera(R"([{"category": "capture", "caps": []}])"),
         R"(video[0] "Cam": pins[0].caps: expected at least one entry (leave caps out to share another pin's))"},
        {camera(R"([{"category": "output", "caps": [)" + cap + "]}]"),
         R"(video[0] "Cam": pins[0].category: expected capture, preview, still, analogvideoin, vbi, videoport or cc)"},
        {camera(R"([{"category": "capture", "cap": []}])"), R"(video[0] "Cam": pins[0].cap: unknown field)"},
        {one_caps(R"({"format": "VideoInfo3", "subtype": "RGB32", "width": 8, "height": 8})"),
         R"(video[0] "Cam": pins[0].caps[0].format: expected VideoInfo, VideoInfo2, MPEG or DvInfo)"},
        {one_caps(R"({"subtype": "RGB32", "width": 8, "height": 8})"),
         R"(video[0] "Cam": pins[0].caps[0].format: missing (VideoInfo, VideoInfo2, MPEG or DvInfo))"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "RGB32", "width": 640.5, "height": 8})"),
         R"(video[0] "Cam": pins[0].caps[0].width: expected a positive integer)"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "RGB32", "width": "640", "height": 8})"),
         R"(video[0] "Cam": pins[0].caps[0].width: expected a positive integer)"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "RGB32", "width": 4294967297, "height": 8})"),
         R"(video[0] "Cam": pins[0].caps[0].width: expected a positive integer)"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "RGB32", "width": 8, "height": 0})"),
         R"(video[0] "Cam": pins[0].caps[0].height: expected a non-zero integer)"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "YUY2", "width": 7, "height": 8})"),
         R"(video[0] "Cam": pins[0].caps[0].width: expected an even width for YUY2)"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "I420", "width": 8, "height": -7})"),
         R"(video[0] "Cam": pins[0].caps[0].height: expected an even height for I420)"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "RGB32", "compression": "ABCDE", "width": 8, "height": 8})"),
         R"(video[0] "Cam": pins[0].caps[0].compression: expected a four-character code or a number from 0 to 4294967295)"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "RGB32", "compression": -1, "width": 8, "height": 8})"),
         R"(video[0] "Cam": pins[0].caps[0].compression: expected a four-character code or a number from 0 to 4294967295)"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "{E06D8026-DB46-11CF-B4D1-00805F6CBBEA}", "width": 8, "height": 8})"),
         R"(video[0] "Cam": pins[0].caps[0].compression: missing (needed for a subtype without a FOURCC))"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "RGB32", "width": 8, "height": 8, "min_interval": 0})"),
         R"(video[0] "Cam": pins[0].caps[0].min_interval: expected a positive integer (100-ns units))"},
        {one_caps(R"({"format": "VideoInfo", "subtype": "RGB32", "width": 8, "height": 8, "standard": -1})"),
         R"(video[0] "Cam": pins[0].caps[0].standard: expected a VideoStandard bit mask (a non-negative integer))"},
        {camera(R"([{"category": "capture", "caps": [)" + cap + "," + cap + R"(], "current": 2}])"),
         R"(video[0] "Cam": pins[0].current: expected an index into caps (0 to 1))"},
        {camera(R"([{"category": "capture", "caps": [)" + cap + R"(]}, {"category": "preview", "current": 1}])"),
         R"(video[0] "Cam": pins[1].current: expected an index into caps (0 to 0))"},
        {camera(R"([{"category": "capture", "interleaved": true, "caps": [{"format": "DvInfo", "subtype": "dvsd", "width": 720, "height": 480}, )" + cap + "]}]"),
         R"(video[0] "Cam": pins[0].caps[1].subtype: expected dvsd on an interleaved pin)"},
        {camera(R"([{"category": "preview", "interleaved": true}])"),
         R"(video[0] "Cam": pins[0].interleaved: only a capture pin can be interleaved)"},
        {camera(R"([{"category": "capture", "interleaved": 1, "caps": [)" + cap + "]}]"),
         R"(video[0] "Cam": pins[0].interleaved: expected true or false)"},
        {camera(pins, R"(, "pattern": "stripes")"),
         R"(video[0] "Cam": pattern: expected "ramp", "bars" or {"solid": [c0, c1, c2, c3]})"},
        {camera(pins, R"(, "pattern": {"solid": [1, 2, 3]})"), R"(video[0] "Cam": pattern.solid: expected four integers from 0 to 255)"},
        {camera(pins, R"(, "pattern": {"solid": [1, 2, 256, 4]})"), R"(video[0] "Cam": pattern.solid[2]: expected an integer from 0 to 255)"},
        {camera(pins, R"(, "crossbar": {"inputs": ["A", "B", "C"], "routable": [0, 3]})"),
         R"(video[0] "Cam": crossbar.routable[1]: expected an input index (0 to 2))"},
        {camera(pins, R"(, "crossbar": {"inputs": ["A"], "routed": 1})"),
         R"(video[0] "Cam": crossbar.routed: expected an input index (0 to 0) or -1 for none)"},
        {camera(pins, R"(, "crossbar": {"inputs": []})"), R"(video[0] "Cam": crossbar.inputs: expected at least one input)"},
        {camera(pins, R"(, "crossbar": {"inputs": ["A"], "outputs": 0})"), R"(video[0] "Cam": crossbar.outputs: expected a positive integer)"},
        {camera(pins, R"(, "procamp": {"zoom": {}})"),
         R"(video[0] "Cam": procamp.zoom: unknown property (brightness, contrast, hue, saturation, sharpness, gamma, colorenable, whitebalance, backlight or gain))"},
        {camera(pins, R"(, "procamp": {"hue": {"min": 0, "max": 10, "step": 1, "default": 11, "flags": 2}})"),
         R"(video[0] "Cam": procamp.hue.default: expected an integer from 0 to 10)"},
        {camera(pins, R"(, "procamp": {"hue": {"min": 0, "max": 10, "step": 1, "default": 5, "flags": 2, "value": -1}})"),
         R"(video[0] "Cam": procamp.hue.value: expected an integer from 0 to 10)"},
        {camera(pins, R"(, "procamp": {"hue": {"min": 10, "max": 0, "step": 1, "default": 5, "flags": 2}})"),
         R"(video[0] "Cam": procamp.hue.max: expected an integer not below min)"},
        {camera(pins, R"(, "procamp": {"hue": {"min": 0, "max": 10, "default": 5, "flags": 2}})"),
         R"(video[0] "Cam": procamp.hue.step: missing (an integer))"},
        {camera(pins, R"(, "transport": {})"), R"(video[0] "Cam": transport.input_signal: missing (an integer))"},
        {camera(pins, R"(, "property_pages": -1)"), R"(video[0] "Cam": property_pages: expected a non-negative integer)"},
        {camera(pins, R"(, "bag": "yes")"), R"(video[0] "Cam": bag: expected true or false)"},
        {R"({"audio": [{"friendly_name": "Mic", "rate": -1}]})", R"(audio[0] "Mic": rate: expected a positive integer)"},
        {R"({"audio": [{"rate": 8000}]})", "audio[0]: friendly_name: missing (a string)"},
        {R"({"cards": [{"name": "Card", "id": "XX-1", "modes": []}]})", R"(cards[0] "Card": id: expected a string beginning with "BM-")"},
        {R"({"cards": [{"name": "Card", "id": "BM-1"}]})", R"(cards[0] "Card": modes: missing (an array of modes))"},
        {R"({"cards": [{"name": "Card", "id": "BM-1", "modes": [{"name": "NTSC", "width": 720, "height": -486}]}]})",
         R"(cards[0] "Card": modes[0].height: expected a positive integer)"},
        {R"({"cards": [{"name": "A", "id": "BM-1", "modes": []}, {"name": "B", "id": "BM-1", "modes": []}]})",
         R"(cards[1] "B": id: "BM-1" is already used by another card)"},
        {R"({"converters": ["AVI Decompressor", "Bogus"]})",
         R"(converters[1]: expected one of "AVI Decompressor", "Color Space Converter", "MJPEG Decompressor", "DV Splitter", "DV Video Decoder")"},
    };
    for (const Case& c : cases) EXPECT_EQ(parse_error(c.text), c.message) << c.text;
}

TEST(ParseDeviceFile, SubtypeErrorListsTheNames) {
    const std::string e = parse_error(one_caps(R"({"format": "VideoInfo", "subtype": "NV12", "width": 8, "height": 8})"));
    EXPECT_THAT(e, StartsWith(R"(video[0] "Cam": pins[0].caps[0].subtype: expected a subtype name (RGB1, RGB4,)"));
    EXPECT_THAT(e, HasSubstr("dvsd) or a GUID in braces"));
}

TEST(ParseDeviceFile, SyntaxErrorsSayWhere) {
    const std::string e = parse_error("{\n  \"video\": [\n    {,}\n  ]\n}");
    EXPECT_THAT(e, StartsWith("not valid JSON: line 3, column 6"));
    EXPECT_THAT(parse_error(""), StartsWith("not valid JSON: line 1, column 1"));
}

TEST(ParseDeviceFile, FailureLeavesTheSetUntouched) {
    DeviceSet set = default_devices();
    const DeviceSet before = set;
    std::string error;
    // Valid up to the last device.
    const std::string text = R"({"audio": [{"friendly_name": "Mic"}], "cards": [{"name": "C", "id": "B-1", "modes": []}]})";
    EXPECT_FALSE(parse_device_file(text, set, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(set, before);
    EXPECT_FALSE(parse_device_file("{", set, error));
    EXPECT_EQ(set, before);
    // Success replaces everything.
    EXPECT_TRUE(parse_device_file("{}", set, error));
    EXPECT_EQ(set, DeviceSet{});
}

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(DefaultDevices, EqualsTheExampleFile) {
    const std::string text = read_file(std::string(VOR_SOURCE_DIR) + "/examples/devices/default.json");
    ASSERT_FALSE(text.empty());
    const DeviceSet parsed = parse_ok(text);
    const DeviceSet def = default_devices();
    ASSERT_EQ(parsed.video.size(), def.video.size());
    for (size_t i = 0; i < def.video.size(); ++i) EXPECT_EQ(parsed.video[i], def.video[i]) << "video[" << i << "]";
    EXPECT_EQ(parsed, def);
}

TEST(DefaultDevices, WhatTheBriefPromises) {
    const DeviceSet d = default_devices();
    ASSERT_EQ(d.video.size(), 3u);
    const VideoDevice& cam = d.video[0];
    EXPECT_EQ(device_label(cam), "Virtual Camera");
    EXPECT_FALSE(cam.description);  // webcams have no Description
    ASSERT_EQ(cam.pins.size(), 2u);
    EXPECT_EQ(cam.pins[1].category, PinCategory::Preview);
    EXPECT_EQ(cam.pins[0].caps[0], (VideoCaps{FormatType::VideoInfo, subtype::YUY2, 0x32595559, 640, 480, 333333, 0}));
    bool has_mjpg = false;
    for (const VideoCaps& c : cam.pins[0].caps)
        has_mjpg = has_mjpg || (c.subtype == subtype::MJPG && c.format == FormatType::VideoInfo2 && c.width == 1280);
    EXPECT_TRUE(has_mjpg);

    const VideoDevice& dv = d.video[1];
    EXPECT_EQ(dv.friendly_name, "Microsoft DV Camera and VCR");
    EXPECT_EQ(device_label(dv), "Virtual DV Camcorder");
    ASSERT_EQ(dv.pins.size(), 1u);
    EXPECT_TRUE(dv.pins[0].interleaved);
    EXPECT_EQ(dv.pins[0].caps[0].subtype, subtype::dvsd);
    ASSERT_TRUE(dv.transport);

    const VideoDevice& tv = d.video[2];
    ASSERT_TRUE(tv.crossbar);
    EXPECT_EQ(tv.crossbar->inputs, (std::vector<std::string>{"Video Tuner", "Video Composite", "Video SVideo"}));
    EXPECT_TRUE(tv.procamp);
    EXPECT_NE(tv.pins[0].caps[0].standard, 0u);

    EXPECT_EQ(d.audio[0].friendly_name, "Virtual Microphone");
    ASSERT_EQ(d.cards.size(), 1u);
    EXPECT_EQ(d.cards[0].name, "Virtual Card");
    EXPECT_EQ(d.cards[0].id, "BM-0001");
    EXPECT_FALSE(d.cards[0].modes.empty());
}

}  // namespace
}  // namespace vorsim
