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
// Each input sample goes first to Capture as it is (no copy; times and
// flags kept), then to Preview as a copy in a Preview pool sample with no
// time stamps (a preview is shown on arrival). The copy keeps the capture
// branch's sample untouched while the preview branch holds its own; when
// every Preview sample is still held downstream, that frame's preview is
// dropped so the capture branch never waits for the preview.
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
        SamplePool* pool = preview_->pool();
        // Only this thread takes from the pool, so a free sample stays free.
        if (pool == nullptr || pool->free_count() == 0) return;
        const LONG length = sample->GetActualDataLength();
        if (length > pool->sample_size()) return;
        IMediaSample* raw = nullptr;
        if (FAILED(preview_->get_delivery_buffer(&raw))) return;
        ComPtr<IMediaSample> copy = ComPtr<IMediaSample>::adopt(raw);
        BYTE* from = nullptr;
        BYTE* to = nullptr;
        if (FAILED(sample->GetPointer(&from)) || FAILED(copy->GetPointer(&to))) return;
        if (length > 0) std::memcpy(to, from, static_cast<size_t>(length));
        copy->SetActualDataLength(length);
        copy->SetSyncPoint(sample->IsSyncPoint() == S_OK);
        copy->SetDiscontinuity(sample->IsDiscontinuity() == S_OK);
        // Pool samples come out untimed; preview samples stay that way.
        preview_->deliver(copy.get());
    }

    PinCore* input_;
    PinCore* capture_;
    PinCore* preview_;
    const MediaType* restoring_ = nullptr;  // set only inside reconnect_outputs
};

const ClassRegistration registration(CLSID_SmartTee, "SmartTee", &create_instance<SmartTee>);

}  // namespace
}  // namespace vorsim
