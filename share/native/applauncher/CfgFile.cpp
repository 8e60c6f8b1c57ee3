#include "CfgFile.h"

#include <cerrno>
#include <set>
#include <sstream>
#include <string_view>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"
#include "SysInfo.h"
#include "TextFile.h"

template <class Tag>
bool CfgFile::Id<Tag>::operator==(const Id& other) const {
    return std::wstring_view(theName) == std::wstring_view(other.theName);
}

template <class Tag>
bool CfgFile::Id<Tag>::operator<(const Id& other) const {
    return std::wstring_view(theName) < std::wstring_view(other.theName);
}

template class CfgFile::Id<CfgFile::SectionTag>;
template class CfgFile::Id<CfgFile::PropertyTag>;

const CfgFile::SectionName CfgFile::noSection(L"");
const CfgFile::SectionName CfgFile::application(L"Application");
const CfgFile::SectionName CfgFile::javaOptions(L"JavaOptions");
const CfgFile::SectionName CfgFile::appCDSJavaOptions(L"AppCDSJavaOptions");
const CfgFile::SectionName CfgFile::appCDSGenerateCacheJavaOptions(L"AppCDSGenerateCacheJavaOptions");
const CfgFile::SectionName CfgFile::argOptions(L"ArgOptions");

const CfgFile::PropertyName CfgFile::version(L"app.version");
const CfgFile::PropertyName CfgFile::mainjar(L"app.mainjar");
const CfgFile::PropertyName CfgFile::mainmodule(L"app.mainmodule");
const CfgFile::PropertyName CfgFile::mainclass(L"app.mainclass");
const CfgFile::PropertyName CfgFile::classpath(L"app.classpath");
const CfgFile::PropertyName CfgFile::modulepath(L"app.modulepath");
const CfgFile::PropertyName CfgFile::runtime(L"app.runtime");
const CfgFile::PropertyName CfgFile::splash(L"app.splash");
const CfgFile::PropertyName CfgFile::memory(L"app.memory");
const CfgFile::PropertyName CfgFile::arguments(L"arguments");
const CfgFile::PropertyName CfgFile::javaOptionsProperty(L"java-options");
const CfgFile::PropertyName CfgFile::winNorestart(L"win.norestart");

namespace {

const CfgFile::SectionName* const knownSections[] = {
    &CfgFile::application,       &CfgFile::javaOptions, &CfgFile::appCDSJavaOptions,
    &CfgFile::appCDSGenerateCacheJavaOptions, &CfgFile::argOptions,
};

const CfgFile::PropertyName* const knownProperties[] = {
    &CfgFile::version,    &CfgFile::mainjar, &CfgFile::mainmodule, &CfgFile::mainclass,
    &CfgFile::classpath,  &CfgFile::modulepath, &CfgFile::runtime, &CfgFile::splash,
    &CfgFile::memory,     &CfgFile::arguments, &CfgFile::javaOptionsProperty,
    &CfgFile::winNorestart,
};

// The known name whose text equals `text`, or null.
template <class Name, size_t N>
const Name* findKnown(const Name* const (&names)[N], const tstring& text) {
    for (const Name* name : names) {
        if (text == name->name()) {
            return name;
        }
    }
    return nullptr;
}

bool isAsciiLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

bool isAsciiDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// The macro name of a Macro token: "${NAME}" or "$NAME".
tstring macroName(const tstring& token) {
    if (token.size() >= 2 && token[1] == L'{') {
        return token.substr(2, token.size() - 3);
    }
    return token.substr(1);
}

struct expand_macros {
    const CfgFile::Macros& macros;

    void operator()(tstring& value, const std::vector<ValueToken>& tokens) const {
        tstring expanded;
        for (const ValueToken& token : tokens) {
            switch (token.kind) {
            case ValueTokenKind::Macro: {
                const auto it = macros.find(macroName(token.text));
                expanded += it != macros.end() ? it->second : token.text;
                break;
            }
            case ValueTokenKind::Escaped:
                expanded += token.text.substr(1);
                break;
            case ValueTokenKind::Text:
                expanded += token.text;
                break;
            }
        }
        if (expanded != value) {
            TRACE_LOG("Map [" << value << "] into [" << expanded << "]");
            value.swap(expanded);
        }
    }
};

} // namespace

std::vector<ValueToken> tokenizeValue(const tstring& value) {
    std::vector<ValueToken> tokens;
    size_t textStart = 0;
    const auto closeText = [&](size_t end) {
        if (end > textStart) {
            tokens.push_back({ValueTokenKind::Text, value.substr(textStart, end - textStart)});
        }
    };

    size_t pos = 0;
    while (pos < value.size()) {
        const wchar_t c = value[pos];
        const wchar_t next = pos + 1 < value.size() ? value[pos + 1] : L'\0';
        const bool hasNext = pos + 1 < value.size();
        if (c == L'\\' && hasNext && (next == L'\\' || next == L'$')) {
            closeText(pos);
            tokens.push_back({ValueTokenKind::Escaped, value.substr(pos, 2)});
            pos += 2;
            textStart = pos;
        } else if (c == L'$' && hasNext && next == L'{') {
            const size_t close = value.find(L'}', pos + 2);
            if (close == tstring::npos) {
                // An unterminated reference leaves the whole rest as text.
                pos = value.size();
                break;
            }
            closeText(pos);
            tokens.push_back({ValueTokenKind::Macro, value.substr(pos, close + 1 - pos)});
            pos = close + 1;
            textStart = pos;
        } else if (c == L'$' && hasNext && (isAsciiLetter(next) || next == L'_')) {
            size_t end = pos + 2;
            while (end < value.size() &&
                   (isAsciiLetter(value[end]) || isAsciiDigit(value[end]) || value[end] == L'_')) {
                ++end;
            }
            closeText(pos);
            tokens.push_back({ValueTokenKind::Macro, value.substr(pos, end - pos)});
            pos = end;
            textStart = pos;
        } else {
            ++pos;
        }
    }
    closeText(value.size());
    return tokens;
}

CfgFile CfgFile::load(const tstring& path) {
    std::ifstream input;
    if (!textfile::open(path, input)) {
        RAISE_ERROR(tstrings::MessageBuilder()
                    << "Error opening \"" << path << "\" file: " << crtErrorText());
    }

    CfgFile result;
    const SectionName* currentSection = &noSection;
    Properties pending;
    const auto commit = [&]() {
        if (*currentSection == noSection || pending.empty()) {
            return;
        }
        result.sections[*currentSection].swap(pending);
        pending.clear();
    };

    std::string bytes;
    int lineNumber = 0;
    errno = 0;
    while (textfile::readLine(input, bytes)) {
        ++lineNumber;
        if (lineNumber == 1) {
            textfile::skipByteOrderMark(bytes);
        }
        // Comments are skipped before decoding: whatever they hold, they
        // are no line worth a warning.
        if (bytes.empty() || bytes[0] == ';') {
            continue;
        }
        const tstring line = textfile::decodeLine(bytes, path, lineNumber);
        if (line.empty()) {
            continue;
        }

        if (line[0] == L'[') {
            const size_t close = line.find(L']');
            if (close == tstring::npos) {
                RAISE_ERROR(tstrings::MessageBuilder()
                            << "Error parsing [" << path << "] file at " << lineNumber
                            << ": Missing ']' character");
            }
            commit();
            const SectionName* section = findKnown(knownSections, line.substr(1, close - 1));
            currentSection = section ? section : &noSection;
            continue;
        }

        size_t separator = line.find(L'=');
        while (separator != tstring::npos && separator > 0 && line[separator - 1] == L'\\') {
            separator = line.find(L'=', separator + 1);
        }
        const tstring name = line.substr(0, separator);
        if (*currentSection == noSection) {
            continue;
        }
        const PropertyName* property = findKnown(knownProperties, name);
        if (!property) {
            continue;
        }
        pending[*property].push_back(separator == tstring::npos ? tstring()
                                                                : line.substr(separator + 1));
    }

    if (!input.eof()) {
        RAISE_ERROR(tstrings::MessageBuilder() << "Failed to read \"" << path
                                               << "\" file up to the end: " << crtErrorText());
    }
    commit();
    return result;
}

CfgFile CfgFile::expandMacros(const Macros& macros) const {
    CfgFile copy(*this);

    // Tokens of every value, in the order the values are visited below.
    std::vector<std::vector<ValueToken>> tokenLists;
    std::set<tstring> usedNames;
    for (auto& section : copy.sections) {
        for (auto& property : section.second) {
            for (const tstring& value : property.second) {
                tokenLists.push_back(tokenizeValue(value));
                for (const ValueToken& token : tokenLists.back()) {
                    if (token.kind == ValueTokenKind::Macro) {
                        usedNames.insert(macroName(token.text));
                    }
                }
            }
        }
    }

    Macros effective(macros);
    for (const tstring& name : usedNames) {
        if (effective.count(name) == 0 && SysInfo::isEnvVariableSet(name)) {
            effective[name] = SysInfo::getEnvVariable(nothrow, name, tstring());
        }
    }

    const expand_macros expand{effective};
    size_t index = 0;
    for (auto& section : copy.sections) {
        for (auto& property : section.second) {
            for (tstring& value : property.second) {
                expand(value, tokenLists[index++]);
            }
        }
    }
    return copy;
}

const CfgFile::Properties& CfgFile::getProperties(const SectionName& section) const {
    const auto it = sections.find(section);
    return it != sections.end() ? it->second : emptyProperties;
}

CfgFile& CfgFile::setPropertyValue(const SectionName& section, const PropertyName& property,
                                   const tstring_array& values) {
    // An empty list would leave a property without value behind; it removes
    // the property instead.
    if (values.empty()) {
        const auto it = sections.find(section);
        if (it != sections.end()) {
            it->second.erase(property);
            if (it->second.empty()) {
                sections.erase(it);
            }
        }
        return *this;
    }
    sections[section][property] = values;
    return *this;
}

tstring CfgFile::lastValue(const Properties::value_type& entry) {
    return entry.second.empty() ? tstring() : entry.second.back();
}

tstring CfgFile::pathListValue(const Properties::value_type& entry) {
    tstring joined;
    for (size_t i = 0; i < entry.second.size(); ++i) {
        if (i != 0) {
            joined += FileUtils::pathListSeparator;
        }
        joined += entry.second[i];
    }
    return joined;
}

bool CfgFile::booleanValue(const Properties::value_type& entry) {
    const tstring value = lastValue(entry);
    if (tstrings::isEqual(value, L"true", tstrings::CaseMode::IgnoreCase)) {
        return true;
    }
    // Formatted input leaves 0 when no number can be read and the largest
    // value of the sign when the number does not fit: non-zero either way.
    std::wistringstream stream(value);
    int number = 0;
    stream >> number;
    return number != 0;
}
