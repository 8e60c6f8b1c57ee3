#include "JliLaunchData.h"

#include <cstddef>
#include <cstring>
#include <limits>

#include "ErrorHandling.h"
#include "LaunchData.h"
#include "Log.h"

static_assert(sizeof(void*) == 8, "the launch data layout has 64-bit pointers");
static_assert(offsetof(JvmlLauncherData, libraryPath) == 0, "launch data layout");
static_assert(offsetof(JvmlLauncherData, argCount) == 8, "launch data layout");
static_assert(offsetof(JvmlLauncherData, envCount) == 12, "launch data layout");
static_assert(offsetof(JvmlLauncherData, args) == 16, "launch data layout");
static_assert(offsetof(JvmlLauncherData, envNames) == 24, "launch data layout");
static_assert(offsetof(JvmlLauncherData, envValues) == 32, "launch data layout");
static_assert(sizeof(JvmlLauncherData) == 40, "launch data layout");

JliLaunchData::JliLaunchData(const tstring& libraryPath, const tstring_array& args,
                             const tstring_array& envVarNames, const tstring_array& envVarValues)
    : libraryPath(tstrings::encodeUtf8(libraryPath)),
      envVarNames(envVarNames),
      envVarValues(envVarValues) {
    for (const tstring& arg : args) {
        this->args.push_back(tstrings::encodeAnsi(arg));
    }
}

namespace {

// The block may place any array or UTF-16 text at an odd address, so every
// store goes through memcpy.
template <class T>
void store(char* at, const T& value) {
    std::memcpy(at, &value, sizeof value);
}

char* putBytes(char* at, const void* data, size_t size) {
    if (size != 0) {
        std::memcpy(at, data, size);
    }
    return at + size;
}

char* putNarrow(char* at, const std::string& text) {
    at = putBytes(at, text.data(), text.size());
    *at = '\0';
    return at + 1;
}

char* putUtf16(char* at, const std::u16string& text) {
    // Including the terminating 0 code unit that c_str() guarantees.
    return putBytes(at, text.c_str(), (text.size() + 1) * sizeof(char16_t));
}

// Writes a pointer array for `texts` at `at` and the texts right after it.
char* putUtf16Array(char* at, const std::vector<std::u16string>& texts) {
    char* const array = at;
    at += texts.size() * sizeof(void*);
    for (size_t i = 0; i < texts.size(); ++i) {
        store(array + i * sizeof(void*), static_cast<void*>(at));
        at = putUtf16(at, texts[i]);
    }
    return at;
}

} // namespace

std::int32_t JliLaunchData::initJvmlLauncherData(void* buffer) const {
    std::vector<std::u16string> names;
    std::vector<std::u16string> values;
    for (const tstring& name : envVarNames) {
        names.push_back(tstrings::toUtf16(name));
    }
    for (const tstring& value : envVarValues) {
        values.push_back(tstrings::toUtf16(value));
    }

    // Counted in 64 bits: the block's size is a 32-bit number, and a Jvm
    // too large for it must fail instead of wrapping around.
    std::uint64_t size = sizeof(JvmlLauncherData) + libraryPath.size() + 1;
    size += sizeof(void*) * (static_cast<std::uint64_t>(args.size()) + 1);
    for (const std::string& arg : args) {
        size += arg.size() + 1;
    }
    size += sizeof(void*) * static_cast<std::uint64_t>(names.size());
    for (const std::u16string& name : names) {
        size += sizeof(char16_t) * (static_cast<std::uint64_t>(name.size()) + 1);
    }
    size += sizeof(void*) * static_cast<std::uint64_t>(values.size());
    for (const std::u16string& value : values) {
        size += sizeof(char16_t) * (static_cast<std::uint64_t>(value.size()) + 1);
    }
    if (size > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) ||
        args.size() > static_cast<size_t>(std::numeric_limits<std::int32_t>::max()) ||
        names.size() > static_cast<size_t>(std::numeric_limits<std::int32_t>::max())) {
        RAISE_ERROR(tstrings::MessageBuilder()
                    << "JVM launch data of " << size << " bytes exceeds the size limit");
    }
    const std::int32_t total = static_cast<std::int32_t>(size);

    if (!buffer) {
        TRACE_LOG("Need " << total << " bytes for JvmlLauncherData buffer");
        return total;
    }

    char* const base = static_cast<char*>(buffer);
    char* at = base + sizeof(JvmlLauncherData);

    store(base + offsetof(JvmlLauncherData, libraryPath), at);
    at = putNarrow(at, libraryPath);

    store(base + offsetof(JvmlLauncherData, argCount), static_cast<std::int32_t>(args.size()));
    store(base + offsetof(JvmlLauncherData, envCount), static_cast<std::int32_t>(names.size()));

    char* const argArray = at;
    store(base + offsetof(JvmlLauncherData, args), argArray);
    at += sizeof(char*) * (args.size() + 1);
    for (size_t i = 0; i < args.size(); ++i) {
        store(argArray + i * sizeof(char*), at);
        at = putNarrow(at, args[i]);
    }
    store(argArray + args.size() * sizeof(char*), static_cast<char*>(nullptr));

    store(base + offsetof(JvmlLauncherData, envNames), static_cast<void*>(at));
    at = putUtf16Array(at, names);
    store(base + offsetof(JvmlLauncherData, envValues), static_cast<void*>(at));
    at = putUtf16Array(at, values);

    TRACE_LOG("Initialized " << total << " bytes at " << buffer << " address");
    return total;
}
