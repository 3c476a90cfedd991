// The installer's entry, its main window and the panels it hosts: the welcome panel with the
// language and the Install button, the target choice or the no-device panel with Rescan, and
// the progress panel that replaces them while the worker installs.
#include "setup/program/kelvanosetup.h"

#include "anim/cea_main.h"
#include "anim/cea_sprite.h"
#include "foundation/diag.h"
#include "foundation/memmgr.h"
#include "foundation/tl_exception.h"
#include "foundation/tl_language.h"
#include "host/instance.h"
#include "host/msgbox.h"
#include "host/screen.h"
#include "host/startup_trace.h"
#include "host/window.h"
#include "setup/program/setup_internal.h"
#include "setup/sl_main.h"
#include "setup/zip/zipfile.h"
#include "skin/skin.h"
#include "skin/skin_msgbox.h"
#include "skin/skin_window.h"

using cetl::string;
using host::HWND;
using host::LPARAM;
using host::WPARAM;

namespace {

constexpr char kszLanguageModule[] = "Kelvano CE";
constexpr char kszWindowName[] = "KelvanoSetup";
constexpr char kszFrameFile[] = "KelvanoSetup Frame.psp";
constexpr char kszSkinFont[] = "MS Shell Dlg,10";
// The button pictures' transparent colour: pure blue.
constexpr Color kclrButtonTransparent = 0x00FF0000;
// Device connection attempts from the no-device panel.
constexpr host::DWORD kmsRescan = 1000;
// The button pictures sit this far down from the top of their panel.
constexpr int kyButtonPicture = 16;

SETUPPROGRAM* g_pProgram = nullptr;
SETUPSTATUSHOOK g_pfnStatusHook = nullptr;

string Text(int nId) {
    string str;
    cetl::LoadText(static_cast<UINT>(nId), str);
    return str;
}

int DialogId(int nBase) {
    return static_cast<int>(cetl::GetDialogId(static_cast<UINT>(nBase)));
}

// ---- Panels ------------------------------------------------------------------------------

host::INT_PTR WelcomeProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
host::INT_PTR TargetsProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
host::INT_PTR NoDeviceProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
host::INT_PTR ProgressProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

void RemovePanel(SKINWINDOWINSET*& pPanel) {
    SKINWINDOWINSET* pOld = pPanel;
    pPanel = nullptr;
    if (pOld != nullptr) g_pProgram->pWindow->RemoveInset(pOld);
}

// The right panel for the connection there is now (no new attempt).
void AddRightPanel() {
    SETUPPROGRAM& p = *g_pProgram;
    if (p.pSetupLib->connectdevice(0) != nullptr)
        p.pRight = p.pWindow->AddInset(TargetsProc, DialogId(IDD_SETUP_TARGETS), 0);
    else
        p.pRight = p.pWindow->AddInset(NoDeviceProc, DialogId(IDD_SETUP_NODEVICE), 0);
}

void AddChoicePanels() {
    SETUPPROGRAM& p = *g_pProgram;
    p.pLeft = p.pWindow->AddInset(WelcomeProc, DialogId(IDD_SETUP_WELCOME), 0);
    AddRightPanel();
}

void GiveButtonPicture(int nId, SKINCONTROLGRAPHICS* pCells) {
    SKINCONTROL* pControl = g_pProgram->pWindow->Control(nId);
    if (pControl == nullptr || pCells == nullptr) return;
    pControl->SetPicture(pCells);
    pControl->SetPlacement(SKIN_KEEP, SKIN_KEEP, SKIN_KEEP, SKINPLACE_COMPUTED | SKINPLACE_FAR,
                           kyButtonPicture, SKIN_KEEP);
}

void StartWorker() {
    SETUPPROGRAM& p = *g_pProgram;
    p.fInstalling = true;
    // The window thread leaves the toolkits, the payload and the connection to the worker
    // from here on: the panels that could use them are gone.
    p.worker = host::Thread(&RunSetupWorker);
    host::SetCursor(host::LoadCursor(nullptr, host::IDC_WAIT));
}

void StartInstallation() {
    SETUPPROGRAM& p = *g_pProgram;
    if (p.fInstalling) return;
    p.pWindow->SetRedraw(false);
    RemovePanel(p.pLeft);
    RemovePanel(p.pRight);
    const int nTemplate =
        p.nInstallTarget == SETUP_TARGET_BOTH ? IDD_SETUP_PROGRESS_BOTH : IDD_SETUP_PROGRESS;
    p.pProgress = p.pWindow->AddInset(ProgressProc, DialogId(nTemplate), 0);
    p.pWindow->SetRedraw(true);
    // Without its panel the installation still runs; the window then shows no progress.
    if (p.pProgress == nullptr) StartWorker();
}

host::INT_PTR WelcomeProc(HWND, UINT uMsg, WPARAM wParam, LPARAM) {
    SETUPPROGRAM& p = *g_pProgram;
    SkinWindow* pWindow = p.pWindow;
    switch (uMsg) {
    case host::WM_INITDIALOG: {
        const UINT nLanguage = cetl::GetLanguageId();
        pWindow->CheckControl(IDC_SETUP_ENGLISH, nLanguage == cetl::kLanguageEnglish);
        pWindow->CheckControl(IDC_SETUP_ESPERANTO, nLanguage == cetl::kLanguageEsperanto);
        pWindow->SetControlText(IDC_SETUP_TITLE, Text(IDS_SETUP_TITLE));
        pWindow->SetText(Text(IDS_SETUP_CAPTION));
        return TRUE;
    }
    case host::WM_COMMAND:
        switch (host::LOWORD(wParam)) {
        case IDC_SETUP_ENGLISH:
        case IDC_SETUP_ESPERANTO: {
            const UINT nWanted = pWindow->IsControlChecked(IDC_SETUP_ENGLISH)
                                     ? cetl::kLanguageEnglish
                                     : cetl::kLanguageEsperanto;
            if (nWanted == cetl::GetLanguageId() || !cetl::SetLanguage(nWanted)) return TRUE;
            pWindow->SetRedraw(false);
            RemovePanel(p.pLeft);
            RemovePanel(p.pRight);
            AddChoicePanels();
            pWindow->SetRedraw(true);
            return TRUE;
        }
        case IDC_SETUP_INSTALL:
            StartInstallation();
            return TRUE;
        }
        return FALSE;
    case WM_SKINAPPLIED:
        GiveButtonPicture(IDC_SETUP_INSTALL, p.pInstallCells);
        return TRUE;
    }
    return FALSE;
}

host::INT_PTR TargetsProc(HWND, UINT uMsg, WPARAM wParam, LPARAM) {
    SETUPPROGRAM& p = *g_pProgram;
    SkinWindow* pWindow = p.pWindow;
    switch (uMsg) {
    case host::WM_INITDIALOG:
        pWindow->CheckControl(IDC_SETUP_DESKTOP, p.nInstallTarget == SETUP_TARGET_DESKTOP);
        pWindow->CheckControl(IDC_SETUP_BOTH, p.nInstallTarget == SETUP_TARGET_BOTH);
        pWindow->CheckControl(IDC_SETUP_DEVICE, p.nInstallTarget == SETUP_TARGET_DEVICE);
        return TRUE;
    case host::WM_COMMAND:
        switch (host::LOWORD(wParam)) {
        case IDC_SETUP_DESKTOP:
        case IDC_SETUP_BOTH:
        case IDC_SETUP_DEVICE:
            p.nInstallTarget = pWindow->IsControlChecked(IDC_SETUP_DESKTOP) ? SETUP_TARGET_DESKTOP
                               : pWindow->IsControlChecked(IDC_SETUP_BOTH)  ? SETUP_TARGET_BOTH
                                                                            : SETUP_TARGET_DEVICE;
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

host::INT_PTR NoDeviceProc(HWND, UINT uMsg, WPARAM wParam, LPARAM) {
    SETUPPROGRAM& p = *g_pProgram;
    switch (uMsg) {
    case host::WM_INITDIALOG:
        p.nInstallTarget = SETUP_TARGET_DESKTOP;
        return TRUE;
    case host::WM_COMMAND:
        if (host::LOWORD(wParam) != IDC_SETUP_RESCAN) return FALSE;
        if (p.pSetupLib->connectdevice(kmsRescan) != nullptr) {
            // Found: both targets are offered, and both are chosen.
            p.nInstallTarget = SETUP_TARGET_BOTH;
            p.pWindow->SetRedraw(false);
            RemovePanel(p.pRight);
            AddRightPanel();
            p.pWindow->SetRedraw(true);
        }
        return TRUE;
    case WM_SKINAPPLIED:
        GiveButtonPicture(IDC_SETUP_RESCAN, p.pRescanCells);
        return TRUE;
    }
    return FALSE;
}

host::INT_PTR ProgressProc(HWND, UINT uMsg, WPARAM, LPARAM) {
    if (uMsg != host::WM_INITDIALOG) return FALSE;
    g_pProgram->pWindow->SetControlText(IDC_SETUP_STATUS, string());
    StartWorker();
    return TRUE;
}

// ---- Main window -------------------------------------------------------------------------

void ApplyStatus(UPDATESTATUS* pStatus) {
    SkinWindow* pWindow = g_pProgram->pWindow;
    pWindow->SetProgress(pStatus->nControl, pStatus->nPercent);
    pWindow->SetControlText(IDC_SETUP_STATUS, pStatus->strText);
    if (g_pfnStatusHook != nullptr) g_pfnStatusHook(*pStatus);
    MemDelete(pStatus);
}

// While installing, the pointer shows the wait cursor over the whole window.
host::LRESULT WaitCursorProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == host::WM_SETCURSOR && g_pProgram->fInstalling) {
        host::SetCursor(host::LoadCursor(nullptr, host::IDC_WAIT));
        return TRUE;
    }
    return host::CallWindowProc(g_pProgram->pfnSkinProc, hwnd, uMsg, wParam, lParam);
}

host::INT_PTR MainProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    SETUPPROGRAM& p = *g_pProgram;
    switch (uMsg) {
    case host::WM_INITDIALOG:
        p.hwndMain = hwnd;
        p.pWindow = SkinWindow::FromHandle(hwnd);
        host::SetScreenMainWindow(hwnd);
        p.pfnSkinProc = reinterpret_cast<host::WNDPROC>(host::SetWindowLongPtr(
            hwnd, host::GWLP_WNDPROC, reinterpret_cast<host::LONG_PTR>(&WaitCursorProc)));
        AddChoicePanels();
        return TRUE;
    case host::WM_COMMAND:
        switch (host::LOWORD(wParam)) {
        case host::IDCANCEL:
            // The close box, Escape and the screen's close: the installation cannot be left
            // half done, so they wait for its end.
            if (p.fInstalling) {
                host::SetCursor(host::LoadCursor(nullptr, host::IDC_WAIT));
                return TRUE;
            }
            p.pWindow->Close(host::IDCANCEL);
            return TRUE;
        case IDM_SETUP_STATUS:
            if (lParam != 0) ApplyStatus(reinterpret_cast<UPDATESTATUS*>(lParam));
            return TRUE;
        case IDM_SETUP_DONE:
            if (!p.fInstalling) return TRUE;
            p.worker.Join();
            p.fInstalling = false;
            p.nOutcome = lParam == 1 ? 1 : 2;
            p.pWindow->Close(p.nOutcome);
            return TRUE;
        }
        return FALSE;
    case host::WM_DESTROY:
        // The window takes every panel with it.
        p.pLeft = p.pRight = p.pProgress = nullptr;
        return TRUE;
    }
    return FALSE;
}

// ---- Entry -------------------------------------------------------------------------------

// A picture of the resources as a sprite of one frame; null when missing or unreadable.
Sprite* LoadPicture(host::HINSTANCE hInstance, int nId, Color clrTransparent) {
    Sprite* pSprite =
        MemNew(Sprite, hInstance, host::MAKEINTRESOURCEA(static_cast<host::WORD>(nId)),
               clrTransparent, 1, 1, SPRITE_NO_LIMIT);
    if (pSprite != nullptr && pSprite->GetFrameCount() == 0) {
        MemDelete(pSprite);
        pSprite = nullptr;
    }
    return pSprite;
}

SKINCONTROLGRAPHICS* ButtonCells(Sprite* pSprite) {
    if (pSprite == nullptr) return nullptr;
    try {
        return MemNew(SKINCONTROLGRAPHICS, pSprite, CT_PBUTTON);
    } catch (const cetl::exception& e) {
        cetl::trace("KelvanoSetup: %s\n", e.Message());
        return nullptr;
    }
}

string FailureText(const setup::InstallFailure& failure) {
    const string strFormat = Text(failure.idsMessage);
    return failure.strArgument.IsEmpty() ? strFormat
                                         : string(cetl::sformat(strFormat, failure.strArgument));
}

// Steps 3 to 8: everything that needs the skin, whose loading may throw. The program's exit
// code.
int RunWithSkin(SETUPPROGRAM& p) {
    const host::HINSTANCE hInstance = p.hInstance;
    p.pSkin = MemNew(SKIN, hInstance, host::ResName(IDR_SETUP_SKIN), host::ResName("ZIP"));
    if (p.pSkin == nullptr) return 0;
    p.pSkin->SetProperty("Font", kszSkinFont);
    host::TraceStartup("setup-skin");

    // One installer at a time, told as soon as a box can tell it: two would journal into one
    // log and race for one device. Without a runtime folder nobody can tell; it goes on.
    host::NamedMutex running;
    if (running.Create(SETUP_MUTEX_NAME) && running.Wait(0) != host::WAIT_OBJECT_0) {
        SkinMessageBox(p.pSkin, host::MB_OK | host::MB_ICONINFORMATION, Text(IDS_SETUP_CAPTION),
                       Text(IDS_SETUP_ALREADY_RUNNING));
        return SETUP_EXIT_ALREADY_RUNNING;
    }

    p.pSetupLib = MemNew(sl::SetupLib);
    p.pPayload = MemNew(zip::ZipFile);
    if (p.pSetupLib == nullptr || p.pPayload == nullptr) return 0;
    host::TraceStartup("setup-device-probe");
    p.pPayload->OpenResource(hInstance, host::MAKEINTRESOURCEA(IDR_SETUP_PAYLOAD), "ZIP", false);
    host::TraceStartup("setup-payload");

    // The skin's frame lookup finds the window's own frame picture by this name.
    if (Sprite* pFrame = LoadPicture(hInstance, IDG_SETUP_FRAME, p.pSkin->TransparentColor()))
        p.pSkin->AddFile(kszFrameFile, pFrame);
    p.pInstallSprite = LoadPicture(hInstance, IDG_SETUP_INSTALL, kclrButtonTransparent);
    p.pRescanSprite = LoadPicture(hInstance, IDG_SETUP_RESCAN, kclrButtonTransparent);
    p.pInstallCells = ButtonCells(p.pInstallSprite);
    p.pRescanCells = ButtonCells(p.pRescanSprite);

    p.pWindow = MemNew(SkinWindow, p.pSkin, kszWindowName, MainProc, hInstance,
                       DialogId(IDD_SETUP_MAIN), 0, nullptr);
    // Without its main template the window would show nothing anyone could close.
    if (p.pWindow == nullptr || p.pWindow->MainInset() == nullptr) return 0;
    p.pWindow->RunModal();
    // Nobody may wait for the box with the worker still running.
    p.worker.Join();
    p.fInstalling = false;

    if (p.nOutcome == 1)
        SkinMessageBox(p.pSkin, host::MB_ICONINFORMATION, Text(IDS_SETUP_CAPTION),
                       Text(IDS_SETUP_SUCCESS));
    else if (p.nOutcome == 2)
        SkinMessageBox(p.pSkin, host::MB_ICONERROR, Text(IDS_SETUP_CAPTION),
                       cetl::sformat(Text(IDS_SETUP_FAILURE), FailureText(p.failure)));
    return 0;
}

} // namespace

int KelvanoSetupMain(host::HINSTANCE hInstance, const SETUPRUN& run) {
    SETUPPROGRAM program;
    program.hInstance = hInstance;
    program.run = run;
    g_pProgram = &program;
    host::TraceStartup("setup-main");

    // The game's language choice is the installer's too.
    cetl::InitLanguage(kszLanguageModule, hInstance);
    // The host keeps no icon handles: the shell shows icon 500 from the resources itself.
    if (AnimStartup(hInstance, 0) != 1 || !SkinWindow::Register(hInstance, nullptr)) {
        g_pProgram = nullptr;
        return 0;
    }
    int nExit = 0;
    try {
        nExit = RunWithSkin(program);
    } catch (const cetl::exception& e) {
        cetl::trace("KelvanoSetup: %s\n", e.Message());
    }
    // The worker must be gone before what it uses goes.
    program.worker.Join();
    program.fInstalling = false;

    // The window, already closed, goes before the skin it was drawn from.
    MemDelete(program.pWindow);
    program.pWindow = nullptr;
    MemDelete(program.pPayload);
    MemDelete(program.pSetupLib);
    MemDelete(program.pSkin);
    MemDelete(program.pInstallCells);
    MemDelete(program.pRescanCells);
    MemDelete(program.pInstallSprite);
    MemDelete(program.pRescanSprite);
    program.failure = {};
    g_pProgram = nullptr;

    AnimShutdown();
    cetl::ResetLanguage();
    return mem::CheckAtExit(nExit);
}

SETUPPROGRAM& SetupProgram() {
    return *g_pProgram;
}

HWND KelvanoSetupWindow() {
    if (g_pProgram == nullptr || g_pProgram->pWindow == nullptr) return nullptr;
    return g_pProgram->pWindow->Handle();
}

int KelvanoSetupTarget() {
    return g_pProgram != nullptr ? g_pProgram->nInstallTarget : SETUP_TARGET_DESKTOP;
}

void SetSetupStatusHook(SETUPSTATUSHOOK pfnHook) {
    g_pfnStatusHook = pfnHook;
}
