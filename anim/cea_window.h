// AnimWindow: a window whose client area is composed off-screen and copied to the screen
// only where something changed.
//
// Three off-screen graphics of the client size: the background (drawn by the application
// on event 1), the scene (background plus static objects, recomposed where the scene
// region is dirty) and the frame (scene plus dynamic objects, recomposed where the frame
// region is dirty, then copied to the screen). The window owns its animated objects (in
// depth slots, smaller depth nearer the viewer), message hooks, an event callback and the
// frame timeline. Everything runs on the thread that owns the window; there are no locks.
//
// Other threads must not call an AnimWindow. To add a timeline event from a worker
// thread, post it: PostScheduleEvent hands (frame, value, second value) to the window's
// thread, which schedules it when it next pumps messages.
#pragma once

#include "anim/cea_dirty.h"
#include "anim/cea_graphic.h"
#include "host/window.h"

#include <cstdint>

class AnimObject;
struct AnimWindowTestAccess; // tests only

namespace mem {
template <class T, class... Args> T* NewObject(const char*, const char*, int, Args&&...);
template <class T> void DeleteObject(T*, const char*, int);
} // namespace mem

using host::HWND;
using host::LPARAM;

using host::LRESULT;
using host::WPARAM;

// Window class names (the game registers them with 16-bit names).
#define ANIMWINDOW_CLASS TEXT("AnimWindow")
#define ANIMWINDOW_NOCURSOR_CLASS TEXT("AnimWindowNoCursor")

// Events sent to the window's callback.
constexpr int ANIMEVENT_DESTROY = 0;    // the window is being destroyed
constexpr int ANIMEVENT_BACKGROUND = 1; // the background was (re)created: lParam2 = Graphic*
constexpr int ANIMEVENT_PREUPDATE = 2;  // before the objects' frame update
constexpr int ANIMEVENT_POSTUPDATE = 3; // after the objects' frame update
constexpr int ANIMEVENT_PAINTED = 4;    // after painting
constexpr int ANIMEVENT_TIMELINE = 5;   // a timeline event: lParam1 value, lParam2 second value
// Returns 0 or 1; for a timeline event 0 stops the advance after that frame.
using AnimCallback = int (*)(class AnimWindow* pWindow, int nEvent, LPARAM lParam1, LPARAM lParam2);

// A message hook: non-zero hides the message from later hooks (not from the window).
using AnimHook = int (*)(class AnimWindow* pWindow, HWND hwnd, UINT uMsg, WPARAM wParam,
                         LPARAM lParam);
// AddHook filter bits (low 16 bits of the value; the high 16 bits are the priority, 100
// when 0; smaller priorities are called first).
constexpr DWORD HOOK_MOUSE = 0x0001;
constexpr DWORD HOOK_KEYBOARD = 0x0002;
constexpr DWORD HOOK_ALL = 0xFFFF;
constexpr DWORD HOOK_PRIORITY(DWORD nPriority) {
    return nPriority << 16;
}

// Posted by PostScheduleEvent: wParam packs the frame (low 32 bits) and the second value
// (high 32 bits), lParam is the value.
constexpr UINT WM_ANIMSCHEDULE = 0x8000 + 0x0A10;

// The frame timer's identifier.
constexpr UINT ANIM_TIMER_ID = 1099;
// Time stamps in the timing ring.
constexpr int cfTIMING_WINDOW = 30;

// Message hook entry.
struct ANIMHOOK {
    AnimHook pfnHook;
    host::WORD wFilter;
    host::WORD wPriority;
    DWORD cRefs;
};

// A timeline entry; a free entry has fInUse 0.
struct TIMELINEENTRY {
    DWORD fInUse;
    LONG iFrame;
    AnimObject* pObject; // null for a callback entry
    LPARAM lValue;       // object entry: the Graphic* to show; callback entry: the value
    RECT rc;             // object entry: the new rectangle; callback: rc.left = second value
};

// One depth slot: the objects of one depth, a doubly linked list (head nearest the viewer).
struct DEPTHSLOT {
    LONG nDepth;
    AnimObject* pHead;
};

class AnimWindow {
public:
    // The AnimWindow of a window of either class, or null (foreign or destroyed window).
    static AnimWindow* FromHandle(HWND hwnd);
    // The window procedure of both classes.
    static LRESULT WindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    // ---- Redraw
    void Invalidate(const RECT* prc, int nLevel); // 1: scene, 0: frame only
    void InvalidateAll();
    void BeginUpdate();
    void EndUpdate();
    void Repaint();
    Graphic* GetBackground() const { return m_pBackground; }
    Graphic* GetScene() const { return m_pScene; }
    Graphic* GetFrame() const { return m_pFrame; }
    void FillBackground(Color clr, RECT* prc);
    void SetCallback(AnimCallback pfnCallback);
    AnimCallback GetCallback() const { return m_pfnCallback; }
    // Drops the off-screen graphics and makes them again (a new system palette group).
    void RecreateGraphics();

    // ---- Properties
    void GetRect(RECT* prc) const { *prc = m_rcClient; }
    HWND GetHandle() const { return m_hwnd; }
    void* GetData(DWORD i) const;
    void SetData(DWORD i, void* pv);
    LPARAM GetAppValue() const { return m_lAppValue; }
    void SetAppValue(LPARAM l) { m_lAppValue = l; }

    // ---- Hooks
    void AddHook(AnimHook pfnHook, DWORD dwValue);
    void RemoveHook(AnimHook pfnHook);

    // ---- Built-in objects
    void ShowFrameRate(BOOL fOn);
    void SetStatusText(const TCHAR* pszText);

    // ---- Object order (used by AnimObject)
    void AddObject(AnimObject* pObject);
    void InsertAfter(AnimObject* pObject, AnimObject* pReference);
    void InsertBefore(AnimObject* pObject, AnimObject* pReference);
    void RemoveObject(AnimObject* pObject);
    AnimObject* NextObject(AnimObject* pObject) const;     // front to back; null: the first
    AnimObject* PreviousObject(AnimObject* pObject) const; // back to front; null: the last
    LONG NextDepthAfter(LONG nDepth) const;
    LONG DepthBefore(LONG nDepth) const;
    AnimObject* FirstObjectOfDepth(LONG nDepth) const;

    // ---- Timeline
    void SetFrameRate(double dFramesPerSecond);
    double GetFrameRate() const;
    double GetMeasuredRate() const;
    int ScheduleObject(LONG iFrame, AnimObject* pObject, Graphic* pGraphic, const RECT* prc);
    LONG ScheduleEvent(LONG iFrame, LPARAM lValue, LONG lSecond);
    void CancelObject(AnimObject* pObject);
    void CancelGraphic(Graphic* pGraphic);
    void CancelEvent(LPARAM lValue, LONG lSecond);
    void CancelFrame(LONG iFrame);
    LONG GetFrameCounter() const { return m_iFrame; }
    LONG GetEndFrame() const { return m_iEndFrame; }
    void Resynchronise() { m_fResync = 1; }
    void SetPaused(BOOL fPaused);
    BOOL IsPaused() const { return m_fPaused; }
    int Advance(LONG iTarget);
    void Step();
    void Play(LONG cFrames);
    void PlayToEnd();
    // Waits for one message of the thread and dispatches it. 0 when the window is gone.
    int PumpMessage();

    // From any thread: schedules a timeline event on the window's thread (a posted
    // message). FALSE when the window is gone.
    static BOOL PostScheduleEvent(HWND hwnd, LONG iFrame, LPARAM lValue, LONG lSecond);

    // Counters for tests and benchmarks: pixels copied into the scene, frame and screen.
    struct PaintCounters {
        std::uint64_t cPaints;
        std::uint64_t cScenePixels;
        std::uint64_t cFramePixels;
        std::uint64_t cScreenPixels;
    };
    const PaintCounters& GetPaintCounters() const { return m_counters; }

private:
    AnimWindow() = default;
    ~AnimWindow() = default;
    void Init(HWND hwnd);
    void Destroy();
    void Resize();
    void Paint(HDC hdc);
    void DispatchHooks(UINT uMsg, WPARAM wParam, LPARAM lParam);
    int SendEvent(int nEvent, LPARAM lParam1, LPARAM lParam2);
    void ExpandByStaticObjects(DirtyRegion* pRegion);
    void DrawObjects(Graphic* pTarget, const DirtyRegion* pRegion, DWORD fStatic);
    TIMELINEENTRY* NewTimelineEntry();
    void RecordPaintTime();
    void OnPostedSchedule(WPARAM wParam, LPARAM lParam);
    void CreateGraphics();
    void DestroyGraphics();
    DEPTHSLOT* SlotOfHead(AnimObject* pHead) const;
    bool IsLinked(AnimObject* pObject) const;
    bool IsMine(AnimObject* pObject) const;
    friend class AnimObject;
    friend struct AnimWindowTestAccess;
    // Made and freed only by the window procedure.
    template <class T, class... Args>
    friend T* mem::NewObject(const char*, const char*, int, Args&&...);
    template <class T> friend void mem::DeleteObject(T*, const char*, int);

    DWORD m_dwSignature = 0;
    HWND m_hwnd = nullptr;
    RECT m_rcClient = {};
    Graphic* m_pBackground = nullptr;
    Graphic* m_pScene = nullptr;
    Graphic* m_pFrame = nullptr;
    DirtyRegion* m_pSceneRegion = nullptr;
    DirtyRegion* m_pFrameRegion = nullptr;
    int m_cPaintNesting = 0;
    int m_cUpdateLocks = 0;
    AnimCallback m_pfnCallback = nullptr;
    DWORD m_msPeriod = 0;
    DWORD* m_pmsTiming = nullptr;
    int m_iTiming = 0;
    AnimObject* m_pFpsObject = nullptr;
    AnimObject* m_pStatusObject = nullptr;
    TIMELINEENTRY* m_pTimeline = nullptr;
    DWORD m_cTimeline = 0;
    LONG m_iFrame = 0;
    LONG m_iEndFrame = 0;
    ANIMHOOK* m_pHooks = nullptr;
    DWORD m_cHooks = 0;
    void** m_ppData = nullptr;
    DWORD m_cData = 0;
    DEPTHSLOT* m_pSlots = nullptr;
    DWORD m_cSlots = 0;
    DWORD m_fResync = 0;
    BOOL m_fPaused = 0;
    LPARAM m_lAppValue = 0;
    // Objects still to be sent the frame update: kept right when an object's procedure
    // destroys objects during the walk.
    AnimObject* m_pNextUpdate = nullptr;
    // The same for the draw walk (back to front).
    AnimObject* m_pNextDraw = nullptr;
    AnimObject* m_pDrawing = nullptr; // null once the object being drawn is removed
    // While Paint composes, invalidations (an object removed while drawn) are also kept
    // here per level and given back after the regions are cleared, so the next paint
    // shows them.
    bool m_fComposing = false;
    RECT m_rcLate[2] = {};
    DWORD m_cSlotsAllocated = 0; // grows 4 at a time
    PaintCounters m_counters = {};
};

// The window's signature while alive and after destruction.
constexpr DWORD ANIMWINDOW_ALIVE = 0x416E696D;
constexpr DWORD ANIMWINDOW_DEAD = 0xBE919692;
