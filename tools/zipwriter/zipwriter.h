// Writes ZIP archives: stored and deflated entries and folder entries, with a central
// directory, as the installer's payload, the skin package and the tests need them.
// Host-side build code.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zipwriter {

// Without the 64-bit extension every size and offset in an archive is a 32-bit field.
constexpr std::uint64_t kcbMax = 0xFFFFFFFF;
// The project's reader refuses longer entry names.
constexpr std::size_t kcchMaxName = 299;

// Raw deflate data (no header) of data through zlib with the given level (0 to 9),
// strategy (Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED) and window.
std::vector<std::uint8_t> Deflate(std::span<const std::uint8_t> data, int nLevel, int nStrategy = 0,
                                  int nWindowBits = 15);

std::uint32_t Crc32(std::span<const std::uint8_t> data);

// MS-DOS date and time fields of a local time; years before 1980 give 1980.
struct DosTime {
    std::uint16_t wDate;
    std::uint16_t wTime;
};
DosTime MakeDosTime(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond);

// "YYYY-MM-DDTHH:MM:SS" with a real date from 1980 to 2107 (the years the format holds) and
// a time from 00:00:00 to 23:59:59; nothing for anything else. The format counts seconds
// in steps of two, so an odd second is stored as the even second before it (never rounded
// up, which could carry into the next minute or day).
std::optional<DosTime> ParseDosTime(std::string_view text);

// Why a name cannot be an entry that any reader unpacks inside its own folder: empty, too
// long, absolute, with "." or ".." or empty parts, backslashes, colons (drives and streams
// on other systems) or control characters. Empty when the name is fine; a folder's name
// may end in one "/".
std::string EntryNameProblem(std::string_view name);

// The key under which a reader that ignores letter case finds the entry: ASCII and the
// Latin-1 and Latin Extended-A letters upper-cased, a trailing "/" dropped (a file and a
// folder of one name collide when unpacked).
std::string FoldedName(std::string_view name);

class ZipWriter {
public:
    // An archive built in memory (Finish, WriteFile), from 2000-01-01 00:00:00 unless told
    // otherwise, so that builds are reproducible.
    ZipWriter();
    // An archive streamed to a temporary file beside path as entries are added, so that
    // memory stays small whatever the inputs; Commit() completes it and renames it to path.
    // Without Commit the temporary file is removed. Throws when it cannot be made.
    explicit ZipWriter(const std::string& strPath);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    void SetTime(DosTime time) { time_ = time; }
    // Entries added from now on carry a 12-byte data descriptor after their data (flag
    // bit 3); their local headers still hold the sizes.
    void SetDataDescriptor(bool f) { fDataDescriptor_ = f; }
    // Extra bytes in the local header of entries added from now on.
    void SetLocalExtra(std::vector<std::uint8_t> extra) { extra_ = std::move(extra); }

    // A folder entry of length 0; a trailing "/" is added when missing.
    void AddFolder(std::string strName);
    void AddStored(const std::string& strName, std::span<const std::uint8_t> data);
    // Level 1 to 9 (flag bits 1 and 2 tell the level as other writers do).
    void AddDeflated(const std::string& strName, std::span<const std::uint8_t> data, int nLevel = 9,
                     int nStrategy = 0);
    // The file's contents, read and deflated in pieces: stored at level 0, deflated at 1 to 9.
    // A size or offset beyond kcbMax throws, before anything is read when the file's size
    // tells; after a throw the archive is as it was before the call.
    void AddFile(const std::string& strName, const std::filesystem::path& path, int nLevel);
    // An entry exactly as given: method, general-purpose flags and the bytes of its data.
    void AddRaw(const std::string& strName, std::uint16_t nMethod, std::uint16_t fFlags,
                std::span<const std::uint8_t> packed, std::uint32_t cbUncompressed,
                std::uint32_t nCrc);

    // The archive: local entries, central directory and end record (in memory only).
    std::vector<std::uint8_t> Finish() const;
    // Writes the archive to a temporary file beside path and renames it; throws on failure
    // (in memory only).
    void WriteFile(const std::string& strPath) const;
    // Completes a streamed archive and renames it into place; throws on failure.
    void Commit();

    // The bytes written so far without the central directory (local entries only; empty
    // when streaming).
    const std::vector<std::uint8_t>& LocalBytes() const { return local_; }

private:
    struct Central {
        std::string strName;
        std::uint16_t nMethod;
        std::uint16_t fFlags;
        DosTime time;
        std::uint32_t nCrc;
        std::uint32_t cbCompressed;
        std::uint32_t cbUncompressed;
        std::uint32_t ibLocal;
        bool fFolder;
    };

    // Appends to the archive, in memory or to the file.
    void Emit(const std::uint8_t* pb, std::size_t cb);
    // Rewrites bytes already emitted at ib.
    void Patch(std::uint64_t ib, const std::vector<std::uint8_t>& bytes);
    // Drops everything emitted from ib on.
    void Truncate(std::uint64_t ib);
    std::vector<std::uint8_t> LocalHeader(const Central& entry) const;
    std::vector<std::uint8_t> CentralDirectory(std::uint64_t ibCentral) const;
    void StreamFile(Central& entry, std::FILE* pIn, const std::string& strPath, int nLevel);

    DosTime time_;
    bool fDataDescriptor_ = false;
    std::vector<std::uint8_t> extra_;
    std::vector<std::uint8_t> local_;
    std::vector<Central> central_;
    std::uint64_t cbWritten_ = 0;
    bool fStreamed_ = false;
    bool fBroken_ = false;
    std::FILE* pFile_ = nullptr;
    std::string strPath_;
};

} // namespace zipwriter
