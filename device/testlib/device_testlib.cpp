// A device-side library for the invoke and tool tests: block-mode entries that answer, fail
// and crash, and a removal entry.
#include "host/file.h"
#include "host/heap.h"
#include "host/registry.h"
#include "host/types.h"

#include <csignal>
#include <cstring>
#include <string>

#define TESTLIB_EXPORT extern "C" __attribute__((visibility("default")))

using host::BYTE;
using host::DWORD;

// Answers "ok:" followed by the input's bytes, and frees the input as every entry must.
TESTLIB_EXPORT long Echo(DWORD cbInput, BYTE* pbInput, DWORD* pcbOutput, BYTE** ppbOutput, void*) {
    static const char kPrefix[] = "ok:";
    const DWORD cbOut = static_cast<DWORD>(sizeof(kPrefix) - 1) + cbInput;
    auto* pbOut = static_cast<BYTE*>(host::LocalAlloc(host::LMEM_FIXED, cbOut));
    std::memcpy(pbOut, kPrefix, sizeof(kPrefix) - 1);
    if (cbInput != 0) std::memcpy(pbOut + sizeof(kPrefix) - 1, pbInput, cbInput);
    host::LocalFree(pbInput);
    *pcbOutput = cbOut;
    *ppbOutput = pbOut;
    return 0;
}

// Declines with a result of its own and no output.
TESTLIB_EXPORT long Decline(DWORD, BYTE* pbInput, DWORD* pcbOutput, BYTE** ppbOutput, void*) {
    host::LocalFree(pbInput);
    *pcbOutput = 0;
    *ppbOutput = nullptr;
    return 31;
}

// A faulty library.
TESTLIB_EXPORT long Crash(DWORD, BYTE*, DWORD*, BYTE**, void*) {
    std::raise(SIGSEGV);
    return 0;
}

// A removal entry as the tool's "uninstall" runs it: records its command line in "\removed.txt"
// and deletes the product's key, both of which must land on the device.
TESTLIB_EXPORT void Uninstall(void*, void*, const char* pszCmdLine, int) {
    host::HANDLE h = host::CreateFile("\\removed.txt", host::GENERIC_WRITE, 0, host::CREATE_ALWAYS);
    if (h == host::INVALID_HANDLE_VALUE) return;
    host::DWORD cb = 0;
    host::WriteFile(h, pszCmdLine, static_cast<host::DWORD>(std::strlen(pszCmdLine)), &cb);
    host::CloseHandle(h);
    host::RegDeleteKeyA(host::HKEY_LOCAL_MACHINE,
                        (std::string("Software\\Apps\\") + pszCmdLine).c_str());
}
