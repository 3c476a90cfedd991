#include "tools/zipwriter/zipwriter.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>

namespace zipwriter {
namespace {

constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t n) {
    out.push_back(static_cast<std::uint8_t>(n));
    out.push_back(static_cast<std::uint8_t>(n >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t n) {
    Put16(out, n & 0xFFFF);
    Put16(out, n >> 16);
}

std::uint32_t Checked32(std::size_t n, const char* pszWhat) {
    if (n > std::numeric_limits<std::uint32_t>::max())
        throw std::runtime_error(std::string(pszWhat) + " is too large for a ZIP archive");
    return static_cast<std::uint32_t>(n);
}

} // namespace

std::vector<std::uint8_t> Deflate(std::span<const std::uint8_t> data, int nLevel, int nStrategy,
                                  int nWindowBits) {
    z_stream z{};
    if (deflateInit2(&z, nLevel, Z_DEFLATED, -nWindowBits, 8, nStrategy) != Z_OK)
        throw std::runtime_error("zlib refused the deflate settings");
    std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int nResult = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (nResult != Z_STREAM_END) throw std::runtime_error("zlib could not deflate the data");
    return out;
}

std::uint32_t Crc32(std::span<const std::uint8_t> data) {
    uLong n = crc32(0L, Z_NULL, 0);
    // zlib takes at most 4 GiB at once.
    for (std::size_t ib = 0; ib < data.size();) {
        uInt cb = static_cast<uInt>(std::min<std::size_t>(data.size() - ib, 1u << 30));
        n = crc32(n, data.data() + ib, cb);
        ib += cb;
    }
    return static_cast<std::uint32_t>(n);
}

DosTime MakeDosTime(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond) {
    if (nYear < 1980) nYear = 1980;
    return DosTime{static_cast<std::uint16_t>((nYear - 1980) << 9 | nMonth << 5 | nDay),
                   static_cast<std::uint16_t>(nHour << 11 | nMinute << 5 | nSecond / 2)};
}

ZipWriter::ZipWriter() : time_(MakeDosTime(2000, 1, 1, 0, 0, 0)) {}

void ZipWriter::AddFolder(std::string strName) {
    if (strName.empty() || strName.back() != '/') strName += '/';
    AddRaw(strName, 0, 0, {}, 0, 0);
    central_.back().fFolder = true;
}

void ZipWriter::AddStored(const std::string& strName, std::span<const std::uint8_t> data) {
    AddRaw(strName, 0, 0, data, Checked32(data.size(), strName.c_str()), Crc32(data));
}

void ZipWriter::AddDeflated(const std::string& strName, std::span<const std::uint8_t> data,
                            int nLevel, int nStrategy) {
    std::uint16_t fFlags = nLevel >= 8 ? 0x2 : nLevel == 2 ? 0x4 : nLevel == 1 ? 0x6 : 0;
    std::vector<std::uint8_t> packed = Deflate(data, nLevel, nStrategy);
    AddRaw(strName, 8, fFlags, packed, Checked32(data.size(), strName.c_str()), Crc32(data));
}

void ZipWriter::AddRaw(const std::string& strName, std::uint16_t nMethod, std::uint16_t fFlags,
                       std::span<const std::uint8_t> packed, std::uint32_t cbUncompressed,
                       std::uint32_t nCrc) {
    if (strName.size() > 0xFFFF)
        throw std::runtime_error("entry name too long: " + strName.substr(0, 64) + "...");
    if (fDataDescriptor_) fFlags |= 0x8;
    Central entry{strName,        nMethod,
                  fFlags,         time_,
                  nCrc,           Checked32(packed.size(), strName.c_str()),
                  cbUncompressed, Checked32(local_.size(), "the archive"),
                  false};
    Put32(local_, kLocalSignature);
    Put16(local_, nMethod == 8 ? 20 : 10);
    Put16(local_, fFlags);
    Put16(local_, nMethod);
    Put16(local_, entry.time.wTime);
    Put16(local_, entry.time.wDate);
    Put32(local_, nCrc);
    Put32(local_, entry.cbCompressed);
    Put32(local_, cbUncompressed);
    Put16(local_, static_cast<std::uint32_t>(strName.size()));
    Put16(local_, static_cast<std::uint32_t>(extra_.size()));
    local_.insert(local_.end(), strName.begin(), strName.end());
    local_.insert(local_.end(), extra_.begin(), extra_.end());
    local_.insert(local_.end(), packed.begin(), packed.end());
    if (fFlags & 0x8) {
        Put32(local_, nCrc);
        Put32(local_, entry.cbCompressed);
        Put32(local_, cbUncompressed);
    }
    central_.push_back(std::move(entry));
}

std::vector<std::uint8_t> ZipWriter::Finish() const {
    std::vector<std::uint8_t> out = local_;
    std::uint32_t ibCentral = Checked32(out.size(), "the archive");
    for (const Central& e : central_) {
        Put32(out, kCentralSignature);
        Put16(out, 3 << 8 | 20); // made on Unix, version 2.0
        Put16(out, e.nMethod == 8 ? 20 : 10);
        Put16(out, e.fFlags);
        Put16(out, e.nMethod);
        Put16(out, e.time.wTime);
        Put16(out, e.time.wDate);
        Put32(out, e.nCrc);
        Put32(out, e.cbCompressed);
        Put32(out, e.cbUncompressed);
        Put16(out, static_cast<std::uint32_t>(e.strName.size()));
        Put16(out, 0); // extra
        Put16(out, 0); // comment
        Put16(out, 0); // disk
        Put16(out, 0); // internal attributes
        Put32(out, e.fFolder ? (040755u << 16 | 0x10) : 0100644u << 16);
        Put32(out, e.ibLocal);
        out.insert(out.end(), e.strName.begin(), e.strName.end());
    }
    std::uint32_t cbCentral = Checked32(out.size() - ibCentral, "the central directory");
    if (central_.size() > 0xFFFF) throw std::runtime_error("too many entries for a ZIP archive");
    Put32(out, kEndSignature);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<std::uint32_t>(central_.size()));
    Put16(out, static_cast<std::uint32_t>(central_.size()));
    Put32(out, cbCentral);
    Put32(out, ibCentral);
    Put16(out, 0);
    return out;
}

void ZipWriter::WriteFile(const std::string& strPath) const {
    std::vector<std::uint8_t> bytes = Finish();
    std::string strTemp = strPath + ".tmp";
    {
        std::ofstream file(strTemp, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        file.flush();
        if (!file) throw std::runtime_error("cannot write " + strTemp);
    }
    if (std::rename(strTemp.c_str(), strPath.c_str()) != 0) {
        std::remove(strTemp.c_str());
        throw std::runtime_error("cannot rename " + strTemp + " to " + strPath);
    }
}

} // namespace zipwriter
