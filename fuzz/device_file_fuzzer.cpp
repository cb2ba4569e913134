// The device file reader (parse_device_file) on arbitrary text.
//
// Besides the sanitizers, every input is held to what device_set.h
// promises: no exception escapes; a file that is refused leaves the caller's
// set as it was and says why in one non-empty line; a file that is accepted
// gives a set in which every rule the header lists holds, and reading it
// again gives the same set.
#include <cstdint>
#include <string>

#include "devices/device_set.h"
#include "fuzz_support.h"

namespace {

constexpr const char* kTarget = "device_file";

bool even(int32_t v) { return v % 2 == 0; }

void check_caps(const vorsim::VideoCaps& c, bool interleaved) {
    using namespace vorsim;
    VORFUZZ_CHECK(kTarget, c.width > 0, "a width that is not positive was accepted");
    VORFUZZ_CHECK(kTarget, c.height != 0, "a height of 0 was accepted");
    VORFUZZ_CHECK(kTarget, c.min_interval > 0, "a frame interval that is not positive was kept");
    const bool packed = c.subtype == subtype::UYVY || c.subtype == subtype::YUY2;
    const bool planar = c.subtype == subtype::I420 || c.subtype == subtype::YV12;
    if (packed || planar)
        VORFUZZ_CHECK(kTarget, even(c.width), "an odd width was accepted for " + subtype_name(c.subtype));
    if (planar) VORFUZZ_CHECK(kTarget, even(c.height), "an odd height was accepted for " + subtype_name(c.subtype));
    if (interleaved)
        VORFUZZ_CHECK(kTarget, c.subtype == subtype::dvsd, "an interleaved pin has caps that are not dvsd");
    // A subtype's name reads back as the same subtype.
    const auto again = subtype_from_name(subtype_name(c.subtype));
    VORFUZZ_CHECK(kTarget, again && *again == c.subtype, "subtype " + subtype_name(c.subtype) + " does not read back");
    VORFUZZ_CHECK(kTarget, !subtype_name(c.subtype).empty(), "a subtype without a name");
}

void check_video(const vorsim::VideoDevice& d) {
    using namespace vorsim;
    VORFUZZ_CHECK(kTarget, !d.pins.empty(), "a video device without pins was accepted");
    for (const VideoPin& p : d.pins) {
        VORFUZZ_CHECK(kTarget, !p.caps.empty(), "a pin was left without caps");
        VORFUZZ_CHECK(kTarget, p.current < p.caps.size(), "a pin's current format is not one of its caps");
        if (p.interleaved)
            VORFUZZ_CHECK(kTarget, p.category == PinCategory::Capture, "an interleaved pin that is not a capture pin");
        for (const VideoCaps& c : p.caps) check_caps(c, p.interleaved);
    }
    if (d.crossbar) {
        const Crossbar& x = *d.crossbar;
        const auto n = static_cast<int32_t>(x.inputs.size());
        VORFUZZ_CHECK(kTarget, n >= 1, "a crossbar without inputs was accepted");
        VORFUZZ_CHECK(kTarget, x.outputs >= 1, "a crossbar without outputs was accepted");
        VORFUZZ_CHECK(kTarget, x.routed >= -1 && x.routed < n, "a crossbar routes an input it does not have");
        for (int32_t r : x.routable)
            VORFUZZ_CHECK(kTarget, r >= 0 && r < n, "a crossbar can route an input it does not have");
    }
    if (d.procamp) {
        for (const auto& e : *d.procamp) {
            if (!e) continue;
            VORFUZZ_CHECK(kTarget, e->min <= e->max, "a procamp range with min above max");
            VORFUZZ_CHECK(kTarget, e->step > 0, "a procamp step that is not positive");
            VORFUZZ_CHECK(kTarget, e->default_value >= e->min && e->default_value <= e->max,
                          "a procamp default outside its range");
            VORFUZZ_CHECK(kTarget, e->value >= e->min && e->value <= e->max, "a procamp value outside its range");
            VORFUZZ_CHECK(kTarget, e->flags >= 0, "negative procamp flags");
        }
    }
}

void check_set(const vorsim::DeviceSet& set) {
    using namespace vorsim;
    for (const VideoDevice& d : set.video) check_video(d);
    for (const AudioDevice& a : set.audio) {
        VORFUZZ_CHECK(kTarget, a.rate > 0, "an audio rate of 0 was accepted");
        VORFUZZ_CHECK(kTarget, a.channels > 0, "an audio device without channels was accepted");
    }
    for (size_t i = 0; i < set.cards.size(); ++i) {
        const Card& c = set.cards[i];
        VORFUZZ_CHECK(kTarget, c.id.rfind("BM-", 0) == 0, "a card id that does not begin with BM-");
        for (size_t j = 0; j < i; ++j)
            VORFUZZ_CHECK(kTarget, set.cards[j].id != c.id, "two cards share the id " + c.id);
        for (const CardMode& m : c.modes)
            VORFUZZ_CHECK(kTarget, m.width > 0 && m.height > 0, "a card mode without a size");
    }
    if (set.converters) {
        for (const std::string& name : *set.converters) {
            bool known = false;
            for (const std::string& k : known_converters()) known = known || k == name;
            VORFUZZ_CHECK(kTarget, known, "an unknown converter was accepted: " + name);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // A set that is not empty, so that a refused file visibly leaves it alone.
    static const vorsim::DeviceSet kBefore = vorsim::default_devices();
    vorsim::DeviceSet set = kBefore;
    std::string error;
    bool ok = false;
    try {
        ok = vorsim::parse_device_file(text, set, error);
    } catch (...) {
        vorfuzz::fail(kTarget, "parse_device_file threw");
    }
    if (!ok) {
        VORFUZZ_CHECK(kTarget, set == kBefore, "a refused file changed the set");
        VORFUZZ_CHECK(kTarget, !error.empty(), "a refused file without a reason");
        VORFUZZ_CHECK(kTarget, error.find_first_of("\r\n") == std::string::npos,
                      "the reason is not one line: " + error);
        return 0;
    }
    check_set(set);
    vorsim::DeviceSet again;
    std::string again_error;
    VORFUZZ_CHECK(kTarget, vorsim::parse_device_file(text, again, again_error) && again == set,
                  "reading the file twice differs");
    return 0;
}
