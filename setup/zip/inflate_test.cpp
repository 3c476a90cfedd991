#include "setup/zip/inflate.h"

#include "foundation/memmgr.h"
#include "foundation/tl_exception.h"
#include "tools/zipwriter/zipwriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

namespace {

enum class Kind { Random, Text, Mixed };

Bytes MakeData(Kind kind, std::size_t cb, std::uint32_t nSeed) {
    static const char* const rgszWords[] = {"blue ", "red ",   "marble ",  "push ",
                                            "line ", "cell\n", "goal ",    "hole ",
                                            "the ",  "of ",    "Kelvano ", "tutorial "};
    Bytes data;
    data.reserve(cb);
    std::uint32_t n = nSeed * 2654435761u + 7;
    auto next = [&] { return n = n * 1664525u + 1013904223u; };
    while (data.size() < cb) {
        bool fRandom =
            kind == Kind::Random || (kind == Kind::Mixed && (data.size() / 20000) % 3 == 1);
        if (fRandom) {
            data.push_back(static_cast<std::uint8_t>(next() >> 24));
            continue;
        }
        for (const char* p = rgszWords[(next() >> 16) % 12]; *p != 0 && data.size() < cb; ++p)
            data.push_back(static_cast<std::uint8_t>(*p));
    }
    return data;
}

// zlib's own inflate of raw deflate data, as the reference.
Bytes ZlibInflate(const Bytes& packed, std::size_t cbExpected) {
    Bytes out(cbExpected + 1);
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    z.next_in = const_cast<Bytef*>(packed.data());
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

// The bytes produced, or the failure text.
struct Result {
    Bytes data;
    std::string strError;
};

Result Inflate(const Bytes& packed, std::size_t cbOut) {
    Result result;
    result.data.resize(cbOut);
    zip::Inflater inflater;
    try {
        result.data.resize(
            inflater.Inflate(packed.data(), packed.size(), result.data.data(), cbOut));
    } catch (const cetl::exception& e) {
        result.strError = e.what();
        result.data.clear();
    }
    return result;
}

// Writes deflate data bit by bit, least significant first; Huffman codes go most
// significant bit first.
class BitWriter {
public:
    BitWriter& Bits(std::uint32_t n, int c) {
        nAcc_ |= static_cast<std::uint64_t>(n) << cAcc_;
        cAcc_ += c;
        for (; cAcc_ >= 8; cAcc_ -= 8, nAcc_ >>= 8)
            bytes_.push_back(static_cast<std::uint8_t>(nAcc_));
        return *this;
    }
    BitWriter& Code(std::uint32_t nCode, int cBits) {
        for (int i = cBits - 1; i >= 0; --i)
            Bits((nCode >> i) & 1, 1);
        return *this;
    }
    BitWriter& Align() {
        if (cAcc_ % 8 != 0) Bits(0, 8 - cAcc_ % 8);
        return *this;
    }
    BitWriter& Raw(const Bytes& bytes) {
        Align();
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    BitWriter& FixedLiteral(int nSymbol) {
        if (nSymbol < 144) return Code(0x30 + nSymbol, 8);
        if (nSymbol < 256) return Code(0x190 + nSymbol - 144, 9);
        if (nSymbol < 280) return Code(nSymbol - 256, 7);
        return Code(0xC0 + nSymbol - 280, 8);
    }
    // A match in a fixed block: length 3 to 258, distance 1 to 32768.
    BitWriter& FixedMatch(int cb, int nDistance) {
        static const int rgnBase[] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const int rgnDistBase[] = {
            1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
            193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        int i = 28;
        while (rgnBase[i] > cb)
            --i;
        FixedLiteral(257 + i);
        int cExtra = i < 8 || i == 28 ? 0 : (i - 4) / 4;
        Bits(cb - rgnBase[i], cExtra);
        int d = 29;
        while (rgnDistBase[d] > nDistance)
            --d;
        Code(d, 5);
        return Bits(nDistance - rgnDistBase[d], d < 4 ? 0 : (d - 2) / 2);
    }
    Bytes Done() {
        Align();
        return bytes_;
    }
    std::size_t BitCount() const { return bytes_.size() * 8 + cAcc_; }

private:
    Bytes bytes_;
    std::uint64_t nAcc_ = 0;
    int cAcc_ = 0;
};

std::vector<std::uint32_t> CanonicalCodes(const std::vector<int>& rgcb) {
    int rgcCount[17] = {};
    for (int cb : rgcb)
        ++rgcCount[cb];
    rgcCount[0] = 0;
    std::uint32_t rgnNext[17] = {};
    for (int cb = 1, nCode = 0; cb <= 16; ++cb)
        rgnNext[cb] = nCode = (nCode + rgcCount[cb - 1]) << 1;
    std::vector<std::uint32_t> codes(rgcb.size());
    for (std::size_t i = 0; i < rgcb.size(); ++i)
        if (rgcb[i] != 0) codes[i] = rgnNext[rgcb[i]]++;
    return codes;
}

// A dynamic block header for the given code lengths, each sent as a 4-bit code-length
// symbol; returns the literal/length and distance codes.
struct DynamicCodes {
    std::vector<std::uint32_t> literal, distance;
};
DynamicCodes DynamicHeader(BitWriter& w, bool fFinal, const std::vector<int>& literal,
                           const std::vector<int>& distance) {
    static const int rgiOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                     11, 4,  12, 3, 13, 2, 14, 1, 15};
    w.Bits(fFinal, 1).Bits(2, 2);
    w.Bits(static_cast<std::uint32_t>(literal.size() - 257), 5);
    w.Bits(static_cast<std::uint32_t>(distance.size() - 1), 5).Bits(19 - 4, 4);
    for (int iSymbol : rgiOrder)
        w.Bits(iSymbol < 16 ? 4 : 0, 3);
    for (int cb : literal)
        w.Code(cb, 4);
    for (int cb : distance)
        w.Code(cb, 4);
    return {CanonicalCodes(literal), CanonicalCodes(distance)};
}

const std::string kReadPastEnd = zip::kszReadPastEnd;
const std::string kFailed = zip::kszInflateFailed;
const std::string kLookback = zip::kszInvalidLookback;

TEST(Inflater, MatchesZlibAcrossLevelsStrategiesAndSizes) {
    struct Case {
        Kind kind;
        std::size_t cb;
        int nLevel;
        int nStrategy;
        int nWindowBits;
    };
    std::vector<Case> rgCases;
    for (int nLevel = 0; nLevel <= 9; ++nLevel)
        for (Kind kind : {Kind::Random, Kind::Text})
            for (std::size_t cb : {0, 1, 2, 100, 1000, 33000, 100000})
                rgCases.push_back({kind, cb, nLevel, Z_DEFAULT_STRATEGY, 15});
    for (int nStrategy : {Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
        for (Kind kind : {Kind::Random, Kind::Text, Kind::Mixed})
            for (std::size_t cb : {1000, 150000})
                rgCases.push_back({kind, cb, 6, nStrategy, 15});
    rgCases.push_back({Kind::Text, 70000, 9, Z_DEFAULT_STRATEGY, 9});
    rgCases.push_back({Kind::Mixed, 3 << 20, 6, Z_DEFAULT_STRATEGY, 15});

    std::size_t cbTotal = 0;
    for (const Case& c : rgCases) {
        SCOPED_TRACE(testing::Message()
                     << "kind " << static_cast<int>(c.kind) << ", " << c.cb << " bytes, level "
                     << c.nLevel << ", strategy " << c.nStrategy << ", window " << c.nWindowBits);
        Bytes data = MakeData(c.kind, c.cb, static_cast<std::uint32_t>(c.cb + c.nLevel));
        Bytes packed = zipwriter::Deflate(data, c.nLevel, c.nStrategy, c.nWindowBits);
        Bytes reference = ZlibInflate(packed, data.size());
        ASSERT_EQ(reference, data);
        Result result = Inflate(packed, data.size() + 1024);
        ASSERT_EQ(result.strError, "");
        ASSERT_EQ(result.data, reference);
        cbTotal += data.size();
    }
    EXPECT_GT(cbTotal, 5u << 20);
}

TEST(Inflater, HandMadeStreams) {
    struct Case {
        const char* pszWhat;
        Bytes packed;
        std::size_t cbOut;
        std::string strExpected; // the output, or the failure text
        bool fFails;
    };
    auto stored = [](bool fFinal, const std::string& str, int nComplementXor = 0) {
        BitWriter w;
        w.Bits(fFinal, 1).Bits(0, 2).Align();
        std::uint32_t cb = static_cast<std::uint32_t>(str.size());
        w.Bits(cb, 16).Bits((~cb & 0xFFFF) ^ nComplementXor, 16);
        return w.Raw(Bytes(str.begin(), str.end()));
    };
    auto fixed = [](bool fFinal) {
        BitWriter w;
        w.Bits(fFinal, 1).Bits(1, 2);
        return w;
    };
    std::vector<Case> rgCases = {
        {"no input", {}, 10, kReadPastEnd, true},
        {"block type 3", BitWriter().Bits(1, 1).Bits(3, 2).Done(), 10, kFailed, true},
        {"stored block", stored(true, "hello").Done(), 10, "hello", false},
        {"stored LEN and NLEN disagree", stored(true, "hello", 0x100).Done(), 10, kFailed, true},
        {"fixed block then an empty final stored block",
         [&] {
             BitWriter w = fixed(false);
             w.FixedLiteral('h').FixedLiteral('i').FixedLiteral(256);
             w.Bits(1, 1).Bits(0, 2).Align().Bits(0, 16).Bits(0xFFFF, 16);
             return w.Done();
         }(),
         10, "hi", false},
        {"stored blocks only, last one empty",
         [&] {
             BitWriter w = stored(false, "abc");
             w.Bits(1, 1).Bits(0, 2).Align().Bits(0, 16).Bits(0xFFFF, 16);
             return w.Done();
         }(),
         10, "abc", false},
        {"overlapping back-reference repeats the pattern",
         fixed(true).FixedLiteral('a').FixedLiteral('b').FixedMatch(11, 2).FixedLiteral(256).Done(),
         20, "ababababababa", false},
        {"run of one byte",
         fixed(true).FixedLiteral('z').FixedMatch(258, 1).FixedLiteral(256).Done(), 300,
         std::string(259, 'z'), false},
        {"distance reaching the first byte",
         fixed(true).FixedLiteral('x').FixedLiteral('y').FixedMatch(3, 2).FixedLiteral(256).Done(),
         10, "xyxyx", false},
        {"distance one too far",
         fixed(true).FixedLiteral('x').FixedLiteral('y').FixedMatch(3, 3).FixedLiteral(256).Done(),
         10, kLookback, true},
        {"distance into an earlier block is fine",
         [&] {
             BitWriter w = stored(false, "0123456789");
             w.Bits(1, 1).Bits(1, 2).FixedMatch(4, 10).FixedLiteral(256);
             return w.Done();
         }(),
         20, "01234567890123", false},
        {"length symbol 286", fixed(true).FixedLiteral('a').FixedLiteral(286).Bits(0, 16).Done(),
         10, kFailed, true},
        {"length symbol 287", fixed(true).FixedLiteral(287).Bits(0, 16).Done(), 10, kFailed, true},
        {"distance symbol 30",
         fixed(true).FixedLiteral('a').FixedLiteral(257).Code(30, 5).Bits(0, 16).Done(), 10,
         kFailed, true},
        {"missing end of block", fixed(true).FixedLiteral('a').Done(), 10, kReadPastEnd, true},
        {"no final block", stored(false, "abc").Done(), 10, kReadPastEnd, true},
        {"literal beyond the output",
         fixed(true).FixedLiteral('a').FixedLiteral('b').FixedLiteral(256).Done(), 1, kFailed,
         true},
        {"match beyond the output",
         fixed(true).FixedLiteral('a').FixedMatch(10, 1).FixedLiteral(256).Done(), 10, kFailed,
         true},
        {"match filling the output exactly",
         fixed(true).FixedLiteral('a').FixedMatch(10, 1).FixedLiteral(256).Done(), 11,
         std::string(11, 'a'), false},
        {"stored beyond the output", stored(true, "hello").Done(), 4, kFailed, true},
        {"stored beyond the input",
         [&] {
             Bytes b = stored(true, "hello").Done();
             b.pop_back();
             return b;
         }(),
         10, kReadPastEnd, true},
        {"stored beyond both, the input ends first",
         [&] {
             Bytes b = stored(true, "hello").Done();
             b.resize(b.size() - 3);
             return b;
         }(),
         3, kReadPastEnd, true},
        {"stored beyond both, the output ends first",
         [&] {
             Bytes b = stored(true, "hello").Done();
             b.resize(b.size() - 1);
             return b;
         }(),
         2, kFailed, true},
    };

    // Dynamic blocks.
    {
        std::vector<int> literal(258, 0), distance(2, 1);
        literal['k'] = 2;
        literal['v'] = 2;
        literal[256] = 2;
        literal[257] = 2; // match length 3
        BitWriter w;
        DynamicCodes codes = DynamicHeader(w, true, literal, distance);
        w.Code(codes.literal['k'], 2).Code(codes.literal['v'], 2);
        w.Code(codes.literal[257], 2).Code(codes.distance[1], 1); // length 3, distance 2
        w.Code(codes.literal[256], 2);
        rgCases.push_back({"dynamic block", w.Done(), 10, "kvkvk", false});
    }
    {
        std::vector<int> literal(257, 0), distance(1, 1);
        literal['a'] = literal['b'] = literal[256] = 1;
        BitWriter w;
        DynamicHeader(w, true, literal, distance);
        rgCases.push_back(
            {"over-subscribed literal code", w.Bits(0, 16).Done(), 10, kFailed, true});
    }
    {
        std::vector<int> literal(288, 0), distance(32, 5);
        literal['a'] = 1;
        literal[256] = 2;
        literal[286] = 2;
        BitWriter w;
        DynamicCodes codes = DynamicHeader(w, true, literal, distance);
        w.Code(codes.literal['a'], 1).Code(codes.literal[286], 2).Bits(0, 16);
        rgCases.push_back({"length symbol 286 in a dynamic block", w.Done(), 10, kFailed, true});
    }
    {
        std::vector<int> literal(258, 0), distance(32, 5);
        literal['a'] = 1;
        literal[256] = 2;
        literal[257] = 2;
        BitWriter w;
        DynamicCodes codes = DynamicHeader(w, true, literal, distance);
        w.Code(codes.literal['a'], 1)
            .Code(codes.literal[257], 2)
            .Code(codes.distance[31], 5)
            .Bits(0, 16);
        rgCases.push_back({"distance symbol 31 in a dynamic block", w.Done(), 10, kFailed, true});
    }
    {
        // Code-length code: symbol 0 is "0", symbol 16 is "1".
        BitWriter w;
        w.Bits(1, 1).Bits(2, 2).Bits(0, 5).Bits(0, 5).Bits(0, 4);
        w.Bits(1, 3).Bits(0, 3).Bits(0, 3).Bits(1, 3);
        w.Code(1, 1).Bits(0, 2).Bits(0, 16);
        rgCases.push_back({"repeat with no previous length", w.Done(), 10, kFailed, true});
    }
    {
        // Code-length code: symbol 0 is "0", symbol 18 is "1"; two runs of 138 zeros overrun
        // the 258 lengths.
        BitWriter w;
        w.Bits(1, 1).Bits(2, 2).Bits(0, 5).Bits(0, 5).Bits(0, 4);
        w.Bits(0, 3).Bits(0, 3).Bits(1, 3).Bits(1, 3);
        w.Code(1, 1).Bits(127, 7).Code(1, 1).Bits(127, 7).Bits(0, 16);
        rgCases.push_back({"zero run past the last length", w.Done(), 10, kFailed, true});
    }
    {
        BitWriter w;
        w.Bits(1, 1).Bits(2, 2).Bits(0, 5).Bits(0, 5).Bits(15, 4);
        for (int i = 0; i < 19; ++i)
            w.Bits(1, 3);
        rgCases.push_back(
            {"over-subscribed code-length code", w.Bits(0, 16).Done(), 10, kFailed, true});
    }

    {
        // The end of block is 2 bits long and the longest code 15: the last lookup sees
        // fewer bits than the longest code, which must not matter.
        std::vector<int> literal(257, 0), distance(1, 1);
        literal['a'] = 1;
        literal[256] = 2;
        for (int i = 0; i < 13; ++i)
            literal['b' + i] = 3 + i;
        literal['o'] = 15;
        BitWriter w;
        DynamicCodes codes = DynamicHeader(w, true, literal, distance);
        w.Code(codes.literal['a'], 1).Code(codes.literal['o'], 15).Code(codes.literal['a'], 1);
        w.Code(codes.literal[256], 2);
        rgCases.push_back({"short code at the end, longest 15 bits", w.Done(), 10, "aoa", false});
    }
    // An incomplete literal code: 'a' is 0, the end of block 100; 101 and 11 are free.
    std::vector<int> incomplete(257, 0);
    incomplete['a'] = 1;
    incomplete[256] = 3;
    {
        BitWriter w;
        DynamicHeader(w, true, incomplete, {1});
        w.Code(0, 1).Code(3, 2).Bits(0, 16);
        rgCases.push_back({"free code of an incomplete code", w.Done(), 10, kFailed, true});
    }
    {
        // The free code is the input's last two bits: too few for the longest code.
        BitWriter w;
        DynamicHeader(w, true, incomplete, {1});
        while (w.BitCount() % 8 != 6)
            w.Code(0, 1);
        w.Code(3, 2);
        rgCases.push_back({"free code in the input's last bits", w.Done(), 50, kReadPastEnd, true});
    }
    {
        // The block before had a code as long, with 'c' at 110.
        std::vector<int> complete = incomplete;
        complete['b'] = 2;
        complete['c'] = 3;
        BitWriter w;
        DynamicCodes codes = DynamicHeader(w, false, complete, {1});
        w.Code(codes.literal['c'], 3).Code(codes.literal[256], 3);
        DynamicHeader(w, true, incomplete, {1});
        w.Code(6, 3).Code(4, 3).Bits(0, 16);
        rgCases.push_back({"free code that the block before used", w.Done(), 10, kFailed, true});
    }

    for (const Case& c : rgCases) {
        SCOPED_TRACE(c.pszWhat);
        Result result = Inflate(c.packed, c.cbOut);
        if (c.fFails) {
            EXPECT_EQ(result.strError, c.strExpected);
        } else {
            EXPECT_EQ(result.strError, "");
            EXPECT_EQ(std::string(result.data.begin(), result.data.end()), c.strExpected);
            // What zlib makes of it, when the data is within what both accept.
            EXPECT_EQ(ZlibInflate(c.packed, c.strExpected.size()), result.data);
        }
    }
}

TEST(Inflater, EveryTruncationReadsPastTheEnd) {
    for (Kind kind : {Kind::Text, Kind::Random, Kind::Mixed}) {
        for (int nLevel : {0, 1, 9}) {
            Bytes data = MakeData(kind, 1500, static_cast<std::uint32_t>(nLevel));
            Bytes packed = zipwriter::Deflate(data, nLevel, Z_DEFAULT_STRATEGY);
            zip::Inflater inflater;
            Bytes out(data.size() + 1024);
            for (std::size_t cb = 0; cb < packed.size(); ++cb) {
                // An exact-size copy, so that a read past the end shows under the sanitizer.
                Bytes cut(packed.begin(), packed.begin() + cb);
                try {
                    inflater.Inflate(cut.data(), cut.size(), out.data(), out.size());
                    ADD_FAILURE() << "a stream cut to " << cb << " bytes inflated";
                } catch (const cetl::exception& e) {
                    ASSERT_EQ(std::string(e.what()), kReadPastEnd) << cb << " bytes";
                }
            }
        }
    }
}

TEST(Inflater, TablesLiveOnlyWhileInflatingAndAfterAFailure) {
    Bytes data = MakeData(Kind::Text, 20000, 1);
    Bytes packed = zipwriter::Deflate(data, 9, Z_DEFAULT_STRATEGY);
    Bytes out(data.size());
    std::size_t cBlocks = mem::GetStats().cBlocksInUse;
    std::size_t cbBefore = mem::GetStats().cbRequested;
    zip::Inflater inflater;
    EXPECT_EQ(inflater.Inflate(packed.data(), packed.size(), out.data(), out.size()), data.size());
    EXPECT_FALSE(inflater.HoldsTables());
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBlocks);

    Bytes cut(packed.begin(), packed.begin() + packed.size() / 2);
    EXPECT_THROW(inflater.Inflate(cut.data(), cut.size(), out.data(), out.size()), cetl::exception);
    EXPECT_TRUE(inflater.HoldsTables());
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBlocks + 5);
    // Sized for codes of at most 15 bits: 2^15 slots for each dynamic table at worst.
    EXPECT_LT(mem::GetStats().cbRequested - cbBefore, 140u << 10);
    // The next inflate reuses them; stale slots of the failed one must not leak into it.
    Bytes other = MakeData(Kind::Mixed, 50000, 2);
    Bytes packedOther = zipwriter::Deflate(other, 6, Z_DEFAULT_STRATEGY);
    Bytes outOther(other.size());
    EXPECT_EQ(
        inflater.Inflate(packedOther.data(), packedOther.size(), outOther.data(), outOther.size()),
        other.size());
    EXPECT_EQ(outOther, other);
    EXPECT_FALSE(inflater.HoldsTables());
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBlocks);
}

// Over-subscription shows as two codes in one slot, whatever the symbol order; lengths
// come from the stream only up to 15, so 17 can reach the builder only directly.
TEST(Inflater, TableBuilder) {
    struct Case {
        std::vector<std::uint8_t> lengths;
        bool fBuilds;
    };
    const Case rgCases[] = {
        {{0, 0, 0}, false},       {{1}, true}, {{2, 1, 3, 3}, true}, {{2, 2, 1, 2}, false},
        {{15, 16, 16, 16}, true},
    };
    zip::Inflater inflater;
    for (const Case& c : rgCases)
        EXPECT_EQ(inflater.BuildTable(zip::Inflater::kLiteral, c.lengths.data(),
                                      static_cast<int>(c.lengths.size())),
                  c.fBuilds);
    std::uint8_t rgcbTooLong[] = {1, 17};
    std::string strError;
    try {
        inflater.BuildTable(zip::Inflater::kLiteral, rgcbTooLong, 2);
    } catch (const cetl::exception& e) {
        strError = e.what();
    }
    EXPECT_EQ(strError, zip::kszInvalidCodeIndex);
}

} // namespace
