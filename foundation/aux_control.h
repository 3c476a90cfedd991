// Animated controls: controls that are animated objects on an AnimWindow.
//
// A control shows itself through one AnimObject (made at the creator's depth, its data
// slot 0 pointing back to the control), takes the stylus through the window's message
// hooks and sends WM_COMMAND notifications like a system button: the command (code 0) to
// the command target, held (2) and released (3) to the notification target. Targets are
// window procedures called directly, synchronously, with the animated window's handle;
// the word parameter is MAKEWPARAM(command id, code), the long parameter the control.
//
// Stylus. A press goes to the frontmost enabled control under the point whose hit test
// agrees; it takes the focus and the capture and becomes held. Sliding off releases it,
// sliding back on holds it again; lifting the stylus on it clicks it. The focus and the
// capture are one each for the whole program.
//
// Lifetime. Controls are made with MemNew and freed with MemDelete by their creator, on
// the window's thread. The window's hook is installed with its first control and removed
// with its last. A window destroyed first takes the controls' objects with it; the
// controls then stay inert until their creator frees them. A target may free the control
// (or its window) while handling a notification.
#pragma once

#include "anim/cea_object.h"
#include "foundation/tl_string.h"
#include "host/gdi.h"
#include "host/window.h"

// Notification codes (high word of WM_COMMAND's word parameter).
constexpr host::WORD AUXN_CLICKED = 0;
constexpr host::WORD AUXN_HELD = 2;
constexpr host::WORD AUXN_RELEASED = 3;

// Button styles: the low four bits are the kind, the next four the group behaviour.
constexpr DWORD AUXBS_PUSH = 0x0000;     // picture or push button
constexpr DWORD AUXBS_CHECKBOX = 0x0001; // a 13 x 13 box with a tick when checked
constexpr DWORD AUXBS_RADIOBOX = 0x0002; // a 13 x 13 round box with a dot when checked
constexpr DWORD AUXBS_KINDMASK = 0x000F;
constexpr DWORD AUXBS_RADIO = 0x0010;  // a click checks it and unchecks its group
constexpr DWORD AUXBS_TOGGLE = 0x0020; // a click flips its checked state
constexpr DWORD AUXBS_GROUPMASK = 0x00F0;
constexpr DWORD AUXBS_DEFFRAME = 0x0100; // face and edge when there are no pictures
constexpr DWORD AUXBS_CENTER = 0x0200;   // text centred horizontally

// Colour table indices (unset entries use the system colours).
constexpr int AUXCLR_FACE = 0;
constexpr int AUXCLR_HIGHLIGHT = 1;
constexpr int AUXCLR_SHADOW = 2;
constexpr int AUXCLR_BUTTONFACE = 3;
constexpr int AUXCLR_TEXT = 4;

class AuxControl;
// The creator's hit test: (x, y) relative to the object's top-left corner; nonzero: on it.
using AuxHitTest = BOOL (*)(AuxControl* pControl, int x, int y);

class AuxControl {
public:
    // A plain control. IsValid tells whether its object could be made.
    AuxControl(AnimWindow* pWindow, UINT nId, LONG nDepth);
    virtual ~AuxControl();
    AuxControl(const AuxControl&) = delete;
    AuxControl& operator=(const AuxControl&) = delete;

    // The live control an object shows, or null for any other object.
    static AuxControl* FromObject(AnimObject* pObject);
    // The program's focused control and the one holding the stylus capture, or null.
    static AuxControl* GetFocus();
    static AuxControl* GetCapture();

    bool IsValid() const { return m_pObject != nullptr; }
    bool IsButton() const;
    AnimObject* GetObject() const { return m_pObject; }
    AnimWindow* GetWindow() const;
    UINT GetId() const { return m_nId; }

    void SetCommandTarget(host::WNDPROC pfnTarget) { m_pfnCommand = pfnTarget; }
    void SetNotificationTarget(host::WNDPROC pfnTarget) { m_pfnNotify = pfnTarget; }
    void SetHitTest(AuxHitTest pfnHitTest) { m_pfnHitTest = pfnHitTest; }

    // A disabled control ignores the stylus.
    void Enable(BOOL fEnable);
    BOOL IsEnabled() const { return m_fEnabled; }
    void SetText(const cetl::string& strText);
    const cetl::string& GetText() const { return m_strText; }
    // The font is not owned; null returns to the system font.
    void SetFont(host::HFONT hFont);
    host::HFONT GetFont() const { return m_hFont; }
    void SetColor(int i, Color clr);
    Color GetColor(int i) const;

    void SetPosition(int x, int y);
    void GetSize(int* pcx, int* pcy) const;
    // Marks the control for drawing at the window's next paint.
    void Redraw();

protected:
    AuxControl(AnimWindow* pWindow, UINT nId, LONG nDepth, const BYTE (&rgbTag)[4]);
    virtual void Draw(const DRAWRECORD* pRecord);
    virtual void OnClick() {}
    virtual void UpdateSize() {}
    // Sends code to its target; false when that freed the control or took its object.
    bool Notify(host::WORD nCode);
    // Whether a client point is on the control (rectangle, then the hit test).
    bool IsOn(host::POINT pt);

    BOOL m_fHeld = FALSE;

private:
    struct COLORENTRY {
        Color clr;
        DWORD fSet;
    };

    void Init(AnimWindow* pWindow, LONG nDepth);
    void DetachFromWindow();
    bool AcceptsInput() const { return m_fEnabled && m_pObject != nullptr; }
    static bool IsLive(const AuxControl* pControl);
    static void SetFocusTo(AuxControl* pControl);
    static void CancelCapture();
    static int ObjectProc(AnimObject* pObject, UINT uMsg, LPARAM lParam);
    static int StylusHook(AnimWindow* pWindow, HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    static void OnStylusDown(AnimWindow* pWindow, host::POINT pt);
    static void OnStylusMove(AnimWindow* pWindow, host::POINT pt);
    static void OnStylusUp(AnimWindow* pWindow, host::POINT pt);
    static int CountControls(AnimWindow* pWindow, const AuxControl* pExcept);

    BYTE m_rgbTag[4] = {};
    AnimObject* m_pObject = nullptr;
    UINT m_nId = 0;
    BOOL m_fRedraw = FALSE;
    BOOL m_fEnabled = TRUE;
    cetl::string m_strText;
    host::HFONT m_hFont = nullptr;
    COLORENTRY* m_pColors = nullptr;
    DWORD m_cColors = 0;
    host::WNDPROC m_pfnCommand = nullptr;
    host::WNDPROC m_pfnNotify = nullptr;
    AuxHitTest m_pfnHitTest = nullptr;
    AuxControl* m_pNextLive = nullptr;

    friend class AuxButton;
};

class AuxButton : public AuxControl {
public:
    AuxButton(AnimWindow* pWindow, UINT nId, DWORD dwStyle, LONG nDepth);

    DWORD GetStyle() const { return m_dwStyle; }
    BOOL IsHeld() const { return m_fHeld; }
    BOOL IsChecked() const { return m_fChecked; }
    void SetChecked(BOOL fChecked);
    // Not owned: the first shows while neither held nor checked, the second otherwise.
    void SetPictures(Graphic* pFirst, Graphic* pSecond);

protected:
    void Draw(const DRAWRECORD* pRecord) override;
    void OnClick() override;
    void UpdateSize() override;

private:
    void DrawBox(HDC hdc, const RECT& rcObject);

    DWORD m_dwStyle = 0;
    BOOL m_fChecked = FALSE;
    Graphic* m_pFirst = nullptr;
    Graphic* m_pSecond = nullptr;
};
