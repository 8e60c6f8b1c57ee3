// A stand-in for the Java runtime's launcher library, for tests of the
// launcher. Its JLI_Launch starts no JVM: it records what it was given and
// returns or exits with a chosen code. Built as jli.dll (Windows) and
// libjli.so (Linux).
//
// Environment variables it reads:
//   MORV_TEST_JLI_RECORD     file to append the record of each call to; no
//                            record is written when it is not set
//   MORV_TEST_JLI_QUERY_ENV  ';'-separated names of environment variables
//                            whose values at the time of the call are recorded
//   MORV_TEST_JLI_RESULT     decimal value JLI_Launch returns (default 0)
//   MORV_TEST_JLI_EXIT       when set, the process ends with this decimal exit
//                            code right after the record is written, and
//                            JLI_Launch never returns
//
// The record is a sequence of entries, each one either
//   <key> <length> <bytes>\n   exactly <length> bytes of value, or
//   <key> -\n                  for a null text.
// A call starts with "call" (the process id) and then holds, in this order:
// "argc", one "arg" per argument, "argv-end" ("null" or "non-null": the entry
// after the last argument), "jargc", "jargv", "appclassc", "appclassv"
// ("null" or "non-null"), "fullversion", "dotversion", "pname", "lname"
// (the texts), "javaargs", "cpwildcard", "javaw" (the byte value of each
// flag), "ergo", and for every queried variable "env" with "<NAME>=<value>"
// or "env-unset" with "<NAME>". Numbers are decimal. JliRecord.h reads it.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#define MORV_TEST_EXPORT extern "C" __declspec(dllexport)
#else
#include <unistd.h>
#define MORV_TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

#ifdef _WIN32
std::string toUtf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n,
                        nullptr, nullptr);
    return out;
}

std::wstring fromUtf8(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

// The launcher sets variables with SetEnvironmentVariableW, which the C
// runtime's copy of the environment in this library does not see.
bool readEnv(const std::string& name, std::string& value) {
    const std::wstring wideName = fromUtf8(name);
    SetLastError(0);
    DWORD n = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (n == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            return false;
        }
        value.clear();
        return true;
    }
    std::wstring buffer(n, L'\0');
    n = GetEnvironmentVariableW(wideName.c_str(), &buffer[0], n);
    buffer.resize(n);
    value = toUtf8(buffer);
    return true;
}

std::FILE* openRecord(const std::string& path) {
    return _wfopen(fromUtf8(path).c_str(), L"ab");
}

long long processId() {
    return static_cast<long long>(GetCurrentProcessId());
}
#else
bool readEnv(const std::string& name, std::string& value) {
    const char* v = std::getenv(name.c_str());
    if (!v) {
        return false;
    }
    value = v;
    return true;
}

std::FILE* openRecord(const std::string& path) {
    return std::fopen(path.c_str(), "ab");
}

long long processId() {
    return static_cast<long long>(getpid());
}
#endif

void putEntry(std::string& out, const char* key, const std::string& value) {
    out += key;
    out += ' ';
    out += std::to_string(value.size());
    out += ' ';
    out += value;
    out += '\n';
}

void putText(std::string& out, const char* key, const char* value) {
    if (!value) {
        out += key;
        out += " -\n";
        return;
    }
    putEntry(out, key, value);
}

void putNumber(std::string& out, const char* key, long long value) {
    putEntry(out, key, std::to_string(value));
}

void putPresence(std::string& out, const char* key, const void* value) {
    putEntry(out, key, value ? "non-null" : "null");
}

// The launcher's argument array may start at any byte address.
const char* loadPointer(char** array, int index) {
    const char* value;
    std::memcpy(&value, reinterpret_cast<const char*>(array) + index * sizeof(char*),
                sizeof value);
    return value;
}

unsigned char byteOf(const bool& flag) {
    unsigned char byte;
    std::memcpy(&byte, &flag, 1);
    return byte;
}

} // namespace

MORV_TEST_EXPORT int JLI_Launch(int argc, char** argv, int jargc, const char** jargv,
                                int appclassc, const char** appclassv, const char* fullversion,
                                const char* dotversion, const char* pname, const char* lname,
                                bool javaargs, bool cpwildcard, bool javaw, int ergo) {
    std::string recordPath;
    if (readEnv("MORV_TEST_JLI_RECORD", recordPath) && !recordPath.empty()) {
        std::string out;
        putNumber(out, "call", processId());
        putNumber(out, "argc", argc);
        for (int i = 0; i < argc && argv; ++i) {
            putText(out, "arg", loadPointer(argv, i));
        }
        putPresence(out, "argv-end", argv ? loadPointer(argv, argc < 0 ? 0 : argc) : nullptr);
        putNumber(out, "jargc", jargc);
        putPresence(out, "jargv", jargv);
        putNumber(out, "appclassc", appclassc);
        putPresence(out, "appclassv", appclassv);
        putText(out, "fullversion", fullversion);
        putText(out, "dotversion", dotversion);
        putText(out, "pname", pname);
        putText(out, "lname", lname);
        putNumber(out, "javaargs", byteOf(javaargs));
        putNumber(out, "cpwildcard", byteOf(cpwildcard));
        putNumber(out, "javaw", byteOf(javaw));
        putNumber(out, "ergo", ergo);

        std::string query;
        if (readEnv("MORV_TEST_JLI_QUERY_ENV", query)) {
            size_t start = 0;
            while (start <= query.size()) {
                size_t end = query.find(';', start);
                if (end == std::string::npos) {
                    end = query.size();
                }
                const std::string name = query.substr(start, end - start);
                if (!name.empty()) {
                    std::string value;
                    if (readEnv(name, value)) {
                        putEntry(out, "env", name + "=" + value);
                    } else {
                        putEntry(out, "env-unset", name);
                    }
                }
                start = end + 1;
            }
        }

        if (std::FILE* file = openRecord(recordPath)) {
            std::fwrite(out.data(), 1, out.size(), file);
            std::fclose(file);
        }
    }

    std::string code;
    if (readEnv("MORV_TEST_JLI_EXIT", code)) {
        std::exit(std::atoi(code.c_str()));
    }
    if (readEnv("MORV_TEST_JLI_RESULT", code)) {
        return std::atoi(code.c_str());
    }
    return 0;
}
