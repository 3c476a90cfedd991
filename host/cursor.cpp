// Cursors: the shared system cursors and the shape the screen shows.
#include "host/window.h"

#include "host/window_internal.h"

#include <algorithm>
#include <array>

namespace host {
namespace {

constexpr std::array<WORD, 12> kSystemCursors = {32512, 32513, 32514, 32515, 32642, 32643,
                                                 32644, 32645, 32646, 32648, 32649, 32650};

// A system cursor's handle is its number: far below the handle table's values (0x10000 up),
// so it is never taken for another object, and stable without any state to keep.
HCURSOR LoadSystemCursor(HINSTANCE hInstance, std::uintptr_t id) {
    if (hInstance == nullptr &&
        std::find(kSystemCursors.begin(), kSystemCursors.end(), id) != kSystemCursors.end())
        return reinterpret_cast<HCURSOR>(id);
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

} // namespace

using namespace wnd;

HCURSOR LoadCursor(HINSTANCE hInstance, const char* id) {
    return LoadSystemCursor(hInstance, reinterpret_cast<std::uintptr_t>(id));
}

HCURSOR LoadCursor(HINSTANCE hInstance, const char16_t* id) {
    return LoadSystemCursor(hInstance, reinterpret_cast<std::uintptr_t>(id));
}

HCURSOR SetCursor(HCURSOR hCursor) {
    HCURSOR previous;
    {
        Lock lock(WaitMutex());
        previous = GetState().hCursor;
        GetState().hCursor = hCursor;
    }
    if (previous != hCursor) {
        if (WindowManagerHooks* hooks = Hooks()) hooks->CursorChanged(hCursor);
    }
    return previous;
}

HCURSOR GetCursor() {
    Lock lock(WaitMutex());
    return GetState().hCursor;
}

} // namespace host
