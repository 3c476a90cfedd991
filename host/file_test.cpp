#include "host/file.h"

#include "host/error.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace host {
namespace {

class FileTest : public ::testing::Test {
protected:
    std::string Path(const char* psz) const { return m_folder.File(psz); }
    testsupport::TempFolder m_folder{"kelvano-file"};
};

TEST_F(FileTest, WriteSeekReadAndSize) {
    std::string strPath = Path("a.bin");
    HANDLE h = CreateFile(strPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD cb = 0;
    ASSERT_TRUE(WriteFile(h, "hello world", 11, &cb));
    EXPECT_EQ(cb, 11u);
    EXPECT_EQ(GetFileSize(h), 11u);
    EXPECT_EQ(SetFilePointer(h, -5, FILE_END), 6u);
    char sz[16] = {};
    ASSERT_TRUE(ReadFile(h, sz, sizeof sz, &cb));
    EXPECT_EQ(cb, 5u);
    EXPECT_STREQ(sz, "world");
    // At the end a read succeeds with nothing read.
    ASSERT_TRUE(ReadFile(h, sz, 4, &cb));
    EXPECT_EQ(cb, 0u);
    // A position before the start fails and leaves the position alone.
    EXPECT_EQ(SetFilePointer(h, -100, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(SetFilePointer(h, 0, FILE_CURRENT), 11u);
    EXPECT_TRUE(CloseHandle(h));
    // CREATE_NEW refuses an existing file.
    EXPECT_EQ(CreateFile(strPath.c_str(), GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
}

TEST_F(FileTest, ErrorsAndWideNames) {
    EXPECT_EQ(CreateFile(Path("missing").c_str(), GENERIC_READ, 0, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    // Creating needs write access.
    EXPECT_EQ(CreateFile(Path("x").c_str(), GENERIC_READ, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, nullptr, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(nullptr));

    // A 16-bit name with an Esperanto letter reaches the file system as UTF-8.
    std::string strDir = Path("");
    std::u16string strWide = std::u16string(strDir.begin(), strDir.end()) + u"\u0109evalo";
    HANDLE h = CreateFile(strWide.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(access(Path("\xC4\x89"
                          "evalo")
                         .c_str(),
                     F_OK),
              0);
}

// A stale handle must not reach the file that now has its old descriptor.
TEST_F(FileTest, StaleHandleLeavesTheNextFileAlone) {
    HANDLE hA = CreateFile(Path("a").c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(hA, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(hA));
    HANDLE hB = CreateFile(Path("b").c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(hB, INVALID_HANDLE_VALUE);
    EXPECT_NE(hB, hA);

    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(CloseHandle(hA));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    DWORD cb = 1;
    EXPECT_FALSE(WriteFile(hA, "x", 1, &cb));
    EXPECT_EQ(cb, 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    ASSERT_TRUE(WriteFile(hB, "still open", 10, &cb));
    EXPECT_EQ(SetFilePointer(hB, 0, FILE_BEGIN), 0u);
    char sz[16] = {};
    ASSERT_TRUE(ReadFile(hB, sz, sizeof sz, &cb));
    EXPECT_STREQ(sz, "still open");
    EXPECT_TRUE(CloseHandle(hB));
}

} // namespace
} // namespace host
