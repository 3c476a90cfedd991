// Writes ZIP archives: stored and deflated entries and folder entries, with a central
// directory, as the installer's payload, the skin package and the tests need them.
// Host-side build code.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace zipwriter {

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

class ZipWriter {
public:
    // 2000-01-01 00:00:00 unless told otherwise, so that builds are reproducible.
    ZipWriter();

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
    // An entry exactly as given: method, general-purpose flags and the bytes of its data.
    void AddRaw(const std::string& strName, std::uint16_t nMethod, std::uint16_t fFlags,
                std::span<const std::uint8_t> packed, std::uint32_t cbUncompressed,
                std::uint32_t nCrc);

    // The archive: local entries, central directory and end record.
    std::vector<std::uint8_t> Finish() const;
    // Writes the archive to a temporary file beside path and renames it; throws on failure.
    void WriteFile(const std::string& strPath) const;

    // The bytes written so far without the central directory (local entries only).
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

    DosTime time_;
    bool fDataDescriptor_ = false;
    std::vector<std::uint8_t> extra_;
    std::vector<std::uint8_t> local_;
    std::vector<Central> central_;
};

} // namespace zipwriter
