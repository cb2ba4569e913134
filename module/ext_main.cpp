// The module's entry point.
#include "module/module.h"

t_module_state g_module;

#if defined(_WIN32)
#include <windows.h>
// The module needs no per-thread attach and detach notifications.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
#endif

extern "C" VOR_MODULE_EXPORT void ext_main() {
    grabber_class_register();
    box_class_register();
    g_module.optimize = gensym("optimize");
    g_module.box_typedmess = gensym("typedmess");
    g_module.vor_grab = gensym("vor_grab");
    g_module.output_texture = gensym("output_texture");
    g_module.texture_name = gensym("texture_name");
}
