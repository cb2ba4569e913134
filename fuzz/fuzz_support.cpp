#include "fuzz_support.h"

#include <sanitizer/lsan_interface.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace vorfuzz {

const std::string& scratch_folder() {
    // Kept for the whole run (never destroyed), so that the exit handler
    // can still remove it.
    static const std::string* const folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorfuzz.XXXXXX").string();
        if (!mkdtemp(pattern.data())) fail("scratch", "cannot make a temporary folder");
        return new std::string(pattern);
    }();
    static const bool removed_at_exit = [] {
        // Gone when the run ends normally; a crashed run leaves it for a look.
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(*folder, ec);
        });
        return true;
    }();
    (void)removed_at_exit;
    return *folder;
}

void clear_scratch_folder() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(scratch_folder(), ec))
        std::filesystem::remove_all(entry.path(), ec);
}

void check_leaks_every(unsigned every) {
    static unsigned calls = 0;
    if (++calls % every != 0) return;
    if (__lsan_do_recoverable_leak_check() != 0) fail("leaks", "memory that nothing refers to (reported above)");
}

void fail(const char* target, const std::string& what) {
    std::fprintf(stderr, "%s: finding: %s\n", target, what.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace vorfuzz
