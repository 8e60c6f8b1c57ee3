#include "TextFile.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "LaunchPlatform.h"
#include "Log.h"

namespace textfile {

bool open(const tstring& path, std::ifstream& stream) {
    const std::filesystem::path fsPath = toFileSystemPath(path);
    std::error_code ec;
    if (std::filesystem::is_directory(fsPath, ec)) {
        errno = EISDIR;
        return false;
    }
    errno = 0;
    // Binary mode: the line ends are handled in readLine, and a Ctrl-Z byte
    // must not end the file early as it would in a Windows text stream.
    stream.open(fsPath, std::ios::in | std::ios::binary);
    return stream.is_open();
}

bool readLine(std::istream& stream, std::string& line) {
    if (!std::getline(stream, line)) {
        return false;
    }
    // getline stops at the end of the file without a LF, and only then sets
    // eof: a CR there is part of the line.
    if (!stream.eof() && !line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

tstring decodeLine(const std::string& line, const tstring& path, int lineNumber) {
    if (tstrings::isValidUtf8(line)) {
        return tstrings::decodeUtf8(line);
    }
    WARNING_LOG("Line " << lineNumber << " of \"" << path
                        << "\" file is not valid UTF-8; read in the system's legacy encoding");
    return tstrings::decodeLegacyText(line);
}

void skipByteOrderMark(std::string& line) {
    static const char bom[] = "\xEF\xBB\xBF";
    if (line.compare(0, 3, bom) == 0) {
        line.erase(0, 3);
    }
}

} // namespace textfile
