// Stand-ins for the platform's objects in the frame-path tests: a media
// sample that only has its bytes, and a Sample Grabber that answers the
// connected type the test chooses.
#pragma once

#include <cstdint>
#include <vector>

#include "capture/sample_callback.h"

// A sample that only has its bytes.
class BytesSample final : public IMediaSample {
public:
    explicit BytesSample(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // on the test's stack
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** p) override {
        *p = bytes_.data();
        return S_OK;
    }
    LONG STDMETHODCALLTYPE GetSize() override { return static_cast<LONG>(bytes_.size()); }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsPreroll() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL) override { return E_NOTIMPL; }
    LONG STDMETHODCALLTYPE GetActualDataLength() override { return GetSize(); }
    HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }

    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Answers a VideoInfo type of the chosen subtype and size, and the size of
// the last sample as the current buffer's.
class StandInGrabber final : public ISampleGrabber {
public:
    GUID subtype = MEDIASUBTYPE_RGB32;
    int32_t width = 0, height = 0;
    LONG buffer = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SetOneShot(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE* mt) override {
        *mt = AM_MEDIA_TYPE{};
        mt->majortype = MEDIATYPE_Video;
        mt->subtype = subtype;
        mt->formattype = FORMAT_VideoInfo;
        auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
        if (!vih) return E_OUTOFMEMORY;
        *vih = VIDEOINFOHEADER{};
        vih->bmiHeader.biWidth = width;
        vih->bmiHeader.biHeight = height;
        mt->cbFormat = sizeof(VIDEOINFOHEADER);
        mt->pbFormat = reinterpret_cast<BYTE*>(vih);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentBuffer(LONG* size, LONG* data) override {
        if (data) return E_NOTIMPL;
        *size = buffer;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentSample(IMediaSample**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetCallback(ISampleGrabberCB*, LONG) override { return S_OK; }
};
