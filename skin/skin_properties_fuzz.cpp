// Parses arbitrary bytes as a skin's properties text, in both modes, and reads the values
// back through every lookup a window makes.
#include "foundation/memmgr.h"
#include "skin/skin.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    PROPERTIES properties;
    const CHAR* pch = reinterpret_cast<const CHAR*>(pb);
    properties.Parse(pch, cb, PROPERTIES::PARSE_REPLACE);
    std::size_t cKeys = properties.Count();
    for (const auto& item : properties) {
        const PROPERTIESVALUE* pValue = properties.Lookup(item.first);
        if (pValue != &item.second) std::abort();
        // Colours are palette-relative or nothing; numbers never go negative.
        if (pValue->clr != 0 && (pValue->clr >> 24) != 0x02) std::abort();
        if (pValue->nNumber < 0) std::abort();
    }
    properties.Lookup("frame border");
    properties.Lookup("KelvanoSetup frame border");
    if (properties.Count() != cKeys) std::abort(); // lookups never add keys
    // Removing with the same text leaves nothing.
    properties.Parse(pch, cb, PROPERTIES::PARSE_REMOVE);
    if (properties.Count() != 0) std::abort();
    return 0;
}
