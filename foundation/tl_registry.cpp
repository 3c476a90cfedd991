#include "foundation/tl_registry.h"

#include "foundation/memmgr.h"

#include <cstring>
#include <utility>

namespace cetl {

using host::ERROR_MORE_DATA;
using host::ERROR_SUCCESS;
using host::LONG;

namespace {

// Longest sub-key name the tree deletion reads.
constexpr DWORD kcchMaxKeyName = 260;

// A size query and the read that follows are two calls; another process may change the
// value in between, so a read that finds it grown starts again a few times.
constexpr int kcReadAttempts = 4;

struct RootName {
    const TCHAR* pszPrefix; // "HKLM\"
    const TCHAR* pszName;   // "HKLM"
    HKEY hRoot;
};

const RootName kRoots[] = {
    {TEXT("HKLM\\"), TEXT("HKLM"), host::HKEY_LOCAL_MACHINE},
    {TEXT("HKCU\\"), TEXT("HKCU"), host::HKEY_CURRENT_USER},
    {TEXT("HKCR\\"), TEXT("HKCR"), host::HKEY_CLASSES_ROOT},
};

// Closes the handle when it goes out of scope.
class OpenKey {
public:
    explicit OpenKey(HKEY h) : m_h(h) {}
    ~OpenKey() {
        if (m_h != nullptr) host::RegCloseKey(m_h);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    HKEY m_h;
};

// A block of the memory manager freed when it goes out of scope.
class Block {
public:
    explicit Block(DWORD cbData) : m_pv(cbData != 0 ? MemAlloc(cbData) : nullptr) {}
    ~Block() {
        if (m_pv != nullptr) MemFree(m_pv);
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    BYTE* Get() const { return static_cast<BYTE*>(m_pv); }

private:
    void* m_pv;
};

// Queries the value's type and size (pv null) or bytes.
LONG Query(HKEY h, const string& strName, DWORD* pdwType, void* pv, DWORD* pcb) {
    return host::RegQueryValueEx(h, strName.Text(), nullptr, pdwType, static_cast<BYTE*>(pv), pcb);
}

DWORD ReadLE32(const BYTE* pb) {
    return static_cast<DWORD>(pb[0]) | (static_cast<DWORD>(pb[1]) << 8) |
           (static_cast<DWORD>(pb[2]) << 16) | (static_cast<DWORD>(pb[3]) << 24);
}

void WriteLE32(BYTE* pb, DWORD dw) {
    pb[0] = static_cast<BYTE>(dw);
    pb[1] = static_cast<BYTE>(dw >> 8);
    pb[2] = static_cast<BYTE>(dw >> 16);
    pb[3] = static_cast<BYTE>(dw >> 24);
}

} // namespace

// ---------------------------------------------------------------------------------------
// regkey

regkey::regkey(const string& strPath) : m_hRoot(host::HKEY_CURRENT_USER) {
    const istring strPrefix(strPath.Substring(0, 5));
    for (const RootName& root : kRoots) {
        if (strPrefix == root.pszPrefix) {
            m_hRoot = root.hRoot;
            m_strSubKey = strPath.Substring(5);
            return;
        }
    }
    const istring strWhole(strPath);
    for (const RootName& root : kRoots) {
        if (strWhole == root.pszName) {
            m_hRoot = root.hRoot;
            return;
        }
    }
    m_strSubKey = strPath;
}

string regkey::Path() const {
    string strPath;
    for (const RootName& root : kRoots) {
        if (root.hRoot == m_hRoot) strPath = root.pszName;
    }
    if (!m_strSubKey.IsEmpty()) {
        strPath += TEXT("\\");
        strPath += m_strSubKey;
    }
    return strPath;
}

regkey regkey::Child(const string& strName) const {
    if (m_strSubKey.IsEmpty()) return regkey(m_hRoot, strName);
    return regkey(m_hRoot, m_strSubKey + TEXT("\\") + strName);
}

HKEY regkey::OpenForWriting() const {
    HKEY h = nullptr;
    if (host::RegCreateKeyEx(m_hRoot, m_strSubKey.Text(), 0, nullptr, host::REG_OPTION_NON_VOLATILE,
                             host::KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return h;
}

HKEY regkey::OpenForReading() const {
    HKEY h = nullptr;
    if (host::RegOpenKeyEx(m_hRoot, m_strSubKey.Text(), 0, host::KEY_ALL_ACCESS, &h) !=
        ERROR_SUCCESS)
        return nullptr;
    return h;
}

bool regkey::Exists() const {
    return static_cast<bool>(OpenKey(OpenForReading()));
}

bool regkey::DeleteValue(const string& strName) const {
    OpenKey key(OpenForReading());
    return key && host::RegDeleteValue(key.Get(), strName.Text()) == ERROR_SUCCESS;
}

bool regkey::DeleteSubKey(const string& strName) const {
    // An empty name would delete this key itself.
    if (strName.IsEmpty()) return false;
    OpenKey key(OpenForReading());
    return key && host::RegDeleteKey(key.Get(), strName.Text()) == ERROR_SUCCESS;
}

bool regkey::DeleteTree() const {
    if (m_strSubKey.IsEmpty()) return false;
    {
        OpenKey key(OpenForReading());
        if (!key) return false;
        // Each deleted sub-key moves the next one down to the same index, so the index
        // only advances past sub-keys that could not be deleted.
        DWORD iSubKey = 0;
        for (;;) {
            TCHAR szName[kcchMaxKeyName + 1];
            DWORD cchName = kcchMaxKeyName + 1;
            LONG lResult = host::RegEnumKeyEx(key.Get(), iSubKey, szName, &cchName, nullptr,
                                              nullptr, nullptr, nullptr);
            if (lResult == ERROR_MORE_DATA) {
                ++iSubKey;
                continue;
            }
            if (lResult != ERROR_SUCCESS) break;
            if (!Child(string(szName)).DeleteTree()) ++iSubKey;
        }
    }
    return host::RegDeleteKey(m_hRoot, m_strSubKey.Text()) == ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------------------
// regbuffer

regbuffer::regbuffer(const void* pv, DWORD cb, bool fCopy) {
    Assign(pv, cb, fCopy);
}

regbuffer::regbuffer(const regbuffer& buf) {
    Assign(buf.m_pb, buf.m_cb, buf.m_fOwn);
}

regbuffer::regbuffer(regbuffer&& buf) noexcept
    : m_pb(std::exchange(buf.m_pb, nullptr)), m_cb(std::exchange(buf.m_cb, 0)),
      m_fOwn(std::exchange(buf.m_fOwn, false)) {}

regbuffer::~regbuffer() {
    Clear();
}

regbuffer& regbuffer::operator=(const regbuffer& buf) {
    if (this != &buf) Assign(buf.m_pb, buf.m_cb, buf.m_fOwn);
    return *this;
}

regbuffer& regbuffer::operator=(regbuffer&& buf) noexcept {
    if (this != &buf) {
        Clear();
        m_pb = std::exchange(buf.m_pb, nullptr);
        m_cb = std::exchange(buf.m_cb, 0);
        m_fOwn = std::exchange(buf.m_fOwn, false);
    }
    return *this;
}

bool regbuffer::Assign(const void* pv, DWORD cb, bool fCopy) {
    if (!fCopy) {
        Clear();
        m_pb = static_cast<BYTE*>(const_cast<void*>(pv));
        m_cb = cb;
        return true;
    }
    // Copied before the old block goes, in case pv lies inside it.
    BYTE* pbCopy = nullptr;
    if (cb != 0) {
        DWORD cbData = cb;
        pbCopy = static_cast<BYTE*>(MemAlloc(cbData));
        if (pbCopy == nullptr || pv == nullptr) {
            if (pbCopy != nullptr) MemFree(pbCopy);
            Clear();
            return false;
        }
        std::memcpy(pbCopy, pv, cb);
    }
    Clear();
    m_pb = pbCopy;
    m_cb = cb;
    m_fOwn = true;
    return true;
}

bool regbuffer::Allocate(DWORD cb) {
    Clear();
    if (cb != 0) {
        DWORD cbData = cb;
        m_pb = static_cast<BYTE*>(MemAlloc(cbData));
        if (m_pb == nullptr) return false;
    }
    m_cb = cb;
    m_fOwn = true;
    return true;
}

void regbuffer::Clear() {
    if (m_fOwn && m_pb != nullptr) MemFree(m_pb);
    m_pb = nullptr;
    m_cb = 0;
    m_fOwn = false;
}

bool operator==(const regbuffer& a, const regbuffer& b) {
    if (a.m_fOwn != b.m_fOwn || a.m_cb != b.m_cb) return false;
    if (!a.m_fOwn) return a.m_pb == b.m_pb;
    return a.m_cb == 0 || std::memcmp(a.m_pb, b.m_pb, a.m_cb) == 0;
}

// ---------------------------------------------------------------------------------------
// regvalue

DWORD regvalue::Size() const {
    OpenKey key(m_key.OpenForReading());
    DWORD cb = 0;
    if (!key || Query(key.Get(), m_strName, nullptr, nullptr, &cb) != ERROR_SUCCESS) return 0;
    return cb;
}

DWORD regvalue::Type() const {
    OpenKey key(m_key.OpenForReading());
    DWORD dwType = 0;
    if (!key || Query(key.Get(), m_strName, &dwType, nullptr, nullptr) != ERROR_SUCCESS) return 0;
    return dwType;
}

bool regvalue::Exists() const {
    OpenKey key(m_key.OpenForReading());
    return key && Query(key.Get(), m_strName, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool regvalue::Read(DWORD* pdwType, void* pv, DWORD* pcb) const {
    if (pcb == nullptr) return false;
    OpenKey key(m_key.OpenForReading());
    return key && Query(key.Get(), m_strName, pdwType, pv, pcb) == ERROR_SUCCESS;
}

bool regvalue::Write(DWORD dwType, const void* pv, DWORD cb) const {
    if (pv == nullptr && cb != 0) return false;
    OpenKey key(m_key.OpenForWriting());
    return key && host::RegSetValueEx(key.Get(), m_strName.Text(), 0, dwType,
                                      static_cast<const BYTE*>(pv), cb) == ERROR_SUCCESS;
}

bool regvalue::Delete() const {
    return m_key.DeleteValue(m_strName);
}

bool regvalue::Read(regbuffer& buf, DWORD* pdwType) const {
    OpenKey key(m_key.OpenForReading());
    if (!key) return false;
    for (int iAttempt = 0; iAttempt < kcReadAttempts; ++iAttempt) {
        DWORD cb = 0;
        if (Query(key.Get(), m_strName, nullptr, nullptr, &cb) != ERROR_SUCCESS) return false;
        regbuffer bufRead;
        if (!bufRead.Allocate(cb)) return false;
        DWORD dwType = 0;
        LONG lResult = Query(key.Get(), m_strName, &dwType, bufRead.Data(), &cb);
        if (lResult == ERROR_MORE_DATA) continue;
        if (lResult != ERROR_SUCCESS) return false;
        // A value that shrank in between keeps only the bytes read.
        if (cb < bufRead.Size() && !bufRead.Assign(bufRead.Data(), cb, true)) return false;
        if (pdwType != nullptr) *pdwType = dwType;
        buf = std::move(bufRead);
        return true;
    }
    return false;
}

bool regvalue::ReadText(string& str) const {
    OpenKey key(m_key.OpenForReading());
    if (!key) return false;
    for (int iAttempt = 0; iAttempt < kcReadAttempts; ++iAttempt) {
        DWORD dwType = 0;
        DWORD cb = 0;
        if (Query(key.Get(), m_strName, &dwType, nullptr, &cb) != ERROR_SUCCESS) return false;
        if (dwType != host::REG_SZ && dwType != host::REG_EXPAND_SZ) return false;
        // Room for a terminator the stored text may lack.
        const DWORD cchBuffer = cb / sizeof(TCHAR) + 1;
        Block block(cchBuffer * sizeof(TCHAR));
        TCHAR* pch = reinterpret_cast<TCHAR*>(block.Get());
        if (pch == nullptr) return false;
        DWORD cbRead = cb;
        LONG lResult = Query(key.Get(), m_strName, &dwType, pch, &cbRead);
        if (lResult == ERROR_MORE_DATA) continue;
        if (lResult != ERROR_SUCCESS) return false;
        if (dwType != host::REG_SZ && dwType != host::REG_EXPAND_SZ) return false;
        DWORD cch = cbRead / sizeof(TCHAR);
        DWORD cchText = 0;
        while (cchText < cch && pch[cchText] != 0)
            ++cchText;
        str.Assign(pch, static_cast<int>(cchText));
        return true;
    }
    return false;
}

bool regvalue::WriteText(const string& str) const {
    const DWORD cb = static_cast<DWORD>(str.Length() + 1) * sizeof(TCHAR);
    return Write(host::REG_SZ, str.Text(), cb);
}

bool regvalue::ReadNumber(DWORD& dw) const {
    BYTE rgb[4];
    DWORD cb = sizeof(rgb);
    DWORD dwType = 0;
    if (!Read(&dwType, rgb, &cb) || dwType != host::REG_DWORD || cb != sizeof(rgb)) return false;
    dw = ReadLE32(rgb);
    return true;
}

bool regvalue::WriteNumber(DWORD dw) const {
    BYTE rgb[4];
    WriteLE32(rgb, dw);
    return Write(host::REG_DWORD, rgb, sizeof(rgb));
}

bool regvalue::CopyTo(const regvalue& dest) const {
    regbuffer buf;
    DWORD dwType = 0;
    if (!Read(buf, &dwType)) {
        dest.Delete();
        return false;
    }
    return dest.Write(dwType, buf.Data(), buf.Size());
}

bool regvalue::WriteVersioned(DWORD dwVersion, const void* pvRecord, DWORD cbRecord) const {
    if (pvRecord == nullptr && cbRecord != 0) return false;
    if (cbRecord > 0xFFFFFFFFu - 4) return false;
    const DWORD cbData = cbRecord + 4;
    Block block(cbData);
    if (block.Get() == nullptr) return false;
    WriteLE32(block.Get(), dwVersion);
    if (cbRecord != 0) std::memcpy(block.Get() + 4, pvRecord, cbRecord);
    return Write(host::REG_BINARY, block.Get(), cbData);
}

bool regvalue::ReadVersioned(DWORD dwVersion, void* pv, DWORD cb) const {
    if (pv == nullptr && cb != 0) return false;
    regbuffer buf;
    if (!Read(buf) || buf.Size() <= 3) return false;
    const DWORD dwStored = ReadLE32(buf.Data());
    if ((dwStored >> 16) != (dwVersion >> 16) || (dwStored & 0xFFFF) < (dwVersion & 0xFFFF))
        return false;
    const DWORD cbRecord = buf.Size() - 4;
    const DWORD cbCopy = cbRecord < cb ? cbRecord : cb;
    BYTE* pb = static_cast<BYTE*>(pv);
    if (cbCopy != 0) std::memcpy(pb, buf.Data() + 4, cbCopy);
    if (cb > cbCopy) std::memset(pb + cbCopy, 0, cb - cbCopy);
    return true;
}

} // namespace cetl
