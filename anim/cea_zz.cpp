#include "anim/cea_zz.h"

#include "foundation/memmgr.h"
#include "host/error.h"
#include "host/thread.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zz {
namespace {

constexpr DWORD kcbHeader = 4;

struct State {
    host::CriticalSection lock;
    bool fInitialised = false;
    void* pvWork = nullptr;
};

State& GetState() {
    static State state;
    return state;
}

// The library's version-and-sizes check once, then the work memory, which lives as long as
// the process. A failed check is tried again on the next call.
bool Startup(State& state) {
    if (state.fInitialised) return true;
    if (lzo_init() != LZO_E_OK) return false;
    state.pvWork = MemAlloc(LZO1X_1_MEM_COMPRESS + 1024);
    if (state.pvWork == nullptr) return false;
    MemTare(state.pvWork);
    state.fInitialised = true;
    return true;
}

// The size of the buffer handed to the library for n bytes.
constexpr std::uint64_t Capacity(std::uint64_t n) {
    return n + n / 64 + 19 + 1024;
}

// LZO1X-1 can expand incompressible data by up to a sixteenth, more than the slack above
// allows for big inputs, and its compressor does not check its output.
constexpr std::uint64_t CompressCapacity(std::uint64_t cbData) {
    return std::max(Capacity(cbData + kcbHeader), kcbHeader + cbData + cbData / 16 + 64 + 3);
}

// No LZO1X instruction produces more than 255 bytes per byte it occupies, so a stored
// length beyond this cannot be reached and need not be allocated.
constexpr std::uint64_t MostProducible(std::uint64_t cbStream) {
    return cbStream * 256 + 256;
}

} // namespace

int Compress(BYTE** ppbOut, DWORD* pcbOut, const BYTE* pbData, DWORD cbData) {
    if (ppbOut == nullptr || pcbOut == nullptr || (pbData == nullptr && cbData != 0)) return 0;
    *ppbOut = nullptr;
    State& state = GetState();
    host::CriticalSectionLock lock(state.lock);
    if (!Startup(state)) return 0;

    std::uint64_t cbCapacity = CompressCapacity(cbData);
    if (cbCapacity > UINT32_MAX) return 0;
    *pcbOut = static_cast<DWORD>(cbCapacity);
    BYTE* pbBlock = static_cast<BYTE*>(MemAlloc(*pcbOut));
    if (pbBlock == nullptr) {
        *pcbOut = 0;
        return 0;
    }
    for (DWORD i = 0; i < kcbHeader; ++i)
        pbBlock[i] = static_cast<BYTE>(cbData >> (8 * i));

    static const BYTE bEmpty = 0;
    lzo_uint cbStream = *pcbOut - kcbHeader;
    int nResult = lzo1x_1_compress(pbData != nullptr ? pbData : &bEmpty, cbData,
                                   pbBlock + kcbHeader, &cbStream, state.pvWork);
    if (nResult != LZO_E_OK) {
        host::SetLastError(static_cast<DWORD>(nResult));
        MemFree(pbBlock);
        *pcbOut = 0;
        return 0;
    }
    *pcbOut = static_cast<DWORD>(cbStream + kcbHeader);
    *ppbOut = pbBlock;
    return 1;
}

int Decompress(BYTE** ppbData, DWORD* pcbData, const BYTE* pbBlock, DWORD cbBlock) {
    if (ppbData == nullptr || pcbData == nullptr) return 0;
    *ppbData = nullptr;
    if (pbBlock == nullptr || cbBlock <= kcbHeader) return 0;
    State& state = GetState();
    host::CriticalSectionLock lock(state.lock);
    if (!Startup(state)) return 0;

    DWORD cbStored = 0;
    for (DWORD i = 0; i < kcbHeader; ++i)
        cbStored |= static_cast<DWORD>(pbBlock[i]) << (8 * i);
    // The library may produce no more than the stored length; a lying header fails here
    // instead of growing the data.
    std::uint64_t cbLimit = std::min<std::uint64_t>(cbStored, MostProducible(cbBlock - kcbHeader));
    std::uint64_t cbCapacity = Capacity(cbLimit);
    if (cbCapacity > UINT32_MAX) return 0;
    *pcbData = static_cast<DWORD>(cbCapacity);
    BYTE* pbData = static_cast<BYTE*>(MemAlloc(*pcbData));
    if (pbData == nullptr) {
        *pcbData = 0;
        return 0;
    }

    lzo_uint cbProduced = static_cast<lzo_uint>(cbLimit);
    int nResult = lzo1x_decompress_safe(pbBlock + kcbHeader, cbBlock - kcbHeader, pbData,
                                        &cbProduced, nullptr);
    if (nResult != LZO_E_OK) {
        host::SetLastError(static_cast<DWORD>(nResult));
        MemFree(pbData);
        *pcbData = 0;
        return 0;
    }
    *pcbData = static_cast<DWORD>(cbProduced);
    *ppbData = pbData;
    return 1;
}

void FreeBlock(void* pv) {
    if (pv != nullptr) MemFree(pv);
}

} // namespace zz
