// The installation worker: the install sequence on each chosen target, with every progress
// report turned into a status record for the window thread.
#include "foundation/memmgr.h"
#include "foundation/tl_language.h"
#include "host/window.h"
#include "setup/program/setup_internal.h"
#include "setup/sl_main.h"
#include "setup/sl_toolkit.h"

using cetl::string;

string SetupShortItemName(const string& strPath) {
    // Every "\" cut first, then every "/" of what is left.
    string strName = strPath;
    for (const TCHAR ch : {'\\', '/'}) {
        const int i = strName.ReverseFind(ch);
        if (i >= 0) strName = string(strName, i + 1, -1);
    }
    return strName;
}

namespace {

int FormatFor(int nKind) {
    switch (nKind) {
    case sl::kProgressFile:
        return IDS_SETUP_PROGRESS_FILE;
    case sl::kProgressFolder:
        return IDS_SETUP_PROGRESS_FOLDER;
    case sl::kProgressRegistry:
        return IDS_SETUP_PROGRESS_REGISTRY;
    case sl::kProgressFinishing:
        return IDS_SETUP_PROGRESS_FINISHING;
    default:
        return IDS_SETUP_PROGRESS_UNINSTALL;
    }
}

void OnProgress(int nKind, int nPercent, const char* pszItem, std::intptr_t nUser) {
    SETUPPROGRAM& program = SetupProgram();
    string strFormat;
    cetl::LoadText(FormatFor(nKind), strFormat);
    UPDATESTATUS* pStatus = MemNew(UPDATESTATUS);
    if (pStatus == nullptr) return;
    pStatus->nControl = static_cast<std::int32_t>(nUser);
    pStatus->nPercent = nPercent;
    pStatus->strText =
        cetl::sformat(strFormat, static_cast<long>(nPercent), SetupShortItemName(string(pszItem)));
    const host::LPARAM lParam = reinterpret_cast<host::LPARAM>(pStatus);
    if (program.run.msPace == 0) {
        // A window that is gone cannot take the record over.
        if (!host::PostMessage(program.hwndMain, host::WM_COMMAND, IDM_SETUP_STATUS, lParam))
            MemDelete(pStatus);
        return;
    }
    // Paced: each record is handed over, the worker waiting while the window shows it, then
    // the pace. However slow the window, it shows every step before the next one starts, and
    // between records its queue is empty (its timers run).
    if (!host::IsWindow(program.hwndMain)) {
        MemDelete(pStatus);
        return;
    }
    host::SendMessage(program.hwndMain, host::WM_COMMAND, IDM_SETUP_STATUS, lParam);
    host::Sleep(program.run.msPace);
}

} // namespace

void RunSetupWorker() {
    SETUPPROGRAM& program = SetupProgram();
    const int nTarget = program.nInstallTarget;
    setup::InstallFailure failure;
    bool fOk = true;
    if (nTarget == SETUP_TARGET_DESKTOP || nTarget == SETUP_TARGET_BOTH)
        fOk = setup::RunInstallSequence(program.pSetupLib->DesktopToolkit(), *program.pPayload,
                                        OnProgress, IDC_SETUP_PROGRESS, &failure);
    if (fOk && (nTarget == SETUP_TARGET_BOTH || nTarget == SETUP_TARGET_DEVICE)) {
        sl::SetupToolkit* pDevice = program.pSetupLib->DeviceToolkit();
        const int nControl =
            nTarget == SETUP_TARGET_BOTH ? IDC_SETUP_PROGRESS_DEVICE : IDC_SETUP_PROGRESS;
        // The device choice is only offered with a connection; without one, nothing was
        // installed there.
        fOk = pDevice != nullptr && setup::RunInstallSequence(*pDevice, *program.pPayload,
                                                              OnProgress, nControl, &failure);
        if (pDevice == nullptr) failure = {setup::kidsCannotInstallFile, string()};
    }
    program.failure = failure;
    host::PostMessage(program.hwndMain, host::WM_COMMAND, IDM_SETUP_DONE, fOk ? 1 : 0);
}
