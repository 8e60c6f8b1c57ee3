#include "ChildProcess.h"

#include "WinApi.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "FileUtils.h"
#include "SysInfo.h"

namespace {

std::string readFile(const tstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

HANDLE openInheritable(const tstring& path) {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("CreateFileW failed");
    }
    return h;
}

tstring quoted(const tstring& arg) { return L"\"" + arg + L"\""; }

// The variable as it was, put back when the child has been started.
class EnvOverride {
public:
    EnvOverride(const tstring& name, const char* value) : name(name) {
        hadOld = SysInfo::isEnvVariableSet(name);
        if (hadOld) {
            oldValue = SysInfo::getEnvVariable(name);
        }
        SetEnvironmentVariableW(name.c_str(), value ? tstrings::decodeUtf8(value).c_str() : nullptr);
    }
    ~EnvOverride() { SetEnvironmentVariableW(name.c_str(), hadOld ? oldValue.c_str() : nullptr); }

private:
    tstring name;
    bool hadOld;
    tstring oldValue;
};

} // namespace

ChildResult runChild(const std::string& program, const std::vector<std::string>& args, const char* name,
                     const char* value) {
    const tstring dir = FileUtils::dirname(SysInfo::getProcessModulePath());
    const tstring path = FileUtils::combinePath(dir, tstrings::decodeUtf8(program) + L".exe");
    const tstring base = path + L"." + std::to_wstring(GetCurrentProcessId());
    const tstring outPath = base + L".out";
    const tstring errPath = base + L".err";

    tstring commandLine = quoted(path);
    for (const std::string& a : args) {
        commandLine += L" " + quoted(tstrings::decodeUtf8(a));
    }

    HANDLE out = openInheritable(outPath);
    HANDLE err = openInheritable(errPath);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    BOOL started;
    {
        EnvOverride env(tstrings::decodeUtf8(name), value);
        started = CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                                 &pi);
    }
    CloseHandle(out);
    CloseHandle(err);
    if (!started) {
        throw std::runtime_error("CreateProcessW failed for " + tstrings::encodeUtf8(path));
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ChildResult result{static_cast<int>(code), readFile(outPath), readFile(errPath)};
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
    return result;
}

std::string textLineEnd() { return "\r\n"; }
