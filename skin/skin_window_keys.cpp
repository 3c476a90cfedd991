// SkinWindow's keyboard: the focus among tab stops, keys on buttons, radio groups, edits
// and lists (the rules are in skin_window.h).
#include "skin/skin_window.h"

#include "host/clock.h"
#include "host/controls.h"

#include <algorithm>

SKINCONTROL* SkinWindow::Focused() const {
    for (SKINCONTROL* pControl : controls_)
        if (pControl->fFocused_) return pControl;
    return nullptr;
}

void SkinWindow::SetFocusTo(SKINCONTROL* pControl) {
    for (SKINCONTROL* pEach : controls_)
        if (pEach->fFocused_ && pEach != pControl) {
            pEach->fFocused_ = false;
            ComposeControl(pEach);
        }
    if (pControl == nullptr) return;
    pControl->fFocused_ = true;
    ShowCaret();
    ComposeControl(pControl);
}

void SkinWindow::FocusControl(int nId) {
    SKINCONTROL* pControl = Control(nId);
    if (pControl != nullptr && pControl->fEnabled_ && pControl->fVisible_) SetFocusTo(pControl);
}

void SkinWindow::ShowCaret() {
    tickCaret_ = host::GetTickCount();
}

void SkinWindow::MoveFocus(bool fBackward) {
    const std::size_t c = controls_.size();
    if (c == 0) return;
    auto canTab = [](const SKINCONTROL* p) {
        return p->fEnabled_ && p->fVisible_ && (p->dwStyle_ & host::WS_TABSTOP) != 0 &&
               (p->pInset_ == nullptr || !p->pInset_->fRemoved);
    };
    SKINCONTROL* pFocus = Focused();
    // Without a focus, forward starts before the first control and backward after the last.
    std::size_t iFrom = fBackward ? 0 : c - 1;
    if (pFocus != nullptr)
        iFrom = static_cast<std::size_t>(std::find(controls_.begin(), controls_.end(), pFocus) -
                                         controls_.begin());
    for (std::size_t k = 1; k <= c; ++k) {
        const std::size_t i = fBackward ? (iFrom + c - k % c) % c : (iFrom + k) % c;
        if (canTab(controls_[i])) {
            SetFocusTo(controls_[i]);
            return;
        }
    }
}

bool SkinWindow::OnKeyDown(UINT vk) {
    const bool fShift = (host::GetKeyState(static_cast<int>(host::VK_SHIFT)) & 0x8000) != 0;
    if (vk == host::VK_TAB) {
        MoveFocus(fShift);
        return true;
    }
    if (vk == host::VK_ESCAPE) {
        CallProc(MainInset(), host::WM_COMMAND, host::IDCANCEL, 0);
        return true;
    }
    SKINCONTROL* pFocus = Focused();
    if (vk == host::VK_RETURN) {
        SKINWINDOWINSET* pMain = MainInset();
        for (SKINCONTROL* pControl : controls_)
            if (pControl->pInset_ == pMain && pControl->nKind_ == CT_PBUTTON &&
                (pControl->dwStyle_ & host::BS_TYPEMASK) == host::BS_DEFPUSHBUTTON &&
                pControl->fEnabled_ && pControl->fVisible_) {
                Click(pControl, {});
                return true;
            }
        if (pFocus != nullptr && pFocus->nKind_ == CT_PBUTTON && pFocus->fEnabled_)
            Click(pFocus, {});
        return true;
    }
    if (pFocus == nullptr || !pFocus->fEnabled_) return false;
    switch (pFocus->nKind_) {
    case CT_EDIT:
        return EditKey(pFocus, vk);
    case CT_LIST:
        ListKey(pFocus, vk);
        return true;
    case CT_PBUTTON:
    case CT_CBUTTON:
        if (vk == host::VK_SPACE) Click(pFocus, {});
        return true;
    case CT_RBUTTON:
        if (vk == host::VK_SPACE)
            Click(pFocus, {});
        else if (vk == host::VK_UP || vk == host::VK_LEFT)
            RadioKey(pFocus, true);
        else if (vk == host::VK_DOWN || vk == host::VK_RIGHT)
            RadioKey(pFocus, false);
        return true;
    default:
        return false;
    }
}

bool SkinWindow::EditKey(SKINCONTROL* pEdit, UINT vk) {
    const bool fShift = (host::GetKeyState(static_cast<int>(host::VK_SHIFT)) & 0x8000) != 0;
    SKINEDITVIEW& view = pEdit->edit_;
    const int cch = pEdit->strText_.Length();
    const bool fSelection = view.iCaret != view.iAnchor;
    int iCaret = view.iCaret;
    switch (vk) {
    case host::VK_LEFT:
        // Without Shift a selection collapses to its near end.
        iCaret = !fShift && fSelection ? std::min(view.iCaret, view.iAnchor) : iCaret - 1;
        break;
    case host::VK_RIGHT:
        iCaret = !fShift && fSelection ? std::max(view.iCaret, view.iAnchor) : iCaret + 1;
        break;
    case host::VK_HOME:
        iCaret = 0;
        break;
    case host::VK_END:
        iCaret = cch;
        break;
    case host::VK_BACK:
    case host::VK_DELETE:
        ShowCaret();
        if (!fSelection) {
            const int iOther = vk == host::VK_BACK ? iCaret - 1 : iCaret + 1;
            if (iOther < 0 || iOther > cch) return true;
            view.iAnchor = iOther;
        }
        pEdit->EditReplace(cetl::string());
        return true;
    default:
        return false;
    }
    iCaret = std::clamp(iCaret, 0, cch);
    ShowCaret();
    pEdit->SetEditSelection(fShift ? view.iAnchor : iCaret, iCaret);
    return true;
}

void SkinWindow::OnChar(UINT ch) {
    SKINCONTROL* pFocus = Focused();
    // Control characters (Tab, Enter, Escape, Backspace) were keys, not text.
    if (pFocus == nullptr || pFocus->nKind_ != CT_EDIT || !pFocus->fEnabled_ || ch < 32 ||
        ch == 127)
        return;
    cetl::string str;
    if (ch < 256)
        str += static_cast<CHAR>(ch);
    else
        str += static_cast<WCHAR>(ch);
    ShowCaret();
    pFocus->EditReplace(str);
}

void SkinWindow::ListKey(SKINCONTROL* pList, UINT vk) {
    const int c = pList->ItemCount();
    const int nOld = pList->list_.nSelected;
    if (c == 0) return;
    int n = nOld;
    switch (vk) {
    case host::VK_UP:
        n = std::max(1, nOld - 1);
        break;
    case host::VK_DOWN:
        n = std::min(c, nOld + 1);
        break;
    case host::VK_HOME:
        n = 1;
        break;
    case host::VK_END:
        n = c;
        break;
    default:
        return;
    }
    if (n != nOld) pList->Select(n);
}

void SkinWindow::RadioKey(SKINCONTROL* pRadio, bool fBackward) {
    mem::vector<SKINCONTROL*> same{MEM_TAG("SKINCONTROL")};
    std::size_t i = 0;
    for (SKINCONTROL* pEach : controls_) {
        if (pEach->pInset_ != pRadio->pInset_) continue;
        if (pEach == pRadio) i = same.size();
        same.push_back(pEach);
    }
    // The group: radio buttons from its start to the next start or the next other control.
    std::size_t lo = i, hi = i;
    while (lo > 0 && !same[lo]->fGroupStart_ && same[lo - 1]->nKind_ == CT_RBUTTON)
        --lo;
    while (hi + 1 < same.size() && same[hi + 1]->nKind_ == CT_RBUTTON &&
           !same[hi + 1]->fGroupStart_)
        ++hi;
    const std::size_t c = hi - lo + 1;
    for (std::size_t k = 1; k < c; ++k) {
        const std::size_t j = lo + (fBackward ? (i - lo + c - k) % c : (i - lo + k) % c);
        SKINCONTROL* pNext = same[j];
        if (!pNext->fEnabled_ || !pNext->fVisible_) continue;
        SetFocusTo(pNext);
        Click(pNext, {});
        return;
    }
}
