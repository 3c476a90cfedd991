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
using tstring_view = std::basic_string_view<TCHAR>;

constexpr DWORD kNoBackground = 0x0001;
constexpr DWORD kCentre = 0x0002;
constexpr RECT kLine{4, 4, 214, 24};

bool Ink(COLORREF cr) {
    return GetRValue(cr) + GetGValue(cr) + GetBValue(cr) < 200;
}
bool Red(COLORREF cr) {
    return GetRValue(cr) >= 0xC0 && GetGValue(cr) < 0x50 && GetBValue(cr) < 0x50;
}
bool LinkBlue(COLORREF cr) {
    return GetBValue(cr) >= 0x70 && GetRValue(cr) < 0x40 && GetGValue(cr) < 0x40;
}

RECT Box(const std::vector<RECT>& lines) {
    RECT box{};
    for (const RECT& rc : lines)
        UnionRect(&box, &box, &rc);
    return box;
}

// Texts avoid dotted letters, so that each line of text is one band of inked rows.
class StaticExTest : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        ASSERT_TRUE(cetl::RegisterStaticEx(nullptr));
    }
    void TearDown() override {
        ControlTest::TearDown();
        for (HFONT h : fonts_)
            DeleteObject(h);
    }
    HWND Make(const TCHAR* text, RECT rc, DWORD style = 0) {
        HWND hwnd = CreateWindowEx(0, cetl::kStaticExClassName, text, WS_CHILD | WS_VISIBLE | style,
                                   rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, parent_,
                                   nullptr, nullptr, nullptr);
        EXPECT_NE(hwnd, nullptr);
        Settle();
        return hwnd;
    }
    HFONT Font(const TCHAR* desc) {
        return fonts_.emplace_back(cetl::CreateFontFromDescription(desc));
    }
    // One box per band of pixels passing the test, top to bottom.
    static std::vector<RECT> Lines(HWND hwnd, bool (*test)(COLORREF) = Ink) {
        std::vector<RECT> lines;
        RECT rc;
        GetClientRect(hwnd, &rc);
        bool fInLine = false;
        for (int y = 0; y < rc.bottom; ++y) {
            RECT row{};
            for (int x = 0; x < rc.right; ++x)
                if (test(Pixel(hwnd, x, y))) {
                    RECT px{x, y, x + 1, y + 1};
                    UnionRect(&row, &row, &px);
                }
            if (IsRectEmpty(&row))
                fInLine = false;
            else if (fInLine)
                UnionRect(&lines.back(), &lines.back(), &row);
            else
                lines.push_back(row), fInLine = true;
        }
        return lines;
    }
    // Gives the control a font (unless null) and the text (unless null), reads its lines and
    // destroys it.
    static std::vector<RECT> Show(HWND hwnd, HFONT font, const TCHAR* text,
                                  bool (*test)(COLORREF) = Ink) {
        if (font != nullptr) SendMessage(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        if (text != nullptr) SetWindowText(hwnd, tstring_view(text));
        Settle();
        std::vector<RECT> lines = Lines(hwnd, test);
        DestroyWindow(hwnd);
        return lines;
    }
    std::vector<RECT> Show(const TCHAR* text, RECT rc = kLine, HFONT font = nullptr,
                           bool (*test)(COLORREF) = Ink) {
        return Show(Make(TEXT(""), rc), font, text, test);
    }

    std::vector<HFONT> fonts_;
    testsupport::TempRegistry registry_{"gl_staticex"};
};

TEST_F(StaticExTest, FormatRunsDrawInTheirFontAndNothingOfTheTag) {
    const RECT bold = Box(Show(TEXT("To play the game, click [B]Close[]")));
    const RECT unclosed = Box(Show(TEXT("To play the game, click [B]Close")));
    const RECT plain = Box(Show(TEXT("To play the game, click Close")));
    EXPECT_FALSE(IsRectEmpty(&bold));
    EXPECT_TRUE(EqualRect(&bold, &unclosed)) << "the closing tag draws nothing";
    EXPECT_GT(bold.right, plain.right) << "bold Close is wider";
}

TEST_F(StaticExTest, TagColours) {
    const struct {
        const TCHAR* text;
        bool fRed;
    } cases[] = {
        {TEXT("[#FF0000]Red text"), true},
        {TEXT("[#ff0000]Red text"), true},
        {TEXT("[B#FF0000]Red text"), true},
        // A bad colour gives the window-text colour, not the red before it.
        {TEXT("[#FF0000][#FF00G0]Black text"), false},
        {TEXT("[#FF0000][#FF00]Black text"), false},
        {TEXT("[#FF0000][]Black text"), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(!Show(c.text, kLine, nullptr, Red).empty(), c.fRed) << &c - cases;
        EXPECT_EQ(Show(c.text, kLine, nullptr, Ink).empty(), c.fRed) << &c - cases;
    }
}

TEST_F(StaticExTest, LinkShowsTheHandAndOnlyTheLinkIsBlue) {
    const TCHAR* text = TEXT("Read <the rules><> now");
    const RECT link = Box(Show(text, kLine, nullptr, LinkBlue));
    const RECT all = Box(Show(text));
    ASSERT_FALSE(IsRectEmpty(&link));
    EXPECT_LT(all.left, link.left);
    EXPECT_GT(all.right, link.right) << "the text after the link is plain";

    HWND hwnd = Make(text, kLine);
    const int y = (link.top + link.bottom) / 2;
    const struct {
        int x;
        const char* cursor;
    } moves[] = {{(link.left + link.right) / 2, IDC_HAND},
                 {all.left + 1, IDC_ARROW},
                 {link.left + 1, IDC_HAND},
                 {all.right - 1, IDC_ARROW}};
    for (const auto& m : moves) {
        PostMouseInput(OnScreen(hwnd, {m.x, y}), MouseAction::kMove);
        Settle();
        EXPECT_EQ(GetCursor(), LoadCursor(nullptr, m.cursor)) << m.x;
    }
    Click(hwnd, {(link.left + link.right) / 2, y}); // found, and leads nowhere
    EXPECT_TRUE(IsWindow(hwnd));
}

// Without markup the control wraps as a plain static control does, with either alignment.
TEST_F(StaticExTest, WrapsLikeTheStaticControl) {
    const TCHAR* texts[] = {
        TEXT("Take the ball to the left and then one more"),
        TEXT("ABCDEFGHKLMNOBCDEFGHKLMNOBCDEF"), // one word wider than the control
        TEXT("Short ABCDEFGHKLMNOBCDEFGHKLMNOBCDEF end"),
        TEXT("Two\nrows"),
    };
    const RECT rc{4, 4, 104, 124};
    HFONT font = Font(TEXT("Arial,-13"));
    const struct { DWORD nStyleEx, nStyleStatic; } aligns[] = {{0, SS_LEFT}, {kCentre, SS_CENTER}};
    for (const auto& align : aligns) {
        for (const TCHAR* text : texts) {
            const auto ex = Show(Make(TEXT(""), rc, align.nStyleEx), font, text);
            const auto st = Show(Control(WC_STATIC, u"", align.nStyleStatic, rc), font, text);
            const std::size_t cch = tstring_view(text).size();
            ASSERT_EQ(ex.size(), st.size()) << cch << " style " << align.nStyleEx;
            EXPECT_GT(ex.size(), 1u);
            for (std::size_t i = 0; i < ex.size(); ++i)
                EXPECT_TRUE(EqualRect(&ex[i], &st[i])) << cch << " style " << align.nStyleEx;
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

    const RECT alone = Box(Show(TEXT("[B]wrapped"), {4, 4, 204, 64}));
    // Room for the first words and half of the bold one.
    const auto lines =
        Show(TEXT("Some text [B]wrapped"), {4, 4, 4 + first.cx + word.cx / 2, 64}, font);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].left, alone.left);
    EXPECT_EQ(lines[1].right, alone.right) << "not cut";
}

TEST_F(StaticExTest, EmptyLinesKeepTheFontHeight) {
    const RECT rc{4, 4, 104, 104};
    const auto one = Show(TEXT("MM\nMM"), rc);
    ASSERT_EQ(one.size(), 2u);
    const int pitch = one[1].top - one[0].top;
    EXPECT_GT(pitch, 0);
    const auto two = Show(TEXT("MM\n\nMM"), rc);
    const auto three = Show(TEXT("MM\r\n\r\n\r\nMM"), rc);
    ASSERT_EQ(two.size(), 2u);
    ASSERT_EQ(three.size(), 2u);
    EXPECT_EQ(two[1].top - two[0].top, 2 * pitch);
    EXPECT_EQ(three[1].top - three[0].top, 3 * pitch);
}

TEST_F(StaticExTest, WidthZeroAndAFontChangeLayOutAgain) {
    const TCHAR* text = TEXT("Take the ball to the left");
    HWND hwnd = Make(text, {4, 4, 4, 200}); // nothing fits: must not hang
    EXPECT_EQ(GetWindowTextLength(hwnd), static_cast<int>(tstring_view(text).size()));
    MoveWindow(hwnd, 4, 4, 200, 200, TRUE);
    const auto small = Show(hwnd, nullptr, nullptr);
    EXPECT_EQ(small.size(), 1u);

    HFONT big = Font(TEXT("Arial,-28"));
    hwnd = Make(text, {4, 4, 204, 204});
    SendMessage(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(big), FALSE);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessage(hwnd, WM_GETFONT, 0, 0)), big);
    const auto large = Show(hwnd, big, nullptr);
    ASSERT_GT(large.size(), small.size());
    EXPECT_GT(large[0].bottom - large[0].top, small[0].bottom - small[0].top);
}

TEST_F(StaticExTest, TextRoundTripsWithoutHalfCharacters) {
    const TCHAR* text = TEXT("\u0108u [B]vi[] ludas?");
    HWND hwnd = Make(text, kLine);
    TCHAR buffer[64];
    EXPECT_EQ(GetWindowText(hwnd, buffer, 64), static_cast<int>(tstring_view(text).size()));
    EXPECT_EQ(tstring_view(buffer), tstring_view(text));
    EXPECT_EQ(GetWindowText(hwnd, buffer, 2), KELVANO_WIDE ? 1 : 0);
}

TEST_F(StaticExTest, ForeignWindowWordShowsNothing) {
    struct {
        DWORD dwSignature = 0x41424344;
        char rest[64] = {};
    } foreign;
    const LONG_PTR words[] = {reinterpret_cast<LONG_PTR>(&foreign), 0x1234, 0};
    for (LONG_PTR word : words) {
        HWND hwnd = Make(TEXT("Hello"), kLine);
        const LONG_PTR own = SetWindowLongPtr(hwnd, 0, word);
        SendMessage(hwnd, WM_SETFONT, 0, TRUE);
        SetWindowText(hwnd, tstring_view(TEXT("Other")));
        PostMouseInput(OnScreen(hwnd, {5, 5}), MouseAction::kMove);
        InvalidateRect(hwnd, nullptr, TRUE);
        Settle();
        EXPECT_EQ(GetWindowTextLength(hwnd), 0);
        EXPECT_TRUE(Lines(hwnd).empty()) << word;
        SetWindowLongPtr(hwnd, 0, own);
        DestroyWindow(hwnd);
    }
}

TEST_F(StaticExTest, NoBackgroundStyleLeavesTheParentShowing) {
    paintFace_ = [](HWND hwnd, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg != WM_PAINT) return std::nullopt;
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        FillRect(hdc, &ps.rcPaint, GetSysColorBrush(COLOR_WINDOW));
        EndPaint(hwnd, &ps);
        return 0;
    };
    InvalidateRect(parent_, nullptr, TRUE);
    for (DWORD style : {DWORD{0}, kNoBackground}) {
        HWND hwnd = Make(TEXT("MM"), kLine, style);
        EXPECT_EQ(Pixel(hwnd, 90, 10), Shown(GetSysColor(style ? COLOR_WINDOW : COLOR_STATIC)));
        DestroyWindow(hwnd);
    }
}

TEST_F(StaticExTest, Screenshot) {
    Make(TEXT("[B]Welcome to Kelvano![] This text mixes [I]italic[], [#C00000]red[] and "
              "[B#0000C0]blue bold[] runs, and <a link><> in the middle.\n\n"
              "[Arial,-16,B]Big heading[]\nBack to plain text."),
         {4, 4, 216, 150});
    Make(TEXT("A centred paragraph\nwith [B]short[] lines\nof [#008000]green[] text."),
         {4, 156, 216, 220}, kCentre);
    ASSERT_TRUE(SaveScreenshot("staticex-sample.png"));
}

} // namespace
