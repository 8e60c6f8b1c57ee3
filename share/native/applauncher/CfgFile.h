#ifndef MORV_CFGFILE_H
#define MORV_CFGFILE_H

#include <map>

#include "tstrings.h"

// The launcher configuration file: "[Section]" headers and "name=value"
// property lines, UTF-8.
class CfgFile {
public:
    // A known section or property name; compared and ordered by its text.
    template <class Tag>
    class Id {
    public:
        explicit constexpr Id(const wchar_t* name) : theName(name) {}
        const wchar_t* name() const { return theName; }
        bool operator==(const Id& other) const;
        bool operator!=(const Id& other) const { return !(*this == other); }
        bool operator<(const Id& other) const;

    private:
        const wchar_t* theName;
    };

    struct SectionTag {};
    struct PropertyTag {};
    typedef Id<SectionTag> SectionName;
    typedef Id<PropertyTag> PropertyName;

    typedef std::map<PropertyName, tstring_array> Properties;
    typedef std::map<tstring, tstring, tstrings::LessIgnoreCase> Macros;

    // Stands for "no section" while parsing.
    static const SectionName noSection;
    static const SectionName application;
    static const SectionName javaOptions;
    static const SectionName appCDSJavaOptions;
    static const SectionName appCDSGenerateCacheJavaOptions;
    static const SectionName argOptions;

    static const PropertyName version;
    static const PropertyName mainjar;
    static const PropertyName mainmodule;
    static const PropertyName mainclass;
    static const PropertyName classpath;
    static const PropertyName modulepath;
    static const PropertyName runtime;
    static const PropertyName splash;
    static const PropertyName memory;
    static const PropertyName arguments;
    static const PropertyName javaOptionsProperty;
    static const PropertyName winNorestart;

    // Reads and parses the file at `path`. Raises "Error opening",
    // "Error parsing" or "Failed to read".
    static CfgFile load(const tstring& path);

    // A copy with every value's macros expanded; unresolved ones stay as written.
    CfgFile expandMacros(const Macros& macros) const;

    // The section's properties, empty for an absent section.
    const Properties& getProperties(const SectionName& section) const;

    CfgFile& setPropertyValue(const SectionName& section, const PropertyName& property,
                              const tstring_array& values);

    static tstring lastValue(const Properties::value_type& entry);
    static tstring pathListValue(const Properties::value_type& entry);
    static bool booleanValue(const Properties::value_type& entry);

    typedef std::map<SectionName, Properties> PropertyMap;
    const PropertyMap& getSections() const { return sections; }

private:
    PropertyMap sections;
    Properties emptyProperties;
};

enum class ValueTokenKind { Text, Macro, Escaped };

struct ValueToken {
    ValueTokenKind kind;
    tstring text;
    bool operator==(const ValueToken& other) const {
        return kind == other.kind && text == other.text;
    }
};

// Splits one value into plain text, macro references ($NAME, ${NAME}) and
// escapes (\\ and \$).
std::vector<ValueToken> tokenizeValue(const tstring& value);

#endif
