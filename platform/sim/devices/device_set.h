// The virtual devices of the in-process platform, as plain data: what a
// device file (docs/vorhost.md, "The virtual device file") describes, after
// every default has been filled in and every rule checked. The sim's device
// enumerator, capture filters, crossbar and card back end read this; nothing
// here knows about COM.
//
// parse_device_file() turns the JSON text into a DeviceSet or explains, in one
// line naming the device and the field, why it cannot. default_devices() is
// the set vorhost uses without --devices; examples/devices/default.json is the
// same set written as a file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorsim {

// A media subtype GUID, laid out as GUID is (Data1, Data2, Data3, Data4),
// kept apart from the platform headers so this folder compiles on its own.
// Converting to GUID is a member-by-member copy.
struct SubtypeId {
    uint32_t d1 = 0;
    uint16_t d2 = 0;
    uint16_t d3 = 0;
    uint8_t d4[8] = {};

    bool operator==(const SubtypeId&) const = default;
};

// The subtypes of the form XXXXXXXX-0000-0010-8000-00AA00389B71 carry their
// FOURCC in d1.
constexpr SubtypeId fourcc_subtype(uint32_t fourcc) {
    return SubtypeId{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
constexpr uint32_t make_fourcc(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

namespace subtype {
inline constexpr SubtypeId RGB1{0xE436EB78, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr SubtypeId RGB4{0xE436EB79, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr SubtypeId RGB8{0xE436EB7A, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr SubtypeId RGB565{0xE436EB7B, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr SubtypeId RGB555{0xE436EB7C, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr SubtypeId RGB24{0xE436EB7D, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr SubtypeId RGB32{0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
inline constexpr SubtypeId ARGB32{0x773C9AC0, 0x3274, 0x11D0, {0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01}};
inline constexpr SubtypeId UYVY = fourcc_subtype(make_fourcc('U', 'Y', 'V', 'Y'));
inline constexpr SubtypeId YUY2 = fourcc_subtype(make_fourcc('Y', 'U', 'Y', '2'));
inline constexpr SubtypeId I420 = fourcc_subtype(make_fourcc('I', '4', '2', '0'));
inline constexpr SubtypeId YV12 = fourcc_subtype(make_fourcc('Y', 'V', '1', '2'));
inline constexpr SubtypeId MJPG = fourcc_subtype(make_fourcc('M', 'J', 'P', 'G'));
inline constexpr SubtypeId dvsd = fourcc_subtype(make_fourcc('d', 'v', 's', 'd'));
}  // namespace subtype

// "YUY2" -> YUY2; "{30323449-0000-0010-8000-00AA00389B71}" (any case) -> that
// GUID; anything else -> nothing. Names are case-sensitive, as FOURCCs are.
std::optional<SubtypeId> subtype_from_name(std::string_view text);
// The name of a known subtype, else the GUID in braces, upper-case hex.
std::string subtype_name(const SubtypeId& id);
// RGB1, RGB4, RGB8, RGB565, RGB555, RGB24, RGB32, ARGB32.
bool is_rgb_subtype(const SubtypeId& id);
// True when the GUID has the FOURCC tail (then d1 is the FOURCC).
bool has_fourcc(const SubtypeId& id);

// biCompression values that are not FOURCCs.
inline constexpr uint32_t kBiRgb = 0;
inline constexpr uint32_t kBiBitfields = 3;

enum class FormatType { VideoInfo, VideoInfo2, Mpeg, DvInfo };
// "VideoInfo", "VideoInfo2", "MPEG", "DvInfo".
const char* format_type_name(FormatType f);

// One GetStreamCaps entry. compression is biCompression; height is signed
// (negative: top-down RGB); min_interval is in 100-ns units; standard is the
// AnalogVideoStandard mask (0 for cameras).
struct VideoCaps {
    FormatType format = FormatType::VideoInfo;
    SubtypeId subtype;
    uint32_t compression = 0;
    int32_t width = 0;
    int32_t height = 0;
    int64_t min_interval = 333333;
    uint32_t standard = 0;
    bool rate_listed = true;  // false: MinFrameInterval reads 0 (min_interval 0 in the file)

    bool operator==(const VideoCaps&) const = default;
};

enum class PinCategory { Capture, Preview, Still, AnalogVideoIn, Vbi, VideoPort, ClosedCaption };
// "capture", "preview", "still", "analogvideoin", "vbi", "videoport", "cc".
const char* pin_category_name(PinCategory c);

// An output pin of a capture filter. A pin the file lists without caps has
// here a copy of the caps of the first pin that has them, and its own current.
// An interleaved pin is a DV camcorder's (MEDIATYPE_Interleaved, dvsd).
struct VideoPin {
    PinCategory category = PinCategory::Capture;
    bool interleaved = false;
    bool stream_config = true;  // false: the pin does not answer IAMStreamConfig
    std::vector<VideoCaps> caps;
    size_t current = 0;  // index into caps

    bool operator==(const VideoPin&) const = default;
};

// What fills the frames; see pattern.h for the bytes.
struct Pattern {
    enum class Kind { Bars, Ramp, Solid };
    Kind kind = Kind::Bars;
    std::array<uint8_t, 4> solid{};  // c0..c3, used by Solid only

    bool operator==(const Pattern&) const = default;
};

// The analog crossbar upstream of the capture filter. routed is the input
// routed to output 0, or -1 for none (get_IsRoutedTo then answers S_FALSE);
// routable lists the inputs CanRoute accepts for output 0.
// File defaults: outputs 1, routed 0, routable every input.
struct Crossbar {
    std::vector<std::string> inputs;
    int32_t outputs = 1;
    int32_t routed = 0;
    std::vector<int32_t> routable;

    bool operator==(const Crossbar&) const = default;
};

// One VideoProcAmp property: its GetRange values and current value.
// File rules: min <= max, step > 0, default and value within [min, max];
// value defaults to default.
struct ProcAmpEntry {
    int32_t min = 0;
    int32_t max = 0;
    int32_t step = 1;
    int32_t default_value = 0;
    int32_t flags = 0;  // Auto 1, Manual 2
    int32_t value = 0;

    bool operator==(const ProcAmpEntry&) const = default;
};

// Indexed by VideoProcAmpProperty (Brightness 0 ... Gain 9); an empty slot is
// a property the device does not support (E_PROP_ID_UNSUPPORTED).
inline constexpr size_t kProcAmpCount = 10;
using ProcAmp = std::array<std::optional<ProcAmpEntry>, kProcAmpCount>;
// The file's key for each property, in VideoProcAmpProperty order:
// brightness contrast hue saturation sharpness gamma colorenable
// whitebalance backlight gain.
const char* procamp_name(size_t property);

struct Transport {
    int32_t input_signal = 0;  // what IAMExtTransport reports (5038 = NTSC ...)

    bool operator==(const Transport&) const = default;
};

// A video capture device. Absent texts are absent from the property bag.
// bag: false makes the bag impossible to bind; bind: false makes
// BindToObject fail. A device without procamp/transport/property_pages lacks
// the interface.
struct VideoDevice {
    std::optional<std::string> description;
    std::optional<std::string> friendly_name;
    std::optional<std::string> device_path;
    bool bag = true;
    bool bind = true;
    std::vector<VideoPin> pins;
    Pattern pattern;
    std::optional<Crossbar> crossbar;
    std::optional<ProcAmp> procamp;
    std::optional<Transport> transport;
    std::optional<uint32_t> property_pages;

    bool operator==(const VideoDevice&) const = default;
};

// A microphone: one PCM format at 16 bits. Without property_pages the
// filter lacks ISpecifyPropertyPages.
struct AudioDevice {
    AudioDevice() = default;
    // So that code can write a device as {name, rate, channels} and leave
    // the optional parts out.
    AudioDevice(std::string name, uint32_t sample_rate = 44100, uint32_t channel_count = 2,
                std::optional<uint32_t> pages = std::nullopt)
        : friendly_name(std::move(name)), rate(sample_rate), channels(channel_count), property_pages(pages) {}

    std::string friendly_name;
    uint32_t rate = 44100;
    uint32_t channels = 2;
    std::optional<uint32_t> property_pages;

    bool operator==(const AudioDevice&) const = default;
};

struct CardMode {
    std::string name;
    int32_t width = 0;
    int32_t height = 0;

    bool operator==(const CardMode&) const = default;
};

// A device of the card back end. id begins with "BM-" and is unique.
struct Card {
    std::string name;
    std::string id;
    std::vector<CardMode> modes;

    bool operator==(const Card&) const = default;
};

// converters: the transform filters intelligent connect may insert; absent
// means every one the sim has (known_converters()).
struct DeviceSet {
    std::vector<VideoDevice> video;
    std::vector<AudioDevice> audio;
    std::vector<Card> cards;
    std::optional<std::vector<std::string>> converters;

    bool operator==(const DeviceSet&) const = default;
};

// The transform filters the sim can insert, by friendly name.
const std::vector<std::string>& known_converters();

// The name error messages use for a device: its description, else its
// friendly name, else empty.
std::string device_label(const VideoDevice& device);

// Parses a device file. On success fills `out` and returns true; on failure
// leaves `out` untouched, sets `error` to one line such as
//   video[0] "Virtual Camera": pins[0].caps[1].width: expected a positive integer
// and returns false. Never throws.
//
// Beyond docs/vorhost.md: unknown fields are errors (a misspelt field would
// otherwise be ignored); a video device needs at least one pin and some pin
// must have caps; widths of UYVY/YUY2 and widths and heights of I420/YV12
// must be even; a subtype given as a GUID without the FOURCC tail needs an
// explicit compression; an interleaved pin is a capture pin whose caps are
// all dvsd; converter names come from known_converters(); card ids are
// unique.
bool parse_device_file(const std::string& json_text, DeviceSet& out, std::string& error);

// The set vorhost uses without --devices (equal to examples/devices/default.json):
// - "Virtual Camera": webcam, no Description, USB DevicePath; capture pin with
//   YUY2 640x480 and 320x240, RGB32 640x480 and 320x240, RGB24 640x480 at
//   15 fps, I420 640x480, MJPG 1280x720 (VideoInfo2); a preview pin with the
//   same caps; bars; a procamp; 2 property pages.
// - "Virtual DV Camcorder" (FriendlyName "Microsoft DV Camera and VCR"):
//   one interleaved capture pin, DvInfo dvsd 720x480 at 29.97 fps; bars;
//   transport input signal 5038 (525/60, NTSC).
// - "Virtual Analog Capture": PCI card, capture pin only (so RenderStream
//   inserts a Smart Tee for preview) with UYVY 720x480 NTSC, UYVY 720x576
//   PAL, YUY2 640x480 NTSC, RGB24 320x240 NTSC, YV12 720x480 NTSC; ramp;
//   crossbar Video Tuner / Video Composite / Video SVideo, 2 outputs,
//   composite routed; procamp; 3 property pages.
// - audio "Virtual Microphone" 44100 Hz stereo, 1 property page.
// - card "Virtual Card" BM-0001 with modes NTSC 720x486, PAL 720x576,
//   HD 1080i 1920x1080.
DeviceSet default_devices();

}  // namespace vorsim
