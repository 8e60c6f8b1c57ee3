#ifndef MORV_TEST_APPLAUNCHER_SUPPORT_H
#define MORV_TEST_APPLAUNCHER_SUPPORT_H

#include <filesystem>
#include <string>
#include <vector>

#include "Environment.h"
#include "Log.h"
#include "TempDir.h"
#include "tstrings.h"

namespace testsupport {

namespace fs = std::filesystem;

inline tstring toT(const fs::path& p) {
#ifdef _WIN32
    return p.wstring();
#else
    return tstrings::decodeUtf8(p.string());
#endif
}

// A path built by the launcher as the file system names it.
inline fs::path toFs(const tstring& p) {
#ifdef _WIN32
    return fs::path(p);
#else
    return fs::path(tstrings::encodeUtf8(p));
#endif
}

// Collects the log records written while it lives.
class CapturedLog : public LogAppender {
public:
    CapturedLog() : saved(LogRouter::instance().getAppender()) {
        LogRouter::instance().setAppender(this);
    }
    ~CapturedLog() override { LogRouter::instance().setAppender(saved); }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    void append(const LogRecord& record) override { records.push_back(record); }

    std::vector<tstring> messages(const tstring& level = tstring()) const {
        std::vector<tstring> out;
        for (const LogRecord& r : records) {
            if (level.empty() || r.levelName == level) {
                out.push_back(r.message);
            }
        }
        return out;
    }

    // The function each record names, for the records of `level`.
    std::vector<tstring> functions(const tstring& level) const {
        std::vector<tstring> out;
        for (const LogRecord& r : records) {
            if (r.levelName == level) {
                out.push_back(r.functionName);
            }
        }
        return out;
    }

    std::vector<LogRecord> records;

private:
    LogAppender* saved;
};

} // namespace testsupport

#endif
