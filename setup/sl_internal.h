// The setup library's inner parts: the journal and the uninstall log it is written to, the
// path walks, and the target a toolkit works on (this machine through host/, a device through
// the remote API).
//
// The log is 8-bit text: a fixed header of ten lines, then one line per journal entry,
//     deletedir { "C:\Program Files\Kelvano" }
//     deleteval { "HKCU\Software\Vantor\Kelvano CE" "Settings" }
// Quoted texts have no escapes, so a text holding '"', CR or LF cannot be written: every
// operation refuses such a name before it journals or changes anything (IsLoggable).
#pragma once

#include "foundation/memmgr.h"
#include "foundation/tl_string.h"
#include "host/registry.h"
#include "host/types.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>

namespace sl {

using cetl::sformat;
using cetl::string;
using host::BYTE;
using host::DWORD;
using host::HKEY;

// ---- Journal -----------------------------------------------------------------------------
enum JournalType : int {
    kDeleteDir = 0,
    kDeleteFile = 1,
    kDeleteKey = 2,
    kDeleteVal = 3,
    kAppHook = 4,
};

struct JournalEntry {
    int nType = kDeleteDir;
    string strFirst;  // a path, or a key with its root prefix ("HKLM\...")
    string strSecond; // the value name of a deleteval, else empty
};

// Entries in the order they were added, each (type, first, second) at most once; the texts
// compare exactly. Adding and looking up take constant time, so a tree of thousands of
// files journals in linear time.
class Journal {
public:
    Journal();
    // False (and nothing added) when the entry is already there or the type is unknown. Only
    // a deleteval keeps its second text; other types ignore it.
    bool Add(int nType, const string& strFirst, const string& strSecond = string());
    bool Contains(int nType, const string& strFirst, const string& strSecond = string()) const;
    const mem::vector<JournalEntry>& Entries() const { return entries_; }
    std::size_t Count() const { return entries_.size(); }
    void Clear();

private:
    static mem::basic_string<char> KeyOf(int nType, const string& strFirst,
                                         const string& strSecond);

    struct KeyHash {
        std::size_t operator()(const mem::basic_string<char>& key) const noexcept {
            return std::hash<std::string_view>{}(std::string_view(key));
        }
    };

    mem::vector<JournalEntry> entries_;
    mem::unordered_map<mem::basic_string<char>, std::size_t, KeyHash> index_;
};

// ---- The uninstall log -------------------------------------------------------------------
// The log is replaced in one step: written in full to its name + this suffix, then renamed.
// A removal deletes a temporary file left by a crash too.
inline constexpr char kszLogTempSuffix[] = ".tmp";
// The ten header lines, each ending in "\n" (the last one is empty).
extern const char kszLogHeader[];
const char* JournalKeyword(int nType); // "deletedir", ..., "apphook"; null for another type

// True when the text can stand between quotes in a log.
bool IsLoggable(const string& str);
// The header and one line per entry. Entries that are not loggable never get into a journal
// through the toolkit; should one be there it is left out rather than written broken.
string RenderLog(const Journal& journal);
// Reads entries from log text into the journal, after what it holds (an entry already there
// is not added twice). Reading stops at the end, at an unknown keyword, where "{", a quoted
// text or "}" is missing, or at a text holding a NUL (a damaged log); what was read up to
// there stays. Returns the entries read, those already in the journal included.
int ParseLog(const char* pch, std::size_t cch, Journal& journal);

// ---- Paths -------------------------------------------------------------------------------
// The folders a path lies in, from the shortest to the longest: each prefix that ends
// before a "\", then the path itself when fIncludeSelf. Empty prefixes (a path starting with
// "\"), prefixes ending in "\" (a doubled or trailing separator) and drives ("C:") are left
// out, so "C:\a\\b\" gives "C:\a" and "C:\a\\b".
mem::vector<string> FolderPrefixes(const string& strPath, bool fIncludeSelf);
// An archive entry name as the archive keeps it: "\" becomes "/", one leading "/" dropped.
string NormaliseEntryName(const string& strName);
// A relative name that may be put below a folder: no ".." or "." component, no drive, not
// absolute, no empty component.
bool IsSafeRelativeName(const string& strName);
// The last component: everything up to the last "\" or "/" cut off.
string ShortItemName(const string& strPath);

// ---- Targets -----------------------------------------------------------------------------
// The calls a toolkit makes on its target. Paths are classic ("C:\...") on this machine and
// start at "\" on a device. Failures leave the last-error value set.
class SetupTarget {
public:
    virtual ~SetupTarget() = default;
    virtual bool IsDevice() const = 0;

    virtual DWORD GetFileAttributes(const string& strPath) = 0;
    virtual bool SetFileAttributes(const string& strPath, DWORD dwAttributes) = 0;
    virtual bool CreateDirectory(const string& strPath) = 0;
    virtual bool RemoveDirectory(const string& strPath) = 0;
    virtual bool DeleteFile(const string& strPath) = 0;
    virtual bool MoveFile(const string& strFrom, const string& strTo) = 0;
    // This machine: MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT and no target. A device
    // deletes at once instead (the removal does that itself); false there.
    virtual bool DeleteAtNextStart(const string& strPath) = 0;

    // Writing a file: create (truncating), write in as many calls as wanted, close. Only one
    // file is open at a time.
    virtual bool CreateFileForWriting(const string& strPath) = 0;
    virtual bool WriteOpenFile(const BYTE* pb, DWORD cb) = 0;
    // Flushes (when asked) and closes; false when the flush or the close failed.
    virtual bool CloseOpenFile(bool fFlush) = 0;
    // Replaces strTo by strFrom in one step where the target can (this machine: a rename).
    virtual bool ReplaceFile(const string& strFrom, const string& strTo) = 0;
    // The whole file into *pBlock (tagged "*pcbData"); false when it cannot be read.
    virtual bool ReadWholeFile(const string& strPath, mem::vector<BYTE>* pBlock) = 0;

    // Registry; keys are given as root and sub-key.
    virtual bool CreateKey(HKEY hRoot, const string& strSubKey) = 0;
    virtual bool KeyExists(HKEY hRoot, const string& strSubKey) = 0;
    // Fails when the key cannot be opened.
    virtual bool SetValue(HKEY hRoot, const string& strSubKey, const string& strName, DWORD dwType,
                          const BYTE* pb, DWORD cb) = 0;
    // A REG_SZ value read as 16-bit text into a buffer of cbBuffer bytes and given back as
    // 8-bit text; false when missing, not text, or too long for the buffer.
    virtual bool QueryText(HKEY hRoot, const string& strSubKey, const string& strName,
                           DWORD cbBuffer, string* pText) = 0;
    virtual bool DeleteValue(HKEY hRoot, const string& strSubKey, const string& strName) = 0;
    // Deletes the key only when it has neither sub-keys nor values.
    virtual bool DeleteKeyIfEmpty(HKEY hRoot, const string& strSubKey) = 0;
    // Deletes the key with its values (it must have no sub-keys).
    virtual bool DeleteKey(HKEY hRoot, const string& strSubKey) = 0;

    // A shortcut to the target program at strLink.
    virtual bool CreateShortcut(const string& strLink, const string& strTarget) = 0;
    // The processor family ("native" on this machine).
    virtual string Platform() = 0;
    // The programs menu (2) or startup (7) folder of a device; empty on this machine, whose
    // folders come from its registry.
    virtual string SpecialFolder(int nCsidl) = 0;

    // A block-mode entry of a library: the input is 16-bit texts each with its terminator,
    // the output a 16-bit text. This machine loads the library, calls and frees it before
    // returning (so the file can be replaced afterwards); a device makes the remote call.
    // *pnResult is the entry's result code. False when the library or entry is missing.
    virtual bool CallBlockEntry(const string& strLibrary, const char* pszEntry,
                                const std::u16string& input, std::u16string* pOutput,
                                long* pnResult) = 0;
    // An application hook: load, call Entry(16-bit product name) for its byte result, free.
    // True with fFound false when the library or the entry is missing.
    virtual bool CallHook(const string& strLibrary, const char* pszEntry, const string& strProduct,
                          bool* pfFound, bool* pfResult) = 0;
};

// Targets are made with MemNew and released with MemDelete.
struct TargetDeleter {
    void operator()(SetupTarget* pTarget) const;
};
using TargetPtr = std::unique_ptr<SetupTarget, TargetDeleter>;

class DeviceConnection;

// This machine, through host/.
TargetPtr MakeDesktopTarget();
// A connected device, through the remote API binding (which outlives the target).
TargetPtr MakeDeviceTarget(DeviceConnection* pConnection);
// The device as seen by a program running in the device's own context (the device service's
// helpers, the device tool): host/ calls, whose classic "\..." names and registry are the
// device's, with a device's paths, folders and registration.
TargetPtr MakeLocalDeviceTarget();
// True in the device's context: the device service sets KELVANO_PROFILE=device for every
// program it runs, and nothing else does.
bool InDeviceContext();

// A fault switch for crash tests: when set, every target calls it before each call that
// changes a file, a folder or the registry, with the call's name and its path.
using MutationHook = void (*)(const char* pszCall, const char* pszPath);
void SetMutationHook(MutationHook pfnHook);
// What a target calls before each such change.
void BeforeMutation(const char* pszCall, const string& strPath);

} // namespace sl
