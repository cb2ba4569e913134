// The host around the objects: console, outlets, the deferred queue, the
// wrapping-box table, mutexes, the main window and module loading.
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/hox_private.h"
#include "runtime/runtime.h"

struct t_outlet {
    void* owner;
    long index;
    bool dump;
    t_symbol* type;
};

struct t_systhread_mutex_rec {
    std::mutex m;
};

namespace {

struct Sinks {
    std::mutex lock;
    t_hox_console_fn console = nullptr;
    void* console_ctx = nullptr;
    t_hox_outlet_fn outlet = nullptr;
    void* outlet_ctx = nullptr;
};

Sinks& sinks() {
    static Sinks* s = new Sinks;
    return *s;
}

struct QueuedCall {
    void* self;
    const t_fn* fn;
    t_symbol* s;
    std::vector<t_atom> atoms;
};

// Calls run from `head` on; once all have run the vector is emptied but
// keeps its storage, so a steady flow of deferred calls (one per frame)
// allocates nothing once the queue has grown to its working size.
struct Queue {
    std::mutex lock;
    std::vector<QueuedCall> calls;
    std::size_t head = 0;
};

Queue& queue() {
    static Queue* q = new Queue;
    return *q;
}

struct Wrapping {
    std::mutex lock;
    std::unordered_map<void*, void*> box_of;
};

Wrapping& wrapping() {
    static Wrapping* w = new Wrapping;
    return *w;
}

std::string vformat(const char* fmt, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, static_cast<std::size_t>(n));
    std::string out(static_cast<std::size_t>(n), '\0');
    std::vsnprintf(out.data(), out.size() + 1, fmt, ap);
    return out;
}

bool main_window = true;
char main_window_token;

}  // namespace

namespace hox {

void console(void* object, t_hox_console_kind kind, const std::string& text) {
    t_hox_console_fn fn;
    void* ctx;
    {
        Sinks& s = sinks();
        std::lock_guard<std::mutex> g(s.lock);
        fn = s.console;
        ctx = s.console_ctx;
    }
    if (fn) {
        fn(ctx, object, kind, text.c_str());
        return;
    }
    t_symbol* cls = object_classname(object);
    std::fprintf(stderr, "%s %s: %s\n", cls ? cls->s_name : "host", kind == HOX_CONSOLE_ERROR ? "error" : "post",
                 text.c_str());
}

void release_outlets(ObjRuntime* rt) {
    for (t_outlet* o : rt->outlets) delete o;
    rt->outlets.clear();
}

void wrapping_forget(void* x) {
    Wrapping& w = wrapping();
    std::lock_guard<std::mutex> g(w.lock);
    w.box_of.erase(x);
    for (auto it = w.box_of.begin(); it != w.box_of.end();) {
        if (it->second == x)
            it = w.box_of.erase(it);
        else
            ++it;
    }
}

}  // namespace hox

// ---------------------------------------------------------------- console

void hox_console_v(void* x, t_hox_console_kind kind, const char* fmt, va_list ap) {
    if (!fmt) return;
    try {
        hox::console(x, kind, vformat(fmt, ap));
    } catch (...) {
    }
}

void object_post(void* x, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    hox_console_v(x, HOX_CONSOLE_POST, fmt, ap);
    va_end(ap);
}

void object_error(void* x, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    hox_console_v(x, HOX_CONSOLE_ERROR, fmt, ap);
    va_end(ap);
}

void hox_host_set_console(t_hox_console_fn fn, void* ctx) {
    Sinks& s = sinks();
    std::lock_guard<std::mutex> g(s.lock);
    s.console = fn;
    s.console_ctx = ctx;
}

// ---------------------------------------------------------------- outlets

t_outlet* outlet_new(void* owner, const char* type) {
    if (!owner) return nullptr;
    auto* rt = static_cast<hox::ObjRuntime*>(static_cast<t_object*>(owner)->o_runtime);
    if (!rt) return nullptr;
    try {
        auto* o = new t_outlet{owner, static_cast<long>(rt->outlets.size()), false, type ? gensym(type) : nullptr};
        rt->outlets.push_back(o);
        return o;
    } catch (...) {
        return nullptr;
    }
}

void* outlet_anything(t_outlet* o, t_symbol* s, long ac, t_atom* av) {
    if (!o) return nullptr;
    t_hox_outlet_fn fn;
    void* ctx;
    {
        Sinks& k = sinks();
        std::lock_guard<std::mutex> g(k.lock);
        fn = k.outlet;
        ctx = k.outlet_ctx;
    }
    if (fn) fn(ctx, o->owner, o->index, o->dump, s, ac, av);
    return nullptr;
}

void hox_host_set_outlet_sink(t_hox_outlet_fn fn, void* ctx) {
    Sinks& s = sinks();
    std::lock_guard<std::mutex> g(s.lock);
    s.outlet = fn;
    s.outlet_ctx = ctx;
}

void hox_host_outlet_set_dump(t_outlet* o) {
    if (o) o->dump = true;
}

// ---------------------------------------------------------------- wrapping

void* hox_host_wrapping_box(void* x) {
    if (!x) return nullptr;
    Wrapping& w = wrapping();
    std::lock_guard<std::mutex> g(w.lock);
    auto it = w.box_of.find(x);
    return it == w.box_of.end() ? nullptr : it->second;
}

void hox_host_set_wrapping_box(void* x, void* box) {
    if (!x) return;
    try {
        Wrapping& w = wrapping();
        std::lock_guard<std::mutex> g(w.lock);
        if (box)
            w.box_of[x] = box;
        else
            w.box_of.erase(x);
    } catch (...) {
    }
}

// ---------------------------------------------------------------- queue

long hox_host_run_queue() {
    long ran = 0;
    Queue& q = queue();
    for (;;) {
        QueuedCall call;
        {
            std::lock_guard<std::mutex> g(q.lock);
            if (q.head == q.calls.size()) {
                q.calls.clear();
                q.head = 0;
                break;
            }
            call = std::move(q.calls[q.head++]);
        }
        try {
            hox_fn_call(call.fn, call.self, call.s, static_cast<long>(call.atoms.size()),
                        call.atoms.empty() ? nullptr : call.atoms.data());
        } catch (...) {
        }
        ++ran;
    }
    return ran;
}

void hox_host_defer(void* self, const t_fn* fn, t_symbol* s, long ac, t_atom* av, bool usurp) {
    if (!fn || ac < 0 || (ac > 0 && !av)) return;
    try {
        std::vector<t_atom> atoms(av, av + ac);
        Queue& q = queue();
        std::lock_guard<std::mutex> g(q.lock);
        if (usurp) {
            for (std::size_t i = q.head; i < q.calls.size(); ++i) {
                QueuedCall& c = q.calls[i];
                if (c.self == self && c.s == s) {
                    c.fn = fn;
                    c.atoms = std::move(atoms);
                    return;
                }
            }
        }
        q.calls.push_back({self, fn, s, std::move(atoms)});
    } catch (...) {
    }
}

void hox_host_forget(void* self) {
    Queue& q = queue();
    std::lock_guard<std::mutex> g(q.lock);
    const auto waiting = q.calls.begin() + static_cast<std::ptrdiff_t>(q.head);
    q.calls.erase(std::remove_if(waiting, q.calls.end(), [self](const QueuedCall& c) { return c.self == self; }),
                  q.calls.end());
}

// ---------------------------------------------------------------- mutexes

long systhread_mutex_new(t_systhread_mutex* m, long) {
    if (!m) return 1;
    try {
        *m = new t_systhread_mutex_rec;
        return 0;
    } catch (...) {
        *m = nullptr;
        return 1;
    }
}

long systhread_mutex_lock(t_systhread_mutex m) {
    if (!m) return 1;
    try {
        m->m.lock();
    } catch (...) {
        return 1;
    }
    return 0;
}

long systhread_mutex_unlock(t_systhread_mutex m) {
    if (!m) return 1;
    m->m.unlock();
    return 0;
}

long systhread_mutex_free(t_systhread_mutex m) {
    delete m;
    return 0;
}

// ---------------------------------------------------------------- windows

void* main_get_frame() { return main_window ? &main_window_token : nullptr; }

void hox_host_set_main_window(bool present) { main_window = present; }

// ---------------------------------------------------------------- modules

int hox_host_load_module(const char* path, char* err, long errsize) {
    auto fail = [&](const std::string& why) {
        if (err && errsize > 0) std::snprintf(err, static_cast<std::size_t>(errsize), "%s", why.c_str());
        return 1;
    };
    if (!path) return fail("no module path");
    try {
#if defined(_WIN32)
        // The path is UTF-8; the module's own folder is searched for the
        // DLLs it imports, as a host loads its plug-ins.
        const int n = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
        if (n <= 0) return fail("cannot load module: bad path");
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, path, -1, wide.data(), n);
        HMODULE handle = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!handle) return fail("cannot load module: error " + std::to_string(GetLastError()));
        FARPROC entry = GetProcAddress(handle, "ext_main");
        if (!entry) {
            FreeLibrary(handle);
            return fail(std::string(path) + ": no ext_main");
        }
        // The module stays loaded for the life of the process.
        reinterpret_cast<void (*)()>(reinterpret_cast<void*>(entry))();
#else
        void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            return fail(why ? why : "cannot load module");
        }
        void* entry = dlsym(handle, "ext_main");
        if (!entry) {
            dlclose(handle);
            return fail(std::string(path) + ": no ext_main");
        }
        // The module stays loaded for the life of the process.
        reinterpret_cast<void (*)()>(entry)();
#endif
        return 0;
    } catch (...) {
        return fail("module entry failed");
    }
}
