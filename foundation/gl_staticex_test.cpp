#include "foundation/gl_staticex.h"

#include "foundation/tl_font.h"
#include "host/controls/control_test_support.h"
#include "tests/support/temp_registry.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

using namespace host;
using namespace host::test;
using cetl::kStaticExClassName;

constexpr DWORD kNoBackground = 0x0001;
constexpr DWORD kCentre = 0x0002;
using tstring_view = std::basic_string_view<TCHAR>;

bool Red(COLORREF cr) {
    return GetRValue(cr) >= 0xC0 && GetGValue(cr) < 0x50 && GetBValue(cr) < 0x50;
}
bool LinkBlue(COLORREF cr) {
    return GetBValue(cr) >= 0x70 && GetRValue(cr) < 0x40 && GetGValue(cr) < 0x40;
}
bool Ink(COLORREF cr) {
    return GetRValue(cr) + GetGValue(cr) + GetBValue(cr) < 200;
}

// The texts below avoid letters with dots and descenders, so that every line of text is one
// band of inked rows.
class StaticExTest : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        ASSERT_TRUE(cetl::RegisterStaticEx(nullptr));
    }
    void TearDown() override {
        for (HFONT h : fonts_)
            DeleteObject(h);
        ControlTest::TearDown();
    }

    HWND Make(const TCHAR* text, DWORD style, RECT rc) {
        HWND hwnd = CreateWindowEx(0, kStaticExClassName, text, WS_CHILD | WS_VISIBLE | style,
                                   rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, parent_,
                                   nullptr, nullptr, nullptr);
        EXPECT_NE(hwnd, nullptr);
        Settle();
        return hwnd;
    }
    HFONT Font(const TCHAR* desc) {
        HFONT h = cetl::CreateFontFromDescription(desc);
        fonts_.push_back(h);
        return h;
    }

    // The bounding box of the pixels that pass the test.
    static RECT InkBox(HWND hwnd, bool (*test)(COLORREF) = Ink) {
        RECT rc, box{};
        GetClientRect(hwnd, &rc);
        for (int y = 0; y < rc.bottom; ++y)
            for (int x = 0; x < rc.right; ++x)
                if (test(Pixel(hwnd, x, y))) {
                    RECT px{x, y, x + 1, y + 1};
                    UnionRect(&box, &box, &px);
                }
        return box;
    }
    // One box per band of inked rows, top to bottom.
    static std::vector<RECT> InkLines(HWND hwnd) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        std::vector<RECT> lines;
        bool fInLine = false;
        for (int y = 0; y < rc.bottom; ++y) {
            RECT row{};
            for (int x = 0; x < rc.right; ++x)
                if (Ink(Pixel(hwnd, x, y))) {
                    RECT px{x, y, x + 1, y + 1};
                    UnionRect(&row, &row, &px);
                }
            if (IsRectEmpty(&row)) {
                fInLine = false;
            } else if (fInLine) {
                UnionRect(&lines.back(), &lines.back(), &row);
            } else {
                lines.push_back(row);
                fInLine = true;
            }
        }
        return lines;
    }

    std::vector<HFONT> fonts_;
    testsupport::TempRegistry registry_{"gl_staticex"};
};

bool Same(const RECT& a, const RECT& b) {
    return EqualRect(&a, &b) != 0;
}

TEST_F(StaticExTest, FormatRunsDrawInTheirFontAndNothingOfTheTag) {
    const RECT rc{4, 4, 214, 24};
    HWND bold = Make(TEXT("To play the game, click [B]Close[]"), 0, rc);
    const RECT boxBold = InkBox(bold);
    DestroyWindow(bold);
    HWND noEnd = Make(TEXT("To play the game, click [B]Close"), 0, rc);
    const RECT boxNoEnd = InkBox(noEnd);
    DestroyWindow(noEnd);
    HWND plain = Make(TEXT("To play the game, click Close"), 0, rc);
    const RECT boxPlain = InkBox(plain);

    EXPECT_FALSE(IsRectEmpty(&boxBold));
    EXPECT_TRUE(Same(boxBold, boxNoEnd)) << "the closing tag draws nothing";
    EXPECT_GT(boxBold.right, boxPlain.right) << "bold Close is wider";
}

TEST_F(StaticExTest, TagColours) {
    struct Case {
        const TCHAR* text;
        bool fRed;
    } cases[] = {
        {TEXT("[#FF0000]Red text"), true},
        {TEXT("[#ff0000]Red text"), true},
        {TEXT("[B#FF0000]Red text"), true},
        // The bad colour replaces the red before it with the window-text colour.
        {TEXT("[#FF0000][#FF00G0]Black text"), false},
        {TEXT("[#FF0000][#FF00]Black text"), false},
        {TEXT("[#FF0000][]Black text"), false},
    };
    for (const Case& c : cases) {
        HWND hwnd = Make(c.text, 0, {4, 4, 204, 24});
        const RECT red = InkBox(hwnd, Red);
        const RECT dark = InkBox(hwnd, Ink);
        EXPECT_EQ(!IsRectEmpty(&red), c.fRed) << tstring_view(c.text).size();
        EXPECT_EQ(IsRectEmpty(&dark), c.fRed) << tstring_view(c.text).size();
        DestroyWindow(hwnd);
    }
}

TEST_F(StaticExTest, LinkShowsTheHandAndOnlyTheLinkIsBlue) {
    HWND hwnd = Make(TEXT("Read <the rules><> now"), 0, {4, 4, 214, 24});
    const RECT link = InkBox(hwnd, LinkBlue);
    ASSERT_FALSE(IsRectEmpty(&link));
    const RECT all = InkBox(hwnd, Ink);
    EXPECT_LT(all.left, link.left) << "Read";
    EXPECT_GT(all.right, link.right) << "now is plain, after the link";

    const HCURSOR hand = LoadCursor(nullptr, IDC_HAND);
    const HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
    const struct {
        POINT pt;
        HCURSOR expected;
    } moves[] = {
        {{(link.left + link.right) / 2, (link.top + link.bottom) / 2}, hand},
        {{all.left + 1, (link.top + link.bottom) / 2}, arrow},
        {{link.left + 1, link.top}, hand},
        {{all.right - 1, (link.top + link.bottom) / 2}, arrow},
    };
    for (const auto& m : moves) {
        PostMouseInput(OnScreen(hwnd, m.pt), MouseAction::kMove);
        Settle();
        EXPECT_EQ(GetCursor(), m.expected) << m.pt.x;
    }
    // A click on the link is taken and leads nowhere.
    Click(hwnd, {(link.left + link.right) / 2, (link.top + link.bottom) / 2});
    EXPECT_TRUE(IsWindow(hwnd));
}

// Without markup the control wraps as a plain static control does, with either alignment.
TEST_F(StaticExTest, WrapsLikeTheStaticControl) {
    const TCHAR* texts[] = {
        TEXT("Take the ball to the left and then one more"),
        TEXT("ABCDEFGHKLMNOBCDEFGHKLMNOBCDEF"), // one word wider than the control
        TEXT("Short ABCDEFGHKLMNOBCDEFGHKLMNOBCDEF end"),
        TEXT("Two\nlines"),
    };
    HFONT font = Font(TEXT("Arial,-13"));
    const struct { DWORD nStyleEx, nStyleStatic; } aligns[] = {{0, SS_LEFT}, {kCentre, SS_CENTER}};
    for (const auto& align : aligns) {
        for (const TCHAR* text : texts) {
            const RECT rc{4, 4, 104, 124};
            HWND ex = Make(TEXT(""), align.nStyleEx, rc);
            SendMessage(ex, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
            SetWindowText(ex, tstring_view(text));
            Settle();
            const std::vector<RECT> linesEx = InkLines(ex);
            DestroyWindow(ex);
            HWND st = Control(WC_STATIC, u"", align.nStyleStatic, rc);
            SendMessage(st, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
            SetWindowText(st, tstring_view(text));
            Settle();
            const std::vector<RECT> linesStatic = InkLines(st);
            DestroyWindow(st);

            const auto where = testing::Message()
                               << tstring_view(text).size() << " style " << align.nStyleEx;
            ASSERT_EQ(linesEx.size(), linesStatic.size()) << where;
            EXPECT_GT(linesEx.size(), 1u) << where;
            for (std::size_t i = 0; i < linesEx.size(); ++i)
                EXPECT_TRUE(Same(linesEx[i], linesStatic[i])) << where << " line " << i;
        }
    }
}

TEST_F(StaticExTest, WordAfterAFormatChangeWrapsWhole) {
    HFONT font = Font(TEXT("Arial,-13"));
    HFONT bold = Font(TEXT("B"));
    HDC hdc = GetDC(nullptr);
    SIZE first, word;
    SelectObject(hdc, font);
    GetTextExtentPoint32(hdc, "Some text ", -1, &first);
    SelectObject(hdc, bold);
    GetTextExtentPoint32(hdc, "wrapped", -1, &word);
    ReleaseDC(nullptr, hdc);
    // Room for the first words and half of the bold one.
    const int cx = first.cx + word.cx / 2;

    HWND alone = Make(TEXT("[B]wrapped"), 0, {4, 4, 204, 64});
    const RECT boxAlone = InkBox(alone);
    DestroyWindow(alone);
    HWND hwnd = Make(TEXT(""), 0, {4, 4, 4 + cx, 64});
    SendMessage(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SetWindowText(hwnd, tstring_view(TEXT("Some text [B]wrapped")));
    Settle();
    const std::vector<RECT> lines = InkLines(hwnd);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].left, boxAlone.left);
    EXPECT_EQ(lines[1].right - lines[1].left, boxAlone.right - boxAlone.left) << "not cut";
}

TEST_F(StaticExTest, EmptyLinesKeepTheFontHeight) {
    HWND one = Make(TEXT("MM\nMM"), 0, {4, 4, 104, 104});
    const std::vector<RECT> a = InkLines(one);
    DestroyWindow(one);
    HWND two = Make(TEXT("MM\n\nMM"), 0, {4, 4, 104, 104});
    const std::vector<RECT> b = InkLines(two);
    DestroyWindow(two);
    HWND three = Make(TEXT("MM\n\n\nMM"), 0, {4, 4, 104, 104});
    const std::vector<RECT> c = InkLines(three);
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 2u);
    ASSERT_EQ(c.size(), 2u);
    const int pitch = a[1].top - a[0].top;
    EXPECT_GT(pitch, 0);
    EXPECT_EQ(b[1].top - b[0].top, 2 * pitch);
    EXPECT_EQ(c[1].top - c[0].top, 3 * pitch);
}

TEST_F(StaticExTest, WidthZeroAndAFontChangeLayOutAgain) {
    const TCHAR* text = TEXT("Take the ball to the left");
    HWND hwnd = Make(text, 0, {4, 4, 4, 200}); // nothing fits: must not hang
    EXPECT_EQ(GetWindowTextLength(hwnd), static_cast<int>(tstring_view(text).size()));
    MoveWindow(hwnd, 4, 4, 200, 200, TRUE);
    Settle();
    const std::vector<RECT> small = InkLines(hwnd);
    EXPECT_EQ(small.size(), 1u);

    HFONT big = Font(TEXT("Arial,-28"));
    SendMessage(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(big), TRUE);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessage(hwnd, WM_GETFONT, 0, 0)), big);
    Settle();
    const std::vector<RECT> large = InkLines(hwnd);
    EXPECT_GT(large.size(), small.size());
    EXPECT_GT(large[0].bottom - large[0].top, small[0].bottom - small[0].top);
}

TEST_F(StaticExTest, TextRoundTripsInTheNativeWidth) {
    const TCHAR* text = TEXT("\u0108u [B]vi[] ludas?");
    HWND hwnd = Make(TEXT(""), 0, {4, 4, 204, 24});
    SetWindowText(hwnd, tstring_view(text));
    TCHAR buffer[64];
    EXPECT_EQ(GetWindowText(hwnd, buffer, 64), static_cast<int>(tstring_view(text).size()));
    EXPECT_EQ(tstring_view(buffer), tstring_view(text));
    // A short buffer never ends inside a character.
    EXPECT_EQ(GetWindowText(hwnd, buffer, 2), KELVANO_WIDE ? 1 : 0);
}

TEST_F(StaticExTest, ForeignWindowWordShowsNothing) {
    HWND hwnd = Make(TEXT("Hello"), 0, {4, 4, 204, 24});
    RECT box = InkBox(hwnd);
    ASSERT_FALSE(IsRectEmpty(&box));
    struct {
        DWORD dwSignature = 0x41424344;
        char rest[64] = {};
    } foreign;
    const LONG_PTR words[] = {reinterpret_cast<LONG_PTR>(&foreign), 0x1234, 0};
    const LONG_PTR own = GetWindowLongPtr(hwnd, 0);
    for (LONG_PTR word : words) {
        SetWindowLongPtr(hwnd, 0, word);
        SetWindowText(hwnd, tstring_view(TEXT("Other")));
        SendMessage(hwnd, WM_SETFONT, 0, TRUE);
        InvalidateRect(hwnd, nullptr, TRUE);
        PostMouseInput(OnScreen(hwnd, {5, 5}), MouseAction::kMove);
        Settle();
        box = InkBox(hwnd);
        EXPECT_TRUE(IsRectEmpty(&box)) << word;
        EXPECT_EQ(GetWindowTextLength(hwnd), 0);
    }
    SetWindowLongPtr(hwnd, 0, own);
    DestroyWindow(hwnd);
}

TEST_F(StaticExTest, NoBackgroundStyleLeavesTheParentShowing) {
    paintFace_ = [](HWND hwnd, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg != WM_PAINT) return std::nullopt;
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(hdc, &rc, GetSysColorBrush(COLOR_WINDOW));
        EndPaint(hwnd, &ps);
        return 0;
    };
    const struct {
        DWORD nStyle;
        int nColour;
    } cases[] = {{0, COLOR_STATIC}, {kNoBackground, COLOR_WINDOW}};
    for (const auto& c : cases) {
        HWND hwnd = Make(TEXT("MM"), c.nStyle, {4, 4, 104, 24});
        InvalidateRect(parent_, nullptr, TRUE);
        Settle();
        EXPECT_EQ(Pixel(hwnd, 90, 10), Shown(GetSysColor(c.nColour))) << c.nStyle;
        DestroyWindow(hwnd);
    }
}

TEST_F(StaticExTest, Screenshot) {
    Make(TEXT("[B]Welcome to Kelvano![] This text mixes [I]italic[], [#C00000]red[] and "
              "[B#0000C0]blue bold[] runs, and <a link><> in the middle.\n\n"
              "[Arial,-16,B]Big heading[]\nBack to plain text."),
         0, {4, 4, 216, 150});
    Make(TEXT("A centred paragraph\nwith [B]short[] lines\nof [#008000]green[] text."), kCentre,
         {4, 156, 216, 220});
    ASSERT_TRUE(SaveScreenshot("staticex-sample.png"));
}

} // namespace
