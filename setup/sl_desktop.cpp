// The toolkit's target on this machine: host/ files, registry, shell and libraries.
#include "host/codepage.h"
#include "host/error.h"
#include "host/file.h"
#include "host/heap.h"
#include "host/library.h"
#include "host/registry.h"
#include "host/shell.h"
#include "setup/sl_internal.h"
#include "setup/uninstaller.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace sl {
namespace {

std::atomic<MutationHook> g_pfnMutationHook{nullptr};

bool Succeeded(host::LONG nResult) {
    if (nResult == host::ERROR_SUCCESS) return true;
    host::SetLastError(static_cast<DWORD>(nResult));
    return false;
}

class DesktopTarget final : public SetupTarget {
public:
    // The folders are read from the registry, which the shell seeds on first use. A
    // device's registry has no such values and gets none.
    explicit DesktopTarget(bool fDevice) : fDevice_(fDevice) {
        if (!fDevice_) host::SeedShellFolders();
    }
    ~DesktopTarget() override {
        if (hOpenFile_ != host::INVALID_HANDLE_VALUE) host::CloseHandle(hOpenFile_);
    }

    bool IsDevice() const override { return fDevice_; }

    DWORD GetFileAttributes(const string& strPath) override {
        return host::GetFileAttributes(strPath.Text8());
    }
    bool SetFileAttributes(const string& strPath, DWORD dwAttributes) override {
        BeforeMutation("SetFileAttributes", strPath);
        return host::SetFileAttributes(strPath.Text8(), dwAttributes);
    }
    bool CreateDirectory(const string& strPath) override {
        BeforeMutation("CreateDirectory", strPath);
        return host::CreateDirectory(strPath.Text8());
    }
    bool RemoveDirectory(const string& strPath) override {
        BeforeMutation("RemoveDirectory", strPath);
        return host::RemoveDirectory(strPath.Text8());
    }
    bool DeleteFile(const string& strPath) override {
        BeforeMutation("DeleteFile", strPath);
        return host::DeleteFile(strPath.Text8());
    }
    bool MoveFile(const string& strFrom, const string& strTo) override {
        BeforeMutation("MoveFile", strFrom);
        return host::MoveFile(strFrom.Text8(), strTo.Text8());
    }
    bool DeleteAtNextStart(const string& strPath) override {
        if (fDevice_) { // a device deletes at once instead
            host::SetLastError(host::ERROR_INVALID_PARAMETER);
            return false;
        }
        BeforeMutation("MoveFileEx", strPath);
        return host::MoveFileEx(strPath.Text8(), nullptr, host::MOVEFILE_DELAY_UNTIL_REBOOT);
    }

    bool CreateFileForWriting(const string& strPath) override {
        if (hOpenFile_ != host::INVALID_HANDLE_VALUE) {
            host::SetLastError(host::ERROR_INVALID_HANDLE);
            return false;
        }
        BeforeMutation("CreateFile", strPath);
        hOpenFile_ = host::CreateFile(strPath.Text8(), host::GENERIC_WRITE, 0, host::CREATE_ALWAYS);
        strOpenFile_ = strPath;
        return hOpenFile_ != host::INVALID_HANDLE_VALUE;
    }
    bool WriteOpenFile(const BYTE* pb, DWORD cb) override {
        BeforeMutation("WriteFile", strOpenFile_);
        DWORD cbWritten = 0;
        return host::WriteFile(hOpenFile_, pb, cb, &cbWritten) && cbWritten == cb;
    }
    bool CloseOpenFile(bool fFlush) override {
        if (hOpenFile_ == host::INVALID_HANDLE_VALUE) return true;
        bool fOk = !fFlush || host::FlushFileBuffers(hOpenFile_);
        const DWORD dwError = fOk ? host::ERROR_SUCCESS : host::GetLastError();
        fOk = host::CloseHandle(hOpenFile_) && fOk;
        hOpenFile_ = host::INVALID_HANDLE_VALUE;
        if (dwError != host::ERROR_SUCCESS) host::SetLastError(dwError);
        return fOk;
    }
    bool ReplaceFile(const string& strFrom, const string& strTo) override {
        BeforeMutation("MoveFileEx", strTo);
        return host::MoveFileEx(strFrom.Text8(), strTo.Text8(), host::MOVEFILE_REPLACE_EXISTING);
    }
    bool ReadWholeFile(const string& strPath, mem::vector<BYTE>* pBlock) override {
        host::HANDLE h = host::CreateFile(strPath.Text8(), host::GENERIC_READ,
                                          host::FILE_SHARE_READ, host::OPEN_EXISTING);
        if (h == host::INVALID_HANDLE_VALUE) return false;
        mem::vector<BYTE> block{MEM_TAG("*pcbData")};
        bool fOk = true;
        for (;;) {
            BYTE rgb[16384];
            DWORD cbRead = 0;
            if (!host::ReadFile(h, rgb, sizeof(rgb), &cbRead)) {
                fOk = false;
                break;
            }
            if (cbRead == 0) break;
            block.insert(block.end(), rgb, rgb + cbRead);
        }
        host::CloseHandle(h);
        if (fOk) *pBlock = std::move(block);
        return fOk;
    }

    bool CreateKey(HKEY hRoot, const string& strSubKey) override {
        BeforeMutation("RegCreateKey", strSubKey);
        HKEY hKey = nullptr;
        if (!Succeeded(host::RegCreateKeyExA(hRoot, strSubKey.Text8(), 0, nullptr, 0,
                                             host::KEY_ALL_ACCESS, nullptr, &hKey, nullptr)))
            return false;
        host::RegCloseKey(hKey);
        return true;
    }
    bool KeyExists(HKEY hRoot, const string& strSubKey) override {
        HKEY hKey = nullptr;
        if (host::RegOpenKeyExA(hRoot, strSubKey.Text8(), 0, host::KEY_READ, &hKey) !=
            host::ERROR_SUCCESS)
            return false;
        host::RegCloseKey(hKey);
        return true;
    }
    bool SetValue(HKEY hRoot, const string& strSubKey, const string& strName, DWORD dwType,
                  const BYTE* pb, DWORD cb) override {
        HKEY hKey = nullptr;
        if (!Succeeded(
                host::RegOpenKeyExA(hRoot, strSubKey.Text8(), 0, host::KEY_SET_VALUE, &hKey)))
            return false;
        BeforeMutation("RegSetValue", strSubKey);
        // Texts are stored as 16-bit text, as the W call takes them.
        const bool fOk =
            dwType == host::REG_SZ
                ? Succeeded(host::RegSetValueExW(hKey, host::ToUtf16(strName.Text8()).c_str(), 0,
                                                 dwType, pb, cb))
                : Succeeded(host::RegSetValueExA(hKey, strName.Text8(), 0, dwType, pb, cb));
        host::RegCloseKey(hKey);
        return fOk;
    }
    bool QueryText(HKEY hRoot, const string& strSubKey, const string& strName, DWORD cbBuffer,
                   string* pText) override {
        HKEY hKey = nullptr;
        if (!Succeeded(host::RegOpenKeyExA(hRoot, strSubKey.Text8(), 0, host::KEY_READ, &hKey)))
            return false;
        mem::vector<BYTE> buffer(cbBuffer, BYTE{0}, MEM_TAG("cbBuffer"));
        DWORD dwType = 0, cb = cbBuffer;
        const host::LONG nResult = host::RegQueryValueExW(
            hKey, host::ToUtf16(strName.Text8()).c_str(), nullptr, &dwType, buffer.data(), &cb);
        host::RegCloseKey(hKey);
        if (!Succeeded(nResult)) return false;
        if (dwType != host::REG_SZ && dwType != host::REG_EXPAND_SZ) {
            host::SetLastError(host::ERROR_INVALID_DATA);
            return false;
        }
        // A text must end inside the buffer: one that fills it without its zero is refused
        // rather than read past its end.
        std::u16string text;
        bool fTerminated = false;
        for (DWORD i = 0; i + 1 < cb; i += 2) {
            const char16_t ch = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
            if (ch == u'\0') {
                fTerminated = true;
                break;
            }
            text.push_back(ch);
        }
        if (!fTerminated && cb >= cbBuffer) {
            host::SetLastError(host::ERROR_MORE_DATA);
            return false;
        }
        *pText = host::ToUtf8(text).c_str();
        return true;
    }
    bool DeleteValue(HKEY hRoot, const string& strSubKey, const string& strName) override {
        HKEY hKey = nullptr;
        if (!Succeeded(
                host::RegOpenKeyExA(hRoot, strSubKey.Text8(), 0, host::KEY_SET_VALUE, &hKey)))
            return false;
        BeforeMutation("RegDeleteValue", strSubKey);
        const bool fOk = Succeeded(host::RegDeleteValueA(hKey, strName.Text8()));
        host::RegCloseKey(hKey);
        return fOk;
    }
    bool DeleteKeyIfEmpty(HKEY hRoot, const string& strSubKey) override {
        HKEY hKey = nullptr;
        if (strSubKey.IsEmpty() ||
            !Succeeded(host::RegOpenKeyExA(hRoot, strSubKey.Text8(), 0, host::KEY_READ, &hKey)))
            return false;
        DWORD cSubKeys = 0, cValues = 0;
        const host::LONG nResult =
            host::RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, &cSubKeys, nullptr, nullptr,
                                   &cValues, nullptr, nullptr, nullptr, nullptr);
        host::RegCloseKey(hKey);
        if (!Succeeded(nResult)) return false;
        if (cSubKeys != 0 || cValues != 0) {
            host::SetLastError(host::ERROR_DIR_NOT_EMPTY);
            return false;
        }
        return DeleteKey(hRoot, strSubKey);
    }
    bool DeleteKey(HKEY hRoot, const string& strSubKey) override {
        // An empty sub-key would name the root itself.
        if (strSubKey.IsEmpty()) {
            host::SetLastError(host::ERROR_INVALID_PARAMETER);
            return false;
        }
        BeforeMutation("RegDeleteKey", strSubKey);
        return Succeeded(host::RegDeleteKeyA(hRoot, strSubKey.Text8()));
    }

    bool CreateShortcut(const string& strLink, const string& strTarget) override {
        BeforeMutation("SaveShellLink", strLink);
        host::SHELLLINK link;
        link.target = host::ToUtf16(strTarget.Text8());
        link.description = link.target;
        link.nShowCommand = 1;
        return host::SaveShellLink(host::ToUtf16(strLink.Text8()).c_str(), link);
    }
    string Platform() override { return string("native"); }
    string SpecialFolder(int) override { return string(); }

    bool CallBlockEntry(const string& strLibrary, const char* pszEntry, const std::u16string& input,
                        std::u16string* pOutput, long* pnResult) override {
        host::HMODULE hModule = host::LoadLibrary(strLibrary.Text8());
        if (hModule == nullptr) return false;
        auto pfn = reinterpret_cast<BLOCKENTRY>(host::GetProcAddress(hModule, pszEntry));
        if (pfn == nullptr) {
            const DWORD dwError = host::GetLastError();
            host::FreeLibrary(hModule);
            host::SetLastError(dwError);
            return false;
        }
        // The entry owns the input block and frees it.
        const DWORD cbInput = static_cast<DWORD>(input.size() * sizeof(char16_t));
        auto* pbInput = static_cast<BYTE*>(host::LocalAlloc(host::LPTR, cbInput));
        if (pbInput == nullptr) {
            host::FreeLibrary(hModule);
            return false;
        }
        if (cbInput != 0) std::memcpy(pbInput, input.data(), cbInput);
        DWORD cbOutput = 0;
        BYTE* pbOutput = nullptr;
        const long nResult = pfn(cbInput, pbInput, &cbOutput, &pbOutput, nullptr);
        std::u16string output;
        for (DWORD i = 0; pbOutput != nullptr && i + 1 < cbOutput; i += 2) {
            const char16_t ch = static_cast<char16_t>(pbOutput[i] | (pbOutput[i + 1] << 8));
            if (ch == u'\0') break;
            output.push_back(ch);
        }
        host::LocalFree(pbOutput);
        // Freed before returning, so a caller may replace the file next.
        host::FreeLibrary(hModule);
        *pOutput = std::move(output);
        *pnResult = nResult;
        return true;
    }
    bool CallHook(const string& strLibrary, const char* pszEntry, const string& strProduct,
                  bool* pfFound, bool* pfResult) override {
        *pfFound = false;
        *pfResult = true;
        host::HMODULE hModule = host::LoadLibrary(strLibrary.Text8());
        if (hModule == nullptr) return true;
        if (auto pfn = reinterpret_cast<APPHOOK>(host::GetProcAddress(hModule, pszEntry))) {
            *pfFound = true;
            *pfResult = pfn(host::ToUtf16(strProduct.Text8()).c_str()) != 0;
        }
        host::FreeLibrary(hModule);
        return true;
    }

private:
    const bool fDevice_;
    host::HANDLE hOpenFile_ = host::INVALID_HANDLE_VALUE;
    string strOpenFile_;
};

} // namespace

void TargetDeleter::operator()(SetupTarget* pTarget) const {
    MemDelete(pTarget);
}

TargetPtr MakeDesktopTarget() {
    return TargetPtr(MemNew(DesktopTarget, false));
}

TargetPtr MakeLocalDeviceTarget() {
    return TargetPtr(MemNew(DesktopTarget, true));
}

bool InDeviceContext() {
    const char* pszProfile = std::getenv("KELVANO_PROFILE");
    return pszProfile != nullptr && std::strcmp(pszProfile, "device") == 0;
}

void SetMutationHook(MutationHook pfnHook) {
    g_pfnMutationHook.store(pfnHook);
}

void BeforeMutation(const char* pszCall, const string& strPath) {
    if (MutationHook pfn = g_pfnMutationHook.load()) pfn(pszCall, strPath.Text8());
}

} // namespace sl
