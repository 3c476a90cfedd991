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
// cBits are either zero or the input's next bits, so a refill may OR them in again.
struct Inflater::Stream {
    const BYTE* p;
    const BYTE* pEnd;
    std::uint64_t nBits;
    unsigned cBits;
    BYTE* pOutStart;
    BYTE* pOut;
    BYTE* pOutEnd;

    void Refill() {
        if (pEnd - p >= 8) {
            nBits |= Load64(p) << cBits;
            p += (63 - cBits) >> 3;
            cBits |= 56;
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
    DWORD Take(unsigned c) {
        Need(c);
        DWORD n = static_cast<DWORD>(nBits) & ((1u << c) - 1);
        Drop(c);
        return n;
    }

    // The next symbol of table t, -1 when no code matches. Codes are tried from the
    // shortest length up; the bits of a code arrive most significant first.
    int Decode(const HuffTable& t) {
        if (cBits < t.nLongest) Refill();
        DWORD nCode =
            static_cast<DWORD>(kReversed[nBits & 0xFF]) << 8 | kReversed[(nBits >> 8) & 0xFF];
        DWORD nLast = std::min<DWORD>(t.nLongest, cBits);
        for (DWORD nLength = t.nShortest; nLength <= nLast; ++nLength) {
            const HUFFSLOT& slot = t.rgSlots[nCode >> (16 - nLength)];
            if (slot.nLength == nLength) {
                Drop(nLength);
                return static_cast<int>(slot.nSymbol);
            }
        }
        if (t.nLongest > cBits) Fail(kszReadPastEnd);
        return -1;
    }
};

Inflater::Inflater() = default;

Inflater::~Inflater() {
    FreeTables();
}

bool Inflater::AllocateTables() {
    if (rgpTables_[0] != nullptr) return true;
    for (int i = 0; i < kcTables; ++i) {
        rgpTables_[i] = static_cast<HuffTable*>(MemAllocTagged(sizeof(HuffTable), "HUFFTABLE"));
        if (rgpTables_[i] == nullptr) {
            FreeTables();
            return false;
        }
        // Fresh memory: nothing is known to be clear yet.
        rgcClean_[i] = 0;
        rgcFilled_[i] = 0;
        rgpTables_[i]->nShortest = 0xFFFF;
        rgpTables_[i]->nLongest = 0;
        rgpTables_[i]->cSlots = kcHuffSlots;
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
    DWORD rgcCodes[17] = {};
    for (int iSymbol = 0; iSymbol < cSymbols; ++iSymbol) {
        if (pcbLengths[iSymbol] > 16) Fail(kszInvalidCodeIndex);
        ++rgcCodes[pcbLengths[iSymbol]];
    }
    rgcCodes[0] = 0;
    DWORD rgnNext[17] = {};
    DWORD nCode = 0;
    DWORD nMaxLength = 0;
    for (DWORD nLength = 1; nLength <= 16; ++nLength) {
        nCode = (nCode + rgcCodes[nLength - 1]) << 1;
        rgnNext[nLength] = nCode;
        if (rgcCodes[nLength] != 0) nMaxLength = nLength;
    }

    // Clearing all 131072 slots for every block would cost more than decoding it: only the
    // slots the last build filled are dirty, and only slots below 2^longest are ever read.
    HuffTable& t = *rgpTables_[iTable];
    for (DWORD i = 0; i < rgcFilled_[iTable]; ++i)
        t.rgSlots[rgiFilled_[iTable][i]] = HUFFSLOT{};
    rgcFilled_[iTable] = 0;
    DWORD cReachable = 1u << nMaxLength;
    if (rgcClean_[iTable] < cReachable) {
        std::memset(&t.rgSlots[rgcClean_[iTable]], 0,
                    (cReachable - rgcClean_[iTable]) * sizeof(HUFFSLOT));
        rgcClean_[iTable] = cReachable;
    }
    t.nShortest = 0xFFFF;
    t.nLongest = 0;
    t.cSlots = kcHuffSlots;

    bool fAny = false;
    for (int iSymbol = 0; iSymbol < cSymbols; ++iSymbol) {
        DWORD nLength = pcbLengths[iSymbol];
        if (nLength == 0) continue;
        fAny = true;
        t.nShortest = std::min(t.nShortest, nLength);
        t.nLongest = std::max(t.nLongest, nLength);
        DWORD iSlot = rgnNext[nLength]++ & ((1u << nLength) - 1);
        if (iSlot >= kcHuffSlots || t.rgSlots[iSlot].fUsed) return false;
        t.rgSlots[iSlot] = HUFFSLOT{1, nLength, static_cast<DWORD>(iSymbol)};
        rgiFilled_[iTable][rgcFilled_[iTable]++] = static_cast<std::uint16_t>(iSlot);
    }
    return fAny;
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

bool Inflater::InflateCodes(Stream& stream, const HuffTable& literal, const HuffTable& distance) {
    // A local copy keeps the bit buffer in registers: stores of output bytes could alias it.
    Stream s = stream;
    for (;;) {
        int nSymbol = s.Decode(literal);
        if (nSymbol < 256) {
            if (nSymbol < 0 || s.pOut == s.pOutEnd) return false;
            *s.pOut++ = static_cast<BYTE>(nSymbol);
            continue;
        }
        if (nSymbol == 256) break;
        if (nSymbol > 285) return false;
        DWORD cbMatch = kLengthBase[nSymbol - 257] + s.Take(kLengthExtra[nSymbol - 257]);
        int nDistance = s.Decode(distance);
        if (nDistance < 0 || nDistance > 29) return false;
        DWORD cbBack = kDistanceBase[nDistance] + s.Take(kDistanceExtra[nDistance]);
        if (cbBack > static_cast<std::size_t>(s.pOut - s.pOutStart)) Fail(kszInvalidLookback);
        std::size_t cbRoom = static_cast<std::size_t>(s.pOutEnd - s.pOut);
        if (cbMatch > cbRoom) return false;
        // Copies repeat the pattern when the match overlaps its own output.
        const BYTE* pFrom = s.pOut - cbBack;
        BYTE* pTo = s.pOut;
        s.pOut += cbMatch;
        if (cbBack >= 8 && cbRoom >= cbMatch + 8) {
            for (DWORD i = 0; i < cbMatch; i += 8)
                std::memcpy(pTo + i, pFrom + i, 8);
        } else if (cbBack == 1) {
            std::memset(pTo, *pFrom, cbMatch);
        } else {
            for (DWORD i = 0; i < cbMatch; ++i)
                pTo[i] = pFrom[i];
        }
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
