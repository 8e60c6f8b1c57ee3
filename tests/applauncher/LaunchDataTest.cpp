#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "JvmLauncher.h"
#include "TestSupport.h"

using testsupport::ScopedEnv;

namespace {

struct Decoded {
    std::string libraryPath;
    std::vector<std::string> args;
    std::vector<std::u16string> names;
    std::vector<std::u16string> values;
};

template <class T>
T loadAt(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Walks the block the way its layout prescribes: every piece must start
// right where the previous one ended, and the last one end at `size`.
// Returns an empty text when it does, else what is out of place.
std::string decode(const void* block, std::int32_t size, Decoded& out) {
    const char* base = static_cast<const char*>(block);
    const char* at = base + 40;
    const auto expectPointer = [&](const char* value, const char* what) -> std::string {
        if (value != at) {
            return std::string(what) + " at offset " + std::to_string(value - base) +
                   ", expected " + std::to_string(at - base);
        }
        return std::string();
    };
    std::string err;
    if (!(err = expectPointer(loadAt<const char*>(base), "libraryPath")).empty()) {
        return err;
    }
    out.libraryPath = at;
    at += out.libraryPath.size() + 1;

    const std::int32_t argCount = loadAt<std::int32_t>(base + 8);
    const std::int32_t envCount = loadAt<std::int32_t>(base + 12);
    const char* argArray = loadAt<const char*>(base + 16);
    if (!(err = expectPointer(argArray, "args")).empty()) {
        return err;
    }
    at += 8 * (static_cast<size_t>(argCount) + 1);
    for (std::int32_t i = 0; i < argCount; ++i) {
        if (!(err = expectPointer(loadAt<const char*>(argArray + 8 * i), "argument")).empty()) {
            return err + " " + std::to_string(i);
        }
        out.args.emplace_back(at);
        at += out.args.back().size() + 1;
    }
    if (loadAt<const char*>(argArray + 8 * argCount) != nullptr) {
        return "argument array without null end";
    }

    const auto texts = [&](const char* array, const char* what,
                           std::vector<std::u16string>& into) -> std::string {
        std::string e = expectPointer(array, what);
        if (!e.empty()) {
            return e;
        }
        at += 8 * static_cast<size_t>(envCount);
        for (std::int32_t i = 0; i < envCount; ++i) {
            e = expectPointer(loadAt<const char*>(array + 8 * i), what);
            if (!e.empty()) {
                return e + " " + std::to_string(i);
            }
            std::u16string text;
            for (char16_t unit; (unit = loadAt<char16_t>(at)) != 0; at += 2) {
                text.push_back(unit);
            }
            at += 2;
            into.push_back(text);
        }
        return std::string();
    };
    if (!(err = texts(loadAt<const char*>(base + 24), "envNames", out.names)).empty() ||
        !(err = texts(loadAt<const char*>(base + 32), "envValues", out.values)).empty()) {
        return err;
    }
    if (at != base + size) {
        return "block ends at " + std::to_string(at - base) + ", size is " + std::to_string(size);
    }
    return std::string();
}

struct FreeBlock {
    void operator()(void* p) const { std::free(p); }
};
typedef std::unique_ptr<JvmlLauncherData, FreeBlock> Block;

Block bufferOf(const Jvm& jvm, std::int32_t* size) {
    return Block(createLaunchDataBuffer(jvmLauncherGetAPI(), jvm.exportLaunchData(), size));
}

TEST(LaunchData, TheEightyByteExample) {
    Jvm jvm;
    jvm.setPath(L"0123456789").addArgument(L"x").addArgument(L"yz");
    std::int32_t size = 0;
    const Block block = bufferOf(jvm, &size);
    ASSERT_TRUE(block);
    EXPECT_EQ(size, 80);
    const char* base = reinterpret_cast<const char*>(block.get());
    EXPECT_EQ(block->libraryPath, base + 40);
    EXPECT_STREQ(block->libraryPath, "0123456789");
    EXPECT_EQ(block->argCount, 2);
    EXPECT_EQ(block->envCount, 0);
    EXPECT_EQ(reinterpret_cast<const char*>(block->args), base + 51);
    EXPECT_EQ(loadAt<const char*>(base + 51), base + 75);
    EXPECT_EQ(loadAt<const char*>(base + 59), base + 77);
    EXPECT_EQ(loadAt<const char*>(base + 67), nullptr);
    EXPECT_EQ(std::memcmp(base + 75, "x\0yz\0", 5), 0);
    EXPECT_EQ(reinterpret_cast<const char*>(block->envNames), base + 80);
    EXPECT_EQ(reinterpret_cast<const char*>(block->envValues), base + 80);
}

TEST(LaunchData, LayoutOfSmallCases) {
    struct Case {
        tstring path;
        tstring_array args;
        tstring_array names;
        tstring_array values;
        std::int32_t size;
    };
    const Case cases[] = {
        {L"", {}, {}, {}, 40 + 1 + 8},
        {L"p", {}, {L"A"}, {L"b"}, 40 + 2 + 8 + 8 + 4 + 8 + 4},
        {L"lib", {L""}, {L"N1", L"N2"}, {L"", L"v2"}, 40 + 4 + 16 + 1 + 16 + 12 + 16 + 2 + 6},
        {L"\u00E9", {L"a"}, {L"\U0001F600"}, {L"\u20AC"}, 40 + 3 + 16 + 2 + 8 + 6 + 8 + 4},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        Jvm jvm;
        jvm.setPath(c.path);
        for (const tstring& a : c.args) {
            jvm.addArgument(a);
        }
        for (size_t k = 0; k < c.names.size(); ++k) {
            jvm.addEnvVariable(c.names[k], c.values[k]);
        }
        std::int32_t size = 0;
        const Block block = bufferOf(jvm, &size);
        ASSERT_TRUE(block) << "case " << i;
        EXPECT_EQ(size, c.size) << "case " << i;
        Decoded d;
        EXPECT_EQ(decode(block.get(), size, d), "") << "case " << i;
        EXPECT_EQ(d.names.size(), c.names.size()) << "case " << i;
    }
}

tstring randomText(std::mt19937& rng, size_t maxLength) {
    static const wchar_t* const pieces[] = {L"a", L"Z", L"0", L" ", L"-", L"=", L"\\", L"\u00E9",
                                            L"\u00FC", L"\u65E5", L"\u20AC", L"\U0001F600"};
    const size_t length = std::uniform_int_distribution<size_t>(0, maxLength)(rng);
    tstring text;
    for (size_t i = 0; i < length; ++i) {
        text += pieces[std::uniform_int_distribution<size_t>(0, 11)(rng)];
    }
    return text;
}

TEST(LaunchData, DecodesBackToTheJvm) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 200; ++round) {
        Jvm jvm;
        jvm.setPath(randomText(rng, round % 10 == 0 ? 2000 : 60));
        const int argCount = std::uniform_int_distribution<int>(0, round % 20 == 0 ? 300 : 12)(rng);
        for (int i = 0; i < argCount; ++i) {
            jvm.addArgument(randomText(rng, i % 7 == 0 ? 5000 : 40));
        }
        const int envCount = std::uniform_int_distribution<int>(0, 6)(rng);
        for (int i = 0; i < envCount; ++i) {
            jvm.addEnvVariable(randomText(rng, 30), randomText(rng, round % 3 == 0 ? 3000 : 30));
        }

        const LaunchDataApi* api = jvmLauncherGetAPI();
        LaunchDataHandle handle = jvm.exportLaunchData();
        const std::int32_t measured = api->getJvmlLauncherDataSize(handle);
        api->closeHandle(handle);

        std::int32_t size = -7;
        const Block block = bufferOf(jvm, &size);
        ASSERT_TRUE(block) << "round " << round;
        EXPECT_EQ(size, measured) << "round " << round;
        Decoded d;
        ASSERT_EQ(decode(block.get(), size, d), "") << "round " << round;

        EXPECT_EQ(d.libraryPath, tstrings::encodeUtf8(jvm.getPath())) << "round " << round;
        std::vector<std::string> args;
        for (const tstring& a : jvm.getArguments()) {
            args.push_back(tstrings::encodeAnsi(a));
        }
        EXPECT_EQ(d.args, args) << "round " << round;
        std::vector<std::u16string> names;
        std::vector<std::u16string> values;
        for (size_t i = 0; i < jvm.getEnvVarNames().size(); ++i) {
            names.push_back(tstrings::toUtf16(jvm.getEnvVarNames()[i]));
            values.push_back(tstrings::toUtf16(jvm.getEnvVarValues()[i]));
        }
        EXPECT_EQ(d.names, names) << "round " << round;
        EXPECT_EQ(d.values, values) << "round " << round;
    }
}

TEST(LaunchData, WritesOnlyIntoABufferOfTheMeasuredSize) {
    Jvm jvm;
    jvm.setPath(L"lib").addArgument(L"arg").addEnvVariable(L"N", L"v");
    const LaunchDataApi* api = jvmLauncherGetAPI();
    LaunchDataHandle handle = jvm.exportLaunchData();
    const std::int32_t size = api->getJvmlLauncherDataSize(handle);
    ASSERT_GT(size, 40);

    const size_t slack = 64;
    std::vector<unsigned char> memory(static_cast<size_t>(size) + slack, 0xA5);
    for (const std::int32_t wrong : {size - 1, size + 1, 0, -1, 1}) {
        EXPECT_EQ(api->initJvmlLauncherData(handle, memory.data(), wrong), nullptr)
            << "size " << wrong;
        for (unsigned char byte : memory) {
            ASSERT_EQ(byte, 0xA5) << "written with size " << wrong;
        }
    }
    EXPECT_EQ(api->initJvmlLauncherData(handle, nullptr, size), nullptr);
    EXPECT_EQ(api->initJvmlLauncherData(handle, memory.data(), size),
              reinterpret_cast<JvmlLauncherData*>(memory.data()));
    for (size_t i = static_cast<size_t>(size); i < memory.size(); ++i) {
        ASSERT_EQ(memory[i], 0xA5) << "byte " << i << " beyond the block";
    }
    Decoded d;
    EXPECT_EQ(decode(memory.data(), size, d), "");
    api->closeHandle(handle);
}

TEST(LaunchData, TableAndNullHandles) {
    LaunchDataApi* api = jvmLauncherGetAPI();
    ASSERT_NE(api, nullptr);
    EXPECT_EQ(api, jvmLauncherGetAPI());
    EXPECT_NE(api->closeHandle, nullptr);
    EXPECT_NE(api->getJvmlLauncherDataSize, nullptr);
    EXPECT_NE(api->initJvmlLauncherData, nullptr);
    api->closeHandle(nullptr);
    EXPECT_EQ(api->getJvmlLauncherDataSize(nullptr), -1);
    char buffer[64];
    EXPECT_EQ(api->initJvmlLauncherData(nullptr, buffer, 64), nullptr);
    std::int32_t size = 12345;
    EXPECT_EQ(createLaunchDataBuffer(api, nullptr, &size), nullptr);
    EXPECT_EQ(size, 12345);
}

// A table whose answers a test chooses, counting how often the handle is closed.
struct FakeTable {
    static std::int32_t sizeAnswer;
    static bool initSucceeds;
    static int closed;
    static void close(LaunchDataHandle) { ++closed; }
    static std::int32_t size(LaunchDataHandle) { return sizeAnswer; }
    static JvmlLauncherData* init(LaunchDataHandle, void* buffer, std::int32_t) {
        return initSucceeds ? static_cast<JvmlLauncherData*>(buffer) : nullptr;
    }
};
std::int32_t FakeTable::sizeAnswer = 0;
bool FakeTable::initSucceeds = false;
int FakeTable::closed = 0;

TEST(LaunchData, CreateBufferAlwaysReleasesTheHandle) {
    LaunchDataApi api = {FakeTable::close, FakeTable::size, FakeTable::init};
    int handleObject = 0;
    struct Case {
        std::int32_t size;
        bool initSucceeds;
        bool result;
    };
    const Case cases[] = {{0, true, false}, {-1, true, false}, {48, false, false}, {48, true, true}};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        FakeTable::sizeAnswer = cases[i].size;
        FakeTable::initSucceeds = cases[i].initSucceeds;
        FakeTable::closed = 0;
        std::int32_t size = -99;
        JvmlLauncherData* block = createLaunchDataBuffer(&api, &handleObject, &size);
        EXPECT_EQ(block != nullptr, cases[i].result) << "case " << i;
        EXPECT_EQ(size, cases[i].result ? cases[i].size : -99) << "case " << i;
        EXPECT_EQ(FakeTable::closed, 1) << "case " << i;
        std::free(block);
    }
}

TEST(LaunchData, DebugPrintOnlyWithDebugSwitch) {
    struct Case {
        std::optional<std::string> value;
        std::string expected;
    };
    const Case cases[] = {
        {std::string("true"), "n=5 [x]\n"},
        {std::string("TRUE"), ""},
        {std::string("1"), ""},
        {std::string("true "), ""},
        {std::nullopt, ""},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        ScopedEnv debug("VARNO_DEBUG", cases[i].value);
        testing::internal::CaptureStderr();
        debugPrint("n=%d [%s]", 5, "x");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), cases[i].expected) << "case " << i;
    }
}

} // namespace
