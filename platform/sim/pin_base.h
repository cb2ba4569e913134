// The pin base: one implementation of IPin, IMemInputPin (input pins) and
// IKsPropertySet (output pins that have a category) for concrete filters.
//
// Connection: the output pin proposes its media types in order (then the
// input pin's), skipping those that do not fit a partly specified type given
// to Connect; the first one it accepts itself that the input pin takes
// through ReceiveConnection is the connection type. Both ends keep a
// reference on their peer until Disconnect (the graph disconnects both ends).
// Only a stopped filter connects or disconnects (VFW_E_NOT_STOPPED).
//
// Streaming: an output pin owns a SamplePool made at connection (sized by
// buffer_properties), committed on Pause and decommitted on Stop;
// get_delivery_buffer and deliver hand samples to the connected input pin's
// Receive. Receive takes the filter's streaming lock and calls on_receive.
//
// Hooks for concrete pins:
//   media_types()         the types offered, preferred first
//   check_media_type(mt)  S_OK when the pin takes mt
//   on_connected(mt) / on_disconnected()
//   buffer_properties(mt) output pool size (default 4 x the sample size)
//   on_receive(sample)    input pins: the sample, under the streaming lock
//   on_end_of_stream()
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "com_object.h"
#include "filter_base.h"
#include "media_sample.h"
#include "media_type.h"

namespace vorsim {

class PinCore {
public:
    PinCore(FilterCore& filter, PIN_DIRECTION direction, std::u16string id, std::u16string name);
    virtual ~PinCore();
    PinCore(const PinCore&) = delete;
    PinCore& operator=(const PinCore&) = delete;

    virtual IPin* ipin() = 0;  // not AddRef'd
    FilterCore& filter() const { return filter_; }
    PIN_DIRECTION direction() const { return direction_; }
    const std::u16string& id() const { return id_; }
    const std::u16string& name() const { return name_; }

    bool connected() const;
    // The connected pin (not AddRef'd), or null.
    IPin* peer() const;
    // The connection type (empty when unconnected).
    MediaType connection_type() const;
    // The connection type copied straight into `out` (CopyMediaType): one
    // format block allocated, no intermediate copy.
    HRESULT copy_connection_type(AM_MEDIA_TYPE* out) const;

    // The pin category reported through IKsPropertySet (output pins).
    void set_category(const GUID& category) { category_ = category; }
    const std::optional<GUID>& category() const { return category_; }

    // Output pins: a sample from the pool (waits while all are out;
    // VFW_E_NOT_COMMITTED when stopped), and delivery to the connected pin.
    HRESULT get_delivery_buffer(IMediaSample** sample);
    HRESULT deliver(IMediaSample* sample);
    SamplePool* pool() const { return pool_.get(); }

    // Called by the filter on state changes.
    void commit_pool();
    void decommit_pool();

    // IPin.
    HRESULT connect(IPin* receive_pin, const AM_MEDIA_TYPE* pmt);
    HRESULT receive_connection(IPin* connector, const AM_MEDIA_TYPE* pmt);
    HRESULT disconnect();
    HRESULT connected_to(IPin** pin);
    HRESULT connection_media_type(AM_MEDIA_TYPE* pmt);
    HRESULT query_pin_info(PIN_INFO* info);
    HRESULT query_direction(PIN_DIRECTION* dir);
    HRESULT query_id(LPWSTR* id);
    HRESULT query_accept(const AM_MEDIA_TYPE* pmt);
    HRESULT enum_media_types(IEnumMediaTypes** ppEnum);
    HRESULT end_of_stream();
    HRESULT begin_flush();
    HRESULT end_flush();
    // IMemInputPin.
    HRESULT receive(IMediaSample* sample);
    HRESULT receive_multiple(IMediaSample** samples, LONG n, LONG* processed);
    // IKsPropertySet.
    HRESULT ks_set(REFGUID set, DWORD id);
    HRESULT ks_get(REFGUID set, DWORD id, LPVOID data, DWORD cb_data, DWORD* returned);
    HRESULT ks_query_supported(REFGUID set, DWORD id, DWORD* support);

protected:
    virtual std::vector<MediaType> media_types() const { return {}; }
    virtual HRESULT check_media_type(const AM_MEDIA_TYPE&) const { return S_OK; }
    virtual HRESULT on_connected(const AM_MEDIA_TYPE&) { return S_OK; }
    virtual void on_disconnected() {}
    virtual ALLOCATOR_PROPERTIES buffer_properties(const AM_MEDIA_TYPE& mt) const;
    virtual HRESULT on_receive(IMediaSample*) { return S_OK; }
    virtual HRESULT on_end_of_stream() { return S_OK; }
    bool flushing() const { return flushing_.load(); }

private:
    HRESULT try_connection(IPin* receive_pin, const AM_MEDIA_TYPE& mt);
    void clear_connection();

    FilterCore& filter_;  // non-owning: the filter owns its pins
    const PIN_DIRECTION direction_;
    const std::u16string id_;
    const std::u16string name_;
    std::optional<GUID> category_;
    ComPtr<IPin> peer_;
    ComPtr<IMemInputPin> peer_input_;  // output pins: where samples go
    MediaType type_;
    std::shared_ptr<SamplePool> pool_;
    std::atomic<bool> flushing_{false};
};

// A pin as a COM object: IPin plus Extra interfaces, sharing the filter's
// count.
template <class... Extra>
class BasicPin : public ComPart<IPin, Extra...>, public PinCore {
public:
    BasicPin(FilterCore& filter, PIN_DIRECTION direction, std::u16string id, std::u16string name)
        : ComPart<IPin, Extra...>(filter.lifetime()), PinCore(filter, direction, std::move(id), std::move(name)) {}

    IPin* ipin() override { return this; }

    HRESULT STDMETHODCALLTYPE Connect(IPin* p, const AM_MEDIA_TYPE* mt) override { return connect(p, mt); }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* p, const AM_MEDIA_TYPE* mt) override {
        return receive_connection(p, mt);
    }
    HRESULT STDMETHODCALLTYPE Disconnect() override { return disconnect(); }
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** p) override { return connected_to(p); }
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* mt) override { return connection_media_type(mt); }
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override { return query_pin_info(info); }
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* d) override { return query_direction(d); }
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override { return query_id(id); }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* mt) override { return query_accept(mt); }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** e) override { return enum_media_types(e); }
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return end_of_stream(); }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return begin_flush(); }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return end_flush(); }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }
};

// An input pin: IMemInputPin::Receive calls on_receive under the filter's
// streaming lock.
template <class... Extra>
class InputPin : public BasicPin<IMemInputPin, Extra...> {
public:
    InputPin(FilterCore& filter, std::u16string id, std::u16string name)
        : BasicPin<IMemInputPin, Extra...>(filter, PINDIR_INPUT, std::move(id), std::move(name)) {}

    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** a) override {
        if (a == nullptr) return E_POINTER;
        *a = nullptr;
        return VFW_E_NO_ALLOCATOR;  // the output pin brings its own pool
    }
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* s) override { return this->receive(s); }
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** s, LONG n, LONG* done) override {
        return this->receive_multiple(s, n, done);
    }
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_FALSE; }
};

// An output pin; IKsPropertySet answers its category and is exposed only
// when the pin has one (pins of software filters have none).
template <class... Extra>
class OutputPin : public BasicPin<IKsPropertySet, Extra...> {
public:
    OutputPin(FilterCore& filter, std::u16string id, std::u16string name)
        : BasicPin<IKsPropertySet, Extra...>(filter, PINDIR_OUTPUT, std::move(id), std::move(name)) {}

    HRESULT STDMETHODCALLTYPE Set(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID, DWORD) override {
        return this->ks_set(set, id);
    }
    HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD cb,
                                  DWORD* returned) override {
        return this->ks_get(set, id, data, cb, returned);
    }
    HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override {
        return this->ks_query_supported(set, id, support);
    }

protected:
    bool interface_allowed(REFIID iid) override {
        return iid != IID_IKsPropertySet || this->category().has_value();
    }
};

}  // namespace vorsim
