// The skinned message box.
#include "skin/skin_msgbox.h"

#include "foundation/tl_language.h"
#include "host/controls.h"
#include "host/debug.h"
#include "host/msgbox.h"
#include "host/screen.h"
#include "skin/skin_window.h"

#include <algorithm>
#include <string>

namespace {

constexpr int kMargin = 16;   // around the contents, and between icon and text
constexpr int kButtonGap = 8; // between buttons
constexpr int kTextMinimum = 200;
constexpr int kButtonMinimum = 40, kButtonMaximum = 74;
constexpr int kLabelPad = 6; // right of a label, beyond the skin's right text border
constexpr int kMaxButtons = 3;

struct MSGBOXSTATE {
    int rgnIds[kMaxButtons] = {};
    int cButtons = 0;
    bool fClosable = false;
};

const CHAR* ButtonLabel(int nId) {
    const bool fEnglish = cetl::GetLanguageId() == cetl::kLanguageEnglish;
    switch (nId) {
    case host::IDOK:
        return fEnglish ? "OK" : "Akceptu";
    case host::IDCANCEL:
        return fEnglish ? "Cancel" : "Nuligu";
    case host::IDYES:
        return fEnglish ? "Yes" : "Jes";
    case host::IDNO:
        return fEnglish ? "No" : "Ne";
    default:
        return "";
    }
}

const CHAR* IconPicture(UINT uIcon) {
    switch (uIcon) {
    case host::MB_ICONHAND:
    case host::MB_ICONEXCLAMATION:
        return "icon-alert";
    case host::MB_ICONQUESTION:
        return "icon-question";
    case host::MB_ICONASTERISK:
        return "icon-info";
    default:
        return nullptr;
    }
}

INT_PTR MessageBoxProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM) {
    if (uMsg != host::WM_COMMAND) return 0;
    SkinWindow* pWindow = SkinWindow::FromHandle(hwnd);
    if (pWindow == nullptr || pWindow->MainInset() == nullptr) return 0;
    const auto* pState = reinterpret_cast<const MSGBOXSTATE*>(pWindow->MainInset()->lUser);
    const int nId = host::LOWORD(wParam);
    bool fOurs = nId == host::IDCANCEL && pState->fClosable;
    for (int i = 0; i < pState->cButtons; ++i)
        fOurs = fOurs || pState->rgnIds[i] == nId;
    if (fOurs) pWindow->Close(nId);
    return 0;
}

// The icon's user-drawn control shows the one cell of its picture.
LRESULT IconProc(SKINCONTROL* pControl, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg != SKINCB_DRAW || wParam == 0 || lParam == 0) return 0;
    SKINDRAWCONTEXT ctx;
    ctx.pDest = reinterpret_cast<Graphic*>(wParam);
    ctx.rcClip = *reinterpret_cast<const RECT*>(lParam);
    ctx.pSkin = pControl->Window()->Skin();
    // A normal box state is cell 0: the icon's only cell, at the control's top left.
    SkinDrawBox(ctx, pControl->Picture(), pControl->Rect(), SKINDRAWSTATE{});
    return 0;
}

// The height one line of a control's font takes.
int LineHeight(SKIN* pSkin, const SKINCONTROLSETTINGS& settings) {
    SKINDRAWCONTEXT ctx;
    ctx.pSkin = pSkin;
    SKINCONTROLSETTINGS bare = settings;
    bare.nLeftBorder = bare.nTopBorder = bare.nRightBorder = bare.nBottomBorder = 0;
    return SkinDrawText(ctx, "Ag", {0, 0, 1000, 1000}, bare, true, SKINTEXT_NOPREFIX);
}

// The height the text takes in a static control cxText wide, its borders included.
int TextHeight(SKINCONTROL* pText, int cxText) {
    SKINDRAWCONTEXT ctx;
    ctx.pSkin = pText->Window()->Skin();
    const SKINCONTROLSETTINGS& s = pText->Settings();
    const int cy = SkinDrawText(ctx, pText->Text(), {0, 0, cxText, 0x3FFFFFFF}, s, true,
                                SKINTEXT_MEASURE | SKINTEXT_WRAP);
    return cy + s.nTopBorder + s.nBottomBorder;
}

// The host's message box form: "message box: <title>", the text, the labels in brackets.
void Announce(const cetl::string& strTitle, const cetl::string& strText, const MSGBOXSTATE& state) {
    std::string box = "message box: ";
    box += strTitle.Text8();
    box += "\n";
    box += strText.Text8();
    box += "\n";
    for (int i = 0; i < state.cButtons; ++i) {
        if (i > 0) box += " ";
        box += "[";
        box += ButtonLabel(state.rgnIds[i]);
        box += "]";
    }
    box += "\n";
    host::OutputDebugString(box);
}

} // namespace

int SkinMessageBox(SKIN* pSkin, UINT uFlags, const cetl::string& strTitle,
                   const cetl::string& strText) {
    MSGBOXSTATE state;
    const UINT uButtons = uFlags & host::MB_TYPEMASK;
    switch (uButtons) {
    case host::MB_OKCANCEL:
        state.rgnIds[0] = host::IDOK;
        state.rgnIds[1] = host::IDCANCEL;
        state.cButtons = 2;
        break;
    case host::MB_YESNO:
        state.rgnIds[0] = host::IDYES;
        state.rgnIds[1] = host::IDNO;
        state.cButtons = 2;
        break;
    case host::MB_YESNOCANCEL:
        state.rgnIds[0] = host::IDYES;
        state.rgnIds[1] = host::IDNO;
        state.rgnIds[2] = host::IDCANCEL;
        state.cButtons = 3;
        break;
    default:
        state.rgnIds[0] = host::IDOK;
        state.cButtons = 1;
        break;
    }
    state.fClosable = uButtons != host::MB_YESNO;
    const int iDefault = static_cast<int>((uFlags & host::MB_DEFMASK) >> 8);
    const int nDefault = state.rgnIds[iDefault < state.cButtons ? iDefault : 0];
    Announce(strTitle, strText, state);
    if (pSkin == nullptr) return 0;

    const cetl::string strName("Message");
    SkinWindow window(pSkin, strName, MessageBoxProc, nullptr, 0, reinterpret_cast<LPARAM>(&state),
                      host::GetActiveWindow());
    if (window.Handle() == nullptr) return 0;
    window.SetRedraw(false);
    RECT rcWork = {};
    host::SystemParametersInfo(host::SPI_GETWORKAREA, 0, &rcWork, 0);

    if (state.fClosable) {
        SKINCONTROL* pClose = window.AddControl(CT_FRAME_CLOSE, SKIN_CLOSE_ID, nullptr);
        pClose->SetPlacement(SKINPLACE_COMPUTED | SKINPLACE_FAR, 0, SKIN_KEEP, SKINPLACE_COMPUTED,
                             0, SKIN_KEEP);
    }

    int cxIcon = 0, cyIcon = 0;
    if (const CHAR* pszIcon = IconPicture(uFlags & host::MB_ICONMASK); pszIcon != nullptr) {
        if (SKINCONTROLGRAPHICS* pIcon = pSkin->Graphics(pszIcon, SKIN_GRID(1, 1), strName)) {
            cxIcon = pIcon->CellWidth();
            cyIcon = pIcon->CellHeight();
            SKINCONTROL* pControl = window.AddControl(CT_USER, SKINMSGBOX_ICON_ID, nullptr);
            pControl->SetPicture(pIcon);
            pControl->SetPlacement(0, kMargin, cxIcon, 0, kMargin, cyIcon);
            pControl->SetCallback(IconProc);
        }
    }
    const int xText = cxIcon > 0 ? kMargin + cxIcon + kMargin : kMargin;

    // Buttons: one width for all, from the widest label.
    SKINCONTROL* rgpButtons[kMaxButtons] = {};
    int cxNeed = 0, cyButton = 0;
    SKINDRAWCONTEXT measure;
    measure.pSkin = pSkin;
    for (int i = 0; i < state.cButtons; ++i) {
        const int nId = state.rgnIds[i];
        SKINCONTROL* pButton = window.AddControl(CT_PBUTTON, nId, nullptr);
        rgpButtons[i] = pButton;
        const cetl::string strLabel(ButtonLabel(nId));
        pButton->SetText(strLabel);
        pButton->SetStyle(host::WS_TABSTOP |
                          (nId == nDefault ? host::BS_DEFPUSHBUTTON : host::BS_PUSHBUTTON));
        const SKINCONTROLSETTINGS& s = pButton->Settings();
        const int cxLabel = SkinTextWidth(measure, s, strLabel, strLabel.Length());
        cxNeed = std::max(cxNeed, s.nLeftBorder + cxLabel + std::max(s.nRightBorder, kLabelPad));
        const int cyCell = pButton->Picture() != nullptr ? pButton->Picture()->CellHeight() : 0;
        cyButton =
            std::max({cyButton, cyCell, LineHeight(pSkin, s) + s.nTopBorder + s.nBottomBorder});
    }
    const int cxButton = std::clamp(cxNeed, kButtonMinimum, kButtonMaximum);
    if (cxNeed > kButtonMaximum) {
        // The label moves left into the text border rather than out of the button.
        for (int i = 0; i < state.cButtons; ++i) {
            const SKINCONTROLSETTINGS s = rgpButtons[i]->Settings();
            const int nLeft = std::max(0, s.nLeftBorder - (cxNeed - kButtonMaximum));
            const std::string strBorders =
                "pbutton text border =\npbutton text xborder =\npbutton text yborder =\n"
                "pbutton text lborder = " +
                std::to_string(nLeft) +
                "\npbutton text rborder = " + std::to_string(s.nRightBorder) +
                "\npbutton text tborder = " + std::to_string(s.nTopBorder) +
                "\npbutton text bborder = " + std::to_string(s.nBottomBorder) + "\n";
            rgpButtons[i]->SetProperties(cetl::string(strBorders.c_str()));
        }
    }
    const int cxRow = state.cButtons * cxButton + (state.cButtons - 1) * kButtonGap;

    // The text column: the room the window leaves, at least 200; measured, then sized.
    SKINCONTROL* pText = window.AddControl(CT_TEXT, SKINMSGBOX_TEXT_ID, nullptr);
    pText->SetText(strText);
    const int cxInner = std::max(xText + kTextMinimum + kMargin, cxRow + 2 * kMargin);
    const int cxText = std::max(kTextMinimum, cxInner - xText - kMargin);
    const int cyText = TextHeight(pText, cxText);
    const int cyInner = std::max(kMargin + cyText, kMargin + cyIcon) + kMargin + cyButton + kMargin;

    const SKINWINDOWSETTINGS& frame = window.Frame().Settings();
    const int cx = cxInner + frame.nLeftBorder + frame.nRightBorder;
    const int cy = cyInner + frame.nTopBorder + frame.nBottomBorder;
    host::SetWindowPos(window.Handle(), nullptr,
                       rcWork.left + (rcWork.right - rcWork.left - cx) / 2,
                       rcWork.top + (rcWork.bottom - rcWork.top - cy) / 2, cx, cy,
                       host::SWP_NOZORDER | host::SWP_NOACTIVATE);
    pText->SetPlacement(0, xText, cxText, 0, kMargin, cyText);
    for (int i = 0; i < state.cButtons; ++i)
        rgpButtons[i]->SetPlacement(SKINPLACE_COMPUTED | SKINPLACE_FAR,
                                    kMargin + i * (cxButton + kButtonGap), cxButton,
                                    SKINPLACE_COMPUTED | SKINPLACE_FAR, kMargin, cyButton);
    window.FocusControl(nDefault);
    window.SetText(strTitle);
    window.SetRedraw(true);
    return static_cast<int>(window.RunModal());
}
