// SkinWindow: the skinned top-level window, its insets, composition and pointer input (the
// keyboard is in skin_window_keys.cpp).
#include "skin/skin_window.h"

#include "anim/cea_display.h"
#include "foundation/diag.h"
#include "host/clock.h"
#include "host/controls.h"
#include "host/screen.h"
#include "skin/skin_inset.h"

#include <algorithm>

namespace {

host::WNDPROC g_pfnAnimProc = nullptr;

// Where the pointer was when the message being handled was made, in screen coordinates.
POINT MessagePoint() {
    const DWORD dwPos = host::GetMessagePos();
    return {host::GET_X_LPARAM(static_cast<LPARAM>(dwPos)),
            host::GET_Y_LPARAM(static_cast<LPARAM>(dwPos))};
}

// The picture of each hosted kind; list boxes and edits have a second one.
const char* PictureName(int nKind) {
    switch (nKind) {
    case CT_FRAME_CLOSE:
        return "frame-x";
    case CT_FRAME_MIN:
        return "frame-min";
    case CT_PBUTTON:
        return "pbutton";
    case CT_RBUTTON:
        return "rbutton";
    case CT_CBUTTON:
        return "cbutton";
    case CT_PBAR:
        return "pbar";
    case CT_TEXT:
        return "text";
    case CT_VSCROLL:
        return "vscroll";
    case CT_HSCROLL:
        return "hscroll";
    case CT_EDIT:
        return "edit";
    case CT_LIST:
        return "list";
    default:
        return nullptr;
    }
}

host::WORD ScrollRequest(SkinScrollPart iPart) {
    switch (iPart) {
    case SSP_LINEUP:
        return host::SB_LINEUP;
    case SSP_PAGEUP:
        return host::SB_PAGEUP;
    case SSP_PAGEDOWN:
        return host::SB_PAGEDOWN;
    case SSP_LINEDOWN:
        return host::SB_LINEDOWN;
    default:
        return 0xFFFF;
    }
}

} // namespace

// ---- Class and creation

bool SkinWindow::Register(host::HINSTANCE hInstance, host::HICON hIcon) {
    host::WNDCLASSA wc{};
    if (!host::GetClassInfo(hInstance, ANIMWINDOW_NOCURSOR_CLASS, &wc)) return false;
    if (g_pfnAnimProc == nullptr) g_pfnAnimProc = wc.lpfnWndProc;
    host::WNDCLASSA existing{};
    if (host::GetClassInfo(hInstance, kszSkinWindowClass, &existing)) return true;
    wc.lpfnWndProc = WndProc;
    wc.hIcon = hIcon;
    wc.lpszClassName = kszSkinWindowClass;
    return host::RegisterClass(&wc) != 0;
}

SkinWindow* SkinWindow::FromHandle(HWND hwnd) {
    AnimWindow* pAnim = AnimWindow::FromHandle(hwnd);
    return pAnim != nullptr ? static_cast<SkinWindow*>(pAnim->GetData(0)) : nullptr;
}

SkinWindow::SkinWindow(SKIN* pSkin, const cetl::string& strName, host::DLGPROC pfnProc,
                       host::HINSTANCE hInstance, int nTemplateId, LPARAM lUser, HWND hwndOwner)
    : pSkin_(pSkin), strName_(strName), hInstance_(hInstance), hwndOwner_(hwndOwner) {
    pFrame_ = MemNew(SKINFRAME, pSkin, strName);
    // On a palette screen every window draws with the system group's colours: the skin's
    // pictures keep theirs only when the skin's merged palette is that group.
    if (Display* pDisplay = GetDisplay(); pDisplay != nullptr && pDisplay->IsPaletteBased() &&
                                          pSkin->Palette() != nullptr &&
                                          pDisplay->GetSystemGroup() != pSkin->Palette()) {
        pOldGroup_ = pDisplay->GetSystemGroup();
        pDisplay->SetSystemGroup(pSkin->Palette());
        fGroupSelected_ = true;
    }
    if (!Register(hInstance, nullptr)) return;
    hwnd_ = host::CreateWindowEx(0, kszSkinWindowClass, strName.Text(), host::WS_POPUP, 0, 0, 10,
                                 10, hwndOwner, nullptr, hInstance, nullptr);
    pAnim_ = AnimWindow::FromHandle(hwnd_);
    if (pAnim_ == nullptr) {
        if (hwnd_ != nullptr) host::DestroyWindow(hwnd_);
        hwnd_ = nullptr;
        return;
    }
    pAnim_->SetData(0, this);
    // A rate of 0 or none keeps the framework's own rate rather than dividing by it.
    if (pFrame_->Settings().nFramesPerSecond > 0)
        pAnim_->SetFrameRate(pFrame_->Settings().nFramesPerSecond);
    pAnim_->SetCallback(OnEvent);
    try {
        AddInset(pfnProc, nTemplateId, lUser);
    } catch (...) {
        Destroy();
        Reap();
        MemDelete(pBase_);
        MemDelete(pFrame_);
        RestorePalette();
        throw;
    }
}

SkinWindow::~SkinWindow() {
    Destroy();
    cDispatch_ = 0;
    Reap();
    MemDelete(pBase_);
    MemDelete(pFrame_);
    RestorePalette();
}

// Gives the palette screen its earlier group back, unless someone chose another meanwhile.
void SkinWindow::RestorePalette() {
    Display* pDisplay = GetDisplay();
    if (fGroupSelected_ && pDisplay != nullptr && pDisplay->GetSystemGroup() == pSkin_->Palette())
        pDisplay->SetSystemGroup(pOldGroup_);
    fGroupSelected_ = false;
}

RECT SkinWindow::InnerRect() const {
    RECT rc = {};
    if (pAnim_ == nullptr) return rc;
    pAnim_->GetRect(&rc);
    return pFrame_->InnerRect(rc.right - rc.left, rc.bottom - rc.top);
}

// ---- Lifetime

INT_PTR SkinWindow::RunModal() {
    if (hwnd_ == nullptr) return nResult_;
    host::ShowWindow(hwnd_, host::SW_SHOW);
    if (hwndOwner_ != nullptr && host::IsWindowEnabled(hwndOwner_)) {
        host::EnableWindow(hwndOwner_, FALSE);
        fOwnerDisabled_ = true;
    }
    // The animation's own loop: frames advance at the window's rate (animated cells, the
    // caret, user-drawn controls) with messages handled between them, until the window goes.
    while (hwnd_ != nullptr) {
        AnimWindow* pAnim = AnimWindow::FromHandle(hwnd_);
        if (pAnim == nullptr) break;
        pAnim->Play(-1);
        // Play also ends when a timeline event stops it: one message, then play on.
        if (hwnd_ != nullptr && AnimWindow::FromHandle(hwnd_) == pAnim) pAnim->PumpMessage();
    }
    if (fOwnerDisabled_ && host::IsWindow(hwndOwner_)) host::EnableWindow(hwndOwner_, TRUE);
    fOwnerDisabled_ = false;
    return nResult_;
}

void SkinWindow::Close(INT_PTR nResult) {
    if (nResult != 0) nResult_ = nResult;
    // The owner first, so that activation passes back to it as the window goes.
    if (fOwnerDisabled_ && host::IsWindow(hwndOwner_)) host::EnableWindow(hwndOwner_, TRUE);
    fOwnerDisabled_ = false;
    Destroy();
}

void SkinWindow::Destroy() {
    if (hwnd_ == nullptr) return;
    host::DestroyWindow(hwnd_); // WM_DESTROY detaches
    if (hwnd_ != nullptr) Detach();
    Reap();
}

// The window is going, by Destroy or from outside: the insets hear of it, the owner comes back.
void SkinWindow::Detach() {
    if (hwnd_ == nullptr) return;
    ++cDispatch_;
    for (SKINWINDOWINSET* pInset : mem::vector<SKINWINDOWINSET*>(insets_))
        CallProc(pInset, host::WM_DESTROY, 0, 0);
    --cDispatch_;
    for (SKINCONTROL* pControl : mem::vector<SKINCONTROL*>(controls_))
        ReleaseControl(pControl);
    for (SKINWINDOWINSET* pInset : insets_) {
        pInset->fRemoved = true;
        deadInsets_.push_back(pInset);
    }
    insets_.clear();
    if (host::GetCapture() == hwnd_) host::ReleaseCapture();
    if (fOwnerDisabled_ && host::IsWindow(hwndOwner_)) host::EnableWindow(hwndOwner_, TRUE);
    fOwnerDisabled_ = false;
    if (pAnim_ != nullptr) {
        pAnim_->SetCallback(nullptr);
        pAnim_->SetData(0, nullptr);
    }
    pAnim_ = nullptr;
    hwnd_ = nullptr;
}

// Frees what was removed, once no handler further up the stack can still hold it.
void SkinWindow::Reap() {
    if (cDispatch_ > 0) return;
    for (SKINCONTROL* pControl : deadControls_)
        MemDelete(pControl);
    deadControls_.clear();
    for (SKINWINDOWINSET* pInset : deadInsets_)
        MemDelete(pInset);
    deadInsets_.clear();
}

void SkinWindow::SetRedraw(bool fOn) {
    if (fRedraw_ == fOn || pAnim_ == nullptr) {
        fRedraw_ = fOn;
        return;
    }
    fRedraw_ = fOn;
    if (!fOn) {
        pAnim_->BeginUpdate();
        return;
    }
    Compose();
    pAnim_->EndUpdate();
}

// ---- Insets

INT_PTR SkinWindow::CallProc(SKINWINDOWINSET* pInset, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (pInset == nullptr || pInset->fRemoved || pInset->pfnProc == nullptr || hwnd_ == nullptr)
        return 0;
    ++cDispatch_;
    INT_PTR n = pInset->pfnProc(hwnd_, uMsg, wParam, lParam);
    --cDispatch_;
    return n;
}

SKINWINDOWINSET* SkinWindow::AddInset(host::DLGPROC pfnProc, int nTemplateId, LPARAM lUser) {
    if (hwnd_ == nullptr) return nullptr;
    const bool fMain = insets_.empty();
    SKININSET read;
    if (nTemplateId != 0) {
        mem::vector<int> used = ControlIds();
        if (!ReadTemplateControls(hInstance_, nTemplateId, used, &read)) return nullptr;
        // The boxes come first and count among the window's controls: read again with them.
        if (fMain && (read.dwStyle & (host::WS_SYSMENU | host::WS_MINIMIZEBOX)) != 0) {
            if ((read.dwStyle & host::WS_SYSMENU) != 0) used.push_back(SKIN_CLOSE_ID);
            if ((read.dwStyle & host::WS_MINIMIZEBOX) != 0) used.push_back(SKIN_MINIMIZE_ID);
            if (!ReadTemplateControls(hInstance_, nTemplateId, used, &read)) return nullptr;
        }
    }
    SKINWINDOWINSET* pInset = MemNew(SKINWINDOWINSET);
    pInset->pWindow = this;
    pInset->pfnProc = pfnProc;
    pInset->lUser = lUser;
    pInset->nTemplateId = nTemplateId;
    pInset->strName = strName_;
    pInset->dwStyle = read.dwStyle;
    pInset->sizeClient = read.sizeClient;
    insets_.push_back(pInset);

    const bool fWasRedrawing = fRedraw_;
    SetRedraw(false);
    if (fMain) {
        fResizable_ = SkinIsResizable(read.dwStyle);
        // Sized first, so that controls placed from the far edge land right.
        const SKINWINDOWSETTINGS& s = pFrame_->Settings();
        host::SIZE size = SkinOpeningSize(read.sizeClient, s.nLeftBorder, s.nTopBorder,
                                          s.nRightBorder, s.nBottomBorder);
        RECT rcWork = {};
        host::SystemParametersInfo(host::SPI_GETWORKAREA, 0, &rcWork, 0);
        host::SetWindowPos(hwnd_, nullptr, rcWork.left + (rcWork.right - rcWork.left - size.cx) / 2,
                           rcWork.top + (rcWork.bottom - rcWork.top - size.cy) / 2, size.cx,
                           size.cy, host::SWP_NOZORDER | host::SWP_NOACTIVATE);
        SKINCONTROL* pClose = nullptr;
        if ((read.dwStyle & host::WS_SYSMENU) != 0) {
            pClose = AddControl(CT_FRAME_CLOSE, SKIN_CLOSE_ID, pInset);
            pClose->SetPlacement(SKINPLACE_COMPUTED | SKINPLACE_FAR, 0, SKIN_KEEP,
                                 SKINPLACE_COMPUTED, 0, SKIN_KEEP);
        }
        if ((read.dwStyle & host::WS_MINIMIZEBOX) != 0) {
            SKINCONTROL* pMin = AddControl(CT_FRAME_MIN, SKIN_MINIMIZE_ID, pInset);
            const int x = pClose != nullptr ? pClose->Rect().right - pClose->Rect().left : 0;
            pMin->SetPlacement(SKINPLACE_COMPUTED | SKINPLACE_FAR, x, SKIN_KEEP, SKINPLACE_COMPUTED,
                               0, SKIN_KEEP);
        }
    }
    for (std::size_t i = 0; i < read.controls.size(); ++i) {
        const SKININSETCONTROL& in = read.controls[i];
        SKINCONTROL* pControl = MemNew(SKINCONTROL, this, in.nKind, in.nId, pInset);
        pControl->strText_ = in.strText;
        pControl->dwStyle_ = in.dwStyle;
        pControl->fEnabled_ = in.fEnabled;
        pControl->fChecked_ = in.fChecked;
        pControl->fGroupStart_ = in.fGroupStart;
        InsertControl(pControl);
        ApplyPictures(pControl);
        pControl->SetPlacement(0, in.rc.left, in.rc.right - in.rc.left, 0, in.rc.top,
                               in.rc.bottom - in.rc.top);
        if (fMain && static_cast<int>(i) == read.iFirstTabStop) {
            pControl->fFocused_ = true;
            tickCaret_ = host::GetTickCount();
        }
    }
    CallProc(pInset, host::WM_INITDIALOG, 0, lUser);
    for (SKINWINDOWINSET* pEach : mem::vector<SKINWINDOWINSET*>(insets_))
        CallProc(pEach, WM_SKINAPPLIED, 0, 0);
    SetRedraw(fWasRedrawing);
    Reap();
    return pInset;
}

void SkinWindow::RemoveInset(SKINWINDOWINSET* pInset) {
    auto it = std::find(insets_.begin(), insets_.end(), pInset);
    if (it == insets_.end()) return;
    CallProc(pInset, host::WM_DESTROY, 0, 0);
    it = std::find(insets_.begin(), insets_.end(), pInset); // the procedure may have changed them
    if (it == insets_.end()) return;
    insets_.erase(it);
    pInset->fRemoved = true;
    for (SKINCONTROL* pControl : mem::vector<SKINCONTROL*>(controls_))
        if (pControl->pInset_ == pInset) ReleaseControl(pControl);
    deadInsets_.push_back(pInset);
    Compose();
    Reap();
}

// ---- Controls

void SkinWindow::ApplyPictures(SKINCONTROL* pControl) {
    const char* pszName = PictureName(pControl->nKind_);
    if (pszName == nullptr) return;
    const cetl::string& strWindow =
        pControl->pInset_ != nullptr ? pControl->pInset_->strName : strName_;
    pControl->pGraphics_ = pControl->nKind_ == CT_TEXT
                               ? pSkin_->OptionalGraphics(pszName, CT_TEXT, strWindow)
                               : pSkin_->Graphics(pszName, pControl->nKind_, strWindow);
    if (pControl->nKind_ == CT_LIST)
        pControl->pExtra_ = pSkin_->Graphics("listitem", CT_RBUTTON, strWindow);
    else if (pControl->nKind_ == CT_EDIT)
        pControl->pExtra_ = pSkin_->Graphics("cursor", CT_CURSOR, strWindow);
}

void SkinWindow::InsertControl(SKINCONTROL* pControl) {
    controls_.push_back(pControl);
}

SKINCONTROL* SkinWindow::AddControl(int nKind, int nId, SKINWINDOWINSET* pInset) {
    if (hwnd_ == nullptr) return nullptr;
    if (pInset == nullptr) pInset = MainInset();
    if (SKINCONTROL* pOld = Control(nId); pOld != nullptr) {
        const long nNew = pInset != nullptr ? pInset->nTemplateId : 0;
        const long nOldTemplate = pOld->pInset_ != nullptr ? pOld->pInset_->nTemplateId : 0;
        if (pOld->pInset_ == pInset)
            cetl::warn(kszSkinDuplicateId, nNew, static_cast<long>(nId));
        else
            cetl::warn(kszSkinDuplicateIds, nOldTemplate, nNew, static_cast<long>(nId));
        ReleaseControl(pOld);
        Compose();
    }
    SKINCONTROL* pControl = MemNew(SKINCONTROL, this, nKind, nId, pInset);
    InsertControl(pControl);
    ApplyPictures(pControl);
    Reap();
    return pControl;
}

void SkinWindow::ReleaseControl(SKINCONTROL* pControl) {
    auto it = std::find(controls_.begin(), controls_.end(), pControl);
    if (it == controls_.end()) return;
    controls_.erase(it);
    if (pHot_ == pControl) pHot_ = nullptr;
    if (pPressed_ == pControl) pPressed_ = nullptr;
    for (SKINCONTROL* pOther : controls_)
        if (pOther->pBuddy_ == pControl) pOther->pBuddy_ = nullptr;
    deadControls_.push_back(pControl);
}

SKINCONTROL* SkinWindow::Control(int nId) const {
    for (SKINCONTROL* pControl : controls_)
        if (pControl->nId_ == nId) return pControl;
    return nullptr;
}

mem::vector<int> SkinWindow::ControlIds() const {
    mem::vector<int> ids{MEM_TAG("int")};
    for (const SKINCONTROL* pControl : controls_)
        ids.push_back(pControl->nId_);
    std::sort(ids.begin(), ids.end());
    return ids;
}

void SkinWindow::SetText(const cetl::string& strText) {
    if (hwnd_ != nullptr) host::SetWindowText(hwnd_, std::string_view(strText.Text()));
}

bool SkinWindow::SetControlText(int nId, const cetl::string& strText) {
    SKINCONTROL* pControl = Control(nId);
    if (pControl == nullptr) return false;
    pControl->SetText(strText);
    return true;
}

cetl::string SkinWindow::ControlText(int nId) const {
    const SKINCONTROL* pControl = Control(nId);
    return pControl != nullptr ? pControl->strText_ : cetl::string();
}

bool SkinWindow::CheckControl(int nId, bool fCheck) {
    SKINCONTROL* pControl = Control(nId);
    if (pControl == nullptr) return false;
    pControl->Check(fCheck);
    return true;
}

bool SkinWindow::IsControlChecked(int nId) const {
    const SKINCONTROL* pControl = Control(nId);
    return pControl != nullptr && pControl->fChecked_;
}

bool SkinWindow::EnableControl(int nId, bool fEnable) {
    SKINCONTROL* pControl = Control(nId);
    if (pControl == nullptr) return false;
    pControl->Enable(fEnable);
    return true;
}

bool SkinWindow::SetProgress(int nId, int nPosition) {
    SKINCONTROL* pControl = Control(nId);
    if (pControl == nullptr) return false;
    pControl->SetPosition(nPosition);
    return true;
}

void SkinWindow::Notify(SKINCONTROL* pControl, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    SKINWINDOWINSET* pInset = pControl->pInset_ != nullptr ? pControl->pInset_ : MainInset();
    // The close and minimise boxes speak to the main inset.
    if (pControl->nId_ == SKIN_CLOSE_ID || pControl->nId_ == SKIN_MINIMIZE_ID) pInset = MainInset();
    CallProc(pInset, uMsg, wParam, lParam);
}

void SkinWindow::CheckRadio(SKINCONTROL* pControl) {
    mem::vector<SKINCONTROL*> same{MEM_TAG("SKINCONTROL")};
    mem::vector<SKINRADIO> radios{MEM_TAG("SKINRADIO")};
    std::size_t iThis = 0;
    for (SKINCONTROL* pEach : controls_) {
        if (pEach->pInset_ != pControl->pInset_) continue;
        if (pEach == pControl) iThis = same.size();
        same.push_back(pEach);
        radios.push_back({pEach->nKind_ == CT_RBUTTON, pEach->fGroupStart_, pEach->fChecked_});
    }
    SkinCheckRadio(radios, iThis);
    for (std::size_t i = 0; i < same.size(); ++i)
        same[i]->Check(radios[i].fChecked);
}

// ---- Composition

int SkinWindow::OnEvent(AnimWindow* pAnim, int nEvent, LPARAM, LPARAM) {
    SkinWindow* pThis = static_cast<SkinWindow*>(pAnim->GetData(0));
    if (pThis == nullptr) return 1;
    if (nEvent == ANIMEVENT_BACKGROUND)
        pThis->Compose();
    else if (nEvent == ANIMEVENT_PREUPDATE)
        pThis->OnFrame();
    return 1;
}

// Animated pictures and user-drawn controls that ask for it redraw once per frame.
void SkinWindow::OnFrame() {
    if (pAnim_ == nullptr || pAnim_->GetFrameCounter() == iLastFrame_) return;
    iLastFrame_ = pAnim_->GetFrameCounter();
    ++cDispatch_;
    for (SKINCONTROL* pControl : mem::vector<SKINCONTROL*>(controls_)) {
        if (pControl->pInset_ != nullptr && pControl->pInset_->fRemoved) continue;
        bool fRedraw = SkinIsAnimated(pControl->pGraphics_) || SkinIsAnimated(pControl->pExtra_);
        if (pControl->nKind_ == CT_USER && pControl->pfnCallback_ != nullptr)
            fRedraw = pControl->pfnCallback_(pControl, SKINCB_FRAME, 0, 0) != 0 || fRedraw;
        if (pControl->nKind_ == CT_EDIT && pControl->fFocused_ && pControl->fEnabled_) {
            const bool fCaret = ((host::GetTickCount() - tickCaret_) / 500) % 2 == 0;
            fRedraw = fRedraw || fCaret != pControl->edit_.fCaret;
        }
        if (fRedraw) ComposeControl(pControl);
    }
    --cDispatch_;
    Reap();
}

void SkinWindow::OnSize() {
    if (pAnim_ == nullptr) return;
    RECT rc;
    pAnim_->GetRect(&rc);
    const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    host::SetWindowRgn(hwnd_, pFrame_->Region(cx, cy), TRUE);
    if (pBase_ == nullptr || pBase_->GetWidth() != cx || pBase_->GetHeight() != cy) {
        MemDelete(pBase_);
        pBase_ = cx > 0 && cy > 0 ? MemNew(Graphic, cx, cy, 0) : nullptr;
        if (pBase_ != nullptr && !pBase_->IsValid()) {
            MemDelete(pBase_);
            pBase_ = nullptr;
        }
    }
    if (pBase_ != nullptr) pFrame_->Draw(pBase_, 0);
    const bool fWasRedrawing = fRedraw_;
    fRedraw_ = false;
    for (SKINCONTROL* pControl : controls_)
        pControl->SetPlacement(SKIN_KEEP, SKIN_KEEP, pControl->cx_, SKIN_KEEP, SKIN_KEEP,
                               pControl->cy_);
    fRedraw_ = fWasRedrawing;
    Compose();
}

void SkinWindow::Compose() {
    if (!fRedraw_ || pAnim_ == nullptr || pBase_ == nullptr) return;
    Graphic* pBackground = pAnim_->GetBackground();
    if (pBackground == nullptr) return;
    pBase_->DrawTo(pBackground, 0, 0, 0, 0, pBase_->GetWidth(), pBase_->GetHeight());
    const DWORD nFrame = static_cast<DWORD>(pAnim_->GetFrameCounter());
    for (SKINCONTROL* pControl : controls_)
        pControl->Draw(pBackground, nFrame);
    pAnim_->InvalidateAll();
}

void SkinWindow::ComposeControl(SKINCONTROL* pControl) {
    if (!fRedraw_ || pAnim_ == nullptr || pBase_ == nullptr) return;
    Graphic* pBackground = pAnim_->GetBackground();
    if (pBackground == nullptr) return;
    RECT rc = pControl->rc_;
    rc.left = std::max<LONG>(rc.left, 0);
    rc.top = std::max<LONG>(rc.top, 0);
    rc.right = std::min<LONG>(rc.right, pBase_->GetWidth());
    rc.bottom = std::min<LONG>(rc.bottom, pBase_->GetHeight());
    if (rc.right <= rc.left || rc.bottom <= rc.top) return;
    pBase_->DrawTo(pBackground, rc.left, rc.top, rc.left, rc.top, rc.right - rc.left,
                   rc.bottom - rc.top);
    const DWORD nFrame = static_cast<DWORD>(pAnim_->GetFrameCounter());
    // Whatever overlaps the rectangle is drawn again, in order, so overlaps stay right.
    for (SKINCONTROL* pEach : controls_) {
        const RECT& r = pEach->rc_;
        if (r.left < rc.right && rc.left < r.right && r.top < rc.bottom && rc.top < r.bottom)
            pEach->Draw(pBackground, nFrame);
    }
    pAnim_->Invalidate(&rc, 1);
}

// ---- Input

LRESULT SkinWindow::WndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    SkinWindow* pThis = FromHandle(hwnd);
    if (pThis != nullptr) {
        bool fHandled = false;
        ++pThis->cDispatch_;
        LRESULT l = pThis->Handle(uMsg, wParam, lParam, &fHandled);
        if (!fHandled && g_pfnAnimProc != nullptr) l = g_pfnAnimProc(hwnd, uMsg, wParam, lParam);
        if (uMsg == host::WM_SIZE) pThis->OnSize();
        --pThis->cDispatch_;
        pThis->Reap();
        return l;
    }
    return g_pfnAnimProc != nullptr ? g_pfnAnimProc(hwnd, uMsg, wParam, lParam)
                                    : host::DefWindowProc(hwnd, uMsg, wParam, lParam);
}

LRESULT SkinWindow::Handle(UINT uMsg, WPARAM wParam, LPARAM lParam, bool* pfHandled) {
    *pfHandled = true;
    switch (uMsg) {
    case host::WM_MOUSEMOVE:
    case host::WM_LBUTTONDOWN:
    case host::WM_LBUTTONDBLCLK:
    case host::WM_LBUTTONUP:
        OnMouse(uMsg, {host::GET_X_LPARAM(lParam), host::GET_Y_LPARAM(lParam)});
        return 0;
    case host::WM_SETCURSOR:
        OnSetCursor();
        return TRUE;
    case host::WM_CAPTURECHANGED:
        if (nCapture_ != SKINHIT_NOWHERE || pPressed_ != nullptr) {
            SKINCONTROL* pPressed = pPressed_;
            nCapture_ = SKINHIT_NOWHERE;
            pPressed_ = nullptr;
            if (pPressed != nullptr) ComposeControl(pPressed);
        }
        return 0;
    case host::WM_CLOSE:
        CallProc(MainInset(), host::WM_COMMAND, host::IDCANCEL, 0);
        return 0;
    case host::WM_KEYDOWN:
        if (!OnKeyDown(static_cast<UINT>(wParam))) *pfHandled = false;
        return 0;
    case host::WM_MOUSEWHEEL:
        if (!OnWheel({host::GET_X_LPARAM(lParam), host::GET_Y_LPARAM(lParam)},
                     static_cast<short>(host::HIWORD(wParam))))
            *pfHandled = false;
        return 0;
    case host::WM_CHAR:
        OnChar(static_cast<UINT>(wParam));
        return 0;
    case host::WM_COMMAND:
        return CallProc(MainInset(), uMsg, wParam, lParam);
    case host::WM_DESTROY:
        Detach();
        *pfHandled = false;
        return 0;
    default:
        *pfHandled = false;
        return 0;
    }
}

SKINCONTROL* SkinWindow::ControlAt(POINT pt) const {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
        if ((*it)->HitTest(pt)) return *it;
    return nullptr;
}

int SkinWindow::HitPart(POINT pt, SKINCONTROL** ppControl) const {
    RECT rc = {};
    if (pAnim_ != nullptr) pAnim_->GetRect(&rc);
    SKINHITFRAME frame;
    frame.sizeClient = {rc.right - rc.left, rc.bottom - rc.top};
    frame.fResizable = fResizable_;
    frame.nTitlebarHeight = pFrame_->Settings().nTitlebarHeight;
    const int nHit = SkinHitTest(
        frame, pt,
        [](const void* pv, POINT ptHit) {
            return static_cast<const SkinWindow*>(pv)->ControlAt(ptHit) != nullptr;
        },
        this);
    *ppControl = nHit == SKINHIT_CONTROL ? ControlAt(pt) : nullptr;
    return nHit;
}

void SkinWindow::OnSetCursor() {
    POINT pt;
    host::GetCursorPos(&pt);
    host::ScreenToClient(hwnd_, &pt);
    SKINCONTROL* pControl = nullptr;
    const int nHit = nCapture_ != SKINHIT_NOWHERE ? nCapture_ : HitPart(pt, &pControl);
    const char* pszCursor = SkinSizingCursor(nHit);
    if (pszCursor == nullptr && pControl != nullptr && pControl->LinkAt(pt) != nullptr)
        pszCursor = host::IDC_HAND;
    host::SetCursor(host::LoadCursor(nullptr, pszCursor != nullptr ? pszCursor : host::IDC_ARROW));
}

void SkinWindow::OnMouse(UINT uMsg, POINT pt) {
    if (uMsg == host::WM_MOUSEMOVE) {
        if (nCapture_ != SKINHIT_NOWHERE) {
            // Screen positions: the window moving under the pointer must not feed back.
            RECT rc = SkinDragRect(rcAtPress_, ptPress_, MessagePoint(), nCapture_, limits_);
            host::SetWindowPos(hwnd_, nullptr, rc.left, rc.top, rc.right - rc.left,
                               rc.bottom - rc.top, host::SWP_NOZORDER | host::SWP_NOACTIVATE);
            return;
        }
        if (pPressed_ != nullptr && iPressedPart_ == SSP_THUMB) {
            DragThumb(pt);
            return;
        }
        SKINCONTROL* pOver = ControlAt(pt);
        SKINCONTROL* pOld = pHot_;
        pHot_ = pOver;
        if (pOld != pOver && pOld != nullptr) ComposeControl(pOld);
        // Scroll bars and lists change with the part or item under the pointer.
        if (pOver != nullptr) ComposeControl(pOver);
        return;
    }
    if (uMsg == host::WM_LBUTTONDOWN || uMsg == host::WM_LBUTTONDBLCLK) {
        SKINCONTROL* pControl = nullptr;
        const int nHit = HitPart(pt, &pControl);
        if (pControl != nullptr) {
            if (!pControl->fEnabled_) return;
            if ((pControl->dwStyle_ & host::WS_TABSTOP) != 0 || pControl->nKind_ == CT_EDIT ||
                pControl->nKind_ == CT_LIST)
                SetFocusTo(pControl);
            if (pControl->nKind_ == CT_EDIT) {
                SKINDRAWCONTEXT ctx = pControl->MeasureContext();
                const int i = SkinEditHit(ctx, pControl->rc_, pControl->settings_,
                                          pControl->strText_, pControl->edit_.xScroll, pt.x);
                pControl->SetEditSelection(i, i);
            }
            pPressed_ = pControl;
            pHot_ = pControl;
            iPressedPart_ = pControl->ScrollPartAt(pt);
            if (iPressedPart_ == SSP_THUMB) {
                RECT rgrc[SSP_COUNT];
                SkinScrollParts(pControl->rc_, pControl->Bar(), pControl->pGraphics_->CellWidth(),
                                pControl->pGraphics_->CellHeight(), rgrc);
                const bool fVertical = pControl->nKind_ == CT_VSCROLL;
                const int nTrack = fVertical ? rgrc[SSP_PAGEDOWN].bottom - rgrc[SSP_PAGEUP].top
                                             : rgrc[SSP_PAGEDOWN].right - rgrc[SSP_PAGEUP].left;
                const int nThumb = fVertical ? rgrc[SSP_THUMB].bottom - rgrc[SSP_THUMB].top
                                             : rgrc[SSP_THUMB].right - rgrc[SSP_THUMB].left;
                ptThumbPress_ = pt;
                nThumbPosAtPress_ = pControl->scroll_.nPos;
                nThumbTravel_ = nTrack - nThumb;
            }
            host::SetCapture(hwnd_);
            ComposeControl(pControl);
            if (iPressedPart_ != SSP_NONE) Click(pControl, pt); // scroll bars act on the press
            return;
        }
        if (nHit == SKINHIT_MOVE || SkinIsSizingHit(nHit)) {
            host::GetWindowRect(hwnd_, &rcAtPress_);
            ptPress_ = MessagePoint();
            limits_ = SkinSizeLimits(*pSkin_, strName_);
            RECT rcWork = {};
            host::SystemParametersInfo(host::SPI_GETWORKAREA, 0, &rcWork, 0);
            host::MINMAXINFO info = SkinMinMaxInfo(limits_, rcWork);
            CallProc(MainInset(), host::WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
            limits_ = {info.ptMinTrackSize.x, info.ptMinTrackSize.y, info.ptMaxTrackSize.x,
                       info.ptMaxTrackSize.y};
            nCapture_ = nHit;
            host::SetCapture(hwnd_);
        }
        return;
    }
    // Button up.
    if (nCapture_ != SKINHIT_NOWHERE) {
        nCapture_ = SKINHIT_NOWHERE;
        host::ReleaseCapture();
        return;
    }
    SKINCONTROL* pControl = pPressed_;
    if (pControl == nullptr) return;
    const bool fScroll = iPressedPart_ != SSP_NONE;
    const bool fThumb = iPressedPart_ == SSP_THUMB;
    pPressed_ = nullptr;
    iPressedPart_ = SSP_NONE;
    host::ReleaseCapture();
    ComposeControl(pControl);
    if (fThumb) ScrollNotify(pControl, host::SB_THUMBPOSITION);
    if (!fScroll && pControl->HitTest(pt) && pControl->fEnabled_) Click(pControl, pt);
}

void SkinWindow::Click(SKINCONTROL* pControl, POINT pt) {
    const int nId = pControl->nId_;
    switch (pControl->nKind_) {
    case CT_FRAME_CLOSE:
    case CT_PBUTTON:
        Notify(pControl, host::WM_COMMAND, nId == SKIN_CLOSE_ID ? host::IDCANCEL : nId, 0);
        break;
    case CT_FRAME_MIN:
        Notify(pControl, host::WM_COMMAND, static_cast<WPARAM>(nId), 0);
        if (hwnd_ != nullptr) host::ShowWindow(hwnd_, host::SW_MINIMIZE);
        break;
    case CT_CBUTTON:
        pControl->Check(!pControl->fChecked_);
        Notify(pControl, host::WM_COMMAND, static_cast<WPARAM>(nId), 0);
        break;
    case CT_RBUTTON:
        CheckRadio(pControl);
        Notify(pControl, host::WM_COMMAND, static_cast<WPARAM>(nId), 0);
        break;
    case CT_LIST:
        if (int n = pControl->ItemAt(pt); n > 0) pControl->Select(n);
        break;
    case CT_VSCROLL:
    case CT_HSCROLL: {
        const host::WORD nRequest = ScrollRequest(iPressedPart_);
        if (!pControl->scroll_.Step(nRequest)) break;
        ComposeControl(pControl);
        ScrollNotify(pControl, nRequest);
        break;
    }
    default:
        break;
    }
}

// A scroll bar tells its buddy, else its inset, the request and the new position.
void SkinWindow::ScrollNotify(SKINCONTROL* pControl, host::WORD nRequest) {
    const UINT uMsg = pControl->nKind_ == CT_VSCROLL ? host::WM_VSCROLL : host::WM_HSCROLL;
    const WPARAM wParam =
        host::MAKEWPARAM(nRequest, static_cast<host::WORD>(pControl->scroll_.nPos));
    const LPARAM lId = static_cast<LPARAM>(pControl->nId_);
    SKINCONTROL* pBuddy = pControl->pBuddy_;
    if (pBuddy != nullptr) {
        if (pBuddy->pfnCallback_ != nullptr) pBuddy->pfnCallback_(pBuddy, uMsg, wParam, lId);
    } else {
        Notify(pControl, uMsg, wParam, lId);
    }
}

// The thumb follows the pointer along the bar; each change is tracked (SB_THUMBTRACK) and the
// release reports the final position (SB_THUMBPOSITION).
void SkinWindow::DragThumb(POINT pt) {
    SKINCONTROL* pControl = pPressed_;
    const int dPixels =
        pControl->nKind_ == CT_VSCROLL ? pt.y - ptThumbPress_.y : pt.x - ptThumbPress_.x;
    const int nPos = pControl->scroll_.ThumbPos(nThumbPosAtPress_, dPixels, nThumbTravel_);
    if (!pControl->scroll_.SetPos(nPos)) return;
    ComposeControl(pControl);
    ScrollNotify(pControl, host::SB_THUMBTRACK);
}

// The wheel scrolls the list or scroll bar under the pointer, else the focused one: a list by
// three items a notch, a scroll bar by a line a notch (notifying as its arrows do).
bool SkinWindow::OnWheel(POINT ptScreen, int nDelta) {
    POINT pt = ptScreen;
    host::ScreenToClient(hwnd_, &pt);
    auto wheels = [](const SKINCONTROL* p) {
        return p != nullptr && p->fEnabled_ && p->fVisible_ &&
               (p->nKind_ == CT_LIST || p->nKind_ == CT_VSCROLL || p->nKind_ == CT_HSCROLL);
    };
    SKINCONTROL* pControl = ControlAt(pt);
    if (!wheels(pControl)) pControl = Focused();
    if (!wheels(pControl)) return false;
    // Whole notches only; a fraction of one still moves by one.
    int cNotches = nDelta / host::WHEEL_DELTA;
    if (cNotches == 0) cNotches = nDelta > 0 ? 1 : -1;
    if (pControl->nKind_ == CT_LIST) {
        const int iMax = std::max(0, pControl->ItemCount() - pControl->VisibleItems());
        const int iTop = std::clamp(pControl->iTop_ - 3 * cNotches, 0, iMax);
        if (iTop != pControl->iTop_) {
            pControl->iTop_ = iTop;
            ComposeControl(pControl);
        }
        return true;
    }
    const host::WORD nRequest = cNotches > 0 ? host::SB_LINEUP : host::SB_LINEDOWN;
    for (int i = std::abs(cNotches); i > 0; --i) {
        if (!pControl->scroll_.Step(nRequest)) break;
        ComposeControl(pControl);
        ScrollNotify(pControl, nRequest);
    }
    return true;
}
