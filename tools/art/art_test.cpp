// The generated pictures as the game reads them: sizes and frames, the board's markers,
// the one transparent colour and no blue fringes, the colour budget, identical bytes on
// every run, the icon through the resource reader, and the contact sheet.
#include "tools/art/contact.h"
#include "tools/art/sheets.h"

#include "anim/cea_graphic.h"
#include "host/resource.h"
#include "tests/support/png_picture.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>

namespace {

constexpr Color kKey = host::RGB(0, 0, 255);

struct Expected {
    int nId;
    int cx, cy, cxFrame, cyFrame, cFrames;
};
constexpr Expected kExpected[] = {
    {141, 240, 294, 240, 294, 1}, {140, 42, 245, 42, 35, 7},  {146, 115, 92, 23, 23, 20},
    {147, 111, 12, 111, 12, 1},   {143, 128, 256, 64, 64, 8}, {144, 64, 128, 32, 32, 8},
};

std::unique_ptr<Graphic> Load(int nId) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(pspwriter::WritePsp(art::MakeSheet(nId), &bytes));
    return std::make_unique<Graphic>(bytes.data(), static_cast<DWORD>(bytes.size()), nullptr,
                                     nId == 141 ? clrNone : kKey);
}

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

TEST(ArtSheets, SizesFramesAndOneTransparentColour) {
    ASSERT_EQ(art::Sheets().size(), std::size(kExpected));
    std::set<Color> used;
    for (const Expected& e : kExpected) {
        SCOPED_TRACE(e.nId);
        auto sheet = std::find_if(art::Sheets().begin(), art::Sheets().end(),
                                  [&](const art::SheetSpec& s) { return s.nId == e.nId; });
        ASSERT_NE(sheet, art::Sheets().end());
        EXPECT_EQ(
            (std::array{sheet->cx, sheet->cy, sheet->cxFrame, sheet->cyFrame, sheet->cFrames}),
            (std::array{e.cx, e.cy, e.cxFrame, e.cyFrame, e.cFrames}));
        auto g = Load(e.nId);
        ASSERT_EQ(g->GetWidth(), e.cx);
        ASSERT_EQ(g->GetHeight(), e.cy);
        ASSERT_EQ(g->GetDepth(), 8);
        PALETTEENTRY entries[256];
        ASSERT_EQ(g->GetPaletteEntries(entries, 0, 256), 256u);
        EXPECT_EQ(std::count_if(std::begin(entries), std::end(entries),
                                [](const PALETTEENTRY& p) {
                                    return p.peRed == 0 && p.peGreen == 0 && p.peBlue == 255;
                                }),
                  1);
        // Every frame has something drawn in it (ripple frame 0 included: a dot).
        int cColumns = e.cx / e.cxFrame;
        for (int f = 0; f < e.cFrames && e.nId != 141; ++f) {
            int cOpaque = 0;
            for (int y = 0; y < e.cyFrame; ++y)
                for (int x = 0; x < e.cxFrame; ++x) {
                    Color c = g->GetPixelColor((f % cColumns) * e.cxFrame + x,
                                               (f / cColumns) * e.cyFrame + y);
                    cOpaque += c != kKey;
                    used.insert(c);
                }
            EXPECT_GT(cOpaque, 8) << "frame " << f;
        }
    }
    used.erase(host::RGB(0, 0, 0));
    used.erase(host::RGB(255, 255, 255));
    used.erase(kKey);
    EXPECT_LE(used.size(), 180u);
}

TEST(ArtSheets, BoardHasExactlyTheLayoutMarkers) {
    const std::vector<std::pair<int, std::vector<int>>> table = {
        {4, {6, 45, 84, 123, 162, 201}},
        {36, {0}},
        {64, {62, 86, 110, 134, 158}},
        {85, {50, 74, 98, 122, 146, 170}},
        {106, {38, 62, 86, 110, 134, 158, 182}},
        {127, {26, 50, 74, 98, 122, 146, 170, 194}},
        {148, {14, 38, 62, 86, 110, 134, 158, 182, 206}},
        {169, {26, 50, 74, 98, 122, 146, 170, 194}},
        {190, {38, 62, 86, 110, 134, 158, 182}},
        {211, {50, 74, 98, 122, 146, 170}},
        {232, {62, 86, 110, 134, 158}},
        {267, {5, 22, 39, 56, 73, 90, 125, 142, 159, 176, 193, 210}},
        {277, {4, 124}},
    };
    std::set<std::pair<int, int>> expected;
    for (const auto& [y, xs] : table)
        for (int x : xs)
            expected.insert({x, y});
    ASSERT_EQ(expected.size(), 82u);
    auto g = Load(141);
    std::set<std::pair<int, int>> found;
    for (int y = 0; y < g->GetHeight(); ++y)
        for (int x = 0; x < g->GetWidth(); ++x) {
            Color c = g->GetPixelColor(x, y);
            if (c == kKey)
                found.insert({x, y});
            else
                ASSERT_EQ(c, host::RGB(0, 0, 0)) << x << ", " << y;
        }
    EXPECT_EQ(found, expected);
}

// Edges are smoothed against the black they stand on: a pixel at the rim of a red or green
// shape never leans towards the transparent blue.
TEST(ArtSheets, NoBlueFringes) {
    struct Case {
        int nId;
        std::vector<int> frames;
    } cases[] = {
        {146, {1, 3, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}}, // green and red rings and balls
        {140, {0, 1, 2, 3, 4, 5, 6}},
        {147, {0}},
    };
    for (const Case& c : cases) {
        const Expected& e = *std::find_if(std::begin(kExpected), std::end(kExpected),
                                          [&](const Expected& x) { return x.nId == c.nId; });
        auto g = Load(c.nId);
        int cColumns = e.cx / e.cxFrame, cEdge = 0;
        for (int f : c.frames) {
            int x0 = (f % cColumns) * e.cxFrame, y0 = (f / cColumns) * e.cyFrame;
            auto at = [&](int x, int y) {
                bool fInside = x >= 0 && y >= 0 && x < e.cxFrame && y < e.cyFrame;
                return fInside ? g->GetPixelColor(x0 + x, y0 + y) : kKey;
            };
            for (int y = 0; y < e.cyFrame; ++y)
                for (int x = 0; x < e.cxFrame; ++x) {
                    Color p = at(x, y);
                    if (p == kKey || (at(x - 1, y) != kKey && at(x + 1, y) != kKey &&
                                      at(x, y - 1) != kKey && at(x, y + 1) != kKey))
                        continue;
                    ++cEdge;
                    EXPECT_LE(host::GetBValue(p), std::max(host::GetRValue(p), host::GetGValue(p)))
                        << "sheet " << c.nId << " frame " << f << " at " << x << ", " << y;
                }
        }
        EXPECT_GT(cEdge, 0);
    }
}

TEST(ArtProgram, WritesTheSameBytesEveryRun) {
    testsupport::TempFolder a("kelvano-art"), b("kelvano-art");
    for (const auto* folder : {&a, &b})
        ASSERT_EQ(testsupport::RunProgram(folder->Path(), KELVANO_ART_PROGRAM, "sheets .").nExit,
                  0);
    std::vector<std::string> files = {art::kIconFile};
    for (const art::SheetSpec& s : art::Sheets())
        files.push_back(s.pszFile);
    for (const std::string& name : files) {
        std::string bytes = Slurp(a.File(name));
        EXPECT_GT(bytes.size(), 100u) << name;
        EXPECT_TRUE(bytes == Slurp(b.File(name))) << name;
        EXPECT_TRUE(bytes == Slurp(std::string(KELVANO_ART_DIR) + "/" + name)) << name;
    }
}

// The icon as kelvano-rc embeds it and the resource reader hands it out: three 32-bit
// images, see-through corners, opaque balls of the right colours.
TEST(ArtIcon, RoundTripsThroughTheResourceReader) {
    std::vector<host::IconImage> images;
    ASSERT_TRUE(host::LoadIconImages(nullptr, 102, host::LANG_ID_ENGLISH, &images));
    ASSERT_EQ(images.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const int s = 16 * static_cast<int>(i + 1);
        const host::IconImage& im = images[i];
        SCOPED_TRACE(s);
        ASSERT_EQ(im.cx, s);
        ASSERT_EQ(im.cy, s);
        ASSERT_EQ(im.wBitCount, 32);
        const std::size_t cbMaskRow = (s + 31) / 32 * 4;
        ASSERT_EQ(im.cbData, 40 + 4u * s * s + cbMaskRow * s);
        int32_t header[3];
        std::memcpy(header, im.pData, sizeof header);
        EXPECT_EQ(header[0], 40);
        EXPECT_EQ(header[2], 2 * s); // colour and mask halves
        // Rows are stored bottom-up.
        auto pixel = [&](int x, int y) { return im.pData + 40 + ((s - 1 - y) * s + x) * 4; };
        auto masked = [&](int x, int y) {
            return (im.pData[40 + 4 * s * s + (s - 1 - y) * cbMaskRow + x / 8] >> (7 - x % 8)) & 1;
        };
        EXPECT_EQ(pixel(0, 0)[3], 0);
        EXPECT_EQ(masked(0, 0), 1);
        const uint8_t* blue = pixel(s / 3, s * 4 / 7);
        const uint8_t* red = pixel(s * 2 / 3, s * 3 / 7);
        EXPECT_EQ(blue[3], 255);
        EXPECT_EQ(masked(s / 3, s * 4 / 7), 0);
        EXPECT_GT(blue[0], blue[2] + 60); // blue, green, red, alpha
        EXPECT_GT(red[2], red[0] + 60);
    }
}

TEST(ArtContact, EntriesOnTheCommandLine) {
    struct Case {
        const char* text;
        bool fOk;
        int nId = 0, cx = 0, cy = 0;
        const char* path = "";
    } cases[] = {
        {"146:a/cells.psp:23x23", true, 146, 23, 23, "a/cells.psp"},
        {"1:c:\\x:y.psp:1x2", true, 1, 1, 2, "c:\\x:y.psp"},
        {"146:cells.psp", false},
        {"146::23x23", false},
        {"0:a:23x23", false},
        {"146:a:23", false},
        {"146:a:0x5", false},
        {"x:a:1x1", false},
    };
    for (const Case& c : cases) {
        art::ContactEntry e;
        ASSERT_EQ(art::ParseContactEntry(c.text, &e), c.fOk) << c.text;
        if (!c.fOk) continue;
        EXPECT_EQ(e.nId, c.nId);
        EXPECT_EQ(e.path, c.path);
        EXPECT_EQ(e.cxFrame, c.cx);
        EXPECT_EQ(e.cyFrame, c.cy);
    }
}

// The sheet shows each pixel twice as large, transparent ones as the grey background.
TEST(ArtContact, ShowsFramesDoubledOnGrey) {
    testsupport::TempFolder folder("kelvano-art");
    std::string error;
    ASSERT_TRUE(art::WriteAll(folder.Path().string(), &error)) << error;
    std::string png = folder.File("contact.png");
    ASSERT_TRUE(art::WriteContactSheet({{147, folder.File("tray.psp"), 111, 12}}, png, &error))
        << error;
    testsupport::Picture picture = testsupport::ReadPng(png);
    ASSERT_GT(picture.cx, 0);
    auto tray = Load(147);
    // Find the frame's top-left: the first row whose pixels are not all background.
    int yTop = -1;
    for (int y = 30; y < picture.cy && yTop < 0; ++y)
        if (picture.At(12 + 2 * 55, y) != host::RGB(128, 128, 128)) yTop = y;
    ASSERT_GE(yTop, 0);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 111; ++x) {
            Color c = tray->GetPixelColor(x, y);
            Color want = c == kKey ? host::RGB(128, 128, 128) : c;
            for (int k = 0; k < 4; ++k)
                ASSERT_EQ(picture.At(12 + 2 * x + k % 2, yTop + 2 * y + k / 2), want)
                    << x << ", " << y;
        }
    EXPECT_FALSE(art::WriteContactSheet({{147, folder.File("tray.psp"), 50, 12}}, png, &error));
}

} // namespace
