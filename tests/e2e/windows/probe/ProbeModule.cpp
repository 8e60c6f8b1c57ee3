// jvm.dll and splashscreen.dll of the probe runtime: they only append
// "<name> load", and "<name> unload" when released or "<name> unload at
// exit" when the process ends with the library still loaded, to
// MORV_PROBE_EVENTS. PROBE_MODULE_NAME is set by the build.

#include <windows.h>

#include "ProbeCommon.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        probe::appendEvent(PROBE_MODULE_NAME " load");
    } else if (reason == DLL_PROCESS_DETACH) {
        // Null when FreeLibrary released the library, non-null when the
        // process is ending.
        probe::appendEvent(reserved ? PROBE_MODULE_NAME " unload at exit"
                                    : PROBE_MODULE_NAME " unload");
    }
    return TRUE;
}
