#include "gameui/logo.h"

#include "anim/cea_display.h"
#include "anim/cea_graphic.h"
#include "anim/cea_main.h"
#include "anim/cea_object.h"
#include "anim/cea_palette.h"
#include "anim/cea_sound.h"
#include "anim/cea_window.h"
#include "foundation/memmgr.h"
#include "game/settings.h"
#include "gameui/resdata.h"
#include "gameui/resource.h"
#include "gameui/sounds.h"
#include "host/thread.h"
#include "host/window.h"

#include <atomic>

namespace {

constexpr int cLogoSounds = 3;
constexpr double kLogoFramesPerSecond = 20.0;
constexpr LONG kLogoDepth = 1;
constexpr DWORD kmsAtLeast = 2000; // the logo stays this long after loading began
constexpr LONG kcEndFrames = 5;    // and this many frames more
// Nothing the abort waits for needs more frames than the schedule's 46 and the two
// seconds' 45; the bound only guards against a timeline that lost the end.
constexpr int kcAbortSteps = 1000;

struct LOGO {
    AnimWindow* pWindow = nullptr; // null once the window is being destroyed
    HWND hwnd = nullptr;
    host::HINSTANCE hInstance = nullptr;
    LogoLoader pfnLoader = nullptr;

    Sound* rgpSound[cLogoSounds] = {};
    Graphic* pPicture = nullptr;
    Graphic* rgpFrame[cLogoFrames] = {};
    int cxFrame = 0;
    int cyFrame = 0;
    PaletteGroup* pPalette = nullptr;
    AnimObject* pObject = nullptr;

    bool fDone = false;
    bool fLoading = false; // event 1002 has come
    bool fEndScheduled = false;
    std::atomic<bool> fAborted{false};
    std::atomic<bool> fResult{false};

    bool fTakenOver = false; // the window's callback and rate are the logo's
    AnimCallback pfnOldCallback = nullptr;
    double dOldRate = 0;
    bool fGroupSelected = false;
    PaletteGroup* pOldGroup = nullptr;

    DWORD msLoadStart = 0;
    host::Thread loader;
};

LOGO* s_pLogo = nullptr;

bool IsSoundOn() {
    return g_settings.fSound != 0;
}

// The window of the logo when it is still alive.
AnimWindow* LiveWindow(const LOGO* pLogo) {
    if (pLogo->pWindow == nullptr || !host::IsWindow(pLogo->hwnd) ||
        AnimWindow::FromHandle(pLogo->hwnd) != pLogo->pWindow)
        return nullptr;
    return pLogo->pWindow;
}

Sound* LoadLogoSound(host::HINSTANCE hInstance, host::UINT nId) {
    RESOURCEDATA data;
    if (!LoadPackedResource(hInstance, host::ResName(RT_LOGO), nId, &data)) return nullptr;
    return MakeSoundFrom(&data);
}

Graphic* LoadLogoPicture(host::HINSTANCE hInstance) {
    RESOURCEDATA data;
    if (!LoadPackedResource(hInstance, host::ResName(RT_LOGO), IDR_LOGO_PICTURE, &data))
        return nullptr;
    Graphic* pPicture = MemNew(Graphic, data.pbData, data.cbData);
    FreeResourceData(&data);
    if (pPicture != nullptr && (!pPicture->IsValid() || pPicture->GetHeight() < cLogoFrames)) {
        MemDelete(pPicture);
        pPicture = nullptr;
    }
    return pPicture;
}

bool LoadResources(LOGO* pLogo) {
    for (int i = 0; i < cLogoSounds; ++i) {
        pLogo->rgpSound[i] = LoadLogoSound(pLogo->hInstance, IDR_LOGO_SOUND1 + i);
        if (pLogo->rgpSound[i] == nullptr) return false;
    }
    pLogo->pPicture = LoadLogoPicture(pLogo->hInstance);
    return pLogo->pPicture != nullptr;
}

bool CutFrames(LOGO* pLogo) {
    pLogo->cxFrame = pLogo->pPicture->GetWidth();
    pLogo->cyFrame = pLogo->pPicture->GetHeight() / cLogoFrames;
    for (int i = 0; i < cLogoFrames; ++i) {
        const RECT rc = {0, pLogo->cyFrame * i, pLogo->cxFrame, pLogo->cyFrame * (i + 1)};
        pLogo->rgpFrame[i] = MemNew(Graphic, pLogo->pPicture, &rc);
        if (pLogo->rgpFrame[i] == nullptr || !pLogo->rgpFrame[i]->IsValid()) return false;
    }
    return true;
}

void StopSounds(LOGO* pLogo) {
    for (Sound* pSound : pLogo->rgpSound)
        if (pSound != nullptr) pSound->Stop();
}

// On the window's thread: the end falls 5 frames after the two seconds from the start of
// loading, or 5 frames from now when they are over.
void ScheduleEnd(LOGO* pLogo) {
    AnimWindow* pWindow = LiveWindow(pLogo);
    if (!pLogo->fLoading || pLogo->fEndScheduled || pWindow == nullptr) return;
    pLogo->fEndScheduled = true;
    const LONG msPassed = static_cast<LONG>(GetMilliseconds() - pLogo->msLoadStart);
    const LONG msRemaining = msPassed < static_cast<LONG>(kmsAtLeast) ? kmsAtLeast - msPassed : 0;
    const LONG iFrame = pWindow->GetFrameCounter() + kcEndFrames +
                        msRemaining * static_cast<LONG>(kLogoFramesPerSecond) / 1000;
    pWindow->ScheduleEvent(iFrame, LOGOEVENT_DONE, 0);
}

void LoaderThread(LOGO* pLogo) {
    const bool fResult = pLogo->pfnLoader();
    pLogo->fResult = fResult && !pLogo->fAborted;
    // The window schedules the end itself; a window gone meanwhile just drops the message.
    host::PostMessage(pLogo->hwnd, WM_LOGOLOADED, 0, 0);
}

void BeginLoading(LOGO* pLogo) {
    pLogo->msLoadStart = GetMilliseconds();
    pLogo->fLoading = true;
    // An aborted logo has no use for the game: it only runs out its end.
    if (pLogo->pfnLoader == nullptr || pLogo->fAborted) {
        pLogo->fResult = pLogo->pfnLoader == nullptr && !pLogo->fAborted;
        ScheduleEnd(pLogo);
        return;
    }
    pLogo->loader = host::Thread([pLogo] { LoaderThread(pLogo); });
}

// Waits for the loader's thread, which touches nothing of the window's thread.
void JoinLoader(LOGO* pLogo) {
    if (pLogo->loader.IsRunning()) pLogo->loader.Join();
    pLogo->loader = host::Thread();
}

int LogoCallback(AnimWindow* pWindow, int nEvent, LPARAM lParam1, LPARAM lParam2) {
    LOGO* pLogo = s_pLogo;
    if (pLogo == nullptr) return 1;
    switch (nEvent) {
    case ANIMEVENT_BACKGROUND:
        pWindow->FillBackground(0, nullptr);
        break;
    case ANIMEVENT_TIMELINE: {
        const int i = static_cast<int>(lParam2) - 1;
        const bool fSound = i >= 0 && i < cLogoSounds && !pLogo->fAborted;
        switch (lParam1) {
        case LOGOEVENT_PLAY:
            if (fSound && IsSoundOn()) pLogo->rgpSound[i]->Play(SOUND_ONCE);
            break;
        case LOGOEVENT_STOP:
            if (fSound) pLogo->rgpSound[i]->Stop();
            break;
        case LOGOEVENT_LOAD:
            BeginLoading(pLogo);
            break;
        case LOGOEVENT_DONE:
            pLogo->fDone = true;
            break;
        default:
            break;
        }
        break;
    }
    case ANIMEVENT_DESTROY:
        // The window goes while the logo plays: it is not touched again. The loader may
        // still be filling the game's tables, which the shutdown frees next.
        if (!pLogo->fDone) {
            pLogo->fAborted = true;
            pLogo->fResult = false;
            StopSounds(pLogo);
            JoinLoader(pLogo);
            pLogo->fDone = true;
        }
        pLogo->pWindow = nullptr;
        pLogo->pObject = nullptr; // the window destroys its objects
        break;
    default:
        break;
    }
    return 1;
}

// Takes the loader's message before any other hook sees it.
int LogoHook(AnimWindow*, HWND, UINT uMsg, WPARAM, LPARAM) {
    if (uMsg != WM_LOGOLOADED) return 0;
    if (s_pLogo != nullptr) ScheduleEnd(s_pLogo);
    return 1;
}

int LogoObjectProc(AnimObject* pObject, UINT uMsg, LPARAM) {
    if (uMsg == OBJMSG_DESTROY && s_pLogo != nullptr && s_pLogo->pObject == pObject)
        s_pLogo->pObject = nullptr;
    return 1;
}

void GiveBackWindow(LOGO* pLogo) {
    AnimWindow* pWindow = LiveWindow(pLogo);
    if (pLogo->fTakenOver && pWindow != nullptr) {
        pWindow->RemoveHook(&LogoHook);
        pWindow->SetCallback(pLogo->pfnOldCallback);
        if (pLogo->dOldRate != 0) pWindow->SetFrameRate(pLogo->dOldRate);
    }
    pLogo->fTakenOver = false;
}

void DestroyLogo(LOGO* pLogo) {
    JoinLoader(pLogo);
    GiveBackWindow(pLogo);
    if (pLogo->fGroupSelected && GetDisplay() != nullptr)
        GetDisplay()->SetSystemGroup(pLogo->pOldGroup);
    pLogo->fGroupSelected = false;
    if (pLogo->pObject != nullptr) {
        AnimObject* pObject = pLogo->pObject;
        pLogo->pObject = nullptr;
        MemDelete(pObject); // drops its pending pictures
    }
    for (Graphic*& pFrame : pLogo->rgpFrame) {
        if (pFrame != nullptr) MemDelete(pFrame);
        pFrame = nullptr;
    }
    for (Sound*& pSound : pLogo->rgpSound) {
        if (pSound != nullptr) MemDelete(pSound);
        pSound = nullptr;
    }
    if (pLogo->pPicture != nullptr) MemDelete(pLogo->pPicture);
    pLogo->pPicture = nullptr;
    if (pLogo->pPalette != nullptr) {
        while (pLogo->pPalette->IsOpen())
            pLogo->pPalette->Close();
        MemDelete(pLogo->pPalette);
        pLogo->pPalette = nullptr;
    }
    if (s_pLogo == pLogo) s_pLogo = nullptr;
    MemDelete(pLogo);
}

void ScheduleAnimation(LOGO* pLogo) {
    AnimWindow* pWindow = pLogo->pWindow;
    const LONG t = pWindow->GetFrameCounter() + 6;
    AnimObject* pObject = pLogo->pObject;
    pWindow->ScheduleEvent(t, LOGOEVENT_PLAY, 1);
    for (int i = 0; i <= 12; ++i)
        pWindow->ScheduleObject(t + i, pObject, pLogo->rgpFrame[i], nullptr);
    pWindow->ScheduleEvent(t + 13, LOGOEVENT_PLAY, 2);
    pWindow->ScheduleEvent(t + 13, LOGOEVENT_STOP, 1);
    pWindow->ScheduleEvent(t + 26, LOGOEVENT_PLAY, 3);
    for (int i = 13; i < cLogoFrames; ++i)
        pWindow->ScheduleObject(t + 26 + 2 * (i - 13), pObject, pLogo->rgpFrame[i], nullptr);
    pWindow->ScheduleEvent(t + 40, LOGOEVENT_LOAD, 0);
}

// Everything up to the first frame; false when a resource is missing or unreadable.
bool SetUp(LOGO* pLogo) {
    if (!LoadResources(pLogo)) return false;
    if (IsSoundOn()) Sound::PrimeSound();
    pLogo->pPalette = MemNew(PaletteGroup);
    if (pLogo->pPalette == nullptr || !pLogo->pPalette->Open()) return false;
    pLogo->pPalette->Add(pLogo->pPicture, FALSE);
    pLogo->pPalette->Close();
    if (!CutFrames(pLogo)) return false;

    AnimWindow* pWindow = pLogo->pWindow;
    pWindow->BeginUpdate();
    pWindow->FillBackground(0, nullptr);
    // The callback first: selecting the group recreates the background through it.
    pLogo->pfnOldCallback = pWindow->GetCallback();
    pWindow->SetCallback(&LogoCallback);
    pLogo->dOldRate = pWindow->GetFrameRate();
    pWindow->SetFrameRate(kLogoFramesPerSecond);
    pWindow->AddHook(&LogoHook, HOOK_ALL | HOOK_PRIORITY(1));
    pLogo->fTakenOver = true;
    if (GetDisplay() != nullptr) {
        pLogo->pOldGroup = GetDisplay()->GetSystemGroup();
        GetDisplay()->SetSystemGroup(pLogo->pPalette);
        pLogo->fGroupSelected = true;
    }

    RECT rcClient;
    pWindow->GetRect(&rcClient);
    const int x = (rcClient.right - rcClient.left - pLogo->cxFrame) / 2;
    const int y = (rcClient.bottom - rcClient.top - pLogo->cyFrame) / 2;
    pLogo->pObject = MemNew(AnimObject, pWindow, &LogoObjectProc, kLogoDepth);
    if (pLogo->pObject != nullptr) {
        const RECT rc = {x, y, x + pLogo->cxFrame, y + pLogo->cyFrame};
        pLogo->pObject->SetRect(&rc);
        ScheduleAnimation(pLogo);
    } else {
        // Nothing to show, but the loading still runs behind the two seconds.
        pWindow->ScheduleEvent(pWindow->GetFrameCounter() + 46, LOGOEVENT_LOAD, 0);
    }
    pWindow->EndUpdate();
    return true;
}

} // namespace

bool RunLogo(AnimWindow* pWindow, host::HINSTANCE hInstance, LogoLoader pfnLoader) {
    if (s_pLogo != nullptr) DestroyLogo(s_pLogo);
    if (pWindow == nullptr) return false;
    LOGO* pLogo = MemNew(LOGO);
    if (pLogo == nullptr) return false;
    s_pLogo = pLogo;
    pLogo->pWindow = pWindow;
    pLogo->hwnd = pWindow->GetHandle();
    pLogo->hInstance = hInstance;
    pLogo->pfnLoader = pfnLoader;

    if (SetUp(pLogo)) {
        while (!pLogo->fDone) {
            AnimWindow* pLive = LiveWindow(pLogo);
            if (pLive == nullptr) break;
            pLive->Play(1);
        }
    } else {
        pLogo->fAborted = true;
    }
    // A window destroyed during the logo leaves its loader to be waited for here.
    JoinLoader(pLogo);
    const bool fResult = pLogo->fResult && !pLogo->fAborted;
    DestroyLogo(pLogo);
    return fResult;
}

bool IsLogoRunning() {
    return s_pLogo != nullptr && !s_pLogo->fDone;
}

void AbortLogo() {
    LOGO* pLogo = s_pLogo;
    if (pLogo == nullptr || pLogo->fDone) return;
    pLogo->fAborted = true;
    pLogo->fResult = false;
    StopSounds(pLogo);
    // The loader is not left running into a shutdown; its message is not waited for.
    if (pLogo->loader.IsRunning()) {
        JoinLoader(pLogo);
        ScheduleEnd(pLogo);
    }
    for (int i = 0; i < kcAbortSteps && !pLogo->fDone; ++i) {
        AnimWindow* pWindow = LiveWindow(pLogo);
        if (pWindow == nullptr) break;
        pWindow->Step();
    }
    pLogo->fDone = true;
}
