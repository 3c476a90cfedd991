#include "host/instance.h"

#include "host/clock.h"
#include "host/codepage.h"
#include "host/debug.h"
#include "host/error.h"
#include "host/instance_internal.h"
#include "host/thread.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace inst {

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

} // namespace inst

using namespace inst;

namespace {

std::string EnsurePrivateFolder(const std::string& path, bool fCheckOthers) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return {};
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return {};
    if (fCheckOthers && (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return {};
    return path;
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

} // namespace host
