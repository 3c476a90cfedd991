#include "host/registry.h"

#include "host/codepage.h"
#include "host/debug.h"
#include "host/handle.h"
#include "host/registry_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iterator>
#include <memory>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace host {
namespace {

using regfile::RegKeyNode;
using regfile::RegValueEntry;
using Path = std::vector<std::u16string>;

constexpr const char* kFileNames[regfile::kRootCount] = {"hkcr.reg", "hkcu.reg", "hklm.reg"};
constexpr std::uintptr_t kRootBase = 0x80000000;
// Open keys' handles come from the host's table, which never hands out a root's value.
static_assert(kRootBase >= handles::kReservedBegin &&
              kRootBase + regfile::kRootCount <= handles::kReservedEnd);

// One root's tree as last read from (or written to) its file.
struct Hive {
    std::string path;  // the file the tree belongs to
    int fd = -1;       // that file, held open so that its inode number cannot be reused
    struct stat st {}; // its identity when read
    bool fFromFile = false;
    bool fValid = false; // false: read the file again before use
    // The file (fd, st) is damaged and was left in place: refused until it changes.
    bool fRefused = false;
    bool fRefusedAlways = false; // another version's file: refused whatever the policy
    RegKeyNode tree;
    // A write batch's changes not yet in the file, and the file lock held for them until the
    // batch ends (the tree is then newer than the file, which nobody else may change).
    bool fPending = false;
    int batchLockFd = -1;

    void Forget() {
        if (fd >= 0) close(fd);
        fd = -1;
        fFromFile = false;
        fValid = false;
        fRefused = false;
        fRefusedAlways = false;
        tree = RegKeyNode();
    }
};

// Its fields are guarded by the state's lock.
struct OpenedKey {
    int iRoot;
    Path path;
    REGSAM sam;
    bool fDeleted = false;
};

struct State {
    std::mutex lock;
    int cBatch = 0; // write batches open
    bool fFolderSet = false;
    std::string folder;
    RegDamagePolicy policy;
    Hive hives[regfile::kRootCount];
};

// Never destroyed: keys may still be used while the program's statics go away.
State& TheState() {
    static State* state = new State;
    return *state;
}

void Report(const std::string& text) {
    OutputDebugString("registry: " + text + "\n");
}

std::string ErrnoText(int error) {
    return std::strerror(error);
}

LONG ErrorFromErrno(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

std::string FolderFromEnvironment() {
    if (const char* dir = std::getenv("KELVANO_REGISTRY_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == '\0') {
            struct passwd pw;
            struct passwd* found = nullptr;
            char buf[4096];
            if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) != 0 || found == nullptr)
                return "";
            base = std::string(found->pw_dir) + "/.local/share";
        } else {
            base = std::string(home) + "/.local/share";
        }
    }
    return base + "/kelvano/registry";
}

std::string CurrentFolder(State& state) {
    return state.fFolderSet ? state.folder : FolderFromEnvironment();
}

bool MakeFolders(const std::string& folder) {
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos < folder.size() && folder[pos] != '/') continue;
        std::string prefix = folder.substr(0, pos);
        if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void SyncFolder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

bool ReadAll(int fd, std::string& text) {
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        text.append(buf, static_cast<std::size_t>(n));
    }
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string Timestamp() {
    std::time_t now = std::time(nullptr);
    struct tm tm;
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
    return buf;
}

// Writes the hive's tree to its file: temporary file, flushed, renamed over the old file.
// On failure the tree in memory (which holds the change) is dropped, to be read again.
LONG WriteHiveFile(Hive& hive, int iRoot) {
    const std::string& path = hive.path;
    std::string text = regfile::WriteHive(iRoot, hive.tree);
    std::string temp = path + ".tmp";
    errno = 0;
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    struct stat st;
    int error = 0;
    if (fd < 0 || !WriteAll(fd, text) || fsync(fd) != 0 ||
        rename(temp.c_str(), path.c_str()) != 0 || fstat(fd, &st) != 0)
        error = errno != 0 ? errno : EIO;
    if (error != 0) {
        Report("cannot write " + path + ": " + ErrnoText(error) + "; the change is lost");
        if (fd >= 0) {
            close(fd);
            unlink(temp.c_str());
        }
        hive.Forget();
        return ErrorFromErrno(error);
    }
    SyncFolder(path.substr(0, path.rfind('/')));
    if (hive.fd >= 0) close(hive.fd);
    hive.fd = fd;
    hive.st = st;
    hive.fFromFile = true;
    hive.fValid = true;
    return ERROR_SUCCESS;
}

// Ends a batch's hold on the hive: its changes go to the file in one step, and the lock goes.
LONG FlushBatch(Hive& hive, int iRoot) {
    if (!hive.fPending) return ERROR_SUCCESS;
    LONG e = WriteHiveFile(hive, iRoot);
    hive.fPending = false;
    close(hive.batchLockFd); // releases the lock
    hive.batchLockFd = -1;
    return e;
}

// One call's hold on a root: the file lock, and the tree brought up to date under it.
class HiveSession {
public:
    explicit HiveSession(State& state) : state_(state) {}
    ~HiveSession() {
        if (lockFd_ >= 0) close(lockFd_); // releases the lock
    }
    HiveSession(const HiveSession&) = delete;
    HiveSession& operator=(const HiveSession&) = delete;

    // fChange: the call may change the root, so the folder is created when missing.
    LONG Open(int iRoot, bool fChange) {
        iRoot_ = iRoot;
        folder_ = CurrentFolder(state_);
        if (folder_.empty()) {
            Report("no registry folder: set KELVANO_REGISTRY_DIR or HOME");
            return ERROR_PATH_NOT_FOUND;
        }
        hive_ = &state_.hives[iRoot];
        std::string path = folder_ + "/" + kFileNames[iRoot];
        if (hive_->path != path) {
            // The folder changed within a batch: what it kept belongs to the old folder.
            FlushBatch(*hive_, iRoot);
            hive_->Forget();
            hive_->path = path;
        }
        if (hive_->fPending) {
            // This process's batch holds the lock; the tree is the newest there is.
            fBatchLock_ = true;
            return ERROR_SUCCESS;
        }
        if (fChange && !MakeFolders(folder_)) {
            int error = errno;
            Report("cannot create the folder " + folder_ + ": " + ErrnoText(error));
            return ErrorFromErrno(error);
        }
        std::string lockPath = path + ".lock";
        lockFd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lockFd_ < 0) {
            int error = errno;
            if (error == ENOENT && !fChange) {
                // No folder yet: nothing stored.
                hive_->Forget();
                hive_->fValid = true;
                return ERROR_SUCCESS;
            }
            if (fChange || (error != EACCES && error != EROFS)) {
                Report("cannot open " + lockPath + ": " + ErrnoText(error));
                return ErrorFromErrno(error);
            }
            // A folder we may not write to can still be read.
        } else {
            while (flock(lockFd_, LOCK_EX) != 0) {
                if (int error = errno; error != EINTR) {
                    Report("cannot lock " + lockPath + ": " + ErrnoText(error));
                    return ERROR_REGISTRY_IO_FAILED;
                }
            }
        }
        return Refresh();
    }

    RegKeyNode& Tree() { return hive_->tree; }

    // Writes the tree; within a write batch, keeps it and the lock for the batch's end.
    LONG Commit() {
        if (fBatchLock_) return ERROR_SUCCESS;
        if (lockFd_ < 0) {
            hive_->Forget();
            return ERROR_ACCESS_DENIED;
        }
        if (state_.cBatch > 0) {
            hive_->fPending = true;
            hive_->batchLockFd = lockFd_;
            lockFd_ = -1;
            fBatchLock_ = true;
            return ERROR_SUCCESS;
        }
        return WriteHiveFile(*hive_, iRoot_);
    }

private:
    LONG Refresh() {
        Hive& hive = *hive_;
        struct stat now;
        if (stat(hive.path.c_str(), &now) != 0) {
            int error = errno;
            if (error != ENOENT) {
                Report("cannot read " + hive.path + ": " + ErrnoText(error));
                hive.Forget();
                return ErrorFromErrno(error);
            }
            if (!hive.fValid || hive.fFromFile) {
                hive.Forget();
                hive.fValid = true;
            }
            return ERROR_SUCCESS;
        }
        if (hive.fValid && hive.fFromFile && SameFile(now, hive.st)) return ERROR_SUCCESS;
        // Reported once already; the policy may have changed meanwhile.
        if (hive.fRefused && SameFile(now, hive.st) &&
            (hive.fRefusedAlways || !state_.policy.fSetAside))
            return ERROR_REGISTRY_CORRUPT;
        hive.Forget();
        int fd = open(hive.path.c_str(), O_RDONLY | O_CLOEXEC);
        std::string text;
        struct stat st;
        if (fd < 0 || fstat(fd, &st) != 0 || !ReadAll(fd, text)) {
            int error = errno;
            if (fd >= 0) close(fd);
            if (error == ENOENT) {
                hive.fValid = true;
                return ERROR_SUCCESS;
            }
            Report("cannot read " + hive.path + ": " + ErrnoText(error));
            return ErrorFromErrno(error);
        }
        regfile::RegParseResult loaded = regfile::LoadHive(text, iRoot_, hive.tree);
        if (!loaded.fOk) {
            hive.tree = RegKeyNode();
            if (loaded.fUnknownVersion || !state_.policy.fSetAside) {
                hive.fd = fd;
                hive.st = st;
                hive.fRefused = true;
                hive.fRefusedAlways = loaded.fUnknownVersion;
                Damaged(loaded, "",
                        loaded.fUnknownVersion ? " was written by another version of the registry ("
                                               : " is damaged (",
                        "); left as it is");
                return ERROR_REGISTRY_CORRUPT;
            }
            close(fd);
            return SetAside(loaded);
        }
        hive.fd = fd;
        hive.st = st;
        hive.fFromFile = true;
        hive.fValid = true;
        return ERROR_SUCCESS;
    }

    // Tells the debug output and the program's handler.
    void Damaged(const regfile::RegParseResult& loaded, const std::string& aside,
                 const std::string& before, const std::string& after) {
        Report(hive_->path + before + loaded.message + after);
        if (state_.policy.onDamage)
            state_.policy.onDamage(RegDamage{hive_->path, loaded.nLine, loaded.message, aside,
                                             loaded.fUnknownVersion});
    }

    // A file we cannot read is kept for a person to look at; the root starts empty.
    LONG SetAside(const regfile::RegParseResult& loaded) {
        const std::string& path = hive_->path;
        if (lockFd_ < 0) {
            Damaged(loaded, "", " is damaged (", ") and cannot be moved aside; left as it is");
            return ERROR_REGISTRY_CORRUPT;
        }
        std::string aside = path + ".damaged-" + Timestamp();
        struct stat st;
        for (int n = 2; lstat(aside.c_str(), &st) == 0; ++n)
            aside = path + ".damaged-" + Timestamp() + "-" + std::to_string(n);
        if (rename(path.c_str(), aside.c_str()) != 0) {
            int error = errno;
            Damaged(loaded, "", " is damaged (",
                    ") and cannot be moved aside: " + ErrnoText(error) + "; left as it is");
            return ERROR_REGISTRY_CORRUPT;
        }
        SyncFolder(folder_);
        Damaged(loaded, aside, " is damaged (",
                "); kept as " + aside + ", and " + regfile::RootName(iRoot_) + " starts empty");
        hive_->fValid = true;
        return ERROR_SUCCESS;
    }

    State& state_;
    int iRoot_ = 0;
    std::string folder_;
    Hive* hive_ = nullptr;
    int lockFd_ = -1;
    bool fBatchLock_ = false; // the lock is the batch's (hive_->batchLockFd)
};

// What a handle stands for.
struct KeyRef {
    int iRoot = 0;
    Path path;
    REGSAM sam = KEY_ALL_ACCESS;
};

int RootIndex(HKEY hKey) {
    auto value = reinterpret_cast<std::uintptr_t>(hKey);
    if (value >= kRootBase && value < kRootBase + regfile::kRootCount)
        return static_cast<int>(value - kRootBase);
    return -1;
}

HKEY RootHandle(int iRoot) {
    return reinterpret_cast<HKEY>(kRootBase + iRoot);
}

// Called under the state's lock, which guards the open keys' fields.
LONG GetKeyRef(HKEY hKey, KeyRef& ref) {
    if (int iRoot = RootIndex(hKey); iRoot >= 0) {
        ref = KeyRef{iRoot, {}, KEY_ALL_ACCESS};
        return ERROR_SUCCESS;
    }
    std::shared_ptr<OpenedKey> key = handles::Lookup<OpenedKey>(hKey, HandleKind::RegistryKey);
    if (!key) return ERROR_INVALID_HANDLE;
    if (key->fDeleted) return ERROR_KEY_DELETED;
    ref = KeyRef{key->iRoot, key->path, key->sam};
    return ERROR_SUCCESS;
}

RegKeyNode* Walk(RegKeyNode& root, const Path& path) {
    RegKeyNode* node = &root;
    for (const std::u16string& name : path) {
        node = node->FindSubkey(name);
        if (node == nullptr) return nullptr;
    }
    return node;
}

// Splits a sub-key argument into names. One trailing "\" is tolerated.
LONG SplitSubKey(std::u16string_view sub, Path& names) {
    if (sub.size() > 1 && sub.back() == u'\\') sub.remove_suffix(1);
    if (sub.empty()) return ERROR_SUCCESS;
    for (;;) {
        std::size_t end = sub.find(u'\\');
        std::u16string_view name = sub.substr(0, end);
        if (name.empty()) return ERROR_BAD_PATHNAME;
        if (name.size() > regfile::kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
        names.emplace_back(name);
        if (end == std::u16string_view::npos) return ERROR_SUCCESS;
        sub.remove_prefix(end + 1);
    }
}

HKEY NewHandle(int iRoot, Path path, REGSAM sam) {
    return static_cast<HKEY>(
        handles::Add(HandleKind::RegistryKey,
                     std::make_shared<OpenedKey>(OpenedKey{iRoot, std::move(path), sam})));
}

bool SamePath(const Path& a, const Path& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), regfile::SameName);
}

// Names and text data as the A calls see them.
std::u16string NameW(const WCHAR* name) {
    return name != nullptr ? std::u16string(name) : u"";
}
std::u16string NameA(const char* name) {
    return name != nullptr ? ToUtf16(name) : u"";
}

bool IsText(DWORD nType) {
    return nType == REG_SZ || nType == REG_EXPAND_SZ || nType == REG_MULTI_SZ;
}

std::vector<BYTE> DataForA(const RegValueEntry& value) {
    if (!IsText(value.nType)) return value.data;
    std::u16string units(value.data.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(value.data[2 * i] | (value.data[2 * i + 1] << 8));
    std::string text = ToUtf8(units);
    return std::vector<BYTE>(text.begin(), text.end());
}

std::vector<BYTE> DataFromA(DWORD nType, const BYTE* data, DWORD cb) {
    if (!IsText(nType)) return std::vector<BYTE>(data, data + cb);
    std::u16string units = ToUtf16(std::string_view(reinterpret_cast<const char*>(data), cb));
    std::vector<BYTE> bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t u : units) {
        bytes.push_back(static_cast<BYTE>(u & 0xFF));
        bytes.push_back(static_cast<BYTE>(u >> 8));
    }
    return bytes;
}

template <typename Char> std::basic_string<Char> NameOut(const std::u16string& name);
template <> std::u16string NameOut<char16_t>(const std::u16string& name) {
    return name;
}
template <> std::string NameOut<char>(const std::u16string& name) {
    return ToUtf8(name);
}

DWORD Clamp(std::size_t n) {
    return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(n);
}

LONG CopyData(DWORD nType, const std::vector<BYTE>& data, DWORD* lpType, BYTE* lpData,
              DWORD* lpcbData) {
    if (lpType != nullptr) *lpType = nType;
    if (lpcbData == nullptr) return ERROR_SUCCESS;
    if (lpData != nullptr && *lpcbData < data.size()) {
        *lpcbData = Clamp(data.size());
        return ERROR_MORE_DATA;
    }
    if (lpData != nullptr && !data.empty()) std::memcpy(lpData, data.data(), data.size());
    *lpcbData = Clamp(data.size());
    return ERROR_SUCCESS;
}

template <typename Char> LONG CopyName(const std::u16string& name, Char* lpName, DWORD* lpcchName) {
    std::basic_string<Char> out = NameOut<Char>(name);
    if (*lpcchName < out.size() + 1) {
        *lpcchName = Clamp(out.size());
        return ERROR_MORE_DATA;
    }
    std::copy(out.begin(), out.end(), lpName);
    lpName[out.size()] = 0;
    *lpcchName = Clamp(out.size());
    return ERROR_SUCCESS;
}

template <typename Char> void EmptyClass(Char* lpClass, DWORD* lpcchClass, void* lpftTime) {
    if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) lpClass[0] = 0;
    if (lpcchClass != nullptr) *lpcchClass = 0;
    if (lpftTime != nullptr) std::memset(lpftTime, 0, 8);
}

// The calls proper, on 16-bit names; fA: the caller is an A call (text data in UTF-8).

LONG CreateKey(HKEY hKey, const std::u16string& sub, REGSAM sam, HKEY* phkResult,
               DWORD* lpdwDisposition) {
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    State& state = TheState();
    std::lock_guard guard(state.lock);
    KeyRef ref;
    Path names;
    if (LONG e = GetKeyRef(hKey, ref); e != ERROR_SUCCESS) return e;
    if (LONG e = SplitSubKey(sub, names); e != ERROR_SUCCESS) return e;
    if (ref.path.size() + names.size() > regfile::kMaxDepth) return ERROR_INVALID_PARAMETER;
    if (names.empty() && ref.path.empty()) {
        *phkResult = RootHandle(ref.iRoot);
        if (lpdwDisposition != nullptr) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    }
    HiveSession session(state);
    if (LONG e = session.Open(ref.iRoot, !names.empty()); e != ERROR_SUCCESS) return e;
    RegKeyNode* node = Walk(session.Tree(), ref.path);
    if (node == nullptr) return ERROR_KEY_DELETED;
    Path path = ref.path;
    bool fCreated = false;
    for (const std::u16string& name : names) {
        RegKeyNode* next = node->FindSubkey(name);
        if (next == nullptr) {
            if ((ref.sam & KEY_CREATE_SUB_KEY) == 0)
                return ERROR_ACCESS_DENIED; // nothing created yet: this is the first missing name
            next = &node->EnsureSubkey(name);
            fCreated = true;
        }
        path.push_back(next->name);
        node = next;
    }
    if (fCreated) {
        if (LONG e = session.Commit(); e != ERROR_SUCCESS) return e;
    }
    *phkResult = NewHandle(ref.iRoot, std::move(path), sam);
    if (lpdwDisposition != nullptr)
        *lpdwDisposition = fCreated ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG OpenKey(HKEY hKey, const std::u16string& sub, REGSAM sam, HKEY* phkResult) {
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    State& state = TheState();
    std::lock_guard guard(state.lock);
    KeyRef ref;
    Path names;
    if (LONG e = GetKeyRef(hKey, ref); e != ERROR_SUCCESS) return e;
    if (LONG e = SplitSubKey(sub, names); e != ERROR_SUCCESS) return e;
    if (names.empty() && ref.path.empty()) {
        *phkResult = RootHandle(ref.iRoot);
        return ERROR_SUCCESS;
    }
    if (ref.path.size() + names.size() > regfile::kMaxDepth) return ERROR_FILE_NOT_FOUND;
    HiveSession session(state);
    if (LONG e = session.Open(ref.iRoot, false); e != ERROR_SUCCESS) return e;
    RegKeyNode* node = Walk(session.Tree(), ref.path);
    if (node == nullptr) return ERROR_KEY_DELETED;
    Path path = ref.path;
    for (const std::u16string& name : names) {
        node = node->FindSubkey(name);
        if (node == nullptr) return ERROR_FILE_NOT_FOUND;
        path.push_back(node->name);
    }
    *phkResult = NewHandle(ref.iRoot, std::move(path), sam);
    return ERROR_SUCCESS;
}

// Runs `fn(session, node)` on the handle's key under the root's lock.
template <typename Fn> LONG WithKey(HKEY hKey, REGSAM needed, bool fChange, Fn fn) {
    State& state = TheState();
    std::lock_guard guard(state.lock);
    KeyRef ref;
    if (LONG e = GetKeyRef(hKey, ref); e != ERROR_SUCCESS) return e;
    if ((ref.sam & needed) != needed) return ERROR_ACCESS_DENIED;
    HiveSession session(state);
    if (LONG e = session.Open(ref.iRoot, fChange); e != ERROR_SUCCESS) return e;
    RegKeyNode* node = Walk(session.Tree(), ref.path);
    if (node == nullptr) return ERROR_KEY_DELETED;
    return fn(session, *node);
}

LONG QueryValue(HKEY hKey, const std::u16string& name, bool fA, DWORD* lpType, BYTE* lpData,
                DWORD* lpcbData) {
    if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
    return WithKey(hKey, KEY_QUERY_VALUE, false, [&](HiveSession&, RegKeyNode& node) {
        const RegValueEntry* value = node.FindValue(name);
        if (value == nullptr) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
        if (fA) return CopyData(value->nType, DataForA(*value), lpType, lpData, lpcbData);
        return CopyData(value->nType, value->data, lpType, lpData, lpcbData);
    });
}

LONG SetValue(HKEY hKey, const std::u16string& name, DWORD nType, std::vector<BYTE> data) {
    if (name.size() > regfile::kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
    return WithKey(hKey, KEY_SET_VALUE, true, [&](HiveSession& session, RegKeyNode& node) {
        const RegValueEntry* old = node.FindValue(name);
        if (old != nullptr && old->nType == nType && old->data == data)
            return static_cast<LONG>(ERROR_SUCCESS);
        node.SetValue(name, nType, std::move(data));
        return session.Commit();
    });
}

LONG DeleteValue(HKEY hKey, const std::u16string& name) {
    return WithKey(hKey, KEY_SET_VALUE, false, [&](HiveSession& session, RegKeyNode& node) {
        if (!node.RemoveValue(name)) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
        return session.Commit();
    });
}

LONG DeleteKey(HKEY hKey, const std::u16string& sub) {
    State& state = TheState();
    std::lock_guard guard(state.lock);
    KeyRef ref;
    Path names;
    if (LONG e = GetKeyRef(hKey, ref); e != ERROR_SUCCESS) return e;
    if (LONG e = SplitSubKey(sub, names); e != ERROR_SUCCESS) return e;
    Path target = ref.path;
    target.insert(target.end(), names.begin(), names.end());
    if (target.empty()) return ERROR_ACCESS_DENIED;
    HiveSession session(state);
    if (LONG e = session.Open(ref.iRoot, false); e != ERROR_SUCCESS) return e;
    if (Walk(session.Tree(), ref.path) == nullptr) return ERROR_KEY_DELETED;
    Path parentPath(target.begin(), target.end() - 1);
    RegKeyNode* parent = Walk(session.Tree(), parentPath);
    RegKeyNode* node = parent != nullptr ? parent->FindSubkey(target.back()) : nullptr;
    if (node == nullptr) return ERROR_FILE_NOT_FOUND;
    if (!node->subkeys.empty()) return ERROR_KEY_HAS_CHILDREN;
    parent->RemoveSubkey(target.back());
    if (LONG e = session.Commit(); e != ERROR_SUCCESS) return e;
    for (const std::shared_ptr<OpenedKey>& key : handles::All<OpenedKey>(HandleKind::RegistryKey)) {
        if (key->iRoot == ref.iRoot && SamePath(key->path, target)) key->fDeleted = true;
    }
    return ERROR_SUCCESS;
}

template <typename Char>
LONG EnumKey(HKEY hKey, DWORD dwIndex, Char* lpName, DWORD* lpcchName, Char* lpClass,
             DWORD* lpcchClass, void* lpftLastWriteTime) {
    if (lpName == nullptr || lpcchName == nullptr) return ERROR_INVALID_PARAMETER;
    return WithKey(hKey, KEY_ENUMERATE_SUB_KEYS, false, [&](HiveSession&, RegKeyNode& node) {
        if (dwIndex >= node.subkeys.size()) return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
        auto it = std::next(node.subkeys.begin(), dwIndex);
        LONG e = CopyName(it->second->name, lpName, lpcchName);
        EmptyClass(lpClass, lpcchClass, lpftLastWriteTime);
        return e;
    });
}

template <typename Char>
LONG EnumValue(HKEY hKey, DWORD dwIndex, Char* lpValueName, DWORD* lpcchValueName, DWORD* lpType,
               BYTE* lpData, DWORD* lpcbData) {
    if (lpValueName == nullptr || lpcchValueName == nullptr ||
        (lpData != nullptr && lpcbData == nullptr))
        return ERROR_INVALID_PARAMETER;
    return WithKey(hKey, KEY_QUERY_VALUE, false, [&](HiveSession&, RegKeyNode& node) {
        if (dwIndex >= node.values.size()) return static_cast<LONG>(ERROR_NO_MORE_ITEMS);
        const RegValueEntry& value = node.values[dwIndex];
        LONG eName = CopyName(value.name, lpValueName, lpcchValueName);
        LONG eData = std::is_same_v<Char, char>
                         ? CopyData(value.nType, DataForA(value), lpType, lpData, lpcbData)
                         : CopyData(value.nType, value.data, lpType, lpData, lpcbData);
        return eName != ERROR_SUCCESS ? eName : eData;
    });
}

template <typename Char>
LONG QueryInfo(HKEY hKey, Char* lpClass, DWORD* lpcchClass, DWORD* lpcSubKeys,
               DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
               DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen, DWORD* lpcbSecurityDescriptor,
               void* lpftLastWriteTime) {
    return WithKey(hKey, KEY_QUERY_VALUE, false, [&](HiveSession&, RegKeyNode& node) {
        std::size_t maxSubKey = 0, maxName = 0, maxData = 0;
        for (const auto& [folded, subkey] : node.subkeys)
            maxSubKey = std::max(maxSubKey, NameOut<Char>(subkey->name).size());
        for (const RegValueEntry& value : node.values) {
            maxName = std::max(maxName, NameOut<Char>(value.name).size());
            maxData = std::max(maxData, std::is_same_v<Char, char> ? DataForA(value).size()
                                                                   : value.data.size());
        }
        EmptyClass(lpClass, lpcchClass, lpftLastWriteTime);
        if (lpcSubKeys != nullptr) *lpcSubKeys = Clamp(node.subkeys.size());
        if (lpcbMaxSubKeyLen != nullptr) *lpcbMaxSubKeyLen = Clamp(maxSubKey);
        if (lpcbMaxClassLen != nullptr) *lpcbMaxClassLen = 0;
        if (lpcValues != nullptr) *lpcValues = Clamp(node.values.size());
        if (lpcbMaxValueNameLen != nullptr) *lpcbMaxValueNameLen = Clamp(maxName);
        if (lpcbMaxValueLen != nullptr) *lpcbMaxValueLen = Clamp(maxData);
        if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 0;
        return static_cast<LONG>(ERROR_SUCCESS);
    });
}

} // namespace

RegistryWriteBatch::RegistryWriteBatch() {
    State& state = TheState();
    std::lock_guard guard(state.lock);
    state.cBatch++;
}

RegistryWriteBatch::~RegistryWriteBatch() {
    End();
}

LONG RegistryWriteBatch::End() {
    if (fEnded_) return nResult_;
    fEnded_ = true;
    State& state = TheState();
    std::lock_guard guard(state.lock);
    if (--state.cBatch > 0) return nResult_;
    for (int iRoot = 0; iRoot < regfile::kRootCount; ++iRoot) {
        if (LONG e = FlushBatch(state.hives[iRoot], iRoot); e != ERROR_SUCCESS && nResult_ == 0)
            nResult_ = e;
    }
    return nResult_;
}

LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD, char*, DWORD, REGSAM samDesired,
                     const void*, HKEY* phkResult, DWORD* lpdwDisposition) {
    return CreateKey(hKey, NameA(lpSubKey), samDesired, phkResult, lpdwDisposition);
}

LONG RegCreateKeyExW(HKEY hKey, const WCHAR* lpSubKey, DWORD, WCHAR*, DWORD, REGSAM samDesired,
                     const void*, HKEY* phkResult, DWORD* lpdwDisposition) {
    return CreateKey(hKey, NameW(lpSubKey), samDesired, phkResult, lpdwDisposition);
}

LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD, REGSAM samDesired, HKEY* phkResult) {
    return OpenKey(hKey, NameA(lpSubKey), samDesired, phkResult);
}

LONG RegOpenKeyExW(HKEY hKey, const WCHAR* lpSubKey, DWORD, REGSAM samDesired, HKEY* phkResult) {
    return OpenKey(hKey, NameW(lpSubKey), samDesired, phkResult);
}

LONG RegCloseKey(HKEY hKey) {
    if (RootIndex(hKey) >= 0) return ERROR_SUCCESS;
    return handles::Remove<OpenedKey>(hKey, HandleKind::RegistryKey) ? ERROR_SUCCESS
                                                                     : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD*, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData) {
    return QueryValue(hKey, NameA(lpValueName), true, lpType, lpData, lpcbData);
}

LONG RegQueryValueExW(HKEY hKey, const WCHAR* lpValueName, DWORD*, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData) {
    return QueryValue(hKey, NameW(lpValueName), false, lpType, lpData, lpcbData);
}

LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
    if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
    return SetValue(hKey, NameA(lpValueName), dwType, DataFromA(dwType, lpData, cbData));
}

LONG RegSetValueExW(HKEY hKey, const WCHAR* lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
    if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
    return SetValue(hKey, NameW(lpValueName), dwType, std::vector<BYTE>(lpData, lpData + cbData));
}

LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) {
    return DeleteValue(hKey, NameA(lpValueName));
}

LONG RegDeleteValueW(HKEY hKey, const WCHAR* lpValueName) {
    return DeleteValue(hKey, NameW(lpValueName));
}

LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey) {
    return DeleteKey(hKey, NameA(lpSubKey));
}

LONG RegDeleteKeyW(HKEY hKey, const WCHAR* lpSubKey) {
    return DeleteKey(hKey, NameW(lpSubKey));
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD*, char* lpClass,
                   DWORD* lpcchClass, void* lpftLastWriteTime) {
    return EnumKey(hKey, dwIndex, lpName, lpcchName, lpClass, lpcchClass, lpftLastWriteTime);
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, WCHAR* lpName, DWORD* lpcchName, DWORD*,
                   WCHAR* lpClass, DWORD* lpcchClass, void* lpftLastWriteTime) {
    return EnumKey(hKey, dwIndex, lpName, lpcchName, lpClass, lpcchClass, lpftLastWriteTime);
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD*,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    return EnumValue(hKey, dwIndex, lpValueName, lpcchValueName, lpType, lpData, lpcbData);
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, WCHAR* lpValueName, DWORD* lpcchValueName, DWORD*,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    return EnumValue(hKey, dwIndex, lpValueName, lpcchValueName, lpType, lpData, lpcbData);
}

LONG RegQueryInfoKeyA(HKEY hKey, char* lpClass, DWORD* lpcchClass, DWORD*, DWORD* lpcSubKeys,
                      DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                      DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                      DWORD* lpcbSecurityDescriptor, void* lpftLastWriteTime) {
    return QueryInfo(hKey, lpClass, lpcchClass, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen,
                     lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor,
                     lpftLastWriteTime);
}

LONG RegQueryInfoKeyW(HKEY hKey, WCHAR* lpClass, DWORD* lpcchClass, DWORD*, DWORD* lpcSubKeys,
                      DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                      DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                      DWORD* lpcbSecurityDescriptor, void* lpftLastWriteTime) {
    return QueryInfo(hKey, lpClass, lpcchClass, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen,
                     lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor,
                     lpftLastWriteTime);
}

void RegSetStorageFolder(std::string_view folder) {
    State& state = TheState();
    std::lock_guard guard(state.lock);
    state.fFolderSet = !folder.empty();
    state.folder = folder;
}

RegDamagePolicy RegSetDamagePolicy(RegDamagePolicy policy) {
    State& state = TheState();
    std::lock_guard guard(state.lock);
    std::swap(state.policy, policy);
    return policy;
}

std::string RegGetStorageFolder() {
    State& state = TheState();
    std::lock_guard guard(state.lock);
    return CurrentFolder(state);
}

bool RegSplitKeyPath(std::string_view path, HKEY& root, std::string& subKey) {
    std::size_t end = path.find('\\');
    int iRoot = regfile::FindRoot(path.substr(0, end));
    if (iRoot < 0) return false;
    root = RootHandle(iRoot);
    subKey = end == std::string_view::npos ? "" : std::string(path.substr(end + 1));
    return true;
}

LONG RegExportKey(HKEY hKey, std::string& text) {
    State& state = TheState();
    std::lock_guard guard(state.lock);
    KeyRef ref;
    if (LONG e = GetKeyRef(hKey, ref); e != ERROR_SUCCESS) return e;
    constexpr REGSAM needed = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
    if ((ref.sam & needed) != needed) return ERROR_ACCESS_DENIED;
    HiveSession session(state);
    if (LONG e = session.Open(ref.iRoot, false); e != ERROR_SUCCESS) return e;
    RegKeyNode* node = &session.Tree();
    Path path;
    for (const std::u16string& name : ref.path) {
        node = node->FindSubkey(name);
        if (node == nullptr) return ERROR_KEY_DELETED;
        path.push_back(node->name);
    }
    regfile::AppendHeader(text);
    regfile::AppendSubtree(text, ref.iRoot, path, *node);
    regfile::AppendTrailer(text);
    return ERROR_SUCCESS;
}

LONG RegImportText(std::string_view text, std::string& message) {
    regfile::RegParseResult parsed = regfile::ParseText(text);
    if (!parsed.fOk) {
        message = parsed.message;
        return ERROR_INVALID_DATA;
    }
    State& state = TheState();
    std::lock_guard guard(state.lock);
    for (int iRoot = 0; iRoot < regfile::kRootCount; ++iRoot) {
        auto inRoot = [iRoot](const regfile::RegSection& s) { return s.iRoot == iRoot; };
        if (std::none_of(parsed.sections.begin(), parsed.sections.end(), inRoot)) continue;
        HiveSession session(state);
        if (LONG e = session.Open(iRoot, true); e != ERROR_SUCCESS) {
            message = std::string("cannot open ") + regfile::RootName(iRoot);
            return e;
        }
        for (const regfile::RegSection& section : parsed.sections) {
            if (inRoot(section)) regfile::ApplySection(session.Tree(), section);
        }
        if (LONG e = session.Commit(); e != ERROR_SUCCESS) {
            message = std::string("cannot write ") + regfile::RootName(iRoot);
            return e;
        }
    }
    return ERROR_SUCCESS;
}

} // namespace host
