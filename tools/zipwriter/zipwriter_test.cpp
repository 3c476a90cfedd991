// The writer's archives checked by the system's unzip, which reads the central directory
// and verifies every CRC.
#include "tools/zipwriter/zipwriter.h"

#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace fs = std::filesystem;

namespace {

std::string Shell(const std::string& strCommand, int* pnStatus = nullptr) {
    std::string strOut;
    FILE* pipe = ::popen((strCommand + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return strOut;
    char rgch[4096];
    for (std::size_t cb; (cb = std::fread(rgch, 1, sizeof(rgch), pipe)) > 0;)
        strOut.append(rgch, cb);
    int nStatus = ::pclose(pipe);
    if (pnStatus != nullptr) *pnStatus = nStatus;
    return strOut;
}

bool HaveUnzip() {
    return std::system("unzip -v >/dev/null 2>&1") == 0;
}

std::string ReadText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::uint8_t> Bytes(const std::string& str) {
    return {str.begin(), str.end()};
}

class TempDir : public testsupport::TempFolder {
public:
    TempDir() : TempFolder("zipwriter_test") {}
};

void WriteText(const fs::path& path, const std::string& str) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << str;
}

std::string Text(std::size_t cb, int nSeed) {
    std::string str;
    std::uint32_t n = static_cast<std::uint32_t>(nSeed);
    while (str.size() < cb) {
        n = n * 1664525u + 1013904223u;
        str += "abcdefgh"[n >> 29];
        if ((n >> 20) % 7 == 0) str += '\n';
    }
    return str;
}

TEST(ZipWriter, ArchivesPassTheSystemsUnzip) {
    if (!HaveUnzip()) GTEST_SKIP() << "unzip is not installed";
    TempDir dir;
    zipwriter::ZipWriter writer;
    std::string strLarge = Text(300000, 1);
    writer.AddFolder("arm");
    writer.AddStored("arm/kelvano.exe", Bytes("stored bytes"));
    writer.AddDeflated("arm/uninstaller.dll", Bytes(strLarge), 9);
    writer.AddDeflated("fast.txt", Bytes(strLarge), 1, Z_RLE);
    writer.SetDataDescriptor(true);
    writer.AddDeflated("descriptor.txt", Bytes("with a data descriptor"), 6);
    writer.AddStored("empty", {});
    fs::path zip = dir.Path() / "a.zip";
    writer.WriteFile(zip.string());

    int nStatus = -1;
    std::string strOut = Shell("unzip -tq " + zip.string(), &nStatus);
    EXPECT_EQ(nStatus, 0) << strOut;
    EXPECT_EQ(Shell("unzip -Z1 " + zip.string()),
              "arm/\narm/kelvano.exe\narm/uninstaller.dll\nfast.txt\ndescriptor.txt\nempty\n");
    EXPECT_EQ(Shell("unzip -p " + zip.string() + " arm/uninstaller.dll"), strLarge);
    EXPECT_EQ(Shell("unzip -p " + zip.string() + " descriptor.txt"), "with a data descriptor");
}

TEST(ZipWriter, ProgramBuildsTreesReproducibly) {
    if (!HaveUnzip()) GTEST_SKIP() << "unzip is not installed";
    TempDir dir;
    WriteText(dir.Path() / "in/b.txt", Text(5000, 2));
    WriteText(dir.Path() / "in/a/deep.bin", Text(100, 3));
    WriteText(dir.Path() / "skin.txt", "Font = Tahoma,10\n");
    std::string strArgs = " --time=2003-04-05T06:07:08 " + (dir.Path() / "%s.zip").string() +
                          " folder/ -0 skin.txt=" + (dir.Path() / "skin.txt").string() +
                          " -6 tree/=" + (dir.Path() / "in").string();
    std::string strFirst = strArgs, strSecond = strArgs;
    strFirst.replace(strFirst.find("%s"), 2, "one");
    strSecond.replace(strSecond.find("%s"), 2, "two");
    int nStatus = -1;
    std::string strOut = Shell(std::string(ZIPWRITER_PROGRAM) + strFirst, &nStatus);
    ASSERT_EQ(nStatus, 0) << strOut;
    Shell(std::string(ZIPWRITER_PROGRAM) + strSecond);

    std::string strOne = (dir.Path() / "one.zip").string();
    EXPECT_EQ(Shell("unzip -Z1 " + strOne),
              "folder/\nskin.txt\ntree/\ntree/a/\ntree/a/deep.bin\ntree/b.txt\n");
    EXPECT_EQ(Shell("unzip -p " + strOne + " tree/b.txt"), Text(5000, 2));
    std::string strListing = Shell("unzip -Zl " + strOne);
    EXPECT_NE(strListing.find("stor"), std::string::npos) << strListing;
    EXPECT_NE(strListing.find("defN"), std::string::npos) << strListing;
    EXPECT_NE(strListing.find("03-Apr-05 06:07"), std::string::npos) << strListing;

    std::ifstream one(strOne, std::ios::binary), two(dir.Path() / "two.zip", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(one), {}),
              std::string(std::istreambuf_iterator<char>(two), {}));

    EXPECT_NE(std::system((std::string(ZIPWRITER_PROGRAM) + " 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((std::string(ZIPWRITER_PROGRAM) + " " + strOne +
                           " x=" + (dir.Path() / "missing").string() + " 2>/dev/null")
                              .c_str()),
              0);
}

// Streaming from files gives the very bytes the in-memory writer gives (which the project's
// reader is tested on), and a refused entry leaves the archive as it was.
TEST(ZipWriter, StreamedArchivesEqualArchivesBuiltInMemory) {
    TempDir dir;
    std::string strLarge = Text(300000, 4);
    WriteText(dir.Path() / "large.txt", strLarge);
    WriteText(dir.Path() / "small.txt", "small");
    std::ofstream(dir.Path() / "max").close();
    fs::resize_file(dir.Path() / "max", zipwriter::kcbMax); // sparse: refused unread

    zipwriter::ZipWriter memory;
    memory.AddDeflated("a/large.txt", Bytes(strLarge), 9);
    memory.AddStored("small.txt", Bytes("small"));
    memory.SetDataDescriptor(true);
    memory.AddDeflated("fast.txt", Bytes(strLarge), 1);

    fs::path zip = dir.Path() / "streamed.zip";
    {
        zipwriter::ZipWriter streamed(zip.string());
        streamed.AddFile("a/large.txt", dir.Path() / "large.txt", 9);
        streamed.AddFile("small.txt", dir.Path() / "small.txt", 0);
        EXPECT_THROW(streamed.AddFile("max", dir.Path() / "max", 0), std::runtime_error);
        streamed.SetDataDescriptor(true);
        streamed.AddFile("fast.txt", dir.Path() / "large.txt", 1);
        EXPECT_FALSE(fs::exists(zip));
        streamed.Commit();
    }
    std::vector<std::uint8_t> expected = memory.Finish();
    EXPECT_EQ(ReadText(zip), std::string(expected.begin(), expected.end()));
    EXPECT_FALSE(fs::exists(dir.Path() / "streamed.zip.tmp"));

    // MS-DOS times keep seconds in steps of two: an odd second goes down, never up.
    std::optional<zipwriter::DosTime> time = zipwriter::ParseDosTime("2024-02-29T23:59:59");
    ASSERT_TRUE(time);
    EXPECT_EQ(time->wDate, (2024 - 1980) << 9 | 2 << 5 | 29);
    EXPECT_EQ(time->wTime, 23 << 11 | 59 << 5 | 29);
}

// Every bad command line: its exit code and the part of the message that says why. "@" is
// the test's folder, holding a.txt, in/a.txt and two sparse files; nothing is ever written.
TEST(ZipWriter, ProgramRefusesBadInput) {
    TempDir dir;
    WriteText(dir.Path() / "a.txt", "a");
    WriteText(dir.Path() / "in/a.txt", "a");
    std::ofstream(dir.Path() / "big").close();
    fs::resize_file(dir.Path() / "big", 4500ull << 20);
    std::ofstream(dir.Path() / "max").close();
    fs::resize_file(dir.Path() / "max", zipwriter::kcbMax);
    struct Case {
        const char* pszArgs;
        int nExit;
        const char* pszMessage;
    } cases[] = {
        {"", 2, "no output archive given"},
        {"--bogus @/o.zip", 2, "unknown option '--bogus'"},
        {"@/o.zip -x", 2, "unknown option '-x'"},
        {"@/o.zip plain", 2, "'plain' is not an item"},
        {"@/o.zip x=", 2, "no file or folder after '='"},
        {"@/in x/", 2, "the output @/in is a folder"},
        {"@/o.zip --time=2024-01-01T00:00:00", 2, "options go before the output archive"},
        // Dates: wrong shape, past either end of 1980..2107, not in the calendar.
        {"--time=2100-13-40T99:99:99 @/o.zip", 2, "invalid --time '2100-13-40T99:99:99'"},
        {"--time=2024-1-1T0:0:0 @/o.zip", 2, "invalid --time"},
        {"--time=2108-01-01T00:00:00 @/o.zip", 2, "invalid --time"},
        {"--time=1979-12-31T23:59:59 @/o.zip", 2, "invalid --time"},
        {"--time=2100-02-29T00:00:00 @/o.zip", 2, "invalid --time"},
        {"--time=2023-04-31T00:00:00 @/o.zip", 2, "invalid --time"},
        {"--time=2024-01-01T24:00:00 @/o.zip", 2, "invalid --time"},
        {"--time=2024-01-01T00:60:00 @/o.zip", 2, "invalid --time"},
        {"--time=2024-01-01T00:00:60 @/o.zip", 2, "invalid --time"},
        // Names a reader could place outside its folder, or that it cannot tell apart.
        {"@/o.zip ../evil=@/a.txt", 2,
         "'../evil' (from '../evil=@/a.txt'): the entry name has "
         "a '.' or '..' part"},
        {"@/o.zip a/../../b=@/a.txt", 2, "has a '.' or '..' part"},
        {"@/o.zip ./", 2, "has a '.' or '..' part"},
        {"@/o.zip /abs=@/a.txt", 2, "the entry name is absolute"},
        {"@/o.zip 'a\\b=@/a.txt'", 2, "the entry name contains a backslash"},
        {"@/o.zip c:x=@/a.txt", 2, "the entry name contains a colon"},
        {"@/o.zip a//b=@/a.txt", 2, "has an empty part"},
        {"@/o.zip =@/a.txt", 2, "the entry name is empty"},
        {"@/o.zip a=@/a.txt a=@/a.txt", 2, "duplicate entry name 'a'"},
        {"@/o.zip a=@/a.txt A=@/a.txt", 2, "duplicate entry name 'A' (clashes with 'a'"},
        {"@/o.zip a=@/a.txt a/", 2, "duplicate entry name 'a/'"},
        {"@/o.zip IN/a.TXT=@/a.txt in/=@/in", 2, "duplicate entry name 'in/a.txt'"},
        // Folders and files mistaken for each other.
        {"@/o.zip x=@/in", 2, "@/in is a folder; use NAME/=FOLDER to add a folder"},
        {"@/o.zip x/=@/a.txt", 2, "@/a.txt is not a folder; use NAME=FILE"},
        // Failures: missing input, sizes the format cannot hold.
        {"@/o.zip x=@/missing", 1, "@/missing: no such file or folder"},
        {"@/none/o.zip x/", 1, "cannot create @/none/o.zip.tmp"},
        {"@/o.zip big=@/big", 1, "@/big: too large for a ZIP entry (4718592000 bytes"},
        {"@/o.zip -0 max=@/max", 1, "@/max: does not fit in the archive"},
    };
    auto expand = [&](std::string str) {
        for (std::size_t i; (i = str.find('@')) != std::string::npos;)
            str.replace(i, 1, dir.Path().string());
        return str;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszArgs);
        const testsupport::ProgramRun run =
            testsupport::RunProgram(dir.Path(), ZIPWRITER_PROGRAM, expand(c.pszArgs));
        const std::string& strErr = run.err;
        EXPECT_EQ(run.nExit, c.nExit) << strErr;
        EXPECT_EQ(strErr.rfind("zipwriter: ", 0), 0u) << strErr;
        EXPECT_NE(strErr.find(expand(c.pszMessage)), std::string::npos) << strErr;
        EXPECT_EQ(strErr.find("--help") != std::string::npos, c.nExit == 2) << strErr;
        EXPECT_FALSE(fs::exists(dir.Path() / "o.zip"));
        EXPECT_FALSE(fs::exists(dir.Path() / "o.zip.tmp"));
    }
    int nStatus = -1;
    std::string strOut = Shell(std::string(ZIPWRITER_PROGRAM) + " --help 2>/dev/null", &nStatus);
    EXPECT_EQ(nStatus, 0);
    EXPECT_EQ(strOut.rfind("usage: zipwriter", 0), 0u) << strOut;
}

} // namespace
