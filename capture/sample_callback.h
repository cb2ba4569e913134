// SampleGrabberCallback: the object the Sample Grabber calls for every
// sample, on the streaming thread. It hands the frame to the host side: a
// copy into the grabber's frame buffer, or for I420/YV12 a conversion to
// UYVY there, under the grabber's mutex. Its lifetime is its grabber's, so
// it is not reference counted.
#pragma once

#include "dshow_platform.h"

struct t_grabber;

struct SampleGrabberCallback : public ISampleGrabberCB {
    explicit SampleGrabberCallback(t_grabber* grabber) : owner(grabber) {}
    virtual ~SampleGrabberCallback() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE SampleCB(double sample_time, IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE BufferCB(double sample_time, BYTE* buffer, LONG length) override;

    t_grabber* owner;  // not owned
};

SampleGrabberCallback* sample_callback_new(t_grabber* owner);  // null on failure
void sample_callback_delete(SampleGrabberCallback* cb);
