// AnimObject: one item on an animated window, a rectangle at a depth showing a Graphic or
// the current frame of a Sprite, or drawing itself through an object procedure.
//
// Moving, resizing, re-ordering or changing the picture invalidates exactly the
// rectangles involved (level 1 for static objects, which live in the window's cached
// scene, level 0 for dynamic ones). Objects are made with MemNew and belong to their
// window, which destroys those still attached when it goes. An object procedure may
// destroy its own object (MemDelete) while handling any message. Destroying an object, or
// moving it to another window, drops its pending timeline entries.
#pragma once

#include "anim/cea_sprite.h"
#include "anim/cea_window.h"

// Object flags; the bits above belong to the application.
constexpr DWORD OBJF_STATIC = 0x1;       // composed into the scene; SetRect refuses
constexpr DWORD OBJF_DRAW_IN_PART = 0x2; // dirty areas need not grow to cover it whole

// Messages to the object procedure.
constexpr UINT OBJMSG_CREATE = 0;
constexpr UINT OBJMSG_DESTROY = 1;
constexpr UINT OBJMSG_UPDATE = 2; // before each redraw
constexpr UINT OBJMSG_DRAW = 3;   // lParam: DRAWRECORD*

struct DRAWRECORD {
    Graphic* pTarget;
    RECT rcClip;   // window coordinates
    RECT rcObject; // the object's rectangle
};

using AnimObjectProc = int (*)(class AnimObject* pObject, UINT uMsg, LPARAM lParam);

class AnimObject {
public:
    AnimObject(AnimWindow* pWindow, Sprite* pSprite, LONG nDepth);
    AnimObject(AnimWindow* pWindow, Graphic* pGraphic, LONG nDepth);
    AnimObject(AnimWindow* pWindow, AnimObjectProc pfnProc, LONG nDepth);
    virtual ~AnimObject(); // calls Destroy when still attached
    AnimObject(const AnimObject&) = delete;
    AnimObject& operator=(const AnimObject&) = delete;
    void Destroy();

    AnimWindow* GetWindow() const { return m_pWindow; }
    void MoveToWindow(AnimWindow* pWindow);
    LONG GetDepth() const { return m_nDepth; }
    void SetDepth(LONG nDepth);
    void BringToFront();
    void SendToBack();
    void PlaceInFront(AnimObject* pReference);
    void PlaceBehind(AnimObject* pReference);

    DWORD GetFlags() const { return m_dwFlags; }
    void SetFlags(DWORD dwFlags);
    BOOL IsAutomatic() const { return m_fAutomatic; }

    Graphic* GetPicture() const;
    Graphic* GetGraphic() const { return m_pGraphic; }
    Sprite* GetSprite() const { return m_pSprite; }
    void SetGraphic(Graphic* pGraphic, BOOL fAutomatic);
    void SetSprite(Sprite* pSprite, BOOL fAutomatic);

    void GetRect(RECT* prc) const { *prc = m_rc; }
    int SetRect(const RECT* prc); // 1 and no change for a static object
    void SetPosition(int x, int y);
    void SetSize(int cx, int cy);
    void SetWidth(int cx);
    void SetHeight(int cy);
    int GetWidth() const { return m_rc.right - m_rc.left; }
    int GetHeight() const { return m_rc.bottom - m_rc.top; }
    void GetSize(int* pcx, int* pcy) const;
    void Invalidate();

    void SetProcedure(AnimObjectProc pfnProc);
    int SendMessage(UINT uMsg, LPARAM lParam);
    void* GetData(DWORD i) const;
    void SetData(DWORD i, void* pv);

    void Draw(Graphic* pTarget, const RECT* prcClip);
    void DrawPicture(const DRAWRECORD* pRecord, Graphic* pGraphic);
    void DrawSpriteFrame(const DRAWRECORD* pRecord, Sprite* pSprite);

    // Depth-list links (managed by AnimWindow).
    AnimObject* GetNext() const { return m_pNext; }
    AnimObject* GetPrevious() const { return m_pPrevious; }

private:
    void Init(AnimWindow* pWindow, LONG nDepth);
    void Detach();
    friend class AnimWindow;

    AnimWindow* m_pWindow = nullptr;
    AnimObject* m_pNext = nullptr;
    AnimObject* m_pPrevious = nullptr;
    void** m_ppData = nullptr;
    DWORD m_cData = 0;
    RECT m_rc = {};
    LONG m_nDepth = 0;
    DWORD m_dwFlags = 0;
    BOOL m_fAutomatic = 0;
    Graphic* m_pGraphic = nullptr;
    Sprite* m_pSprite = nullptr;
    AnimObjectProc m_pfnProc = nullptr;
    // Set by the destructor, so that a Destroy whose procedure deleted the object stops.
    bool* m_pfDeleted = nullptr;
    BOOL m_fDestroying = 0;
};
