// vorhost: a headless patch host around the vor.dx.grab module. See
// docs/vorhost.md for the commands and what it prints.
#include "interpreter.h"
#include "options.h"
#include "real_host.h"
#ifdef VORHOST_SIM
#include "platform_commands.h"
#endif

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#include <objbase.h>
#include "windows_commands.h"
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

int bad_arguments(const std::string& why) {
    std::cerr << "vorhost: " << why << '\n' << vorhost::usage() << std::flush;
    return 2;
}

// The module built beside this program.
std::string module_beside_executable() {
#if defined(_WIN32)
    wchar_t buffer[32768];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (n == 0 || n >= std::size(buffer))
        return "vor.dx.grab.kpx64";
    // UTF-8, as the host's module loader takes it.
    const std::u8string text =
        (std::filesystem::path(std::wstring(buffer, n)).parent_path() / "vor.dx.grab.kpx64").u8string();
    return std::string(text.begin(), text.end());
#else
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return "vor.dx.grab.kpx64";
    return (exe.parent_path() / "vor.dx.grab.kpx64").string();
#endif
}

int run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    vorhost::ParseResult parsed = vorhost::parse_options(args);
    if (!parsed.options)
        return bad_arguments(parsed.error);
    vorhost::Options& o = *parsed.options;
    if (o.help) {
        std::cout << vorhost::usage() << std::flush;
        return 0;
    }

    std::ifstream script;
    if (!o.script.empty()) {
        std::error_code dir_ec;
        if (std::filesystem::is_directory(o.script, dir_ec))
            return bad_arguments(o.script + " is a folder, not a script");
        script.open(o.script);
        if (!script)
            return bad_arguments("cannot read the script " + o.script);
    }

    std::error_code ec;
    std::filesystem::path folder = std::filesystem::absolute(o.folder.empty() ? "." : o.folder, ec);
    if (ec)
        return bad_arguments("cannot find the folder " + o.folder);
    folder = folder.lexically_normal();
    std::string module = o.module.empty() ? module_beside_executable() : o.module;

#ifdef VORHOST_SIM
    // The devices and the clock are in place before the module loads.
    std::string platform_why;
    if (!vorhost::setup_platform(o, platform_why))
        return bad_arguments(platform_why);
#endif

    vorhost::RealHost host;
    vorhost::Interpreter shell(host, std::cout, std::cerr);
#ifdef VORHOST_SIM
    std::string script_folder;
    if (!o.script.empty())
        script_folder = std::filesystem::absolute(o.script, ec).parent_path().string();
    vorhost::PlatformCommands platform(shell, script_folder);
#endif
#if defined(_WIN32)
    // The system's devices; the virtual camera's clock is the shell's to run.
    std::string windows_why;
    if (!vorhost::setup_windows(o, windows_why))
        return bad_arguments(windows_why);
    vorhost::WindowsCommands windows(shell);
    // Forward slashes throughout: Windows takes them, and printed paths
    // read the same as elsewhere.
    const std::u8string folder_u8 = folder.generic_u8string();
    std::string folder_text(folder_u8.begin(), folder_u8.end());
#else
    std::string folder_text = folder.string();
#endif
    host.connect(&shell);
    if (folder_text.size() > 1 && folder_text.back() == '/')
        folder_text.pop_back();
    host.set_default_folder(folder_text);

    std::string why;
    if (!host.load_module(module, why)) {
        host.connect(nullptr);
        std::cerr << "vorhost: cannot load the module " << module << ": " << why << '\n' << std::flush;
        return 2;
    }
    host.run_queue();

    int status;
#if defined(_WIN32)
    const bool terminal = _isatty(_fileno(stdin)) != 0;
#else
    const bool terminal = isatty(STDIN_FILENO) != 0;
#endif
    if (o.script.empty())
        status = shell.run(std::cin, terminal);
    else
        status = shell.run(script, false);
    shell.finish();
    host.run_queue();
    host.connect(nullptr);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    // The host thread uses COM (DirectShow, the imaging component) all along.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    struct ComScope {
        HRESULT hr;
        ~ComScope() {
            if (SUCCEEDED(hr)) CoUninitialize();
        }
    } com_scope{com};
#endif
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "vorhost: " << e.what() << '\n';
        return 1;
    }
}
