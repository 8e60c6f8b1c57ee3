#include "ErrorHandling.h"

#include <cstring>

#include "Log.h"

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// The white space of isspace() in the "C" locale; spelled out so that the
// result does not depend on the locale a host program may have set.
bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string trimRight(const std::string& s) {
    std::string::size_type end = s.size();
    while (end > 0 && isCSpace(s[end - 1])) {
        --end;
    }
    return s.substr(0, end);
}

std::string trim(const std::string& s) {
    std::string::size_type begin = 0;
    while (begin < s.size() && isCSpace(s[begin])) {
        ++begin;
    }
    return trimRight(s.substr(begin));
}

void logError(const SourcePos& pos, const tstrings::MessageBuilder& msg) {
    // The threshold is not consulted: a caught failure is always written.
    LogRouter::instance().log(ERROR, logSourceFile(pos.file), pos.line,
                              logFunctionName(pos.function), msg);
}

} // namespace

std::string functionName(const char* compilerName) {
    if (!compilerName) {
        return std::string();
    }
    std::string name(compilerName);
    // Helpers private to a source file are named without their anonymous
    // namespace, as the reader of a record knows them.
    for (const char* anonymous : {"{anonymous}::", "(anonymous namespace)::"}) {
        const std::string marker(anonymous);
        for (std::string::size_type at = name.find(marker); at != std::string::npos;
             at = name.find(marker, at)) {
            name.erase(at, marker.size());
        }
    }
    // GCC appends the template arguments: "... [with T = int]".
    const std::string::size_type with = name.find(" [with ");
    if (with != std::string::npos) {
        name.erase(with);
    }
    // The parameter list is the last balanced "(...)"; anything after it
    // (const, noexcept, ref-qualifiers) is dropped with it.
    const std::string::size_type close = name.rfind(')');
    if (close == std::string::npos) {
        return name;
    }
    int depth = 0;
    std::string::size_type open = std::string::npos;
    for (std::string::size_type i = close + 1; i-- > 0;) {
        if (name[i] == ')') {
            ++depth;
        } else if (name[i] == '(') {
            if (--depth == 0) {
                open = i;
                break;
            }
        }
    }
    if (open == std::string::npos || open == 0) {
        return name;
    }
    name.erase(open);
    // The return type is separated by the last blank outside of <...> and
    // (...) (template arguments and "operator()" may hold blanks or parens).
    int angle = 0;
    int paren = 0;
    for (std::string::size_type i = name.size(); i-- > 0;) {
        const char c = name[i];
        if (c == '>') {
            ++angle;
        } else if (c == '<' && angle > 0) {
            --angle;
        } else if (c == ')') {
            ++paren;
        } else if (c == '(' && paren > 0) {
            --paren;
        } else if (c == ' ' && angle == 0 && paren == 0) {
            // "operator new", "operator T" and the like keep their blank.
            const std::string head = name.substr(0, i);
            const std::string kOperator = "operator";
            if (head.size() >= kOperator.size() &&
                head.compare(head.size() - kOperator.size(), kOperator.size(), kOperator) == 0) {
                continue;
            }
            return name.substr(i + 1);
        }
    }
    return name;
}

std::string baseFileName(const char* path) {
    if (!path) {
        return std::string();
    }
    const char* base = path;
    for (const char* p = path; *p; ++p) {
        if (isSeparator(*p)) {
            base = p + 1;
        }
    }
    return base;
}

std::string makeLocatedMessage(const SourcePos& pos, const char* message) {
    std::string text = baseFileName(pos.file);
    text += "(";
    text += std::to_string(pos.line);
    text += ") at ";
    text += functionName(pos.function);
    text += "(): ";
    text += message ? message : "";
    return text;
}

SysError::SysError(const tstrings::MessageBuilder& message, const void* function,
                   std::uint32_t errorCode, const char* label)
    : std::runtime_error(makeMessage(message.utf8(), label, function, errorCode)) {}

VnError<std::runtime_error> withSourcePos(const std::runtime_error& e, const SourcePos& pos) {
    return VnError<std::runtime_error>(e, pos);
}

VnError<SysError> withSourcePos(const SysError& e, const SourcePos& pos) {
    return VnError<SysError>(e, pos);
}

VnError<std::runtime_error> withSourcePos(const std::string& utf8, const SourcePos& pos) {
    return VnError<std::runtime_error>(std::runtime_error(utf8), pos);
}

VnError<std::runtime_error> withSourcePos(const char* utf8, const SourcePos& pos) {
    return VnError<std::runtime_error>(std::runtime_error(utf8 ? utf8 : ""), pos);
}

VnError<std::runtime_error> withSourcePos(const tstrings::MessageBuilder& msg, const SourcePos& pos) {
    return VnError<std::runtime_error>(std::runtime_error(msg.utf8()), pos);
}

void logCaughtError(const SourcePos& pos, const std::runtime_error& e) {
    // Called from handlers and destructors: a failure of logging itself has
    // nowhere to go and must not escape.
    try {
        tstrings::MessageBuilder msg;
        msg << "Exception with message '" << caughtErrorText(e.what()) << "' caught";
        logError(pos, msg);
    } catch (...) {
    }
}

void logUnknownError(const SourcePos& pos) {
    try {
        logError(pos, tstrings::MessageBuilder() << "Unknown exception caught");
    } catch (...) {
    }
}

tstring caughtErrorText(const char* text) {
    const std::string narrow(text ? text : "");
    if (!tstrings::isValidUtf8(narrow)) {
        return (tstrings::MessageBuilder() << narrow.c_str()).str();
    }
    return tstrings::decodeUtf8(narrow);
}

void raiseSysError(const SourcePos& pos, const void* function, std::uint32_t errorCode,
                   const tstrings::MessageBuilder& message) {
    throw withSourcePos(SysError(message, function, errorCode), pos);
}

void reportAndContinue(const SourcePos& pos, const std::function<void()>& body) {
    try {
        body();
    } catch (const std::runtime_error& e) {
        logCaughtError(pos, e);
    } catch (...) {
        logUnknownError(pos);
    }
}

std::string makeMessage(const std::string& message, const char* label, const void* function,
                        std::uint32_t errorCode) {
    std::string second = label ? label : "Some error";
    second += " [";
    second += std::to_string(errorCode);
    second += "]";

    void* module = nullptr;
    bool describe = true;
    if (function) {
        module = findModuleOfAddress(function);
        if (!module) {
            WARNING_LOG("GetModuleHandleEx() failed for " << function << " address.");
            describe = false;
        }
    }
    if (describe) {
        second += "(";
        second += tstrings::encodeUtf8(systemErrorText(errorCode, module));
        second += ")";
    }
    return joinMessages(message, second);
}

tstring systemErrorText(std::uint32_t errorCode, void* module) {
    return (tstrings::MessageBuilder() << "system error " << errorCode << " ("
                                       << describeSystemError(errorCode, module) << ")")
        .str();
}

std::string joinMessages(const std::string& first, const std::string& second) {
    std::string result = trimRight(first);
    std::string separator;
    if (!result.empty()) {
        const char last = result.back();
        separator = (last != '\0' && std::strchr(";.,:!?", last)) ? " " : ". ";
    }
    const std::string tail = trim(second);
    if (!tail.empty()) {
        result += separator;
        result += tail;
    }
    return result;
}
