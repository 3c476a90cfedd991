#include "tests/example/example.h"

#include "host/gdi.h"
#include "host/window.h"

#include <algorithm>
#include <cstdio>

namespace example {

using namespace host;

namespace {

constexpr char kClassName[] = "KelvanoExample";
constexpr UINT_PTR kTimerId = 1;

struct State {
    int frame = 0;
    int cFrames = 0;
    std::string screenshotPath;
    bool fFailed = false;
};

State* StateOf(HWND hwnd) {
    return reinterpret_cast<State*>(GetWindowLongPtr(hwnd, GWLP_USERDATA));
}

HFONT MakeTextFont() {
    LOGFONTA lf{};
    lf.lfHeight = -13;
    lf.lfWeight = FW_NORMAL;
    lf.lfQuality = ANTIALIASED_QUALITY;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", "Tahoma");
    return CreateFontIndirect(&lf);
}

void NextFrame(HWND hwnd, State& state) {
    RECT client;
    GetClientRect(hwnd, &client);
    RECT before = RectangleAt(state.frame, client);
    ++state.frame;
    RECT after = RectangleAt(state.frame, client);
    InvalidateRect(hwnd, &before, FALSE);
    InvalidateRect(hwnd, &after, FALSE);
    if (state.cFrames == 0 || state.frame < state.cFrames) return;
    KillTimer(hwnd, kTimerId);
    UpdateWindow(hwnd);
    if (!state.screenshotPath.empty() && !SaveScreenshot(state.screenshotPath))
        state.fFailed = true;
    DestroyWindow(hwnd);
}

LRESULT ExampleProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_NCCREATE:
        SetWindowLongPtr(
            hwnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
        break;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        RECT client;
        GetClientRect(hwnd, &client);
        if (State* state = StateOf(hwnd)) PaintScene(hdc, client, state->frame);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // the scene covers everything
    case WM_TIMER:
        if (wParam == kTimerId) {
            if (State* state = StateOf(hwnd)) NextFrame(hwnd, *state);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

} // namespace

RECT TextRect(const RECT& client) {
    return {client.left + 8, client.top + 8, client.right - 8, client.top + 60};
}

RECT RectangleAt(int frame, const RECT& client) {
    const int travel = std::max(1, static_cast<int>(client.right - client.left) - 16 - kRectWidth);
    int pos = frame * kStep % (2 * travel);
    if (pos > travel) pos = 2 * travel - pos;
    const int top = (client.top + client.bottom) / 2;
    return {client.left + 8 + pos, top, client.left + 8 + pos + kRectWidth, top + kRectHeight};
}

void PaintScene(HDC hdc, const RECT& client, int frame) {
    HBRUSH background = CreateSolidBrush(kBackground);
    FillRect(hdc, &client, background);
    DeleteObject(background);

    HFONT font = MakeTextFont();
    HGDIOBJ oldFont = SelectObject(hdc, static_cast<HGDIOBJ>(font));
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, kTextColour);
    RECT text = TextRect(client);
    DrawText(hdc, kText, -1, &text, DT_WORDBREAK | DT_CENTER | DT_NOPREFIX);
    SelectObject(hdc, oldFont);
    DeleteObject(font);

    RECT rect = RectangleAt(frame, client);
    HBRUSH fill = CreateSolidBrush(kRectColour);
    FillRect(hdc, &rect, fill);
    DeleteObject(fill);
}

int RunExample(const ScreenOptions& options, int cFrames, const std::string& screenshotPath) {
    if (!InitScreen(options)) return 1;
    WNDCLASSA cls{};
    cls.lpfnWndProc = ExampleProc;
    cls.lpszClassName = kClassName;
    RegisterClass(&cls);

    State state;
    state.cFrames = cFrames;
    state.screenshotPath = screenshotPath;
    RECT work{};
    SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
    HWND hwnd = CreateWindowEx(0, kClassName, kTitle, WS_POPUP | WS_CAPTION | WS_SYSMENU, work.left,
                               work.top, work.right - work.left, work.bottom - work.top, nullptr,
                               nullptr, nullptr, &state);
    int result = 1;
    if (hwnd != nullptr) {
        SetScreenMainWindow(hwnd);
        ShowWindow(hwnd, SW_SHOW);
        SetTimer(hwnd, kTimerId, kFrameMs, nullptr);
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
        result = state.fFailed ? 1 : 0;
    }
    UnregisterClass(kClassName, nullptr);
    ShutdownScreen();
    return result;
}

} // namespace example
