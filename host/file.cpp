#include "host/file.h"

#include "host/codepage.h"
#include "host/error.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace host {

namespace {

// A handle is the descriptor plus one, so that descriptor 0 is not a null handle.
HANDLE FromDescriptor(int fd) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(fd) + 1);
}

int ToDescriptor(HANDLE h) {
    if (h == nullptr || h == INVALID_HANDLE_VALUE) {
        return -1;
    }
    return static_cast<int>(reinterpret_cast<std::uintptr_t>(h) - 1);
}

void SetErrorFromErrno(int nErrno) {
    switch (nErrno) {
    case ENOENT:
        SetLastError(ERROR_FILE_NOT_FOUND);
        break;
    case ENOTDIR:
        SetLastError(ERROR_PATH_NOT_FOUND);
        break;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        SetLastError(ERROR_ACCESS_DENIED);
        break;
    case EEXIST:
        SetLastError(ERROR_FILE_EXISTS);
        break;
    case EBADF:
        SetLastError(ERROR_INVALID_HANDLE);
        break;
    case ENOSPC:
        SetLastError(ERROR_DISK_FULL);
        break;
    default:
        SetLastError(ERROR_GEN_FAILURE);
        break;
    }
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
    int fd = ::open(pszName, nFlags, 0644);
    if (fd < 0) {
        SetErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    return FromDescriptor(fd);
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
    int fd = ToDescriptor(h);
    if (fd < 0) {
        return BadHandle();
    }
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
    int fd = ToDescriptor(h);
    if (fd < 0) {
        return BadHandle();
    }
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
    int fd = ToDescriptor(h);
    if (fd < 0) {
        BadHandle();
        return INVALID_SET_FILE_POINTER;
    }
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
    int fd = ToDescriptor(h);
    if (fd < 0) {
        BadHandle();
        return INVALID_FILE_SIZE;
    }
    off_t posNow = ::lseek(fd, 0, SEEK_CUR);
    off_t posEnd = ::lseek(fd, 0, SEEK_END);
    if (posNow < 0 || posEnd < 0) {
        SetErrorFromErrno(errno);
        return INVALID_FILE_SIZE;
    }
    ::lseek(fd, posNow, SEEK_SET);
    if (posEnd >= static_cast<off_t>(INVALID_FILE_SIZE)) {
        SetLastError(ERROR_GEN_FAILURE);
        return INVALID_FILE_SIZE;
    }
    return static_cast<DWORD>(posEnd);
}

BOOL FlushFileBuffers(HANDLE h) {
    int fd = ToDescriptor(h);
    if (fd < 0) {
        return BadHandle();
    }
    if (::fsync(fd) != 0) {
        SetErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE h) {
    int fd = ToDescriptor(h);
    if (fd < 0) {
        return BadHandle();
    }
    if (::close(fd) != 0) {
        SetErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

} // namespace host
