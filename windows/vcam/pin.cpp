// The capture pin: connection and allocator, stream configuration, the pin
// category, and the streaming thread.
#include "vcam.h"
#include "vcam_control.h"

#include <cstring>
#include <cwchar>

namespace vorvcam {

namespace {

constexpr WCHAR kPinName[] = L"Capture";
constexpr long kBuffers = 3;

bool matches(const GUID& wanted, const GUID& have) { return wanted == GUID_NULL || wanted == have; }

// Reads whether this process asked for the manual clock.
bool manual_clock_asked() {
    WCHAR value[16] = {};
    const DWORD n = GetEnvironmentVariableW(VORVCAM_CLOCK_VARIABLE, value, 16);
    return n > 0 && n < 16 && _wcsicmp(value, L"manual") == 0;
}

}  // namespace

Pin::Pin(Filter& filter) : filter_(filter) {}

Pin::~Pin() {
    release_connection();
    if (thread_) CloseHandle(thread_);
}

STDMETHODIMP Pin::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPin)
        *out = static_cast<IPin*>(this);
    else if (iid == IID_IAMStreamConfig)
        *out = static_cast<IAMStreamConfig*>(this);
    else if (iid == IID_IKsPropertySet)
        *out = static_cast<IKsPropertySet*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) Pin::AddRef() { return filter_.AddRef(); }
STDMETHODIMP_(ULONG) Pin::Release() { return filter_.Release(); }

// ---------------------------------------------------------------- types

size_t Pin::offered_count() const { return chosen_ >= 0 ? 1 : filter_.camera().format_count; }

HRESULT Pin::offered_type(size_t i, AM_MEDIA_TYPE& mt) const {
    const Camera& c = filter_.camera();
    if (chosen_ >= 0) return i == 0 ? make_media_type(c.formats[chosen_], interval_, mt) : E_INVALIDARG;
    if (i >= c.format_count) return E_INVALIDARG;
    return make_media_type(c.formats[i], kMinFrameInterval, mt);
}

// A type this pin can deliver now: one of the offered formats, the same
// subtype and frame size in a VIDEOINFOHEADER.
bool Pin::accepts(const AM_MEDIA_TYPE& mt, int* index) const {
    const VIDEOINFOHEADER* vih = video_info(mt);
    if (mt.majortype != MEDIATYPE_Video || !vih) return false;
    const Camera& c = filter_.camera();
    for (size_t i = 0; i < c.format_count; ++i) {
        if (chosen_ >= 0 && int(i) != chosen_) continue;
        const CameraFormat& f = c.formats[i];
        if (mt.subtype == subtype_of(f.layout) && vih->bmiHeader.biWidth == f.width &&
            vih->bmiHeader.biHeight == f.height) {
            if (index) *index = int(i);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------- IPin

STDMETHODIMP Pin::Connect(IPin* receiver, const AM_MEDIA_TYPE* wanted) {
    if (!receiver) return E_POINTER;
    EnterCriticalSection(&filter_.lock());
    HRESULT result = VFW_E_NO_ACCEPTABLE_TYPES;
    if (peer_) {
        result = VFW_E_ALREADY_CONNECTED;
    } else if (filter_.state() != State_Stopped) {
        result = VFW_E_NOT_STOPPED;
    } else {
        // Our formats in order; the first the receiver takes (and an
        // allocator can be agreed for) is the connection.
        for (size_t i = 0; i < offered_count(); ++i) {
            AM_MEDIA_TYPE mt;
            if (FAILED(offered_type(i, mt))) continue;
            bool fits = true;
            if (wanted) {
                fits = matches(wanted->majortype, mt.majortype) && matches(wanted->subtype, mt.subtype) &&
                       matches(wanted->formattype, mt.formattype);
                if (fits && wanted->formattype == FORMAT_VideoInfo) fits = accepts(*wanted, nullptr);
            }
            if (fits && SUCCEEDED(receiver->ReceiveConnection(this, &mt))) {
                if (SUCCEEDED(negotiate_allocator(receiver, mt))) {
                    peer_ = receiver;
                    peer_->AddRef();
                    connected_ = mt;  // takes the format block
                    connected_index_ = chosen_ >= 0 ? chosen_ : int(i);
                    result = S_OK;
                    break;
                }
                receiver->Disconnect();
            }
            free_media_type(mt);
        }
    }
    LeaveCriticalSection(&filter_.lock());
    return result;
}

HRESULT Pin::negotiate_allocator(IPin* receiver, const AM_MEDIA_TYPE& mt) {
    IMemInputPin* input = nullptr;
    if (FAILED(receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input)))) return E_NOINTERFACE;
    ALLOCATOR_PROPERTIES asked{};
    input->GetAllocatorRequirements(&asked);
    ALLOCATOR_PROPERTIES props{};
    props.cBuffers = asked.cBuffers > kBuffers ? asked.cBuffers : kBuffers;
    props.cbBuffer = LONG(mt.lSampleSize);
    props.cbAlign = asked.cbAlign > 1 ? asked.cbAlign : 1;
    props.cbPrefix = asked.cbPrefix;

    // The receiver's allocator first, then one of our own.
    HRESULT hr = E_FAIL;
    for (int attempt = 0; attempt < 2 && FAILED(hr); ++attempt) {
        IMemAllocator* allocator = nullptr;
        if (attempt == 0) {
            if (FAILED(input->GetAllocator(&allocator))) continue;
        } else if (FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                           reinterpret_cast<void**>(&allocator)))) {
            continue;
        }
        ALLOCATOR_PROPERTIES actual{};
        hr = allocator->SetProperties(&props, &actual);
        if (SUCCEEDED(hr) && actual.cbBuffer < props.cbBuffer) hr = E_FAIL;
        if (SUCCEEDED(hr)) hr = input->NotifyAllocator(allocator, FALSE);
        if (SUCCEEDED(hr)) {
            allocator_ = allocator;
            input_ = input;
            return S_OK;
        }
        allocator->Release();
    }
    input->Release();
    return hr;
}

void Pin::release_connection() {
    if (allocator_) {
        allocator_->Decommit();
        allocator_->Release();
        allocator_ = nullptr;
    }
    if (input_) {
        input_->Release();
        input_ = nullptr;
    }
    if (peer_) {
        peer_->Release();
        peer_ = nullptr;
    }
    free_media_type(connected_);
    std::memset(&connected_, 0, sizeof connected_);
    connected_index_ = -1;
}

STDMETHODIMP Pin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) { return E_UNEXPECTED; }  // an output pin

STDMETHODIMP Pin::Disconnect() {
    EnterCriticalSection(&filter_.lock());
    HRESULT hr = S_OK;
    if (filter_.state() != State_Stopped)
        hr = VFW_E_NOT_STOPPED;
    else if (!peer_)
        hr = S_FALSE;
    else
        release_connection();
    LeaveCriticalSection(&filter_.lock());
    return hr;
}

STDMETHODIMP Pin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    EnterCriticalSection(&filter_.lock());
    *pin = peer_;
    if (peer_) peer_->AddRef();
    LeaveCriticalSection(&filter_.lock());
    return *pin ? S_OK : VFW_E_NOT_CONNECTED;
}

STDMETHODIMP Pin::ConnectionMediaType(AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    EnterCriticalSection(&filter_.lock());
    HRESULT hr = VFW_E_NOT_CONNECTED;
    if (peer_)
        hr = copy_media_type(*mt, connected_);
    else
        std::memset(mt, 0, sizeof *mt);
    LeaveCriticalSection(&filter_.lock());
    return hr;
}

STDMETHODIMP Pin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    info->pFilter = &static_cast<IBaseFilter&>(filter_);
    info->pFilter->AddRef();
    info->dir = PINDIR_OUTPUT;
    std::wcsncpy(info->achName, kPinName, MAX_PIN_NAME);
    return S_OK;
}

STDMETHODIMP Pin::QueryDirection(PIN_DIRECTION* dir) {
    if (!dir) return E_POINTER;
    *dir = PINDIR_OUTPUT;
    return S_OK;
}

STDMETHODIMP Pin::QueryId(LPWSTR* id) {
    if (!id) return E_POINTER;
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof kPinName));
    if (!*id) return E_OUTOFMEMORY;
    std::memcpy(*id, kPinName, sizeof kPinName);
    return S_OK;
}

STDMETHODIMP Pin::QueryAccept(const AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    return accepts(*mt, nullptr) ? S_OK : S_FALSE;
}

STDMETHODIMP Pin::EnumMediaTypes(IEnumMediaTypes** out) {
    if (!out) return E_POINTER;
    return make_type_enum(this, out);
}

STDMETHODIMP Pin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }
// Upstream calls, for input pins.
STDMETHODIMP Pin::EndOfStream() { return E_UNEXPECTED; }
STDMETHODIMP Pin::BeginFlush() { return E_UNEXPECTED; }
STDMETHODIMP Pin::EndFlush() { return E_UNEXPECTED; }
STDMETHODIMP Pin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

// ---------------------------------------------------------------- IAMStreamConfig

STDMETHODIMP Pin::SetFormat(AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    EnterCriticalSection(&filter_.lock());
    HRESULT hr = S_OK;
    const int before = chosen_;
    chosen_ = -1;  // match against every capability
    int index = -1;
    if (filter_.state() != State_Stopped) {
        hr = VFW_E_NOT_STOPPED;
    } else if (!accepts(*mt, &index)) {
        hr = VFW_E_INVALIDMEDIATYPE;
    }
    if (FAILED(hr)) {
        chosen_ = before;
        LeaveCriticalSection(&filter_.lock());
        return hr;
    }
    LONGLONG interval = video_info(*mt)->AvgTimePerFrame;
    if (interval <= 0) interval = kMinFrameInterval;
    if (interval < kMinFrameInterval) interval = kMinFrameInterval;
    if (interval > kMaxFrameInterval) interval = kMaxFrameInterval;

    if (peer_ && index != connected_index_) {
        // Another format while connected: the receiver has to take it, and
        // the graph reconnects the pin with it.
        AM_MEDIA_TYPE next;
        hr = make_media_type(filter_.camera().formats[index], interval, next);
        if (SUCCEEDED(hr)) {
            hr = peer_->QueryAccept(&next) == S_OK ? S_OK : VFW_E_INVALIDMEDIATYPE;
            free_media_type(next);
        }
        if (FAILED(hr)) {
            chosen_ = before;
            LeaveCriticalSection(&filter_.lock());
            return hr;
        }
        chosen_ = index;
        interval_ = interval;
        IFilterGraph* graph = filter_.graph();
        LeaveCriticalSection(&filter_.lock());
        return graph ? graph->Reconnect(this) : VFW_E_NOT_IN_GRAPH;
    }
    chosen_ = index;
    interval_ = interval;
    if (peer_) {
        // Same format: only the rate changes.
        if (VIDEOINFOHEADER* vih = reinterpret_cast<VIDEOINFOHEADER*>(connected_.pbFormat)) vih->AvgTimePerFrame = interval;
    }
    LeaveCriticalSection(&filter_.lock());
    return S_OK;
}

STDMETHODIMP Pin::GetFormat(AM_MEDIA_TYPE** out) {
    if (!out) return E_POINTER;
    *out = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!*out) return E_OUTOFMEMORY;
    EnterCriticalSection(&filter_.lock());
    HRESULT hr;
    if (peer_)
        hr = copy_media_type(**out, connected_);
    else
        hr = offered_type(0, **out);  // the chosen format, or the first
    LeaveCriticalSection(&filter_.lock());
    if (FAILED(hr)) {
        CoTaskMemFree(*out);
        *out = nullptr;
    }
    return hr;
}

STDMETHODIMP Pin::GetNumberOfCapabilities(int* count, int* size) {
    if (!count || !size) return E_POINTER;
    *count = int(filter_.camera().format_count);
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

STDMETHODIMP Pin::GetStreamCaps(int index, AM_MEDIA_TYPE** out, BYTE* caps_bytes) {
    if (!out || !caps_bytes) return E_POINTER;
    const Camera& c = filter_.camera();
    if (index < 0) return E_INVALIDARG;
    if (size_t(index) >= c.format_count) return S_FALSE;
    const CameraFormat& f = c.formats[index];
    *out = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!*out) return E_OUTOFMEMORY;
    HRESULT hr = make_media_type(f, kMinFrameInterval, **out);
    if (FAILED(hr)) {
        CoTaskMemFree(*out);
        *out = nullptr;
        return hr;
    }
    VIDEO_STREAM_CONFIG_CAPS caps{};
    caps.guid = FORMAT_VideoInfo;
    const LONG height = f.height < 0 ? -f.height : f.height;
    caps.InputSize = SIZE{f.width, height};
    caps.MinCroppingSize = caps.MaxCroppingSize = caps.InputSize;
    caps.MinOutputSize = caps.MaxOutputSize = caps.InputSize;
    caps.CropGranularityX = caps.CropGranularityY = 1;
    caps.CropAlignX = caps.CropAlignY = 1;
    caps.OutputGranularityX = caps.OutputGranularityY = 1;
    caps.MinFrameInterval = kMinFrameInterval;
    caps.MaxFrameInterval = kMaxFrameInterval;
    const double bits = double(ramp_frame_size(f.layout, f.width, f.height)) * 8.0;
    caps.MinBitsPerSecond = LONG(bits * 10000000.0 / double(kMaxFrameInterval));
    caps.MaxBitsPerSecond = LONG(bits * 10000000.0 / double(kMinFrameInterval));
    std::memcpy(caps_bytes, &caps, sizeof caps);
    return S_OK;
}

// ---------------------------------------------------------------- IKsPropertySet

STDMETHODIMP Pin::Set(REFGUID set, DWORD, LPVOID, DWORD, LPVOID, DWORD) {
    return set == AMPROPSETID_Pin ? E_PROP_ID_UNSUPPORTED : E_PROP_SET_UNSUPPORTED;
}

STDMETHODIMP Pin::Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD data_size, DWORD* returned) {
    if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (!data) {
        if (!returned) return E_POINTER;
        *returned = sizeof(GUID);  // a size query
        return S_OK;
    }
    if (data_size < sizeof(GUID)) return E_UNEXPECTED;
    *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
    if (returned) *returned = sizeof(GUID);
    return S_OK;
}

STDMETHODIMP Pin::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
    if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (support) *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}

// ---------------------------------------------------------------- streaming

HRESULT Pin::start_streaming() {
    if (!peer_ || thread_) return S_OK;  // nothing to stream to
    HRESULT hr = allocator_->Commit();
    if (FAILED(hr)) return hr;
    quit_ = false;
    AcquireSRWLockExclusive(&clock_lock_);
    manual_ = manual_clock_asked();
    requested_ = delivered_ = 0;
    frame_ = 0;
    ReleaseSRWLockExclusive(&clock_lock_);
    thread_ = CreateThread(nullptr, 0, &Pin::thread_main, this, 0, nullptr);
    if (!thread_) {
        allocator_->Decommit();
        return HRESULT_FROM_WIN32(GetLastError());
    }
    streams_add(this);
    return S_OK;
}

void Pin::stop_streaming() {
    if (!thread_) return;
    streams_remove(this);
    quit_ = true;
    AcquireSRWLockExclusive(&clock_lock_);
    WakeAllConditionVariable(&clock_cv_);
    ReleaseSRWLockExclusive(&clock_lock_);
    // Decommitting ends a GetBuffer that waits for a free sample.
    if (allocator_) allocator_->Decommit();
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
}

DWORD WINAPI Pin::thread_main(void* self) {
    static_cast<Pin*>(self)->stream();
    return 0;
}

void Pin::stream() {
    ULONGLONG due = GetTickCount64();
    while (!quit_) {
        if (filter_.state() != State_Running) {
            // Live: nothing is delivered while paused.
            AcquireSRWLockExclusive(&clock_lock_);
            if (!quit_) SleepConditionVariableSRW(&clock_cv_, &clock_lock_, 5, 0);
            ReleaseSRWLockExclusive(&clock_lock_);
            due = GetTickCount64();
            continue;
        }
        if (manual_) {
            AcquireSRWLockExclusive(&clock_lock_);
            while (!quit_ && delivered_ == requested_) SleepConditionVariableSRW(&clock_cv_, &clock_lock_, INFINITE, 0);
            ReleaseSRWLockExclusive(&clock_lock_);
            if (quit_) break;
            const bool ok = deliver_one();
            AcquireSRWLockExclusive(&clock_lock_);
            // A sample that could not be delivered still answers the request:
            // the shell must not wait for it.
            ++delivered_;
            WakeAllConditionVariable(&clock_cv_);
            ReleaseSRWLockExclusive(&clock_lock_);
            (void)ok;
            continue;
        }
        const ULONGLONG now = GetTickCount64();
        if (now < due) {
            AcquireSRWLockExclusive(&clock_lock_);
            if (!quit_) SleepConditionVariableSRW(&clock_cv_, &clock_lock_, DWORD(due - now), 0);
            ReleaseSRWLockExclusive(&clock_lock_);
            continue;
        }
        deliver_one();
        due += ULONGLONG(interval_ / 10000);
        if (due + 1000 < GetTickCount64()) due = GetTickCount64();  // fell far behind: start again
    }
}

bool Pin::deliver_one() {
    IMediaSample* sample = nullptr;
    if (FAILED(allocator_->GetBuffer(&sample, nullptr, nullptr, 0)) || !sample) return false;
    BYTE* data = nullptr;
    const VIDEOINFOHEADER* vih = video_info(connected_);
    const CameraFormat& f = filter_.camera().formats[connected_index_];
    bool ok = vih && SUCCEEDED(sample->GetPointer(&data)) &&
              ramp_fill(f.layout, f.width, f.height, frame_, data, size_t(sample->GetSize()));
    if (ok) {
        sample->SetActualDataLength(LONG(ramp_frame_size(f.layout, f.width, f.height)));
        REFERENCE_TIME start = 0;
        if (!filter_.stream_time(start)) start = REFERENCE_TIME(frame_) * interval_;
        REFERENCE_TIME stop = start + interval_;
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(TRUE);
        sample->SetDiscontinuity(frame_ == 0 ? TRUE : FALSE);
        ok = SUCCEEDED(input_->Receive(sample));
    }
    sample->Release();
    ++frame_;
    return ok;
}

bool Pin::running() const { return filter_.state() == State_Running; }

uint64_t Pin::request(long n) {
    AcquireSRWLockExclusive(&clock_lock_);
    requested_ += uint64_t(n);
    const uint64_t target = requested_;
    WakeAllConditionVariable(&clock_cv_);
    ReleaseSRWLockExclusive(&clock_lock_);
    return target;
}

void Pin::wait_delivered(uint64_t target, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    AcquireSRWLockExclusive(&clock_lock_);
    while (!quit_ && delivered_ < target) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) break;
        SleepConditionVariableSRW(&clock_cv_, &clock_lock_, DWORD(end - now), 0);
    }
    ReleaseSRWLockExclusive(&clock_lock_);
}

}  // namespace vorvcam
