// "lzrapi.dll": the device's decompressor, reached through the remote invoke in block mode.
//
//   GetLZRAPIVersion  no input; answers the version as decimal text.
//   DecompressFile    input: the zz block's file, the file to write, each a 16-bit text with
//                     its zero. Unpacks the first into the second (replacing it); result 0 on
//                     success, else an error code, which is also the last error. The first
//                     file is left alone: the installer that wrote it removes it.
// Every entry frees its input block; the only output is the version's text, from LocalAlloc.
// Paths are device paths: each resolves under the device's root, never above it.
#include "anim/cea_zz.h"
#include "device/lzrapi/unpack.h"
#include "host/error.h"
#include "host/file.h"
#include "host/heap.h"
#include "host/types.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#define LZRAPI_EXPORT extern "C" __attribute__((visibility("default")))

using host::BYTE;
using host::DWORD;
using lzrapi::kcbMost;

namespace {

constexpr char16_t kszVersion[] = u"1";

// A device path as a name under the device's root: a path not starting at "\" starts there.
std::u16string DeviceName(std::u16string_view path) {
    while (!path.empty() && (path.front() == u'\\' || path.front() == u'/'))
        path.remove_prefix(1);
    return u"\\" + std::u16string(path);
}

// The whole of a file, or false (last error set).
bool ReadWhole(const std::u16string& name, std::vector<BYTE>* pData) {
    host::HANDLE h = host::CreateFile(name.c_str(), host::GENERIC_READ, host::FILE_SHARE_READ,
                                      host::OPEN_EXISTING);
    if (h == host::INVALID_HANDLE_VALUE) return false;
    const DWORD cb = host::GetFileSize(h);
    bool fOk = cb != host::INVALID_FILE_SIZE;
    if (fOk && cb > kcbMost) {
        host::SetLastError(host::ERROR_INVALID_DATA);
        fOk = false;
    }
    if (fOk && cb != 0) {
        pData->resize(cb);
        DWORD cbDone = 0, cbRead = 1;
        while (fOk && cbDone < cb && cbRead != 0) {
            fOk = host::ReadFile(h, pData->data() + cbDone, cb - cbDone, &cbRead);
            cbDone += fOk ? cbRead : 0;
        }
        if (fOk && cbDone != cb) {
            host::SetLastError(host::ERROR_INVALID_DATA); // it shrank under us
            fOk = false;
        }
    }
    const DWORD dwError = host::GetLastError();
    host::CloseHandle(h);
    host::SetLastError(dwError);
    return fOk;
}

// Writes the data as the whole file; a failed write leaves no part of it behind.
bool WriteWhole(const std::u16string& name, const BYTE* pb, DWORD cb) {
    host::HANDLE h = host::CreateFile(name.c_str(), host::GENERIC_WRITE, 0, host::CREATE_ALWAYS);
    if (h == host::INVALID_HANDLE_VALUE) return false;
    DWORD cbWritten = 0;
    bool fOk = cb == 0 || host::WriteFile(h, pb, cb, &cbWritten);
    const DWORD dwError = host::GetLastError();
    fOk = host::CloseHandle(h) && fOk;
    if (!fOk) {
        host::DeleteFile(name.c_str());
        host::SetLastError(dwError != host::ERROR_SUCCESS ? dwError : host::ERROR_DISK_FULL);
    }
    return fOk;
}

// The last error as a result that cannot read as success.
long Failure() {
    const DWORD dwError = host::GetLastError();
    return static_cast<long>(dwError != host::ERROR_SUCCESS ? dwError : host::ERROR_GEN_FAILURE);
}

long Unpack(const std::u16string& source, const std::u16string& target) {
    std::vector<BYTE> block;
    if (!ReadWhole(source, &block)) return Failure();
    BYTE* pbData = nullptr;
    DWORD cbData = 0;
    const long nResult =
        lzrapi::UnpackBlock(block.data(), static_cast<DWORD>(block.size()), &pbData, &cbData);
    if (nResult != 0) return nResult;
    const bool fOk = WriteWhole(target, pbData, cbData);
    zz::FreeBlock(pbData);
    return fOk ? 0 : Failure();
}

} // namespace

LZRAPI_EXPORT long GetLZRAPIVersion(DWORD, BYTE* pbInput, DWORD* pcbOutput, BYTE** ppbOutput,
                                    void*) {
    host::LocalFree(pbInput);
    if (pcbOutput != nullptr) *pcbOutput = 0;
    if (ppbOutput == nullptr) return host::ERROR_INVALID_PARAMETER;
    *ppbOutput = static_cast<BYTE*>(host::LocalAlloc(host::LMEM_FIXED, sizeof(kszVersion)));
    if (*ppbOutput == nullptr) return host::ERROR_NOT_ENOUGH_MEMORY;
    std::memcpy(*ppbOutput, kszVersion, sizeof(kszVersion));
    if (pcbOutput != nullptr) *pcbOutput = sizeof(kszVersion);
    return 0;
}

LZRAPI_EXPORT long DecompressFile(DWORD cbInput, BYTE* pbInput, DWORD* pcbOutput, BYTE** ppbOutput,
                                  void*) {
    const std::vector<std::u16string> texts = lzrapi::InputTexts(pbInput, cbInput);
    host::LocalFree(pbInput);
    if (pcbOutput != nullptr) *pcbOutput = 0;
    if (ppbOutput != nullptr) *ppbOutput = nullptr;
    long nResult = host::ERROR_INVALID_PARAMETER;
    if (texts.size() >= 2 && !texts[0].empty() && !texts[1].empty())
        nResult = Unpack(DeviceName(texts[0]), DeviceName(texts[1]));
    host::SetLastError(static_cast<DWORD>(nResult));
    return nResult;
}
