#include "tools/regtool/regtool.h"

#include "host/registry.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class RegTool : public ::testing::Test {
protected:
    struct Result {
        int status;
        std::string out, err;
    };
    Result Run(std::vector<std::string> args, const std::string& input = "") {
        std::istringstream in(input);
        std::ostringstream out, err;
        int status = regtool::Run(args, in, out, err);
        return {status, out.str(), err.str()};
    }

    testsupport::TempRegistry registry_{"kelvano-regtool"};
    fs::path folder_ = registry_.Path();
};

const std::string kKey = "HKCU\\Software\\Vantor\\Kelvano CE";

TEST_F(RegTool, SetsQueriesAndDeletes) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out; // exact
        std::string err; // the first line of it
    } steps[] = {
        {{"set", kKey, "SavedHistory", "sz", "12 34 \"ĉ\""}, 0, "", ""},
        {{"set", "hkey_current_user\\SOFTWARE\\vantor\\kelvano ce", "Count", "dword", "0x2a"},
         0,
         "",
         ""},
        {{"set", kKey, "Blob", "hex", "01 02,ff"}, 0, "", ""},
        {{"set", kKey, "List", "multi", "a", "b"}, 0, "", ""},
        {{"set", kKey, "", "expand", "%HOME%"}, 0, "", ""},
        {{"set", kKey, "Odd", "hex(11)", "2a"}, 0, "", ""},
        {{"set", kKey + "\\Sub", "n", "dword", "4294967295"}, 0, "", ""},
        {{"query", kKey, "count"}, 0, "\"Count\"=dword:0000002a\n", ""},
        {{"query", kKey, "SavedHistory"}, 0, "\"SavedHistory\"=sz:\"12 34 \\\"ĉ\\\"\"\n", ""},
        {{"query", kKey},
         0,
         "[HKEY_CURRENT_USER\\Software\\Vantor\\Kelvano CE]\n"
         "\"SavedHistory\"=sz:\"12 34 \\\"ĉ\\\"\"\n"
         "\"Count\"=dword:0000002a\n"
         "\"Blob\"=hex:01 02 ff\n"
         "\"List\"=multi:\\\n  \"a\",\\\n  \"b\"\n"
         "@=expand:\"%HOME%\"\n"
         "\"Odd\"=hex(11):2a\n"
         "Sub\\\n",
         ""},
        {{"query", "HKCU"}, 0, "[HKEY_CURRENT_USER]\nSoftware\\\n", ""},
        {{"query", kKey, "Missing"}, 1, "", "kelvano-reg: " + kKey + " \"Missing\": not found"},
        {{"query", "HKLM\\Nothing"}, 1, "", "kelvano-reg: HKLM\\Nothing: not found"},
        {{"delete", kKey, "Count"}, 0, "", ""},
        {{"delete", kKey, "Count"}, 1, "", "kelvano-reg: " + kKey + " \"Count\": not found"},
        {{"delete", "HKCU\\Software\\Vantor"}, 0, "", ""},
        {{"query", kKey}, 1, "", "kelvano-reg: " + kKey + ": not found"},
        {{"query", "HKCU\\Software"}, 0, "[HKEY_CURRENT_USER\\Software]\n", ""},
    };
    for (const auto& step : steps) {
        Result r = Run(step.args);
        std::string line = step.args[0] + " " + step.args[1];
        EXPECT_EQ(r.status, step.status) << line << "\n" << r.err;
        EXPECT_EQ(r.out, step.out) << line;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), step.err) << line;
    }
}

TEST_F(RegTool, ExportsAndImports) {
    ASSERT_EQ(Run({"set", kKey, "Settings", "hex", "00 00 01 00 05"}).status, 0);
    ASSERT_EQ(Run({"set", kKey + "\\Deeper", "x", "sz", "y"}).status, 0);
    Result exported = Run({"export", "HKCU\\Software\\Vantor"});
    ASSERT_EQ(exported.status, 0);
    EXPECT_EQ(exported.out, "KELVANO REGISTRY 1\n"
                            "\n[HKEY_CURRENT_USER\\Software\\Vantor]\n"
                            "\n[HKEY_CURRENT_USER\\Software\\Vantor\\Kelvano CE]\n"
                            "\"Settings\"=hex:00 00 01 00 05\n"
                            "\n[HKEY_CURRENT_USER\\Software\\Vantor\\Kelvano CE\\Deeper]\n"
                            "\"x\"=sz:\"y\"\n"
                            "\nEND\n");

    ASSERT_EQ(Run({"delete", "HKCU\\Software"}).status, 0);
    EXPECT_EQ(Run({"import", "-"}, exported.out).status, 0);
    EXPECT_EQ(Run({"export", "HKCU\\Software\\Vantor"}).out, exported.out);

    fs::path file = folder_ / "import.txt";
    std::ofstream(file) << "KELVANO REGISTRY 1\n[HKLM\\Software\\Vantor\\NLS]\n"
                           "\"Lang-kelvano\"=sz:\"EO\"\nEND\n";
    EXPECT_EQ(Run({"import", file.string()}).status, 0);
    EXPECT_EQ(Run({"query", "HKLM\\Software\\Vantor\\NLS", "Lang-kelvano"}).out,
              "\"Lang-kelvano\"=sz:\"EO\"\n");

    Result bad = Run({"import", "-"}, "KELVANO REGISTRY 1\n[HKCU\\x]\n\"a\"=dword:\nEND\n");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "kelvano-reg: standard input: line 3: dword without digits\n");
    Result missing = Run({"import", (folder_ / "none.txt").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot be read"), std::string::npos);
}

TEST_F(RegTool, RefusesBadArguments) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frob"},
        {"query"},
        {"query", kKey, "a", "b"},
        {"query", "Software\\Vantor"},
        {"set", kKey, "v", "sz"},
        {"set", kKey, "v", "qword", "1"},
        {"set", kKey, "v", "dword", "4294967296"},
        {"set", kKey, "v", "dword", "-1"},
        {"set", kKey, "v", "dword", "0x"},
        {"set", kKey, "v", "hex", "0g"},
        {"set", kKey, "v", "hex", "012"},
        {"set", kKey, "v", "hex(x)", "01"},
        {"delete", "HKCU"},
        {"export"},
        {"import"},
        {"--dir"},
    };
    for (const auto& args : cases) {
        Result r = Run(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(r.err.rfind("kelvano-reg: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("usage: kelvano-reg"), std::string::npos);
    }
    Result help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, regtool::Usage());
    EXPECT_TRUE(fs::is_empty(folder_)); // nothing was written
}

TEST_F(RegTool, DirOptionPicksTheFolder) {
    fs::path other = folder_ / "other";
    EXPECT_EQ(Run({"--dir", other.string(), "set", "HKLM\\A", "v", "dword", "1"}).status, 0);
    EXPECT_TRUE(fs::exists(other / "hklm.reg"));
}

} // namespace
