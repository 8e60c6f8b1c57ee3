#ifndef MORV_ERRORHANDLING_H
#define MORV_ERRORHANDLING_H

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "tstrings.h"

// Where an error was raised or caught. The texts are static, never owned.
struct SourcePos {
    const char* file;
    const char* function;
    int line;
};

// The enclosing function as the compiler spells it. GCC's full signature is
// cut down to the qualified name by functionName() wherever it is shown.
#if defined(_MSC_VER)
#define MORV_FUNCTION __FUNCTION__
#else
#define MORV_FUNCTION __PRETTY_FUNCTION__
#endif

#define CURRENT_SOURCE_POS (SourcePos{__FILE__, MORV_FUNCTION, __LINE__})

// "static CfgFile CfgFile::load(const tstring&)" -> "CfgFile::load"; a name
// without return type and parameters is returned unchanged.
std::string functionName(const char* compilerName);
// The text after the last '\\' or '/', the whole path without either.
std::string baseFileName(const char* path);

// The user-facing side of every error the launcher raises itself.
class VnErrorBase {
public:
    // The message without source position, UTF-8.
    virtual const char* plainMessage() const = 0;

protected:
    VnErrorBase() = default;
    VnErrorBase(const VnErrorBase&) = default;
    VnErrorBase& operator=(const VnErrorBase&) = default;
    // Errors are destroyed through their standard exception side.
    ~VnErrorBase() = default;
};

// A failed platform call. The code, label and failing function live only in
// the text, which is built once here.
class SysError : public std::runtime_error {
public:
    SysError(const tstrings::MessageBuilder& message, const void* function,
             std::uint32_t errorCode, const char* label = "System error");
};

// T with the source position of its raise site in front of what().
template <class T>
class VnError : public VnErrorBase, public T {
public:
    VnError(const T& e, const SourcePos& pos);

    const char* plainMessage() const override { return T::what(); }
    const char* what() const noexcept override { return locatedMessage.c_str(); }

private:
    std::string locatedMessage;
};

// "<file base name>(<line>) at <function>(): <message>"
std::string makeLocatedMessage(const SourcePos& pos, const char* message);

template <class T>
VnError<T>::VnError(const T& e, const SourcePos& pos)
    : T(e), locatedMessage(makeLocatedMessage(pos, e.what())) {}

VnError<std::runtime_error> withSourcePos(const std::runtime_error& e, const SourcePos& pos);
VnError<SysError> withSourcePos(const SysError& e, const SourcePos& pos);
VnError<std::runtime_error> withSourcePos(const std::string& utf8, const SourcePos& pos);
VnError<std::runtime_error> withSourcePos(const char* utf8, const SourcePos& pos);
VnError<std::runtime_error> withSourcePos(const tstrings::MessageBuilder& msg, const SourcePos& pos);

#define RAISE_ERROR(x) throw withSourcePos((x), CURRENT_SOURCE_POS)

// The platform's last error code of the calling thread: GetLastError() on
// Windows, errno on POSIX systems. Read it right after the failing call;
// any later call may overwrite it.
std::uint32_t lastSysErrorCode();

// The address of a failing platform function, for the module whose message
// table describes its error codes.
template <class F>
const void* sysFunctionAddress(F* function) {
    return reinterpret_cast<const void*>(function);
}

// Throws the SysError of a failed platform call, located at `pos`.
[[noreturn]] void raiseSysError(const SourcePos& pos, const void* function,
                                std::uint32_t errorCode, const tstrings::MessageBuilder& message);

// A failed platform call: `function` failed with `code`; `msg` is streamed
// into a tstrings::MessageBuilder.
#define RAISE_SYS_ERROR_CODE(function, code, msg)                                               \
    raiseSysError(CURRENT_SOURCE_POS, sysFunctionAddress(function), (code),                    \
                  tstrings::MessageBuilder() << msg)

// A failed platform call whose code is the last error, located at `pos`.
// The code is read first, before building the message can overwrite it.
#define RAISE_SYS_ERROR_AT(pos, function, msg)                                                  \
    do {                                                                                       \
        const std::uint32_t morvSysErrorCode_ = lastSysErrorCode();                            \
        raiseSysError((pos), sysFunctionAddress(function), morvSysErrorCode_,                  \
                      tstrings::MessageBuilder() << msg);                                      \
    } while (false)

// The same, located where it is written.
#define RAISE_SYS_ERROR(function, msg) RAISE_SYS_ERROR_AT(CURRENT_SOURCE_POS, function, msg)

void logCaughtError(const SourcePos& pos, const std::runtime_error& e);
void logUnknownError(const SourcePos& pos);

// A caught exception's text as it is shown: decoded as UTF-8, which it is
// meant to be; a text that is not (one from the C runtime in some code page)
// is widened byte by byte rather than lost.
tstring caughtErrorText(const char* text);

// Runs `body`; whatever escapes it is logged as an ERROR record and dropped.
// Destructors, scope-end objects and functions called from C run their work
// through this.
void reportAndContinue(const SourcePos& pos, const std::function<void()>& body);

// The same for a body with a result: what `body` returns, or `failureValue`
// when it raised.
template <class R, class F>
R reportAndReturn(const SourcePos& pos, R failureValue, F&& body) {
    R result = failureValue;
    reportAndContinue(pos, [&result, &body]() { result = body(); });
    return result;
}

// The C runtime's text for its current errno, UTF-8.
std::string crtErrorText();

// The text of a SysError: `message` joined with
// "<label> [<code>](system error <code> (<description>))".
std::string makeMessage(const std::string& message, const char* label,
                        const void* function, std::uint32_t errorCode);

// The platform's module (shared library or program) that contains `address`;
// null when there is none. No reference is taken.
void* findModuleOfAddress(const void* address);

// "system error <code> (<description>)"
tstring systemErrorText(std::uint32_t errorCode, void* module);
// The platform's description of an error code, "No description available"
// when it has none.
tstring describeSystemError(std::uint32_t errorCode, void* module);

// The two texts joined with a separator chosen by the first one's punctuation.
std::string joinMessages(const std::string& first, const std::string& second);

#endif
