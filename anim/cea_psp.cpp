#include "anim/cea_psp.h"

#include "anim/cea_sprite.h"
#include "foundation/memmgr.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr DWORD kBlockIdentifier = 0x004B427E; // "~BK\0"
constexpr DWORD kcbFileHeader = 36;

enum BlockKind : DWORD {
    kBlockImage = 0,
    kBlockPalette = 2,
    kBlockLayerStart = 3,
    kBlockLayer = 4,
    kBlockChannel = 5,
    kBlockSelection = 6,
};

enum BitmapType : DWORD {
    kBitmapImage = 0,
    kBitmapTransparencyMask = 1,
    kBitmapUserMask = 2,
    kBitmapSelection = 3,
};

constexpr Color kclrMasked = 0x010000;

// Pixel bytes one read may create for the frames of a layered image; a file announcing
// more layers than that is cut off rather than exhausting memory.
constexpr std::int64_t kcbMaxFrames = 16LL << 20;
// Pixels of an image. A mask is a pass over the whole image whatever its own size, so
// the work is set by the sizes a file announces, not by its length (a few hundred bytes
// asked for 59 million pixels and several passes). This system's pictures are at most
// screen-sized (the largest 800 x 308).
constexpr std::int64_t kcMaxPixels = 2048 * 2048;

// A read past the end yields 0 (a null pointer for a byte range) and leaves the position.
class Cursor {
public:
    Cursor(const BYTE* pb, DWORD cb) : m_pb(pb), m_cb(cb) {}

    std::int64_t Tell() const { return m_pos; }
    void Seek(std::int64_t pos) { m_pos = pos < 0 ? 0 : pos; }
    void Skip(std::int64_t cb) { Seek(m_pos + cb); }
    bool Fits(std::int64_t cb) const { return cb >= 0 && m_pos + cb <= m_cb; }

    DWORD Read(int cb) {
        if (!Fits(cb)) return 0;
        DWORD n = 0;
        for (int i = 0; i < cb; ++i)
            n |= static_cast<DWORD>(m_pb[m_pos + i]) << (8 * i);
        m_pos += cb;
        return n;
    }
    BYTE Byte() { return static_cast<BYTE>(Read(1)); }
    DWORD Word() { return Read(2); }
    DWORD Dword() { return Read(4); }
    const BYTE* Bytes(DWORD cb) {
        if (!Fits(cb)) return nullptr;
        const BYTE* pb = m_pb + m_pos;
        m_pos += cb;
        return pb;
    }

private:
    const BYTE* m_pb;
    std::int64_t m_cb;
    std::int64_t m_pos = 0;
};

struct BlockHeader {
    DWORD nKind = 0;
    DWORD cbLength = 0;
    std::int64_t posEnd = 0; // data start + length
};

bool ReadBlockHeader(Cursor& cur, BlockHeader* pHeader) {
    if (!cur.Fits(10) || cur.Dword() != kBlockIdentifier) return false;
    pHeader->nKind = cur.Word();
    pHeader->cbLength = cur.Dword();
    pHeader->posEnd = cur.Tell() + pHeader->cbLength;
    return true;
}

struct Rect64 {
    std::int64_t left = 0, top = 0, right = 0, bottom = 0;
    std::int64_t Width() const { return right > left ? right - left : 0; }
    std::int64_t Height() const { return bottom > top ? bottom - top : 0; }
};

Rect64 ReadRect(Cursor& cur) {
    Rect64 rc;
    rc.left = static_cast<LONG>(cur.Dword());
    rc.top = static_cast<LONG>(cur.Dword());
    rc.right = static_cast<LONG>(cur.Dword());
    rc.bottom = static_cast<LONG>(cur.Dword());
    return rc;
}

struct ImageInfo {
    LONG cx = 0;
    LONG cy = 0;
    int nCompression = 0;
    int nDepth = 0;
    DWORD cLayers = 0;
    bool fPalette = false;
    RGBQUAD rgPalette[256] = {};
};

struct LayerInfo {
    Rect64 rcImage;
    Rect64 rcSaved;
    Rect64 rcMask;
};

struct ChannelChunk {
    DWORD cbCompressed = 0;
    DWORD cbNorm = 0;
    DWORD nBitmapType = 0;
    DWORD nChannelType = 0;
};

bool ReadImageAttributes(Cursor& cur, ImageInfo* pInfo) {
    if (cur.Dword() == 0) return false; // chunk length
    pInfo->cx = static_cast<LONG>(cur.Dword());
    pInfo->cy = static_cast<LONG>(cur.Dword());
    cur.Read(4); // resolution, a 64-bit float
    cur.Read(4);
    cur.Byte(); // resolution metric
    pInfo->nCompression = static_cast<int>(cur.Word());
    pInfo->nDepth = static_cast<int>(cur.Word());
    cur.Word();  // planes
    cur.Dword(); // colours
    cur.Byte();  // greyscale
    cur.Dword(); // total image size
    cur.Dword(); // active layer
    pInfo->cLayers = cur.Word();
    cur.Dword(); // graphic contents
    return true;
}

void ReadPalette(Cursor& cur, ImageInfo* pInfo) {
    std::int64_t posChunk = cur.Tell();
    DWORD cbChunk = cur.Dword();
    DWORD cEntries = std::min<DWORD>(cur.Dword(), 256);
    cur.Seek(posChunk + cbChunk);
    std::memset(pInfo->rgPalette, 0, sizeof(pInfo->rgPalette));
    for (DWORD i = 0; i < cEntries; ++i) {
        RGBQUAD& q = pInfo->rgPalette[i];
        q.rgbBlue = cur.Byte();
        q.rgbGreen = cur.Byte();
        q.rgbRed = cur.Byte();
        q.rgbReserved = cur.Byte();
    }
    pInfo->rgPalette[255].rgbBlue = 255;
    pInfo->rgPalette[255].rgbGreen = 255;
    pInfo->rgPalette[255].rgbRed = 255;
    pInfo->fPalette = true;
}

bool ReadLayerInfo(Cursor& cur, LayerInfo* pLayer) {
    std::int64_t posChunk = cur.Tell();
    DWORD cbChunk = cur.Dword();
    if (cbChunk == 0) return false;
    cur.Skip(cur.Word()); // name
    cur.Byte();           // layer type
    pLayer->rcImage = ReadRect(cur);
    pLayer->rcSaved = ReadRect(cur);
    cur.Read(4); // opacity, blending mode, visibility, transparency protection
    cur.Byte();  // link group
    pLayer->rcMask = ReadRect(cur);
    ReadRect(cur); // saved mask rectangle
    cur.Word();    // mask linked, mask disabled
    cur.Byte();    // invert mask
    cur.Seek(posChunk + cbChunk);
    return true;
}

// Bitmap information chunk: false unless its length is 8.
bool ReadBitmapInfo(Cursor& cur, DWORD* pcBitmaps, DWORD* pcChannels) {
    if (cur.Dword() != 8) return false;
    *pcBitmaps = cur.Word();
    *pcChannels = cur.Word();
    return true;
}

void ReadChannelChunk(Cursor& cur, ChannelChunk* pChunk) {
    cur.Dword(); // chunk length: the data follows the fields directly
    pChunk->cbCompressed = cur.Dword();
    pChunk->cbNorm = cur.Dword();
    pChunk->nBitmapType = cur.Word();
    pChunk->nChannelType = cur.Word();
}

// The decoded byte at a position of the placement rectangle; 0 past the data.
struct Decoded {
    const BYTE* pb;
    DWORD cb;
    Rect64 rc;
    BYTE At(std::int64_t x, std::int64_t y) const {
        std::int64_t i = (y - rc.top) * rc.Width() + (x - rc.left);
        return i >= 0 && i < cb ? pb[i] : 0;
    }
    bool Contains(std::int64_t x, std::int64_t y) const {
        return x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom;
    }
};

struct LayerState {
    bool fRed = false, fGreen = false, fBlue = false;
    int cSoftMasks = 0;
};

void WriteImageChannel(Graphic* pTarget, const Decoded& data, DWORD nChannelType,
                       LayerState* pState) {
    LONG cx = pTarget->GetWidth();
    LONG cy = pTarget->GetHeight();
    std::int64_t xFirst = std::max<std::int64_t>(data.rc.left, 0);
    std::int64_t xEnd = std::min<std::int64_t>(data.rc.right, cx);
    std::int64_t yFirst = std::max<std::int64_t>(data.rc.top, 0);
    std::int64_t yEnd = std::min<std::int64_t>(data.rc.bottom, cy);
    std::int64_t cxRect = data.rc.Width();
    int nDepth = pTarget->GetDepth();
    BYTE* pbBits = pTarget->GetBits();
    LONG cbPitch = pTarget->GetPitch();
    int cbPixel = nDepth == 8 ? 1 : nDepth == 24 ? 3 : nDepth == 32 ? 4 : 0;
    // Byte offset of the channel inside a pixel, for the depths written directly.
    int iByte = nChannelType == 1 ? 2 : nChannelType == 2 ? 1 : 0;
    bool fDirect = pbBits != nullptr && cbPixel != 0 && nChannelType <= 3 &&
                   (nChannelType == 0) == (cbPixel == 1);
    for (std::int64_t y = yFirst; y < yEnd; ++y) {
        std::int64_t iRow = (y - data.rc.top) * cxRect;
        if (iRow >= data.cb) break;
        std::int64_t xStop = std::min<std::int64_t>(xEnd, data.rc.left + (data.cb - iRow));
        const BYTE* pbSrc = data.pb + iRow - data.rc.left;
        if (fDirect) {
            BYTE* pbRow = pbBits + y * cbPitch;
            if (cbPixel == 1) {
                if (xStop > xFirst) std::memcpy(pbRow + xFirst, pbSrc + xFirst, xStop - xFirst);
            } else {
                for (std::int64_t x = xFirst; x < xStop; ++x)
                    pbRow[x * cbPixel + iByte] = pbSrc[x];
            }
            continue;
        }
        for (std::int64_t x = xFirst; x < xStop; ++x) {
            DWORD nValue = pbSrc[x];
            int ix = static_cast<int>(x), iy = static_cast<int>(y);
            switch (nChannelType) {
            case 0:
                pTarget->SetPixelValue(ix, iy, nValue);
                break;
            case 1:
                pTarget->SetPixelValue(
                    ix, iy, (pTarget->GetPixelValue(ix, iy) & ~0xFF0000u) | nValue << 16);
                break;
            case 2:
                pTarget->SetPixelValue(ix, iy,
                                       (pTarget->GetPixelValue(ix, iy) & ~0x00FF00u) | nValue << 8);
                break;
            case 3:
                pTarget->SetPixelValue(ix, iy,
                                       (pTarget->GetPixelValue(ix, iy) & ~0x0000FFu) | nValue);
                break;
            }
        }
    }
    switch (nChannelType) {
    case 0:
        pState->fRed = pState->fGreen = pState->fBlue = true;
        break;
    case 1:
        pState->fRed = true;
        break;
    case 2:
        pState->fGreen = true;
        break;
    case 3:
        pState->fBlue = true;
        break;
    }
}

void ApplyMask(Graphic* pTarget, const Decoded& data, LayerState* pState) {
    bool fBelow255 = false, fBetween = false;
    for (DWORD i = 0; i < data.cb; ++i) {
        if (data.pb[i] < 255) fBelow255 = true;
        if (data.pb[i] > 0 && data.pb[i] < 255) fBetween = true;
    }
    LONG cx = pTarget->GetWidth();
    LONG cy = pTarget->GetHeight();
    auto MaskAt = [&](LONG x, LONG y) -> BYTE { return data.Contains(x, y) ? data.At(x, y) : 0; };
    if (fBelow255 && !fBetween) {
        TRANSLUCENCY t = pTarget->GetTranslucency();
        BYTE* pbMap = t.nMode == TRANSLUCENT_MAP ? t.pbOpacity : nullptr;
        DWORD nMasked = pTarget->ColorToValue(kclrMasked);
        for (LONG y = 0; y < cy; ++y) {
            for (LONG x = 0; x < cx; ++x) {
                if (MaskAt(x, y) != 0) continue;
                pTarget->SetPixelValue(x, y, nMasked);
                if (pbMap) pbMap[y * t.cbRow + x] = 0;
            }
        }
        pTarget->SetTransparency(kclrMasked);
    } else if (fBetween && pTarget->SetTranslucency(TRANSLUCENT_MAP, 128)) {
        TRANSLUCENCY t = pTarget->GetTranslucency();
        if (t.pbOpacity == nullptr) return;
        bool fFirst = pState->cSoftMasks++ == 0;
        for (LONG y = 0; y < cy && y < t.cRows; ++y) {
            BYTE* pbRow = t.pbOpacity + y * t.cbRow;
            for (LONG x = 0; x < cx && x < t.cbRow; ++x) {
                DWORD nMask = MaskAt(x, y);
                pbRow[x] = static_cast<BYTE>(fFirst ? nMask : pbRow[x] * nMask / 255);
            }
        }
        if (pTarget->GetTransparency() == kclrMasked) {
            DWORD nMasked = pTarget->ColorToValue(kclrMasked);
            for (LONG y = 0; y < cy && y < t.cRows; ++y)
                for (LONG x = 0; x < cx && x < t.cbRow; ++x)
                    if (pTarget->GetPixelValue(x, y) == nMasked) t.pbOpacity[y * t.cbRow + x] = 0;
        }
    }
}

// One channel block of a layer, the cursor just after its chunk fields. True when it was a
// mask.
bool ProcessChannel(Cursor& cur, Graphic* pTarget, const ImageInfo& info, const LayerInfo& layer,
                    const ChannelChunk& chunk, LayerState* pState) {
    Rect64 rc = layer.rcSaved;
    if (chunk.nBitmapType == kBitmapUserMask && layer.rcMask.right != 0) rc = layer.rcMask;
    rc.left += layer.rcImage.left;
    rc.right += layer.rcImage.left;
    rc.top += layer.rcImage.top;
    rc.bottom += layer.rcImage.top;

    std::int64_t cbMax =
        static_cast<std::int64_t>(pTarget->GetHeight()) * ((pTarget->GetWidth() + 3) / 4 * 4);
    DWORD cbNorm = static_cast<DWORD>(std::min<std::int64_t>(chunk.cbNorm, cbMax));

    if (chunk.nBitmapType > kBitmapUserMask) return false;
    const BYTE* pbCompressed = cur.Bytes(chunk.cbCompressed);
    if (pbCompressed == nullptr) return false;
    bool fMask = chunk.nBitmapType != kBitmapImage;
    BYTE* pbData =
        DecodePaintShopProChannel(pbCompressed, chunk.cbCompressed, &cbNorm, info.nCompression);
    if (pbData == nullptr) return false;
    Decoded data{pbData, cbNorm, rc};
    if (fMask)
        ApplyMask(pTarget, data, pState);
    else
        WriteImageChannel(pTarget, data, chunk.nChannelType, pState);
    MemFree(pbData);
    return fMask;
}

void ReadSelection(Cursor& cur, Graphic* pTarget, const ImageInfo& info) {
    std::int64_t posChunk = cur.Tell();
    DWORD cbChunk = cur.Dword();
    ReadRect(cur); // selection rectangle
    Rect64 rcSaved = ReadRect(cur);
    cur.Seek(posChunk + cbChunk);

    DWORD cBitmaps = 0, cChannels = 0;
    if (!ReadBitmapInfo(cur, &cBitmaps, &cChannels) || cBitmaps != 1 || cChannels != 1) return;
    BlockHeader header;
    if (!ReadBlockHeader(cur, &header) || header.nKind != kBlockChannel) return;
    ChannelChunk chunk;
    ReadChannelChunk(cur, &chunk);
    if (chunk.nBitmapType != kBitmapSelection) return;
    if (info.cx <= 0 || info.cy <= 0) return;
    const BYTE* pbCompressed = cur.Bytes(chunk.cbCompressed);
    if (pbCompressed == nullptr) return;

    // More than one byte per pixel is never used.
    if (static_cast<std::int64_t>(info.cx) * info.cy > kcbMaxFrames) return;
    DWORD cbSelection = static_cast<DWORD>(info.cx) * static_cast<DWORD>(info.cy);
    DWORD cbNorm = std::min(chunk.cbNorm, cbSelection);
    BYTE* pbData =
        DecodePaintShopProChannel(pbCompressed, chunk.cbCompressed, &cbNorm, info.nCompression);
    if (pbData == nullptr) return;
    BYTE* pbSelection = static_cast<BYTE*>(MemAllocTagged(cbSelection, "m.NotChild.cbSelection"));
    if (pbSelection == nullptr) {
        MemFree(pbData);
        return;
    }
    std::memset(pbSelection, 0, cbSelection);
    DWORD iData = 0;
    std::int64_t yEnd = std::min<std::int64_t>(rcSaved.bottom, info.cy);
    std::int64_t xFirst = std::max<std::int64_t>(rcSaved.left, 0);
    std::int64_t xEnd = std::min<std::int64_t>(rcSaved.right, info.cx);
    for (std::int64_t y = std::max<std::int64_t>(rcSaved.top, 0); y < yEnd && iData < cbNorm; ++y)
        for (std::int64_t x = xFirst; x < xEnd && iData < cbNorm; ++x)
            pbSelection[y * info.cx + x] = pbData[iData++];
    MemFree(pbData);
    pTarget->AttachSelection(pbSelection, cbSelection);
}

} // namespace

BYTE* DecodePaintShopProChannel(const BYTE* pbData, DWORD cbCompressed, DWORD* pcbNorm,
                                int nCompression) {
    DWORD cbNorm = *pcbNorm;
    *pcbNorm = 0;
    if (pbData == nullptr && cbCompressed != 0) return nullptr;
    if (nCompression == 0) cbNorm = std::min(cbNorm, cbCompressed);
    if (nCompression < 0 || nCompression > 2 || cbNorm == 0) return nullptr;
    BYTE* pbNorm = static_cast<BYTE*>(MemAllocTagged(cbNorm, "*pcbNorm"));
    if (pbNorm == nullptr) return nullptr;
    std::memset(pbNorm, 0, cbNorm);

    switch (nCompression) {
    case 0:
        std::memcpy(pbNorm, pbData, cbNorm);
        break;
    case 1: {
        DWORD iIn = 0, iOut = 0;
        while (iIn < cbCompressed) {
            DWORD c = pbData[iIn++];
            if (c > 128) {
                if (iIn >= cbCompressed) break;
                BYTE b = pbData[iIn++];
                DWORD cRun = std::min(c - 128, cbNorm - iOut);
                std::memset(pbNorm + iOut, b, cRun);
                iOut += cRun;
            } else {
                DWORD cRun = std::min({c, cbCompressed - iIn, cbNorm - iOut});
                std::memcpy(pbNorm + iOut, pbData + iIn, cRun);
                iOut += cRun;
                iIn += std::min(c, cbCompressed - iIn);
            }
        }
        break;
    }
    case 2: {
        z_stream z = {};
        z.next_in = const_cast<BYTE*>(pbData);
        z.avail_in = cbCompressed;
        z.next_out = pbNorm;
        z.avail_out = cbNorm;
        // The format was written with an old library; ours reads its streams, so ask for
        // the version actually linked rather than a fixed one it may refuse.
        if (inflateInit(&z) != Z_OK) {
            MemFree(pbNorm);
            return nullptr;
        }
        int nResult = inflate(&z, Z_FINISH);
        DWORD cbOut = cbNorm - z.avail_out;
        inflateEnd(&z);
        if (nResult != Z_STREAM_END) {
            MemFree(pbNorm);
            return nullptr;
        }
        if (cbOut > 0 && cbOut < cbNorm)
            std::memset(pbNorm + cbOut, pbNorm[cbOut - 1], cbNorm - cbOut);
        break;
    }
    }
    *pcbNorm = cbNorm;
    return pbNorm;
}

int ReadPaintShopPro(Graphic* pTarget, Sprite* pSprite, const BYTE* pbData, DWORD cbData,
                     Color clrTransparent) {
    if (pTarget == nullptr || pbData == nullptr) return 0;
    Cursor cur(pbData, cbData);
    cur.Seek(kcbFileHeader);
    BlockHeader header;
    ImageInfo info;
    if (!ReadBlockHeader(cur, &header) || header.nKind != kBlockImage) return 0;
    if (!ReadImageAttributes(cur, &info)) return 0;
    if (std::int64_t(std::max<LONG>(info.cx, 0)) * std::max<LONG>(info.cy, 0) > kcMaxPixels)
        return 0;

    DWORD cFramesBefore = pSprite ? pSprite->GetFrameCount() : 0;
    bool fMaskSeen = false;
    LayerState state;
    std::int64_t cbFrames = 0;
    while (ReadBlockHeader(cur, &header)) {
        switch (header.nKind) {
        case kBlockPalette:
            ReadPalette(cur, &info);
            break;
        case kBlockLayerStart:
            for (DWORD iLayer = 0; iLayer < info.cLayers; ++iLayer) {
                const RGBQUAD* pColors = info.fPalette ? info.rgPalette : nullptr;
                Graphic* pLayerTarget;
                if (info.cLayers != 1 && pSprite != nullptr) {
                    // The pixel count alone can reach 2^62 and the depth is any 16-bit
                    // number: pixels past what even one bit each would put over the cap
                    // are not counted, so the product stays far inside 64 bits.
                    const std::int64_t cPixels =
                        std::min(static_cast<std::int64_t>(std::max<LONG>(info.cx, 0)) *
                                     std::max<LONG>(info.cy, 0),
                                 8 * kcbMaxFrames + 8);
                    cbFrames += cPixels * std::max(info.nDepth, 1) / 8;
                    if (cbFrames > kcbMaxFrames) break;
                    Graphic* pFrame = MemNew(Graphic, info.cx, info.cy, info.nDepth, pColors);
                    if (pFrame == nullptr) return 0;
                    if (pFrame->GetBits() == nullptr || !pSprite->AppendFrame(pFrame)) {
                        MemDelete(pFrame);
                        return 0;
                    }
                    pLayerTarget = pFrame;
                } else if (iLayer == 0) {
                    // A second layer-start block must not recreate the pixels under the
                    // first one's frames.
                    if (pTarget->GetBits() != nullptr) break;
                    if (!pTarget->CreateBlank(info.cx, info.cy, info.nDepth, pColors)) return 0;
                    pLayerTarget = pTarget;
                } else {
                    break;
                }
                state = LayerState{};

                BlockHeader layerHeader;
                LayerInfo layer;
                DWORD cBitmaps = 0, cChannels = 0;
                if (!ReadBlockHeader(cur, &layerHeader) || layerHeader.nKind != kBlockLayer ||
                    !ReadLayerInfo(cur, &layer) || !ReadBitmapInfo(cur, &cBitmaps, &cChannels))
                    break;
                for (DWORD iChannel = 0; iChannel < cChannels; ++iChannel) {
                    BlockHeader channelHeader;
                    if (!ReadBlockHeader(cur, &channelHeader)) break;
                    if (channelHeader.nKind == kBlockChannel) {
                        ChannelChunk chunk;
                        ReadChannelChunk(cur, &chunk);
                        if (ProcessChannel(cur, pLayerTarget, info, layer, chunk, &state))
                            fMaskSeen = true;
                    }
                    cur.Seek(channelHeader.posEnd);
                }
            }
            break;
        case kBlockSelection:
            ReadSelection(cur, pTarget, info);
            break;
        default:
            break;
        }
        cur.Seek(header.posEnd);
    }

    if (!fMaskSeen) {
        DWORD cFrames = pSprite ? pSprite->GetFrameCount() : 0;
        if (cFrames > cFramesBefore) {
            for (DWORD i = cFramesBefore; i < cFrames; ++i)
                pSprite->GetFrame(i)->SetTransparency(clrTransparent);
        } else {
            pTarget->SetTransparency(clrTransparent);
        }
    }
    return state.fRed && state.fGreen && state.fBlue ? 1 : 0;
}
