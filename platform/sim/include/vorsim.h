// Control of the in-process platform, for the shell and for tests. The
// module never includes this: it only sees the platform through
// platform/include.
//
// What a person (or a test) can do to the virtual machine: choose the clock,
// make sources deliver frames, make platform calls fail, and (in the marked
// places below, filled in by the code for devices, dialogs and windows) load and
// plug devices, answer dialogs and decide whether a main window exists.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dshow_platform.h"

#define VORSIM_API __attribute__((visibility("default")))

namespace vorsim {

// ---- Clock -----------------------------------------------------------------
//
// real:   every running source pushes a sample each frame interval.
// manual: nothing streams until deliver_frames().
enum class ClockMode { real, manual };

VORSIM_API void clock_set(ClockMode mode);
VORSIM_API ClockMode clock_mode();

// Every source that is running now pushes n samples, each on its own
// streaming thread, and this returns once all of them were handled (passed
// downstream and returned from Receive) or their source stopped. Works in
// either clock mode (in real mode the n samples come on top of the timed
// ones). Returns how many sources were asked.
VORSIM_API int deliver_frames(int n);

// ---- Faults ----------------------------------------------------------------
//
// Any platform call the module makes can be made to fail. Names:
//   "Interface::Method"            a COM method, named after the interface
//                                  that declares it in the vtable
//                                  ("IMediaControl::Run",
//                                  "IFilterGraph::AddFilter",
//                                  "IMediaFilter::Stop", "IPin::Connect").
//   "Interface::Method:NAME"       a method with a name argument: NAME is the
//                                  argument as UTF-8 ("IFilterGraph::AddFilter:Null"
//                                  faults only the filter added as "Null").
//   "CoCreateInstance:SHORTNAME"   creating a class; SHORTNAME is the name it
//                                  was registered with, e.g. SampleGrabber,
//                                  NullRenderer, FilterGraph,
//                                  CaptureGraphBuilder2, SystemDeviceEnum.
//   "Function"                     another exported function
//                                  ("OleCreatePropertyFrame", "CryptCreateHash").
// A call checks the unqualified name first, then the qualified one, so a
// fault on "IFilterGraph::AddFilter" hits every AddFilter.
//
// count: how many of the next matching calls fail; kAlways for every one.
// result: the failure returned; 0 means the call's own typical failure
// (CoCreateInstance: REGDB_E_CLASSNOTREG; most others E_FAIL).
inline constexpr int kAlways = -1;
VORSIM_API void fault_set(const std::string& name, int count = kAlways, HRESULT result = 0);
VORSIM_API void fault_clear();
// Consumes one fault of that name if one is armed.
VORSIM_API bool fault_hit(const char* name);
// For call sites: S_OK when no fault is armed; else the armed result, or
// site_default when the fault was set without one. Consumes the fault.
VORSIM_API HRESULT fault_result(const char* name, HRESULT site_default = E_FAIL);
// fault_result on "base" and then on "base:qualifier" (qualifier UTF-16).
VORSIM_API HRESULT fault_result(const char* base, const WCHAR* qualifier, HRESULT site_default = E_FAIL);

// ---- Property-page dialogs -------------------------------------------------
//
// OleCreatePropertyFrame shows nothing: it reports the call here and returns
// what the handler returns (S_OK without a handler). The handler runs on the
// calling thread, as the modal dialog would, and may act on the objects
// (e.g. call IAMStreamConfig::SetFormat as a stream-format page would).
//
// device_name names the device when the first object is a filter the sim
// made from a plugged device (a video or audio capture filter): its friendly
// name, else its description, in UTF-8. It is empty for any other object,
// and when there is none. The module passes no caption, so the shell names
// its dialogs by this.
struct PropertyFrameCall {
    std::u16string caption;
    std::vector<IUnknown*> objects;  // valid during the call only
    std::vector<CLSID> pages;
    std::string device_name;
};
using PropertyFrameHandler = std::function<HRESULT(const PropertyFrameCall&)>;
VORSIM_API void property_frame_handler_set(PropertyFrameHandler handler);  // empty: none

// ---- Devices ---------------------------------------------------------------
// [devices] The virtual devices plugged in now. Until something is loaded
// the set is default_devices() (what vorhost uses without --devices); an
// empty DeviceSet gives no devices at all. DeviceSet and parse_device_file
// are in devices/device_set.h (library vorsim_devices, inside vorplatform).
//
// - Enumerations made after a change see it; an IEnumMoniker made before
//   keeps the devices it started with, but binding a filter for a device
//   that is gone fails.
// - A device that goes away (unplugged, or dropped by load_devices) while
//   one of its filters streams: that filter stops delivering at once.
// - The set's "converters" list restricts the transform filters intelligent
//   connect may insert (transforms_allow_only); load_devices without a list
//   allows all of them; plug_devices changes the restriction only when the
//   plugged set has a list.
// - Cards belong to the host's card back end, not to the platform: they are
//   kept in current_devices() for the shell to pass on, and nothing here
//   uses them.
struct DeviceSet;

// Replaces every device with the set's.
VORSIM_API void load_devices(const DeviceSet& set);
// Reads and parses a device file, then load_devices. On failure returns
// false, sets error to one line (the file name, then what is wrong) and
// changes nothing.
VORSIM_API bool load_device_file(const std::string& path, std::string& error);
// Adds the set's devices after those already plugged (hot-plugging).
VORSIM_API void plug_devices(const DeviceSet& set);
// plug_devices with a device file; on failure as load_device_file.
VORSIM_API bool plug_device_file(const std::string& path, std::string& error);
// Removes one device: the first video device whose description (or, when
// it has none, friendly name) is `name`, else the first audio device of
// that friendly name, else the first card of that name or id. False when
// there is none.
VORSIM_API bool unplug_device(const std::string& name);
// The devices plugged now, with the cards and the converters list.
VORSIM_API DeviceSet current_devices();

// ---- Save dialogs and windows ----------------------------------------------
// [dialogs] Answers for the next save dialog, and [windows] whether the host
// has a main window: declared here by the code that owns them.

// ---- Recordings ------------------------------------------------------------
//
// What the AVI Mux was handed during each recording it finished, for tests
// to hold the file against: the file's path, and per stream in file order
// the video frames, or the bytes of whole audio samples, that reached the
// writer while the file was open. ok is false when a write or the closing
// failed. The reports of the last 256 recordings are kept until taken.
struct RecordingStreamReport {
    bool video = false;
    long long received = 0;  // video: frames; audio: bytes
};
struct RecordingReport {
    std::string path;
    std::vector<RecordingStreamReport> streams;
    bool ok = false;
};
// The reports kept, oldest first; they are forgotten here.
VORSIM_API std::vector<RecordingReport> take_recording_reports();

// ---- Test support ----------------------------------------------------------
// Bytes of task memory (CoTaskMemAlloc) and BSTRs currently allocated.
VORSIM_API long long task_memory_outstanding();
// Blocks of task memory allocated since the process started.
VORSIM_API long long task_memory_allocations();
VORSIM_API long long bstr_outstanding();

}  // namespace vorsim
