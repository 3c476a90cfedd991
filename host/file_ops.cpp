// Attributes, folders, deleting and moving, files in use and the next-start list.
//
// Read-only is the file's write permission bits: all cleared means read-only. They move with
// the file, survive copies and every file system keeps them, and the host checks them itself
// before writing, deleting or replacing, so they bind root as well.
//
// In use is a shared lock (flock) a running host program holds on an open descriptor of its
// executable and of each library it loaded. It belongs to the file, not its name, so a moved
// file stays in use under its new name, other host programs see it, and it ends with the
// process. Deleting tries an exclusive lock for a moment to find out.
#include "host/file.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/file_internal.h"
#include "host/registry.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace host {

namespace {

bool IsReadOnly(const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
}

// Resolves a name for a call; an unusable name sets ERROR_INVALID_NAME.
bool Resolve(std::string_view name, std::string& native) {
    native = NativeFileName(name);
    if (native.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return true;
}

std::string Utf8(const WCHAR* psz) {
    return psz == nullptr ? std::string() : ToUtf8(psz);
}

struct InUse {
    std::mutex mutex;
    std::map<std::string, std::pair<int, int>> marks; // native path -> descriptor, count
};

InUse& InUseState() {
    static InUse* state = new InUse; // never destroyed: marks last as long as the process
    return *state;
}

void AddMark(const std::string& nativePath) {
    InUse& state = InUseState();
    std::lock_guard<std::mutex> guard(state.mutex);
    auto it = state.marks.find(nativePath);
    if (it != state.marks.end()) {
        ++it->second.second;
        return;
    }
    int fd = open(nativePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    // Another program deleting at this moment holds the exclusive lock only briefly.
    for (int i = 0; i < 100 && flock(fd, LOCK_SH | LOCK_NB) != 0; ++i)
        usleep(1000);
    state.marks.emplace(nativePath, std::make_pair(fd, 1));
}

void MarkOwnExecutable() {
    static std::once_flag once;
    std::call_once(once, [] {
        char buf[4096];
        ssize_t cb = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (cb > 0) AddMark(std::string(buf, static_cast<std::size_t>(cb)));
    });
}

} // namespace

bool IsInUse(const std::string& native) {
    MarkOwnExecutable();
    int fd = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    bool fInUse = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd); // also drops the exclusive lock when it was had
    return fInUse;
}

namespace {

// Why a regular file may not lose its name or content, as an error, or ERROR_SUCCESS.
DWORD WhyNotRemovable(const std::string& native, const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
    if (IsReadOnly(st)) return ERROR_ACCESS_DENIED;
    if (S_ISREG(st.st_mode) && IsInUse(native)) return ERROR_SHARING_VIOLATION;
    return ERROR_SUCCESS;
}

BOOL Fail(DWORD dwError) {
    SetLastError(dwError);
    return FALSE;
}

BOOL FailErrno(int nErrno) {
    SetLastError(FileErrorFromErrno(nErrno));
    return FALSE;
}

BOOL DeleteNative(const std::string& native) {
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) return FailErrno(errno);
    if (DWORD e = WhyNotRemovable(native, st); e != ERROR_SUCCESS) return Fail(e);
    if (unlink(native.c_str()) != 0) return FailErrno(errno);
    ShellLinkDeleted(native);
    return TRUE;
}

BOOL MoveNative(const std::string& from, const std::string& to, bool fReplace) {
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) return FailErrno(errno);
    if (from == to) return TRUE;
    struct stat stTo;
    if (lstat(to.c_str(), &stTo) == 0) {
        // The same file under another spelling is a rename in place.
        bool fSame = stTo.st_dev == st.st_dev && stTo.st_ino == st.st_ino;
        if (!fSame) {
            if (!fReplace) return Fail(ERROR_ALREADY_EXISTS);
            if (DWORD e = WhyNotRemovable(to, stTo); e != ERROR_SUCCESS) return Fail(e);
        }
    }
    if (!fReplace) {
        // Atomic no-replace where the file system has it; else the check above stands.
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
            ShellLinkMoved(from, to);
            KeepProgramRunnable(to);
            return TRUE;
        }
        if (errno == EEXIST) return Fail(ERROR_ALREADY_EXISTS);
        if (errno != EINVAL && errno != ENOSYS) return FailErrno(errno);
    }
    if (rename(from.c_str(), to.c_str()) != 0) {
        if (errno == EXDEV) return Fail(ERROR_NOT_SAME_DEVICE);
        return FailErrno(errno);
    }
    ShellLinkMoved(from, to);
    KeepProgramRunnable(to);
    return TRUE;
}

// ---- The next-start list ----
// One record an entry: an operation letter ('M' move, 'R' move replacing, 'D' delete), then
// the native source and target, each ended by a NUL. A damaged tail is dropped.

struct Pending {
    char op;
    std::string from;
    std::string to;
};

std::string PendingPath() {
    std::string folder = RegGetStorageFolder();
    return folder.empty() ? "" : folder + "/pending-file-operations";
}

// Holds the list's lock file (beside the list, since the list itself is replaced).
class PendingLock {
public:
    explicit PendingLock(const std::string& path) {
        std::string folder = path.substr(0, path.rfind('/'));
        MakeFolderPath(folder);
        fd_ = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~PendingLock() {
        if (fd_ >= 0) close(fd_);
    }
    PendingLock(const PendingLock&) = delete;
    PendingLock& operator=(const PendingLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

std::vector<Pending> ReadPending(const std::string& path) {
    std::vector<Pending> list;
    FILE* file = std::fopen(path.c_str(), "rbe");
    if (file == nullptr) return list;
    std::string text;
    char buf[4096];
    std::size_t cb;
    while ((cb = std::fread(buf, 1, sizeof buf, file)) > 0)
        text.append(buf, cb);
    std::fclose(file);
    std::size_t pos = 0;
    while (pos < text.size()) {
        char op = text[pos];
        std::size_t endFrom = text.find('\0', pos + 1);
        if (endFrom == std::string::npos) break;
        std::size_t endTo = text.find('\0', endFrom + 1);
        if (endTo == std::string::npos) break;
        Pending entry{op, text.substr(pos + 1, endFrom - pos - 1),
                      text.substr(endFrom + 1, endTo - endFrom - 1)};
        pos = endTo + 1;
        bool fValid =
            entry.from.size() > 0 && entry.from[0] == '/' &&
            (op == 'D' ? entry.to.empty()
                       : (op == 'M' || op == 'R') && entry.to.size() > 0 && entry.to[0] == '/');
        if (fValid) list.push_back(std::move(entry));
    }
    return list;
}

// Temporary file, flushed, renamed over the list; an empty list removes the file.
bool WritePending(const std::string& path, const std::vector<Pending>& list) {
    std::string folder = path.substr(0, path.rfind('/'));
    if (list.empty()) {
        if (unlink(path.c_str()) != 0 && errno != ENOENT) return false;
        SyncFolderOf(folder);
        return true;
    }
    std::string text;
    for (const Pending& entry : list) {
        text += entry.op;
        text += entry.from;
        text += '\0';
        text += entry.to;
        text += '\0';
    }
    std::string temp = path + ".tmp";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    bool fOk = done == text.size() && fsync(fd) == 0;
    fOk = close(fd) == 0 && fOk;
    if (!fOk || rename(temp.c_str(), path.c_str()) != 0) {
        int nErrno = errno;
        unlink(temp.c_str());
        errno = nErrno;
        return false;
    }
    SyncFolderOf(folder);
    return true;
}

BOOL AddPending(Pending entry) {
    std::string path = PendingPath();
    if (path.empty()) return Fail(ERROR_PATH_NOT_FOUND);
    PendingLock lock(path);
    if (!lock.Held()) return FailErrno(errno);
    std::vector<Pending> list = ReadPending(path);
    list.push_back(std::move(entry));
    if (!WritePending(path, list)) return FailErrno(errno);
    return TRUE;
}

BOOL MoveFileExNative(const char* pszFrom, const char* pszTo, DWORD dwFlags) {
    std::string from;
    std::string to;
    if (pszFrom == nullptr || !Resolve(pszFrom, from)) return FALSE;
    if (pszTo != nullptr && !Resolve(pszTo, to)) return FALSE;
    bool fReplace = (dwFlags & MOVEFILE_REPLACE_EXISTING) != 0;
    if ((dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT) != 0) {
        // Kept as absolute native paths: the next program may see other drive folders.
        if (from[0] != '/' || (!to.empty() && to[0] != '/')) {
            char cwd[4096];
            if (getcwd(cwd, sizeof cwd) == nullptr) return FailErrno(errno);
            if (from[0] != '/') from = std::string(cwd) + "/" + from;
            if (!to.empty() && to[0] != '/') to = std::string(cwd) + "/" + to;
        }
        char op = to.empty() ? 'D' : fReplace ? 'R' : 'M';
        return AddPending(Pending{op, from, to});
    }
    if (pszTo == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    return MoveNative(from, to, fReplace);
}

} // namespace

DWORD FileErrorFromErrno(int nErrno) {
    switch (nErrno) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case EBUSY:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    default:
        return ERROR_GEN_FAILURE;
    }
}

void MakeFolderPath(const std::string& folder) {
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos < folder.size() && folder[pos] != '/') continue;
        mkdir(folder.substr(0, pos).c_str(), 0700);
    }
}

void SyncFolderOf(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

void FirstFileWrite() {
    // A file-size limit would otherwise end the process; the write then fails with EFBIG,
    // which reaches the caller as a full disk.
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction old {};
        if (sigaction(SIGXFSZ, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
            std::signal(SIGXFSZ, SIG_IGN);
    });
}

bool DeniesWriting(const struct stat& st) {
    return IsReadOnly(st);
}

DWORD GetFileAttributes(const char* pszName) {
    std::string native;
    if (pszName == nullptr || !Resolve(pszName, native)) return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (stat(native.c_str(), &st) != 0) {
        SetLastError(FileErrorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    return IsReadOnly(st) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

DWORD GetFileAttributes(const WCHAR* pszName) {
    return pszName == nullptr ? GetFileAttributes(static_cast<const char*>(nullptr))
                              : GetFileAttributes(Utf8(pszName).c_str());
}

BOOL SetFileAttributes(const char* pszName, DWORD dwAttributes) {
    std::string native;
    if (pszName == nullptr || !Resolve(pszName, native)) return FALSE;
    struct stat st;
    if (stat(native.c_str(), &st) != 0) return FailErrno(errno);
    // A folder carries no read-only mark: its contents stay changeable either way.
    if (!S_ISREG(st.st_mode)) return TRUE;
    mode_t mode = st.st_mode & 07777;
    mode_t modeNew = (dwAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? mode & ~mode_t{0222}
                     : IsReadOnly(st)                              ? mode | S_IWUSR
                                                                   : mode;
    if (modeNew != mode && chmod(native.c_str(), modeNew) != 0) return FailErrno(errno);
    return TRUE;
}

BOOL SetFileAttributes(const WCHAR* pszName, DWORD dwAttributes) {
    return pszName == nullptr ? Fail(ERROR_INVALID_NAME)
                              : SetFileAttributes(Utf8(pszName).c_str(), dwAttributes);
}

BOOL CreateDirectory(const char* pszName) {
    std::string native;
    if (pszName == nullptr || !Resolve(pszName, native)) return FALSE;
    if (mkdir(native.c_str(), 0755) != 0) {
        int nErrno = errno;
        if (nErrno == EEXIST) return Fail(ERROR_ALREADY_EXISTS);
        if (nErrno == ENOENT) return Fail(ERROR_PATH_NOT_FOUND);
        return FailErrno(nErrno);
    }
    return TRUE;
}

BOOL CreateDirectory(const WCHAR* pszName) {
    return pszName == nullptr ? Fail(ERROR_INVALID_NAME) : CreateDirectory(Utf8(pszName).c_str());
}

BOOL RemoveDirectory(const char* pszName) {
    std::string native;
    if (pszName == nullptr || !Resolve(pszName, native)) return FALSE;
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) return FailErrno(errno);
    if (!S_ISDIR(st.st_mode)) return Fail(ERROR_DIRECTORY);
    // A drive's root stays.
    if (IsDriveRoot(native)) return Fail(ERROR_ACCESS_DENIED);
    if (rmdir(native.c_str()) != 0) {
        int nErrno = errno;
        return nErrno == EEXIST ? Fail(ERROR_DIR_NOT_EMPTY) : FailErrno(nErrno);
    }
    return TRUE;
}

BOOL RemoveDirectory(const WCHAR* pszName) {
    return pszName == nullptr ? Fail(ERROR_INVALID_NAME) : RemoveDirectory(Utf8(pszName).c_str());
}

BOOL DeleteFile(const char* pszName) {
    std::string native;
    if (pszName == nullptr || !Resolve(pszName, native)) return FALSE;
    return DeleteNative(native);
}

BOOL DeleteFile(const WCHAR* pszName) {
    return pszName == nullptr ? Fail(ERROR_INVALID_NAME) : DeleteFile(Utf8(pszName).c_str());
}

BOOL MoveFile(const char* pszFrom, const char* pszTo) {
    if (pszTo == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    return MoveFileExNative(pszFrom, pszTo, 0);
}

BOOL MoveFile(const WCHAR* pszFrom, const WCHAR* pszTo) {
    if (pszFrom == nullptr || pszTo == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    return MoveFileExNative(Utf8(pszFrom).c_str(), Utf8(pszTo).c_str(), 0);
}

BOOL MoveFileEx(const char* pszFrom, const char* pszTo, DWORD dwFlags) {
    return MoveFileExNative(pszFrom, pszTo, dwFlags);
}

BOOL MoveFileEx(const WCHAR* pszFrom, const WCHAR* pszTo, DWORD dwFlags) {
    if (pszFrom == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    std::string to = Utf8(pszTo);
    return MoveFileExNative(Utf8(pszFrom).c_str(), pszTo == nullptr ? nullptr : to.c_str(),
                            dwFlags);
}

int CarryOutPendingFileOperations() {
    MarkOwnExecutable();
    std::string path = PendingPath();
    if (path.empty()) return 0;
    if (access(path.c_str(), F_OK) != 0) return 0; // the usual start: nothing listed
    PendingLock lock(path);
    if (!lock.Held()) return 0;
    std::vector<Pending> list = ReadPending(path);
    std::vector<Pending> left;
    int cDone = 0;
    for (Pending& entry : list) {
        BOOL fOk = FALSE;
        if (entry.op == 'D') {
            struct stat st;
            // A folder listed for deletion goes once it is empty.
            if (lstat(entry.from.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                fOk = rmdir(entry.from.c_str()) == 0;
            else
                fOk = DeleteNative(entry.from);
        } else {
            fOk = MoveNative(entry.from, entry.to, entry.op == 'R');
        }
        if (fOk) {
            ++cDone;
        } else {
            left.push_back(std::move(entry));
        }
    }
    WritePending(path, left);
    return cDone;
}

void MarkFileInUse(const std::string& nativePath, bool fInUse) {
    if (nativePath.empty()) return;
    MarkOwnExecutable();
    if (fInUse) {
        AddMark(nativePath);
        return;
    }
    InUse& state = InUseState();
    std::lock_guard<std::mutex> guard(state.mutex);
    auto it = state.marks.find(nativePath);
    if (it != state.marks.end() && --it->second.second == 0) {
        close(it->second.first);
        state.marks.erase(it);
    }
}

} // namespace host
