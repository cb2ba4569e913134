// The system device enumerator, its IEnumMoniker and the device monikers.
#include "device_enum.h"

#include <memory>
#include <new>
#include <vector>

#include "audio_capture.h"
#include "capture_filter.h"
#include "class_registry.h"
#include "device_registry.h"
#include "property_bag.h"
#include "vorsim.h"
#include "wide.h"

namespace vorsim {
namespace {

// One device of a snapshot: a video device, or an audio device with its
// waveIn index.
class DeviceMoniker final : public ComObject<IMoniker> {
public:
    explicit DeviceMoniker(std::shared_ptr<const PluggedVideoDevice> video) : video_(std::move(video)) {}
    DeviceMoniker(std::shared_ptr<const PluggedAudioDevice> audio, LONG wave_in)
        : audio_(std::move(audio)), wave_in_(wave_in) {}

    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx*, IMoniker*, REFIID iid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (HRESULT hr = fault_result("IMoniker::BindToObject"); FAILED(hr)) return hr;
        if (video_) {
            if (!video_->device.bind) return E_FAIL;
            if (!video_->link->present()) return kDeviceGone;
            return create_capture_filter(video_, iid, ppv);
        }
        if (!audio_->link->present()) return kDeviceGone;
        return create_audio_capture(audio_, iid, ppv);
    }

    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx*, IMoniker* left, REFIID iid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (HRESULT hr = fault_result("IMoniker::BindToStorage"); FAILED(hr)) return hr;
        if (left != nullptr || iid != IID_IPropertyBag) return MK_E_NOSTORAGE;
        if (video_ && !video_->device.bag) return E_FAIL;
        try {
            return hand_out(make_property_bag(values()), iid, ppv);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    // IPersist / IPersistStream.
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Load(IStream*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(IStream*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    // The rest of IMoniker: nothing a capture application needs.
    HRESULT STDMETHODCALLTYPE Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker*, BOOL, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Enum(BOOL, IEnumMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsEqual(IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Hash(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Inverse(IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD*) override { return E_NOTIMPL; }

private:
    std::vector<BagValue> values() const {
        std::vector<BagValue> out;
        if (video_) {
            const VideoDevice& d = video_->device;
            if (d.friendly_name) out.push_back({u"FriendlyName", from_utf8(*d.friendly_name)});
            if (d.description) out.push_back({u"Description", from_utf8(*d.description)});
            if (d.device_path) out.push_back({u"DevicePath", from_utf8(*d.device_path)});
        } else {
            out.push_back({u"FriendlyName", from_utf8(audio_->device.friendly_name)});
            out.push_back({u"WaveInID", wave_in_});
        }
        return out;
    }

    std::shared_ptr<const PluggedVideoDevice> video_;
    std::shared_ptr<const PluggedAudioDevice> audio_;
    LONG wave_in_ = 0;
};

using MonikerList = std::shared_ptr<const std::vector<ComPtr<IMoniker>>>;

class MonikerEnumerator final : public ComObject<IEnumMoniker> {
public:
    MonikerEnumerator(MonikerList monikers, size_t position) : monikers_(std::move(monikers)), position_(position) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IMoniker** out, ULONG* fetched) override {
        if (out == nullptr) return E_POINTER;
        if (count > 1 && fetched == nullptr) return E_INVALIDARG;
        if (fetched != nullptr) *fetched = 0;
        if (HRESULT hr = fault_result("IEnumMoniker::Next"); FAILED(hr)) return hr;
        std::lock_guard<std::mutex> lock(mutex_);
        ULONG got = 0;
        while (got < count && position_ < monikers_->size()) {
            IMoniker* m = (*monikers_)[position_++].get();
            m->AddRef();
            out[got++] = m;
        }
        if (fetched != nullptr) *fetched = got;
        return got == count ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        if (HRESULT hr = fault_result("IEnumMoniker::Skip"); FAILED(hr)) return hr;
        std::lock_guard<std::mutex> lock(mutex_);
        const size_t left = monikers_->size() - position_;
        if (count > left) {
            position_ = monikers_->size();
            return S_FALSE;
        }
        position_ += count;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Reset() override {
        if (HRESULT hr = fault_result("IEnumMoniker::Reset"); FAILED(hr)) return hr;
        std::lock_guard<std::mutex> lock(mutex_);
        position_ = 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(IEnumMoniker** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (HRESULT hr = fault_result("IEnumMoniker::Clone"); FAILED(hr)) return hr;
        std::lock_guard<std::mutex> lock(mutex_);
        try {
            *out = make_com<MonikerEnumerator>(monikers_, position_).detach();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

private:
    const MonikerList monikers_;  // shared with clones; never changes
    std::mutex mutex_;
    size_t position_;
};

class SystemDeviceEnum final : public ComObject<ICreateDevEnum> {
public:
    HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID category, IEnumMoniker** out, DWORD) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (HRESULT hr = fault_result("ICreateDevEnum::CreateClassEnumerator"); FAILED(hr)) return hr;
        try {
            auto list = std::make_shared<std::vector<ComPtr<IMoniker>>>();
            if (category == CLSID_VideoInputDeviceCategory) {
                for (auto& d : video_devices()) list->push_back(make_com<DeviceMoniker>(d));
            } else if (category == CLSID_AudioInputDeviceCategory) {
                LONG wave_in = 0;
                for (auto& d : audio_devices()) list->push_back(make_com<DeviceMoniker>(d, wave_in++));
            }
            if (list->empty()) return S_FALSE;  // callers test for S_OK before using the enumerator
            *out = make_com<MonikerEnumerator>(std::move(list), 0).detach();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }
};

const ClassRegistration registration(CLSID_SystemDeviceEnum, "SystemDeviceEnum", &create_instance<SystemDeviceEnum>);

}  // namespace

HRESULT create_device_enumerator(REFIID iid, void** ppv) { return create_instance<SystemDeviceEnum>(iid, ppv); }

}  // namespace vorsim
