#include "setup/zip/zipfile.h"

#include "foundation/memmgr.h"
#include "foundation/tl_exception.h"
#include "host/debug.h"
#include "tests/support/temp_folder.h"
#include "tools/zipwriter/zipwriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using zip::ZipEntry;
using zip::ZipFile;

namespace {

Bytes B(const std::string& str) {
    return {str.begin(), str.end()};
}

std::string Text(std::size_t cb, std::uint32_t n) {
    std::string str;
    while (str.size() < cb) {
        n = n * 1664525u + 1013904223u;
        str += "kelvano marble push "[(n >> 16) % 20];
    }
    return str;
}

std::string Random(std::size_t cb, std::uint32_t n) {
    std::string str;
    while (str.size() < cb) {
        n = n * 1664525u + 1013904223u;
        str += static_cast<char>(n >> 24);
    }
    return str;
}

std::string DataOf(const ZipEntry* pEntry) {
    if (pEntry == nullptr || !pEntry->IsUnpacked()) return "<not unpacked>";
    return std::string(reinterpret_cast<const char*>(pEntry->Data()), pEntry->Size());
}

std::string ErrorOf(ZipFile& zip, const Bytes& bytes, bool fDefer = false) {
    try {
        zip.OpenMemory(bytes.data(), bytes.size(), fDefer);
    } catch (const cetl::exception& e) {
        return e.what();
    }
    return "";
}

std::size_t BlocksInUse() {
    return mem::GetStats().cBlocksInUse;
}

bool PointsInto(const ZipFile& zip, const ZipEntry* pEntry) {
    return pEntry->Data() >= zip.Bytes() &&
           pEntry->Data() + pEntry->Size() <= zip.Bytes() + zip.BytesSize();
}

// A local header by hand: the fields that matter to the walk.
Bytes LocalHeader(const std::string& strName, std::uint32_t cbCompressed, std::uint16_t nMethod = 0,
                  std::uint16_t fFlags = 0, std::uint16_t cbExtra = 0) {
    Bytes b;
    auto put = [&](std::uint32_t n, int cb) {
        for (int i = 0; i < cb; ++i)
            b.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    };
    put(0x04034B50, 4);
    put(10, 2);
    put(fFlags, 2);
    put(nMethod, 2);
    put(0, 4); // time and date
    put(0, 4); // CRC
    put(cbCompressed, 4);
    put(cbCompressed, 4);
    put(static_cast<std::uint32_t>(strName.size()), 2);
    put(cbExtra, 2);
    b.insert(b.end(), strName.begin(), strName.end());
    b.resize(b.size() + cbExtra, 'x');
    return b;
}

class TempDir : public testsupport::TempFolder {
public:
    TempDir() : TempFolder("ziplib_test") {}
};

TEST(ZipFile, PayloadFoldersAndCaseInsensitiveLookup) {
    zipwriter::ZipWriter writer;
    std::map<std::string, std::string> files;
    for (const char* pszFamily : {"arm", "mips", "native", "shx"}) {
        std::string strFamily = pszFamily;
        writer.AddFolder(strFamily);
        files[strFamily + "/kelvano.exe"] = Text(40000, strFamily.size()) + strFamily;
        files[strFamily + "/uninstaller.dll"] = Random(3000, strFamily[0]);
        writer.AddDeflated(strFamily + "/kelvano.exe", B(files[strFamily + "/kelvano.exe"]), 9);
        writer.AddStored(strFamily + "/uninstaller.dll", B(files[strFamily + "/uninstaller.dll"]));
    }
    Bytes archive = writer.Finish();
    ZipFile zip;
    zip.OpenMemory(archive.data(), archive.size(), false);
    ASSERT_EQ(zip.Count(), 12u);

    std::vector<std::string> names;
    for (const auto& item : zip.Entries())
        names.push_back(item.second->Name().Text());
    EXPECT_EQ(names.front(), "arm/");
    EXPECT_EQ(names.back(), "shx/uninstaller.dll");
    for (const auto& [strName, strData] : files)
        EXPECT_EQ(DataOf(zip.Find(strName.c_str())), strData) << strName;

    ZipEntry* pExe = zip.Find("ARM/KELVANO.EXE");
    ASSERT_NE(pExe, nullptr);
    EXPECT_EQ(pExe->Name(), "arm/kelvano.exe");
    EXPECT_EQ(pExe->Method(), zip::kMethodDeflated);
    EXPECT_EQ(zip.Find("Mips/")->Size(), 0u);
    EXPECT_TRUE(zip.Find("mips/")->IsUnpacked());
    EXPECT_EQ(zip.Find("ppc/kelvano.exe"), nullptr);
    EXPECT_EQ(zip.Find("arm"), nullptr);
    EXPECT_EQ(zip.Find("arm\\kelvano.exe"), nullptr);

    mem::BlockInfo info;
    ASSERT_TRUE(mem::GetBlockInfo(pExe->Data(), &info));
    EXPECT_STREQ(info.pszType, "cbUncompressed + 1024");
}

TEST(ZipFile, StoredEntriesAreUsedInPlace) {
    zipwriter::ZipWriter writer;
    writer.AddStored("a.txt", B("alpha"));
    writer.AddFolder("dir");
    writer.AddStored("dir/b.bin", B(Random(5000, 1)));
    writer.AddStored("empty", {});
    Bytes archive = writer.Finish();
    ZipFile zip;
    zip.OpenMemory(archive.data(), archive.size(), true);
    ASSERT_EQ(zip.Count(), 4u);
    EXPECT_NE(zip.Bytes(), archive.data()) << "open from memory copies the bytes";

    std::size_t cBlocks = BlocksInUse();
    for (const auto& item : zip.Entries()) {
        EXPECT_FALSE(item.second->IsUnpacked());
        zip.Unpack(item.second);
        EXPECT_TRUE(item.second->IsUnpacked());
        EXPECT_TRUE(PointsInto(zip, item.second)) << item.second->Name().Text();
        EXPECT_EQ(item.second->Data(), item.second->CompressedData());
    }
    EXPECT_EQ(BlocksInUse(), cBlocks);
    EXPECT_EQ(DataOf(zip.Find("A.TXT")), "alpha");
    EXPECT_EQ(DataOf(zip.Find("dir/b.bin")), Random(5000, 1));
}

TEST(ZipFile, DeferredUnpackingCopiesAndRelease) {
    std::string strText = Text(100000, 3);
    zipwriter::ZipWriter writer;
    writer.AddDeflated("list.psp", B(strText), 9);
    writer.AddDeflated("listitem.psp", B("short"), 9);
    writer.AddStored("skin.txt", B("Font = Tahoma,10\n"));
    Bytes archive = writer.Finish();
    ASSERT_EQ(archive[6] & 0x2, 0x2) << "general-purpose flag bit 1 set, as in the skin package";

    ZipFile zip;
    zip.OpenMemory(archive.data(), archive.size(), true);
    ZipEntry* pList = zip.Find("LIST.PSP");
    ASSERT_NE(pList, nullptr);
    EXPECT_FALSE(pList->IsUnpacked());
    EXPECT_EQ(pList->Size(), strText.size());
    zip.Unpack(pList);
    EXPECT_EQ(DataOf(pList), strText);
    const std::uint8_t* pbFirst = pList->Data();
    zip.Unpack(pList);
    EXPECT_EQ(pList->Data(), pbFirst) << "unpacking twice does nothing";

    {
        ZipEntry copy(*pList);
        EXPECT_NE(copy.Data(), pList->Data());
        EXPECT_EQ(DataOf(&copy), strText);
        mem::BlockInfo info;
        ASSERT_TRUE(mem::GetBlockInfo(copy.Data(), &info));
        EXPECT_STREQ(info.pszType, "cbUncompressed");
        pList->Release();
        EXPECT_FALSE(pList->IsUnpacked());
        EXPECT_EQ(DataOf(&copy), strText);
    }
    zip.Unpack(pList);
    EXPECT_EQ(DataOf(pList), strText);

    ZipEntry* pSkin = zip.Find("skin.txt");
    zip.Unpack(pSkin);
    ZipEntry stored(*pSkin);
    EXPECT_EQ(stored.Data(), pSkin->Data());
    ZipEntry packed(*zip.Find("listitem.psp"));
    EXPECT_FALSE(packed.IsUnpacked());
    zip::Inflater inflater;
    packed.Unpack(inflater);
    EXPECT_EQ(DataOf(&packed), "short");
}

TEST(ZipFile, WalkSkipsExtraFieldsAndDataDescriptorsAndKeepsTheLastOfTwins) {
    zipwriter::ZipWriter writer;
    writer.SetLocalExtra({'U', 'T', 5, 0, 1, 'a', 'b', 'c', 'd'});
    writer.AddStored("first.txt", B("one"));
    writer.SetDataDescriptor(true);
    writer.AddDeflated("second.txt", B(Text(5000, 9)), 6);
    writer.SetDataDescriptor(false);
    writer.SetLocalExtra({});
    writer.AddStored("Twin.txt", B("earlier"));
    writer.AddStored("TWIN.TXT", B("later"));
    writer.AddStored("last.txt", B("end"));
    Bytes archive = writer.Finish();
    ZipFile zip;
    zip.OpenMemory(archive.data(), archive.size(), false);
    EXPECT_EQ(zip.Count(), 4u);
    EXPECT_EQ(DataOf(zip.Find("first.txt")), "one");
    EXPECT_EQ(DataOf(zip.Find("second.txt")), Text(5000, 9));
    ZipEntry* pTwin = zip.Find("twin.txt");
    ASSERT_NE(pTwin, nullptr);
    EXPECT_EQ(pTwin->Name(), "TWIN.TXT");
    EXPECT_EQ(DataOf(pTwin), "later");
    EXPECT_EQ(DataOf(zip.Find("last.txt")), "end");
}

TEST(ZipFile, DosTimes) {
    struct Case {
        std::uint16_t wDate, wTime;
        zip::SYSTEMTIME st;
    };
    const Case rgCases[] = {
        {0x0000, 0x0000, {1980, 0, 0, 0, 0, 0, 0, 0}},
        {(23 << 9) | (4 << 5) | 5, (6 << 11) | (7 << 5) | 4, {2003, 4, 0, 5, 6, 7, 8, 0}},
        {(127 << 9) | (12 << 5) | 31,
         (23 << 11) | (59 << 5) | 29,
         {2107, 12, 0, 31, 23, 59, 58, 0}},
        {(1 << 9) | (15 << 5) | 0, (31 << 11) | (63 << 5) | 31, {1981, 12, 0, 0, 23, 59, 59, 0}},
        {(1 << 9) | (13 << 5) | 1, (24 << 11) | (60 << 5) | 30, {1981, 12, 0, 1, 23, 59, 59, 0}},
    };
    for (const Case& c : rgCases) {
        zip::SYSTEMTIME st = zip::DosTimeToSystemTime(c.wDate, c.wTime);
        EXPECT_EQ(std::memcmp(&st, &c.st, sizeof(st)), 0)
            << st.wYear << "-" << st.wMonth << "-" << st.wDay << " " << st.wHour << ":"
            << st.wMinute << ":" << st.wSecond;
    }
    zipwriter::ZipWriter writer;
    writer.SetTime(zipwriter::MakeDosTime(2024, 2, 29, 13, 45, 58));
    writer.AddStored("t", B("x"));
    Bytes archive = writer.Finish();
    ZipFile zip;
    zip.OpenMemory(archive.data(), archive.size(), false);
    const zip::SYSTEMTIME& st = zip.Find("t")->Time();
    EXPECT_EQ(st.wYear, 2024);
    EXPECT_EQ(st.wMonth, 2);
    EXPECT_EQ(st.wDay, 29);
    EXPECT_EQ(st.wHour, 13);
    EXPECT_EQ(st.wMinute, 45);
    EXPECT_EQ(st.wSecond, 58);
}

TEST(ZipFile, MalformedArchivesGiveTheirTexts) {
    const std::string strNotZip = zip::kszNotZip;
    const std::string strBeyond = zip::kszEntryBeyondData;
    Bytes good = [] {
        zipwriter::ZipWriter writer;
        writer.AddStored("a", B("aaa"));
        writer.AddDeflated("b", B(Text(3000, 1)), 6);
        return writer.Finish();
    }();
    Bytes packed = zipwriter::Deflate(B(Text(3000, 1)), 6);
    auto with = [](Bytes head, const Bytes& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const Bytes end = B("PK\x05\x06 plus the rest of an end record");
    struct Case {
        const char* pszWhat;
        Bytes bytes;
        std::string strError;
        std::size_t cEntries; // entries left in the archive
    };
    const Case rgCases[] = {
        {"empty", {}, strNotZip, 0},
        {"three bytes", B("PK\x03"), strNotZip, 0},
        {"signature only", B("PK\x03\x04"), "", 0},
        {"other signature", B("PK\x05\x06xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"), strNotZip, 0},
        {"text", B(std::string(100, 'z')), strNotZip, 0},
        {"data runs past the end", with(LocalHeader("x", 1000), B("short")), strBeyond, 0},
        {"data ends exactly at the end", with(LocalHeader("x", 5), B("exact")), strBeyond, 0},
        {"name runs past the end",
         [] {
             Bytes b = LocalHeader("name", 0);
             b.resize(b.size() - 2);
             return b;
         }(),
         strBeyond, 0},
        {"sizes too large to add", with(LocalHeader("x", 0xFFFFFFFF, 0, 0x8, 0xFFFF), end),
         strBeyond, 0},
        {"descriptor past the end", with(LocalHeader("x", 3, 0, 0x8), B("abc1234")), strBeyond, 0},
        {"second entry past the end",
         with(with(LocalHeader("ok", 2), B("ok")), LocalHeader("x", 99)), strBeyond, 1},
        {"unsupported method",
         with(with(LocalHeader("ok", 2), B("ok")),
              with(LocalHeader("weird.bin", 3, 12), with(B("abc"), end))),
         "the entry weird.bin in the .ZIP file uses an unsupported compression method", 2},
        {"deflate data cut short",
         with(with(LocalHeader("cut", 40, 8), Bytes(packed.begin(), packed.begin() + 40)), end),
         zip::kszReadPastEnd, 1},
        {"block type 3", with(with(LocalHeader("bad", 1, 8), B("\x07")), end),
         zip::kszInflateFailed, 1},
        {"name of 299 bytes", with(with(LocalHeader(std::string(299, 'n'), 1), B("!")), end), "",
         1},
        {"name of 300 bytes", with(with(LocalHeader(std::string(300, 'n'), 1), B("!")), end),
         zip::kszNameTooLong, 0},
        {"central directory ends the walk", good, "", 2},
    };
    for (const Case& c : rgCases) {
        SCOPED_TRACE(c.pszWhat);
        ZipFile zip;
        EXPECT_EQ(ErrorOf(zip, c.bytes), c.strError);
        EXPECT_EQ(zip.Count(), c.cEntries);
    }
}

TEST(ZipFile, EntriesDeferredPastAFailureCanStillBeRead) {
    zipwriter::ZipWriter writer;
    writer.AddStored("a.txt", B("fine"));
    writer.AddRaw("b.bin", 8, 0, Bytes{0x07, 0x00}, 10, 0); // block type 3
    writer.AddDeflated("c.txt", B("also fine"), 6);
    Bytes archive = writer.Finish();
    ZipFile zip;
    EXPECT_EQ(ErrorOf(zip, archive, false), zip::kszInflateFailed);
    EXPECT_EQ(zip.Count(), 3u);
    EXPECT_EQ(DataOf(zip.Find("a.txt")), "fine");
    EXPECT_FALSE(zip.Find("b.bin")->IsUnpacked());
    EXPECT_FALSE(zip.Find("c.txt")->IsUnpacked());
    zip.Unpack(zip.Find("c.txt"));
    EXPECT_EQ(DataOf(zip.Find("c.txt")), "also fine");
}

TEST(ZipFile, HeaderSizesThatLie) {
    std::string strText = Text(20000, 4);
    Bytes packed = zipwriter::Deflate(B(strText), 9);
    struct Case {
        const char* pszWhat;
        std::uint32_t cbClaimed;
        std::string strError;
    };
    const Case rgCases[] = {
        {"exact", 20000, ""},
        {"the spare bytes take a little more", 20000 - 1024, ""},
        {"more than the spare bytes", 20000 - 1025, zip::kszInflateFailed},
        {"nothing", 0, zip::kszInflateFailed},
        {"far more than the data can give", 0xFFFFFFF0, ""},
    };
    for (const Case& c : rgCases) {
        SCOPED_TRACE(c.pszWhat);
        zipwriter::ZipWriter writer;
        writer.AddRaw("t.txt", 8, 0, packed, c.cbClaimed, 0);
        Bytes archive = writer.Finish();
        ZipFile zip;
        ASSERT_EQ(ErrorOf(zip, archive, false), c.strError);
        if (c.strError.empty()) {
            EXPECT_EQ(DataOf(zip.Find("t.txt")), strText);
            mem::BlockInfo info;
            ASSERT_TRUE(mem::GetBlockInfo(zip.Find("t.txt")->Data(), &info));
            EXPECT_LE(info.cbRequested, 1032 * packed.size() + 1024);
        }
    }
    // A stored entry gives no more than its data.
    zipwriter::ZipWriter writer;
    writer.AddRaw("s.txt", 0, 0, B("12345"), 99, 0);
    Bytes archive = writer.Finish();
    ZipFile zip;
    zip.OpenMemory(archive.data(), archive.size(), false);
    EXPECT_EQ(DataOf(zip.Find("s.txt")), "12345");
}

TEST(ZipFile, FilesAndResources) {
    TempDir dir;
    ZipFile zip;
    zip.OpenFile((dir.Path() / "missing.zip").c_str(), false);
    EXPECT_EQ(zip.Count(), 0u);
    std::ofstream((dir.Path() / "empty.zip").string());
    zip.OpenFile((dir.Path() / "empty.zip").c_str(), false);
    EXPECT_EQ(zip.Count(), 0u);
    zip.OpenFile(dir.Path().c_str(), false);
    EXPECT_EQ(zip.Count(), 0u);

    zipwriter::ZipWriter writer;
    writer.AddDeflated("x.txt", B(Text(1000, 5)), 6);
    writer.WriteFile((dir.Path() / "x.zip").string());
    zip.OpenFile((dir.Path() / "x.zip").c_str(), false);
    EXPECT_EQ(DataOf(zip.Find("X.TXT")), Text(1000, 5));
    zip.Close();
    EXPECT_EQ(zip.Count(), 0u);

    std::ofstream((dir.Path() / "bad.zip").string()) << "not an archive";
    EXPECT_THROW(zip.OpenFile((dir.Path() / "bad.zip").c_str(), false), cetl::exception);

    // A resource of the program (the installer's skin package), used in place.
    zip.OpenResource(nullptr, "#800", "ZIP", false);
    ASSERT_NE(zip.Find("skin.txt"), nullptr);
    EXPECT_EQ(zip.Count(), 20u);
    EXPECT_TRUE(zip.Find("PBUTTON.PSP")->IsUnpacked());

    host::DebugCapture capture;
    try {
        zip.OpenResource(nullptr, "#113", "ZIP", false);
        ADD_FAILURE() << "there is no resource 113";
    } catch (const cetl::exception& e) {
        EXPECT_STREQ(e.what(), zip::kszNotZip);
    }
    EXPECT_NE(capture.Text().find("zip: no resource #113 of type ZIP"), std::string::npos);
}

// Archives written by the system's zip program, stored and deflated at several levels.
TEST(ZipFile, ReadsArchivesOfTheSystemsZipProgram) {
    if (std::system("zip -v >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "the zip program is not installed";
    TempDir dir;
    std::map<std::string, std::string> files = {
        {"readme.txt", Text(30000, 1)}, {"arm/kelvano.exe", Random(70000, 2) + Text(70000, 3)},
        {"arm/empty.dat", ""},          {"Mips/deep/er/noise.bin", Random(20000, 4)},
        {"native/tiny", "x"},
    };
    for (const auto& [strName, strData] : files) {
        fs::create_directories((dir.Path() / "in" / strName).parent_path());
        std::ofstream(dir.Path() / "in" / strName, std::ios::binary) << strData;
    }
    for (const char* pszLevel : {"-0", "-1", "-6", "-9"}) {
        SCOPED_TRACE(pszLevel);
        fs::path archive = dir.Path() / (std::string("a") + pszLevel + ".zip");
        std::string strCommand = "cd " + (dir.Path() / "in").string() + " && zip -q -r -X " +
                                 pszLevel + " " + archive.string() + " .";
        ASSERT_EQ(std::system(strCommand.c_str()), 0);
        for (bool fDefer : {false, true}) {
            ZipFile zip;
            zip.OpenFile(archive.c_str(), fDefer);
            EXPECT_NE(zip.Find("mips/deep/"), nullptr);
            for (const auto& [strName, strData] : files) {
                ZipEntry* pEntry = zip.Find(strName.c_str());
                ASSERT_NE(pEntry, nullptr) << strName;
                if (fDefer) zip.Unpack(pEntry);
                EXPECT_EQ(DataOf(pEntry), strData) << strName;
                if (std::string(pszLevel) == "-0") {
                    EXPECT_TRUE(PointsInto(zip, pEntry));
                }
            }
        }
    }
}

} // namespace
