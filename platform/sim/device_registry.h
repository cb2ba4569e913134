// The devices plugged into the virtual machine now: the video and audio
// devices of the loaded DeviceSet plus those plugged later, each with a
// DeviceLink that the filters made from it hold.
//
// The enumerator takes a snapshot (video_devices()/audio_devices()), so an
// existing IEnumMoniker keeps the devices it started with. Unplugging a
// device marks its link absent and tells every filter attached to it
// (DeviceLossListener::device_lost), which then stops delivering. Binding a
// moniker whose device is gone fails.
//
// The control functions (load, plug, unplug, current set) are declared in
// vorsim.h, section [devices].
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "devices/device_set.h"

namespace vorsim {

// A filter made from a device, told when that device is unplugged.
class DeviceLossListener {
public:
    // Called once, on the thread that unplugs, with no lock of the filter's
    // held. Must not AddRef or Release the filter: it may be in its final
    // Release, waiting to detach.
    virtual void device_lost() = 0;

protected:
    ~DeviceLossListener() = default;
};

// Whether one plugged device is still there, and who to tell when it goes.
class DeviceLink {
public:
    bool present() const;
    // Registers a listener; false (and nothing registered) when the device
    // is already gone.
    bool attach(DeviceLossListener* listener);
    // Unregisters; after it returns device_lost() is not running for the
    // listener and will not be called.
    void detach(DeviceLossListener* listener);
    // Marks the device gone and calls every listener once.
    void unplug();

private:
    mutable std::mutex mutex_;
    bool present_ = true;
    std::vector<DeviceLossListener*> listeners_;  // not owned
};

struct PluggedVideoDevice {
    VideoDevice device;
    std::shared_ptr<DeviceLink> link;
};

struct PluggedAudioDevice {
    AudioDevice device;
    std::shared_ptr<DeviceLink> link;
};

// Snapshots of the plugged devices, in enumeration order (the loaded set's
// order, then plugged devices in plugging order). Before anything is loaded
// the set is default_devices().
std::vector<std::shared_ptr<const PluggedVideoDevice>> video_devices();
std::vector<std::shared_ptr<const PluggedAudioDevice>> audio_devices();

}  // namespace vorsim
