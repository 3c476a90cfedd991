// A device-side library for the invoke tests: block-mode entries that answer, fail and crash.
#include "host/heap.h"
#include "host/types.h"

#include <csignal>
#include <cstring>

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
