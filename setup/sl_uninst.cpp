// The removal side of the toolkit: undoing an uninstall log, the product's registration, the
// application hook, and moving files that are in use out of the way.
#include "host/clock.h"
#include "host/error.h"
#include "host/file.h"
#include "host/registry.h"
#include "setup/sl_main.h"
#include "setup/sl_toolkit.h"
#include "setup/uninstaller.h"

#include <string>

namespace sl {
namespace {

constexpr char kszMakerSubfolder[] = "\\Vantor Software";
constexpr char kszDesktopUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kszDeviceAppsKey[] = "Software\\Apps\\";
constexpr char kszAsidePrefix[] = "\\This File Is Safe To Delete (#";
// Names tried after the tick count is taken before moving aside gives up.
constexpr int kcAsideAttempts = 1000;

bool IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

bool IsDriveLetter(char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}

// "X:\..." on this machine; "\..." on a device. A log is outside data: anything else (a native
// path on this machine, say) could name files no installation of ours made.
bool IsTargetPath(bool fDevice, const string& strPath) {
    const char* psz = strPath.Text8();
    if (fDevice) return IsSeparator(psz[0]);
    return IsDriveLetter(psz[0]) && psz[1] == ':' && IsSeparator(psz[2]);
}

// A product name becomes part of a file name and of a registry key: one plain component.
bool IsProductName(const string& strProduct) {
    if (strProduct.IsEmpty() || !IsLoggable(strProduct)) return false;
    for (const char* psz = strProduct.Text8(); *psz != '\0'; ++psz)
        if (IsSeparator(*psz)) return false;
    return true;
}

std::u16string Wide(const string& str) {
    return std::u16string(str.Text16());
}

bool SetText(SetupTarget& target, HKEY hRoot, const string& strKey, const char* pszName,
             const string& strText) {
    const std::u16string text = Wide(strText);
    return target.SetValue(hRoot, strKey, pszName, host::REG_SZ,
                           reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

bool SetDword(SetupTarget& target, HKEY hRoot, const string& strKey, const char* pszName,
              DWORD dw) {
    const BYTE rgb[4] = {static_cast<BYTE>(dw), static_cast<BYTE>(dw >> 8),
                         static_cast<BYTE>(dw >> 16), static_cast<BYTE>(dw >> 24)};
    return target.SetValue(hRoot, strKey, pszName, host::REG_DWORD, rgb, sizeof rgb);
}

// Temporary files a crash left beside the log and beside the shared uninstaller: the
// real files are only ever replaced by renaming these, so what remains of them is junk.
void DeleteLeftovers(SetupTarget& target, const string& strLog) {
    const int iFolder = strLog.ReverseFind('\\');
    const string rgstrLeftovers[] = {
        strLog + kszLogTempSuffix,
        strLog.Substring(0, iFolder + 1) + kszUninstallerFile + kszLogTempSuffix,
    };
    for (const string& strLeftover : rgstrLeftovers)
        if (target.GetFileAttributes(strLeftover) != host::INVALID_FILE_ATTRIBUTES) {
            target.SetFileAttributes(strLeftover, host::FILE_ATTRIBUTE_NORMAL);
            target.DeleteFile(strLeftover);
        }
}

} // namespace

string SetupToolkit::moveaside(const string& strPath) {
    const char* pszPath = strPath.Text8();
    string strPrefix;
    if (!IsDevice()) {
        const char chDrive = IsDriveLetter(pszPath[0]) && pszPath[1] == ':' ? pszPath[0] : 'C';
        strPrefix += chDrive;
        strPrefix += ':';
    }
    strPrefix += kszAsidePrefix;

    // The extension is the last component's: a "." in a folder name is not one.
    int iLast = -1;
    for (int i = 0; pszPath[i] != '\0'; ++i)
        if (IsSeparator(pszPath[i])) iLast = i;
    const string strLast = strPath.Substring(iLast + 1);
    const int iDot = strLast.ReverseFind('.');
    const string strExtension = iDot >= 0 ? strLast.Substring(iDot) : string();

    SetupTarget& target = Target();
    target.SetFileAttributes(strPath, host::FILE_ATTRIBUTE_NORMAL);
    // Two moves within one millisecond get the same tick count: take the next free number.
    unsigned long nNumber = host::GetTickCount();
    for (int cAttempts = 0; cAttempts < kcAsideAttempts; ++cAttempts, ++nNumber) {
        const string strNew = strPrefix + std::to_string(nNumber).c_str() + ")" + strExtension;
        if (target.GetFileAttributes(strNew) != host::INVALID_FILE_ATTRIBUTES) continue;
        if (target.MoveFile(strPath, strNew)) return strNew;
        if (host::GetLastError() != host::ERROR_ALREADY_EXISTS &&
            host::GetLastError() != host::ERROR_FILE_EXISTS)
            break;
    }
    Trace(sformat("setuplib: moveaside failed to move %s\n", strPath));
    return string();
}

bool SetupToolkit::registerproduct(const string& strProduct) {
    if (!IsProductName(strProduct)) {
        Trace(sformat("setuplib: registerproduct refused the name %s\n", strProduct));
        return false;
    }
    SetupTarget& target = Target();
    const string strUninstaller =
        getfolder(kFolderProgramFiles) + kszMakerSubfolder + "\\" + kszUninstallerFile;
    bool fOk;
    string strKey;
    if (IsDevice()) {
        strKey = string(kszDeviceAppsKey) + strProduct;
        fOk = target.CreateKey(host::HKEY_LOCAL_MACHINE, strKey) &&
              SetText(target, host::HKEY_LOCAL_MACHINE, strKey, "InstlDir", strProduct) &&
              SetText(target, host::HKEY_LOCAL_MACHINE, strKey, "IsvFile", strUninstaller) &&
              SetDword(target, host::HKEY_LOCAL_MACHINE, strKey, "Instl", 1) &&
              SetDword(target, host::HKEY_LOCAL_MACHINE, strKey, "InstlDirCnt", 0);
    } else {
        strKey = string(kszDesktopUninstallKey) + strProduct;
        const string strCommand =
            sformat("rundll32 \"%s\",%s %s", strUninstaller, kszEntryUninstall, strProduct);
        fOk = target.CreateKey(host::HKEY_LOCAL_MACHINE, strKey) &&
              SetText(target, host::HKEY_LOCAL_MACHINE, strKey, "DisplayName", strProduct) &&
              SetText(target, host::HKEY_LOCAL_MACHINE, strKey, "UninstallString", strCommand);
    }
    if (!fOk) Trace(sformat("setuplib: registerproduct failed to register %s\n", strKey));
    return fOk;
}

bool SetupToolkit::unregisterproduct(const string& strProduct) {
    if (!IsProductName(strProduct)) return false;
    const string strKey =
        string(IsDevice() ? kszDeviceAppsKey : kszDesktopUninstallKey) + strProduct;
    return Target().DeleteKey(host::HKEY_LOCAL_MACHINE, strKey);
}

bool SetupToolkit::callapphook(const string& strHook, const char* pszEntry,
                               const string& strProduct) {
    SetupTarget& target = Target();
    if (!IsDevice()) {
        bool fFound = false;
        bool fResult = true;
        if (!target.CallHook(strHook, pszEntry, strProduct, &fFound, &fResult)) return true;
        return !fFound || fResult;
    }
    // The device runs the hook through the shared uninstaller there.
    const std::u16string input = MakeTextBlock({Wide(strHook), Wide(pszEntry), Wide(strProduct)});
    std::u16string output;
    long nResult = 0;
    const string strUninstaller =
        getfolder(kFolderProgramFiles) + kszMakerSubfolder + "\\" + kszUninstallerFile;
    if (!target.CallBlockEntry(strUninstaller, kszEntryChainAppHook, input, &output, &nResult))
        return true;
    return nResult != kHookDeclined;
}

bool SetupToolkit::uninstall(const string& strProduct) {
    if (!IsProductName(strProduct)) {
        Trace(sformat("setuplib: uninstall refused the name %s\n", strProduct));
        return false;
    }
    SetupTarget& target = Target();
    const bool fDevice = IsDevice();
    const string strLog = getfolder(kFolderProgramFiles) + kszMakerSubfolder +
                          sformat("\\Uninstall Log for %s.txt", strProduct);

    // Without the log there is no telling what belongs to the product: leave everything,
    // the registration included, so that removal can be tried again.
    Journal journal;
    {
        mem::vector<BYTE> block{MEM_TAG("*pcbData")};
        if (!ReadLog(target, strLog, &block)) {
            Trace(sformat("setuplib: uninstall could not read %s\n", strLog));
            // A log that never got its first save changed nothing; its leftover goes.
            DeleteLeftovers(target, strLog);
            return false;
        }
        ParseLog(reinterpret_cast<const char*>(block.data()), block.size(), journal);
    }
    const mem::vector<JournalEntry>& entries = journal.Entries();

    // The hook runs from a name of its own, so that removing the product's folder does not
    // trip over it.
    string strHookHome;
    string strHook;
    for (const JournalEntry& entry : entries) {
        if (entry.nType != kAppHook || !IsTargetPath(fDevice, entry.strFirst)) continue;
        const DWORD dwAttributes = target.GetFileAttributes(entry.strFirst);
        if (dwAttributes == host::INVALID_FILE_ATTRIBUTES ||
            (dwAttributes & host::FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;
        strHook = moveaside(entry.strFirst);
        if (!strHook.IsEmpty()) {
            strHookHome = entry.strFirst;
            break;
        }
    }
    if (!strHook.IsEmpty() && !callapphook(strHook, kszHookBegin, strProduct)) {
        if (!target.MoveFile(strHook, strHookHome))
            Trace(sformat("setuplib: uninstall failed to move %s back\n", strHookHome));
        Trace(sformat("setuplib: the application declined the removal of %s\n", strProduct));
        return false;
    }

    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const JournalEntry& entry = *it;
        switch (entry.nType) {
        case kDeleteDir:
        case kDeleteFile: {
            if (!IsTargetPath(fDevice, entry.strFirst)) {
                Trace(sformat("setuplib: uninstall skipped %s\n", entry.strFirst));
                break;
            }
            if (entry.nType == kDeleteDir) {
                target.RemoveDirectory(entry.strFirst); // a folder still in use stays
                break;
            }
            // Attributes are cleared first where they stand in the way (read-only).
            if (target.DeleteFile(entry.strFirst) ||
                (host::GetLastError() == host::ERROR_ACCESS_DENIED &&
                 target.SetFileAttributes(entry.strFirst, host::FILE_ATTRIBUTE_NORMAL) &&
                 target.DeleteFile(entry.strFirst)))
                break;
            const DWORD dwAttributes = target.GetFileAttributes(entry.strFirst);
            if (dwAttributes == host::INVALID_FILE_ATTRIBUTES ||
                (dwAttributes & host::FILE_ATTRIBUTE_DIRECTORY) != 0)
                break;
            // In use: out of the way now, gone once nobody holds it.
            const string strAside = moveaside(entry.strFirst);
            if (strAside.IsEmpty()) break;
            if (fDevice ? !target.DeleteFile(strAside) : !target.DeleteAtNextStart(strAside))
                Trace(sformat("setuplib: uninstall failed to delete %s\n", strAside));
            break;
        }
        case kDeleteKey:
        case kDeleteVal: {
            HKEY hRoot = nullptr;
            string strSubKey;
            if (!SplitKeyWithRoot(entry.strFirst, &hRoot, &strSubKey)) {
                Trace(sformat("setuplib: uninstall skipped %s\n", entry.strFirst));
                break;
            }
            if (entry.nType == kDeleteKey)
                target.DeleteKeyIfEmpty(hRoot, strSubKey);
            else
                target.DeleteValue(hRoot, strSubKey, entry.strSecond);
            break;
        }
        default: // the hook goes last, below
            break;
        }
    }

    target.SetFileAttributes(strLog, host::FILE_ATTRIBUTE_NORMAL);
    target.DeleteFile(strLog);
    DeleteLeftovers(target, strLog);
    unregisterproduct(strProduct);

    if (!strHook.IsEmpty()) {
        callapphook(strHook, kszHookEnd, strProduct);
        // The hook was freed after its call, so nothing holds it any more.
        if (!target.DeleteFile(strHook) && !fDevice) target.DeleteAtNextStart(strHook);
    }
    return true;
}

} // namespace sl
