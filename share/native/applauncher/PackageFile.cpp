#include "PackageFile.h"

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"
#include "TextFile.h"

PackageFile PackageFile::loadFromAppDir(const tstring& appDir) {
    const tstring path = FileUtils::combinePath(appDir, L".package");
    if (!FileUtils::pathExists(path)) {
        return PackageFile(tstring());
    }

    TRACE_LOG("Read \"" << path << "\" package file");

    std::ifstream input;
    if (!textfile::open(path, input)) {
        RAISE_ERROR(tstrings::MessageBuilder()
                    << "Error opening \"" << path << "\" file: " << crtErrorText());
    }

    std::string line;
    if (!textfile::readLine(input, line)) {
        return PackageFile(tstring());
    }
    // A byte-order mark would become part of the name and send the per-user
    // look-up to a directory nobody created.
    textfile::skipByteOrderMark(line);

    const tstring name = textfile::decodeLine(line, path, 1);
    TRACE_LOG("Package name is [" << name << "]");
    return PackageFile(name);
}
