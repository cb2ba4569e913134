// Registers the wrapper's classes when the library loads. They rest on the
// object runtime only, which is loaded and ready before this library.
#include "wrapper/mop.h"

namespace {

struct Registration {
    Registration() {
        mop_classes_register();
        engine_class_register();
    }
} g_registration;

}  // namespace
