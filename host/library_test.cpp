#include "host/library.h"

#include "host/error.h"
#include "host/file.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace host;

class Library : public ::testing::Test {
protected:
    testsupport::TempFolder drive_{"kelvano-library-drive"};
    testsupport::ScopedEnv driveEnv_{"KELVANO_DRIVE_DIR", drive_.Path().c_str()};
    testsupport::TempFolder search_{"kelvano-library-path"};
    testsupport::ScopedEnv pathEnv_{"KELVANO_LIBRARY_PATH",
                                    (":/nonexistent:" + search_.Path().string()).c_str()};
};

TEST_F(Library, LoadsByEachKindOfName) {
    fs::create_directories(drive_.Path() / "Lib");
    fs::copy_file(LIBRARY_TESTLIB, drive_.Path() / "Lib" / "Test.dll");
    fs::copy_file(LIBRARY_TESTLIB, search_.Path() / "other.so");
    std::ofstream(drive_.Path() / "notlib.dll") << "not a library";
    const fs::path built = fs::path(LIBRARY_TESTLIB);
    const struct {
        std::u16string name;
        std::string file; // the file loaded; empty: nothing loads
    } cases[] = {
        {built.u16string(), built.filename().string()},
        {u"host_library_testlib.dll", built.filename().string()}, // beside the executable
        {u"other.dll", "other.so"},                               // on the search path
        {u"C:\\lib\\TEST.dll", "Test.dll"},
        {u"\\Lib/Test.dll", "Test.dll"},
        {u"missing.dll", ""},
        {u"C:\\Lib\\missing.dll", ""},
        {u"C:\\notlib.dll", ""},
        {u"", ""},
    };
    for (const auto& c : cases) {
        const std::string name(c.name.begin(), c.name.end());
        SCOPED_TRACE(name);
        SetLastError(0);
        HMODULE h = LoadLibrary(c.name.c_str());
        if (c.file.empty()) {
            EXPECT_EQ(h, nullptr);
            // A file that is there but is no library is told apart from a missing one.
            EXPECT_EQ(GetLastError(),
                      name == "C:\\notlib.dll" ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
            continue;
        }
        ASSERT_NE(h, nullptr);
        char path[4096];
        ASSERT_TRUE(GetModuleFileName(h, path, sizeof(path)));
        EXPECT_EQ(fs::path(path).filename().string(), c.file);
        EXPECT_NE(GetProcAddress(h, "RecordedShow"), nullptr);
        EXPECT_TRUE(FreeLibrary(h));
    }
    // The 8-bit call takes the same names.
    HMODULE h = LoadLibrary("C:\\Lib\\Test.dll");
    EXPECT_NE(h, nullptr);
    EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(Library, MissingExportAndStaleHandles) {
    HMODULE h = LoadLibrary(LIBRARY_TESTLIB);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetProcAddress(h, "NoSuchEntry"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(h, nullptr), nullptr);
    char tiny[4];
    EXPECT_FALSE(GetModuleFileName(h, tiny, sizeof(tiny)));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_FALSE(FreeLibrary(h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetProcAddress(h, "RecordedShow"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(Library, ACutOffLibraryFailsToLoadInsteadOfFaulting) {
    std::ifstream in(LIBRARY_TESTLIB, std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(whole.size(), 4096u);
    for (std::size_t cb :
         {std::size_t{0}, std::size_t{40}, std::size_t{4096}, whole.size() / 2, whole.size() - 1}) {
        const fs::path cut = drive_.Path() / ("cut" + std::to_string(cb) + ".dll");
        std::ofstream(cut, std::ios::binary).write(whole.data(), static_cast<std::streamsize>(cb));
        EXPECT_EQ(LoadLibrary(cut.c_str()), nullptr) << cb << " bytes";
        EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT) << cb << " bytes";
    }
}

TEST_F(Library, InUseUntilEveryLoadIsFreed) {
    fs::copy_file(LIBRARY_TESTLIB, drive_.Path() / "inuse.dll");
    HMODULE h1 = LoadLibrary("C:\\inuse.dll");
    HMODULE h2 = LoadLibrary("inuse.dll"); // not on any search folder
    EXPECT_EQ(h2, nullptr);
    h2 = LoadLibrary((drive_.Path() / "inuse.dll").c_str());
    ASSERT_NE(h1, nullptr);
    ASSERT_EQ(h1, h2);
    EXPECT_FALSE(DeleteFile("C:\\inuse.dll"));
    EXPECT_EQ(GetLastError(), 32u);
    EXPECT_TRUE(FreeLibrary(h1));
    EXPECT_FALSE(DeleteFile("C:\\inuse.dll"));
    EXPECT_TRUE(FreeLibrary(h2));
    EXPECT_TRUE(DeleteFile("C:\\inuse.dll"));
}

} // namespace
