// The pin enumerator (one pin) and the media type enumerator of the capture
// pin: one enumerator over a source that counts its items and hands out
// item N. Each source holds a reference on the object its items come from
// while the enumerator lives.
#include "vcam.h"

#include <new>

namespace vorvcam {

namespace {

template <class Interface, class Item, class Source>
class Enumerator final : public Interface {
public:
    Enumerator(const Source& source, ULONG position) : source_(source), position_(position) { ++g_live; }
    ~Enumerator() { --g_live; }
    Enumerator(const Enumerator&) = delete;
    Enumerator& operator=(const Enumerator&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == Source::iid()) {
            *out = static_cast<Interface*>(this);
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
    STDMETHODIMP Next(ULONG count, Item* items, ULONG* fetched) override {
        if (!items) return E_POINTER;
        if (count > 1 && !fetched) return E_INVALIDARG;
        ULONG got = 0;
        while (got < count && position_ < source_.count() && source_.get(position_, items[got])) {
            ++got;
            ++position_;
        }
        if (fetched) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const ULONG total = source_.count();
        const ULONG left = position_ < total ? total - position_ : 0;
        position_ += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(Interface** out) override {
        if (!out) return E_POINTER;
        *out = new (std::nothrow) Enumerator(source_, position_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::atomic<long> refs_{1};
    Source source_;
    ULONG position_;
};

// The filter's one pin.
class OnePin {
public:
    OnePin(IBaseFilter* filter, IPin* pin) : filter_(filter), pin_(pin) { filter_->AddRef(); }
    OnePin(const OnePin& other) : OnePin(other.filter_, other.pin_) {}
    OnePin& operator=(const OnePin&) = delete;
    ~OnePin() { filter_->Release(); }

    static const IID& iid() { return IID_IEnumPins; }
    ULONG count() const { return 1; }
    bool get(ULONG, IPin*& out) const {
        out = pin_;
        pin_->AddRef();
        return true;
    }

private:
    IBaseFilter* filter_;
    IPin* pin_;
};

// The types the capture pin offers, as they are when each is asked for.
class PinTypes {
public:
    explicit PinTypes(Pin* pin) : pin_(pin) { pin_->AddRef(); }
    PinTypes(const PinTypes& other) : PinTypes(other.pin_) {}
    PinTypes& operator=(const PinTypes&) = delete;
    ~PinTypes() { pin_->Release(); }

    static const IID& iid() { return IID_IEnumMediaTypes; }
    ULONG count() const { return ULONG(pin_->offered_count()); }
    bool get(ULONG position, AM_MEDIA_TYPE*& out) const {
        auto* mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (!mt) return false;
        if (FAILED(pin_->offered_type(position, *mt))) {
            CoTaskMemFree(mt);
            return false;
        }
        out = mt;
        return true;
    }

private:
    Pin* pin_;
};

}  // namespace

HRESULT make_pin_enum(IBaseFilter* filter, IPin* pin, IEnumPins** out) {
    *out = new (std::nothrow) Enumerator<IEnumPins, IPin*, OnePin>(OnePin(filter, pin), 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT make_type_enum(Pin* pin, IEnumMediaTypes** out) {
    *out = new (std::nothrow) Enumerator<IEnumMediaTypes, AM_MEDIA_TYPE*, PinTypes>(PinTypes(pin), 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace vorvcam
