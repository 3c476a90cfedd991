#include "host/controls/control_test_support.h"

#include <string>

namespace host::test {
namespace {

class ListBoxTest : public ControlTest {
protected:
    HWND MakeList(DWORD style, int cItems, int cy = 100) {
        HWND hwnd = Control(WC_LISTBOX, u"", style, {10, 10, 110, 10 + cy}, 5);
        for (int i = 0; i < cItems; ++i) {
            std::u16string text = u"Item " + std::u16string(1, static_cast<char16_t>(u'A' + i));
            SendMessage(hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
        Settle();
        return hwnd;
    }
    static std::u16string Text(HWND hwnd, int i) {
        char16_t buffer[64] = {};
        SendMessage(hwnd, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer));
        return buffer;
    }
    static LRESULT Find(HWND hwnd, UINT msg, int iStart, const char16_t* text) {
        return SendMessage(hwnd, msg, static_cast<WPARAM>(iStart), reinterpret_cast<LPARAM>(text));
    }
};

TEST_F(ListBoxTest, SortedInsertionAndSearchIgnoreCase) {
    HWND list = MakeList(LBS_SORT, 0);
    for (const char16_t* s : {u"pear", u"Apple", u"banana", u"apricot", u"Ĉerizo"})
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    const std::u16string want[] = {u"Apple", u"apricot", u"banana", u"pear", u"Ĉerizo"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Text(list, i), want[i]);
    EXPECT_EQ(Find(list, LB_FINDSTRING, -1, u"AP"), 0);
    EXPECT_EQ(Find(list, LB_FINDSTRING, 0, u"ap"), 1); // after the start, wrapping
    EXPECT_EQ(Find(list, LB_FINDSTRING, 1, u"ap"), 0);
    EXPECT_EQ(Find(list, LB_FINDSTRINGEXACT, -1, u"ap"), LB_ERR);
    EXPECT_EQ(Find(list, LB_FINDSTRINGEXACT, -1, u"ĉERIZO"), 4);
    EXPECT_EQ(SendMessage(list, LB_INSERTSTRING, 1, reinterpret_cast<LPARAM>(u"zz")), 1);
    EXPECT_EQ(SendMessage(list, LB_INSERTSTRING, 9, reinterpret_cast<LPARAM>(u"zz")), LB_ERR);
    EXPECT_EQ(SendMessage(list, LB_DELETESTRING, 0, 0), 5);
    EXPECT_EQ(Text(list, 0), u"zz");
    EXPECT_EQ(SendMessage(list, LB_GETTEXT, 7, 0), LB_ERR);
}

TEST_F(ListBoxTest, ClicksAndKeysSelectAndNotify) {
    HWND list = MakeList(LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 12);
    const int cy = static_cast<int>(SendMessage(list, LB_GETITEMHEIGHT, 0, 0));
    const int cRows = (100 - 4) / cy;
    Click(list, {20, 2 + cy + cy / 2});
    EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(GetFocus(), list);
    Click(list, {20, 2 + cy + cy / 2}); // no change, no notification
    EXPECT_EQ(Notifications(5), (std::vector<WORD>{LBN_SETFOCUS, LBN_SELCHANGE}));

    struct Case {
        UINT vk;
        int iSel;
        int iTop;
        bool fNotify;
    };
    const Case cases[] = {
        {VK_DOWN, 2, 0, true},          {VK_UP, 1, 0, true},
        {VK_NEXT, cRows, 1, true}, // a page down from the caret, scrolling it into view
        {VK_END, 11, 12 - cRows, true}, {VK_PRIOR, 12 - cRows, 12 - cRows, true},
        {VK_HOME, 0, 0, true},          {VK_UP, 0, 0, false}, // nothing above the first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << c.vk);
        Log().Clear();
        Key(c.vk);
        EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), c.iSel);
        EXPECT_EQ(SendMessage(list, LB_GETTOPINDEX, 0, 0), c.iTop);
        EXPECT_EQ(Notifications(5),
                  c.fNotify ? std::vector<WORD>{LBN_SELCHANGE} : std::vector<WORD>{});
    }
    // Typing jumps to the next item starting with the letter.
    Log().Clear();
    PostMessage(list, WM_CHAR, u'i', 0);
    Settle();
    EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 1);

    // Without LBS_NOTIFY the selection moves silently; a program's change never notifies.
    HWND quiet = MakeList(0, 3);
    MoveWindow(quiet, 120, 10, 90, 100, TRUE);
    Log().Clear();
    Click(quiet, {20, 2 + cy / 2});
    SendMessage(quiet, LB_SETCURSEL, 2, 0);
    SendMessage(list, LB_SETCURSEL, 3, 0);
    EXPECT_EQ(SendMessage(quiet, LB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(Notifications(5), std::vector<WORD>{LBN_KILLFOCUS}); // the first list's
}

TEST_F(ListBoxTest, MultipleSelectionToggles) {
    HWND list = MakeList(LBS_MULTIPLESEL | LBS_NOTIFY, 4);
    const int cy = static_cast<int>(SendMessage(list, LB_GETITEMHEIGHT, 0, 0));
    Click(list, {20, 2 + cy / 2});
    Click(list, {20, 2 + 2 * cy + cy / 2});
    Click(list, {20, 2 + cy / 2});
    EXPECT_EQ(SendMessage(list, LB_GETSEL, 0, 0), 0);
    EXPECT_EQ(SendMessage(list, LB_GETSEL, 2, 0), 1);
    EXPECT_EQ(SendMessage(list, LB_SETCURSEL, 1, 0), LB_ERR);
    Key(VK_SPACE);
    EXPECT_EQ(SendMessage(list, LB_GETSEL, 0, 0), 1);
    EXPECT_EQ(Notifications(5).size(), 5u); // focus and four changes
}

TEST_F(ListBoxTest, ScrollBarInsideScrollsAndHeightIsIntegral) {
    HWND list = MakeList(WS_VSCROLL, 20, 97);
    const int cy = static_cast<int>(SendMessage(list, LB_GETITEMHEIGHT, 0, 0));
    RECT rc;
    GetClientRect(list, &rc);
    EXPECT_EQ((rc.bottom - 4) % cy, 0);
    EXPECT_LE(rc.bottom, 97);
    // The down arrow at the bottom of the bar, inside the field's edge.
    Click(list, {rc.right - 2 - 8, rc.bottom - 2 - 4});
    EXPECT_EQ(SendMessage(list, LB_GETTOPINDEX, 0, 0), 1);
    Click(list, {rc.right - 2 - 8, rc.bottom - 2 - 20}); // the track below the thumb
    EXPECT_GT(SendMessage(list, LB_GETTOPINDEX, 0, 0), 2);
    SendMessage(list, LB_SETTOPINDEX, 0, 0);
    Settle();

    // The selected row is drawn in the selection colours, the others in the window's.
    SendMessage(list, LB_SETCURSEL, 1, 0);
    Settle();
    const int x = rc.right - 2 - 16 - 3; // right of the text, left of the bar
    EXPECT_EQ(Pixel(list, x, 2 + cy + cy / 2), Shown(look::SelectionBackground()));
    EXPECT_EQ(Pixel(list, x, 2 + cy / 2), Shown(GetSysColor(COLOR_WINDOW)));
    // Fewer items than rows: the bar goes away and the rows take its place.
    SendMessage(list, LB_RESETCONTENT, 0, 0);
    SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"one"));
    SendMessage(list, LB_SETCURSEL, 0, 0);
    Settle();
    EXPECT_EQ(Pixel(list, rc.right - 2 - 4, 2 + cy / 2), Shown(look::SelectionBackground()));
}

} // namespace
} // namespace host::test
