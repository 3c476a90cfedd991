// The writer's archives checked by the system's unzip, which reads the central directory
// and verifies every CRC.
#include "tools/zipwriter/zipwriter.h"

#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

} // namespace
