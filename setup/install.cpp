#include "setup/install.h"

#include "host/registry.h"
#include "setup/zip/zipfile.h"

namespace setup {

namespace {

// A step stopped by its log's write-ahead (the entry is journalled, the log could not be
// written) is a failure to save the uninstall information, not to install the file.
InstallFailure StepFailure(const sl::SetupToolkit& toolkit, const cetl::string& strProgram) {
    if (toolkit.IsJournalDirty()) return InstallFailure{kidsCannotSaveUninstall, cetl::string()};
    return InstallFailure{kidsCannotInstallFile, strProgram};
}

} // namespace

bool RunInstallSequence(sl::SetupToolkit& toolkit, zip::ZipFile& payload,
                        sl::PROGRESSHANDLER pfnProgress, std::intptr_t nUser,
                        InstallFailure* pFailure) {
    using cetl::sformat;
    using cetl::string;
    toolkit.setprogresshandler(pfnProgress, nUser);
    // No installation without its uninstall log: nothing has been changed yet.
    if (!toolkit.openjournal(string(kszProduct))) {
        *pFailure = InstallFailure{kidsCannotSaveUninstall, string()};
        return false;
    }
    // The game's settings and saved game go with the product; nothing is written to them now.
    for (const char* pszValue : {"Settings", "SavedGame", "SavedHistory"})
        toolkit.adddeleteval(host::HKEY_CURRENT_USER, string(kszGameKey), string(pszValue));
    toolkit.copylanguage(string(kszLanguageModule));
    // Nothing has been changed yet: an installation that cannot record its uninstall
    // information stops before it starts.
    if (!toolkit.savejournal()) {
        *pFailure = InstallFailure{kidsCannotSaveUninstall, string()};
        return false;
    }

    const string strPlatform = toolkit.getplatform();
    const string strProgram =
        sformat("%s\\%s\\kelvano.exe", toolkit.getfolder(sl::kFolderProgramFiles), kszProduct);
    if (!toolkit.installfile(strProgram, payload, sformat("%s\\kelvano.exe", strPlatform), 5, 95)) {
        *pFailure = StepFailure(toolkit, strProgram);
        return false;
    }
    const string strLink =
        sformat("%s\\Games\\%s.lnk", toolkit.getfolder(sl::kFolderProgramsMenu), kszProduct);
    if (!toolkit.linkfile(strLink, strProgram)) {
        *pFailure = StepFailure(toolkit, strProgram);
        return false;
    }
    if (!toolkit.finalize(payload, sformat("%s\\uninstaller.dll", strPlatform), 95, 95, 100)) {
        *pFailure = InstallFailure{kidsCannotSaveUninstall, string()};
        return false;
    }
    return true;
}

} // namespace setup
