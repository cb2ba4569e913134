// The capture graph builder (CLSID_CaptureGraphBuilder2): builds capture
// graphs on a filter graph through its public interfaces.
//
// RenderStream(category, type, source, intermediate, sink):
//   1. the source pin: a pin given as source is used (a connected one is
//      followed downstream to a free output pin). For a filter and the
//      CAPTURE or PREVIEW category, pins are picked by category (through
//      IKsPropertySet) and major type; a filter with a capture pin but no
//      preview pin renders both categories through one Smart Tee
//      (CLSID_SmartTee, output 0 "Capture", output 1 "Preview"), created
//      and connected at the first such render and reused afterwards;
//      PREVIEW through it answers VFW_S_NOPREVIEWPIN. Other categories or
//      none: the first free output pin of that category and type, else a
//      free one downstream of the connected ones.
//   2. the legs: source -> sink, or source -> intermediate -> sink, each by
//      intelligent connect. A failing second leg leaves the first one
//      connected (VFW_E_CANNOT_CONNECT); a failing first leg leaves nothing
//      (E_FAIL). A Smart Tee stays once inserted.
//   3. filters the source needs upstream of it (FilterCore::
//      supporting_filters(), e.g. an analog card's crossbar) are added and
//      connected after the first successful render with a category.
// A NULL sink means the system's default renderer for MEDIATYPE_Video or
// MEDIATYPE_Audio, created when such a class is registered; without one the
// render fails with E_FAIL, and for other types with E_INVALIDARG. (The
// module always passes its own sink.)
//
// Without SetFiltergraph the builder makes a graph of its own on first
// need; filters added to another graph are then VFW_E_NOT_IN_GRAPH.
#pragma once

#include <mutex>

#include "com_object.h"

namespace vorsim {

class CaptureGraphBuilder final : public ComObject<ICaptureGraphBuilder2> {
public:
    HRESULT STDMETHODCALLTYPE SetFiltergraph(IGraphBuilder* pfg) override;
    HRESULT STDMETHODCALLTYPE GetFiltergraph(IGraphBuilder** ppfg) override;
    HRESULT STDMETHODCALLTYPE SetOutputFileName(const GUID* pType, LPCOLESTR lpstrFile, IBaseFilter** ppf,
                                                IFileSinkFilter** ppSink) override;
    HRESULT STDMETHODCALLTYPE FindInterface(const GUID* pCategory, const GUID* pType, IBaseFilter* pf, REFIID riid,
                                            void** ppint) override;
    HRESULT STDMETHODCALLTYPE RenderStream(const GUID* pCategory, const GUID* pType, IUnknown* pSource,
                                           IBaseFilter* pfCompressor, IBaseFilter* pfRenderer) override;
    HRESULT STDMETHODCALLTYPE ControlStream(const GUID* pCategory, const GUID* pType, IBaseFilter* pFilter,
                                            REFERENCE_TIME* pstart, REFERENCE_TIME* pstop, WORD wStartCookie,
                                            WORD wStopCookie) override;
    HRESULT STDMETHODCALLTYPE AllocCapFile(LPCOLESTR lpstr, DWORDLONG dwlSize) override;
    HRESULT STDMETHODCALLTYPE CopyCaptureFile(LPOLESTR lpwstrOld, LPOLESTR lpwstrNew, int fAllowEscAbort,
                                              IAMCopyCaptureFileProgress* pCallback) override;
    HRESULT STDMETHODCALLTYPE FindPin(IUnknown* pSource, PIN_DIRECTION pindir, const GUID* pCategory,
                                      const GUID* pType, BOOL fUnconnected, int num, IPin** ppPin) override;

private:
    // The graph set or made on first need.
    HRESULT graph(ComPtr<IGraphBuilder>* out);
    HRESULT render_stream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate,
                          IBaseFilter* sink);

    std::mutex mutex_;
    ComPtr<IGraphBuilder> graph_;
};

// Whether the pin has this category (none: any) and offers this major type
// (none: any).
bool pin_matches(IPin* pin, const GUID* category, const GUID* type);

}  // namespace vorsim
