#include "host/controls/control_test_support.h"

namespace host::test {
namespace {

class ProgressTest : public ControlTest {};

TEST_F(ProgressTest, MessagesKeepThePositionInRange) {
    HWND bar = Control(PROGRESS_CLASS, u"", 0, {10, 10, 110, 26});
    EXPECT_EQ(SendMessage(bar, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessage(bar, PBM_GETRANGE, FALSE, 0), 100);
    struct Step {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
        LRESULT result;
        int posAfter;
    };
    const Step steps[] = {
        {PBM_STEPIT, 0, 0, 0, 10},     // the default step is 10
        {PBM_SETPOS, 250, 0, 10, 100}, // held to the range
        {PBM_DELTAPOS, static_cast<WPARAM>(-30), 0, 100, 70},
        {PBM_SETSTEP, 40, 0, 10, 70},
        {PBM_STEPIT, 0, 0, 70, 10}, // past the end: again from the start
        {PBM_SETRANGE, 0, MAKELPARAM(20, 60), MAKELRESULT(0, 100), 20},
        {PBM_SETRANGE32, 0, 1000, MAKELRESULT(20, 60), 20},
        {PBM_SETPOS, static_cast<WPARAM>(-5), 0, 20, 0},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(SendMessage(bar, s.msg, s.wParam, s.lParam), s.result) << s.msg;
        EXPECT_EQ(SendMessage(bar, PBM_GETPOS, 0, 0), s.posAfter) << s.msg;
    }
}

TEST_F(ProgressTest, TheBarFillsInProportion) {
    struct Case {
        DWORD style;
        int nMax, nPos;
        COLORREF bar; // CLR_DEFAULT: the highlight colour
        double fraction;
        double tolerance;
    };
    const Case cases[] = {
        {PBS_SMOOTH, 100, 25, CLR_DEFAULT, 0.25, 0.02},
        {PBS_SMOOTH, 100, 0, CLR_DEFAULT, 0.0, 0.0},
        {PBS_SMOOTH, 100, 100, RGB(248, 0, 0), 1.0, 0.0},
        {PBS_SMOOTH | PBS_VERTICAL, 10, 5, CLR_DEFAULT, 0.5, 0.02},
        {0, 200, 100, CLR_DEFAULT, 0.5, 0.15}, // blocks: whole ones, with gaps
    };
    for (ScreenProfile profile : {ScreenProfile::kDevice, ScreenProfile::kDesktop}) {
        Start(profile);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "style " << c.style << " pos " << c.nPos);
            const bool fVertical = (c.style & PBS_VERTICAL) != 0;
            const RECT rc = fVertical ? RECT{10, 10, 30, 130} : RECT{10, 10, 130, 30};
            HWND bar = Control(PROGRESS_CLASS, u"", c.style, rc);
            SendMessage(bar, PBM_SETRANGE32, 0, c.nMax);
            SendMessage(bar, PBM_SETPOS, c.nPos, 0);
            SendMessage(bar, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(c.bar));
            Settle();
            const COLORREF colour =
                Shown(c.bar == CLR_DEFAULT ? GetSysColor(COLOR_HIGHLIGHT) : c.bar);
            // Along the middle of the inside (two pixels of frame and margin each side).
            const int length = 120 - 4;
            int cFilled = 0, iFirst = -1;
            for (int i = 0; i < length; ++i) {
                const bool fFilled =
                    fVertical ? Pixel(bar, 10, 117 - i) == colour : Pixel(bar, 2 + i, 10) == colour;
                if (fFilled && iFirst < 0) iFirst = i;
                cFilled += fFilled;
            }
            EXPECT_NEAR(double(cFilled) / length, c.fraction, c.tolerance);
            if (cFilled > 0) {
                EXPECT_EQ(iFirst, 0) << "grows from the start";
            }
            DestroyWindow(bar);
        }
    }
}

} // namespace
} // namespace host::test
