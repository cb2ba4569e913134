#include "options.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vorhost {

namespace {

ParseResult fail(std::string why) {
    return ParseResult{std::nullopt, std::move(why)};
}

// Reads a device file; returns an error text, empty on success.
std::string read_devices(const std::string& path, nlohmann::json& out) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return "--devices: " + path + " is a folder, not a device file";
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "--devices: cannot read " + path;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return "--devices: cannot read " + path;
    try {
        out = nlohmann::json::parse(text.str());
    } catch (const nlohmann::json::parse_error& e) {
        return "--devices: " + path + " is not valid JSON (byte " + std::to_string(e.byte) + ")";
    }
    if (!out.is_object())
        return "--devices: " + path + " must hold one JSON object";
    return {};
}

}  // namespace

const char* usage() {
    return "usage: vorhost [--devices FILE.json|none] [--clock real|manual] [--folder DIR] "
           "[--module PATH] [SCRIPT]\n";
}

ParseResult parse_options(const std::vector<std::string>& args) {
    Options o;
    bool have_script = false;
    bool only_operands = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (only_operands || arg.size() < 2 || arg[0] != '-') {
            if (have_script)
                return fail("more than one script given: " + o.script + " and " + arg);
            o.script = arg;
            have_script = true;
            continue;
        }
        if (arg == "--") {
            only_operands = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            continue;
        }

        std::string name = arg;
        std::optional<std::string> value;
        if (auto eq = arg.find('='); eq != std::string::npos && arg.starts_with("--")) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        if (name != "--devices" && name != "--clock" && name != "--folder" && name != "--module")
            return fail("unknown option " + name);
        if (!value) {
            if (i + 1 >= args.size())
                return fail(name + " needs a value");
            value = args[++i];
        }
        if (value->empty())
            return fail(name + " needs a value");

        if (name == "--devices") {
            o.devices = nullptr;
            o.devices_path.clear();
            if (*value == "none") {
                o.device_set = DeviceSet::none;
            } else {
                if (std::string why = read_devices(*value, o.devices); !why.empty())
                    return fail(why);
                o.device_set = DeviceSet::file;
                o.devices_path = *value;
            }
        } else if (name == "--clock") {
            if (*value == "real")
                o.clock = Clock::real;
            else if (*value == "manual")
                o.clock = Clock::manual;
            else
                return fail("--clock must be real or manual, not " + *value);
        } else if (name == "--folder") {
            std::error_code ec;
            if (!std::filesystem::is_directory(*value, ec))
                return fail("--folder: " + *value + " is not a folder");
            o.folder = *value;
        } else {
            o.module = *value;
        }
    }
    return ParseResult{std::move(o), {}};
}

}  // namespace vorhost
