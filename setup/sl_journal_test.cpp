#include "setup/sl_internal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using sl::Journal;
using sl::string;

namespace {

std::string ReadTestFile(const char* pszName) {
    std::ifstream file(std::string(KELVANO_SETUP_TESTDATA) + "/" + pszName, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// One entry as "keyword|first|second".
std::string Describe(const sl::JournalEntry& entry) {
    const char* pszKeyword = sl::JournalKeyword(entry.nType);
    return std::string(pszKeyword ? pszKeyword : "?") + "|" + entry.strFirst.Text() + "|" +
           entry.strSecond.Text();
}

std::vector<std::string> Describe(const Journal& journal) {
    std::vector<std::string> entries;
    for (const auto& entry : journal.Entries())
        entries.push_back(Describe(entry));
    return entries;
}

std::vector<std::string> Parse(const std::string& strLog, int* pcRead = nullptr) {
    Journal journal;
    int cRead = sl::ParseLog(strLog.data(), strLog.size(), journal);
    if (pcRead != nullptr) *pcRead = cRead;
    return Describe(journal);
}

std::string Text(const string& str) {
    return std::string(str.Text(), static_cast<std::size_t>(str.Length()));
}

// The golden log's entries, in the order an installation journals them.
struct Entry {
    int nType;
    const char* pszFirst;
    const char* pszSecond;
};

const Entry kGolden[] = {
    {sl::kDeleteDir, "C:\\Program Files", ""},
    {sl::kDeleteDir, "C:\\Program Files\\Vantor Software", ""},
    {sl::kDeleteDir, "C:\\Program Files\\Kelvano", ""},
    {sl::kDeleteFile, "C:\\Program Files\\Kelvano\\kelvano.exe", ""},
    {sl::kAppHook, "C:\\Program Files\\Kelvano\\uninstall.dll", ""},
    {sl::kDeleteDir,
     "C:\\\xC4\x88"
     "ambro \xC5\x9D"
     "an\xC4\x9Doj",
     ""},
    {sl::kDeleteFile,
     "C:\\\xC4\x88"
     "ambro \xC5\x9D"
     "an\xC4\x9Doj\\\xC4\x9Cojo kaj \xC4\xA5oro.txt",
     ""},
    {sl::kDeleteKey, "HKCU\\Software", ""},
    {sl::kDeleteKey, "HKCU\\Software\\Vantor", ""},
    {sl::kDeleteKey, "HKCU\\Software\\Vantor\\Kelvano CE", ""},
    {sl::kDeleteVal, "HKCU\\Software\\Vantor\\Kelvano CE", "Settings"},
    {sl::kDeleteVal, "HKCU\\Software\\Vantor\\Kelvano CE", ""},
    {sl::kDeleteVal, "HKLM\\SOFTWARE\\Vantor\\NLS", "Lang-kelvano"},
    {sl::kDeleteFile, "\\Windows\\Start Menu\\Kelvano {\xC5\xAD}.lnk", ""},
};

Journal GoldenJournal() {
    Journal journal;
    for (const auto& entry : kGolden)
        EXPECT_TRUE(journal.Add(entry.nType, entry.pszFirst, entry.pszSecond));
    return journal;
}

TEST(SetupJournal, LogIsRenderedAndReadBackByteForByte) {
    std::string strGolden = ReadTestFile("uninstall_log.txt");
    ASSERT_FALSE(strGolden.empty());
    Journal journal = GoldenJournal();
    EXPECT_EQ(Text(sl::RenderLog(journal)), strGolden);

    Journal read;
    EXPECT_EQ(sl::ParseLog(strGolden.data(), strGolden.size(), read),
              static_cast<int>(std::size(kGolden)));
    EXPECT_EQ(Describe(read), Describe(journal));
    EXPECT_EQ(Text(sl::RenderLog(read)), strGolden);

    // The header alone: ten lines, the ninth 79 "#", the tenth empty.
    std::string strHeader = sl::kszLogHeader;
    EXPECT_EQ(strGolden.compare(0, strHeader.size(), strHeader), 0);
    EXPECT_EQ(std::count(strHeader.begin(), strHeader.end(), '\n'), 10);
    EXPECT_EQ(strHeader.substr(strHeader.size() - 81), std::string(79, '#') + "\n\n");
    EXPECT_EQ(Parse(strHeader), std::vector<std::string>{});
}

TEST(SetupJournal, EveryTruncationKeepsAPrefixOfTheEntries) {
    std::string strGolden = ReadTestFile("uninstall_log.txt");
    std::vector<std::string> all = Describe(GoldenJournal());
    std::size_t cLast = 0;
    for (std::size_t cb = 0; cb <= strGolden.size(); ++cb) {
        // A copy of exactly cb bytes, so that reading past it is caught by the sanitizers.
        std::vector<char> bytes(strGolden.begin(), strGolden.begin() + cb);
        Journal journal;
        sl::ParseLog(bytes.data(), bytes.size(), journal);
        std::vector<std::string> read = Describe(journal);
        ASSERT_LE(read.size(), all.size()) << cb;
        ASSERT_TRUE(std::equal(read.begin(), read.end(), all.begin())) << cb;
        ASSERT_GE(read.size(), cLast) << cb;
        cLast = read.size();
    }
    EXPECT_EQ(cLast, all.size());
}

TEST(SetupJournal, ReaderGrammar) {
    struct Case {
        const char* pszName;
        std::string strLog;
        std::vector<std::string> expected;
        int cRead;
    };
    const char szNul[] = "deletedir { \"a\" } deletedir { \"b\0c\" }";
    const Case cases[] = {
        {"CRLF lines",
         "#\r\n# x\r\ndeletedir { \"a\" }\r\ndeleteval { \"k\" \"v\" }\r\n",
         {"deletedir|a|", "deleteval|k|v"},
         2},
        {"keywords in any case",
         "DeleteDir { \"a\" } DELETEFILE { \"b\" } deleteKEY { \"c\" }",
         {"deletedir|a|", "deletefile|b|", "deletekey|c|"},
         3},
        {"tabs, no blanks",
         "\tapphook\t{\"h\"}deletefile{\"x y\"}",
         {"apphook|h|", "deletefile|x y|"},
         2},
        {"missing {",
         "deletedir { \"a\" }\ndeletefile \"b\" }\ndeletedir { \"c\" }",
         {"deletedir|a|"},
         1},
        {"missing }",
         "deletedir { \"a\" }\ndeletefile { \"b\"\ndeletedir { \"c\" }",
         {"deletedir|a|"},
         1},
        {"unknown keyword",
         "deletedir { \"a\" }\nremovedir { \"b\" }\ndeletedir { \"c\" }",
         {"deletedir|a|"},
         1},
        {"deleteval needs two texts",
         "deletedir { \"a\" } deleteval { \"k\" } deletedir { \"c\" }",
         {"deletedir|a|"},
         1},
        {"deletedir takes one text", "deletedir { \"a\" \"b\" }", {}, 0},
        {"a bare word is no text", "deletedir { a }", {}, 0},
        {"comment lines anywhere",
         "  # one\ndeletedir {\n\t# two \"\n\"a\" }\n#}",
         {"deletedir|a|"},
         1},
        {"# after a token is a word", "deletedir # x\n{ \"a\" }", {}, 0},
        {"a text ends at LF or CR",
         "deletedir { \"a\n} deletedir { \"b\r}",
         {"deletedir|a|", "deletedir|b|"},
         2},
        {"a text ends at the end", "deletedir { \"a", {}, 0},
        {"texts keep braces, # and blanks", "deletefile { \" #{x} \" }", {"deletefile| #{x} |"}, 1},
        {"empty texts", "deleteval { \"\" \"\" }", {"deleteval||"}, 1},
        {"a NUL marks damage", std::string(szNul, sizeof(szNul) - 1), {"deletedir|a|"}, 1},
        {"a repeated entry is read once",
         "deletedir { \"a\" } deletedir { \"a\" }",
         {"deletedir|a|"},
         2},
        {"a stray brace", "} deletedir { \"a\" }", {}, 0},
        {"nothing", "", {}, 0},
    };
    for (const Case& c : cases) {
        int cRead = -1;
        EXPECT_EQ(Parse(c.strLog, &cRead), c.expected) << c.pszName;
        EXPECT_EQ(cRead, c.cRead) << c.pszName;
    }
    Journal journal;
    EXPECT_EQ(sl::ParseLog(nullptr, 10, journal), 0);
}

TEST(SetupJournal, ReadingAddsAfterWhatTheJournalHolds) {
    Journal journal;
    journal.Add(sl::kDeleteDir, "b");
    const char szLog[] = "deletedir { \"a\" } deletedir { \"b\" } deletefile { \"b\" }";
    EXPECT_EQ(sl::ParseLog(szLog, sizeof(szLog) - 1, journal), 3);
    EXPECT_EQ(Describe(journal),
              (std::vector<std::string>{"deletedir|b|", "deletedir|a|", "deletefile|b|"}));
}

TEST(SetupJournal, EntriesAreUniqueAndKeepTheirOrder) {
    Journal journal;
    struct Step {
        int nType;
        const char* pszFirst;
        const char* pszSecond;
        bool fAdded;
    };
    const Step steps[] = {
        {sl::kDeleteKey, "HKCU\\Software", "", true},
        {sl::kDeleteKey, "HKCU\\Software", "", false},
        {sl::kDeleteKey, "HKCU\\software", "", true}, // texts compare exactly
        {sl::kDeleteVal, "HKCU\\Software", "a", true},
        {sl::kDeleteVal, "HKCU\\Software", "b", true},
        {sl::kDeleteVal, "HKCU\\Software", "a", false},
        {sl::kDeleteVal, "HKCU\\Software", "", true},
        {sl::kDeleteVal, "HKCU\\Softwarea", "", true},  // not the same as "...Software" + "a"
        {sl::kDeleteDir, "HKCU\\Software", "", true},   // another type
        {sl::kDeleteDir, "HKCU\\Software", "x", false}, // only a deleteval has a second text
        {5, "x", "", false},
        {-1, "x", "", false},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(journal.Add(step.nType, step.pszFirst, step.pszSecond), step.fAdded)
            << step.nType << " " << step.pszFirst << " " << step.pszSecond;
        EXPECT_EQ(journal.Contains(step.nType, step.pszFirst, step.pszSecond),
                  step.nType >= 0 && step.nType <= 4);
    }
    EXPECT_EQ(Describe(journal),
              (std::vector<std::string>{"deletekey|HKCU\\Software|", "deletekey|HKCU\\software|",
                                        "deleteval|HKCU\\Software|a", "deleteval|HKCU\\Software|b",
                                        "deleteval|HKCU\\Software|", "deleteval|HKCU\\Softwarea|",
                                        "deletedir|HKCU\\Software|"}));
    EXPECT_FALSE(journal.Contains(sl::kDeleteVal, "HKCU\\Software", "c"));

    // The index stays right as it grows.
    for (int i = 0; i < 5000; ++i)
        journal.Add(sl::kDeleteFile, cetl::sformat("C:\\f\\%d", i));
    EXPECT_EQ(journal.Count(), 5007u);
    EXPECT_EQ(Text(journal.Entries()[4321 + 7].strFirst), "C:\\f\\4321");
    EXPECT_TRUE(journal.Contains(sl::kDeleteFile, "C:\\f\\4999"));

    journal.Clear();
    EXPECT_EQ(journal.Count(), 0u);
    EXPECT_FALSE(journal.Contains(sl::kDeleteKey, "HKCU\\Software"));
    EXPECT_TRUE(journal.Add(sl::kDeleteKey, "HKCU\\Software"));
}

TEST(SetupJournal, TextsThatCannotBeLoggedAreLeftOut) {
    struct Case {
        std::string str;
        bool fLoggable;
    };
    const Case cases[] = {
        {"C:\\Program Files\\x", true},
        {"", true},
        {"a{b}#\t", true},
        {"\xC4\x88"
         "ambro",
         true},
        {"a\"b", false},
        {"a\rb", false},
        {"a\nb", false},
        {std::string("a\0b", 3), false},
    };
    for (const Case& c : cases) {
        string str;
        str.Assign(c.str.data(), static_cast<int>(c.str.size()));
        EXPECT_EQ(sl::IsLoggable(str), c.fLoggable) << c.str;
    }

    Journal journal;
    journal.Add(sl::kDeleteDir, "a");
    journal.Add(sl::kDeleteFile, "b\"c");
    journal.Add(sl::kDeleteVal, "k", "v\nw");
    journal.Add(sl::kDeleteVal, "k\r", "v");
    journal.Add(sl::kDeleteFile, "d");
    std::string strLog = Text(sl::RenderLog(journal));
    EXPECT_EQ(strLog, std::string(sl::kszLogHeader) + "deletedir { \"a\" }\n"
                                                      "deletefile { \"d\" }\n");
}

TEST(SetupPaths, FolderPrefixes) {
    struct Case {
        const char* pszPath;
        bool fIncludeSelf;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"C:\\a\\b\\c.txt", false, {"C:\\a", "C:\\a\\b"}},
        {"C:\\a\\b\\c.txt", true, {"C:\\a", "C:\\a\\b", "C:\\a\\b\\c.txt"}},
        {"\\Program Files\\x", true, {"\\Program Files", "\\Program Files\\x"}},
        {"C:\\a\\\\b", true, {"C:\\a", "C:\\a\\\\b"}},
        {"C:\\a\\b\\", true, {"C:\\a", "C:\\a\\b"}},
        {"C:\\", true, {}},
        {"C:", true, {}},
        {"\\", true, {}},
        {"", true, {}},
        {"a", true, {"a"}},
        {"a", false, {}},
        {"a\\b:\\c", true, {"a", "a\\b:\\c"}},
        {"C:\\\xC4\x88"
         "ambro\\\xC5\x9D",
         false,
         {"C:\\\xC4\x88"
          "ambro"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> prefixes;
        for (const string& str : sl::FolderPrefixes(c.pszPath, c.fIncludeSelf))
            prefixes.push_back(Text(str));
        EXPECT_EQ(prefixes, c.expected) << c.pszPath << " " << c.fIncludeSelf;
    }
}

TEST(SetupPaths, EntryNames) {
    const struct {
        const char* pszName;
        const char* pszNormalised;
        const char* pszShort;
        bool fSafe;
    } cases[] = {
        {"arm\\kelvano.exe", "arm/kelvano.exe", "kelvano.exe", true},
        {"arm/kelvano.exe", "arm/kelvano.exe", "kelvano.exe", true},
        {"C:\\Program Files\\Kelvano\\kelvano.exe", "C:/Program Files/Kelvano/kelvano.exe",
         "kelvano.exe", false},
        {"\\arm\\a.dll", "arm/a.dll", "a.dll", false},
        {"/arm/a.dll", "arm/a.dll", "a.dll", false},
        {"//a", "/a", "a", false},
        {"a\\b/c", "a/b/c", "c", true},
        {"a/b\\c", "a/b/c", "c", true},
        {"kelvano.exe", "kelvano.exe", "kelvano.exe", true},
        {"dir\\", "dir/", "", false},
        {"a\\\\b", "a//b", "b", false},
        {"..\\x", "../x", "x", false},
        {"a/../x", "a/../x", "x", false},
        {"a/./x", "a/./x", "x", false},
        {".", ".", ".", false},
        {"...", "...", "...", true},
        {".hidden/..x", ".hidden/..x", "..x", true},
        {"C:x", "C:x", "C:x", false},
        {"a/b:c", "a/b:c", "b:c", false},
        {"", "", "", false},
        {"\xC4\x88"
         "ambro/\xC5\x9D"
         "an\xC4\x9Doj.txt",
         "\xC4\x88"
         "ambro/\xC5\x9D"
         "an\xC4\x9Doj.txt",
         "\xC5\x9D"
         "an\xC4\x9Doj.txt",
         true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(sl::NormaliseEntryName(c.pszName)), c.pszNormalised) << c.pszName;
        EXPECT_EQ(Text(sl::ShortItemName(c.pszName)), c.pszShort) << c.pszName;
        EXPECT_EQ(sl::IsSafeRelativeName(c.pszName), c.fSafe) << c.pszName;
    }
    string strNul;
    strNul.Assign("a\0b", 3);
    EXPECT_FALSE(sl::IsSafeRelativeName(strNul));
}

} // namespace
