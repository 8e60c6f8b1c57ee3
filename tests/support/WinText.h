#ifndef MORV_TESTSUPPORT_WINTEXT_H
#define MORV_TESTSUPPORT_WINTEXT_H

// UTF-8 and the UTF-16 of the Windows API, converted by the system itself
// rather than by the code under test.

#include <string>

namespace testsupport {

std::string utf8(const std::wstring& text);
std::wstring utf16(const std::string& text);

} // namespace testsupport

#endif
