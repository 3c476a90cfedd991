// Drawing objects, contexts and surfaces, shapes, palettes and PNG output.
#include "host/gdi.h"
#include "host/gdi_testutil.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <png.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>

namespace host {
namespace {

using test::Canvas;
using test::MakeCanvas;

COLORREF At(const Canvas& c, int x, int y) {
    return GetPixel(c.hdc, x, y);
}

// ---------------------------------------------------------------------------------------
// Bitmap creation

std::vector<BYTE> Info(LONG cx, LONG cy, WORD depth, DWORD compression = BI_RGB,
                       std::vector<DWORD> extra = {}) {
    std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 1024);
    BITMAPINFOHEADER h{sizeof(BITMAPINFOHEADER), cx, cy, 1, depth, compression, 0, 0, 0, 0, 0};
    std::memcpy(info.data(), &h, sizeof(h));
    if (!extra.empty())
        std::memcpy(info.data() + sizeof(h), extra.data(), extra.size() * sizeof(DWORD));
    return info;
}

HBITMAP Create(const std::vector<BYTE>& info, void** ppv = nullptr) {
    void* pv = nullptr;
    return CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info.data()),
                            DIB_RGB_COLORS, ppv ? ppv : &pv);
}

TEST(Gdi, DibSectionHeadersAreChecked) {
    struct Case {
        const char* what;
        std::vector<BYTE> info;
    };
    std::vector<BYTE> shortHeader = Info(4, 4, 8), planes = Info(4, 4, 8);
    reinterpret_cast<BITMAPINFOHEADER*>(shortHeader.data())->biSize = 12;
    reinterpret_cast<BITMAPINFOHEADER*>(planes.data())->biPlanes = 2;
    const Case bad[] = {
        {"short header", shortHeader},
        {"two planes", planes},
        {"zero width", Info(0, 4, 8)},
        {"negative width", Info(-4, 4, 8)},
        {"zero height", Info(4, 0, 8)},
        {"too high", Info(4, 40000, 8)},
        {"depth 3", Info(4, 4, 3)},
        {"depth 0", Info(4, 4, 0)},
        {"run-length", Info(4, 4, 8, 1)},
        {"bit fields at 8 bits", Info(4, 4, 8, BI_BITFIELDS, {0xE0, 0x1C, 0x03})},
        {"overlapping masks", Info(4, 4, 16, BI_BITFIELDS, {0xF800, 0x0FE0, 0x001F})},
        {"broken mask", Info(4, 4, 16, BI_BITFIELDS, {0xF000, 0x0A0A, 0x001F})},
        {"nine-bit mask", Info(4, 4, 32, BI_BITFIELDS, {0x1FF, 0x3E00, 0xFC000})},
        {"empty mask", Info(4, 4, 32, BI_BITFIELDS, {0xFF0000, 0, 0xFF})},
        {"too large", Info(32767, -32767, 32)},
    };
    for (const Case& k : bad) {
        void* pv = reinterpret_cast<void*>(1);
        EXPECT_EQ(Create(k.info, &pv), nullptr) << k.what;
        EXPECT_EQ(pv, nullptr) << k.what;
    }
    HBITMAP ok = Create(Info(4, 4, 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}));
    EXPECT_NE(ok, nullptr);
    DeleteObject(ok);
}

TEST(Gdi, DibSectionLayouts) {
    // Rows padded to 32 bits; bits pointer at the start of memory; a positive height
    // keeps the classic bottom-up order.
    struct Case {
        LONG cx, cy;
        WORD depth;
        LONG pitch;
    };
    const Case cases[] = {{33, -2, 1, 8}, {5, -2, 2, 4},   {9, -2, 4, 8},   {5, -2, 8, 8},
                          {3, -2, 16, 8}, {3, -2, 24, 12}, {3, -2, 32, 12}, {3, 2, 24, 12}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.depth);
        void* pv = nullptr;
        std::vector<BYTE> info = Info(k.cx, k.cy, k.depth);
        reinterpret_cast<RGBQUAD*>(info.data() + sizeof(BITMAPINFOHEADER))[1] = {255, 255, 255, 0};
        HBITMAP h = Create(info, &pv);
        ASSERT_TRUE(h);
        DIBSECTION ds{};
        ASSERT_EQ(GetObject(h, sizeof(ds), &ds), static_cast<int>(sizeof(ds)));
        EXPECT_EQ(ds.dsBm.bmWidthBytes, k.pitch);
        EXPECT_EQ(ds.dsBm.bmBits, pv);
        EXPECT_EQ(ds.dsBm.bmHeight, 2);
        EXPECT_EQ(ds.dsBmih.biHeight, k.cy);
        BITMAP bm{};
        EXPECT_EQ(GetObject(h, sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
        HDC hdc = CreateCompatibleDC(nullptr);
        SelectObject(hdc, h);
        SetPixel(hdc, 0, 0, RGB(255, 255, 255));
        // Row 0 is the top row: first in memory top-down, last bottom-up.
        const BYTE* bits = static_cast<BYTE*>(pv);
        EXPECT_NE(bits[k.cy < 0 ? 0 : k.pitch], 0);
        DeleteDC(hdc);
        DeleteObject(h);
    }
}

TEST(Gdi, ColourTablesAndPaletteColours) {
    std::vector<BYTE> info = Info(4, -1, 2);
    auto* colors = reinterpret_cast<RGBQUAD*>(info.data() + sizeof(BITMAPINFOHEADER));
    colors[0] = {0, 0, 0, 0};
    colors[1] = {0, 0, 255, 0};
    reinterpret_cast<BITMAPINFOHEADER*>(info.data())->biClrUsed = 2; // the rest are black
    HBITMAP h = Create(info);
    HDC hdc = CreateCompatibleDC(nullptr);
    SelectObject(hdc, h);
    RGBQUAD table[4];
    EXPECT_EQ(GetDIBColorTable(hdc, 0, 8, table), 4u);
    EXPECT_EQ(table[1].rgbRed, 255);
    EXPECT_EQ(table[3].rgbRed, 0);
    RGBQUAD green{0, 255, 0, 0};
    EXPECT_EQ(SetDIBColorTable(hdc, 3, 5, &green), 1u);
    EXPECT_EQ(SetPixel(hdc, 0, 0, RGB(10, 240, 10)), RGB(0, 255, 0));
    // Colours of the selected logical palette by index.
    PALETTEENTRY entries[2] = {{1, 2, 3, 0}, {250, 0, 0, 0}};
    std::vector<BYTE> lp(sizeof(LOGPALETTE) + sizeof(entries));
    auto* plp = reinterpret_cast<LOGPALETTE*>(lp.data());
    plp->palVersion = 0x300;
    plp->palNumEntries = 2;
    std::memcpy(plp->palPalEntry, entries, sizeof(entries));
    HPALETTE pal = CreatePalette(plp);
    SelectPalette(hdc, pal, FALSE);
    EXPECT_EQ(SetPixel(hdc, 1, 0, PALETTEINDEX(1)), RGB(255, 0, 0));
    EXPECT_EQ(SetPixel(hdc, 2, 0, PALETTERGB(0, 200, 0)), RGB(0, 255, 0));
    EXPECT_EQ(RealizePalette(hdc), 0u) << "bitmaps keep their own colours";
    SelectPalette(hdc, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
    DeleteObject(pal);
    DeleteDC(hdc);
    DeleteObject(h);
}

TEST(Gdi, CompatibleBitmapsTakeTheContextsFormat) {
    HDC hdc = CreateCompatibleDC(nullptr);
    BITMAP bm{};
    HBITMAP mono = CreateCompatibleBitmap(hdc, 10, 10);
    GetObject(mono, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmBitsPixel, 1) << "a new memory context holds a monochrome bitmap";
    auto c = MakeCanvas(16, 4, 4);
    HBITMAP same = CreateCompatibleBitmap(c->hdc, 10, 10);
    GetObject(same, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmBitsPixel, 16);
    EXPECT_EQ(bm.bmWidth, 10);
    HBITMAP empty = CreateCompatibleBitmap(c->hdc, 0, 5);
    GetObject(empty, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmWidth, 1);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    for (HBITMAP h : {mono, same, empty})
        DeleteObject(h);
    DeleteDC(hdc);
}

TEST(Gdi, DeviceBitmapRowsArePaddedTo16Bits) {
    const BYTE bits[] = {0xA5, 0x80, 0x5A, 0x00}; // two rows of 9 pixels, one word each
    HBITMAP h = CreateBitmap(9, 2, 1, 1, bits);
    HDC hdc = CreateCompatibleDC(nullptr);
    SelectObject(hdc, h);
    EXPECT_EQ(GetPixel(hdc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(hdc, 1, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(hdc, 8, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(hdc, 1, 1), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(hdc, 8, 1), RGB(0, 0, 0));
    DeleteDC(hdc);
    DeleteObject(h);
}

// ---------------------------------------------------------------------------------------
// Handles

TEST(Gdi, DeletedHandlesFailEverywhere) {
    auto c = MakeCanvas(16, 8, 8);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    HRGN rgn = CreateRectRgn(0, 0, 4, 4);
    HBITMAP bm = CreateBitmap(4, 4, 1, 16, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    for (HGDIOBJ h : {static_cast<HGDIOBJ>(brush), static_cast<HGDIOBJ>(pen),
                      static_cast<HGDIOBJ>(rgn), static_cast<HGDIOBJ>(bm)}) {
        EXPECT_TRUE(DeleteObject(h));
        EXPECT_FALSE(DeleteObject(h));
        EXPECT_EQ(GetObjectType(h), 0u);
        EXPECT_EQ(GetObject(h, 0, nullptr), 0);
        EXPECT_EQ(SelectObject(c->hdc, h), nullptr);
    }
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    RECT rc{0, 0, 2, 2};
    EXPECT_EQ(FillRect(c->hdc, &rc, brush), 0);
    EXPECT_EQ(FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 0);
    EXPECT_FALSE(BitBlt(dc, 0, 0, 2, 2, c->hdc, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(c->hdc, 0, 0, 2, 2, dc, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
    EXPECT_EQ(SetTextColor(dc, 0), CLR_INVALID);
    EXPECT_FALSE(PtInRegion(rgn, 1, 1));
    EXPECT_EQ(CombineRgn(rgn, rgn, rgn, RGN_OR), ERROR);
    EXPECT_EQ(SelectClipRgn(c->hdc, rgn), ERROR);
    EXPECT_EQ(DrawText(dc, "x", -1, &rc, 0), 0);
    // Handles that were never objects, contexts given as objects and the reverse.
    int local = 0;
    EXPECT_FALSE(DeleteObject(&local));
    EXPECT_FALSE(DeleteObject(c->hdc));
    EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(GetStockObject(BLACK_BRUSH))));
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(0x12345678)), 0u);
    EXPECT_EQ(SelectObject(c->hdc, reinterpret_cast<HGDIOBJ>(0x10001)), nullptr);
    // Handle numbers are never given out again, so a stale one cannot reach a new object.
    for (int i = 0; i < 100; ++i) {
        HBRUSH again = CreateSolidBrush(RGB(4, 5, 6));
        EXPECT_NE(again, brush);
        DeleteObject(again);
    }
}

TEST(Gdi, ObjectsDeletedWhileSelectedStayUsableUntilReplaced) {
    auto c = MakeCanvas(32, 4, 4);
    HBRUSH brush = CreateSolidBrush(RGB(9, 8, 7));
    HGDIOBJ old = SelectObject(c->hdc, brush);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(PatBlt(c->hdc, 0, 0, 4, 4, PATCOPY));
    EXPECT_EQ(At(*c, 3, 3), RGB(9, 8, 7));
    EXPECT_EQ(SelectObject(c->hdc, old), static_cast<HGDIOBJ>(brush));

    // A bitmap deleted while selected keeps its pixels until the context lets it go.
    HDC hdc = CreateCompatibleDC(nullptr);
    HBITMAP bm = CreateBitmap(2, 2, 1, 32, nullptr);
    HGDIOBJ stock = SelectObject(hdc, bm);
    EXPECT_TRUE(DeleteObject(bm));
    EXPECT_EQ(SetPixel(hdc, 1, 1, RGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_TRUE(BitBlt(c->hdc, 0, 0, 2, 2, hdc, 0, 0, SRCCOPY));
    EXPECT_EQ(At(*c, 1, 1), RGB(1, 2, 3));
    SelectObject(hdc, stock);
    DeleteDC(hdc);
}

TEST(Gdi, StockObjectsSurviveDeletion) {
    for (int i : {WHITE_BRUSH, BLACK_PEN, NULL_BRUSH, SYSTEM_FONT, DEFAULT_PALETTE}) {
        HGDIOBJ h = GetStockObject(i);
        ASSERT_TRUE(h) << i;
        EXPECT_TRUE(DeleteObject(h));
        EXPECT_NE(GetObjectType(h), 0u);
    }
    EXPECT_EQ(GetStockObject(9), nullptr);
    EXPECT_EQ(GetObjectType(GetStockObject(DEFAULT_GUI_FONT)), OBJ_FONT);
    EXPECT_EQ(GetSysColorBrush(COLOR_COUNT), nullptr);
}

TEST(Gdi, ABitmapIsSelectedIntoOneContextAtATime) {
    HBITMAP bm = CreateBitmap(2, 2, 1, 16, nullptr);
    HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(a, bm);
    EXPECT_NE(old, nullptr);
    EXPECT_EQ(SelectObject(b, bm), nullptr);
    SelectObject(a, old);
    EXPECT_NE(SelectObject(b, bm), nullptr);
    DeleteDC(b); // releases it
    EXPECT_NE(SelectObject(a, bm), nullptr);
    DeleteDC(a);
    DeleteObject(bm);
}

TEST(Gdi, FontRecordsConvertBetweenWidths) {
    LOGFONTA lfa{};
    lfa.lfHeight = -14;
    std::strcpy(lfa.lfFaceName, "Arial Eo");
    HFONT font = CreateFontIndirect(&lfa);
    LOGFONTW lfw{};
    EXPECT_EQ(GetObject(font, sizeof(lfw), &lfw), static_cast<int>(sizeof(lfw)));
    EXPECT_EQ(std::u16string(lfw.lfFaceName), u"Arial Eo");
    LOGFONTA back{};
    EXPECT_EQ(GetObject(font, sizeof(back), &back), static_cast<int>(sizeof(back)));
    EXPECT_STREQ(back.lfFaceName, "Arial Eo");
    EXPECT_EQ(back.lfHeight, -14);
    EXPECT_EQ(GetObject(font, 10, &back), 0);
    DeleteObject(font);
    // A name that fills the UTF-8 record is cut at a character boundary.
    LOGFONTW wide{};
    for (int i = 0; i < LF_FACESIZE - 1; ++i)
        wide.lfFaceName[i] = u'ĉ';
    font = CreateFontIndirect(&wide);
    EXPECT_EQ(GetObject(font, sizeof(back), &back), static_cast<int>(sizeof(back)));
    EXPECT_EQ(std::strlen(back.lfFaceName), 30u);
    DeleteObject(font);
}

// ---------------------------------------------------------------------------------------
// Contexts on surfaces

// A surface over a bitmap that records what contexts tell it.
class RecordingSurface : public Surface {
public:
    explicit RecordingSurface(HBITMAP hbm) : hbm_(hbm) {}
    PixelBuffer GetPixels() override {
        PixelBuffer px;
        GetBitmapPixels(hbm_, &px);
        return px;
    }
    void Changed(const RECT& rc) override { changed.push_back(rc); }
    UINT RealizePalette(const PALETTEENTRY*, UINT c) override {
        realized = c;
        return c;
    }
    std::vector<RECT> changed;
    UINT realized = 0;

private:
    HBITMAP hbm_;
};

TEST(Gdi, SurfaceContextsDrawAtTheirOriginInsideTheirRegion) {
    auto screen = MakeCanvas(16, 40, 30);
    RECT whole{0, 0, 40, 30};
    FillRect(screen->hdc, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    RecordingSurface surface(screen->hbm);
    // A window at (10, 5) whose lower-right corner is covered.
    HRGN visible = CreateRectRgn(10, 5, 30, 25);
    HRGN covered = CreateRectRgn(20, 15, 40, 30);
    CombineRgn(visible, visible, covered, RGN_DIFF);
    HDC hdc = CreateSurfaceDC(&surface, {10, 5}, visible);
    ASSERT_TRUE(hdc);
    EXPECT_EQ(GetObjectType(hdc), OBJ_DC);
    EXPECT_EQ(GetDeviceCaps(hdc, HORZRES), 40);
    EXPECT_EQ(GetDeviceCaps(hdc, BITSPIXEL), 16);
    RECT rc{0, 0, 100, 100};
    FillRect(hdc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    RECT box;
    EXPECT_EQ(GetClipBox(hdc, &box), COMPLEXREGION);
    EXPECT_EQ(box.right, 20);
    EXPECT_EQ(box.bottom, 20);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            bool inside = PtInRegion(visible, x, y);
            EXPECT_EQ(At(*screen, x, y), inside ? RGB(0, 0, 0) : RGB(248, 248, 248))
                << x << "," << y;
        }
    ASSERT_FALSE(surface.changed.empty());
    RECT all = surface.changed[0];
    for (const RECT& r : surface.changed)
        all = {std::min(all.left, r.left), std::min(all.top, r.top), std::max(all.right, r.right),
               std::max(all.bottom, r.bottom)};
    EXPECT_EQ(all.left, 10);
    EXPECT_EQ(all.top, 5);
    EXPECT_EQ(all.right, 30);
    EXPECT_EQ(all.bottom, 25);

    // The window moves; the application's clip stays in its own coordinates.
    IntersectClipRect(hdc, 0, 0, 2, 2);
    EXPECT_TRUE(SetSurfaceDCOrigin(hdc, {0, 0}));
    EXPECT_TRUE(SetSurfaceDCVisibleRgn(hdc, nullptr));
    EXPECT_EQ(SetPixel(hdc, 1, 1, RGB(255, 0, 0)), RGB(248, 0, 0));
    EXPECT_EQ(At(*screen, 1, 1), RGB(248, 0, 0));
    EXPECT_EQ(SetPixel(hdc, 2, 1, RGB(255, 0, 0)), CLR_INVALID);
    EXPECT_EQ(GetClipBox(hdc, &box), SIMPLEREGION);

    // Realising a palette reaches the surface.
    SelectPalette(hdc, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
    EXPECT_EQ(RealizePalette(hdc), 20u);
    EXPECT_EQ(surface.realized, 20u);
    DeleteDC(hdc);
    DeleteObject(visible);
    DeleteObject(covered);
}

TEST(Gdi, ClipRectanglesAndViewportOrigin) {
    auto c = MakeCanvas(32, 10, 10);
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    RECT all{0, 0, 10, 10};
    FillRect(c->hdc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(ExcludeClipRect(c->hdc, 2, 2, 4, 4), COMPLEXREGION);
    IntersectClipRect(c->hdc, 0, 0, 6, 6);
    SetViewportOrgEx(c->hdc, 1, 1, nullptr);
    RECT rc{-1, -1, 9, 9};
    FillRect(c->hdc, &rc, white);
    HRGN got = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetClipRgn(c->hdc, got), 1);
    EXPECT_FALSE(PtInRegion(got, 3, 3));
    EXPECT_TRUE(PtInRegion(got, 5, 5));
    SelectClipRgn(c->hdc, nullptr);
    EXPECT_EQ(GetClipRgn(c->hdc, got), 0);
    SetViewportOrgEx(c->hdc, 0, 0, nullptr);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            bool painted = x < 6 && y < 6 && !(x >= 2 && x < 4 && y >= 2 && y < 4);
            EXPECT_EQ(At(*c, x, y), painted ? RGB(255, 255, 255) : RGB(0, 0, 0)) << x << "," << y;
        }
    DeleteObject(got);
}

TEST(Gdi, SaveAndRestoreState) {
    auto c = MakeCanvas(32, 4, 4);
    SetTextColor(c->hdc, RGB(1, 1, 1));
    int saved = SaveDC(c->hdc);
    EXPECT_EQ(saved, 1);
    SetTextColor(c->hdc, RGB(2, 2, 2));
    IntersectClipRect(c->hdc, 0, 0, 1, 1);
    EXPECT_EQ(SaveDC(c->hdc), 2);
    SetTextColor(c->hdc, RGB(3, 3, 3));
    EXPECT_TRUE(RestoreDC(c->hdc, -1));
    EXPECT_EQ(GetTextColor(c->hdc), RGB(2, 2, 2));
    EXPECT_TRUE(RestoreDC(c->hdc, saved));
    EXPECT_EQ(GetTextColor(c->hdc), RGB(1, 1, 1));
    EXPECT_NE(SetPixel(c->hdc, 3, 3, 0), CLR_INVALID) << "the clip was restored too";
    EXPECT_FALSE(RestoreDC(c->hdc, -1));
    EXPECT_FALSE(RestoreDC(c->hdc, 0));
}

// ---------------------------------------------------------------------------------------
// Shapes

// The canvas as characters, one per pixel: '.' for white, '#' for black, '?' otherwise.
std::string Picture(const Canvas& c) {
    std::string s;
    for (int y = 0; y < c.px.cy; ++y) {
        for (int x = 0; x < c.px.cx; ++x) {
            COLORREF cr = At(c, x, y);
            s += cr == RGB(255, 255, 255) ? '.' : cr == RGB(0, 0, 0) ? '#' : '?';
        }
        s += '\n';
    }
    return s;
}

std::unique_ptr<Canvas> White(int cx, int cy) {
    auto c = MakeCanvas(32, cx, cy);
    RECT rc{0, 0, cx, cy};
    FillRect(c->hdc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return c;
}

TEST(Gdi, LinesLeaveOutTheirEndPoint) {
    auto c = White(6, 5);
    MoveToEx(c->hdc, 0, 0, nullptr);
    LineTo(c->hdc, 5, 0);
    LineTo(c->hdc, 5, 4);
    MoveToEx(c->hdc, 0, 1, nullptr);
    LineTo(c->hdc, 3, 4);
    POINT pos;
    MoveToEx(c->hdc, 0, 0, &pos);
    EXPECT_EQ(pos.x, 3);
    EXPECT_EQ(pos.y, 4);
    EXPECT_EQ(Picture(*c), "######\n"
                           "#....#\n"
                           ".#...#\n"
                           "..#..#\n"
                           "......\n");
    HPEN dot = CreatePen(PS_DOT, 1, 0);
    auto d = White(7, 1);
    SelectObject(d->hdc, dot);
    MoveToEx(d->hdc, 6, 0, nullptr);
    LineTo(d->hdc, -1, 0);
    EXPECT_EQ(Picture(*d), "#.#.#.#\n");
    SelectObject(d->hdc, GetStockObject(BLACK_PEN));
    DeleteObject(dot);
}

TEST(Gdi, RectanglesFramesAndFills) {
    auto c = White(6, 5);
    SelectObject(c->hdc, GetStockObject(LTGRAY_BRUSH));
    Rectangle(c->hdc, 0, 0, 5, 4);
    EXPECT_EQ(Picture(*c), "#####.\n"
                           "#???#.\n"
                           "#???#.\n"
                           "#####.\n"
                           "......\n");
    auto n = White(5, 4);
    SelectObject(n->hdc, GetStockObject(NULL_PEN));
    SelectObject(n->hdc, GetStockObject(BLACK_BRUSH));
    Rectangle(n->hdc, 0, 0, 4, 3);
    EXPECT_EQ(Picture(*n), "###..\n"
                           "###..\n"
                           ".....\n"
                           ".....\n");
    auto f = White(5, 4);
    RECT rc{1, 0, 5, 4};
    FrameRect(f->hdc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(Picture(*f), ".####\n"
                           ".#..#\n"
                           ".#..#\n"
                           ".####\n");
    InvertRect(f->hdc, &rc);
    EXPECT_EQ(Picture(*f), ".....\n"
                           "..##.\n"
                           "..##.\n"
                           ".....\n");
    DrawFocusRect(f->hdc, &rc);
    DrawFocusRect(f->hdc, &rc);
    EXPECT_EQ(Picture(*f), "....."
                           "\n..##.\n..##.\n.....\n")
        << "twice is nothing";
    // System colour brushes given as colour index + 1.
    RECT one{0, 0, 1, 1};
    FillRect(f->hdc, &one, reinterpret_cast<HBRUSH>(COLOR_WINDOWTEXT + 1));
    EXPECT_EQ(At(*f, 0, 0), GetSysColor(COLOR_WINDOWTEXT));
}

TEST(Gdi, EdgesUseTheThreeDimensionalColours) {
    const COLORREF light = GetSysColor(COLOR_3DLIGHT), hilight = GetSysColor(COLOR_3DHILIGHT),
                   shadow = GetSysColor(COLOR_3DSHADOW), dark = GetSysColor(COLOR_3DDKSHADOW),
                   face = GetSysColor(COLOR_BTNFACE);
    struct Case {
        UINT edge;
        COLORREF outerTL, innerTL, innerBR, outerBR;
    };
    const Case cases[] = {
        {EDGE_RAISED, light, hilight, shadow, dark},
        {EDGE_SUNKEN, shadow, dark, light, hilight},
        {EDGE_ETCHED, shadow, hilight, shadow, hilight},
        {EDGE_BUMP, light, dark, light, dark},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.edge);
        auto c = White(8, 8);
        RECT rc{0, 0, 8, 8};
        ASSERT_TRUE(DrawEdge(c->hdc, &rc, k.edge, BF_RECT | BF_MIDDLE | BF_ADJUST));
        EXPECT_EQ(At(*c, 3, 0), k.outerTL);
        EXPECT_EQ(At(*c, 0, 3), k.outerTL);
        EXPECT_EQ(At(*c, 3, 1), k.innerTL);
        EXPECT_EQ(At(*c, 3, 6), k.innerBR);
        EXPECT_EQ(At(*c, 6, 3), k.innerBR);
        EXPECT_EQ(At(*c, 3, 7), k.outerBR);
        EXPECT_EQ(At(*c, 7, 0), k.outerBR) << "the bottom-right lines own the corners";
        EXPECT_EQ(At(*c, 4, 4), face);
        EXPECT_EQ(rc.left, 2);
        EXPECT_EQ(rc.top, 2);
        EXPECT_EQ(rc.right, 6);
        EXPECT_EQ(rc.bottom, 6);
    }
    // Only the top: a divider line two pixels high.
    auto c = White(6, 4);
    RECT rc{0, 0, 6, 4};
    DrawEdge(c->hdc, &rc, EDGE_SUNKEN, BF_TOP);
    EXPECT_EQ(At(*c, 2, 0), shadow);
    EXPECT_EQ(At(*c, 2, 1), dark);
    EXPECT_EQ(At(*c, 2, 2), RGB(255, 255, 255));
    EXPECT_EQ(At(*c, 0, 3), RGB(255, 255, 255));
}

TEST(Gdi, PatternBlits) {
    auto c = MakeCanvas(8, 4, 1);
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 0));
    SelectObject(c->hdc, brush);
    std::memset(c->px.pBits, 0x0F, 4);
    RGBQUAD black{0, 0, 0, 0};
    SetDIBColorTable(c->hdc, 0x0F, 1, &black); // the brush's colour is value 0x0F
    EXPECT_TRUE(PatBlt(c->hdc, 0, 0, 1, 1, DSTINVERT));
    EXPECT_TRUE(PatBlt(c->hdc, 1, 0, 1, 1, BLACKNESS));
    EXPECT_TRUE(PatBlt(c->hdc, 2, 0, 1, 1, WHITENESS));
    EXPECT_TRUE(PatBlt(c->hdc, -3, 0, 2, 1, PATCOPY)) << "off the surface is no error";
    EXPECT_FALSE(PatBlt(c->hdc, 0, 0, 1, 1, SRCCOPY)) << "needs a source";
    EXPECT_EQ(c->px.pBits[0], 0xF0);
    EXPECT_EQ(c->px.pBits[1], 0x00);
    EXPECT_EQ(c->px.pBits[2], 0xFF);
    EXPECT_EQ(c->px.pBits[3], 0x0F);
    EXPECT_TRUE(PatBlt(c->hdc, 3, 0, 1, 1, PATINVERT));
    EXPECT_EQ(c->px.pBits[3], 0x00);
    SelectObject(c->hdc, GetStockObject(WHITE_BRUSH));
    DeleteObject(brush);
}

TEST(Gdi, ExtremeCoordinatesAreClippedNotOverflowed) {
    auto c = White(8, 8);
    auto src = MakeCanvas(16, 4, 4);
    const int big = 0x7FFFFFFF, small = -0x7FFFFFFF - 1;
    RECT all{small, small, big, big};
    EXPECT_EQ(FillRect(c->hdc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 1);
    EXPECT_EQ(At(*c, 7, 7), RGB(0, 0, 0));
    SetViewportOrgEx(c->hdc, 5, 5, nullptr);
    EXPECT_EQ(FillRect(c->hdc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 1);
    EXPECT_EQ(At(*c, -5, -5), RGB(255, 255, 255));
    SetViewportOrgEx(c->hdc, 0, 0, nullptr);
    // Stretching over the largest extents maps only what can be seen.
    EXPECT_TRUE(StretchBlt(c->hdc, 0, 0, big, big, src->hdc, 0, 0, 4, 4, SRCCOPY));
    EXPECT_TRUE(StretchBlt(c->hdc, big, big, small, small, src->hdc, 0, 0, 4, 4, SRCCOPY));
    EXPECT_TRUE(BitBlt(c->hdc, small, small, big, big, src->hdc, big, big, SRCCOPY));
    EXPECT_TRUE(TransparentBlt(c->hdc, 0, 0, big, big, src->hdc, 0, 0, big, big, 0));
    EXPECT_TRUE(PatBlt(c->hdc, big, big, small, small, PATCOPY));
    MoveToEx(c->hdc, small, small, nullptr);
    EXPECT_TRUE(LineTo(c->hdc, small, big)) << "a line that misses returns at once";
    MoveToEx(c->hdc, small, 3, nullptr);
    EXPECT_TRUE(LineTo(c->hdc, big, 3));
    EXPECT_EQ(At(*c, 4, 3), RGB(0, 0, 0));
    EXPECT_EQ(DrawText(c->hdc, "x", -1, &all, DT_CALCRECT | DT_WORDBREAK) > 0, true);
    RECT huge{small, small, big, big};
    EXPECT_GT(DrawText(c->hdc, "x y", -1, &huge, DT_CENTER | DT_WORDBREAK), 0);
}

TEST(Gdi, RectangleHelpers) {
    struct Case {
        RECT a, b, intersect, unite, subtract;
    };
    const Case cases[] = {
        {{0, 0, 10, 10}, {5, 5, 15, 15}, {5, 5, 10, 10}, {0, 0, 15, 15}, {0, 0, 10, 10}},
        {{0, 0, 10, 10}, {10, 0, 20, 10}, {0, 0, 0, 0}, {0, 0, 20, 10}, {0, 0, 10, 10}},
        {{0, 0, 10, 10}, {-1, -1, 11, 4}, {0, 0, 10, 4}, {-1, -1, 11, 10}, {0, 4, 10, 10}},
        {{0, 0, 10, 10}, {6, -5, 20, 20}, {6, 0, 10, 10}, {0, -5, 20, 20}, {0, 0, 6, 10}},
        {{0, 0, 10, 10}, {-5, -5, 20, 20}, {0, 0, 10, 10}, {-5, -5, 20, 20}, {0, 0, 0, 0}},
        {{3, 3, 3, 9}, {1, 1, 2, 2}, {0, 0, 0, 0}, {1, 1, 2, 2}, {0, 0, 0, 0}},
        {{INT_MIN, INT_MIN, INT_MIN + 9, 0},
         {INT_MAX - 9, 0, INT_MAX, INT_MAX},
         {0, 0, 0, 0},
         {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
         {INT_MIN, INT_MIN, INT_MIN + 9, 0}},
    };
    auto same = [](const RECT& x, const RECT& y) { return EqualRect(&x, &y); };
    for (const Case& k : cases) {
        RECT r;
        EXPECT_EQ(IntersectRect(&r, &k.a, &k.b), !IsRectEmpty(&k.intersect));
        EXPECT_TRUE(same(r, k.intersect));
        UnionRect(&r, &k.a, &k.b);
        EXPECT_TRUE(same(r, k.unite));
        SubtractRect(&r, &k.a, &k.b);
        EXPECT_TRUE(same(r, k.subtract))
            << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
    RECT r{0, 0, 4, 4};
    EXPECT_TRUE(PtInRect(&r, {3, 3}));
    EXPECT_FALSE(PtInRect(&r, {4, 3}));
    InflateRect(&r, 1, 2);
    OffsetRect(&r, 10, 0);
    EXPECT_TRUE(same(r, {9, -2, 15, 6}));
    const LONG k = rect::kLimit;
    InflateRect(&r, INT_MAX, INT_MAX);
    EXPECT_TRUE(same(r, {-k, -k, k, k}));
    OffsetRect(&r, INT_MAX, INT_MIN);
    EXPECT_TRUE(same(r, {k, -k, k, -k}));
}

TEST(Gdi, PolylinesAndRegionFills) {
    // Each segment leaves out its end point, which the next one starts on: only the last
    // point of the line stays blank. The last segment, short and drawn up-left, once fell
    // outside the box that tells whether a line reaches the surface.
    auto c = White(6, 5);
    const POINT apt[] = {{0, 4}, {0, 0}, {5, 0}, {5, 4}, {2, 1}};
    EXPECT_TRUE(Polyline(c->hdc, apt, 5));
    EXPECT_FALSE(Polyline(c->hdc, apt, 1));
    EXPECT_FALSE(Polyline(c->hdc, nullptr, 5));
    EXPECT_EQ(Picture(*c), "######\n"
                           "#....#\n"
                           "#..#.#\n"
                           "#...##\n"
                           "#....#\n");

    // A ring with a hole and a block running off the canvas, under a clip that cuts the
    // last row: the brush fills exactly the region's pixels inside the clip.
    auto f = White(6, 5);
    HRGN rgn = CreateRectRgn(0, 0, 3, 3);
    HRGN hole = CreateRectRgn(1, 1, 2, 2);
    HRGN block = CreateRectRgn(4, 1, 90, 90);
    CombineRgn(rgn, rgn, hole, RGN_DIFF);
    CombineRgn(rgn, rgn, block, RGN_OR);
    IntersectClipRect(f->hdc, 0, 0, 6, 4);
    const HBRUSH gray = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    EXPECT_TRUE(FillRgn(f->hdc, rgn, gray));
    EXPECT_TRUE(FillRgn(f->hdc, rgn, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))));
    SelectClipRgn(f->hdc, nullptr); // pixels outside the clip do not read back
    EXPECT_EQ(Picture(*f), "???...\n"
                           "?.?.??\n"
                           "???.??\n"
                           "....??\n"
                           "......\n");
    EXPECT_EQ(At(*f, 0, 0), RGB(192, 192, 192)) << "the brush's colour";
    // Like every other shape, the region is placed by the viewport origin.
    auto v = White(6, 5);
    SetViewportOrgEx(v->hdc, 2, 1, nullptr);
    EXPECT_TRUE(FillRgn(v->hdc, hole, gray));
    SetViewportOrgEx(v->hdc, 0, 0, nullptr);
    EXPECT_EQ(Picture(*v), "......\n"
                           "......\n"
                           "...?..\n"
                           "......\n"
                           "......\n");
    DeleteObject(hole);
    EXPECT_FALSE(FillRgn(f->hdc, hole, gray));
    EXPECT_FALSE(FillRgn(f->hdc, rgn, nullptr));
    DeleteObject(rgn);
    DeleteObject(block);
}

// Ellipses, polygons and focus rectangles, black on white, with the stock black pen and
// brush unless a case selects others.
TEST(Gdi, ShapePictures) {
    const auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    const auto hollow = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    const auto nopen = static_cast<HPEN>(GetStockObject(NULL_PEN));
    const POINT arrow[] = {{1, 0}, {7, 0}, {4, 3}};
    const POINT star[] = {{5, 0}, {8, 9}, {0, 3}, {10, 3}, {2, 9}};
    struct Case {
        const char* name;
        int cx, cy;
        std::function<void(HDC)> draw;
        const char* picture;
    };
    const Case cases[] = {
        {"radio button ring", 12, 12,
         [&](HDC hdc) {
             SelectObject(hdc, hollow);
             Ellipse(hdc, 0, 0, 12, 12);
         },
         "....####....\n"
         "..##....##..\n"
         ".#........#.\n"
         ".#........#.\n"
         "#..........#\n"
         "#..........#\n"
         "#..........#\n"
         "#..........#\n"
         ".#........#.\n"
         ".#........#.\n"
         "..##....##..\n"
         "....####....\n"},
        {"ellipse, brush only", 7, 5,
         [&](HDC hdc) {
             SelectObject(hdc, nopen);
             Ellipse(hdc, 0, 0, 7, 5);
         },
         ".#####.\n"
         "#######\n"
         "#######\n"
         "#######\n"
         ".#####.\n"},
        {"ellipse, wide pen, viewport and clip", 10, 8,
         [&](HDC hdc) {
             SelectObject(hdc, CreatePen(PS_SOLID, 2, 0));
             SelectObject(hdc, GetStockObject(LTGRAY_BRUSH));
             SetViewportOrgEx(hdc, 2, 1, nullptr);
             IntersectClipRect(hdc, 0, 0, 7, 8);
             Ellipse(hdc, 0, 0, 8, 6);
             DeleteObject(SelectObject(hdc, GetStockObject(BLACK_PEN)));
         },
         "..........\n"
         "....###...\n"
         "...####...\n"
         "..##???...\n"
         "..##???...\n"
         "...####...\n"
         "....###...\n"
         "..........\n"},
        {"arrow", 9, 4, [&](HDC hdc) { Polygon(hdc, arrow, 3); },
         ".#######.\n"
         "..#####..\n"
         "...###...\n"
         "....#....\n"},
        {"arrow, brush only", 9, 4,
         [&](HDC hdc) {
             SelectObject(hdc, nopen);
             Polygon(hdc, arrow, 3);
         },
         ".######..\n"
         "..####...\n"
         "...##....\n"
         ".........\n"},
        {"arrow, pen only, viewport and clip", 9, 5,
         [&](HDC hdc) {
             SelectObject(hdc, hollow);
             SetViewportOrgEx(hdc, 0, 1, nullptr);
             ExcludeClipRect(hdc, 3, 0, 5, 2);
             Polygon(hdc, arrow, 3);
         },
         ".........\n"
         ".##..###.\n"
         "..#...#..\n"
         "...#.#...\n"
         "....#....\n"},
        {"star, alternate", 11, 10,
         [&](HDC hdc) {
             SelectObject(hdc, nopen);
             Polygon(hdc, star, 5);
         },
         "...........\n"
         ".....#.....\n"
         ".....#.....\n"
         "####..####.\n"
         "..##...##..\n"
         "...#...#...\n"
         "...#..#....\n"
         "...##.##...\n"
         "...#...#...\n"
         "...........\n"},
        {"star, winding", 11, 10,
         [&](HDC hdc) {
             SelectObject(hdc, nopen);
             SetPolyFillMode(hdc, WINDING);
             Polygon(hdc, star, 5);
         },
         "...........\n"
         ".....#.....\n"
         ".....#.....\n"
         "##########.\n"
         "..#######..\n"
         "...#####...\n"
         "...####....\n"
         "...##.##...\n"
         "...#...#...\n"
         "...........\n"},
        {"focus rectangle", 9, 6,
         [&](HDC hdc) {
             RECT rc{1, 1, 8, 5};
             DrawFocusRect(hdc, &rc);
         },
         ".........\n"
         ".#.#.#.#.\n"
         ".........\n"
         ".#.....#.\n"
         "..#.#.#..\n"
         ".........\n"},
        {"focus rectangle, viewport and clip", 9, 6,
         [&](HDC hdc) {
             RECT rc{0, 0, 7, 4};
             SetViewportOrgEx(hdc, 1, 1, nullptr);
             ExcludeClipRect(hdc, 0, 0, 3, 6);
             DrawFocusRect(hdc, &rc);
         },
         ".........\n"
         "...#.#.#.\n"
         ".........\n"
         ".......#.\n"
         "....#.#..\n"
         ".........\n"},
        {"focus rectangle twice", 9, 6,
         [&](HDC hdc) {
             RECT rc{1, 1, 8, 5};
             DrawFocusRect(hdc, &rc);
             DrawFocusRect(hdc, &rc);
         },
         ".........\n"
         ".........\n"
         ".........\n"
         ".........\n"
         ".........\n"
         ".........\n"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        auto c = White(k.cx, k.cy);
        SelectObject(c->hdc, black);
        k.draw(c->hdc);
        SelectClipRgn(c->hdc, nullptr);
        SetViewportOrgEx(c->hdc, 0, 0, nullptr);
        EXPECT_EQ(Picture(*c), k.picture);
    }

    // A polygon's region holds the pixels its fill paints; far-off shapes return at once.
    auto c = White(11, 10);
    SelectObject(c->hdc, black);
    HRGN rgn = CreatePolygonRgn(star, 5, WINDING);
    FillRgn(c->hdc, rgn, black);
    EXPECT_EQ(Picture(*c), cases[7].picture);
    const POINT tall[] = {{0, INT_MIN}, {1, INT_MAX}, {0, INT_MAX}};
    EXPECT_EQ(CreatePolygonRgn(tall, 3, WINDING), nullptr);
    EXPECT_EQ(CreatePolygonRgn(star, 5, 0), nullptr);
    EXPECT_FALSE(Polygon(c->hdc, star, 1));
    EXPECT_EQ(SetPolyFillMode(c->hdc, 3), 0);
    EXPECT_EQ(GetPolyFillMode(c->hdc), ALTERNATE);
    EXPECT_TRUE(Polygon(c->hdc, tall, 3));
    EXPECT_TRUE(Ellipse(c->hdc, INT_MIN, INT_MIN, INT_MAX, INT_MAX));
    EXPECT_EQ(At(*c, 0, 0), RGB(0, 0, 0));
    DeleteObject(rgn);
}

// A monochrome checker pattern takes the context's text colour for 0 bits and background
// colour for 1 bits, is laid from the surface's origin and paints through every fill.
TEST(Gdi, PatternBrushes) {
    const BYTE bits[] = {0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0, 0xAA, 0, 0x55, 0};
    HBITMAP hbm = CreateBitmap(8, 8, 1, 1, bits);
    HBRUSH checker = CreatePatternBrush(hbm);
    ASSERT_NE(checker, nullptr);
    LOGBRUSH lb{};
    GetObject(checker, sizeof(lb), &lb);
    EXPECT_EQ(lb.lbStyle, BS_PATTERN);
    EXPECT_EQ(lb.lbHatch, reinterpret_cast<std::uintptr_t>(hbm));
    DeleteObject(hbm); // the brush keeps a copy
    EXPECT_EQ(CreatePatternBrush(hbm), nullptr);
    const char* const kChecker = ".#.#.#\n"
                                 "#.#.#.\n"
                                 ".#.#.#\n"
                                 "#.#.#.\n";
    const RECT left{0, 0, 3, 4}, right{2, 0, 5, 4};
    HRGN all = CreateRectRgn(0, 0, 6, 4);
    const POINT box[] = {{0, 0}, {6, 0}, {6, 4}, {0, 4}};
    const std::function<void(HDC)> fills[] = {
        [&](HDC hdc) {
            // Two fills meet without a seam, whatever the viewport origin.
            FillRect(hdc, &left, checker);
            SetViewportOrgEx(hdc, 1, 0, nullptr);
            FillRect(hdc, &right, checker);
        },
        [&](HDC hdc) { FillRgn(hdc, all, checker); },
        [&](HDC hdc) { Rectangle(hdc, 0, 0, 7, 5); },
        [&](HDC hdc) { Ellipse(hdc, -10, -10, 16, 14); },
        [&](HDC hdc) { Polygon(hdc, box, 4); },
        [&](HDC hdc) { PatBlt(hdc, 0, 0, 6, 4, PATCOPY); },
        [&](HDC hdc) {
            // Greying: where the pattern is white, D | P turns black to white.
            RECT rc{0, 0, 6, 4};
            FillRect(hdc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            PatBlt(hdc, 0, 0, 6, 4, 0x00FA0089);
        },
    };
    for (std::size_t i = 0; i < std::size(fills); ++i) {
        SCOPED_TRACE(i);
        auto c = White(6, 4);
        SelectObject(c->hdc, GetStockObject(NULL_PEN));
        SelectObject(c->hdc, checker);
        fills[i](c->hdc);
        SetViewportOrgEx(c->hdc, 0, 0, nullptr);
        EXPECT_EQ(Picture(*c), kChecker);
        SelectObject(c->hdc, GetStockObject(WHITE_BRUSH));
    }

    // Other colours, and a monochrome surface, which takes the bits as they are.
    auto c = White(6, 4);
    SetTextColor(c->hdc, RGB(255, 255, 255));
    SetBkColor(c->hdc, RGB(0, 0, 0));
    FillRect(c->hdc, &right, checker);
    EXPECT_EQ(Picture(*c), "..#.#.\n"
                           "...#..\n"
                           "..#.#.\n"
                           "...#..\n");
    auto m = MakeCanvas(test::TestFormat{"mono", 1, BI_RGB, {}, true}, 6, 4);
    SetTextColor(m->hdc, RGB(255, 255, 255));
    FillRgn(m->hdc, all, checker);
    EXPECT_EQ(Picture(*m), kChecker);

    // A colour pattern keeps its colours and tiles at its own size.
    auto stripe = MakeCanvas(32, 2, 1);
    SetPixel(stripe->hdc, 0, 0, RGB(0, 0, 0));
    SetPixel(stripe->hdc, 1, 0, RGB(255, 255, 255));
    HBRUSH stripes = CreatePatternBrush(stripe->hbm);
    FillRect(c->hdc, &left, stripes);
    EXPECT_EQ(Picture(*c), "#.#.#.\n"
                           "#.##..\n"
                           "#.#.#.\n"
                           "#.##..\n");
    DeleteObject(stripes);
    DeleteObject(checker);
    DeleteObject(all);
}

// ---------------------------------------------------------------------------------------
// Palettes

TEST(Gdi, NearestPaletteIndex) {
    PALETTEENTRY entries[] = {{0, 0, 0, 0},   {255, 255, 255, 0}, {255, 0, 0, 0},
                              {250, 0, 0, 0}, {0, 128, 0, 0},     {0, 128, 0, 0}};
    std::vector<BYTE> lp(sizeof(LOGPALETTE) + sizeof(entries));
    auto* plp = reinterpret_cast<LOGPALETTE*>(lp.data());
    plp->palVersion = 0x300;
    plp->palNumEntries = 6;
    std::memcpy(plp->palPalEntry, entries, sizeof(entries));
    HPALETTE pal = CreatePalette(plp);
    struct Case {
        COLORREF cr;
        UINT index;
    };
    const Case cases[] = {
        {RGB(0, 0, 0), 0},    {RGB(10, 10, 10), 0},       {RGB(200, 200, 200), 1},
        {RGB(254, 0, 0), 2},  {RGB(251, 0, 0), 3},        {RGB(0, 128, 0), 4},
        {RGB(0, 120, 10), 4}, {PALETTERGB(255, 1, 1), 2},
    };
    for (const Case& k : cases)
        EXPECT_EQ(GetNearestPaletteIndex(pal, k.cr), k.index) << std::hex << k.cr;
    PALETTEENTRY changed{0, 0, 255, 0};
    EXPECT_EQ(SetPaletteEntries(pal, 5, 3, &changed), 1u);
    EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(0, 0, 200)), 5u);
    PALETTEENTRY out[8];
    EXPECT_EQ(GetPaletteEntries(pal, 4, 8, out), 2u);
    EXPECT_EQ(GetPaletteEntries(pal, 0, 0, nullptr), 6u);
    WORD count = 0;
    EXPECT_EQ(GetObject(pal, sizeof(count), &count), 2);
    EXPECT_EQ(count, 6);
    DeleteObject(pal);
    EXPECT_EQ(GetNearestPaletteIndex(pal, 0), CLR_INVALID);
    plp->palVersion = 0x200;
    EXPECT_EQ(CreatePalette(plp), nullptr);
}

TEST(Gdi, SystemPalette) {
    PALETTEENTRY e[256];
    ASSERT_EQ(GetSystemPaletteEntries(nullptr, 0, 256, e), 256u);
    EXPECT_EQ(RGB(e[0].peRed, e[0].peGreen, e[0].peBlue), RGB(0, 0, 0));
    EXPECT_EQ(RGB(e[7].peRed, e[7].peGreen, e[7].peBlue), RGB(192, 192, 192));
    EXPECT_EQ(RGB(e[249].peRed, e[249].peGreen, e[249].peBlue), RGB(255, 0, 0));
    EXPECT_EQ(RGB(e[255].peRed, e[255].peGreen, e[255].peBlue), RGB(255, 255, 255));
    std::set<COLORREF> distinct;
    for (const PALETTEENTRY& p : e)
        distinct.insert(RGB(p.peRed, p.peGreen, p.peBlue));
    EXPECT_EQ(distinct.size(), 248u) << "the cube's corners repeat static colours";
    EXPECT_EQ(GetSystemPaletteEntries(nullptr, 250, 10, e), 6u);
}

// ---------------------------------------------------------------------------------------
// PNG

TEST(Gdi, SavesBitmapsAsPng) {
    auto c = MakeCanvas(16, 5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            SetPixel(c->hdc, x, y, RGB(x * 50, y * 100, 255 - x * 50));
    const testsupport::TempFolder dir("gdi_png");
    std::string path = dir.File("shot.png");
    ASSERT_TRUE(SaveBitmapAsPng(c->hbm, path));
    EXPECT_FALSE(SaveBitmapAsPng(c->hbm, dir.File("missing/shot.png")));
    EXPECT_FALSE(SaveBitmapAsPng(nullptr, path));

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<BYTE> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    EXPECT_EQ(image.width, 5u);
    EXPECT_EQ(image.height, 3u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const BYTE* p = &rgb[(y * 5 + x) * 3];
            EXPECT_EQ(RGB(p[0], p[1], p[2]), At(*c, x, y));
        }
}

} // namespace
} // namespace host
