// Starts a program with this process's standard handles and waits for it:
//   e2e_run_attached <program> [arguments...]
// Prints "pid <n>" and "exit <code>" on standard output when it has ended
// and exits with the program's code. Under Wine a GUI program started from
// a process with a console is connected to that console, so morv's debug
// trace stays on the standard error it was given; the demo script uses this
// to show the trace in a terminal.

#include "WinApi.h"

#include <cstdio>
#include <string>
#include <vector>

#include "Executor.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: e2e_run_attached <program> [arguments...]\n");
        return 2;
    }
    if (!GetConsoleWindow()) {
        AllocConsole();
    }
    Executor quoting(argv[1]);
    for (int i = 2; i < argc; ++i) {
        quoting.args().push_back(argv[i]);
    }
    std::wstring cmdline = quoting.commandLine();

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(argv[1], &cmdline[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi)) {
        std::fprintf(stderr, "e2e_run_attached: cannot start %ls (error %lu)\n", argv[1],
                     GetLastError());
        return 2;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    std::printf("pid %lu\nexit %lu\n", pi.dwProcessId, code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}
