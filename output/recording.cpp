// Recording to an AVI file through the capture graph builder's AVI mux.
#include <cstdint>
#include <cstring>

#include "capture/com_holders.h"
#include "capture/graph.h"
#include "capture/messages.h"
#include "controls/controls.h"
#include "module/module.h"
#include "output/recording.h"

namespace {

constexpr uint32_t kVfwType = 0x56665720;  // 'VfW ': the save dialog's one file type
constexpr float kDefaultRate = 30.0f;

// Copies `name` and ".avi" into `buffer` (MAX_PATH_CHARS bytes); false when
// they do not fit, rather than cut the name short.
bool name_with_avi(const char* name, char* buffer) {
    static constexpr char kSuffix[] = ".avi";
    const size_t len = std::strlen(name);
    if (len + sizeof kSuffix > static_cast<size_t>(MAX_PATH_CHARS)) return false;
    std::memcpy(buffer, name, len);
    std::memcpy(buffer + len, kSuffix, sizeof kSuffix);
    return true;
}

// The file's full path and system name, from the name given or the save
// dialog. The index of the frame-rate argument on success, -1 on failure.
long choose_file(t_grabber* x, long ac, t_atom* av, char* name, char* fullpath) {
    t_symbol* given = nullptr;
    vor_atom_arg_getsym(&given, 0, ac, av);
    short path = 0;
    long rate_arg = 0;
    if (given) {
        if (!name_with_avi(given->s_name, name)) {
            vor_object_error(x, "%s", msg::kNoConformName);
            return -1;
        }
        path = path_getdefault();
        rate_arg = 1;
    } else {
        std::strcpy(name, "default.avi");
        uint32_t type = kVfwType;
        if (saveasdialog_extended(name, &path, &type, &kVfwType, 1) != 0) return -1;
    }
    if (path_topotentialname(path, name, fullpath, 0) != 0) {
        vor_object_error(x, "%s", msg::kNoConformName);
        return -1;
    }
    x->write_name = gensym(fullpath);
    if (path_nameconform(fullpath, name, 1, 1) != 0) {
        vor_object_error(x, "%s", msg::kNoConformName);
        return -1;
    }
    return rate_arg;
}

// The frame interval for `rate` frames a second, in 100-ns units: the whole
// part of 10^7 / rate, as an int. A rate so slow that the interval does not
// fit an int (or overflows the float) asks for the longest one that does.
int64_t interval_for(float rate) {
    const float units = 10000000.0f / rate;
    if (!(units < 2147483648.0f)) return INT32_MAX;
    return static_cast<int64_t>(units);
}

// The frame interval asked of the capture pin for the recording; the
// interval in force before is kept for the preview that follows.
void set_recording_rate(t_grabber* x, IBaseFilter* capture, float rate) {
    int64_t interval = interval_for(rate);
    if (framerate_apply(x, capture, &interval) == S_OK)
        x->frameinterval = interval;
    else
        vor_object_error(x, "%s", msg::kNoFrameRate);
}

// The audio capture stream into the mux, as its master stream.
void add_audio(t_grabber* x, IBaseFilter* mux) {
    ComRef<IBaseFilter> audio;
    if (FAILED(x->graph->FindFilterByName(DSW("Audio Capture"), audio.put())) || !audio) {
        vor_object_error(x, "%s", msg::kNoAudioFilter);
        return;
    }
    if (FAILED(x->builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, audio.get(), nullptr, mux))) {
        vor_object_error(x, "%s", msg::kNoRenderAudio);
        return;
    }
    ComRef<IConfigAviMux> config;
    if (SUCCEEDED(mux->QueryInterface(IID_IConfigAviMux, config.put_void()))) config->SetMasterStream(1);
}

// The streams into the mux, the rate, and Run; false on a failure
// (reported).
bool run_recording(t_grabber* x, IBaseFilter* capture, IBaseFilter* mux, float rate) {
    if (x->builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, capture, nullptr, mux) == S_OK) {
        x->state = GRAB_RECORDING;
    } else {
        if (FAILED(x->builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, capture, nullptr, mux))) {
            vor_object_error(x, "%s", msg::kNoRenderStream);
            return false;
        }
        x->state = GRAB_RECORDING;
        if (x->write_audio == 1) add_audio(x, mux);
    }
    set_recording_rate(x, capture, rate);
    if (!x->mediacontrol) return false;
    if (FAILED(x->graph->SetDefaultSyncSource())) {
        vor_object_error(x, "%s", msg::kNoSyncSource);
        return false;
    }
    if (FAILED(x->mediacontrol->Run())) {
        vor_object_error(x, "%s", msg::kNoRunGraph);
        return false;
    }
    return true;
}

// Everything after the file is chosen; false on a failure (reported).
bool start_recording(t_grabber* x, IBaseFilter* capture, const char* name, float rate) {
    t_unichar* wide = charset_utf8tounicode(name, nullptr);
    graph_teardown(x, capture);
    ComRef<IBaseFilter> mux;
    HRESULT hr = E_FAIL;
    if (wide) {
        hr = x->builder->SetOutputFileName(&MEDIASUBTYPE_Avi, reinterpret_cast<const WCHAR*>(wide), mux.put(),
                                           nullptr);
        sysmem_freeptr(wide);
    }
    if (FAILED(hr) || !mux) {
        vor_object_error(x, "%s", msg::kNoOutputFile);
        return false;
    }
    if (run_recording(x, capture, mux.get(), rate)) return true;
    // A start that failed leaves no mux or file writer in the graph: the
    // preview built after it must not write anything.
    graph_teardown(x, mux.get());
    x->graph->RemoveFilter(mux.get());
    return false;
}

}  // namespace

t_hox_err grabber_write(t_grabber* x, t_symbol*, long ac, t_atom* av, t_atom* rv) {
    if (x->state == GRAB_RECORDING) return HOX_EROR;
    x->write_name = _vor_sym__none_;
    t_atom reply;
    atom_setlong(&reply, 1);
    if (!x->graph) return grabber_reply(rv, 1, &reply);

    char name[MAX_PATH_CHARS];
    char fullpath[MAX_PATH_CHARS];
    bool ok = false;
    const long rate_arg = choose_file(x, ac, av, name, fullpath);
    ComRef<IBaseFilter> capture;
    if (rate_arg >= 0) {
        float rate = kDefaultRate;
        vor_atom_arg_getfloat(&rate, rate_arg, ac, av);
        if (!(rate > 0)) rate = kDefaultRate;
        if (FAILED(x->graph->FindFilterByName(DSW("Video Capture"), capture.put())) || !capture)
            vor_object_error(x, "%s", msg::kNoFindCapture);
        else
            ok = start_recording(x, capture.get(), name, rate);
    }
    if (ok) {
        x->writefailed = 0;
        return grabber_reply(rv, 1, &reply);
    }
    capture.reset();
    x->state = GRAB_RECORDING;
    x->writefailed = 1;
    grabber_stop(x);
    atom_setlong(&reply, 0);
    return grabber_reply(rv, 1, &reply);
}

void grabber_stop(t_grabber* x) {
    if (x->state != GRAB_RECORDING || !x->graph) return;
    if (x->mediacontrol) x->mediacontrol->Stop();
    x->state = GRAB_CLOSED;
    ComRef<IBaseFilter> capture;
    if (SUCCEEDED(x->graph->FindFilterByName(DSW("Video Capture"), capture.put())) && capture) {
        graph_teardown(x, capture.get());
        ComRef<IBaseFilter> audio;
        if (SUCCEEDED(x->graph->FindFilterByName(DSW("Audio Capture"), audio.put())) && audio)
            graph_teardown(x, audio.get());
        graph_build(x, capture.get());
    }
    t_atom a[2];
    atom_setsym(&a[0], x->write_name);
    atom_setlong(&a[1], x->writefailed == 0 ? 1 : 0);
    x->writefailed = 0;
    notify_client(x, g_module.write, 2, a);
}
