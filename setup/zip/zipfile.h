// ZIP archives read from memory, a file or a resource.
//
// The reader walks the local file headers from the start (the central directory is never
// read) and keeps the entries in a map by name that ignores case; folder entries such as
// "arm/" are entries too. Stored entries are used in place; deflated ones are inflated into
// blocks of their own, either all at open or when asked for (the defer flag).
//
// Malformed data throws cetl::exception with one of the texts below; entries read before
// the failure stay in the archive.
#pragma once

#include "foundation/tchar.h"
#include "foundation/tl_map.h"
#include "foundation/tl_string.h"
#include "host/types.h"
#include "setup/zip/inflate.h"

#include <cstddef>

namespace zip {

using host::WORD;

inline constexpr const CHAR* kszNotZip = "the file supplied is not a .ZIP file";
inline constexpr const CHAR* kszEntryBeyondData =
    "the .ZIP file specified contains an entry which extends beyond the supplied data";
inline constexpr const CHAR* kszUnsupportedMethod =
    "the entry %s in the .ZIP file uses an unsupported compression method";
inline constexpr const CHAR* kszNameTooLong =
    "the .ZIP file specified contains an entry whose name is longer than 299 bytes";

constexpr DWORD kZipSignature = 0x04034B50;
constexpr WORD kMethodStored = 0;
constexpr WORD kMethodDeflated = 8;
constexpr int kcchMaxName = 299;

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
static_assert(sizeof(SYSTEMTIME) == 16);

// An MS-DOS date and time as stored in an archive, each field clamped to its range.
SYSTEMTIME DosTimeToSystemTime(WORD wDate, WORD wTime);

class ZipEntry {
public:
    ZipEntry(const CHAR* pszName, DWORD cbCompressed, DWORD cbUncompressed,
             const BYTE* pbCompressed, WORD nMethod, const SYSTEMTIME& stModified);
    // The copy owns a copy of the unpacked data when the source owns its block, and shares
    // the data of a stored entry.
    ZipEntry(const ZipEntry& other);
    ZipEntry& operator=(const ZipEntry&) = delete;
    ~ZipEntry();

    const cetl::string& Name() const { return strName_; }
    WORD Method() const { return nMethod_; }
    const SYSTEMTIME& Time() const { return stModified_; }
    DWORD CompressedSize() const { return cbCompressed_; }
    const BYTE* CompressedData() const { return pbCompressed_; }

    // Unpacked data and its size: null until unpacked. After unpacking, the size is the
    // number of bytes the entry really gave.
    bool IsUnpacked() const { return pbUncompressed_ != nullptr; }
    const BYTE* Data() const { return pbUncompressed_; }
    DWORD Size() const { return cbUncompressed_; }

    // Does nothing when already unpacked; throws on malformed data.
    void Unpack(Inflater& inflater);
    // Frees the block of a deflated entry; the entry can be unpacked again.
    void Release();

private:
    bool OwnsData() const { return pbUncompressed_ != nullptr && pbUncompressed_ != pbCompressed_; }

    cetl::string strName_;
    DWORD cbCompressed_;
    DWORD cbUncompressed_;
    const BYTE* pbCompressed_;
    const BYTE* pbUncompressed_ = nullptr;
    SYSTEMTIME stModified_;
    WORD nMethod_;
};

class ZipFile {
public:
    using EntryMap = cetl::stringmap<ZipEntry*>;

    ZipFile() = default;
    ~ZipFile();
    ZipFile(const ZipFile&) = delete;
    ZipFile& operator=(const ZipFile&) = delete;

    // Each Open first closes what the archive held. With fDefer false every entry is
    // unpacked at once, in name order.
    //
    // From a resource of the module, by name or number ("#113" is 113), used in place. A
    // missing resource fails as an archive that is not one does, after a trace line.
    void OpenResource(host::HINSTANCE hModule, const TCHAR* pszName, const TCHAR* pszType,
                      bool fDefer);
    // Reads the whole file into a block of the archive's own; a missing or empty file
    // leaves the archive empty.
    void OpenFile(const TCHAR* pszPath, bool fDefer);
    // Copies the bytes into a block of the archive's own.
    void OpenMemory(const void* pv, std::size_t cb, bool fDefer);
    // Releases every entry and the archive's bytes.
    void Close();

    // Exact match without regard to case; null when missing. Callers turn "\" into "/"
    // and drop a leading "/" first.
    ZipEntry* Find(const TCHAR* pszName) const;
    void Unpack(ZipEntry* pEntry) { pEntry->Unpack(inflater_); }

    const EntryMap& Entries() const { return entries_; }
    std::size_t Count() const { return entries_.Count(); }
    const BYTE* Bytes() const { return pbData_; }
    std::size_t BytesSize() const { return cbData_; }

private:
    void ReadEntries(bool fDefer);

    const BYTE* pbData_ = nullptr;
    std::size_t cbData_ = 0;
    bool fOwnsData_ = false;
    EntryMap entries_;
    Inflater inflater_;
};

} // namespace zip
