// The plugged devices and the device controls of vorsim.h.
#include "device_registry.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "transform_registry.h"
#include "vorsim.h"

namespace vorsim {

bool DeviceLink::present() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return present_;
}

bool DeviceLink::attach(DeviceLossListener* listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!present_) return false;
    listeners_.push_back(listener);
    return true;
}

void DeviceLink::detach(DeviceLossListener* listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void DeviceLink::unplug() {
    // The lock stays held while the listeners run, so a filter detaching in
    // its destructor waits until it has been told.
    std::lock_guard<std::mutex> lock(mutex_);
    if (!present_) return;
    present_ = false;
    for (DeviceLossListener* l : listeners_) l->device_lost();
    listeners_.clear();
}

namespace {

struct Registry {
    std::mutex mutex;
    bool loaded = false;  // false: default_devices() on first use
    std::vector<std::shared_ptr<const PluggedVideoDevice>> video;
    std::vector<std::shared_ptr<const PluggedAudioDevice>> audio;
    std::vector<Card> cards;
    std::optional<std::vector<std::string>> converters;
};

Registry& registry() {
    static Registry r;
    return r;
}

void add_devices(Registry& r, const DeviceSet& set) {
    for (const VideoDevice& d : set.video)
        r.video.push_back(std::make_shared<const PluggedVideoDevice>(PluggedVideoDevice{d, std::make_shared<DeviceLink>()}));
    for (const AudioDevice& d : set.audio)
        r.audio.push_back(std::make_shared<const PluggedAudioDevice>(PluggedAudioDevice{d, std::make_shared<DeviceLink>()}));
    r.cards.insert(r.cards.end(), set.cards.begin(), set.cards.end());
}

// Called with the registry locked.
void ensure_loaded(Registry& r) {
    if (r.loaded) return;
    r.loaded = true;
    add_devices(r, default_devices());
}

bool read_file(const std::string& path, DeviceSet& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf())) {
        error = path + ": cannot read the device file";
        return false;
    }
    std::string why;
    if (!parse_device_file(text.str(), out, why)) {
        error = path + ": " + why;
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::shared_ptr<const PluggedVideoDevice>> video_devices() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    ensure_loaded(r);
    return r.video;
}

std::vector<std::shared_ptr<const PluggedAudioDevice>> audio_devices() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    ensure_loaded(r);
    return r.audio;
}

void load_devices(const DeviceSet& set) {
    Registry& r = registry();
    std::vector<std::shared_ptr<const PluggedVideoDevice>> old_video;
    std::vector<std::shared_ptr<const PluggedAudioDevice>> old_audio;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.loaded = true;
        old_video.swap(r.video);
        old_audio.swap(r.audio);
        r.cards.clear();
        add_devices(r, set);
        r.converters = set.converters;
        if (set.converters) {
            transforms_allow_only(*set.converters);
        } else {
            transforms_allow_all();
        }
    }
    // Outside the registry lock: the filters of the old devices stop.
    for (auto& d : old_video) d->link->unplug();
    for (auto& d : old_audio) d->link->unplug();
}

bool load_device_file(const std::string& path, std::string& error) {
    DeviceSet set;
    if (!read_file(path, set, error)) return false;
    load_devices(set);
    return true;
}

void plug_devices(const DeviceSet& set) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    ensure_loaded(r);
    add_devices(r, set);
    if (set.converters) {
        r.converters = set.converters;
        transforms_allow_only(*set.converters);
    }
}

bool plug_device_file(const std::string& path, std::string& error) {
    DeviceSet set;
    if (!read_file(path, set, error)) return false;
    plug_devices(set);
    return true;
}

bool unplug_device(const std::string& name) {
    Registry& r = registry();
    std::shared_ptr<DeviceLink> gone;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        ensure_loaded(r);
        auto v = std::find_if(r.video.begin(), r.video.end(),
                              [&](const auto& d) { return device_label(d->device) == name; });
        if (v != r.video.end()) {
            gone = (*v)->link;
            r.video.erase(v);
        } else if (auto a = std::find_if(r.audio.begin(), r.audio.end(),
                                         [&](const auto& d) { return d->device.friendly_name == name; });
                   a != r.audio.end()) {
            gone = (*a)->link;
            r.audio.erase(a);
        } else if (auto c = std::find_if(r.cards.begin(), r.cards.end(),
                                         [&](const Card& card) { return card.name == name || card.id == name; });
                   c != r.cards.end()) {
            r.cards.erase(c);
            return true;
        } else {
            return false;
        }
    }
    gone->unplug();
    return true;
}

DeviceSet current_devices() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    ensure_loaded(r);
    DeviceSet set;
    for (const auto& d : r.video) set.video.push_back(d->device);
    for (const auto& d : r.audio) set.audio.push_back(d->device);
    set.cards = r.cards;
    set.converters = r.converters;
    return set;
}

}  // namespace vorsim
