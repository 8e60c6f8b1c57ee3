// Feeds arbitrary bytes to CfgFile::load as a configuration file and expands
// the macros of whatever it parsed.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "CfgFile.h"
#include "Log.h"

namespace {

// One file per fuzzer process, rewritten for every input.
const std::string& inputPath() {
    static const std::string path =
        "/tmp/morv-cfgfile-fuzz-" + std::to_string(static_cast<long long>(getpid())) + ".cfg";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static NopLogAppender quiet;
    LogRouter::instance().setAppender(&quiet);
    std::atexit([] { std::remove(inputPath().c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(inputPath().c_str(), "wb");
    if (!file) {
        return 0;
    }
    if (size != 0) {
        std::fwrite(data, 1, size, file);
    }
    std::fclose(file);

    try {
        const CfgFile cfg = CfgFile::load(tstrings::decodeUtf8(inputPath()));
        const CfgFile::Macros macros = {
            {L"APPDIR", L"C:\\app\\$BINDIR"},
            {L"BINDIR", L"C:\\bin\\${APPDIR}"},
            {L"ROOTDIR", L"C:\\"},
        };
        const CfgFile expanded = cfg.expandMacros(macros);
        for (const auto& section : expanded.getSections()) {
            for (const auto& property : section.second) {
                if (property.second.empty()) {
                    // A property is present only with at least one value.
                    std::abort();
                }
                CfgFile::booleanValue(property);
                CfgFile::pathListValue(property);
            }
        }
    } catch (const std::runtime_error&) {
        // "Error parsing" is the expected answer to many inputs.
    }
    return 0;
}
