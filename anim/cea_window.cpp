// AnimWindow: the list of live windows, the window procedure, graphics and redraw,
// properties and hooks. Its objects live in cea_window_objects.cpp, its frame timeline in
// cea_timeline.cpp.
#include "anim/cea_window.h"

#include "anim/cea_display.h"
#include "anim/cea_object.h"
#include "anim/cea_palette.h"
#include "foundation/diag.h"
#include "foundation/memmgr.h"
#include "host/debug.h"
#include "host/rect.h"
#include "host/screen.h"
#include "host/thread.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>

namespace {

// The live windows (a freed entry is null and reused) and the one-entry lookup cache.
// FromHandle may be asked from any thread, so both sit behind one lock.
host::CriticalSection g_windowsLock;
AnimWindow** g_ppWindows = nullptr;
DWORD g_cWindows = 0;
DWORD g_cWindowsAllocated = 0;
HWND g_hwndCached = nullptr;
AnimWindow* g_pCached = nullptr;

bool IsListed(const AnimWindow* pWindow) {
    for (DWORD i = 0; i < g_cWindows; ++i) {
        if (g_ppWindows[i] == pWindow) {
            return true;
        }
    }
    return false;
}

bool ListWindow(AnimWindow* pWindow) {
    host::CriticalSectionLock lock(g_windowsLock);
    for (DWORD i = 0; i < g_cWindows; ++i) {
        if (g_ppWindows[i] == nullptr) {
            g_ppWindows[i] = pWindow;
            return true;
        }
    }
    if (g_cWindows == g_cWindowsAllocated &&
        !MemReallocArray(&g_ppWindows, &g_cWindowsAllocated, g_cWindows + 1, 4)) {
        return false;
    }
    g_ppWindows[g_cWindows++] = pWindow;
    return true;
}

void UnlistWindow(AnimWindow* pWindow) {
    host::CriticalSectionLock lock(g_windowsLock);
    bool fAny = false;
    for (DWORD i = 0; i < g_cWindows; ++i) {
        if (g_ppWindows[i] == pWindow) {
            g_ppWindows[i] = nullptr;
        }
        fAny = fAny || g_ppWindows[i] != nullptr;
    }
    if (g_pCached == pWindow) {
        g_hwndCached = nullptr;
        g_pCached = nullptr;
    }
    // The list goes with the last window, so that it never shows as a leak.
    if (!fAny) {
        MemFree(g_ppWindows);
        g_ppWindows = nullptr;
        g_cWindows = 0;
        g_cWindowsAllocated = 0;
    }
}

// Every live window starts again with graphics for the display's new group. The lock is
// not held while a window works (its callback draws the new background), so another thread
// may destroy a window meanwhile: the handles are taken under the lock and each window is
// looked up again through its handle just before it is called.
void OnSystemGroupChanged() {
    HWND* phwnds = nullptr;
    DWORD cHwnds = 0;
    {
        host::CriticalSectionLock lock(g_windowsLock);
        if (g_cWindows == 0) {
            return;
        }
        phwnds = MemAllocArray(HWND, g_cWindows);
        if (phwnds == nullptr) {
            return;
        }
        for (DWORD i = 0; i < g_cWindows; ++i) {
            if (g_ppWindows[i] != nullptr) {
                phwnds[cHwnds++] = g_ppWindows[i]->GetHandle();
            }
        }
    }
    for (DWORD i = 0; i < cHwnds; ++i) {
        if (AnimWindow* pWindow = AnimWindow::FromHandle(phwnds[i])) {
            pWindow->RecreateGraphics();
        }
    }
    MemFree(phwnds);
}

#if !CEA_HANDHELD
void TraceHookException(AnimHook pfnHook, UINT uMsg, const char* pszWhat) {
    char szLine[320];
    std::snprintf(szLine, sizeof(szLine),
                  "AnimWindow hook 0x%08lX threw on message 0x%04X: %.200s\n",
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(pfnHook)), uMsg,
                  pszWhat != nullptr ? pszWhat : "");
    host::OutputDebugString(szLine);
}
#endif

bool IsMouseMessage(UINT uMsg) {
#if CEA_HANDHELD
    return uMsg >= 0x200 && uMsg <= 0x20A;
#else
    return uMsg >= 0x200 && uMsg <= 0x209;
#endif
}

bool IsKeyboardMessage(UINT uMsg) {
    return uMsg >= 0x100 && uMsg <= 0x108;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Lookup and the window procedure

AnimWindow* AnimWindow::FromHandle(HWND hwnd) {
    if (hwnd == nullptr) {
        return nullptr;
    }
    host::CriticalSectionLock lock(g_windowsLock);
    auto* pWindow = reinterpret_cast<AnimWindow*>(host::GetWindowLongPtr(hwnd, 0));
    // The handle may have been reused since it was cached: the word must still agree.
    if (hwnd == g_hwndCached && pWindow == g_pCached) {
        return g_pCached;
    }
    // A foreign class may keep anything in its first word: only a pointer to one of our
    // live windows is ever followed.
    if (pWindow == nullptr || !IsListed(pWindow) || pWindow->m_dwSignature != ANIMWINDOW_ALIVE ||
        pWindow->m_hwnd != hwnd) {
        return nullptr;
    }
    g_hwndCached = hwnd;
    g_pCached = pWindow;
    return pWindow;
}

LRESULT AnimWindow::WindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    AnimWindow* pWindow = nullptr;
    if (uMsg == host::WM_CREATE) {
        pWindow = MemNew(AnimWindow);
        if (pWindow != nullptr) {
            pWindow->Init(hwnd);
            if (pWindow->m_dwSignature != ANIMWINDOW_ALIVE) {
                // Not even listed: the window could never be found, so it is not made.
                MemDelete(pWindow);
                return -1;
            }
        }
    } else {
        pWindow = FromHandle(hwnd);
    }
    if (pWindow != nullptr) {
        switch (uMsg) {
        case host::WM_SIZE:
            pWindow->Resize();
            break;
        case host::WM_PAINT: {
            host::PAINTSTRUCT ps = {};
            HDC hdc = host::BeginPaint(hwnd, &ps);
            pWindow->Invalidate(&ps.rcPaint, 0);
            pWindow->Paint(hdc);
            host::EndPaint(hwnd, &ps);
            break;
        }
        case host::WM_ERASEBKGND:
            // Painting covers the whole client area: nothing is erased.
            pWindow->Invalidate(nullptr, 0);
            break;
        case WM_ANIMSCHEDULE:
            pWindow->OnPostedSchedule(wParam, lParam);
            break;
        default:
            break;
        }
        // The window may have gone while painting or scheduling.
        pWindow = FromHandle(hwnd);
        if (pWindow != nullptr) {
            pWindow->DispatchHooks(uMsg, wParam, lParam);
        }
        if (uMsg == host::WM_DESTROY) {
            // A hook may have destroyed the window itself already.
            pWindow = FromHandle(hwnd);
            if (pWindow != nullptr) {
                pWindow->Destroy();
                MemDelete(pWindow);
            }
        }
    }
    return host::DefWindowProc(hwnd, uMsg, wParam, lParam);
}

void AnimWindow::Init(HWND hwnd) {
    m_hwnd = hwnd;
    if (!ListWindow(this)) {
        return;
    }
    host::SetWindowLongPtr(hwnd, 0, reinterpret_cast<host::LONG_PTR>(this));
    SetSystemGroupChangedHandler(&OnSystemGroupChanged);
    m_dwSignature = ANIMWINDOW_ALIVE;
    m_pSceneRegion = MemNew(DirtyRegion);
    m_pFrameRegion = MemNew(DirtyRegion);
    m_pmsTiming = static_cast<DWORD*>(MemAlloc(sizeof(DWORD) * cfTIMING_WINDOW));
    if (m_pmsTiming != nullptr) {
        std::fill(m_pmsTiming, m_pmsTiming + cfTIMING_WINDOW, DWORD{0});
    }
    m_iTiming = 0;
    Resize();
    SetFrameRate(40);
    host::InvalidateRect(hwnd, nullptr, host::FALSE);
    host::UpdateWindow(hwnd);
}

void AnimWindow::Destroy() {
    if (m_dwSignature != ANIMWINDOW_ALIVE) {
        cetl::trace("AnimWindow freed more than once\n");
        return;
    }
    m_cPaintNesting = 999;
    m_cUpdateLocks = 999;
    host::KillTimer(m_hwnd, ANIM_TIMER_ID);
    SendEvent(ANIMEVENT_DESTROY, 0, 0);
    ShowFrameRate(host::FALSE);
    SetStatusText(nullptr);
    // What is left belongs to the window. Unlinking first means an object whose
    // destruction does not detach it cannot keep this loop going.
    while (AnimObject* pObject = NextObject(nullptr)) {
        RemoveObject(pObject);
        MemDelete(pObject);
    }
    MemFree(m_pSlots);
    m_pSlots = nullptr;
    m_cSlots = 0;
    m_cSlotsAllocated = 0;
    MemFree(m_pHooks);
    m_pHooks = nullptr;
    m_cHooks = 0;
    UnlistWindow(this);
    m_dwSignature = ANIMWINDOW_DEAD;
    if (host::GetWindowLongPtr(m_hwnd, 0) == reinterpret_cast<host::LONG_PTR>(this)) {
        host::SetWindowLongPtr(m_hwnd, 0, 0);
    }
    DestroyGraphics();
    MemDelete(m_pSceneRegion);
    MemDelete(m_pFrameRegion);
    MemFree(m_pTimeline);
    MemFree(m_ppData);
    MemFree(m_pmsTiming);

    m_hwnd = nullptr;
    m_rcClient = {};
    m_pSceneRegion = nullptr;
    m_pFrameRegion = nullptr;
    m_pfnCallback = nullptr;
    m_msPeriod = 0;
    m_pmsTiming = nullptr;
    m_iTiming = 0;
    m_pFpsObject = nullptr;
    m_pStatusObject = nullptr;
    m_pTimeline = nullptr;
    m_cTimeline = 0;
    m_iFrame = 0;
    m_iEndFrame = 0;
    m_ppData = nullptr;
    m_cData = 0;
    m_fResync = 0;
    m_fPaused = 0;
    m_lAppValue = 0;
    m_pNextUpdate = nullptr;
    m_pNextDraw = nullptr;
    m_pDrawing = nullptr;
    m_counters = {};
    m_dwSignature = ANIMWINDOW_DEAD;
    m_cPaintNesting = 999;
    m_cUpdateLocks = 999;
}

// ---------------------------------------------------------------------------------------
// Graphics and redraw

void AnimWindow::DestroyGraphics() {
    Graphic* rgpGraphics[] = {m_pBackground, m_pScene, m_pFrame};
    m_pBackground = m_pScene = m_pFrame = nullptr;
    for (Graphic* pGraphic : rgpGraphics) {
        MemDelete(pGraphic);
    }
}

void AnimWindow::CreateGraphics() {
    int cx = m_rcClient.right - m_rcClient.left;
    int cy = m_rcClient.bottom - m_rcClient.top;
    Display* pDisplay = GetDisplay();
    PaletteGroup* pGroup = pDisplay != nullptr ? pDisplay->GetSystemGroup() : nullptr;
    if (pGroup != nullptr) {
        pGroup->Open();
    }
    for (Graphic** ppGraphic : {&m_pBackground, &m_pScene, &m_pFrame}) {
        if (*ppGraphic != nullptr) {
            continue;
        }
        Graphic* pGraphic = pGroup != nullptr ? MemNew(Graphic, cx, cy, GetDisplayDepth(), pGroup)
                                              : MemNew(Graphic, cx, cy, 0);
        if (pGraphic != nullptr && (!pGraphic->IsValid() || pGraphic->GetBits() == nullptr)) {
            MemDelete(pGraphic);
            pGraphic = nullptr;
        }
        *ppGraphic = pGraphic;
    }
    if (pGroup != nullptr) {
        pGroup->Close();
    }
}

void AnimWindow::Resize() {
    RECT rc = {};
    host::GetClientRect(m_hwnd, &rc);
    if (rc.right - rc.left > m_rcClient.right - m_rcClient.left ||
        rc.bottom - rc.top > m_rcClient.bottom - m_rcClient.top) {
        DestroyGraphics();
    }
    m_rcClient = rc;
    if (m_pBackground == nullptr || m_pScene == nullptr || m_pFrame == nullptr) {
        CreateGraphics();
        // Without a background (an empty client area) there is nothing to draw on.
        if (m_pBackground != nullptr) {
            SendEvent(ANIMEVENT_BACKGROUND, 0, reinterpret_cast<LPARAM>(m_pBackground));
        }
    }
    InvalidateAll();
}

void AnimWindow::RecreateGraphics() {
    if (m_dwSignature != ANIMWINDOW_ALIVE) {
        return;
    }
    DestroyGraphics();
    Resize();
}

void AnimWindow::Invalidate(const RECT* prc, int nLevel) {
    RECT rc = prc != nullptr ? host::rect::Intersect(*prc, m_rcClient) : m_rcClient;
    if (host::rect::IsEmpty(rc)) {
        return;
    }
    DirtyRegion* pRegion = nLevel != 0 ? m_pSceneRegion : m_pFrameRegion;
    if (pRegion != nullptr) {
        pRegion->Add(&rc);
    }
    if (m_fComposing) {
        RECT& rcLate = m_rcLate[nLevel != 0 ? 1 : 0];
        rcLate = host::rect::Union(rcLate, rc);
    }
}

void AnimWindow::InvalidateAll() {
    Invalidate(nullptr, 1);
}

void AnimWindow::BeginUpdate() {
    ++m_cUpdateLocks;
}

void AnimWindow::EndUpdate() {
    if (m_cUpdateLocks > 0 && --m_cUpdateLocks == 0) {
        Repaint();
    }
}

void AnimWindow::Repaint() {
    if (m_cUpdateLocks != 0 || m_dwSignature != ANIMWINDOW_ALIVE) {
        return;
    }
    HDC hdc = host::GetDC(m_hwnd);
    Paint(hdc);
    if (hdc != nullptr) {
        host::ReleaseDC(m_hwnd, hdc);
    }
}

void AnimWindow::FillBackground(Color clr, RECT* prc) {
    RECT rc = m_rcClient;
    if (prc != nullptr) {
        rc = host::rect::Intersect(*prc, m_rcClient);
        *prc = rc;
    }
    if (m_pBackground != nullptr && !host::rect::IsEmpty(rc)) {
        HDC hdc = m_pBackground->GetDC();
        if (hdc != nullptr) {
            host::HBRUSH hbr = host::CreateSolidBrush(clr);
            host::FillRect(hdc, &rc, hbr);
            host::DeleteObject(hbr);
            m_pBackground->ReleaseDC();
        }
    }
    InvalidateAll();
}

void AnimWindow::SetCallback(AnimCallback pfnCallback) {
    m_pfnCallback = pfnCallback;
    if (m_pBackground != nullptr) {
        SendEvent(ANIMEVENT_BACKGROUND, 0, reinterpret_cast<LPARAM>(m_pBackground));
    }
}

int AnimWindow::SendEvent(int nEvent, LPARAM lParam1, LPARAM lParam2) {
    if (m_pfnCallback == nullptr) {
        return 1;
    }
    return m_pfnCallback(this, nEvent, lParam1, lParam2);
}

void AnimWindow::Paint(HDC hdc) {
    if (m_cPaintNesting++ != 0) {
        --m_cPaintNesting;
        return;
    }
    HWND hwnd = m_hwnd;
    // The callback or an object may destroy the window; then nothing here may run on.
    auto fGone = [this, hwnd] { return FromHandle(hwnd) != this; };

    Display* pDisplay = GetDisplay();
    if (hdc != nullptr && pDisplay != nullptr && pDisplay->IsPaletteBased()) {
        host::HPALETTE hpal = pDisplay->GetPalette();
        if (hpal != nullptr) {
            host::SelectPalette(hdc, hpal, host::FALSE);
            host::RealizePalette(hdc);
        }
    }

    SendEvent(ANIMEVENT_PREUPDATE, 0, 0);
    if (fGone()) {
        return;
    }
    for (AnimObject* pObject = NextObject(nullptr); pObject != nullptr; pObject = m_pNextUpdate) {
        m_pNextUpdate = NextObject(pObject);
        pObject->SendMessage(OBJMSG_UPDATE, 0);
        if (fGone()) {
            return;
        }
    }
    m_pNextUpdate = nullptr;
    SendEvent(ANIMEVENT_POSTUPDATE, 0, 0);
    if (fGone()) {
        return;
    }

    ++m_counters.cPaints;
    m_fComposing = true;
    if (m_pSceneRegion != nullptr && m_pFrameRegion != nullptr) {
        ExpandByStaticObjects(m_pSceneRegion);
        if (!m_pSceneRegion->IsEmpty()) {
            for (DWORD i = 0; i < m_pSceneRegion->GetCount(); ++i) {
                const RECT& rc = *m_pSceneRegion->Get(i);
                if (m_pBackground != nullptr && m_pScene != nullptr) {
                    m_pBackground->DrawTo(m_pScene, rc.left, rc.top, rc.left, rc.top,
                                          rc.right - rc.left, rc.bottom - rc.top);
                    m_counters.cScenePixels += host::rect::Area(rc);
                }
            }
            if (m_pScene != nullptr) {
                DrawObjects(m_pScene, m_pSceneRegion, OBJF_STATIC);
                if (fGone()) {
                    return;
                }
            }
            for (DWORD i = 0; i < m_pSceneRegion->GetCount(); ++i) {
                m_pFrameRegion->Add(m_pSceneRegion->Get(i));
            }
            m_pSceneRegion->Clear();
        }

        ExpandByStaticObjects(m_pFrameRegion);
        if (!m_pFrameRegion->IsEmpty()) {
            for (DWORD i = 0; i < m_pFrameRegion->GetCount(); ++i) {
                const RECT& rc = *m_pFrameRegion->Get(i);
                if (m_pScene != nullptr && m_pFrame != nullptr) {
                    m_pScene->DrawTo(m_pFrame, rc.left, rc.top, rc.left, rc.top, rc.right - rc.left,
                                     rc.bottom - rc.top);
                    m_counters.cFramePixels += host::rect::Area(rc);
                }
            }
            if (m_pFrame != nullptr) {
                DrawObjects(m_pFrame, m_pFrameRegion, 0);
                if (fGone()) {
                    return;
                }
            }
            for (DWORD i = 0; i < m_pFrameRegion->GetCount(); ++i) {
                const RECT& rc = *m_pFrameRegion->Get(i);
                if (m_pFrame != nullptr && hdc != nullptr) {
                    m_pFrame->DrawTo(hdc, rc.left, rc.top, rc.left, rc.top, rc.right - rc.left,
                                     rc.bottom - rc.top);
                    m_counters.cScreenPixels += host::rect::Area(rc);
                }
            }
            m_pFrameRegion->Clear();
        }
    }
    m_fComposing = false;
    for (int nLevel = 0; nLevel < 2; ++nLevel) {
        RECT rcLate = m_rcLate[nLevel];
        m_rcLate[nLevel] = RECT{};
        if (!host::rect::IsEmpty(rcLate)) {
            Invalidate(&rcLate, nLevel);
        }
    }

    SendEvent(ANIMEVENT_PAINTED, 0, 0);
    if (fGone()) {
        return;
    }
    RecordPaintTime();
    --m_cPaintNesting;
}

void AnimWindow::ExpandByStaticObjects(DirtyRegion* pRegion) {
    if (pRegion == nullptr) {
        return;
    }
    bool fAdded = true;
    while (fAdded) {
        fAdded = false;
        for (AnimObject* pObject = PreviousObject(nullptr); pObject != nullptr && !fAdded;
             pObject = PreviousObject(pObject)) {
            DWORD dwFlags = pObject->GetFlags();
            if ((dwFlags & OBJF_STATIC) == 0 || (dwFlags & OBJF_DRAW_IN_PART) != 0) {
                continue;
            }
            RECT rcObject;
            pObject->GetRect(&rcObject);
            const RECT rcQ = host::rect::Intersect(rcObject, m_rcClient);
            if (host::rect::IsEmpty(rcQ)) {
                continue;
            }
            for (DWORD i = 0; i < pRegion->GetCount(); ++i) {
                const RECT& rcR = *pRegion->Get(i);
                if (host::rect::Overlaps(rcR, rcQ) &&
                    (rcQ.top < rcR.top || rcQ.bottom > rcR.bottom)) {
                    // A failed addition must not loop for ever.
                    fAdded = pRegion->Add(&rcQ) != 0;
                    break;
                }
            }
        }
    }
}

void AnimWindow::DrawObjects(Graphic* pTarget, const DirtyRegion* pRegion, DWORD fStatic) {
    for (AnimObject* pObject = PreviousObject(nullptr); pObject != nullptr; pObject = m_pNextDraw) {
        m_pNextDraw = PreviousObject(pObject);
        if ((pObject->GetFlags() & OBJF_STATIC) != fStatic) {
            continue;
        }
        RECT rcObject;
        pObject->GetRect(&rcObject);
        // Once per dirty rectangle: a bounding box of several would also cover clean
        // pixels, painting this object over whatever is in front of it there.
        HWND hwnd = m_hwnd;
        m_pDrawing = pObject;
        for (DWORD i = 0; i < pRegion->GetCount() && m_pDrawing != nullptr; ++i) {
            const RECT rcClip = host::rect::Intersect(rcObject, *pRegion->Get(i));
            if (!host::rect::IsEmpty(rcClip)) {
                pObject->Draw(pTarget, &rcClip);
                if (FromHandle(hwnd) != this) {
                    return;
                }
            }
        }
    }
    m_pDrawing = nullptr;
    m_pNextDraw = nullptr;
}

// ---------------------------------------------------------------------------------------
// Properties and hooks

void* AnimWindow::GetData(DWORD i) const {
    return i < m_cData ? m_ppData[i] : nullptr;
}

void AnimWindow::SetData(DWORD i, void* pv) {
    if (i >= m_cData && !MemReallocArray(&m_ppData, &m_cData, i + 1, 4)) {
        return;
    }
    m_ppData[i] = pv;
}

void AnimWindow::AddHook(AnimHook pfnHook, DWORD dwValue) {
    if (pfnHook == nullptr) {
        return;
    }
    auto wFilter = static_cast<host::WORD>(dwValue & 0xFFFF);
    auto wPriority = static_cast<host::WORD>(dwValue >> 16);
    if (wPriority == 0) {
        wPriority = 100;
    }
    for (DWORD i = 0; i < m_cHooks; ++i) {
        if (m_pHooks[i].pfnHook == pfnHook) {
            ++m_pHooks[i].cRefs;
            m_pHooks[i].wFilter |= wFilter;
            return;
        }
    }
    DWORD iInsert = 0;
    while (iInsert < m_cHooks && m_pHooks[iInsert].wPriority < wPriority) {
        ++iInsert;
    }
    auto* pHooks = MemAllocArray(ANIMHOOK, m_cHooks + 1);
    if (pHooks == nullptr) {
        return;
    }
    std::copy(m_pHooks, m_pHooks + iInsert, pHooks);
    pHooks[iInsert] = ANIMHOOK{pfnHook, wFilter, wPriority, 1};
    std::copy(m_pHooks + iInsert, m_pHooks + m_cHooks, pHooks + iInsert + 1);
    MemFree(m_pHooks);
    m_pHooks = pHooks;
    ++m_cHooks;
}

void AnimWindow::RemoveHook(AnimHook pfnHook) {
    for (DWORD i = 0; i < m_cHooks; ++i) {
        if (m_pHooks[i].pfnHook != pfnHook) {
            continue;
        }
        if (--m_pHooks[i].cRefs == 0) {
            std::copy(m_pHooks + i + 1, m_pHooks + m_cHooks, m_pHooks + i);
            if (--m_cHooks == 0) {
                MemFree(m_pHooks);
                m_pHooks = nullptr;
            }
        }
        return;
    }
}

void AnimWindow::DispatchHooks(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    bool fMouse = IsMouseMessage(uMsg);
    bool fKeyboard = IsKeyboardMessage(uMsg);
    HWND hwnd = m_hwnd;
    // Handlers may add or remove hooks, or destroy the window: after every call the walk
    // goes on after that handler wherever it is now.
    for (DWORD i = 0; i < m_cHooks;) {
        ANIMHOOK hook = m_pHooks[i];
        if (!(hook.wFilter == 0xFFFF || ((hook.wFilter & HOOK_MOUSE) != 0 && fMouse) ||
              ((hook.wFilter & HOOK_KEYBOARD) != 0 && fKeyboard))) {
            ++i;
            continue;
        }
        int nResult = 0;
#if CEA_HANDHELD
        nResult = hook.pfnHook(this, hwnd, uMsg, wParam, lParam);
#else
        // A throwing handler stops the dispatch, but leaves a line saying which one and why.
        try {
            nResult = hook.pfnHook(this, hwnd, uMsg, wParam, lParam);
        } catch (const std::exception& e) {
            TraceHookException(hook.pfnHook, uMsg, e.what());
            return;
        } catch (...) {
            TraceHookException(hook.pfnHook, uMsg, "an exception of unknown type");
            return;
        }
#endif
        if (nResult != 0 || FromHandle(hwnd) != this) {
            return;
        }
        DWORD j = 0;
        while (j < m_cHooks && m_pHooks[j].pfnHook != hook.pfnHook) {
            ++j;
        }
        // A handler that removed itself leaves its successor at its old place.
        i = j < m_cHooks ? j + 1 : i;
    }
}
