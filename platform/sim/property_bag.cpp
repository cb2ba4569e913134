// Device property bags.
#include "property_bag.h"

#include <string>

#include "vorsim.h"

namespace vorsim {
namespace {

char16_t fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool same_name(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

std::u16string_view view_of(const OLECHAR* text) {
    size_t n = 0;
    while (text[n] != 0) ++n;
    return std::u16string_view(text, n);
}

class PropertyBag final : public ComObject<IPropertyBag> {
public:
    explicit PropertyBag(std::vector<BagValue> values) : values_(std::move(values)) {}

    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* var, IErrorLog*) override {
        if (name == nullptr || var == nullptr) return E_POINTER;
        if (HRESULT hr = fault_result("IPropertyBag::Read", name); FAILED(hr)) return hr;
        const std::u16string_view wanted = view_of(name);
        for (const BagValue& v : values_) {
            if (!same_name(v.name, wanted)) continue;
            if (const auto* text = std::get_if<std::u16string>(&v.value)) return give_text(*text, var);
            return give_number(std::get<LONG>(v.value), var);
        }
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }

    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR name, VARIANT* var) override {
        if (name == nullptr || var == nullptr) return E_POINTER;
        return E_NOTIMPL;
    }

private:
    static HRESULT give_text(const std::u16string& text, VARIANT* var) {
        if (var->vt != VT_EMPTY && var->vt != VT_BSTR) return E_INVALIDARG;
        BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (copy == nullptr) return E_OUTOFMEMORY;
        if (var->vt == VT_BSTR) SysFreeString(var->bstrVal);
        var->vt = VT_BSTR;
        var->bstrVal = copy;
        return S_OK;
    }

    static HRESULT give_number(LONG number, VARIANT* var) {
        switch (var->vt) {
        case VT_EMPTY:
        case VT_I4:
            var->vt = VT_I4;
            var->lVal = number;
            return S_OK;
        case VT_UI4:
            if (number < 0) return E_INVALIDARG;
            var->ulVal = static_cast<ULONG>(number);
            return S_OK;
        case VT_BSTR: {
            const std::string digits = std::to_string(number);
            const std::u16string text(digits.begin(), digits.end());
            return give_text(text, var);
        }
        default: return E_INVALIDARG;
        }
    }

    const std::vector<BagValue> values_;
};

}  // namespace

ComPtr<IPropertyBag> make_property_bag(std::vector<BagValue> values) {
    return make_com<PropertyBag>(std::move(values));
}

}  // namespace vorsim
