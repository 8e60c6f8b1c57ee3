#include <gtest/gtest.h>

#include <map>
#include <string>

#include "CfgFile.h"
#include "FileUtils.h"
#include "ErrorHandling.h"
#include "TestSupport.h"

using testsupport::CapturedLog;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

typedef std::map<tstring, std::map<tstring, tstring_array>> Content;

Content contentOf(const CfgFile& cfg) {
    Content content;
    for (const auto& section : cfg.getSections()) {
        for (const auto& property : section.second) {
            content[section.first.name()][property.first.name()] = property.second;
        }
    }
    return content;
}

CfgFile loadText(const TempDir& dir, const std::string& text) {
    return CfgFile::load(testsupport::toT(dir.write("test.cfg", text)));
}

std::string plainMessageOf(const std::exception& e) {
    const VnErrorBase* vn = dynamic_cast<const VnErrorBase*>(&e);
    return vn ? vn->plainMessage() : std::string("(not a VnError) ") + e.what();
}

TEST(CfgFileLoad, ParsesTheFileFormat) {
    struct Case {
        const char* name;
        std::string text;
        Content expected;
    };
    const Content mainOnly = {{L"Application", {{L"app.mainclass", {L"Main"}}}}};
    const Case cases[] = {
        {"LF line ends", "[Application]\napp.mainclass=Main\n", mainOnly},
        {"CR LF line ends", "[Application]\r\napp.mainclass=Main\r\n", mainOnly},
        {"last line without line end", "[Application]\napp.mainclass=Main", mainOnly},
        {"CR not before LF stays", "[Application]\napp.mainclass=A\rB\napp.mainjar=j\r",
         {{L"Application", {{L"app.mainclass", {L"A\rB"}}, {L"app.mainjar", {L"j\r"}}}}}},
        {"blank and comment lines", "\n;[JavaOptions]\n[Application]\n\n; app.mainjar=x\napp.mainclass=Main\n",
         mainOnly},
        {"text after the header is ignored", "[Application] trailing words\napp.mainclass=Main\n",
         mainOnly},
        {"blanks inside the brackets", "[ Application ]\napp.mainclass=Main\n", {}},
        {"letter case of a section", "[application]\napp.mainclass=Main\n", {}},
        {"letter case of a property", "[Application]\nApp.MainClass=Main\n", {}},
        {"blanks around =", "[Application]\napp.mainclass = Main\n", {}},
        {"= in the value", "[JavaOptions]\njava-options=-Dx=1\n",
         {{L"JavaOptions", {{L"java-options", {L"-Dx=1"}}}}}},
        {"empty value and no =", "[JavaOptions]\njava-options=\njava-options\n",
         {{L"JavaOptions", {{L"java-options", {L"", L""}}}}}},
        {"escaped = belongs to the name", "[JavaOptions]\njava-options\\=x=1\na\\=b=c\n", {}},
        {"backslash rule never touches values", "[JavaOptions]\njava-options=a\\=b\n",
         {{L"JavaOptions", {{L"java-options", {L"a\\=b"}}}}}},
        {"values stay in file order",
         "[JavaOptions]\njava-options=A\njava-options=B\njava-options=C\n",
         {{L"JavaOptions", {{L"java-options", {L"A", L"B", L"C"}}}}}},
        {"a later block replaces the section",
         "[JavaOptions]\njava-options=A\n[Application]\napp.mainclass=Main\n"
         "[JavaOptions]\njava-options=B\n",
         {{L"Application", {{L"app.mainclass", {L"Main"}}}},
          {L"JavaOptions", {{L"java-options", {L"B"}}}}}},
        {"a later block without properties keeps it",
         "[JavaOptions]\njava-options=A\n[JavaOptions]\n; nothing\nunknown=1\n",
         {{L"JavaOptions", {{L"java-options", {L"A"}}}}}},
        {"a header alone creates no section", "[ArgOptions]\n[Application]\n", {}},
        {"lines before the first header", "app.mainclass=Early\n[Application]\napp.mainjar=j\n",
         {{L"Application", {{L"app.mainjar", {L"j"}}}}}},
        {"unknown section until the next header",
         "[Other]\napp.mainclass=X\n[Application]\napp.mainclass=Main\n", mainOnly},
        {"unknown property", "[Application]\napp.mainklass=X\napp.mainclass=Main\n", mainOnly},
        {"any known property in any known section",
         "[ArgOptions]\napp.mainclass=X\n[AppCDSJavaOptions]\narguments=a\n"
         "[AppCDSGenerateCacheJavaOptions]\nwin.norestart=1\n",
         {{L"ArgOptions", {{L"app.mainclass", {L"X"}}}},
          {L"AppCDSJavaOptions", {{L"arguments", {L"a"}}}},
          {L"AppCDSGenerateCacheJavaOptions", {{L"win.norestart", {L"1"}}}}}},
        {"every known property",
         "[Application]\napp.version=1\napp.mainjar=2\napp.mainmodule=3\napp.mainclass=4\n"
         "app.classpath=5\napp.modulepath=6\napp.runtime=7\napp.splash=8\napp.memory=9\n"
         "arguments=10\njava-options=11\nwin.norestart=12\n",
         {{L"Application",
           {{L"app.version", {L"1"}}, {L"app.mainjar", {L"2"}}, {L"app.mainmodule", {L"3"}},
            {L"app.mainclass", {L"4"}}, {L"app.classpath", {L"5"}}, {L"app.modulepath", {L"6"}},
            {L"app.runtime", {L"7"}}, {L"app.splash", {L"8"}}, {L"app.memory", {L"9"}},
            {L"arguments", {L"10"}}, {L"java-options", {L"11"}},
            {L"win.norestart", {L"12"}}}}}},
        {"UTF-8 values", "[ArgOptions]\narguments=J\xC3\xBCrgen \xE6\x97\xA5\n",
         {{L"ArgOptions", {{L"arguments", {L"J\u00FCrgen \u65E5"}}}}}},
        {"byte-order mark before the first header", "\xEF\xBB\xBF[Application]\napp.mainclass=Main\n",
         mainOnly},
        {"byte-order mark with CR LF", "\xEF\xBB\xBF[Application]\r\napp.mainclass=Main\r\n",
         mainOnly},
        {"byte-order mark only at the start of the file",
         "[Application]\n\xEF\xBB\xBF" "app.mainclass=X\napp.mainclass=Main\n", mainOnly},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(contentOf(loadText(dir, c.text)), c.expected);
    }
}

// "M\xFCller" as the system's legacy decoding reads it: code page 1252 on
// Windows (the system locale's under Wine), byte for byte on Linux.
#ifdef _WIN32
const tstring legacyMueller = L"M\u00FCller";
#else
const tstring legacyMueller = L"M\xDCFCller";
#endif

TEST(CfgFileLoad, DecodesLinesThatAreNotUtf8InTheLegacyEncodingWithAWarning) {
    struct Case {
        const char* name;
        std::string text;
        Content expected;
        std::vector<int> warnedLines;
    };
    const Case cases[] = {
        {"JVM option",
         "[Application]\napp.mainclass=Main\n[JavaOptions]\njava-options=-Dname=M\xFCller\n",
         {{L"Application", {{L"app.mainclass", {L"Main"}}}},
          {L"JavaOptions", {{L"java-options", {L"-Dname=" + legacyMueller}}}}},
         {4}},
        {"valid UTF-8 lines stay as they are beside one that is not",
         "[ArgOptions]\narguments=J\xC3\xBCrgen\narguments=M\xFCller\r\narguments=\xC3\xBC\n",
         {{L"ArgOptions", {{L"arguments", {L"J\u00FCrgen", legacyMueller, L"\u00FC"}}}}},
         {3}},
        {"header", "[Application] M\xFCller\napp.classpath=a.jar\n",
         {{L"Application", {{L"app.classpath", {L"a.jar"}}}}},
         {1}},
        {"comment lines stay comments without a warning",
         ";M\xFCller\n[Application]\n;app.mainclass=M\xFCller\napp.mainclass=Main\n",
         {{L"Application", {{L"app.mainclass", {L"Main"}}}}},
         {}},
        {"property name", "[Application]\napp.main\xFF=X\napp.mainclass=Main\n",
         {{L"Application", {{L"app.mainclass", {L"Main"}}}}},
         {2}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const tstring path = testsupport::toT(dir.write("test.cfg", c.text));
        CapturedLog log;
        EXPECT_EQ(contentOf(CfgFile::load(path)), c.expected);
        std::vector<tstring> warnings;
        for (const int line : c.warnedLines) {
            warnings.push_back(L"Line " + std::to_wstring(line) + L" of \"" + path +
                               L"\" file is not valid UTF-8; read in the system's legacy encoding");
        }
        EXPECT_EQ(log.messages(L"WARNING"), warnings);
    }
}

TEST(CfgFileLoad, ReportsAHeaderInTheLegacyEncodingWithoutClosingBracket) {
    TempDir dir;
    const tstring path = testsupport::toT(dir.write("test.cfg", "[Application]\n[\xFF\n"));
    try {
        CfgFile::load(path);
        ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(plainMessageOf(e), "Error parsing [" + tstrings::encodeUtf8(path) +
                                         "] file at 2: Missing ']' character");
    }
}

TEST(CfgFileLoad, ReportsAHeaderWithoutClosingBracket) {
    struct Case {
        const char* name;
        std::string text;
        int line;
    };
    const Case cases[] = {
        {"first line", "[Application\n", 1},
        {"blank and comment lines count", "[Application]\n\n; comment\n[JavaOptions\n", 4},
        {"CR LF", "[Application]\r\napp.mainclass=x\r\n[Application\r\n", 3},
        {"byte-order mark keeps the numbers", "\xEF\xBB\xBF[Application]\n[Bad\n", 2},
        {"bracket only in a later line", "ok\n[x\n]\n", 2},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const tstring path = testsupport::toT(dir.write("bad.cfg", c.text));
        try {
            CfgFile::load(path);
            ADD_FAILURE() << "no error raised";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(plainMessageOf(e), "Error parsing [" + tstrings::encodeUtf8(path) +
                                             "] file at " + std::to_string(c.line) +
                                             ": Missing ']' character");
            EXPECT_NE(std::string(e.what()).find("CfgFile::load(): Error parsing"),
                      std::string::npos)
                << e.what();
        }
    }
}

TEST(CfgFileLoad, ReportsAFileThatCannotBeOpened) {
    TempDir dir;
    dir.write("sub/x.txt", "");
    const tstring paths[] = {
        testsupport::toT(dir.path()) + L"/missing.cfg",
        // A directory never reads as a file, on any platform.
        testsupport::toT(dir.path()) + L"/sub",
    };
    for (const tstring& path : paths) {
        SCOPED_TRACE(tstrings::encodeUtf8(path));
        try {
            CfgFile::load(path);
            ADD_FAILURE() << "no error raised";
        } catch (const std::runtime_error& e) {
            const std::string prefix = "Error opening \"" + tstrings::encodeUtf8(path) + "\" file: ";
            const std::string message = plainMessageOf(e);
            EXPECT_EQ(message.compare(0, prefix.size(), prefix), 0) << message;
            EXPECT_GT(message.size(), prefix.size()) << "no error text: " << message;
        }
    }
}

#ifndef _WIN32
TEST(CfgFileLoad, ReportsAReadError) {
    // Opening this file works, and reading it fails at its start.
    const tstring path = L"/proc/self/mem";
    try {
        CfgFile::load(path);
        ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& e) {
        const std::string prefix = "Failed to read \"/proc/self/mem\" file up to the end: ";
        const std::string message = plainMessageOf(e);
        EXPECT_EQ(message.compare(0, prefix.size(), prefix), 0) << message;
        EXPECT_GT(message.size(), prefix.size()) << message;
    }
}
#endif

TEST(CfgFileTokenize, SplitsAValue) {
    const std::vector<ValueToken> expected = {
        {ValueTokenKind::Text, L"a"},     {ValueTokenKind::Macro, L"$B_1"},
        {ValueTokenKind::Text, L"-"},     {ValueTokenKind::Macro, L"${C D}"},
        {ValueTokenKind::Escaped, L"\\$"}, {ValueTokenKind::Text, L"x\\y$"},
        {ValueTokenKind::Escaped, L"\\\\"}, {ValueTokenKind::Text, L"${E $F"},
    };
    EXPECT_EQ(tokenizeValue(L"a$B_1-${C D}\\$x\\y$\\\\${E $F"), expected);
    EXPECT_TRUE(tokenizeValue(L"").empty());
}

TEST(CfgFileExpandMacros, ExpandsValues) {
    ScopedEnv unset("MORV_UNDEFINED_X", std::nullopt);
    ScopedEnv fromEnv("MORV_TEST_MACRO_ENV", std::string("from-env"));
    ScopedEnv emptyEnv("MORV_TEST_MACRO_EMPTY", std::string(""));
    ScopedEnv shadowed("APPDIR", std::string("from-env"));
    struct Case {
        tstring value;
        tstring expected;
    };
    const Case cases[] = {
        {L"$APPDIR\\lib", L"C:\\A\\lib"},
        {L"${APPDIR}\\lib", L"C:\\A\\lib"},
        {L"$appdir\\lib", L"C:\\A\\lib"},
        {L"${AppDir}\\lib", L"C:\\A\\lib"},
        {L"\\$APPDIR", L"$APPDIR"},
        {L"\\\\server", L"\\server"},
        {L"\\\\$APPDIR", L"\\C:\\A"},
        {L"\\\\\\$APPDIR", L"\\$APPDIR"},
        {L"a\\b\\", L"a\\b\\"},
        {L"$1", L"$1"},
        {L"50$", L"50$"},
        {L"$", L"$"},
        {L"$-x", L"$-x"},
        {L"${APPDIR", L"${APPDIR"},
        {L"${APPDIR $APPDIR", L"${APPDIR $APPDIR"},
        {L"$APPDIR${APPDIR", L"C:\\A${APPDIR"},
        {L"${APPDIR}}", L"C:\\A}"},
        {L"${}", L"${}"},
        {L"${ APPDIR}", L"${ APPDIR}"},
        {L"$APPDIRX", L"$APPDIRX"},
        {L"$APPDIR.X", L"C:\\A.X"},
        {L"$APPDIR$BINDIR", L"C:\\AC:\\B"},
        {L"$MORV_UNDEFINED_X", L"$MORV_UNDEFINED_X"},
        {L"${MORV_UNDEFINED_X}/x", L"${MORV_UNDEFINED_X}/x"},
        {L"$MORV_TEST_MACRO_ENV", L"from-env"},
        {L"[${MORV_TEST_MACRO_ENV}]", L"[from-env]"},
        {L"[$MORV_TEST_MACRO_EMPTY]", L"[]"},
        {L"$LITERAL", L"$BINDIR\\\\x${APPDIR}"},
        {L"", L""},
    };
    const CfgFile::Macros macros = {
        {L"APPDIR", L"C:\\A"},
        {L"BINDIR", L"C:\\B"},
        {L"LITERAL", L"$BINDIR\\\\x${APPDIR}"},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(tstrings::encodeUtf8(c.value));
        CfgFile cfg;
        cfg.setPropertyValue(CfgFile::javaOptions, CfgFile::javaOptionsProperty, {c.value});
        const CfgFile expanded = cfg.expandMacros(macros);
        const auto& props = expanded.getProperties(CfgFile::javaOptions);
        ASSERT_EQ(props.size(), 1u);
        EXPECT_EQ(props.begin()->second, tstring_array{c.expected}) << "case " << i;
    }
}

TEST(CfgFileExpandMacros, RewritesEveryValueOfACopy) {
    CfgFile cfg;
    cfg.setPropertyValue(CfgFile::application, CfgFile::classpath, {L"$D\\a.jar", L"b.jar"});
    cfg.setPropertyValue(CfgFile::argOptions, CfgFile::arguments, {L"x", L"${D}"});
    CapturedLog log;
    const CfgFile expanded = cfg.expandMacros({{L"D", L"dir"}});
    const Content expected = {
        {L"Application", {{L"app.classpath", {L"dir\\a.jar", L"b.jar"}}}},
        {L"ArgOptions", {{L"arguments", {L"x", L"dir"}}}},
    };
    EXPECT_EQ(contentOf(expanded), expected);
    EXPECT_EQ(contentOf(cfg)[L"ArgOptions"][L"arguments"], (tstring_array{L"x", L"${D}"}));
    // Only the values that changed are traced, in name order of the sections.
    const std::vector<tstring> traced = {L"Map [$D\\a.jar] into [dir\\a.jar]",
                                         L"Map [${D}] into [dir]"};
    EXPECT_EQ(log.messages(L"TRACE"), traced);
    EXPECT_EQ(log.functions(L"TRACE"), std::vector<tstring>(2, L"expand_macros::operator()"));
}

TEST(CfgFileValues, BooleanValue) {
    struct Case {
        tstring_array values;
        bool expected;
    };
    const Case cases[] = {
        {{L"TRUE"}, true},  {{L"true"}, true},   {{L"tRuE"}, true},  {{L"1"}, true},
        {{L"-1"}, true},    {{L" 7x"}, true},    {{L"+2"}, true},    {{L"99999999999"}, true},
        {{L"false"}, false}, {{L"0"}, false},    {{L"yes"}, false},  {{L""}, false},
        {{L"true "}, false}, {{L"00"}, false},   {{L"x1"}, false},
        {{L"true", L"0"}, false}, {{L"0", L"true"}, true},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const CfgFile::Properties::value_type entry(CfgFile::winNorestart, cases[i].values);
        EXPECT_EQ(CfgFile::booleanValue(entry), cases[i].expected) << "case " << i;
    }
}

TEST(CfgFileValues, PathListAndLastValue) {
    const CfgFile::Properties::value_type three(CfgFile::classpath, {L"a", L"b", L"c"});
    const CfgFile::Properties::value_type one(CfgFile::classpath, {L"a"});
    const CfgFile::Properties::value_type empties(CfgFile::classpath, {L"", L""});
    // Joined with the platform's path list separator, ';' on Windows.
    const tstring sep(1, FileUtils::pathListSeparator);
    EXPECT_EQ(CfgFile::pathListValue(three), L"a" + sep + L"b" + sep + L"c");
    EXPECT_EQ(CfgFile::pathListValue(one), L"a");
    EXPECT_EQ(CfgFile::pathListValue(empties), sep);
    EXPECT_EQ(CfgFile::lastValue(three), L"c");
}

TEST(CfgFileValues, PropertiesOfSections) {
    TempDir dir;
    const CfgFile cfg = loadText(dir, "[Application]\napp.mainclass=M\n[JavaOptions]\n");
    EXPECT_TRUE(cfg.getProperties(CfgFile::javaOptions).empty());
    EXPECT_TRUE(cfg.getProperties(CfgFile::argOptions).empty());
    EXPECT_EQ(cfg.getProperties(CfgFile::application).size(), 1u);

    CfgFile copy(cfg);
    copy.setPropertyValue(CfgFile::argOptions, CfgFile::arguments, {L"x", L"y"})
        .setPropertyValue(CfgFile::application, CfgFile::mainclass, {L"N"});
    EXPECT_EQ(contentOf(copy)[L"ArgOptions"][L"arguments"], (tstring_array{L"x", L"y"}));
    EXPECT_EQ(contentOf(copy)[L"Application"][L"app.mainclass"], tstring_array{L"N"});
    EXPECT_EQ(contentOf(cfg)[L"Application"][L"app.mainclass"], tstring_array{L"M"});

    // An empty list leaves no property without values behind.
    copy.setPropertyValue(CfgFile::argOptions, CfgFile::arguments, {});
    EXPECT_TRUE(copy.getProperties(CfgFile::argOptions).empty());
}

TEST(CfgFileNames, CompareByText) {
    const wchar_t text[] = L"Application";
    const CfgFile::SectionName same(text);
    EXPECT_TRUE(same == CfgFile::application);
    EXPECT_FALSE(same != CfgFile::application);
    EXPECT_TRUE(CfgFile::noSection < CfgFile::application);
    EXPECT_TRUE(CfgFile::appCDSGenerateCacheJavaOptions < CfgFile::appCDSJavaOptions);
    EXPECT_TRUE(CfgFile::application < CfgFile::argOptions);
    EXPECT_TRUE(CfgFile::PropertyName(L"app") < CfgFile::PropertyName(L"app.x"));
}

} // namespace
