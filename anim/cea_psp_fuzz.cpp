// Arbitrary bytes behind the image file signature, read into a graphic alone, with a sprite,
// and straight through the reader; every frame and the selection are then walked. The same
// bytes are also decoded as channel data with each compression.
#include "anim/cea_psp.h"
#include "anim/cea_sprite.h"
#include "foundation/memmgr.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Walk(const Graphic& g) {
    int cx = g.GetWidth();
    int cy = g.GetHeight();
    if (cx < 0 || cy < 0) std::abort();
    if (g.GetBits() == nullptr) return;
    volatile DWORD nSum = 0;
    nSum = nSum + g.GetPixelValue(0, 0) + g.GetPixelValue(cx - 1, cy - 1);
    TRANSLUCENCY t = g.GetTranslucency();
    if (t.nMode == TRANSLUCENT_MAP && t.pbOpacity != nullptr)
        nSum = nSum + t.pbOpacity[static_cast<size_t>(t.cRows) * t.cbRow - 1];
    BYTE* pbSelection = nullptr;
    DWORD cbSelection = 0;
    if (g.HasSelection() && g.GetSelection(&pbSelection, &cbSelection)) {
        if (cbSelection != static_cast<DWORD>(cx) * static_cast<DWORD>(cy)) std::abort();
        nSum = nSum + pbSelection[cbSelection - 1];
        Graphic::FreeSelection(pbSelection);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    static const char kHeader[36] = "Paint Shop Pro Image File\n\x1a";
    std::vector<BYTE> data(sizeof(kHeader) + cb);
    std::memcpy(data.data(), kHeader, sizeof(kHeader));
    data[32] = 5; // major version
    if (cb > 0) std::memcpy(data.data() + sizeof(kHeader), pb, cb);
    DWORD cbData = static_cast<DWORD>(data.size());

    {
        Graphic g(data.data(), cbData);
        Walk(g);
    }
    {
        Sprite sprite(data.data(), cbData, 0x00FF00, 1, 1, SPRITE_NO_LIMIT);
        for (DWORD i = 0; i < sprite.GetFrameCount(); ++i)
            Walk(*sprite.GetFrame(i));
        if (sprite.GetSource()) Walk(*sprite.GetSource());
    }
    {
        Graphic g;
        Sprite sprite(&g, 1, 1, SPRITE_NO_LIMIT);
        int nResult = ReadPaintShopPro(&g, &sprite, data.data(), cbData, clrNone);
        if (nResult != 0 && nResult != 1) std::abort();
        Walk(g);
        for (DWORD i = 0; i < sprite.GetFrameCount(); ++i)
            Walk(*sprite.GetFrame(i));
    }
    for (int nCompression = 0; nCompression <= 2; ++nCompression) {
        DWORD cbNorm = 4096;
        BYTE* pbNorm = DecodePaintShopProChannel(pb, static_cast<DWORD>(cb), &cbNorm, nCompression);
        if ((pbNorm == nullptr) != (cbNorm == 0) || cbNorm > 4096) std::abort();
        if (pbNorm) {
            std::memset(pbNorm, 0xA5, cbNorm);
            MemFree(pbNorm);
        }
    }
    return 0;
}
