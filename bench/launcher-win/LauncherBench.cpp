// Whole-process wall time of Windows programs, each started with
// CreateProcessW and waited for, in rounds: every round runs each program
// once, the order rotating from round to round so that drifts in load hit
// all alike. Prints the median (and spread) per program and the ratio of
// each median to the first program's.
//
//   launcher_win_bench <rounds> <warm-up rounds> <name>=<program> ...

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Subject {
    std::wstring name;
    std::wstring program;
    std::vector<double> millis;
};

double runOnce(const std::wstring& program) {
    std::wstring cmdline = L"\"" + program + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(program.c_str(), &cmdline[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi)) {
        std::fwprintf(stderr, L"cannot start %ls (error %lu)\n", program.c_str(), GetLastError());
        ExitProcess(2);
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    QueryPerformanceCounter(&end);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    if (code != 0) {
        std::fwprintf(stderr, L"%ls exited with %lu\n", program.c_str(), code);
        ExitProcess(2);
    }
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

double quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    const double at = q * static_cast<double>(values.size() - 1);
    const size_t low = static_cast<size_t>(at);
    const size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fwprintf(stderr, L"usage: launcher_win_bench <rounds> <warm-up rounds> <name>=<program> ...\n");
        return 2;
    }
    const int rounds = std::max(1, _wtoi(argv[1]));
    const int warmup = std::max(0, _wtoi(argv[2]));
    std::vector<Subject> subjects;
    for (int i = 3; i < argc; ++i) {
        const std::wstring named = argv[i];
        const size_t eq = named.find(L'=');
        if (eq == std::wstring::npos) {
            std::fwprintf(stderr, L"not <name>=<program>: %ls\n", argv[i]);
            return 2;
        }
        subjects.push_back({named.substr(0, eq), named.substr(eq + 1), {}});
    }

    for (int round = 0; round < warmup + rounds; ++round) {
        for (size_t k = 0; k < subjects.size(); ++k) {
            Subject& s = subjects[(k + static_cast<size_t>(round)) % subjects.size()];
            const double ms = runOnce(s.program);
            if (round >= warmup) {
                s.millis.push_back(ms);
            }
        }
    }

    const double base = quantile(subjects[0].millis, 0.5);
    std::wprintf(L"%d rounds (after %d warm-up rounds), wall time per process start to exit:\n",
                 rounds, warmup);
    std::wprintf(L"%-16ls %10ls %10ls %10ls %12ls\n", L"program", L"median ms", L"p10 ms", L"p90 ms",
                 L"median ratio");
    for (const Subject& s : subjects) {
        const double median = quantile(s.millis, 0.5);
        std::wprintf(L"%-16ls %10.1f %10.1f %10.1f %12.2f\n", s.name.c_str(), median,
                     quantile(s.millis, 0.1), quantile(s.millis, 0.9), median / base);
    }
    return 0;
}
