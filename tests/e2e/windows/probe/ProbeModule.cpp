// jvm.dll and splashscreen.dll of the probe runtime: they only append
// "<name> load" and "<name> unload" to MORV_PROBE_EVENTS. PROBE_MODULE_NAME
// is set by the build.

#include <windows.h>

#include "ProbeCommon.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        probe::appendEvent(PROBE_MODULE_NAME " load");
    } else if (reason == DLL_PROCESS_DETACH) {
        probe::appendEvent(PROBE_MODULE_NAME " unload");
    }
    return TRUE;
}
