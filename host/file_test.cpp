#include "host/file.h"

#include "host/error.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// Programs keep their classic names and start here: a new or renamed ".exe" is executable,
// other files are not.
TEST_F(FileTest, ProgramsAreExecutable) {
    auto create = [&](const char* psz) {
        HANDLE h = CreateFile(Path(psz).c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS);
        EXPECT_NE(h, INVALID_HANDLE_VALUE) << psz;
        CloseHandle(h);
    };
    auto runnable = [&](const char* psz) { return access(Path(psz).c_str(), X_OK) == 0; };
    create("game.exe");
    create("GAME2.EXE");
    create("data.exe.tmp");
    create("notes.txt");
    EXPECT_TRUE(runnable("game.exe"));
    EXPECT_TRUE(runnable("GAME2.EXE"));
    EXPECT_FALSE(runnable("data.exe.tmp"));
    EXPECT_FALSE(runnable("notes.txt"));
    ASSERT_TRUE(MoveFileEx(Path("data.exe.tmp").c_str(), Path("data.exe").c_str(),
                           MOVEFILE_REPLACE_EXISTING));
    EXPECT_TRUE(runnable("data.exe"));
    ASSERT_TRUE(MoveFile(Path("notes.txt").c_str(), Path("other.exe").c_str()));
    EXPECT_TRUE(runnable("other.exe"));
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

// Files under a drive folder of their own, with the next-start list in its own registry folder.
class FileOpsTest : public FileTest {
protected:
    std::string m_drive = Path("drive");
    testsupport::ScopedEnv m_envDrive{"KELVANO_DRIVE_DIR", m_drive.c_str()};
    std::string m_registry = Path("registry");
    testsupport::ScopedEnv m_envRegistry{"KELVANO_REGISTRY_DIR", m_registry.c_str()};

    static bool Make(const char* pszName, const char* pszText = "x") {
        HANDLE h = CreateFile(pszName, GENERIC_WRITE, 0, CREATE_ALWAYS);
        if (h == INVALID_HANDLE_VALUE) return false;
        DWORD cb = 0;
        bool fOk = WriteFile(h, pszText, static_cast<DWORD>(strlen(pszText)), &cb);
        return CloseHandle(h) && fOk;
    }
    static bool Exists(const char* pszName) {
        return GetFileAttributes(pszName) != INVALID_FILE_ATTRIBUTES;
    }
};

// Read-only binds every caller, root included, until it is cleared.
TEST_F(FileOpsTest, ReadOnlyIsEnforcedByTheHost) {
    ASSERT_TRUE(Make("C:\\ro.txt"));
    ASSERT_TRUE(Make("C:\\other.txt"));
    ASSERT_TRUE(SetFileAttributes("C:\\ro.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributes("C:\\RO.TXT"), FILE_ATTRIBUTE_READONLY);
    for (DWORD dwCreation : {OPEN_EXISTING, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
        EXPECT_EQ(CreateFile("C:\\ro.txt", GENERIC_WRITE, 0, dwCreation), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }
    EXPECT_FALSE(DeleteFile("C:\\ro.txt"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(MoveFileEx("C:\\other.txt", "C:\\ro.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    struct stat st;
    ASSERT_EQ(stat((m_drive + "/ro.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 1); // nothing truncated on the way
    // Reading and moving it are fine; the mark moves along.
    HANDLE h = CreateFile("C:\\ro.txt", GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    ASSERT_TRUE(MoveFile("C:\\ro.txt", "C:\\moved.txt"));
    EXPECT_EQ(GetFileAttributes("C:\\moved.txt"), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(SetFileAttributes("C:\\moved.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributes("C:\\moved.txt"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(Make("C:\\moved.txt", "again"));
    // Moving onto an existing file needs REPLACE_EXISTING.
    EXPECT_FALSE(MoveFile("C:\\other.txt", "C:\\moved.txt"));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(MoveFileEx("C:\\other.txt", "C:\\moved.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(Exists("C:\\other.txt"));
    EXPECT_FALSE(DeleteFile("C:\\"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

// A file in use cannot be deleted or overwritten, by this program or another, but it can be
// moved, and it stays in use under its new name; the next start deletes it once it is free.
TEST_F(FileOpsTest, InUseFilesMoveButStay) {
    ASSERT_TRUE(Make("C:\\game.exe"));
    std::string strGame = NativeFileName(std::string_view("C:\\game.exe"));
    MarkFileInUse(strGame, true);
    EXPECT_FALSE(DeleteFile("C:\\game.exe"));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(CreateFile("C:\\game.exe", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    ASSERT_TRUE(Make("C:\\new.exe"));
    EXPECT_FALSE(MoveFileEx("C:\\new.exe", "C:\\game.exe", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    ASSERT_TRUE(MoveFile("C:\\game.exe", "C:\\game.old"));
    EXPECT_FALSE(DeleteFile("C:\\game.old"));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    ASSERT_TRUE(MoveFileEx("C:\\game.old", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_EQ(CarryOutPendingFileOperations(), 0); // still running: stays listed
    EXPECT_TRUE(Exists("C:\\game.old"));
    MarkFileInUse(strGame, false);
    EXPECT_EQ(CarryOutPendingFileOperations(), 1);
    EXPECT_FALSE(Exists("C:\\game.old"));

    // Another running program's mark is seen too, and ends with it.
    ASSERT_TRUE(Make("C:\\lib.dll"));
    std::string strLib = NativeFileName(std::string_view("C:\\lib.dll"));
    int fdsUp[2];
    int fdsDown[2];
    ASSERT_EQ(pipe(fdsUp), 0);
    ASSERT_EQ(pipe(fdsDown), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        MarkFileInUse(strLib, true);
        char ch = 0;
        (void)!write(fdsUp[1], "m", 1);
        (void)!read(fdsDown[0], &ch, 1); // until the parent has looked
        _exit(0);
    }
    char ch = 0;
    ASSERT_EQ(read(fdsUp[0], &ch, 1), 1);
    EXPECT_FALSE(DeleteFile("C:\\lib.dll"));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    ASSERT_EQ(write(fdsDown[1], "q", 1), 1);
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    for (int fd : {fdsUp[0], fdsUp[1], fdsDown[0], fdsDown[1]})
        close(fd);
    EXPECT_TRUE(DeleteFile("C:\\lib.dll"));
}

// The running program's own executable is in use: a second name of the same file shows it.
TEST_F(FileOpsTest, OwnExecutableIsInUse) {
    char sz[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", sz, sizeof sz - 1), 0);
    std::string strExe = sz;
    testsupport::TempFolder beside("kelvano-exe", strExe.substr(0, strExe.rfind('/')));
    std::string strLink = beside.File("exe-link");
    if (link(strExe.c_str(), strLink.c_str()) != 0) GTEST_SKIP() << "no hard link here";
    EXPECT_FALSE(DeleteFile(strLink.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
}

TEST_F(FileOpsTest, NextStartListRunsOnceAndKeepsWhatFails) {
    ASSERT_TRUE(Make("C:\\a.txt", "a"));
    ASSERT_TRUE(Make("C:\\b.txt", "b"));
    ASSERT_TRUE(Make("C:\\gone.txt"));
    ASSERT_TRUE(CreateDirectory("C:\\Empty"));
    ASSERT_TRUE(MoveFileEx("C:\\a.txt", "C:\\b.txt",
                           MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    ASSERT_TRUE(MoveFileEx(u"C:\\gone.txt", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileEx("C:\\Empty", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(MoveFileEx("C:\\later.txt", "C:\\c.txt", MOVEFILE_DELAY_UNTIL_REBOOT));
    // Nothing happens before the next start.
    EXPECT_TRUE(Exists("C:\\a.txt") && Exists("C:\\gone.txt") && Exists("C:\\Empty"));

    EXPECT_EQ(CarryOutPendingFileOperations(), 3);
    EXPECT_FALSE(Exists("C:\\a.txt") || Exists("C:\\gone.txt") || Exists("C:\\Empty"));
    HANDLE h = CreateFile("C:\\b.txt", GENERIC_READ, 0, OPEN_EXISTING);
    char chRead = 0;
    DWORD cb = 0;
    ASSERT_TRUE(ReadFile(h, &chRead, 1, &cb));
    CloseHandle(h);
    EXPECT_EQ(chRead, 'a');
    // The failed move waits for a start at which it can be done, then is done once.
    ASSERT_TRUE(Make("C:\\b.txt", "b"));
    EXPECT_EQ(CarryOutPendingFileOperations(), 0);
    ASSERT_TRUE(Make("C:\\later.txt"));
    EXPECT_EQ(CarryOutPendingFileOperations(), 1);
    EXPECT_TRUE(Exists("C:\\c.txt"));
    EXPECT_TRUE(Exists("C:\\b.txt"));
    EXPECT_EQ(CarryOutPendingFileOperations(), 0);
    EXPECT_NE(access((m_registry + "/pending-file-operations.tmp").c_str(), F_OK), 0);
}

// A full disk and a file-size limit both fail the write with ERROR_DISK_FULL.
TEST_F(FileOpsTest, FileSizeLimitIsADiskFull) {
    std::string strPath = Path("big.bin");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        struct rlimit limit = {1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        HANDLE h = CreateFile(strPath.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS);
        static char buf[4096];
        DWORD cb = 0;
        bool fFailed = !WriteFile(h, buf, sizeof buf, &cb);
        _exit(fFailed && GetLastError() == ERROR_DISK_FULL && cb == 1000 ? 0 : 1);
    }
    int nStatus = 0;
    ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(nStatus)) << "ended by signal " << WTERMSIG(nStatus);
    EXPECT_EQ(WEXITSTATUS(nStatus), 0);
}

} // namespace
} // namespace host
