// Published windows: the half of the single-instance service that reaches windows (the
// listener posts the command it is asked for to the published window).
#include "host/instance.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/instance_internal.h"
#include "host/thread.h"
#include "host/window.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace host {

using namespace inst;

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
        std::u16string folded = FoldCase(title);
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
    const std::u16string folded = FoldCase(title);
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
    const std::u16string folded = FoldCase(title);
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
    const std::u16string folded = FoldCase(title);
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
