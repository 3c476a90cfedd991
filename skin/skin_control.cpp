// SKINCONTROL: one re-hosted control's state, placement and drawing.
#include "host/clock.h"
#include "host/controls.h"
#include "skin/skin_window.h"

#include <algorithm>

namespace {

// The position on one axis of the inner span [lo, hi).
int PlaceOnAxis(int nCode, int nOffset, int nSize, int lo, int hi) {
    if ((nCode & SKINPLACE_COMPUTED) == 0) return lo + nOffset;
    if ((nCode & SKINPLACE_CENTER) != 0) return lo + (hi - lo - nSize) / 2 + nOffset;
    if ((nCode & SKINPLACE_FAR) != 0) return hi - nOffset - nSize;
    return lo + nOffset;
}

} // namespace

SKINCONTROL::SKINCONTROL(SkinWindow* pWindow, int nKind, int nId, SKINWINDOWINSET* pInset)
    : pWindow_(pWindow), nKind_(nKind), nId_(nId), pInset_(pInset) {
    ReadSettings();
}

SKINCONTROL::~SKINCONTROL() {
    MemDelete(pProperties_);
}

void SKINCONTROL::ReadSettings() {
    settings_ = pWindow_->Skin()->ControlSettings(nKind_, pProperties_, pWindow_->Name());
}

void SKINCONTROL::SetPicture(SKINCONTROLGRAPHICS* pGraphics) {
    pGraphics_ = pGraphics;
    Redraw();
}

// A push button's picture is its caps and middle side by side, one row a state: its own
// width is the whole row. Other pictures' columns are states or parts, so a cell is theirs.
int SKINCONTROL::NaturalWidth() const {
    if (nKind_ == CT_PBUTTON) return pGraphics_->CellWidth() * pGraphics_->Columns();
    return pGraphics_->CellWidth();
}

void SKINCONTROL::SetPlacement(int nHCode, int x, int cx, int nVCode, int y, int cy) {
    if (nHCode != SKIN_KEEP) nHCode_ = nHCode;
    if (x != SKIN_KEEP) x_ = x;
    if (cx != SKIN_KEEP)
        cx_ = cx;
    else if (pGraphics_ != nullptr)
        cx_ = NaturalWidth();
    if (nVCode != SKIN_KEEP) nVCode_ = nVCode;
    if (y != SKIN_KEEP) y_ = y;
    if (cy != SKIN_KEEP)
        cy_ = cy;
    else if (pGraphics_ != nullptr)
        cy_ = pGraphics_->CellHeight();
    cx_ = std::max(cx_, 0);
    cy_ = std::max(cy_, 0);
    const RECT rcOld = rc_;
    const RECT rcInner = pWindow_->InnerRect();
    rc_.left = PlaceOnAxis(nHCode_, x_, cx_, rcInner.left, rcInner.right);
    rc_.top = PlaceOnAxis(nVCode_, y_, cy_, rcInner.top, rcInner.bottom);
    rc_.right = rc_.left + cx_;
    rc_.bottom = rc_.top + cy_;
    if (rcOld.left != rc_.left || rcOld.top != rc_.top || rcOld.right != rc_.right ||
        rcOld.bottom != rc_.bottom)
        pWindow_->Compose();
}

void SKINCONTROL::SetText(const cetl::string& strText) {
    strText_ = strText;
    if (nKind_ == CT_EDIT) {
        edit_.iCaret = edit_.iAnchor = strText_.Length();
        ScrollToCaret();
    }
    Redraw();
}

SKINDRAWCONTEXT SKINCONTROL::MeasureContext() const {
    SKINDRAWCONTEXT ctx;
    ctx.pSkin = pWindow_->Skin();
    return ctx;
}

void SKINCONTROL::SetEditSelection(int iAnchor, int iCaret) {
    edit_.iAnchor = std::clamp(iAnchor, 0, strText_.Length());
    edit_.iCaret = std::clamp(iCaret, 0, strText_.Length());
    ScrollToCaret();
    Redraw();
}

void SKINCONTROL::ScrollToCaret() {
    edit_.xScroll =
        SkinEditScroll(MeasureContext(), rc_, settings_, strText_, edit_.iCaret, edit_.xScroll);
}

// Typing: the selection (or nothing) gives way to the inserted text.
void SKINCONTROL::EditReplace(const cetl::string& strInsert) {
    const int iStart = std::min(edit_.iCaret, edit_.iAnchor);
    const int iEnd = std::max(edit_.iCaret, edit_.iAnchor);
    const cetl::string strText = strText_;
    cetl::string strNew = strText.Substring(0, iStart);
    strNew += strInsert;
    strNew += strText.Substring(iEnd);
    strText_ = strNew;
    edit_.iCaret = edit_.iAnchor = iStart + strInsert.Length();
    ScrollToCaret();
    Redraw();
}

int SKINCONTROL::VisibleItems() const {
    const int cyItem = SkinListItemHeight(MeasureContext(), pExtra_, settings_);
    const int cyRoom = (rc_.bottom - settings_.nBottomBorder) - (rc_.top + settings_.nTopBorder);
    return std::max(1, cyRoom / std::max(1, cyItem));
}

void SKINCONTROL::ScrollToSelection() {
    const int i = list_.nSelected - 1;
    if (i < 0) return;
    const int cVisible = VisibleItems();
    if (i < iTop_) iTop_ = i;
    if (i >= iTop_ + cVisible) iTop_ = i - cVisible + 1;
    iTop_ = std::clamp(iTop_, 0, std::max(0, ItemCount() - 1));
}

void SKINCONTROL::Enable(bool fEnable) {
    if (fEnabled_ == fEnable) return;
    fEnabled_ = fEnable;
    if (!fEnable) fFocused_ = false;
    Redraw();
}

void SKINCONTROL::Check(bool fCheck) {
    if (fChecked_ == fCheck) return;
    fChecked_ = fCheck;
    Redraw();
}

void SKINCONTROL::Show(bool fShow) {
    if (fVisible_ == fShow) return;
    fVisible_ = fShow;
    pWindow_->Compose();
}

void SKINCONTROL::SetProperties(const cetl::string& strText) {
    if (pProperties_ == nullptr) pProperties_ = MemNew(PROPERTIES);
    pProperties_->Parse(strText.Text(), static_cast<std::size_t>(strText.Length()),
                        PROPERTIES::PARSE_REPLACE);
    ReadSettings();
    Redraw();
}

void SKINCONTROL::SetCallback(SKINCONTROLPROC pfnCallback) {
    pfnCallback_ = pfnCallback;
    if (pfnCallback_ != nullptr) pfnCallback_(this, SKINCB_INSTALL, 0, 0);
    Redraw();
}

void SKINCONTROL::SetPosition(int nPosition) {
    nPosition = std::clamp(nPosition, 0, 100);
    if (nPosition_ == nPosition) return;
    nPosition_ = nPosition;
    Redraw();
}

void SKINCONTROL::SetScrollRange(int nMin, int nMax, int nPage) {
    scroll_.nMin = nMin;
    scroll_.nMax = std::max(nMin, nMax);
    scroll_.nPage = std::max(nPage, 1);
    scroll_.SetPos(scroll_.nPos);
    Redraw();
}

bool SKINCONTROL::SetScrollPos(int nPos) {
    if (!scroll_.SetPos(nPos)) return false;
    Redraw();
    return true;
}

void SKINCONTROL::AddItem(const cetl::string& strItem) {
    items_.push_back(strItem);
    list_.cItems = static_cast<int>(items_.size());
    Redraw();
}

bool SKINCONTROL::Select(int n) {
    if (!list_.Select(n)) return false;
    ScrollToSelection();
    Redraw();
    pWindow_->Notify(this, host::WM_COMMAND, SkinCommandParam(nId_, SKIN_LBN_SELCHANGE), 0);
    return true;
}

void SKINCONTROL::Redraw() {
    pWindow_->ComposeControl(this);
}

bool SKINCONTROL::HitTest(POINT pt) const {
    return fVisible_ && pt.x >= rc_.left && pt.x < rc_.right && pt.y >= rc_.top &&
           pt.y < rc_.bottom;
}

SKINSCROLLBAR SKINCONTROL::Bar() const {
    SKINSCROLLBAR bar;
    bar.fVertical = nKind_ == CT_VSCROLL;
    bar.nPosition = scroll_.nPos;
    bar.nMinimum = scroll_.nMin;
    bar.nMaximum = scroll_.nMax;
    bar.nPage = scroll_.nPage;
    bar.fProportional = pWindow_->Frame().Settings().fProportionalScrollbars != 0;
    return bar;
}

SkinScrollPart SKINCONTROL::ScrollPartAt(POINT pt) const {
    if ((nKind_ != CT_VSCROLL && nKind_ != CT_HSCROLL) || pGraphics_ == nullptr) return SSP_NONE;
    return SkinScrollHitTest(rc_, Bar(), pGraphics_->CellWidth(), pGraphics_->CellHeight(), pt.x,
                             pt.y);
}

int SKINCONTROL::ItemAt(POINT pt) const {
    if (nKind_ != CT_LIST || !HitTest(pt)) return 0;
    SKINDRAWCONTEXT ctx;
    ctx.pSkin = pWindow_->Skin();
    const int cyItem = SkinListItemHeight(ctx, pExtra_, settings_);
    // Only what shows inside the borders: an item cut off below still counts where it shows.
    if (pt.y < rc_.top + settings_.nTopBorder || pt.y >= rc_.bottom - settings_.nBottomBorder)
        return 0;
    for (int i = iTop_; i < ItemCount(); ++i) {
        RECT rc = SkinListItemRect(rc_, settings_, cyItem, iTop_, i);
        if (rc.top > pt.y) break;
        if (pt.y >= rc.top && pt.y < rc.bottom && pt.x >= rc.left && pt.x < rc.right) return i + 1;
    }
    return 0;
}

const SKINLINK* SKINCONTROL::LinkAt(POINT pt) const {
    if (!HitTest(pt)) return nullptr;
    for (const SKINLINK& link : links_)
        if (pt.x >= link.rc.left && pt.x < link.rc.right && pt.y >= link.rc.top &&
            pt.y < link.rc.bottom)
            return &link;
    return nullptr;
}

void SKINCONTROL::Draw(Graphic* pDest, DWORD nFrame) {
    links_.clear();
    if (!fVisible_ || rc_.right <= rc_.left || rc_.bottom <= rc_.top) return;
    SKINDRAWCONTEXT ctx;
    ctx.pDest = pDest;
    ctx.rcClip = rc_;
    ctx.nFrame = nFrame;
    ctx.pSkin = pWindow_->Skin();
    SKINDRAWSTATE state;
    const SKINCONTROL* pHot = pWindow_->pHot_;
    const SKINCONTROL* pPressed = pWindow_->pPressed_;
    state.fEnabled = fEnabled_;
    state.fChecked = fChecked_;
    state.fHot = fEnabled_ && pHot == this && (pPressed == nullptr || pPressed == this);
    state.fPressed = state.fHot && pPressed == this;

    switch (nKind_) {
    case CT_FRAME_CLOSE:
    case CT_FRAME_MIN:
        SkinDrawBox(ctx, pGraphics_, rc_, state);
        break;
    case CT_PBUTTON:
        SkinDrawPushButton(ctx, pGraphics_, rc_, state);
        SkinDrawText(ctx, strText_, rc_, settings_, fEnabled_, 0, &links_);
        break;
    case CT_RBUTTON:
    case CT_CBUTTON:
        SkinDrawCheck(ctx, pGraphics_, rc_, settings_, state);
        SkinDrawText(ctx, strText_, rc_, settings_, fEnabled_, 0, &links_);
        break;
    case CT_PBAR:
        SkinDrawProgress(ctx, pGraphics_, rc_, nPosition_);
        break;
    case CT_TEXT:
        if (pGraphics_ != nullptr) SkinDrawNinePatch(ctx, pGraphics_, rc_);
        SkinDrawText(ctx, strText_, rc_, settings_, fEnabled_, SKINTEXT_WRAP, &links_);
        break;
    case CT_VSCROLL:
    case CT_HSCROLL: {
        SkinScrollPart iPart = SSP_NONE;
        POINT pt;
        if (pPressed == this)
            iPart = pWindow_->iPressedPart_;
        else if (state.fHot && host::GetCursorPos(&pt) &&
                 host::ScreenToClient(pWindow_->hwnd_, &pt))
            iPart = ScrollPartAt(pt);
        SkinDrawScrollBar(ctx, pGraphics_, rc_, Bar(), state, iPart);
        break;
    }
    case CT_EDIT:
        // The caret shows in the first half of each second since it last came on.
        edit_.fCaret = fFocused_ && fEnabled_ &&
                       ((host::GetTickCount() - pWindow_->tickCaret_) / 500) % 2 == 0;
        SkinDrawEdit(ctx, pGraphics_, pExtra_, rc_, settings_, strText_, fEnabled_, edit_);
        break;
    case CT_LIST: {
        int iPointer = -1;
        POINT pt;
        if (state.fHot && host::GetCursorPos(&pt) && host::ScreenToClient(pWindow_->hwnd_, &pt))
            iPointer = ItemAt(pt) - 1;
        SkinDrawList(ctx, pGraphics_, pExtra_, rc_, settings_,
                     SkinListItemHeight(ctx, pExtra_, settings_), items_.data(), ItemCount(), iTop_,
                     list_.nSelected - 1, iPointer, state);
        break;
    }
    case CT_USER:
        if (pfnCallback_ != nullptr) {
            RECT rc = rc_;
            pfnCallback_(this, SKINCB_DRAW, reinterpret_cast<WPARAM>(pDest),
                         reinterpret_cast<LPARAM>(&rc));
        }
        break;
    default:
        break;
    }
    if (fFocused_ &&
        (nKind_ == CT_PBUTTON || nKind_ == CT_RBUTTON || nKind_ == CT_CBUTTON || nKind_ == CT_LIST))
        SkinDrawFocus(ctx, rc_, settings_);
}
