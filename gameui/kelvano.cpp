#include "gameui/kelvano.h"

#include "anim/cea_display.h"
#include "anim/cea_main.h"
#include "anim/cea_window.h"
#include "foundation/gl_subclass.h"
#include "foundation/memmgr.h"
#include "foundation/tl_language.h"
#include "game/computer.h"
#include "game/game.h"
#include "game/history.h"
#include "game/settings.h"
#include "gameui/display.h"
#include "gameui/graphics.h"
#include "gameui/human.h"
#include "gameui/logo.h"
#include "gameui/menu.h"
#include "gameui/resource.h"
#include "gameui/sounds.h"
#include "gameui/tutorial.h"
#include "host/dialog.h"
#include "host/error.h"
#include "host/msgbox.h"
#include "host/resource.h"
#include "host/screen.h"
#include "host/window.h"

#include <cstdlib>

using namespace host;

namespace {

constexpr TCHAR kszInstanceName[] = TEXT("Kelvano CE");
constexpr TCHAR kszClassName[] = TEXT("KelvanoClass");
constexpr double kFramesPerSecond = 30.0;
constexpr int kcxMain = 240;
constexpr int kcyMain = 294;

struct PROGRAM {
    HINSTANCE hInstance = nullptr;
    HWND hwndMain = nullptr;
    AnimWindow* pAnim = nullptr;
    BoardDisplay* pDisplay = nullptr;
    bool fFirstStart = false;
    bool fOtherInstance = false;
    bool fSearchReady = false;
    KELVANORUN run;
    LONG iDemoRestart = -1; // the frame of the demo's next game, -1 while none is due
};

PROGRAM s_program;

// ---- Entry points of later parts ---------------------------------------------------------
// Each is the place its part plugs into; until then it does nothing.

// The stylus handler of the main animated window (takes moves by dragging pieces).
int StylusHook(AnimWindow* pWindow, HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return HandleStylus(s_program.pDisplay, pWindow, hwnd, uMsg, wParam, lParam);
}
// The tutorial, modal over the main window.
void OpenTutorial() {
    RunTutorial(s_program.hInstance, s_program.hwndMain);
}

// ---- The button row and the keyboard ----------------------------------------------------

void OpenNewGameDialog() {
    RunNewGameDialog(s_program.hInstance, s_program.hwndMain);
}

// Keys reach the animated window when it has the focus, the main window otherwise.
int KeyboardHook(AnimWindow*, HWND, UINT uMsg, WPARAM wParam, LPARAM) {
    return HandleShortcutKey(s_program.hwndMain, uMsg, static_cast<UINT>(wParam)) ? 1 : 0;
}

// ---- Loading --------------------------------------------------------------------------------

// Called on the search's thread: the move goes to the user-interface thread by message.
void HandOverMove(void*, const MOVE* pMove) {
    if (s_program.hwndMain != nullptr)
        PostMessage(s_program.hwndMain, WM_COMPUTERMOVE, 0, reinterpret_cast<LPARAM>(pMove));
}

// The sounds, the search and the pictures; the result is that of the pictures (sounds never
// fail the start).
bool Loader() {
    LoadGameSounds(s_program.hInstance);
    s_program.fSearchReady = InitSearch(&HandOverMove, nullptr);
    return LoadGraphics(s_program.hInstance);
}

// ---- The animated window's callback ------------------------------------------------------

void DrawBackground(AnimWindow* pWindow, Graphic* pBackground) {
    if (pBackground == nullptr) return;
    Graphic* pBoard = GameGraphics().pBoard;
    if (!AreGraphicsLoaded() || pBoard == nullptr) {
        pWindow->FillBackground(0, nullptr);
        return;
    }
    pBoard->DrawTo(pBackground, 0, 0, 0, 0, pBoard->GetWidth(), pBoard->GetHeight());
    pWindow->InvalidateAll();
}

// The demo starts its next game a little while after each end.
void DemoAfterPaint(AnimWindow* pWindow) {
    if (g_game.fInProgress) {
        s_program.iDemoRestart = -1;
        return;
    }
    const LONG iFrame = pWindow->GetFrameCounter();
    if (s_program.iDemoRestart < 0) {
        s_program.iDemoRestart = iFrame + DEMO_PAUSE_FRAMES;
    } else if (iFrame >= s_program.iDemoRestart) {
        s_program.iDemoRestart = -1;
        PostMessage(s_program.hwndMain, WM_DEMONEXTGAME, 0, 0);
    }
}

int MainCallback(AnimWindow* pWindow, int nEvent, LPARAM lParam1, LPARAM lParam2) {
    BoardDisplay* pDisplay = s_program.pDisplay;
    switch (nEvent) {
    case ANIMEVENT_BACKGROUND:
        DrawBackground(pWindow, reinterpret_cast<Graphic*>(lParam2));
        break;
    case ANIMEVENT_PREUPDATE:
        if (pDisplay != nullptr) {
            pDisplay->AddRipple(true);
            pDisplay->AddRipple(false);
        }
        break;
    case ANIMEVENT_PAINTED:
        if (pDisplay != nullptr && pDisplay->IsComputerMayStart()) {
            pDisplay->ClearComputerMayStart();
            StartComputerTurn();
        }
        if (s_program.run.fDemo && pDisplay != nullptr) DemoAfterPaint(pWindow);
        break;
    case ANIMEVENT_TIMELINE:
        if (pDisplay != nullptr) return pDisplay->OnTimelineEvent(lParam1, lParam2);
        break;
    default:
        break;
    }
    return 1;
}

// ---- The main window ------------------------------------------------------------------------

void SetUpAnimWindow(HWND hwnd) {
    AnimWindow* pAnim = AnimWindow::FromHandle(GetDlgItem(hwnd, IDC_ANIM));
    s_program.pAnim = pAnim;
    if (pAnim != nullptr) {
        pAnim->SetCallback(&MainCallback);
        pAnim->AddHook(&StylusHook, HOOK_ALL);
        pAnim->AddHook(&KeyboardHook, HOOK_KEYBOARD);
        // A shortcut first cancels a drag in progress; Escape does only that.
        SetCancelDrag(&CancelStylusDrag);
        pAnim->SetFrameRate(kFramesPerSecond);
    }
    cetl::string strTitle;
    cetl::LoadText(IDS_TITLE, strTitle);
    SetWindowText(
        hwnd, std::u16string_view(strTitle.Text(), static_cast<std::size_t>(strTitle.Length())));
    SetWindowPos(hwnd, nullptr, 0, 0, kcxMain, kcyMain, SWP_NOZORDER);
    RECT rc;
    GetWindowRect(hwnd, &rc);
    SetWindowPos(GetDlgItem(hwnd, IDC_ANIM), nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void PlayUiSound(int nUiSound) {
    if (s_program.pDisplay != nullptr) s_program.pDisplay->PlayUiSound(nUiSound);
}

void SwitchLanguage() {
    AnimWindow* pAnim = s_program.pAnim;
    if (pAnim != nullptr) pAnim->BeginUpdate();
    cetl::SetLanguage(cetl::GetLanguageId() == 1033 ? 0 : 1033);
    if (s_program.pDisplay != nullptr) s_program.pDisplay->RefreshStatus();
    AssignButtonPictures();
    if (pAnim != nullptr) {
        pAnim->InvalidateAll();
        pAnim->EndUpdate();
    }
}

void OnCommand(HWND hwnd, WORD nId) {
    // Keys reach the main window during the logo, before any of the game exists: only
    // closing and coming to the front make sense then.
    if (IsLogoRunning() && nId != IDCANCEL && nId != IDM_FRONT) return;
    switch (nId) {
    case IDCANCEL:
        DestroyWindow(hwnd);
        break;
    case IDM_FRONT:
        cetl::GuiLibBringToFront(hwnd);
        break;
    case IDM_UNDO:
        PlayUiSound(CanUndo() ? UISOUND_CONFIRM : UISOUND_REFUSE);
        Undo();
        break;
    case IDM_REDO:
        PlayUiSound(CanRedo() ? UISOUND_CONFIRM : UISOUND_REFUSE);
        Redo();
        break;
    case IDM_NEWGAME:
        PlayUiSound(UISOUND_CONFIRM);
        OpenNewGameDialog();
        break;
    case IDM_TUTORIAL:
        PlayUiSound(UISOUND_CONFIRM);
        OpenTutorial();
        break;
    case IDM_LANGUAGE:
        PlayUiSound(UISOUND_CONFIRM);
        SwitchLanguage();
        break;
    case IDM_EXIT:
        PlayUiSound(UISOUND_CONFIRM);
        PostMessage(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        break;
    default:
        break;
    }
}

// Everything the start-up made, in the order that keeps each part's users alive.
void Shutdown() {
    // The logo and its loader end before anything they use goes.
    AbortLogo();
    if (s_program.fSearchReady) ShutdownSearch();
    s_program.fSearchReady = false;
    FreeGameSounds();
    DestroyButtonRow();
    if (s_program.pDisplay != nullptr) {
        s_program.pDisplay->RemoveTrays();
        SetDefaultPresenter(nullptr);
        MemDelete(s_program.pDisplay);
        s_program.pDisplay = nullptr;
    }
    // The framework's windows must let go of the game's palette before it goes.
    if (GetDisplay() != nullptr && GetDisplay()->GetSystemGroup() == GameGraphics().pPalette &&
        GameGraphics().pPalette != nullptr)
        GetDisplay()->SetSystemGroup(nullptr);
    FreeGraphics();
    FreeRecord();
    WriteSettings();
    s_program.pAnim = nullptr;
    s_program.hwndMain = nullptr;
    // No longer the running instance: one started now must not find a window that is gone.
    cetl::ReleaseRunningInstance(kszInstanceName);
}

INT_PTR MainProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_INITDIALOG:
        s_program.hwndMain = hwnd;
        cetl::PublishMainWindow(kszInstanceName, hwnd);
        SetUpAnimWindow(hwnd);
        break;
    case WM_COMMAND:
        if (HIWORD(wParam) == 2 || HIWORD(wParam) == 3)
            PlayUiSound(UISOUND_CLICK); // a button of the row pressed or released
        else
            OnCommand(hwnd, LOWORD(wParam));
        break;
    case WM_ACTIVATE:
        // Ignored until the animated window exists (the dialog activates while it is made).
        if (s_program.pAnim == nullptr) break;
        if (LOWORD(wParam) == WA_INACTIVE) {
            s_program.pAnim->SetPaused(TRUE);
        } else {
            s_program.pAnim->SetPaused(FALSE);
            cetl::GuiLibFullScreen(hwnd, false);
        }
        break;
    case WM_DESTROY:
        if (hwnd == s_program.hwndMain) Shutdown();
        break;
    case WM_KEYDOWN:
    case WM_KEYUP:
        HandleShortcutKey(hwnd, uMsg, static_cast<UINT>(wParam));
        break;
    case WM_COMPUTERMOVE:
        OnComputerMove(lParam);
        break;
    case WM_DEMONEXTGAME:
        if (s_program.run.fDemo && !g_game.fInProgress)
            NewGame(s_program.run.iDemoLayout, g_settings.fModern);
        break;
    default:
        break;
    }
    return 0;
}

// The demo's sides: the computer for both, at the demo's strength.
void SetUpDemoSettings(const KELVANORUN& run) {
    for (PLAYERSETTING& player : g_settings.aPlayer) {
        player.fComputer = 1;
        player.nLevel = run.nDemoLevel;
    }
    g_settings.iBoard = run.iDemoLayout;
}

} // namespace

HWND StartKelvano(HINSTANCE hInstance, const KELVANORUN& run) {
    if (s_program.hwndMain != nullptr) return nullptr; // one main window per process
    s_program = PROGRAM{};
    s_program.run = run;

    if (run.fSingleInstance) {
        cetl::RUNNINGINSTANCE running;
        if (cetl::FindRunningInstance(kszInstanceName, &running)) {
            cetl::PostToRunningInstance(running, IDM_FRONT);
            s_program.fOtherInstance = true;
            return nullptr;
        }
    }
    InitMilliseconds();
    std::srand(GetMilliseconds());
    s_program.hInstance = hInstance;

    s_program.fFirstStart = !ReadSettings();
    if (run.fDemo) SetUpDemoSettings(run);

    cetl::InitLanguage(kszInstanceName, hInstance);
    if (!cetl::GuiLibInit(hInstance) || AnimStartup(hInstance, 0) != 1) return nullptr;
    // The host keeps no icon handles: the class names no icon, and the shell shows icon 102
    // from the resources on its own.
    if (cetl::GuiLibRegisterClass(kszClassName, nullptr) == 0 &&
        GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return nullptr;

    HWND hwnd = CreateDialogParam(hInstance, MAKEINTRESOURCEW(cetl::GetDialogId(IDD_MAIN)), nullptr,
                                  &MainProc, 0);
    if (hwnd == nullptr) return nullptr;
    SetScreenMainWindow(hwnd);
    ShowWindow(hwnd, SW_SHOW);
    cetl::GuiLibBringToFront(hwnd);

    // The logo plays while the loader runs on a worker thread; closing the window during
    // the logo ends the start-up here too.
    if (!RunLogo(s_program.pAnim, hInstance, &Loader)) {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        return nullptr;
    }

    AnimWindow* pAnim = s_program.pAnim;
    if (!IsWindow(hwnd) || pAnim == nullptr) return nullptr;
    pAnim->BeginUpdate();
    if (GetDisplay()->IsPaletteBased()) GetDisplay()->SetSystemGroup(GameGraphics().pPalette);
    DrawBackground(pAnim, pAnim->GetBackground());
    s_program.pDisplay = MemNew(BoardDisplay, pAnim);
    SetDefaultPresenter(s_program.pDisplay);
    s_program.pDisplay->SetHeldButtonQuery(&HeldButton);
    CreateButtonRow(pAnim, hwnd);
    if (run.fDemo || !RestoreGame()) NewGame(g_settings.iBoard, g_settings.fModern);
    pAnim->EndUpdate();
    if (s_program.fFirstStart && !run.fDemo && run.fFirstStartTutorial) OpenTutorial();
    return hwnd;
}

bool RunKelvano(long cFrames) {
    AnimWindow* pAnim = s_program.pAnim;
    if (pAnim == nullptr || !IsWindow(s_program.hwndMain)) return false;
    pAnim->Play(cFrames);
    return s_program.hwndMain != nullptr && IsWindow(s_program.hwndMain);
}

int KelvanoMain(HINSTANCE hInstance, const KELVANORUN& run) {
    if (StartKelvano(hInstance, run) != nullptr) RunKelvano(-1);
    return 0;
}

HWND KelvanoMainWindow() {
    return s_program.hwndMain;
}

AnimWindow* KelvanoAnimWindow() {
    return s_program.pAnim;
}

bool IsKelvanoFirstStart() {
    return s_program.fFirstStart;
}

bool KelvanoFoundRunningInstance() {
    return s_program.fOtherInstance;
}
