// Registers the matrix runtime's classes when vorlib loads. This is an
// ordinary static initialiser: the runtime interns its symbols and registers
// the attribute classes in a prioritised one that runs before every ordinary
// initialiser of the library, so both are there when this runs.
#include "matrix/classes.h"

namespace {

struct class_registration {
    class_registration() {
        try {
            vor_matrix_class_init();
            vor_converter_classes_init();
            vor_texture_class_init();
        } catch (...) {
            // A class that failed to register is simply missing: creating it
            // gives null, which its users report.
        }
    }
};

const class_registration registration;

}  // namespace
