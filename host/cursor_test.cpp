#include "host/screen.h"
#include "host/window.h"
#include "host/window_test_support.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <utility>

namespace host::test {
namespace {

TEST(CursorTest, SystemCursorsAreSharedAndOtherNamesAreRefused) {
    const char* const known[] = {IDC_ARROW,    IDC_IBEAM,    IDC_WAIT,   IDC_CROSS,
                                 IDC_SIZENWSE, IDC_SIZENESW, IDC_SIZEWE, IDC_SIZENS,
                                 IDC_SIZEALL,  IDC_NO,       IDC_HAND,   IDC_APPSTARTING};
    std::set<HCURSOR> handles;
    for (const char* id : known) {
        HCURSOR h = LoadCursor(nullptr, id);
        EXPECT_NE(h, nullptr) << reinterpret_cast<std::uintptr_t>(id);
        EXPECT_EQ(LoadCursor(nullptr, id), h);
        EXPECT_EQ(LoadCursor(nullptr, reinterpret_cast<const char16_t*>(id)), h);
        handles.insert(h);
    }
    EXPECT_EQ(handles.size(), std::size(known));

    const HINSTANCE module = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x10000});
    const std::pair<HINSTANCE, const char*> unknown[] = {
        {nullptr, nullptr},
        {nullptr, reinterpret_cast<const char*>(std::uintptr_t{32647})}, // a gap among the ids
        {nullptr, "IDC_ARROW"},
        {module, IDC_ARROW}, // programs carry no cursor resources
    };
    for (const auto& [hInstance, id] : unknown) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(LoadCursor(hInstance, id), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
    }
}

class CursorInputTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        WNDCLASSA wc{};
        wc.lpfnWndProc = TestProc;
        wc.hCursor = LoadCursor(nullptr, IDC_HAND);
        wc.lpszClassName = "CursorHand";
        RegisterClass(&wc); // fails harmlessly when an earlier test registered it
        wc.hCursor = LoadCursor(nullptr, IDC_IBEAM);
        wc.lpszClassName = "CursorIBeam";
        RegisterClass(&wc);
        ScreenOptions options;
        options.backend = ScreenBackendKind::kHeadless;
        ASSERT_TRUE(InitScreen(options));
    }
    void TearDown() override {
        ShutdownScreen();
        SetCursor(nullptr);
        WindowTest::TearDown();
    }
};

TEST_F(CursorInputTest, MovingTheMouseShowsTheCursorOfTheWindowUnderIt) {
    HWND a = MakeWindow("CursorIBeam", WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU,
                        {0, 0, 100, 100});
    MakeWindow("CursorHand", WS_CHILD | WS_VISIBLE, {0, 40, 50, 70}, a);
    Handler cross = [](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (msg != WM_SETCURSOR) return std::nullopt;
        SetCursor(LoadCursor(nullptr, IDC_CROSS));
        return TRUE;
    };
    HWND b = MakeWindow("TestWindow", WS_POPUP | WS_VISIBLE, {120, 0, 220, 100}, nullptr, &cross);
    MakeWindow("CursorHand", WS_CHILD | WS_VISIBLE, {0, 0, 50, 50}, b);
    Pump();
    struct Case {
        POINT pt;
        const char* expected;
    };
    const Case cases[] = {
        {{80, 90}, IDC_IBEAM},  // the client area of a
        {{10, 80}, IDC_HAND},   // a's child: its class cursor, not its parent's
        {{130, 10}, IDC_CROSS}, // b's child: b answers for it
        {{30, 10}, IDC_ARROW},  // a's caption bar
        {{10, 80}, IDC_HAND},   {{90, 10}, IDC_ARROW}, // the close box
    };
    for (const Case& c : cases) {
        EXPECT_NE(PostMouseInput(c.pt, MouseAction::kMove), nullptr);
        Pump();
        EXPECT_EQ(GetCursor(), LoadCursor(nullptr, c.expected)) << c.pt.x << "," << c.pt.y;
    }
}

} // namespace
} // namespace host::test
