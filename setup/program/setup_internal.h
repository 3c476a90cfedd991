// The installer's program-wide state, shared by the window code and the worker.
#pragma once

#include "host/thread.h"
#include "setup/install.h"
#include "setup/program/kelvanosetup.h"

#include <atomic>

class SKIN;
class SkinWindow;
class Sprite;
class SKINCONTROLGRAPHICS;
struct SKINWINDOWINSET;
namespace sl {
class SetupLib;
}
namespace zip {
class ZipFile;
}

struct SETUPPROGRAM {
    host::HINSTANCE hInstance = nullptr;
    SETUPRUN run;
    SKIN* pSkin = nullptr;
    sl::SetupLib* pSetupLib = nullptr;
    zip::ZipFile* pPayload = nullptr;
    SkinWindow* pWindow = nullptr;
    host::HWND hwndMain = nullptr;
    // The button pictures: the sprites and their push-button cells.
    Sprite* pInstallSprite = nullptr;
    Sprite* pRescanSprite = nullptr;
    SKINCONTROLGRAPHICS* pInstallCells = nullptr;
    SKINCONTROLGRAPHICS* pRescanCells = nullptr;
    // The panels shown now (null when not).
    SKINWINDOWINSET* pLeft = nullptr;
    SKINWINDOWINSET* pRight = nullptr;
    SKINWINDOWINSET* pProgress = nullptr;
    int nInstallTarget = SETUP_TARGET_DESKTOP;
    // 0 nothing done, 1 success, 2 failure.
    int nOutcome = 0;
    // Set by the worker before it posts its result; read by the window thread after.
    setup::InstallFailure failure;
    host::Thread worker;
    std::atomic<bool> fInstalling{false};
    host::WNDPROC pfnSkinProc = nullptr; // the skinned window's procedure, subclassed
};

SETUPPROGRAM& SetupProgram();

// The worker's body: the sequences for the chosen targets, then IDM_SETUP_DONE.
void RunSetupWorker();
