// The grabber's constructor and destructor, its route for messages to its
// box, the file-usage report and the typed-method reply.
#include "grabber/grabber.h"

#include "capture/graph.h"
#include "capture/sample_callback.h"
#include "module/module.h"

t_grabber* grabber_new(long width, long height, long device) {
    auto* x = static_cast<t_grabber*>(vor_object_alloc(g_module.grabber_class));
    if (!x) return nullptr;

    const int32_t w = width >= 1 ? static_cast<int32_t>(width) : 320;
    const int32_t h = height >= 1 ? static_cast<int32_t>(height) : 240;

    x->adapt = (width == 0 && height == 0) ? 1 : 0;
    x->vdevice = static_cast<int32_t>(device);
    x->outdim[0] = w;
    x->outdim[1] = h;
    x->snddevice = 0;
    x->resolution[0] = w;
    x->resolution[1] = h;
    x->srcrect[0] = x->dstrect[0] = 0;
    x->srcrect[1] = x->dstrect[1] = 0;
    x->srcrect[2] = x->dstrect[2] = w;
    x->srcrect[3] = x->dstrect[3] = h;
    x->interp = x->usesrcrect = x->usedstrect = 0;

    x->write_video = 1;
    x->write_audio = 0;
    x->write_name = _vor_sym_nothing;
    x->attached = _vor_sym_nothing;

    x->mediacontrol = nullptr;
    x->mediaevent = nullptr;
    x->graph = nullptr;
    x->builder = nullptr;
    x->state = GRAB_CLOSED;
    x->suspended = 1;
    x->framebuf = sysmem_newptr(1);
    x->frameinterval = 0;
    x->samplegrabber = nullptr;

    x->colormode = g_module.argb;
    x->subtype = MEDIASUBTYPE_RGB32;
    set_outchange(x, OUTCHANGE_NONE);

    x->callback = sample_callback_new(x);

    x->unique = 0;
    dropped_ref(x).store(0);
    x->dropreport = 0;
    x->format = -1;

    // The frame matrix never owns data: it is pointed at the frame buffer
    // when a frame is delivered.
    x->framematrix = vor_object_new(_vor_sym_vor_matrix, nullptr);
    if (x->framematrix) {
        t_vor_matrix_info info{};
        vor_object_method(x->framematrix, _vor_sym_getinfo, &info);
        vor_object_method(x->framematrix, g_module.freedata);
        info.size = 0;
        info.flags = VOR_MATRIX_DATA_REFERENCE;
        vor_object_method(x->framematrix, _vor_sym_setinfo_ex, &info);
        vor_object_method(x->framematrix, _vor_sym_data, nullptr);
    } else {
        vor_object_error(x, "error building matrix");
    }

    x->clearflag = 0;

    t_vor_matrix_info info;
    vor_matrix_info_default(&info);
    x->convmatrix[0] = vor_object_new(_vor_sym_vor_matrix, &info);
    x->convmatrix[1] = vor_object_new(_vor_sym_vor_matrix, &info);

    x->uyvy2ayuv = vor_object_new(gensym("vor_uyvy2ayuv"), nullptr);
    x->ayuv2uyvy = vor_object_new(gensym("vor_ayuv2uyvy"), nullptr);

    x->selfresize = 0;
    x->optimize = 0;

    systhread_mutex_new(&x->mutex, 0);

    x->texture = vor_object_new(gensym("vor_gl_video_texture"), x);

    x->bitmap = nullptr;
    x->cardgrabber = bm_grab_new(x);
    x->carddevice = -1;
    x->framerate = 0;
    x->uniqueid = _vor_sym_nothing;
    return x;
}

void grabber_free(t_grabber* x) {
    grabber_close(x);
    if (x->framebuf) sysmem_freeptr(x->framebuf);
    x->framebuf = nullptr;
    if (x->framematrix) vor_object_free(x->framematrix);
    sample_callback_delete(x->callback);
    x->callback = nullptr;
    if (x->attached != _vor_sym_nothing) vor_object_detach(x->attached, x);
    vor_object_free(x->convmatrix[0]);
    vor_object_free(x->convmatrix[1]);
    vor_object_free(x->uyvy2ayuv);
    vor_object_free(x->ayuv2uyvy);
    systhread_mutex_free(x->mutex);
    vor_object_free(x->texture);
    if (x->cardgrabber) bm_grab_free(x->cardgrabber);
    // The bitmap only ever points at the frame buffer; its record is ours.
    if (x->bitmap) vor_bitmap_free(x->bitmap);
    x->bitmap = nullptr;
}

void notify_client(t_grabber* x, t_symbol* message, long count, t_atom* atoms) {
    if (count == 0 || !atoms) {
        vor_object_notify(x, message, nullptr);
        return;
    }
    auto* list = reinterpret_cast<t_atom*>(sysmem_newptr(static_cast<long>(sizeof(t_atom)) * (count + 1)));
    if (!list) return;
    vor_atom_setsym(&list[0], message);
    sysmem_copyptr(atoms, list + 1, static_cast<long>(sizeof(t_atom)) * count);
    void* array = object_new(g_module.nobox, g_module.atomarray, count + 1, list);
    vor_object_notify(x, g_module.typedmess, array);
    freeobject(array);
    sysmem_freeptr(list);
}

void grabber_fileusage(t_grabber*, void* w) {
    t_atomarray* subfolders = atomarray_new(0, nullptr);
    if (subfolders) {
        for (const char* name : {"extensions", "externals", "support"}) {
            t_atom a;
            atom_setsym(&a, gensym(name));
            atomarray_appendatom(subfolders, &a);
        }
    }
    fileusage_addpackage(w, "ZUNDRA", subfolders);
    fileusage_addfilename(w, 0, "vor.dx.grab");
}

t_hox_err grabber_reply(t_atom* rv, long count, t_atom* atoms) {
    void* array = object_new(g_module.nobox, g_module.atomarray, count, atoms);
    if (!array) return HOX_OMEM;
    atom_setobj(rv, array);
    return HOX_ERR_NONE;
}
