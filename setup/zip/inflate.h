// The archive reader's own inflater for raw deflate data.
//
// Each Huffman code is held in a direct lookup table indexed by the code's value, so that a
// symbol is found without walking a tree. Five such tables live while an entry is inflated
// (fixed literal/length, fixed distance, code-length alphabet, dynamic literal/length,
// dynamic distance); they are allocated on first need and freed when an inflate completes.
// An inflate that fails leaves them for the next one.
#pragma once

#include "foundation/tchar.h"
#include "host/types.h"

#include <cstddef>
#include <cstdint>

namespace zip {

using host::BYTE;
using host::DWORD;

// The failure texts of the inflater, carried by cetl::exception.
inline constexpr const CHAR* kszInflateFailed = "unable to deflate .ZIP file content";
inline constexpr const CHAR* kszInvalidCodeIndex = "unzip encountered invalid code index";
inline constexpr const CHAR* kszInvalidLookback = "unzip encountered invalid lookback index";
inline constexpr const CHAR* kszReadPastEnd = "unzip read past end of stream";

struct HUFFSLOT {
    DWORD fUsed;
    DWORD nLength; // 0 in a slot that is not used
    DWORD nSymbol;
};

constexpr DWORD kcHuffSlots = 0x20000;

struct HuffTable {
    DWORD nShortest; // 0xFFFF while empty
    DWORD nLongest;
    DWORD cSlots;
    HUFFSLOT rgSlots[kcHuffSlots];
};
static_assert(sizeof(HUFFSLOT) == 12);
static_assert(sizeof(HuffTable) == 1572876);

class Inflater {
public:
    Inflater();
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Inflates cbIn bytes of raw deflate data into pbOut, which holds cbOut bytes; data that
    // would produce more fails. Returns the number of bytes produced. Every failure throws
    // cetl::exception with one of the texts above.
    std::size_t Inflate(const BYTE* pbIn, std::size_t cbIn, BYTE* pbOut, std::size_t cbOut);

    // True while tables are allocated (after a failed inflate); for tests.
    bool HoldsTables() const { return rgpTables_[0] != nullptr; }

    enum TableIndex { kFixedLiteral, kFixedDistance, kCodeLength, kLiteral, kDistance, kcTables };

    // Builds table iTable from cSymbols (at most 320) code lengths, allocating the tables
    // when needed. False when no symbol has a length or two codes meet in one slot; a
    // length above 16 throws.
    bool BuildTable(int iTable, const BYTE* pcbLengths, int cSymbols);

private:
    struct Stream;

    bool AllocateTables();
    void FreeTables();
    bool InflateStored(Stream& s);
    bool InflateCodes(Stream& s, const HuffTable& literal, const HuffTable& distance);
    bool ReadDynamicTables(Stream& s);

    HuffTable* rgpTables_[kcTables] = {};
    // Slots [0, rgcClean_[i]) of table i are clear but for the ones the last build filled,
    // listed in rgiFilled_; only those are cleared for the next build.
    DWORD rgcClean_[kcTables] = {};
    DWORD rgcFilled_[kcTables] = {};
    std::uint16_t rgiFilled_[kcTables][320] = {};
};

} // namespace zip
