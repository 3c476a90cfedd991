// The window manager: what of each window can be seen, the contexts handed out, window
// regions, full screen and the taskbar, and the painting of the desktop, caption bars and
// taskbar.
#include "host/clock.h"
#include "host/error.h"
#include "host/screen_internal.h"

#include <cstdio>
#include <ctime>

namespace host::scr {
namespace {

RECT WindowRectOf(HWND hwnd) {
    RECT rc{};
    GetWindowRect(hwnd, &rc);
    return rc;
}

RECT ClientRectOnScreen(HWND hwnd) {
    RECT rc{};
    POINT origin{0, 0};
    GetClientRect(hwnd, &rc);
    ClientToScreen(hwnd, &origin);
    return {origin.x, origin.y, origin.x + rc.right, origin.y + rc.bottom};
}

bool IsTopLevel(HWND hwnd) {
    return (static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)) & WS_CHILD) == 0 &&
           GetAncestor(hwnd, GA_PARENT) == nullptr;
}

// The minute of the day for the taskbar clock: local time, or on the virtual clock the tick
// count's, so that tests see a time they control.
int MinuteOfDay() {
    if (IsVirtualClock()) return static_cast<int>((GetTickCount() / 60000) % 1440);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_hour * 60 + local.tm_min;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Visibility

Rgn Screen::ShapeLocked(HWND hwnd, const RECT& rcWindow) {
    Rgn shape(rcWindow);
    auto it = regions_.find(hwnd);
    if (it != regions_.end()) {
        Rgn region;
        CombineRgn(region.get(), it->second, nullptr, RGN_COPY);
        OffsetRgn(region.get(), rcWindow.left, rcWindow.top);
        shape.And(region.get());
    }
    return shape;
}

Rgn Screen::VisibleLocked(HWND hwnd, bool fWholeWindow) {
    if (!IsWindowVisible(hwnd)) return Rgn();
    const RECT rcWindow = WindowRectOf(hwnd);
    Rgn visible = ShapeLocked(hwnd, rcWindow);
    if (!fWholeWindow) visible.And(ClientRectOnScreen(hwnd));
    if ((static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)) & WS_CLIPCHILDREN) != 0) {
        for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            if (IsWindowVisible(child))
                visible.Subtract(ShapeLocked(child, WindowRectOf(child)).get());
        }
    }
    // Up the tree: siblings above clip (always, so that overlapping controls never draw
    // over one another, except a WS_EX_TRANSPARENT one such as a group box lying over its
    // controls), and each parent's client area and region bound.
    HWND current = hwnd;
    for (HWND parent = GetAncestor(current, GA_PARENT); parent != nullptr;
         parent = GetAncestor(current, GA_PARENT)) {
        for (HWND above = GetWindow(current, GW_HWNDPREV); above != nullptr;
             above = GetWindow(above, GW_HWNDPREV)) {
            if (IsWindowVisible(above) &&
                (GetWindowLongPtr(above, GWL_EXSTYLE) & WS_EX_TRANSPARENT) == 0)
                visible.Subtract(ShapeLocked(above, WindowRectOf(above)).get());
        }
        visible.And(ClientRectOnScreen(parent));
        visible.And(ShapeLocked(parent, WindowRectOf(parent)).get());
        current = parent;
    }
    for (HWND above = GetWindow(current, GW_HWNDPREV); above != nullptr;
         above = GetWindow(above, GW_HWNDPREV)) {
        if (IsWindowVisible(above)) visible.Subtract(ShapeLocked(above, WindowRectOf(above)).get());
    }
    if (fTaskbarShown_) visible.Subtract(TaskbarRect());
    visible.And(RECT{0, 0, cx_, cy_});
    return visible;
}

std::vector<HWND> Screen::VisibleTopLevels() {
    std::vector<HWND> windows;
    for (HWND hwnd = GetTopWindow(nullptr); hwnd != nullptr; hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
        if (IsWindowVisible(hwnd)) windows.push_back(hwnd);
    }
    return windows;
}

bool Screen::ComputeTaskbarShownLocked() {
    if (taskbar_ == 0) return false;
    if (fullScreen_ != nullptr && GetActiveWindow() == fullScreen_ && IsWindowVisible(fullScreen_))
        return false;
    return true;
}

void Screen::InvalidateUnder(const RECT& rc, HWND except) {
    for (HWND hwnd = GetTopWindow(nullptr); hwnd != nullptr; hwnd = GetWindow(hwnd, GW_HWNDNEXT)) {
        if (hwnd == except) continue;
        RECT overlap = rect::Intersect(rc, WindowRectOf(hwnd));
        if (rect::IsEmpty(overlap)) continue;
        RECT client = ClientRectOnScreen(hwnd);
        RECT inClient{overlap.left - client.left, overlap.top - client.top,
                      overlap.right - client.left, overlap.bottom - client.top};
        InvalidateRect(hwnd, &inClient, TRUE);
    }
}

void Screen::Refresh(DcSurface& surface) {
    const std::uint64_t current = generation.load();
    if (surface.generation == current || surface.hdc == nullptr) return;
    std::lock_guard lock(mutex_);
    POINT origin{0, 0};
    switch (surface.kind()) {
    case DcSurface::Kind::kScreen:
        SetSurfaceDCVisibleRgn(surface.hdc, nullptr);
        break;
    case DcSurface::Kind::kWindow: {
        RECT rc = WindowRectOf(surface.hwnd());
        origin = {rc.left, rc.top};
        Rgn visible = VisibleLocked(surface.hwnd(), true);
        SetSurfaceDCVisibleRgn(surface.hdc, visible.get());
        break;
    }
    case DcSurface::Kind::kClient:
    case DcSurface::Kind::kPaint: {
        RECT rc = ClientRectOnScreen(surface.hwnd());
        origin = {rc.left, rc.top};
        Rgn visible = VisibleLocked(surface.hwnd(), false);
        if (surface.kind() == DcSurface::Kind::kPaint) {
            const RECT& p = surface.rcPaint();
            visible.And(
                RECT{p.left + origin.x, p.top + origin.y, p.right + origin.x, p.bottom + origin.y});
        }
        SetSurfaceDCVisibleRgn(surface.hdc, visible.get());
        break;
    }
    }
    SetSurfaceDCOrigin(surface.hdc, origin);
    surface.generation = current;
}

// ---------------------------------------------------------------------------------------
// Contexts

HDC Screen::MakeDc(HWND hwnd, DcSurface::Kind kind, const RECT* prcPaint) {
    if (hwnd != nullptr && !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    auto surface =
        std::make_unique<DcSurface>(this, hwnd, kind, prcPaint != nullptr ? *prcPaint : RECT{});
    Rgn nothing;
    HDC hdc = CreateSurfaceDC(surface.get(), {0, 0}, nothing.get());
    if (hdc == nullptr) return nullptr;
    surface->hdc = hdc;
    Refresh(*surface);
    std::lock_guard lock(mutex_);
    // What the window manager owes is painted first, so that it never covers what the
    // context draws (a window context may draw on the caption bar).
    BringUpToDateLocked();
    dcs_[hdc] = std::move(surface);
    return hdc;
}

int Screen::Release(HWND hwnd, HDC hdc) {
    std::lock_guard lock(mutex_);
    auto it = dcs_.find(hdc);
    if (it == dcs_.end() || it->second->hwnd() != hwnd) return 0;
    DeleteDC(hdc);
    dcs_.erase(it);
    return 1;
}

bool Screen::EraseBackground(HWND hwnd, HDC hdc) {
    auto hbr = reinterpret_cast<HBRUSH>(GetClassLongPtr(hwnd, GCLP_HBRBACKGROUND));
    if (hbr == nullptr) return false;
    RECT rc;
    if (!GetClientRect(hwnd, &rc)) return false;
    FillRect(hdc, &rc, hbr);
    return true;
}

// ---------------------------------------------------------------------------------------
// Regions and input

bool Screen::PtInWindowRegion(HWND hwnd, POINT ptWindow) {
    const RECT rcWindow = WindowRectOf(hwnd);
    const bool fTop = IsTopLevel(hwnd);
    std::lock_guard lock(mutex_);
    // The taskbar lies above every window and takes their input.
    if (fTop && fTaskbarShown_) {
        POINT pt{rcWindow.left + ptWindow.x, rcWindow.top + ptWindow.y};
        RECT bar = TaskbarRect();
        if (PtInRect(&bar, pt)) return false;
    }
    auto it = regions_.find(hwnd);
    return it == regions_.end() || PtInRegion(it->second, ptWindow.x, ptWindow.y);
}

int Screen::SetRegion(HWND hwnd, HRGN hrgn, BOOL fRedraw) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (hrgn != nullptr && GetObjectType(hrgn) != OBJ_REGION) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    {
        std::lock_guard lock(mutex_);
        auto it = regions_.find(hwnd);
        if (it != regions_.end()) {
            if (it->second != hrgn) DeleteObject(it->second);
            regions_.erase(it);
        }
        if (hrgn != nullptr) regions_[hwnd] = hrgn;
        fChromeDirty_ = true;
    }
    ++generation;
    if (fRedraw && IsWindowVisible(hwnd)) {
        // What the old shape covered shows what lies beneath; the window draws anew.
        RECT rc = WindowRectOf(hwnd);
        if (HWND parent = GetAncestor(hwnd, GA_PARENT)) {
            RECT client = ClientRectOnScreen(parent);
            RECT inParent{rc.left - client.left, rc.top - client.top, rc.right - client.left,
                          rc.bottom - client.top};
            InvalidateRect(parent, &inParent, TRUE);
        } else {
            InvalidateUnder(rc, hwnd);
        }
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    return 1;
}

int Screen::GetRegion(HWND hwnd, HRGN hrgn) {
    std::lock_guard lock(mutex_);
    auto it = regions_.find(hwnd);
    if (it == regions_.end()) return ERROR;
    return CombineRgn(hrgn, it->second, nullptr, RGN_COPY);
}

// ---------------------------------------------------------------------------------------
// Window changes

void Screen::WindowChanged(HWND hwnd, WindowChange change) {
    ++generation;
    bool fTaskbarChanged = false;
    RECT bar{};
    {
        std::lock_guard lock(mutex_);
        fChromeDirty_ = true;
        switch (change) {
        case WindowChange::kShown:
            if (IsTopLevel(hwnd) && std::find(shown_.begin(), shown_.end(), hwnd) == shown_.end())
                shown_.push_back(hwnd);
            break;
        case WindowChange::kDestroyed: {
            // The window and its children go; so do windows removed without a word when
            // their thread ended.
            auto gone = [hwnd](HWND h) { return h == hwnd || !IsWindow(h) || IsChild(hwnd, h); };
            for (auto it = regions_.begin(); it != regions_.end();) {
                if (gone(it->first)) {
                    DeleteObject(it->second);
                    it = regions_.erase(it);
                } else {
                    ++it;
                }
            }
            for (auto it = dcs_.begin(); it != dcs_.end();) {
                HWND owner = it->second->hwnd();
                if (owner != nullptr && gone(owner)) {
                    DeleteDC(it->first);
                    it = dcs_.erase(it);
                } else {
                    ++it;
                }
            }
            shown_.erase(std::remove_if(shown_.begin(), shown_.end(), gone), shown_.end());
            if (mainWindow_ != nullptr && gone(mainWindow_)) mainWindow_ = nullptr;
            if (fullScreen_ != nullptr && gone(fullScreen_)) fullScreen_ = nullptr;
            break;
        }
        default:
            break;
        }
        const bool fShown = ComputeTaskbarShownLocked();
        if (fShown != fTaskbarShown_) {
            fTaskbarShown_ = fShown;
            fTaskbarChanged = true;
            bar = TaskbarRect();
        }
    }
    if (fTaskbarChanged) {
        ++generation;
        InvalidateUnder(bar, nullptr);
    }
    // A caption bar that came or went moves the client area.
    if (change == WindowChange::kStyle) InvalidateRect(hwnd, nullptr, TRUE);
}

BOOL Screen::FullScreen(HWND hwnd, bool fHideTaskbar) {
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    RECT rc = fHideTaskbar ? RECT{0, 0, cx_, cy_} : WorkArea();
    {
        std::lock_guard lock(mutex_);
        if (fHideTaskbar)
            fullScreen_ = hwnd;
        else if (fullScreen_ == hwnd)
            fullScreen_ = nullptr;
    }
    BOOL ok = SetWindowPos(hwnd, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
    // Also brings the taskbar's state up to date.
    WindowChanged(hwnd, WindowChange::kMoved);
    return ok;
}

void Screen::CloseRequested() {
    HWND target = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (mainWindow_ != nullptr && IsWindow(mainWindow_)) {
            target = mainWindow_;
        } else {
            for (HWND hwnd : shown_) {
                if (IsWindow(hwnd)) {
                    target = hwnd;
                    break;
                }
            }
        }
    }
    if (target != nullptr)
        PostMessage(target, WM_CLOSE, 0, 0);
    else
        PostQuitMessage(0);
}

void Screen::RepaintAll() {
    std::lock_guard lock(mutex_);
    dirty_ = {0, 0, cx_, cy_};
}

// ---------------------------------------------------------------------------------------
// The window manager's own painting

void Screen::PaintChromeLocked() {
    fChromeDirty_ = false;
    const std::vector<HWND> windows = VisibleTopLevels();
    // The desktop: whatever no window covers.
    Rgn desktop(RECT{0, 0, cx_, cy_});
    for (HWND hwnd : windows)
        desktop.Subtract(ShapeLocked(hwnd, WindowRectOf(hwnd)).get());
    if (fTaskbarShown_) desktop.Subtract(TaskbarRect());
    if (!desktop.IsEmpty()) {
        SelectClipRgn(hdcChrome_, desktop.get());
        RECT all{0, 0, cx_, cy_};
        FillRect(hdcChrome_, &all, GetSysColorBrush(COLOR_BACKGROUND));
    }
    for (HWND hwnd : windows) {
        RECT rcCaption;
        if (GetCaptionRects(hwnd, &rcCaption, nullptr))
            PaintCaptionLocked(hwnd, WindowRectOf(hwnd));
    }
    SelectClipRgn(hdcChrome_, nullptr);
    if (fTaskbarShown_) PaintTaskbarLocked();
}

void Screen::PaintCaptionLocked(HWND hwnd, const RECT& rcWindow) {
    RECT caption, close;
    if (!GetCaptionRects(hwnd, &caption, &close)) return;
    OffsetRect(&caption, rcWindow.left, rcWindow.top);
    Rgn visible = VisibleLocked(hwnd, true);
    visible.And(caption);
    if (visible.IsEmpty()) return;
    SelectClipRgn(hdcChrome_, visible.get());

    const bool fActive = GetActiveWindow() == hwnd;
    FillRect(hdcChrome_, &caption,
             GetSysColorBrush(fActive ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
    RECT text = caption;
    text.left += 4;
    if (!IsRectEmpty(&close)) {
        OffsetRect(&close, rcWindow.left, rcWindow.top);
        text.right = close.left - 2;
        // A raised square with a cross.
        RECT box = close;
        InflateRect(&box, -2, -2);
        DrawEdge(hdcChrome_, &box, EDGE_RAISED, BF_RECT | BF_MIDDLE);
        HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNTEXT));
        HGDIOBJ oldPen = SelectObject(hdcChrome_, static_cast<HGDIOBJ>(pen));
        const int inset = 5;
        for (int d = 0; d < 2; ++d) {
            MoveToEx(hdcChrome_, box.left + inset + d, box.top + inset, nullptr);
            LineTo(hdcChrome_, box.right - inset + d, box.bottom - inset);
            MoveToEx(hdcChrome_, box.right - inset - 1 + d, box.top + inset, nullptr);
            LineTo(hdcChrome_, box.left + inset - 1 + d, box.bottom - inset);
        }
        SelectObject(hdcChrome_, oldPen);
        DeleteObject(pen);
    }
    char16_t title[256];
    int cch = InternalGetWindowText(hwnd, title, 256);
    if (cch > 0 && text.right > text.left) {
        HGDIOBJ oldFont = SelectObject(hdcChrome_, static_cast<HGDIOBJ>(captionFont_));
        SetBkMode(hdcChrome_, TRANSPARENT);
        SetTextColor(hdcChrome_,
                     GetSysColor(fActive ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
        DrawText(hdcChrome_, title, cch, &text,
                 DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS);
        SelectObject(hdcChrome_, oldFont);
    }
}

void Screen::PaintTaskbarLocked() {
    RECT bar = TaskbarRect();
    FillRect(hdcChrome_, &bar, GetSysColorBrush(COLOR_BTNFACE));
    RECT line{bar.left, bar.top, bar.right, bar.top + 1};
    FillRect(hdcChrome_, &line, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
    minuteShown_ = MinuteOfDay();
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02d:%02d", minuteShown_ / 60, minuteShown_ % 60);
    RECT text{bar.left + 4, bar.top + 1, bar.right - 6, bar.bottom};
    HGDIOBJ oldFont = SelectObject(hdcChrome_, static_cast<HGDIOBJ>(taskbarFont_));
    SetBkMode(hdcChrome_, TRANSPARENT);
    SetTextColor(hdcChrome_, GetSysColor(COLOR_BTNTEXT));
    DrawText(hdcChrome_, clock, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_RIGHT | DT_NOPREFIX);
    SelectObject(hdcChrome_, oldFont);
}

void Screen::BringUpToDateLocked() {
    if (fChromeDirty_)
        PaintChromeLocked();
    else if (fTaskbarShown_ && MinuteOfDay() != minuteShown_)
        PaintTaskbarLocked();
}

} // namespace host::scr
