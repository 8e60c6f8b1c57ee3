#ifndef MORV_TEST_CHILDREPORT_H
#define MORV_TEST_CHILDREPORT_H

// Reads the report FrontendChild writes (format at the top of FrontendChild.cpp).

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "WinText.h"

struct ChildReport {
    bool present = false;
    std::vector<std::wstring> crtArgs;
    std::vector<std::wstring> splitArgs;
    std::map<std::string, unsigned long> numbers;
};

inline std::wstring decodeHexUtf8(const std::string& hex) {
    std::string bytes;
    for (size_t i = 1; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return testsupport::utf16(bytes);
}

inline ChildReport readChildReport(const std::wstring& path) {
    ChildReport report;
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) {
        return report;
    }
    report.present = true;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key, value;
        fields >> key >> value;
        if (key == "crt") {
            report.crtArgs.push_back(decodeHexUtf8(value));
        } else if (key == "ctoa") {
            report.splitArgs.push_back(decodeHexUtf8(value));
        } else if (!key.empty()) {
            report.numbers[key] = std::stoul(value);
        }
    }
    return report;
}

#endif
