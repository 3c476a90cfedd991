// The shell on this machine: the special folders and the uninstall key seeded in the host
// registry on first use, shortcuts, and the runner that calls an entry point of a library.
//
// Seeded under HKLM "Software\Microsoft\Windows\CurrentVersion": "ProgramFilesDir"
// ("C:\Program Files"), "Explorer\Shell Folders" "Common Programs" and "Common Startup"
// (folders under "C:\ProgramData\Start Menu\Programs"), and the key "Uninstall". Values
// already present are kept.
#pragma once

#include "host/library.h"
#include "host/types.h"

#include <string>

namespace host {

// Seeds the registry values above when missing (once per process; cheap afterwards).
void SeedShellFolders();

// A shortcut ("shell link"): target, arguments, description, show command, saved to a
// 16-bit path in a documented text format of ours, with a freedesktop ".desktop" twin in
// the user's applications folder ($KELVANO_APPLICATIONS_DIR, else
// $XDG_DATA_HOME/applications) that is created and deleted with it.
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

// The runner: `rundll32 "PATH",Entry rest` loads PATH and calls
// Entry(HWND, HINSTANCE, const char* pszCommandLine (rest), int nShow). False (with the last
// error) when the command line is malformed, the library does not load or has no Entry.
using RUNDLLENTRY = void (*)(HWND hwnd, HINSTANCE hInstance, const char* pszCmdLine, int nShow);
BOOL RunDllCommand(const std::string& commandLine, int nShow = 1);

} // namespace host
