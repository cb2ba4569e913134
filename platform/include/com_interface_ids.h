// Which IID belongs to which interface type, and which interface it derives
// from, for code that needs that at compile time (QueryInterface tables of
// the in-process platform). Only for other systems; Windows code uses the
// IID_ constants (or __uuidof). Every interface declared in platform/include
// has an entry; `base` is void for IUnknown.
#pragma once

#include "com_api.h"
#include "dshow_device_controls.h"
#include "dshow_guids.h"
#include "dshow_interfaces.h"
#include "sample_grabber_api.h"

namespace vorcom {

template <class I>
struct interface_traits;  // no entry: the type is not a COM interface we declare

#define VOR_COM_INTERFACE(I, Base)                 \
    template <>                                    \
    struct interface_traits<I> {                   \
        static constexpr const IID& iid = IID_##I; \
        using base = Base;                         \
    }

VOR_COM_INTERFACE(IUnknown, void);
VOR_COM_INTERFACE(IClassFactory, IUnknown);
VOR_COM_INTERFACE(IPersist, IUnknown);
VOR_COM_INTERFACE(IDispatch, IUnknown);
VOR_COM_INTERFACE(IEnumMoniker, IUnknown);
VOR_COM_INTERFACE(IMoniker, IUnknown);  // IPersistStream in between has no IID here
VOR_COM_INTERFACE(IPropertyBag, IUnknown);
VOR_COM_INTERFACE(ISpecifyPropertyPages, IUnknown);
VOR_COM_INTERFACE(IReferenceClock, IUnknown);
VOR_COM_INTERFACE(IMediaFilter, IPersist);
VOR_COM_INTERFACE(IBaseFilter, IMediaFilter);
VOR_COM_INTERFACE(IPin, IUnknown);
VOR_COM_INTERFACE(IEnumPins, IUnknown);
VOR_COM_INTERFACE(IEnumMediaTypes, IUnknown);
VOR_COM_INTERFACE(IEnumFilters, IUnknown);
VOR_COM_INTERFACE(IMediaSample, IUnknown);
VOR_COM_INTERFACE(IMemAllocator, IUnknown);
VOR_COM_INTERFACE(IMemInputPin, IUnknown);
VOR_COM_INTERFACE(IFilterGraph, IUnknown);
VOR_COM_INTERFACE(IGraphBuilder, IFilterGraph);
VOR_COM_INTERFACE(IMediaControl, IDispatch);
VOR_COM_INTERFACE(IMediaEvent, IDispatch);
VOR_COM_INTERFACE(IMediaEventEx, IMediaEvent);
VOR_COM_INTERFACE(ICreateDevEnum, IUnknown);
VOR_COM_INTERFACE(ICaptureGraphBuilder2, IUnknown);
VOR_COM_INTERFACE(IAMStreamConfig, IUnknown);
VOR_COM_INTERFACE(IKsPropertySet, IUnknown);
VOR_COM_INTERFACE(IAMCrossbar, IUnknown);
VOR_COM_INTERFACE(IAMAnalogVideoDecoder, IUnknown);
VOR_COM_INTERFACE(IAMVideoProcAmp, IUnknown);
VOR_COM_INTERFACE(IAMCameraControl, IUnknown);
VOR_COM_INTERFACE(IAMFilterMiscFlags, IUnknown);
VOR_COM_INTERFACE(IAMExtTransport, IUnknown);
VOR_COM_INTERFACE(IIPDVDec, IUnknown);
VOR_COM_INTERFACE(IConfigAviMux, IUnknown);
VOR_COM_INTERFACE(IFileSinkFilter, IUnknown);
VOR_COM_INTERFACE(ISampleGrabber, IUnknown);
VOR_COM_INTERFACE(ISampleGrabberCB, IUnknown);

#undef VOR_COM_INTERFACE

template <class I>
constexpr const IID& iid_of() {
    return interface_traits<I>::iid;
}

}  // namespace vorcom
