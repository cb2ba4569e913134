#include "capture/enumerate.h"

#include <string>

#include "capture/com_holders.h"
#include "capture/device_id.h"
#include "capture/graph.h"
#include "capture/messages.h"
#include "grabber/attributes.h"
#include "module/module.h"

namespace {

// The system device enumerator's monikers of a category. `created` is the
// result of creating the enumerator, `listed` that of asking it for the
// category; `monikers` is set only when the category answered S_OK.
struct Category {
    HRESULT created = E_FAIL;
    HRESULT listed = E_FAIL;
    ComRef<IEnumMoniker> monikers;
};

Category open_category(REFCLSID category, DWORD context) {
    Category c;
    ComRef<ICreateDevEnum> devenum;
    c.created = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, context, IID_ICreateDevEnum, devenum.put_void());
    if (FAILED(c.created)) return c;
    c.listed = devenum->CreateClassEnumerator(category, c.monikers.put(), 0);
    // S_FALSE is an empty category: no enumerator to use.
    if (c.listed != S_OK) c.monikers.reset();
    return c;
}

ComRef<IPropertyBag> bind_bag(IMoniker* moniker) {
    ComRef<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void()))) bag.reset();
    return bag;
}

// A text property of a bag, as UTF-8 through the host's conversion; false
// when it cannot be read or converted.
bool read_text(IPropertyBag* bag, const WCHAR* name, std::string& out) {
    VariantHolder v;
    if (FAILED(bag->Read(name, v.get(), nullptr)) || (*v).vt != VT_BSTR) return false;
    char* text = charset_unicodetoutf8((*v).bstrVal, -1, nullptr);
    if (!text) return false;
    out = text;
    sysmem_freeptr(text);
    return true;
}

// "Description", or "FriendlyName" when it has none.
bool read_name(IPropertyBag* bag, std::string& out) {
    return read_text(bag, DSW("Description"), out) || read_text(bag, DSW("FriendlyName"), out);
}

long card_count(t_grabber* x) { return x->cardgrabber ? bm_grab_getDeviceCount(x->cardgrabber) : 0; }

// DirectShow devices that getvdevlist lists: a bag that binds and names it.
long count_named(IEnumMoniker* monikers) {
    long d = 0;
    ComRef<IMoniker> m;
    while (monikers->Next(1, m.put(), nullptr) == S_OK) {
        ComRef<IPropertyBag> bag = bind_bag(m.get());
        std::string name;
        if (bag && read_name(bag.get(), name)) ++d;
    }
    return d;
}

void set_uniqueid(t_grabber* x, t_symbol* id) {
    x->uniqueid = id;
    vor_attr_user_touch(x, gensym("uniqueid"));
}

void reopen_if_open(t_grabber* x) {
    if (x->state != GRAB_CLOSED) grabber_reopen(x);
}

}  // namespace

t_hox_err grabber_getvdevlist(t_grabber* x, t_symbol*, long, t_atom*, t_atom* rv) {
    const long k = card_count(x);
    Category video = open_category(CLSID_VideoInputDeviceCategory, CLSCTX_INPROC_SERVER);
    const long d = video.monikers ? count_named(video.monikers.get()) : 0;
    if (k + d == 0) {
        vor_object_error(x, "%s", msg::kNoDevices);
        return HOX_EROR;
    }
    const long room = static_cast<long>(sizeof(t_atom)) * (k + d);
    auto* atoms = static_cast<t_atom*>(vor_getbytes(room));
    if (!atoms) return HOX_OMEM;

    // A device plugged in since the count may make the second walk longer:
    // it fills at most the d places counted, leaving the cards theirs.
    long filled = 0;
    if (d > 0) {
        video.monikers->Reset();
        ComRef<IMoniker> m;
        while (filled < d && video.monikers->Next(1, m.put(), nullptr) == S_OK) {
            ComRef<IPropertyBag> bag = bind_bag(m.get());
            std::string name;
            if (bag && read_name(bag.get(), name)) atom_setsym(&atoms[filled++], gensym(name.c_str()));
        }
    }
    for (long j = 0; j < k; ++j)
        if (bm_grab_getDeviceName(x->cardgrabber, j, &atoms[filled]) == HOX_ERR_NONE) ++filled;

    const t_hox_err err = grabber_reply(rv, filled, atoms);
    vor_freebytes(atoms, room);
    return err;
}

t_hox_err vdevice_set(t_grabber* x, void*, long ac, t_atom* av) {
    if (ac < 1 || !av) return HOX_ERR_NONE;
    const long v = atom_int32(av);
    if (x->state == GRAB_RECORDING) {
        vor_object_error(x, "%s", msg::kSwitchWhileWriting);
        return HOX_ERR_NONE;
    }
    Category video = open_category(CLSID_VideoInputDeviceCategory, CLSCTX_INPROC_SERVER);
    if (FAILED(video.created)) {
        vor_object_error(x, "%s", msg::kNoDevices);
        return HOX_ERR_NONE;
    }
    if (!video.monikers) {
        vor_object_error(x, "%s", msg::kNoVideoDevices);
        return HOX_ERR_NONE;
    }

    long d = 0;
    ComRef<IMoniker> m;
    while (video.monikers->Next(1, m.put(), nullptr) == S_OK) {
        ComRef<IPropertyBag> bag = bind_bag(m.get());
        if (!bag) continue;
        if (d++ != v) continue;
        std::string path;
        if (read_text(bag.get(), DSW("DevicePath"), path)) set_uniqueid(x, gensym(device_identifier(path).c_str()));
        bag.reset();
        m.reset();
        video.monikers.reset();
        x->vdevice = static_cast<int32_t>(v);
        x->carddevice = -1;
        reopen_if_open(x);
        return HOX_ERR_NONE;
    }

    if (x->cardgrabber && v >= d && v - d < card_count(x)) {
        x->vdevice = static_cast<int32_t>(v);
        x->carddevice = static_cast<int32_t>(v - d);
        t_atom id{};
        bm_grab_getDeviceID(x->cardgrabber, x->carddevice, &id);
        set_uniqueid(x, atom_getsym(&id));
        reopen_if_open(x);
    }
    return HOX_ERR_NONE;
}

HRESULT device_lookup(t_grabber* x, IBaseFilter** filter) {
    if (!filter) return E_POINTER;
    *filter = nullptr;
    if (!x->graph) return E_FAIL;
    Category video = open_category(CLSID_VideoInputDeviceCategory, CLSCTX_INPROC);
    if (FAILED(video.created)) {
        vor_object_error(x, "%s", msg::kNoSystemDevices);
        return video.created;
    }
    if (FAILED(video.listed)) {
        vor_object_error(x, "%s", msg::kNoVideoDevices);
        return video.listed;
    }
    if (!video.monikers) {
        vor_object_error(x, "%s", msg::kNoVideoDevices);
        return E_FAIL;
    }
    HRESULT bind = E_FAIL;
    long index = 0;
    ComRef<IMoniker> m;
    while (video.monikers->Next(1, m.put(), nullptr) == S_OK) {
        if (index++ != x->vdevice) continue;
        bind = m->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
        if (FAILED(bind)) {
            *filter = nullptr;
            vor_object_error(x, "%s", msg::kBindFailed);
        }
        break;
    }
    if (!*filter) {
        vor_object_error(x, "%s", msg::kNoCaptureDevice);
        return FAILED(bind) ? bind : E_FAIL;
    }
    return S_OK;
}

long lookup_by_identifier(t_symbol* id) {
    Category video = open_category(CLSID_VideoInputDeviceCategory, CLSCTX_INPROC_SERVER);
    if (!video.monikers) return -1;
    long index = 0;
    ComRef<IMoniker> m;
    while (video.monikers->Next(1, m.put(), nullptr) == S_OK) {
        ComRef<IPropertyBag> bag = bind_bag(m.get());
        if (!bag) continue;
        std::string path;
        if (read_text(bag.get(), DSW("DevicePath"), path) && gensym(device_identifier(path).c_str()) == id)
            return index;
        ++index;
    }
    return -1;
}

t_hox_err uniqueid_get(t_grabber* x, void*, long* ac, t_atom** av) {
    // A fresh grabber learns its identifier by selecting its device once.
    if (x->uniqueid == _vor_sym_nothing) vor_attr_setlong(x, gensym("vdevice"), x->vdevice);
    if (t_hox_err err = getter_atoms(ac, av, 1)) return err;
    atom_setsym(*av, x->uniqueid);
    return HOX_ERR_NONE;
}

t_hox_err uniqueid_set(t_grabber* x, void*, long ac, t_atom* av) {
    if (ac < 1 || !av) return HOX_ERR_NONE;
    t_symbol* s = atom_getsym(av);
    long index;
    if (x->cardgrabber && is_card_identifier(s->s_name)) {
        index = bm_grab_getDeviceIndexForID(x->cardgrabber, s);
        if (index >= 0) {
            Category video = open_category(CLSID_VideoInputDeviceCategory, CLSCTX_INPROC_SERVER);
            if (video.monikers) index += count_named(video.monikers.get());
        }
    } else {
        index = lookup_by_identifier(s);
    }
    if (index < 0) {
        vor_object_error(x, msg::kUnknownUniqueId, s->s_name);
        index = 0;
    }
    vor_attr_setlong(x, gensym("vdevice"), index);
    return HOX_ERR_NONE;
}
