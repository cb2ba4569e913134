// Stand-ins for the platform's objects on the frame path, shared by the
// frame-path tests, the callback benchmark and the frame fuzzer: media
// samples that only have their bytes, and a Sample Grabber that answers the
// connected type its user chooses. None is reference counted: they live on
// their user's stack.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "capture/sample_callback.h"

// A sample over bytes its user keeps. What the frame callback asks of a
// sample answers as a platform sample would; GetPointer fails when
// `pointer_fails` is set, as for a sample whose buffer is gone.
class ViewSample : public IMediaSample {
public:
    ViewSample() = default;
    ViewSample(BYTE* data, LONG size) : data_(data), size_(size) {}
    ViewSample(const ViewSample&) = delete;
    ViewSample& operator=(const ViewSample&) = delete;
    virtual ~ViewSample() = default;

    void set(BYTE* data, LONG size) {
        data_ = data;
        size_ = size;
    }
    bool pointer_fails = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IMediaSample) {
            *ppv = static_cast<IMediaSample*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** p) override {
        if (!p) return E_POINTER;
        if (pointer_fails) return E_FAIL;
        *p = data_;
        return S_OK;
    }
    LONG STDMETHODCALLTYPE GetSize() override { return size_; }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return VFW_E_SAMPLE_TIME_NOT_SET; }
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsPreroll() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL) override { return S_OK; }
    LONG STDMETHODCALLTYPE GetActualDataLength() override { return size_; }
    HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** mt) override {
        if (!mt) return E_POINTER;
        *mt = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_MEDIA_TIME_NOT_SET; }
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG*, LONGLONG*) override { return S_OK; }

private:
    BYTE* data_ = nullptr;
    LONG size_ = 0;
};

// A sample that keeps its own bytes.
class BytesSample final : public ViewSample {
public:
    explicit BytesSample(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
        set(bytes_.data(), static_cast<LONG>(bytes_.size()));
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// Answers a video type of the chosen subtype, format and size (a format
// block of exactly `format_size` bytes, none for 0, so that a read past
// cbFormat is caught), and `buffer` as the current buffer's size.
class StandInGrabber final : public ISampleGrabber {
public:
    GUID subtype = MEDIASUBTYPE_RGB32;
    GUID formattype = FORMAT_VideoInfo;
    uint32_t format_size = sizeof(VIDEOINFOHEADER);
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
        mt->formattype = formattype;
        if (format_size == 0) return S_OK;
        VIDEOINFOHEADER vih{};
        vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vih.bmiHeader.biWidth = width;
        vih.bmiHeader.biHeight = height;
        auto* block = static_cast<BYTE*>(CoTaskMemAlloc(format_size));
        if (!block) return E_OUTOFMEMORY;
        std::memset(block, 0, format_size);
        std::memcpy(block, &vih, std::min<size_t>(format_size, sizeof vih));
        mt->cbFormat = format_size;
        mt->pbFormat = block;
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
