// Smart Tee (CLSID_SmartTee): pins "Input", "Capture" (output 0) and
// "Preview" (output 1). The input takes any type; once it is connected both
// outputs offer exactly that type and accept nothing else.
//
// The input may be connected again with another type while outputs stay
// connected (a capture pin given a new format reconnects its downstream
// pin). The input then takes only a type every connected output's peer
// accepts (QueryAccept), and its connection reconnects each output whose
// type differs with the new one, as the capture pin does: both ends
// disconnected, connected again with the type. When an output cannot
// reconnect after all, the outputs reconnected so far get their old type
// back and the input refuses the connection, so the pin upstream can go
// back to its old type too.
//
// Each input sample goes first to Capture as it is (times and flags kept),
// then to Preview without a copy of its data: a preview sample is a view of
// the same buffer with no time stamps (a preview is shown on arrival). A
// view keeps the input sample, and so a buffer of the pin upstream, for as
// long as the preview branch holds it; only kPreviewViews of them exist, and
// while they are all held downstream each frame's preview is dropped,
// so the capture branch never runs short of buffers because of the preview.
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "class_registry.h"
#include "filter_base.h"
#include "media_type.h"
#include "pin_base.h"

namespace vorsim {
namespace {

// One view: a preview branch that holds its sample keeps one buffer of the
// pin upstream, never the last but one of a pool of two.
constexpr int kPreviewViews = 1;

// A preview sample: the input sample's buffer, valid length and flags, but
// no time stamps. Views are made once per tee and reused; one is `busy`
// from delivery until its last reference is released, which also releases
// the input sample it shows.
class PreviewView final : public IMediaSample {
public:
    // Streaming thread: shows `sample`, with one reference for the caller.
    void show(IMediaSample* sample, std::shared_ptr<void> keep_alive) {
        sample->AddRef();
        inner_ = sample;
        keep_alive_ = std::move(keep_alive);
        actual_ = sample->GetActualDataLength();
        sync_point_ = sample->IsSyncPoint() == S_OK;
        discontinuity_ = sample->IsDiscontinuity() == S_OK;
        preroll_ = sample->IsPreroll() == S_OK;
        busy_.store(true, std::memory_order_relaxed);
        refs_.store(1, std::memory_order_release);
    }
    bool busy() const { return busy_.load(std::memory_order_acquire); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IMediaSample) {
            *ppv = static_cast<IMediaSample*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            // The set of views may go with the last reference to it: keep it
            // until this view is free again.
            std::shared_ptr<void> keep = std::move(keep_alive_);
            IMediaSample* inner = inner_;
            inner_ = nullptr;
            inner->Release();
            busy_.store(false, std::memory_order_release);
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** ppBuffer) override { return inner_->GetPointer(ppBuffer); }
    LONG STDMETHODCALLTYPE GetSize() override { return inner_->GetSize(); }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override {
        return start == nullptr || end == nullptr ? E_POINTER : VFW_E_SAMPLE_TIME_NOT_SET;
    }
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return sync_point_ ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL b) override {
        sync_point_ = b != FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsPreroll() override { return preroll_ ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL b) override {
        preroll_ = b != FALSE;
        return S_OK;
    }
    LONG STDMETHODCALLTYPE GetActualDataLength() override { return actual_; }
    HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG a) override {
        if (a < 0 || a > inner_->GetSize()) return VFW_E_BUFFER_OVERFLOW;
        actual_ = a;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** ppMediaType) override {
        return inner_->GetMediaType(ppMediaType);
    }
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return discontinuity_ ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL b) override {
        discontinuity_ = b != FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* start, LONGLONG* end) override {
        return start == nullptr || end == nullptr ? E_POINTER : VFW_E_MEDIA_TIME_NOT_SET;
    }
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }

private:
    std::atomic<ULONG> refs_{0};
    std::atomic<bool> busy_{false};
    IMediaSample* inner_ = nullptr;
    std::shared_ptr<void> keep_alive_;
    LONG actual_ = 0;
    bool sync_point_ = false;
    bool discontinuity_ = false;
    bool preroll_ = false;
};

using PreviewViews = std::array<PreviewView, kPreviewViews>;

class SmartTee final : public Filter<> {
public:
    SmartTee() : Filter<>(CLSID_SmartTee) {
        input_ = add_pin(std::make_unique<In>(*this, *this));
        capture_ = add_pin(std::make_unique<Out>(*this, *this, u"Capture", true));
        preview_ = add_pin(std::make_unique<Out>(*this, *this, u"Preview", false));
    }

private:
    class In final : public InputPin<> {
    public:
        In(FilterCore& f, SmartTee& t) : InputPin<>(f, u"Input", u"Input"), t_(t) {}
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override { return t_.outputs_accept(mt); }
        HRESULT on_connected(const AM_MEDIA_TYPE& mt) override { return t_.reconnect_outputs(mt); }
        HRESULT on_receive(IMediaSample* sample) override { return t_.receive(sample); }
        HRESULT on_end_of_stream() override {
            for (PinCore* out : {t_.capture_, t_.preview_})
                if (IPin* peer = out->peer()) peer->EndOfStream();
            return S_OK;
        }

    private:
        SmartTee& t_;
    };

    class Out final : public OutputPin<> {
    public:
        Out(FilterCore& f, SmartTee& t, std::u16string name, bool passes_through)
            : OutputPin<>(f, name, name), t_(t), passes_through_(passes_through) {}
        std::vector<MediaType> media_types() const override {
            std::lock_guard<std::recursive_mutex> lock(t_.filter_lock());
            std::optional<MediaType> type = t_.output_type();
            if (!type) return {};
            std::vector<MediaType> types;
            types.push_back(std::move(*type));
            return types;
        }
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
            try {
                std::lock_guard<std::recursive_mutex> lock(t_.filter_lock());
                const std::optional<MediaType> type = t_.output_type();
                return type && same_media_type(mt, type->get()) ? S_OK : S_FALSE;
            } catch (const std::bad_alloc&) {
                return E_OUTOFMEMORY;
            }
        }
        ALLOCATOR_PROPERTIES buffer_properties(const AM_MEDIA_TYPE& mt) const override {
            // Capture passes the input's samples on; Preview copies.
            return passes_through_ ? ALLOCATOR_PROPERTIES{1, 1, 1, 0} : PinCore::buffer_properties(mt);
        }

    private:
        SmartTee& t_;
        const bool passes_through_;
    };

    // What the outputs offer and accept: the input's type, or while a
    // failed reconnection is undone, the type they had before. None while
    // the input is unconnected. Under the filter lock; throws bad_alloc.
    std::optional<MediaType> output_type() const {
        if (restoring_) return *restoring_;
        if (!input_->connected()) return std::nullopt;
        return input_->connection_type();
    }

    // S_OK when every connected output either has mt already or its peer
    // accepts it.
    HRESULT outputs_accept(const AM_MEDIA_TYPE& mt) {
        try {
            std::lock_guard<std::recursive_mutex> lock(filter_lock());
            for (PinCore* out : {capture_, preview_}) {
                IPin* peer = out->peer();
                if (peer == nullptr || same_media_type(out->connection_type().get(), mt)) continue;
                if (peer->QueryAccept(&mt) != S_OK) return S_FALSE;
            }
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    // The input connected with mt (filter lock held, filter stopped): each
    // connected output of another type reconnects with mt. On a failure the
    // outputs already reconnected, and the one that failed, go back to the
    // type they had, and the failure is returned.
    HRESULT reconnect_outputs(const AM_MEDIA_TYPE& mt) {
        struct Changed {
            PinCore* out;
            ComPtr<IPin> peer;
            MediaType old;
        };
        std::vector<Changed> changed;
        HRESULT hr = S_OK;
        try {
            changed.reserve(2);
            for (PinCore* out : {capture_, preview_}) {
                ComPtr<IPin> peer(out->peer());
                if (!peer) continue;
                MediaType old = out->connection_type();
                if (same_media_type(old.get(), mt)) continue;
                changed.push_back({out, std::move(peer), std::move(old)});
                if (FAILED(hr = reconnect(*out, changed.back().peer.get(), mt))) break;
            }
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        }
        if (SUCCEEDED(hr)) return S_OK;
        for (Changed& c : changed) {
            if (c.out->connected() && same_media_type(c.out->connection_type().get(), c.old.get())) continue;
            restoring_ = &c.old;
            reconnect(*c.out, c.peer.get(), c.old.get());
            restoring_ = nullptr;
        }
        return hr;
    }

    // Both ends of the output's connection let go (the peer first), then the
    // output connects to the same peer with mt. After an earlier failure the
    // peer may be free already (Disconnect answers S_FALSE), or both ends.
    static HRESULT reconnect(PinCore& out, IPin* peer, const AM_MEDIA_TYPE& mt) {
        if (out.connected()) {
            if (HRESULT hr = peer->Disconnect(); FAILED(hr)) return hr;
            if (HRESULT hr = out.disconnect(); FAILED(hr)) return hr;
        }
        return out.connect(peer, &mt);
    }

    // Streaming thread, under the streaming lock.
    HRESULT receive(IMediaSample* sample) {
        const HRESULT hr = capture_->connected() ? capture_->deliver(sample) : S_OK;
        if (preview_->connected()) deliver_preview(sample);
        return hr;
    }

    void deliver_preview(IMediaSample* sample) {
        // Only this thread makes views busy, so a free view stays free.
        for (PreviewView& view : *views_) {
            if (view.busy()) continue;
            view.show(sample, views_);
            preview_->deliver(&view);
            view.Release();
            return;
        }
    }

    PinCore* input_;
    PinCore* capture_;
    PinCore* preview_;
    // Shared with the views handed out, which may outlive the tee downstream.
    std::shared_ptr<PreviewViews> views_ = std::make_shared<PreviewViews>();
    const MediaType* restoring_ = nullptr;  // set only inside reconnect_outputs
};

const ClassRegistration registration(CLSID_SmartTee, "SmartTee", &create_instance<SmartTee>);

}  // namespace
}  // namespace vorsim
