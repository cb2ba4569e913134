// COM objects of the in-process platform: IUnknown written once.
//
//   ComPtr<T>          owning interface pointer (AddRef on copy, Release on
//                      destruction); put() hands its address to out-params.
//   RefCount           the atomic count of one object; deletes it at zero.
//   ComObject<I...>    an object with its own count implementing the
//                      interfaces I... (and the ones they derive from).
//   ComPart<I...>      a part of another object (a filter's pin) with its
//                      own interfaces and identity but the owner's count:
//                      holding the part keeps the owner alive.
//   make_com<T>(...)   creates a T holding the creator's first reference.
//
// QueryInterface: E_POINTER for a null out-pointer, IID_IUnknown always
// gives the same pointer for one object, an interface is answered when it is
// in the list (or a base of one), interface_allowed() can hide one per
// object, and query_extra() can answer more (already AddRef'd).
#pragma once

#include <atomic>
#include <new>
#include <tuple>
#include <type_traits>
#include <utility>

#include "dshow_platform.h"

namespace vorsim {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Shares p: takes a new reference.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(ComPtr<U> o) : p_(o.detach()) {}
    ~ComPtr() { reset(); }
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }

    // Takes over a reference the caller already owns.
    static ComPtr adopt(T* p) {
        ComPtr r;
        r.p_ = p;
        return r;
    }
    T* detach() { return std::exchange(p_, nullptr); }
    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // For out-parameters: releases what is held and returns the slot.
    T** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // QueryInterface into another holder.
    template <class U>
    HRESULT query(const IID& iid, ComPtr<U>& out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out.put_void());
    }

private:
    T* p_ = nullptr;
};

class RefCount {
public:
    RefCount(const RefCount&) = delete;
    RefCount& operator=(const RefCount&) = delete;

    ULONG add_ref() noexcept { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG release() noexcept {
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

protected:
    RefCount() = default;
    virtual ~RefCount() = default;

private:
    std::atomic<ULONG> refs_{1};  // the creator's reference
};

namespace detail {

// Finds iid on interface I of an object or on the interfaces I derives from.
template <class I>
bool find_on_chain(I* p, REFIID iid, void** ppv) {
    using Traits = vorcom::interface_traits<I>;
    if (iid == Traits::iid) {
        *ppv = p;
        return true;
    }
    using Base = typename Traits::base;
    if constexpr (!std::is_same_v<Base, IUnknown> && !std::is_void_v<Base>) {
        return find_on_chain<Base>(static_cast<Base*>(p), iid, ppv);
    } else {
        return false;
    }
}

template <class Self, class First, class... Rest>
bool find_interface(Self* self, REFIID iid, void** ppv) {
    if (find_on_chain<First>(static_cast<First*>(self), iid, ppv)) return true;
    if constexpr (sizeof...(Rest) > 0) {
        return find_interface<Self, Rest...>(self, iid, ppv);
    } else {
        return false;
    }
}

}  // namespace detail

// QueryInterface and the two hooks, shared by ComObject and ComPart.
template <class... Interfaces>
class ComInterfaces : public Interfaces... {
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;

public:
    // The object's IUnknown identity.
    IUnknown* identity() { return static_cast<IUnknown*>(static_cast<First*>(this)); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (iid == IID_IUnknown) {
            *ppv = identity();
        } else if (!interface_allowed(iid)) {
            return E_NOINTERFACE;
        } else if (!detail::find_interface<ComInterfaces, Interfaces...>(this, iid, ppv)) {
            const HRESULT hr = query_extra(iid, ppv);
            if (FAILED(hr)) *ppv = nullptr;
            return hr;  // query_extra AddRefs what it returns
        }
        identity()->AddRef();
        return S_OK;
    }

protected:
    virtual ~ComInterfaces() = default;
    // Whether this object exposes iid now (e.g. IKsPropertySet only on
    // pins that have a category).
    virtual bool interface_allowed(REFIID) { return true; }
    // Interfaces outside the list; must AddRef what it returns.
    virtual HRESULT query_extra(REFIID, void**) { return E_NOINTERFACE; }
};

template <class... Interfaces>
class ComObject : public RefCount, public ComInterfaces<Interfaces...> {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(); }
    ULONG STDMETHODCALLTYPE Release() override { return release(); }
};

template <class... Interfaces>
class ComPart : public ComInterfaces<Interfaces...> {
public:
    explicit ComPart(RefCount& owner) : owner_(owner) {}
    ComPart(const ComPart&) = delete;
    ComPart& operator=(const ComPart&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return owner_.add_ref(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_.release(); }

protected:
    RefCount& owner() const { return owner_; }

private:
    RefCount& owner_;  // not owned: the owner owns this part
};

// Creates T holding the creator's reference. Throws std::bad_alloc; COM
// entry points catch it and answer E_OUTOFMEMORY.
template <class T, class... Args>
ComPtr<T> make_com(Args&&... args) {
    return ComPtr<T>::adopt(new T(std::forward<Args>(args)...));
}

// Hands an object out through a COM out-parameter as interface iid.
template <class T>
HRESULT hand_out(const ComPtr<T>& obj, REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!obj) return E_POINTER;
    return obj->QueryInterface(iid, ppv);
}

}  // namespace vorsim
