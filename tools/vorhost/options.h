// The shell's command line: what `vorhost` was asked to do, checked before
// anything is loaded.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace vorhost {

enum class DeviceSet {
    builtin,  // no --devices: the default set of virtual devices
    none,     // --devices none
    file,     // --devices FILE.json, parsed into Options::devices
};

enum class Clock { real, manual };

struct Options {
    DeviceSet device_set = DeviceSet::builtin;
    std::string devices_path;   // the file named by --devices
    nlohmann::json devices;     // its contents, a JSON object
    Clock clock = Clock::real;
    std::string folder;         // empty: the current directory
    std::string module;         // empty: the module beside the executable
    std::string script;         // empty: standard input
    bool help = false;
};

struct ParseResult {
    std::optional<Options> options;  // empty when the command line is wrong
    std::string error;               // why, when it is
};

// Reads the arguments after the program name. Options take their value as
// the next argument or after '=' (`--clock manual`, `--clock=manual`).
// The device file is read and parsed here, so that a bad one stops the shell
// before the module loads.
ParseResult parse_options(const std::vector<std::string>& args);

// The usage text printed by --help and after a bad command line.
const char* usage();

}  // namespace vorhost
