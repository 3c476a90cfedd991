#include "gameui/menu.h"

#include "anim/cea_window.h"
#include "foundation/aux_control.h"
#include "foundation/memmgr.h"
#include "foundation/tl_language.h"
#include "game/game.h"
#include "game/settings.h"
#include "gameui/graphics.h"
#include "gameui/resource.h"
#include "host/dialog.h"
#include "host/resource.h"

#include <string_view>

using namespace host;

namespace {

constexpr UINT kanCommand[cMenuButtons] = {IDM_UNDO,     IDM_REDO,     IDM_NEWGAME,
                                           IDM_TUTORIAL, IDM_LANGUAGE, IDM_EXIT};

struct BOARDTEXTS {
    UINT nName;
    UINT nDescription;
};
// By layout index, the order of the dialog's list.
constexpr BOARDTEXTS kaBoard[] = {
    {IDS_BOARD_CLASSIC, IDS_DESC_CLASSIC}, {IDS_BOARD_HILL, IDS_DESC_HILL},
    {IDS_BOARD_FLAG, IDS_DESC_FLAG},       {IDS_BOARD_BATTLE1, IDS_DESC_BATTLE1},
    {IDS_BOARD_BATTLE2, IDS_DESC_BATTLE2}, {IDS_BOARD_BATTLE3, IDS_DESC_BATTLE3},
    {IDS_BOARD_TUG, IDS_DESC_TUG},
};
constexpr int cBoards = static_cast<int>(sizeof(kaBoard) / sizeof(kaBoard[0]));

// The controls that only mean something against the computer.
constexpr int kaidComputerOnly[] = {IDC_STRENGTH_LABEL, IDC_LOW,  IDC_MEDIUM, IDC_HIGH,
                                    IDC_COLOR_LABEL,    IDC_BLUE, IDC_RED,    IDC_STRENGTH,
                                    IDC_COLOR};

struct MENU {
    AuxButton* rgpButton[cMenuButtons] = {};
    HWND hwndMain = nullptr;
    CancelDragFunc pfnCancelDrag = nullptr;
    bool fControl = false;
};

MENU s_menu;

// The buttons notify with the animated window's handle; the commands belong to the main
// window.
LRESULT ButtonTarget(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (s_menu.hwndMain == nullptr || !IsWindow(s_menu.hwndMain)) return 0;
    return SendMessage(s_menu.hwndMain, uMsg, wParam, lParam);
}

void SetText(HWND hDlg, int id, UINT nText) {
    cetl::string str;
    cetl::LoadText(nText, str);
    SetDlgItemText(hDlg, id,
                   std::u16string_view(str.Text(), static_cast<std::size_t>(str.Length())));
}

bool IsChecked(HWND hDlg, int id) {
    return IsDlgButtonChecked(hDlg, id) == BST_CHECKED;
}

int SelectedBoard(HWND hDlg) {
    const LRESULT i = SendDlgItemMessage(hDlg, IDC_BOARD, CB_GETCURSEL, 0, 0);
    return i >= 0 && i < cBoards ? static_cast<int>(i) : 0;
}

void UpdateNewGame(HWND hDlg) {
    const BOOL fComputer = IsChecked(hDlg, IDC_COMPUTER) ? TRUE : FALSE;
    for (int id : kaidComputerOnly)
        EnableWindow(GetDlgItem(hDlg, id), fComputer);
    if (IsChecked(hDlg, IDC_LOW))
        SetText(hDlg, IDC_STRENGTH, IDS_LOW);
    else if (IsChecked(hDlg, IDC_MEDIUM))
        SetText(hDlg, IDC_STRENGTH, IDS_MEDIUM);
    else if (IsChecked(hDlg, IDC_HIGH))
        SetText(hDlg, IDC_STRENGTH, IDS_HIGH);
    if (IsChecked(hDlg, IDC_BLUE))
        SetText(hDlg, IDC_COLOR, IDS_BLUE);
    else if (IsChecked(hDlg, IDC_RED))
        SetText(hDlg, IDC_COLOR, IDS_RED);
    SetText(hDlg, IDC_DESCRIPTION, kaBoard[SelectedBoard(hDlg)].nDescription);
}

void StartNewGameDialog(HWND hDlg) {
    HWND hList = GetDlgItem(hDlg, IDC_BOARD);
    for (const BOARDTEXTS& board : kaBoard) {
        cetl::string str;
        cetl::LoadText(board.nName, str);
        SendMessage(hList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(str.Text()));
    }
    // A damaged or foreign value would select nothing; such a board is Classic.
    const int iBoard =
        g_settings.iBoard >= 0 && g_settings.iBoard < cBoards ? g_settings.iBoard : 0;
    SendMessage(hList, CB_SETCURSEL, static_cast<WPARAM>(iBoard), 0);
    CheckDlgButton(hDlg, IDC_MODERN, g_settings.fModern != 0 ? BST_CHECKED : BST_UNCHECKED);

    const PLAYERSETTING* aPlayer = g_settings.aPlayer;
    if (aPlayer[1].fComputer != 0 || aPlayer[0].fComputer != 0) {
        const int iComputer = aPlayer[1].fComputer != 0 ? 1 : 0;
        const int nLevel = aPlayer[iComputer].nLevel;
        CheckRadioButton(hDlg, IDC_HUMAN, IDC_COMPUTER, IDC_COMPUTER);
        CheckRadioButton(hDlg, IDC_LOW, IDC_HIGH,
                         nLevel < 2    ? IDC_LOW
                         : nLevel == 2 ? IDC_MEDIUM
                                       : IDC_HIGH);
        CheckRadioButton(hDlg, IDC_BLUE, IDC_RED, iComputer == 1 ? IDC_BLUE : IDC_RED);
    } else {
        CheckRadioButton(hDlg, IDC_HUMAN, IDC_COMPUTER, IDC_HUMAN);
        CheckRadioButton(hDlg, IDC_LOW, IDC_HIGH, IDC_MEDIUM);
        CheckRadioButton(hDlg, IDC_BLUE, IDC_RED, IDC_BLUE);
    }
    UpdateNewGame(hDlg);
    cetl::string strTitle;
    cetl::LoadText(IDS_NEWGAME_TITLE, strTitle);
    SetWindowText(
        hDlg, std::u16string_view(strTitle.Text(), static_cast<std::size_t>(strTitle.Length())));
}

void AcceptNewGame(HWND hDlg) {
    g_settings.iBoard = SelectedBoard(hDlg);
    g_settings.fModern = IsChecked(hDlg, IDC_MODERN) ? 1 : 0;
    if (IsChecked(hDlg, IDC_HUMAN)) {
        g_settings.aPlayer[0].fComputer = 0;
        g_settings.aPlayer[1].fComputer = 0;
    } else {
        const int iHuman = IsChecked(hDlg, IDC_BLUE) ? 0 : 1;
        PLAYERSETTING& computer = g_settings.aPlayer[1 - iHuman];
        g_settings.aPlayer[iHuman].fComputer = 0;
        computer.fComputer = 1;
        computer.nLevel = IsChecked(hDlg, IDC_LOW) ? 1 : IsChecked(hDlg, IDC_HIGH) ? 3 : 2;
    }
    // A failed write is not reported: the game starts with the choice anyway.
    WriteSettings();
    NewGame(g_settings.iBoard, g_settings.fModern);
    EndDialog(hDlg, IDOK);
}

INT_PTR NewGameProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
    if (uMsg == WM_INITDIALOG) {
        StartNewGameDialog(hDlg);
        return TRUE;
    }
    if (uMsg != WM_COMMAND) return FALSE;
    const int id = LOWORD(wParam);
    if (id == IDOK) {
        AcceptNewGame(hDlg);
    } else if (id == IDCANCEL) {
        EndDialog(hDlg, IDCANCEL);
    } else if ((id >= IDC_HUMAN && id <= IDC_RED) || id == IDC_BOARD) {
        UpdateNewGame(hDlg);
    } else {
        return FALSE;
    }
    return TRUE;
}

} // namespace

UINT MenuButtonCommand(int k) {
    return k >= 0 && k < cMenuButtons ? kanCommand[k] : 0;
}

void CreateButtonRow(AnimWindow* pWindow, HWND hwndMain) {
    DestroyButtonRow();
    s_menu.hwndMain = hwndMain;
    if (pWindow == nullptr) return;
    const LAYOUT& layout = GameLayout();
    for (int k = 0; k < cMenuButtons; ++k) {
        AuxButton* pButton =
            MemNew(AuxButton, pWindow, kanCommand[k], MENU_BUTTON_STYLE, DEPTH_MENUBUTTON);
        if (pButton == nullptr) continue;
        if (!pButton->IsValid()) {
            MemDelete(pButton);
            continue;
        }
        pButton->SetCommandTarget(&ButtonTarget);
        pButton->SetNotificationTarget(&ButtonTarget);
        pButton->SetPosition(layout.rgptButton[k].x, layout.rgptButton[k].y);
        pButton->Enable(TRUE);
        s_menu.rgpButton[k] = pButton;
    }
    AssignButtonPictures();
}

void AssignButtonPictures() {
    const int iLanguage = cetl::GetLanguageIndex() == 1 ? 1 : 0;
    const GAMEGRAPHICS& graphics = GameGraphics();
    for (int k = 0; k < cMenuButtons; ++k) {
        if (s_menu.rgpButton[k] == nullptr) continue;
        s_menu.rgpButton[k]->SetPictures(graphics.rgpButton[k][iLanguage][0],
                                         graphics.rgpButton[k][iLanguage][1]);
        s_menu.rgpButton[k]->Redraw();
    }
}

void DestroyButtonRow() {
    for (AuxButton*& pButton : s_menu.rgpButton) {
        if (pButton != nullptr) MemDelete(pButton);
        pButton = nullptr;
    }
}

int HeldButton() {
    for (int k = 0; k < cMenuButtons; ++k)
        if (s_menu.rgpButton[k] != nullptr && s_menu.rgpButton[k]->IsHeld()) return k;
    return -1;
}

AuxButton* MenuButton(int k) {
    return k >= 0 && k < cMenuButtons ? s_menu.rgpButton[k] : nullptr;
}

INT_PTR RunNewGameDialog(HINSTANCE hInstance, HWND hwndOwner) {
    return DialogBoxParam(hInstance,
                          MAKEINTRESOURCEW(static_cast<WORD>(cetl::GetDialogId(IDD_NEWGAME))),
                          hwndOwner, &NewGameProc, 0);
}

void SetCancelDrag(CancelDragFunc pfn) {
    s_menu.pfnCancelDrag = pfn;
}

bool HandleShortcutKey(HWND hwndMain, UINT uMsg, UINT vk) {
    // The key state is that of the input posted so far, which may be ahead of this message:
    // Control is followed in message order as well.
    if (vk == VK_CONTROL) {
        if (uMsg == WM_KEYDOWN || uMsg == WM_KEYUP) s_menu.fControl = uMsg == WM_KEYDOWN;
        return false;
    }
    if (uMsg != WM_KEYDOWN) return false;
    UINT nCommand = 0;
    const bool fControl = s_menu.fControl || (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    if (fControl && vk == 'Z')
        nCommand = IDM_UNDO;
    else if (fControl && vk == 'Y')
        nCommand = IDM_REDO;
    else if (vk == VK_F1 + 1)
        nCommand = IDM_NEWGAME;
    else if (vk != VK_ESCAPE)
        return false;
    // A modal dialog owns the keyboard while it disables the main window.
    if (hwndMain == nullptr || !IsWindowEnabled(hwndMain)) return true;
    if (s_menu.pfnCancelDrag != nullptr) s_menu.pfnCancelDrag();
    if (nCommand != 0) SendMessage(hwndMain, WM_COMMAND, MAKEWPARAM(nCommand, 0), 0);
    return true;
}
