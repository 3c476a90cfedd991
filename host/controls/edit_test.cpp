#include "host/controls/control_test_support.h"

#include <string>
#include <utility>
#include <vector>

namespace host::test {
namespace {

class EditTest : public ControlTest {
protected:
    HWND MakeEdit(DWORD style, const char16_t* text, RECT rc = {10, 10, 200, 30}) {
        HWND hwnd = Control(WC_EDIT, text, style, rc, 3);
        SetFocus(hwnd);
        Settle();
        Log().Clear();
        return hwnd;
    }
    static std::u16string Text(HWND hwnd) {
        char16_t buffer[256] = {};
        GetWindowText(hwnd, buffer, 256);
        return buffer;
    }
    static std::pair<DWORD, DWORD> Sel(HWND hwnd) {
        DWORD start = 0;
        DWORD end = 0;
        SendMessage(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                    reinterpret_cast<LPARAM>(&end));
        return {start, end};
    }
    // Keys as typed: letters and digits as themselves (lower case), '<' Left, '>' Right,
    // '^' Home, '$' End, '#' Backspace, '~' Delete, '+' / '-' Shift down / up, '\n' Enter.
    static void Type(std::string_view keys) {
        for (char c : keys) {
            switch (c) {
            case '<':
                Key(VK_LEFT);
                break;
            case '>':
                Key(VK_RIGHT);
                break;
            case '^':
                Key(VK_HOME);
                break;
            case '$':
                Key(VK_END);
                break;
            case '#':
                Key(VK_BACK);
                break;
            case '~':
                Key(VK_DELETE);
                break;
            case '\n':
                Key(VK_RETURN);
                break;
            case '+':
                PostKeyInput(VK_SHIFT, true);
                break;
            case '-':
                PostKeyInput(VK_SHIFT, false);
                break;
            default:
                Key(static_cast<UINT>(c >= 'a' && c <= 'z' ? c - 32 : c));
                break;
            }
        }
        Settle();
    }
};

TEST_F(EditTest, TypingMovesTheCaretAndReplacesTheSelection) {
    struct Case {
        DWORD style;
        const char16_t* initial;
        std::string_view keys;
        const char16_t* text;
        DWORD iSelStart;
        DWORD iSelEnd;
    };
    const Case cases[] = {
        {0, u"", "abc", u"abc", 3, 3},
        {0, u"hello", "$^>+>>-x", u"hxlo", 2, 2},
        {0, u"hello", "$##", u"hel", 3, 3},
        {0, u"hello", "^~>~", u"elo", 1, 1},
        {0, u"hello", "$+<<<-", u"hello", 2, 5},
        {0, u"hello", "$+^-#", u"", 0, 0},
        {ES_UPPERCASE, u"", "ab1", u"AB1", 3, 3},
        {ES_LOWERCASE, u"", "+a-b", u"ab", 2, 2},
        {ES_NUMBER, u"", "a1b2", u"12", 2, 2},
        {ES_READONLY, u"abc", "$#x<", u"abc", 2, 2},
        {ES_PASSWORD, u"", "pw", u"pw", 2, 2},
        {0, u"one", "$\n", u"one", 3, 3},
        {ES_MULTILINE | ES_WANTRETURN, u"", "a\nb", u"ab", 2, 2}, // no room for a second line
        {ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, u"", "a\nb", u"a\r\nb", 4, 4},
        {ES_MULTILINE | ES_AUTOVSCROLL, u"a\r\nb", ">>#", u"ab", 1, 1}, // the break is one
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "keys " << c.keys);
        HWND edit = MakeEdit(c.style, c.initial);
        Type(c.keys);
        EXPECT_EQ(Text(edit), c.text);
        EXPECT_EQ(Sel(edit), std::make_pair(c.iSelStart, c.iSelEnd));
        DestroyWindow(edit);
    }
}

TEST_F(EditTest, ChangesNotifyAndTheLimitHolds) {
    HWND edit = MakeEdit(ES_AUTOHSCROLL, u"");
    SendMessage(edit, EM_LIMITTEXT, 3, 0);
    Type("abcd");
    EXPECT_EQ(Text(edit), u"abc");
    EXPECT_EQ(Notifications(3), (std::vector<WORD>{EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE,
                                                   EN_UPDATE, EN_CHANGE, EN_MAXTEXT}));
    EXPECT_TRUE(SendMessage(edit, EM_GETMODIFY, 0, 0));
    // A replacement keeps what fits.
    SendMessage(edit, EM_SETSEL, 1, 2);
    SendMessage(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(u"XYZ"));
    EXPECT_EQ(Text(edit), u"aXc");
    EXPECT_EQ(Notifications(3).back(), EN_MAXTEXT);
    // One step of undo, which undoes itself.
    ASSERT_TRUE(SendMessage(edit, EM_CANUNDO, 0, 0));
    SendMessage(edit, EM_UNDO, 0, 0);
    EXPECT_EQ(Text(edit), u"abc");
    SendMessage(edit, EM_UNDO, 0, 0);
    EXPECT_EQ(Text(edit), u"aXc");
    // Without sideways scrolling, text wider than the field is refused.
    HWND narrow = MakeEdit(0, u"", {10, 40, 40, 60});
    Type("mmmmmmmmmmmm");
    EXPECT_LT(Text(narrow).size(), 12u);
    EXPECT_FALSE(Text(narrow).empty());
    EXPECT_EQ(Notifications(3).back(), EN_MAXTEXT);
    HWND scrolling = MakeEdit(ES_AUTOHSCROLL, u"", {10, 70, 40, 90});
    Type("mmmmmmmmmmmm");
    EXPECT_EQ(Text(scrolling).size(), 12u);
    // The field scrolls sideways to keep the caret in view.
    auto shown = [&] {
        std::vector<COLORREF> px;
        for (int x = 3; x < 27; ++x)
            for (int y = 3; y < 17; ++y)
                px.push_back(Pixel(scrolling, x, y));
        return px;
    };
    const std::vector<COLORREF> atEnd = shown();
    Type("^");
    EXPECT_NE(shown(), atEnd);
    Type("$");
    EXPECT_EQ(shown(), atEnd);
}

TEST_F(EditTest, StylusPlacesCaretAndDragSelects) {
    HWND edit = MakeEdit(ES_AUTOHSCROLL, u"mmmm mmmm");
    Click(edit, {4, 10});
    EXPECT_EQ(Sel(edit), std::make_pair(DWORD{0}, DWORD{0}));
    Drag(edit, {4, 10}, {185, 10});
    EXPECT_EQ(Sel(edit), std::make_pair(DWORD{0}, DWORD{9}));
    Type("x");
    EXPECT_EQ(Text(edit), u"x");
    // The selection is drawn in the selection colours while focused.
    SendMessage(edit, EM_SETSEL, 0, -1);
    Settle();
    EXPECT_EQ(Pixel(edit, 3, 10), Shown(look::SelectionBackground()));
    SetFocus(nullptr);
    Settle();
    EXPECT_EQ(Pixel(edit, 3, 10), Shown(GetSysColor(COLOR_WINDOW)));
    EXPECT_EQ(GetClassLongPtr(edit, GCLP_HCURSOR),
              reinterpret_cast<LONG_PTR>(LoadCursor(nullptr, IDC_IBEAM)));
}

TEST_F(EditTest, CaretIsDrawnOnlyWhileFocused) {
    HWND edit = MakeEdit(0, u"");
    EXPECT_TRUE(Dark(Pixel(edit, 3, 10)));
    SetFocus(nullptr);
    Settle();
    EXPECT_FALSE(Dark(Pixel(edit, 3, 10)));
    EXPECT_EQ(Notifications(3), (std::vector<WORD>{EN_KILLFOCUS}));
}

TEST_F(EditTest, MultilineWrapsAndWantsKeys) {
    HWND edit = MakeEdit(ES_MULTILINE | ES_AUTOVSCROLL, u"one two three four five six seven",
                         {10, 10, 70, 120});
    EXPECT_GT(SendMessage(edit, EM_GETLINECOUNT, 0, 0), 2);
    HWND single = MakeEdit(0, u"one two three four five six seven", {10, 130, 70, 150});
    EXPECT_EQ(SendMessage(single, EM_GETLINECOUNT, 0, 0), 1);
    const LRESULT base = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    MSG enter{edit, WM_KEYDOWN, VK_RETURN, 0, 0, {0, 0}};
    MSG letter{edit, WM_KEYDOWN, 'A', 0, 0, {0, 0}};
    EXPECT_EQ(SendMessage(single, WM_GETDLGCODE, 0, 0), base);
    EXPECT_EQ(SendMessage(edit, WM_GETDLGCODE, 0, reinterpret_cast<LPARAM>(&letter)),
              base | DLGC_WANTALLKEYS);
    EXPECT_EQ(SendMessage(edit, WM_GETDLGCODE, 0, reinterpret_cast<LPARAM>(&enter)), base);
    SendMessage(edit, EM_SETREADONLY, TRUE, 0);
    Type("x");
    EXPECT_EQ(Text(edit), u"one two three four five six seven");
}

} // namespace
} // namespace host::test
