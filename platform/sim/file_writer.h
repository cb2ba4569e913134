// The File Writer (CLSID_FileWriter): one input pin "in" taking a byte
// stream (MEDIATYPE_Stream), and IFileSinkFilter holding the file name.
//
// In this platform the AVI Mux upstream writes the file through its own
// AviWriter at the name held here (see avi_mux.h); the File Writer's part is
// the name and, when it leaves its graph or its input disconnects, telling
// the mux to finish the recording.
#pragma once

#include <mutex>
#include <string>

#include "filter_base.h"
#include "media_type.h"
#include "pin_base.h"

namespace vorsim {

class AviMux;

class FileWriter final : public Filter<IFileSinkFilter> {
public:
    class In;

    FileWriter();
    ~FileWriter() override;

    // The name given by SetFileName (empty: none).
    std::u16string file_name() const;

    // IBaseFilter: leaving the graph finishes the mux's recording.
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;

    // IFileSinkFilter.
    HRESULT STDMETHODCALLTYPE SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* type) override;

private:
    friend class In;
    // The AVI Mux feeding the input pin, or null.
    AviMux* upstream_mux() const;

    In* in_ = nullptr;
    mutable std::mutex mutex_;  // the fields below
    std::u16string name_;
    MediaType type_;  // as given to SetFileName (empty when none)
};

}  // namespace vorsim
