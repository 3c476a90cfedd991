#include "gameui/tutorial.h"

#include "anim/cea_object.h"
#include "anim/cea_window.h"
#include "foundation/memmgr.h"
#include "foundation/tl_language.h"
#include "game/board.h"
#include "gameui/display.h"
#include "gameui/human.h"
#include "gameui/resource.h"
#include "host/dialog.h"
#include "host/resource.h"
#include "host/window.h"

#include <string_view>

using namespace host;

namespace {

// The strip's pace, the main board's.
constexpr double kFramesPerSecond = 30.0;

struct PAGE {
    UINT idText;
    int rgnPiece[cStripCells];
};

constexpr int B = PIECE_BLUE;
constexpr int R = PIECE_RED;
constexpr int G = PIECE_GREEN;
constexpr int E = PIECE_NONE;

constexpr PAGE kaPage[cTutorialPages] = {
    {IDS_PAGE0, {E, E, B, E, E, E}}, {IDS_PAGE1, {E, B, B, E, B, E}},
    {IDS_PAGE2, {B, B, R, E, R, E}}, {IDS_PAGE3, {E, B, B, B, R, E}},
    {IDS_PAGE4, {B, B, E, R, E, B}}, {IDS_PAGE5, {E, E, E, E, E, E}},
    {IDS_PAGE6, {R, E, B, B, G, E}},
};

// The goals page shows each kind of goal.
constexpr int iGoalsPage = cTutorialPages - 2;
constexpr int kanGoalKinds[cStripCells] = {KIND_BLUEGOAL, KIND_PLAIN, KIND_GOAL,
                                           KIND_GOAL,     KIND_PLAIN, KIND_REDGOAL};

struct TUTORIAL {
    HWND hDlg = nullptr;
    AnimWindow* pWindow = nullptr;
    HWND hwndStrip = nullptr;
    BoardDisplay* pDisplay = nullptr;
    STRIP strip = {};
    int cInStylus = 0; // nesting of the stylus handler, which plays moves to the end
    int idHeld = 0;    // a command that came while a move played
};

TUTORIAL s_tutorial;
TutorialOpenHook s_pfnOpenHook = nullptr;

// The strip's window while it lives.
AnimWindow* StripWindow() {
    const TUTORIAL& t = s_tutorial;
    if (t.pWindow == nullptr || AnimWindow::FromHandle(t.hwndStrip) != t.pWindow) return nullptr;
    return t.pWindow;
}

void SetText(HWND hwnd, const cetl::string& str) {
    SetWindowText(hwnd, std::u16string_view(str.Text(), static_cast<std::size_t>(str.Length())));
}

void SetItemText(HWND hDlg, int id, UINT idText) {
    cetl::string str;
    cetl::LoadText(idText, str);
    SetText(GetDlgItem(hDlg, id), str);
}

int TutorialCallback(AnimWindow* pWindow, int nEvent, LPARAM lParam1, LPARAM lParam2) {
    BoardDisplay* pDisplay = s_tutorial.pDisplay;
    switch (nEvent) {
    case ANIMEVENT_BACKGROUND: {
        Graphic* pBackground = pWindow->GetBackground();
        if (pBackground == nullptr) break;
        pWindow->FillBackground(0, nullptr);
        if (pDisplay != nullptr) {
            for (int x = 0; x < cStripCells; ++x)
                pDisplay->DrawCellKind(pBackground, x, 0, s_tutorial.strip.aCell[x].nKind);
        }
        pWindow->InvalidateAll();
        break;
    }
    case ANIMEVENT_TIMELINE:
        if (pDisplay != nullptr) return pDisplay->OnTimelineEvent(lParam1, lParam2);
        break;
    case ANIMEVENT_DESTROY:
        while (AnimObject* pObject = pWindow->NextObject(nullptr))
            MemDelete(pObject);
        break;
    default:
        break;
    }
    return 1;
}

// The stylus handler of the strip, which tells the dialog when a move has played out.
int StripHook(AnimWindow* pWindow, HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    TUTORIAL& t = s_tutorial;
    // Touches that arrive while a move plays would start a move inside it.
    const bool fTouch =
        uMsg == WM_LBUTTONDOWN || uMsg == WM_LBUTTONDBLCLK || uMsg == WM_RBUTTONDOWN;
    if (t.cInStylus > 0 && fTouch) return 0;
    ++t.cInStylus;
    HandleStylus(t.pDisplay, pWindow, hwnd, uMsg, wParam, lParam);
    --t.cInStylus;
    if (t.cInStylus == 0 && t.idHeld != 0) {
        // Carried out from the dialog's own message, not inside the strip's.
        if (IsWindow(t.hDlg)) PostMessage(t.hDlg, WM_COMMAND, MAKEWPARAM(t.idHeld, 0), 0);
        t.idHeld = 0;
    }
    return 0;
}

// The page's chain of texts. The practice instruction that follows the breaking page's chain
// in the string table is left out: added, that page no longer fits its text control in
// either language.
cetl::string PageText(int iPage) {
    cetl::string str;
    cetl::LoadText(kaPage[iPage].idText, str);
    return str;
}

void ShowPage(HWND hDlg, int iPage) {
    if (iPage < 0) return;
    if (iPage >= cTutorialPages) {
        EndDialog(hDlg, IDOK);
        return;
    }
    TUTORIAL& t = s_tutorial;
    SetWindowLongPtr(hDlg, DWLP_USER, iPage);

    HWND hwndBack = GetDlgItem(hDlg, IDC_BACK);
    // The keyboard must not be left on a button that no longer works.
    if (iPage == 0 && GetFocus() == hwndBack) SetFocus(GetDlgItem(hDlg, IDC_FORWARD));
    EnableWindow(hwndBack, iPage != 0 ? TRUE : FALSE);
    const bool fLast = iPage == cTutorialPages - 1;
    SetItemText(hDlg, IDC_HINT, fLast ? IDS_CLOSE_HINT : IDS_NEXT_HINT);
    SetItemText(hDlg, IDC_FORWARD, fLast ? IDS_CLOSE : IDS_NEXT);
    SetText(GetDlgItem(hDlg, IDC_PAGE_TEXT), PageText(iPage));

    for (int x = 0; x < cStripCells; ++x) {
        t.strip.aCell[x].nPiece = kaPage[iPage].rgnPiece[x];
        t.strip.aCell[x].nKind = iPage == iGoalsPage ? kanGoalKinds[x] : KIND_PLAIN;
    }
    AnimWindow* pWindow = StripWindow();
    if (pWindow == nullptr || t.pDisplay == nullptr) return;
    // A piece held on the old page has nowhere to go.
    CancelStylusDrag();
    pWindow->BeginUpdate();
    pWindow->InvalidateAll();
    TutorialCallback(pWindow, ANIMEVENT_BACKGROUND, 0,
                     reinterpret_cast<LPARAM>(pWindow->GetBackground()));
    t.pDisplay->RebuildPieces(t.strip);
    pWindow->EndUpdate();
}

void StartTutorial(HWND hDlg) {
    TUTORIAL& t = s_tutorial;
    t = TUTORIAL{};
    t.hDlg = hDlg;
    t.hwndStrip = GetDlgItem(hDlg, IDC_ANIM);
    t.pWindow = AnimWindow::FromHandle(t.hwndStrip);
    if (t.pWindow != nullptr) {
        t.pWindow->SetCallback(&TutorialCallback);
        t.pWindow->SetFrameRate(kFramesPerSecond);
        t.pDisplay = MemNew(BoardDisplay, t.pWindow, &t.strip);
        t.pWindow->AddHook(&StripHook, HOOK_MOUSE);
        t.pWindow->SetData(0, &t.strip);
    }
    ShowPage(hDlg, 0);
    cetl::string strTitle;
    cetl::LoadText(IDS_TUTORIAL_TITLE, strTitle);
    SetText(hDlg, strTitle);
}

void EndTutorial() {
    TUTORIAL& t = s_tutorial;
    if (AnimWindow* pWindow = StripWindow()) {
        CancelStylusDrag();
        pWindow->RemoveHook(&StripHook);
        pWindow->SetData(0, nullptr);
    }
    if (t.pDisplay != nullptr) MemDelete(t.pDisplay);
    // The window's objects go with it (event 0); the callback finds no display then.
    t.pDisplay = nullptr;
    t.hDlg = nullptr;
}

void OnCommand(HWND hDlg, int id) {
    TUTORIAL& t = s_tutorial;
    if (t.cInStylus > 0) {
        // A close outranks paging; paging keeps the latest request.
        if (t.idHeld != IDOK && t.idHeld != IDCANCEL) t.idHeld = id;
        return;
    }
    const int iPage = static_cast<int>(GetWindowLongPtr(hDlg, DWLP_USER));
    switch (id) {
    case IDC_BACK:
        ShowPage(hDlg, iPage - 1);
        break;
    case IDC_FORWARD:
        ShowPage(hDlg, iPage + 1);
        break;
    default: // IDOK, IDCANCEL
        EndDialog(hDlg, id);
        break;
    }
}

INT_PTR TutorialProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
    switch (uMsg) {
    case WM_INITDIALOG:
        StartTutorial(hDlg);
        // The keyboard starts on the strip, not on a button: Enter closes (IDOK) until a
        // button is chosen.
        SendMessage(hDlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(hDlg, IDC_ANIM)),
                    TRUE);
        if (s_pfnOpenHook != nullptr) s_pfnOpenHook(hDlg);
        return FALSE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id != IDC_BACK && id != IDC_FORWARD && id != IDOK && id != IDCANCEL) return FALSE;
        OnCommand(hDlg, id);
        return TRUE;
    }
    case WM_DESTROY:
        if (hDlg == s_tutorial.hDlg) EndTutorial();
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR RunTutorial(HINSTANCE hInstance, HWND hwndOwner) {
    if (s_tutorial.hDlg != nullptr && IsWindow(s_tutorial.hDlg)) return -1;
    return DialogBoxParam(hInstance,
                          MAKEINTRESOURCEW(static_cast<WORD>(cetl::GetDialogId(IDD_TUTORIAL))),
                          hwndOwner, &TutorialProc, 0);
}

HWND TutorialWindow() {
    return s_tutorial.hDlg != nullptr && IsWindow(s_tutorial.hDlg) ? s_tutorial.hDlg : nullptr;
}

void SetTutorialOpenHook(TutorialOpenHook pfn) {
    s_pfnOpenHook = pfn;
}
