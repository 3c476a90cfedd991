#include "host/window.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/window_internal.h"

#include <cstring>
#include <type_traits>

namespace host {
namespace wnd {

std::shared_ptr<WindowClass> FindClassLocked(const std::u16string& name) {
    State& s = GetState();
    auto it = s.classes.find(FoldCase(name));
    return it == s.classes.end() ? nullptr : it->second;
}

} // namespace wnd

using namespace wnd;

// ---------------------------------------------------------------------------------------
// Window classes

namespace {

template <class C> ATOM RegisterClassT(const WNDCLASST<C>* pClass) {
    if (pClass == nullptr || pClass->lpszClassName == nullptr || pClass->lpszClassName[0] == 0 ||
        pClass->cbWndExtra < 0 || pClass->cbClsExtra < 0 || pClass->cbWndExtra > 4096 ||
        pClass->cbClsExtra > 4096) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto cls = std::make_shared<WindowClass>();
    cls->name = ToU16(pClass->lpszClassName);
    cls->fUnicode = sizeof(C) == 2;
    cls->style = pClass->style;
    cls->proc = pClass->lpfnWndProc;
    cls->cbWndExtra = pClass->cbWndExtra;
    cls->hInstance = pClass->hInstance;
    cls->hIcon = pClass->hIcon;
    cls->hCursor = pClass->hCursor;
    cls->hbrBackground = pClass->hbrBackground;
    cls->extra.assign(static_cast<std::size_t>(pClass->cbClsExtra), 0);
    Lock lock(WaitMutex());
    State& s = GetState();
    std::u16string key = FoldCase(cls->name);
    if (s.classes.count(key) != 0) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    cls->atom = s.nextAtom++;
    s.classes.emplace(std::move(key), cls);
    return cls->atom;
}

template <class C> BOOL GetClassInfoT(const C* name, WNDCLASST<C>* pClass) {
    if (name == nullptr || pClass == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Lock lock(WaitMutex());
    auto cls = FindClassLocked(ToU16(name));
    if (cls == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    *pClass = {};
    pClass->style = cls->style;
    pClass->lpfnWndProc = cls->proc;
    pClass->cbClsExtra = static_cast<int>(cls->extra.size());
    pClass->cbWndExtra = cls->cbWndExtra;
    pClass->hInstance = cls->hInstance;
    pClass->hIcon = cls->hIcon;
    pClass->hCursor = cls->hCursor;
    pClass->hbrBackground = cls->hbrBackground;
    pClass->lpszClassName = name;
    return TRUE;
}

template <class C> BOOL UnregisterClassT(const C* name) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Lock lock(WaitMutex());
    State& s = GetState();
    auto it = s.classes.find(FoldCase(ToU16(name)));
    if (it == s.classes.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (it->second->cWindows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    s.classes.erase(it);
    return TRUE;
}

} // namespace

ATOM RegisterClass(const WNDCLASSA* pClass) {
    return RegisterClassT(pClass);
}
ATOM RegisterClass(const WNDCLASSW* pClass) {
    return RegisterClassT(pClass);
}

BOOL GetClassInfo(HINSTANCE, const char* name, WNDCLASSA* pClass) {
    return GetClassInfoT(name, pClass);
}
BOOL GetClassInfo(HINSTANCE, const char16_t* name, WNDCLASSW* pClass) {
    return GetClassInfoT(name, pClass);
}

BOOL UnregisterClass(const char* name, HINSTANCE) {
    return UnregisterClassT(name);
}
BOOL UnregisterClass(const char16_t* name, HINSTANCE) {
    return UnregisterClassT(name);
}

int GetClassName(HWND hwnd, char* buffer, int cchMax) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    return w != nullptr ? CopyOut(ToUtf8(w->cls->name), buffer, cchMax) : 0;
}

int GetClassName(HWND hwnd, char16_t* buffer, int cchMax) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    return w != nullptr ? CopyOut(w->cls->name, buffer, cchMax) : 0;
}

LONG_PTR GetClassLongPtr(HWND hwnd, int index) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return 0;
    const WindowClass& cls = *w->cls;
    switch (index) {
    case GCL_CBWNDEXTRA:
        return cls.cbWndExtra;
    case GCL_CBCLSEXTRA:
        return static_cast<LONG_PTR>(cls.extra.size());
    case GCLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(cls.proc);
    case GCL_STYLE:
        return cls.style;
    case GCLP_HBRBACKGROUND:
        return reinterpret_cast<LONG_PTR>(cls.hbrBackground);
    case GCLP_HCURSOR:
        return reinterpret_cast<LONG_PTR>(cls.hCursor);
    case GCLP_HICON:
        return reinterpret_cast<LONG_PTR>(cls.hIcon);
    default:
        break;
    }
    if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > cls.extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value;
    std::memcpy(&value, cls.extra.data() + index, sizeof value);
    return value;
}

LONG_PTR SetClassLongPtr(HWND hwnd, int index, LONG_PTR value) {
    Lock lock(WaitMutex());
    Window* w = CheckLocked(hwnd);
    if (w == nullptr) return 0;
    WindowClass& cls = *w->cls;
    auto swap = [&](auto& field) {
        LONG_PTR previous;
        if constexpr (std::is_pointer_v<std::remove_reference_t<decltype(field)>>) {
            previous = reinterpret_cast<LONG_PTR>(field);
            field = reinterpret_cast<std::remove_reference_t<decltype(field)>>(value);
        } else {
            previous = static_cast<LONG_PTR>(field);
            field = static_cast<std::remove_reference_t<decltype(field)>>(value);
        }
        return previous;
    };
    switch (index) {
    case GCLP_WNDPROC:
        return swap(cls.proc);
    case GCL_STYLE:
        return swap(cls.style);
    case GCLP_HBRBACKGROUND:
        return swap(cls.hbrBackground);
    case GCLP_HCURSOR:
        return swap(cls.hCursor);
    case GCLP_HICON:
        return swap(cls.hIcon);
    default:
        break;
    }
    if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > cls.extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR previous;
    std::memcpy(&previous, cls.extra.data() + index, sizeof previous);
    std::memcpy(cls.extra.data() + index, &value, sizeof value);
    return previous;
}

} // namespace host
