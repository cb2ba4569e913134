// The pin base: connection, media type negotiation and enumeration,
// delivery and Receive, the pin category.
#include "pin_base.h"

#include <cstring>
#include <new>

#include "vorsim.h"
#include "wide.h"

namespace vorsim {
namespace {

// IEnumMediaTypes over a snapshot of a pin's types. Holds the pin (and so
// its filter).
class MediaTypeEnumerator final : public ComObject<IEnumMediaTypes> {
public:
    MediaTypeEnumerator(IPin* pin, std::vector<MediaType> types, size_t position)
        : pin_(pin), types_(std::move(types)), position_(position) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** out, ULONG* fetched) override {
        if (out == nullptr) return E_POINTER;
        if (count > 1 && fetched == nullptr) return E_INVALIDARG;
        if (fetched != nullptr) *fetched = 0;
        std::lock_guard<std::mutex> lock(mutex_);
        ULONG got = 0;
        while (got < count && position_ < types_.size()) {
            AM_MEDIA_TYPE* copy = types_[position_].to_task_memory();
            if (copy == nullptr) {
                for (ULONG i = 0; i < got; ++i) {
                    DeleteMediaType(out[i]);
                    out[i] = nullptr;
                }
                position_ -= got;
                return E_OUTOFMEMORY;
            }
            out[got++] = copy;
            ++position_;
        }
        if (fetched != nullptr) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (count > types_.size() - position_) {
            position_ = types_.size();
            return S_FALSE;
        }
        position_ += count;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Reset() override {
        std::lock_guard<std::mutex> lock(mutex_);
        position_ = 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        std::lock_guard<std::mutex> lock(mutex_);
        try {
            *out = make_com<MediaTypeEnumerator>(pin_.get(), types_, position_).detach();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

private:
    ComPtr<IPin> pin_;
    std::mutex mutex_;
    const std::vector<MediaType> types_;
    size_t position_;
};

bool fully_specified(const AM_MEDIA_TYPE& mt) {
    return mt.majortype != GUID_NULL && mt.subtype != GUID_NULL && mt.formattype != GUID_NULL;
}

}  // namespace

PinCore::PinCore(FilterCore& filter, PIN_DIRECTION direction, std::u16string id, std::u16string name)
    : filter_(filter), direction_(direction), id_(std::move(id)), name_(std::move(name)) {}

PinCore::~PinCore() = default;

bool PinCore::connected() const {
    std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
    return static_cast<bool>(peer_);
}

IPin* PinCore::peer() const {
    std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
    return peer_.get();
}

MediaType PinCore::connection_type() const {
    std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
    return type_;
}

HRESULT PinCore::copy_connection_type(AM_MEDIA_TYPE* out) const {
    std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
    return CopyMediaType(out, &type_.get());
}

ALLOCATOR_PROPERTIES PinCore::buffer_properties(const AM_MEDIA_TYPE& mt) const {
    LONG size = static_cast<LONG>(mt.lSampleSize);
    if (size <= 0 && mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER) &&
        mt.pbFormat != nullptr) {
        size = static_cast<LONG>(reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biSizeImage);
    }
    return ALLOCATOR_PROPERTIES{4, size > 0 ? size : 1, 1, 0};
}

void PinCore::clear_connection() {
    peer_.reset();
    peer_input_.reset();
    pool_.reset();
    type_.clear();
}

HRESULT PinCore::try_connection(IPin* receive_pin, const AM_MEDIA_TYPE& mt) {
    if (check_media_type(mt) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = receive_pin->ReceiveConnection(ipin(), &mt);
    if (FAILED(hr)) return hr;
    try {
        peer_ = ComPtr<IPin>(receive_pin);
        type_ = MediaType(mt);
        if (FAILED(hr = receive_pin->QueryInterface(IID_IMemInputPin, peer_input_.put_void()))) {
            hr = VFW_E_NO_ALLOCATOR;
        } else {
            const ALLOCATOR_PROPERTIES props = buffer_properties(mt);
            pool_ = SamplePool::create(props.cBuffers, props.cbBuffer);
            peer_input_->NotifyAllocator(nullptr, FALSE);
            hr = on_connected(mt);
        }
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        clear_connection();
        receive_pin->Disconnect();
    }
    return hr;
}

HRESULT PinCore::connect(IPin* receive_pin, const AM_MEDIA_TYPE* pmt) {
    if (receive_pin == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IPin::Connect"); FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
    if (direction_ != PINDIR_OUTPUT) return E_UNEXPECTED;  // connections are made from the output end
    if (peer_) return VFW_E_ALREADY_CONNECTED;
    if (filter_.state() != State_Stopped) return VFW_E_NOT_STOPPED;
    PIN_DIRECTION other = PINDIR_OUTPUT;
    if (FAILED(receive_pin->QueryDirection(&other)) || other != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;

    if (pmt != nullptr && fully_specified(*pmt)) return try_connection(receive_pin, *pmt);
    try {
        for (const MediaType& type : media_types()) {
            if (pmt != nullptr && !fits_partial(*pmt, type.get())) continue;
            if (SUCCEEDED(try_connection(receive_pin, type.get()))) return S_OK;
        }
        ComPtr<IEnumMediaTypes> theirs;
        if (SUCCEEDED(receive_pin->EnumMediaTypes(theirs.put())) && theirs) {
            AM_MEDIA_TYPE* next = nullptr;
            while (theirs->Next(1, &next, nullptr) == S_OK) {
                const bool fits = pmt == nullptr || fits_partial(*pmt, *next);
                const HRESULT hr = fits ? try_connection(receive_pin, *next) : E_FAIL;
                DeleteMediaType(next);
                if (SUCCEEDED(hr)) return S_OK;
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT PinCore::receive_connection(IPin* connector, const AM_MEDIA_TYPE* pmt) {
    if (connector == nullptr || pmt == nullptr) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
    if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
    if (peer_) return VFW_E_ALREADY_CONNECTED;
    if (filter_.state() != State_Stopped) return VFW_E_NOT_STOPPED;
    PIN_DIRECTION other = PINDIR_INPUT;
    if (FAILED(connector->QueryDirection(&other)) || other != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    if (check_media_type(*pmt) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = S_OK;
    try {
        peer_ = ComPtr<IPin>(connector);
        type_ = MediaType(*pmt);
        hr = on_connected(*pmt);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) clear_connection();
    return hr;
}

HRESULT PinCore::disconnect() {
    if (HRESULT hr = fault_result("IPin::Disconnect"); FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
    if (filter_.state() != State_Stopped) return VFW_E_NOT_STOPPED;
    if (!peer_) return S_FALSE;
    on_disconnected();
    clear_connection();
    return S_OK;
}

HRESULT PinCore::connected_to(IPin** pin) {
    if (pin == nullptr) return E_POINTER;
    *pin = nullptr;
    if (HRESULT hr = fault_result("IPin::ConnectedTo"); FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
    if (!peer_) return VFW_E_NOT_CONNECTED;
    *pin = peer_.get();
    (*pin)->AddRef();
    return S_OK;
}

HRESULT PinCore::connection_media_type(AM_MEDIA_TYPE* pmt) {
    if (pmt == nullptr) return E_POINTER;
    std::memset(pmt, 0, sizeof *pmt);
    if (HRESULT hr = fault_result("IPin::ConnectionMediaType"); FAILED(hr)) return hr;
    std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
    if (!peer_) return VFW_E_NOT_CONNECTED;
    return CopyMediaType(pmt, &type_.get());
}

HRESULT PinCore::query_pin_info(PIN_INFO* info) {
    if (info == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IPin::QueryPinInfo"); FAILED(hr)) return hr;
    info->pFilter = filter_.base_filter();
    info->pFilter->AddRef();
    info->dir = direction_;
    copy_wide(name_, info->achName, MAX_PIN_NAME);
    return S_OK;
}

HRESULT PinCore::query_direction(PIN_DIRECTION* dir) {
    if (dir == nullptr) return E_POINTER;
    *dir = direction_;
    return S_OK;
}

HRESULT PinCore::query_id(LPWSTR* id) {
    if (id == nullptr) return E_POINTER;
    *id = task_mem_wide(id_);
    return *id != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT PinCore::query_accept(const AM_MEDIA_TYPE* pmt) {
    if (pmt == nullptr) return E_POINTER;
    return check_media_type(*pmt) == S_OK ? S_OK : S_FALSE;
}

HRESULT PinCore::enum_media_types(IEnumMediaTypes** ppEnum) {
    if (ppEnum == nullptr) return E_POINTER;
    *ppEnum = nullptr;
    if (HRESULT hr = fault_result("IPin::EnumMediaTypes"); FAILED(hr)) return hr;
    try {
        std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
        *ppEnum = make_com<MediaTypeEnumerator>(ipin(), media_types(), 0).detach();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT PinCore::end_of_stream() {
    if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
    std::lock_guard<std::mutex> streaming(filter_.streaming_lock());
    if (filter_.state() == State_Stopped) return VFW_E_WRONG_STATE;
    return on_end_of_stream();
}

HRESULT PinCore::begin_flush() {
    if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
    flushing_ = true;
    return S_OK;
}

HRESULT PinCore::end_flush() {
    if (direction_ != PINDIR_INPUT) return E_UNEXPECTED;
    flushing_ = false;
    return S_OK;
}

void PinCore::commit_pool() {
    std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
    if (pool_) pool_->commit();
}

void PinCore::decommit_pool() {
    std::lock_guard<std::recursive_mutex> lock(filter_.filter_lock());
    if (pool_) pool_->decommit();
}

// Streaming runs on the source's thread while the graph is active; the
// connection (peer_input_, pool_) cannot change then, because Disconnect
// needs a stopped filter and Stop joins the streaming thread first.
HRESULT PinCore::get_delivery_buffer(IMediaSample** sample) {
    if (sample == nullptr) return E_POINTER;
    *sample = nullptr;
    if (!pool_) return VFW_E_NOT_CONNECTED;
    return pool_->get_buffer(sample);
}

HRESULT PinCore::deliver(IMediaSample* sample) {
    if (sample == nullptr) return E_POINTER;
    if (!peer_input_) return VFW_E_NOT_CONNECTED;
    return peer_input_->Receive(sample);
}

HRESULT PinCore::receive(IMediaSample* sample) {
    if (sample == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> streaming(filter_.streaming_lock());
    if (filter_.state() == State_Stopped) return VFW_E_WRONG_STATE;
    if (flushing_) return S_FALSE;
    return on_receive(sample);
}

HRESULT PinCore::receive_multiple(IMediaSample** samples, LONG n, LONG* processed) {
    if (samples == nullptr || processed == nullptr) return E_POINTER;
    *processed = 0;
    HRESULT hr = S_OK;
    for (LONG i = 0; i < n; ++i) {
        hr = receive(samples[i]);
        if (hr != S_OK) break;
        ++*processed;
    }
    return hr;
}

HRESULT PinCore::ks_set(REFGUID set, DWORD) {
    return set == AMPROPSETID_Pin ? E_PROP_ID_UNSUPPORTED : E_PROP_SET_UNSUPPORTED;
}

HRESULT PinCore::ks_get(REFGUID set, DWORD id, LPVOID data, DWORD cb_data, DWORD* returned) {
    if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY || !category_) return E_PROP_ID_UNSUPPORTED;
    if (data == nullptr) {
        if (returned == nullptr) return E_POINTER;
        *returned = sizeof(GUID);  // size query
        return S_OK;
    }
    if (cb_data < sizeof(GUID)) return E_UNEXPECTED;
    std::memcpy(data, &*category_, sizeof(GUID));
    if (returned != nullptr) *returned = sizeof(GUID);
    return S_OK;
}

HRESULT PinCore::ks_query_supported(REFGUID set, DWORD id, DWORD* support) {
    if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY || !category_) return E_PROP_ID_UNSUPPORTED;
    if (support == nullptr) return E_POINTER;
    *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}

}  // namespace vorsim
