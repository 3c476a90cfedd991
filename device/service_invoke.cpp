// The invoke helper: a process of its own for each call of a device library's block entry,
// so that a library that crashes or hangs fails its call and leaves the device running.
#include "device/service.h"

#include "host/codepage.h"
#include "host/error.h"
#include "host/heap.h"
#include "host/library.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace device {
namespace {

using namespace host;

// A block-mode entry of a device library: input block (the entry frees it), output block
// (the caller frees it with LocalFree).
using BLOCKENTRY = long (*)(DWORD cbInput, BYTE* pbInput, DWORD* pcbOutput, BYTE** ppbOutput,
                            void* pStream);

std::u16string T(Reader& in) {
    std::u16string text;
    in.Text(&text);
    return text;
}

} // namespace

int InvokeHelper() {
    std::vector<std::uint8_t> request;
    std::uint8_t buffer[65536];
    for (;;) {
        ssize_t n = ::read(0, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (request.size() + static_cast<std::size_t>(n) > kcbMaxBody) return 1;
        request.insert(request.end(), buffer, buffer + n);
    }
    if (CheckItems("TTB", request.data(), request.size()) != Decode::kOk) return 1;
    Reader in(request);
    std::u16string library = ClassicName(T(in)), entryName = T(in);
    const std::uint8_t* pbInput = nullptr;
    std::uint32_t cbInput = 0;
    in.Bytes(&pbInput, &cbInput);

    Writer out;
    std::int32_t nResult = -1;
    DWORD dwError = ERROR_SUCCESS;
    BYTE* pbOutput = nullptr;
    DWORD cbOutput = 0;
    HMODULE hModule = LoadLibrary(library.c_str());
    if (hModule == nullptr) {
        dwError = GetLastError();
    } else {
        auto pEntry =
            reinterpret_cast<BLOCKENTRY>(GetProcAddress(hModule, ToUtf8(entryName).c_str()));
        if (pEntry == nullptr) {
            dwError = GetLastError();
        } else {
            // The entry owns the input block and frees it.
            auto* pbBlock = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, cbInput));
            if (pbBlock == nullptr) return 1;
            if (cbInput != 0) std::memcpy(pbBlock, pbInput, cbInput);
            SetLastError(ERROR_SUCCESS);
            nResult =
                static_cast<std::int32_t>(pEntry(cbInput, pbBlock, &cbOutput, &pbOutput, nullptr));
            dwError = GetLastError();
        }
    }
    out.U32(static_cast<std::uint32_t>(nResult))
        .U32(dwError)
        .Bytes(pbOutput, pbOutput ? cbOutput : 0);
    LocalFree(pbOutput);
    const std::vector<std::uint8_t>& data = out.Data();
    std::size_t i = 0;
    while (i < data.size()) {
        ssize_t n = ::write(1, data.data() + i, data.size() - i);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 1;
        i += static_cast<std::size_t>(n);
    }
    // The library stays loaded: the process ends here, and a library's own teardown is no
    // business of the device's.
    std::fflush(nullptr);
    ::_exit(0);
}

} // namespace device
