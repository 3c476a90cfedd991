#include "host/controls/control_test_support.h"

#include <array>

namespace host::test {
namespace {

constexpr RECT kButtonRc = {20, 20, 100, 44};

class ButtonTest : public ControlTest {};

TEST_F(ButtonTest, PushButtonClicksOnReleaseInsideAndNotAfterSlidingOff) {
    struct Case {
        const char* name;
        bool fEnabled;
        POINT slide; // where the stylus goes while held, then is lifted
        bool fPressedThere;
        int cClicks;
    };
    const Case cases[] = {
        {"inside", true, {40, 12}, true, 1},
        {"slid off", true, {120, 12}, false, 0},
        {"disabled", false, {40, 12}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Log().Clear();
        HWND button = Control(WC_BUTTON, u"OK", BS_PUSHBUTTON, kButtonRc, 1);
        EnableWindow(button, c.fEnabled);
        Settle();
        const COLORREF raised = Pixel(button, 0, 0);
        PostMouseInput(OnScreen(button, {10, 10}), MouseAction::kLeftDown);
        Settle();
        EXPECT_EQ((SendMessage(button, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0, c.fEnabled);
        if (c.fEnabled) {
            EXPECT_NE(Pixel(button, 0, 0), raised) << "drawn pressed";
        }
        PostMouseInput(OnScreen(button, c.slide), MouseAction::kMove);
        Settle();
        EXPECT_EQ((SendMessage(button, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0, c.fPressedThere);
        PostMouseInput(OnScreen(button, c.slide), MouseAction::kLeftUp);
        Settle();
        EXPECT_EQ(SendMessage(button, BM_GETSTATE, 0, 0) & BST_PUSHED, 0u);
        EXPECT_EQ(Pixel(button, 0, 0), raised);
        EXPECT_EQ(GetCapture(), nullptr);
        EXPECT_EQ(Notifications(1), std::vector<WORD>(c.cClicks, BN_CLICKED));
        DestroyWindow(button);
        AdvanceVirtualClock(DOUBLECLICK_TIME + 1);
    }
}

TEST_F(ButtonTest, CheckBoxesChangeAsTheirKindSays) {
    struct Case {
        DWORD style;
        std::array<UINT, 3> after; // BM_GETCHECK after each of three clicks
    };
    const Case cases[] = {
        {BS_AUTOCHECKBOX, {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}},
        {BS_AUTO3STATE, {BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}},
        {BS_CHECKBOX, {BST_UNCHECKED, BST_UNCHECKED, BST_UNCHECKED}}, // the parent decides
        {BS_AUTOCHECKBOX | BS_LEFTTEXT, {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        Log().Clear();
        HWND box = Control(WC_BUTTON, u"Modern", c.style, kButtonRc, 7);
        Settle();
        // The box is at the left, or at the right with BS_LEFTTEXT; its well's centre shows
        // the tick.
        const int xBox = (c.style & BS_LEFTTEXT) ? 80 - look::kCheckSize : 0;
        const POINT centre = {xBox + look::kCheckSize / 2, 12};
        for (UINT expected : c.after) {
            Click(box, {40, 12}); // on the text
            EXPECT_EQ(SendMessage(box, BM_GETCHECK, 0, 0), expected);
            EXPECT_EQ(Dark(Pixel(box, centre.x, centre.y)), expected == BST_CHECKED);
        }
        EXPECT_EQ(Notifications(7), std::vector<WORD>(3, BN_CLICKED));
        // The space bar clicks the focused box.
        ASSERT_EQ(GetFocus(), box);
        const LRESULT before = SendMessage(box, BM_GETCHECK, 0, 0);
        Key(VK_SPACE);
        EXPECT_EQ(Notifications(7).size(), 4u);
        if (c.style == BS_CHECKBOX)
            EXPECT_EQ(SendMessage(box, BM_GETCHECK, 0, 0), before);
        else
            EXPECT_NE(SendMessage(box, BM_GETCHECK, 0, 0), before);
        DestroyWindow(box);
    }
}

TEST_F(ButtonTest, AutoRadioButtonsAreExclusiveWithinTheirGroupOnly) {
    for (ScreenProfile profile : {ScreenProfile::kDevice, ScreenProfile::kDesktop}) {
        Start(profile);
        // Two groups: 11-13 (13 without text, a box alone) and 14-15.
        const struct {
            int id;
            DWORD style;
            const char16_t* text;
        } made[] = {{11, WS_GROUP, u"Human"},
                    {12, 0, u"Computer"},
                    {13, 0, u""},
                    {14, WS_GROUP, u"Blue"},
                    {15, 0, u"Red"}};
        std::vector<HWND> radios;
        int y = 10;
        for (const auto& m : made) {
            radios.push_back(Control(WC_BUTTON, m.text, BS_AUTORADIOBUTTON | m.style,
                                     {10, y, 120, y + 16}, m.id));
            y += 20;
        }
        Settle();
        const struct {
            int iClick;
            std::array<int, 5> checked;
        } steps[] = {
            {1, {0, 1, 0, 0, 0}}, {2, {0, 0, 1, 0, 0}}, {3, {0, 0, 1, 1, 0}},
            {0, {1, 0, 0, 1, 0}}, {4, {1, 0, 0, 0, 1}}, {4, {1, 0, 0, 0, 1}},
        };
        for (const auto& step : steps) {
            Click(radios[step.iClick], {5, 8}); // on the box
            for (int i = 0; i < 5; ++i) {
                EXPECT_EQ(SendMessage(radios[i], BM_GETCHECK, 0, 0), step.checked[i])
                    << "radio " << i << " after clicking " << step.iClick;
                // The dot at the circle's centre.
                EXPECT_EQ(Dark(Pixel(radios[i], look::kCheckSize / 2, 8)), step.checked[i] != 0);
            }
        }
    }
}

TEST_F(ButtonTest, GroupBoxNeitherClipsNorTakesTheClickOfARadioButtonUnderIt) {
    // The group box comes first, so it lies above the radio button, as in a dialog.
    HWND group = Control(WC_BUTTON, u"Opponent", BS_GROUPBOX, {10, 10, 200, 120}, 30);
    HWND radio = Control(WC_BUTTON, u"Human", BS_AUTORADIOBUTTON | WS_GROUP, {20, 40, 150, 56}, 31);
    EXPECT_NE(GetWindowLongPtr(group, GWL_EXSTYLE) & WS_EX_TRANSPARENT, 0);
    EXPECT_EQ(SendMessage(group, WM_GETDLGCODE, 0, 0), DLGC_STATIC);
    Settle();
    Click(radio, {5, 8});
    EXPECT_EQ(SendMessage(radio, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(GetFocus(), radio);
    EXPECT_TRUE(Dark(Pixel(radio, look::kCheckSize / 2, 8))) << "the dot shows through";
    // The etched frame: a shadow line with a highlight line inside, at the left edge, and no
    // line across the caption.
    EXPECT_EQ(Pixel(group, 0, 60), Shown(GetSysColor(COLOR_3DSHADOW)));
    EXPECT_EQ(Pixel(group, 1, 60), Shown(GetSysColor(COLOR_3DHILIGHT)));
    TEXTMETRIC tm{};
    HDC hdc = GetDC(group);
    SelectObject(hdc, static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
    GetTextMetrics(hdc, &tm);
    ReleaseDC(group, hdc);
    EXPECT_EQ(Pixel(group, 150, tm.tmHeight / 2), Shown(GetSysColor(COLOR_3DSHADOW)));
    EXPECT_NE(Pixel(group, 8, tm.tmHeight / 2), Shown(GetSysColor(COLOR_3DSHADOW)));
    // A click on the group box's own frame goes to what lies below: the parent.
    Click(group, {100, 100});
    EXPECT_NE(GetFocus(), group);
    EXPECT_TRUE(Notifications(30).empty());
}

TEST_F(ButtonTest, DialogCodesAndFocusRectangle) {
    const struct {
        DWORD style;
        LRESULT code;
    } cases[] = {
        {BS_PUSHBUTTON, DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON},
        {BS_DEFPUSHBUTTON, DLGC_BUTTON | DLGC_DEFPUSHBUTTON},
        {BS_AUTORADIOBUTTON, DLGC_BUTTON | DLGC_RADIOBUTTON},
        {BS_AUTOCHECKBOX, DLGC_BUTTON},
    };
    for (const auto& c : cases) {
        HWND button = Control(WC_BUTTON, u"Go", c.style, kButtonRc);
        EXPECT_EQ(SendMessage(button, WM_GETDLGCODE, 0, 0), c.code) << c.style;
        DestroyWindow(button);
    }
    // A focused push button shows the dotted rectangle inside its face.
    HWND button = Control(WC_BUTTON, u"Go", BS_PUSHBUTTON, kButtonRc);
    Settle();
    const COLORREF face = Pixel(button, 4, 4);
    SetFocus(button);
    Settle();
    EXPECT_NE(Pixel(button, 3, 3), face);
    EXPECT_EQ(SendMessage(button, BM_GETSTATE, 0, 0) & BST_FOCUS, BST_FOCUS);
}

} // namespace
} // namespace host::test
