#include "host/instance.h"

#include "host/clock.h"
#include "host/codepage.h"
#include "host/debug.h"
#include "host/error.h"
#include "host/thread.h"
#include "host/window.h"
#include "host/window_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace host {
namespace {

std::string EnsurePrivateFolder(const std::string& path, bool fCheckOthers) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return {};
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return {};
    if (fCheckOthers && (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return {};
    return path;
}

std::uint64_t Fnv1a(const void* data, std::size_t cb) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < cb; ++i) {
        hash ^= bytes[i];
        hash *= 0x100000001B3ull;
    }
    return hash;
}

std::string Hex(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// A file name part that keeps readable characters and cannot leave the folder.
std::string EscapeName(const std::string& utf8) {
    std::string out;
    for (unsigned char c : utf8) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '_' || c == '-') {
            out += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        }
    }
    if (out.size() > 120) out = out.substr(0, 100) + "~" + Hex(Fnv1a(utf8.data(), utf8.size()));
    return out;
}

int OpenLockFile(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

int Flock(int fd, int op) {
    int result;
    do
        result = ::flock(fd, op);
    while (result != 0 && errno == EINTR);
    return result;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

} // namespace

std::string GetRuntimeFolder() {
    if (const char* dir = std::getenv("KELVANO_RUNTIME_DIR"); dir != nullptr && *dir != 0)
        return EnsurePrivateFolder(dir, false);
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg != nullptr && xdg[0] == '/')
        return EnsurePrivateFolder(std::string(xdg) + "/kelvano", false);
    return EnsurePrivateFolder("/tmp/kelvano-" + std::to_string(::getuid()), true);
}

// ---------------------------------------------------------------------------------------
// Named mutexes

bool NamedMutex::Create(std::u16string_view name, bool fInitialOwner) {
    return Create(ToUtf8(name), fInitialOwner);
}

bool NamedMutex::Create(std::string_view name, bool fInitialOwner) {
    Close();
    std::string folder = GetRuntimeFolder();
    if (folder.empty() || name.empty()) {
        SetLastError(folder.empty() ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::string base = folder + "/mutex-" + EscapeName(std::string(name));
    // Openers take turns, so that "is anybody else here" and "I am here" are one step.
    int guard = OpenLockFile(base + ".guard");
    int presence = OpenLockFile(base + ".lock");
    int owner = OpenLockFile(base + ".owner");
    if (guard < 0 || presence < 0 || owner < 0 || Flock(guard, LOCK_EX) != 0) {
        CloseFd(guard);
        CloseFd(presence);
        CloseFd(owner);
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    fExisted_ = Flock(presence, LOCK_EX | LOCK_NB) != 0;
    Flock(presence, LOCK_SH);
    CloseFd(guard);
    fdPresence_ = presence;
    fdOwner_ = owner;
    if (fInitialOwner && !fExisted_) Wait(0);
    SetLastError(fExisted_ ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return true;
}

DWORD NamedMutex::Wait(DWORD msTimeout) {
    if (!IsOpen()) return WAIT_FAILED;
    const DWORD me = GetCurrentThreadId();
    const ClockMs deadline = DeadlineAfter(msTimeout);
    std::unique_lock lock(WaitMutex());
    if (ownerThread_ == me) {
        ++cOwned_;
        return WAIT_OBJECT_0;
    }
    // First among the threads of this process that share the handle...
    if (WaitUntil(lock, deadline, [&] { return ownerThread_ == 0; }) != WaitStatus::kReady)
        return WAIT_TIMEOUT;
    ownerThread_ = me; // reserved while the other processes are asked
    // ...then among the processes, polling the lock while the clock runs.
    for (;;) {
        if (Flock(fdOwner_, LOCK_EX | LOCK_NB) == 0) break;
        if (msTimeout == INFINITE) {
            lock.unlock();
            int result = Flock(fdOwner_, LOCK_EX);
            lock.lock();
            if (result == 0) break;
        } else if (msTimeout == 0 ||
                   WaitUntil(
                       lock, deadline, [] { return false; }, 2) == WaitStatus::kTimedOut) {
            ownerThread_ = 0;
            WakeWaiters();
            return WAIT_TIMEOUT;
        }
    }
    cOwned_ = 1;
    return WAIT_OBJECT_0;
}

bool NamedMutex::Release() {
    std::lock_guard guard(WaitMutex());
    if (!IsOpen() || ownerThread_ != GetCurrentThreadId() || cOwned_ == 0) {
        SetLastError(ERROR_NOT_OWNER);
        return false;
    }
    if (--cOwned_ == 0) {
        Flock(fdOwner_, LOCK_UN);
        ownerThread_ = 0;
        WakeWaiters();
    }
    return true;
}

void NamedMutex::Close() {
    {
        std::lock_guard guard(WaitMutex());
        ownerThread_ = 0;
        cOwned_ = 0;
        WakeWaiters();
    }
    CloseFd(fdOwner_); // closing gives up the locks
    CloseFd(fdPresence_);
    fExisted_ = false;
}

// ---------------------------------------------------------------------------------------
// Published windows

namespace {

constexpr char kMagic[4] = {'K', 'L', 'V', 'W'};
constexpr BYTE kVersion = 1;
constexpr BYTE kOpFind = 1;
constexpr BYTE kOpPost = 2;
constexpr std::size_t kMaxTitle = 512;
constexpr int kClientTimeoutMs = 2000;
constexpr int kServerTimeoutMs = 1000;

#pragma pack(push, 1)
struct Request {
    char magic[4];
    BYTE version;
    BYTE op;
    WORD id;
    WORD code;
    WORD cchTitle; // UTF-16 units follow
};
struct Reply {
    BYTE fOk;
    DWORD pid;
};
#pragma pack(pop)
static_assert(sizeof(Request) == 12 && sizeof(Reply) == 5);

struct Publication {
    std::u16string folded;
    HWND hwnd = nullptr;
    int fdListen = -1;
    int fdLock = -1;
    std::string socketPath;
};

struct Publisher {
    std::mutex mutex;
    std::map<std::string, Publication> published; // by name hash
    std::vector<int> closing;                     // listening sockets the thread closes
    int wake[2] = {-1, -1};
    bool fThread = false;
};

Publisher& GetPublisher() {
    static Publisher* publisher = new Publisher;
    return *publisher;
}

std::string KeyFor(const std::u16string& folded) {
    return Hex(Fnv1a(folded.data(), folded.size() * sizeof(char16_t)));
}

bool SocketAddress(const std::string& path, sockaddr_un* addr) {
    *addr = {};
    addr->sun_family = AF_UNIX;
    if (path.size() >= sizeof addr->sun_path) return false;
    std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Reads or writes exactly cb bytes, waiting at most msTimeout for each step.
bool Transfer(int fd, void* data, std::size_t cb, bool fWrite, int msTimeout) {
    auto* p = static_cast<char*>(data);
    while (cb > 0) {
        pollfd pfd{fd, static_cast<short>(fWrite ? POLLOUT : POLLIN), 0};
        int ready = ::poll(&pfd, 1, msTimeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        ssize_t n = fWrite ? ::send(fd, p, cb, MSG_NOSIGNAL) : ::recv(fd, p, cb, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;
        p += n;
        cb -= static_cast<std::size_t>(n);
    }
    return true;
}

void Serve(int client) {
    Request request{};
    Reply reply{0, static_cast<DWORD>(::getpid())};
    std::u16string title;
    bool fValid = Transfer(client, &request, sizeof request, false, kServerTimeoutMs) &&
                  std::memcmp(request.magic, kMagic, 4) == 0 && request.version == kVersion &&
                  (request.op == kOpFind || request.op == kOpPost) && request.cchTitle <= kMaxTitle;
    if (fValid) {
        title.resize(request.cchTitle);
        fValid = Transfer(client, title.data(), title.size() * sizeof(char16_t), false,
                          kServerTimeoutMs);
    }
    if (fValid) {
        std::u16string folded = wnd::Fold(title);
        HWND hwnd = nullptr;
        {
            Publisher& p = GetPublisher();
            std::lock_guard guard(p.mutex);
            auto it = p.published.find(KeyFor(folded));
            if (it != p.published.end() && it->second.folded == folded) hwnd = it->second.hwnd;
        }
        bool fOk = hwnd != nullptr && IsWindow(hwnd);
        if (fOk && request.op == kOpPost)
            fOk = PostMessage(hwnd, WM_COMMAND, MAKEWPARAM(request.id, request.code), 0) != FALSE;
        reply.fOk = fOk ? 1 : 0;
    }
    Transfer(client, &reply, sizeof reply, true, kServerTimeoutMs);
    ::close(client);
}

void ListenerThread() {
    Publisher& p = GetPublisher();
    for (;;) {
        std::vector<pollfd> fds;
        {
            std::lock_guard guard(p.mutex);
            for (int fd : p.closing)
                ::close(fd);
            p.closing.clear();
            fds.push_back({p.wake[0], POLLIN, 0});
            for (auto& entry : p.published)
                fds.push_back({entry.second.fdListen, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) continue;
        if ((fds[0].revents & POLLIN) != 0) {
            char drain[64];
            while (::read(p.wake[0], drain, sizeof drain) > 0) {
            }
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if ((fds[i].revents & POLLIN) == 0) continue;
            int client = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) Serve(client);
        }
    }
}

void WakeListenerLocked(Publisher& p) {
    char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(p.wake[1], &byte, 1);
}

bool StartListenerLocked(Publisher& p) {
    if (p.fThread) return true;
    if (::pipe2(p.wake, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    StartDetachedThread(ListenerThread);
    p.fThread = true;
    return true;
}

bool Publish(const std::u16string& title, HWND hwnd) {
    std::string folder = GetRuntimeFolder();
    if (folder.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    const std::u16string folded = wnd::Fold(title);
    const std::string key = KeyFor(folded);
    Publisher& p = GetPublisher();
    std::lock_guard guard(p.mutex);
    auto it = p.published.find(key);
    if (it != p.published.end()) {
        if (it->second.folded != folded) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return false;
        }
        it->second.hwnd = hwnd;
        return true;
    }
    Publication pub;
    pub.folded = folded;
    pub.hwnd = hwnd;
    pub.socketPath = folder + "/win-" + key + ".sock";
    sockaddr_un addr;
    if (!SocketAddress(pub.socketPath, &addr)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    // The lock says a live process publishes the title; without it the socket is stale.
    pub.fdLock = OpenLockFile(folder + "/win-" + key + ".lock");
    if (pub.fdLock < 0 || Flock(pub.fdLock, LOCK_EX | LOCK_NB) != 0) {
        CloseFd(pub.fdLock);
        SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    ::unlink(pub.socketPath.c_str());
    pub.fdListen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (pub.fdListen < 0 ||
        ::bind(pub.fdListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(pub.fdListen, 8) != 0 || !StartListenerLocked(p)) {
        CloseFd(pub.fdListen);
        CloseFd(pub.fdLock);
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    p.published.emplace(key, std::move(pub));
    WakeListenerLocked(p);
    return true;
}

bool Unpublish(const std::u16string& title) {
    const std::u16string folded = wnd::Fold(title);
    Publisher& p = GetPublisher();
    std::lock_guard guard(p.mutex);
    auto it = p.published.find(KeyFor(folded));
    if (it == p.published.end() || it->second.folded != folded) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    ::unlink(it->second.socketPath.c_str());
    CloseFd(it->second.fdLock);
    p.closing.push_back(it->second.fdListen); // the listener may be polling it
    p.published.erase(it);
    WakeListenerLocked(p);
    return true;
}

bool Ask(const std::u16string& title, BYTE op, WORD id, WORD code, Reply* reply) {
    if (title.size() > kMaxTitle) return false;
    std::string folder = GetRuntimeFolder();
    if (folder.empty()) return false;
    const std::u16string folded = wnd::Fold(title);
    sockaddr_un addr;
    if (!SocketAddress(folder + "/win-" + KeyFor(folded) + ".sock", &addr)) return false;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool fOk = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fOk) {
        Request request{};
        std::memcpy(request.magic, kMagic, 4);
        request.version = kVersion;
        request.op = op;
        request.id = id;
        request.code = code;
        request.cchTitle = static_cast<WORD>(title.size());
        std::u16string units = title;
        fOk = Transfer(fd, &request, sizeof request, true, kClientTimeoutMs) &&
              Transfer(fd, units.data(), units.size() * sizeof(char16_t), true, kClientTimeoutMs) &&
              Transfer(fd, reply, sizeof *reply, false, kClientTimeoutMs);
    }
    ::close(fd);
    return fOk;
}

} // namespace

bool PublishWindow(std::string_view title, HWND hwnd) {
    return Publish(ToUtf16(title), hwnd);
}
bool PublishWindow(std::u16string_view title, HWND hwnd) {
    return Publish(std::u16string(title), hwnd);
}
bool UnpublishWindow(std::string_view title) {
    return Unpublish(ToUtf16(title));
}
bool UnpublishWindow(std::u16string_view title) {
    return Unpublish(std::u16string(title));
}

bool FindWindowInOtherProcess(std::u16string_view title) {
    Reply reply{};
    return Ask(std::u16string(title), kOpFind, 0, 0, &reply) && reply.fOk != 0 &&
           reply.pid != static_cast<DWORD>(::getpid());
}
bool FindWindowInOtherProcess(std::string_view title) {
    return FindWindowInOtherProcess(ToUtf16(title));
}

bool PostCommandToWindow(std::u16string_view title, WORD id, WORD code) {
    Reply reply{};
    return Ask(std::u16string(title), kOpPost, id, code, &reply) && reply.fOk != 0;
}
bool PostCommandToWindow(std::string_view title, WORD id, WORD code) {
    return PostCommandToWindow(ToUtf16(title), id, code);
}

} // namespace host
