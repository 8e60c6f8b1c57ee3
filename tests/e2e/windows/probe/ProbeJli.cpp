// A launcher library for the end-to-end tests that need what the shared test
// runtime does not record: whether the process runs in a job, which of the preloaded runtime libraries are loaded when
// JLI_Launch runs, and a JLI_Launch that stays running.
//   MORV_PROBE_RECORD  file the record is written to, one "<key> <value>"
//                      line each: pid, injob, grandchildinjob (whether a
//                      process started from here lands in the job too),
//                      jvmloaded, splashloaded, path (hex-encoded
//                      UTF-8 of PATH), program and apppath (hex of the
//                      first argument and of the value of the
//                      -Dvarno.app-path= argument, as received)
//   MORV_PROBE_EVENTS  file that "jli launch" and, when it returns,
//                      "jli return" are appended to (the probe
//                      modules append their loading and unloading there)
//   MORV_PROBE_SLEEP   milliseconds to sleep after writing the record
//   MORV_PROBE_RESULT  decimal value JLI_Launch returns (default 0)

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "ProbeCommon.h"

namespace {

// The launcher's argument array may start at any byte address.
const char* argAt(char** argv, int index) {
    const char* value;
    std::memcpy(&value, reinterpret_cast<const char*>(argv) + index * sizeof(char*), sizeof value);
    return value;
}

std::string hexBytes(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex = "x";
    for (const unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

// Starts the system's command interpreter suspended, asks whether it landed
// in a job, and ends it again.
std::string grandchildInJob() {
    wchar_t system[MAX_PATH];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return "unknown";
    }
    const std::wstring program = std::wstring(system) + L"\\cmd.exe";
    std::wstring cmdline = L"cmd.exe /c exit 0";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(program.c_str(), &cmdline[0], nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
        return "unknown";
    }
    BOOL inJob = FALSE;
    const bool asked = IsProcessInJob(pi.hProcess, nullptr, &inJob) != 0;
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return asked ? std::to_string(inJob ? 1 : 0) : "unknown";
}

} // namespace

extern "C" __declspec(dllexport) int JLI_Launch(int argc, char** argv, int, const char**, int,
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
        record += "grandchildinjob " + grandchildInJob() + "\n";
        std::string program;
        std::string appPath;
        const std::string property = "-Dvarno.app-path=";
        for (int i = 0; i < argc; ++i) {
            const std::string arg = argAt(argv, i);
            if (i == 0) {
                program = arg;
            } else if (arg.compare(0, property.size(), property) == 0) {
                appPath = arg.substr(property.size());
            }
        }
        record += "program " + hexBytes(program) + "\n";
        record += "apppath " + hexBytes(appPath) + "\n";
        probe::writeWhole(recordPath, record);
    }

    const std::wstring sleepMs = probe::env(L"MORV_PROBE_SLEEP");
    if (!sleepMs.empty()) {
        Sleep(static_cast<DWORD>(std::wcstoul(sleepMs.c_str(), nullptr, 10)));
    }
    probe::appendEvent("jli return");
    const std::wstring result = probe::env(L"MORV_PROBE_RESULT");
    return result.empty() ? 0 : static_cast<int>(std::wcstol(result.c_str(), nullptr, 10));
}
