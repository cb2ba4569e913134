// Small owners for what the platform hands out inside one operation, so
// every path releases it: interface references, media types, variants.
// The grabber's long-lived interfaces are plain pointers in its record.
#pragma once

#include <utility>

#include "dshow_platform.h"
#include "media_type_helpers.h"

// One reference to a COM interface, released when the holder goes.
template <class T>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* adopted) : p_(adopted) {}
    ~ComRef() { reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases what is held and hands out the slot.
    T** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }
    T* detach() { return std::exchange(p_, nullptr); }

    // QueryInterface into another holder; the HRESULT of the call.
    template <class U>
    HRESULT query(REFIID iid, ComRef<U>& out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out.put_void());
    }

private:
    T* p_ = nullptr;
};

// A media type filled into a struct the caller owns (ConnectionMediaType,
// GetConnectedMediaType): its format block is freed with it.
class MediaTypeHolder {
public:
    MediaTypeHolder() : mt_{} {}
    ~MediaTypeHolder() { FreeMediaType(mt_); }
    MediaTypeHolder(const MediaTypeHolder&) = delete;
    MediaTypeHolder& operator=(const MediaTypeHolder&) = delete;
    AM_MEDIA_TYPE* get() { return &mt_; }
    const AM_MEDIA_TYPE& operator*() const { return mt_; }
    const AM_MEDIA_TYPE* operator->() const { return &mt_; }

private:
    AM_MEDIA_TYPE mt_;
};

// A media type handed back as AM_MEDIA_TYPE** (GetFormat, GetStreamCaps):
// deleted with its format block.
class MediaTypePtr {
public:
    MediaTypePtr() = default;
    ~MediaTypePtr() { DeleteMediaType(p_); }
    MediaTypePtr(const MediaTypePtr&) = delete;
    MediaTypePtr& operator=(const MediaTypePtr&) = delete;
    AM_MEDIA_TYPE** put() {
        DeleteMediaType(p_);
        p_ = nullptr;
        return &p_;
    }
    AM_MEDIA_TYPE* get() const { return p_; }
    AM_MEDIA_TYPE* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    AM_MEDIA_TYPE* p_ = nullptr;
};

// A property-bag value, cleared when the holder goes.
class VariantHolder {
public:
    VariantHolder() { VariantInit(&v_); }
    ~VariantHolder() { VariantClear(&v_); }
    VariantHolder(const VariantHolder&) = delete;
    VariantHolder& operator=(const VariantHolder&) = delete;
    VARIANT* get() { return &v_; }
    const VARIANT& operator*() const { return v_; }

private:
    VARIANT v_;
};

// The VIDEOINFOHEADER of a media type whose format block holds one, else null.
inline const VIDEOINFOHEADER* video_info(const AM_MEDIA_TYPE& mt) {
    if (mt.formattype != FORMAT_VideoInfo || mt.cbFormat < sizeof(VIDEOINFOHEADER) || !mt.pbFormat) return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
}
