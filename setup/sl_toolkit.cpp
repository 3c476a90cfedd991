// The install side of a toolkit: folders, the journal and its log, registry values, files,
// shortcuts, trees and the shared uninstaller.
#include "setup/sl_toolkit.h"

#include "anim/cea_zz.h"
#include "foundation/tl_exception.h"
#include "foundation/tl_map.h"
#include "host/clock.h"
#include "host/codepage.h"
#include "host/error.h"
#include "host/file.h"
#include "host/registry.h"
#include "setup/sl_main.h"
#include "setup/uninstaller.h"
#include "setup/zip/zipfile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace sl {

struct SetupToolkit::m_t {
    SetupLib* pOwner = nullptr;
    TargetPtr pTarget;
    string rgstrFolders[kFolderCount];
    PROGRESSHANDLER pfnProgress = nullptr;
    std::intptr_t nProgressUser = 0;
    int nLastPercent = 0;
    int nDecompressorVersion = -1;
    string strCompressTemp; // the device file compressed data travel through
    string strProduct;
    string strLogPath;
    Journal journal;
    int nJournalDepth = 0;
    bool fJournalOpen = false;
    bool fJournalDirty = false;
};

namespace {

constexpr char kszCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kszShellFoldersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kszNlsKey[] = "SOFTWARE\\Vantor\\NLS";
constexpr DWORD kcbCompressAbove = 5120;
constexpr char kszDecompressorFile[] = "\\lzrapi.dll";
constexpr char kszEntryGetLZRAPIVersion[] = "GetLZRAPIVersion";
constexpr char kszEntryDecompressFile[] = "DecompressFile";

// from + (to - from) * done / total in 64 bits, so that files past a few megabytes do not
// overflow; an empty total reports from.
int PercentBetween(int nFrom, int nTo, std::uint64_t cbDone, std::uint64_t cbTotal) {
    if (cbTotal == 0) return nFrom;
    const std::int64_t nSpan = static_cast<std::int64_t>(nTo) - nFrom;
    return static_cast<int>(nFrom + nSpan * static_cast<std::int64_t>(cbDone) /
                                        static_cast<std::int64_t>(cbTotal));
}

// The archive entry's bytes, unpacking it when the archive deferred that; null (traced) when
// its data is damaged.
const zip::ZipEntry* UnpackedEntry(zip::ZipFile& archive, zip::ZipEntry* pEntry) {
    try {
        if (!pEntry->IsUnpacked()) archive.Unpack(pEntry);
    } catch (const cetl::exception& e) {
        Trace(sformat("setuplib: cannot unpack %s: %s\n", pEntry->Name(), e.Message()));
        host::SetLastError(host::ERROR_INVALID_DATA);
        return nullptr;
    }
    return pEntry;
}

// The entry by its normalised name, unpacked; null (traced with the format, the last error
// ERROR_FILE_NOT_FOUND) when the archive has none.
const zip::ZipEntry* FindEntry(zip::ZipFile& archive, const string& strEntry,
                               const char* pszNotFound) {
    const string strName = NormaliseEntryName(strEntry);
    zip::ZipEntry* pFound = archive.Find(strName);
    if (pFound == nullptr) {
        Trace(sformat(pszNotFound, strName));
        host::SetLastError(host::ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return UnpackedEntry(archive, pFound);
}

// A trace line that leaves the last error as the failure set it.
void TraceFailure(const string& strLine) {
    const DWORD dwError = host::GetLastError();
    Trace(strLine);
    host::SetLastError(dwError);
}

// A replacement that failed: its temporary file goes, the failure is traced and its error
// kept.
void AbandonReplacement(SetupTarget& target, const string& strTemp, const string& strPath) {
    const DWORD dwError = host::GetLastError();
    target.DeleteFile(strTemp);
    Trace(sformat("setuplib: writefile failed to write %s\n", strPath));
    host::SetLastError(dwError);
}

string WithBackslashes(const string& str) {
    string strOut(str);
    strOut.Replace(string("/"), string("\\"));
    return strOut;
}

} // namespace

// ---- The log ---------------------------------------------------------------------------

bool ReadLog(SetupTarget& target, const string& strLog, mem::vector<BYTE>* pBlock) {
    if (target.ReadWholeFile(strLog, pBlock)) return true;
    const DWORD dwError = host::GetLastError();
    // Where the log cannot be renamed over (a device) it is deleted before its replacement
    // is moved in: in between, the replacement is the log.
    if (target.GetFileAttributes(strLog) == host::INVALID_FILE_ATTRIBUTES &&
        target.ReadWholeFile(strLog + kszLogTempSuffix, pBlock))
        return true;
    host::SetLastError(dwError);
    return false;
}

// ---- Registry key texts ----------------------------------------------------------------

string KeyWithRoot(HKEY hRoot, const string& strSubKey) {
    const char* pszRoot = hRoot == host::HKEY_LOCAL_MACHINE  ? "HKLM"
                          : hRoot == host::HKEY_CLASSES_ROOT ? "HKCR"
                                                             : "HKCU";
    string strKey(pszRoot);
    if (!strSubKey.IsEmpty()) strKey += string("\\") + strSubKey;
    return strKey;
}

bool SplitKeyWithRoot(const string& strKey, HKEY* phRoot, string* pstrSubKey) {
    std::string subKey;
    if (!host::RegSplitKeyPath(strKey.Text8(), *phRoot, subKey)) return false;
    *pstrSubKey = subKey.c_str();
    return true;
}

// ---- Life ------------------------------------------------------------------------------

SetupToolkit::SetupToolkit(SetupLib* pOwner, TargetPtr pTarget)
    : m_(mem::NewObject<m_t>("SetupToolkit_m_t", __FILE__, __LINE__)) {
    if (m_ == nullptr) throw cetl::exception("setuplib: out of memory for a toolkit");
    m_->pOwner = pOwner;
    m_->pTarget = std::move(pTarget);
}

SetupToolkit::~SetupToolkit() {
    MemDelete(m_);
}

bool SetupToolkit::IsDevice() const {
    return m_->pTarget->IsDevice();
}
SetupTarget& SetupToolkit::Target() {
    return *m_->pTarget;
}
int SetupToolkit::LastPercent() const {
    return m_->nLastPercent;
}
bool SetupToolkit::IsJournalOpen() const {
    return m_->fJournalOpen;
}
bool SetupToolkit::IsJournalDirty() const {
    return m_->fJournalDirty;
}
bool SetupToolkit::IsJournalling() const {
    return m_->nJournalDepth > 0;
}
const Journal& SetupToolkit::GetJournal() const {
    return m_->journal;
}
const string& SetupToolkit::Product() const {
    return m_->strProduct;
}
const string& SetupToolkit::LogPath() const {
    return m_->strLogPath;
}

// ---- Progress, platform, folders -------------------------------------------------------

void SetupToolkit::setprogresshandler(PROGRESSHANDLER pfn, std::intptr_t nUser) {
    m_->pfnProgress = pfn;
    m_->nProgressUser = nUser;
}

void SetupToolkit::reportprogress(int nKind, int nPercent, const string& strItem) {
    if (nPercent != -1) m_->nLastPercent = nPercent;
    if (m_->pfnProgress != nullptr)
        m_->pfnProgress(nKind, m_->nLastPercent, strItem.Text8(), m_->nProgressUser);
}

string SetupToolkit::getplatform() {
    return m_->pTarget->Platform();
}

string SetupToolkit::getfolder(int nFolder) {
    if (nFolder < 0 || nFolder >= kFolderCount) return string();
    string& strFolder = m_->rgstrFolders[nFolder];
    if (!strFolder.IsEmpty()) return strFolder;
    SetupTarget& target = *m_->pTarget;
    const bool fDevice = target.IsDevice();
    switch (nFolder) {
    case kFolderInstallRoot:
        strFolder = fDevice ? "\\" : "C:\\";
        break;
    case kFolderProgramFiles:
        if (fDevice) {
            string strTop;
            if (target.QueryText(host::HKEY_LOCAL_MACHINE, string("PMail\\Attachments"),
                                 string("TopDir"), kcbRegistryText, &strTop) &&
                !strTop.IsEmpty())
                strFolder = string("\\") + strTop;
            else
                strFolder = "\\Program Files";
        } else {
            target.QueryText(host::HKEY_LOCAL_MACHINE, string(kszCurrentVersionKey),
                             string("ProgramFilesDir"), kcbRegistryText, &strFolder);
        }
        break;
    case kFolderMaker: {
        // Without program files there is no maker's folder either (never "\Vantor Software"
        // at the root of whatever drive).
        const string strProgramFiles = getfolder(kFolderProgramFiles);
        if (!strProgramFiles.IsEmpty()) strFolder = strProgramFiles + "\\Vantor Software";
        break;
    }
    case kFolderProgramsMenu:
    case kFolderStartup:
        if (fDevice)
            strFolder = target.SpecialFolder(nFolder == kFolderProgramsMenu ? 2 : 7);
        else
            target.QueryText(
                host::HKEY_LOCAL_MACHINE, string(kszShellFoldersKey),
                string(nFolder == kFolderProgramsMenu ? "Common Programs" : "Common Startup"),
                kcbRegistryText, &strFolder);
        break;
    }
    return strFolder;
}

string SetupToolkit::uninstallcommand() {
    return sformat("\"%s\\uninstaller.dll\" \"%s\"", getfolder(kFolderMaker), m_->strLogPath);
}

// ---- Journal ---------------------------------------------------------------------------

bool SetupToolkit::openjournal(const string& strProduct) {
    const string strMaker = getfolder(kFolderMaker);
    if (strMaker.IsEmpty() || !MakeFolders(strMaker, true, true)) {
        Trace(sformat("setuplib: openjournal failed to create %s\n", strMaker));
        return false;
    }
    m_->strProduct = strProduct;
    m_->strLogPath = strMaker + sformat("\\Uninstall Log for %s.txt", strProduct);
    m_->fJournalOpen = true;
    // Entries of an earlier installation stay, so a later removal covers them too.
    mem::vector<BYTE> block{MEM_TAG("*pcbData")};
    if (ReadLog(*m_->pTarget, m_->strLogPath, &block))
        ParseLog(reinterpret_cast<const char*>(block.data()), block.size(), m_->journal);
    ++m_->nJournalDepth;
    return true;
}

bool SetupToolkit::closejournal() {
    if (!m_->fJournalOpen) return true;
    m_->fJournalOpen = false;
    m_->nJournalDepth = 0;
    return m_->fJournalDirty ? savejournal() : true;
}

void SetupToolkit::pausejournal() {
    if (m_->fJournalOpen) --m_->nJournalDepth;
}

void SetupToolkit::resumejournal() {
    if (m_->fJournalOpen) ++m_->nJournalDepth;
}

bool SetupToolkit::savejournal() {
    if (m_->strLogPath.IsEmpty()) {
        host::SetLastError(host::ERROR_INVALID_PARAMETER);
        return false;
    }
    m_->fJournalDirty = false;
    reportprogress(kProgressUninstallInfo, -1, string());
    const string strText = RenderLog(m_->journal);
    // Written in full beside the log, then renamed over it: a crash or a full disk leaves
    // the previous log whole.
    SetupTarget& target = *m_->pTarget;
    const string strTemp = m_->strLogPath + kszLogTempSuffix;
    target.SetFileAttributes(strTemp, 0);
    if (!target.CreateFileForWriting(strTemp)) {
        Trace(sformat("setuplib: writefile failed to create %s\n", strTemp));
        m_->fJournalDirty = true;
        return false;
    }
    bool fOk = target.WriteOpenFile(reinterpret_cast<const BYTE*>(strText.Text8()),
                                    static_cast<DWORD>(strText.Length()));
    fOk = target.CloseOpenFile(true) && fOk;
    if (fOk) {
        target.SetFileAttributes(m_->strLogPath, 0);
        fOk = target.ReplaceFile(strTemp, m_->strLogPath);
    }
    if (!fOk) {
        AbandonReplacement(target, strTemp, m_->strLogPath);
        m_->fJournalDirty = true;
    }
    return fOk;
}

// Journals the entry and writes the log before the change it records is made. Also writes
// when the journal holds entries the log does not have yet (a journal-only entry, or a
// write that failed before), so no change ever gets ahead of its log.
bool SetupToolkit::JournalWriteAhead(int nType, const string& strFirst, const string& strSecond) {
    if (!IsJournalling()) return true;
    if (!IsLoggable(strFirst) || !IsLoggable(strSecond)) {
        Trace(sformat("setuplib: cannot journal %s %s\n", strFirst, strSecond));
        host::SetLastError(host::ERROR_INVALID_NAME);
        return false;
    }
    if (m_->journal.Add(nType, strFirst, strSecond)) m_->fJournalDirty = true;
    return m_->fJournalDirty ? savejournal() : true;
}

bool SetupToolkit::JournalOnly(int nType, const string& strFirst, const string& strSecond) {
    if (!IsJournalling()) return true;
    if (!IsLoggable(strFirst) || !IsLoggable(strSecond)) {
        Trace(sformat("setuplib: cannot journal %s %s\n", strFirst, strSecond));
        host::SetLastError(host::ERROR_INVALID_NAME);
        return false;
    }
    if (m_->journal.Add(nType, strFirst, strSecond)) m_->fJournalDirty = true;
    return true;
}

// ---- Folders and keys ------------------------------------------------------------------

bool SetupToolkit::MakeFolders(const string& strPath, bool fIncludeSelf, bool fCreate) {
    SetupTarget& target = *m_->pTarget;
    for (const string& strFolder : FolderPrefixes(strPath, fIncludeSelf)) {
        if (!fCreate) {
            if (!JournalOnly(kDeleteDir, strFolder)) return false;
            continue;
        }
        if (!JournalWriteAhead(kDeleteDir, strFolder)) return false;
        const DWORD dwAttributes = target.GetFileAttributes(strFolder);
        if (dwAttributes != host::INVALID_FILE_ATTRIBUTES) {
            // A file standing where the folder should be is no folder.
            if ((dwAttributes & host::FILE_ATTRIBUTE_DIRECTORY) == 0) {
                host::SetLastError(host::ERROR_DIRECTORY);
                return false;
            }
            continue;
        }
        if (!target.CreateDirectory(strFolder)) return false;
    }
    return true;
}

bool SetupToolkit::MakeKeys(HKEY hRoot, const string& strKey, bool fCreate) {
    for (const string& strPrefix : FolderPrefixes(strKey, true)) {
        const string strJournalKey = KeyWithRoot(hRoot, strPrefix);
        if (!fCreate) {
            if (!JournalOnly(kDeleteKey, strJournalKey)) return false;
            continue;
        }
        if (!JournalWriteAhead(kDeleteKey, strJournalKey)) return false;
        if (!m_->pTarget->CreateKey(hRoot, strPrefix)) return false;
    }
    return true;
}

bool SetupToolkit::createfolder(const string& strPath) {
    return MakeFolders(strPath, true, true);
}

bool SetupToolkit::journalfolder(const string& strPath) {
    return MakeFolders(strPath, true, false);
}

bool SetupToolkit::journalfile(const string& strPath) {
    return MakeFolders(strPath, false, false) && JournalOnly(kDeleteFile, strPath);
}

// ---- Registry values -------------------------------------------------------------------

bool SetupToolkit::adddeleteval(HKEY hRoot, const string& strKey, const string& strValue) {
    return MakeKeys(hRoot, strKey, false) &&
           JournalOnly(kDeleteVal, KeyWithRoot(hRoot, strKey), strValue);
}

bool SetupToolkit::SetValue(HKEY hRoot, const string& strKey, const string& strValue, DWORD dwType,
                            const BYTE* pb, DWORD cb) {
    if (!MakeKeys(hRoot, strKey, true) ||
        !JournalWriteAhead(kDeleteVal, KeyWithRoot(hRoot, strKey), strValue))
        return false;
    return m_->pTarget->SetValue(hRoot, strKey, strValue, dwType, pb, cb);
}

bool SetupToolkit::settextvalue(HKEY hRoot, const string& strKey, const string& strValue,
                                const string& strText) {
    const std::u16string text = host::ToUtf16(strText.Text8());
    return SetValue(hRoot, strKey, strValue, host::REG_SZ,
                    reinterpret_cast<const BYTE*>(text.c_str()),
                    static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

bool SetupToolkit::setdwordvalue(HKEY hRoot, const string& strKey, const string& strValue,
                                 DWORD dw) {
    BYTE rgb[4];
    std::memcpy(rgb, &dw, sizeof(rgb));
    return SetValue(hRoot, strKey, strValue, host::REG_DWORD, rgb, sizeof(rgb));
}

bool SetupToolkit::setbinaryvalue(HKEY hRoot, const string& strKey, const string& strValue,
                                  const BYTE* pb, DWORD cb) {
    return SetValue(hRoot, strKey, strValue, host::REG_BINARY, pb, cb);
}

bool SetupToolkit::copylanguage(const string& strModule) {
    const string rgstrNames[] = {string("Lang-") + strModule, string("Opt-") + strModule};
    for (const string& strName : rgstrNames) {
        if (!adddeleteval(host::HKEY_LOCAL_MACHINE, string(kszNlsKey), strName)) return false;
        if (!IsDevice() || m_->pOwner == nullptr) continue;
        // The device shares this machine's language choice.
        string strText;
        if (m_->pOwner->DesktopToolkit().Target().QueryText(
                host::HKEY_LOCAL_MACHINE, string(kszNlsKey), strName, kcbRegistryText, &strText) &&
            !settextvalue(host::HKEY_LOCAL_MACHINE, string(kszNlsKey), strName, strText))
            return false;
    }
    return true;
}

// ---- Files -----------------------------------------------------------------------------

bool SetupToolkit::writefile(const string& strPath, const BYTE* pb, DWORD cb, int nFrom, int nTo) {
    return WriteFileData(strPath, pb, cb, nFrom, nTo);
}

int SetupToolkit::DecompressorVersion() {
    if (m_->nDecompressorVersion >= 0) return m_->nDecompressorVersion;
    m_->nDecompressorVersion = 0;
    if (!IsDevice()) return 0;
    std::u16string version;
    long nResult = 0;
    if (m_->pTarget->CallBlockEntry(getfolder(kFolderMaker) + kszDecompressorFile,
                                    kszEntryGetLZRAPIVersion, MakeTextBlock({u""}), &version,
                                    &nResult))
        m_->nDecompressorVersion = std::max(0, std::atoi(host::ToUtf8(version).c_str()));
    return m_->nDecompressorVersion;
}

bool SetupToolkit::WriteFileData(const string& strPath, const BYTE* pb, DWORD cb, int nFrom,
                                 int nTo, const string& strShown) {
    if (IsDevice() && cb > kcbCompressAbove && DecompressorVersion() > 0 &&
        WriteCompressed(strPath, pb, cb, nFrom, nTo, strShown))
        return true;
    return WritePlain(strPath, pb, cb, nFrom, nTo, strShown);
}

// The data packed, written to a temporary file on the device and unpacked there into the
// destination. False when that did not happen: the caller writes the data plainly then, and
// after a failed unpacking no further file is compressed.
bool SetupToolkit::WriteCompressed(const string& strPath, const BYTE* pb, DWORD cb, int nFrom,
                                   int nTo, const string& strShown) {
    BYTE* pbPacked = nullptr;
    DWORD cbPacked = 0;
    if (zz::Compress(&pbPacked, &cbPacked, pb, cb) != 1) return false;
    // One temporary name for the toolkit's life, journalled before it is first made: a crash
    // between writing and deleting it leaves nothing the log does not name, and the log
    // gains one entry however many files travel packed.
    if (m_->strCompressTemp.IsEmpty())
        m_->strCompressTemp = sformat("\\This File Is Safe To Delete (#%ld)",
                                      static_cast<long>(host::GetTickCount()));
    const string strTemp = m_->strCompressTemp;
    if (!JournalWriteAhead(kDeleteFile, strTemp)) {
        zz::FreeBlock(pbPacked);
        return false;
    }
    bool fOk = WritePlain(strTemp, pbPacked, cbPacked, nFrom, nTo,
                          strShown.IsEmpty() ? strPath : strShown);
    zz::FreeBlock(pbPacked);
    if (!fOk) {
        m_->pTarget->DeleteFile(strTemp);
        return false;
    }
    const std::u16string input =
        MakeTextBlock({std::u16string(strTemp.Text16()), std::u16string(strPath.Text16())});
    std::u16string output;
    long nResult = 0;
    fOk = m_->pTarget->CallBlockEntry(getfolder(kFolderMaker) + kszDecompressorFile,
                                      kszEntryDecompressFile, input, &output, &nResult) &&
          nResult == 0;
    const DWORD dwError = host::GetLastError();
    m_->pTarget->DeleteFile(strTemp);
    if (!fOk) {
        Trace(sformat("setuplib: the device could not unpack %s\n", strPath));
        m_->nDecompressorVersion = 0;
        host::SetLastError(dwError);
    }
    return fOk;
}

bool SetupToolkit::installdecompressor(zip::ZipFile& archive, const string& strEntry) {
    if (!IsDevice() || DecompressorVersion() != 0) return true;
    const zip::ZipEntry* pEntry =
        FindEntry(archive, strEntry, "setuplib: installdecompressor failed to find %s\n");
    if (pEntry == nullptr) return false;
    // Not journalled: like the shared uninstaller, it serves every product of the maker.
    const string strFile = getfolder(kFolderMaker) + kszDecompressorFile;
    if (!MakeFolders(strFile, false, true) ||
        !WritePlain(strFile, pEntry->Data(), pEntry->Size(), -1, -1))
        return false;
    m_->nDecompressorVersion = -1;
    DecompressorVersion();
    return true;
}

bool SetupToolkit::WritePlain(const string& strPath, const BYTE* pb, DWORD cb, int nFrom, int nTo,
                              const string& strShown) {
    const string& strItem = strShown.IsEmpty() ? strPath : strShown;
    SetupTarget& target = *m_->pTarget;
    // Attributes are cleared before overwriting; only a read-only file needs it, so it is
    // done when the plain attempt is refused (most files are new).
    bool fCreated = target.CreateFileForWriting(strPath);
    if (!fCreated && host::GetLastError() == host::ERROR_ACCESS_DENIED &&
        target.SetFileAttributes(strPath, 0))
        fCreated = target.CreateFileForWriting(strPath);
    if (!fCreated) {
        TraceFailure(sformat(IsDevice() ? "setuplib: rapi writefile failed to create %s\n"
                                        : "setuplib: writefile failed to create %s\n",
                             strPath));
        return false;
    }
    bool fOk = true;
    if (nFrom == -1) {
        fOk = target.WriteOpenFile(pb, cb);
    } else {
        reportprogress(kProgressFile, nFrom, strItem);
        for (DWORD cbWritten = 0; cbWritten < cb;) {
            const DWORD cbChunk = std::min(kcbWriteChunk, cb - cbWritten);
            if (!target.WriteOpenFile(pb + cbWritten, cbChunk)) {
                fOk = false;
                break;
            }
            cbWritten += cbChunk;
            reportprogress(kProgressFile, PercentBetween(nFrom, nTo, cbWritten, cb), strItem);
        }
    }
    const DWORD dwError = fOk ? host::ERROR_SUCCESS : host::GetLastError();
    const bool fClosed = target.CloseOpenFile(false);
    if (!fOk || !fClosed) {
        const DWORD dwReported = fOk ? host::GetLastError() : dwError;
        Trace(sformat("setuplib: writefile failed to write %s\n", strPath));
        host::SetLastError(dwReported);
        return false;
    }
    return true;
}

bool SetupToolkit::installfile(const string& strPath, zip::ZipFile& archive, const string& strEntry,
                               int nFrom, int nTo) {
    const zip::ZipEntry* pEntry =
        FindEntry(archive, strEntry, "setuplib: installfile failed to find %s\n");
    if (pEntry == nullptr) return false;
    if (!MakeFolders(strPath, false, true)) {
        TraceFailure(
            sformat("setuplib: installfile failed to create the folders of %s\n", strPath));
        return false;
    }
    if (!JournalWriteAhead(kDeleteFile, strPath)) return false;
    return WriteFileData(strPath, pEntry->Data(), pEntry->Size(), nFrom, nTo);
}

bool SetupToolkit::linkfile(const string& strLink, const string& strTarget) {
    if (!MakeFolders(strLink, false, true) || !JournalWriteAhead(kDeleteFile, strLink)) {
        TraceFailure(sformat("setuplib: linkfile failed to create %s\n", strLink));
        return false;
    }
    SetupTarget& target = *m_->pTarget;
    if (target.GetFileAttributes(strLink) != host::INVALID_FILE_ATTRIBUTES)
        target.DeleteFile(strLink);
    if (!target.CreateShortcut(strLink, strTarget)) {
        TraceFailure(sformat("setuplib: linkfile failed to create %s\n", strLink));
        return false;
    }
    return true;
}

bool SetupToolkit::installtree(const string& strDest, zip::ZipFile& archive,
                               const string& strSource, int nFrom, int nTo) {
    string strSourceFolder = WithBackslashes(strSource);
    if (strSourceFolder.GetAt(strSourceFolder.Length() - 1) != '\\') strSourceFolder += '\\';
    if (strSourceFolder.GetAt(0) != '\\') strSourceFolder = string("\\") + strSourceFolder;
    string strDestFolder = WithBackslashes(strDest);
    if (strDestFolder.GetAt(strDestFolder.Length() - 1) != '\\') strDestFolder += '\\';
    const cetl::istring istrSource(strSourceFolder);

    struct Target {
        zip::ZipEntry* pEntry;
        string strPath;
    };
    mem::vector<Target> targets{MEM_TAG("installtree targets")};
    cetl::map<cetl::istring, bool, cetl::iless> folders;
    string strHook;
    std::uint64_t cbTotal = 0;
    for (auto it = archive.Entries().begin(); it != archive.Entries().end(); ++it) {
        zip::ZipEntry* pEntry = it->second;
        string strName = WithBackslashes(pEntry->Name());
        if (strName.GetAt(0) != '\\') strName = string("\\") + strName;
        if (strName.GetAt(strName.Length() - 1) == '\\' ||
            strName.Length() <= strSourceFolder.Length() ||
            istrSource.Compare(strName.Substring(0, strSourceFolder.Length())) != 0)
            continue;
        const string strRest = strName.Substring(strSourceFolder.Length());
        // Nothing in an archive may land outside the destination.
        if (!IsSafeRelativeName(strRest)) {
            Trace(sformat("setuplib: installtree refused %s\n", pEntry->Name()));
            host::SetLastError(host::ERROR_INVALID_NAME);
            return false;
        }
        targets.push_back(Target{pEntry, strDestFolder + strRest});
        cbTotal += pEntry->Size();
        if (cetl::istring(strRest).Compare(string(kszAppHookFile)) == 0)
            strHook = targets.back().strPath;
        for (const string& strFolder : FolderPrefixes(targets.back().strPath, false))
            folders.Set(cetl::istring(strFolder), true);
    }
    cbTotal += kcbFolderWeight * folders.Count();

    for (auto it = folders.begin(); it != folders.end(); ++it)
        if (!JournalOnly(kDeleteDir, it->first)) return false;
    for (const Target& target : targets)
        if (!JournalOnly(kDeleteFile, target.strPath)) return false;
    if (!strHook.IsEmpty() && !JournalOnly(kAppHook, strHook)) return false;
    if (IsJournalling() && m_->fJournalDirty && !savejournal()) return false;

    std::uint64_t cbDone = 0;
    for (auto it = folders.begin(); it != folders.end(); ++it) {
        if (nFrom != -1)
            reportprogress(kProgressFolder, PercentBetween(nFrom, nTo, cbDone, cbTotal), it->first);
        if (!MakeFolders(it->first, true, true)) {
            TraceFailure(sformat("setuplib: installtree failed to create %s\n", it->first));
            return false;
        }
        cbDone += kcbFolderWeight;
    }
    for (const Target& target : targets) {
        const zip::ZipEntry* pEntry = UnpackedEntry(archive, target.pEntry);
        if (pEntry == nullptr) return false;
        const int nFileFrom = nFrom == -1 ? -1 : PercentBetween(nFrom, nTo, cbDone, cbTotal);
        const int nFileTo =
            nFrom == -1 ? -1 : PercentBetween(nFrom, nTo, cbDone + pEntry->Size(), cbTotal);
        if (!WriteFileData(target.strPath, pEntry->Data(), pEntry->Size(), nFileFrom, nFileTo))
            return false;
        cbDone += pEntry->Size();
    }
    return true;
}

// ---- Finishing -------------------------------------------------------------------------

bool SetupToolkit::finalize(zip::ZipFile& archive, const string& strEntry, int, int nFrom,
                            int nTo) {
    const zip::ZipEntry* pEntry =
        FindEntry(archive, strEntry, "setuplib: could not find %s for finalize\n");
    if (pEntry == nullptr) return false;
    if (m_->fJournalDirty && !savejournal()) return false;

    // A newer shared uninstaller already installed stays; the query unloads it again before
    // anything overwrites the file.
    const string strUninstaller = getfolder(kFolderMaker) + "\\" + kszUninstallerFile;
    std::u16string version;
    long nResult = 0;
    const bool fKeep = m_->pTarget->CallBlockEntry(strUninstaller, kszEntryGetUninstallVersion,
                                                   std::u16string(), &version, &nResult) &&
                       std::atoi(host::ToUtf8(version).c_str()) > 1;
    if (!fKeep) {
        // Written beside it and renamed into place: a crash must never leave a cut-off
        // library where the next installation loads it to ask its version.
        const string strTemp = strUninstaller + kszLogTempSuffix;
        if (!MakeFolders(strUninstaller, false, true) ||
            !WriteFileData(strTemp, pEntry->Data(), pEntry->Size(), nFrom, nTo, strUninstaller))
            return false;
        m_->pTarget->SetFileAttributes(strUninstaller, 0);
        if (!m_->pTarget->ReplaceFile(strTemp, strUninstaller)) {
            AbandonReplacement(*m_->pTarget, strTemp, strUninstaller);
            return false;
        }
    }
    reportprogress(kProgressFinishing, nTo, string());
    if (!registerproduct(m_->strProduct)) {
        Trace(sformat("setuplib: finalize failed to register %s\n", m_->strProduct));
        return false;
    }
    return true;
}

void SetupToolkit::Trace(const string& strLine) const {
    sl::Trace(strLine);
}

} // namespace sl
