// The archive reader's own inflater for raw deflate data.
//
// Each Huffman code is held in a direct lookup table indexed by the next bits of the stream,
// so that a symbol is found with one lookup, without walking a tree. Five such tables live while an
// entry is inflated (fixed literal/length, fixed distance, code-length alphabet, dynamic
// literal/length, dynamic distance); they are allocated on first need and freed when an inflate
// completes. An inflate that fails leaves them for the next one.
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

// A slot of a lookup table: the code length in the low bits, the symbol above them; 0 in a
// slot that no code reaches.
using HUFFSLOT = std::uint16_t;
constexpr unsigned kcSlotLengthBits = 5;
constexpr HUFFSLOT kSlotLengthMask = (1u << kcSlotLengthBits) - 1;

// Codes in a stream are at most 15 bits long; the builder takes up to 16.
constexpr DWORD kMaxCodeLength = 16;

// A table of 2^nLongest slots, indexed by the next nLongest bits of the stream as they
// arrive: a code of length L fills every slot whose low L bits are the code read back to
// front, so one lookup finds it whatever bits follow. The slots follow the header in the
// same block.
struct HuffTable {
    DWORD nLongest; // 0 until built
    DWORD cSlots;   // room in the block
    HUFFSLOT* Slots() { return reinterpret_cast<HUFFSLOT*>(this + 1); }
    const HUFFSLOT* Slots() const { return reinterpret_cast<const HUFFSLOT*>(this + 1); }
};
static_assert(sizeof(HuffTable) == 8);

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
    // when needed. False when no symbol has a length or the lengths are over-subscribed
    // (two codes would meet in one slot); a length above 16 throws.
    bool BuildTable(int iTable, const BYTE* pcbLengths, int cSymbols);

private:
    struct Stream;

    bool AllocateTables();
    bool ReserveSlots(int iTable, DWORD cSlots);
    void FreeTables();
    bool InflateStored(Stream& s);
    bool InflateCodes(Stream& s, const HuffTable& literal, const HuffTable& distance);
    bool ReadDynamicTables(Stream& s);

    HuffTable* rgpTables_[kcTables] = {};
};

} // namespace zip
