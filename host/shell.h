// The shell on this machine: the special folders and the uninstall key seeded in the host
// registry on first use, shortcuts, and the runner that calls an entry point of a library.
//
// Seeded under HKLM "Software\Microsoft\Windows\CurrentVersion": "ProgramFilesDir"
// ("C:\Program Files"), "Explorer\Shell Folders" "Common Programs"
// ("C:\ProgramData\Start Menu\Programs") and "Common Startup" (its "Startup"), and the key
// "Uninstall". Values already present are kept, whatever they hold. Only the registry is
// seeded: the folders are made by whoever first puts something in them.
#pragma once

#include "host/library.h"
#include "host/types.h"

#include <string>
#include <string_view>

namespace host {

// Seeds the registry values above when missing (once per registry folder; cheap afterwards).
void SeedShellFolders();

// A shortcut ("shell link"): target, arguments, description, show command, saved to a
// 16-bit path (classic or native) with a freedesktop ".desktop" twin in the user's
// applications folder ($KELVANO_APPLICATIONS_DIR, else $XDG_DATA_HOME/applications, else
// ~/.local/share/applications) that is created and deleted with it.
//
// The shortcut file is UTF-8 text, one "Key=value" a line, the value running to the end of
// the line:
//     [Kelvano Shortcut]
//     Version=1
//     Target=C:\Program Files\Vantor Software\Kelvano\kelvano.exe
//     Arguments=
//     Description=Kelvano
//     ShowCommand=1
// Unknown keys are ignored when read; a line break or a zero in a field cannot be written
// (ERROR_INVALID_PARAMETER). The twin is "kelvano-link-<hash of the shortcut's native
// path>.desktop": its Name is the shortcut's file name without ".lnk", its Comment the
// description, its Exec the target's native path and the arguments, and
// "X-Kelvano-Link" the shortcut's native path, which tells whose twin it is.
struct SHELLLINK {
    std::u16string target;
    std::u16string arguments;
    std::u16string description;
    int nShowCommand = 1;
};
BOOL SaveShellLink(const WCHAR* pszLinkPath, const SHELLLINK& link);
BOOL LoadShellLink(const WCHAR* pszLinkPath, SHELLLINK* pLink);
// Deletes the shortcut and its twin.
BOOL DeleteShellLink(const WCHAR* pszLinkPath);
// The native path of the twin of a shortcut (which need not exist).
std::string ShellLinkTwinPath(const WCHAR* pszLinkPath);
// DeleteFile and MoveFile take a shortcut's twin along. This deletes the twins whose shortcut
// went another way (removed behind the host's back); returns how many.
int PruneShellLinkTwins();

// The runner: `rundll32 "PATH",Entry rest` loads PATH (LoadLibrary, so any kind of name) and
// calls Entry(null window, the module, rest, nShow), then frees it. "rundll32" may be
// "rundll32.exe" in any case; PATH is quoted (anything but '"') or not (up to the comma, no
// '"'; spaces before the comma are dropped); Entry is letters, digits, '_' and '@'; rest is
// what follows the spaces after Entry, as it is. False with ERROR_INVALID_PARAMETER for a
// malformed line, ERROR_MOD_NOT_FOUND when the library does not load, ERROR_PROC_NOT_FOUND
// when it has no Entry.
using RUNDLLENTRY = void (*)(HWND hwnd, HINSTANCE hInstance, const char* pszCmdLine, int nShow);
BOOL RunDllCommand(const std::string& commandLine, int nShow = 1);

struct RunDllCommandParts {
    std::string path;
    std::string entry;
    std::string rest;
};
// The parsing alone: false for a malformed line.
bool ParseRunDllCommand(std::string_view line, RunDllCommandParts* pParts);

} // namespace host
