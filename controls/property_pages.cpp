// The device's own property pages (its driver dialog), for the video and
// the audio capture filter of the open graph. The dialog is modal; the
// graph is stopped while it is open.
#include "capture/com_holders.h"
#include "capture/graph.h"
#include "capture/messages.h"
#include "controls/controls.h"

namespace {

// Shows the filter's pages, owned by `window`; "no device property pages"
// when it has none to offer.
void show_pages(t_grabber* x, IBaseFilter* filter, void* window) {
    ComRef<ISpecifyPropertyPages> specify;
    if (FAILED(filter->QueryInterface(IID_ISpecifyPropertyPages, specify.put_void()))) {
        vor_object_error(x, "%s", msg::kNoPropertyPages);
        return;
    }
    CAUUID pages{};
    if (FAILED(specify->GetPages(&pages))) return;
    IUnknown* object = filter;
    OleCreatePropertyFrame(static_cast<HWND>(window), 30, 30, nullptr, 1, &object, pages.cElems, pages.pElems, 0, 0,
                           nullptr);
    CoTaskMemFree(pages.pElems);
}

// The named filter and the host's main window, when the device is open on
// DirectShow and both exist; "no hwnd" when the host has no window.
bool dialog_ready(t_grabber* x, const WCHAR* name, ComRef<IBaseFilter>& filter, void** window) {
    if ((x->state != GRAB_OPEN && x->state != GRAB_RECORDING) || !x->graph) return false;
    if (FAILED(x->graph->FindFilterByName(name, filter.put())) || !filter) return false;
    *window = main_get_frame();
    if (!*window) {
        vor_object_post(x, "%s", msg::kNoHwnd);
        return false;
    }
    return true;
}

}  // namespace

void grabber_settings(t_grabber* x) {
    ComRef<IBaseFilter> capture;
    void* window = nullptr;
    if (!dialog_ready(x, DSW("Video Capture"), capture, &window)) return;
    x->suspended = 1;
    if (x->mediacontrol) x->mediacontrol->Stop();
    graph_teardown(x, capture.get());
    show_pages(x, capture.get(), window);
    // A graph that cannot be built again keeps attribute changes from
    // trying to rebuild it.
    if (SUCCEEDED(graph_build(x, capture.get()))) x->suspended = 0;
}

void grabber_snd_settings(t_grabber* x) {
    ComRef<IBaseFilter> audio;
    void* window = nullptr;
    if (!dialog_ready(x, DSW("Audio Capture"), audio, &window)) return;
    x->suspended = 1;
    if (x->mediacontrol) x->mediacontrol->Stop();
    show_pages(x, audio.get(), window);
    x->suspended = 0;
}
