// Skinned windows: a top-level window of any shape whose contents are dialog templates
// (insets) re-hosted as controls the skin draws. The templates' dialog procedures keep
// getting the usual dialog messages, with the skinned window's handle.
//
// Choices this file fixes:
// - The window opens at the main inset's size plus the frame borders, centred on the work
//   area. Controls sit in the inner rectangle (inside the frame borders); the close and
//   minimise boxes too, at its top right corner, the minimise box left of the close box.
// - Insets are drawn together: every inset's controls live in one control map by id.
// - Messages posted to the window (WM_COMMAND, WM_CLOSE) reach the main inset; WM_CLOSE acts
//   as a press of the close box (WM_COMMAND 2), the procedure decides to close.
// - A control's click may remove its own inset (a panel swap): removed insets and controls
//   are released once the outermost message handler returns, never during the dispatch.
// - The owner is re-enabled however the window ends (closed, destroyed from outside).
// - While redrawing is off nothing is composed nor presented; turning it on composes the
//   whole window once.
// - The minimise box minimises the window (SW_MINIMIZE) after telling the main inset.
// - A scroll bar's thumb follows the pointer while pressed (SB_THUMBTRACK at each change,
//   SB_THUMBPOSITION at the release). The wheel scrolls the list or scroll bar under the
//   pointer, else the focused one: lists three items a notch, scroll bars a line a notch.
//
// Keyboard and focus:
// - One control of the window has the focus: at start the main inset's first WS_TABSTOP
//   control. Tab and Shift+Tab move it to the next or previous enabled, visible WS_TABSTOP
//   control of all insets, in the order the controls were added, wrapping; a press on an
//   enabled control that can take the focus (a WS_TABSTOP one, or any edit or list) moves it
//   there. A focused control that goes (its inset removed, disabled) leaves no focus until
//   the next Tab or press.
// - The focus shows as a dotted rectangle one pixel inside the text borders, in the text
//   colour; an edit shows its blinking caret instead.
// - Space does what a click does on the focused push button, check box or radio button.
//   Enter activates the main inset's default push button (BS_DEFPUSHBUTTON, enabled), else
//   the focused push button. Escape acts as the close box (WM_COMMAND 2 to the main inset).
//   The arrow keys on a focused radio button check the previous (Up, Left) or next (Down,
//   Right) radio button of its group, wrapping within the group, move the focus there and
//   notify as a click does.
// - Edits hold one line. Characters (32 and above) replace the selection or go in at the
//   caret; Backspace and Delete remove the selection, else the character before or after the
//   caret; Left, Right, Home and End move the caret and, with Shift, extend the selection
//   from its anchor. A press puts the caret at the nearest character boundary. Edits notify
//   nothing; their text reads back by id. The caret blinks every 500 ms of the tick clock
//   while the edit is focused, checked each frame, and shows at once after every key. A
//   text wider than the box scrolls sideways so that the caret stays inside.
// - Lists show the items that fit from the first one shown. Up and Down select the previous
//   or next item (Home and End the first and last; none selected: Down selects the first),
//   notifying as a click does, and scroll so that the selection is wholly shown. A press
//   selects the shown item under it.
//
// Links in a control's marked-up text show the hand cursor while the pointer is over them.
// A click on a link is inert: the installer opens nothing, so the press is the control's
// (for static text, nothing); the links and their targets are kept for whoever wants them.
#pragma once

class PaletteGroup;

#include "anim/cea_window.h"
#include "foundation/memmgr.h"
#include "host/dialog.h"
#include "skin/skin.h"
#include "skin/skin_behaviour.h"
#include "skin/skin_draw.h"
#include "skin/skin_frame.h"
#include "skin/skin_markup.h"

using host::INT_PTR;
using host::POINT;

inline constexpr const CHAR* kszSkinWindowClass = "SkinWindow";
inline constexpr const CHAR* kszSkinDuplicateId =
    "Dialog %ld contains more than one control with ID %ld";
inline constexpr const CHAR* kszSkinDuplicateIds =
    "Dialogs %ld and %ld both contain a control with ID %ld";

// Sent to every inset (no parameters) once its controls have their pictures.
constexpr UINT WM_SKINAPPLIED = 0x4002;
// A user-drawn control's callback: installed; each frame (true asks for a redraw); draw
// (wParam the Graphic*, lParam the RECT*).
constexpr UINT SKINCB_INSTALL = 0x4101;
constexpr UINT SKINCB_FRAME = 0x4108;
constexpr UINT SKINCB_DRAW = 0x4109;

constexpr int SKIN_CLOSE_ID = 40000;
constexpr int SKIN_MINIMIZE_ID = 40001;

// Placement codes, one per axis.
constexpr int SKINPLACE_FAR = 1;
constexpr int SKINPLACE_CENTER = 2;
constexpr int SKINPLACE_COMPUTED = 4;
// Keeps the present value; as a size it takes the picture's own (a push button's row of caps
// and middle, else one cell).
constexpr int SKIN_KEEP = static_cast<int>(0x80000001u);

class SkinWindow;
class SKINCONTROL;

using SKINCONTROLPROC = LRESULT (*)(SKINCONTROL* pControl, UINT uMsg, WPARAM wParam, LPARAM lParam);

struct SKINWINDOWINSET {
    SkinWindow* pWindow = nullptr;
    host::DLGPROC pfnProc = nullptr;
    LPARAM lUser = 0;
    int nTemplateId = 0;
    cetl::string strName; // the window's name when the template gives none
    DWORD dwStyle = 0;
    host::SIZE sizeClient{}; // the template's client area
    bool fRemoved = false;
};

class SKINCONTROL {
public:
    SKINCONTROL(SkinWindow* pWindow, int nKind, int nId, SKINWINDOWINSET* pInset);
    ~SKINCONTROL();
    SKINCONTROL(const SKINCONTROL&) = delete;
    SKINCONTROL& operator=(const SKINCONTROL&) = delete;

    int Kind() const { return nKind_; }
    int Id() const { return nId_; }
    SKINWINDOWINSET* Inset() const { return pInset_; }
    SkinWindow* Window() const { return pWindow_; }
    // Client coordinates of the animation window.
    const RECT& Rect() const { return rc_; }

    // The picture (null: none) and the cell set of list items or the edit's caret.
    void SetPicture(SKINCONTROLGRAPHICS* pGraphics);
    SKINCONTROLGRAPHICS* Picture() const { return pGraphics_; }
    void SetPlacement(int nHCode, int x, int cx, int nVCode, int y, int cy);
    void SetText(const cetl::string& strText);
    const cetl::string& Text() const { return strText_; }
    void SetStyle(DWORD dwStyle) { dwStyle_ = dwStyle; }
    DWORD Style() const { return dwStyle_; }
    void Enable(bool fEnable);
    void Check(bool fCheck);
    void Show(bool fShow);
    bool IsEnabled() const { return fEnabled_; }
    bool IsChecked() const { return fChecked_; }
    bool IsVisible() const { return fVisible_; }
    bool IsFocused() const { return fFocused_; }
    bool IsGroupStart() const { return fGroupStart_; }
    void SetGroupStart(bool f) { fGroupStart_ = f; }
    // A properties text of this control's own, before the skin's; re-reads the settings.
    void SetProperties(const cetl::string& strText);
    const SKINCONTROLSETTINGS& Settings() const { return settings_; }
    // Sends SKINCB_INSTALL at once.
    void SetCallback(SKINCONTROLPROC pfnCallback);

    // Progress bars: 0 to 100 (clamped).
    void SetPosition(int nPosition);
    int Position() const { return nPosition_; }
    // Scroll bars.
    void SetScrollRange(int nMin, int nMax, int nPage);
    bool SetScrollPos(int nPos);
    const SKINSCROLL& Scroll() const { return scroll_; }
    void SetBuddy(SKINCONTROL* pBuddy) { pBuddy_ = pBuddy; }
    // List boxes: items from 1; Select notifies like a click.
    void AddItem(const cetl::string& strItem);
    int ItemCount() const { return static_cast<int>(items_.size()); }
    int Selection() const { return list_.nSelected; }
    bool Select(int n);
    // The first item shown (from 0) and how many fit wholly (at least 1).
    int TopItem() const { return iTop_; }
    int VisibleItems() const;
    // Edits: the caret and the selection's other end, as character indexes.
    int Caret() const { return edit_.iCaret; }
    int Anchor() const { return edit_.iAnchor; }
    void SetEditSelection(int iAnchor, int iCaret);
    // The links of the text's last drawing, in client coordinates of the animation window.
    const mem::vector<SKINLINK>& Links() const { return links_; }
    // The link under a point of a visible control, null for none.
    const SKINLINK* LinkAt(POINT pt) const;

private:
    friend class SkinWindow;
    void Redraw();
    void Draw(Graphic* pDest, DWORD nFrame);
    bool HitTest(POINT pt) const;
    SkinScrollPart ScrollPartAt(POINT pt) const;
    int ItemAt(POINT pt) const;
    SKINSCROLLBAR Bar() const;
    void ReadSettings();
    int NaturalWidth() const;
    SKINDRAWCONTEXT MeasureContext() const;
    void ScrollToSelection();
    void ScrollToCaret();
    void EditReplace(const cetl::string& strInsert);

    SkinWindow* pWindow_;
    int nKind_;
    int nId_;
    SKINWINDOWINSET* pInset_;
    DWORD dwStyle_ = 0;
    cetl::string strText_;
    PROPERTIES* pProperties_ = nullptr;
    SKINCONTROLSETTINGS settings_;
    SKINCONTROLGRAPHICS* pGraphics_ = nullptr;
    SKINCONTROLGRAPHICS* pExtra_ = nullptr; // list items, the edit's caret
    bool fEnabled_ = true;
    bool fChecked_ = false;
    bool fVisible_ = true;
    bool fFocused_ = false;
    bool fGroupStart_ = false;
    int nHCode_ = 0, x_ = 0, cx_ = 0;
    int nVCode_ = 0, y_ = 0, cy_ = 0;
    RECT rc_ = {};
    int nPosition_ = 0;
    SKINSCROLL scroll_;
    SKINCONTROL* pBuddy_ = nullptr;
    SKINLIST list_;
    int iTop_ = 0;
    SKINEDITVIEW edit_;
    mem::vector<cetl::string> items_{MEM_TAG("string")};
    SKINCONTROLPROC pfnCallback_ = nullptr;
    mem::vector<SKINLINK> links_{MEM_TAG("SKINLINK")};
};

class SkinWindow {
public:
    // Registers the class "SkinWindow" as a copy of "AnimWindowNoCursor" (AnimStartup ran)
    // with the icon; later calls do nothing. False on failure.
    static bool Register(host::HINSTANCE hInstance, host::HICON hIcon);
    // The window of a handle, null for others.
    static SkinWindow* FromHandle(HWND hwnd);

    // Creates the hidden window and its main inset from template nTemplateId of hInstance (0:
    // none, code adds the controls and pfnProc gets their commands). Throws the skin's
    // exceptions for missing pictures.
    SkinWindow(SKIN* pSkin, const cetl::string& strName, host::DLGPROC pfnProc,
               host::HINSTANCE hInstance, int nTemplateId, LPARAM lUser, HWND hwndOwner);
    ~SkinWindow();
    SkinWindow(const SkinWindow&) = delete;
    SkinWindow& operator=(const SkinWindow&) = delete;

    // Shows the window, disables the owner and pumps messages until the window is gone.
    INT_PTR RunModal();
    // Keeps a non-zero result, re-enables the owner, destroys the window.
    void Close(INT_PTR nResult);
    // Tells every inset WM_DESTROY, releases insets and controls, destroys the window.
    void Destroy();
    INT_PTR Result() const { return nResult_; }

    HWND Handle() const { return hwnd_; }
    AnimWindow* Anim() const { return pAnim_; }
    SKIN* Skin() const { return pSkin_; }
    const cetl::string& Name() const { return strName_; }
    const SKINFRAME& Frame() const { return *pFrame_; }
    RECT InnerRect() const;

    void SetRedraw(bool fOn);
    bool Redrawing() const { return fRedraw_; }

    // The inset, or null when its template is missing.
    SKINWINDOWINSET* AddInset(host::DLGPROC pfnProc, int nTemplateId, LPARAM lUser);
    void RemoveInset(SKINWINDOWINSET* pInset);
    SKINWINDOWINSET* MainInset() const { return insets_.empty() ? nullptr : insets_.front(); }

    // A control made by code; an id in use warns and replaces the old control.
    SKINCONTROL* AddControl(int nKind, int nId, SKINWINDOWINSET* pInset);
    SKINCONTROL* Control(int nId) const;
    std::size_t ControlCount() const { return controls_.size(); }
    // Ids in increasing order.
    mem::vector<int> ControlIds() const;

    void SetText(const cetl::string& strText);
    bool SetControlText(int nId, const cetl::string& strText);
    cetl::string ControlText(int nId) const;
    bool CheckControl(int nId, bool fCheck);
    bool IsControlChecked(int nId) const;
    bool EnableControl(int nId, bool fEnable);
    bool SetProgress(int nId, int nPosition);

    // The focused control, null for none; focusing a control that cannot take it does nothing.
    SKINCONTROL* FocusedControl() const { return Focused(); }
    void FocusControl(int nId);

    // Sends a control's notification to its inset's procedure: WM_COMMAND or scroll messages.
    void Notify(SKINCONTROL* pControl, UINT uMsg, WPARAM wParam, LPARAM lParam);

private:
    friend class SKINCONTROL;
    static LRESULT WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    static int OnEvent(AnimWindow* pAnim, int nEvent, LPARAM lParam1, LPARAM lParam2);
    LRESULT Handle(UINT uMsg, WPARAM wParam, LPARAM lParam, bool* pfHandled);
    void OnMouse(UINT uMsg, POINT pt);
    void OnSetCursor();
    void Click(SKINCONTROL* pControl, POINT pt);
    void OnFrame();
    void Compose();
    void ComposeControl(SKINCONTROL* pControl);
    void OnSize();
    void ApplyPictures(SKINCONTROL* pControl);
    SKINCONTROL* ControlAt(POINT pt) const;
    int HitPart(POINT pt, SKINCONTROL** ppControl) const;
    void InsertControl(SKINCONTROL* pControl);
    void ReleaseControl(SKINCONTROL* pControl);
    void Reap();
    void Detach();
    void CheckRadio(SKINCONTROL* pControl);
    // Keyboard.
    SKINCONTROL* Focused() const;
    void SetFocusTo(SKINCONTROL* pControl);
    void MoveFocus(bool fBackward);
    bool OnKeyDown(UINT vk);
    bool OnWheel(POINT ptScreen, int nDelta);
    void ScrollNotify(SKINCONTROL* pControl, host::WORD nRequest);
    void DragThumb(POINT pt);
    void OnChar(UINT ch);
    bool EditKey(SKINCONTROL* pEdit, UINT vk);
    void ListKey(SKINCONTROL* pList, UINT vk);
    void RadioKey(SKINCONTROL* pRadio, bool fBackward);
    void ShowCaret();
    INT_PTR CallProc(SKINWINDOWINSET* pInset, UINT uMsg, WPARAM wParam, LPARAM lParam);
    void RestorePalette();

    SKIN* pSkin_;
    cetl::string strName_;
    host::HINSTANCE hInstance_;
    HWND hwnd_ = nullptr;
    HWND hwndOwner_ = nullptr;
    bool fOwnerDisabled_ = false;
    AnimWindow* pAnim_ = nullptr;
    SKINFRAME* pFrame_ = nullptr;
    // The system palette group before this window chose the skin's (palette screens only).
    PaletteGroup* pOldGroup_ = nullptr;
    bool fGroupSelected_ = false;
    Graphic* pBase_ = nullptr; // the window without controls
    INT_PTR nResult_ = 0;
    bool fRedraw_ = true;
    int cDispatch_ = 0; // nesting of handlers that may hold controls
    LONG iLastFrame_ = -1;
    mem::vector<SKINWINDOWINSET*> insets_{MEM_TAG("SKINWINDOWINSET")};
    mem::vector<SKINCONTROL*> controls_{MEM_TAG("SKINCONTROL")}; // insertion order
    mem::vector<SKINWINDOWINSET*> deadInsets_{MEM_TAG("SKINWINDOWINSET")};
    mem::vector<SKINCONTROL*> deadControls_{MEM_TAG("SKINCONTROL")};
    // Pointer and capture.
    SKINCONTROL* pHot_ = nullptr;
    SKINCONTROL* pPressed_ = nullptr;
    SkinScrollPart iPressedPart_ = SSP_NONE;
    // A scroll thumb being dragged: the pointer and the position at the press, and how far
    // the thumb can travel in pixels.
    POINT ptThumbPress_ = {};
    int nThumbPosAtPress_ = 0;
    int nThumbTravel_ = 0;
    int nCapture_ = SKINHIT_NOWHERE; // move or sizing part while dragging
    RECT rcAtPress_ = {};
    POINT ptPress_ = {};
    SKINSIZELIMITS limits_ = {};
    bool fResizable_ = false;
    DWORD tickCaret_ = 0; // when the caret last came on
};
