// The virtual camera: a DirectShow source filter with one output pin, the
// capture pin, written against the COM interfaces alone (no base classes).
//
//   Filter  IBaseFilter, IAMFilterMiscFlags (a source), IPersistPropertyBag
//           (the moniker's bag tells it which camera it is)
//   Pin     IPin, IAMStreamConfig (the camera's formats), IKsPropertySet
//           (PIN_CATEGORY_CAPTURE); it pushes ramp frames from a streaming
//           thread of its own while the filter runs
//
// The pin shares the filter's reference count: holding the pin keeps the
// filter alive. Graph calls (state changes, connection) take the filter's
// lock; the streaming thread reads the state through an atomic and never
// takes that lock, so Stop can wait for it.
#pragma once

#ifndef STRSAFE_NO_DEPRECATE
#define STRSAFE_NO_DEPRECATE
#endif
#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <cstdint>

#include "devices.h"

namespace vorvcam {

// The filter class every camera of this DLL binds to.
extern const CLSID kCameraClass;
// Objects and server locks alive, for DllCanUnloadNow.
extern std::atomic<long> g_live;
extern HMODULE g_module;

// The subtype GUID of a layout, and the media type of one format at a
// frame interval (its format block allocated with CoTaskMemAlloc).
GUID subtype_of(Layout layout);
HRESULT make_media_type(const CameraFormat& format, LONGLONG interval, AM_MEDIA_TYPE& mt);
void free_media_type(AM_MEDIA_TYPE& mt);
HRESULT copy_media_type(AM_MEDIA_TYPE& dst, const AM_MEDIA_TYPE& src);
// A VIDEOINFOHEADER of `mt`, or null when it has none.
const VIDEOINFOHEADER* video_info(const AM_MEDIA_TYPE& mt);

class Filter;

class Pin final : public IPin, public IAMStreamConfig, public IKsPropertySet {
public:
    explicit Pin(Filter& filter);
    ~Pin();
    Pin(const Pin&) = delete;
    Pin& operator=(const Pin&) = delete;

    // IUnknown: the filter's count.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IPin
    STDMETHODIMP Connect(IPin* receiver, const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* dir) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** out) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // IAMStreamConfig
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* mt) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** mt) override;
    STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
    STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) override;

    // IKsPropertySet
    STDMETHODIMP Set(REFGUID set, DWORD id, LPVOID instance, DWORD instance_size, LPVOID data,
                     DWORD data_size) override;
    STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID instance, DWORD instance_size, LPVOID data,
                     DWORD data_size, DWORD* returned) override;
    STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

    // From the filter, under its lock.
    HRESULT start_streaming();  // stopped -> paused: commit, start the thread
    void stop_streaming();      // -> stopped: end the thread, decommit

    // The types the pin offers now: the format SetFormat chose, or all.
    size_t offered_count() const;
    HRESULT offered_type(size_t i, AM_MEDIA_TYPE& mt) const;

    // The manual clock (vcam_control.h): asks for n more samples and
    // returns the count to wait for; waits until that many were delivered,
    // the stream ends, or `ms` pass.
    uint64_t request(long n);
    void wait_delivered(uint64_t target, DWORD ms);
    bool manual_clock() const { return manual_; }
    bool running() const;  // the filter runs: the stream delivers

private:
    static DWORD WINAPI thread_main(void* self);
    void stream();
    bool deliver_one();
    HRESULT negotiate_allocator(IPin* receiver, const AM_MEDIA_TYPE& mt);
    void release_connection();
    bool accepts(const AM_MEDIA_TYPE& mt, int* index) const;

    Filter& filter_;
    IPin* peer_ = nullptr;
    IMemInputPin* input_ = nullptr;
    IMemAllocator* allocator_ = nullptr;
    AM_MEDIA_TYPE connected_{};
    int connected_index_ = -1;
    int chosen_ = -1;  // the format SetFormat chose, -1 for none
    LONGLONG interval_ = kMinFrameInterval;

    HANDLE thread_ = nullptr;
    std::atomic<bool> quit_{false};
    SRWLOCK clock_lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE clock_cv_ = CONDITION_VARIABLE_INIT;
    bool manual_ = false;
    uint64_t requested_ = 0;  // manual clock: samples asked for
    uint64_t delivered_ = 0;  // and delivered
    uint64_t frame_ = 0;      // frame number since the stream started
};

class Filter final : public IBaseFilter, public IAMFilterMiscFlags, public IPersistPropertyBag {
public:
    Filter();
    ~Filter();
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IPersist
    STDMETHODIMP GetClassID(CLSID* id) override;
    // IMediaFilter
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD ms, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** out) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;
    // IAMFilterMiscFlags
    STDMETHODIMP_(ULONG) GetMiscFlags() override;
    // IPersistPropertyBag
    STDMETHODIMP InitNew() override;
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clear_dirty, BOOL save_all) override;

    const Camera& camera() const { return *camera_; }
    FILTER_STATE state() const { return state_.load(); }
    IFilterGraph* graph() const { return graph_; }
    CRITICAL_SECTION& lock() { return lock_; }
    // The stream time now (the reference clock less the run's start), or
    // false without a clock.
    bool stream_time(REFERENCE_TIME& now);

private:
    std::atomic<long> refs_{1};
    CRITICAL_SECTION lock_;
    std::atomic<FILTER_STATE> state_{State_Stopped};
    const Camera* camera_;
    IFilterGraph* graph_ = nullptr;  // not held: the graph holds the filter
    WCHAR name_[MAX_FILTER_NAME] = {};
    SRWLOCK clock_lock_ = SRWLOCK_INIT;  // guards clock_ and start_
    IReferenceClock* clock_ = nullptr;
    REFERENCE_TIME start_ = 0;
    Pin pin_;
};

// Enumerators (enumerators.cpp); each starts at the first entry.
HRESULT make_pin_enum(IBaseFilter* filter, IPin* pin, IEnumPins** out);
HRESULT make_type_enum(Pin* pin, IEnumMediaTypes** out);

// The streams running now, for the manual clock.
void streams_add(Pin* pin);
void streams_remove(Pin* pin);

}  // namespace vorvcam
