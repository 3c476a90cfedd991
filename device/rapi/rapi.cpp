// "rapi.dll": the connection, files, shell and processes, and the calls the device has no
// answer for (the registry and system calls are in rapi_registry.cpp). One connection per process,
// made in the background by CeRapiInitEx; every call is one request on it, serialised.
#include "device/rapi/rapi_internal.h"

#include "device/service.h"
#include "device/wire.h"
#include "host/codepage.h"
#include "host/heap.h"
#include "host/thread.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace rapi {

std::atomic<HRESULT> internal::g_hrLast{E_RAPI_DISCONNECTED};
std::atomic<DWORD> internal::g_dwLastError{ERROR_NOT_CONNECTED};

namespace {

// ---- The connection --------------------------------------------------------------------

// Guards the background attempt: whether it is to stop, and its socket until it has an
// outcome, so that CeRapiUninit can cut it short.
std::mutex g_stateLock;
bool g_fActive = false; // between a successful CeRapiInitEx and CeRapiUninit
bool g_fStop = false;
int g_fdPending = -1;
std::thread* g_pWorker = nullptr; // never destroyed at exit: a running thread would abort it
host::Event* g_pEvent = nullptr;

// Serialises calls; the connected socket is -1 when there is none.
std::mutex g_callLock;
int g_fd = -1;
std::uint32_t g_nSeq = 0;

// One request and its reply on `fd`; false when the peer is gone or answered nonsense.
bool Exchange(int fd, std::uint32_t nSeq, Call call, const Writer& body, Reply* pReply) {
    std::vector<std::uint8_t> request = device::EncodeRequest(call, nSeq, body);
    std::uint8_t header[sizeof(device::ReplyHeader)];
    if (!device::SendAll(fd, request.data(), request.size()) ||
        !device::ReceiveAll(fd, header, sizeof(header)))
        return false;
    device::ReplyHeader reply = device::LoadReplyHeader(header);
    if (reply.nMagic != device::kReplyMagic || reply.nSeq != nSeq ||
        reply.nCall != static_cast<std::uint32_t>(call) || reply.cbBody > device::kcbMaxBody)
        return false;
    pReply->body.resize(reply.cbBody);
    if (!device::ReceiveAll(fd, pReply->body.data(), reply.cbBody) ||
        device::CheckReply(reply, pReply->body.data(), pReply->body.size()) != device::Decode::kOk)
        return false;
    pReply->status = static_cast<Status>(reply.nStatus);
    pReply->nResult = reply.nResult;
    pReply->nLastError = reply.nLastError;
    return true;
}

void Failed(DWORD dwLastError = ERROR_NOT_CONNECTED) {
    g_hrLast = E_RAPI_DISCONNECTED;
    g_dwLastError = dwLastError;
}

void DropConnection() {
    if (g_fd >= 0) ::close(g_fd);
    g_fd = -1;
}

// ---- The call log ($KELVANO_RAPI_LOG) ----------------------------------------------------

const char* CallName(Call call) {
    switch (call) {
    case Call::kGetFileAttributes:
        return "CeGetFileAttributes";
    case Call::kSetFileAttributes:
        return "CeSetFileAttributes";
    case Call::kCreateFile:
        return "CeCreateFile";
    case Call::kReadFile:
        return "CeReadFile";
    case Call::kWriteFile:
        return "CeWriteFile";
    case Call::kSetFilePointer:
        return "CeSetFilePointer";
    case Call::kSetEndOfFile:
        return "CeSetEndOfFile";
    case Call::kGetFileSize:
        return "CeGetFileSize";
    case Call::kGetFileTime:
        return "CeGetFileTime";
    case Call::kSetFileTime:
        return "CeSetFileTime";
    case Call::kCloseHandle:
        return "CeCloseHandle";
    case Call::kFindAllFiles:
        return "CeFindAllFiles";
    case Call::kCreateDirectory:
        return "CeCreateDirectory";
    case Call::kRemoveDirectory:
        return "CeRemoveDirectory";
    case Call::kMoveFile:
        return "CeMoveFile";
    case Call::kCopyFile:
        return "CeCopyFile";
    case Call::kDeleteFile:
        return "CeDeleteFile";
    case Call::kRegOpenKey:
        return "CeRegOpenKeyEx";
    case Call::kRegCreateKey:
        return "CeRegCreateKeyEx";
    case Call::kRegCloseKey:
        return "CeRegCloseKey";
    case Call::kRegDeleteKey:
        return "CeRegDeleteKey";
    case Call::kRegEnumKey:
        return "CeRegEnumKeyEx";
    case Call::kRegEnumValue:
        return "CeRegEnumValue";
    case Call::kRegQueryInfoKey:
        return "CeRegQueryInfoKey";
    case Call::kRegQueryValue:
        return "CeRegQueryValueEx";
    case Call::kRegSetValue:
        return "CeRegSetValueEx";
    case Call::kRegDeleteValue:
        return "CeRegDeleteValue";
    case Call::kGetSystemInfo:
        return "CeGetSystemInfo";
    case Call::kGetVersionEx:
        return "CeGetVersionEx";
    case Call::kGetStoreInfo:
        return "CeGetStoreInformation";
    case Call::kMemoryStatus:
        return "CeGlobalMemoryStatus";
    case Call::kPowerStatus:
        return "CeGetSystemPowerStatusEx";
    case Call::kGetTempPath:
        return "CeGetTempPath";
    case Call::kGetSpecialFolder:
        return "CeGetSpecialFolderPath";
    case Call::kGetSystemMetrics:
        return "CeGetSystemMetrics";
    case Call::kGetDeviceCaps:
        return "CeGetDesktopDeviceCaps";
    case Call::kCheckPassword:
        return "CeCheckPassword";
    case Call::kCreateShortcut:
        return "CeSHCreateShortcut";
    case Call::kGetShortcutTarget:
        return "CeSHGetShortcutTarget";
    case Call::kCreateProcess:
        return "CeCreateProcess";
    case Call::kInvoke:
        return "CeRapiInvoke";
    default:
        return "?";
    }
}

// One line per call that goes to the device: its name and first text (a remote invoke also
// names the entry). A password is never written down. The line goes in one append, so
// lines of several processes sharing the log never mix.
void LogCall(Call call, const Writer& body) {
    const char* pszLog = std::getenv("KELVANO_RAPI_LOG");
    if (pszLog == nullptr || *pszLog == '\0') return;
    std::string line = CallName(call);
    const char* pszItems = device::RequestItems(static_cast<std::uint32_t>(call));
    Reader in(body.Data());
    int cTexts = call == Call::kCheckPassword ? 0 : call == Call::kInvoke ? 2 : 1;
    for (; pszItems != nullptr && *pszItems != '\0' && cTexts > 0; ++pszItems) {
        std::uint32_t n = 0;
        std::uint64_t q = 0;
        const std::uint8_t* pb = nullptr;
        std::u16string text;
        bool fRead = false;
        switch (*pszItems) {
        case 'U':
            fRead = in.U32(&n);
            break;
        case 'Q':
            fRead = in.U64(&q);
            break;
        case 'B':
            fRead = in.Bytes(&pb, &n);
            break;
        case 'T':
            fRead = in.Text(&text);
            if (fRead) {
                line += ' ';
                line += host::ToUtf8(text);
                --cTexts;
            }
            break;
        default:
            break;
        }
        if (!fRead) break;
    }
    line += '\n';
    const int fd = ::open(pszLog, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    [[maybe_unused]] const ssize_t cb = ::write(fd, line.data(), line.size());
    ::close(fd);
}

} // namespace

bool internal::Remote(Call call, const Writer& body, Reply* pReply) {
    std::lock_guard guard(g_callLock);
    if (g_fd < 0) {
        Failed();
        return false;
    }
    LogCall(call, body);
    if (!Exchange(g_fd, ++g_nSeq, call, body, pReply)) {
        DropConnection();
        Failed();
        return false;
    }
    if (pReply->status != Status::kServed) {
        // A refused request means the two ends disagree: the service hangs up anyway.
        if (pReply->status != Status::kDisconnected) DropConnection();
        Failed();
        return false;
    }
    g_hrLast = S_OK;
    g_dwLastError = pReply->nLastError;
    return true;
}
bool internal::Remote(Call call, Reply* pReply) {
    return Remote(call, Writer(), pReply);
}

namespace {

// Connects *pfd to the service's socket; false when none listens or the attempt was
// stopped. The socket (closed by the caller) is registered as pending while it exists, so a
// stop can cut a wait on it short.
bool ConnectSocket(const std::string& dir, int* pfd) {
    *pfd = -1;
    std::string path = device::SocketPath(dir);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (dir.empty() || path.size() >= sizeof(addr.sun_path)) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    {
        std::lock_guard guard(g_stateLock);
        if (g_fStop) {
            ::close(fd);
            return false;
        }
        g_fdPending = fd;
    }
    *pfd = fd;
    // Non-blocking, so that a full backlog is retried here while a stop is watched for.
    while (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        if (errno != EAGAIN && errno != EINTR) return false;
        {
            std::lock_guard guard(g_stateLock);
            if (g_fStop) return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
}

// The background attempt: connect, ask the service whether the device is connected, then
// publish the outcome (unless stopped meanwhile) and set the event.
void Attempt(RAPIINIT* pInit, std::string dir) {
    int fd = -1;
    HRESULT hr = E_RAPI_DISCONNECTED;
    if (ConnectSocket(dir, &fd)) {
        Reply reply;
        std::uint32_t nArch = 0, nConnected = 0;
        if (Exchange(fd, 1, Call::kStatus, Writer(), &reply) && reply.status == Status::kServed) {
            Reader status(reply.body);
            if (status.U32(&nArch) && status.U32(&nConnected) && nConnected != 0) hr = S_OK;
        }
    }
    std::lock_guard guard(g_stateLock);
    g_fdPending = -1;
    if (g_fStop) {
        if (fd >= 0) ::close(fd);
        return;
    }
    {
        std::lock_guard call(g_callLock);
        DropConnection();
        if (hr == S_OK) {
            g_fd = fd;
            g_nSeq = 1;
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
    g_hrLast = hr;
    g_dwLastError = hr == S_OK ? ERROR_SUCCESS : ERROR_NOT_CONNECTED;
    pInit->hrRapiInit = hr;
    g_pEvent->Set();
}

// The list "find all files" returned.
bool FindAll(const WCHAR* pszPattern, DWORD dwFlags, std::vector<CE_FIND_DATA>* pFound) {
    Reply reply;
    if (!Remote(Call::kFindAllFiles, Writer().Text(Text(pszPattern)).U32(dwFlags), &reply))
        return false;
    Reader in(reply.body);
    std::uint32_t c = 0;
    if (!in.U32(&c) || reply.nResult == 0) return false;
    for (std::uint32_t i = 0; i < c; ++i) {
        CE_FIND_DATA d{};
        std::uint64_t tCreation = 0, tAccess = 0, tWrite = 0, cb = 0;
        std::u16string name;
        if (!in.U32(&d.dwFileAttributes) || !in.U64(&tCreation) || !in.U64(&tAccess) ||
            !in.U64(&tWrite) || !in.U64(&cb) || !in.Text(&name))
            return false;
        d.ftCreationTime = ToFileTime(tCreation);
        d.ftLastAccessTime = ToFileTime(tAccess);
        d.ftLastWriteTime = ToFileTime(tWrite);
        d.nFileSizeHigh = static_cast<DWORD>(cb >> 32);
        d.nFileSizeLow = static_cast<DWORD>(cb);
        name.resize(std::min<std::size_t>(name.size(), MAX_PATH - 1));
        CopyText(name, d.cFileName, MAX_PATH);
        pFound->push_back(d);
    }
    return true;
}

struct Find {
    std::vector<CE_FIND_DATA> found;
    std::size_t iNext = 0;
};
std::mutex g_findLock;
std::set<Find*> g_finds;

Find* TakeFind(HANDLE h, bool fRemove) {
    std::lock_guard guard(g_findLock);
    auto it = g_finds.find(static_cast<Find*>(h));
    if (it == g_finds.end()) return nullptr;
    Find* p = *it;
    if (fRemove) g_finds.erase(it);
    return p;
}

} // namespace

// ---- Connection ------------------------------------------------------------------------

HRESULT CeRapiInitEx(RAPIINIT* pInit) {
    if (!pInit || pInit->cbSize != sizeof(RAPIINIT)) return E_INVALIDARG;
    std::lock_guard guard(g_stateLock);
    if (g_fActive) return CERAPI_E_ALREADYINITIALIZED;
    g_fActive = true;
    g_fStop = false;
    g_pEvent = new host::Event(true);
    pInit->heRapiInit = g_pEvent;
    pInit->hrRapiInit = E_FAIL; // until the attempt has an outcome
    g_pWorker = new std::thread(Attempt, pInit, device::DefaultDeviceFolder());
    return S_OK;
}

HRESULT CeRapiInit() {
    static RAPIINIT init;
    init = {sizeof(RAPIINIT), nullptr, E_FAIL};
    HRESULT hr = CeRapiInitEx(&init);
    if (hr != S_OK) return hr;
    static_cast<host::Event*>(init.heRapiInit)->Wait();
    return init.hrRapiInit;
}

HRESULT CeRapiUninit() {
    std::thread* pWorker = nullptr;
    {
        std::lock_guard guard(g_stateLock);
        if (!g_fActive) return E_FAIL;
        // Stop the attempt first: a connection made late must never reach a freed event.
        g_fStop = true;
        if (g_fdPending >= 0) ::shutdown(g_fdPending, SHUT_RDWR);
        pWorker = g_pWorker;
        g_pWorker = nullptr;
    }
    pWorker->join();
    delete pWorker;
    {
        std::lock_guard call(g_callLock);
        DropConnection();
    }
    {
        std::lock_guard guard(g_stateLock);
        delete g_pEvent;
        g_pEvent = nullptr;
        g_fActive = false;
    }
    {
        std::lock_guard guard(g_findLock);
        for (Find* p : g_finds)
            delete p;
        g_finds.clear();
    }
    Failed();
    return S_OK;
}

HRESULT CeRapiGetError() {
    return g_hrLast;
}

DWORD CeGetLastError() {
    return g_dwLastError;
}

HRESULT CeRapiFreeBuffer(void* pv) {
    host::LocalFree(pv);
    return S_OK;
}

HRESULT CeRapiInvoke(const WCHAR* pszLibrary, const WCHAR* pszFunction, DWORD cbInput,
                     BYTE* pbInput, DWORD* pcbOutput, BYTE** ppbOutput, IRAPIStream** ppStream,
                     DWORD) {
    // The input is ours from here on, whatever happens.
    Writer request;
    request.Text(Text(pszLibrary)).Text(Text(pszFunction)).Bytes(pbInput, pbInput ? cbInput : 0);
    host::LocalFree(pbInput);
    if (pcbOutput) *pcbOutput = 0;
    if (ppbOutput) *ppbOutput = nullptr;
    if (ppStream) {
        *ppStream = nullptr;
        return E_NOTIMPL;
    }
    Reply reply;
    if (!Remote(Call::kInvoke, request, &reply)) return E_RAPI_DISCONNECTED;
    std::vector<std::uint8_t> output;
    Reader(reply.body).Bytes(&output);
    if (!output.empty() && pcbOutput && ppbOutput) {
        auto* pb = static_cast<BYTE*>(host::LocalAlloc(host::LMEM_FIXED, output.size()));
        if (!pb) {
            g_dwLastError = ERROR_NOT_ENOUGH_MEMORY;
            return E_FAIL;
        }
        std::memcpy(pb, output.data(), output.size());
        *pcbOutput = static_cast<DWORD>(output.size());
        *ppbOutput = pb;
    }
    return reply.nResult;
}

// ---- Files -----------------------------------------------------------------------------

HANDLE CeFindFirstFile(const WCHAR* pszPattern, CE_FIND_DATA* pData) {
    auto* pFind = new Find;
    if (!pData || !FindAll(pszPattern, 0, &pFind->found) || pFind->found.empty()) {
        if (g_hrLast == S_OK)
            g_dwLastError = pData ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER;
        delete pFind;
        return INVALID_HANDLE_VALUE;
    }
    *pData = pFind->found[0];
    pFind->iNext = 1;
    std::lock_guard guard(g_findLock);
    g_finds.insert(pFind);
    return pFind;
}

BOOL CeFindNextFile(HANDLE hFind, CE_FIND_DATA* pData) {
    Find* pFind = TakeFind(hFind, false);
    if (!pFind || !pData) {
        g_dwLastError = pFind ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE;
        return 0;
    }
    if (pFind->iNext >= pFind->found.size()) {
        g_dwLastError = ERROR_NO_MORE_FILES;
        return 0;
    }
    *pData = pFind->found[pFind->iNext++];
    return 1;
}

BOOL CeFindClose(HANDLE hFind) {
    Find* pFind = TakeFind(hFind, true);
    if (!pFind) {
        g_dwLastError = ERROR_INVALID_HANDLE;
        return 0;
    }
    delete pFind;
    return 1;
}

BOOL CeFindAllFiles(const WCHAR* pszPath, DWORD dwFlags, DWORD* pcFound, CE_FIND_DATA** ppFound) {
    if (pcFound) *pcFound = 0;
    if (ppFound) *ppFound = nullptr;
    std::vector<CE_FIND_DATA> found;
    if (!pcFound || !ppFound || !FindAll(pszPath, dwFlags, &found)) return 0;
    if (!found.empty()) {
        auto* p = static_cast<CE_FIND_DATA*>(
            host::LocalAlloc(host::LMEM_FIXED, found.size() * sizeof(CE_FIND_DATA)));
        if (!p) {
            g_dwLastError = ERROR_NOT_ENOUGH_MEMORY;
            return 0;
        }
        std::copy(found.begin(), found.end(), p);
        *ppFound = p;
    }
    *pcFound = static_cast<DWORD>(found.size());
    return 1;
}

DWORD CeGetFileAttributes(const WCHAR* pszPath) {
    Reply reply;
    if (!Remote(Call::kGetFileAttributes, Writer().Text(Text(pszPath)), &reply)) return 0xFFFFFFFF;
    return static_cast<DWORD>(reply.nResult);
}

BOOL CeSetFileAttributes(const WCHAR* pszPath, DWORD dwAttributes) {
    Reply reply;
    return Remote(Call::kSetFileAttributes, Writer().Text(Text(pszPath)).U32(dwAttributes),
                  &reply) &&
           reply.nResult != 0;
}

HANDLE CeCreateFile(const WCHAR* pszPath, DWORD dwAccess, DWORD dwShare, void*, DWORD dwCreation,
                    DWORD dwFlags, HANDLE) {
    Reply reply;
    Writer request;
    request.Text(Text(pszPath)).U32(dwAccess).U32(dwShare).U32(dwCreation).U32(dwFlags);
    std::uint32_t h = device::kNoHandle;
    if (!Remote(Call::kCreateFile, request, &reply) || !Reader(reply.body).U32(&h) ||
        h == device::kNoHandle)
        return INVALID_HANDLE_VALUE;
    return FromNumber(h);
}

BOOL CeReadFile(HANDLE hFile, void* pv, DWORD cb, DWORD* pcbRead, void*) {
    if (pcbRead) *pcbRead = 0;
    if (!pv && cb != 0) {
        g_dwLastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    DWORD cbDone = 0;
    // Larger reads go in pieces; a short piece is the end of the file.
    do {
        const DWORD cbWanted = std::min(cb - cbDone, device::kcbMaxRead);
        Reply reply;
        const std::uint8_t* pb = nullptr;
        std::uint32_t cbGot = 0;
        if (!Remote(Call::kReadFile, Writer().U32(Number(hFile)).U32(cbWanted), &reply) ||
            reply.nResult == 0 || !Reader(reply.body).Bytes(&pb, &cbGot) || cbGot > cbWanted)
            return 0;
        if (cbGot != 0) std::memcpy(static_cast<BYTE*>(pv) + cbDone, pb, cbGot);
        cbDone += cbGot;
        if (pcbRead) *pcbRead = cbDone;
        if (cbGot < cbWanted) break;
    } while (cbDone < cb);
    return 1;
}

BOOL CeWriteFile(HANDLE hFile, const void* pv, DWORD cb, DWORD* pcbWritten, void*) {
    if (pcbWritten) *pcbWritten = 0;
    if (!pv && cb != 0) {
        g_dwLastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    // Pieces well under the service's cap on a request.
    constexpr DWORD kcbPiece = device::kcbMaxBody / 4;
    DWORD cbDone = 0;
    do {
        const DWORD cbPiece = std::min(cb - cbDone, kcbPiece);
        Reply reply;
        std::uint32_t cbPut = 0;
        if (!Remote(
                Call::kWriteFile,
                Writer().U32(Number(hFile)).Bytes(static_cast<const BYTE*>(pv) + cbDone, cbPiece),
                &reply) ||
            reply.nResult == 0 || !Reader(reply.body).U32(&cbPut))
            return 0;
        cbDone += std::min(cbPut, cbPiece);
        if (pcbWritten) *pcbWritten = cbDone;
        if (cbPut < cbPiece) break;
    } while (cbDone < cb);
    return 1;
}

BOOL CeCloseHandle(HANDLE h) {
    Reply reply;
    return Remote(Call::kCloseHandle, Writer().U32(Number(h)), &reply) && reply.nResult != 0;
}

DWORD CeSetFilePointer(HANDLE hFile, LONG lDistance, LONG* plDistanceHigh, DWORD dwMethod) {
    const std::int64_t distance =
        plDistanceHigh ? static_cast<std::int64_t>((std::uint64_t(DWORD(*plDistanceHigh)) << 32) |
                                                   DWORD(lDistance))
                       : std::int64_t{lDistance};
    Reply reply;
    std::uint64_t position = 0;
    if (!Remote(Call::kSetFilePointer,
                Writer().U32(Number(hFile)).U64(static_cast<std::uint64_t>(distance)).U32(dwMethod),
                &reply) ||
        reply.nResult == 0 || !Reader(reply.body).U64(&position))
        return 0xFFFFFFFF;
    if (plDistanceHigh) *plDistanceHigh = static_cast<LONG>(position >> 32);
    return static_cast<DWORD>(position);
}

BOOL CeSetEndOfFile(HANDLE hFile) {
    Reply reply;
    return Remote(Call::kSetEndOfFile, Writer().U32(Number(hFile)), &reply) && reply.nResult != 0;
}

DWORD CeGetFileSize(HANDLE hFile, DWORD* pdwHigh) {
    Reply reply;
    std::uint64_t cb = 0;
    if (!Remote(Call::kGetFileSize, Writer().U32(Number(hFile)), &reply) || reply.nResult == 0 ||
        !Reader(reply.body).U64(&cb))
        return 0xFFFFFFFF;
    if (pdwHigh) *pdwHigh = static_cast<DWORD>(cb >> 32);
    return static_cast<DWORD>(cb);
}

BOOL CeGetFileTime(HANDLE hFile, FILETIME* pftCreation, FILETIME* pftLastAccess,
                   FILETIME* pftLastWrite) {
    Reply reply;
    std::uint64_t t[3] = {};
    if (!Remote(Call::kGetFileTime, Writer().U32(Number(hFile)), &reply) || reply.nResult == 0)
        return 0;
    Reader in(reply.body);
    if (!in.U64(&t[0]) || !in.U64(&t[1]) || !in.U64(&t[2])) return 0;
    if (pftCreation) *pftCreation = ToFileTime(t[0]);
    if (pftLastAccess) *pftLastAccess = ToFileTime(t[1]);
    if (pftLastWrite) *pftLastWrite = ToFileTime(t[2]);
    return 1;
}

BOOL CeSetFileTime(HANDLE hFile, const FILETIME* pftCreation, const FILETIME* pftLastAccess,
                   const FILETIME* pftLastWrite) {
    Reply reply;
    return Remote(Call::kSetFileTime,
                  Writer()
                      .U32(Number(hFile))
                      .U64(FromFileTime(pftCreation))
                      .U64(FromFileTime(pftLastAccess))
                      .U64(FromFileTime(pftLastWrite)),
                  &reply) &&
           reply.nResult != 0;
}

BOOL CeCreateDirectory(const WCHAR* pszPath, void*) {
    return PathCall(Call::kCreateDirectory, Writer().Text(Text(pszPath)));
}
BOOL CeRemoveDirectory(const WCHAR* pszPath) {
    return PathCall(Call::kRemoveDirectory, Writer().Text(Text(pszPath)));
}
BOOL CeMoveFile(const WCHAR* pszFrom, const WCHAR* pszTo) {
    return PathCall(Call::kMoveFile, Writer().Text(Text(pszFrom)).Text(Text(pszTo)));
}
BOOL CeCopyFile(const WCHAR* pszFrom, const WCHAR* pszTo, BOOL fFailIfExists) {
    return PathCall(Call::kCopyFile,
                    Writer().Text(Text(pszFrom)).Text(Text(pszTo)).U32(fFailIfExists ? 1 : 0));
}
BOOL CeDeleteFile(const WCHAR* pszPath) {
    return PathCall(Call::kDeleteFile, Writer().Text(Text(pszPath)));
}

// ---- Shell and processes ---------------------------------------------------------------

DWORD CeSHCreateShortcut(WCHAR* pszShortcut, WCHAR* pszTarget) {
    return static_cast<DWORD>(
        PathCall(Call::kCreateShortcut, Writer().Text(Text(pszShortcut)).Text(Text(pszTarget))));
}

BOOL CeSHGetShortcutTarget(WCHAR* pszShortcut, WCHAR* pszTarget, int cbMax) {
    Reply reply;
    std::u16string target;
    if (!Remote(Call::kGetShortcutTarget, Writer().Text(Text(pszShortcut)), &reply) ||
        reply.nResult == 0 || !Reader(reply.body).Text(&target))
        return 0;
    if (cbMax < 0 ||
        !CopyText(target, pszTarget, static_cast<std::size_t>(cbMax) / sizeof(WCHAR))) {
        g_dwLastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    return 1;
}

BOOL CeCreateProcess(const WCHAR* pszApplication, const WCHAR* pszCommandLine, void*, void*, BOOL,
                     DWORD, void*, WCHAR*, void*, PROCESS_INFORMATION* pInfo) {
    Reply reply;
    std::uint32_t pid = 0;
    if (pInfo) *pInfo = {};
    if (!Remote(Call::kCreateProcess,
                Writer().Text(Text(pszApplication)).Text(Text(pszCommandLine)), &reply) ||
        reply.nResult == 0 || !Reader(reply.body).U32(&pid))
        return 0;
    if (pInfo) pInfo->dwProcessId = pid;
    return 1;
}

// ---- What the device has none of ------------------------------------------------------

CEOID CeCreateDatabase(WCHAR*, DWORD, WORD, SORTORDERSPEC*) {
    return None<CEOID>(0, ERROR_NOT_SUPPORTED);
}
BOOL CeDeleteDatabase(CEOID) {
    return None<BOOL>(0, ERROR_INVALID_PARAMETER);
}
BOOL CeDeleteRecord(HANDLE, CEOID) {
    return None<BOOL>(0, ERROR_INVALID_HANDLE);
}
HANDLE CeFindFirstDatabase(DWORD) {
    return None<HANDLE>(INVALID_HANDLE_VALUE, ERROR_NO_MORE_ITEMS);
}
CEOID CeFindNextDatabase(HANDLE) {
    return None<CEOID>(0, ERROR_INVALID_HANDLE);
}
BOOL CeOidGetInfo(CEOID, CEOIDINFO*) {
    return None<BOOL>(0, ERROR_INVALID_PARAMETER);
}
HANDLE CeOpenDatabase(CEOID*, WCHAR*, CEPROPID, DWORD, HWND) {
    return None<HANDLE>(INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);
}
CEOID CeReadRecordProps(HANDLE, DWORD, WORD*, CEPROPID*, BYTE**, DWORD*) {
    return None<CEOID>(0, ERROR_INVALID_HANDLE);
}
CEOID CeSeekDatabase(HANDLE, DWORD, DWORD, DWORD*) {
    return None<CEOID>(0, ERROR_INVALID_HANDLE);
}
BOOL CeSetDatabaseInfo(CEOID, CEDBASEINFO*) {
    return None<BOOL>(0, ERROR_INVALID_PARAMETER);
}
BOOL CeFindAllDatabases(DWORD, WORD, WORD* pcFound, CEDB_FIND_DATA** ppFound) {
    if (pcFound) *pcFound = 0;
    if (ppFound) *ppFound = nullptr;
    return None<BOOL>(0, ERROR_NO_MORE_ITEMS);
}
HANDLE CeFindFirstDatabaseEx(CEGUID*, DWORD) {
    return None<HANDLE>(INVALID_HANDLE_VALUE, ERROR_NO_MORE_ITEMS);
}
CEOID CeFindNextDatabaseEx(HANDLE, CEGUID*) {
    return None<CEOID>(0, ERROR_INVALID_HANDLE);
}
CEOID CeCreateDatabaseEx(CEGUID*, CEDBASEINFO*) {
    return None<CEOID>(0, ERROR_NOT_SUPPORTED);
}
BOOL CeSetDatabaseInfoEx(CEGUID*, CEOID, CEDBASEINFO*) {
    return None<BOOL>(0, ERROR_INVALID_PARAMETER);
}
HANDLE CeOpenDatabaseEx(CEGUID*, CEOID*, WCHAR*, CEPROPID, DWORD, CENOTIFYREQUEST*) {
    return None<HANDLE>(INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);
}
BOOL CeDeleteDatabaseEx(CEGUID*, CEOID) {
    return None<BOOL>(0, ERROR_INVALID_PARAMETER);
}
CEOID CeReadRecordPropsEx(HANDLE, DWORD, WORD*, CEPROPID*, BYTE**, DWORD*, HANDLE) {
    return None<CEOID>(0, ERROR_INVALID_HANDLE);
}
CEOID CeWriteRecordProps(HANDLE, CEOID, WORD, CEPROPVAL*) {
    return None<CEOID>(0, ERROR_INVALID_HANDLE);
}
BOOL CeMountDBVol(CEGUID*, WCHAR*, DWORD) {
    return None<BOOL>(0, ERROR_NOT_SUPPORTED);
}
BOOL CeUnmountDBVol(CEGUID*) {
    return None<BOOL>(0, ERROR_INVALID_PARAMETER);
}
BOOL CeFlushDBVol(CEGUID*) {
    return None<BOOL>(0, ERROR_INVALID_PARAMETER);
}
BOOL CeEnumDBVolumes(CEGUID*, WCHAR* pszBuffer, DWORD cchBuffer) {
    if (pszBuffer && cchBuffer != 0) pszBuffer[0] = u'\0';
    return None<BOOL>(0, ERROR_NO_MORE_ITEMS);
}
BOOL CeOidGetInfoEx(CEGUID*, CEOID, CEOIDINFO*) {
    return None<BOOL>(0, ERROR_INVALID_PARAMETER);
}
HWND CeGetWindow(HWND, UINT) {
    return None<HWND>(nullptr, ERROR_INVALID_WINDOW_HANDLE);
}
LONG CeGetWindowLong(HWND, int) {
    return None<LONG>(0, ERROR_INVALID_WINDOW_HANDLE);
}
int CeGetWindowText(HWND, WCHAR* pszText, int cchMax) {
    if (pszText && cchMax > 0) pszText[0] = u'\0';
    return None<int>(0, ERROR_INVALID_WINDOW_HANDLE);
}
int CeGetClassName(HWND, WCHAR* pszClass, int cchMax) {
    if (pszClass && cchMax > 0) pszClass[0] = u'\0';
    return None<int>(0, ERROR_INVALID_WINDOW_HANDLE);
}

} // namespace rapi
