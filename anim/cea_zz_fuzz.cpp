// Unpacks arbitrary blocks, and packs the input to check that it comes back unchanged.
#include "anim/cea_zz.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    using host::BYTE;
    using host::DWORD;

    BYTE* pbData = nullptr;
    DWORD cbData = 0;
    if (zz::Decompress(&pbData, &cbData, pb, static_cast<DWORD>(cb)) == 1) {
        DWORD cbStored = cb >= 4 ? (pb[0] | pb[1] << 8 | pb[2] << 16 | DWORD(pb[3]) << 24) : 0;
        if (cbData > cbStored) std::abort();
        if (cbData > 0) std::memset(pbData, 0xA5, cbData);
        zz::FreeBlock(pbData);
    }

    BYTE* pbBlock = nullptr;
    DWORD cbBlock = 0;
    if (zz::Compress(&pbBlock, &cbBlock, pb, static_cast<DWORD>(cb)) != 1) std::abort();
    if (zz::Decompress(&pbData, &cbData, pbBlock, cbBlock) != 1 || cbData != cb ||
        (cb > 0 && std::memcmp(pbData, pb, cb) != 0))
        std::abort();
    zz::FreeBlock(pbData);
    zz::FreeBlock(pbBlock);
    return 0;
}
