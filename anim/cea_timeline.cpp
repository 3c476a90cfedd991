// The frame timeline of an AnimWindow: scheduled changes per frame, real-time play against
// absolute deadlines, the message pump between frames and the measured frame rate.
#include "anim/cea_main.h"
#include "anim/cea_object.h"
#include "anim/cea_window.h"

#include "foundation/memmgr.h"
#include "host/rect.h"

#include <limits>

namespace {

constexpr LONG kLongMin = std::numeric_limits<LONG>::min();
constexpr LONG kLongMax = std::numeric_limits<LONG>::max();

// Play's count for PlayToEnd: play until the end frame instead of a number of frames.
constexpr LONG kPlayToEnd = kLongMin;

// Whether pWindow still lives behind hwnd. Callbacks and dispatched messages may destroy
// the window, so a loop checks this before touching the window again.
bool IsAlive(HWND hwnd, const AnimWindow* pWindow) {
    return host::IsWindow(hwnd) && AnimWindow::FromHandle(hwnd) == pWindow;
}

// Dispatches the thread's queued messages without waiting (a quit message is dropped, as
// PumpMessage does). False when the window went meanwhile.
bool DispatchQueued(HWND hwnd, const AnimWindow* pWindow) {
    host::MSG msg;
    while (host::PeekMessage(&msg, nullptr, 0, 0, host::PM_REMOVE)) {
        if (msg.message != host::WM_QUIT) {
            host::TranslateMessage(&msg);
            host::DispatchMessage(&msg);
        }
        if (!IsAlive(hwnd, pWindow)) return false;
    }
    return true;
}

// Signed distance, so that comparisons survive the clock's wrap at 2^32.
LONG Since(DWORD msNow, DWORD msThen) {
    return static_cast<LONG>(msNow - msThen);
}

} // namespace

void AnimWindow::SetFrameRate(double dFramesPerSecond) {
    // Zero, negative and NaN rates would give no period, a huge one or undefined arithmetic.
    if (!(dFramesPerSecond > 0)) dFramesPerSecond = 40;
    double dPeriod = 1000.0 / dFramesPerSecond;
    if (dPeriod > 0x7FFFFFFF) dPeriod = 0x7FFFFFFF;
    host::KillTimer(m_hwnd, ANIM_TIMER_ID);
    m_msPeriod = static_cast<DWORD>(dPeriod);
    host::SetTimer(m_hwnd, ANIM_TIMER_ID, m_msPeriod > 119 ? m_msPeriod - 100 : 20, nullptr);
}

double AnimWindow::GetFrameRate() const {
    return m_msPeriod != 0 ? 1000.0 / m_msPeriod : 0;
}

double AnimWindow::GetMeasuredRate() const {
    if (m_pmsTiming == nullptr || m_pmsTiming[0] == 0) return 0;
    DWORD msNow = GetMilliseconds();
    LONG msInterval;
    if (m_iTiming == 0 || m_pmsTiming[cfTIMING_WINDOW - 1] != 0)
        msInterval = Since(msNow, m_pmsTiming[m_iTiming]) / cfTIMING_WINDOW;
    else
        msInterval = Since(msNow, m_pmsTiming[0]) / m_iTiming;
    return msInterval > 0 ? 1000.0 / msInterval : 0;
}

void AnimWindow::RecordPaintTime() {
    if (m_pmsTiming == nullptr) return;
    DWORD msNow = GetMilliseconds();
    // 0 marks an unused stamp.
    m_pmsTiming[m_iTiming] = msNow != 0 ? msNow : 1;
    m_iTiming = (m_iTiming + 1) % cfTIMING_WINDOW;
}

TIMELINEENTRY* AnimWindow::NewTimelineEntry() {
    for (DWORD i = 0; i < m_cTimeline; ++i) {
        if (!m_pTimeline[i].fInUse) return &m_pTimeline[i];
    }
    DWORD cOld = m_cTimeline;
    if (cOld == 0xFFFFFFFF || !MemReallocArray(&m_pTimeline, &m_cTimeline, cOld + 1, 16))
        return nullptr;
    return &m_pTimeline[cOld];
}

int AnimWindow::ScheduleObject(LONG iFrame, AnimObject* pObject, Graphic* pGraphic,
                               const RECT* prc) {
    // Without an object the entry would be taken for a callback entry.
    if (pObject == nullptr) return -1;
    TIMELINEENTRY* pEntry = NewTimelineEntry();
    if (pEntry == nullptr) return -1;
    pEntry->fInUse = 1;
    pEntry->iFrame = iFrame;
    pEntry->pObject = pObject;
    pEntry->lValue = reinterpret_cast<LPARAM>(pGraphic);
    pEntry->rc = prc != nullptr ? *prc : RECT{};
    if (iFrame >= m_iEndFrame && iFrame < kLongMax) m_iEndFrame = iFrame + 1;
    return m_iEndFrame;
}

LONG AnimWindow::ScheduleEvent(LONG iFrame, LPARAM lValue, LONG lSecond) {
    TIMELINEENTRY* pEntry = NewTimelineEntry();
    if (pEntry == nullptr) return -1;
    pEntry->fInUse = 1;
    pEntry->iFrame = iFrame;
    pEntry->pObject = nullptr;
    pEntry->lValue = lValue;
    pEntry->rc = RECT{lSecond, 0, 0, 0};
    if (iFrame >= m_iEndFrame && iFrame < kLongMax) m_iEndFrame = iFrame + 1;
    return m_iEndFrame;
}

void AnimWindow::CancelObject(AnimObject* pObject) {
    for (DWORD i = 0; i < m_cTimeline; ++i) {
        if (m_pTimeline[i].fInUse && m_pTimeline[i].pObject == pObject) m_pTimeline[i].fInUse = 0;
    }
}

void AnimWindow::CancelGraphic(Graphic* pGraphic) {
    for (DWORD i = 0; i < m_cTimeline; ++i) {
        TIMELINEENTRY& entry = m_pTimeline[i];
        if (entry.fInUse && entry.pObject != nullptr &&
            entry.lValue == reinterpret_cast<LPARAM>(pGraphic))
            entry.fInUse = 0;
    }
}

void AnimWindow::CancelEvent(LPARAM lValue, LONG lSecond) {
    for (DWORD i = 0; i < m_cTimeline; ++i) {
        TIMELINEENTRY& entry = m_pTimeline[i];
        if (entry.fInUse && entry.pObject == nullptr && entry.lValue == lValue &&
            (lSecond == 0 || entry.rc.left == lSecond))
            entry.fInUse = 0;
    }
}

void AnimWindow::CancelFrame(LONG iFrame) {
    for (DWORD i = 0; i < m_cTimeline; ++i) {
        if (m_pTimeline[i].fInUse && m_pTimeline[i].iFrame == iFrame) m_pTimeline[i].fInUse = 0;
    }
}

void AnimWindow::SetPaused(BOOL fPaused) {
    m_fPaused = fPaused;
    // Wake a play loop waiting for a message, so that it notices at once.
    if (!fPaused) host::PostMessage(m_hwnd, host::WM_NULL, 0, 0);
}

int AnimWindow::Advance(LONG iTarget) {
    if (iTarget == -1) {
        if (m_iFrame >= m_iEndFrame) return 1;
        iTarget = m_iEndFrame - 1;
    }
    HWND hwnd = m_hwnd;
    int fGoOn = 1;
    while (fGoOn && iTarget >= m_iFrame) {
        const LONG iFrame = m_iFrame;
        // The array may move while we walk it (a callback schedules), so index it afresh.
        for (DWORD i = 0; i < m_cTimeline; ++i) {
            TIMELINEENTRY entry = m_pTimeline[i];
            if (!entry.fInUse || entry.iFrame != iFrame || entry.pObject == nullptr) continue;
            m_pTimeline[i].fInUse = 0;
            AnimObject* pObject = entry.pObject;
            if (pObject->GetFlags() & OBJF_STATIC)
                pObject->SetFlags(pObject->GetFlags() & ~OBJF_STATIC);
            if (!host::rect::IsEmpty(entry.rc)) pObject->SetRect(&entry.rc);
            if (entry.lValue != 0 || host::rect::IsEmpty(entry.rc))
                pObject->SetGraphic(reinterpret_cast<Graphic*>(entry.lValue), 1);
        }
        for (DWORD i = 0; i < m_cTimeline; ++i) {
            TIMELINEENTRY entry = m_pTimeline[i];
            if (!entry.fInUse || entry.iFrame != iFrame || entry.pObject != nullptr) continue;
            m_pTimeline[i].fInUse = 0;
            int nResult = SendEvent(ANIMEVENT_TIMELINE, entry.lValue, entry.rc.left);
            if (!IsAlive(hwnd, this)) return 0;
            if (nResult == 0) fGoOn = 0;
        }
        if (m_iFrame < kLongMax) ++m_iFrame;
        if (m_iEndFrame < m_iFrame) m_iEndFrame = m_iFrame;
        if (iFrame == kLongMax) break;
    }
    if (fGoOn) Repaint();
    return fGoOn;
}

void AnimWindow::Step() {
    HWND hwnd = m_hwnd;
    BeginUpdate();
    Advance(m_iFrame);
    if (IsAlive(hwnd, this)) EndUpdate();
}

void AnimWindow::Play(LONG cFrames) {
    const bool fToEnd = cFrames == kPlayToEnd;
    HWND hwnd = m_hwnd;
    DWORD msDeadline = GetMilliseconds();
    while (fToEnd ? m_iFrame < m_iEndFrame : cFrames != 0) {
        const DWORD msNow = GetMilliseconds();
        BeginUpdate();
        msDeadline = (m_fResync ? msNow : msDeadline) + m_msPeriod;
        LONG cPlayed = 0;
        int nResult;
        for (;;) {
            nResult = Advance(m_iFrame);
            if (!IsAlive(hwnd, this)) return;
            if (nResult != 1) break;
            ++cPlayed;
            if (fToEnd && m_iFrame >= m_iEndFrame) break;
            if (Since(msDeadline, msNow) >= 0 || m_msPeriod == 0 || m_fResync) break;
            // Behind: play another frame before this cycle's redraw.
            msDeadline += m_msPeriod;
        }
        m_fResync = 0;
        EndUpdate(); // one redraw for every frame of the cycle
        if (!IsAlive(hwnd, this) || nResult == 0) return;
        if (fToEnd && m_iFrame >= m_iEndFrame) return;

        // Wait for the deadline, handling messages meanwhile; a pause holds the loop here.
        // Messages already queued are handled even when the deadline has passed.
        if (!DispatchQueued(hwnd, this)) return;
        for (;;) {
            if (m_fPaused) {
                if (!PumpMessage()) return;
                continue;
            }
            LONG msLeft = Since(msDeadline, GetMilliseconds());
            if (msLeft <= 0) break;
            DWORD nWait = host::MsgWaitForMultipleObjects(
                0, nullptr, host::FALSE, static_cast<DWORD>(msLeft), host::QS_ALLINPUT);
            if (nWait == host::WAIT_OBJECT_0 && !DispatchQueued(hwnd, this)) return;
        }

        if (!fToEnd && cFrames != -1) {
            if (cPlayed >= cFrames) return;
            cFrames -= cPlayed;
        }
    }
}

void AnimWindow::PlayToEnd() {
    Play(kPlayToEnd);
}

int AnimWindow::PumpMessage() {
    if (m_dwSignature != ANIMWINDOW_ALIVE) return 0;
    HWND hwnd = m_hwnd;
    if (!IsAlive(hwnd, this)) return 0;
    host::MSG msg;
    // A quit message or an error is not dispatched; the caller sees the window's state.
    if (host::GetMessage(&msg, nullptr, 0, 0) > 0) {
        host::TranslateMessage(&msg);
        host::DispatchMessage(&msg);
    }
    return IsAlive(hwnd, this) ? 1 : 0;
}

BOOL AnimWindow::PostScheduleEvent(HWND hwnd, LONG iFrame, LPARAM lValue, LONG lSecond) {
    // Everything travels in the message itself, so a window that dies first leaks nothing.
    WPARAM wParam = static_cast<WPARAM>(static_cast<DWORD>(iFrame)) |
                    (static_cast<WPARAM>(static_cast<DWORD>(lSecond)) << 32);
    return host::PostMessage(hwnd, WM_ANIMSCHEDULE, wParam, lValue);
}

void AnimWindow::OnPostedSchedule(WPARAM wParam, LPARAM lParam) {
    LONG iFrame = static_cast<LONG>(static_cast<DWORD>(wParam & 0xFFFFFFFF));
    LONG lSecond = static_cast<LONG>(static_cast<DWORD>(wParam >> 32));
    ScheduleEvent(iFrame, lParam, lSecond);
}
