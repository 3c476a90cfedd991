// The installation of the game on one target, as the installer's worker runs it: the
// journal opened for "Kelvano", the game's registry values and language journalled, the
// program, its shortcut in the programs menu's "Games" folder, then the shared uninstaller
// and the product's registration.
#pragma once

#include "foundation/tl_string.h"
#include "setup/sl_toolkit.h"

#include <cstdint>

namespace zip {
class ZipFile;
}

namespace setup {

inline constexpr char kszProduct[] = "Kelvano";
inline constexpr char kszLanguageModule[] = "Kelvano CE";
inline constexpr char kszGameKey[] = "Software\\Vantor\\Kelvano CE";

// String ids of the installer's messages for a failed installation.
constexpr int kidsCannotInstallFile = 22;   // %s: the program's path
constexpr int kidsCannotSaveUninstall = 24; // no argument

struct InstallFailure {
    int idsMessage = 0;
    cetl::string strArgument;
};

// Runs every step on the toolkit, reporting progress to pfnProgress with nUser. False at the
// first failing step, with the message to show in *pFailure.
bool RunInstallSequence(sl::SetupToolkit& toolkit, zip::ZipFile& payload,
                        sl::PROGRESSHANDLER pfnProgress, std::intptr_t nUser,
                        InstallFailure* pFailure);

} // namespace setup
