#include "anim/cea_psp.h"

#include "anim/cea_sprite.h"
#include "foundation/memmgr.h"
#include "tools/pspwriter/pspwriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace pspwriter;

constexpr Compression kCompressions[] = {Compression::None, Compression::RunLength,
                                         Compression::Deflate};

std::vector<uint8_t> Write(const PspImage& image) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(WritePsp(image, &bytes));
    return bytes;
}

int Read(Graphic* pTarget, Sprite* pSprite, const std::vector<uint8_t>& bytes,
         Color clr = clrNone) {
    return ReadPaintShopPro(pTarget, pSprite, bytes.data(), static_cast<DWORD>(bytes.size()), clr);
}

// Pixels that differ between positions, layers and channels.
uint8_t Sample(int x, int y, int k) {
    return static_cast<uint8_t>(x * 29 + y * 71 + k * 113 + 5);
}

PspLayer Layer(int cx, int cy, int nDepth, int iLayer, PspRect rc = {}) {
    PspLayer layer;
    layer.rc = rc;
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            for (int c = 0; c < nDepth / 8; ++c)
                layer.pixels.push_back(Sample(x, y, iLayer * 3 + c));
    return layer;
}

PspImage Image(int cx, int cy, int nDepth, int cLayers, Compression compression) {
    PspImage image;
    image.cx = cx;
    image.cy = cy;
    image.nDepth = static_cast<uint16_t>(nDepth);
    image.compression = compression;
    if (nDepth == 8)
        for (int i = 0; i < 256; ++i)
            image.palette.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                     static_cast<uint8_t>(i * 7)});
    for (int i = 0; i < cLayers; ++i)
        image.layers.push_back(Layer(cx, cy, nDepth, i));
    return image;
}

// The value the reader should have produced from layer iLayer at (x, y).
DWORD Expected(int nDepth, int x, int y, int iLayer) {
    if (nDepth == 8) return Sample(x, y, iLayer * 3);
    return static_cast<DWORD>(Sample(x, y, iLayer * 3)) << 16 | Sample(x, y, iLayer * 3 + 1) << 8 |
           Sample(x, y, iLayer * 3 + 2);
}

void ExpectLayerPixels(const Graphic& g, int nDepth, int iLayer) {
    for (int y = 0; y < g.GetHeight(); ++y)
        for (int x = 0; x < g.GetWidth(); ++x)
            ASSERT_EQ(g.GetPixelValue(x, y), Expected(nDepth, x, y, iLayer))
                << "(" << x << ", " << y << ") layer " << iLayer;
}

TEST(PspReader, RoundTripsEveryCompressionAndDepth) {
    for (Compression compression : kCompressions) {
        for (int nDepth : {8, 24}) {
            SCOPED_TRACE(testing::Message()
                         << "compression " << static_cast<int>(compression) << " depth " << nDepth);
            // Odd width: rows of the data are not padded.
            std::vector<uint8_t> bytes = Write(Image(13, 7, nDepth, 1, compression));
            Graphic g;
            EXPECT_EQ(Read(&g, nullptr, bytes), 1);
            ASSERT_EQ(g.GetDepth(), nDepth);
            ASSERT_EQ(g.GetWidth(), 13);
            ASSERT_EQ(g.GetHeight(), 7);
            ExpectLayerPixels(g, nDepth, 0);
            EXPECT_FALSE(g.IsTransparent());
        }
    }
}

TEST(PspReader, ResultTellsWhetherLastLayerHadAllColours) {
    struct Case {
        std::vector<uint16_t> channels;
        int nResult;
        DWORD nMask; // the bits the channels supply
    } cases[] = {
        {{1, 2, 3}, 1, 0xFFFFFF},
        {{1}, 0, 0xFF0000},
        {{2, 3}, 0, 0x00FFFF},
        {{3, 1, 2}, 1, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        PspImage image = Image(5, 3, 24, 1, Compression::None);
        image.layers[0].channels = c.channels;
        Graphic g;
        EXPECT_EQ(Read(&g, nullptr, Write(image)), c.nResult) << c.channels.size();
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                ASSERT_EQ(g.GetPixelValue(x, y), Expected(24, x, y, 0) & c.nMask);
    }
}

TEST(PspReader, LayersBecomeSpriteFramesOrOnlyTheFirstIsRead) {
    for (Compression compression : kCompressions) {
        std::vector<uint8_t> bytes = Write(Image(6, 4, 24, 3, compression));
        {
            Graphic g;
            Sprite sprite(&g, 1, 1, SPRITE_NO_LIMIT);
            EXPECT_EQ(Read(&g, &sprite, bytes, 0x00FF00), 1);
            EXPECT_EQ(g.GetBits(), nullptr);
            ASSERT_EQ(sprite.GetFrameCount(), 3u);
            for (DWORD i = 0; i < 3; ++i) {
                Graphic* pFrame = sprite.GetFrame(i);
                ASSERT_EQ(pFrame->GetWidth(), 6);
                ASSERT_EQ(pFrame->GetHeight(), 4);
                ExpectLayerPixels(*pFrame, 24, static_cast<int>(i));
                // Without masks the caller's colour goes to every frame, not the graphic.
                EXPECT_EQ(pFrame->GetTransparency(), 0x00FF00u);
            }
            EXPECT_FALSE(g.IsTransparent());
        }
        Graphic g;
        EXPECT_EQ(Read(&g, nullptr, bytes, 0x00FF00), 1);
        ExpectLayerPixels(g, 24, 0);
        EXPECT_EQ(g.GetTransparency(), 0x00FF00u);
    }
}

TEST(PspReader, PlacesLayerRectanglesClippedToTheImage) {
    struct Case {
        PspRect rc;
    } cases[] = {{{1, 1, 4, 3}}, {{-2, -1, 2, 2}}, {{3, 2, 9, 6}}, {{-5, 0, -1, 3}}};
    for (const Case& c : cases) {
        PspImage image = Image(5, 4, 8, 0, Compression::RunLength);
        image.layers.push_back(Layer(c.rc.Width(), c.rc.Height(), 8, 0, c.rc));
        Graphic g;
        Read(&g, nullptr, Write(image));
        ASSERT_EQ(g.GetWidth(), 5);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 5; ++x) {
                bool fInside = x >= c.rc.left && x < c.rc.right && y >= c.rc.top && y < c.rc.bottom;
                DWORD nWant = fInside ? Sample(x - c.rc.left, y - c.rc.top, 0) : 0;
                ASSERT_EQ(g.GetPixelValue(x, y), nWant) << x << "," << y << " rect " << c.rc.left;
            }
        }
    }
}

TEST(PspReader, PaletteKeepsFirst256AndForcesWhite) {
    PspImage image = Image(2, 2, 8, 1, Compression::None);
    image.palette.clear();
    for (int i = 0; i < 300; ++i)
        image.palette.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(i / 2), 9});
    Graphic g;
    Read(&g, nullptr, Write(image));
    PALETTEENTRY entries[256];
    ASSERT_EQ(g.GetPaletteEntries(entries, 0, 256), 256u);
    for (int i = 0; i < 255; ++i) {
        ASSERT_EQ(entries[i].peRed, i);
        ASSERT_EQ(entries[i].peGreen, i / 2);
        ASSERT_EQ(entries[i].peBlue, 9);
    }
    EXPECT_EQ(entries[255].peRed, 255);
    EXPECT_EQ(entries[255].peGreen, 255);
    EXPECT_EQ(entries[255].peBlue, 255);
}

TEST(PspReader, HardMaskMakesColourKeyedTransparency) {
    for (uint16_t nMaskType : {1, 2}) {
        PspImage image = Image(4, 3, 24, 1, Compression::Deflate);
        image.layers[0].nMaskType = nMaskType;
        for (int i = 0; i < 12; ++i)
            image.layers[0].mask.push_back(i % 3 == 0 ? 0 : 255);
        Graphic g;
        EXPECT_EQ(Read(&g, nullptr, Write(image), 0x00FF00), 1);
        EXPECT_EQ(g.GetTransparency(), 0x010000u); // not the caller's colour
        EXPECT_FALSE(g.IsTranslucent());
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                ASSERT_EQ(g.GetPixelValue(x, y),
                          (y * 4 + x) % 3 == 0 ? 0x000001u : Expected(24, x, y, 0));
    }
}

TEST(PspReader, SoftMaskBecomesOpacityMap) {
    PspImage image = Image(4, 2, 8, 1, Compression::RunLength);
    image.layers[0].mask = {0, 40, 255, 128, 255, 255, 1, 0};
    Graphic g;
    EXPECT_EQ(Read(&g, nullptr, Write(image), 0x00FF00), 1);
    TRANSLUCENCY t = g.GetTranslucency();
    ASSERT_EQ(t.nMode, TRANSLUCENT_MAP);
    ASSERT_NE(t.pbOpacity, nullptr);
    ASSERT_EQ(t.cbRow, 4);
    EXPECT_EQ(std::vector<BYTE>(t.pbOpacity, t.pbOpacity + 8), image.layers[0].mask);
    EXPECT_FALSE(g.IsTransparent());
    ExpectLayerPixels(g, 8, 0);
}

TEST(PspReader, SoftMasksOfALayerMultiply) {
    PspImage image = Image(4, 1, 24, 1, Compression::None);
    image.layers[0].mask = {255, 128, 0, 200};
    image.layers[0].userMask = {100, 128, 50, 255};
    Graphic g;
    Read(&g, nullptr, Write(image));
    TRANSLUCENCY t = g.GetTranslucency();
    ASSERT_EQ(t.nMode, TRANSLUCENT_MAP);
    EXPECT_EQ(std::vector<BYTE>(t.pbOpacity, t.pbOpacity + 4),
              (std::vector<BYTE>{100, 128 * 128 / 255, 0, 200}));
}

TEST(PspReader, HardThenSoftMaskHidesKeyedPixels) {
    PspImage image = Image(4, 1, 24, 1, Compression::RunLength);
    image.layers[0].mask = {255, 0, 255, 255};
    image.layers[0].userMask = {10, 20, 30, 255};
    Graphic g;
    Read(&g, nullptr, Write(image));
    EXPECT_EQ(g.GetTransparency(), 0x010000u);
    TRANSLUCENCY t = g.GetTranslucency();
    ASSERT_EQ(t.nMode, TRANSLUCENT_MAP);
    EXPECT_EQ(std::vector<BYTE>(t.pbOpacity, t.pbOpacity + 4), (std::vector<BYTE>{10, 0, 30, 255}));
}

TEST(PspReader, OpaqueMaskChangesNothingButKeepsCallersColourAway) {
    PspImage image = Image(3, 3, 24, 1, Compression::None);
    image.layers[0].mask.assign(9, 255);
    Graphic g;
    Read(&g, nullptr, Write(image), 0x00FF00);
    EXPECT_FALSE(g.IsTransparent());
    EXPECT_FALSE(g.IsTranslucent());
    ExpectLayerPixels(g, 24, 0);
}

TEST(PspReader, SelectionFillsItsRectangle) {
    for (Compression compression : kCompressions) {
        PspImage image = Image(8, 5, 8, 1, compression);
        image.fSelection = true;
        image.selection.rc = {2, 1, 5, 4};
        for (int i = 0; i < 9; ++i)
            image.selection.bytes.push_back(static_cast<uint8_t>(i * 30 + 1));
        Graphic g;
        Read(&g, nullptr, Write(image));
        ASSERT_TRUE(g.HasSelection());
        BYTE* pb = nullptr;
        DWORD cb = 0;
        ASSERT_TRUE(g.GetSelection(&pb, &cb));
        ASSERT_EQ(cb, 40u);
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 8; ++x) {
                bool fIn = x >= 2 && x < 5 && y >= 1 && y < 4;
                ASSERT_EQ(pb[y * 8 + x], fIn ? (y - 1) * 3 * 30 + (x - 2) * 30 + 1 : 0);
            }
        }
        Graphic::FreeSelection(pb);
    }
}

std::vector<BYTE> Deflate(const std::vector<BYTE>& data) {
    uLongf cb = compressBound(static_cast<uLong>(data.size()));
    std::vector<BYTE> out(cb);
    compress2(out.data(), &cb, data.data(), static_cast<uLong>(data.size()), 9);
    out.resize(cb);
    return out;
}

TEST(PspReader, DecodesChannelData) {
    std::vector<BYTE> literal128(1, 128);
    for (int i = 0; i < 128; ++i)
        literal128.push_back(static_cast<BYTE>(i + 1));
    std::vector<BYTE> deflated = Deflate({1, 2, 3, 4, 5});
    std::vector<BYTE> unterminated(deflated.begin(), deflated.end() - 5);
    struct Case {
        const char* pszWhat;
        std::vector<BYTE> in;
        int nCompression;
        DWORD cbNorm;
        bool fOk;
        std::vector<BYTE> out;
    } cases[] = {
        {"plain", {1, 2, 3}, 0, 3, true, {1, 2, 3}},
        {"plain, longer than announced", {1, 2, 3, 4}, 0, 2, true, {1, 2}},
        {"plain, shorter than announced", {1, 2}, 0, 5, true, {1, 2}},
        {"count 128 is a literal run", literal128, 1, 128, true,
         std::vector<BYTE>(literal128.begin() + 1, literal128.end())},
        {"count 129 repeats once", {129, 7, 2, 8, 9}, 1, 3, true, {7, 8, 9}},
        {"count 255 repeats 127", {255, 4}, 1, 127, true, std::vector<BYTE>(127, 4)},
        {"run past the output", {200, 6}, 1, 3, true, {6, 6, 6}},
        {"literal past the input", {5, 1, 2}, 1, 4, true, {1, 2, 0, 0}},
        {"count 0 copies nothing", {0, 1, 9}, 1, 2, true, {9, 0}},
        {"deflate exact", deflated, 2, 5, true, {1, 2, 3, 4, 5}},
        {"deflate short output padded with last byte",
         deflated,
         2,
         8,
         true,
         {1, 2, 3, 4, 5, 5, 5, 5}},
        {"deflate longer than announced", deflated, 2, 3, false, {}},
        {"deflate without stream end", unterminated, 2, 5, false, {}},
        {"deflate garbage", {1, 2, 3, 4}, 2, 5, false, {}},
        {"unknown compression", {1, 2, 3}, 3, 3, false, {}},
    };
    for (const Case& c : cases) {
        DWORD cb = c.cbNorm;
        BYTE* pb = DecodePaintShopProChannel(c.in.data(), static_cast<DWORD>(c.in.size()), &cb,
                                             c.nCompression);
        if (!c.fOk) {
            EXPECT_EQ(pb, nullptr) << c.pszWhat;
            EXPECT_EQ(cb, 0u) << c.pszWhat;
            continue;
        }
        ASSERT_NE(pb, nullptr) << c.pszWhat;
        EXPECT_EQ(std::vector<BYTE>(pb, pb + cb), c.out) << c.pszWhat;
        MemFree(pb);
    }
}

// Rewrites a little-endian 32-bit field.
void Poke32(std::vector<uint8_t>* pBytes, size_t i, uint32_t n) {
    for (int k = 0; k < 4; ++k)
        (*pBytes)[i + k] = static_cast<uint8_t>(n >> (8 * k));
}

size_t Find(const std::vector<uint8_t>& bytes, size_t iFrom, uint16_t nKind) {
    for (size_t i = iFrom; i + 6 <= bytes.size(); ++i)
        if (bytes[i] == '~' && bytes[i + 1] == 'B' && bytes[i + 2] == 'K' && bytes[i + 3] == 0 &&
            bytes[i + 4] == nKind && bytes[i + 5] == 0)
            return i;
    return std::string::npos;
}

TEST(PspReader, MalformedFilesNeverReadOutside) {
    PspImage image = Image(6, 5, 24, 2, Compression::RunLength);
    image.layers[1].mask.assign(30, 128);
    image.fSelection = true;
    image.selection.rc = {1, 1, 3, 3};
    image.selection.bytes = {1, 2, 3, 4};
    const std::vector<uint8_t> good = Write(image);

    // Every truncation: runs clean under the sanitizers, never more frames than layers.
    for (size_t cb = 0; cb <= good.size(); ++cb) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + cb);
        Graphic g;
        Sprite sprite(&g, 1, 1, SPRITE_NO_LIMIT);
        Read(&g, &sprite, cut);
        ASSERT_LE(sprite.GetFrameCount(), 2u);
    }

    size_t iChannel = Find(good, 36, 5);
    ASSERT_NE(iChannel, std::string::npos);
    // Nothing is logged: the result says whether the last layer read had complete colour.
    // A layer announced but missing still leaves its (blank) frame in the sprite.
    struct Case {
        const char* pszWhat;
        void (*Break)(std::vector<uint8_t>*, size_t iChannel);
        int nSprite;   // result read with a sprite
        DWORD cFrames; // frames the sprite received
        int nAlone;    // result read without a sprite (layer 0 only)
        LONG cxAlone;  // width of that graphic; 0 when it has no pixels
    } cases[] = {
        // The image block's own length is never used: the file reads whole.
        {"block length wraps",
         [](std::vector<uint8_t>* p, size_t) { Poke32(p, 36 + 6, 0xFFFFFFF6); }, 1, 2, 1, 6},
        // Only the first channel of layer 0 is read; what follows is out of reach.
        {"channel block length huge",
         [](std::vector<uint8_t>* p, size_t i) { Poke32(p, i + 6, 0xFFFFFFFF); }, 0, 2, 0, 6},
        // That channel is skipped, the block after it read: layer 1 stays complete.
        {"compressed length past the end",
         [](std::vector<uint8_t>* p, size_t i) { Poke32(p, i + 14, 0x7FFFFFFF); }, 1, 2, 0, 6},
        // The decoded size is held to the graphic's.
        {"uncompressed length huge",
         [](std::vector<uint8_t>* p, size_t i) { Poke32(p, i + 18, 0xFFFFFFFF); }, 1, 2, 1, 6},
        // 255 layers announced, two stored: the third frame is blank and ends the read.
        {"layer count huge", [](std::vector<uint8_t>* p, size_t) { (*p)[36 + 10 + 40] = 0xFF; }, 0,
         3, 1, 6},
        // Short channel data leaves the rest of each row blank.
        {"width wider than the data", [](std::vector<uint8_t>* p, size_t) { Poke32(p, 50, 3000); },
         1, 2, 1, 3000},
        // No bitmap can be made: the whole read fails.
        {"negative height", [](std::vector<uint8_t>* p, size_t) { Poke32(p, 54, 0xFFFFFFFE); }, 0,
         0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        std::vector<uint8_t> bad = good;
        c.Break(&bad, iChannel);
        Graphic g;
        Sprite sprite(&g, 1, 1, SPRITE_NO_LIMIT);
        EXPECT_EQ(Read(&g, &sprite, bad), c.nSprite);
        EXPECT_EQ(sprite.GetFrameCount(), c.cFrames);
        EXPECT_EQ(g.GetBits(), nullptr); // the frames take the layers, not the graphic
        Graphic g2;
        EXPECT_EQ(Read(&g2, nullptr, bad), c.nAlone);
        EXPECT_EQ(g2.GetWidth(), c.cxAlone);
        EXPECT_EQ(g2.GetBits() != nullptr, c.cxAlone != 0);
    }
}

TEST(PspReader, ShortChannelDataLeavesTheRestOfTheLayer) {
    PspImage image = Image(4, 3, 8, 1, Compression::None);
    std::vector<uint8_t> bytes = Write(image);
    size_t iChannel = Find(bytes, 36, 5);
    ASSERT_NE(iChannel, std::string::npos);
    // Five bytes stored where twelve are needed: the reader must not take the rest from
    // whatever follows.
    Poke32(&bytes, iChannel + 14, 5);
    Graphic g;
    Read(&g, nullptr, bytes);
    for (int i = 0; i < 12; ++i)
        ASSERT_EQ(g.GetPixelValue(i % 4, i / 4), i < 5 ? Sample(i % 4, i / 4, 0) : 0u) << i;
}

TEST(PspReader, GraphicFromMemoryUsesTheReader) {
    std::vector<uint8_t> bytes = Write(Image(7, 3, 8, 1, Compression::Deflate));
    Graphic g(bytes.data(), static_cast<DWORD>(bytes.size()));
    ASSERT_EQ(g.GetWidth(), 7);
    ExpectLayerPixels(g, 8, 0);
}

} // namespace
