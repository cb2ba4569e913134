// Test filters for the filter graph and capture graph builder tests, built
// on the filter base.
//
// Box: a filter assembled from pins. Input pins take a major type and
// subtype (GUID_NULL: any); output pins offer fixed types, or pass on
// whatever their filter's first input pin is connected with (a Smart Tee,
// a Sample Grabber). Every state change is written to a shared Log as
// "name:pause", "name:run", "name:stop". A Box can pretend to be settling
// (GetState answers VFW_S_STATE_INTERMEDIATE), be a live source
// (VFW_S_CANT_CUE while paused), fail Run, name supporting filters, and
// answer IID_ITestMarker on itself or on a pin (for FindInterface).
//
// ClassOverride registers a test class for CoCreateInstance for the life of
// a test and puts back what was registered before (the platform's own
// Smart Tee, say).
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "class_registry.h"
#include "filter_base.h"
#include "graph_pins.h"
#include "pin_base.h"
#include "wide.h"

namespace vorsim_test {

using namespace vorsim;

inline const CLSID CLSID_TestBox = {0x1d0a5e01, 0x0010, 0x4c11, {0x90, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x10}};
// An interface id nothing real answers; Boxes hand out their IUnknown for it.
inline const IID IID_ITestMarker = {0x1d0a5e01, 0x0012, 0x4c11, {0x90, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x12}};
// Analog video as a crossbar hands it to a capture card's input pin.
inline const GUID MEDIASUBTYPE_TestAnalog = {0x1d0a5e01, 0x0013, 0x4c11, {0x90, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x13}};

class Log {
public:
    void add(std::string entry) {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.push_back(std::move(entry));
    }
    std::vector<std::string> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(entries_, {});
    }

private:
    std::mutex mutex_;
    std::vector<std::string> entries_;
};

inline MediaType video(const GUID& subtype) { return make_video_type(subtype, 64, 48, 32, 333333); }

inline MediaType typed(const GUID& major, const GUID& subtype) {
    MediaType t;
    t->majortype = major;
    t->subtype = subtype;
    t->formattype = FORMAT_None;
    t->lSampleSize = 1;
    return t;
}

// Answers IID_ITestMarker with `identity` (AddRef'd) when marked.
inline HRESULT marker(REFIID iid, bool marked, IUnknown* identity, void** ppv) {
    if (iid != IID_ITestMarker || !marked) return E_NOINTERFACE;
    identity->AddRef();
    *ppv = identity;
    return S_OK;
}

class Box final : public Filter<> {
public:
    class In final : public InputPin<> {
    public:
        In(FilterCore& filter, std::u16string id, const GUID& major, const GUID& subtype)
            : InputPin<>(filter, id, id), major_(major), subtype_(subtype) {}
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
            const bool ok = (major_ == GUID_NULL || mt.majortype == major_) &&
                            (subtype_ == GUID_NULL || mt.subtype == subtype_);
            return ok ? S_OK : S_FALSE;
        }
        bool marked = false;

    protected:
        HRESULT query_extra(REFIID iid, void** ppv) override { return marker(iid, marked, this->identity(), ppv); }

    private:
        const GUID major_;
        const GUID subtype_;
    };

    class Out final : public OutputPin<> {
    public:
        Out(Box& box, std::u16string id, std::vector<MediaType> offers, bool pass_through)
            : OutputPin<>(box, id, id), box_(box), offers_(std::move(offers)), pass_through_(pass_through) {}
        std::vector<MediaType> media_types() const override {
            if (!pass_through_) return offers_;
            const In* in = box_.first_input();
            if (in == nullptr || !in->connected()) return {};
            return {in->connection_type()};
        }
        HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
            for (const MediaType& t : media_types()) {
                if (t->majortype == mt.majortype && t->subtype == mt.subtype) return S_OK;
            }
            return S_FALSE;
        }
        bool marked = false;

    protected:
        HRESULT query_extra(REFIID iid, void** ppv) override { return marker(iid, marked, this->identity(), ppv); }

    private:
        Box& box_;
        const std::vector<MediaType> offers_;
        const bool pass_through_;
    };

    explicit Box(std::string name, const CLSID& clsid = CLSID_TestBox) : Filter<>(clsid), label(std::move(name)) {}
    ~Box() override {
        if (alive != nullptr) --*alive;
    }
    // Counts this Box among the living until it is destroyed.
    void count_in(std::atomic<int>& counter) {
        alive = &counter;
        ++counter;
    }

    In* add_input(std::u16string id, const GUID& major = GUID_NULL, const GUID& subtype = GUID_NULL) {
        return static_cast<In*>(add_pin(std::make_unique<In>(*this, std::move(id), major, subtype)));
    }
    Out* add_output(std::u16string id, std::vector<MediaType> offers, const GUID* category = nullptr) {
        auto* pin = static_cast<Out*>(add_pin(std::make_unique<Out>(*this, std::move(id), std::move(offers), false)));
        if (category != nullptr) pin->set_category(*category);
        return pin;
    }
    Out* add_pass_through(std::u16string id) {
        return static_cast<Out*>(add_pin(std::make_unique<Out>(*this, std::move(id), std::vector<MediaType>{}, true)));
    }
    In* first_input() const {
        for (size_t i = 0; PinCore* p = pin_at(i); ++i) {
            if (p->direction() == PINDIR_INPUT) return static_cast<In*>(p);
        }
        return nullptr;
    }
    IPin* pin(const std::u16string& id) const {
        for (size_t i = 0; PinCore* p = pin_at(i); ++i) {
            if (p->id() == id) return p->ipin();
        }
        return nullptr;
    }

    std::vector<Supporting> supporting_filters() override { return supporting; }

    const std::string label;
    Log* log = nullptr;
    std::atomic<bool> settling{false};
    std::atomic<bool> live{false};
    std::atomic<HRESULT> run_result{S_OK};
    bool marked = false;
    std::vector<Supporting> supporting;

protected:
    std::atomic<int>* alive = nullptr;

    HRESULT on_pause(FILTER_STATE) override {
        note("pause");
        return S_OK;
    }
    HRESULT on_run(REFERENCE_TIME) override {
        note("run");
        return run_result.load();
    }
    void on_stop() override { note("stop"); }
    HRESULT state_result(FILTER_STATE s) const override {
        if (settling) return VFW_S_STATE_INTERMEDIATE;
        return live && s == State_Paused ? VFW_S_CANT_CUE : S_OK;
    }
    HRESULT query_extra(REFIID iid, void** ppv) override { return marker(iid, marked, identity(), ppv); }

private:
    void note(const char* what) {
        if (log != nullptr) log->add(label + ":" + what);
    }
};

class ClassOverride {
public:
    ClassOverride(const CLSID& clsid, const char* short_name, ClassCreator create) : clsid_(clsid) {
        had_ = find_class(clsid, &previous_);
        register_class(clsid, short_name, create);
    }
    ~ClassOverride() {
        if (had_) {
            register_class(previous_.clsid, previous_.short_name, previous_.create);
        } else {
            unregister_class(clsid_);
        }
    }
    ClassOverride(const ClassOverride&) = delete;
    ClassOverride& operator=(const ClassOverride&) = delete;

private:
    CLSID clsid_;
    bool had_ = false;
    ClassEntry previous_;
};

// The filter's name in its graph (empty outside one).
inline std::u16string name_in_graph(IBaseFilter* filter) {
    FILTER_INFO info;
    if (FAILED(filter->QueryFilterInfo(&info))) return u"?";
    if (info.pGraph != nullptr) info.pGraph->Release();
    return info.achName;
}

inline IPin* connected_to(IPin* pin) {
    IPin* peer = nullptr;
    if (pin->ConnectedTo(&peer) != S_OK) return nullptr;
    peer->Release();  // the test only compares it; the connection holds it
    return peer;
}

}  // namespace vorsim_test
