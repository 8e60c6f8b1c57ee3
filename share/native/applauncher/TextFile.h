#ifndef MORV_TEXTFILE_H
#define MORV_TEXTFILE_H

#include <fstream>
#include <string>

#include "tstrings.h"

// Line-wise reading of the launcher's small UTF-8 text files.
namespace textfile {

// Opens `path` for reading bytes. False when it cannot be opened, with errno
// describing why. A directory is refused here, so that it fails to open on
// every platform alike and not only where the C runtime refuses it.
bool open(const tstring& path, std::ifstream& stream);

// The next line without its line end: a line ends at LF, and a CR directly
// before that LF is dropped with it. False when no further line could be read.
bool readLine(std::istream& stream, std::string& line);

// The text of line `lineNumber` of the file at `path`. UTF-8 as a rule; a
// line that is not (written by an editor that saves in the system's legacy
// code page) is decoded with tstrings::decodeLegacyText rather than lost,
// and a WARNING record names the file and the line.
tstring decodeLine(const std::string& line, const tstring& path, int lineNumber);

// Drops a UTF-8 byte-order mark at the start of `line`. Editors such as
// Notepad write one in front of the first line of a file.
void skipByteOrderMark(std::string& line);

} // namespace textfile

#endif
