// Single instance: a mutex guards the search for the program's hidden message window, whose
// first word holds the main window. The message window and the main window are also
// published across processes, since another process cannot read our window words.
#include "foundation/gl_subclass.h"

#include "host/controls.h"
#include "host/instance.h"
#include "host/window.h"

#include <chrono>
#include <string_view>
#include <thread>

namespace cetl {

using namespace host;

namespace {

constexpr TCHAR kIpcClassName[] = TEXT("GuiLibIPCClass");
constexpr TCHAR kStaticClassName[] = TEXT("Static");
constexpr int kIpcWndExtra = 4;
// Real time: the other process runs on its own clock.
constexpr auto kPublishWait = std::chrono::milliseconds(2000);
constexpr auto kPublishPoll = std::chrono::milliseconds(20);

using WNDCLASS_T = WNDCLASST<TCHAR>;

string Suffixed(const TCHAR* pszName, const TCHAR* pszSuffix) {
    string str(pszName);
    str += pszSuffix;
    return str;
}

std::string_view View8(const string& str) {
    return std::string_view(str.Text8());
}

bool RegisterIpcClass() {
    WNDCLASS_T wc{};
    if (GetClassInfo(GuiLibInstance(), kIpcClassName, &wc)) return true;
    RegisterStandardControls();
    if (!GetClassInfo(GuiLibInstance(), kStaticClassName, &wc)) return false;
    wc.cbWndExtra = kIpcWndExtra;
    wc.hInstance = GuiLibInstance();
    wc.lpszClassName = kIpcClassName;
    return RegisterClass(&wc) != 0;
}

HWND FindIpcWindow(const string& strTitle) {
    return FindWindow(kIpcClassName, strTitle.Text());
}

HWND MainWindowOf(HWND hwndIpc) {
    auto word = static_cast<DWORD>(GetWindowLong(hwndIpc, 0));
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(word));
}

} // namespace

bool FindRunningInstance(const TCHAR* pszName, RUNNINGINSTANCE* pInstance) {
    RUNNINGINSTANCE found;
    if (pszName == nullptr || *pszName == 0) {
        if (pInstance != nullptr) *pInstance = found;
        return false;
    }
    found.strName = pszName;
    const string strIpc = Suffixed(pszName, TEXT(" IPC"));

    enum class Where { kNowhere, kHere, kOther } where = Where::kNowhere;
    HWND hwndIpc = nullptr;
    {
        NamedMutex mutex;
        const bool fOwned = mutex.Create(View8(Suffixed(pszName, TEXT(" Mutex")))) &&
                            mutex.Wait(INFINITE) == WAIT_OBJECT_0;
        hwndIpc = FindIpcWindow(strIpc);
        if (hwndIpc != nullptr) {
            where = Where::kHere;
        } else if (FindWindowInOtherProcess(View8(strIpc))) {
            where = Where::kOther;
        } else if (RegisterIpcClass()) {
            hwndIpc = CreateWindowEx(0, kIpcClassName, strIpc.Text(), WS_POPUP, -10, -10, 5, 5,
                                     nullptr, nullptr, GuiLibInstance(), nullptr);
            if (hwndIpc != nullptr) PublishWindow(View8(strIpc), hwndIpc);
        }
        if (fOwned) mutex.Release();
    }

    if (where != Where::kNowhere) {
        // Between the message window's creation and the main window's publication the
        // instance is starting, not absent: give it a moment to publish. A thread cannot
        // wait for itself.
        const bool fCanWait = where == Where::kOther ||
                              GetWindowThreadProcessId(hwndIpc, nullptr) != GetCurrentThreadId();
        const auto deadline = std::chrono::steady_clock::now() + kPublishWait;
        for (;;) {
            if (where == Where::kHere)
                found.hwndMain = MainWindowOf(hwndIpc);
            else
                found.fOtherProcess = FindWindowInOtherProcess(View8(found.strName));
            if (found.hwndMain != nullptr || found.fOtherProcess || !fCanWait ||
                std::chrono::steady_clock::now() >= deadline)
                break;
            std::this_thread::sleep_for(kPublishPoll);
        }
    }
    if (pInstance != nullptr) *pInstance = found;
    return where != Where::kNowhere;
}

bool PostToRunningInstance(const RUNNINGINSTANCE& instance, WORD nId) {
    if (instance.hwndMain != nullptr)
        return PostMessage(instance.hwndMain, WM_COMMAND, MAKEWPARAM(nId, 0), 0) != FALSE;
    if (instance.fOtherProcess) return PostCommandToWindow(View8(instance.strName), nId);
    return false;
}

bool PublishMainWindow(const TCHAR* pszName, HWND hwnd) {
    if (pszName == nullptr || *pszName == 0) return false;
    HWND hwndIpc = FindIpcWindow(Suffixed(pszName, TEXT(" IPC")));
    if (hwndIpc == nullptr) return false;
    SetLastError(ERROR_SUCCESS);
    SetWindowLong(hwndIpc, 0, static_cast<LONG_PTR>(reinterpret_cast<UINT_PTR>(hwnd)));
    if (GetLastError() != ERROR_SUCCESS) return false;
    return PublishWindow(View8(string(pszName)), hwnd);
}

bool ReleaseRunningInstance(const TCHAR* pszName) {
    if (pszName == nullptr || *pszName == 0) return false;
    const string strIpc = Suffixed(pszName, TEXT(" IPC"));
    HWND hwndIpc = FindIpcWindow(strIpc);
    if (hwndIpc == nullptr) return false;
    UnpublishWindow(View8(string(pszName)));
    UnpublishWindow(View8(strIpc));
    return DestroyWindow(hwndIpc) != FALSE;
}

} // namespace cetl
