#include "host/controls/control_test_support.h"

#include <vector>

namespace host::test {
namespace {

const char16_t* const kBoards[] = {u"Classic", u"Small", u"Big",    u"Ring",
                                   u"Star",    u"Cross", u"Diamond"};

class ComboBoxTest : public ControlTest {
protected:
    // A drop-down list made as a template would, its height taking the list in.
    HWND MakeCombo(int id, RECT rc) {
        HWND hwnd = Control(WC_COMBOBOX, u"", CBS_DROPDOWNLIST | WS_VSCROLL, rc, id);
        for (const char16_t* s : kBoards)
            SendMessage(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
        SendMessage(hwnd, CB_SETCURSEL, 0, 0);
        Settle();
        return hwnd;
    }
    static HWND List() { return FindWindow(WC_COMBOLBOX, nullptr); }
    // The item rows of the open list, on the screen.
    static POINT OnItem(int i, int cyItem) {
        RECT rc;
        GetWindowRect(List(), &rc);
        return {rc.left + 10, rc.top + 1 + i * cyItem + cyItem / 2};
    }
    static std::vector<COLORREF> Row(HWND hwnd, int y) {
        std::vector<COLORREF> row;
        for (int x = 3; x < 60; ++x)
            row.push_back(Pixel(hwnd, x, y));
        return row;
    }
};

TEST_F(ComboBoxTest, PressOpensReleaseOnAnItemChoosesIt) {
    HWND combo = MakeCombo(1022, {10, 10, 130, 150});
    // The reference shows the item the stylus will choose.
    HWND reference = MakeCombo(9, {10, 200, 130, 240});
    SendMessage(reference, CB_SETCURSEL, 3, 0);
    RECT rc;
    GetWindowRect(combo, &rc);
    EXPECT_LT(rc.bottom - rc.top, 40); // the field alone
    Settle();
    const int yText = (rc.bottom - rc.top) / 2;
    const std::vector<COLORREF> before = Row(combo, yText);

    PostMouseInput(OnScreen(combo, {20, yText}), MouseAction::kLeftDown);
    Settle();
    ASSERT_TRUE(SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0));
    ASSERT_NE(List(), nullptr);
    EXPECT_TRUE(IsWindowVisible(List()));
    EXPECT_EQ(GetCapture(), combo);
    RECT rcList;
    GetWindowRect(List(), &rcList);
    EXPECT_EQ(rcList.top, rc.bottom); // under the field
    EXPECT_EQ(rcList.left, rc.left);
    EXPECT_LE(rcList.bottom, rc.top + 140); // within the template's height
    EXPECT_EQ(Notifications(1022), (std::vector<WORD>{CBN_SETFOCUS, CBN_DROPDOWN}));

    // The highlight follows the stylus; lifting it on an item chooses that one.
    const int cyItem = (rcList.bottom - rcList.top - 2) / 7;
    PostMouseInput(OnItem(2, cyItem), MouseAction::kMove);
    Settle();
    EXPECT_EQ(GetScreenPixel(OnItem(2, cyItem).x + 60, OnItem(2, cyItem).y),
              Shown(look::SelectionBackground()));
    PostMouseInput(OnItem(3, cyItem), MouseAction::kMove);
    Settle();
    Log().Clear();
    PostMouseInput(OnItem(3, cyItem), MouseAction::kLeftUp);
    Settle();
    EXPECT_EQ(Notifications(1022), (std::vector<WORD>{CBN_SELCHANGE, CBN_SELENDOK, CBN_CLOSEUP}));
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 3);
    EXPECT_FALSE(SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_FALSE(IsWindowVisible(List()));
    EXPECT_EQ(GetCapture(), nullptr);
    char16_t text[16] = {};
    GetWindowText(combo, text, 16);
    EXPECT_EQ(std::u16string(text), u"Ring");

    // Drawn without the focus, the field shows the new text as the reference does.
    SetFocus(nullptr);
    Settle();
    const std::vector<COLORREF> after = Row(combo, yText);
    EXPECT_NE(after, before);
    EXPECT_EQ(after, Row(reference, yText));

    // Choosing the same item again reports no change; a press on the field closes it.
    Click(combo, {20, yText});
    Log().Clear();
    PostMouseInput(OnItem(3, cyItem), MouseAction::kLeftDown);
    PostMouseInput(OnItem(3, cyItem), MouseAction::kLeftUp);
    Settle();
    EXPECT_EQ(Notifications(1022), (std::vector<WORD>{CBN_SELENDOK, CBN_CLOSEUP}));
    AdvanceVirtualClock(DOUBLECLICK_TIME + 1);
    Click(combo, {20, yText});
    Log().Clear();
    Click(combo, {20, yText});
    EXPECT_EQ(Notifications(1022), (std::vector<WORD>{CBN_SELENDCANCEL, CBN_CLOSEUP}));
}

TEST_F(ComboBoxTest, PressOutsideCancelsAndKeysWork) {
    HWND combo = MakeCombo(1022, {10, 10, 130, 150});
    Click(combo, {20, 8}); // opens; the release on the field leaves it open
    ASSERT_TRUE(SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0));
    Log().Clear();
    Click(parent_, {200, 250});
    EXPECT_EQ(Notifications(1022), (std::vector<WORD>{CBN_SELENDCANCEL, CBN_CLOSEUP}));
    EXPECT_FALSE(SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 0);

    // Keys on the closed control move the selection; F4 opens, Enter chooses.
    SetFocus(combo);
    Log().Clear();
    Key(VK_DOWN);
    Key(VK_DOWN);
    Key(VK_UP);
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(Notifications(1022),
              (std::vector<WORD>{CBN_SELCHANGE, CBN_SELCHANGE, CBN_SELCHANGE}));
    Key(VK_F1 + 3);
    EXPECT_TRUE(SendMessage(combo, CB_GETDROPPEDSTATE, 0, 0));
    Key(VK_END);
    Log().Clear();
    Key(VK_RETURN);
    EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 6);
    EXPECT_EQ(Notifications(1022), (std::vector<WORD>{CBN_SELCHANGE, CBN_SELENDOK, CBN_CLOSEUP}));
}

TEST_F(ComboBoxTest, ListOpensAboveWhenBelowLeavesTheWorkArea) {
    HWND combo = MakeCombo(1022, {10, 240, 130, 340});
    SendMessage(combo, CB_SHOWDROPDOWN, TRUE, 0);
    Settle();
    RECT rc;
    RECT rcList;
    GetWindowRect(combo, &rc);
    GetWindowRect(List(), &rcList);
    EXPECT_EQ(rcList.bottom, rc.top);
    RECT work;
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_GE(rcList.top, work.top);
    RECT rcDropped;
    SendMessage(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&rcDropped));
    EXPECT_EQ(rcDropped.top, rcList.top);
    EXPECT_EQ(rcDropped.bottom, rc.bottom);
}

} // namespace
} // namespace host::test
