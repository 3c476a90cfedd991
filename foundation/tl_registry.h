// Registry keys and values named by path texts.
//
//     regvalue val(TEXT("HKCU\\Software\\Vantor\\Kelvano CE"), TEXT("Settings"));
//     if (!val.ReadVersioned(RegVersion(1, 0), &settings, sizeof(settings))) ...
//     val.WriteVersioned(RegVersion(1, 0), &settings, sizeof(settings));
//
// A key path may start with a root: "HKLM\", "HKCU\" or "HKCR\" in any case, or be one of
// those names alone; any other path is under HKEY_CURRENT_USER. Objects hold no open handle:
// every operation opens the key, does its work and closes the key again, so objects are
// cheap to copy and never see a stale handle. Text goes through the calls of the build's
// native width (8-bit in the installer, 16-bit in the game). Every operation reports
// success as a truth value and shows nothing to the user.
#pragma once

#include "foundation/tl_string.h"
#include "host/registry.h"

namespace cetl {

using host::BYTE;
using host::DWORD;
using host::HKEY;
using host::WORD;

// The version word of a versioned value: major in the high 16 bits, minor in the low.
constexpr DWORD RegVersion(WORD wMajor, WORD wMinor) {
    return (static_cast<DWORD>(wMajor) << 16) | wMinor;
}

class regkey {
public:
    // HKEY_CURRENT_USER itself.
    regkey() : m_hRoot(host::HKEY_CURRENT_USER) {}
    regkey(const string& strPath);
    regkey(const CHAR* pszPath) : regkey(string(pszPath)) {}
    regkey(const WCHAR* pszPath) : regkey(string(pszPath)) {}
    regkey(HKEY hRoot, const string& strSubKey) : m_hRoot(hRoot), m_strSubKey(strSubKey) {}

    HKEY Root() const { return m_hRoot; }
    const string& SubKey() const { return m_strSubKey; }
    // The path with its root prefix ("HKLM\Software\X", or "HKLM" for a root).
    string Path() const;
    // The key strName below this one.
    regkey Child(const string& strName) const;

    // Open handles (full access) for the caller to close with host::RegCloseKey; null on
    // failure. Writing creates the key and its missing parents; reading needs it to exist.
    HKEY OpenForWriting() const;
    HKEY OpenForReading() const;

    bool Exists() const;
    bool DeleteValue(const string& strName) const;
    // Deletes the sub-key strName, which must have no sub-keys of its own.
    bool DeleteSubKey(const string& strName) const;
    // Deletes the key with everything below it, deepest keys first. A root is never
    // deleted (false): an empty path must not wipe a whole root.
    bool DeleteTree() const;

private:
    HKEY m_hRoot;
    string m_strSubKey;
};

// Bytes of a value, either copied into a block of the buffer's own or referring to the
// caller's bytes. Two buffers are equal when they agree on owning and size and, owning,
// hold the same bytes or, referring, refer to the same address.
class regbuffer {
public:
    regbuffer() noexcept {}
    // Refers to (fCopy false) or copies (fCopy true) cb bytes at pv. A failed copy leaves
    // the buffer empty.
    regbuffer(const void* pv, DWORD cb, bool fCopy);
    regbuffer(const regbuffer& buf);
    regbuffer(regbuffer&& buf) noexcept;
    ~regbuffer();
    regbuffer& operator=(const regbuffer& buf);
    regbuffer& operator=(regbuffer&& buf) noexcept;

    // As the constructor; false when the copy cannot be allocated (the buffer is then empty).
    bool Assign(const void* pv, DWORD cb, bool fCopy);
    // An owned block of cb bytes, not cleared; false when it cannot be allocated.
    bool Allocate(DWORD cb);
    void Clear();

    const BYTE* Data() const { return m_pb; }
    BYTE* Data() { return m_pb; }
    DWORD Size() const { return m_cb; }
    bool Owns() const { return m_fOwn; }

    friend bool operator==(const regbuffer& a, const regbuffer& b);

private:
    BYTE* m_pb = nullptr;
    DWORD m_cb = 0;
    bool m_fOwn = false;
};

class regvalue {
public:
    regvalue(const regkey& key, const string& strName) : m_key(key), m_strName(strName) {}

    const regkey& Key() const { return m_key; }
    const string& Name() const { return m_strName; }

    // Stored size in bytes and type; 0 when the value is missing.
    DWORD Size() const;
    DWORD Type() const;
    bool Exists() const;

    // Raw access: *pcb is the buffer's size on entry and the value's size on return. A
    // buffer too small fails and is left alone.
    bool Read(DWORD* pdwType, void* pv, DWORD* pcb) const;
    bool Write(DWORD dwType, const void* pv, DWORD cb) const;
    bool Delete() const;

    // REG_SZ (REG_EXPAND_SZ is read too), up to the first zero character.
    bool ReadText(string& str) const;
    bool WriteText(const string& str) const;
    // REG_DWORD: only a 4-byte value of that type reads.
    bool ReadNumber(DWORD& dw) const;
    bool WriteNumber(DWORD dw) const;
    // REG_BINARY; reading takes the bytes of a value of any type.
    bool ReadBytes(void* pv, DWORD* pcb) const { return Read(nullptr, pv, pcb); }
    bool WriteBytes(const void* pv, DWORD cb) const { return Write(host::REG_BINARY, pv, cb); }
    // The whole value into an owned block of its size; buf is unchanged on failure.
    bool Read(regbuffer& buf, DWORD* pdwType = nullptr) const;

    // Writes this value's type and bytes as dest. When this value cannot be read, dest is
    // deleted instead and the result is false.
    bool CopyTo(const regvalue& dest) const;

    // A version word (little-endian) followed by the record, stored as REG_BINARY.
    bool WriteVersioned(DWORD dwVersion, const void* pvRecord, DWORD cbRecord) const;
    // Succeeds when the stored value holds a version word with the expected major version
    // and at least the expected minor one. The record is then copied into the buffer, cut
    // to cb bytes, and the rest of the buffer is zero-filled. On failure the buffer is left
    // alone.
    bool ReadVersioned(DWORD dwVersion, void* pv, DWORD cb) const;

private:
    regkey m_key;
    string m_strName;
};

} // namespace cetl
