#include "tools/regtool/regtool.h"

#include "host/registry.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

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
}

TEST_F(RegTool, RefusesBadInput) {
    const fs::path inputs = folder_ / "inputs";
    fs::create_directory(inputs);
    std::ofstream(inputs / "empty");
    std::ofstream(inputs / "cut") << "KELVANO REGISTRY 1\n[HKCU\\a]\n";
    const std::string cut = "KELVANO REGISTRY 1\n[HKEY_CURRENT_USER\\a]\n";
    const std::string newer = "KELVANO REGISTRY 2\n[HKEY_CURRENT_USER\\a]\nEND\n";
    const std::string hint = "\nTry 'kelvano-reg --help' for more information.\n";
    const std::string hkcu = (folder_ / "hkcu.reg").string();
    const struct {
        std::vector<std::string> args;
        std::string file; // hkcu.reg beforehand, when not empty
        int status;
        std::string err; // a stable part of it
    } cases[] = {
        {{}, "", 2, "kelvano-reg: no command" + hint},
        {{"frob"}, "", 2, "unknown command \"frob\""},
        {{"--frob", "query", "HKCU"}, "", 2, "unknown option \"--frob\""},
        {{"--dir"}, "", 2, "kelvano-reg: --dir needs a folder" + hint},
        {{"--dir", "", "query", "HKCU"}, "", 2, "--dir needs a folder, not an empty text"},
        {{"query"}, "", 2, "wrong number of arguments for query"},
        {{"query", kKey, "a", "b"}, "", 2, "wrong number"},
        {{"query", "Software\\Vantor"}, "", 2, "does not start with a root"},
        {{"set", kKey, "v", "sz"}, "", 2, "wrong number"},
        {{"set", kKey, "v", "qword", "1"}, "", 2, "unknown type \"qword\""},
        {{"set", kKey, "v", "dword", "4294967296"}, "", 2, "is not a 32-bit number"},
        {{"set", kKey, "v", "dword", "-1"}, "", 2, "is not a 32-bit number"},
        {{"set", kKey, "v", "dword", "0x"}, "", 2, "is not a 32-bit number"},
        {{"set", kKey, "v", "hex", "0g"}, "", 2, "is not bytes in hexadecimal"},
        {{"set", kKey, "v", "hex", "012"}, "", 2, "is not bytes in hexadecimal"},
        {{"set", kKey, "v", "hex(x)", "01"}, "", 2, "needs a decimal type number"},
        {{"set", kKey, "v", "sz", "a\xff"}, "", 2, "the text is not valid UTF-8"},
        {{"set", kKey, "v", "expand", "\xc0\x80"}, "", 2, "the text is not valid UTF-8"},
        {{"set", kKey, "v", "multi", "a", "\xed\xa0\x80"}, "", 2, "the text is not valid UTF-8"},
        {{"set", kKey, "\xe2\x82", "dword", "1"}, "", 2, "the value name is not valid UTF-8"},
        {{"set", "HKCU\\\xff", "v", "dword", "1"}, "", 2, "the key is not valid UTF-8"},
        {{"delete", "HKCU"}, "", 2, "a root cannot be deleted"},
        {{"export"}, "", 2, "wrong number"},
        {{"import"}, "", 2, "wrong number"},
        {{"import", inputs.string()}, "", 1, inputs.string() + ": is a folder, not a file\n"},
        {{"import", (inputs / "none").string()}, "", 1, "none: no such file"},
        {{"import", (inputs / "empty").string()}, "", 1, "empty: is empty"},
        {{"import", (inputs / "cut").string()}, "", 1, "cut: line 3: missing END line"},
        {{"--dir", (inputs / "cut").string(), "query", "HKCU"}, "", 1, "cut: is not a folder"},
        // Reading leaves a damaged file alone; changing sets it aside, and says so.
        {{"query", "HKCU"},
         cut,
         1,
         "kelvano-reg: " + hkcu +
             " is damaged (line 3: missing END line: the text is cut short); it was left as it "
             "is\n"},
        {{"export", "HKCU"}, cut, 1, " is damaged (line 3: missing END"},
        {{"set", kKey, "v", "dword", "1"}, cut, 0, hkcu + " is damaged (line 3: missing END"},
        {{"delete", kKey}, cut, 1, "; it was renamed to " + hkcu + ".damaged-"},
        {{"query", "HKCU"}, newer, 1, " was written by another version of the registry"},
        {{"set", kKey, "v", "dword", "1"}, newer, 1, "(line 1: unsupported version \"2\")"},
    };
    for (const auto& c : cases) {
        if (!c.file.empty()) std::ofstream(hkcu) << c.file;
        Result r = Run(c.args);
        std::string shown = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(r.status, c.status) << shown << "\n" << r.err;
        EXPECT_EQ(r.out, "") << shown;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << shown << "\n" << r.err;
        EXPECT_EQ(r.err.find("Try ") != std::string::npos, c.status == 2) << r.err;
        EXPECT_FALSE(fs::exists(folder_ / "hklm.reg")) << shown; // nothing else written
        if (c.file.empty()) continue;
        bool fAside = r.err.find("renamed to") != std::string::npos;
        EXPECT_EQ(fAside, c.file == cut && (c.args[0] == "set" || c.args[0] == "delete")) << shown;
        EXPECT_EQ(fs::exists(hkcu) && ReadFile(hkcu) == c.file, !fAside) << shown;
        fs::remove(hkcu);
    }
    Result help = Run({"--dir", folder_.string(), "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, regtool::Usage());
}

TEST_F(RegTool, DirOptionPicksTheFolder) {
    fs::path other = folder_ / "other";
    EXPECT_EQ(Run({"--dir", other.string(), "set", "HKLM\\A", "v", "dword", "1"}).status, 0);
    EXPECT_TRUE(fs::exists(other / "hklm.reg"));
}

} // namespace
