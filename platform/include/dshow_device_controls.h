// Interfaces of capture devices and of the recording filters, as the module
// sees them on other systems: stream formats, pin properties, crossbar, TV
// decoder, image amplifier and camera controls, DV transport, DV decoder,
// AVI mux and file sink. Only included when not building for Windows.
#pragma once

#include "com_api.h"
#include "dshow_interfaces.h"
#include "dshow_structs.h"
#include "win_types.h"

struct IAMStreamConfig : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** pmt) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* piCount, int* piSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamCaps(int iIndex, AM_MEDIA_TYPE** pmt, BYTE* pSCC) = 0;
};

struct IKsPropertySet : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData,
                                          DWORD cbInstanceData, LPVOID pPropData, DWORD cbPropData) = 0;
    virtual HRESULT STDMETHODCALLTYPE Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData,
                                          DWORD cbInstanceData, LPVOID pPropData, DWORD cbPropData,
                                          DWORD* pcbReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) = 0;
};

struct IAMCrossbar : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_PinCounts(LONG* OutputPinCount, LONG* InputPinCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE CanRoute(LONG OutputPinIndex, LONG InputPinIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE Route(LONG OutputPinIndex, LONG InputPinIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IsRoutedTo(LONG OutputPinIndex, LONG* InputPinIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CrossbarPinInfo(BOOL IsInputPin, LONG PinIndex, LONG* PinIndexRelated,
                                                          LONG* PhysicalType) = 0;
};

struct IAMAnalogVideoDecoder : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_AvailableTVFormats(LONG* lAnalogVideoStandard) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_TVFormat(LONG lAnalogVideoStandard) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_TVFormat(LONG* plAnalogVideoStandard) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HorizontalLocked(LONG* plLocked) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_VCRHorizontalLocking(LONG lVCRHorizontalLocking) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_VCRHorizontalLocking(LONG* plVCRHorizontalLocking) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NumberOfLines(LONG* plNumberOfLines) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_OutputEnable(LONG lOutputEnable) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_OutputEnable(LONG* plOutputEnable) = 0;
};

struct IAMVideoProcAmp : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetRange(LONG Property, LONG* pMin, LONG* pMax, LONG* pSteppingDelta,
                                               LONG* pDefault, LONG* pCapsFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Set(LONG Property, LONG lValue, LONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Get(LONG Property, LONG* lValue, LONG* Flags) = 0;
};

struct IAMCameraControl : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetRange(LONG Property, LONG* pMin, LONG* pMax, LONG* pSteppingDelta,
                                               LONG* pDefault, LONG* pCapsFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Set(LONG Property, LONG lValue, LONG Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Get(LONG Property, LONG* lValue, LONG* Flags) = 0;
};

struct IAMFilterMiscFlags : public IUnknown {
    virtual ULONG STDMETHODCALLTYPE GetMiscFlags() = 0;
};

// The DV camcorder's transport. The module asks it for the input signal
// format through GetTransportBasicParameters(ED_TRANSBASIC_INPUT_SIGNAL).
struct IAMExtTransport : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCapability(LONG Capability, LONG* pValue, double* pdblValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_MediaState(LONG State) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MediaState(LONG* pState) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_LocalControl(LONG State) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LocalControl(LONG* pState) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStatus(LONG StatusItem, LONG* pValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTransportBasicParameters(LONG Param, LONG* pValue, LPOLESTR* ppszData) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTransportBasicParameters(LONG Param, LONG Value, LPCOLESTR pszData) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTransportVideoParameters(LONG Param, LONG* pValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTransportVideoParameters(LONG Param, LONG Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTransportAudioParameters(LONG Param, LONG* pValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTransportAudioParameters(LONG Param, LONG Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Mode(LONG Mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Mode(LONG* pMode) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Rate(double dblRate) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Rate(double* pdblRate) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetChase(LONG* pEnabled, LONG* pOffset, HEVENT* phEvent) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetChase(LONG Enable, LONG Offset, HEVENT hEvent) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBump(LONG* pSpeed, LONG* pDuration) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBump(LONG Speed, LONG Duration) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AntiClogControl(LONG* pEnabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AntiClogControl(LONG Enable) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEditPropertySet(LONG EditID, LONG* pState) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEditPropertySet(LONG* pEditID, LONG State) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEditProperty(LONG EditID, LONG Param, LONG* pValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEditProperty(LONG EditID, LONG Param, LONG Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_EditStart(LONG* pValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_EditStart(LONG Value) = 0;
};

struct IIPDVDec : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_IPDisplay(int* displayPix) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IPDisplay(int displayPix) = 0;
};

struct IConfigAviMux : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetMasterStream(LONG iStream) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMasterStream(LONG* pStream) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOutputCompatibilityIndex(BOOL fOldIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutputCompatibilityIndex(BOOL* pfOldIndex) = 0;
};

struct IFileSinkFilter : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFileName(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) = 0;
};
