// A launcher library for the end-to-end tests that need what the shared test
// runtime does not record: whether the process runs in a job, which of the preloaded runtime libraries are loaded when
// JLI_Launch runs, and a JLI_Launch that stays running.
//   MORV_PROBE_RECORD  file the record is written to, one "<key> <value>"
//                      line each: pid, injob, jvmloaded,
//                      splashloaded, path (hex-encoded UTF-8 of PATH)
//   MORV_PROBE_EVENTS  file that "jli launch" is appended to (the probe
//                      modules append their loading and unloading there)
//   MORV_PROBE_SLEEP   milliseconds to sleep after writing the record
//   MORV_PROBE_RESULT  decimal value JLI_Launch returns (default 0)

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "ProbeCommon.h"

extern "C" __declspec(dllexport) int JLI_Launch(int, char**, int, const char**, int,
                                                const char**, const char*, const char*,
                                                const char*, const char*, bool, bool, bool,
                                                int) {
    probe::appendEvent("jli launch");

    const std::wstring recordPath = probe::env(L"MORV_PROBE_RECORD");
    if (!recordPath.empty()) {
        BOOL inJob = FALSE;
        IsProcessInJob(GetCurrentProcess(), nullptr, &inJob);
        std::string record;
        record += "pid " + std::to_string(GetCurrentProcessId()) + "\n";
        record += "injob " + std::to_string(inJob ? 1 : 0) + "\n";
        record += "jvmloaded " + std::to_string(GetModuleHandleW(L"jvm.dll") ? 1 : 0) + "\n";
        record += "splashloaded " +
                  std::to_string(GetModuleHandleW(L"splashscreen.dll") ? 1 : 0) + "\n";
        record += "path " + probe::hexUtf8(probe::env(L"PATH")) + "\n";
        probe::writeWhole(recordPath, record);
    }

    const std::wstring sleepMs = probe::env(L"MORV_PROBE_SLEEP");
    if (!sleepMs.empty()) {
        Sleep(static_cast<DWORD>(std::wcstoul(sleepMs.c_str(), nullptr, 10)));
    }
    const std::wstring result = probe::env(L"MORV_PROBE_RESULT");
    return result.empty() ? 0 : static_cast<int>(std::wcstol(result.c_str(), nullptr, 10));
}
