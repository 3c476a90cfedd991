// The drawn message box, answered through real input on a headless screen.
#include "host/dialog.h"

#include "host/screen.h"
#include "host/thread.h"
#include "host/window_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace host::test {
namespace {

using Act = std::function<void(HWND box)>;

// The visible dialog of a thread, or null.
HWND FindBox(DWORD tid) {
    HWND found = nullptr;
    EnumThreadWindows(
        tid,
        [](HWND hwnd, LPARAM lParam) {
            if (!IsDialog(hwnd) || !IsWindowVisible(hwnd)) return TRUE;
            *reinterpret_cast<HWND*>(lParam) = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// The box's controls of a class, in creation order.
std::vector<HWND> Controls(HWND box, const char16_t* className) {
    std::vector<HWND> found;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char16_t name[32] = {};
        GetClassName(child, name, 32);
        if (std::u16string_view(name) == className) found.push_back(child);
    }
    return found;
}

RECT ClientRectOf(HWND box, HWND control) {
    RECT rc;
    GetWindowRect(control, &rc);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

void ClickAt(POINT pt) {
    PostMouseInput(pt, MouseAction::kLeftDown);
    PostMouseInput(pt, MouseAction::kLeftUp);
}

void Click(HWND hwnd) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    ClickAt({(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2});
}

void Key(UINT vk) {
    PostKeyInput(vk, true);
    PostKeyInput(vk, false);
}

Act g_act;

void ActTimer(HWND, UINT, UINT_PTR idEvent, DWORD) {
    if (HWND box = FindBox(GetCurrentThreadId())) {
        KillTimer(nullptr, idEvent);
        Act act = std::move(g_act);
        act(box);
    }
}

// A box that nobody answers must not hang the suite.
void GiveUpTimer(HWND, UINT, UINT_PTR idEvent, DWORD) {
    KillTimer(nullptr, idEvent);
    ADD_FAILURE() << "the box was not answered";
    if (HWND box = FindBox(GetCurrentThreadId())) EndDialog(box, -2);
}

// Shows a box on this thread; act answers it from within the box's own loop, after the box
// has been painted (timers come after paints in the queue).
int ShowHere(std::string_view text, UINT uType, Act act, HWND owner = nullptr) {
    g_act = std::move(act);
    const UINT_PTR idAct = SetTimer(nullptr, 0, 10, ActTimer);
    const UINT_PTR idGiveUp = SetTimer(nullptr, 0, 10000, GiveUpTimer);
    const int result = DrawnMessageBoxResponder()->Respond(owner, text, "Box", uType);
    KillTimer(nullptr, idAct);
    KillTimer(nullptr, idGiveUp);
    return result;
}

// The buttons of each type, left to right.
const std::vector<std::pair<UINT, std::vector<int>>> kTypes = {
    {MB_OK, {IDOK}},
    {MB_OKCANCEL, {IDOK, IDCANCEL}},
    {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}},
    {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}},
    {MB_YESNO, {IDYES, IDNO}},
    {MB_RETRYCANCEL, {IDRETRY, IDCANCEL}},
};

class MsgBoxTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Start(ScreenProfile::kDevice);
    }
    void TearDown() override {
        ShutdownScreen();
        WindowTest::TearDown();
    }
    void Start(ScreenProfile profile) {
        ShutdownScreen();
        ScreenOptions options;
        options.backend = ScreenBackendKind::kHeadless;
        options.profile = profile;
        ASSERT_TRUE(InitScreen(options));
    }
};

TEST_F(MsgBoxTest, EveryButtonAnswersAndTheRowIsCentred) {
    for (ScreenProfile profile : {ScreenProfile::kDevice, ScreenProfile::kDesktop}) {
        Start(profile);
        for (const auto& [uType, ids] : kTypes) {
            for (int id : ids) {
                SCOPED_TRACE(testing::Message() << "type " << uType << " button " << id);
                const int result = ShowHere("Go on?", uType, [&, ids = ids](HWND box) {
                    const std::vector<HWND> buttons = Controls(box, WC_BUTTON);
                    ASSERT_EQ(buttons.size(), ids.size());
                    RECT client;
                    GetClientRect(box, &client);
                    RECT first = ClientRectOf(box, buttons.front());
                    RECT last = ClientRectOf(box, buttons.back());
                    EXPECT_NEAR(first.left, client.right - last.right, 1);
                    EXPECT_LE(last.bottom, client.bottom);
                    for (std::size_t i = 0; i < buttons.size(); ++i) {
                        RECT rc = ClientRectOf(box, buttons[i]);
                        EXPECT_EQ(GetDlgCtrlID(buttons[i]), ids[i]);
                        EXPECT_EQ(rc.right - rc.left, first.right - first.left);
                        EXPECT_EQ(rc.top, first.top);
                        if (i > 0) {
                            EXPECT_GT(rc.left, ClientRectOf(box, buttons[i - 1]).right);
                        }
                    }
                    Click(GetDlgItem(box, id));
                });
                EXPECT_EQ(result, id);
            }
        }
    }
}

TEST_F(MsgBoxTest, EnterPressesTheDefaultButtonWhichHasTheFocus) {
    for (const auto& [uType, ids] : kTypes) {
        for (UINT def : {MB_DEFBUTTON1, MB_DEFBUTTON2, MB_DEFBUTTON3}) {
            const int expected = ids[std::min<std::size_t>(def >> 8, ids.size() - 1)];
            SCOPED_TRACE(testing::Message() << "type " << uType << " default " << expected);
            const int result = ShowHere("Sure?", uType | def, [&](HWND box) {
                HWND button = GetDlgItem(box, expected);
                EXPECT_EQ(GetFocus(), button);
                for (HWND other : Controls(box, WC_BUTTON))
                    EXPECT_EQ(GetWindowLongPtr(other, GWL_STYLE) & BS_TYPEMASK,
                              other == button ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
                Key(VK_RETURN);
            });
            EXPECT_EQ(result, expected);
        }
    }
}

TEST_F(MsgBoxTest, EscapeAndTheCloseBoxAnswerTheWayOut) {
    // 0: no way out but the buttons (the test then presses Abort). The device gives every
    // captioned dialog a close box; here it does nothing.
    const std::pair<UINT, int> cases[] = {
        {MB_OK, IDOK},
        {MB_OKCANCEL, IDCANCEL},
        {MB_ABORTRETRYIGNORE, 0},
        {MB_YESNOCANCEL, IDCANCEL},
        {MB_YESNO, IDNO},
        {MB_RETRYCANCEL, IDCANCEL},
    };
    for (const auto& [uType, answer] : cases) {
        for (bool fCloseBox : {false, true}) {
            SCOPED_TRACE(testing::Message() << "type " << uType << " close box " << fCloseBox);
            const int result = ShowHere("Leave?", uType, [&](HWND box) {
                if (fCloseBox) {
                    RECT caption, close, window;
                    ASSERT_TRUE(GetCaptionRects(box, &caption, &close));
                    GetWindowRect(box, &window);
                    if (!IsRectEmpty(&close))
                        ClickAt({window.left + (close.left + close.right) / 2,
                                 window.top + (close.top + close.bottom) / 2});
                } else {
                    Key(VK_ESCAPE);
                }
                // Input is handled in order: this press counts only if the box is still up.
                if (answer == 0) Click(GetDlgItem(box, IDABORT));
            });
            EXPECT_EQ(result, answer == 0 ? IDABORT : answer);
        }
    }
}

TEST_F(MsgBoxTest, OwnerIsDisabledWhileShown) {
    HWND owner = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 240, 294});
    HWND child = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {10, 10, 50, 50}, owner);
    BOOL fEnabledWhileShown = TRUE;
    HWND shownOwner = nullptr;
    const int result = ShowHere(
        "Saved.", MB_OK,
        [&](HWND box) {
            fEnabledWhileShown = IsWindowEnabled(owner);
            shownOwner = GetWindow(box, GW_OWNER);
            Click(GetDlgItem(box, IDOK));
        },
        child);
    EXPECT_EQ(result, IDOK);
    EXPECT_FALSE(fEnabledWhileShown);
    EXPECT_EQ(shownOwner, owner); // a child stands for its top-level window
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(MsgBoxTest, BoxOfASecondThreadIsAnsweredWhileTheMainLoopRuns) {
    struct Shared {
        std::atomic<int> result{0};
        std::atomic<DWORD> tid{0};
        Event done{true};
    };
    auto shared = std::make_shared<Shared>();
    Thread worker([shared] {
        shared->tid = GetCurrentThreadId();
        shared->result =
            DrawnMessageBoxResponder()->Respond(nullptr, "From a worker", "", MB_YESNO);
        shared->done.Set();
    });
    HWND box = nullptr;
    for (int i = 0; i < 5000 && !box; ++i) {
        Pump();
        Sleep(1);
        if (shared->tid) box = FindBox(shared->tid);
    }
    ASSERT_NE(box, nullptr);
    char caption[16] = {};
    GetWindowText(box, caption, 16);
    EXPECT_STREQ(caption, "Error"); // an empty caption
    Click(GetDlgItem(box, IDNO));
    Event* events[] = {&shared->done};
    while (MsgWaitForMultipleObjects(1, events, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        Pump();
    worker.Join();
    EXPECT_EQ(shared->result, IDNO);
}

TEST_F(MsgBoxTest, LongTextWrapsWithinTheBoxKeepingBlankLines) {
    const std::string longText = "The leading signature on a memory block was overwritten, so "
                                 "the block and everything after it may be damaged. Click OK "
                                 "to dismiss this message or Cancel to debug the program.";
    for (ScreenProfile profile : {ScreenProfile::kDevice, ScreenProfile::kDesktop}) {
        Start(profile);
        SCOPED_TRACE(profile == ScreenProfile::kDevice ? "device" : "desktop");
        const int cxMax = profile == ScreenProfile::kDevice ? 240 : 800 * 6 / 10;
        // The wrapped box is also saved as msgbox-<profile>.png for people to look at.
        const std::string shot =
            profile == ScreenProfile::kDevice ? "msgbox-device.png" : "msgbox-desktop.png";
        auto textRect = [&](std::string_view text, bool fShot = false) {
            RECT rc{}, window{}, client{};
            ShowHere(text, MB_OKCANCEL | MB_ICONERROR, [&](HWND box) {
                if (fShot) {
                    PresentScreen();
                    EXPECT_TRUE(SaveScreenshot(shot));
                }
                rc = ClientRectOf(box, Controls(box, WC_STATIC).at(0));
                GetWindowRect(box, &window);
                GetClientRect(box, &client);
                Key(VK_RETURN);
            });
            EXPECT_GE(window.left, 0);
            EXPECT_LE(window.right - window.left, cxMax);
            EXPECT_LE(rc.right, client.right);
            EXPECT_LE(rc.bottom, client.bottom);
            return rc;
        };
        const LONG cyLine = textRect("Short.").bottom - textRect("Short.").top;
        const RECT wrapped = textRect(longText, true);
        EXPECT_GE(wrapped.bottom - wrapped.top, 3 * cyLine);
        const RECT blank = textRect("One\n\nThree");
        EXPECT_EQ(blank.bottom - blank.top, 3 * cyLine);
    }
}

TEST_F(MsgBoxTest, IconsAreDrawnInTheirColours) {
    enum Colour { kNone, kRed, kBlue, kYellow };
    const std::pair<UINT, Colour> cases[] = {
        {MB_ICONERROR, kRed},
        {MB_ICONQUESTION, kBlue},
        {MB_ICONINFORMATION, kBlue},
        {MB_ICONWARNING, kYellow},
        {0, kNone},
    };
    std::set<std::vector<int>> glyphs;
    for (const auto& [uIcon, colour] : cases) {
        SCOPED_TRACE(testing::Message() << "icon " << uIcon);
        int counts[4] = {};
        std::vector<int> white; // y * 1000 + x
        ShowHere("Look.", MB_OK | uIcon, [&](HWND box) {
            // The icon lies left of the text, in the box's top left corner.
            RECT text = ClientRectOf(box, Controls(box, WC_STATIC).at(0));
            POINT origin{0, 0};
            ClientToScreen(box, &origin);
            for (int y = 0; y < 56; ++y) {
                for (int x = 0; x < text.left; ++x) {
                    COLORREF cr = GetScreenPixel(origin.x + x, origin.y + y);
                    const int r = GetRValue(cr), g = GetGValue(cr), b = GetBValue(cr);
                    if (r >= 192 && g <= 64 && b <= 64) ++counts[kRed];
                    if (b >= 160 && r <= 64) ++counts[kBlue];
                    if (r >= 200 && g >= 180 && b <= 64) ++counts[kYellow];
                    if (r >= 240 && g >= 240 && b >= 240) white.push_back(y * 1000 + x);
                }
            }
            Key(VK_RETURN);
        });
        for (Colour c : {kRed, kBlue, kYellow})
            EXPECT_EQ(counts[c] > 300, c == colour) << "colour " << c << ": " << counts[c];
        if (colour == kRed || colour == kBlue) {
            EXPECT_GT(white.size(), 20u); // cross or glyph
        }
        glyphs.insert(white);
    }
    EXPECT_EQ(glyphs.size(), std::size(cases)); // "?" and "i" differ
}

} // namespace
} // namespace host::test
