// What the files' own sources share: error mapping, the read-only rule, folder helpers.
#pragma once

#include "host/types.h"

#include <string>
#include <sys/stat.h>

namespace host {

// The last-error value for a system error of a file call; a full disk and a file-size limit
// are both ERROR_DISK_FULL.
DWORD FileErrorFromErrno(int nErrno);
// True when the file carries the read-only mark, which the host keeps even for root.
bool DeniesWriting(const struct stat& st);
// True while a host program holds the file in use (its executable or a loaded library).
bool IsInUse(const std::string& native);
// Before the first write: a file-size limit fails writes instead of ending the process.
void FirstFileWrite();
// Makes the folder and its parents (best effort).
void MakeFolderPath(const std::string& folder);
// Flushes a folder's entries, after a rename in it.
void SyncFolderOf(const std::string& folder);
// True for a drive folder's own path (it may not be removed).
bool IsDriveRoot(const std::string& native);
// Programs keep their classic ".exe" names, and here they also need the execute permission
// to start: such a file is created executable, and a file renamed to such a name becomes so
// (where it may be read). Other files are created 0644.
bool IsProgramName(const std::string& native);
mode_t NewFileMode(const std::string& native);
void KeepProgramRunnable(const std::string& native);
// A shortcut (".lnk") deleted or moved as a plain file takes its desktop twin along
// (host/shell.h); other files are left alone.
void ShellLinkDeleted(const std::string& nativeLink);
void ShellLinkMoved(const std::string& nativeFrom, const std::string& nativeTo);

} // namespace host
