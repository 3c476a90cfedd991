#include "host/file.h"

#include "host/error.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

namespace host {
namespace {

class FileNamesTest : public ::testing::Test {
protected:
    testsupport::TempFolder m_folder{"kelvano-names"};
    std::string m_drive = m_folder.File("drive");
    testsupport::ScopedEnv m_env{"KELVANO_DRIVE_DIR", m_drive.c_str()};
};

TEST_F(FileNamesTest, ClassicNamesMapUnderTheDriveFolder) {
    ASSERT_EQ(DriveFolder(), m_drive);
    ASSERT_EQ(mkdir((m_drive + "/Games").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((m_drive + "/Games/\xC4\x88"
                               "evaloj")
                        .c_str(),
                    0755),
              0); // Esperanto
    struct {
        const char* name;
        std::string native; // "" for a name that stands for none
    } const cases[] = {
        {"C:\\", m_drive},
        {"c:", m_drive},
        {"\\", m_drive},
        {"C:\\Games\\x.exe", m_drive + "/Games/x.exe"},
        {"C:/Games/x.exe", m_drive + "/Games/x.exe"},
        {"\\Games\\\\.\\x", m_drive + "/Games/x"},
        // Existing components are found in any case; new ones keep theirs.
        {"C:\\GAMES\\New Folder\\A.txt", m_drive + "/Games/New Folder/A.txt"},
        {"C:\\games\\\xC4\x89"
         "EVALOJ",
         m_drive + "/Games/\xC4\x88"
                   "evaloj"},
        // ".." stops at the drive root.
        {"C:\\..\\..\\x", m_drive + "/x"},
        {"C:\\Games\\..\\..\\Games\\..\\y", m_drive + "/y"},
        {"D:\\z", m_folder.File("drive-d") + "/z"},
        // Other names keep their native meaning.
        {"/etc/../tmp", "/etc/../tmp"},
        {"relative\\name", "relative\\name"},
        {"C:\\a:b", ""},
        {"C:\\what?", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(NativeFileName(std::string_view(c.name)), c.native);
    }
    EXPECT_EQ(NativeFileName(std::u16string_view(u"\\GAMES\\\u0109evaloj")), m_drive +
                                                                                 "/Games/\xC4\x88"
                                                                                 "evaloj");
    EXPECT_EQ(NativeFileName(std::string_view("C:\\a\0b", 6)), "");
}

TEST_F(FileNamesTest, EveryCallTakesClassicNames) {
    ASSERT_TRUE(CreateDirectory("C:\\Data"));
    EXPECT_FALSE(CreateDirectory("c:/data"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    HANDLE h = CreateFile("\\DATA\\Log.txt", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    struct stat st;
    EXPECT_EQ(stat((m_drive + "/Data/Log.txt").c_str(), &st), 0);
    EXPECT_EQ(GetFileAttributes(u"c:\\data\\LOG.TXT"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributes("C:\\Data"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(RemoveDirectory("C:\\DATA"));
    EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
    EXPECT_TRUE(DeleteFile("C:\\data\\log.txt"));
    EXPECT_FALSE(RemoveDirectory("C:\\..")); // the drive root stays
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(RemoveDirectory(u"c:\\data"));
    EXPECT_EQ(GetFileAttributes("C:\\Data"), INVALID_FILE_ATTRIBUTES);
}

} // namespace
} // namespace host
