// The toolkit's target on a connected device: every call through the remote API binding,
// paths and names as 16-bit texts.
#include "host/codepage.h"
#include "host/error.h"
#include "host/file.h"
#include "host/heap.h"
#include "host/registry.h"
#include "setup/sl_internal.h"
#include "setup/sl_rapi.h"

#include <cstring>

namespace sl {
namespace {

// A damaged or hostile device could report any size for a file we read whole (the log).
constexpr DWORD kcbMostToRead = 64u << 20;
constexpr DWORD kcbReadPiece = 65536;

class DeviceTarget final : public SetupTarget {
public:
    explicit DeviceTarget(DeviceConnection* pConnection) : c_(pConnection) {}
    ~DeviceTarget() override {
        if (hOpenFile_ != rapi::INVALID_HANDLE_VALUE) CeCloseHandle(c_, hOpenFile_);
    }

    bool IsDevice() const override { return true; }

    DWORD GetFileAttributes(const string& strPath) override {
        const DWORD dw = CeGetFileAttributes(c_, strPath.Text16());
        if (dw == host::INVALID_FILE_ATTRIBUTES) Failed();
        return dw;
    }
    bool SetFileAttributes(const string& strPath, DWORD dwAttributes) override {
        BeforeMutation("CeSetFileAttributes", strPath);
        return CeSetFileAttributes(c_, strPath.Text16(), dwAttributes) || Failed();
    }
    bool CreateDirectory(const string& strPath) override {
        BeforeMutation("CeCreateDirectory", strPath);
        return CeCreateDirectory(c_, strPath.Text16(), nullptr) || Failed();
    }
    bool RemoveDirectory(const string& strPath) override {
        BeforeMutation("CeRemoveDirectory", strPath);
        return CeRemoveDirectory(c_, strPath.Text16()) || Failed();
    }
    bool DeleteFile(const string& strPath) override {
        BeforeMutation("CeDeleteFile", strPath);
        return CeDeleteFile(c_, strPath.Text16()) || Failed();
    }
    bool MoveFile(const string& strFrom, const string& strTo) override {
        BeforeMutation("CeMoveFile", strFrom);
        return CeMoveFile(c_, strFrom.Text16(), strTo.Text16()) || Failed();
    }
    // The removal deletes a moved-aside file at once on a device.
    bool DeleteAtNextStart(const string&) override {
        host::SetLastError(host::ERROR_INVALID_PARAMETER);
        return false;
    }

    bool CreateFileForWriting(const string& strPath) override {
        if (hOpenFile_ != rapi::INVALID_HANDLE_VALUE) {
            host::SetLastError(host::ERROR_INVALID_HANDLE);
            return false;
        }
        BeforeMutation("CeCreateFile", strPath);
        hOpenFile_ = CeCreateFile(c_, strPath.Text16(), host::GENERIC_WRITE, 0, nullptr,
                                  host::CREATE_ALWAYS, 0, nullptr);
        strOpenFile_ = strPath;
        return hOpenFile_ != rapi::INVALID_HANDLE_VALUE || Failed();
    }
    bool WriteOpenFile(const BYTE* pb, DWORD cb) override {
        BeforeMutation("CeWriteFile", strOpenFile_);
        DWORD cbWritten = 0;
        if (!CeWriteFile(c_, hOpenFile_, pb, cb, &cbWritten, nullptr)) return Failed();
        if (cbWritten != cb) {
            host::SetLastError(host::ERROR_DISK_FULL);
            return false;
        }
        return true;
    }
    // The device has no flush call: its close is the last word.
    bool CloseOpenFile(bool) override {
        if (hOpenFile_ == rapi::INVALID_HANDLE_VALUE) return true;
        const rapi::HANDLE h = hOpenFile_;
        hOpenFile_ = rapi::INVALID_HANDLE_VALUE;
        return CeCloseHandle(c_, h) || Failed();
    }
    // The device cannot rename over a file: the old one goes first. Readers of the log take
    // strFrom while strTo is missing, so nothing is lost in between.
    bool ReplaceFile(const string& strFrom, const string& strTo) override {
        if (!DeleteFile(strTo) && host::GetLastError() != host::ERROR_FILE_NOT_FOUND &&
            host::GetLastError() != host::ERROR_PATH_NOT_FOUND)
            return false;
        return MoveFile(strFrom, strTo);
    }
    bool ReadWholeFile(const string& strPath, mem::vector<BYTE>* pBlock) override {
        const rapi::HANDLE h = CeCreateFile(c_, strPath.Text16(), host::GENERIC_READ, 0, nullptr,
                                            host::OPEN_EXISTING, 0, nullptr);
        if (h == rapi::INVALID_HANDLE_VALUE) return Failed();
        DWORD dwHigh = 0;
        const DWORD cbFile = CeGetFileSize(c_, h, &dwHigh);
        bool fOk = true;
        if (cbFile == host::INVALID_FILE_SIZE && CeGetLastError(c_) != host::ERROR_SUCCESS) {
            fOk = Failed();
        } else if (dwHigh != 0 || cbFile > kcbMostToRead) {
            host::SetLastError(host::ERROR_NOT_ENOUGH_MEMORY);
            fOk = false;
        }
        mem::vector<BYTE> block{MEM_TAG("*pcbData")};
        // Read to the end, never past the cap, whatever the size said.
        while (fOk) {
            const std::size_t cbHave = block.size();
            if (cbHave >= kcbMostToRead) {
                host::SetLastError(host::ERROR_NOT_ENOUGH_MEMORY);
                fOk = false;
                break;
            }
            block.resize(cbHave + kcbReadPiece);
            DWORD cbRead = 0;
            if (!CeReadFile(c_, h, block.data() + cbHave, kcbReadPiece, &cbRead, nullptr)) {
                fOk = Failed();
                break;
            }
            block.resize(cbHave + cbRead);
            if (cbRead < kcbReadPiece) break;
        }
        CeCloseHandle(c_, h);
        if (fOk) *pBlock = std::move(block);
        return fOk;
    }

    bool CreateKey(HKEY hRoot, const string& strSubKey) override {
        BeforeMutation("CeRegCreateKeyEx", strSubKey);
        rapi::HKEY hKey = nullptr;
        if (!Succeeded(CeRegCreateKeyEx(c_, Root(hRoot), strSubKey.Text16(), 0, nullptr, 0,
                                        host::KEY_ALL_ACCESS, nullptr, &hKey, nullptr)))
            return false;
        CeRegCloseKey(c_, hKey);
        return true;
    }
    bool KeyExists(HKEY hRoot, const string& strSubKey) override {
        rapi::HKEY hKey = Open(hRoot, strSubKey, host::KEY_READ);
        if (hKey == nullptr) return false;
        CeRegCloseKey(c_, hKey);
        return true;
    }
    bool SetValue(HKEY hRoot, const string& strSubKey, const string& strName, DWORD dwType,
                  const BYTE* pb, DWORD cb) override {
        rapi::HKEY hKey = Open(hRoot, strSubKey, host::KEY_SET_VALUE);
        if (hKey == nullptr) return false;
        BeforeMutation("CeRegSetValueEx", strSubKey);
        const bool fOk = Succeeded(CeRegSetValueEx(c_, hKey, strName.Text16(), 0, dwType, pb, cb));
        CeRegCloseKey(c_, hKey);
        return fOk;
    }
    bool QueryText(HKEY hRoot, const string& strSubKey, const string& strName, DWORD cbBuffer,
                   string* pText) override {
        rapi::HKEY hKey = Open(hRoot, strSubKey, host::KEY_READ);
        if (hKey == nullptr) return false;
        mem::vector<BYTE> buffer(cbBuffer, BYTE{0}, MEM_TAG("cbBuffer"));
        DWORD dwType = 0, cb = cbBuffer;
        const host::LONG nResult =
            CeRegQueryValueEx(c_, hKey, strName.Text16(), nullptr, &dwType, buffer.data(), &cb);
        CeRegCloseKey(c_, hKey);
        if (!Succeeded(nResult)) return false;
        if (dwType != host::REG_SZ && dwType != host::REG_EXPAND_SZ) {
            host::SetLastError(host::ERROR_INVALID_DATA);
            return false;
        }
        // The device's answer is outside data: the text ends at its zero or at the bytes it
        // said it gave, never past the buffer.
        std::u16string text;
        for (DWORD i = 0; i + 1 < cb && i + 1 < cbBuffer; i += 2) {
            const char16_t ch = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
            if (ch == u'\0') break;
            text.push_back(ch);
        }
        *pText = host::ToUtf8(text).c_str();
        return true;
    }
    bool DeleteValue(HKEY hRoot, const string& strSubKey, const string& strName) override {
        rapi::HKEY hKey = Open(hRoot, strSubKey, host::KEY_SET_VALUE);
        if (hKey == nullptr) return false;
        BeforeMutation("CeRegDeleteValue", strSubKey);
        const bool fOk = Succeeded(CeRegDeleteValue(c_, hKey, strName.Text16()));
        CeRegCloseKey(c_, hKey);
        return fOk;
    }
    bool DeleteKeyIfEmpty(HKEY hRoot, const string& strSubKey) override {
        if (strSubKey.IsEmpty()) {
            host::SetLastError(host::ERROR_INVALID_PARAMETER);
            return false;
        }
        rapi::HKEY hKey = Open(hRoot, strSubKey, host::KEY_READ);
        if (hKey == nullptr) return false;
        DWORD cSubKeys = 0, cValues = 0;
        const host::LONG nResult =
            CeRegQueryInfoKey(c_, hKey, nullptr, nullptr, nullptr, &cSubKeys, nullptr, nullptr,
                              &cValues, nullptr, nullptr, nullptr, nullptr);
        CeRegCloseKey(c_, hKey);
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
        BeforeMutation("CeRegDeleteKey", strSubKey);
        return Succeeded(CeRegDeleteKey(c_, Root(hRoot), strSubKey.Text16()));
    }

    bool CreateShortcut(const string& strLink, const string& strTarget) override {
        BeforeMutation("CeSHCreateShortcut", strLink);
        std::u16string link = strLink.Text16();
        std::u16string target = u"\"" + std::u16string(strTarget.Text16()) + u"\"";
        return CeSHCreateShortcut(c_, link.data(), target.data()) != 0 || Failed();
    }
    string Platform() override {
        rapi::SYSTEM_INFO info;
        std::memset(&info, 0xFE, sizeof(info)); // a call that fills nothing reads "unknown"
        CeGetSystemInfo(c_, &info);
        switch (info.wProcessorArchitecture) {
        case rapi::PROCESSOR_ARCHITECTURE_MIPS:
            return string("mips");
        case rapi::PROCESSOR_ARCHITECTURE_PPC:
            return string("ppc");
        case rapi::PROCESSOR_ARCHITECTURE_SHX:
            return string("shx");
        case rapi::PROCESSOR_ARCHITECTURE_ARM:
            return string("arm");
        default:
            return string("unknown");
        }
    }
    string SpecialFolder(int nCsidl) override {
        WCHAR szPath[rapi::MAX_PATH] = {};
        if (CeGetSpecialFolderPath(c_, nCsidl, rapi::MAX_PATH, szPath) == 0) {
            Failed();
            return string();
        }
        szPath[rapi::MAX_PATH - 1] = u'\0';
        return string(szPath);
    }

    bool CallBlockEntry(const string& strLibrary, const char* pszEntry, const std::u16string& input,
                        std::u16string* pOutput, long* pnResult) override {
        // The remote API owns the input block from here and frees it.
        const DWORD cbInput = static_cast<DWORD>(input.size() * sizeof(char16_t));
        auto* pbInput = static_cast<BYTE*>(host::LocalAlloc(host::LPTR, cbInput));
        if (pbInput == nullptr) return false;
        if (cbInput != 0) std::memcpy(pbInput, input.data(), cbInput);
        const std::u16string entry = host::ToUtf16(pszEntry);
        DWORD cbOutput = 0;
        BYTE* pbOutput = nullptr;
        const rapi::HRESULT nResult = CeRapiInvoke(c_, strLibrary.Text16(), entry.c_str(), cbInput,
                                                   pbInput, &cbOutput, &pbOutput, nullptr, 0);
        std::u16string output;
        for (DWORD i = 0; pbOutput != nullptr && i + 1 < cbOutput; i += 2) {
            const char16_t ch = static_cast<char16_t>(pbOutput[i] | (pbOutput[i + 1] << 8));
            if (ch == u'\0') break;
            output.push_back(ch);
        }
        host::LocalFree(pbOutput);
        // -1: the device found no such library or entry (or it crashed); the other is the
        // link itself.
        if (nResult == -1 || nResult == rapi::E_RAPI_DISCONNECTED) return Failed();
        *pOutput = std::move(output);
        *pnResult = nResult;
        return true;
    }
    // A device's hooks run through the shared uninstaller there (ChainAppHook).
    bool CallHook(const string&, const char*, const string&, bool* pfFound,
                  bool* pfResult) override {
        *pfFound = false;
        *pfResult = true;
        return false;
    }

private:
    static rapi::HKEY Root(HKEY hRoot) { return reinterpret_cast<rapi::HKEY>(hRoot); }

    // The device's last error as ours; false, for "return ... || Failed()".
    bool Failed() {
        const DWORD dwError = CeGetLastError(c_);
        host::SetLastError(dwError != host::ERROR_SUCCESS ? dwError : host::ERROR_GEN_FAILURE);
        return false;
    }
    static bool Succeeded(host::LONG nResult) {
        if (nResult == host::ERROR_SUCCESS) return true;
        host::SetLastError(static_cast<DWORD>(nResult));
        return false;
    }
    rapi::HKEY Open(HKEY hRoot, const string& strSubKey, host::REGSAM sam) {
        rapi::HKEY hKey = nullptr;
        if (!Succeeded(CeRegOpenKeyEx(c_, Root(hRoot), strSubKey.Text16(), 0, sam, &hKey)))
            return nullptr;
        return hKey;
    }

    DeviceConnection* c_;
    rapi::HANDLE hOpenFile_ = rapi::INVALID_HANDLE_VALUE;
    string strOpenFile_;
};

} // namespace

TargetPtr MakeDeviceTarget(DeviceConnection* pConnection) {
    return TargetPtr(MemNew(DeviceTarget, pConnection));
}

} // namespace sl
