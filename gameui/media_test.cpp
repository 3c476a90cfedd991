// The generated pictures and sounds as the script carries them: the sizes and frames the
// game cuts, the colour budget of the shared palette, the board's layout markers, the
// sounds' formats and the logo's packed resources.
#include "anim/cea_graphic.h"
#include "anim/cea_palette.h"
#include "foundation/tl_language.h"
#include "gameui/layout.h"
#include "gameui/layout_test_support.h"
#include "gameui/resdata.h"
#include "gameui/resource.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace {

constexpr Color kKey = host::RGB(0, 0, 255);
constexpr Color kBlack = host::RGB(0, 0, 0);
constexpr Color kWhite = host::RGB(255, 255, 255);

struct Sheet {
    UINT id;
    int cx, cy;   // the sheet
    int cxF, cyF; // a frame
    int cFrames;
    bool fLettering; // budget of the lettering sheets, else of the art sheets
};

// clang-format off
const Sheet kSheets[] = {
    {IDG_BOARD,        240, 294, 240, 294,  1, false},
    {IDG_ARROWS,        42, 245,  42,  35,  7, false},
    {IDG_CELLS,        115,  92,  23,  23, 20, false},
    {IDG_STATUS,       240, 432, 240,  18, 24, true},
    {IDG_TRAY,         111,  12, 111,  12,  1, false},
    {IDG_BUTTONS,      128, 126,  32,  21, 24, true},
    {IDG_RIPPLE_LARGE, 128, 256,  64,  64,  8, false},
    {IDG_RIPPLE_SMALL,  64, 128,  32,  32,  8, false},
};
// clang-format on

std::unique_ptr<Graphic> LoadSheet(UINT id) {
    RESOURCEDATA data;
    if (!LoadGameResource(nullptr, id, "GRAPHIC", &data)) return nullptr;
    auto graphic = std::make_unique<Graphic>(data.pbData, data.cbData, nullptr,
                                             id == IDG_BOARD ? clrNone : kKey);
    FreeResourceData(&data);
    return graphic;
}

std::vector<Color> Pixels(const Graphic& g) {
    std::vector<Color> colors;
    for (int y = 0; y < g.GetHeight(); ++y)
        for (int x = 0; x < g.GetWidth(); ++x)
            colors.push_back(g.GetPixelColor(x, y));
    return colors;
}

class Media : public testing::Test {
protected:
    void TearDown() override { cetl::ResetLanguage(); }
    testsupport::TempRegistry registry_{"gameui-media"};
};

// Each sheet: its size, 8 bits, frames that each show something, the key colour in at most
// one table entry; each producer within its share of the palette.
TEST_F(Media, SheetsAndColourBudget) {
    std::set<Color> art, lettering;
    for (const Sheet& s : kSheets) {
        SCOPED_TRACE(s.id);
        std::unique_ptr<Graphic> g = LoadSheet(s.id);
        ASSERT_TRUE(g && g->IsValid());
        EXPECT_EQ(g->GetWidth(), s.cx);
        EXPECT_EQ(g->GetHeight(), s.cy);
        EXPECT_EQ(g->GetDepth(), 8);
        EXPECT_EQ((s.cx / s.cxF) * (s.cy / s.cyF), s.cFrames);
        EXPECT_TRUE(s.cx % s.cxF == 0 && s.cy % s.cyF == 0);

        host::PALETTEENTRY entries[256] = {};
        const UINT cEntries = g->GetPaletteEntries(entries, 0, 256);
        int cKeyEntries = 0;
        for (UINT i = 0; i < cEntries; ++i)
            cKeyEntries +=
                entries[i].peRed == 0 && entries[i].peGreen == 0 && entries[i].peBlue == 255;
        EXPECT_LE(cKeyEntries, 1);

        const std::vector<Color> pixels = Pixels(*g);
        for (Color clr : pixels)
            if (clr != kBlack && clr != kWhite && clr != kKey)
                (s.fLettering ? lettering : art).insert(clr);
        if (s.id == IDG_BOARD) continue;
        for (int f = 0; f < s.cFrames; ++f) {
            const int x0 = s.cxF * (f % (s.cx / s.cxF)), y0 = s.cyF * (f / (s.cx / s.cxF));
            bool fInk = false;
            for (int y = y0; y < y0 + s.cyF && !fInk; ++y)
                for (int x = x0; x < x0 + s.cxF && !fInk; ++x)
                    fInk = pixels[static_cast<size_t>(y * s.cx + x)] != kKey;
            EXPECT_TRUE(fInk) << "frame " << f << " is empty";
        }
    }
    EXPECT_LE(art.size(), 180u);
    EXPECT_LE(lettering.size(), 60u);
}

// The board is black but for its 82 markers, which give the shipped layout and are gone
// after the scan.
TEST_F(Media, BoardLayout) {
    std::unique_ptr<Graphic> board = LoadSheet(IDG_BOARD);
    ASSERT_TRUE(board && board->IsValid());
    int cMarkers = 0, cOther = 0;
    for (Color clr : Pixels(*board))
        (clr == kKey ? cMarkers : cOther) += clr != kBlack;
    EXPECT_EQ(cMarkers, 82);
    EXPECT_EQ(cOther, 0);
    LAYOUT layout;
    ASSERT_TRUE(ScanLayout(board.get(), &layout));
    gameui_test::ExpectShipped(layout);
    for (Color clr : Pixels(*board))
        ASSERT_EQ(clr, kBlack);
}

// One palette for all sheets: merging them places every colour, so every pixel keeps its
// colour.
TEST_F(Media, SharedPaletteHoldsEverySheet) {
    std::vector<std::unique_ptr<Graphic>> sheets;
    std::vector<std::vector<Color>> before;
    PaletteGroup group;
    const DWORD cFailedBefore = PaletteGroup::OutOfColorsCount();
    ASSERT_TRUE(group.Open());
    for (const Sheet& s : kSheets) {
        sheets.push_back(LoadSheet(s.id));
        ASSERT_TRUE(sheets.back() && sheets.back()->IsValid()) << s.id;
        before.push_back(Pixels(*sheets.back()));
        group.Add(sheets.back().get(), FALSE);
    }
    group.Close();
    EXPECT_EQ(PaletteGroup::OutOfColorsCount(), cFailedBefore);
    for (size_t i = 0; i < sheets.size(); ++i)
        EXPECT_TRUE(Pixels(*sheets[i]) == before[i]) << kSheets[i].id;
}

TEST_F(Media, Icon) {
    std::vector<host::IconImage> images;
    ASSERT_TRUE(host::LoadIconImages(nullptr, IDI_KELVANO, host::LANG_ID_ENGLISH, &images));
    EXPECT_FALSE(images.empty());
}

TEST_F(Media, LogoPicture) {
    RESOURCEDATA data;
    ASSERT_TRUE(LoadPackedResource(nullptr, RT_LOGO, IDR_LOGO_PICTURE, &data));
    Graphic logo(data.pbData, data.cbData);
    FreeResourceData(&data);
    ASSERT_TRUE(logo.IsValid());
    EXPECT_EQ(logo.GetHeight() % 20, 0);
    EXPECT_TRUE(logo.GetWidth() > 0 && logo.GetWidth() <= 240);
    EXPECT_TRUE(logo.GetHeight() >= 20 && logo.GetHeight() / 20 <= 294);
}

DWORD Le32(const BYTE* pb) {
    return pb[0] | pb[1] << 8 | pb[2] << 16 | static_cast<DWORD>(pb[3]) << 24;
}

// A mono PCM wave at 11 025 or 22 050 samples a second, 8 or 16 bits, with samples.
void ExpectWave(const RESOURCEDATA& data) {
    ASSERT_GE(data.cbData, 44u);
    const BYTE* pb = data.pbData;
    ASSERT_EQ(std::memcmp(pb, "RIFF", 4), 0);
    ASSERT_EQ(std::memcmp(pb + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(pb[20] | pb[21] << 8, 1) << "PCM";
    EXPECT_EQ(pb[22] | pb[23] << 8, 1) << "mono";
    const DWORD nRate = Le32(pb + 24);
    EXPECT_TRUE(nRate == 11025 || nRate == 22050) << nRate;
    const int nBits = pb[34] | pb[35] << 8;
    EXPECT_TRUE(nBits == 8 || nBits == 16) << nBits;
    DWORD off = 20 + Le32(pb + 16);
    while (off + 8 <= data.cbData && std::memcmp(pb + off, "data", 4) != 0)
        off += 8 + Le32(pb + off + 4);
    ASSERT_LE(off + 8, data.cbData) << "no data chunk";
    EXPECT_GT(Le32(pb + off + 4), 0u);
    EXPECT_LE(off + 8 + Le32(pb + off + 4), data.cbData);
}

TEST_F(Media, Sounds) {
    for (UINT id = IDW_FIRST; id <= IDW_LAST; ++id) {
        SCOPED_TRACE(id);
        RESOURCEDATA data;
        ASSERT_TRUE(LoadGameResource(nullptr, id, "WAVE", &data));
        EXPECT_EQ(data.pbUnpacked, nullptr) << "the game's sounds ship plain";
        ExpectWave(data);
        FreeResourceData(&data);
    }
    for (UINT id : {IDR_LOGO_SOUND1, IDR_LOGO_SOUND2, IDR_LOGO_SOUND3}) {
        SCOPED_TRACE(id);
        RESOURCEDATA data;
        ASSERT_TRUE(LoadPackedResource(nullptr, RT_LOGO, id, &data));
        ExpectWave(data);
        FreeResourceData(&data);
    }
}

} // namespace
