// A skinned window's background, frame and shape, on a generated skin with rounded
// see-through corners and on the installer's skin DEZ.
#include "skin/skin_frame.h"

#include "host/window.h"
#include "skin/skin_test_fixture.h"

#include <array>
#include <filesystem>
#include <functional>

namespace {

using namespace skintest;
using host::POINT;
using host::RGB;
using host::SIZE;

// Colour table slots beyond the shared ones: one per cell.
constexpr std::uint8_t kCorner0 = 4, kEdgeLeft = 8, kEdgeRight = 9, kEdgeTop = 10, kEdgeBottom = 11;

Color SlotColor(std::uint8_t i) {
    switch (i) {
    case kRed:
        return RGB(255, 0, 0);
    case kBlack:
        return RGB(0, 0, 0);
    case kWhite:
        return RGB(255, 255, 255);
    default:
        return RGB(i * 20, 100 + i * 10, 40); // slots 4 to 11
    }
}

Bytes Drawn(int cx, int cy, const std::function<std::uint8_t(int, int)>& pixel) {
    pspwriter::PspImage image = TestImage(cx, cy);
    for (int i = 1; i < 12; ++i) {
        Color clr = SlotColor(static_cast<std::uint8_t>(i));
        image.palette[i] = {static_cast<std::uint8_t>(clr & 0xFF),
                            static_cast<std::uint8_t>((clr >> 8) & 0xFF),
                            static_cast<std::uint8_t>((clr >> 16) & 0xFF)};
    }
    image.layers.push_back(TestLayer(cx, cy, pixel));
    return PspBytes(image);
}

// 8 x 8 corners in slots 4 to 7, see-through where x + y < 3 counted from the outer corner;
// 4-pixel edges of period 5 whose first row (or column) is black; the left edge is
// see-through at its outer pixel of row 2. A 6 x 6 white background with a black top left.
Files TestSkinFiles() {
    return {
        {"frame-c.psp", Drawn(16, 16,
                              [](int x, int y) {
                                  const int iCell = (x / 8) + 2 * (y / 8);
                                  const int dx = x < 8 ? x : 15 - x, dy = y < 8 ? y : 15 - y;
                                  return dx + dy < 3 ? kBlue
                                                     : static_cast<std::uint8_t>(kCorner0 + iCell);
                              })},
        {"frame-lr.psp", Drawn(8, 5,
                               [](int x, int y) {
                                   if (x == 0 && y == 2) return kBlue;
                                   if (y == 0) return kBlack;
                                   return x < 4 ? kEdgeLeft : kEdgeRight;
                               })},
        {"frame-tb.psp", Drawn(5, 8,
                               [](int x, int y) {
                                   if (x == 0) return kBlack;
                                   return y < 4 ? kEdgeTop : kEdgeBottom;
                               })},
        {"background.psp",
         Drawn(6, 6, [](int x, int y) { return x == 0 && y == 0 ? kBlack : kWhite; })},
    };
}

constexpr Color kBackground = RGB(0, 255, 0);

std::string TestSkinText(const char* pszLayout) {
    return std::string("transparent color = #0000FF\nbackground color = #00FF00\n"
                       "frame border = 8\nbackground layout = ") +
           pszLayout + "\n";
}

class SkinFrameTest : public SkinFixture {};

std::array<LONG, 4> Edges(const RECT& rc) {
    return {rc.left, rc.top, rc.right, rc.bottom};
}
std::vector<std::array<LONG, 4>> Rects(host::HRGN hrgn) {
    std::vector<std::array<LONG, 4>> rects;
    for (const RECT& rc : host::GetRegionRects(hrgn))
        rects.push_back(Edges(rc));
    return rects;
}

TEST_F(SkinFrameTest, RegionCutsTheRoundedCornersAndKeepsEdgesAndMiddle) {
    std::unique_ptr<SKIN> pSkin = Load(TestSkinText("tile"), TestSkinFiles());
    SKINFRAME frame(pSkin.get(), "");
    const SIZE sizes[] = {{37, 29}, {16, 16}, {100, 41}};
    for (const SIZE& size : sizes) {
        const int cx = size.cx, cy = size.cy;
        host::HRGN hrgn = frame.Region(cx, cy);
        ASSERT_NE(hrgn, nullptr);
        RECT rcBox;
        host::GetRgnBox(hrgn, &rcBox);
        EXPECT_EQ(Edges(rcBox), (std::array<LONG, 4>{0, 0, cx, cy})) << cx << "x" << cy;
        const POINT outside[] = {{0, 0},      {1, 0},           {0, 1},
                                 {cx - 1, 0}, {cx - 2, 0},      {0, cy - 1},
                                 {0, cy - 2}, {cx - 1, cy - 1}, {cx - 1, cy - 2}};
        for (const POINT& pt : outside)
            EXPECT_FALSE(host::PtInRegion(hrgn, pt.x, pt.y)) << pt.x << "," << pt.y;
        const POINT inside[] = {{2, 1},           {cx - 4, 0}, {cx / 2, cy / 2}, {8, 0},
                                {cx / 2, cy - 1}, {0, 3},      {cx - 1, cy - 4}};
        for (const POINT& pt : inside)
            EXPECT_TRUE(host::PtInRegion(hrgn, pt.x, pt.y)) << pt.x << "," << pt.y;
        // The left edge counts by its opaque pixels, repeated every 5 rows from the corner.
        if (cy > 16 + 8) {
            EXPECT_FALSE(host::PtInRegion(hrgn, 0, 8 + 2));
            EXPECT_FALSE(host::PtInRegion(hrgn, 0, 8 + 7));
            EXPECT_TRUE(host::PtInRegion(hrgn, 0, 8 + 3));
            EXPECT_TRUE(host::PtInRegion(hrgn, 4, 8 + 2)); // the solid middle starts at 4
        }
        host::DeleteObject(hrgn);
    }
}

TEST_F(SkinFrameTest, DegenerateSizesGiveEmptyOrClippedShapes) {
    std::unique_ptr<SKIN> pSkin = Load(TestSkinText("tile"), TestSkinFiles());
    SKINFRAME frame(pSkin.get(), "");
    const SIZE sizes[] = {{0, 0}, {-5, 10}, {10, 0}, {1, 1}, {3, 2}, {9, 40}};
    for (const SIZE& size : sizes) {
        host::HRGN hrgn = frame.Region(size.cx, size.cy);
        ASSERT_NE(hrgn, nullptr);
        RECT rcBox;
        host::GetRgnBox(hrgn, &rcBox);
        EXPECT_GE(rcBox.left, 0);
        EXPECT_GE(rcBox.top, 0);
        EXPECT_LE(rcBox.right, std::max<LONG>(size.cx, 0));
        EXPECT_LE(rcBox.bottom, std::max<LONG>(size.cy, 0));
        host::DeleteObject(hrgn);
        RECT rcInner = frame.InnerRect(size.cx, size.cy);
        EXPECT_LE(rcInner.left, rcInner.right);
        EXPECT_LE(rcInner.top, rcInner.bottom);
    }
    EXPECT_EQ(Edges(frame.InnerRect(37, 29)), (std::array<LONG, 4>{8, 8, 29, 21}));
}

TEST_F(SkinFrameTest, DrawsBackgroundByLayoutThenCornersAndRepeatedEdges) {
    const Color black = SlotColor(kBlack), white = SlotColor(kWhite);
    struct Case {
        const char* pszLayout;
        std::vector<std::pair<POINT, Color>> expected; // inner rectangle (8, 8)-(29, 21)
    };
    const Case cases[] = {
        {"tile", {{{8, 8}, black}, {{14, 8}, black}, {{20, 14}, black}, {{9, 8}, white}}},
        {"stretch", {{{8, 8}, black}, {{9, 9}, black}, {{14, 8}, white}, {{28, 20}, white}}},
        {"center",
         {{{15, 11}, black}, {{16, 12}, white}, {{8, 8}, kBackground}, {{28, 20}, kBackground}}},
    };
    const int cx = 37, cy = 29;
    const std::vector<std::pair<POINT, Color>> frame = {
        {{0, 0}, kBackground}, // see-through corner pixels show the background colour
        {{3, 3}, SlotColor(kCorner0)},
        {{cx - 4, 3}, SlotColor(kCorner0 + 1)},
        {{3, cy - 4}, SlotColor(kCorner0 + 2)},
        {{cx - 4, cy - 4}, SlotColor(kCorner0 + 3)},
        {{1, 8}, black}, // left edge rows 0 every 5 rows from the corner
        {{1, 13}, black},
        {{1, 9}, SlotColor(kEdgeLeft)},
        {{0, 10}, kBackground},
        {{cx - 1, 18}, black},
        {{cx - 1, 19}, SlotColor(kEdgeRight)},
        {{8, 1}, black}, // top edge columns 0 every 5 from the corner, cut at the corner
        {{28, 1}, black},
        {{9, 1}, SlotColor(kEdgeTop)},
        {{29, 1}, SlotColor(kCorner0 + 1)},
        {{13, cy - 1}, black},
        {{14, cy - 1}, SlotColor(kEdgeBottom)},
    };
    for (const Case& c : cases) {
        std::unique_ptr<SKIN> pSkin = Load(TestSkinText(c.pszLayout), TestSkinFiles());
        SKINFRAME skinFrame(pSkin.get(), "");
        Graphic dest(cx, cy, 32);
        skinFrame.Draw(&dest);
        for (const auto& [pt, clr] : c.expected)
            EXPECT_EQ(dest.GetPixelColor(pt.x, pt.y) & 0xFFFFFF, clr & 0xFFFFFF)
                << c.pszLayout << " " << pt.x << "," << pt.y;
        for (const auto& [pt, clr] : frame)
            EXPECT_EQ(dest.GetPixelColor(pt.x, pt.y) & 0xFFFFFF, clr & 0xFFFFFF)
                << c.pszLayout << " " << pt.x << "," << pt.y;
    }
}

TEST_F(SkinFrameTest, ASmallWindowSplitsItsCornersAndDrawsInsideItsBounds) {
    std::unique_ptr<SKIN> pSkin = Load(TestSkinText("stretch"), TestSkinFiles());
    SKINFRAME frame(pSkin.get(), "");
    const Color sentinel = RGB(1, 2, 3);
    Graphic screen(20, 12, 32);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x)
            screen.SetPixelColor(x, y, sentinel);
    const RECT rcWindow = {3, 3, 13, 9}; // 10 x 6: less than two 8 x 8 corners either way
    Graphic window(&screen, &rcWindow);
    frame.Draw(&window);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool fInside = x >= 3 && x < 13 && y >= 3 && y < 9;
            if (!fInside) {
                EXPECT_EQ(screen.GetPixelColor(x, y), sentinel) << x << "," << y;
            }
        }
    EXPECT_EQ(window.GetPixelColor(4, 2) & 0xFFFFFF, SlotColor(kCorner0));
    EXPECT_EQ(window.GetPixelColor(5, 2) & 0xFFFFFF, SlotColor(kCorner0 + 1));
    EXPECT_EQ(window.GetPixelColor(4, 3) & 0xFFFFFF, SlotColor(kCorner0 + 2));
    EXPECT_EQ(window.GetPixelColor(5, 3) & 0xFFFFFF, SlotColor(kCorner0 + 3));
    EXPECT_EQ(window.GetPixelColor(9, 5) & 0xFFFFFF, kBackground & 0xFFFFFF); // see-through
}

TEST_F(SkinFrameTest, AWholeWindowFrameDrawsAtItsSizeAndShapesByItsOutline) {
    // A 12 x 10 ring: see-through outside its rounded corners and in its 4 x 4 middle.
    Files files = TestSkinFiles();
    files.push_back({"frame.psp", Drawn(12, 10, [](int x, int y) {
                         const int dx = std::min(x, 11 - x), dy = std::min(y, 9 - y);
                         if (dx + dy < 2) return kBlue;
                         return dx >= 4 && dy >= 3 ? kBlue : kRed;
                     })});
    std::unique_ptr<SKIN> pSkin = Load(TestSkinText("tile"), files);
    SKINFRAME frame(pSkin.get(), "");
    ASSERT_NE(frame.Frame(), nullptr);
    EXPECT_EQ(frame.Corners(), nullptr);
    host::HRGN hrgn = frame.Region(30, 20);
    RECT rcBox;
    host::GetRgnBox(hrgn, &rcBox);
    EXPECT_EQ(Edges(rcBox), (std::array<LONG, 4>{0, 0, 12, 10}));
    EXPECT_FALSE(host::PtInRegion(hrgn, 0, 0));
    EXPECT_TRUE(host::PtInRegion(hrgn, 5, 5)); // the hole shows the background
    EXPECT_FALSE(host::PtInRegion(hrgn, 15, 5));
    host::DeleteObject(hrgn);

    Graphic dest(30, 20, 32);
    frame.Draw(&dest);
    EXPECT_EQ(dest.GetPixelColor(1, 3) & 0xFFFFFF, SlotColor(kRed));
    EXPECT_EQ(dest.GetPixelColor(5, 5) & 0xFFFFFF, kBackground & 0xFFFFFF); // the hole
    EXPECT_EQ(dest.GetPixelColor(15, 9) & 0xFFFFFF, SlotColor(kWhite));     // background picture
}

TEST_F(SkinFrameTest, WithoutATransparentColourTheShapeIsTheWindow) {
    std::string strText = TestSkinText("tile");
    strText.erase(0, strText.find('\n') + 1);
    std::unique_ptr<SKIN> pSkin = Load(strText, TestSkinFiles());
    SKINFRAME frame(pSkin.get(), "");
    host::HRGN hrgn = frame.Region(37, 29);
    EXPECT_EQ(Rects(hrgn), (std::vector<std::array<LONG, 4>>{{0, 0, 37, 29}}));
    host::DeleteObject(hrgn);
}

// ---- DEZ

Graphic* g_pShown = nullptr;

host::LRESULT ShowProc(host::HWND hwnd, UINT msg, host::WPARAM wParam, host::LPARAM lParam) {
    if (msg == host::WM_PAINT) {
        host::PAINTSTRUCT ps;
        HDC hdc = host::BeginPaint(hwnd, &ps);
        if (g_pShown != nullptr)
            g_pShown->DrawTo(hdc, 0, 0, 0, 0, g_pShown->GetWidth(), g_pShown->GetHeight());
        host::EndPaint(hwnd, &ps);
        return 0;
    }
    return host::DefWindowProc(hwnd, msg, wParam, lParam);
}

TEST_F(SkinFrameTest, DezShapeAndScreenshot) {
    std::unique_ptr<SKIN> pSkin = std::make_unique<SKIN>(KELVANO_SKINART_DIR "/dez.zip");
    SKINFRAME frame(pSkin.get(), "KelvanoSetup");
    host::HRGN hrgn = frame.Region(400, 300);
    ASSERT_NE(hrgn, nullptr);
    for (const POINT& pt : std::vector<POINT>{{0, 0}, {399, 0}, {0, 299}, {399, 299}})
        EXPECT_FALSE(host::PtInRegion(hrgn, pt.x, pt.y)) << pt.x << "," << pt.y;
    for (const POINT& pt : std::vector<POINT>{{200, 150}, {200, 0}, {0, 150}, {20, 20}})
        EXPECT_TRUE(host::PtInRegion(hrgn, pt.x, pt.y)) << pt.x << "," << pt.y;
    host::DeleteObject(hrgn);

    // A shaped 320 x 240 window on the desktop, for people to look at.
    Graphic picture(320, 240, 32);
    frame.Draw(&picture);
    g_pShown = &picture;
    host::WNDCLASSA wc{};
    wc.lpfnWndProc = ShowProc;
    wc.lpszClassName = "SkinFrameShow";
    host::RegisterClass(&wc);
    host::HWND hwnd =
        host::CreateWindowEx(0, "SkinFrameShow", "", host::WS_POPUP | host::WS_VISIBLE, 40, 40, 320,
                             240, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_NE(host::SetWindowRgn(hwnd, frame.Region(320, 240), TRUE), 0);
    host::MSG msg;
    while (host::PeekMessage(&msg, nullptr, 0, 0, host::PM_REMOVE))
        host::DispatchMessage(&msg);
    const host::COLORREF desktop = host::GetScreenPixel(10, 10);
    EXPECT_EQ(host::GetScreenPixel(40, 40), desktop); // the see-through corner
    EXPECT_NE(host::GetScreenPixel(40 + 160, 40 + 120), desktop);
    const std::filesystem::path dir =
        std::filesystem::path(KELVANO_SKINART_DIR).parent_path() / "screenshots";
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(host::SaveScreenshot((dir / "skin_frame_dez.png").string()));
    host::DestroyWindow(hwnd);
    g_pShown = nullptr;
}

} // namespace
