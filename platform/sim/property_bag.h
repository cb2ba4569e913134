// The property bag of a device moniker: a fixed set of named values, read
// only. Read answers strings as VT_BSTR and numbers as VT_I4 (or coerced to
// the type the caller preset: a number as VT_BSTR text or VT_UI4; anything
// else E_INVALIDARG); names compare case-insensitively, as the registry's
// do; a missing name is HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) and leaves
// the variant alone; a null name or variant E_POINTER. Write is refused
// (E_NOTIMPL): the sim's devices are described by the device file.
// Faults: "IPropertyBag::Read", "IPropertyBag::Read:NAME".
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "com_object.h"

namespace vorsim {

struct BagValue {
    std::u16string name;
    std::variant<std::u16string, LONG> value;
};

// A new bag holding these values (throws std::bad_alloc).
ComPtr<IPropertyBag> make_property_bag(std::vector<BagValue> values);

}  // namespace vorsim
