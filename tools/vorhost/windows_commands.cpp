#include "windows_commands.h"

#include "vcam_control.h"

#include <windows.h>

#include <cstdlib>
#include <limits>

namespace vorhost {

bool setup_windows(const Options& options, std::string& why) {
    if (options.device_set != DeviceSet::builtin) {
        why = "--devices: on Windows the devices are the system's";
        return false;
    }
    const bool manual = options.clock == Clock::manual;
    if (!SetEnvironmentVariableW(VORVCAM_CLOCK_VARIABLE, manual ? L"manual" : nullptr) && manual) {
        why = "--clock: cannot pass the clock on to the virtual camera";
        return false;
    }
    return true;
}

WindowsCommands::WindowsCommands(Interpreter& shell) {
    shell.add_command("frames", [this](Args& a) { frames(a); });
}

void WindowsCommands::frames(Args& a) {
    a.expect(1, 1, "frames N");
    const long n = a.number(0, "N");
    if (n < 0 || n > std::numeric_limits<int>::max())
        throw CommandError{"frames: N must be a whole number from 0, not " + std::to_string(n)};
    // The camera's DLL is in the process once a box has bound one of its
    // devices; before that no stream can be running.
    HMODULE camera = GetModuleHandleW(VORVCAM_DLL_NAME);
    if (!camera) return;
    auto deliver = reinterpret_cast<vorvcam_deliver_fn>(
        reinterpret_cast<void*>(GetProcAddress(camera, VORVCAM_DELIVER_EXPORT)));
    if (deliver) deliver(n);
}

}  // namespace vorhost
