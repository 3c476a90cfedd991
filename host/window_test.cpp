#include "host/gdi.h"
#include "host/window.h"
#include "host/window_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace host::test {
namespace {

using Trace = std::vector<UINT>;

std::vector<HWND> ZOrder(HWND first) {
    std::vector<HWND> order;
    for (HWND hwnd = first; hwnd != nullptr; hwnd = GetWindow(hwnd, GW_HWNDNEXT))
        order.push_back(hwnd);
    return order;
}

TEST_F(WindowTest, ClassesAreProcessWideAndCaseInsensitive) {
    WNDCLASSA again{};
    again.lpfnWndProc = TestProc;
    again.lpszClassName = "testwindow";
    EXPECT_EQ(RegisterClass(&again), 0);
    EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);

    // A class made from another one's settings, as derived classes are.
    WNDCLASSW info{};
    ASSERT_TRUE(GetClassInfo(nullptr, u"TESTWINDOW", &info));
    EXPECT_EQ(info.lpfnWndProc, &TestProc);
    EXPECT_EQ(info.cbWndExtra, 16);
    info.lpszClassName = u"TestCopy";
    ASSERT_NE(RegisterClass(&info), 0);
    HWND hwnd = MakeWindow("testcopy", WS_POPUP, {0, 0, 10, 10});
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(IsWindowUnicode(hwnd)); // registered with a 16-bit name
    char name[32];
    EXPECT_EQ(GetClassName(hwnd, name, 32), 8);
    EXPECT_STREQ(name, "TestCopy");

    EXPECT_FALSE(UnregisterClass(u"TestCopy", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_CLASS_HAS_WINDOWS);
    DestroyWindow(hwnd);
    EXPECT_TRUE(UnregisterClass("TESTCOPY", nullptr));
    EXPECT_EQ(MakeWindow("TestCopy", WS_POPUP, {0, 0, 1, 1}), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_CLASS_DOES_NOT_EXIST);
    EXPECT_EQ(MakeWindow("TestWindow", WS_CHILD, {0, 0, 1, 1}), nullptr); // a child needs a parent
}

TEST_F(WindowTest, CreationSendsItsMessagesInOrder) {
    std::string seenName;
    int seenCx = 0;
    Handler handler = [&](HWND, UINT msg, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
        if (msg == WM_CREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
            seenName = cs->lpszName;
            seenCx = cs->cx;
        }
        return std::nullopt;
    };
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {5, 6, 105, 56}, nullptr, &handler,
                           "Kelvano");
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(
        Log().Trace(hwnd, {WM_NCCREATE, WM_CREATE, WM_MOVE, WM_SIZE, WM_SHOWWINDOW, WM_ACTIVATE,
                           WM_SETFOCUS}),
        (Trace{WM_NCCREATE, WM_CREATE, WM_MOVE, WM_SIZE, WM_SHOWWINDOW, WM_ACTIVATE, WM_SETFOCUS}));
    EXPECT_EQ(seenName, "Kelvano");
    EXPECT_EQ(seenCx, 100);
    EXPECT_EQ(Log().Of(hwnd, WM_MOVE)[0].lParam, MAKELPARAM(5, 6));
    EXPECT_EQ(Log().Of(hwnd, WM_SIZE)[0].lParam, MAKELPARAM(100, 50));
    EXPECT_EQ(GetActiveWindow(), hwnd);
    EXPECT_EQ(GetFocus(), hwnd);
    EXPECT_TRUE(IsWindowVisible(hwnd));
}

TEST_F(WindowTest, FailedCreationDestroysTheWindow) {
    struct Case {
        UINT failingMsg;
        LRESULT result;
        Trace expected;
    };
    const Case cases[] = {
        {WM_NCCREATE, 0, {WM_NCCREATE, WM_NCDESTROY}},
        {WM_CREATE, -1, {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}},
    };
    for (const Case& c : cases) {
        Log().Clear();
        Handler handler = [&](HWND hwnd, UINT msg, WPARAM,
                              LPARAM lParam) -> std::optional<LRESULT> {
            if (msg == WM_NCCREATE) // keep the handler: the test's procedure stores it here
                SetWindowLongPtr(hwnd, GWLP_USERDATA,
                                 reinterpret_cast<LONG_PTR>(
                                     reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
            if (msg == c.failingMsg) return c.result;
            return std::nullopt;
        };
        EXPECT_EQ(
            MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 10, 10}, nullptr, &handler),
            nullptr);
        EXPECT_EQ(
            Log().Trace(nullptr, {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY, WM_SHOWWINDOW}),
            c.expected);
        HWND hwnd = Log().All().front().hwnd;
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_EQ(GetActiveWindow(), nullptr);
    }
}

TEST_F(WindowTest, DestroyedAndMadeUpHandlesFailSafely) {
    HWND dead = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    ASSERT_TRUE(DestroyWindow(dead));
    HWND madeUp = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x7654321));
    // A live handle of another kind is no window either.
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HWND notAWindow = reinterpret_cast<HWND>(brush);
    HWND next = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    EXPECT_NE(next, dead); // handles are never reused
    for (HWND h : {dead, madeUp, notAWindow}) {
        RECT rc;
        PAINTSTRUCT ps;
        char text[8];
        MSG msg{h, WM_USER, 0, 0, 0, {}};
        const std::pair<const char*, std::function<bool()>> calls[] = {
            {"SetWindowText", [&] { return !SetWindowText(h, "x"); }},
            {"GetWindowText", [&] { return GetWindowText(h, text, 8) == 0 && text[0] == 0; }},
            {"GetWindowLongPtr", [&] { return GetWindowLongPtr(h, GWL_STYLE) == 0; }},
            {"SetWindowLongPtr", [&] { return SetWindowLongPtr(h, GWLP_USERDATA, 1) == 0; }},
            {"SendMessage", [&] { return SendMessage(h, WM_USER, 0, 0) == 0; }},
            {"SetTimer", [&] { return SetTimer(h, 1, 10, nullptr) == 0; }},
            {"ShowWindow", [&] { return !ShowWindow(h, SW_SHOW); }},
            {"SetWindowPos", [&] { return !SetWindowPos(h, nullptr, 0, 0, 5, 5, 0); }},
            {"GetWindowRect", [&] { return !GetWindowRect(h, &rc); }},
            {"InvalidateRect", [&] { return !InvalidateRect(h, nullptr, TRUE); }},
            {"BeginPaint", [&] { return BeginPaint(h, &ps) == nullptr; }},
            {"DestroyWindow", [&] { return !DestroyWindow(h); }},
            {"SetCapture", [&] { return SetCapture(h) == nullptr; }},
            {"GetParent", [&] { return GetParent(h) == nullptr; }},
            {"DispatchMessage", [&] { return DispatchMessage(&msg) == 0; }},
        };
        for (const auto& [name, fails] : calls) {
            SetLastError(ERROR_SUCCESS);
            EXPECT_TRUE(fails()) << name;
            EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE) << name;
        }
        EXPECT_FALSE(IsWindow(h));
        EXPECT_FALSE(PostMessage(h, WM_USER, 0, 0));
    }
    EXPECT_EQ(Log().Of(dead, WM_USER).size(), 0u);
    EXPECT_TRUE(DestroyWindow(next));
    EXPECT_TRUE(DeleteObject(brush));
}

TEST_F(WindowTest, DestructionOrderOwnedWindowsThenParentThenChildren) {
    bool fChildAliveDuringParentDestroy = false;
    HWND child1 = nullptr;
    Handler parentHandler = [&](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg == WM_DESTROY) fChildAliveDuringParentDestroy = IsWindow(child1) != FALSE;
        return std::nullopt;
    };
    HWND parent =
        MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100}, nullptr, &parentHandler);
    child1 = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {0, 0, 10, 10}, parent);
    HWND child2 = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {0, 0, 10, 10}, parent);
    HWND grandchild = MakeWindow("TestWindow", WS_CHILD, {0, 0, 5, 5}, child1);
    HWND owned = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 10, 10}, parent);
    ASSERT_EQ(GetWindow(owned, GW_OWNER), parent);
    Log().Clear();
    ASSERT_TRUE(DestroyWindow(parent));

    std::vector<std::pair<HWND, UINT>> seen;
    for (const Received& r : Log().All()) {
        if (r.msg == WM_DESTROY || r.msg == WM_NCDESTROY) seen.emplace_back(r.hwnd, r.msg);
    }
    const std::vector<std::pair<HWND, UINT>> expected = {
        {owned, WM_DESTROY},    {owned, WM_NCDESTROY},      {parent, WM_DESTROY},
        {child2, WM_DESTROY},   {child1, WM_DESTROY},       {grandchild, WM_DESTROY},
        {child2, WM_NCDESTROY}, {grandchild, WM_NCDESTROY}, {child1, WM_NCDESTROY},
        {parent, WM_NCDESTROY},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(fChildAliveDuringParentDestroy);
    for (HWND h : {parent, child1, child2, grandchild, owned})
        EXPECT_FALSE(IsWindow(h));
}

TEST_F(WindowTest, WindowWordsAndExtraBytes) {
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10}); // 16 extra bytes
    struct Case {
        int index;
        bool fPtr;
        LONG_PTR value;
        DWORD error; // 0: accepted
    };
    const Case cases[] = {
        {0, false, 0x12345678, 0},
        {12, false, -5, 0},
        {13, false, 1, ERROR_INVALID_INDEX},
        {-100, false, 1, ERROR_INVALID_INDEX},
        {8, true, static_cast<LONG_PTR>(0x1122334455667788), 0},
        {9, true, 1, ERROR_INVALID_INDEX},
        {4, false, static_cast<LONG_PTR>(0x1122334455667788), ERROR_INVALID_PARAMETER},
        {GWLP_USERDATA, true, static_cast<LONG_PTR>(0x1122334455667788), 0},
        {GWLP_ID, false, 7, 0},
    };
    for (const Case& c : cases) {
        auto set = c.fPtr ? SetWindowLongPtr : SetWindowLong;
        auto get = c.fPtr ? GetWindowLongPtr : GetWindowLong;
        SetLastError(ERROR_SUCCESS);
        set(hwnd, c.index, c.value);
        EXPECT_EQ(GetLastError(), c.error) << c.index;
        if (c.error == 0) {
            EXPECT_EQ(get(hwnd, c.index), c.value) << c.index;
            EXPECT_EQ(set(hwnd, c.index, 0), c.value) << c.index; // the previous value
        }
    }
    // A dialog's user word sits in its extra bytes.
    HWND dialog = MakeWindow("TestDialog", WS_POPUP, {0, 0, 10, 10});
    int marker = 0;
    SetWindowLongPtr(dialog, DWL_USER, reinterpret_cast<LONG_PTR>(&marker));
    EXPECT_EQ(GetWindowLongPtr(dialog, DWL_USER), reinterpret_cast<LONG_PTR>(&marker));
}

TEST_F(WindowTest, StyleChangesCanBeAdjustedByTheWindow) {
    Handler handler = [](HWND, UINT msg, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
        if (msg == WM_STYLECHANGING && wParam == static_cast<WPARAM>(GWL_STYLE))
            reinterpret_cast<STYLESTRUCT*>(lParam)->styleNew |= WS_TABSTOP;
        return std::nullopt;
    };
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10}, nullptr, &handler);
    EXPECT_EQ(static_cast<DWORD>(SetWindowLongPtr(hwnd, GWL_STYLE, WS_POPUP | WS_BORDER)),
              WS_POPUP);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)),
              WS_POPUP | WS_BORDER | WS_TABSTOP);
    EXPECT_EQ(Log().Trace(hwnd, {WM_STYLECHANGING, WM_STYLECHANGED}),
              (Trace{WM_STYLECHANGING, WM_STYLECHANGED}));
}

WNDPROC g_previousProc = nullptr;

LRESULT Subclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER + 1) return 42;
    return CallWindowProc(g_previousProc, hwnd, msg, wParam, lParam);
}

TEST_F(WindowTest, SubclassingReplacesTheProcedure) {
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10});
    g_previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtr(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Subclass)));
    EXPECT_EQ(g_previousProc, &TestProc);
    EXPECT_EQ(SendMessage(hwnd, WM_USER + 1, 0, 0), 42);
    SendMessage(hwnd, WM_USER + 2, 0, 0);
    EXPECT_EQ(Log().Trace(hwnd, {WM_USER + 1, WM_USER + 2}), (Trace{WM_USER + 2}));
    EXPECT_EQ(SetWindowLongPtr(hwnd, GWLP_WNDPROC, 0), 0); // a null procedure is refused
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(WindowTest, TextTravelsInTheWindowsWidth) {
    const std::u16string text = u"\u0108u \u015Di?"; // "Ĉu ŝi?"
    const std::string utf8 = "\xC4\x88u \xC5\x9Di?";
    struct Case {
        const char* cls;
        int cchLength; // in the window's own units
    };
    for (const Case& c : {Case{"TestWindow", 8}, Case{"TestWide", 6}}) {
        std::u16string seen16;
        std::string seen8;
        Handler handler = [&](HWND hwnd, UINT msg, WPARAM,
                              LPARAM lParam) -> std::optional<LRESULT> {
            if (msg == WM_SETTEXT) {
                if (IsWindowUnicode(hwnd))
                    seen16 = reinterpret_cast<const char16_t*>(lParam);
                else
                    seen8 = reinterpret_cast<const char*>(lParam);
            }
            return std::nullopt;
        };
        HWND hwnd = MakeWindow(c.cls, WS_POPUP, {0, 0, 10, 10}, nullptr, &handler);
        ASSERT_TRUE(SetWindowText(hwnd, text));
        EXPECT_TRUE(seen16 == text || seen8 == utf8) << c.cls;
        EXPECT_EQ(GetWindowTextLength(hwnd), c.cchLength) << c.cls;
        char16_t wide[16];
        EXPECT_EQ(GetWindowText(hwnd, wide, 16), 6);
        EXPECT_EQ(std::u16string(wide), text);
        EXPECT_EQ(InternalGetWindowText(hwnd, wide, 3), 2);
        EXPECT_EQ(std::u16string(wide), text.substr(0, 2));
        // 8-bit reads never end inside a character.
        const std::pair<int, std::string> reads[] = {
            {16, utf8}, {4, "\xC4\x88u"}, {3, "\xC4\x88"}, {2, ""}, {1, ""}};
        for (const auto& [cch, expected] : reads) {
            char narrow[16] = "garbage";
            EXPECT_EQ(GetWindowText(hwnd, narrow, cch), static_cast<int>(expected.size()));
            EXPECT_EQ(std::string(narrow), expected) << c.cls << " " << cch;
        }
        DestroyWindow(hwnd);
    }
}

TEST_F(WindowTest, FindWindowByTitleAndClass) {
    HWND a = MakeWindow("TestWindow", WS_POPUP, {0, 0, 10, 10}, nullptr, nullptr,
                        "\xC4\x88"
                        "efa Fenestro");
    HWND b = CreateWindowEx(0, u"TestWide", u"\u0108efa Fenestro", WS_POPUP, 0, 0, 10, 10, nullptr,
                            nullptr, nullptr, nullptr);
    MakeWindow("TestWindow", WS_CHILD, {0, 0, 5, 5}, a, nullptr, "Infano");
    struct Case {
        const char* cls;
        const char* title;
        HWND expected;
    };
    const Case cases[] = {
        {nullptr,
         "\xC4\x89"
         "EFA fenestro",
         b}, // the frontmost of the two, any case
        {"testwindow",
         "\xC4\x88"
         "EFA FENESTRO",
         a},
        {"TESTWIDE", nullptr, b},
        {nullptr, "Nenio", nullptr},
        {nullptr, "Infano", nullptr}, // children are not top-level windows
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindWindow(c.cls, c.title), c.expected) << (c.title ? c.title : "-");
    EXPECT_EQ(FindWindow(u"TestWindow", nullptr), a);
}

TEST_F(WindowTest, ChildrenKeepAZOrder) {
    HWND parent = MakeWindow("TestWindow", WS_POPUP, {0, 0, 100, 100});
    HWND a = MakeWindow("TestWindow", WS_CHILD, {0, 0, 10, 10}, parent, nullptr, "", 1);
    HWND b = MakeWindow("TestWindow", WS_CHILD, {0, 0, 10, 10}, parent, nullptr, "", 2);
    HWND c = MakeWindow("TestWindow", WS_CHILD, {0, 0, 10, 10}, parent, nullptr, "", 3);
    HWND d = MakeWindow("TestWindow", WS_CHILD, {0, 0, 5, 5}, a, nullptr, "", 4);
    EXPECT_EQ(ZOrder(GetWindow(parent, GW_CHILD)), (std::vector<HWND>{c, b, a})); // newest on top
    struct Step {
        HWND hwnd;
        HWND after;
        std::vector<HWND> expected;
    };
    const Step steps[] = {
        {c, HWND_BOTTOM, {b, a, c}},
        {b, a, {a, b, c}},
        {c, HWND_TOP, {c, a, b}},
        {a, HWND_TOPMOST, {a, c, b}}, // the same as HWND_TOP for children
    };
    for (const Step& s : steps) {
        SetWindowPos(s.hwnd, s.after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        EXPECT_EQ(ZOrder(GetWindow(parent, GW_CHILD)), s.expected);
    }
    EXPECT_EQ(GetWindow(b, GW_HWNDFIRST), a);
    EXPECT_EQ(GetWindow(a, GW_HWNDPREV), nullptr);
    EXPECT_EQ(GetDlgItem(parent, 2), b);
    EXPECT_EQ(GetDlgCtrlID(c), 3);
    EXPECT_EQ(GetParent(d), a);
    EXPECT_EQ(GetAncestor(d, GA_ROOT), parent);
    EXPECT_TRUE(IsChild(parent, d));
    EXPECT_FALSE(IsChild(b, d));
    std::vector<HWND> all;
    EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM lParam) {
            reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    EXPECT_EQ(all, (std::vector<HWND>{a, d, c, b}));
}

TEST_F(WindowTest, CaptionedWindowsLoseTheCaptionBarFromTheirClientArea) {
    HWND top = MakeWindow("TestWindow", WS_POPUP | WS_CAPTION | WS_SYSMENU, {20, 30, 220, 330});
    HWND child = MakeWindow("TestWindow", WS_CHILD, {10, 5, 60, 45}, top);
    HWND grand = MakeWindow("TestWindow", WS_CHILD | WS_CAPTION, {1, 2, 11, 12}, child);
    RECT rc;
    GetClientRect(top, &rc);
    EXPECT_EQ(std::tie(rc.left, rc.top, rc.right, rc.bottom),
              std::make_tuple(0, 0, 200, 300 - CAPTION_HEIGHT));
    GetClientRect(grand, &rc); // children have no caption bar
    EXPECT_EQ(std::tie(rc.right, rc.bottom), std::make_tuple(10, 10));
    GetWindowRect(grand, &rc);
    EXPECT_EQ(std::tie(rc.left, rc.top), std::make_tuple(31, 30 + CAPTION_HEIGHT + 7));
    POINT pt{0, 0};
    ClientToScreen(grand, &pt);
    EXPECT_EQ(std::tie(pt.x, pt.y), std::make_tuple(31, 30 + CAPTION_HEIGHT + 7));
    ScreenToClient(top, &pt);
    EXPECT_EQ(std::tie(pt.x, pt.y), std::make_tuple(11, 7));
    POINT mapped{0, 0};
    MapWindowPoints(grand, top, &mapped, 1);
    EXPECT_EQ(std::tie(mapped.x, mapped.y), std::make_tuple(11, 7));

    RECT adjusted{0, 0, 100, 100};
    AdjustWindowRectEx(&adjusted, WS_POPUP | WS_CAPTION, FALSE, 0);
    EXPECT_EQ(adjusted.top, -CAPTION_HEIGHT);
    RECT caption, close;
    ASSERT_TRUE(GetCaptionRects(top, &caption, &close));
    EXPECT_EQ(std::tie(caption.right, caption.bottom), std::make_tuple(200, CAPTION_HEIGHT));
    EXPECT_EQ(std::tie(close.left, close.right), std::make_tuple(200 - CAPTION_HEIGHT, 200));
    EXPECT_FALSE(GetCaptionRects(child, &caption, &close));
}

TEST_F(WindowTest, TopLevelZOrderKeepsOwnedWindowsAboveTheirOwner) {
    HWND a = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 10, 10});
    HWND b = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 10, 10});
    HWND owned = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 10, 10}, a);
    EXPECT_EQ(ZOrder(GetTopWindow(nullptr)), (std::vector<HWND>{owned, b, a}));
    const UINT keep = SWP_NOMOVE | SWP_NOSIZE;
    struct Step {
        std::function<void()> action;
        std::vector<HWND> expected;
        HWND active;
    };
    const Step steps[] = {
        {[&] { SetActiveWindow(a); }, {owned, a, b}, a},
        {[&] { SetWindowPos(b, HWND_TOPMOST, 0, 0, 0, 0, keep); }, {b, owned, a}, b},
        {[&] { SetWindowPos(a, HWND_TOPMOST, 0, 0, 0, 0, keep | SWP_NOACTIVATE); },
         {owned, a, b},
         b},
        // Bringing to the front: topmost, then not topmost, then the foreground.
        {[&] {
             SetWindowPos(a, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
             SetForegroundWindow(a);
         },
         {b, owned, a},
         a},
        {[&] { SetWindowPos(b, HWND_BOTTOM, 0, 0, 0, 0, keep | SWP_NOACTIVATE); },
         {owned, a, b},
         a},
    };
    for (const Step& s : steps) {
        s.action();
        EXPECT_EQ(ZOrder(GetTopWindow(nullptr)), s.expected);
        EXPECT_EQ(GetActiveWindow(), s.active);
    }
}

TEST_F(WindowTest, PaintComesOnceWhenTheQueueIsEmptyWithTheMergedRectangle) {
    RECT painted{};
    BOOL fEraseLeft = FALSE;
    Handler handler = [&](HWND hwnd, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg != WM_PAINT) return std::nullopt;
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        painted = ps.rcPaint;
        fEraseLeft = ps.fErase;
        EndPaint(hwnd, &ps);
        return 0;
    };
    HWND hwnd =
        MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100}, nullptr, &handler);
    Pump();
    Log().Clear();
    RECT first{10, 10, 20, 20}, second{50, 60, 70, 80};
    InvalidateRect(hwnd, &first, FALSE);
    InvalidateRect(hwnd, &second, TRUE);
    PostMessage(hwnd, WM_USER, 0, 0);
    EXPECT_EQ(Numbers(Pump()), (Trace{WM_USER, WM_PAINT}));
    EXPECT_EQ(std::tie(painted.left, painted.top, painted.right, painted.bottom),
              std::make_tuple(10, 10, 70, 80));
    EXPECT_EQ(Log().Of(hwnd, WM_ERASEBKGND).size(), 1u);
    EXPECT_TRUE(fEraseLeft); // nobody erased: no screen hooks
    EXPECT_TRUE(Pump().empty());

    // Hidden windows are not painted; showing paints them whole.
    ShowWindow(hwnd, SW_HIDE);
    InvalidateRect(hwnd, &first, FALSE);
    EXPECT_TRUE(Pump().empty());
    ShowWindow(hwnd, SW_SHOW);
    EXPECT_EQ(Numbers(Pump()), (Trace{WM_PAINT}));
    EXPECT_EQ(std::tie(painted.right, painted.bottom), std::make_tuple(100, 100));
}

TEST_F(WindowTest, ValidateRemovesWhatLeavesARectangle) {
    HWND hwnd = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
    struct Case {
        RECT validate;
        RECT expected; // empty: nothing left to paint
    };
    const Case cases[] = {
        {{0, 0, 40, 100}, {40, 0, 100, 100}}, // a band on the left
        {{0, 70, 100, 120}, {0, 0, 100, 70}}, // a band at the bottom
        {{50, 50, 60, 60}, {0, 0, 100, 100}}, // a hole: kept whole
        {{-5, -5, 200, 200}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        InvalidateRect(hwnd, nullptr, FALSE);
        ValidateRect(hwnd, &c.validate);
        RECT left;
        BOOL fAny = GetUpdateRect(hwnd, &left, FALSE);
        EXPECT_EQ(fAny != FALSE, c.expected.right > 0);
        EXPECT_EQ(std::tie(left.left, left.top, left.right, left.bottom),
                  std::tie(c.expected.left, c.expected.top, c.expected.right, c.expected.bottom));
    }
    EXPECT_TRUE(Pump().empty());
}

TEST_F(WindowTest, ParentsPaintBeforeChildrenAndClipChildrenSparesThem) {
    for (DWORD clip : {0u, WS_CLIPCHILDREN}) {
        HWND parent = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE | clip, {0, 0, 100, 100});
        HWND child = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {10, 10, 30, 30}, parent);
        Pump();
        Log().Clear();
        RECT rc{0, 0, 20, 20};
        InvalidateRect(parent, &rc, FALSE);
        RECT childUpdate{};
        GetUpdateRect(child, &childUpdate, FALSE);
        if (clip == 0) {
            EXPECT_EQ(
                std::tie(childUpdate.left, childUpdate.top, childUpdate.right, childUpdate.bottom),
                std::make_tuple(0, 0, 10, 10));
            UpdateWindow(parent); // no queue involved
            EXPECT_EQ(Log().Trace(nullptr, {WM_PAINT}), (Trace{WM_PAINT, WM_PAINT}));
            EXPECT_EQ(Log().All().front().hwnd, parent);
        } else {
            EXPECT_TRUE(childUpdate.right == 0);
        }
        EXPECT_EQ(Numbers(Pump()), clip == 0 ? Trace{} : Trace{WM_PAINT});
        DestroyWindow(parent);
    }
}

TEST_F(WindowTest, ResizingRepaintsTheNewPartOrAllForRedrawClasses) {
    WNDCLASSA redraw{};
    redraw.style = CS_HREDRAW | CS_VREDRAW;
    redraw.lpfnWndProc = TestProc;
    redraw.lpszClassName = "TestRedraw";
    static const bool fRegistered = RegisterClass(&redraw) != 0;
    ASSERT_TRUE(fRegistered);
    struct Case {
        const char* cls;
        RECT expected;
    };
    for (const Case& c :
         {Case{"TestWindow", {100, 0, 150, 100}}, Case{"TestRedraw", {0, 0, 150, 100}}}) {
        HWND hwnd = MakeWindow(c.cls, WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
        Pump();
        Log().Clear();
        SetWindowPos(hwnd, nullptr, 0, 0, 150, 100, SWP_NOMOVE | SWP_NOZORDER);
        RECT update{};
        GetUpdateRect(hwnd, &update, FALSE);
        EXPECT_EQ(std::tie(update.left, update.top, update.right, update.bottom),
                  std::tie(c.expected.left, c.expected.top, c.expected.right, c.expected.bottom))
            << c.cls;
        EXPECT_EQ(Log().Trace(hwnd, {WM_MOVE, WM_SIZE}), (Trace{WM_SIZE}));
        EXPECT_EQ(Log().Of(hwnd, WM_SIZE)[0].lParam, MAKELPARAM(150, 100));
        DestroyWindow(hwnd);
    }
    // A moved child leaves its old place to be repainted in the parent.
    HWND parent =
        MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, {0, 0, 100, 100});
    HWND child = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {0, 0, 10, 10}, parent);
    Pump();
    MoveWindow(child, 50, 50, 10, 10, TRUE);
    RECT update{};
    GetUpdateRect(parent, &update, FALSE);
    EXPECT_EQ(std::tie(update.left, update.top, update.right, update.bottom),
              std::make_tuple(0, 0, 10, 10));
    EXPECT_EQ(Log().Of(child, WM_MOVE).back().lParam, MAKELPARAM(50, 50));
}

TEST_F(WindowTest, FocusFollowsActivation) {
    HWND a = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 10, 10});
    HWND childA = MakeWindow("TestWindow", WS_CHILD | WS_VISIBLE, {0, 0, 5, 5}, a);
    HWND b = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 10, 10});
    ASSERT_EQ(GetActiveWindow(), b);
    ASSERT_EQ(GetFocus(), b);
    auto events = [] {
        std::vector<std::tuple<HWND, UINT, WORD>> out;
        for (const Received& r : Log().All()) {
            if (r.msg == WM_ACTIVATE || r.msg == WM_SETFOCUS || r.msg == WM_KILLFOCUS ||
                r.msg == WM_ENABLE)
                out.emplace_back(r.hwnd, r.msg,
                                 r.msg == WM_ACTIVATE || r.msg == WM_ENABLE ? LOWORD(r.wParam) : 0);
        }
        Log().Clear();
        return out;
    };
    Log().Clear();
    using E = std::vector<std::tuple<HWND, UINT, WORD>>;
    // Focusing a child of an inactive window activates that window first.
    SetFocus(childA);
    EXPECT_EQ(events(), (E{{b, WM_ACTIVATE, WA_INACTIVE},
                           {a, WM_ACTIVATE, WA_ACTIVE},
                           {b, WM_KILLFOCUS, 0},
                           {a, WM_SETFOCUS, 0},
                           {a, WM_KILLFOCUS, 0},
                           {childA, WM_SETFOCUS, 0}}));
    EXPECT_EQ(GetFocus(), childA);
    // Disabling the focus window takes the focus away.
    EXPECT_FALSE(EnableWindow(childA, FALSE));
    EXPECT_EQ(events(), (E{{childA, WM_KILLFOCUS, 0}, {childA, WM_ENABLE, FALSE}}));
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_TRUE(EnableWindow(childA, TRUE));
    // Destroying the active window activates the next one of the thread.
    DestroyWindow(a);
    EXPECT_EQ(GetActiveWindow(), b);
    EXPECT_EQ(GetFocus(), b);
}

TEST_F(WindowTest, CaptureMovesAndIsReleased) {
    HWND a = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 10, 10});
    HWND b = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 10, 10});
    EXPECT_EQ(SetCapture(a), nullptr);
    EXPECT_EQ(SetCapture(b), a);
    ASSERT_EQ(Log().Of(a, WM_CAPTURECHANGED).size(), 1u);
    EXPECT_EQ(Log().Of(a, WM_CAPTURECHANGED)[0].lParam, reinterpret_cast<LPARAM>(b));
    ReleaseCapture();
    EXPECT_EQ(Log().Of(b, WM_CAPTURECHANGED)[0].lParam, 0);
    EXPECT_EQ(GetCapture(), nullptr);
    SetCapture(a);
    ShowWindow(a, SW_HIDE); // hiding takes the capture away
    EXPECT_EQ(GetCapture(), nullptr);
    SetCapture(b);
    DestroyWindow(b);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(WindowTest, ModalLoopDisablesTheOwner) {
    HWND owner = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
    bool fOwnerEnabledInside = true;
    HWND activeInside = nullptr;
    Handler handler = [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (msg == WM_USER) {
            fOwnerEnabledInside = IsWindowEnabled(owner) != FALSE;
            activeInside = GetActiveWindow();
            EndModalLoop(hwnd, 7);
        } else if (msg == WM_USER + 1) {
            DestroyWindow(hwnd);
        } else if (msg == WM_USER + 2) {
            PostQuitMessage(static_cast<int>(wParam));
        }
        return std::nullopt;
    };
    struct Case {
        UINT msg;
        INT_PTR result;
    };
    for (const Case& c : {Case{WM_USER, 7}, Case{WM_USER + 1, 0}, Case{WM_USER + 2, 0}}) {
        HWND dialog = MakeWindow("TestWindow", WS_POPUP, {10, 10, 50, 50}, owner, &handler);
        PostMessage(dialog, c.msg, 3, 0);
        EXPECT_EQ(RunModalLoop(dialog), c.result);
        EXPECT_TRUE(IsWindowEnabled(owner));
        EXPECT_EQ(GetActiveWindow(), owner);
        DestroyWindow(dialog);
    }
    EXPECT_FALSE(fOwnerEnabledInside);
    EXPECT_NE(activeInside, owner);
    // The quit that ended the last loop is there for the outer loop.
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
}

} // namespace
} // namespace host::test
