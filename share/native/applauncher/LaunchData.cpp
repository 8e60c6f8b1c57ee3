#include "LaunchData.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ErrorHandling.h"
#include "JliLaunchData.h"
#include "LaunchPlatform.h"

// The launch data table. Its functions are handed to C code, so none lets an
// error out: each one reports it and returns its failure value.
extern "C" {

static void closeHandle(LaunchDataHandle handle) {
    reportAndContinue(CURRENT_SOURCE_POS, [handle] { delete static_cast<JliLaunchData*>(handle); });
}

static std::int32_t getJvmlLauncherDataSize(LaunchDataHandle handle) {
    if (!handle) {
        return -1;
    }
    return reportAndReturn(CURRENT_SOURCE_POS, std::int32_t(-1), [handle] {
        return static_cast<const JliLaunchData*>(handle)->initJvmlLauncherData(nullptr);
    });
}

static JvmlLauncherData* initJvmlLauncherData(LaunchDataHandle handle, void* buffer,
                                              std::int32_t bufferSize) {
    if (!handle || !buffer) {
        return nullptr;
    }
    return reportAndReturn(CURRENT_SOURCE_POS, static_cast<JvmlLauncherData*>(nullptr), [=] {
        const JliLaunchData* data = static_cast<const JliLaunchData*>(handle);
        // A buffer of any other size is refused untouched: too small could
        // not hold the block, and larger means the caller measured something else.
        if (data->initJvmlLauncherData(nullptr) != bufferSize) {
            return static_cast<JvmlLauncherData*>(nullptr);
        }
        data->initJvmlLauncherData(buffer);
        return static_cast<JvmlLauncherData*>(buffer);
    });
}

} // extern "C"

namespace {

LaunchDataApi theLaunchDataApi = {closeHandle, getJvmlLauncherDataSize, initJvmlLauncherData};

template <class T>
T load(const void* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// The UTF-16 text at `at`, which may lie at any byte address.
std::u16string loadUtf16(const void* at) {
    const char* p = static_cast<const char*>(at);
    std::u16string text;
    for (;; p += sizeof(char16_t)) {
        const char16_t unit = load<char16_t>(p);
        if (unit == 0) {
            return text;
        }
        text.push_back(unit);
    }
}

} // namespace

extern "C" {

LaunchDataApi* jvmLauncherGetAPI(void) {
    return &theLaunchDataApi;
}

JvmlLauncherData* createLaunchDataBuffer(LaunchDataApi* api, LaunchDataHandle handle,
                                         std::int32_t* sizeOut) {
    if (!handle || !api) {
        return nullptr;
    }
    void* block = nullptr;
    JvmlLauncherData* result = nullptr;
    const std::int32_t size = api->getJvmlLauncherDataSize(handle);
    if (size >= 1) {
        block = std::malloc(static_cast<size_t>(size));
        if (!block) {
            debugPrint("%s", std::strerror(errno));
        } else {
            result = api->initJvmlLauncherData(handle, block, size);
            if (result && sizeOut) {
                *sizeOut = size;
            }
        }
    }
    api->closeHandle(handle);
    if (!result) {
        std::free(block);
    }
    return result;
}

int startJvmFromLaunchData(const JvmlLauncherData* data, JLI_LaunchFunc jliLaunch) {
    if (!data || !jliLaunch) {
        return -1;
    }
    debugPrint("jli lib: [%s]", data->libraryPath);
    for (std::int32_t i = 0; i < data->argCount; ++i) {
        debugPrint("jli arg[%d]: [%s]", static_cast<int>(i),
                   load<const char*>(reinterpret_cast<const char*>(data->args) + i * sizeof(char*)));
    }

    if (data->envCount > 0) {
        std::vector<std::u16string> names;
        std::vector<std::u16string> values;
        for (std::int32_t i = 0; i < data->envCount; ++i) {
            const char* namesAt = reinterpret_cast<const char*>(data->envNames);
            const char* valuesAt = reinterpret_cast<const char*>(data->envValues);
            names.push_back(loadUtf16(load<const void*>(namesAt + i * sizeof(void*))));
            values.push_back(loadUtf16(load<const void*>(valuesAt + i * sizeof(void*))));
        }
        for (size_t i = 0; i < names.size(); ++i) {
            debugPrint("env var[%d]: %s=[%s]", static_cast<int>(i),
                       tstrings::encodeUtf8(tstrings::fromUtf16(names[i])).c_str(),
                       tstrings::encodeUtf8(tstrings::fromUtf16(values[i])).c_str());
        }
        for (size_t i = 0; i < names.size(); ++i) {
            if (!setLaunchEnvVariable(names[i], values[i])) {
                debugPrint("SetEnvironmentVariable(%d) failed", static_cast<int>(i));
            }
        }
    }

    return jliLaunch(data->argCount, data->args, 0, nullptr, 0, nullptr, "", "", "java", "java",
                     false, false, false, 0);
}

void debugPrint(const char* format, ...) {
    const char* debug = std::getenv("VARNO_DEBUG");
    if (!debug || std::strcmp(debug, "true") != 0) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputs("\n", stderr);
}

} // extern "C"
