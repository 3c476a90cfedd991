#include "host/controls/control_test_support.h"

namespace host::test {
namespace {

class ScrollBarTest : public ControlTest {
protected:
    // A 16 x 100 bar (lying down when horizontal), range 0..100, page 10, at position 50.
    HWND MakeBar(bool fVert) {
        HWND hwnd = Control(WC_SCROLLBAR, u"", fVert ? SBS_VERT : SBS_HORZ,
                            fVert ? RECT{10, 10, 26, 110} : RECT{10, 10, 110, 26}, 7);
        SCROLLINFO si{sizeof(SCROLLINFO), SIF_ALL, 0, 100, 10, 50, 0};
        SetScrollInfo(hwnd, SB_CTL, &si, TRUE);
        Settle();
        return hwnd;
    }
    // The requests the parent got: code and position.
    std::vector<std::pair<WORD, WORD>> Requests(bool fVert) {
        std::vector<std::pair<WORD, WORD>> out;
        for (const Received& r : Log().Of(parent_, fVert ? WM_VSCROLL : WM_HSCROLL))
            out.emplace_back(LOWORD(r.wParam), HIWORD(r.wParam));
        return out;
    }
};

// Every part of the bar in both orientations. The bar only asks: its position stays where
// it was until the parent answers with SBM_SETPOS, as the classic control does.
TEST_F(ScrollBarTest, PartsSendTheirRequestsWithoutMovingThePosition) {
    struct Case {
        int down; // along the bar
        int up;
        WORD code;
    };
    // Thumb at 50: 16 + 60 * 50 / 91 = 48, 8 long.
    const Case cases[] = {
        {4, 4, SB_LINEUP},
        {95, 95, SB_LINEDOWN},
        {30, 30, SB_PAGEUP},
        {70, 70, SB_PAGEDOWN},
    };
    for (bool fVert : {true, false}) {
        HWND bar = MakeBar(fVert);
        auto at = [&](int along) { return fVert ? POINT{8, along} : POINT{along, 8}; };
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "vertical " << fVert << " at " << c.down);
            Log().Clear();
            Drag(bar, at(c.down), at(c.up));
            const std::vector<std::pair<WORD, WORD>> want{{c.code, 0}, {SB_ENDSCROLL, 0}};
            EXPECT_EQ(Requests(fVert), want);
            EXPECT_EQ(GetScrollPos(bar, SB_CTL), 50);
            for (const Received& r : Log().Of(parent_, fVert ? WM_VSCROLL : WM_HSCROLL))
                EXPECT_EQ(reinterpret_cast<HWND>(r.lParam), bar);
        }
        // The thumb follows the stylus and reports where it was let go.
        Log().Clear();
        Drag(bar, at(52), at(67));
        std::vector<std::pair<WORD, WORD>> got = Requests(fVert);
        ASSERT_EQ(got.size(), 3u);
        EXPECT_EQ(got[0].first, SB_THUMBTRACK);
        EXPECT_GT(got[0].second, 50);
        EXPECT_EQ(got[1], std::make_pair(SB_THUMBPOSITION, got[0].second));
        EXPECT_EQ(got[2].first, SB_ENDSCROLL);
        EXPECT_EQ(GetScrollPos(bar, SB_CTL), 50);
        DestroyWindow(bar);
    }
}

TEST_F(ScrollBarTest, HeldArrowRepeatsUntilReleased) {
    HWND bar = MakeBar(true);
    PostMouseInput(OnScreen(bar, {8, 95}), MouseAction::kLeftDown);
    Settle();
    for (DWORD ms : {399u, 1u, 100u, 100u}) {
        AdvanceVirtualClock(ms);
        Settle();
    }
    PostMouseInput(OnScreen(bar, {8, 95}), MouseAction::kLeftUp);
    Settle();
    AdvanceVirtualClock(1000);
    Settle();
    const std::vector<std::pair<WORD, WORD>> want{
        {SB_LINEDOWN, 0}, {SB_LINEDOWN, 0}, {SB_LINEDOWN, 0}, {SB_LINEDOWN, 0}, {SB_ENDSCROLL, 0}};
    EXPECT_EQ(Requests(true), want);
}

TEST_F(ScrollBarTest, SettingsAreHeldToTheRangeAndPage) {
    HWND bar = MakeBar(true);
    EXPECT_EQ(SetScrollPos(bar, SB_CTL, 500, TRUE), 50);
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 91); // the last page starts at 100 - 10 + 1
    SCROLLINFO si{sizeof(SCROLLINFO), SIF_PAGE, 0, 0, 1000, 0, 0};
    SetScrollInfo(bar, SB_CTL, &si, TRUE);
    si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(bar, SB_CTL, &si));
    EXPECT_EQ(si.nPage, 101u);
    EXPECT_EQ(si.nPos, 0);
    EXPECT_TRUE(SetScrollRange(bar, SB_CTL, 20, 10, TRUE)); // an upside-down range is empty
    int nMin = -1;
    int nMax = -1;
    EXPECT_TRUE(GetScrollRange(bar, SB_CTL, &nMin, &nMax));
    EXPECT_EQ(nMin, 20);
    EXPECT_EQ(nMax, 20);
    // Only scroll bar controls exist.
    EXPECT_FALSE(GetScrollInfo(bar, 1, &si));
    EXPECT_FALSE(SetScrollRange(bar, 0, 0, 5, TRUE));
    EXPECT_EQ(GetScrollPos(bar, 1), 0);
    // An empty range takes no input.
    Log().Clear();
    Click(bar, {8, 95});
    EXPECT_TRUE(Requests(true).empty());
}

} // namespace
} // namespace host::test
