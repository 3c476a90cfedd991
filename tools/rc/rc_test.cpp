#include "tools/rc/rc.h"

#include "host/resource.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace {

using host::DialogTemplate;

// Scripts and the files they name live in memory.
struct Files {
    std::map<std::string, std::string> files;

    rc::Options Options() const {
        rc::Options o;
        o.readFile = [this](const std::string& path, std::string* contents) {
            auto it = files.find(path);
            if (it == files.end()) return false;
            *contents = it->second;
            return true;
        };
        return o;
    }
    rc::Result Compile(const std::string& script, rc::Options o) const {
        rc::Result r;
        rc::CompileText("dir/test.rc", script, o, &r);
        return r;
    }
    rc::Result Compile(const std::string& script) const { return Compile(script, Options()); }
};

// A compiled table given to a made-up module for lookups.
class Loaded {
public:
    explicit Loaded(const rc::Result& r) : table_(r.table) {
        EXPECT_EQ(r.error, "");
        EXPECT_TRUE(host::RegisterResourceTable(Module(), table_.data(), table_.size()));
    }
    ~Loaded() { host::UnregisterResourceTable(Module()); }
    static host::HMODULE Module() {
        return reinterpret_cast<host::HMODULE>(std::uintptr_t{0x10000});
    }
    std::string String(host::UINT id, host::LANGID lang = 1033) const {
        char buf[256];
        host::LoadStringEx(Module(), id, lang, buf, sizeof buf);
        return buf;
    }
    DialogTemplate Dialog(host::WORD id) const {
        DialogTemplate d;
        EXPECT_TRUE(host::LoadDialogTemplate(Module(), id, 1033, &d));
        return d;
    }
    std::string Data(host::ResName type, host::ResName name, host::LANGID lang) const {
        host::HRSRC r = host::FindResourceEx(Module(), type, name, lang);
        if (!r) return "<missing>";
        auto p = static_cast<const char*>(host::LockResource(host::LoadResource(Module(), r)));
        return std::string(p, host::SizeofResource(Module(), r));
    }

private:
    std::vector<std::uint8_t> table_;
};

TEST(ResourceCompiler, RejectsMalformedScriptsWithFileAndLine) {
    Files fs;
    fs.files["dir/bad.h"] = "#define OK 1\n#if 1\n#error broken header\n#endif\n";
    fs.files["dir/notico.ico"] = "not an icon";
    fs.files["dir/a"] = "a";
    struct Case {
        std::string script;
        const char* error;
    } cases[] = {
        {"1 BITMAP \"x.bmp\"", "dir/test.rc:1: error: BITMAP resources are not supported"},
        {"\n\n1 GRAPHIC \"missing.bin\"", "dir/test.rc:3: error: cannot open file 'missing.bin'"},
        {"1 GRAPHIC missing",
         "dir/test.rc:1: error: expected a file name in quotes, found 'missing'"},
        {"1 GRAPHIC",
         "dir/test.rc:1: error: expected a file name in quotes, found the end of the script"},
        {"0 GRAPHIC \"x\"", "dir/test.rc:1: error: a resource id 0 is out of range (1 to 65535)"},
        {"1 70000 \"x\"", "dir/test.rc:1: error: resource type 70000 is out of range (1 to 65535)"},
        {"STRINGTABLE\nBEGIN\n 1 \"a\n END", "dir/test.rc:3: error: string not closed on its line"},
        {"STRINGTABLE\nBEGIN\n 1 \"a\\q\"\nEND", "dir/test.rc:3: error: unknown escape \\q"},
        {"STRINGTABLE\nBEGIN\n 1 \"\xC4\"\nEND", "dir/test.rc:3: error: invalid UTF-8 in string"},
        {"STRINGTABLE\nBEGIN\n 1 \"\xED\xA0\x80\"\nEND",
         "dir/test.rc:3: error: invalid UTF-8 in string"},
        // A NUL, escaped or raw, would cut a text short or shift the fields of a dialog.
        {"STRINGTABLE\nBEGIN\n 1 \"a\\0b\"\nEND",
         "dir/test.rc:3: error: the string contains a NUL character"},
        {std::string("STRINGTABLE BEGIN\n 1 \"a\" \"b\0\"\nEND", 33),
         "dir/test.rc:2: error: the string contains a NUL character"},
        {"1 DIALOG 0, 0, 10, 10\nCAPTION \"a\\x0\"\nBEGIN\nEND",
         "dir/test.rc:2: error: the caption contains a NUL character"},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n LTEXT \"a\\000\", 1, 0, 0, 1, 1\nEND",
         "dir/test.rc:3: error: the control's text contains a NUL character"},
        {"\"A\\0\" GRAPHIC \"a\"", "dir/test.rc:1: error: a resource id contains a NUL character"},
        {"STRINGTABLE\nBEGIN\n 1 \"a\"\n 1 \"b\"\nEND",
         "dir/test.rc:4: error: string 1 is already defined in this language"},
        {"STRINGTABLE\nBEGIN\n 65536 \"a\"\nEND",
         "dir/test.rc:3: error: string id 65536 is out of range"},
        {"STRINGTABLE\nBEGIN\n 1 \"a\"\n", "dir/test.rc:3: error: STRINGTABLE not closed by END"},
        {"STRINGTABLE\n 1 \"a\"",
         "dir/test.rc:2: error: expected BEGIN after STRINGTABLE, found '1'"},
        {"1 DIALOG 0, 0, 10, 10\nSTYLE WS_POPUPP\nBEGIN\nEND",
         "dir/test.rc:2: error: unknown name 'WS_POPUPP' where a style was expected"},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n LTEXT \"a\" 1, 0, 0, 1, 1\nEND",
         "dir/test.rc:3: error: expected ',' after the text, found '1'"},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n LTEXT \"a\", 1, 0, 40000, 1, 1\nEND",
         "dir/test.rc:3: error: the control's y 40000 is out of range (-32768 to 32767)"},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n LTEXT \"a\", 70000, 0, 0, 1, 1\nEND",
         "dir/test.rc:3: error: control id 70000 is out of range"},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n SLIDER 1, 0, 0, 1, 1\nEND",
         "dir/test.rc:3: error: unknown control statement 'SLIDER'"},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n CONTROL \"\", 1, \"\", 0, 0, 0, 1, 1\nEND",
         "dir/test.rc:3: error: a class name cannot be empty"},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n CONTROL \"\", 1, 7, 0, 0, 0, 1, 1\nEND",
         "dir/test.rc:3: error: class atom 7 is out of range"},
        {"1 DIALOG 0, 0, 10, 10\nCAPTION \"x\"\n", "dir/test.rc:2: error: dialog has no BEGIN"},
        {"1 DIALOG 0, 0, 10, 10\nBEGIN\n", "dir/test.rc:2: error: dialog not closed by END"},
        {"1 DIALOG 0, 0, 10\nBEGIN\nEND",
         "dir/test.rc:2: error: expected ',' after the width, found 'BEGIN'"},
        {"1 DIALOG 0, 0, 10, 10\nFONT 8, \"A\", 700\nBEGIN\nEND",
         "dir/test.rc:2: error: FONT weight, italic and character set need DIALOGEX"},
        {"1 DIALOG 0, 0, 10, 10\nTITLE \"x\"\nBEGIN\nEND",
         "dir/test.rc:2: error: unexpected 'TITLE' in the dialog's header (expected BEGIN)"},
        {"1 DIALOG 0, 0, 10, 10\nSTYLE 1 / (2 - 2)\nBEGIN\nEND",
         "dir/test.rc:2: error: division by zero"},
        {"1 DIALOG 0, 0, 10, 10\nSTYLE (WS_CHILD\nBEGIN\nEND",
         "dir/test.rc:3: error: expected ')', found 'BEGIN'"},
        {"1 DIALOG 0, 0, 10, 10 @", "dir/test.rc:1: error: unexpected '@'"},
        {"1 DIALOG 0, 0, 10, 12ab", "dir/test.rc:1: error: malformed number '12ab'"},
        {"1 DIALOG 0, 0, 10, 0x100000000",
         "dir/test.rc:1: error: number 0x100000000 does not fit in 32 bits"},
        {"LANGUAGE LANG_ESPERANTO, SUBLANG_DEFAULT",
         "dir/test.rc:1: error: Esperanto takes SUBLANG_NEUTRAL (its language id is 0)"},
        {"LANGUAGE 9 1",
         "dir/test.rc:1: error: expected ',' after the primary language, found '1'"},
        {"LANGUAGE 0x400, 1", "dir/test.rc:1: error: primary language 1024 is out of range"},
        {"1 GRAPHIC \"a\"\n2 GRAPHIC \"a\"\n1 graphic \"a\"",
         "dir/test.rc:3: error: a resource with this type, id and language is already defined"},
        {"1 ICON \"notico.ico\"", "dir/test.rc:1: error: not an icon file"},
        {"STRINGTABLE BEGIN\n 16 \"x\"\nEND\n2 6 \"a\"",
         "dir/test.rc:2: error: string block 2 collides with another resource of type 6"},
        {"#include \"nothere.h\"", "dir/test.rc:1: error: cannot open include file 'nothere.h'"},
        {"#include <private.h>", "dir/test.rc:1: error: cannot open include file 'private.h'"},
        {"#include \"a\x01.h\"", "dir/test.rc:1: error: file name contains a control character"},
        {"1 GRAPHIC \"a\\0.bin\"", "dir/test.rc:1: error: file name contains a control character"},
        {"#include nothere.h", "dir/test.rc:1: error: #include expects \"file\" or <file>"},
        {"\n#include \"bad.h\"", "dir/bad.h:3: error: #error broken header"},
        {"#if 1\n#if 0\n#endif\n", "dir/test.rc:1: error: #if without #endif"},
        {"#else", "dir/test.rc:1: error: #else without #if"},
        {"#if 1\n#else\n#elif 1\n#endif", "dir/test.rc:3: error: #elif after #else"},
        {"#endif", "dir/test.rc:1: error: #endif without #if"},
        {"#if 1 +\n#endif", "dir/test.rc:1: error: #if expression ends too early"},
        {"#if 1 / 0\n#endif", "dir/test.rc:1: error: division by zero in #if expression"},
        {"#ifdef\n#endif", "dir/test.rc:1: error: #ifdef needs a macro name"},
        {"#frobnicate", "dir/test.rc:1: error: unknown directive #frobnicate"},
        {"#define F(x) x\n1 GRAPHIC F(1)",
         "dir/test.rc:2: error: macro 'F' is function-like, which is not supported"},
        {"#define A A + 1\n1 DIALOG A, 0, 1, 1",
         "dir/test.rc:2: error: unknown name 'A' where the dialog's x was expected"},
        {"\n/* open\n\n", "dir/test.rc:2: error: comment not closed at the end of the file"},
        {"#define A0 1 1\n#define A1 A0 A0\n#define A2 A1 A1\n#define A3 A2 A2\n#define A4 A3 A3\n"
         "#define A5 A4 A4\n#define A6 A5 A5\n#define A7 A6 A6\n#define A8 A7 A7\n#define A9 A8 "
         "A8\n"
         "#define B0 A9 A9\n#define B1 B0 B0\n#define B2 B1 B1\n#define B3 B2 B2\n#define B4 B3 "
         "B3\n"
         "#define B5 B4 B4\n#define B6 B5 B5\n#define B7 B6 B6\n#define B8 B7 B7\n#define B9 B8 "
         "B8\nB9",
         "dir/test.rc:21: error: the script expands to too many tokens"},
    };
    for (const auto& c : cases) {
        rc::Result r = fs.Compile(c.script);
        EXPECT_EQ(r.error.substr(0, std::string(c.error).size()), c.error) << c.script;
        EXPECT_TRUE(r.table.empty());
    }
}

TEST(ResourceCompiler, PreprocessorSelectsAndExpands) {
    Files fs;
    fs.files["dir/ids.h"] = "#pragma once\n#ifndef IDS_H\n#define IDS_H\n"
                            "#define IDS_BASE 0x20\n#define IDS_NEXT (IDS_BASE + 1) /* comment */\n"
                            "#define GREETING \"from the header\"\n"
                            "#define BROKEN 1.5f\n"
                            "int code_lines_are_ignored(void) { return 0; }\n"
                            "#endif\n";
    fs.files["inc/other.h"] = "#define FROM_INCLUDE_DIR 7\n";
    rc::Options o = fs.Options();
    o.includeDirs = {"inc"};
    o.defines = {{"FEATURE", "2"}};
    rc::Result r = fs.Compile(
        "#include \"ids.h\"\n#include \"ids.h\"\n#include <other.h>\n#include <windows.h>\n"
        "STRINGTABLE\nBEGIN\n"
        "#if defined(IDS_H) && FEATURE == 2\n"
        "  IDS_BASE \"one\"\n"
        "#elif 1\n"
        "  IDS_BASE \"wrong\"\n"
        "#else\n"
        "  IDS_BASE \"wrong too\"\n"
        "#endif\n"
        "#if 0\n#if 1\n  1 \"nested in a skipped block\"\n#endif\n#else\n  IDS_NEXT "
        "GREETING\n#endif\n"
        "#ifndef UNDEFINED_NAME\n  FROM_INCLUDE_DIR L\"wide \" \"joined\"  // trailing "
        "comment\n#endif\n"
        "  IDS_BASE * 2, \"with \\\"//\\\" inside\"\n"
        "END\n",
        o);
    ASSERT_EQ(r.error, "");
    Loaded t(r);
    EXPECT_EQ(t.String(0x20), "one");
    EXPECT_EQ(t.String(0x21), "from the header");
    EXPECT_EQ(t.String(7), "wide joined");
    EXPECT_EQ(t.String(0x40), "with \"//\" inside");
    EXPECT_EQ(t.String(1), "");
    EXPECT_EQ(r.dependencies,
              (std::vector<std::string>{"dir/test.rc", "dir/ids.h", "inc/other.h"}));
}

TEST(ResourceCompiler, StylesCombineWithDefaults) {
    Files fs;
    rc::Result r =
        fs.Compile("1 DIALOGEX 1, 2, 3, 4\n"
                   "STYLE (WS_CHILD | 0x10) & ~0x10 | DS_SETFONT | NOT DS_SETFONT\n"
                   "BEGIN\n"
                   "  PUSHBUTTON \"a\", 1, 0, 0, 1, 1, NOT WS_TABSTOP | WS_DISABLED\n"
                   "  CONTROL \"b\", 2, \"Edit\", NOT WS_VISIBLE | ES_NUMBER, 0, 0, 1, 1\n"
                   "  EDITTEXT 3, 0, 0, 1, 1, NOT WS_BORDER | NOT WS_TABSTOP\n"
                   "  LTEXT \"c\", IDC_STATIC, 0, 0, 1, 1, SS_RIGHT | 2 * 2 - 1\n"
                   "  CONTROL 5, 4, STATIC, SS_ICON, 0, 0, 1, 1\n"
                   "END\n");
    Loaded t(r);
    DialogTemplate d = t.Dialog(1);
    EXPECT_EQ(d.dwStyle, 0x40000000u);
    EXPECT_FALSE(d.fHasFont);
    ASSERT_EQ(d.items.size(), 5u);
    EXPECT_EQ(d.items[0].dwStyle, 0x58000000u);
    EXPECT_EQ(d.items[1].dwStyle, 0x40002000u);
    EXPECT_EQ(d.items[1].className, u"Edit");
    EXPECT_EQ(d.items[2].dwStyle, 0x50000000u);
    EXPECT_EQ(d.items[3].dwStyle, 0x50020003u);
    EXPECT_EQ(d.items[3].id, 0xFFFFFFFFu);
    EXPECT_EQ(d.items[4].text.nId, 5);
    EXPECT_EQ(d.x, 1);
    EXPECT_EQ(d.cy, 4);
    // Without STYLE a dialog is a pop-up with a border and a system menu.
    r = fs.Compile("1 DIALOG 0, 0, 1, 1 BEGIN END");
    Loaded t2(r);
    EXPECT_EQ(t2.Dialog(1).dwStyle, 0x80880000u);
}

TEST(ResourceCompiler, TypesNamesAndLanguages) {
    Files fs;
    fs.files["dir/a.bin"] = std::string("A\0B", 3);
    fs.files["dir/sub/b.bin"] = "B";
    rc::Result r =
        fs.Compile("#define RT_LOGO 4999\n"
                   "1 GRAPHIC \"a.bin\"\n"
                   "Logo rt_logo \"sub/b.bin\"\n" // macros are case-sensitive: a named type
                   "2 RT_LOGO PRELOAD DISCARDABLE \"a.bin\"\n"
                   "\"Quoted Name\" \"Quoted Type\" \"sub/../a.bin\"\n"
                   "LANGUAGE 0x0C, 1\n"
                   "1 GRAPHIC \"sub/b.bin\"\n"
                   "3 RCDATA \"a.bin\"\n");
    Loaded t(r);
    EXPECT_EQ(t.Data("GRAPHIC", 1, 1033), std::string("A\0B", 3));
    EXPECT_EQ(t.Data("GRAPHIC", 1, 0x040C), "B");
    EXPECT_EQ(t.Data("RT_LOGO", "LOGO", 1033), "B");
    EXPECT_EQ(t.Data(4999, 2, 1033), std::string("A\0B", 3));
    EXPECT_EQ(t.Data("quoted type", "QUOTED NAME", 1033), std::string("A\0B", 3));
    EXPECT_EQ(t.Data(10, 3, 0x040C), std::string("A\0B", 3));
    EXPECT_EQ(t.Data(10, 3, 1033), "<missing>");
}

TEST(ResourceCompiler, StringBlocksAreCountedUtf16) {
    Files fs;
    rc::Result r = fs.Compile("STRINGTABLE BEGIN 0 \"ab\" 15 \"\\x0109\" 16 \"c\" END");
    Loaded t(r);
    std::string block1 = t.Data(6, 1, 1033);
    std::string expect = std::string("\x02\x00"
                                     "a\x00"
                                     "b\x00",
                                     6);
    for (int i = 1; i < 15; ++i)
        expect += std::string("\0\0", 2);
    expect += std::string("\x01\x00\x09\x01", 4);
    EXPECT_EQ(block1, expect);
    EXPECT_EQ(t.Data(6, 2, 1033).size(), 2u + 2u + 15u * 2u);
    EXPECT_EQ(t.String(15), "\xC4\x89");
}

TEST(ResourceCompiler, OutputIsDeterministic) {
    Files fs;
    fs.files["dir/a.bin"] = "data";
    const char* script =
        "LANGUAGE 0, 0\nSTRINGTABLE BEGIN 5 \"x\" END\nZ GRAPHIC \"a.bin\"\nA GRAPHIC \"a.bin\"\n"
        "9 WAVE \"a.bin\"\nLANGUAGE 9, 1\nSTRINGTABLE BEGIN 5 \"y\" 40 \"z\" END\n1 DIALOG 0,0,1,1 "
        "BEGIN END\n";
    rc::Result a = fs.Compile(script), b = fs.Compile(script);
    ASSERT_EQ(a.error, "");
    EXPECT_EQ(a.table, b.table);
    EXPECT_TRUE(host::ValidateResourceTable(a.table.data(), a.table.size()));

    std::string src = rc::EmbedSource("/build/x \"y\"\\z.bin", a.table, "test.rc");
    EXPECT_NE(src.find(".incbin \"/build/x \\\"y\\\"\\\\z.bin\""), std::string::npos);
    EXPECT_NE(src.find(std::to_string(a.table.size()) + " bytes"), std::string::npos);
    std::vector<std::uint8_t> changed = a.table;
    changed.back() ^= 1;
    EXPECT_NE(rc::EmbedSource("t.bin", changed, "test.rc"),
              rc::EmbedSource("t.bin", a.table, "test.rc"));

    EXPECT_EQ(rc::DepFile("/o/t.bin", {"/s/a b.rc", "/s/$x#.h"}),
              "/o/t.bin: \\\n  /s/a\\ b.rc \\\n  /s/$$x\\#.h\n");
}

// The program itself: bad usage is one line and the hint (exit 2), failures name the file
// (exit 1).
TEST(ResourceCompiler, CommandLine) {
    testsupport::TempFolder folder("rc_test");
    const std::string dir = folder.Path().string();
    std::ofstream(dir + "/ok.rc") << "STRINGTABLE BEGIN 1 \"a\" END\n";
    std::ofstream(dir + "/bad.rc") << "\nSTRINGTABLE BEGIN 1 \"a\\0\" END\n";
    const std::string out = "-o '" + dir + "/t.bin' ";
    struct {
        std::string args;
        int nStatus;
        std::string stream; // a part of stdout for exit 0, else of stderr
    } const cases[] = {
        {"--help", 0, "usage: kelvano-rc"},
        {out + "-l 0x40c -DX -I. ok.rc", 0, ""},
        {"-Z ok.rc", 2, "kelvano-rc: unknown option '-Z'\nTry 'kelvano-rc --help'"},
        {out + "-l xx ok.rc", 2, "kelvano-rc: -l needs a language id from 0 to 65535"},
        {out + "-l 0x10000 ok.rc", 2, "not '0x10000'"},
        {out + "-D =1 ok.rc", 2, "-D needs NAME[=value]"},
        {"ok.rc -o", 2, "-o needs a value"},
        {out, 2, "no script given"},
        {"ok.rc", 2, "no table to write given"},
        {out + "ok.rc bad.rc", 2, "more than one script given"},
        {out + "missing.rc", 1, "kelvano-rc: missing.rc: no such file"},
        {out + ".", 1, "kelvano-rc: .: is a folder"},
        {out + "bad.rc", 1, "bad.rc:2: error: the string contains a NUL character"},
        {"-o '" + dir + "/no/t.bin' ok.rc", 1, "kelvano-rc: cannot write"},
    };
    for (const auto& c : cases) {
        const testsupport::ProgramRun run = testsupport::RunProgram(dir, RC_PROGRAM, c.args);
        EXPECT_EQ(run.nExit, c.nStatus) << c.args;
        EXPECT_NE((c.nStatus == 0 ? run.out : run.err).find(c.stream), std::string::npos)
            << c.args << ": " << run.err;
        EXPECT_EQ(c.nStatus == 0 ? run.err : run.out, "") << c.args;
    }
}

} // namespace
