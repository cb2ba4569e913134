// COM conformance checks shared by the platform tests: reference counts,
// QueryInterface identity and interface support.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>

#include "com_object.h"

namespace vorsim_test {

// The object's current count, read through AddRef/Release (our objects
// return the real count).
inline ULONG ref_count(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

// The object's IUnknown identity (not AddRef'd).
inline IUnknown* identity_of(IUnknown* object) {
    IUnknown* unk = nullptr;
    if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk))) || unk == nullptr)
        return nullptr;
    unk->Release();
    return unk;
}

// Every iid in `supported` is answered with an AddRef'd pointer whose
// IUnknown is the object's; every iid in `unsupported` gives E_NOINTERFACE
// and a null pointer; a null out-pointer gives E_POINTER; the count is
// unchanged afterwards.
inline void expect_interfaces(IUnknown* object, std::initializer_list<const IID*> supported,
                              std::initializer_list<const IID*> unsupported) {
    const ULONG before = ref_count(object);
    IUnknown* identity = identity_of(object);
    ASSERT_NE(identity, nullptr);
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    int index = 0;
    for (const IID* iid : supported) {
        SCOPED_TRACE(testing::Message() << "supported interface #" << index++);
        void* p = nullptr;
        ASSERT_EQ(object->QueryInterface(*iid, &p), S_OK);
        ASSERT_NE(p, nullptr);
        auto* unk = static_cast<IUnknown*>(p);
        EXPECT_EQ(ref_count(object), before + 1) << "QueryInterface must AddRef";
        EXPECT_EQ(identity_of(unk), identity) << "QI for IUnknown must give the same pointer";
        void* back = nullptr;
        EXPECT_EQ(unk->QueryInterface(*iid, &back), S_OK);
        EXPECT_EQ(back, p);
        if (back != nullptr) static_cast<IUnknown*>(back)->Release();
        unk->Release();
    }
    index = 0;
    for (const IID* iid : unsupported) {
        SCOPED_TRACE(testing::Message() << "unsupported interface #" << index++);
        void* p = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(object->QueryInterface(*iid, &p), E_NOINTERFACE);
        EXPECT_EQ(p, nullptr);
    }
    EXPECT_EQ(ref_count(object), before);
}

}  // namespace vorsim_test
