#include "tools/cli/cli.h"

#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace {

TEST(Cli, ParseIntegerTakesWholeNumbersInRangeOnly) {
    struct Case {
        const char* pszText;
        std::int64_t nMin, nMax;
        bool fHex;
        std::optional<std::int64_t> expected;
    } cases[] = {
        {"42", 0, 100, false, 42},
        {"-7", -10, 10, false, -7},
        {"0x2a", 0, 100, true, 42},
        {"0x2a", 0, 100, false, std::nullopt}, // hexadecimal only when asked for
        {"1x", 0, 100, false, std::nullopt},
        {"abc", 0, 100, false, std::nullopt},
        {"", 0, 100, false, std::nullopt},
        {"-", 0, 100, false, std::nullopt},
        {"+5", 0, 100, false, std::nullopt},
        {"--5", -10, 10, false, std::nullopt},
        {" 5", 0, 100, false, std::nullopt},
        {"101", 0, 100, false, std::nullopt},
        {"-1", 0, 100, false, std::nullopt},
        {"99999999999", INT_MIN, INT_MAX, false, std::nullopt},
        {"9223372036854775807", INT64_MIN, INT64_MAX, false, INT64_MAX},
        {"-9223372036854775808", INT64_MIN, INT64_MAX, false, INT64_MIN},
        {"9223372036854775808", INT64_MIN, INT64_MAX, false, std::nullopt},
        {"18446744073709551617", INT64_MIN, INT64_MAX, false, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cli::ParseInteger(c.pszText, c.nMin, c.nMax, c.fHex), c.expected) << c.pszText;
}

TEST(Cli, ReadWholeFileNamesWhatIsWrong) {
    testsupport::TempFolder folder("kelvano-cli");
    const std::string strGood = folder.File("good.bin");
    const std::string strEmpty = folder.File("empty.bin");
    std::ofstream(strGood, std::ios::binary) << "abc";
    std::ofstream(strEmpty, std::ios::binary).flush();
    std::vector<std::uint8_t> data;
    std::string strError;

    ASSERT_TRUE(cli::ReadWholeFile(strGood, &data, &strError)) << strError;
    EXPECT_EQ(data, (std::vector<std::uint8_t>{'a', 'b', 'c'}));
    ASSERT_TRUE(cli::ReadWholeFile(strEmpty, &data, &strError)) << strError;
    EXPECT_TRUE(data.empty());

    struct Case {
        std::string strPath;
        std::uint64_t cbLimit;
        const char* pszWhat;
    } cases[] = {
        {folder.File("missing"), 1 << 20, "no such file"},
        {folder.Path().string(), 1 << 20, "is a folder"},
        {strGood, 2, "too large"},
    };
    for (const Case& c : cases) {
        strError.clear();
        EXPECT_FALSE(cli::ReadWholeFile(c.strPath, &data, &strError, c.cbLimit)) << c.strPath;
        EXPECT_NE(strError.find(c.strPath), std::string::npos) << strError;
        EXPECT_NE(strError.find(c.pszWhat), std::string::npos) << strError;
    }
    if (::geteuid() != 0) { // root reads anything
        ::chmod(strGood.c_str(), 0);
        EXPECT_FALSE(cli::ReadWholeFile(strGood, &data, &strError));
        EXPECT_NE(strError.find("cannot open"), std::string::npos) << strError;
    }
}

} // namespace
