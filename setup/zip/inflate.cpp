#include "setup/zip/inflate.h"

#include "foundation/memmgr.h"
#include "foundation/tl_exception.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace zip {
namespace {

// Length and distance bases and extra bits of raw deflate data.
constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                           15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                           67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr BYTE kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr BYTE kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr BYTE kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                       11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr std::array<BYTE, 256> MakeReversed() {
    std::array<BYTE, 256> rgb{};
    for (int i = 0; i < 256; ++i) {
        int r = 0;
        for (int iBit = 0; iBit < 8; ++iBit)
            r |= ((i >> iBit) & 1) << (7 - iBit);
        rgb[i] = static_cast<BYTE>(r);
    }
    return rgb;
}
constexpr std::array<BYTE, 256> kReversed = MakeReversed();

[[noreturn, gnu::cold, gnu::noinline]] void Fail(const CHAR* pszText) {
    throw cetl::exception(pszText);
}

inline std::uint64_t Load64(const BYTE* p) {
    std::uint64_t n;
    std::memcpy(&n, p, sizeof(n));
    if constexpr (std::endian::native == std::endian::big) n = __builtin_bswap64(n);
    return n;
}

} // namespace

// The input and its bit buffer, least-significant bit first, and the output. Bits above
// cBits are either zero or the input's next bits, so a refill may OR them in again, and a
// table lookup may look at them: it takes only a code that lies within cBits.
struct Inflater::Stream {
    const BYTE* p;
    const BYTE* pEnd;
    std::uint64_t nBits;
    unsigned cBits;
    BYTE* pOutStart;
    BYTE* pOut;
    BYTE* pOutEnd;

    // With 8 bytes of input left, one load leaves at least 56 bits buffered.
    bool CanRefillFast() const { return pEnd - p >= 8; }
    void RefillFast() {
        nBits |= Load64(p) << cBits;
        p += (63 - cBits) >> 3;
        cBits |= 56;
    }
    void Refill() {
        if (CanRefillFast()) {
            RefillFast();
            return;
        }
        while (cBits <= 56 && p < pEnd) {
            nBits |= static_cast<std::uint64_t>(*p++) << cBits;
            cBits += 8;
        }
    }
    void Need(unsigned cNeeded) {
        if (cBits < cNeeded) {
            Refill();
            if (cBits < cNeeded) Fail(kszReadPastEnd);
        }
    }
    void Drop(unsigned c) {
        nBits >>= c;
        cBits -= c;
    }
    DWORD Peek(unsigned c) const { return static_cast<DWORD>(nBits) & ((1u << c) - 1); }
    DWORD Take(unsigned c) {
        Need(c);
        DWORD n = Peek(c);
        Drop(c);
        return n;
    }

    // The next symbol of table t, -1 when no code matches. The lookup may see fewer real
    // bits than the longest code near the end of the input: a shorter code that lies within
    // them still decodes, and only a code that needs more reads past the end.
    int Decode(const HuffTable& t) {
        if (cBits < t.nLongest) Refill();
        HUFFSLOT slot = t.Slots()[Peek(t.nLongest)];
        unsigned nLength = slot & kSlotLengthMask;
        if (nLength == 0 || nLength > cBits) {
            if (t.nLongest > cBits) Fail(kszReadPastEnd);
            return -1;
        }
        Drop(nLength);
        return slot >> kcSlotLengthBits;
    }
    // The same with enough bits buffered for the longest code.
    int DecodeBuffered(const HuffTable& t) {
        HUFFSLOT slot = t.Slots()[Peek(t.nLongest)];
        unsigned nLength = slot & kSlotLengthMask;
        if (nLength == 0) return -1;
        Drop(nLength);
        return slot >> kcSlotLengthBits;
    }
};

Inflater::Inflater() = default;

Inflater::~Inflater() {
    FreeTables();
}

// Each table is a block of its own, sized for the codes it holds: 2^9 to 2^15 slots of 2
// bytes, a few kilobytes to 64 KB. Blocks that small come from the memory manager's pools,
// which outlive an inflate, so a run of small entries takes no fresh memory from the
// system, and a build writes only the slots its codes reach. A table grows when a later
// block has longer codes.
bool Inflater::ReserveSlots(int iTable, DWORD cSlots) {
    HuffTable* pTable = rgpTables_[iTable];
    if (pTable != nullptr && pTable->cSlots >= cSlots) return true;
    auto* pNew = static_cast<HuffTable*>(
        MemAllocTagged(sizeof(HuffTable) + cSlots * sizeof(HUFFSLOT), "HUFFTABLE"));
    if (pNew == nullptr) return false;
    pNew->nLongest = 0;
    pNew->cSlots = cSlots;
    if (pTable != nullptr) MemFree(pTable);
    rgpTables_[iTable] = pNew;
    return true;
}

bool Inflater::AllocateTables() {
    if (rgpTables_[0] != nullptr) return true;
    // The fixed codes and the code-length alphabet need 2^9, 2^5 and at most 2^7 slots;
    // the dynamic tables start small and grow.
    static constexpr DWORD rgcInitialSlots[kcTables] = {1u << 9, 1u << 5, 1u << 7, 1u << 9,
                                                        1u << 9};
    for (int i = 0; i < kcTables; ++i) {
        if (!ReserveSlots(i, rgcInitialSlots[i])) {
            FreeTables();
            return false;
        }
    }
    BYTE rgcbFixed[288];
    std::fill(rgcbFixed, rgcbFixed + 144, 8);
    std::fill(rgcbFixed + 144, rgcbFixed + 256, 9);
    std::fill(rgcbFixed + 256, rgcbFixed + 280, 7);
    std::fill(rgcbFixed + 280, rgcbFixed + 288, 8);
    BuildTable(kFixedLiteral, rgcbFixed, 288);
    std::fill(rgcbFixed, rgcbFixed + 30, 5);
    BuildTable(kFixedDistance, rgcbFixed, 30);
    return true;
}

void Inflater::FreeTables() {
    for (HuffTable*& pTable : rgpTables_) {
        if (pTable != nullptr) MemFree(pTable);
        pTable = nullptr;
    }
}

bool Inflater::BuildTable(int iTable, const BYTE* pcbLengths, int cSymbols) {
    if (!AllocateTables() || cSymbols > 320) return false;
    DWORD rgcCodes[kMaxCodeLength + 1] = {};
    for (int iSymbol = 0; iSymbol < cSymbols; ++iSymbol) {
        if (pcbLengths[iSymbol] > kMaxCodeLength) Fail(kszInvalidCodeIndex);
        ++rgcCodes[pcbLengths[iSymbol]];
    }
    rgcCodes[0] = 0;
    // Over-subscribed lengths would put two codes in one slot. Codes left free (an
    // incomplete set) leave slots empty, which decode as no symbol.
    int cFree = 1;
    DWORD nLongest = 0;
    DWORD rgnNext[kMaxCodeLength + 1] = {};
    DWORD nCode = 0;
    for (DWORD nLength = 1; nLength <= kMaxCodeLength; ++nLength) {
        cFree = cFree * 2 - static_cast<int>(rgcCodes[nLength]);
        if (cFree < 0) return false;
        if (rgcCodes[nLength] != 0) nLongest = nLength;
        nCode = (nCode + rgcCodes[nLength - 1]) << 1;
        rgnNext[nLength] = nCode;
    }
    if (nLongest == 0) return false;

    DWORD cSlots = 1u << nLongest;
    if (!ReserveSlots(iTable, cSlots)) return false;
    HuffTable& t = *rgpTables_[iTable];
    t.nLongest = nLongest;
    HUFFSLOT* pSlots = t.Slots();
    // A complete set of codes writes every slot.
    if (cFree != 0) std::memset(pSlots, 0, cSlots * sizeof(HUFFSLOT));
    for (int iSymbol = 0; iSymbol < cSymbols; ++iSymbol) {
        DWORD nLength = pcbLengths[iSymbol];
        if (nLength == 0) continue;
        // Codes arrive most significant bit first: the table is indexed back to front.
        DWORD nCodeValue = rgnNext[nLength]++;
        DWORD iSlot =
            (static_cast<DWORD>(kReversed[nCodeValue & 0xFF]) << 8 | kReversed[nCodeValue >> 8]) >>
            (16 - nLength);
        auto slot =
            static_cast<HUFFSLOT>(static_cast<DWORD>(iSymbol) << kcSlotLengthBits | nLength);
        for (; iSlot < cSlots; iSlot += 1u << nLength)
            pSlots[iSlot] = slot;
    }
    return true;
}

bool Inflater::InflateStored(Stream& s) {
    s.Drop(s.cBits & 7);
    DWORD cb = s.Take(16);
    DWORD cbComplement = s.Take(16);
    if (cb != (~cbComplement & 0xFFFF)) return false;
    // Whole bytes still in the bit buffer come first, then the input itself.
    for (; cb > 0 && s.cBits >= 8; --cb) {
        if (s.pOut == s.pOutEnd) return false;
        *s.pOut++ = static_cast<BYTE>(s.nBits);
        s.Drop(8);
    }
    if (cb == 0) return true;
    s.nBits = 0;
    std::size_t cbIn = static_cast<std::size_t>(s.pEnd - s.p);
    std::size_t cbOut = static_cast<std::size_t>(s.pOutEnd - s.pOut);
    if (cb > cbIn || cb > cbOut) {
        if (cbIn <= cbOut) Fail(kszReadPastEnd);
        return false;
    }
    std::memcpy(s.pOut, s.p, cb);
    s.pOut += cb;
    s.p += cb;
    return true;
}

namespace {

enum class Step { kMore, kEndOfBlock, kFailed };

// One literal, or one match, or the end of the block. With fBuffered the caller has made
// sure that the bit buffer holds 56 bits: enough for a literal/length code, its extra bits,
// a distance code and its extra bits (15 + 5 + 15 + 13), so no read needs a check. The
// checks of both ways come in the same order, so that they fail alike.
template <bool fBuffered, class Stream>
inline Step DecodeStep(Stream& s, const HuffTable& literal, const HuffTable& distance) {
    int nSymbol = fBuffered ? s.DecodeBuffered(literal) : s.Decode(literal);
    if (nSymbol < 256) {
        if (nSymbol < 0 || s.pOut == s.pOutEnd) return Step::kFailed;
        *s.pOut++ = static_cast<BYTE>(nSymbol);
        return Step::kMore;
    }
    if (nSymbol == 256) return Step::kEndOfBlock;
    if (nSymbol > 285) return Step::kFailed;
    unsigned cExtra = kLengthExtra[nSymbol - 257];
    DWORD cbMatch = kLengthBase[nSymbol - 257];
    if constexpr (fBuffered) {
        cbMatch += s.Peek(cExtra);
        s.Drop(cExtra);
    } else {
        cbMatch += s.Take(cExtra);
    }
    int nDistance = fBuffered ? s.DecodeBuffered(distance) : s.Decode(distance);
    if (nDistance < 0 || nDistance > 29) return Step::kFailed;
    cExtra = kDistanceExtra[nDistance];
    DWORD cbBack = kDistanceBase[nDistance];
    if constexpr (fBuffered) {
        cbBack += s.Peek(cExtra);
        s.Drop(cExtra);
    } else {
        cbBack += s.Take(cExtra);
    }
    if (cbBack > static_cast<std::size_t>(s.pOut - s.pOutStart)) Fail(kszInvalidLookback);
    std::size_t cbRoom = static_cast<std::size_t>(s.pOutEnd - s.pOut);
    if (cbMatch > cbRoom) return Step::kFailed;

    // The copy goes forward, so a match that overlaps its own output repeats the pattern;
    // a chunk never reads bytes it has not yet written when it lies cbBack >= its size back.
    const BYTE* pFrom = s.pOut - cbBack;
    BYTE* pTo = s.pOut;
    s.pOut += cbMatch;
    if (cbBack >= 16 && cbRoom >= cbMatch + 16) {
        for (DWORD i = 0; i < cbMatch; i += 16)
            std::memcpy(pTo + i, pFrom + i, 16);
    } else if (cbBack >= 8 && cbRoom >= cbMatch + 8) {
        for (DWORD i = 0; i < cbMatch; i += 8)
            std::memcpy(pTo + i, pFrom + i, 8);
    } else if (cbBack == 1) {
        std::memset(pTo, *pFrom, cbMatch);
    } else {
        for (DWORD i = 0; i < cbMatch; ++i)
            pTo[i] = pFrom[i];
    }
    return Step::kMore;
}

} // namespace

bool Inflater::InflateCodes(Stream& stream, const HuffTable& literal, const HuffTable& distance) {
    // A local copy keeps the bit buffer in registers: stores of output bytes could alias it.
    Stream s = stream;
    for (;;) {
        Step step;
        if (s.CanRefillFast()) {
            s.RefillFast();
            step = DecodeStep<true>(s, literal, distance);
        } else {
            step = DecodeStep<false>(s, literal, distance);
        }
        if (step == Step::kMore) continue;
        if (step == Step::kFailed) return false;
        break;
    }
    stream = s;
    return true;
}

bool Inflater::ReadDynamicTables(Stream& s) {
    int cLiterals = static_cast<int>(s.Take(5)) + 257;
    int cDistances = static_cast<int>(s.Take(5)) + 1;
    int cCodeLengths = static_cast<int>(s.Take(4)) + 4;
    BYTE rgcbCodeLength[19] = {};
    for (int i = 0; i < cCodeLengths; ++i)
        rgcbCodeLength[kCodeLengthOrder[i]] = static_cast<BYTE>(s.Take(3));
    if (!BuildTable(kCodeLength, rgcbCodeLength, 19)) return false;

    BYTE rgcbLengths[288 + 32];
    const HuffTable& codeLength = *rgpTables_[kCodeLength];
    int cTotal = cLiterals + cDistances;
    for (int i = 0; i < cTotal;) {
        int nSymbol = s.Decode(codeLength);
        if (nSymbol < 0) return false;
        if (nSymbol < 16) {
            rgcbLengths[i++] = static_cast<BYTE>(nSymbol);
            continue;
        }
        BYTE cbRepeated = 0;
        int cRepeat;
        if (nSymbol == 16) {
            if (i == 0) return false;
            cbRepeated = rgcbLengths[i - 1];
            cRepeat = 3 + static_cast<int>(s.Take(2));
        } else if (nSymbol == 17) {
            cRepeat = 3 + static_cast<int>(s.Take(3));
        } else {
            cRepeat = 11 + static_cast<int>(s.Take(7));
        }
        if (cRepeat > cTotal - i) return false;
        std::fill(rgcbLengths + i, rgcbLengths + i + cRepeat, cbRepeated);
        i += cRepeat;
    }
    return BuildTable(kLiteral, rgcbLengths, cLiterals) &&
           BuildTable(kDistance, rgcbLengths + cLiterals, cDistances);
}

std::size_t Inflater::Inflate(const BYTE* pbIn, std::size_t cbIn, BYTE* pbOut, std::size_t cbOut) {
    if (!AllocateTables()) Fail(kszInflateFailed);
    Stream s{pbIn,  pbIn + (pbIn != nullptr ? cbIn : 0),   0, 0, pbOut,
             pbOut, pbOut + (pbOut != nullptr ? cbOut : 0)};
    for (bool fFinal = false; !fFinal;) {
        fFinal = s.Take(1) != 0;
        bool fOk = false;
        switch (s.Take(2)) {
        case 0:
            fOk = InflateStored(s);
            break;
        case 1:
            fOk = InflateCodes(s, *rgpTables_[kFixedLiteral], *rgpTables_[kFixedDistance]);
            break;
        case 2:
            fOk = ReadDynamicTables(s) &&
                  InflateCodes(s, *rgpTables_[kLiteral], *rgpTables_[kDistance]);
            break;
        default:
            break;
        }
        if (!fOk) Fail(kszInflateFailed);
    }
    FreeTables();
    return static_cast<std::size_t>(s.pOut - s.pOutStart);
}

} // namespace zip
