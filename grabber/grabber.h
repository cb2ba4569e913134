// The grabber: the instance record of the inner class vor_grab_dx_imp.
//
// It holds every attribute value, the DirectShow graph of the open device,
// the frame buffer shared with the streaming thread, the matrices and
// converters that deliver frames, the texture object and the card back end
// handle. Everything else in the module names its fields as they are here.
#pragma once

#include <atomic>
#include <cstdint>

#include "hoxapi.h"
#include "vorlib.h"
#include "dshow_platform.h"

struct SampleGrabberCallback;

struct t_grabber {
    t_object ob;  // host header: first, kept by the runtime
    int32_t outdim[2];
    int32_t vdevice;
    int32_t snddevice;
    uint8_t adapt;
    uint8_t interp;
    uint8_t usesrcrect;
    uint8_t usedstrect;
    int32_t srcrect[4];
    int32_t dstrect[4];
    uint8_t write_video;
    uint8_t write_audio;
    t_symbol* write_name;
    int32_t writefailed;
    t_symbol* attached;
    IMediaControl* mediacontrol;
    IMediaEvent* mediaevent;
    IGraphBuilder* graph;
    ICaptureGraphBuilder2* builder;
    uint8_t suspended;
    char* framebuf;
    uint8_t state;
    int64_t frameinterval;
    void* framematrix;
    ISampleGrabber* samplegrabber;
    uint8_t clearflag;
    t_symbol* colormode;
    GUID subtype;
    uint8_t outchange;
    int32_t resolution[2];
    SampleGrabberCallback* callback;
    uint8_t unique;
    int32_t dropped;  // shared with the streaming thread: only through dropped_ref()
    uint8_t dropreport;
    int32_t format;
    void* convmatrix[2];
    void* uyvy2ayuv;
    void* ayuv2uyvy;
    uint8_t selfresize;
    uint8_t optimize;
    t_systhread_mutex mutex;
    void* texture;
    uint8_t output_texture;
    t_vor_bitmap* bitmap;
    t_bm_grab* cardgrabber;
    int32_t carddevice;
    int32_t framerate;
    t_symbol* uniqueid;
};

// `state` values.
enum : uint8_t {
    GRAB_CLOSED = 0,
    GRAB_OPEN = 1,       // open on DirectShow
    GRAB_RECORDING = 2,  // open on DirectShow, writing a file
    GRAB_CARD = 4,       // open on the card back end
};

// `outchange` values.
enum : uint8_t {
    OUTCHANGE_NONE = 0,
    OUTCHANGE_TO_UYVY = 1,
    OUTCHANGE_TO_ARGB = 2,
    OUTCHANGE_GEOMETRY = 3,  // output size, format, input or texture setting changed
};

// The sample counter is written by the streaming thread and read and reset by
// the host thread without the mutex.
inline std::atomic_ref<int32_t> dropped_ref(t_grabber* x) { return std::atomic_ref<int32_t>(x->dropped); }

// `outchange` is set from the streaming thread too (when the frame buffer is
// replaced), so every access goes through these.
inline void set_outchange(t_grabber* x, uint8_t v) { std::atomic_ref<uint8_t>(x->outchange).store(v); }
inline uint8_t outchange_of(t_grabber* x) { return std::atomic_ref<uint8_t>(x->outchange).load(); }

// `subtype` is read by the frame callback, under the mutex, while a graph
// runs; a change made while one may be running (a new colour mode) takes
// the mutex too. Graph builds, which run with the graph stopped, set it
// directly.
inline void set_subtype(t_grabber* x, const GUID& subtype) {
    systhread_mutex_lock(x->mutex);
    x->subtype = subtype;
    systhread_mutex_unlock(x->mutex);
}

// `outdim` and `resolution` follow the attached output matrix, whose
// notifications can come from the streaming thread (when the frame buffer
// is replaced) as well as from the host thread.
inline void set_output_size(t_grabber* x, int32_t w, int32_t h) {
    std::atomic_ref<int32_t>(x->outdim[0]).store(w);
    std::atomic_ref<int32_t>(x->outdim[1]).store(h);
    std::atomic_ref<int32_t>(x->resolution[0]).store(w);
    std::atomic_ref<int32_t>(x->resolution[1]).store(h);
}
inline int32_t outdim_of(t_grabber* x, int i) { return std::atomic_ref<int32_t>(x->outdim[i]).load(); }

// Constructor and destructor of the inner class.
t_grabber* grabber_new(long width, long height, long device);
void grabber_free(t_grabber* x);

// Sends `message atoms...` to every client attached to the grabber (its box).
void notify_client(t_grabber* x, t_symbol* message, long count, t_atom* atoms);

// The file-usage report (method "fileusage").
void grabber_fileusage(t_grabber* x, void* w);

// Typed-method reply: an atom array of `count` atoms stored into `rv`.
t_hox_err grabber_reply(t_atom* rv, long count, t_atom* atoms);
