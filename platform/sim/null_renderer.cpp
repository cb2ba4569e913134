// Null Renderer (CLSID_NullRenderer): one input pin "In" that takes any
// type and discards every sample at once; a renderer
// (IAMFilterMiscFlags answers AM_FILTER_MISC_FLAGS_IS_RENDERER).
#include <memory>

#include "class_registry.h"
#include "filter_base.h"
#include "pin_base.h"

namespace vorsim {
namespace {

class NullRenderer final : public Filter<IAMFilterMiscFlags> {
public:
    NullRenderer() : Filter<IAMFilterMiscFlags>(CLSID_NullRenderer) { add_pin(std::make_unique<In>(*this)); }

    ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

private:
    class In final : public InputPin<> {
    public:
        explicit In(FilterCore& f) : InputPin<>(f, u"In", u"In") {}
        // The base accepts every type and Receive does nothing with it.
    };
};

const ClassRegistration registration(CLSID_NullRenderer, "NullRenderer", &create_instance<NullRenderer>);

}  // namespace
}  // namespace vorsim
