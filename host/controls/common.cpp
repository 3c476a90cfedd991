// Helpers every standard control uses: its style and text, notifying and asking its parent.
#include "host/controls/controls_internal.h"

#include "host/controls/look.h"

#include <algorithm>

namespace host::controls {

DWORD StyleOf(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
}

std::u16string TextOf(HWND hwnd) {
    const int len = GetWindowTextLength(hwnd);
    if (len <= 0) return {};
    std::u16string text(static_cast<std::size_t>(len) + 1, u'\0');
    const int copied = GetWindowText(hwnd, text.data(), len + 1);
    text.resize(static_cast<std::size_t>(std::max(0, copied)));
    return text;
}

void NotifyParent(HWND hwnd, WORD code) {
    HWND parent = GetParent(hwnd);
    if (parent == nullptr) return;
    SendMessage(parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(hwnd)), code),
                reinterpret_cast<LPARAM>(hwnd));
}

HBRUSH AskParentBrush(HWND hwnd, HDC hdc, UINT ctlColorMsg) {
    HWND parent = GetParent(hwnd);
    if (parent == nullptr) return nullptr;
    return reinterpret_cast<HBRUSH>(SendMessage(parent, ctlColorMsg, reinterpret_cast<WPARAM>(hdc),
                                                reinterpret_cast<LPARAM>(hwnd)));
}

int RowHeight(HFONT font) {
    HDC hdc = CreateCompatibleDC(nullptr);
    if (hdc == nullptr) return 16;
    HGDIOBJ old = SelectObject(hdc, static_cast<HGDIOBJ>(look::ControlFont(font)));
    TEXTMETRIC tm{};
    const int cy = GetTextMetrics(hdc, &tm) ? tm.tmHeight + 2 : 16;
    SelectObject(hdc, old);
    DeleteDC(hdc);
    return std::max(cy, 1);
}

} // namespace host::controls
