// The shell on Windows: the devices are the system's, and the person at the
// machine runs the virtual camera's clock (windows/vcam/vcam_control.h).
//
//   --clock manual   the virtual camera delivers only when told
//   frames N         every running virtual camera stream delivers N samples
//                    and the command returns when they have been handled;
//                    nothing happens with the real clock or no stream running
#pragma once

#include "interpreter.h"
#include "options.h"

#include <string>

namespace vorhost {

// Refuses what Windows cannot do (--devices: the devices are the system's)
// and passes the clock on to the virtual camera. False with a one-line
// reason.
bool setup_windows(const Options& options, std::string& why);

class WindowsCommands {
public:
    explicit WindowsCommands(Interpreter& shell);
    WindowsCommands(const WindowsCommands&) = delete;
    WindowsCommands& operator=(const WindowsCommands&) = delete;

private:
    void frames(Args& a);
};

}  // namespace vorhost
