// Named objects and their clients. Streaming threads notify too, so the
// table has a lock; it is never held while a client is called.
#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "runtime/hox_private.h"
#include "runtime/runtime.h"

namespace {

struct Entry {
    void* object = nullptr;
    std::vector<void*> clients;
};

struct Registry {
    std::mutex lock;
    std::unordered_map<t_symbol*, Entry> by_name;
    std::unordered_map<void*, t_symbol*> name_of;
};

Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

// Drops a name's entry once nothing refers to it. Caller holds the lock.
void prune(Registry& r, t_symbol* name) {
    auto it = r.by_name.find(name);
    if (it != r.by_name.end() && !it->second.object && it->second.clients.empty()) r.by_name.erase(it);
}

}  // namespace

namespace hox {

void registry_object_freed(void* x) {
    if (!hox_registry_name(x)) return;
    hox_registry_notify(x, gensym("free"), nullptr);
    hox_registry_unregister(x);
}

}  // namespace hox

void* hox_registry_register(void* x, t_symbol* name) {
    if (!x || !name) return nullptr;
    try {
        Registry& r = registry();
        std::lock_guard<std::mutex> g(r.lock);
        Entry& e = r.by_name[name];
        if (e.object) return e.object;
        // An object has one name: registering again moves it.
        auto old = r.name_of.find(x);
        if (old != r.name_of.end()) {
            r.by_name[old->second].object = nullptr;
            t_symbol* old_name = old->second;
            r.name_of.erase(old);
            prune(r, old_name);
        }
        r.by_name[name].object = x;
        r.name_of[x] = name;
        return x;
    } catch (...) {
        return nullptr;
    }
}

void* hox_registry_find(t_symbol* name) {
    if (!name) return nullptr;
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.by_name.find(name);
    return it == r.by_name.end() ? nullptr : it->second.object;
}

t_symbol* hox_registry_name(void* x) {
    if (!x) return nullptr;
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.name_of.find(x);
    return it == r.name_of.end() ? nullptr : it->second;
}

t_hox_err hox_registry_unregister(void* x) {
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.name_of.find(x);
    if (it == r.name_of.end()) return HOX_EROR;
    t_symbol* name = it->second;
    r.name_of.erase(it);
    // Clients stay attached to the name: an object registered there later
    // reaches them.
    r.by_name[name].object = nullptr;
    prune(r, name);
    return HOX_ERR_NONE;
}

void* hox_registry_attach(t_symbol* name, void* client) {
    if (!name || !client) return nullptr;
    try {
        Registry& r = registry();
        std::lock_guard<std::mutex> g(r.lock);
        Entry& e = r.by_name[name];
        if (std::find(e.clients.begin(), e.clients.end(), client) == e.clients.end()) e.clients.push_back(client);
        return e.object;
    } catch (...) {
        return nullptr;
    }
}

t_hox_err hox_registry_detach(t_symbol* name, void* client) {
    if (!name) return HOX_EROR;
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.by_name.find(name);
    if (it == r.by_name.end()) return HOX_EROR;
    auto& clients = it->second.clients;
    auto c = std::find(clients.begin(), clients.end(), client);
    if (c == clients.end()) return HOX_EROR;
    clients.erase(c);
    prune(r, name);
    return HOX_ERR_NONE;
}

t_hox_err hox_registry_notify(void* x, t_symbol* message, void* data) {
    if (!x) return HOX_EROR;
    t_symbol* name = nullptr;
    std::vector<void*> clients;
    try {
        Registry& r = registry();
        std::lock_guard<std::mutex> g(r.lock);
        auto n = r.name_of.find(x);
        if (n == r.name_of.end()) return HOX_EROR;
        name = n->second;
        clients = r.by_name[name].clients;
    } catch (...) {
        return HOX_OMEM;
    }
    // Clients may detach (and go away) while others are being notified: each
    // one is called only while it is still attached.
    t_symbol* notify = gensym("notify");
    for (void* client : clients) {
        bool attached;
        {
            Registry& r = registry();
            std::lock_guard<std::mutex> g(r.lock);
            auto it = r.by_name.find(name);
            attached = it != r.by_name.end() &&
                       std::find(it->second.clients.begin(), it->second.clients.end(), client) !=
                           it->second.clients.end();
        }
        if (attached) object_method(client, notify, name, message, x, data);
    }
    return HOX_ERR_NONE;
}
