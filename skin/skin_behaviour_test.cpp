#include "skin/skin_behaviour.h"

#include "host/controls.h"
#include "skin/skin_test_fixture.h"

#include <climits>
#include <vector>

using namespace host;
using namespace skintest;

namespace {

void ExpectRect(const RECT& rc, const RECT& expected) {
    EXPECT_EQ(rc.left, expected.left);
    EXPECT_EQ(rc.top, expected.top);
    EXPECT_EQ(rc.right, expected.right);
    EXPECT_EQ(rc.bottom, expected.bottom);
}

TEST(SkinScrollTest, StepsStayBetweenMinimumAndMaximumLessPage) {
    struct Case {
        int nPage, nMin, nMax, nStart;
        WORD nRequest;
        int nExpected;
        bool fChanged;
    } cases[] = {
        {8, 0, 100, 0, SB_LINEDOWN, 2, true},
        {8, 0, 100, 0, SB_PAGEDOWN, 6, true},
        {8, 0, 100, 10, SB_LINEUP, 8, true},
        {8, 0, 100, 10, SB_PAGEUP, 4, true},
        {8, 0, 100, 91, SB_LINEDOWN, 92, true},
        {8, 0, 100, 92, SB_PAGEDOWN, 92, false},
        {8, 0, 100, 1, SB_PAGEUP, 0, true},
        {1, 0, 100, 5, SB_LINEDOWN, 6, true},
        {1, 0, 100, 5, SB_PAGEUP, 4, true},
        {1, 0, 100, 99, SB_LINEDOWN, 99, false},
        {0, 0, 100, 99, SB_PAGEDOWN, 100, true},
        {20, 10, 15, 10, SB_PAGEDOWN, 10, false}, // maximum less page below the minimum
        {8, 0, 100, 50, SB_THUMBTRACK, 50, false},
        {8, INT_MIN, INT_MAX, INT_MIN, SB_PAGEUP, INT_MIN, false},
        {-5, 0, INT_MAX, INT_MAX - 1, SB_LINEDOWN, INT_MAX, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nPage << " " << c.nStart << " " << c.nRequest);
        SKINSCROLL scroll{c.nStart, c.nMin, c.nMax, c.nPage};
        EXPECT_EQ(scroll.Step(c.nRequest), c.fChanged);
        EXPECT_EQ(scroll.nPos, c.nExpected);
    }
    // A dragged thumb: the pointer's share of the travel is the position's share of the
    // range (92 here), rounded and clamped; no travel keeps the position.
    const struct {
        int nAtPress, dPixels, nTravel, nExpected;
    } drags[] = {{0, 50, 100, 46},    {0, 1, 100, 1}, {46, -50, 100, 0},  {10, -1000, 100, 0},
                 {10, 1000, 100, 92}, {10, 7, 0, 10}, {0, INT_MAX, 1, 92}};
    for (const auto& d : drags) {
        SKINSCROLL thumb{10, 0, 100, 8};
        EXPECT_EQ(thumb.ThumbPos(d.nAtPress, d.dPixels, d.nTravel), d.nExpected) << d.dPixels;
    }
    SKINSCROLL scroll{0, 0, 100, 8};
    EXPECT_TRUE(scroll.SetPos(500));
    EXPECT_EQ(scroll.nPos, 92);
    EXPECT_TRUE(scroll.SetPos(-3));
    EXPECT_EQ(scroll.nPos, 0);
}

TEST(SkinListTest, SelectsItemsFromOneAndNotifiesWithCodeOne) {
    SKINLIST list{3, 0};
    for (int n : {0, 4, -1, INT_MIN}) {
        EXPECT_FALSE(list.Select(n)) << n;
        EXPECT_EQ(list.nSelected, 0);
    }
    EXPECT_TRUE(list.Select(3));
    EXPECT_TRUE(list.Select(1));
    EXPECT_EQ(list.nSelected, 1);
    WPARAM wParam = SkinCommandParam(1015, SKIN_LBN_SELCHANGE);
    EXPECT_EQ(LOWORD(wParam), 1015);
    EXPECT_EQ(HIWORD(wParam), 1);
}

TEST(SkinRadioTest, CheckingOneUnchecksOnlyItsGroup) {
    // Two groups split by a check box, a third started by a radio's own group start.
    std::vector<SKINRADIO> controls{
        {true, true, false}, {true, false, true},  {false, false, true},
        {true, true, true},  {true, false, false}, {true, true, true},
    };
    SkinCheckRadio(controls, 0);
    SkinCheckRadio(controls, 4);
    SkinCheckRadio(controls, 2); // not a radio button
    SkinCheckRadio(controls, 9);
    const bool checked[] = {true, false, true, false, true, true};
    for (std::size_t i = 0; i < controls.size(); ++i)
        EXPECT_EQ(controls[i].fChecked, checked[i]) << i;
}

TEST(SkinStateTest, HotNeedsThePointerAndNoOtherPress) {
    struct Case {
        bool fEnabled, fOver, fHolds, fOtherHolds;
        SkinControlState state;
    } cases[] = {
        {false, true, true, false, SKINSTATE_DISABLED},
        {true, false, false, false, SKINSTATE_NORMAL},
        {true, false, true, false, SKINSTATE_NORMAL},
        {true, true, false, false, SKINSTATE_HOT},
        {true, true, false, true, SKINSTATE_NORMAL},
        {true, true, true, false, SKINSTATE_PRESSED},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SkinStateOf(c.fEnabled, c.fOver, c.fHolds, c.fOtherHolds), c.state)
            << c.fEnabled << c.fOver << c.fHolds << c.fOtherHolds;
}

using SkinHitTestTest = SkinFixture;

TEST_F(SkinHitTestTest, OutsideThenSizingBandThenControlThenTitleBar) {
    const LONG bx = GetSystemMetrics(SM_CXBORDER) + 4, by = GetSystemMetrics(SM_CYBORDER) + 4;
    const RECT controls[] = {{150, 60, 190, 90}, {0, 0, 50, 50}};
    struct Case {
        POINT pt;
        bool fResizable;
        int nTitlebar;
        int nHit;
        int iControl;
        const char* pszCursor;
    } cases[] = {
        {{-1, 20}, true, 30, SKINHIT_NOWHERE, -1, nullptr},
        {{200, 20}, true, 30, SKINHIT_NOWHERE, -1, nullptr},
        {{20, 100}, false, -1, SKINHIT_NOWHERE, -1, nullptr},
        {{0, 0}, true, 30, SKINHIT_TOPLEFT, -1, IDC_SIZENWSE}, // the band beats the control
        {{100, by - 1}, true, 30, SKINHIT_TOP, -1, IDC_SIZENS},
        {{199, 0}, true, 30, SKINHIT_TOPRIGHT, -1, IDC_SIZENESW},
        {{200 - bx, 70}, true, 30, SKINHIT_RIGHT, -1, IDC_SIZEWE},
        {{199, 99}, true, 30, SKINHIT_BOTTOMRIGHT, -1, IDC_SIZENWSE},
        {{100, 100 - by}, true, 30, SKINHIT_BOTTOM, -1, IDC_SIZENS},
        {{0, 99}, true, 30, SKINHIT_BOTTOMLEFT, -1, IDC_SIZENESW},
        {{bx - 1, 60}, true, 30, SKINHIT_LEFT, -1, IDC_SIZEWE},
        {{bx, by}, true, 30, SKINHIT_CONTROL, 1, nullptr},
        {{0, 0}, false, 30, SKINHIT_CONTROL, 1, nullptr},
        {{189, 89}, true, -1, SKINHIT_CONTROL, 0, nullptr}, // a control beats dragging
        {{100, 10}, true, 30, SKINHIT_MOVE, -1, nullptr},
        {{100, 40}, true, 30, SKINHIT_CLIENT, -1, nullptr},
        {{199, 40}, false, 30, SKINHIT_CLIENT, -1, nullptr},
        {{100, 40}, true, -1, SKINHIT_MOVE, -1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pt.x << "," << c.pt.y << " " << c.fResizable);
        int iControl = 7;
        EXPECT_EQ(SkinHitTest({{200, 100}, c.fResizable, c.nTitlebar}, c.pt, controls, &iControl),
                  c.nHit);
        EXPECT_EQ(iControl, c.iControl);
        EXPECT_EQ(SkinSizingCursor(c.nHit), c.pszCursor);
    }
}

TEST(SkinSizingTest, EachPartMovesItsEdgesAndStopsAtTheLimits) {
    const SKINSIZELIMITS limits{100, 50, 300, 200};
    const RECT rcAtPress{100, 100, 300, 200};
    const POINT ptPress{500, 400};
    struct Case {
        int nHit;
        LONG dx, dy;
        RECT rc;
    } cases[] = {
        {SKINHIT_MOVE, 10, -5, {110, 95, 310, 195}},
        {SKINHIT_TOPLEFT, 20, 10, {120, 110, 300, 200}},
        {SKINHIT_TOPLEFT, 150, 80, {200, 150, 300, 200}}, // left and top stop at the minimum
        {SKINHIT_TOP, 0, -150, {100, 0, 300, 200}},       // top stops at the maximum
        {SKINHIT_TOPRIGHT, 50, -20, {100, 80, 350, 200}},
        {SKINHIT_RIGHT, 200, 40, {100, 100, 400, 200}},
        {SKINHIT_BOTTOMRIGHT, -150, -80, {100, 100, 200, 150}},
        {SKINHIT_BOTTOM, 7, 30, {100, 100, 300, 230}},
        {SKINHIT_BOTTOMLEFT, -20, 10, {80, 100, 300, 210}},
        {SKINHIT_LEFT, -200, 9, {0, 100, 300, 200}},
        {SKINHIT_LEFT, INT_MIN / 2, 0, {0, 100, 300, 200}},
        {SKINHIT_CLIENT, 10, 10, rcAtPress},
        {SKINHIT_CONTROL, 10, 10, rcAtPress},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nHit << " " << c.dx << "," << c.dy);
        ExpectRect(
            SkinDragRect(rcAtPress, ptPress, {ptPress.x + c.dx, ptPress.y + c.dy}, c.nHit, limits),
            c.rc);
    }
}

TEST(SkinSizingTest, LimitsComeFromPropertiesCellsAndWorkArea) {
    const RECT rcWork{0, 0, 800, 570};
    struct Case {
        SIZE minimum, maximum;
        SKINSIZELIMITS limits;
    } cases[] = {
        {{0, 0}, {0, 0}, {80, 40, 799, 569}}, // twice the wider cell; the work area less 1
        {{120, 30}, {500, 900}, {120, 40, 500, 569}},
        {{1000, 0}, {600, 0}, {1000, 40, 1000, 569}}, // the minimum wins a conflict
    };
    for (const Case& c : cases) {
        SKINSIZELIMITS limits = SkinSizeLimits(c.minimum, c.maximum, {30, 20}, {40, 12}, rcWork);
        EXPECT_EQ(limits.cxMin, c.limits.cxMin);
        EXPECT_EQ(limits.cyMin, c.limits.cyMin);
        EXPECT_EQ(limits.cxMax, c.limits.cxMax);
        EXPECT_EQ(limits.cyMax, c.limits.cyMax);
    }
    host::MINMAXINFO info = SkinMinMaxInfo({80, 40, 799, 569}, {0, 30, 800, 600});
    EXPECT_EQ(info.ptMinTrackSize.x, 80);
    EXPECT_EQ(info.ptMaxTrackSize.y, 569);
    EXPECT_EQ(info.ptMaxSize.y, 570);
    EXPECT_EQ(info.ptMaxPosition.y, 30);
}

using SkinSizingSkinTest = SkinFixture;

TEST_F(SkinSizingSkinTest, LimitsReadTheWindowsPropertiesAndPictures) {
    auto skin = Load("window size yminimum = 90\nBox window size xmaximum = 500\n",
                     {{"frame-c.psp", Picture(60, 40)}, {"frame-x.psp", Picture(40, 36)}});
    RECT rcWork{};
    ASSERT_TRUE(SystemParametersInfo(SPI_GETWORKAREA, 0, &rcWork, 0));
    SKINSIZELIMITS limits = SkinSizeLimits(*skin, cetl::string("Box"));
    EXPECT_EQ(limits.cxMin, 80); // frame-x cells are 40 wide
    EXPECT_EQ(limits.cyMin, 90);
    EXPECT_EQ(limits.cxMax, 500);
    EXPECT_EQ(limits.cyMax, rcWork.bottom - rcWork.top - 1);
    // Without pictures only the properties count.
    auto bare = Load("font = Arial\n");
    EXPECT_EQ(SkinSizeLimits(*bare, cetl::string("")).cxMin, 0);
}

TEST(SkinWindowTest, OpeningSizeAddsTheBordersAndThickFrameResizes) {
    SIZE size = SkinOpeningSize({240, 260}, 20, 30, 10, 5);
    EXPECT_EQ(size.cx, 270);
    EXPECT_EQ(size.cy, 295);
    EXPECT_TRUE(SkinIsResizable(WS_POPUP | WS_THICKFRAME));
    EXPECT_FALSE(SkinIsResizable(WS_POPUP | WS_SYSMENU));
}

} // namespace
