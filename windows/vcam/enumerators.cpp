// The pin enumerator (one pin) and the media type enumerator of the capture
// pin. Each holds a reference on the filter while it lives.
#include "vcam.h"

#include <new>

namespace vorvcam {

namespace {

class PinEnum final : public IEnumPins {
public:
    PinEnum(IBaseFilter* filter, IPin* pin, ULONG position) : filter_(filter), pin_(pin), position_(position) {
        filter_->AddRef();
        ++g_live;
    }
    ~PinEnum() {
        filter_->Release();
        --g_live;
    }
    PinEnum(const PinEnum&) = delete;
    PinEnum& operator=(const PinEnum&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IEnumPins) {
            *out = static_cast<IEnumPins*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        const long left = --refs_;
        if (left == 0) delete this;
        return ULONG(left);
    }
    STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override {
        if (!pins) return E_POINTER;
        if (count > 1 && !fetched) return E_INVALIDARG;
        ULONG got = 0;
        while (got < count && position_ < 1) {
            pins[got++] = pin_;
            pin_->AddRef();
            ++position_;
        }
        if (fetched) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const ULONG left = 1 - position_;
        position_ += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumPins** out) override {
        if (!out) return E_POINTER;
        *out = new (std::nothrow) PinEnum(filter_, pin_, position_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::atomic<long> refs_{1};
    IBaseFilter* filter_;
    IPin* pin_;
    ULONG position_;
};

// Offers the pin's types as they are when it is made.
class TypeEnum final : public IEnumMediaTypes {
public:
    TypeEnum(Pin* pin, ULONG position) : pin_(pin), position_(position) {
        pin_->AddRef();
        ++g_live;
    }
    ~TypeEnum() {
        pin_->Release();
        --g_live;
    }
    TypeEnum(const TypeEnum&) = delete;
    TypeEnum& operator=(const TypeEnum&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IEnumMediaTypes) {
            *out = static_cast<IEnumMediaTypes*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        const long left = --refs_;
        if (left == 0) delete this;
        return ULONG(left);
    }
    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
        if (!types) return E_POINTER;
        if (count > 1 && !fetched) return E_INVALIDARG;
        ULONG got = 0;
        while (got < count && position_ < pin_->offered_count()) {
            auto* mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
            if (!mt) break;
            if (FAILED(pin_->offered_type(position_, *mt))) {
                CoTaskMemFree(mt);
                break;
            }
            types[got++] = mt;
            ++position_;
        }
        if (fetched) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const ULONG total = ULONG(pin_->offered_count());
        const ULONG left = position_ < total ? total - position_ : 0;
        position_ += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumMediaTypes** out) override {
        if (!out) return E_POINTER;
        *out = new (std::nothrow) TypeEnum(pin_, position_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::atomic<long> refs_{1};
    Pin* pin_;
    ULONG position_;
};

}  // namespace

HRESULT make_pin_enum(IBaseFilter* filter, IPin* pin, IEnumPins** out) {
    *out = new (std::nothrow) PinEnum(filter, pin, 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT make_type_enum(Pin* pin, IEnumMediaTypes** out) {
    *out = new (std::nothrow) TypeEnum(pin, 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace vorvcam
