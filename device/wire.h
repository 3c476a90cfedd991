// The device service's wire: what a client (the remote API library, kelvano-device) and the
// service say to each other over the service's local socket.
//
// A request is a RequestHeader and cbBody bytes of body; the reply is a ReplyHeader and its
// body. Both bodies are a sequence of typed items, each a one-byte tag and its payload, all
// numbers little-endian:
//   kItemU32   4 bytes
//   kItemU64   8 bytes
//   kItemBytes 4-byte count, then that many bytes
//   kItemText  4-byte count of bytes (even), then UTF-16LE units, no terminator
// Each call has one fixed list of request items and one of reply items (below, with the call
// numbers): the service decodes a request only when its items are exactly those, so a
// handler never meets a missing or mistyped item. A reply whose status is not kServed has an
// empty body.
//
// Results: nResult is the call's own return value (a BOOL, a count, a registry error code,
// an entry's result), nLastError the device's last-error value after the call. Device paths
// start at "\" (a missing leading "\" is supplied) and never lead above the device's root.
// File and registry handles are numbers that belong to the connection: they close when the
// connection ends. The predefined registry roots keep their classic values (0x80000000,
// 0x80000001, 0x80000002) as handles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace device {

constexpr std::uint32_t kRequestMagic = 0x5144564B; // "KVDQ"
constexpr std::uint32_t kReplyMagic = 0x5244564B;   // "KVDR"
// Bodies above this are refused before anything is read.
constexpr std::uint32_t kcbMaxBody = 64u << 20;
// ReadFile gives at most this much a call.
constexpr std::uint32_t kcbMaxRead = 16u << 20;

struct RequestHeader {
    std::uint32_t nMagic; // kRequestMagic
    std::uint32_t nCall;  // a Call
    std::uint32_t nSeq;   // chosen by the client, echoed in the reply
    std::uint32_t cbBody;
};
static_assert(sizeof(RequestHeader) == 16);
static_assert(offsetof(RequestHeader, nCall) == 4);
static_assert(offsetof(RequestHeader, nSeq) == 8);
static_assert(offsetof(RequestHeader, cbBody) == 12);

enum class Status : std::uint32_t {
    kServed = 0,       // the call ran; nResult and nLastError are its own
    kDisconnected = 1, // the device is disconnected: only the tool's calls are served (nResult
                       // -1, nLastError kErrorNotConnected)
    kMalformed = 2,    // the request could not be decoded (the service then hangs up)
    kUnknownCall = 3,  // no such call (the service then hangs up)
};

struct ReplyHeader {
    std::uint32_t nMagic; // kReplyMagic
    std::uint32_t nCall;  // the request's
    std::uint32_t nSeq;   // the request's
    std::uint32_t cbBody;
    std::uint32_t nStatus; // a Status
    std::int32_t nResult;
    std::uint32_t nLastError;
    std::uint32_t nReserved; // 0
};
static_assert(sizeof(ReplyHeader) == 32);
static_assert(offsetof(ReplyHeader, cbBody) == 12);
static_assert(offsetof(ReplyHeader, nStatus) == 16);
static_assert(offsetof(ReplyHeader, nResult) == 20);
static_assert(offsetof(ReplyHeader, nLastError) == 24);

// Item tags.
constexpr std::uint8_t kItemU32 = 1;
constexpr std::uint8_t kItemU64 = 2;
constexpr std::uint8_t kItemBytes = 3;
constexpr std::uint8_t kItemText = 4;

// Last-error values of the service's own.
constexpr std::uint32_t kErrorNotConnected = 2250;   // the device is disconnected
constexpr std::uint32_t kErrorProcessAborted = 1067; // an invoked library's helper died

// A handle number that stands for no handle.
constexpr std::uint32_t kNoHandle = 0;

// Call numbers. Items: U = U32, Q = U64, B = bytes, T = text. "->" gives the reply items.
// Times are 64-bit counts of 100 ns since 1601 (0 in a request: leave as it is).
enum class Call : std::uint32_t {
    // The tool's own; served also while disconnected.
    kStatus = 1,     // -> U arch, U connected, U decompressor placed, U service process id,
                     //    U link bytes per second (0: unlimited)
    kConnect = 2,    // -> nothing
    kDisconnect = 3, // -> nothing
    kStop = 4,       // -> nothing; the service ends after replying

    // Files. nResult is 1 or 0 (success or failure) unless noted; positions and sizes come
    // back as items.
    kGetFileAttributes = 10, // T path -> nothing; nResult the attributes (0xFFFFFFFF: none)
    kSetFileAttributes = 11, // T path, U attributes -> nothing
    kCreateFile = 12,        // T path, U access, U share, U creation, U flags -> U handle
                             // (kNoHandle on failure; nResult 1 or 0)
    kReadFile = 13,          // U handle, U bytes wanted (at most kcbMaxRead) -> B data
    kWriteFile = 14,         // U handle, B data -> U bytes written
    kSetFilePointer = 15,    // U handle, Q distance (signed), U method -> Q new position
    kSetEndOfFile = 16,      // U handle -> nothing
    kGetFileSize = 17,       // U handle -> Q size
    kGetFileTime = 18,       // U handle -> Q creation, Q last access, Q last write
    kSetFileTime = 19,       // U handle, Q creation, Q last access, Q last write -> nothing
    kCloseHandle = 20,       // U handle -> nothing
    kFindAllFiles = 21,      // T pattern ("\folder\*", "\folder\*.txt", "\folder\name"),
                             // U flags -> U count, then per entry U attributes, Q creation,
                             // Q last access, Q last write, Q size, T name. The client's
                             // find-first/next calls walk this list.
    kCreateDirectory = 22,   // T path -> nothing
    kRemoveDirectory = 23,   // T path -> nothing
    kMoveFile = 24,          // T from, T to -> nothing
    kCopyFile = 25,          // T from, T to, U fail if exists -> nothing
    kDeleteFile = 26,        // T path -> nothing

    // Registry. nResult is the registry error code (0 success).
    kRegOpenKey = 40,      // U key, T sub-key, U access -> U key
    kRegCreateKey = 41,    // U key, T sub-key, U options, U access -> U key, U disposition
    kRegCloseKey = 42,     // U key -> nothing
    kRegDeleteKey = 43,    // U key, T sub-key -> nothing
    kRegEnumKey = 44,      // U key, U index -> T name
    kRegEnumValue = 45,    // U key, U index -> T name, U type, B data
    kRegQueryInfoKey = 46, // U key -> U sub-keys, U longest sub-key name, U values,
                           // U longest value name, U longest data
    kRegQueryValue = 47,   // U key, T name -> U type, B data
    kRegSetValue = 48,     // U key, T name, U type, B data -> nothing
    kRegDeleteValue = 49,  // U key, T name -> nothing

    // System. nResult 1 unless noted.
    kGetSystemInfo = 60,    // -> U architecture, U page size, U processors, U processor
                            // type, U allocation granularity, U level, U revision
    kGetVersionEx = 61,     // -> U major, U minor, U build, U platform, T service pack
    kGetStoreInfo = 62,     // -> U store size, U free size
    kMemoryStatus = 63,     // -> U load, U total phys, U avail phys, U total page file,
                            // U avail page file, U total virtual, U avail virtual
    kPowerStatus = 64,      // U update -> U AC line, U battery flag, U battery percent,
                            // U life time, U full life time, U backup flag, U backup
                            // percent, U backup life time, U backup full life time
    kGetTempPath = 65,      // -> T path (ends with "\"); nResult its length
    kGetSpecialFolder = 66, // U folder (CSIDL) -> T path; nResult 1, or 0 for an unknown one
    kGetSystemMetrics = 67, // U index -> nothing; nResult the metric
    kGetDeviceCaps = 68,    // U index -> nothing; nResult the capability
    kCheckPassword = 69,    // T password -> nothing; nResult 1 when it matches

    // Shell, processes, libraries.
    kCreateShortcut = 80,    // T shortcut, T target -> nothing
    kGetShortcutTarget = 81, // T shortcut -> T target
    kCreateProcess = 82,     // T program, T command line -> U process id
    kInvoke = 83,            // T library, T entry, B input -> B output. nResult the entry's
                             // result; a library or entry that cannot be found, or a
                             // library that crashes, gives nResult -1 (E_FAIL's sign) and
                             // the reason in nLastError.
};

// The request and reply item lists of a call ("UUT", ...), or null for an unknown call.
// The reply of kFindAllFiles is "U" and then as many "UQQQQT" groups as its count says.
const char* RequestItems(std::uint32_t nCall);
const char* ReplyItems(std::uint32_t nCall);

// Builds a body.
class Writer {
public:
    Writer& U32(std::uint32_t n);
    Writer& U64(std::uint64_t n);
    Writer& Bytes(const void* pv, std::size_t cb);
    Writer& Bytes(const std::vector<std::uint8_t>& data) { return Bytes(data.data(), data.size()); }
    Writer& Text(std::u16string_view text);
    const std::vector<std::uint8_t>& Data() const { return data_; }
    std::vector<std::uint8_t>& Data() { return data_; }

private:
    std::vector<std::uint8_t> data_;
};

// Reads a body; every call checks the tag and the bounds, and a failed read leaves the
// reader failed (every later read fails too).
class Reader {
public:
    Reader(const std::uint8_t* pb, std::size_t cb) : pb_(pb), cb_(cb) {}
    explicit Reader(const std::vector<std::uint8_t>& data) : Reader(data.data(), data.size()) {}
    bool U32(std::uint32_t* pn);
    bool U64(std::uint64_t* pn);
    // The bytes stay in the body; *ppb points into it.
    bool Bytes(const std::uint8_t** ppb, std::uint32_t* pcb);
    bool Bytes(std::vector<std::uint8_t>* pData);
    bool Text(std::u16string* pText);
    // The next item's tag, or 0 at the end (or when failed).
    std::uint8_t PeekTag() const;
    bool AtEnd() const { return !fFailed_ && iPos_ == cb_; }
    // After a failed Text: true when the text's byte count was odd.
    bool OddText() const;
    bool Failed() const { return fFailed_; }

private:
    bool Take(std::uint8_t tag, std::size_t cbFixed, const std::uint8_t** ppPayload);
    const std::uint8_t* pb_;
    std::size_t cb_;
    std::size_t iPos_ = 0;
    bool fFailed_ = false;
    static constexpr std::size_t kNoOdd = ~std::size_t{0};
    std::size_t iOdd_ = kNoOdd;
};

// Why a request or reply was refused.
enum class Decode {
    kOk,
    kBadMagic,
    kTooLarge,
    kUnknownCall,
    kTruncated, // the body ends inside an item, or items are missing
    kWrongItem, // an item of another type than the call takes
    kOddText,   // a text with an odd byte count
    kTrailing,  // bytes after the call's last item
};
const char* DecodeText(Decode d);

// Checks a header alone (magic, size cap, known call).
Decode CheckRequestHeader(const RequestHeader& header);
// Checks a whole request: its header, and its body against the call's item list.
Decode CheckRequest(const RequestHeader& header, const std::uint8_t* pbBody, std::size_t cbBody);
// Checks a body against an item list ("UQBT").
Decode CheckItems(const char* pszItems, const std::uint8_t* pb, std::size_t cb);
// Checks a reply body against the call's reply items.
Decode CheckReply(const ReplyHeader& header, const std::uint8_t* pbBody, std::size_t cbBody);

// Request bytes: header and body, ready to send.
std::vector<std::uint8_t> EncodeRequest(Call call, std::uint32_t nSeq, const Writer& body);
std::vector<std::uint8_t> EncodeReply(const RequestHeader& request, Status status,
                                      std::int32_t nResult, std::uint32_t nLastError,
                                      const Writer& body);

// Header fields to and from their little-endian bytes.
void StoreHeader(const RequestHeader& h, std::uint8_t* pb);
void StoreHeader(const ReplyHeader& h, std::uint8_t* pb);
RequestHeader LoadRequestHeader(const std::uint8_t* pb);
ReplyHeader LoadReplyHeader(const std::uint8_t* pb);

// Whole blocks over a stream socket: false when the peer went away (or on any error but an
// interrupted call), so a lost service or client never leaves the other waiting.
bool SendAll(int fd, const std::uint8_t* pb, std::size_t cb);
bool ReceiveAll(int fd, std::uint8_t* pb, std::size_t cb);

} // namespace device
