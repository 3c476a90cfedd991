#include "host/controls/control_test_support.h"

namespace host::test {
namespace {

class StaticTest : public ControlTest {
protected:
    // The bounding box of the pixels that differ from the static background, in the static's
    // client coordinates; empty when there are none.
    RECT Ink(HWND hwnd) {
        RECT rc, ink = {0, 0, 0, 0};
        GetClientRect(hwnd, &rc);
        const COLORREF background = Shown(GetSysColor(COLOR_STATIC));
        for (int y = 0; y < rc.bottom; ++y) {
            for (int x = 0; x < rc.right; ++x) {
                if (Pixel(hwnd, x, y) == background) continue;
                if (IsRectEmpty(&ink)) ink = {x, y, x + 1, y + 1};
                ink = {std::min<LONG>(ink.left, x), std::min<LONG>(ink.top, y),
                       std::max<LONG>(ink.right, x + 1), std::max<LONG>(ink.bottom, y + 1)};
            }
        }
        return ink;
    }
    int LineHeight() {
        HDC hdc = GetDC(parent_);
        SelectObject(hdc, static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
        TEXTMETRIC tm{};
        GetTextMetrics(hdc, &tm);
        ReleaseDC(parent_, hdc);
        return tm.tmHeight;
    }
};

TEST_F(StaticTest, TextIsAlignedAndWrappedAsItsStyleSays) {
    constexpr int kWidth = 100;
    const int cyLine = LineHeight();
    struct Case {
        DWORD style;
        const char16_t* text;
        enum { kLeft, kCentre, kRight } align;
        int cLines;
    };
    const Case cases[] = {
        {SS_LEFT, u"Strength:", Case::kLeft, 1},
        {SS_CENTER, u"Strength:", Case::kCentre, 1},
        {SS_RIGHT, u"Strength:", Case::kRight, 1},
        {SS_LEFT, u"Play a computer opponent", Case::kLeft, 2},
        {SS_RIGHT, u"Play a computer opponent", Case::kRight, 2},
        {SS_LEFTNOWORDWRAP, u"Play a computer opponent", Case::kLeft, 1},
        {SS_SIMPLE, u"Play a computer opponent", Case::kLeft, 1},
    };
    for (ScreenProfile profile : {ScreenProfile::kDevice, ScreenProfile::kDesktop}) {
        Start(profile);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << "style " << c.style << " "
                         << (profile == ScreenProfile::kDevice ? "device" : "desktop"));
            HWND label = Control(WC_STATIC, c.text, c.style, {10, 10, 10 + kWidth, 60});
            Settle();
            const RECT ink = Ink(label);
            ASSERT_FALSE(IsRectEmpty(&ink));
            const int left = ink.left, right = kWidth - ink.right;
            switch (c.align) {
            case Case::kLeft:
                EXPECT_LE(left, 2);
                break;
            case Case::kRight:
                EXPECT_LE(right, 2);
                break;
            case Case::kCentre:
                EXPECT_GT(left, 10);
                EXPECT_NEAR(left, right, 2);
                break;
            }
            EXPECT_EQ((ink.bottom - 1) / cyLine + 1, c.cLines) << "ink to row " << ink.bottom;
            DestroyWindow(label);
        }
    }
}

TEST_F(StaticTest, TextChangesRepaintAndDisabledTextIsGrey) {
    HWND label = Control(WC_STATIC, u"(strength)", SS_LEFT, {10, 10, 110, 30});
    Settle();
    auto hasDark = [&] {
        for (int x = 0; x < 100; ++x)
            for (int y = 0; y < 20; ++y)
                if (Dark(Pixel(label, x, y))) return true;
        return false;
    };
    EXPECT_TRUE(hasDark());
    EnableWindow(label, FALSE);
    Settle();
    EXPECT_FALSE(hasDark());
    const RECT grey = Ink(label);
    EXPECT_FALSE(IsRectEmpty(&grey));
    SetWindowText(label, std::u16string_view(u""));
    Settle();
    const RECT none = Ink(label);
    EXPECT_TRUE(IsRectEmpty(&none));
}

TEST_F(StaticTest, ClicksNotifyWithSsNotifyAndOtherwiseReachWhatIsBelow) {
    for (DWORD notify : {SS_NOTIFY, DWORD{0}}) {
        Log().Clear();
        HWND label = Control(WC_STATIC, u"High", SS_LEFT | notify, {10, 10, 110, 30}, 40);
        Settle();
        Click(label, {5, 5});
        EXPECT_EQ(Notifications(40), notify ? std::vector<WORD>{STN_CLICKED} : std::vector<WORD>{});
        EXPECT_EQ(Log().Of(parent_, WM_LBUTTONDOWN).size(), notify ? 0u : 1u);
        DestroyWindow(label);
    }
}

TEST_F(StaticTest, RectanglesFramesAndEtchedLines) {
    const COLORREF face = Shown(GetSysColor(COLOR_BTNFACE));
    const COLORREF black = Shown(GetSysColor(COLOR_3DDKSHADOW)),
                   grey = Shown(GetSysColor(COLOR_3DSHADOW)),
                   white = Shown(GetSysColor(COLOR_3DHILIGHT));
    struct Case {
        DWORD style;
        COLORREF corner, below, middle; // at (0, 0), (0, 1) and the centre
    };
    const Case cases[] = {
        {SS_BLACKRECT, black, black, black},
        {SS_GRAYRECT, grey, grey, grey},
        {SS_WHITERECT, white, white, white},
        {SS_BLACKFRAME, black, black, face},
        {SS_GRAYFRAME, grey, grey, face},
        {SS_WHITEFRAME, white, white, face},
        {SS_ETCHEDHORZ, grey, white, face},
        {SS_ETCHEDFRAME, grey, grey, face},
        {SS_LEFT | WS_BORDER, Shown(GetSysColor(COLOR_WINDOWFRAME)),
         Shown(GetSysColor(COLOR_WINDOWFRAME)), face},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        HWND hwnd = Control(WC_STATIC, u"", c.style, {10, 10, 50, 40});
        Settle();
        EXPECT_EQ(Pixel(hwnd, 0, 0), c.corner);
        EXPECT_EQ(Pixel(hwnd, 0, 1), c.below);
        EXPECT_EQ(Pixel(hwnd, 20, 15), c.middle);
        DestroyWindow(hwnd);
    }
}

TEST_F(StaticTest, TheParentChoosesTheBackground) {
    HBRUSH red = CreateSolidBrush(RGB(248, 0, 0));
    Handler face = paintFace_;
    paintFace_ = [face, red](HWND hwnd, UINT msg, WPARAM wParam,
                             LPARAM lParam) -> std::optional<LRESULT> {
        if (msg == WM_CTLCOLORSTATIC) return reinterpret_cast<LRESULT>(red);
        return face(hwnd, msg, wParam, lParam);
    };
    HWND label = Control(WC_STATIC, u"Red", SS_RIGHT, {10, 10, 110, 30});
    Settle();
    EXPECT_EQ(Pixel(label, 1, 1), Shown(RGB(248, 0, 0)));
    DestroyWindow(label);
    paintFace_ = face;
    DeleteObject(red);
}

} // namespace
} // namespace host::test
