// Test support for the window service tests: a window procedure that records every message
// and lets a test answer some of them, and a fixture that leaves no windows behind.
#pragma once

#include "host/window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace host::test {

struct Received {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    DWORD tid;
};

// Answers a message (a value) or lets the default processing run (nullopt).
using Handler = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;

class MessageLog {
public:
    void Add(const Received& r) {
        std::lock_guard guard(mutex_);
        log_.push_back(r);
    }
    void Clear() {
        std::lock_guard guard(mutex_);
        log_.clear();
    }
    std::vector<Received> All() const {
        std::lock_guard guard(mutex_);
        return log_;
    }
    // The messages of one window (null: all windows) among those listed.
    std::vector<UINT> Trace(HWND hwnd, std::initializer_list<UINT> wanted) const {
        std::vector<UINT> out;
        for (const Received& r : All()) {
            if ((hwnd == nullptr || r.hwnd == hwnd) &&
                std::find(wanted.begin(), wanted.end(), r.msg) != wanted.end())
                out.push_back(r.msg);
        }
        return out;
    }
    std::vector<Received> Of(HWND hwnd, UINT msg) const {
        std::vector<Received> out;
        for (const Received& r : All()) {
            if (r.hwnd == hwnd && r.msg == msg) out.push_back(r);
        }
        return out;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Received> log_;
};

inline MessageLog& Log() {
    static MessageLog log;
    return log;
}

// The creation parameter is a Handler* (or null); it is kept in GWLP_USERDATA.
inline LRESULT TestProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        // Both widths keep lpCreateParams first.
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtr(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    Log().Add({hwnd, msg, wParam, lParam, GetCurrentThreadId()});
    if (auto* handler = reinterpret_cast<Handler*>(GetWindowLongPtr(hwnd, GWLP_USERDATA))) {
        if (std::optional<LRESULT> result = (*handler)(hwnd, msg, wParam, lParam)) return *result;
    }
    return DefWindowProc(hwnd, msg, wParam, lParam);
}

// "TestWindow" (8-bit), "TestDblClk" (8-bit, CS_DBLCLKS), "TestWide" (16-bit), each with 16
// extra bytes, and "TestDialog" with the dialog's extra bytes.
inline void RegisterTestClasses() {
    static const bool fDone = [] {
        WNDCLASSA plain{};
        plain.lpfnWndProc = TestProc;
        plain.cbWndExtra = 16;
        plain.lpszClassName = "TestWindow";
        RegisterClass(&plain);
        WNDCLASSA dbl = plain;
        dbl.style = CS_DBLCLKS;
        dbl.lpszClassName = "TestDblClk";
        RegisterClass(&dbl);
        WNDCLASSA dialog = plain;
        dialog.cbWndExtra = DLGWINDOWEXTRA;
        dialog.lpszClassName = "TestDialog";
        RegisterClass(&dialog);
        WNDCLASSW wide{};
        wide.lpfnWndProc = TestProc;
        wide.cbWndExtra = 16;
        wide.lpszClassName = u"TestWide";
        RegisterClass(&wide);
        return true;
    }();
    (void)fDone;
}

inline HWND MakeWindow(const char* cls, DWORD style, RECT rc, HWND parent = nullptr,
                       Handler* handler = nullptr, const char* title = "", int id = 0) {
    return CreateWindowEx(
        0, cls, title, style, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, parent,
        reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr, handler);
}

// Handles everything queued for this thread (without waiting); returns the messages seen.
inline std::vector<MSG> Pump() {
    std::vector<MSG> seen;
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
        seen.push_back(msg);
        if (msg.message == WM_QUIT) break;
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    return seen;
}

inline std::vector<UINT> Numbers(const std::vector<MSG>& msgs) {
    std::vector<UINT> out;
    for (const MSG& m : msgs)
        out.push_back(m.message);
    return out;
}

// Every test starts with a clean log and ends with its windows, focus and capture gone.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestClasses();
        Pump();
        Log().Clear();
    }
    void TearDown() override {
        SetWindowManagerHooks(nullptr); // the test's hooks are gone
        ReleaseCapture();
        std::vector<HWND> windows;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND hwnd, LPARAM lParam) {
                reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&windows));
        // The handlers may refer to the test body's locals, gone by now.
        for (HWND hwnd : windows) {
            SetWindowLongPtr(hwnd, GWLP_USERDATA, 0);
            EnumChildWindows(
                hwnd,
                [](HWND child, LPARAM) {
                    SetWindowLongPtr(child, GWLP_USERDATA, 0);
                    return TRUE;
                },
                0);
        }
        for (HWND hwnd : windows)
            DestroyWindow(hwnd);
        Pump();
        Log().Clear();
    }
};

} // namespace host::test
