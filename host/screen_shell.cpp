// The shell's dialog sizing and full-screen calls, on the screen's full-screen logic.
#include "host/error.h"
#include "host/screen.h"
#include "host/window.h"

namespace host {
namespace {

constexpr DWORD kSizingFlags =
    SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_FULLSCREENNOMENUBAR;

bool OnDevice() {
    return GetScreenOptions().profile == ScreenProfile::kDevice;
}

} // namespace

BOOL SHInitDialog(const SHINITDLGINFO* pshidi) {
    if (pshidi == nullptr || (pshidi->dwMask & SHIDIM_FLAGS) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsWindow(pshidi->hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if ((pshidi->dwFlags & kSizingFlags) == 0) return TRUE;
    return SetFullScreen(pshidi->hDlg, false);
}

BOOL SHFullScreen(HWND hwnd, DWORD dwState) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const bool fHide = (dwState & SHFS_HIDETASKBAR) != 0;
    const bool fShow = (dwState & SHFS_SHOWTASKBAR) != 0;
    if (fHide && fShow) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!fHide && !fShow) return TRUE;
    // The desktop has no taskbar of ours to hide: its work area is the place.
    return SetFullScreen(hwnd, fHide && OnDevice());
}

} // namespace host
