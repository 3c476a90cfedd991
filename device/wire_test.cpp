#include "device/wire.h"

#include <gtest/gtest.h>

#include <cstring>

namespace device {
namespace {

std::vector<std::uint8_t> Request(std::uint32_t nCall, const std::vector<std::uint8_t>& body,
                                  std::uint32_t nMagic = kRequestMagic) {
    std::vector<std::uint8_t> bytes(sizeof(RequestHeader) + body.size());
    StoreHeader(RequestHeader{nMagic, nCall, 7, static_cast<std::uint32_t>(body.size())},
                bytes.data());
    if (!body.empty()) std::memcpy(bytes.data() + sizeof(RequestHeader), body.data(), body.size());
    return bytes;
}

Decode Check(const std::vector<std::uint8_t>& bytes) {
    RequestHeader h = LoadRequestHeader(bytes.data());
    return CheckRequest(h, bytes.data() + sizeof(h), bytes.size() - sizeof(h));
}

TEST(DeviceWire, ItemsRoundTripLittleEndian) {
    Writer w;
    w.U32(0x01020304).U64(0x1122334455667788ULL).Bytes("ab", 2).Text(u"\\Ŝi");
    const std::vector<std::uint8_t>& d = w.Data();
    // Tag, then little-endian payload.
    ASSERT_GE(d.size(), 5u);
    EXPECT_EQ(d[0], kItemU32);
    EXPECT_EQ(d[1], 0x04);
    EXPECT_EQ(d[4], 0x01);
    Reader r(d);
    std::uint32_t n = 0;
    std::uint64_t q = 0;
    std::vector<std::uint8_t> bytes;
    std::u16string text;
    ASSERT_TRUE(r.U32(&n) && r.U64(&q) && r.Bytes(&bytes) && r.Text(&text));
    EXPECT_EQ(n, 0x01020304u);
    EXPECT_EQ(q, 0x1122334455667788ULL);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{'a', 'b'}));
    EXPECT_EQ(text, u"\\Ŝi");
    EXPECT_TRUE(r.AtEnd());
    // Past the end, and a wrong tag, fail and stay failed.
    EXPECT_FALSE(r.U32(&n));
    Reader wrong(d);
    EXPECT_FALSE(wrong.U64(&q));
    EXPECT_FALSE(wrong.U32(&n));
}

TEST(DeviceWire, DecoderRejectsMalformedRequests) {
    const std::uint32_t kWrite = static_cast<std::uint32_t>(Call::kWriteFile);
    std::vector<std::uint8_t> good = Writer().U32(3).Bytes("xyz", 3).Data();
    std::vector<std::uint8_t> oddText = Writer().Text(u"ab").Data();
    oddText[1] = 3; // a byte count of 3
    std::vector<std::uint8_t> hugeBytes = Writer().U32(3).Bytes("xyz", 3).Data();
    hugeBytes[6] = 0xFF; // a block count beyond the body
    hugeBytes[9] = 0x7F;
    std::vector<std::uint8_t> trailing = good;
    trailing.push_back(0);
    std::vector<std::uint8_t> oversize = Request(kWrite, good);
    oversize[12] = 0x01;
    oversize[15] = 0x10; // cbBody above the cap
    const std::uint32_t kDelete = static_cast<std::uint32_t>(Call::kDeleteFile);

    struct Case {
        const char* pszWhat;
        std::vector<std::uint8_t> bytes;
        Decode expected;
    } cases[] = {
        {"well formed", Request(kWrite, good), Decode::kOk},
        {"no body items at all", Request(static_cast<std::uint32_t>(Call::kStatus), {}),
         Decode::kOk},
        {"bad magic", Request(kWrite, good, kReplyMagic), Decode::kBadMagic},
        {"unknown call", Request(999, good), Decode::kUnknownCall},
        {"oversize body", oversize, Decode::kTooLarge},
        {"truncated item", Request(kWrite, {good.begin(), good.end() - 1}), Decode::kTruncated},
        {"missing item", Request(kWrite, Writer().U32(3).Data()), Decode::kTruncated},
        {"mistyped item", Request(kWrite, Writer().U64(3).Bytes("x", 1).Data()),
         Decode::kWrongItem},
        {"unknown tag", Request(kWrite, {9, 0, 0, 0, 0}), Decode::kWrongItem},
        {"odd text", Request(kDelete, oddText), Decode::kOddText},
        {"block beyond the body", Request(kWrite, hugeBytes), Decode::kTruncated},
        {"trailing byte", Request(kWrite, trailing), Decode::kTrailing},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Check(c.bytes), c.expected) << c.pszWhat;
    // A header that promises more than arrives is cut short.
    std::vector<std::uint8_t> shortBody = Request(kWrite, good);
    shortBody.pop_back();
    RequestHeader h = LoadRequestHeader(shortBody.data());
    EXPECT_EQ(CheckRequest(h, shortBody.data() + 16, shortBody.size() - 16), Decode::kTruncated);
}

TEST(DeviceWire, EveryCallHasItemListsOfKnownTypes) {
    int cCalls = 0;
    for (std::uint32_t n = 0; n < 200; ++n) {
        const char* pszRequest = RequestItems(n);
        if (pszRequest == nullptr) continue;
        ++cCalls;
        EXPECT_EQ(std::strspn(pszRequest, "UQBT"), std::strlen(pszRequest)) << n;
        ASSERT_NE(ReplyItems(n), nullptr);
    }
    EXPECT_EQ(cCalls, 45);
}

TEST(DeviceWire, ReplyCarriesStatusResultAndError) {
    RequestHeader request{kRequestMagic, static_cast<std::uint32_t>(Call::kGetFileSize), 42, 0};
    std::vector<std::uint8_t> bytes =
        EncodeReply(request, Status::kServed, -1, 6, Writer().U64(123456));
    ReplyHeader h = LoadReplyHeader(bytes.data());
    EXPECT_EQ(h.nSeq, 42u);
    EXPECT_EQ(h.nResult, -1);
    EXPECT_EQ(h.nLastError, 6u);
    EXPECT_EQ(CheckReply(h, bytes.data() + 32, bytes.size() - 32), Decode::kOk);
    // A refused call carries no body whatever the handler wrote.
    bytes = EncodeReply(request, Status::kDisconnected, -1, kErrorNotConnected, Writer().U64(1));
    h = LoadReplyHeader(bytes.data());
    EXPECT_EQ(h.cbBody, 0u);
    EXPECT_EQ(CheckReply(h, bytes.data() + 32, 0), Decode::kOk);
}

} // namespace
} // namespace device
