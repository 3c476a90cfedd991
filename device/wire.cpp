#include "device/wire.h"

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/types.h>

namespace device {
namespace {

void Put32(std::uint8_t* pb, std::uint32_t n) {
    for (int i = 0; i < 4; ++i)
        pb[i] = static_cast<std::uint8_t>(n >> (8 * i));
}
std::uint32_t Get32(const std::uint8_t* pb) {
    return std::uint32_t{pb[0]} | std::uint32_t{pb[1]} << 8 | std::uint32_t{pb[2]} << 16 |
           std::uint32_t{pb[3]} << 24;
}
std::uint64_t Get64(const std::uint8_t* pb) {
    return std::uint64_t{Get32(pb)} | std::uint64_t{Get32(pb + 4)} << 32;
}

struct CallItems {
    Call call;
    const char* pszRequest;
    const char* pszReply;
};

// The one table of what each call carries; wire.h states the same beside each number.
constexpr CallItems kCalls[] = {
    {Call::kStatus, "", "UUUUU"},         {Call::kConnect, "", ""},
    {Call::kDisconnect, "", ""},          {Call::kStop, "", ""},
    {Call::kGetFileAttributes, "T", ""},  {Call::kSetFileAttributes, "TU", ""},
    {Call::kCreateFile, "TUUUU", "U"},    {Call::kReadFile, "UU", "B"},
    {Call::kWriteFile, "UB", "U"},        {Call::kSetFilePointer, "UQU", "Q"},
    {Call::kSetEndOfFile, "U", ""},       {Call::kGetFileSize, "U", "Q"},
    {Call::kGetFileTime, "U", "QQQ"},     {Call::kSetFileTime, "UQQQ", ""},
    {Call::kCloseHandle, "U", ""},        {Call::kFindAllFiles, "TU", "U*"},
    {Call::kCreateDirectory, "T", ""},    {Call::kRemoveDirectory, "T", ""},
    {Call::kMoveFile, "TT", ""},          {Call::kCopyFile, "TTU", ""},
    {Call::kDeleteFile, "T", ""},         {Call::kRegOpenKey, "UTU", "U"},
    {Call::kRegCreateKey, "UTUU", "UU"},  {Call::kRegCloseKey, "U", ""},
    {Call::kRegDeleteKey, "UT", ""},      {Call::kRegEnumKey, "UU", "T"},
    {Call::kRegEnumValue, "UU", "TUB"},   {Call::kRegQueryInfoKey, "U", "UUUUU"},
    {Call::kRegQueryValue, "UT", "UB"},   {Call::kRegSetValue, "UTUB", ""},
    {Call::kRegDeleteValue, "UT", ""},    {Call::kGetSystemInfo, "", "UUUUUUU"},
    {Call::kGetVersionEx, "", "UUUUT"},   {Call::kGetStoreInfo, "", "UU"},
    {Call::kMemoryStatus, "", "UUUUUUU"}, {Call::kPowerStatus, "U", "UUUUUUUUU"},
    {Call::kGetTempPath, "", "T"},        {Call::kGetSpecialFolder, "U", "T"},
    {Call::kGetSystemMetrics, "U", ""},   {Call::kGetDeviceCaps, "U", ""},
    {Call::kCheckPassword, "T", ""},      {Call::kCreateShortcut, "TT", ""},
    {Call::kGetShortcutTarget, "T", "T"}, {Call::kCreateProcess, "TT", "U"},
    {Call::kInvoke, "TTB", "B"},
};

const CallItems* Find(std::uint32_t nCall) {
    for (const CallItems& c : kCalls)
        if (static_cast<std::uint32_t>(c.call) == nCall) return &c;
    return nullptr;
}

std::uint8_t TagOf(char ch) {
    switch (ch) {
    case 'U':
        return kItemU32;
    case 'Q':
        return kItemU64;
    case 'B':
        return kItemBytes;
    default:
        return kItemText;
    }
}

// Checks one item of the given tag at the reader; false and the reason when it is not one.
bool CheckItem(Reader& reader, char ch, Decode* pWhy) {
    std::uint8_t tag = reader.PeekTag();
    if (tag == 0) {
        *pWhy = Decode::kTruncated;
        return false;
    }
    if (tag != TagOf(ch)) {
        *pWhy = Decode::kWrongItem;
        return false;
    }
    bool fOk = false;
    switch (ch) {
    case 'U': {
        std::uint32_t n;
        fOk = reader.U32(&n);
        break;
    }
    case 'Q': {
        std::uint64_t n;
        fOk = reader.U64(&n);
        break;
    }
    case 'B': {
        const std::uint8_t* pb;
        std::uint32_t cb;
        fOk = reader.Bytes(&pb, &cb);
        break;
    }
    default: {
        std::u16string text;
        fOk = reader.Text(&text);
        if (!fOk && reader.OddText()) {
            *pWhy = Decode::kOddText;
            return false;
        }
        break;
    }
    }
    if (!fOk) *pWhy = Decode::kTruncated;
    return fOk;
}

} // namespace

const char* RequestItems(std::uint32_t nCall) {
    const CallItems* p = Find(nCall);
    return p ? p->pszRequest : nullptr;
}

const char* ReplyItems(std::uint32_t nCall) {
    const CallItems* p = Find(nCall);
    return p ? p->pszReply : nullptr;
}

Writer& Writer::U32(std::uint32_t n) {
    data_.push_back(kItemU32);
    std::size_t i = data_.size();
    data_.resize(i + 4);
    Put32(&data_[i], n);
    return *this;
}

Writer& Writer::U64(std::uint64_t n) {
    data_.push_back(kItemU64);
    std::size_t i = data_.size();
    data_.resize(i + 8);
    Put32(&data_[i], static_cast<std::uint32_t>(n));
    Put32(&data_[i + 4], static_cast<std::uint32_t>(n >> 32));
    return *this;
}

Writer& Writer::Bytes(const void* pv, std::size_t cb) {
    data_.push_back(kItemBytes);
    std::size_t i = data_.size();
    data_.resize(i + 4 + cb);
    Put32(&data_[i], static_cast<std::uint32_t>(cb));
    if (cb != 0) std::memcpy(&data_[i + 4], pv, cb);
    return *this;
}

Writer& Writer::Text(std::u16string_view text) {
    data_.push_back(kItemText);
    std::size_t i = data_.size();
    data_.resize(i + 4 + 2 * text.size());
    Put32(&data_[i], static_cast<std::uint32_t>(2 * text.size()));
    for (std::size_t k = 0; k < text.size(); ++k) {
        data_[i + 4 + 2 * k] = static_cast<std::uint8_t>(text[k]);
        data_[i + 5 + 2 * k] = static_cast<std::uint8_t>(text[k] >> 8);
    }
    return *this;
}

std::uint8_t Reader::PeekTag() const {
    return fFailed_ || iPos_ >= cb_ ? 0 : pb_[iPos_];
}

bool Reader::Take(std::uint8_t tag, std::size_t cbFixed, const std::uint8_t** ppPayload) {
    if (fFailed_ || iPos_ >= cb_ || pb_[iPos_] != tag || cb_ - iPos_ - 1 < cbFixed) {
        fFailed_ = true;
        return false;
    }
    *ppPayload = pb_ + iPos_ + 1;
    iPos_ += 1 + cbFixed;
    return true;
}

bool Reader::U32(std::uint32_t* pn) {
    const std::uint8_t* p;
    if (!Take(kItemU32, 4, &p)) return false;
    *pn = Get32(p);
    return true;
}

bool Reader::U64(std::uint64_t* pn) {
    const std::uint8_t* p;
    if (!Take(kItemU64, 8, &p)) return false;
    *pn = Get64(p);
    return true;
}

bool Reader::Bytes(const std::uint8_t** ppb, std::uint32_t* pcb) {
    std::size_t iStart = iPos_;
    const std::uint8_t* p;
    if (!Take(kItemBytes, 4, &p)) return false;
    std::uint32_t cb = Get32(p);
    if (cb > cb_ - iPos_) {
        iPos_ = iStart;
        fFailed_ = true;
        return false;
    }
    *ppb = pb_ + iPos_;
    *pcb = cb;
    iPos_ += cb;
    return true;
}

bool Reader::Bytes(std::vector<std::uint8_t>* pData) {
    const std::uint8_t* pb;
    std::uint32_t cb;
    if (!Bytes(&pb, &cb)) return false;
    pData->assign(pb, pb + cb);
    return true;
}

bool Reader::OddText() const {
    return iOdd_ != kNoOdd;
}

bool Reader::Text(std::u16string* pText) {
    const std::uint8_t* p;
    if (!Take(kItemText, 4, &p)) return false;
    std::uint32_t cb = Get32(p);
    if (cb % 2 != 0 || cb > cb_ - iPos_) {
        if (cb % 2 != 0) iOdd_ = iPos_;
        fFailed_ = true;
        return false;
    }
    pText->resize(cb / 2);
    for (std::uint32_t k = 0; k < cb / 2; ++k)
        (*pText)[k] = static_cast<char16_t>(pb_[iPos_ + 2 * k] | pb_[iPos_ + 2 * k + 1] << 8);
    iPos_ += cb;
    return true;
}

const char* DecodeText(Decode d) {
    switch (d) {
    case Decode::kOk:
        return "well formed";
    case Decode::kBadMagic:
        return "not a device message (bad magic)";
    case Decode::kTooLarge:
        return "body too large";
    case Decode::kUnknownCall:
        return "unknown call";
    case Decode::kTruncated:
        return "body cut short";
    case Decode::kWrongItem:
        return "an item of the wrong type";
    case Decode::kOddText:
        return "a text with an odd byte count";
    case Decode::kTrailing:
        return "bytes after the last item";
    }
    return "?";
}

Decode CheckItems(const char* pszItems, const std::uint8_t* pb, std::size_t cb) {
    Reader reader(pb, cb);
    for (const char* p = pszItems; *p != '\0'; ++p) {
        Decode why = Decode::kOk;
        if (!CheckItem(reader, *p, &why)) return why;
    }
    return reader.AtEnd() ? Decode::kOk : Decode::kTrailing;
}

Decode CheckRequestHeader(const RequestHeader& header) {
    if (header.nMagic != kRequestMagic) return Decode::kBadMagic;
    if (header.cbBody > kcbMaxBody) return Decode::kTooLarge;
    if (RequestItems(header.nCall) == nullptr) return Decode::kUnknownCall;
    return Decode::kOk;
}

Decode CheckRequest(const RequestHeader& header, const std::uint8_t* pbBody, std::size_t cbBody) {
    Decode d = CheckRequestHeader(header);
    if (d != Decode::kOk) return d;
    if (cbBody != header.cbBody) return Decode::kTruncated;
    return CheckItems(RequestItems(header.nCall), pbBody, cbBody);
}

Decode CheckReply(const ReplyHeader& header, const std::uint8_t* pbBody, std::size_t cbBody) {
    if (header.nMagic != kReplyMagic) return Decode::kBadMagic;
    if (header.cbBody > kcbMaxBody) return Decode::kTooLarge;
    const char* pszItems = ReplyItems(header.nCall);
    if (pszItems == nullptr) return Decode::kUnknownCall;
    if (cbBody != header.cbBody) return Decode::kTruncated;
    if (header.nStatus != static_cast<std::uint32_t>(Status::kServed))
        return cbBody == 0 ? Decode::kOk : Decode::kTrailing;
    if (std::strcmp(pszItems, "U*") != 0) return CheckItems(pszItems, pbBody, cbBody);
    // A count, then that many entries.
    Reader reader(pbBody, cbBody);
    std::uint32_t c = 0;
    if (!reader.U32(&c)) return Decode::kTruncated;
    for (std::uint32_t i = 0; i < c; ++i) {
        std::uint32_t n;
        std::uint64_t q;
        std::u16string name;
        if (!reader.U32(&n) || !reader.U64(&q) || !reader.U64(&q) || !reader.U64(&q) ||
            !reader.U64(&q) || !reader.Text(&name))
            return Decode::kTruncated;
    }
    return reader.AtEnd() ? Decode::kOk : Decode::kTrailing;
}

void StoreHeader(const RequestHeader& h, std::uint8_t* pb) {
    Put32(pb, h.nMagic);
    Put32(pb + 4, h.nCall);
    Put32(pb + 8, h.nSeq);
    Put32(pb + 12, h.cbBody);
}

void StoreHeader(const ReplyHeader& h, std::uint8_t* pb) {
    Put32(pb, h.nMagic);
    Put32(pb + 4, h.nCall);
    Put32(pb + 8, h.nSeq);
    Put32(pb + 12, h.cbBody);
    Put32(pb + 16, h.nStatus);
    Put32(pb + 20, static_cast<std::uint32_t>(h.nResult));
    Put32(pb + 24, h.nLastError);
    Put32(pb + 28, h.nReserved);
}

RequestHeader LoadRequestHeader(const std::uint8_t* pb) {
    return RequestHeader{Get32(pb), Get32(pb + 4), Get32(pb + 8), Get32(pb + 12)};
}

ReplyHeader LoadReplyHeader(const std::uint8_t* pb) {
    return ReplyHeader{Get32(pb),      Get32(pb + 4),  Get32(pb + 8),
                       Get32(pb + 12), Get32(pb + 16), static_cast<std::int32_t>(Get32(pb + 20)),
                       Get32(pb + 24), Get32(pb + 28)};
}

std::vector<std::uint8_t> EncodeRequest(Call call, std::uint32_t nSeq, const Writer& body) {
    std::vector<std::uint8_t> bytes(sizeof(RequestHeader) + body.Data().size());
    StoreHeader(RequestHeader{kRequestMagic, static_cast<std::uint32_t>(call), nSeq,
                              static_cast<std::uint32_t>(body.Data().size())},
                bytes.data());
    if (!body.Data().empty())
        std::memcpy(bytes.data() + sizeof(RequestHeader), body.Data().data(), body.Data().size());
    return bytes;
}

std::vector<std::uint8_t> EncodeReply(const RequestHeader& request, Status status,
                                      std::int32_t nResult, std::uint32_t nLastError,
                                      const Writer& body) {
    const std::size_t cbBody = status == Status::kServed ? body.Data().size() : 0;
    std::vector<std::uint8_t> bytes(sizeof(ReplyHeader) + cbBody);
    StoreHeader(ReplyHeader{kReplyMagic, request.nCall, request.nSeq,
                            static_cast<std::uint32_t>(cbBody), static_cast<std::uint32_t>(status),
                            nResult, nLastError, 0},
                bytes.data());
    if (cbBody != 0) std::memcpy(bytes.data() + sizeof(ReplyHeader), body.Data().data(), cbBody);
    return bytes;
}

bool SendAll(int fd, const std::uint8_t* pb, std::size_t cb) {
    while (cb > 0) {
        ssize_t n = ::send(fd, pb, cb, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        pb += n;
        cb -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReceiveAll(int fd, std::uint8_t* pb, std::size_t cb) {
    while (cb > 0) {
        ssize_t n = ::recv(fd, pb, cb, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        pb += n;
        cb -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace device
