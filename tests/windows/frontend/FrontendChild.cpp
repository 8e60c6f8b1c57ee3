// The child that the executor tests start. What it does is chosen through
// its environment, so that the arguments stay free for the round trips:
//   FRONTEND_CHILD_REPORT  file to write the report to (nothing when unset)
//   FRONTEND_CHILD_SLEEP   milliseconds to sleep before exiting
//   FRONTEND_CHILD_EXIT    exit code, decimal (0 when unset)
// The report has one line per item, "<key> <value>", texts hex-encoded as
// UTF-8 so that any argument survives: "crt" for each element of the C
// runtime's argv, "ctoa" for each element CommandLineToArgvW gives for the
// process command line, then "startflags", "showwindow", "injob", "pid".

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring env(const wchar_t* name) {
    wchar_t buffer[4096];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
    return n > 0 && n < 4096 ? std::wstring(buffer, n) : std::wstring();
}

std::string hexUtf8(const wchar_t* text) {
    const int length = static_cast<int>(std::wcslen(text));
    std::string utf8;
    if (length > 0) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
        utf8.resize(static_cast<size_t>(n));
        WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], n, nullptr, nullptr);
    }
    static const char digits[] = "0123456789abcdef";
    std::string hex = "x";
    for (const unsigned char c : utf8) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring reportPath = env(L"FRONTEND_CHILD_REPORT");
    if (!reportPath.empty()) {
        std::string report;
        for (int i = 0; i < argc; ++i) {
            report += "crt " + hexUtf8(argv[i]) + "\n";
        }
        int n = 0;
        if (wchar_t** split = CommandLineToArgvW(GetCommandLineW(), &n)) {
            for (int i = 0; i < n; ++i) {
                report += "ctoa " + hexUtf8(split[i]) + "\n";
            }
            LocalFree(split);
        }
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        GetStartupInfoW(&si);
        report += "startflags " + std::to_string(si.dwFlags) + "\n";
        report += "showwindow " + std::to_string(si.wShowWindow) + "\n";
        BOOL inJob = FALSE;
        IsProcessInJob(GetCurrentProcess(), nullptr, &inJob);
        report += "injob " + std::to_string(inJob ? 1 : 0) + "\n";
        report += "pid " + std::to_string(GetCurrentProcessId()) + "\n";
        // Written under a temporary name and renamed, so a reader never sees
        // half a report.
        const std::wstring partial = reportPath + L".part";
        if (FILE* f = _wfopen(partial.c_str(), L"wb")) {
            std::fwrite(report.data(), 1, report.size(), f);
            std::fclose(f);
            MoveFileExW(partial.c_str(), reportPath.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    }
    const std::wstring sleepMs = env(L"FRONTEND_CHILD_SLEEP");
    if (!sleepMs.empty()) {
        Sleep(static_cast<DWORD>(std::wcstoul(sleepMs.c_str(), nullptr, 10)));
    }
    const std::wstring code = env(L"FRONTEND_CHILD_EXIT");
    ExitProcess(code.empty() ? 0 : static_cast<UINT>(std::wcstoul(code.c_str(), nullptr, 10)));
}
