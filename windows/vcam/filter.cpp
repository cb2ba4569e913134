// The camera filter: state, clock, graph membership, and which camera it is.
#include "vcam.h"

#include <cwchar>

namespace vorvcam {

Filter::Filter() : camera_(&cameras()[0]), pin_(*this) {
    InitializeCriticalSection(&lock_);
    ++g_live;
}

Filter::~Filter() {
    {
        EnterCriticalSection(&lock_);
        if (state_ != State_Stopped) pin_.stop_streaming();
        LeaveCriticalSection(&lock_);
    }
    if (clock_) clock_->Release();
    DeleteCriticalSection(&lock_);
    --g_live;
}

STDMETHODIMP Filter::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter || iid == IID_IBaseFilter)
        *out = static_cast<IBaseFilter*>(this);
    else if (iid == IID_IAMFilterMiscFlags)
        *out = static_cast<IAMFilterMiscFlags*>(this);
    else if (iid == IID_IPersistPropertyBag)
        *out = static_cast<IPersistPropertyBag*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) Filter::AddRef() { return ULONG(++refs_); }

STDMETHODIMP_(ULONG) Filter::Release() {
    const long left = --refs_;
    if (left == 0) delete this;
    return ULONG(left);
}

STDMETHODIMP Filter::GetClassID(CLSID* id) {
    if (!id) return E_POINTER;
    *id = kCameraClass;
    return S_OK;
}

STDMETHODIMP Filter::Stop() {
    EnterCriticalSection(&lock_);
    if (state_ != State_Stopped) pin_.stop_streaming();
    state_ = State_Stopped;
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP Filter::Pause() {
    EnterCriticalSection(&lock_);
    HRESULT hr = S_OK;
    if (state_ == State_Stopped) hr = pin_.start_streaming();
    if (SUCCEEDED(hr)) state_ = State_Paused;
    LeaveCriticalSection(&lock_);
    return hr;
}

STDMETHODIMP Filter::Run(REFERENCE_TIME start) {
    EnterCriticalSection(&lock_);
    HRESULT hr = S_OK;
    if (state_ == State_Stopped) hr = pin_.start_streaming();
    if (SUCCEEDED(hr)) {
        AcquireSRWLockExclusive(&clock_lock_);
        start_ = start;
        ReleaseSRWLockExclusive(&clock_lock_);
        state_ = State_Running;
    }
    LeaveCriticalSection(&lock_);
    return hr;
}

STDMETHODIMP Filter::GetState(DWORD, FILTER_STATE* state) {
    if (!state) return E_POINTER;
    *state = state_;
    // A live source has nothing to show while paused.
    return *state == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP Filter::SetSyncSource(IReferenceClock* clock) {
    if (clock) clock->AddRef();
    AcquireSRWLockExclusive(&clock_lock_);
    IReferenceClock* old = clock_;
    clock_ = clock;
    ReleaseSRWLockExclusive(&clock_lock_);
    if (old) old->Release();
    return S_OK;
}

STDMETHODIMP Filter::GetSyncSource(IReferenceClock** clock) {
    if (!clock) return E_POINTER;
    AcquireSRWLockShared(&clock_lock_);
    *clock = clock_;
    if (clock_) clock_->AddRef();
    ReleaseSRWLockShared(&clock_lock_);
    return S_OK;
}

bool Filter::stream_time(REFERENCE_TIME& now) {
    AcquireSRWLockShared(&clock_lock_);
    bool ok = false;
    REFERENCE_TIME t = 0;
    if (clock_ && SUCCEEDED(clock_->GetTime(&t))) {
        now = t - start_;
        ok = true;
    }
    ReleaseSRWLockShared(&clock_lock_);
    return ok;
}

STDMETHODIMP Filter::EnumPins(IEnumPins** out) {
    if (!out) return E_POINTER;
    return make_pin_enum(this, &pin_, out);
}

STDMETHODIMP Filter::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin) return E_POINTER;
    if (std::wcscmp(id, L"Capture") != 0) {
        *pin = nullptr;
        return VFW_E_NOT_FOUND;
    }
    *pin = &pin_;
    pin_.AddRef();
    return S_OK;
}

STDMETHODIMP Filter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    EnterCriticalSection(&lock_);
    std::wcsncpy(info->achName, name_, MAX_FILTER_NAME);
    info->achName[MAX_FILTER_NAME - 1] = 0;
    info->pGraph = graph_;
    if (graph_) graph_->AddRef();
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP Filter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    EnterCriticalSection(&lock_);
    graph_ = graph;
    name_[0] = 0;
    if (graph && name) {
        std::wcsncpy(name_, name, MAX_FILTER_NAME);
        name_[MAX_FILTER_NAME - 1] = 0;
    }
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP Filter::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

STDMETHODIMP_(ULONG) Filter::GetMiscFlags() { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

STDMETHODIMP Filter::InitNew() { return S_OK; }

STDMETHODIMP Filter::Load(IPropertyBag* bag, IErrorLog* log) {
    if (!bag) return E_POINTER;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    HRESULT hr = bag->Read(L"DevicePath", &v, log);
    if (FAILED(hr)) return S_OK;  // no path: the first camera
    const Camera* camera = v.vt == VT_BSTR ? camera_by_path(v.bstrVal) : nullptr;
    VariantClear(&v);
    if (!camera) return E_FAIL;  // a path this DLL never registered
    EnterCriticalSection(&lock_);
    if (state_ == State_Stopped) camera_ = camera;
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP Filter::Save(IPropertyBag*, BOOL, BOOL) { return E_NOTIMPL; }

}  // namespace vorvcam
