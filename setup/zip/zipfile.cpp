#include "setup/zip/zipfile.h"

#include "host/resource.h"

#include "foundation/diag.h"
#include "foundation/memmgr.h"
#include "foundation/tl_exception.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace zip {
namespace {

constexpr std::size_t kcbLocalHeader = 30;
constexpr std::size_t kcbDataDescriptor = 12;
constexpr WORD kfDataDescriptor = 0x0008;
// Deflate gives at most 258 bytes for every two bits it reads.
constexpr std::uint64_t kMaxInflateRatio = 1032;

WORD Read16(const BYTE* pb) {
    return static_cast<WORD>(pb[0] | pb[1] << 8);
}
DWORD Read32(const BYTE* pb) {
    return Read16(pb) | static_cast<DWORD>(Read16(pb + 2)) << 16;
}

} // namespace

SYSTEMTIME DosTimeToSystemTime(WORD wDate, WORD wTime) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>((wDate >> 9) + 1980);
    st.wMonth = std::min<WORD>((wDate >> 5) & 0x0F, 12);
    st.wDayOfWeek = 0;
    st.wDay = std::min<WORD>(wDate & 0x1F, 31);
    st.wHour = std::min<WORD>(wTime >> 11, 23);
    st.wMinute = std::min<WORD>((wTime >> 5) & 0x3F, 59);
    st.wSecond = std::min<WORD>((wTime & 0x1F) * 2, 59);
    st.wMilliseconds = 0;
    return st;
}

ZipEntry::ZipEntry(const CHAR* pszName, DWORD cbCompressed, DWORD cbUncompressed,
                   const BYTE* pbCompressed, WORD nMethod, const SYSTEMTIME& stModified)
    : strName_(pszName), cbCompressed_(cbCompressed), cbUncompressed_(cbUncompressed),
      pbCompressed_(pbCompressed), stModified_(stModified), nMethod_(nMethod) {}

ZipEntry::ZipEntry(const ZipEntry& other)
    : strName_(other.strName_), cbCompressed_(other.cbCompressed_),
      cbUncompressed_(other.cbUncompressed_), pbCompressed_(other.pbCompressed_),
      pbUncompressed_(other.pbUncompressed_), stModified_(other.stModified_),
      nMethod_(other.nMethod_) {
    if (!other.OwnsData()) return;
    DWORD cbUncompressed = cbUncompressed_;
    BYTE* pb = static_cast<BYTE*>(MemAlloc(cbUncompressed));
    // Without memory the copy is simply not unpacked yet.
    if (pb != nullptr && cbUncompressed != 0)
        std::memcpy(pb, other.pbUncompressed_, cbUncompressed);
    pbUncompressed_ = pb;
}

ZipEntry::~ZipEntry() {
    Release();
}

void ZipEntry::Release() {
    if (OwnsData()) MemFree(const_cast<BYTE*>(pbUncompressed_));
    pbUncompressed_ = nullptr;
}

void ZipEntry::Unpack(Inflater& inflater) {
    if (pbCompressed_ == nullptr || pbUncompressed_ != nullptr) return;
    switch (nMethod_) {
    case kMethodStored:
        cbUncompressed_ = std::min(cbUncompressed_, cbCompressed_);
        pbUncompressed_ = pbCompressed_;
        return;
    case kMethodDeflated: {
        // The spare 1024 bytes take data a little longer than the header says; a header
        // claiming more than the data can give does not make the block bigger.
        std::uint64_t cbExpected =
            std::min<std::uint64_t>(cbUncompressed_, cbCompressed_ * kMaxInflateRatio);
        std::size_t cbCapacity =
            static_cast<std::size_t>(std::min<std::uint64_t>(cbExpected + 1024, UINT32_MAX));
        BYTE* pb = static_cast<BYTE*>(MemAllocTagged(cbCapacity, "cbUncompressed + 1024"));
        if (pb == nullptr) throw cetl::exception(kszInflateFailed);
        try {
            cbUncompressed_ =
                static_cast<DWORD>(inflater.Inflate(pbCompressed_, cbCompressed_, pb, cbCapacity));
        } catch (...) {
            MemFree(pb);
            throw;
        }
        pbUncompressed_ = pb;
        return;
    }
    default:
        throw cetl::exception(cetl::sformat(kszUnsupportedMethod, strName_));
    }
}

ZipFile::~ZipFile() {
    Close();
}

void ZipFile::Close() {
    for (auto& item : entries_)
        MemDelete(item.second);
    entries_.Clear();
    if (fOwnsData_) MemFree(const_cast<BYTE*>(pbData_));
    pbData_ = nullptr;
    cbData_ = 0;
    fOwnsData_ = false;
}

void ZipFile::OpenResource(host::HINSTANCE hModule, const TCHAR* pszName, const TCHAR* pszType,
                           bool fDefer) {
    Close();
    const host::ResName name(pszName), type(pszType);
    host::HRSRC hResource = host::FindResource(hModule, name, type);
    const void* pv =
        hResource != nullptr ? host::LockResource(host::LoadResource(hModule, hResource)) : nullptr;
    if (pv == nullptr) {
        cetl::trace("zip: no resource %s of type %s\n", pszName, pszType);
    } else {
        // The module keeps its resources for as long as it is loaded: used in place.
        pbData_ = static_cast<const BYTE*>(pv);
        cbData_ = host::SizeofResource(hModule, hResource);
    }
    ReadEntries(fDefer);
}

void ZipFile::OpenFile(const TCHAR* pszPath, bool fDefer) {
    Close();
    int fd = pszPath != nullptr ? ::open(pszPath, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) return;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
        ::close(fd);
        return;
    }
    std::size_t cbData = static_cast<std::size_t>(info.st_size);
    BYTE* pb = static_cast<BYTE*>(MemAlloc(cbData));
    std::size_t cbRead = 0;
    while (pb != nullptr && cbRead < cbData) {
        ssize_t cb = ::read(fd, pb + cbRead, cbData - cbRead);
        if (cb < 0 && errno == EINTR) continue;
        if (cb <= 0) break;
        cbRead += static_cast<std::size_t>(cb);
    }
    ::close(fd);
    if (pb != nullptr) {
        pbData_ = pb;
        cbData_ = cbRead;
        fOwnsData_ = true;
    }
    // A file that could not be read whole is not an archive.
    if (cbRead < cbData) cbData_ = 0;
    ReadEntries(fDefer);
}

void ZipFile::OpenMemory(const void* pv, std::size_t cb, bool fDefer) {
    Close();
    if (pv != nullptr && cb != 0) {
        std::size_t cbData = cb;
        BYTE* pb = static_cast<BYTE*>(MemAlloc(cbData));
        if (pb != nullptr) {
            std::memcpy(pb, pv, cb);
            pbData_ = pb;
            cbData_ = cb;
            fOwnsData_ = true;
        }
    }
    ReadEntries(fDefer);
}

ZipEntry* ZipFile::Find(const TCHAR* pszName) const {
    auto it = entries_.Find(cetl::istring(pszName));
    return it != entries_.end() ? it->second : nullptr;
}

void ZipFile::ReadEntries(bool fDefer) {
    const BYTE* pb = pbData_;
    if (pb == nullptr || cbData_ <= 3 || Read32(pb) != kZipSignature)
        throw cetl::exception(kszNotZip);
    const BYTE* pEnd = pb + cbData_;
    for (const BYTE* p = pb; static_cast<std::size_t>(pEnd - p) > kcbLocalHeader;) {
        const BYTE* pHeader = p;
        p += kcbLocalHeader;
        if (Read32(pHeader) != kZipSignature) break;
        WORD fFlags = Read16(pHeader + 6);
        WORD nMethod = Read16(pHeader + 8);
        WORD wTime = Read16(pHeader + 10);
        WORD wDate = Read16(pHeader + 12);
        DWORD cbCompressed = Read32(pHeader + 18);
        DWORD cbUncompressed = Read32(pHeader + 22);
        WORD cchName = Read16(pHeader + 26);
        WORD cbExtra = Read16(pHeader + 28);

        std::uint64_t cbSpan = std::uint64_t(cbCompressed) + cchName + cbExtra +
                               ((fFlags & kfDataDescriptor) != 0 ? kcbDataDescriptor : 0);
        if (cbSpan >= static_cast<std::size_t>(pEnd - p)) throw cetl::exception(kszEntryBeyondData);
        if (cchName > kcchMaxName) throw cetl::exception(kszNameTooLong);
        CHAR szName[kcchMaxName + 1];
        std::memcpy(szName, p, cchName);
        szName[cchName] = 0;

        ZipEntry* pEntry =
            MemNew(ZipEntry, szName, cbCompressed, cbUncompressed, p + cchName + cbExtra, nMethod,
                   DosTimeToSystemTime(wDate, wTime));
        if (pEntry == nullptr) throw std::bad_alloc();
        p += cbSpan;

        // A later entry of the same name replaces the earlier one.
        try {
            cetl::istring strKey(szName);
            auto it = entries_.Find(strKey);
            if (it != entries_.end()) {
                MemDelete(it->second);
                it->second = pEntry;
            } else {
                entries_.Set(strKey, pEntry);
            }
        } catch (...) {
            MemDelete(pEntry);
            throw;
        }
    }
    if (!fDefer) {
        for (auto& item : entries_)
            item.second->Unpack(inflater_);
    }
}

} // namespace zip
