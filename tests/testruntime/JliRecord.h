#ifndef MORV_TEST_JLIRECORD_H
#define MORV_TEST_JLIRECORD_H

// Reads the record that the test runtime's JLI_Launch writes (the format is
// described at the top of JliRuntime.cpp).

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace jlirecord {

// One JLI_Launch call, as the runtime received it.
struct Call {
    long long processId = 0;
    int argc = 0;
    std::vector<std::optional<std::string>> args;
    bool argvNullTerminated = false;
    int jargc = 0;
    bool jargvNull = false;
    int appclassc = 0;
    bool appclassvNull = false;
    std::optional<std::string> fullversion;
    std::optional<std::string> dotversion;
    std::optional<std::string> pname;
    std::optional<std::string> lname;
    int javaargs = 0;
    int cpwildcard = 0;
    int javaw = 0;
    int ergo = 0;
    // Every queried variable; no value when it was not set.
    std::map<std::string, std::optional<std::string>> env;
};

typedef std::pair<std::string, std::optional<std::string>> Entry;

inline std::vector<Entry> parseEntries(const std::string& data) {
    std::vector<Entry> entries;
    size_t pos = 0;
    while (pos < data.size()) {
        const size_t blank = data.find(' ', pos);
        if (blank == std::string::npos) {
            throw std::runtime_error("record entry without a value");
        }
        Entry entry;
        entry.first = data.substr(pos, blank - pos);
        pos = blank + 1;
        if (data.compare(pos, 2, "-\n") == 0) {
            pos += 2;
        } else {
            const size_t lengthEnd = data.find(' ', pos);
            if (lengthEnd == std::string::npos || lengthEnd == pos) {
                throw std::runtime_error("record entry without a length: " + entry.first);
            }
            const size_t length = std::stoul(data.substr(pos, lengthEnd - pos));
            pos = lengthEnd + 1;
            if (data.size() - pos < length + 1 || data[pos + length] != '\n') {
                throw std::runtime_error("record entry cut short: " + entry.first);
            }
            entry.second = data.substr(pos, length);
            pos += length + 1;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

// The calls recorded in the file, in order; none when the file does not
// exist. Raises std::runtime_error for a record that does not parse.
inline std::vector<Call> readRecord(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<Entry> entries = parseEntries(data);

    std::vector<Call> calls;
    const auto number = [](const Entry& e) {
        if (!e.second) {
            throw std::runtime_error("null number: " + e.first);
        }
        return std::stoll(*e.second);
    };
    for (const Entry& e : entries) {
        if (e.first == "call") {
            calls.emplace_back();
            calls.back().processId = number(e);
            continue;
        }
        if (calls.empty()) {
            throw std::runtime_error("record entry before any call: " + e.first);
        }
        Call& c = calls.back();
        const std::string& key = e.first;
        if (key == "argc") {
            c.argc = static_cast<int>(number(e));
        } else if (key == "arg") {
            c.args.push_back(e.second);
        } else if (key == "argv-end") {
            c.argvNullTerminated = e.second == std::string("null");
        } else if (key == "jargc") {
            c.jargc = static_cast<int>(number(e));
        } else if (key == "jargv") {
            c.jargvNull = e.second == std::string("null");
        } else if (key == "appclassc") {
            c.appclassc = static_cast<int>(number(e));
        } else if (key == "appclassv") {
            c.appclassvNull = e.second == std::string("null");
        } else if (key == "fullversion") {
            c.fullversion = e.second;
        } else if (key == "dotversion") {
            c.dotversion = e.second;
        } else if (key == "pname") {
            c.pname = e.second;
        } else if (key == "lname") {
            c.lname = e.second;
        } else if (key == "javaargs") {
            c.javaargs = static_cast<int>(number(e));
        } else if (key == "cpwildcard") {
            c.cpwildcard = static_cast<int>(number(e));
        } else if (key == "javaw") {
            c.javaw = static_cast<int>(number(e));
        } else if (key == "ergo") {
            c.ergo = static_cast<int>(number(e));
        } else if (key == "env" && e.second) {
            const size_t eq = e.second->find('=');
            if (eq == std::string::npos) {
                throw std::runtime_error("env entry without '=': " + *e.second);
            }
            c.env[e.second->substr(0, eq)] = e.second->substr(eq + 1);
        } else if (key == "env-unset" && e.second) {
            c.env[*e.second] = std::nullopt;
        } else {
            throw std::runtime_error("unknown record entry: " + key);
        }
    }
    return calls;
}

} // namespace jlirecord

#endif
