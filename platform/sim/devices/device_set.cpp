#include "devices/device_set.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <exception>
#include <initializer_list>
#include <limits>
#include <set>
#include <utility>

namespace vorsim {

namespace {

using json = nlohmann::json;

struct NamedSubtype {
    const char* name;
    SubtypeId id;
};

constexpr NamedSubtype kSubtypes[] = {
    {"RGB1", subtype::RGB1},     {"RGB4", subtype::RGB4},     {"RGB8", subtype::RGB8},
    {"RGB565", subtype::RGB565}, {"RGB555", subtype::RGB555}, {"RGB24", subtype::RGB24},
    {"RGB32", subtype::RGB32},   {"ARGB32", subtype::ARGB32}, {"UYVY", subtype::UYVY},
    {"YUY2", subtype::YUY2},     {"I420", subtype::I420},     {"YV12", subtype::YV12},
    {"MJPG", subtype::MJPG},     {"dvsd", subtype::dvsd},
};

constexpr const char* kProcAmpNames[kProcAmpCount] = {
    "brightness", "contrast",    "hue",          "saturation", "sharpness",
    "gamma",      "colorenable", "whitebalance", "backlight",  "gain",
};

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
std::optional<SubtypeId> parse_braced_guid(std::string_view t) {
    if (t.size() != 38 || t.front() != '{' || t.back() != '}') return std::nullopt;
    const std::string_view body = t.substr(1, 36);
    uint8_t bytes[16];
    size_t n = 0;
    for (size_t i = 0; i < body.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (body[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        const int hi = hex_value(body[i]), lo = hex_value(body[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes[n++] = uint8_t(hi << 4 | lo);
        i += 2;
    }
    SubtypeId id;
    id.d1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
    id.d2 = uint16_t(bytes[4] << 8 | bytes[5]);
    id.d3 = uint16_t(bytes[6] << 8 | bytes[7]);
    for (int i = 0; i < 8; ++i) id.d4[i] = bytes[8 + i];
    return id;
}

// A reason is one line, but it quotes names and keys from the file, which
// may hold any character: control characters are written as JSON escapes.
std::string one_line(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

// Everything the parser rejects is reported by throwing this, caught once in
// parse_device_file.
struct FileError {
    std::string message;
};

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw FileError{one_line(where.empty() ? what : where + ": " + what)};
}

std::string in_quotes(const std::string& s) { return "\"" + s + "\""; }

// Where in the file a value sits: the device ("video[0] \"Virtual Camera\"")
// and the field path inside it ("pins[0].caps[1].width").
struct Where {
    std::string device;
    std::string path;

    Where field(const std::string& name) const { return {device, path.empty() ? name : path + "." + name}; }
    Where index(size_t i) const { return {device, path + "[" + std::to_string(i) + "]"}; }
    std::string text() const {
        if (device.empty()) return path;
        if (path.empty()) return device;
        return device + ": " + path;
    }
    [[noreturn]] void expected(const std::string& what) const { fail(text(), "expected " + what); }
    [[noreturn]] void error(const std::string& what) const { fail(text(), what); }
};

void check_object(const json& v, const Where& w) {
    if (!v.is_object()) w.expected("an object");
}

void check_keys(const json& obj, std::initializer_list<const char*> allowed, const Where& w) {
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        bool known = false;
        for (const char* a : allowed) known = known || it.key() == a;
        if (!known) w.field(it.key()).error("unknown field");
    }
}

const json* find(const json& obj, const char* key) {
    auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
}

// An integer within [lo, hi]; `what` says what was expected.
int64_t get_integer(const json& v, int64_t lo, int64_t hi, const Where& w, const std::string& what) {
    if (!v.is_number_integer()) w.expected(what);
    if (v.is_number_unsigned()) {
        const uint64_t u = v.get<uint64_t>();
        if (u > uint64_t(std::numeric_limits<int64_t>::max()) || int64_t(u) > hi || int64_t(u) < lo) w.expected(what);
        return int64_t(u);
    }
    const int64_t s = v.get<int64_t>();
    if (s < lo || s > hi) w.expected(what);
    return s;
}

int32_t get_int32(const json& v, const Where& w) {
    return int32_t(get_integer(v, INT32_MIN, INT32_MAX, w, "an integer"));
}
int32_t get_positive_int32(const json& v, const Where& w) {
    return int32_t(get_integer(v, 1, INT32_MAX, w, "a positive integer"));
}
uint32_t get_count(const json& v, const Where& w) {
    return uint32_t(get_integer(v, 0, UINT32_MAX, w, "a non-negative integer"));
}
std::string get_string(const json& v, const Where& w) {
    if (!v.is_string()) w.expected("a string");
    return v.get<std::string>();
}
bool get_bool(const json& v, const Where& w) {
    if (!v.is_boolean()) w.expected("true or false");
    return v.get<bool>();
}
const json& get_array(const json& v, const Where& w) {
    if (!v.is_array()) w.expected("an array");
    return v;
}

std::string subtype_expectation() {
    std::string s = "a subtype name (";
    for (size_t i = 0; i < std::size(kSubtypes); ++i) {
        if (i) s += ", ";
        s += kSubtypes[i].name;
    }
    return s + ") or a GUID in braces";
}

VideoCaps parse_caps(const json& v, const Where& w) {
    check_object(v, w);
    check_keys(v, {"format", "subtype", "compression", "width", "height", "min_interval", "standard"}, w);
    VideoCaps c;

    const json* f = find(v, "format");
    if (!f) w.field("format").error("missing (VideoInfo, VideoInfo2, MPEG or DvInfo)");
    const std::string fname = f->is_string() ? f->get<std::string>() : std::string();
    if (fname == "VideoInfo") c.format = FormatType::VideoInfo;
    else if (fname == "VideoInfo2") c.format = FormatType::VideoInfo2;
    else if (fname == "MPEG") c.format = FormatType::Mpeg;
    else if (fname == "DvInfo") c.format = FormatType::DvInfo;
    else w.field("format").expected("VideoInfo, VideoInfo2, MPEG or DvInfo");

    const json* s = find(v, "subtype");
    if (!s) w.field("subtype").error("missing (" + subtype_expectation() + ")");
    std::optional<SubtypeId> sub;
    if (s->is_string()) sub = subtype_from_name(s->get<std::string>());
    if (!sub) w.field("subtype").expected(subtype_expectation());
    c.subtype = *sub;

    if (const json* comp = find(v, "compression")) {
        const Where cw = w.field("compression");
        const std::string what = "a four-character code or a number from 0 to 4294967295";
        if (comp->is_string()) {
            const std::string t = comp->get<std::string>();
            if (t.size() != 4) cw.expected(what);
            c.compression = make_fourcc(t[0], t[1], t[2], t[3]);
        } else {
            c.compression = uint32_t(get_integer(*comp, 0, UINT32_MAX, cw, what));
        }
    } else if (is_rgb_subtype(c.subtype)) {
        c.compression = kBiRgb;
    } else if (has_fourcc(c.subtype)) {
        c.compression = c.subtype.d1;
    } else {
        w.field("compression").error("missing (needed for a subtype without a FOURCC)");
    }

    const json* width = find(v, "width");
    if (!width) w.field("width").error("missing (a positive integer)");
    c.width = get_positive_int32(*width, w.field("width"));
    const json* height = find(v, "height");
    if (!height) w.field("height").error("missing (a non-zero integer)");
    c.height = int32_t(get_integer(*height, -INT32_MAX, INT32_MAX, w.field("height"), "a non-zero integer"));
    if (c.height == 0) w.field("height").expected("a non-zero integer");

    const bool packed = c.subtype == subtype::UYVY || c.subtype == subtype::YUY2;
    const bool planar = c.subtype == subtype::I420 || c.subtype == subtype::YV12;
    if ((packed || planar) && c.width % 2 != 0)
        w.field("width").expected("an even width for " + subtype_name(c.subtype));
    if (planar && c.height % 2 != 0) w.field("height").expected("an even height for " + subtype_name(c.subtype));

    if (const json* mi = find(v, "min_interval")) {
        // 0: the capability lists no rate; the device still streams at the
        // default interval.
        c.min_interval = get_integer(*mi, 0, INT64_MAX, w.field("min_interval"), "an integer from 0 (100-ns units)");
        if (c.min_interval == 0) {
            c.min_interval = VideoCaps{}.min_interval;
            c.rate_listed = false;
        }
    }
    if (const json* st = find(v, "standard"))
        c.standard = uint32_t(get_integer(*st, 0, UINT32_MAX, w.field("standard"), "a VideoStandard bit mask (a non-negative integer)"));
    return c;
}

struct ParsedPin {
    VideoPin pin;
    bool has_caps = false;
    std::optional<int64_t> current;  // checked once the caps are known
};

ParsedPin parse_pin(const json& v, const Where& w) {
    check_object(v, w);
    check_keys(v, {"category", "interleaved", "stream_config", "caps", "current"}, w);
    ParsedPin p;
    const json* cat = find(v, "category");
    if (!cat) w.field("category").error("missing (capture, preview, ...)");
    const std::string name = cat->is_string() ? cat->get<std::string>() : std::string();
    static constexpr PinCategory kAll[] = {PinCategory::Capture,       PinCategory::Preview, PinCategory::Still,
                                           PinCategory::AnalogVideoIn, PinCategory::Vbi,     PinCategory::VideoPort,
                                           PinCategory::ClosedCaption};
    bool found = false;
    for (PinCategory c : kAll)
        if (name == pin_category_name(c)) {
            p.pin.category = c;
            found = true;
        }
    if (!found) w.field("category").expected("capture, preview, still, analogvideoin, vbi, videoport or cc");

    if (const json* il = find(v, "interleaved")) p.pin.interleaved = get_bool(*il, w.field("interleaved"));
    if (p.pin.interleaved && p.pin.category != PinCategory::Capture)
        w.field("interleaved").error("only a capture pin can be interleaved");
    if (const json* sc = find(v, "stream_config")) p.pin.stream_config = get_bool(*sc, w.field("stream_config"));

    if (const json* caps = find(v, "caps")) {
        const Where cw = w.field("caps");
        get_array(*caps, cw);
        if (caps->empty()) cw.expected("at least one entry (leave caps out to share another pin's)");
        for (size_t i = 0; i < caps->size(); ++i) p.pin.caps.push_back(parse_caps((*caps)[i], cw.index(i)));
        p.has_caps = true;
    }
    if (const json* cur = find(v, "current"))
        p.current = get_integer(*cur, 0, INT32_MAX, w.field("current"), "a non-negative integer");
    return p;
}

std::vector<VideoPin> parse_pins(const json& v, const Where& w) {
    get_array(v, w);
    if (v.empty()) w.expected("at least one pin");
    std::vector<ParsedPin> parsed;
    for (size_t i = 0; i < v.size(); ++i) parsed.push_back(parse_pin(v[i], w.index(i)));

    const ParsedPin* source = nullptr;
    for (const ParsedPin& p : parsed)
        if (p.has_caps) {
            source = &p;
            break;
        }
    if (!source) w.expected("at least one pin with caps");

    std::vector<VideoPin> pins;
    for (size_t i = 0; i < parsed.size(); ++i) {
        VideoPin pin = parsed[i].pin;
        const Where pw = w.index(i);
        if (!parsed[i].has_caps) pin.caps = source->pin.caps;
        if (parsed[i].current) {
            if (*parsed[i].current >= int64_t(pin.caps.size()))
                pw.field("current").expected("an index into caps (0 to " + std::to_string(pin.caps.size() - 1) + ")");
            pin.current = size_t(*parsed[i].current);
        }
        if (pin.interleaved)
            for (size_t c = 0; c < pin.caps.size(); ++c)
                if (!(pin.caps[c].subtype == subtype::dvsd))
                    pw.field("caps").index(c).field("subtype").expected("dvsd on an interleaved pin");
        pins.push_back(std::move(pin));
    }
    return pins;
}

Pattern parse_pattern(const json& v, const Where& w) {
    const std::string what = "\"ramp\", \"bars\" or {\"solid\": [c0, c1, c2, c3]}";
    Pattern p;
    if (v.is_string()) {
        const std::string s = v.get<std::string>();
        if (s == "ramp") p.kind = Pattern::Kind::Ramp;
        else if (s == "bars") p.kind = Pattern::Kind::Bars;
        else w.expected(what);
        return p;
    }
    if (!v.is_object() || v.size() != 1 || !v.contains("solid")) w.expected(what);
    const json& a = v["solid"];
    const Where sw = w.field("solid");
    if (!a.is_array() || a.size() != 4) sw.expected("four integers from 0 to 255");
    p.kind = Pattern::Kind::Solid;
    for (size_t i = 0; i < 4; ++i) p.solid[i] = uint8_t(get_integer(a[i], 0, 255, sw.index(i), "an integer from 0 to 255"));
    return p;
}

Crossbar parse_crossbar(const json& v, const Where& w) {
    check_object(v, w);
    check_keys(v, {"inputs", "outputs", "routed", "routable"}, w);
    Crossbar x;
    const json* in = find(v, "inputs");
    if (!in) w.field("inputs").error("missing (an array of input pin names)");
    get_array(*in, w.field("inputs"));
    if (in->empty()) w.field("inputs").expected("at least one input");
    for (size_t i = 0; i < in->size(); ++i) x.inputs.push_back(get_string((*in)[i], w.field("inputs").index(i)));
    const int32_t n = int32_t(x.inputs.size());
    const std::string index_what = "an input index (0 to " + std::to_string(n - 1) + ")";

    if (const json* o = find(v, "outputs")) x.outputs = get_positive_int32(*o, w.field("outputs"));
    if (const json* r = find(v, "routed"))
        x.routed = int32_t(get_integer(*r, -1, n - 1, w.field("routed"), index_what + " or -1 for none"));
    if (const json* r = find(v, "routable")) {
        get_array(*r, w.field("routable"));
        for (size_t i = 0; i < r->size(); ++i)
            x.routable.push_back(int32_t(get_integer((*r)[i], 0, n - 1, w.field("routable").index(i), index_what)));
    } else {
        for (int32_t i = 0; i < n; ++i) x.routable.push_back(i);
    }
    return x;
}

ProcAmp parse_procamp(const json& v, const Where& w) {
    check_object(v, w);
    ProcAmp amp;
    for (auto it = v.begin(); it != v.end(); ++it) {
        const Where pw = w.field(it.key());
        size_t index = kProcAmpCount;
        for (size_t i = 0; i < kProcAmpCount; ++i)
            if (it.key() == kProcAmpNames[i]) index = i;
        if (index == kProcAmpCount)
            pw.error("unknown property (brightness, contrast, hue, saturation, sharpness, gamma, colorenable, "
                     "whitebalance, backlight or gain)");
        const json& e = it.value();
        check_object(e, pw);
        check_keys(e, {"min", "max", "step", "default", "flags", "value"}, pw);
        ProcAmpEntry entry;
        for (const char* key : {"min", "max", "step", "default", "flags"})
            if (!find(e, key)) pw.field(key).error("missing (an integer)");
        entry.min = get_int32(e["min"], pw.field("min"));
        entry.max = get_int32(e["max"], pw.field("max"));
        if (entry.max < entry.min) pw.field("max").expected("an integer not below min");
        entry.step = get_positive_int32(e["step"], pw.field("step"));
        const std::string range = "an integer from " + std::to_string(entry.min) + " to " + std::to_string(entry.max);
        entry.default_value = int32_t(get_integer(e["default"], entry.min, entry.max, pw.field("default"), range));
        entry.flags = int32_t(get_integer(e["flags"], 0, INT32_MAX, pw.field("flags"), "a non-negative integer (Auto 1, Manual 2)"));
        entry.value = entry.default_value;
        if (const json* val = find(e, "value"))
            entry.value = int32_t(get_integer(*val, entry.min, entry.max, pw.field("value"), range));
        amp[index] = entry;
    }
    return amp;
}

VideoDevice parse_video(const json& v, size_t index) {
    Where w{"video[" + std::to_string(index) + "]", ""};
    if (!v.is_object()) fail(w.device, "expected an object");
    VideoDevice d;
    // The texts come first so that every later message can name the device.
    if (const json* s = find(v, "description")) d.description = get_string(*s, w.field("description"));
    if (const json* s = find(v, "friendly_name")) d.friendly_name = get_string(*s, w.field("friendly_name"));
    if (const std::string label = device_label(d); !label.empty()) w.device += " " + in_quotes(label);
    check_keys(v, {"description", "friendly_name", "device_path", "bag", "bind", "pins", "pattern", "crossbar",
                   "procamp", "transport", "property_pages"},
               w);
    if (const json* s = find(v, "device_path")) d.device_path = get_string(*s, w.field("device_path"));
    if (const json* b = find(v, "bag")) d.bag = get_bool(*b, w.field("bag"));
    if (const json* b = find(v, "bind")) d.bind = get_bool(*b, w.field("bind"));

    const json* pins = find(v, "pins");
    if (!pins) w.field("pins").error("missing (an array of pins)");
    d.pins = parse_pins(*pins, w.field("pins"));

    if (const json* p = find(v, "pattern")) d.pattern = parse_pattern(*p, w.field("pattern"));
    if (const json* x = find(v, "crossbar")) d.crossbar = parse_crossbar(*x, w.field("crossbar"));
    if (const json* a = find(v, "procamp")) d.procamp = parse_procamp(*a, w.field("procamp"));
    if (const json* t = find(v, "transport")) {
        const Where tw = w.field("transport");
        check_object(*t, tw);
        check_keys(*t, {"input_signal"}, tw);
        const json* s = find(*t, "input_signal");
        if (!s) tw.field("input_signal").error("missing (an integer)");
        d.transport = Transport{get_int32(*s, tw.field("input_signal"))};
    }
    if (const json* pp = find(v, "property_pages")) d.property_pages = get_count(*pp, w.field("property_pages"));
    return d;
}

AudioDevice parse_audio(const json& v, size_t index) {
    Where w{"audio[" + std::to_string(index) + "]", ""};
    if (!v.is_object()) fail(w.device, "expected an object");
    AudioDevice a;
    const json* name = find(v, "friendly_name");
    if (!name) fail(w.device, "friendly_name: missing (a string)");
    a.friendly_name = get_string(*name, w.field("friendly_name"));
    w.device += " " + in_quotes(a.friendly_name);
    check_keys(v, {"friendly_name", "rate", "channels", "property_pages"}, w);
    if (const json* r = find(v, "rate")) a.rate = uint32_t(get_positive_int32(*r, w.field("rate")));
    if (const json* c = find(v, "channels")) a.channels = uint32_t(get_positive_int32(*c, w.field("channels")));
    if (const json* pp = find(v, "property_pages")) a.property_pages = get_count(*pp, w.field("property_pages"));
    return a;
}

Card parse_card(const json& v, size_t index) {
    Where w{"cards[" + std::to_string(index) + "]", ""};
    if (!v.is_object()) fail(w.device, "expected an object");
    Card c;
    const json* name = find(v, "name");
    if (!name) fail(w.device, "name: missing (a string)");
    c.name = get_string(*name, w.field("name"));
    w.device += " " + in_quotes(c.name);
    check_keys(v, {"name", "id", "modes"}, w);
    const json* id = find(v, "id");
    if (!id) w.field("id").error("missing (a string beginning with \"BM-\")");
    if (!id->is_string() || id->get<std::string>().rfind("BM-", 0) != 0)
        w.field("id").expected("a string beginning with \"BM-\"");
    c.id = id->get<std::string>();
    const json* modes = find(v, "modes");
    if (!modes) w.field("modes").error("missing (an array of modes)");
    get_array(*modes, w.field("modes"));
    for (size_t i = 0; i < modes->size(); ++i) {
        const Where mw = w.field("modes").index(i);
        const json& m = (*modes)[i];
        check_object(m, mw);
        check_keys(m, {"name", "width", "height"}, mw);
        for (const char* key : {"name", "width", "height"})
            if (!find(m, key)) mw.field(key).error("missing");
        CardMode mode;
        mode.name = get_string(m["name"], mw.field("name"));
        mode.width = get_positive_int32(m["width"], mw.field("width"));
        mode.height = get_positive_int32(m["height"], mw.field("height"));
        c.modes.push_back(std::move(mode));
    }
    return c;
}

DeviceSet parse_set(const json& root) {
    if (!root.is_object()) fail("", "expected a JSON object at the top level");
    check_keys(root, {"video", "audio", "cards", "converters"}, Where{});
    DeviceSet set;
    if (const json* v = find(root, "video")) {
        get_array(*v, Where{"", "video"});
        for (size_t i = 0; i < v->size(); ++i) set.video.push_back(parse_video((*v)[i], i));
    }
    if (const json* a = find(root, "audio")) {
        get_array(*a, Where{"", "audio"});
        for (size_t i = 0; i < a->size(); ++i) set.audio.push_back(parse_audio((*a)[i], i));
    }
    if (const json* c = find(root, "cards")) {
        get_array(*c, Where{"", "cards"});
        std::set<std::string> ids;
        for (size_t i = 0; i < c->size(); ++i) {
            Card card = parse_card((*c)[i], i);
            if (!ids.insert(card.id).second)
                fail("cards[" + std::to_string(i) + "] " + in_quotes(card.name), "id: " + in_quotes(card.id) + " is already used by another card");
            set.cards.push_back(std::move(card));
        }
    }
    if (const json* conv = find(root, "converters")) {
        const Where cw{"", "converters"};
        get_array(*conv, cw);
        std::vector<std::string> names;
        for (size_t i = 0; i < conv->size(); ++i) {
            std::string name = get_string((*conv)[i], cw.index(i));
            bool known = false;
            for (const std::string& k : known_converters()) known = known || k == name;
            if (!known) {
                std::string list;
                for (const std::string& k : known_converters()) list += (list.empty() ? "" : ", ") + in_quotes(k);
                cw.index(i).expected("one of " + list);
            }
            names.push_back(std::move(name));
        }
        set.converters = std::move(names);
    }
    return set;
}

}  // namespace

std::optional<SubtypeId> subtype_from_name(std::string_view text) {
    for (const NamedSubtype& s : kSubtypes)
        if (text == s.name) return s.id;
    return parse_braced_guid(text);
}

std::string subtype_name(const SubtypeId& id) {
    for (const NamedSubtype& s : kSubtypes)
        if (s.id == id) return s.name;
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", unsigned(id.d1), unsigned(id.d2),
                  unsigned(id.d3), id.d4[0], id.d4[1], id.d4[2], id.d4[3], id.d4[4], id.d4[5], id.d4[6], id.d4[7]);
    return buf;
}

bool is_rgb_subtype(const SubtypeId& id) {
    return id == subtype::RGB1 || id == subtype::RGB4 || id == subtype::RGB8 || id == subtype::RGB565 ||
           id == subtype::RGB555 || id == subtype::RGB24 || id == subtype::RGB32 || id == subtype::ARGB32;
}

bool has_fourcc(const SubtypeId& id) {
    SubtypeId tail = fourcc_subtype(id.d1);
    return tail == id;
}

const char* format_type_name(FormatType f) {
    switch (f) {
    case FormatType::VideoInfo: return "VideoInfo";
    case FormatType::VideoInfo2: return "VideoInfo2";
    case FormatType::Mpeg: return "MPEG";
    case FormatType::DvInfo: return "DvInfo";
    }
    return "";
}

const char* pin_category_name(PinCategory c) {
    switch (c) {
    case PinCategory::Capture: return "capture";
    case PinCategory::Preview: return "preview";
    case PinCategory::Still: return "still";
    case PinCategory::AnalogVideoIn: return "analogvideoin";
    case PinCategory::Vbi: return "vbi";
    case PinCategory::VideoPort: return "videoport";
    case PinCategory::ClosedCaption: return "cc";
    }
    return "";
}

const char* procamp_name(size_t property) { return property < kProcAmpCount ? kProcAmpNames[property] : ""; }

const std::vector<std::string>& known_converters() {
    static const std::vector<std::string> names = {"AVI Decompressor", "Color Space Converter", "MJPEG Decompressor",
                                                   "DV Splitter", "DV Video Decoder"};
    return names;
}

std::string device_label(const VideoDevice& device) {
    if (device.description) return *device.description;
    if (device.friendly_name) return *device.friendly_name;
    return {};
}

bool parse_device_file(const std::string& json_text, DeviceSet& out, std::string& error) {
    try {
        json root;
        try {
            root = json::parse(json_text);
        } catch (const json::parse_error& e) {
            // "[json.exception.parse_error.101] parse error at line 3, column 5: ..." -> from "line" on.
            std::string what = e.what();
            const size_t at = what.find("line ");
            error = one_line("not valid JSON: " + (at == std::string::npos ? what : what.substr(at)));
            return false;
        }
        DeviceSet set = parse_set(root);
        out = std::move(set);
        return true;
    } catch (const FileError& e) {
        error = e.message;
    } catch (const std::exception& e) {
        error = one_line(std::string("could not read the device file: ") + e.what());
    } catch (...) {
        error = "could not read the device file";
    }
    return false;
}

namespace {

VideoCaps caps(FormatType format, SubtypeId sub, int32_t w, int32_t h, int64_t interval = 333333, uint32_t standard = 0) {
    VideoCaps c;
    c.format = format;
    c.subtype = sub;
    c.compression = is_rgb_subtype(sub) ? kBiRgb : sub.d1;
    c.width = w;
    c.height = h;
    c.min_interval = interval;
    c.standard = standard;
    return c;
}

ProcAmpEntry amp(int32_t min, int32_t max, int32_t step, int32_t def, int32_t flags) {
    return ProcAmpEntry{min, max, step, def, flags, def};
}

}  // namespace

DeviceSet default_devices() {
    constexpr uint32_t kNtsc = 0x1;                                  // AnalogVideo_NTSC_M
    constexpr uint32_t kPal = 0x10 | 0x20 | 0x40 | 0x80 | 0x100;     // PAL B, D, G, H, I
    constexpr int64_t k2997 = 333667, k25 = 400000, k15 = 666667;
    const FormatType VI = FormatType::VideoInfo;

    DeviceSet set;

    VideoDevice cam;
    cam.friendly_name = "Virtual Camera";
    cam.device_path = "\\\\?\\usb#vid_1d6b&pid_0102&mi_00#6&1c2b3a4d&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
    VideoPin cam_capture;
    cam_capture.caps = {caps(VI, subtype::YUY2, 640, 480),
                        caps(VI, subtype::YUY2, 320, 240),
                        caps(VI, subtype::RGB32, 640, 480),
                        caps(VI, subtype::RGB32, 320, 240),
                        caps(VI, subtype::RGB24, 640, 480, k15),
                        caps(VI, subtype::I420, 640, 480),
                        caps(FormatType::VideoInfo2, subtype::MJPG, 1280, 720)};
    VideoPin cam_preview = cam_capture;
    cam_preview.category = PinCategory::Preview;
    cam.pins = {cam_capture, cam_preview};
    ProcAmp cam_amp;
    cam_amp[0] = amp(-64, 64, 1, 0, 2);        // brightness
    cam_amp[1] = amp(0, 100, 1, 50, 2);        // contrast
    cam_amp[2] = amp(-180, 180, 1, 0, 2);      // hue
    cam_amp[3] = amp(0, 100, 1, 64, 2);        // saturation
    cam_amp[4] = amp(0, 7, 1, 3, 2);           // sharpness
    cam_amp[5] = amp(72, 500, 1, 100, 2);      // gamma
    cam_amp[7] = amp(2800, 6500, 10, 4600, 3); // whitebalance
    cam_amp[8] = amp(0, 2, 1, 1, 2);           // backlight
    cam_amp[9] = amp(0, 100, 1, 0, 2);         // gain
    cam.procamp = cam_amp;
    cam.property_pages = 2;
    set.video.push_back(cam);

    VideoDevice dv;
    dv.description = "Virtual DV Camcorder";
    dv.friendly_name = "Microsoft DV Camera and VCR";
    dv.device_path = "\\\\?\\avc#vor&dv-vcr&camcorder&dv#0800460104a5e3c1#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
    VideoPin dv_pin;
    dv_pin.interleaved = true;
    dv_pin.caps = {caps(FormatType::DvInfo, subtype::dvsd, 720, 480, k2997)};
    dv.pins = {dv_pin};
    dv.transport = Transport{5038};
    set.video.push_back(dv);

    VideoDevice tv;
    tv.friendly_name = "Virtual Analog Capture";
    tv.device_path = "\\\\?\\pci#ven_f00d&dev_0878&subsys_00000000&rev_11#4&2d4e0a1b&0&10f0#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
    VideoPin tv_pin;
    tv_pin.caps = {caps(VI, subtype::UYVY, 720, 480, k2997, kNtsc),
                   caps(VI, subtype::UYVY, 720, 576, k25, kPal),
                   caps(VI, subtype::YUY2, 640, 480, k2997, kNtsc),
                   caps(VI, subtype::RGB24, 320, 240, k2997, kNtsc),
                   caps(VI, subtype::YV12, 720, 480, k2997, kNtsc)};
    tv.pins = {tv_pin};
    tv.pattern.kind = Pattern::Kind::Ramp;
    tv.crossbar = Crossbar{{"Video Tuner", "Video Composite", "Video SVideo"}, 2, 1, {0, 1, 2}};
    ProcAmp tv_amp;
    tv_amp[0] = amp(0, 10000, 1, 5000, 2);  // brightness
    tv_amp[1] = amp(0, 10000, 1, 5000, 2);  // contrast
    tv_amp[2] = amp(0, 10000, 1, 5000, 2);  // hue
    tv_amp[3] = amp(0, 10000, 1, 5000, 2);  // saturation
    tv_amp[4] = amp(0, 15, 1, 8, 2);        // sharpness
    tv.procamp = tv_amp;
    tv.property_pages = 3;
    set.video.push_back(tv);

    set.audio.push_back(AudioDevice{"Virtual Microphone", 44100, 2, 1});

    set.cards.push_back(Card{"Virtual Card", "BM-0001",
                             {{"NTSC", 720, 486}, {"PAL", 720, 576}, {"HD 1080i 59.94", 1920, 1080}}});
    return set;
}

}  // namespace vorsim
