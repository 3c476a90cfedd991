// One target of an installation: this machine or a connected device. A toolkit installs
// files, folders, registry values and shortcuts from an archive, journals everything it
// creates and writes the journal to the uninstall log before each change it records, and
// holds the removal that reads the log back.
//
// Folders by number: 0 install root, 1 program files, 2 the maker's folder (1 +
// "\Vantor Software"), 3 the programs menu, 4 startup. The log is folder 2 + "\Uninstall Log
// for <product>.txt". Operations return true or false and leave a "setuplib: " trace line
// on failure. A toolkit is used by one thread at a time.
#pragma once

#include "foundation/tl_string.h"
#include "host/types.h"
#include "setup/sl_internal.h"

#include <cstdint>
#include <memory>

namespace zip {
class ZipFile;
}

namespace sl {

class SetupLib;

// Progress kinds.
enum ProgressKind : int {
    kProgressFile = 0,
    kProgressFolder = 1,
    kProgressRegistry = 2,
    kProgressUninstallInfo = 3,
    kProgressFinishing = 4,
};
// (kind, percent, item path, user value)
using PROGRESSHANDLER = void (*)(int nKind, int nPercent, const char* pszItem, std::intptr_t nUser);

constexpr int kFolderInstallRoot = 0;
constexpr int kFolderProgramFiles = 1;
constexpr int kFolderMaker = 2;
constexpr int kFolderProgramsMenu = 3;
constexpr int kFolderStartup = 4;
constexpr int kFolderCount = 5;

// Registry texts are read as 16-bit text into a buffer of this many bytes.
constexpr DWORD kcbRegistryText = 1024;
// Files are written in chunks of this many bytes, with progress after each.
constexpr DWORD kcbWriteChunk = 32768;
// installtree counts this much for each folder it creates.
constexpr std::uint64_t kcbFolderWeight = 0x4000;

class SetupToolkit {
public:
    // pOwner may be null (the uninstaller works without a library).
    SetupToolkit(SetupLib* pOwner, TargetPtr pTarget);
    ~SetupToolkit();
    SetupToolkit(const SetupToolkit&) = delete;
    SetupToolkit& operator=(const SetupToolkit&) = delete;

    bool IsDevice() const;
    SetupTarget& Target();

    void setprogresshandler(PROGRESSHANDLER pfn, std::intptr_t nUser);
    // nPercent -1 keeps the last percent.
    void reportprogress(int nKind, int nPercent, const string& strItem);
    int LastPercent() const;

    string getplatform();
    string getfolder(int nFolder);
    // "\"<folder 2>\uninstaller.dll\" \"<log path>\""
    string uninstallcommand();

    // ---- Journal -------------------------------------------------------------------------
    // Creates folder 2, reads an earlier log back and starts journalling; false when the
    // folder cannot be made.
    bool openjournal(const string& strProduct);
    // Stops journalling and writes the log when it changed.
    bool closejournal();
    void pausejournal();
    void resumejournal();
    // Writes the log, replacing the previous one in one step; false (the previous log
    // whole) when it cannot be written.
    bool savejournal();
    bool IsJournalOpen() const;
    // The journal holds entries its log does not: the last write of the log failed.
    bool IsJournalDirty() const;
    bool IsJournalling() const;
    const Journal& GetJournal() const;
    const string& Product() const;
    const string& LogPath() const;

    // ---- Install -------------------------------------------------------------------------
    // Creates the folder and its missing parents, each journalled before it is made.
    bool createfolder(const string& strPath);
    // Journal only: the folder and its parents; the file and its parents.
    bool journalfolder(const string& strPath);
    bool journalfile(const string& strPath);
    // Journal only: deletekey for the key and its parents, then deleteval.
    bool adddeleteval(HKEY hRoot, const string& strKey, const string& strValue);
    bool settextvalue(HKEY hRoot, const string& strKey, const string& strValue,
                      const string& strText);
    bool setdwordvalue(HKEY hRoot, const string& strKey, const string& strValue, DWORD dw);
    bool setbinaryvalue(HKEY hRoot, const string& strKey, const string& strValue, const BYTE* pb,
                        DWORD cb);
    bool copylanguage(const string& strModule);
    // nFrom -1: one write, no progress.
    bool writefile(const string& strPath, const BYTE* pb, DWORD cb, int nFrom, int nTo);
    bool installfile(const string& strPath, zip::ZipFile& archive, const string& strEntry,
                     int nFrom, int nTo);
    bool linkfile(const string& strLink, const string& strTarget);
    bool installtree(const string& strDest, zip::ZipFile& archive, const string& strSource,
                     int nFrom, int nTo);
    bool finalize(zip::ZipFile& archive, const string& strEntry, int nIgnored, int nFrom, int nTo);
    // A device without the decompressor gets the entry as folder 2 + "\lzrapi.dll" (not
    // journalled), and is asked its version again. True, doing nothing, on this machine or
    // when the device has one.
    bool installdecompressor(zip::ZipFile& archive, const string& strEntry);
    // The device decompressor's version, asked once: 0 when there is none (always on this
    // machine), and from a failed unpacking on.
    int DecompressorVersion();

    // ---- Removal (sl_uninst.cpp) ---------------------------------------------------------
    // Undoes the product's log, newest entry first. Without a readable log nothing is
    // touched and the product stays registered (false).
    bool uninstall(const string& strProduct);
    bool registerproduct(const string& strProduct);
    bool unregisterproduct(const string& strProduct);
    // The hook's byte result; true when the hook or the entry cannot be found.
    bool callapphook(const string& strHook, const char* pszEntry, const string& strProduct);
    // Moves the file to "C:\This File Is Safe To Delete (#<ticks>)<extension>" (the source's
    // drive; "\" on a device), a fresh name each time. Empty when it cannot be moved.
    string moveaside(const string& strPath);

private:
    bool JournalWriteAhead(int nType, const string& strFirst, const string& strSecond = {});
    bool JournalOnly(int nType, const string& strFirst, const string& strSecond = {});
    bool MakeFolders(const string& strPath, bool fIncludeSelf, bool fCreate);
    bool MakeKeys(HKEY hRoot, const string& strKey, bool fCreate);
    bool SetValue(HKEY hRoot, const string& strKey, const string& strValue, DWORD dwType,
                  const BYTE* pb, DWORD cb);
    // Progress names strShown when given: the file the user knows, not a temporary one.
    bool WriteFileData(const string& strPath, const BYTE* pb, DWORD cb, int nFrom, int nTo,
                       const string& strShown = string());
    bool WriteCompressed(const string& strPath, const BYTE* pb, DWORD cb, int nFrom, int nTo,
                         const string& strShown);
    bool WritePlain(const string& strPath, const BYTE* pb, DWORD cb, int nFrom, int nTo,
                    const string& strShown = string());
    void Trace(const string& strLine) const;

    // The toolkit's state, in a block of its own (tag "SetupToolkit_m_t").
    struct m_t;
    m_t* m_;
};

// Reads the whole log, or its replacement when the log is missing: a target that cannot
// rename over a file deletes the log before moving the replacement in.
bool ReadLog(SetupTarget& target, const string& strLog, mem::vector<BYTE>* pBlock);

// A registry key with its root prefix, as the journal keeps it ("HKLM\Software\X").
string KeyWithRoot(HKEY hRoot, const string& strSubKey);
// The reverse; false for a text without a known root prefix.
bool SplitKeyWithRoot(const string& strKey, HKEY* phRoot, string* pstrSubKey);

} // namespace sl
