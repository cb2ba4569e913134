// The classes CoCreateInstance can create. Each class registers itself from
// its own source file with a static ClassRegistration:
//
//   static const vorsim::ClassRegistration registration(
//       CLSID_NullRenderer, "NullRenderer", &vorsim::create_instance<NullRenderer>);
//
// The short name is what faults use ("CoCreateInstance:NullRenderer").
#pragma once

#include <new>
#include <string>

#include "com_object.h"

namespace vorsim {

// Creates a fresh object and hands it out as iid (the object is destroyed
// when it does not support iid).
using ClassCreator = HRESULT (*)(REFIID iid, void** ppv);

struct ClassEntry {
    CLSID clsid;
    std::string short_name;
    ClassCreator create;
};

// Registers (or replaces) a class.
void register_class(const CLSID& clsid, std::string short_name, ClassCreator create);
// Removes a class; later CoCreateInstance calls answer REGDB_E_CLASSNOTREG.
void unregister_class(const CLSID& clsid);
// A copy of the entry, or false when the class is not registered.
bool find_class(const CLSID& clsid, ClassEntry* out);

struct ClassRegistration {
    ClassRegistration(const CLSID& clsid, const char* short_name, ClassCreator create) {
        register_class(clsid, short_name, create);
    }
};

template <class T>
HRESULT create_instance(REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    try {
        ComPtr<T> object = make_com<T>();
        return object->QueryInterface(iid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace vorsim
