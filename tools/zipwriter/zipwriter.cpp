#include "tools/zipwriter/zipwriter.h"

#include "host/codepage.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

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

std::uint32_t Checked32(std::uint64_t n, const char* pszWhat) {
    if (n > std::numeric_limits<std::uint32_t>::max())
        throw std::runtime_error(std::string(pszWhat) + " is too large for a ZIP archive");
    return static_cast<std::uint32_t>(n);
}

std::string ErrorText() {
    return std::strerror(errno);
}

bool IsLeapYear(int nYear) {
    return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
}

// Flag bits 1 and 2 tell the deflate level as other writers do.
std::uint16_t LevelFlags(int nLevel) {
    return nLevel >= 8 ? 0x2 : nLevel == 2 ? 0x4 : nLevel == 1 ? 0x6 : 0;
}

struct FileCloser {
    void operator()(std::FILE* p) const { std::fclose(p); }
};

struct Deflater {
    z_stream z{};
    bool fOpen = false;
    ~Deflater() {
        if (fOpen) deflateEnd(&z);
    }
};

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

std::optional<DosTime> ParseDosTime(std::string_view text) {
    constexpr std::string_view kShape = "0000-00-00T00:00:00";
    if (text.size() != kShape.size()) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool fDigit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == '0' ? !fDigit : text[i] != kShape[i]) return std::nullopt;
    }
    auto field = [&](std::size_t i, std::size_t cch) {
        int n = 0;
        for (std::size_t k = i; k < i + cch; ++k)
            n = n * 10 + (text[k] - '0');
        return n;
    };
    int nYear = field(0, 4), nMonth = field(5, 2), nDay = field(8, 2);
    int nHour = field(11, 2), nMinute = field(14, 2), nSecond = field(17, 2);
    static constexpr int kcDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (nYear < 1980 || nYear > 2107 || nMonth < 1 || nMonth > 12 || nDay < 1) return std::nullopt;
    int cDays = kcDays[nMonth - 1] + (nMonth == 2 && IsLeapYear(nYear) ? 1 : 0);
    if (nDay > cDays || nHour > 23 || nMinute > 59 || nSecond > 59) return std::nullopt;
    return MakeDosTime(nYear, nMonth, nDay, nHour, nMinute, nSecond);
}

std::string EntryNameProblem(std::string_view name) {
    if (name.empty()) return "the entry name is empty";
    if (name.size() > kcchMaxName)
        return "the entry name is longer than " + std::to_string(kcchMaxName) + " bytes";
    if (name.front() == '/') return "the entry name is absolute (starts with '/')";
    for (char ch : name) {
        auto b = static_cast<unsigned char>(ch);
        if (ch == '\\') return "the entry name contains a backslash";
        if (ch == ':') return "the entry name contains a colon";
        if (b < 0x20 || b == 0x7F) return "the entry name contains a control character";
    }
    if (name.back() == '/') name.remove_suffix(1);
    for (std::size_t i = 0;;) {
        std::size_t iEnd = std::min(name.find('/', i), name.size());
        std::string_view part = name.substr(i, iEnd - i);
        if (part.empty()) return "the entry name has an empty part ('//')";
        if (part == "." || part == "..") return "the entry name has a '.' or '..' part";
        if (iEnd == name.size()) return {};
        i = iEnd + 1;
    }
}

std::string FoldedName(std::string_view name) {
    if (!name.empty() && name.back() == '/') name.remove_suffix(1);
    // The host's folding covers every letter the reader's lookup folds, and more: names the
    // reader would tell apart may be refused, never the other way round.
    return host::ToUtf8(host::FoldCase(host::ToUtf16(name)));
}

ZipWriter::ZipWriter() : time_(MakeDosTime(2000, 1, 1, 0, 0, 0)) {}

ZipWriter::ZipWriter(const std::string& strPath) : ZipWriter() {
    strPath_ = strPath;
    fStreamed_ = true;
    std::string strTemp = strPath_ + ".tmp";
    pFile_ = std::fopen(strTemp.c_str(), "w+b");
    if (pFile_ == nullptr)
        throw std::runtime_error("cannot create " + strTemp + ": " + ErrorText());
}

ZipWriter::~ZipWriter() {
    if (pFile_ != nullptr) {
        std::fclose(pFile_);
        std::remove((strPath_ + ".tmp").c_str());
    }
}

void ZipWriter::Emit(const std::uint8_t* pb, std::size_t cb) {
    if (cb == 0) return;
    if (pFile_ == nullptr) {
        local_.insert(local_.end(), pb, pb + cb);
    } else if (std::fwrite(pb, 1, cb, pFile_) != cb) {
        throw std::runtime_error("cannot write " + strPath_ + ".tmp: " + ErrorText());
    }
    cbWritten_ += cb;
}

void ZipWriter::Patch(std::uint64_t ib, const std::vector<std::uint8_t>& bytes) {
    if (pFile_ == nullptr) {
        std::copy(bytes.begin(), bytes.end(), local_.begin() + static_cast<std::ptrdiff_t>(ib));
        return;
    }
    if (std::fflush(pFile_) != 0 || ::fseeko(pFile_, static_cast<off_t>(ib), SEEK_SET) != 0 ||
        std::fwrite(bytes.data(), 1, bytes.size(), pFile_) != bytes.size() ||
        ::fseeko(pFile_, 0, SEEK_END) != 0)
        throw std::runtime_error("cannot write " + strPath_ + ".tmp: " + ErrorText());
}

void ZipWriter::Truncate(std::uint64_t ib) {
    cbWritten_ = ib;
    if (pFile_ == nullptr) {
        local_.resize(static_cast<std::size_t>(ib));
    } else if (std::fflush(pFile_) != 0 ||
               ::ftruncate(::fileno(pFile_), static_cast<off_t>(ib)) != 0 ||
               ::fseeko(pFile_, 0, SEEK_END) != 0) {
        fBroken_ = true; // never committed
    }
}

std::vector<std::uint8_t> ZipWriter::LocalHeader(const Central& entry) const {
    if (entry.strName.size() > 0xFFFF)
        throw std::runtime_error("entry name too long: " + entry.strName.substr(0, 64) + "...");
    std::vector<std::uint8_t> out;
    Put32(out, kLocalSignature);
    Put16(out, entry.nMethod == 8 ? 20 : 10);
    Put16(out, entry.fFlags);
    Put16(out, entry.nMethod);
    Put16(out, entry.time.wTime);
    Put16(out, entry.time.wDate);
    Put32(out, entry.nCrc);
    Put32(out, entry.cbCompressed);
    Put32(out, entry.cbUncompressed);
    Put16(out, static_cast<std::uint32_t>(entry.strName.size()));
    Put16(out, static_cast<std::uint32_t>(extra_.size()));
    out.insert(out.end(), entry.strName.begin(), entry.strName.end());
    out.insert(out.end(), extra_.begin(), extra_.end());
    return out;
}

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
    std::uint16_t fFlags = LevelFlags(nLevel);
    std::vector<std::uint8_t> packed = Deflate(data, nLevel, nStrategy);
    AddRaw(strName, 8, fFlags, packed, Checked32(data.size(), strName.c_str()), Crc32(data));
}

void ZipWriter::AddRaw(const std::string& strName, std::uint16_t nMethod, std::uint16_t fFlags,
                       std::span<const std::uint8_t> packed, std::uint32_t cbUncompressed,
                       std::uint32_t nCrc) {
    if (fDataDescriptor_) fFlags |= 0x8;
    Central entry{strName,        nMethod,
                  fFlags,         time_,
                  nCrc,           Checked32(packed.size(), strName.c_str()),
                  cbUncompressed, Checked32(cbWritten_, "the archive"),
                  false};
    std::vector<std::uint8_t> header = LocalHeader(entry);
    Emit(header.data(), header.size());
    Emit(packed.data(), packed.size());
    if (fFlags & 0x8) {
        std::vector<std::uint8_t> descriptor;
        Put32(descriptor, nCrc);
        Put32(descriptor, entry.cbCompressed);
        Put32(descriptor, cbUncompressed);
        Emit(descriptor.data(), descriptor.size());
    }
    central_.push_back(std::move(entry));
}

void ZipWriter::AddFile(const std::string& strName, const std::filesystem::path& path, int nLevel) {
    const std::string strPath = path.string();
    std::unique_ptr<std::FILE, FileCloser> in(std::fopen(strPath.c_str(), "rb"));
    if (!in) throw std::runtime_error(strPath + ": cannot open (" + ErrorText() + ")");
    struct stat st {};
    if (::fstat(::fileno(in.get()), &st) != 0)
        throw std::runtime_error(strPath + ": cannot read (" + ErrorText() + ")");
    if (S_ISDIR(st.st_mode)) throw std::runtime_error(strPath + " is a folder, not a file");
    std::uint16_t fFlags = nLevel == 0 ? 0 : LevelFlags(nLevel);
    if (fDataDescriptor_) fFlags |= 0x8;
    Central entry{strName, static_cast<std::uint16_t>(nLevel == 0 ? 0 : 8),
                  fFlags,  time_,
                  0,       0,
                  0,       Checked32(cbWritten_, "the archive"),
                  false};
    auto doesNotFit = [&] {
        return std::runtime_error(strPath + ": does not fit in the archive (it would end beyond " +
                                  std::to_string(kcbMax) + " bytes)");
    };
    // A regular file's size is known before reading: too large an input, or a stored entry
    // that would end past the last offset the format holds, is refused unread. Deflated
    // output is checked as it grows.
    std::uint64_t cbOverhead = 30 + strName.size() + extra_.size() + (fFlags & 0x8 ? 12 : 0);
    if (S_ISREG(st.st_mode)) {
        auto cbFile = static_cast<std::uint64_t>(st.st_size);
        if (cbFile > kcbMax)
            throw std::runtime_error(strPath + ": too large for a ZIP entry (" +
                                     std::to_string(cbFile) + " bytes; at most " +
                                     std::to_string(kcbMax) + ")");
        if (nLevel == 0 && cbWritten_ + cbOverhead + cbFile > kcbMax) throw doesNotFit();
    }
    std::uint64_t ibLocal = cbWritten_;
    try {
        std::vector<std::uint8_t> header = LocalHeader(entry);
        Emit(header.data(), header.size());
        StreamFile(entry, in.get(), strPath, nLevel);
        if (cbWritten_ + (fFlags & 0x8 ? 12 : 0) > kcbMax) throw doesNotFit();
        std::vector<std::uint8_t> sizes;
        Put32(sizes, entry.nCrc);
        Put32(sizes, entry.cbCompressed);
        Put32(sizes, entry.cbUncompressed);
        Patch(ibLocal + 14, sizes);
        if (fFlags & 0x8) Emit(sizes.data(), sizes.size());
    } catch (...) {
        Truncate(ibLocal);
        throw;
    }
    central_.push_back(std::move(entry));
}

void ZipWriter::StreamFile(Central& entry, std::FILE* pIn, const std::string& strPath, int nLevel) {
    auto tooLarge = [&] {
        return std::runtime_error(strPath + ": too large for a ZIP entry (more than " +
                                  std::to_string(kcbMax) + " bytes)");
    };
    Deflater deflater;
    if (nLevel != 0) {
        if (deflateInit2(&deflater.z, nLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("zlib refused the deflate settings");
        deflater.fOpen = true;
    }
    std::vector<std::uint8_t> bufIn(1 << 16), bufOut(1 << 16);
    uLong nCrc = crc32(0L, Z_NULL, 0);
    std::uint64_t cbIn = 0, cbOut = 0;
    for (bool fEnd = false; !fEnd;) {
        std::size_t cb = std::fread(bufIn.data(), 1, bufIn.size(), pIn);
        if (std::ferror(pIn))
            throw std::runtime_error(strPath + ": read failed (" + ErrorText() + ")");
        fEnd = cb < bufIn.size();
        cbIn += cb;
        // A file may grow while it is read.
        if (cbIn > kcbMax) throw tooLarge();
        nCrc = crc32(nCrc, bufIn.data(), static_cast<uInt>(cb));
        if (nLevel == 0) {
            Emit(bufIn.data(), cb);
            cbOut += cb;
            continue;
        }
        deflater.z.next_in = bufIn.data();
        deflater.z.avail_in = static_cast<uInt>(cb);
        int nFlush = fEnd ? Z_FINISH : Z_NO_FLUSH;
        int nResult;
        do {
            deflater.z.next_out = bufOut.data();
            deflater.z.avail_out = static_cast<uInt>(bufOut.size());
            nResult = deflate(&deflater.z, nFlush);
            if (nResult == Z_STREAM_ERROR)
                throw std::runtime_error("zlib could not deflate the data");
            std::size_t cbHave = bufOut.size() - deflater.z.avail_out;
            Emit(bufOut.data(), cbHave);
            cbOut += cbHave;
            if (cbOut > kcbMax) throw tooLarge();
        } while (deflater.z.avail_out == 0);
        if (fEnd && nResult != Z_STREAM_END)
            throw std::runtime_error("zlib could not deflate the data");
    }
    entry.nCrc = static_cast<std::uint32_t>(nCrc);
    entry.cbCompressed = static_cast<std::uint32_t>(cbOut);
    entry.cbUncompressed = static_cast<std::uint32_t>(cbIn);
}

std::vector<std::uint8_t> ZipWriter::CentralDirectory(std::uint64_t ibCentral) const {
    std::vector<std::uint8_t> out;
    Checked32(ibCentral, "the archive");
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
    std::uint32_t cbCentral = Checked32(out.size(), "the central directory");
    if (central_.size() > 0xFFFF) throw std::runtime_error("too many entries for a ZIP archive");
    Put32(out, kEndSignature);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<std::uint32_t>(central_.size()));
    Put16(out, static_cast<std::uint32_t>(central_.size()));
    Put32(out, cbCentral);
    Put32(out, static_cast<std::uint32_t>(ibCentral));
    Put16(out, 0);
    return out;
}

std::vector<std::uint8_t> ZipWriter::Finish() const {
    if (fStreamed_) throw std::logic_error("a streamed archive is finished by Commit");
    std::vector<std::uint8_t> out = local_;
    std::vector<std::uint8_t> central = CentralDirectory(out.size());
    out.insert(out.end(), central.begin(), central.end());
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

void ZipWriter::Commit() {
    if (!fStreamed_) throw std::logic_error("only a streamed archive is committed");
    if (pFile_ == nullptr) throw std::logic_error("the archive is committed already");
    if (fBroken_)
        throw std::runtime_error("cannot write " + strPath_ +
                                 ".tmp: a failed entry could not be taken back");
    std::vector<std::uint8_t> central = CentralDirectory(cbWritten_);
    Emit(central.data(), central.size());
    std::string strTemp = strPath_ + ".tmp";
    std::FILE* pFile = pFile_;
    pFile_ = nullptr;
    bool fOk = std::fflush(pFile) == 0 && !std::ferror(pFile);
    fOk = std::fclose(pFile) == 0 && fOk;
    if (!fOk) {
        std::string strError = ErrorText();
        std::remove(strTemp.c_str());
        throw std::runtime_error("cannot write " + strTemp + ": " + strError);
    }
    if (std::rename(strTemp.c_str(), strPath_.c_str()) != 0) {
        std::string strError = ErrorText();
        std::remove(strTemp.c_str());
        throw std::runtime_error("cannot rename " + strTemp + " to " + strPath_ + ": " + strError);
    }
}

} // namespace zipwriter
