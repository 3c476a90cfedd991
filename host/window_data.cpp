#include "host/window.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/window_internal.h"

#include <algorithm>
#include <cstring>

namespace host {
namespace wnd {

// Copies text into a caller's buffer of cchMax units with a terminator, never cutting a
// character in half; returns the units copied.
int CopyOut(std::u16string_view text, char16_t* buffer, int cchMax) {
    if (buffer == nullptr || cchMax <= 0) return 0;
    std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(cchMax - 1));
    if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
    std::copy_n(text.data(), n, buffer);
    buffer[n] = 0;
    return static_cast<int>(n);
}

int CopyOut(std::string_view text, char* buffer, int cchMax) {
    if (buffer == nullptr || cchMax <= 0) return 0;
    std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(cchMax - 1));
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    std::copy_n(text.data(), n, buffer);
    buffer[n] = 0;
    return static_cast<int>(n);
}

} // namespace wnd

using namespace wnd;

// ---------------------------------------------------------------------------------------
// Window words and properties

namespace {

LONG_PTR ReadExtraLocked(Window* w, int index, std::size_t cb) {
    if (index < 0 || static_cast<std::size_t>(index) + cb > w->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    if (cb == sizeof(LONG)) {
        LONG value;
        std::memcpy(&value, w->extra.data() + index, sizeof value);
        return value;
    }
    LONG_PTR value;
    std::memcpy(&value, w->extra.data() + index, sizeof value);
    return value;
}

LONG_PTR GetWindowWord(HWND hwnd, int index, std::size_t cb) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return 0;
    switch (index) {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->hInstance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(ToHwnd(w->parent != nullptr ? w->parent : w->owner));
    case GWLP_ID:
        return w->id;
    case GWL_STYLE:
        return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_USERDATA:
        return w->userData;
    default:
        return ReadExtraLocked(w, index, cb);
    }
}

LONG_PTR SetStyle(HWND hwnd, int index, DWORD value) {
    STYLESTRUCT ss{};
    {
        Lock lock(WaitMutex());
        Window* w = CheckLocked(hwnd);
        if (w == nullptr) return 0;
        ss.styleOld = index == GWL_STYLE ? w->style : w->exStyle;
    }
    ss.styleNew = value;
    SendMessage(hwnd, WM_STYLECHANGING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
    {
        Lock lock(WaitMutex());
        Window* w = CheckLocked(hwnd);
        if (w == nullptr) return 0;
        (index == GWL_STYLE ? w->style : w->exStyle) = ss.styleNew;
    }
    SendMessage(hwnd, WM_STYLECHANGED, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
    Notify(hwnd, WindowChange::kStyle);
    SetLastError(ERROR_SUCCESS);
    return static_cast<LONG_PTR>(ss.styleOld);
}

LONG_PTR SetWindowWord(HWND hwnd, int index, LONG_PTR value, std::size_t cb) {
    if (index == GWL_STYLE || index == GWL_EXSTYLE)
        return SetStyle(hwnd, index, static_cast<DWORD>(value));
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return 0;
    LONG_PTR previous = 0;
    switch (index) {
    case GWLP_WNDPROC:
        if (value == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(w->proc);
        w->proc = reinterpret_cast<WNDPROC>(value);
        break;
    case GWLP_HINSTANCE:
        previous = reinterpret_cast<LONG_PTR>(w->hInstance);
        w->hInstance = reinterpret_cast<HINSTANCE>(value);
        break;
    case GWLP_HWNDPARENT: {
        if (w->parent != nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        Window* owner = RootLocked(FindLocked(reinterpret_cast<HWND>(value)));
        if ((value != 0 && owner == nullptr) || owner == w ||
            (owner != nullptr && IsOwnedByLocked(owner, w))) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(ToHwnd(w->owner));
        w->owner = owner;
        break;
    }
    case GWLP_ID:
        previous = w->id;
        w->id = value;
        break;
    case GWLP_USERDATA:
        previous = w->userData;
        w->userData = value;
        break;
    default: {
        if (index < 0 || static_cast<std::size_t>(index) + cb > w->extra.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        if (cb == sizeof(LONG)) {
            if (value < INT32_MIN || value > static_cast<LONG_PTR>(UINT32_MAX)) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            LONG old, word = static_cast<LONG>(static_cast<std::uint32_t>(value));
            std::memcpy(&old, w->extra.data() + index, sizeof old);
            std::memcpy(w->extra.data() + index, &word, sizeof word);
            previous = old;
        } else {
            std::memcpy(&previous, w->extra.data() + index, sizeof previous);
            std::memcpy(w->extra.data() + index, &value, sizeof value);
        }
        break;
    }
    }
    SetLastError(ERROR_SUCCESS);
    return previous;
}

} // namespace

LONG_PTR GetWindowLongPtr(HWND hwnd, int index) {
    return GetWindowWord(hwnd, index, sizeof(LONG_PTR));
}
LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value) {
    return SetWindowWord(hwnd, index, value, sizeof(LONG_PTR));
}
LONG_PTR GetWindowLong(HWND hwnd, int index) {
    return GetWindowWord(hwnd, index, sizeof(LONG));
}
LONG_PTR SetWindowLong(HWND hwnd, int index, LONG_PTR value) {
    return SetWindowWord(hwnd, index, value, sizeof(LONG));
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return proc != nullptr ? proc(hwnd, uMsg, wParam, lParam) : 0;
}

namespace {

BOOL SetPropCommon(HWND hwnd, const std::u16string& name, HANDLE value) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return FALSE;
    w->props[FoldCase(name)] = value;
    return TRUE;
}

HANDLE GetPropCommon(HWND hwnd, const std::u16string& name, bool fRemove) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return nullptr;
    auto it = w->props.find(FoldCase(name));
    if (it == w->props.end()) return nullptr;
    HANDLE value = it->second;
    if (fRemove) w->props.erase(it);
    return value;
}

} // namespace

BOOL SetProp(HWND hwnd, std::string_view name, HANDLE value) {
    return SetPropCommon(hwnd, ToUtf16(name), value);
}
BOOL SetProp(HWND hwnd, std::u16string_view name, HANDLE value) {
    return SetPropCommon(hwnd, std::u16string(name), value);
}
HANDLE GetProp(HWND hwnd, std::string_view name) {
    return GetPropCommon(hwnd, ToUtf16(name), false);
}
HANDLE GetProp(HWND hwnd, std::u16string_view name) {
    return GetPropCommon(hwnd, std::u16string(name), false);
}
HANDLE RemoveProp(HWND hwnd, std::string_view name) {
    return GetPropCommon(hwnd, ToUtf16(name), true);
}
HANDLE RemoveProp(HWND hwnd, std::u16string_view name) {
    return GetPropCommon(hwnd, std::u16string(name), true);
}

// Text

BOOL SetWindowText(HWND hwnd, std::string_view text) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (IsWindowUnicode(hwnd)) {
        std::u16string wide = ToUtf16(text);
        return static_cast<BOOL>(
            SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str())));
    }
    std::string narrow(text);
    return static_cast<BOOL>(
        SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(narrow.c_str())));
}

BOOL SetWindowText(HWND hwnd, std::u16string_view text) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (IsWindowUnicode(hwnd)) {
        std::u16string wide(text);
        return static_cast<BOOL>(
            SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str())));
    }
    std::string narrow = ToUtf8(text);
    return static_cast<BOOL>(
        SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(narrow.c_str())));
}

namespace {

// The window's text through WM_GETTEXT, as UTF-16.
bool ReadWindowText(HWND hwnd, std::u16string* text) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    // A procedure that answers nonsense must not make us allocate it.
    LRESULT cch = std::clamp<LRESULT>(SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0), 0, 1 << 20);
    if (IsWindowUnicode(hwnd)) {
        std::u16string buffer(static_cast<std::size_t>(cch) + 1, u'\0');
        LRESULT got =
            SendMessage(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
        buffer.resize(static_cast<std::size_t>(std::clamp<LRESULT>(got, 0, cch)));
        *text = std::move(buffer);
    } else {
        std::string buffer(static_cast<std::size_t>(cch) + 1, '\0');
        LRESULT got =
            SendMessage(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
        buffer.resize(static_cast<std::size_t>(std::clamp<LRESULT>(got, 0, cch)));
        *text = ToUtf16(buffer);
    }
    return true;
}

} // namespace

int GetWindowText(HWND hwnd, char* buffer, int cchMax) {
    std::u16string text;
    if (!ReadWindowText(hwnd, &text)) {
        if (buffer != nullptr && cchMax > 0) buffer[0] = 0;
        return 0;
    }
    return CopyOut(ToUtf8(text), buffer, cchMax);
}

int GetWindowText(HWND hwnd, char16_t* buffer, int cchMax) {
    std::u16string text;
    if (!ReadWindowText(hwnd, &text)) {
        if (buffer != nullptr && cchMax > 0) buffer[0] = 0;
        return 0;
    }
    return CopyOut(text, buffer, cchMax);
}

int InternalGetWindowText(HWND hwnd, char16_t* buffer, int cchMax) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) {
        CopyOut(std::u16string_view(), buffer, cchMax);
        return 0;
    }
    return CopyOut(w->text, buffer, cchMax);
}

int GetWindowTextLength(HWND hwnd) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<int>(SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

} // namespace host
