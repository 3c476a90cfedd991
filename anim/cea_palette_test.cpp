#include "anim/cea_palette.h"

#include "anim/cea_display.h"
#include "anim/cea_sprite.h"
#include "foundation/memmgr.h"
#include "foundation/tl_string.h"
#include "host/debug.h"
#include "host/screen.h"
#include "host/window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using host::FALSE;
using host::RGB;

namespace {

// As the framework prints addresses in its messages.
std::string Hex(const void* pv) {
    return cetl::sformat("0x%08lX", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pv)))
        .Text8();
}

int Occurrences(const std::string& text, const std::string& what) {
    int c = 0;
    for (size_t i = text.find(what); i != std::string::npos; i = text.find(what, i + 1)) {
        c++;
    }
    return c;
}

std::vector<PALETTEENTRY> Entries(const PaletteGroup& group) {
    std::vector<PALETTEENTRY> v(256);
    EXPECT_EQ(group.GetEntries(v.data(), 0, 256), 256u);
    return v;
}

bool SameEntries(const std::vector<PALETTEENTRY>& a, const std::vector<PALETTEENTRY>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); i++) {
        if (a[i].peRed != b[i].peRed || a[i].peGreen != b[i].peGreen ||
            a[i].peBlue != b[i].peBlue) {
            return false;
        }
    }
    return true;
}

RGBQUAD Quad(Color clr) {
    return {static_cast<BYTE>(clr >> 16), static_cast<BYTE>(clr >> 8), static_cast<BYTE>(clr), 0};
}

// An 8-bit (or smaller) graphic whose table holds the colours given, the rest black.
struct Sheet {
    Graphic graphic;
    Sheet(int cx, int cy, int nDepth, const std::vector<Color>& colors)
        : graphic(cx, cy, nDepth, Table(colors).data()) {}
    static std::vector<RGBQUAD> Table(const std::vector<Color>& colors) {
        std::vector<RGBQUAD> table(256, RGBQUAD{0, 0, 0, 0});
        for (size_t i = 0; i < colors.size() && i < 256; i++) {
            table[i] = Quad(colors[i]);
        }
        return table;
    }
    std::vector<Color> PixelColors() {
        std::vector<Color> v;
        for (int y = 0; y < graphic.GetHeight(); y++) {
            for (int x = 0; x < graphic.GetWidth(); x++) {
                v.push_back(graphic.GetPixelColor(x, y));
            }
        }
        return v;
    }
};

// Every test runs on an 8-bit headless screen with an 8-bit display descriptor.
class PaletteGroupTest : public ::testing::Test {
protected:
    void SetUp() override {
        DestroyDisplay();
        host::ShutdownScreen();
        host::ScreenOptions options;
        options.backend = host::ScreenBackendKind::kHeadless;
        options.profile = host::ScreenProfile::kDesktop;
        options.nDepth = 8;
        ASSERT_TRUE(host::InitScreen(options));
        ASSERT_NE(CreateDisplay(true), nullptr);
        ASSERT_EQ(GetDisplayDepth(), 8);
    }
    void TearDown() override {
        DestroyDisplay();
        host::ShutdownScreen();
    }
};

TEST(PaletteTablesTest, FixedSlotsArePermutationOfTheCube) {
    // Every cube colour has a slot of its own and every slot holds one cube colour.
    std::vector<int> cubeOfSlot(256, -1);
    for (int i = 0; i < 256; i++) {
        int iSlot = PaletteGroup::FixedSlot(i);
        EXPECT_EQ(cubeOfSlot[iSlot], -1)
            << "slot " << iSlot << " taken by cubes " << cubeOfSlot[iSlot] << " and " << i;
        cubeOfSlot[iSlot] = i;
    }
    // Slots 0 to 15 hold the named colours, 255 white; slots 16 to 254 keep the cube order.
    struct Known {
        int iCube, iSlot;
    };
    const Known known[] = {
        {0, 0},   {64, 1},   {24, 2},    {88, 3},  {3, 4},    {67, 5}, {27, 6},
        {173, 7}, {91, 8},   {192, 9},   {56, 10}, {248, 11}, {7, 12}, {199, 13},
        {63, 14}, {254, 15}, {255, 255}, {1, 16},  {2, 17},   {4, 18}, {253, 254},
    };
    for (const Known& k : known) {
        EXPECT_EQ(PaletteGroup::FixedSlot(k.iCube), k.iSlot) << "cube " << k.iCube;
    }
    for (int iSlot = 17; iSlot < 255; iSlot++) {
        EXPECT_LT(cubeOfSlot[iSlot - 1], cubeOfSlot[iSlot]) << "slot " << iSlot;
    }
    struct Case {
        BYTE r, g, b;
        int slot;
    };
    // The lookup cuts each channel at 64/128/192 (red) and multiples of 32 (green, blue),
    // so a level between two cuts goes to the next cube level: (128, 0, 0) is cube 128.
    const Case cases[] = {
        {255, 255, 255, 255}, {0, 0, 0, 0},       {63, 31, 31, 0},   {255, 0, 0, 9},
        {0, 255, 0, 10},      {0, 0, 255, 12},    {128, 0, 0, 133},  {192, 192, 192, 248},
        {64, 32, 32, 80},     {191, 160, 160, 7}, {127, 95, 95, 89},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PaletteGroup::FixedSlotForColor(c.r, c.g, c.b), c.slot)
            << int(c.r) << "," << int(c.g) << "," << int(c.b);
    }
}

TEST(PaletteTablesTest, ColourToHLS) {
    // Worked by hand: table cells, and the conversion itself off the tables' grid.
    struct Cell {
        int j;
        int h, l, s;
    };
    const Cell cells[] = {
        {0x000, 170, 4, 0},    {0xFFF, 170, 244, 0},   {0xF00, 0, 124, 247},
        {0x0F0, 85, 124, 247}, {0x00F, 170, 124, 247}, {0xF08, 235, 124, 247},
        {0xFF8, 42, 188, 213}, {0x631, 17, 60, 170},
    };
    for (const Cell& c : cells) {
        EXPECT_EQ(PaletteGroup::HueTable()[c.j], c.h) << std::hex << c.j;
        EXPECT_EQ(PaletteGroup::LightnessTable()[c.j], c.l) << std::hex << c.j;
        EXPECT_EQ(PaletteGroup::SaturationTable()[c.j], c.s) << std::hex << c.j;
    }
    struct Colour {
        BYTE r, g, b;
        int h, l, s;
    };
    const Colour colours[] = {
        {255, 0, 0, 0, 128, 255},
        {255, 128, 0, 21, 128, 255},
        {128, 128, 128, 170, 128, 0},
        {0, 0, 0, 170, 0, 0},
    };
    for (const Colour& c : colours) {
        BYTE h, l, s;
        PaletteGroup::ColorToHLS(c.r, c.g, c.b, &h, &l, &s);
        EXPECT_EQ(h, c.h) << int(c.r) << "," << int(c.g) << "," << int(c.b);
        EXPECT_EQ(l, c.l) << int(c.r) << "," << int(c.g) << "," << int(c.b);
        EXPECT_EQ(s, c.s) << int(c.r) << "," << int(c.g) << "," << int(c.b);
    }

    // Properties of any hue/lightness/saturation model, over a sweep of colours.
    auto CircularDistance = [](int a, int b) {
        int d = std::abs(a - b) % 256;
        return std::min(d, 256 - d);
    };
    for (int r = 0; r < 256; r += 15) {
        for (int g = 0; g < 256; g += 17) {
            for (int b = 0; b < 256; b += 5) {
                SCOPED_TRACE(testing::Message() << r << "," << g << "," << b);
                BYTE h, l, s;
                PaletteGroup::ColorToHLS(BYTE(r), BYTE(g), BYTE(b), &h, &l, &s);
                const int nMax = std::max({r, g, b});
                const int nMin = std::min({r, g, b});
                // Lightness lies between the darkest and the brightest channel.
                ASSERT_GE(l, nMin);
                ASSERT_LE(l, nMax);
                if (nMax == nMin) {
                    ASSERT_EQ(s, 0); // greys have no saturation and the agreed hue
                    ASSERT_EQ(h, 170);
                    ASSERT_EQ(l, nMax);
                    continue;
                }
                ASSERT_GT(s, 0);
                if (nMin == 0 || nMax == 255) { // on the edge of the gamut
                    ASSERT_EQ(s, 255);
                }
                // The hue lies within a sixth of the circle of a brightest channel's primary
                // (red 0, green 85, blue 170).
                int nNearest = 256;
                if (r == nMax) nNearest = std::min(nNearest, CircularDistance(h, 0));
                if (g == nMax) nNearest = std::min(nNearest, CircularDistance(h, 85));
                if (b == nMax) nNearest = std::min(nNearest, CircularDistance(h, 170));
                ASSERT_LE(nNearest, 42) << "hue " << int(h);
                // Lightness and saturation do not depend on which channel is which.
                BYTE h2, l2, s2;
                PaletteGroup::ColorToHLS(BYTE(b), BYTE(r), BYTE(g), &h2, &l2, &s2);
                ASSERT_EQ(l2, l);
                ASSERT_EQ(s2, s);
            }
        }
    }
}

TEST_F(PaletteGroupTest, NewGroupHoldsBlackAndWhiteOnly) {
    PaletteGroup group;
    EXPECT_FALSE(group.IsOpen());
    EXPECT_FALSE(group.IsFixedPalette());
    EXPECT_EQ(group.GetColor(0), RGB(0, 0, 0));
    EXPECT_EQ(group.GetColor(255), RGB(255, 255, 255));
    for (DWORD i = 1; i < 255; i++) {
        EXPECT_EQ(group.GetColor(i), RGB(0, 0, 0)) << i;
    }
    EXPECT_EQ(group.GetColor(256), static_cast<Color>(-1));
    EXPECT_EQ(group.FindColor(RGB(255, 255, 255)), 255);
    EXPECT_EQ(group.FindColor(RGB(0, 0, 0)), 0);
    EXPECT_EQ(group.FindColor(RGB(1, 2, 3)), -1);
    EXPECT_EQ(group.GetNearestTable(), nullptr);

    struct Case {
        UINT iFirst, cEntries, cCopied;
    };
    const Case cases[] = {{0, 256, 256}, {250, 10, 6}, {255, 1, 1},
                          {256, 1, 0},   {0, 0, 0},    {1000, 5, 0}};
    for (const Case& c : cases) {
        PALETTEENTRY rg[300];
        EXPECT_EQ(group.GetEntries(rg, c.iFirst, c.cEntries), c.cCopied)
            << c.iFirst << "+" << c.cEntries;
    }
    ASSERT_TRUE(group.Open());
    PALETTEENTRY pe;
    EXPECT_EQ(group.GetEntries(&pe, 0, 1), 0u);
    EXPECT_EQ(group.GetColor(0), static_cast<Color>(-1));
    EXPECT_EQ(group.FindColor(RGB(0, 0, 0)), -1);
    EXPECT_EQ(group.GetPalette(), nullptr);
    group.Close();
}

TEST_F(PaletteGroupTest, EditingAClosedGroupOnlyLogs) {
    PaletteGroup group;
    Sheet sheet(2, 2, 8, {RGB(10, 20, 30)});
    Sprite sprite(&sheet.graphic, 1, 1, SPRITE_NO_LIMIT);
    PALETTEENTRY pe = {1, 2, 3, 0};
    const std::string g = Hex(&group);
    struct Case {
        std::function<void()> edit;
        std::string text;
    };
    const Case cases[] = {
        {[&] { group.Add(&sheet.graphic, FALSE); },
         "Add (Graphic " + Hex(&sheet.graphic) + ") called for closed PaletteGroup " + g},
        {[&] { group.Add(&sprite, FALSE); },
         "Add (Sprite " + Hex(&sprite) + ") called for closed PaletteGroup " + g},
        {[&] { group.AddSpecific(7, RGB(1, 2, 3)); },
         "AddSpecific (7) called for closed PaletteGroup " + g},
        {[&] { group.AddSpecific(9, &pe); },
         "AddSpecific (9,pe) called for closed PaletteGroup " + g},
        {[&] { group.RemoveSpecific(255); },
         "RemoveSpecific(255) called for closed PaletteGroup " + g},
        {[&] { group.Add(RGB(1, 2, 3)); }, "Add (Color) called for closed PaletteGroup " + g},
        {[&] { group.Remove(RGB(255, 255, 255)); },
         "Remove (Color) called for closed PaletteGroup " + g},
        {[&] { group.Add(PE_FIXED_PALETTE, 0); },
         "Add (PaletteEntry) called for closed PaletteGroup " + g},
        {[&] { group.Remove(PE_FIXED_PALETTE, 0); },
         "Remove (PaletteEntry) called for closed PaletteGroup " + g},
    };
    const std::vector<PALETTEENTRY> before = Entries(group);
    for (const Case& c : cases) {
        host::DebugCapture capture;
        c.edit();
        EXPECT_EQ(Occurrences(capture.Text(), c.text), 1) << c.text << "\n" << capture.Text();
        ASSERT_TRUE(group.Open());
        group.Close();
        EXPECT_TRUE(SameEntries(Entries(group), before)) << c.text;
        EXPECT_FALSE(group.IsFixedPalette());
    }
    EXPECT_EQ(sheet.graphic.GetPaletteGroup(), nullptr);
    EXPECT_EQ(sheet.graphic.GetPaletteColor(0), RGB(10, 20, 30));
}

TEST_F(PaletteGroupTest, SharedColourMergesToOneSlotForBothGraphics) {
    const Color red = RGB(200, 0, 0), green = RGB(0, 200, 0), blue = RGB(0, 0, 200);
    Sheet a(3, 1, 8, {green, blue, RGB(0, 0, 0), red});
    Sheet b(3, 1, 8, {blue, RGB(9, 9, 9), green, green, green, green, green, red});
    for (int x = 0; x < 3; x++) {
        a.graphic.SetPixelValue(x, 0, x == 0 ? 3 : x - 1);
        b.graphic.SetPixelValue(x, 0, x == 0 ? 7 : (x == 1 ? 0 : 2));
    }
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    group.Add(&a.graphic, FALSE);
    group.Add(&b.graphic, FALSE);
    group.Add(&b.graphic, FALSE); // present already
    group.Close();
    int iRed = group.FindColor(red);
    ASSERT_GT(iRed, 0);
    EXPECT_EQ(a.graphic.GetPixelValue(0, 0), DWORD(iRed));
    EXPECT_EQ(b.graphic.GetPixelValue(0, 0), DWORD(iRed));
    EXPECT_EQ(a.graphic.GetPixelValue(1, 0), DWORD(group.FindColor(green)));
    EXPECT_EQ(b.graphic.GetPixelValue(2, 0), DWORD(group.FindColor(green)));
    EXPECT_EQ(a.graphic.GetPixelValue(2, 0), b.graphic.GetPixelValue(1, 0)); // blue
    int cRed = 0;
    for (DWORD i = 0; i < 256; i++) {
        cRed += group.GetColor(i) == red;
    }
    EXPECT_EQ(cRed, 1);
    EXPECT_EQ(a.graphic.GetPaletteGroup(), &group);
    EXPECT_TRUE(SameEntries(Entries(group), [&] {
        std::vector<PALETTEENTRY> v(256);
        a.graphic.GetPaletteEntries(v.data(), 0, 256);
        return v;
    }()));
}

TEST_F(PaletteGroupTest, MergeKeepsEveryPixelsColour) {
    // Colours from one shared set at different indices per graphic, plus a child graphic,
    // a 4-bit and a 1-bit graphic, which can only use the lowest slots.
    std::vector<Color> shared;
    for (int i = 0; i < 120; i++) {
        shared.push_back(RGB(BYTE(i * 2 + 1), BYTE(255 - i), BYTE((i * 37) & 255)));
    }
    std::uint32_t n = 12345;
    auto next = [&] { return (n = n * 1664525u + 1013904223u) >> 8; };
    struct SheetShape {
        int cx, cy, nDepth, cColors;
    };
    // The small depths first: they can only use the lowest slots.
    const SheetShape shapes[] = {
        {9, 7, 4, 16}, {11, 3, 1, 2}, {17, 9, 8, 90}, {31, 4, 8, 120}, {5, 5, 8, 3}};
    std::vector<std::unique_ptr<Sheet>> sheets;
    for (const SheetShape& s : shapes) {
        std::vector<Color> colors;
        if (s.nDepth == 4) {
            colors = {RGB(255, 255, 255), RGB(0, 0, 0)};
        } else if (s.nDepth == 1) {
            colors = {RGB(0, 0, 0), RGB(255, 255, 255)};
        }
        while (static_cast<int>(colors.size()) < s.cColors) {
            colors.push_back(shared[next() % shared.size()]);
        }
        sheets.push_back(std::make_unique<Sheet>(s.cx, s.cy, s.nDepth, colors));
        for (int y = 0; y < s.cy; y++) {
            for (int x = 0; x < s.cx; x++) {
                sheets.back()->graphic.SetPixelValue(x, y, next() % s.cColors);
            }
        }
    }
    sheets[2]->graphic.SetTransparency(sheets[2]->graphic.GetPaletteColor(5));
    std::vector<std::vector<Color>> before;
    for (auto& s : sheets) {
        before.push_back(s->PixelColors());
    }
    RECT rc = {2, 1, 6, 4};
    Graphic child(&sheets[3]->graphic, &rc);
    PaletteGroup group;
    DWORD cFailedBefore = PaletteGroup::OutOfColorsCount();
    ASSERT_TRUE(group.Open());
    ASSERT_TRUE(group.Open()); // nested: merges once, at the outer Close
    for (size_t i = 0; i < sheets.size(); i++) {
        group.Add(i == 3 ? &child : &sheets[i]->graphic, FALSE); // a child adds its root
    }
    group.Close();
    EXPECT_TRUE(group.IsOpen());
    for (size_t i = 0; i < sheets.size(); i++) {
        EXPECT_EQ(sheets[i]->PixelColors(), before[i]) << "changed before the outer Close";
    }
    group.Close();
    EXPECT_FALSE(group.IsOpen());
    EXPECT_EQ(PaletteGroup::OutOfColorsCount(), cFailedBefore);
    for (size_t i = 0; i < sheets.size(); i++) {
        EXPECT_EQ(sheets[i]->PixelColors(), before[i]) << "sheet " << i;
        EXPECT_EQ(sheets[i]->graphic.GetPaletteGroup(), &group) << "sheet " << i;
        int cColors = 1 << sheets[i]->graphic.GetDepth();
        for (int v = 0; v < cColors; v++) {
            EXPECT_EQ(sheets[i]->graphic.GetPaletteColor(v), group.GetColor(v));
        }
    }
    EXPECT_EQ(child.GetPaletteGroup(), &group);

    // A second merge leaves the colours alone too; a removed graphic is left out, a new
    // one fills the free record.
    group.Remove(&sheets[4]->graphic);
    EXPECT_EQ(sheets[4]->graphic.GetPaletteGroup(), nullptr);
    Sheet extra(3, 1, 8, {RGB(1, 2, 3), shared[7], RGB(255, 255, 255)});
    for (int x = 0; x < 3; x++) {
        extra.graphic.SetPixelValue(x, 0, DWORD(x));
    }
    ASSERT_TRUE(group.Open());
    group.Add(&extra.graphic, FALSE);
    group.Close();
    EXPECT_EQ(PaletteGroup::OutOfColorsCount(), cFailedBefore);
    for (size_t i = 0; i < sheets.size(); i++) {
        EXPECT_EQ(sheets[i]->PixelColors(), before[i]) << "sheet " << i;
    }
    EXPECT_EQ(extra.PixelColors(),
              (std::vector<Color>{RGB(1, 2, 3), shared[7], RGB(255, 255, 255)}));
}

TEST_F(PaletteGroupTest, RunningOutOfColoursLogsOnceAndKeepsPixels) {
    const std::string message = "Out of colors when merging graphic into palette";
    const DWORD cBefore = PaletteGroup::OutOfColorsCount();
    host::DebugCapture capture;
    auto color = [](int i) { return RGB(BYTE(i), BYTE(i >> 8 | 0x40), 7); };
    {
        PaletteGroup group;
        ASSERT_TRUE(group.Open());
        for (int i = 0; i < 300; i++) {
            group.Add(color(i));
        }
        group.Close();
        for (int i = 0; i < 254; i++) {
            EXPECT_EQ(group.FindColor(color(i)), i + 1) << i;
        }
        EXPECT_EQ(group.FindColor(color(254)), -1);
        EXPECT_EQ(group.FindColor(color(299)), -1);
    }
    const DWORD cAfterFirst = PaletteGroup::OutOfColorsCount();
    EXPECT_EQ(cAfterFirst, cBefore + 46);
    {
        // 256 distinct colours in one sheet: the last two values find no slot and keep
        // their pixel values.
        std::vector<Color> colors;
        for (int i = 0; i < 256; i++) {
            colors.push_back(RGB(BYTE(i), 99, BYTE(255 - i)));
        }
        Sheet sheet(16, 16, 8, colors);
        for (int i = 0; i < 256; i++) {
            sheet.graphic.SetPixelValue(i % 16, i / 16, DWORD(i));
        }
        PaletteGroup group;
        ASSERT_TRUE(group.Open());
        group.Add(&sheet.graphic, FALSE);
        group.Close();
        for (int i = 0; i < 254; i++) {
            EXPECT_EQ(sheet.graphic.GetPixelColor(i % 16, i / 16), colors[i]) << i;
        }
        EXPECT_EQ(sheet.graphic.GetPixelValue(14, 15), 254u);
        EXPECT_EQ(sheet.graphic.GetPixelValue(15, 15), 255u);
    }
    EXPECT_GT(PaletteGroup::OutOfColorsCount(), cAfterFirst);
    EXPECT_EQ(Occurrences(capture.Text(), message), cBefore == 0 ? 1 : 0) << capture.Text();
}

TEST_F(PaletteGroupTest, ASlotGivenToBlackIsNotReused) {
    // Black pinned to slot 7 leaves the shared colour-sum cache pointing there; black pixels
    // of a group without pins then land in slot 7, which must not go to another colour.
    {
        PaletteGroup pinned;
        ASSERT_TRUE(pinned.Open());
        pinned.Remove(PE_SYSTEM_COLORS, 0); // drops the black and white pins
        pinned.AddSpecific(7, RGB(0, 0, 0));
        pinned.Close();
        ASSERT_EQ(pinned.FindColor(RGB(0, 0, 0)), 7);
    }
    std::vector<Color> colors = {RGB(0, 0, 0)};
    for (int i = 1; i < 12; i++) {
        colors.push_back(RGB(BYTE(i * 20), 1, 2));
    }
    for (bool fPin9 : {false, true}) {
        Sheet sheet(12, 1, 8, colors);
        for (int x = 0; x < 12; x++) {
            sheet.graphic.SetPixelValue(x, 0, DWORD(x));
        }
        PaletteGroup group;
        ASSERT_TRUE(group.Open());
        group.Remove(PE_FIXED_PALETTE, 0);
        if (fPin9) {
            group.AddSpecific(9, RGB(0, 0, 0)); // a pinned black keeps its slot as well
        }
        group.Add(&sheet.graphic, FALSE);
        group.Close();
        EXPECT_EQ(sheet.PixelColors(), colors) << fPin9;
        if (fPin9) {
            EXPECT_EQ(group.GetColor(9), RGB(0, 0, 0));
        }
    }
}

TEST_F(PaletteGroupTest, OpenFailsWhileAMemberHasAnOpenDC) {
    Sheet sheet(8, 8, 8, {RGB(1, 1, 1)});
    RECT rc = {0, 0, 4, 4};
    Graphic child(&sheet.graphic, &rc);
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    group.Add(&sheet.graphic, FALSE);
    group.Close();
    ASSERT_NE(child.GetDC(), nullptr);
    {
        host::DebugCapture capture;
        EXPECT_FALSE(group.Open());
        EXPECT_FALSE(group.IsOpen());
        EXPECT_NE(capture.Text().find("PaletteGroup " + Hex(&group) +
                                      " could not be opened because of graphic " +
                                      Hex(&sheet.graphic)),
                  std::string::npos)
            << capture.Text();
    }
    child.ReleaseDC();
    EXPECT_TRUE(group.Open());
    // Nested opens do not look at the members again.
    ASSERT_NE(sheet.graphic.GetDC(), nullptr);
    EXPECT_TRUE(group.Open());
    group.Close();
    sheet.graphic.ReleaseDC();
    group.Close();
    EXPECT_FALSE(group.IsOpen());
    group.Close(); // unbalanced: ignored
    EXPECT_TRUE(group.Open());
    EXPECT_TRUE(group.IsOpen());
    group.Close();
    EXPECT_FALSE(group.IsOpen());
}

TEST_F(PaletteGroupTest, SpecificColoursAndSlotsOutOfRange) {
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    host::DebugCapture capture;
    for (DWORD iSlot : {256u, 1000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        group.AddSpecific(iSlot, RGB(1, 2, 3)); // no such slot
    }
    group.AddSpecific(10, RGB(40, 50, 60));
    group.AddSpecific(10, RGB(70, 80, 90)); // slot taken by a specific colour: nothing
    group.Add(RGB(100, 100, 100));
    group.AddSpecific(20, RGB(100, 100, 100)); // already present: pinned, keeps slot -1
    group.AddSpecific(30, RGB(5, 5, 5));
    group.RemoveSpecific(30);
    PALETTEENTRY pe = {11, 22, 33, 0};
    group.AddSpecific(40, &pe); // added as a free colour
    group.Add(RGB(250, 0, 0));
    group.Remove(RGB(250, 0, 0));
    PALETTEENTRY rg[2] = {{1, 1, 1, 0}, {2, 2, 2, 0}};
    group.Add(rg, 2);
    group.Remove(&rg[1], 1);
    group.Close();
    EXPECT_EQ(group.GetColor(10), RGB(40, 50, 60));
    EXPECT_EQ(group.FindColor(RGB(70, 80, 90)), -1);
    EXPECT_EQ(group.FindColor(RGB(1, 2, 3)), -1);
    EXPECT_EQ(group.FindColor(RGB(5, 5, 5)), -1);
    EXPECT_EQ(group.FindColor(RGB(250, 0, 0)), -1);
    EXPECT_EQ(group.FindColor(RGB(2, 2, 2)), -1);
    // Free slots are taken in order, after the pinned ones.
    EXPECT_EQ(group.FindColor(RGB(100, 100, 100)), 1);
    EXPECT_EQ(group.FindColor(RGB(11, 22, 33)), 2);
    EXPECT_EQ(group.FindColor(RGB(1, 1, 1)), 3);
    EXPECT_EQ(group.GetColor(20), RGB(0, 0, 0));
    EXPECT_EQ(group.GetColor(0), RGB(0, 0, 0));
    EXPECT_EQ(group.GetColor(255), RGB(255, 255, 255));
    EXPECT_EQ(Occurrences(capture.Text(), "no such slot"), 4) << capture.Text();
}

TEST_F(PaletteGroupTest, FixedPaletteMapsTheCube) {
    const BYTE rgRed[4] = {0, 128, 192, 255};
    const BYTE rgLevel[8] = {0, 40, 80, 115, 160, 192, 225, 255};
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    group.Add(RGB(3, 3, 3)); // free colours play no part in fixed mode
    group.AddSpecific(17, PE_FIXED_PALETTE);
    group.Close();
    ASSERT_TRUE(group.IsFixedPalette());
    EXPECT_EQ(group.FindColor(RGB(3, 3, 3)), -1);
    for (int r = 0; r < 4; r++) {
        for (int g = 0; g < 8; g++) {
            for (int b = 0; b < 8; b++) {
                int iCube = r * 64 + g * 8 + b;
                EXPECT_EQ(group.GetColor(PaletteGroup::FixedSlot(iCube)),
                          RGB(rgRed[r], rgLevel[g], rgLevel[b]))
                    << iCube;
            }
        }
    }
    EXPECT_EQ(group.FindColor(RGB(255, 255, 255)), 255);
    EXPECT_EQ(group.FindColor(RGB(0, 0, 0)), 0);

    // Member pixels snap to the cube colours by the constant-time lookup.
    Sheet sheet(4, 1, 8, {RGB(250, 250, 250), RGB(5, 5, 5), RGB(130, 45, 230), RGB(255, 0, 0)});
    for (int x = 0; x < 4; x++) {
        sheet.graphic.SetPixelValue(x, 0, DWORD(x));
    }
    ASSERT_TRUE(group.Open());
    group.Add(&sheet.graphic, FALSE);
    group.Close();
    EXPECT_EQ(sheet.graphic.GetPixelValue(0, 0), 255u);
    EXPECT_EQ(sheet.graphic.GetPixelValue(1, 0), 0u);
    EXPECT_EQ(sheet.graphic.GetPixelValue(2, 0), PaletteGroup::FixedSlotForColor(130, 45, 230));
    EXPECT_EQ(sheet.graphic.GetPixelColor(3, 0), RGB(255, 0, 0));

    group.BuildNearestTable();
    EXPECT_EQ(group.GetNearestTable(), nullptr);

    ASSERT_TRUE(group.Open());
    group.Remove(PE_FIXED_PALETTE, 0);
    group.Close();
    EXPECT_FALSE(group.IsFixedPalette());
    EXPECT_EQ(group.FindColor(RGB(3, 3, 3)), 1); // no pins left: the free colour takes slot 1
}

TEST_F(PaletteGroupTest, NearestTablePicksTheLowestNearestSlot) {
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    const Color colors[] = {RGB(200, 30, 30),   RGB(30, 200, 30),  RGB(30, 30, 200),
                            RGB(128, 128, 128), RGB(250, 240, 10), RGB(90, 0, 120),
                            RGB(0, 0, 0) /* twice: the lower slot wins */};
    for (Color clr : colors) {
        group.Add(clr);
    }
    group.Close();
    group.BuildNearestTable();
    const BYTE* pbTable = group.GetNearestTable();
    ASSERT_NE(pbTable, nullptr);
    // Each 12-bit colour maps to a slot at the least distance, and no lower slot is as near
    // (the free slots are black too: black's colours stay with slot 0).
    BYTE rgH[256], rgL[256], rgS[256];
    for (DWORD i = 0; i < 256; i++) {
        Color c = group.GetColor(i);
        PaletteGroup::ColorToHLS(BYTE(c), BYTE(c >> 8), BYTE(c >> 16), &rgH[i], &rgL[i], &rgS[i]);
    }
    for (int j = 0; j < 4096; j++) {
        auto Distance = [&](int iSlot) {
            return 2 * std::abs(PaletteGroup::HueTable()[j] - rgH[iSlot]) +
                   std::abs(PaletteGroup::SaturationTable()[j] - rgS[iSlot]) +
                   3 * std::abs(PaletteGroup::LightnessTable()[j] - rgL[iSlot]);
        };
        const int iChosen = pbTable[j];
        const int nChosen = Distance(iChosen);
        for (int i = 0; i < 256; i++) {
            if (i < iChosen) {
                ASSERT_GT(Distance(i), nChosen) << std::hex << j << " slot " << i;
            } else {
                ASSERT_GE(Distance(i), nChosen) << std::hex << j << " slot " << i;
            }
        }
    }
    EXPECT_EQ(pbTable[0x000], 0);
    EXPECT_EQ(group.GetColor(pbTable[0xC22]), RGB(200, 30, 30));
    EXPECT_EQ(group.GetColor(pbTable[0x888]), RGB(128, 128, 128));
    mem::BlockInfo info;
    ASSERT_TRUE(mem::GetBlockInfo(pbTable, &info));
    EXPECT_STREQ(info.pszType, "1 << (5+5+5)");
    EXPECT_GE(info.cbRequested, 1u << 15);
    // Rebuilding replaces the table.
    group.BuildNearestTable();
    EXPECT_NE(group.GetNearestTable(), nullptr);
}

TEST_F(PaletteGroupTest, LogicalPaletteOnPaletteDisplays) {
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    group.AddSpecific(3, RGB(10, 20, 30));
    group.Close();
    host::HPALETTE hpal = group.GetPalette();
    ASSERT_NE(hpal, nullptr);
    EXPECT_EQ(group.GetPalette(), hpal);
    PALETTEENTRY rg[256];
    ASSERT_EQ(host::GetPaletteEntries(hpal, 0, 256, rg), 256u);
    EXPECT_TRUE(SameEntries(std::vector<PALETTEENTRY>(rg, rg + 256), Entries(group)));
    ASSERT_TRUE(group.Open());
    EXPECT_EQ(group.GetPalette(), nullptr);
    group.Close();
    hpal = group.GetPalette();
    ASSERT_NE(hpal, nullptr);
    ASSERT_EQ(host::GetPaletteEntries(hpal, 3, 1, rg), 1u);
    EXPECT_EQ(RGB(rg[0].peRed, rg[0].peGreen, rg[0].peBlue), RGB(10, 20, 30));
}

TEST_F(PaletteGroupTest, SystemColoursOfA256ColourDisplay) {
    PALETTEENTRY rgSystem[256];
    ASSERT_EQ(host::GetSystemPaletteEntries(nullptr, 0, 256, rgSystem), 256u);
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    group.Add(PE_SYSTEM_COLORS, 0);
    group.Close();
    for (int i : {1, 5, 9, 246, 250, 254}) {
        Color clr = RGB(rgSystem[i].peRed, rgSystem[i].peGreen, rgSystem[i].peBlue);
        EXPECT_GE(group.FindColor(clr), 0) << i;
    }
}

TEST_F(PaletteGroupTest, DestroyDetachesMembersAndTheDisplay) {
    Sheet sheet(2, 2, 8, {RGB(1, 2, 3)});
    Sprite sprite(&sheet.graphic, 2, 1, SPRITE_NO_LIMIT);
    ASSERT_EQ(sprite.GetFrameCount(), 2u);
    RECT rc = {0, 0, 1, 1};
    Sprite child(&sprite, &rc);
    PaletteGroup* pGroup = MemNew(PaletteGroup);
    ASSERT_TRUE(pGroup->Open());
    pGroup->Add(&child, FALSE); // the parent's frames, whose root is the sheet
    pGroup->Close();
    EXPECT_EQ(sheet.graphic.GetPaletteGroup(), pGroup);
    pGroup->Remove(&sprite);
    EXPECT_EQ(sheet.graphic.GetPaletteGroup(), nullptr);
    ASSERT_TRUE(pGroup->Open());
    pGroup->Add(&sprite, FALSE);
    GetDisplay()->SetSystemGroup(pGroup);
    host::DebugCapture capture;
    std::string text = "Warning: PaletteGroup " + Hex(pGroup) + " destroyed while open";
    MemDelete(pGroup);
    EXPECT_EQ(Occurrences(capture.Text(), text), 1) << capture.Text();
    EXPECT_EQ(sheet.graphic.GetPaletteGroup(), nullptr);
    EXPECT_EQ(GetDisplay()->GetSystemGroup(), nullptr);
}

// ---- The Graphic side

TEST_F(PaletteGroupTest, BlankGraphicForAGroupJoinsItWithItsColours) {
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    group.Add(RGB(10, 20, 30));
    group.Close();
    Graphic graphic(3, 2, 8, &group);
    EXPECT_EQ(graphic.GetPaletteGroup(), &group);
    for (UINT i = 0; i < 256; i++) {
        EXPECT_EQ(graphic.GetPaletteColor(i), group.GetColor(i)) << i;
    }
    graphic.SetPixelValue(1, 1, 1);
    // Already using the group's palette: a later merge keeps its values, not its colours.
    ASSERT_TRUE(group.Open());
    group.Remove(RGB(10, 20, 30));
    group.Add(RGB(40, 50, 60));
    group.Close();
    EXPECT_EQ(graphic.GetPixelValue(1, 1), 1u);
    EXPECT_EQ(graphic.GetPixelColor(1, 1), RGB(40, 50, 60));
}

TEST_F(PaletteGroupTest, TranslucentDrawingIntoAGroupMember) {
    struct Case {
        const char* name;
        bool fFixed;
        BYTE bOpacity;
    };
    const Case cases[] = {{"fixed, opaque", true, 255},
                          {"fixed, half", true, 128},
                          {"nearest, opaque", false, 255},
                          {"nearest, half", false, 128}};
    const Color src = RGB(200, 100, 40);
    const Color dst = RGB(20, 40, 200);
    for (const Case& c : cases) {
        PaletteGroup group;
        ASSERT_TRUE(group.Open());
        if (c.fFixed) {
            group.Add(PE_FIXED_PALETTE, 0);
        } else {
            group.Add(dst);
            group.Add(RGB(200, 100, 50));
            group.Add(RGB(110, 70, 120));
        }
        group.Close();
        if (!c.fFixed) {
            group.BuildNearestTable();
        }
        Graphic dest(4, 1, 8, &group);
        int iDest = c.fFixed ? PaletteGroup::FixedSlotForColor(20, 40, 200) : group.FindColor(dst);
        ASSERT_GE(iDest, 0);
        Color dstColor = group.GetColor(DWORD(iDest));
        for (int x = 0; x < 4; x++) {
            dest.SetPixelValue(x, 0, DWORD(iDest));
        }
        Graphic source(2, 1, 32);
        source.SetPixelColor(0, 0, src);
        source.SetPixelColor(1, 0, src);
        ASSERT_TRUE(source.SetTranslucency(TRANSLUCENT_UNIFORM, c.bOpacity));
        source.DrawTo(&dest, 1, 0, 0, 0, 2, 1);

        int nAlpha = c.bOpacity == 255 ? 256 : c.bOpacity;
        auto blend = [&](int shift) {
            int s = (src >> shift) & 0xFF, d = (dstColor >> shift) & 0xFF;
            return d + ((nAlpha * (s - d)) >> 8);
        };
        int r = blend(0), g = blend(8), b = blend(16);
        DWORD nExpected;
        if (c.fFixed) {
            nExpected = PaletteGroup::FixedSlotForColor(BYTE(r), BYTE(g), BYTE(b));
        } else {
            auto x4 = [](int x) { return std::min((x + 8) >> 4, 15); };
            nExpected = group.GetNearestTable()[x4(r) * 256 + x4(g) * 16 + x4(b)];
        }
        EXPECT_EQ(dest.GetPixelValue(0, 0), DWORD(iDest)) << c.name;
        EXPECT_EQ(dest.GetPixelValue(1, 0), nExpected) << c.name;
        EXPECT_EQ(dest.GetPixelValue(2, 0), nExpected) << c.name;
        EXPECT_EQ(dest.GetPixelValue(3, 0), DWORD(iDest)) << c.name;
    }
    // Without a nearest table (and not fixed) the pixels stay.
    PaletteGroup group;
    Graphic dest(2, 1, 8, &group);
    Graphic source(2, 1, 32);
    source.SetPixelColor(0, 0, src);
    ASSERT_TRUE(source.SetTranslucency(TRANSLUCENT_UNIFORM, 255));
    source.DrawTo(&dest, 0, 0, 0, 0, 2, 1);
    EXPECT_EQ(dest.GetPixelValue(0, 0), 0u);
}

// ---- The development viewer

struct ShowProbe {
    std::string strHoverTitle;
    std::string strLeftTitle;
    host::HWND hwndShow = nullptr;
    host::WPARAM nCommand = 1;
    RECT rcClient = {};
    host::POINT ptOrigin = {};
    Color clrSwatch = 0;
};
ShowProbe* g_pProbe = nullptr;

constexpr UINT WM_PROBE_HOVER = host::WM_USER + 1;
constexpr UINT WM_PROBE_READ = host::WM_USER + 2;
constexpr UINT WM_PROBE_LEAVE = host::WM_USER + 3;
constexpr UINT WM_PROBE_CLOSE = host::WM_USER + 4;

std::string TitleOf(host::HWND hwnd) {
    char sz[256] = {};
    host::GetWindowText(hwnd, sz, sizeof(sz));
    return sz;
}

// Runs inside the viewer's message loop: moves the mouse over a swatch, reads the title,
// moves out, reads it again and closes the viewer with a command.
host::LRESULT ProbeProc(host::HWND hwnd, UINT uMsg, host::WPARAM wParam, host::LPARAM lParam) {
    host::HWND hwndShow = host::FindWindow("PALETTEGROUPShowClass", nullptr);
    switch (uMsg) {
    case WM_PROBE_HOVER: {
        g_pProbe->hwndShow = hwndShow;
        host::POINT pt = {3 * 32 + 5, 0 * 24 + 5};
        host::ClientToScreen(hwndShow, &pt);
        host::PostMouseInput(pt, host::MouseAction::kMove);
        host::PostMessage(hwnd, WM_PROBE_READ, 0, 0);
        return 0;
    }
    case WM_PROBE_READ:
        g_pProbe->strHoverTitle = TitleOf(hwndShow);
        host::GetClientRect(hwndShow, &g_pProbe->rcClient);
        host::ClientToScreen(hwndShow, &g_pProbe->ptOrigin);
        host::UpdateWindow(hwndShow);
        g_pProbe->clrSwatch =
            host::GetScreenPixel(g_pProbe->ptOrigin.x + 3 * 32 + 16, g_pProbe->ptOrigin.y + 12);
        host::PostMessage(hwnd, WM_PROBE_LEAVE, 0, 0);
        return 0;
    case WM_PROBE_LEAVE: {
        host::POINT pt = {600, 5};
        host::ClientToScreen(hwndShow, &pt);
        host::PostMouseInput(pt, host::MouseAction::kMove);
        host::PostMessage(hwnd, WM_PROBE_CLOSE, 0, 0);
        return 0;
    }
    case WM_PROBE_CLOSE:
        g_pProbe->strLeftTitle = TitleOf(hwndShow);
        host::PostMessage(hwndShow, host::WM_COMMAND, g_pProbe->nCommand, 0);
        return 0;
    default:
        return host::DefWindowProc(hwnd, uMsg, wParam, lParam);
    }
}

TEST_F(PaletteGroupTest, ShowDisplaysTheSwatchesUntilClosedByCommand) {
    host::WNDCLASSA wc{};
    wc.lpfnWndProc = ProbeProc;
    wc.lpszClassName = "PaletteProbe";
    host::RegisterClass(&wc);
    host::HWND hwndProbe = host::CreateWindowEx(0, "PaletteProbe", "", host::WS_POPUP, 0, 0, 1, 1,
                                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwndProbe, nullptr);
    PaletteGroup group;
    ASSERT_TRUE(group.Open());
    group.AddSpecific(3, RGB(12, 34, 56));
    group.Close();
    for (host::WPARAM nCommand : {1, 2}) {
        ShowProbe probe;
        probe.nCommand = nCommand;
        g_pProbe = &probe;
        host::PostMessage(hwndProbe, WM_PROBE_HOVER, 0, 0);
        group.Show(TEXT("Pal"));
        g_pProbe = nullptr;
        EXPECT_NE(probe.hwndShow, nullptr);
        EXPECT_FALSE(host::IsWindow(probe.hwndShow)) << nCommand;
        EXPECT_EQ(probe.strHoverTitle, "I=3, RGB=12,34,56 -- Pal");
        EXPECT_EQ(probe.strLeftTitle, "Pal");
        EXPECT_EQ(host::GetCapture(), nullptr);
        EXPECT_EQ(probe.rcClient.right, 512);
        EXPECT_EQ(probe.rcClient.bottom, 384);
        EXPECT_EQ(probe.ptOrigin.x, (800 - 512) / 2); // centred on the desktop screen
        EXPECT_EQ(probe.ptOrigin.y, (600 - 384) / 2);
        EXPECT_EQ(probe.clrSwatch, RGB(12, 34, 56));
    }
    host::DestroyWindow(hwndProbe);
}

} // namespace
