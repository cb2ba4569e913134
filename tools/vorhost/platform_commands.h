// The shell's side of the in-process platform: the person at the machine.
// From the command line it chooses the devices and the clock; as commands
// it delivers frames, plugs and unplugs devices and arms faults; and it
// prints the property-page dialogs the module opens.
//
//   frames N            every running source delivers N samples
//   plug FILE.json      adds the file's devices (a relative FILE is taken in
//                       the script's folder, or the current directory when
//                       commands come from standard input)
//   unplug DEVICE       removes a device by its description (or friendly
//                       name); an unknown one is a wrong line
//   fault CALL [N]      the next N calls of CALL fail (every one without N)
//   fault clear         no call fails any more
//   cardmode CARD MODE  the card named CARD finds its input in display mode
//                       MODE: boxes that have it open are told format_changed
//
// Dialogs print as `dialog: property pages of "NAME" (N pages)`, NAME being
// the caption, or without one the device whose filter the pages are for.
#pragma once

#include "interpreter.h"
#include "options.h"

#include <string>

namespace vorhost {

// Loads the device set the options name (the built-in one, none, or the
// file) and sets the clock. On failure returns false with a one-line reason
// and changes nothing else.
bool setup_platform(const Options& options, std::string& why);

// Adds the platform commands to `shell` and reports property-page dialogs
// through it while it exists.
class PlatformCommands {
public:
    // `script_folder`: where relative device files are found (empty: the
    // current directory).
    PlatformCommands(Interpreter& shell, std::string script_folder);
    ~PlatformCommands();  // stops reporting dialogs
    PlatformCommands(const PlatformCommands&) = delete;
    PlatformCommands& operator=(const PlatformCommands&) = delete;

private:
    void frames(Args& a);
    void plug(Args& a);
    void unplug(Args& a);
    void fault(Args& a);
    void cardmode(Args& a);

    Interpreter& shell_;
    std::string script_folder_;
};

}  // namespace vorhost
