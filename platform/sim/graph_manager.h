// The filter graph manager (CLSID_FilterGraph): one object, one count, with
// IGraphBuilder/IFilterGraph, IMediaControl, IMediaEvent/IMediaEventEx and
// IMediaFilter (IPersist).
//
// Bookkeeping: filters are kept newest first, each AddRef'd, under the name
// they were given (generated "0001"... for none; "Name 0001"... and
// VFW_S_DUPLICATE_NAME when the name is taken). Adding or removing a filter
// bumps the graph's version, which puts every filter enumerator out of sync
// until Reset.
//
// State: Run pauses every filter first, then runs them; Stop pauses, then
// stops. Every transition goes downstream first (renderers before the
// filters feeding them, sources last), so a filter never pushes into one
// that is not ready, and a source stops after everything below it has.
// StopWhenReady stops at once when every filter settled in Paused, and
// otherwise returns S_FALSE and finishes the stop on a worker thread; the
// graph's state is Stopped either way.
//
// Releasing the last reference stops the graph and removes every filter.
//
// Locking: graph building and state changes take lock_ (recursive: the
// graph calls back into itself while connecting). Streaming threads never
// take it; they post events, which have their own lock.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "com_object.h"
#include "graph_events.h"

namespace vorsim {

class FilterGraph final : public ComObject<IGraphBuilder, IMediaControl, IMediaEventEx> {
public:
    FilterGraph();
    ~FilterGraph() override;

    // As the filters see it (not AddRef'd).
    IFilterGraph* filter_graph() { return static_cast<IGraphBuilder*>(this); }
    EventQueue& events() { return events_; }

    // IFilterGraph.
    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* pFilter) override;
    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
    HRESULT STDMETHODCALLTYPE ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
    HRESULT STDMETHODCALLTYPE Reconnect(IPin* ppin) override;
    HRESULT STDMETHODCALLTYPE Disconnect(IPin* ppin) override;
    HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override;

    // IGraphBuilder.
    HRESULT STDMETHODCALLTYPE Connect(IPin* ppinOut, IPin* ppinIn) override;
    HRESULT STDMETHODCALLTYPE Render(IPin* ppinOut) override;
    HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) override;
    HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName,
                                              IBaseFilter** ppFilter) override;
    HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR hFile) override;
    HRESULT STDMETHODCALLTYPE Abort() override;
    HRESULT STDMETHODCALLTYPE ShouldOperationContinue() override;

    // IDispatch (IMediaControl and IMediaEvent): no type information.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                            DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                     UINT* puArgErr) override;

    // IMediaControl.
    HRESULT STDMETHODCALLTYPE Run() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE GetState(LONG msTimeout, OAFilterState* pfs) override;
    HRESULT STDMETHODCALLTYPE RenderFile(BSTR strFilename) override;
    HRESULT STDMETHODCALLTYPE AddSourceFilter(BSTR strFilename, IDispatch** ppUnk) override;
    HRESULT STDMETHODCALLTYPE get_FilterCollection(IDispatch** ppUnk) override;
    HRESULT STDMETHODCALLTYPE get_RegFilterCollection(IDispatch** ppUnk) override;
    HRESULT STDMETHODCALLTYPE StopWhenReady() override;

    // IMediaEvent, IMediaEventEx.
    HRESULT STDMETHODCALLTYPE GetEventHandle(OAEVENT* hEvent) override;
    HRESULT STDMETHODCALLTYPE GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                                       LONG msTimeout) override;
    HRESULT STDMETHODCALLTYPE WaitForCompletion(LONG msTimeout, LONG* pEvCode) override;
    HRESULT STDMETHODCALLTYPE CancelDefaultHandling(LONG lEvCode) override;
    HRESULT STDMETHODCALLTYPE RestoreDefaultHandling(LONG lEvCode) override;
    HRESULT STDMETHODCALLTYPE FreeEventParams(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) override;
    HRESULT STDMETHODCALLTYPE SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) override;
    HRESULT STDMETHODCALLTYPE SetNotifyFlags(LONG lNoNotifyFlags) override;
    HRESULT STDMETHODCALLTYPE GetNotifyFlags(LONG* lplNoNotifyFlags) override;

protected:
    // IMediaFilter and IPersist live on a face of their own (their Stop,
    // Pause, Run and GetState differ from IMediaControl's).
    HRESULT query_extra(REFIID iid, void** ppv) override;

private:
    class MediaFilterFace final : public IMediaFilter {
    public:
        explicit MediaFilterFace(FilterGraph& graph) : graph_(graph) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
            return graph_.QueryInterface(iid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return graph_.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return graph_.Release(); }
        HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override;
        HRESULT STDMETHODCALLTYPE Stop() override;
        HRESULT STDMETHODCALLTYPE Pause() override;
        HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME tStart) override;
        HRESULT STDMETHODCALLTYPE GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
        HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* pClock) override;
        HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** pClock) override;

    private:
        FilterGraph& graph_;  // not owned: the face is part of the graph
    };

    struct Entry {
        ComPtr<IBaseFilter> filter;
        IUnknown* identity;  // the filter's IUnknown, for comparisons
        std::u16string name;
    };
    friend class FilterEnumerator;

    // Bookkeeping, with lock_ held.
    Entry* find_locked(IUnknown* filter);
    bool name_taken_locked(const std::u16string& name) const;
    HRESULT unique_name_locked(LPCWSTR requested, std::u16string* name) const;
    HRESULT remove_locked(IUnknown* filter);
    void set_clock_locked(IReferenceClock* clock);
    HRESULT choose_default_clock_locked();

    // State changes, with lock_ held. The order is downstream first.
    std::vector<ComPtr<IBaseFilter>> downstream_first_locked() const;
    HRESULT pause_locked();
    HRESULT run_locked(REFERENCE_TIME start);
    HRESULT stop_filters_locked();  // whatever state_ says
    void stop_all_quietly_locked();  // after a failed transition
    REFERENCE_TIME stream_start_locked();
    // The deferred half of StopWhenReady. Cancelling answers whether a
    // deferred stop was still pending (its filters are then still paused).
    bool cancel_deferred_stop();
    void deferred_stop(uint64_t generation);

    std::recursive_mutex lock_;
    std::vector<Entry> filters_;  // newest first
    uint64_t version_ = 0;
    FILTER_STATE state_ = State_Stopped;
    ComPtr<IReferenceClock> clock_;
    bool clock_chosen_ = false;  // by SetDefaultSyncSource or SetSyncSource

    std::mutex deferred_mutex_;
    std::condition_variable deferred_changed_;
    bool deferred_pending_ = false;
    uint64_t deferred_generation_ = 0;
    std::thread deferred_thread_;

    EventQueue events_;
    MediaFilterFace media_filter_{*this};
};

}  // namespace vorsim
