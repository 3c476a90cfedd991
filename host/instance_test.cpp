#include "host/instance.h"

#include "host/clock.h"
#include "host/thread.h"
#include "host/window.h"
#include "host/window_test_support.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace host::test {
namespace {

constexpr int kChildReportFd = 100;
constexpr int kChildHoldFd = 101;

// Every test gets a runtime folder of its own; a child process inherits it.
class InstanceTest : public WindowTest {
protected:
    testsupport::TempFolder temp_{"kelvano-instance"};
    testsupport::ScopedEnv runtime_{"KELVANO_RUNTIME_DIR", temp_.Path().c_str()};
    std::string folder_ = temp_.Path().string();
};

TEST_F(InstanceTest, NamedMutexesReportExistenceAndGuardOwnership) {
    NamedMutex first, second;
    ASSERT_TRUE(first.Create("Kelvano CE Mutex", true));
    EXPECT_FALSE(first.AlreadyExisted());
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    ASSERT_TRUE(second.Create(u"Kelvano CE Mutex"));
    EXPECT_TRUE(second.AlreadyExisted());
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

    EXPECT_EQ(first.Wait(0), WAIT_OBJECT_0); // recursive for its owner
    EXPECT_EQ(second.Wait(0), WAIT_TIMEOUT); // another handle must win it on its own
    std::atomic<bool> fReleased{false};
    std::atomic<DWORD> error{0};
    Thread other([&] {
        fReleased = first.Release();
        error = GetLastError();
    });
    other.Join();
    EXPECT_FALSE(fReleased); // only the owning thread may release
    EXPECT_EQ(error, ERROR_NOT_OWNER);
    EXPECT_TRUE(first.Release());
    EXPECT_EQ(second.Wait(0), WAIT_TIMEOUT); // still owned once
    EXPECT_TRUE(first.Release());
    EXPECT_EQ(second.Wait(0), WAIT_OBJECT_0);
    EXPECT_FALSE(first.Release());
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);

    // A timed wait runs on the virtual clock.
    {
        VirtualClockScope clock;
        std::atomic<DWORD> result{0xFFFF};
        Thread waiter([&] { result = first.Wait(100); });
        WaitForVirtualClockWaiters(1);
        EXPECT_EQ(result, 0xFFFFu);
        AdvanceVirtualClock(100);
        waiter.Join();
        EXPECT_EQ(result, WAIT_TIMEOUT);
    }
    // Closing the last handles lets the name start afresh.
    second.Close();
    first.Close();
    NamedMutex third;
    ASSERT_TRUE(third.Create("Kelvano CE Mutex"));
    EXPECT_FALSE(third.AlreadyExisted());
}

TEST_F(InstanceTest, MutexNamesStayInsideTheRuntimeFolder) {
    const std::string names[] = {"Kelvano CE Mutex",
                                 "../escape",
                                 "a/b\\c",
                                 "\xC4\x89"
                                 "e",
                                 std::string(300, 'x'),
                                 std::string(300, 'x') + "y"};
    std::vector<NamedMutex> mutexes(std::size(names));
    for (std::size_t i = 0; i < std::size(names); ++i) {
        ASSERT_TRUE(mutexes[i].Create(names[i])) << names[i];
        EXPECT_FALSE(mutexes[i].AlreadyExisted()) << names[i]; // no two names collide
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
        EXPECT_TRUE(entry.is_regular_file()) << entry.path();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(folder_).parent_path() /
                                         "mutex-..%2Fescape.lock"));
    NamedMutex empty;
    EXPECT_FALSE(empty.Create(""));
    EXPECT_EQ(empty.Wait(0), WAIT_FAILED);
}

TEST_F(InstanceTest, PublishedWindowsTakeCommandsInThisProcessToo) {
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    EXPECT_FALSE(PostCommandToWindow("Kelvano CE", 1003)); // nobody publishes it
    ASSERT_TRUE(PublishWindow("Kelvano CE", nullptr));
    EXPECT_FALSE(PostCommandToWindow("Kelvano CE", 1003)); // published, no window yet
    ASSERT_TRUE(PublishWindow(u"kelvano ce", hwnd));
    EXPECT_TRUE(PostCommandToWindow("KELVANO CE", 1003, 1));
    std::vector<MSG> seen = Pump();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, WM_COMMAND);
    EXPECT_EQ(seen[0].wParam, MAKEWPARAM(1003, 1));
    EXPECT_EQ(seen[0].lParam, 0);
    EXPECT_FALSE(FindWindowInOtherProcess("Kelvano CE")); // this process is not another one

    // Garbage on the socket is answered and forgotten.
    std::string socketPath;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
        if (entry.path().extension() == ".sock") socketPath = entry.path();
    }
    ASSERT_FALSE(socketPath.empty());
    const std::string junk[] = {"", "KLVW", std::string(64, '\xFF'),
                                std::string("KLVW\x01\x02\x00\x00\x00\x00\xFF\xFF", 12)};
    for (const std::string& bytes : junk) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, socketPath.c_str());
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
        ::shutdown(fd, SHUT_WR);
        char reply[5] = {};
        ::recv(fd, reply, sizeof reply, MSG_WAITALL);
        EXPECT_EQ(reply[0], 0);
        ::close(fd);
    }
    EXPECT_TRUE(PostCommandToWindow("Kelvano CE", 1004));
    EXPECT_EQ(Numbers(Pump()), (std::vector<UINT>{WM_COMMAND}));

    DestroyWindow(hwnd);
    EXPECT_FALSE(PostCommandToWindow("Kelvano CE", 1003));
    EXPECT_TRUE(UnpublishWindow("Kelvano CE"));
    EXPECT_FALSE(UnpublishWindow("Kelvano CE"));
}

// The second process of the test below: publishes a window and holds the mutex, reports each
// command it receives, and after command 2 ends without cleaning up, as soon as the test
// closes its end of the hold pipe.
TEST(InstanceChild, DISABLED_PublisherProcess) {
    const char* fdText = std::getenv("KELVANO_INSTANCE_CHILD");
    if (fdText == nullptr)
        GTEST_SKIP() << "run by InstanceTest.AnotherProcessFindsThePublishedWindow";
    const int fd = std::atoi(fdText);
    auto report = [fd](std::string line) {
        line += "\n";
        [[maybe_unused]] ssize_t n = ::write(fd, line.data(), line.size());
    };
    RegisterTestClasses();
    NamedMutex mutex;
    ASSERT_TRUE(mutex.Create("Kelvano CE Mutex", true));
    HWND hwnd =
        MakeWindow("TestWindow", WS_POPUP, {-10, -10, -5, -5}, nullptr, nullptr, "Kelvano CE IPC");
    ASSERT_TRUE(PublishWindow(u"Kelvano CE", hwnd));
    report(mutex.AlreadyExisted() ? "ready, but the mutex existed" : "ready");
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_COMMAND && msg.hwnd == hwnd) {
            report("command " + std::to_string(LOWORD(msg.wParam)) + " " +
                   std::to_string(HIWORD(msg.wParam)));
            if (LOWORD(msg.wParam) == 2) {
                char c;
                while (::read(kChildHoldFd, &c, 1) > 0) {
                }
                ::_exit(0); // as if killed: no handle is closed
            }
        }
        DispatchMessage(&msg);
    }
}

std::string ReadLine(int fd, int msTimeout) {
    std::string line;
    char c;
    while (true) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, msTimeout) <= 0 || ::read(fd, &c, 1) != 1) return line + "<no answer>";
        if (c == '\n') return line;
        line += c;
    }
}

pid_t SpawnChild(int* pfdReport, int* pfdHold) {
    int pipeFds[2], holdFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0 || ::pipe2(holdFds, O_CLOEXEC) != 0) return -1;
    // Everything the child needs is made before fork: after it only exec-safe calls.
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "KELVANO_INSTANCE_CHILD=", 23) != 0) env.emplace_back(*e);
    }
    env.push_back("KELVANO_INSTANCE_CHILD=" + std::to_string(kChildReportFd));
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe = std::filesystem::read_symlink("/proc/self/exe");
    std::string filter = "--gtest_filter=InstanceChild.DISABLED_PublisherProcess";
    std::string disabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {exe.data(), filter.data(), disabled.data(), nullptr};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], kChildReportFd);
        ::dup2(holdFds[0], kChildHoldFd);
        ::execve(exe.c_str(), argv, envp.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    ::close(holdFds[0]);
    *pfdReport = pipeFds[0];
    *pfdHold = holdFds[1];
    return pid;
}

int WaitForExit(pid_t pid, int msTimeout) {
    int status = 0;
    for (int waited = 0; waited < msTimeout; waited += 5) {
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        ::usleep(5000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -2;
}

TEST_F(InstanceTest, AnotherProcessFindsThePublishedWindow) {
    int fdReport = -1, fdHold = -1;
    pid_t pid = SpawnChild(&fdReport, &fdHold);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(ReadLine(fdReport, 20000), "ready");

    NamedMutex mutex;
    ASSERT_TRUE(mutex.Create("Kelvano CE Mutex"));
    EXPECT_TRUE(mutex.AlreadyExisted());
    EXPECT_EQ(mutex.Wait(0), WAIT_TIMEOUT); // the other process owns it
    EXPECT_TRUE(FindWindowInOtherProcess("kelvano ce"));
    EXPECT_FALSE(FindWindowInOtherProcess("Kelvano"));
    HWND mine = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    EXPECT_FALSE(PublishWindow("Kelvano CE", mine));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

    EXPECT_TRUE(PostCommandToWindow("Kelvano CE", 1003));
    EXPECT_EQ(ReadLine(fdReport, 10000), "command 1003 0");
    EXPECT_TRUE(PostCommandToWindow(u"KELVANO CE", 2, 7));
    EXPECT_EQ(ReadLine(fdReport, 10000), "command 2 7");
    ::close(fdHold);
    EXPECT_EQ(WaitForExit(pid, 10000), 0);
    ::close(fdReport);

    // It died holding everything: the system has let go of its locks.
    EXPECT_FALSE(FindWindowInOtherProcess("Kelvano CE"));
    EXPECT_FALSE(PostCommandToWindow("Kelvano CE", 1003));
    EXPECT_EQ(mutex.Wait(0), WAIT_OBJECT_0);
    EXPECT_TRUE(PublishWindow("Kelvano CE", mine)); // the stale socket is replaced
    EXPECT_TRUE(UnpublishWindow("Kelvano CE"));
}

} // namespace
} // namespace host::test
