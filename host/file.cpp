#include "host/file.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/file_internal.h"
#include "host/handle.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace {

// An open descriptor, owned by its handle. It is closed when the last user lets go, so a read
// on one thread while another closes the handle never reaches a descriptor reused meanwhile.
struct OpenFile {
    explicit OpenFile(int fdOpen) : fd(fdOpen) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (fd >= 0) ::close(fd);
    }
    // Closes now; returns the errno value, or 0.
    int Close() {
        int nResult = ::close(fd) != 0 ? errno : 0;
        fd = -1;
        return nResult;
    }
    int fd;
};

std::shared_ptr<OpenFile> FileOf(HANDLE h) {
    return handles::Lookup<OpenFile>(h, HandleKind::File);
}

void SetErrorFromErrno(int nErrno) {
    SetLastError(FileErrorFromErrno(nErrno));
}

int BadHandle() {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

} // namespace

HANDLE CreateFile(const char* pszName, DWORD dwAccess, DWORD dwShare, DWORD dwCreation) {
    (void)dwShare;
    if (pszName == nullptr || *pszName == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string strNative = NativeFileName(pszName);
    if (strNative.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    int nFlags = O_CLOEXEC;
    bool fRead = (dwAccess & GENERIC_READ) != 0;
    bool fWrite = (dwAccess & GENERIC_WRITE) != 0;
    nFlags |= fRead && fWrite ? O_RDWR : fWrite ? O_WRONLY : O_RDONLY;
    switch (dwCreation) {
    case CREATE_NEW:
        nFlags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        nFlags |= O_CREAT | O_TRUNC;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        nFlags |= O_CREAT;
        break;
    case TRUNCATE_EXISTING:
        nFlags |= O_TRUNC;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if ((nFlags & (O_CREAT | O_TRUNC)) != 0 && !fWrite) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (fWrite) FirstFileWrite();
    // Truncation waits until the read-only mark was checked on the open file, and skips a
    // file already empty (every new one): on ext4 a truncation marks the file for a flush at
    // its close, which a removal soon after must then wait for.
    bool fTruncate = (nFlags & O_TRUNC) != 0;
    int fd = ::open(strNative.c_str(), nFlags & ~O_TRUNC, NewFileMode(strNative));
    if (fd < 0) {
        SetErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    if (fWrite) {
        struct stat st {};
        int nErrno = 0;
        if (::fstat(fd, &st) != 0) {
            nErrno = errno;
        } else if (DeniesWriting(st)) {
            nErrno = EACCES;
        } else if (S_ISREG(st.st_mode) && IsInUse(strNative)) {
            nErrno = ETXTBSY;
        } else if (fTruncate && S_ISREG(st.st_mode) && st.st_size != 0 && ::ftruncate(fd, 0) != 0) {
            nErrno = errno;
        }
        if (nErrno != 0) {
            ::close(fd);
            SetErrorFromErrno(nErrno);
            return INVALID_HANDLE_VALUE;
        }
    }
    HANDLE h = handles::Add(HandleKind::File, std::make_shared<OpenFile>(fd));
    if (h == nullptr) {
        SetLastError(ERROR_GEN_FAILURE);
    }
    return h != nullptr ? h : INVALID_HANDLE_VALUE;
}

HANDLE CreateFile(const WCHAR* pszName, DWORD dwAccess, DWORD dwShare, DWORD dwCreation) {
    if (pszName == nullptr) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string strName = ToUtf8(pszName);
    return CreateFile(strName.c_str(), dwAccess, dwShare, dwCreation);
}

BOOL ReadFile(HANDLE h, void* pv, DWORD cb, DWORD* pcbRead) {
    if (pcbRead != nullptr) {
        *pcbRead = 0;
    }
    std::shared_ptr<OpenFile> file = FileOf(h);
    if (!file) {
        return BadHandle();
    }
    int fd = file->fd;
    DWORD cbDone = 0;
    while (cbDone < cb) {
        ssize_t n = ::read(fd, static_cast<BYTE*>(pv) + cbDone, cb - cbDone);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            SetErrorFromErrno(errno);
            return FALSE;
        }
        if (n == 0) {
            break;
        }
        cbDone += static_cast<DWORD>(n);
    }
    if (pcbRead != nullptr) {
        *pcbRead = cbDone;
    }
    return TRUE;
}

BOOL WriteFile(HANDLE h, const void* pv, DWORD cb, DWORD* pcbWritten) {
    if (pcbWritten != nullptr) {
        *pcbWritten = 0;
    }
    std::shared_ptr<OpenFile> file = FileOf(h);
    if (!file) {
        return BadHandle();
    }
    int fd = file->fd;
    DWORD cbDone = 0;
    while (cbDone < cb) {
        ssize_t n = ::write(fd, static_cast<const BYTE*>(pv) + cbDone, cb - cbDone);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            SetErrorFromErrno(n < 0 ? errno : ENOSPC);
            if (pcbWritten != nullptr) {
                *pcbWritten = cbDone;
            }
            return FALSE;
        }
        cbDone += static_cast<DWORD>(n);
    }
    if (pcbWritten != nullptr) {
        *pcbWritten = cbDone;
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE h, LONG lDistance, DWORD dwMethod) {
    std::shared_ptr<OpenFile> file = FileOf(h);
    if (!file) {
        BadHandle();
        return INVALID_SET_FILE_POINTER;
    }
    int fd = file->fd;
    int nWhence = dwMethod == FILE_BEGIN     ? SEEK_SET
                  : dwMethod == FILE_CURRENT ? SEEK_CUR
                  : dwMethod == FILE_END     ? SEEK_END
                                             : -1;
    if (nWhence < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t pos = ::lseek(fd, lDistance, nWhence);
    if (pos < 0) {
        int nErrno = errno;
        if (nErrno == EINVAL) {
            SetLastError(ERROR_INVALID_PARAMETER);
        } else {
            SetErrorFromErrno(nErrno);
        }
        return INVALID_SET_FILE_POINTER;
    }
    if (pos >= static_cast<off_t>(INVALID_SET_FILE_POINTER)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    return static_cast<DWORD>(pos);
}

DWORD GetFileSize(HANDLE h) {
    std::shared_ptr<OpenFile> file = FileOf(h);
    if (!file) {
        BadHandle();
        return INVALID_FILE_SIZE;
    }
    // fstat leaves the file position alone, so another thread reading meanwhile is not moved.
    struct stat st {};
    if (::fstat(file->fd, &st) != 0) {
        SetErrorFromErrno(errno);
        return INVALID_FILE_SIZE;
    }
    off_t posEnd = st.st_size;
    if (posEnd >= static_cast<off_t>(INVALID_FILE_SIZE)) {
        SetLastError(ERROR_GEN_FAILURE);
        return INVALID_FILE_SIZE;
    }
    return static_cast<DWORD>(posEnd);
}

BOOL FlushFileBuffers(HANDLE h) {
    std::shared_ptr<OpenFile> file = FileOf(h);
    if (!file) {
        return BadHandle();
    }
    int fd = file->fd;
    if (::fsync(fd) != 0) {
        SetErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE h) {
    std::shared_ptr<OpenFile> file = handles::Remove<OpenFile>(h, HandleKind::File);
    if (!file) {
        return BadHandle();
    }
    // In use on another thread: the last user closes the descriptor.
    if (file.use_count() > 1) {
        return TRUE;
    }
    if (int nErrno = file->Close(); nErrno != 0) {
        SetErrorFromErrno(nErrno);
        return FALSE;
    }
    return TRUE;
}

} // namespace host
