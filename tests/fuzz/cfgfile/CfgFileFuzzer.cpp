// Feeds arbitrary bytes to CfgFile::load as a configuration file and expands
// the macros of whatever it parsed. Lines that are not UTF-8 are decoded, not
// dropped: every line must come back as its own bytes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "CfgFile.h"
#include "Log.h"
#include "TextFile.h"

namespace {

// One file per fuzzer process, rewritten for every input.
const std::string& inputPath() {
    // In memory where there is such a file system: a disk's write-back
    // would cost more than the parse of each input.
    static const std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    static const std::string path =
        dir + "/morv-cfgfile-fuzz-" + std::to_string(static_cast<long long>(getpid())) + ".cfg";
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

    // Each line, however malformed, decodes to a text that encodes back to
    // the same bytes (byte for byte here), and never to nothing.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string::size_type start = 0;
    while (start < bytes.size()) {
        std::string::size_type end = bytes.find('\n', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        const std::string line = bytes.substr(start, end - start);
        const tstring text = textfile::decodeLine(line, L"fuzz.cfg", 1);
        if (text.empty() != line.empty() || tstrings::encodeUtf8(text) != line) {
            std::abort();
        }
        if (tstrings::isValidUtf8(line) && text != tstrings::decodeUtf8(line)) {
            std::abort();
        }
        start = end + 1;
    }

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
