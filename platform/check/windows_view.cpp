// The platform as the module uses it, written once and compiled twice: with
// x86_64-w64-mingw32-g++ against the Windows headers and natively against
// platform/include (scripts/check-windows-view does both). A name, type,
// signature, layout or value that differs between the two fails one of the
// compilations. Nothing here runs.
#include <cstddef>

#include "dshow_platform.h"

namespace {

// ---- Layouts ---------------------------------------------------------------
static_assert(sizeof(GUID) == 16);
static_assert(sizeof(AM_MEDIA_TYPE) == 88);
static_assert(offsetof(AM_MEDIA_TYPE, majortype) == 0 && offsetof(AM_MEDIA_TYPE, subtype) == 16);
static_assert(offsetof(AM_MEDIA_TYPE, bFixedSizeSamples) == 32 && offsetof(AM_MEDIA_TYPE, lSampleSize) == 40);
static_assert(offsetof(AM_MEDIA_TYPE, formattype) == 44 && offsetof(AM_MEDIA_TYPE, pUnk) == 64);
static_assert(offsetof(AM_MEDIA_TYPE, cbFormat) == 72 && offsetof(AM_MEDIA_TYPE, pbFormat) == 80);
static_assert(sizeof(VIDEOINFOHEADER) == 88 && offsetof(VIDEOINFOHEADER, AvgTimePerFrame) == 40);
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) == 48);
static_assert(sizeof(VIDEOINFOHEADER2) == 112 && offsetof(VIDEOINFOHEADER2, bmiHeader) == 72);
static_assert(sizeof(BITMAPINFOHEADER) == 40 && offsetof(BITMAPINFOHEADER, biCompression) == 16);
static_assert(offsetof(BITMAPINFOHEADER, biSizeImage) == 20 && offsetof(BITMAPINFOHEADER, biClrImportant) == 36);
static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128);
static_assert(offsetof(VIDEO_STREAM_CONFIG_CAPS, MinOutputSize) == 60);
static_assert(offsetof(VIDEO_STREAM_CONFIG_CAPS, MinFrameInterval) == 104);
static_assert(offsetof(VIDEO_STREAM_CONFIG_CAPS, MaxBitsPerSecond) == 124);
static_assert(sizeof(AUDIO_STREAM_CONFIG_CAPS) == 52);
static_assert(sizeof(VARIANT) == 24 && offsetof(VARIANT, vt) == 0);
static_assert(sizeof(CAUUID) == 16 && offsetof(CAUUID, pElems) == 8);
static_assert(sizeof(PIN_INFO) == 272 && offsetof(PIN_INFO, dir) == 8 && offsetof(PIN_INFO, achName) == 12);
static_assert(sizeof(FILTER_INFO) == 264 && offsetof(FILTER_INFO, pGraph) == 256);
static_assert(sizeof(DVINFO) == 32);
static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(ALLOCATOR_PROPERTIES) == 16);
static_assert(sizeof(RECT) == 16 && sizeof(SIZE) == 8);
static_assert(sizeof(LONG) == 4 && sizeof(ULONG) == 4 && sizeof(DWORD) == 4 && sizeof(BOOL) == 4);
static_assert(sizeof(WCHAR) == 2 && sizeof(REFERENCE_TIME) == 8 && sizeof(LONG_PTR) == 8);
static_assert(sizeof(HCRYPTPROV) == 8 && sizeof(HCRYPTHASH) == 8);
static_assert(sizeof(DSW("ab")) == 3 * sizeof(WCHAR));

// ---- Values ----------------------------------------------------------------
static_assert(S_OK == 0 && S_FALSE == 1);
static_assert(E_NOTIMPL == static_cast<HRESULT>(0x80004001u) && E_NOINTERFACE == static_cast<HRESULT>(0x80004002u));
static_assert(E_POINTER == static_cast<HRESULT>(0x80004003u) && E_ABORT == static_cast<HRESULT>(0x80004004u));
static_assert(E_FAIL == static_cast<HRESULT>(0x80004005u) && E_UNEXPECTED == static_cast<HRESULT>(0x8000FFFFu));
static_assert(E_OUTOFMEMORY == static_cast<HRESULT>(0x8007000Eu) && E_INVALIDARG == static_cast<HRESULT>(0x80070057u));
static_assert(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) == static_cast<HRESULT>(0x80070002u));
static_assert(HRESULT_FROM_WIN32(ERROR_NO_SYSTEM_RESOURCES) == static_cast<HRESULT>(0x800705AAu));
static_assert(E_PROP_ID_UNSUPPORTED == static_cast<HRESULT>(0x80070490u));
static_assert(E_PROP_SET_UNSUPPORTED == static_cast<HRESULT>(0x80070492u));
static_assert(REGDB_E_CLASSNOTREG == static_cast<HRESULT>(0x80040154u));
static_assert(CLASS_E_NOAGGREGATION == static_cast<HRESULT>(0x80040110u));
static_assert(CO_E_NOTINITIALIZED == static_cast<HRESULT>(0x800401F0u));
static_assert(MK_E_NOSTORAGE == static_cast<HRESULT>(0x800401EDu));
static_assert(DISP_E_BADVARTYPE == static_cast<HRESULT>(0x80020008u));
static_assert(VFW_E_INVALIDMEDIATYPE == static_cast<HRESULT>(0x80040200u));
static_assert(VFW_E_ENUM_OUT_OF_SYNC == static_cast<HRESULT>(0x80040203u));
static_assert(VFW_E_ALREADY_CONNECTED == static_cast<HRESULT>(0x80040204u));
static_assert(VFW_E_NO_ACCEPTABLE_TYPES == static_cast<HRESULT>(0x80040207u));
static_assert(VFW_E_INVALID_DIRECTION == static_cast<HRESULT>(0x80040208u));
static_assert(VFW_E_NOT_CONNECTED == static_cast<HRESULT>(0x80040209u));
static_assert(VFW_E_NO_ALLOCATOR == static_cast<HRESULT>(0x8004020Au));
static_assert(VFW_E_RUNTIME_ERROR == static_cast<HRESULT>(0x8004020Bu));
static_assert(VFW_E_BUFFER_OVERFLOW == static_cast<HRESULT>(0x8004020Du));
static_assert(VFW_E_NOT_COMMITTED == static_cast<HRESULT>(0x80040211u));
static_assert(VFW_E_NOT_FOUND == static_cast<HRESULT>(0x80040216u));
static_assert(VFW_E_CANNOT_CONNECT == static_cast<HRESULT>(0x80040217u));
static_assert(VFW_E_CANNOT_RENDER == static_cast<HRESULT>(0x80040218u));
static_assert(VFW_E_NOT_STOPPED == static_cast<HRESULT>(0x80040224u));
static_assert(VFW_E_WRONG_STATE == static_cast<HRESULT>(0x80040227u));
static_assert(VFW_E_TYPE_NOT_ACCEPTED == static_cast<HRESULT>(0x8004022Au));
static_assert(VFW_E_DUPLICATE_NAME == static_cast<HRESULT>(0x8004022Du) && VFW_S_DUPLICATE_NAME == 0x0004022D);
static_assert(VFW_S_STATE_INTERMEDIATE == 0x00040237);
static_assert(VFW_E_SAMPLE_TIME_NOT_SET == static_cast<HRESULT>(0x80040249u));
static_assert(VFW_E_MEDIA_TIME_NOT_SET == static_cast<HRESULT>(0x80040251u));
static_assert(VFW_E_NOT_IN_GRAPH == static_cast<HRESULT>(0x8004025Fu));
static_assert(VFW_S_CANT_CUE == 0x00040268 && VFW_S_NO_STOP_TIME == 0x00040270 && VFW_S_NOPREVIEWPIN == 0x0004027E);
static_assert(NTE_BAD_ALGID == static_cast<HRESULT>(0x80090008u) && NTE_BAD_FLAGS == static_cast<HRESULT>(0x80090009u));
static_assert(NTE_BAD_HASH_STATE == static_cast<HRESULT>(0x8009000Cu));
static_assert(NTE_PROV_TYPE_NOT_DEF == static_cast<HRESULT>(0x80090017u));
static_assert(ERROR_MORE_DATA == 234 && ERROR_TIMEOUT == 1460 && ERROR_REQ_NOT_ACCEP == 71);
static_assert(ERROR_NOT_SUPPORTED == 50 && ERROR_GEN_FAILURE == 31 && ERROR_INVALID_HANDLE == 6);
static_assert(SUCCEEDED(S_FALSE) && SUCCEEDED(VFW_S_CANT_CUE) && FAILED(E_FAIL) && SUCCEEDED(ERROR_TIMEOUT));

static_assert(CLSCTX_INPROC_SERVER == 1 && CLSCTX_INPROC_HANDLER == 2 && CLSCTX_INPROC == 3);
static_assert(VT_EMPTY == 0 && VT_I4 == 3 && VT_BSTR == 8 && (VT_ARRAY | VT_UI1) == 0x2011);
static_assert(PINDIR_INPUT == 0 && PINDIR_OUTPUT == 1);
static_assert(State_Stopped == 0 && State_Paused == 1 && State_Running == 2);
static_assert(MAX_PIN_NAME == 128 && MAX_FILTER_NAME == 128 && BI_RGB == 0 && BI_BITFIELDS == 3);
static_assert(VideoProcAmp_Brightness == 0 && VideoProcAmp_Contrast == 1 && VideoProcAmp_Hue == 2);
static_assert(VideoProcAmp_Saturation == 3 && VideoProcAmp_Sharpness == 4 && VideoProcAmp_Gamma == 5);
static_assert(VideoProcAmp_ColorEnable == 6 && VideoProcAmp_WhiteBalance == 7);
static_assert(VideoProcAmp_BacklightCompensation == 8 && VideoProcAmp_Gain == 9);
static_assert(VideoProcAmp_Flags_Auto == 1 && VideoProcAmp_Flags_Manual == 2);
static_assert(CameraControl_Flags_Auto == 1 && CameraControl_Flags_Manual == 2 && CameraControl_Focus == 6);
static_assert(PhysConn_Video_Tuner == 1 && PhysConn_Video_Composite == 2 && PhysConn_Video_SVideo == 3);
static_assert(PhysConn_Video_VideoDecoder == 12 && PhysConn_Video_Black == 15);
static_assert(PhysConn_Audio_Tuner == 0x1000 && PhysConn_Audio_Line == 0x1001 && PhysConn_Audio_AudioDecoder == 0x1009);
static_assert(AMPROPERTY_PIN_CATEGORY == 0 && AMPROPERTY_PIN_MEDIUM == 1);
static_assert(KSPROPERTY_SUPPORT_GET == 1 && KSPROPERTY_SUPPORT_SET == 2);
static_assert(AM_FILTER_MISC_FLAGS_IS_RENDERER == 1 && AM_FILTER_MISC_FLAGS_IS_SOURCE == 2 && AM_FILE_OVERWRITE == 1);
static_assert(AnalogVideo_None == 0 && AnalogVideo_NTSC_M == 0x1 && AnalogVideo_NTSC_433 == 0x4);
static_assert(AnalogVideo_PAL_B == 0x10 && AnalogVideo_PAL_I == 0x100 && AnalogVideo_PAL_60 == 0x800);
static_assert(AnalogVideo_SECAM_B == 0x1000 && AnalogVideo_SECAM_L1 == 0x80000 && AnalogVideo_PAL_N_COMBO == 0x100000);
static_assert(AnalogVideo_NTSC_Mask == 0x7 && AnalogVideo_PAL_Mask == 0x100FF0 && AnalogVideo_SECAM_Mask == 0xFF000);
static_assert(DVRESOLUTION_FULL == 1000 && DVRESOLUTION_HALF == 1001 && DVRESOLUTION_QUARTER == 1002);
static_assert(DVRESOLUTION_DC == 1003);
static_assert(EC_COMPLETE == 1 && EC_USERABORT == 2 && EC_ERRORABORT == 3 && EC_REPAINT == 5);
static_assert(EC_STREAM_ERROR_STOPPED == 6 && EC_CLOCK_CHANGED == 0x0D && EC_PAUSED == 0x0E && EC_DEVICE_LOST == 0x1F);
static_assert(CDEF_DEVMON_CMGR_DEVICE == 0x10 && CDEF_DEVMON_DMO == 0x20 && CDEF_DEVMON_PNP_DEVICE == 0x40);
static_assert(CDEF_DEVMON_FILTER == 0x80);
static_assert(ED_TRANSBASIC_INPUT_SIGNAL == 5036 && ED_TRANSBASIC_OUTPUT_SIGNAL == 5037);
static_assert(ED_TRANSBASIC_SIGNAL_525_60_SD == 5038 && ED_TRANSBASIC_SIGNAL_525_60_SDL == 5039);
static_assert(ED_TRANSBASIC_SIGNAL_625_50_SD == 5040 && ED_TRANSBASIC_SIGNAL_625_50_SDL == 5041);
static_assert(ED_TRANSBASIC_SIGNAL_UNKNOWN == 5086);
static_assert(CALG_MD5 == 0x8003 && HP_HASHVAL == 2 && HP_HASHSIZE == 4 && PROV_RSA_FULL == 1);
static_assert(CRYPT_VERIFYCONTEXT == 0xF0000000u);
static_assert(INFINITE == 0xFFFFFFFFu);

// ---- GUIDs -----------------------------------------------------------------
// Every GUID the module names, as the module passes them.
const GUID* const guids[] = {
    &CLSID_SystemDeviceEnum, &CLSID_VideoInputDeviceCategory, &CLSID_AudioInputDeviceCategory,
    &CLSID_LegacyAmFilterCategory, &CLSID_FilterGraph, &CLSID_CaptureGraphBuilder2, &CLSID_SampleGrabber,
    &CLSID_NullRenderer, &CLSID_DVVideoCodec, &CLSID_SystemClock, &CLSID_SmartTee, &CLSID_AviDest,
    &CLSID_FileWriter, &CLSID_DVSplitter, &CLSID_AVIDec, &CLSID_Colour, &CLSID_MjpegDec, &CLSID_AudioRecord,
    &CLSID_VideoRenderer, &CLSID_DSoundRender, &AM_KSCATEGORY_CAPTURE, &MEDIATYPE_Video, &MEDIATYPE_Audio,
    &MEDIATYPE_Interleaved, &MEDIATYPE_Stream, &MEDIATYPE_AnalogVideo, &MEDIATYPE_AnalogAudio,
    &MEDIASUBTYPE_RGB1, &MEDIASUBTYPE_RGB4, &MEDIASUBTYPE_RGB8, &MEDIASUBTYPE_RGB565, &MEDIASUBTYPE_RGB555,
    &MEDIASUBTYPE_RGB24, &MEDIASUBTYPE_RGB32, &MEDIASUBTYPE_ARGB32, &MEDIASUBTYPE_UYVY, &MEDIASUBTYPE_YUY2,
    &MEDIASUBTYPE_I420, &MEDIASUBTYPE_IYUV, &MEDIASUBTYPE_YV12, &MEDIASUBTYPE_NV12, &MEDIASUBTYPE_MJPG,
    &MEDIASUBTYPE_dvsd, &MEDIASUBTYPE_Avi, &MEDIASUBTYPE_PCM, &FORMAT_VideoInfo, &FORMAT_VideoInfo2,
    &FORMAT_DvInfo, &FORMAT_WaveFormatEx, &FORMAT_None, &GUID_NULL, &PIN_CATEGORY_CAPTURE, &PIN_CATEGORY_PREVIEW,
    &PIN_CATEGORY_ANALOGVIDEOIN, &PIN_CATEGORY_VBI, &PIN_CATEGORY_VIDEOPORT, &PIN_CATEGORY_CC,
    &PIN_CATEGORY_STILL, &AMPROPSETID_Pin, &LOOK_UPSTREAM_ONLY, &LOOK_DOWNSTREAM_ONLY,
    &CLSID_VideoProcAmpPropertyPage, &CLSID_CameraControlPropertyPage, &CLSID_AnalogVideoDecoderPropertyPage,
    &CLSID_VideoStreamConfigPropertyPage, &CLSID_CrossbarFilterPropertyPage, &IID_IUnknown, &IID_IClassFactory,
    &IID_IPersist, &IID_IMoniker, &IID_IEnumMoniker, &IID_IBindCtx, &IID_IPropertyBag, &IID_IErrorLog,
    &IID_IPersistPropertyBag, &IID_ICreateDevEnum, &IID_IBaseFilter, &IID_IMediaFilter, &IID_IFilterGraph,
    &IID_IGraphBuilder, &IID_IFilterGraph2, &IID_IEnumFilters, &IID_IPin, &IID_IEnumPins, &IID_IEnumMediaTypes,
    &IID_IMediaSample, &IID_IMemInputPin, &IID_IMemAllocator, &IID_IReferenceClock, &IID_IMediaControl,
    &IID_IMediaEvent, &IID_IMediaEventEx, &IID_IMediaSeeking, &IID_ICaptureGraphBuilder2,
    &IID_ICaptureGraphBuilder, &IID_ISampleGrabber, &IID_ISampleGrabberCB, &IID_IAMStreamConfig,
    &IID_IAMAnalogVideoDecoder, &IID_IAMVideoProcAmp, &IID_IAMCameraControl, &IID_IAMCrossbar,
    &IID_IAMVideoControl, &IID_IAMFilterMiscFlags, &IID_IAMStreamControl, &IID_IKsPropertySet,
    &IID_IAMExtTransport, &IID_IAMExtDevice, &IID_IIPDVDec, &IID_IConfigAviMux, &IID_IConfigInterleaving,
    &IID_IFileSinkFilter, &IID_ISpecifyPropertyPages, &IID_IDispatch,
};

bool guid_ops(REFGUID a, REFIID b, REFCLSID c) { return a == b && !(b == c) && IsEqualGUID(a, c); }

// ---- Functions -------------------------------------------------------------
HRESULT functions(IUnknown* unk, HWND owner) {
    IGraphBuilder* graph = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(&graph));
    hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC, IID_IBaseFilter, nullptr);
    void* p = CoTaskMemAlloc(16);
    p = CoTaskMemRealloc(p, 32);
    CoTaskMemFree(p);
    BSTR b = SysAllocString(DSW("name"));
    SysFreeString(b);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = nullptr;
    LONG l = v.lVal;
    (void)l;
    hr = VariantClear(&v);
    CLSID pages[1] = {CLSID_VideoProcAmpPropertyPage};
    hr = OleCreatePropertyFrame(owner, 0, 0, DSW("caption"), 1, &unk, 1, pages, 0, 0, nullptr);
    HCRYPTPROV prov = 0;
    HCRYPTHASH hash = 0;
    BYTE digest[16];
    DWORD len = sizeof digest;
    const BYTE data[1] = {0};
    BOOL ok = CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT);
    ok = ok && CryptCreateHash(prov, CALG_MD5, 0, 0, &hash);
    ok = ok && CryptHashData(hash, data, 1, 0);
    ok = ok && CryptGetHashParam(hash, HP_HASHVAL, digest, &len, 0);
    ok = CryptDestroyHash(hash) && ok;
    ok = CryptReleaseContext(prov, 0) && ok;
    DWORD err = GetLastError();
    (void)err;
    (void)ok;
    AM_MEDIA_TYPE mt{};
    AM_MEDIA_TYPE copy{};
    hr = CopyMediaType(&copy, &mt);
    FreeMediaType(copy);
    DeleteMediaType(CreateMediaType(&mt));
    return hr;
}

// ---- Interfaces: every method, as the module calls it ----------------------
HRESULT unknown(IUnknown* u) {
    void* out = nullptr;
    HRESULT hr = u->QueryInterface(IID_IBaseFilter, &out);
    ULONG n = u->AddRef();
    n += u->Release();
    return SUCCEEDED(hr) && n != 0 ? S_OK : E_FAIL;
}

HRESULT devices(ICreateDevEnum* devenum, IEnumMoniker* monikers, IMoniker* m, IPropertyBag* bag) {
    IEnumMoniker* e = nullptr;
    HRESULT hr = devenum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &e, 0);
    IMoniker* arr[2];
    ULONG fetched = 0;
    hr = monikers->Next(2, arr, &fetched);
    hr = monikers->Skip(1);
    hr = monikers->Reset();
    hr = monikers->Clone(&e);
    CLSID clsid;
    hr = m->GetClassID(&clsid);
    hr = m->IsDirty();
    hr = m->Load(nullptr);
    hr = m->Save(nullptr, TRUE);
    ULARGE_INTEGER size;
    hr = m->GetSizeMax(&size);
    IBaseFilter* filter = nullptr;
    hr = m->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter));
    IPropertyBag* b = nullptr;
    hr = m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&b));
    IMoniker* other = nullptr;
    hr = m->Reduce(nullptr, 0, nullptr, &other);
    hr = m->ComposeWith(nullptr, FALSE, &other);
    hr = m->Enum(TRUE, &e);
    hr = m->IsEqual(m);
    DWORD h = 0;
    hr = m->Hash(&h);
    hr = m->IsRunning(nullptr, nullptr, nullptr);
    FILETIME ft;
    hr = m->GetTimeOfLastChange(nullptr, nullptr, &ft);
    hr = m->Inverse(&other);
    hr = m->CommonPrefixWith(m, &other);
    hr = m->RelativePathTo(m, &other);
    LPOLESTR display = nullptr;
    hr = m->GetDisplayName(nullptr, nullptr, &display);
    ULONG eaten = 0;
    hr = m->ParseDisplayName(nullptr, nullptr, display, &eaten, &other);
    hr = m->IsSystemMoniker(&h);
    VARIANT v;
    VariantInit(&v);
    hr = bag->Read(DSW("FriendlyName"), &v, nullptr);
    hr = bag->Write(DSW("FriendlyName"), &v);
    return hr;
}

HRESULT filter(IBaseFilter* f, IPin* pin, IEnumPins* pins, IEnumMediaTypes* types, IMediaSample* s) {
    CLSID clsid;
    HRESULT hr = f->GetClassID(&clsid);
    hr = f->Stop();
    hr = f->Pause();
    hr = f->Run(0);
    FILTER_STATE state;
    hr = f->GetState(INFINITE, &state);
    IReferenceClock* clock = nullptr;
    hr = f->SetSyncSource(nullptr);
    hr = f->GetSyncSource(&clock);
    IEnumPins* e = nullptr;
    hr = f->EnumPins(&e);
    IPin* p = nullptr;
    hr = f->FindPin(DSW("Capture"), &p);
    FILTER_INFO fi;
    hr = f->QueryFilterInfo(&fi);
    if (fi.pGraph != nullptr) fi.pGraph->Release();
    hr = f->JoinFilterGraph(nullptr, nullptr);
    LPWSTR vendor = nullptr;
    hr = f->QueryVendorInfo(&vendor);

    AM_MEDIA_TYPE mt{};
    hr = pin->Connect(p, &mt);
    hr = pin->ReceiveConnection(p, &mt);
    hr = pin->Disconnect();
    hr = pin->ConnectedTo(&p);
    hr = pin->ConnectionMediaType(&mt);
    PIN_INFO info;
    hr = pin->QueryPinInfo(&info);
    PIN_DIRECTION dir = info.dir;
    hr = pin->QueryDirection(&dir);
    LPWSTR id = nullptr;
    hr = pin->QueryId(&id);
    hr = pin->QueryAccept(&mt);
    IEnumMediaTypes* et = nullptr;
    hr = pin->EnumMediaTypes(&et);
    ULONG n = 0;
    hr = pin->QueryInternalConnections(nullptr, &n);
    hr = pin->EndOfStream();
    hr = pin->BeginFlush();
    hr = pin->EndFlush();
    hr = pin->NewSegment(0, 1, 1.0);

    IPin* arr[1];
    hr = pins->Next(1, arr, nullptr);
    hr = pins->Skip(1);
    hr = pins->Reset();
    hr = pins->Clone(&e);
    AM_MEDIA_TYPE* pmt = nullptr;
    hr = types->Next(1, &pmt, &n);
    hr = types->Skip(1);
    hr = types->Reset();
    hr = types->Clone(&et);

    BYTE* buffer = nullptr;
    hr = s->GetPointer(&buffer);
    LONG size = s->GetSize() + s->GetActualDataLength();
    REFERENCE_TIME t0 = 0, t1 = 0;
    hr = s->GetTime(&t0, &t1);
    hr = s->SetTime(&t0, &t1);
    hr = s->IsSyncPoint();
    hr = s->SetSyncPoint(TRUE);
    hr = s->IsPreroll();
    hr = s->SetPreroll(FALSE);
    hr = s->SetActualDataLength(size);
    hr = s->GetMediaType(&pmt);
    hr = s->SetMediaType(pmt);
    hr = s->IsDiscontinuity();
    hr = s->SetDiscontinuity(FALSE);
    LONGLONG m0 = 0, m1 = 0;
    hr = s->GetMediaTime(&m0, &m1);
    hr = s->SetMediaTime(&m0, &m1);
    return hr;
}

HRESULT streaming(IMemInputPin* in, IMemAllocator* alloc, IReferenceClock* clock, IMediaSample* s) {
    IMemAllocator* a = nullptr;
    HRESULT hr = in->GetAllocator(&a);
    hr = in->NotifyAllocator(alloc, FALSE);
    ALLOCATOR_PROPERTIES props{};
    hr = in->GetAllocatorRequirements(&props);
    hr = in->Receive(s);
    LONG done = 0;
    hr = in->ReceiveMultiple(&s, 1, &done);
    hr = in->ReceiveCanBlock();
    ALLOCATOR_PROPERTIES actual{};
    hr = alloc->SetProperties(&props, &actual);
    hr = alloc->GetProperties(&props);
    hr = alloc->Commit();
    hr = alloc->Decommit();
    IMediaSample* sample = nullptr;
    hr = alloc->GetBuffer(&sample, nullptr, nullptr, 0);
    hr = alloc->ReleaseBuffer(sample);
    REFERENCE_TIME now = 0;
    hr = clock->GetTime(&now);
    DWORD_PTR cookie = 0;
    hr = clock->AdviseTime(now, 0, 0, &cookie);
    hr = clock->AdvisePeriodic(now, 1, 0, &cookie);
    hr = clock->Unadvise(cookie);
    return hr;
}

HRESULT graph(IGraphBuilder* g, IMediaControl* mc, IMediaEventEx* me, ICaptureGraphBuilder2* cgb, IBaseFilter* f,
              IPin* pin) {
    HRESULT hr = g->AddFilter(f, DSW("Null"));
    hr = g->RemoveFilter(f);
    IEnumFilters* ef = nullptr;
    hr = g->EnumFilters(&ef);
    IBaseFilter* found = nullptr;
    hr = g->FindFilterByName(DSW("Null"), &found);
    hr = g->ConnectDirect(pin, pin, nullptr);
    hr = g->Reconnect(pin);
    hr = g->Disconnect(pin);
    hr = g->SetDefaultSyncSource();
    hr = g->Connect(pin, pin);
    hr = g->Render(pin);
    hr = g->RenderFile(DSW("file"), nullptr);
    hr = g->AddSourceFilter(DSW("file"), DSW("name"), &found);
    hr = g->SetLogFile(0);
    hr = g->Abort();
    hr = g->ShouldOperationContinue();
    IBaseFilter* arr[1];
    ULONG n = 0;
    hr = ef->Next(1, arr, &n);
    hr = ef->Skip(1);
    hr = ef->Reset();
    hr = ef->Clone(&ef);

    UINT count = 0;
    hr = mc->GetTypeInfoCount(&count);
    hr = mc->GetTypeInfo(0, 0, nullptr);
    hr = mc->GetIDsOfNames(IID_IUnknown, nullptr, 0, 0, nullptr);
    hr = mc->Invoke(0, IID_IUnknown, 0, 0, nullptr, nullptr, nullptr, nullptr);
    hr = mc->Run();
    hr = mc->Pause();
    hr = mc->Stop();
    OAFilterState fs = 0;
    hr = mc->GetState(static_cast<LONG>(INFINITE), &fs);
    hr = mc->RenderFile(nullptr);
    IDispatch* disp = nullptr;
    hr = mc->AddSourceFilter(nullptr, &disp);
    hr = mc->get_FilterCollection(&disp);
    hr = mc->get_RegFilterCollection(&disp);
    hr = mc->StopWhenReady();

    OAEVENT event = 0;
    hr = me->GetEventHandle(&event);
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    hr = me->GetEvent(&code, &p1, &p2, 0);
    hr = me->FreeEventParams(code, p1, p2);
    hr = me->WaitForCompletion(0, &code);
    hr = me->CancelDefaultHandling(EC_REPAINT);
    hr = me->RestoreDefaultHandling(EC_REPAINT);
    hr = me->SetNotifyWindow(0, 0, 0);
    hr = me->SetNotifyFlags(0);
    hr = me->GetNotifyFlags(&code);
    IMediaEvent* base = me;
    hr = base->GetEvent(&code, &p1, &p2, 0);

    hr = cgb->SetFiltergraph(g);
    IGraphBuilder* got = nullptr;
    hr = cgb->GetFiltergraph(&got);
    IBaseFilter* mux = nullptr;
    IFileSinkFilter* sink = nullptr;
    hr = cgb->SetOutputFileName(&MEDIASUBTYPE_Avi, DSW("out.avi"), &mux, &sink);
    IAMStreamConfig* config = nullptr;
    hr = cgb->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, f, IID_IAMStreamConfig,
                            reinterpret_cast<void**>(&config));
    hr = cgb->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, f, nullptr, f);
    REFERENCE_TIME start = 0, stop = 0;
    hr = cgb->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, f, &start, &stop, 0, 0);
    hr = cgb->AllocCapFile(DSW("out.avi"), 0);
    hr = cgb->CopyCaptureFile(nullptr, nullptr, FALSE, nullptr);
    IPin* found_pin = nullptr;
    hr = cgb->FindPin(f, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, TRUE, 0, &found_pin);
    return hr;
}

class Callback : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }
};

HRESULT grabber(ISampleGrabber* sg, ISampleGrabberCB* cb) {
    static Callback own;
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB32;
    mt.formattype = GUID_NULL;
    HRESULT hr = sg->SetMediaType(&mt);
    hr = sg->SetOneShot(FALSE);
    hr = sg->GetConnectedMediaType(&mt);
    hr = sg->SetBufferSamples(TRUE);
    LONG size = 0;
    hr = sg->GetCurrentBuffer(&size, nullptr);
    IMediaSample* sample = nullptr;
    hr = sg->GetCurrentSample(&sample);
    hr = sg->SetCallback(&own, 0);
    hr = cb->SampleCB(0.0, sample);
    hr = cb->BufferCB(0.0, nullptr, size);
    return hr;
}

HRESULT controls(IAMStreamConfig* sc, IKsPropertySet* ks, IAMCrossbar* xb, IAMAnalogVideoDecoder* dec,
                 IAMVideoProcAmp* amp, IAMCameraControl* cam, IAMFilterMiscFlags* misc, IAMExtTransport* tr,
                 IIPDVDec* dv, IConfigAviMux* mux, IFileSinkFilter* sink, ISpecifyPropertyPages* pages) {
    AM_MEDIA_TYPE* pmt = nullptr;
    HRESULT hr = sc->GetFormat(&pmt);
    hr = sc->SetFormat(pmt);
    int count = 0, size = 0;
    hr = sc->GetNumberOfCapabilities(&count, &size);
    VIDEO_STREAM_CONFIG_CAPS caps;
    hr = sc->GetStreamCaps(0, &pmt, reinterpret_cast<BYTE*>(&caps));
    GUID category;
    DWORD returned = 0;
    hr = ks->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category, &returned);
    hr = ks->Set(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category);
    DWORD support = 0;
    hr = ks->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support);
    LONG outs = 0, ins = 0, related = 0, type = 0;
    hr = xb->get_PinCounts(&outs, &ins);
    hr = xb->CanRoute(0, 1);
    hr = xb->Route(0, 1);
    hr = xb->get_IsRoutedTo(0, &ins);
    hr = xb->get_CrossbarPinInfo(TRUE, 0, &related, &type);
    LONG value = 0, flags = 0, mn = 0, mx = 0, step = 0, def = 0;
    hr = dec->get_AvailableTVFormats(&value);
    hr = dec->put_TVFormat(AnalogVideo_PAL_B);
    hr = dec->get_TVFormat(&value);
    hr = dec->get_HorizontalLocked(&value);
    hr = dec->put_VCRHorizontalLocking(0);
    hr = dec->get_VCRHorizontalLocking(&value);
    hr = dec->get_NumberOfLines(&value);
    hr = dec->put_OutputEnable(1);
    hr = dec->get_OutputEnable(&value);
    hr = amp->GetRange(VideoProcAmp_Brightness, &mn, &mx, &step, &def, &flags);
    hr = amp->Set(VideoProcAmp_Brightness, value, VideoProcAmp_Flags_Manual);
    hr = amp->Get(VideoProcAmp_Brightness, &value, &flags);
    hr = cam->GetRange(CameraControl_Focus, &mn, &mx, &step, &def, &flags);
    hr = cam->Set(CameraControl_Focus, value, CameraControl_Flags_Auto);
    hr = cam->Get(CameraControl_Focus, &value, &flags);
    ULONG misc_flags = misc->GetMiscFlags();
    (void)misc_flags;
    double rate = 0;
    LPOLESTR text = nullptr;
    HEVENT ev = 0;
    hr = tr->GetCapability(0, &value, &rate);
    hr = tr->put_MediaState(0);
    hr = tr->get_MediaState(&value);
    hr = tr->put_LocalControl(0);
    hr = tr->get_LocalControl(&value);
    hr = tr->GetStatus(0, &value);
    hr = tr->GetTransportBasicParameters(ED_TRANSBASIC_INPUT_SIGNAL, &value, nullptr);
    hr = tr->GetTransportBasicParameters(ED_TRANSBASIC_INPUT_SIGNAL, &value, &text);
    hr = tr->SetTransportBasicParameters(0, 0, nullptr);
    hr = tr->GetTransportVideoParameters(0, &value);
    hr = tr->SetTransportVideoParameters(0, 0);
    hr = tr->GetTransportAudioParameters(0, &value);
    hr = tr->SetTransportAudioParameters(0, 0);
    hr = tr->put_Mode(0);
    hr = tr->get_Mode(&value);
    hr = tr->put_Rate(1.0);
    hr = tr->get_Rate(&rate);
    hr = tr->GetChase(&value, &value, &ev);
    hr = tr->SetChase(0, 0, ev);
    hr = tr->GetBump(&value, &value);
    hr = tr->SetBump(0, 0);
    hr = tr->get_AntiClogControl(&value);
    hr = tr->put_AntiClogControl(0);
    hr = tr->GetEditPropertySet(0, &value);
    hr = tr->SetEditPropertySet(&value, 0);
    hr = tr->GetEditProperty(0, 0, &value);
    hr = tr->SetEditProperty(0, 0, 0);
    hr = tr->get_EditStart(&value);
    hr = tr->put_EditStart(0);
    int display = 0;
    hr = dv->get_IPDisplay(&display);
    hr = dv->put_IPDisplay(DVRESOLUTION_HALF);
    BOOL old_index = FALSE;
    hr = mux->SetMasterStream(1);
    hr = mux->GetMasterStream(&value);
    hr = mux->SetOutputCompatibilityIndex(TRUE);
    hr = mux->GetOutputCompatibilityIndex(&old_index);
    hr = sink->SetFileName(DSW("out.avi"), nullptr);
    AM_MEDIA_TYPE mt{};
    hr = sink->GetCurFile(&text, &mt);
    CAUUID ids{};
    hr = pages->GetPages(&ids);
    CoTaskMemFree(ids.pElems);
    return hr;
}

}  // namespace

// Referenced so the functions above count as used.
extern const void* const vor_windows_view[];
const void* const vor_windows_view[] = {
    guids,
    reinterpret_cast<const void*>(&guid_ops),
    reinterpret_cast<const void*>(&functions),
    reinterpret_cast<const void*>(&unknown),
    reinterpret_cast<const void*>(&devices),
    reinterpret_cast<const void*>(&filter),
    reinterpret_cast<const void*>(&streaming),
    reinterpret_cast<const void*>(&graph),
    reinterpret_cast<const void*>(&grabber),
    reinterpret_cast<const void*>(&controls),
};
