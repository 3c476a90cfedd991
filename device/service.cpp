// The service's side: accepting connections, decoding requests, the calls themselves.
#include "device/service.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/file.h"
#include "host/heap.h"
#include "host/library.h"
#include "host/registry.h"
#include "host/shell.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace device {
namespace {

namespace fs = std::filesystem;
using namespace host;

// One lock for the calls: the host's file and registry layers see one caller at a time.
std::mutex g_lock;
Config g_config;
std::string g_dir;
std::string g_selfExe;
std::atomic<int> g_listenFd{-1};

// The emulated link: bytes per second (0: unlimited), and when it is next free.
std::uint32_t g_nLinkRate = 0;
std::mutex g_linkLock;
std::chrono::steady_clock::time_point g_linkFree;

constexpr std::uint32_t kFirstRoot = 0x80000000;
constexpr std::uint32_t kLastRoot = 0x80000002;
// Invoked libraries get this long before their helper is killed.
constexpr int kInvokeSeconds = 60;

// The body grows as it arrives, so that a header alone never makes the service hold the
// largest body for a client that sends no more.
bool ReceiveBody(int fd, std::uint32_t cb, std::vector<std::uint8_t>* pBody) {
    constexpr std::size_t kcbStep = 1 << 20;
    pBody->clear();
    while (pBody->size() < cb) {
        std::size_t iAt = pBody->size();
        std::size_t cbPart = std::min<std::size_t>(kcbStep, cb - iAt);
        pBody->resize(iAt + cbPart);
        if (!ReceiveAll(fd, pBody->data() + iAt, cbPart)) return false;
    }
    return true;
}

std::uint64_t FileTimeOf(const timespec& ts) {
    constexpr std::uint64_t kSecondsTo1970 = 11644473600ULL;
    return (static_cast<std::uint64_t>(ts.tv_sec) + kSecondsTo1970) * 10000000ULL +
           static_cast<std::uint64_t>(ts.tv_nsec) / 100;
}

timespec TimespecOf(std::uint64_t ft) {
    timespec ts{};
    if (ft == 0) {
        ts.tv_nsec = UTIME_OMIT;
        return ts;
    }
    constexpr std::uint64_t kSecondsTo1970 = 11644473600ULL;
    std::uint64_t seconds = ft / 10000000ULL;
    ts.tv_sec = static_cast<time_t>(seconds >= kSecondsTo1970 ? seconds - kSecondsTo1970 : 0);
    ts.tv_nsec = static_cast<long>(ft % 10000000ULL) * 100;
    return ts;
}

DWORD AttributesOf(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    return (st.st_mode & 0222) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

char16_t Lower(char16_t ch) {
    return ch < 0x80 ? static_cast<char16_t>(std::towlower(ch)) : ch;
}

// "*" and "?" against a name, without regard to ASCII case.
bool Matches(std::u16string_view pattern, std::u16string_view name) {
    if (pattern.empty()) return name.empty();
    if (pattern.front() == u'*') {
        for (std::size_t i = 0; i <= name.size(); ++i)
            if (Matches(pattern.substr(1), name.substr(i))) return true;
        return false;
    }
    if (name.empty()) return false;
    if (pattern.front() != u'?' && Lower(pattern.front()) != Lower(name.front())) return false;
    return Matches(pattern.substr(1), name.substr(1));
}

std::string NativeOf(std::u16string_view devicePath) {
    return NativeFileName(ClassicName(devicePath));
}

struct OpenFile {
    HANDLE h;
    std::string native;
};

// What one connection holds; all of it closes when the connection ends.
class Session {
public:
    ~Session() {
        std::lock_guard<std::mutex> lock(g_lock);
        for (auto& [n, file] : files_)
            CloseHandle(file.h);
        for (auto& [n, key] : keys_)
            RegCloseKey(key);
    }

    // Runs one decoded call.
    void Handle(Call call, Reader& in, Writer& out, std::int32_t* pResult);

private:
    std::uint32_t NewNumber() { return nNext_++; }
    OpenFile* FileOf(std::uint32_t n) {
        auto it = files_.find(n);
        if (it == files_.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        return &it->second;
    }
    HKEY KeyOf(std::uint32_t n) {
        if (n >= kFirstRoot && n <= kLastRoot) return reinterpret_cast<HKEY>(std::uintptr_t{n});
        auto it = keys_.find(n);
        return it == keys_.end() ? nullptr : it->second;
    }
    void FileCall(Call call, Reader& in, Writer& out, std::int32_t* pResult);
    void RegistryCall(Call call, Reader& in, Writer& out, std::int32_t* pResult);
    void SystemCall(Call call, Reader& in, Writer& out, std::int32_t* pResult);

    std::map<std::uint32_t, OpenFile> files_;
    std::map<std::uint32_t, HKEY> keys_;
    std::uint32_t nNext_ = 1;
};

// Every item was checked by the decoder; these read them without ceremony.
std::uint32_t U(Reader& in) {
    std::uint32_t n = 0;
    in.U32(&n);
    return n;
}
std::uint64_t Q(Reader& in) {
    std::uint64_t n = 0;
    in.U64(&n);
    return n;
}
std::u16string T(Reader& in) {
    std::u16string text;
    in.Text(&text);
    return text;
}
std::vector<std::uint8_t> B(Reader& in) {
    std::vector<std::uint8_t> data;
    in.Bytes(&data);
    return data;
}

BOOL CopyDeviceFile(const std::u16string& from, const std::u16string& to, bool fFailIfExists) {
    if (fFailIfExists && GetFileAttributes(to.c_str()) != INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_FILE_EXISTS);
        return FALSE;
    }
    HANDLE hFrom = CreateFile(from.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (hFrom == INVALID_HANDLE_VALUE) return FALSE;
    HANDLE hTo = CreateFile(to.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (hTo == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        CloseHandle(hFrom);
        SetLastError(e);
        return FALSE;
    }
    std::vector<std::uint8_t> buffer(1 << 20);
    BOOL fOk = TRUE;
    for (;;) {
        DWORD cbRead = 0, cbWritten = 0;
        if (!ReadFile(hFrom, buffer.data(), static_cast<DWORD>(buffer.size()), &cbRead)) {
            fOk = FALSE;
            break;
        }
        if (cbRead == 0) break;
        if (!WriteFile(hTo, buffer.data(), cbRead, &cbWritten)) {
            fOk = FALSE;
            break;
        }
    }
    DWORD e = GetLastError();
    CloseHandle(hFrom);
    CloseHandle(hTo);
    SetLastError(e);
    return fOk;
}

void Session::FileCall(Call call, Reader& in, Writer& out, std::int32_t* pResult) {
    switch (call) {
    case Call::kGetFileAttributes:
        *pResult = static_cast<std::int32_t>(GetFileAttributes(ClassicName(T(in)).c_str()));
        return;
    case Call::kSetFileAttributes: {
        std::u16string path = ClassicName(T(in));
        *pResult = SetFileAttributes(path.c_str(), U(in));
        return;
    }
    case Call::kCreateFile: {
        std::u16string path = ClassicName(T(in));
        DWORD dwAccess = U(in), dwShare = U(in), dwCreation = U(in);
        U(in); // flags: nothing to do with them here
        HANDLE h = CreateFile(path.c_str(), dwAccess, dwShare, dwCreation);
        if (h == INVALID_HANDLE_VALUE) {
            out.U32(kNoHandle);
            *pResult = 0;
            return;
        }
        std::uint32_t n = NewNumber();
        files_[n] = OpenFile{h, NativeFileName(path)};
        out.U32(n);
        *pResult = 1;
        return;
    }
    case Call::kReadFile: {
        OpenFile* pFile = FileOf(U(in));
        std::uint32_t cb = U(in);
        if (cb > kcbMaxRead) cb = kcbMaxRead;
        std::vector<std::uint8_t> data(cb);
        DWORD cbRead = 0;
        *pResult = pFile && ReadFile(pFile->h, data.data(), cb, &cbRead);
        out.Bytes(data.data(), *pResult ? cbRead : 0);
        return;
    }
    case Call::kWriteFile: {
        OpenFile* pFile = FileOf(U(in));
        const std::uint8_t* pb = nullptr;
        std::uint32_t cb = 0;
        in.Bytes(&pb, &cb);
        DWORD cbWritten = 0;
        *pResult = pFile && WriteFile(pFile->h, pb, cb, &cbWritten);
        out.U32(cbWritten);
        return;
    }
    case Call::kSetFilePointer: {
        OpenFile* pFile = FileOf(U(in));
        const auto nDistance = static_cast<std::int64_t>(Q(in));
        DWORD dwMethod = U(in);
        DWORD dwPos = INVALID_SET_FILE_POINTER;
        if (pFile && (nDistance < INT32_MIN || nDistance > INT32_MAX)) {
            SetLastError(ERROR_INVALID_PARAMETER); // files on the device stay below 4 GB
        } else if (pFile) {
            dwPos = SetFilePointer(pFile->h, static_cast<LONG>(nDistance), dwMethod);
        }
        *pResult = dwPos != INVALID_SET_FILE_POINTER;
        out.U64(*pResult ? dwPos : ~std::uint64_t{0});
        return;
    }
    case Call::kSetEndOfFile: {
        OpenFile* pFile = FileOf(U(in));
        *pResult = 0;
        if (pFile == nullptr) return;
        DWORD dwPos = SetFilePointer(pFile->h, 0, FILE_CURRENT);
        if (dwPos == INVALID_SET_FILE_POINTER) return;
        if (::truncate(pFile->native.c_str(), static_cast<off_t>(dwPos)) != 0) {
            SetLastError(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE);
            return;
        }
        *pResult = 1;
        return;
    }
    case Call::kGetFileSize: {
        OpenFile* pFile = FileOf(U(in));
        DWORD cb = pFile ? GetFileSize(pFile->h) : INVALID_FILE_SIZE;
        *pResult = cb != INVALID_FILE_SIZE;
        out.U64(cb);
        return;
    }
    case Call::kGetFileTime: {
        OpenFile* pFile = FileOf(U(in));
        struct stat st {};
        *pResult = pFile && ::stat(pFile->native.c_str(), &st) == 0;
        if (pFile && !*pResult) SetLastError(ERROR_FILE_NOT_FOUND);
        out.U64(*pResult ? FileTimeOf(st.st_ctim) : 0)
            .U64(*pResult ? FileTimeOf(st.st_atim) : 0)
            .U64(*pResult ? FileTimeOf(st.st_mtim) : 0);
        return;
    }
    case Call::kSetFileTime: {
        OpenFile* pFile = FileOf(U(in));
        Q(in); // the creation time is the file system's own
        timespec times[2] = {TimespecOf(Q(in)), TimespecOf(Q(in))};
        *pResult = pFile && ::utimensat(AT_FDCWD, pFile->native.c_str(), times, 0) == 0;
        if (pFile && !*pResult) SetLastError(ERROR_ACCESS_DENIED);
        return;
    }
    case Call::kCloseHandle: {
        std::uint32_t n = U(in);
        OpenFile* pFile = FileOf(n);
        *pResult = pFile && CloseHandle(pFile->h);
        if (pFile) files_.erase(n);
        return;
    }
    case Call::kFindAllFiles: {
        std::u16string pattern = ClassicName(T(in));
        U(in); // every field is always returned
        std::size_t iSlash = pattern.find_last_of(u"\\/");
        std::u16string folder = pattern.substr(0, iSlash + 1), leaf = pattern.substr(iSlash + 1);
        std::string native = NativeFileName(folder);
        std::vector<std::pair<std::u16string, struct stat>> found;
        std::error_code ec;
        if (!native.empty() && !leaf.empty()) {
            for (const fs::directory_entry& entry : fs::directory_iterator(native, ec)) {
                std::u16string name = ToUtf16(entry.path().filename().string());
                struct stat st {};
                if (Matches(leaf, name) && ::stat(entry.path().c_str(), &st) == 0)
                    found.emplace_back(name, st);
            }
        }
        if (native.empty() || ec) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            *pResult = 0;
            out.U32(0);
            return;
        }
        out.U32(static_cast<std::uint32_t>(found.size()));
        for (const auto& [name, st] : found)
            out.U32(AttributesOf(st))
                .U64(FileTimeOf(st.st_ctim))
                .U64(FileTimeOf(st.st_atim))
                .U64(FileTimeOf(st.st_mtim))
                .U64(S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size))
                .Text(name);
        *pResult = 1;
        return;
    }
    case Call::kCreateDirectory:
        *pResult = CreateDirectory(ClassicName(T(in)).c_str());
        return;
    case Call::kRemoveDirectory:
        *pResult = RemoveDirectory(ClassicName(T(in)).c_str());
        return;
    case Call::kMoveFile: {
        std::u16string from = ClassicName(T(in)), to = ClassicName(T(in));
        *pResult = MoveFile(from.c_str(), to.c_str());
        return;
    }
    case Call::kCopyFile: {
        std::u16string from = ClassicName(T(in)), to = ClassicName(T(in));
        *pResult = CopyDeviceFile(from, to, U(in) != 0);
        return;
    }
    case Call::kDeleteFile:
        *pResult = DeleteFile(ClassicName(T(in)).c_str());
        return;
    default:
        return;
    }
}

void Session::RegistryCall(Call call, Reader& in, Writer& out, std::int32_t* pResult) {
    HKEY hKey = KeyOf(U(in));
    auto result = [&](LONG e) { *pResult = static_cast<std::int32_t>(e); };
    if (hKey == nullptr) {
        // Still the reply's items, so the client reads the same shape.
        result(ERROR_INVALID_HANDLE);
        const char* pszItems = ReplyItems(static_cast<std::uint32_t>(call));
        for (const char* p = pszItems; *p; ++p) {
            if (*p == 'U') out.U32(0);
            if (*p == 'T') out.Text(u"");
            if (*p == 'B') out.Bytes(nullptr, 0);
        }
        return;
    }
    switch (call) {
    case Call::kRegOpenKey:
    case Call::kRegCreateKey: {
        std::u16string sub = T(in);
        HKEY hNew = nullptr;
        DWORD dwDisposition = 0;
        LONG e;
        if (call == Call::kRegOpenKey) {
            e = RegOpenKeyExW(hKey, sub.c_str(), 0, U(in), &hNew);
        } else {
            DWORD dwOptions = U(in);
            e = RegCreateKeyExW(hKey, sub.c_str(), 0, nullptr, dwOptions, U(in), nullptr, &hNew,
                                &dwDisposition);
        }
        std::uint32_t n = kNoHandle;
        if (e == ERROR_SUCCESS) {
            auto nValue = reinterpret_cast<std::uintptr_t>(hNew);
            if (nValue >= kFirstRoot && nValue <= kLastRoot) {
                n = static_cast<std::uint32_t>(nValue);
            } else {
                n = NewNumber();
                keys_[n] = hNew;
            }
        }
        out.U32(n);
        if (call == Call::kRegCreateKey) out.U32(dwDisposition);
        result(e);
        return;
    }
    case Call::kRegCloseKey: {
        LONG e = RegCloseKey(hKey);
        std::erase_if(keys_, [&](const auto& entry) { return entry.second == hKey; });
        result(e);
        return;
    }
    case Call::kRegDeleteKey:
        result(RegDeleteKeyW(hKey, T(in).c_str()));
        return;
    case Call::kRegEnumKey: {
        WCHAR szName[256];
        DWORD cch = 256;
        LONG e = RegEnumKeyExW(hKey, U(in), szName, &cch, nullptr, nullptr, nullptr, nullptr);
        out.Text(e == ERROR_SUCCESS ? std::u16string_view(szName, cch) : u"");
        result(e);
        return;
    }
    case Call::kRegEnumValue: {
        DWORD iIndex = U(in);
        std::u16string name(16384, u'\0');
        DWORD cch = static_cast<DWORD>(name.size()), dwType = 0, cb = 0;
        LONG e = RegEnumValueW(hKey, iIndex, name.data(), &cch, nullptr, &dwType, nullptr, &cb);
        std::vector<std::uint8_t> data(cb);
        if (e == ERROR_SUCCESS) {
            cch = static_cast<DWORD>(name.size());
            e = RegEnumValueW(hKey, iIndex, name.data(), &cch, nullptr, &dwType, data.data(), &cb);
        }
        out.Text(e == ERROR_SUCCESS ? std::u16string_view(name.data(), cch) : u"")
            .U32(dwType)
            .Bytes(data.data(), e == ERROR_SUCCESS ? cb : 0);
        result(e);
        return;
    }
    case Call::kRegQueryInfoKey: {
        DWORD cSub = 0, cchSub = 0, cValues = 0, cchValue = 0, cbValue = 0;
        LONG e = RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, &cSub, &cchSub, nullptr,
                                  &cValues, &cchValue, &cbValue, nullptr, nullptr);
        out.U32(cSub).U32(cchSub).U32(cValues).U32(cchValue).U32(cbValue);
        result(e);
        return;
    }
    case Call::kRegQueryValue: {
        std::u16string name = T(in);
        DWORD dwType = 0, cb = 0;
        LONG e = RegQueryValueExW(hKey, name.c_str(), nullptr, &dwType, nullptr, &cb);
        std::vector<std::uint8_t> data(cb);
        if (e == ERROR_SUCCESS && cb != 0)
            e = RegQueryValueExW(hKey, name.c_str(), nullptr, &dwType, data.data(), &cb);
        out.U32(dwType).Bytes(data.data(), e == ERROR_SUCCESS ? cb : 0);
        result(e);
        return;
    }
    case Call::kRegSetValue: {
        std::u16string name = T(in);
        DWORD dwType = U(in);
        const std::uint8_t* pb = nullptr;
        std::uint32_t cb = 0;
        in.Bytes(&pb, &cb);
        static const BYTE kEmpty = 0;
        result(RegSetValueExW(hKey, name.c_str(), 0, dwType, cb ? pb : &kEmpty, cb));
        return;
    }
    case Call::kRegDeleteValue:
        result(RegDeleteValueW(hKey, T(in).c_str()));
        return;
    default:
        return;
    }
}

std::uint32_t ProcessorType(std::uint32_t nArch) {
    switch (nArch) {
    case 1:
        return 4000; // MIPS R4000
    case 3:
        return 821; // PowerPC 821
    case 4:
        return 10003; // SH-3
    case 5:
        return 2577; // StrongARM
    default:
        return 0;
    }
}

std::uint32_t Clamp32(unsigned long long n) {
    return n > 0xFFFFFFFFULL ? 0xFFFFFFFFu : static_cast<std::uint32_t>(n);
}

void Session::SystemCall(Call call, Reader& in, Writer& out, std::int32_t* pResult) {
    switch (call) {
    case Call::kGetSystemInfo:
        out.U32(g_config.nArch).U32(4096).U32(1).U32(ProcessorType(g_config.nArch)).U32(65536);
        out.U32(0).U32(0);
        *pResult = 1;
        return;
    case Call::kGetVersionEx:
        out.U32(3).U32(0).U32(126).U32(3).Text(u"");
        *pResult = 1;
        return;
    case Call::kGetStoreInfo: {
        struct statvfs vfs {};
        *pResult = ::statvfs(RootFolder(g_dir).c_str(), &vfs) == 0;
        out.U32(*pResult ? Clamp32(1ULL * vfs.f_blocks * vfs.f_frsize) : 0)
            .U32(*pResult ? Clamp32(1ULL * vfs.f_bavail * vfs.f_frsize) : 0);
        if (!*pResult) SetLastError(ERROR_GEN_FAILURE);
        return;
    }
    case Call::kMemoryStatus:
        // A 32 MB device, half of it free.
        out.U32(50).U32(32u << 20).U32(16u << 20).U32(0).U32(0).U32(32u << 20).U32(16u << 20);
        *pResult = 1;
        return;
    case Call::kPowerStatus:
        U(in);
        // On the cradle, battery full.
        out.U32(1).U32(1).U32(100).U32(0xFFFFFFFF).U32(0xFFFFFFFF).U32(1).U32(100);
        out.U32(0xFFFFFFFF).U32(0xFFFFFFFF);
        *pResult = 1;
        return;
    case Call::kGetTempPath: {
        const std::u16string path = u"\\Temp\\";
        CreateDirectory(path.c_str());
        out.Text(path);
        *pResult = static_cast<std::int32_t>(path.size());
        return;
    }
    case Call::kGetSpecialFolder: {
        std::uint32_t nFolder = U(in);
        const std::u16string* pPath = nFolder == kCsidlPrograms  ? &g_config.programs
                                      : nFolder == kCsidlStartup ? &g_config.startup
                                                                 : nullptr;
        out.Text(pPath ? *pPath : u"");
        *pResult = pPath != nullptr;
        if (!pPath) SetLastError(ERROR_INVALID_PARAMETER);
        return;
    }
    case Call::kGetSystemMetrics: {
        // The device screen, 240 x 320.
        std::uint32_t i = U(in);
        *pResult = i == 0 ? 240 : i == 1 ? 320 : 0;
        return;
    }
    case Call::kGetDeviceCaps: {
        std::uint32_t i = U(in);
        *pResult = i == 8               ? 240
                   : i == 10            ? 320
                   : i == 12            ? 16
                   : i == 14            ? 1
                   : i == 88 || i == 90 ? 96
                                        : 0;
        return;
    }
    case Call::kCheckPassword:
        *pResult = T(in) == g_config.password;
        return;
    default:
        return;
    }
}

// Command-line words: spaces separate, double quotes group.
std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool fQuoted = false, fWord = false;
    for (char ch : line) {
        if (ch == '"') {
            fQuoted = !fQuoted;
            fWord = true;
        } else if (ch == ' ' && !fQuoted) {
            if (fWord) words.push_back(word);
            word.clear();
            fWord = false;
        } else {
            word.push_back(ch);
            fWord = true;
        }
    }
    if (fWord) words.push_back(word);
    return words;
}

// Starts a program on the device; its process id, or 0 (last error set).
std::uint32_t StartProgram(const std::u16string& program, const std::u16string& commandLine) {
    std::string native = NativeOf(program);
    struct stat st {};
    if (native.empty() || ::stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    std::vector<std::string> words = SplitCommandLine(ToUtf8(commandLine));
    words.insert(words.begin(), native);
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    int n = posix_spawn(&pid, native.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (n != 0) {
        SetLastError(n == EACCES ? ERROR_ACCESS_DENIED : ERROR_BAD_EXE_FORMAT);
        return 0;
    }
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    return static_cast<std::uint32_t>(pid);
}

// Runs the invoke helper with the request's items on its standard input; its reply comes
// back, or a failure when it dies, hangs or answers nonsense.
void Invoke(const std::u16string& library, const std::u16string& entry,
            const std::vector<std::uint8_t>& input, Writer& out, std::int32_t* pResult) {
    *pResult = -1;
    auto fail = [&](DWORD e) {
        SetLastError(e);
        out.Bytes(nullptr, 0);
    };
    Writer request;
    request.Text(library).Text(entry).Bytes(input);
    int toChild[2], fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0) return fail(ERROR_NOT_ENOUGH_MEMORY);
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        ::close(toChild[0]);
        ::close(toChild[1]);
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    std::string exe = g_selfExe, verb = "_invoke";
    char* argv[] = {exe.data(), verb.data(), nullptr};
    pid_t pid = 0;
    int nSpawn = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    if (nSpawn != 0) {
        ::close(toChild[1]);
        ::close(fromChild[0]);
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    // Feed and drain at once, so that neither side waits on a full pipe.
    const std::vector<std::uint8_t>& bytes = request.Data();
    std::size_t iSent = 0;
    std::vector<std::uint8_t> reply;
    int fdOut = toChild[1], fdIn = fromChild[0];
    ::fcntl(fdOut, F_SETFL, O_NONBLOCK);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kInvokeSeconds);
    bool fTimedOut = false;
    while (fdIn >= 0) {
        if (fdOut >= 0 && iSent == bytes.size()) {
            ::close(fdOut);
            fdOut = -1;
        }
        pollfd fds[2] = {{fdIn, POLLIN, 0}, {fdOut, POLLOUT, 0}};
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            fTimedOut = true;
            break;
        }
        if (::poll(fds, fdOut >= 0 ? 2 : 1, static_cast<int>(left.count())) < 0 && errno != EINTR)
            break;
        if (fdOut >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n = ::write(fdOut, bytes.data() + iSent, bytes.size() - iSent);
            if (n > 0) {
                iSent += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                ::close(fdOut); // the helper stopped reading: it died or gave up
                fdOut = -1;
                iSent = bytes.size();
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            std::uint8_t buffer[65536];
            ssize_t n = ::read(fdIn, buffer, sizeof(buffer));
            if (n > 0 && reply.size() + static_cast<std::size_t>(n) <= kcbMaxBody) {
                reply.insert(reply.end(), buffer, buffer + n);
            } else if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN) || n > 0) {
                ::close(fdIn);
                fdIn = -1;
            }
        }
    }
    if (fdOut >= 0) ::close(fdOut);
    if (fdIn >= 0) ::close(fdIn);
    // A helper that closed its output may still run: it gets until the deadline too.
    int nStatus = 0;
    for (;;) {
        if (fTimedOut || std::chrono::steady_clock::now() >= deadline) ::kill(pid, SIGKILL);
        pid_t nDone = ::waitpid(pid, &nStatus, fTimedOut ? 0 : WNOHANG);
        if (nDone == pid || (nDone < 0 && errno != EINTR)) break;
        if (nDone == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        fTimedOut = fTimedOut || std::chrono::steady_clock::now() >= deadline;
    }
    if (!WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0 ||
        CheckItems("UUB", reply.data(), reply.size()) != Decode::kOk)
        return fail(kErrorProcessAborted);
    Reader answer(reply);
    std::int32_t nResult = static_cast<std::int32_t>(U(answer));
    DWORD dwError = U(answer);
    const std::uint8_t* pb = nullptr;
    std::uint32_t cb = 0;
    answer.Bytes(&pb, &cb);
    out.Bytes(pb, cb);
    SetLastError(dwError);
    *pResult = nResult;
}

void Session::Handle(Call call, Reader& in, Writer& out, std::int32_t* pResult) {
    const auto n = static_cast<std::uint32_t>(call);
    if (call == Call::kInvoke) {
        // Outside the lock: the helper is a process of its own, and may take its time.
        std::u16string library = T(in), entry = T(in);
        Invoke(library, entry, B(in), out, pResult);
        return;
    }
    std::lock_guard<std::mutex> lock(g_lock);
    SetLastError(ERROR_SUCCESS);
    if (n >= 10 && n < 40) return FileCall(call, in, out, pResult);
    if (n >= 40 && n < 60) return RegistryCall(call, in, out, pResult);
    if (n >= 60 && n < 80) return SystemCall(call, in, out, pResult);
    switch (call) {
    case Call::kStatus:
        out.U32(g_config.nArch)
            .U32(g_config.fConnected)
            .U32(!g_config.decompressor.empty())
            .U32(static_cast<std::uint32_t>(::getpid()))
            .U32(g_nLinkRate);
        *pResult = 1;
        return;
    case Call::kConnect:
    case Call::kDisconnect:
        g_config.fConnected = call == Call::kConnect;
        *pResult = SaveConfig(g_dir, g_config);
        return;
    case Call::kStop:
        *pResult = 1;
        return;
    case Call::kCreateShortcut: {
        std::u16string shortcut = ClassicName(T(in));
        SHELLLINK link;
        link.target = T(in);
        *pResult = SaveShellLink(shortcut.c_str(), link);
        return;
    }
    case Call::kGetShortcutTarget: {
        std::u16string shortcut = ClassicName(T(in));
        SHELLLINK link;
        *pResult = LoadShellLink(shortcut.c_str(), &link);
        out.Text(*pResult ? link.target : u"");
        return;
    }
    case Call::kCreateProcess: {
        std::u16string program = T(in), commandLine = T(in);
        std::uint32_t pid = StartProgram(program, commandLine);
        out.U32(pid);
        *pResult = pid != 0;
        return;
    }
    default:
        return;
    }
}

// Waits while cb bytes cross the link, after whatever other connections sent before them.
void CrossLink(std::size_t cb) {
    if (g_nLinkRate == 0) return;
    const auto duration = std::chrono::nanoseconds(std::uint64_t{cb} * 1000000000u / g_nLinkRate);
    std::chrono::steady_clock::time_point until;
    {
        std::lock_guard<std::mutex> lock(g_linkLock);
        until = std::max(g_linkFree, std::chrono::steady_clock::now()) + duration;
        g_linkFree = until;
    }
    std::this_thread::sleep_until(until);
}

// KELVANO_DEVICE_CAPTURE=FOLDER keeps every request that decodes, header and body, as
// FOLDER/NNNNNN-CALL.bin: real traffic for the decoder's fuzzer and for debugging a client.
void CaptureRequest(const std::uint8_t* pbHeader, const std::vector<std::uint8_t>& body,
                    std::uint32_t nCall) {
    static const char* const pszFolder = std::getenv("KELVANO_DEVICE_CAPTURE");
    if (!pszFolder || !*pszFolder) return;
    static std::atomic<unsigned> s_nNext{0};
    char szName[32];
    std::snprintf(szName, sizeof(szName), "/%06u-%u.bin", s_nNext++, nCall);
    const std::string path = std::string(pszFolder) + szName;
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(pbHeader, 1, sizeof(RequestHeader), f);
        if (!body.empty()) std::fwrite(body.data(), 1, body.size(), f);
        std::fclose(f);
    }
}

bool IsToolCall(std::uint32_t nCall) {
    return nCall >= static_cast<std::uint32_t>(Call::kStatus) &&
           nCall <= static_cast<std::uint32_t>(Call::kStop);
}

void Serve(int fd) {
    Session session;
    std::vector<std::uint8_t> body;
    for (;;) {
        std::uint8_t bytes[sizeof(RequestHeader)];
        if (!ReceiveAll(fd, bytes, sizeof(bytes))) break;
        RequestHeader header = LoadRequestHeader(bytes);
        Decode d = CheckRequestHeader(header);
        if (d == Decode::kOk) {
            if (!ReceiveBody(fd, header.cbBody, &body)) break;
            d = CheckRequest(header, body.data(), body.size());
            if (d == Decode::kOk) CaptureRequest(bytes, body, header.nCall);
            CrossLink(sizeof(bytes) + body.size());
        }
        if (d != Decode::kOk) {
            // Framing cannot be trusted after this: answer and hang up.
            Status status = d == Decode::kUnknownCall ? Status::kUnknownCall : Status::kMalformed;
            std::vector<std::uint8_t> reply =
                EncodeReply(header, status, -1, ERROR_INVALID_DATA, {});
            SendAll(fd, reply.data(), reply.size());
            break;
        }
        Writer out;
        std::int32_t nResult = 0;
        std::uint32_t nLastError = 0;
        Status status = Status::kServed;
        bool fConnected;
        {
            std::lock_guard<std::mutex> lock(g_lock);
            fConnected = g_config.fConnected;
        }
        if (!fConnected && !IsToolCall(header.nCall)) {
            status = Status::kDisconnected;
            nResult = -1;
            nLastError = kErrorNotConnected;
        } else {
            Reader in(body);
            session.Handle(static_cast<Call>(header.nCall), in, out, &nResult);
            nLastError = GetLastError();
        }
        std::vector<std::uint8_t> reply = EncodeReply(header, status, nResult, nLastError, out);
        CrossLink(reply.size());
        if (!SendAll(fd, reply.data(), reply.size())) break;
        if (header.nCall == static_cast<std::uint32_t>(Call::kStop)) {
            int nListen = g_listenFd.exchange(-1);
            if (nListen >= 0) ::shutdown(nListen, SHUT_RDWR);
            break;
        }
    }
    ::close(fd);
}

// The fresh device's keys and folders, made once.
bool Seed() {
    if (g_config.fSeeded) return true;
    for (const std::u16string* pFolder : {&g_config.programs, &g_config.startup}) {
        std::error_code ec;
        fs::create_directories(NativeOf(*pFolder), ec);
    }
    HKEY hApps = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Apps", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &hApps, nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hApps);
    g_config.fSeeded = true;
    return SaveConfig(g_dir, g_config);
}

} // namespace

int Serve(const std::string& dir, const std::string& selfExe, std::uint32_t nLinkRate) {
    g_dir = dir;
    g_selfExe = selfExe;
    g_nLinkRate = nLinkRate;
    if (!LoadConfig(dir, &g_config)) {
        std::fprintf(stderr, "kelvano-device: %s: no device here\n", dir.c_str());
        return 1;
    }
    // The service and every program it starts see the device as their machine.
    for (const auto& [name, value] : DeviceEnvironment(dir))
        ::setenv(name.c_str(), value.c_str(), 1);
    RegSetStorageFolder(RegistryFolder(dir));
    std::signal(SIGPIPE, SIG_IGN);

    int fdLock = ::open((dir + "/service.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fdLock < 0 || ::flock(fdLock, LOCK_EX | LOCK_NB) != 0) {
        std::fprintf(stderr, "kelvano-device: %s: the device is already running\n", dir.c_str());
        return 1;
    }
    if (!Seed()) {
        std::fprintf(stderr, "kelvano-device: %s: cannot make the fresh device\n", dir.c_str());
        return 1;
    }
    const std::string path = SocketPath(dir);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path)) {
        std::fprintf(stderr, "kelvano-device: %s: path too long for a socket\n", path.c_str());
        return 1;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ::unlink(path.c_str()); // left by a service that was killed
    int fdListen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const mode_t oldMask = ::umask(0077); // the socket is the user's alone
    bool fBound = fdListen >= 0 &&
                  ::bind(fdListen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
                  ::listen(fdListen, 16) == 0;
    ::umask(oldMask);
    if (!fBound) {
        std::fprintf(stderr, "kelvano-device: %s: cannot listen (%s)\n", path.c_str(),
                     std::strerror(errno));
        return 1;
    }
    g_listenFd = fdListen;
    for (;;) {
        int fd = ::accept4(fdListen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (g_listenFd.load() < 0) break; // stopped
            if (errno == EMFILE || errno == ENFILE || errno == ENOMEM) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                continue;
            }
            break;
        }
        std::thread([fd] { Serve(fd); }).detach();
    }
    ::unlink(path.c_str());
    // Other connections' threads may still run: end without tearing down what they use.
    std::fflush(nullptr);
    ::_exit(0);
}

} // namespace device
