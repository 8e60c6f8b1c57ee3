#ifndef MORV_TESTS_BRIDGE_TEXT_FILES_H_
#define MORV_TESTS_BRIDGE_TEXT_FILES_H_

// Source files as the bridge reads them, for the bridge tests and the
// benchmarks alike: read whole, then turned into UTF-16.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// UTF-8 to UTF-16; malformed bytes become U+FFFD.
inline std::u16string widen(const std::string &utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > utf8.size()) {
      out.push_back(0xfffd);
      ++i;
      continue;
    }
    uint32_t code = length == 1 ? c : c & (0x7f >> length);
    for (size_t k = 1; k < length; ++k) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3f);
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xd800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xdc00 + (code & 0x3ff)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  return out;
}

// The file's bytes; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

#endif  // MORV_TESTS_BRIDGE_TEXT_FILES_H_
