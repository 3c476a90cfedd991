// "msctls_progress32": a bar that fills as a task advances.
#include "host/controls.h"
#include "host/controls/controls_internal.h"
#include "host/controls/look.h"
#include "host/gdi.h"
#include "host/window.h"

#include <algorithm>
#include <cstdint>

namespace host::controls {
namespace {

constexpr char16_t kStateProp[] = u"host.Progress";

struct ProgressState {
    int nMin = 0;
    int nMax = 100;
    int nPos = 0;
    int nStep = 10;
    COLORREF crBar = CLR_DEFAULT;
};

ProgressState* StateOf(HWND hwnd) {
    return static_cast<ProgressState*>(GetProp(hwnd, std::u16string_view(kStateProp)));
}

// Positions outside the range are held to it (an empty or reversed range: its minimum).
int Clamp(const ProgressState& st, std::int64_t pos) {
    if (st.nMax <= st.nMin) return st.nMin;
    return static_cast<int>(std::clamp<std::int64_t>(pos, st.nMin, st.nMax));
}

LRESULT SetPos(HWND hwnd, ProgressState* st, std::int64_t pos) {
    const int old = st->nPos;
    st->nPos = Clamp(*st, pos);
    if (st->nPos != old) InvalidateRect(hwnd, nullptr, FALSE);
    return old;
}

LRESULT SetRange(HWND hwnd, ProgressState* st, int nMin, int nMax) {
    const LRESULT old = MAKELRESULT(static_cast<WORD>(st->nMin), static_cast<WORD>(st->nMax));
    st->nMin = nMin;
    st->nMax = nMax;
    st->nPos = Clamp(*st, st->nPos);
    InvalidateRect(hwnd, nullptr, FALSE);
    return old;
}

void Paint(HWND hwnd, const ProgressState& st, HDC hdc) {
    const DWORD style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (style & WS_BORDER) {
        FrameRect(hdc, &rc, GetSysColorBrush(COLOR_WINDOWFRAME));
        InflateRect(&rc, -1, -1);
    }
    // The fraction in int, scaled down when the range is wider than int holds.
    std::int64_t num = std::int64_t{st.nPos} - st.nMin, den = std::int64_t{st.nMax} - st.nMin;
    while (den > 0x3FFFFFFF) {
        num /= 2;
        den /= 2;
    }
    look::DrawProgress(hdc, rc, static_cast<int>(num), static_cast<int>(den),
                       (style & PBS_VERTICAL) != 0, (style & PBS_SMOOTH) != 0, st.crBar);
}

LRESULT ProgressProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ProgressState* st = StateOf(hwnd);
    if (st == nullptr && msg != WM_NCCREATE) return DefWindowProc(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_NCCREATE:
        SetProp(hwnd, std::u16string_view(kStateProp), new ProgressState);
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_NCDESTROY:
        delete static_cast<ProgressState*>(RemoveProp(hwnd, std::u16string_view(kStateProp)));
        return DefWindowProc(hwnd, msg, wParam, lParam);
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(hwnd, &ps);
        if (hdc != nullptr) Paint(hwnd, *st, hdc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case PBM_SETRANGE:
        return SetRange(hwnd, st, LOWORD(static_cast<std::uintptr_t>(lParam)),
                        HIWORD(static_cast<std::uintptr_t>(lParam)));
    case PBM_SETRANGE32:
        return SetRange(hwnd, st, static_cast<int>(wParam), static_cast<int>(lParam));
    case PBM_GETRANGE:
        return wParam ? st->nMin : st->nMax;
    case PBM_SETPOS:
        return SetPos(hwnd, st, static_cast<int>(wParam));
    case PBM_DELTAPOS:
        return SetPos(hwnd, st, std::int64_t{st->nPos} + static_cast<int>(wParam));
    case PBM_GETPOS:
        return st->nPos;
    case PBM_SETSTEP: {
        const int old = st->nStep;
        st->nStep = static_cast<int>(wParam);
        return old;
    }
    case PBM_STEPIT: {
        // Stepping past either end starts again from the other.
        std::int64_t pos = std::int64_t{st->nPos} + st->nStep;
        const std::int64_t span = std::int64_t{st->nMax} - st->nMin;
        if (span > 0 && (pos > st->nMax || pos < st->nMin)) {
            pos = st->nMin + ((pos - st->nMin) % span + span) % span;
        }
        return SetPos(hwnd, st, pos);
    }
    case PBM_SETBARCOLOR: {
        const COLORREF old = st->crBar;
        st->crBar = static_cast<COLORREF>(lParam);
        InvalidateRect(hwnd, nullptr, FALSE);
        return static_cast<LRESULT>(old);
    }
    default:
        return DefWindowProc(hwnd, msg, wParam, lParam);
    }
}

} // namespace

bool RegisterProgressClass() {
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ProgressProc;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = PROGRESS_CLASS;
    return RegisterClass(&wc) != 0;
}

} // namespace host::controls
