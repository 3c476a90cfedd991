// Reading a dialog template's controls through a hidden dialog.
#include "skin/skin_inset.h"

#include "host/controls.h"
#include "host/dialog.h"
#include "host/resource.h"
#include "skin/skin.h"

#include <algorithm>
#include <cstring>

using namespace host;

namespace {

constexpr int kcchClassMax = 256;

INT_PTR HiddenDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

bool SameText(const cetl::string& str, const CHAR* psz) {
    return cetl::istring(str).Compare(cetl::string(psz)) == 0;
}

bool StartsWithText(const cetl::string& str, const CHAR* pszPrefix) {
    int cch = static_cast<int>(std::strlen(pszPrefix));
    return str.Length() >= cch && SameText(str.Substring(0, cch), pszPrefix);
}

cetl::string ClassOf(HWND hwnd) {
    CHAR szClass[kcchClassMax + 1] = {};
    GetClassName(hwnd, szClass, kcchClassMax + 1);
    return cetl::string(szClass);
}

cetl::string TextOf(HWND hwnd) {
    // The window's own units are never fewer than its text's 16-bit units.
    int cch = std::max(GetWindowTextLength(hwnd), 0);
    mem::vector<WCHAR> buffer(static_cast<std::size_t>(cch) + 1, WCHAR(0), MEM_TAG("WCHAR"));
    GetWindowText(hwnd, buffer.data(), cch + 1);
    return cetl::string(buffer.data());
}

// The "CLASS:" / "USER:" / "USER" texts of statics name the control they stand for.
void ApplyStaticAlias(cetl::string* pstrClass, cetl::string* pstrText) {
    if (!SameText(*pstrClass, "static")) return;
    if (StartsWithText(*pstrText, "CLASS:")) {
        *pstrClass = pstrText->Substring(6);
        pstrText->Empty();
    } else if (StartsWithText(*pstrText, "USER:")) {
        *pstrClass = "user";
        *pstrText = pstrText->Substring(5);
    } else if (SameText(*pstrText, "USER")) {
        *pstrClass = "user";
        pstrText->Empty();
    }
}

} // namespace

int SkinKindFromClass(const cetl::string& strClass, DWORD dwStyle) {
    if (SameText(strClass, "button")) {
        switch (dwStyle & BS_TYPEMASK) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
            return CT_CBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return CT_RBUTTON;
        default:
            return CT_PBUTTON;
        }
    }
    if (SameText(strClass, "static")) return CT_TEXT;
    if (SameText(strClass, "msctls_progress32") || SameText(strClass, "msctls_progress") ||
        SameText(strClass, "progress"))
        return CT_PBAR;
    if (SameText(strClass, "scrollbar")) return (dwStyle & SBS_VERT) ? CT_VSCROLL : CT_HSCROLL;
    if (SameText(strClass, "user")) return CT_USER;
    if (SameText(strClass, "edit")) return CT_EDIT;
    if (SameText(strClass, "listbox")) return CT_LIST;
    return -1;
}

int SkinNextFreeId(std::span<const int> usedIds, std::size_t cControls) {
    // Only usedIds.size() ids can be taken, so this ends within that many steps.
    long long nId = kSkinFirstFreeId + static_cast<long long>(cControls);
    while (std::find(usedIds.begin(), usedIds.end(), nId) != usedIds.end())
        ++nId;
    return static_cast<int>(nId);
}

bool ReadTemplateControls(HINSTANCE hInstance, int nTemplateId, std::span<const int> usedIds,
                          SKININSET* pInset) {
    pInset->dwStyle = 0;
    pInset->sizeClient = {0, 0};
    pInset->controls.clear();
    pInset->iFirstTabStop = -1;

    DialogTemplate dialogTemplate;
    if (FindResource(hInstance, ResName(nTemplateId), ResName(RT_DIALOG)) == nullptr ||
        !LoadDialogTemplate(hInstance, ResName(nTemplateId), GetResourceLanguage(),
                            &dialogTemplate))
        return false;
    // Never shown, whatever the template says.
    dialogTemplate.dwStyle &= ~WS_VISIBLE;
    HWND hDlg = CreateDialogIndirectParam(hInstance, dialogTemplate, nullptr, HiddenDialogProc, 0);
    if (hDlg == nullptr) return false;

    pInset->dwStyle = dialogTemplate.dwStyle;
    RECT rcClient{};
    GetClientRect(hDlg, &rcClient);
    pInset->sizeClient = {rcClient.right - rcClient.left, rcClient.bottom - rcClient.top};

    // The walk's own controls count towards the used ids and the control count.
    mem::vector<int> ids(usedIds.begin(), usedIds.end(), MEM_TAG("int"));
    bool fAfterRadio = false;
    for (HWND hChild = GetWindow(hDlg, GW_CHILD); hChild != nullptr;
         hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        SKININSETCONTROL control{};
        control.strClass = ClassOf(hChild);
        control.strText = TextOf(hChild);
        control.dwStyle = static_cast<DWORD>(GetWindowLong(hChild, GWL_STYLE));
        bool fButton = SameText(control.strClass, "button");
        ApplyStaticAlias(&control.strClass, &control.strText);
        control.nKind = SkinKindFromClass(control.strClass, control.dwStyle);
        bool fRadio = control.nKind == CT_RBUTTON;
        control.fGroupStart = fRadio && !fAfterRadio;
        fAfterRadio = fRadio;
        if (control.nKind < 0) continue;

        int nId = static_cast<int>(GetWindowLong(hChild, GWL_ID));
        if (nId == -1 || nId == 0xFFFF || std::find(ids.begin(), ids.end(), nId) != ids.end())
            nId = SkinNextFreeId(ids, ids.size());
        control.nId = nId;
        ids.push_back(nId);

        RECT rc{};
        GetWindowRect(hChild, &rc);
        POINT ptTopLeft{rc.left, rc.top}, ptBottomRight{rc.right, rc.bottom};
        ScreenToClient(hDlg, &ptTopLeft);
        ScreenToClient(hDlg, &ptBottomRight);
        control.rc = {ptTopLeft.x, ptTopLeft.y, ptBottomRight.x, ptBottomRight.y};
        control.fEnabled = IsWindowEnabled(hChild) != FALSE;
        control.fChecked =
            fButton && SendMessage(hChild, BM_GETCHECK, 0, 0) == static_cast<LRESULT>(BST_CHECKED);
        if (pInset->iFirstTabStop < 0 && (control.dwStyle & WS_TABSTOP))
            pInset->iFirstTabStop = static_cast<int>(pInset->controls.size());
        pInset->controls.push_back(std::move(control));
    }
    DestroyWindow(hDlg);
    return true;
}
