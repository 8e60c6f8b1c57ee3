#include "JvmLauncher.h"

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>

#include "CfgFile.h"
#include "Dll.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "LaunchPlatform.h"
#include "Log.h"
#include "SysInfo.h"

static_assert(sizeof(void*) == 8, "the launch data layout has 64-bit pointers");
static_assert(offsetof(JvmlLauncherData, libraryPath) == 0, "launch data layout");
static_assert(offsetof(JvmlLauncherData, argCount) == 8, "launch data layout");
static_assert(offsetof(JvmlLauncherData, envCount) == 12, "launch data layout");
static_assert(offsetof(JvmlLauncherData, args) == 16, "launch data layout");
static_assert(offsetof(JvmlLauncherData, envNames) == 24, "launch data layout");
static_assert(offsetof(JvmlLauncherData, envValues) == 32, "launch data layout");
static_assert(sizeof(JvmlLauncherData) == 40, "launch data layout");

namespace {

// Everything a JVM start needs, as plain narrow and UTF-16 data, before it is
// flattened into one block.
class JliLaunchData {
public:
    explicit JliLaunchData(const Jvm& jvm)
        : libraryPath(tstrings::encodeUtf8(jvm.getPath())),
          envVarNames(jvm.getEnvVarNames()),
          envVarValues(jvm.getEnvVarValues()) {
        for (const tstring& arg : jvm.getArguments()) {
            args.push_back(tstrings::encodeAnsi(arg));
        }
    }

    // With a null `buffer` only measures; otherwise writes the whole block,
    // which must have room for the measured size. Returns the size.
    std::int32_t initJvmlLauncherData(void* buffer) const;

private:
    std::string libraryPath;
    std::vector<std::string> args;
    tstring_array envVarNames;
    tstring_array envVarValues;
};

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

} // namespace

// The launch data table. Its functions are handed to C code, so none lets an
// error out: each one reports it and returns its failure value.
extern "C" {

static void closeHandle(LaunchDataHandle handle) {
    try {
        delete static_cast<JliLaunchData*>(handle);
    } catch (const std::runtime_error& e) {
        logCaughtError(CURRENT_SOURCE_POS, e);
    } catch (...) {
        logUnknownError(CURRENT_SOURCE_POS);
    }
}

static std::int32_t getJvmlLauncherDataSize(LaunchDataHandle handle) {
    try {
        if (!handle) {
            return -1;
        }
        return static_cast<const JliLaunchData*>(handle)->initJvmlLauncherData(nullptr);
    } catch (const std::runtime_error& e) {
        logCaughtError(CURRENT_SOURCE_POS, e);
    } catch (...) {
        logUnknownError(CURRENT_SOURCE_POS);
    }
    return -1;
}

static JvmlLauncherData* initJvmlLauncherData(LaunchDataHandle handle, void* buffer,
                                              std::int32_t bufferSize) {
    try {
        if (!handle || !buffer) {
            return nullptr;
        }
        const JliLaunchData* data = static_cast<const JliLaunchData*>(handle);
        // A buffer of any other size is refused untouched: too small could
        // not hold the block, and larger means the caller measured something else.
        if (data->initJvmlLauncherData(nullptr) != bufferSize) {
            return nullptr;
        }
        data->initJvmlLauncherData(buffer);
        return static_cast<JvmlLauncherData*>(buffer);
    } catch (const std::runtime_error& e) {
        logCaughtError(CURRENT_SOURCE_POS, e);
    } catch (...) {
        logUnknownError(CURRENT_SOURCE_POS);
    }
    return nullptr;
}

} // extern "C"

namespace {

LaunchDataApi theLaunchDataApi = {closeHandle, getJvmlLauncherDataSize, initJvmlLauncherData};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

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

Jvm::Jvm() {
    TRACE_LOG("Jvm(" << static_cast<const void*>(this) << ")::Jvm()");
}

Jvm::~Jvm() {
    // What reportAndContinue does, written out so that the trace record
    // still names this function and not a lambda: building the record and
    // handing it to an appender may throw, and a destructor must not.
    try {
        TRACE_LOG("Jvm(" << static_cast<const void*>(this) << ")::~Jvm()");
    } catch (const std::runtime_error& e) {
        logCaughtError(CURRENT_SOURCE_POS, e);
    } catch (...) {
        logUnknownError(CURRENT_SOURCE_POS);
    }
}

Jvm& Jvm::addArgument(const tstring& value) {
    args.push_back(value);
    return *this;
}

Jvm& Jvm::addEnvVariable(const tstring& name, const tstring& value) {
    envVarNames.push_back(name);
    envVarValues.push_back(value);
    return *this;
}

Jvm& Jvm::initFromConfigFile(const CfgFile& cfgFile) {
    const CfgFile::Properties& appOptions = cfgFile.getProperties(CfgFile::application);

    auto it = appOptions.find(CfgFile::modulepath);
    if (it != appOptions.end()) {
        // One option for all entries: the runtime keeps only the last of
        // several --module-path options, which would drop the others.
        addArgument(L"--module-path");
        addArgument(CfgFile::pathListValue(*it));
    }

    it = appOptions.find(CfgFile::classpath);
    if (it != appOptions.end()) {
        addArgument(L"-classpath");
        addArgument(CfgFile::pathListValue(*it));
    }

    it = appOptions.find(CfgFile::splash);
    if (it != appOptions.end()) {
        const tstring splashPath = CfgFile::lastValue(*it);
        if (FileUtils::pathExists(splashPath)) {
            addArgument(L"-splash:" + splashPath);
        } else {
            WARNING_LOG("Splash property ignored. File \"" << splashPath << "\" not found");
        }
    }

    const CfgFile::Properties& javaOptions = cfgFile.getProperties(CfgFile::javaOptions);
    it = javaOptions.find(CfgFile::javaOptionsProperty);
    if (it != javaOptions.end()) {
        for (const tstring& value : it->second) {
            addArgument(value);
        }
    }

    addArgument(L"-Dvarno.app-path=" + SysInfo::getProcessModulePath());

    it = appOptions.find(CfgFile::mainmodule);
    if (it != appOptions.end()) {
        addArgument(L"-m");
        addArgument(CfgFile::lastValue(*it));
    }

    it = appOptions.find(CfgFile::mainclass);
    if (it != appOptions.end()) {
        addArgument(CfgFile::lastValue(*it));
    }

    it = appOptions.find(CfgFile::mainjar);
    if (it != appOptions.end()) {
        addArgument(L"-jar");
        addArgument(CfgFile::lastValue(*it));
    }

    const CfgFile::Properties& argOptions = cfgFile.getProperties(CfgFile::argOptions);
    it = argOptions.find(CfgFile::arguments);
    if (it != argOptions.end()) {
        for (const tstring& value : it->second) {
            addArgument(value);
        }
    }
    return *this;
}

bool Jvm::hasSplashOption() const {
    for (const tstring& arg : args) {
        if (tstrings::hasPrefix(arg, L"-splash:", tstrings::CaseMode::Exact)) {
            return true;
        }
    }
    return false;
}

void Jvm::applyEnvVariables() const {
    for (size_t i = 0; i < envVarNames.size(); ++i) {
        SysInfo::setEnvVariable(envVarNames[i], envVarValues[i]);
    }
}

LaunchDataHandle Jvm::exportLaunchData() const {
    return new JliLaunchData(*this);
}

void Jvm::launch() {
    LaunchDataHandle handle = exportLaunchData();
    // The handle belongs to createLaunchDataBuffer from here on.
    const std::unique_ptr<JvmlLauncherData, FreeDeleter> buffer(
        createLaunchDataBuffer(jvmLauncherGetAPI(), handle, nullptr));
    if (!buffer) {
        RAISE_ERROR(tstrings::MessageBuilder()
                    << "Failed to create the launch data of the JVM at \"" << path << "\"");
    }

    TRACE_LOG("JVM library: \"" << path << "\"");

    std::unique_ptr<DllFunction<void*>> jliLaunch;
    {
        // The function object holds a library reference of its own, so this
        // one can go at once.
        const Dll jli(path);
        jliLaunch.reset(new DllFunction<void*>(jli, L"JLI_Launch"));
    }

    const int rc = startJvmFromLaunchData(
        buffer.get(), reinterpret_cast<JLI_LaunchFunc>(static_cast<void*>(*jliLaunch)));
    if (rc != 0) {
        RAISE_ERROR("Failed to launch JVM");
    }
}
