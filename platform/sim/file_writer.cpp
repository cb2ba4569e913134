// The File Writer: its input pin and IFileSinkFilter.
#include "file_writer.h"

#include <cstring>
#include <new>

#include "avi_mux.h"
#include "class_registry.h"
#include "vorsim.h"
#include "wide.h"

namespace vorsim {

class FileWriter::In final : public InputPin<> {
public:
    explicit In(FileWriter& writer) : InputPin<>(writer, u"in", u"in"), writer_(writer) {}

protected:
    HRESULT check_media_type(const AM_MEDIA_TYPE& mt) const override {
        return mt.majortype == MEDIATYPE_Stream ? S_OK : S_FALSE;
    }
    // The mux upstream writes the file itself; nothing arrives here.
    HRESULT on_receive(IMediaSample*) override { return S_OK; }
    void on_disconnected() override {
        if (AviMux* mux = writer_.upstream_mux()) mux->finish_recording();
    }

private:
    FileWriter& writer_;
};

FileWriter::FileWriter() : Filter<IFileSinkFilter>(CLSID_FileWriter) {
    in_ = static_cast<In*>(add_pin(std::make_unique<In>(*this)));
}

FileWriter::~FileWriter() = default;

std::u16string FileWriter::file_name() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return name_;
}

AviMux* FileWriter::upstream_mux() const {
    PinCore* pin = dynamic_cast<PinCore*>(in_->peer());
    return pin != nullptr ? dynamic_cast<AviMux*>(&pin->filter()) : nullptr;
}

HRESULT STDMETHODCALLTYPE FileWriter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    const HRESULT hr = join_filter_graph(graph, name);
    if (SUCCEEDED(hr) && graph == nullptr) {
        // Hold the mux (through its pin) while it finishes.
        ComPtr<IPin> peer;
        if (in_->connected_to(peer.put()) == S_OK) {
            if (AviMux* mux = upstream_mux()) mux->finish_recording();
        }
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE FileWriter::SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE* type) {
    if (name == nullptr) return E_POINTER;
    if (HRESULT hr = fault_result("IFileSinkFilter::SetFileName", name); FAILED(hr)) return hr;
    const std::u16string_view text = wide_view(name);
    if (text.empty()) return E_INVALIDARG;
    try {
        MediaType copy = type != nullptr ? MediaType(*type) : MediaType();
        std::u16string stored(text);
        std::lock_guard<std::mutex> lock(mutex_);
        name_ = std::move(stored);
        type_ = std::move(copy);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileWriter::GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* type) {
    if (name == nullptr) return E_POINTER;
    *name = nullptr;
    if (type != nullptr) std::memset(type, 0, sizeof *type);
    if (HRESULT hr = fault_result("IFileSinkFilter::GetCurFile"); FAILED(hr)) return hr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (name_.empty()) return E_FAIL;
    *name = task_mem_wide(name_);
    if (*name == nullptr) return E_OUTOFMEMORY;
    if (type != nullptr && type_->majortype != GUID_NULL) {
        if (FAILED(CopyMediaType(type, &type_.get()))) {
            CoTaskMemFree(*name);
            *name = nullptr;
            return E_OUTOFMEMORY;
        }
    }
    return S_OK;
}

namespace {
const ClassRegistration registration(CLSID_FileWriter, "FileWriter", &create_instance<FileWriter>);
}  // namespace

}  // namespace vorsim
