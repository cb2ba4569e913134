// Smart Tee (CLSID_SmartTee): pins "Input", "Capture" (output 0) and
// "Preview" (output 1). The input takes any type; once it is connected both
// outputs offer exactly that type and accept nothing else.
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
#include <vector>

#include "class_registry.h"
#include "filter_base.h"
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
            if (!t_.input_->connected()) return {};
            std::vector<MediaType> types;
            types.push_back(t_.input_->connection_type());
            return types;
        }
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
            if (!t_.input_->connected()) return S_FALSE;
            try {
                return same_media_type(mt, t_.input_->connection_type().get()) ? S_OK : S_FALSE;
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
};

const ClassRegistration registration(CLSID_SmartTee, "SmartTee", &create_instance<SmartTee>);

}  // namespace
}  // namespace vorsim
