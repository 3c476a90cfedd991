#include "gameui/resdata.h"

#include "anim/cea_zz.h"
#include "foundation/tl_language.h"

namespace {

const char kszCompressed[] = "COMPRESSED";

void Clear(RESOURCEDATA* pData) {
    pData->pbData = nullptr;
    pData->cbData = 0;
    pData->pbUnpacked = nullptr;
}

} // namespace

bool LoadPackedResource(host::HMODULE hModule, const host::ResName& type, host::UINT nId,
                        RESOURCEDATA* pData) {
    if (pData == nullptr) return false;
    Clear(pData);
    host::DWORD cbBlock = 0;
    const void* pvBlock = cetl::LoadLocalResource(hModule, type, host::ResName(nId), &cbBlock);
    if (pvBlock == nullptr) return false;
    host::BYTE* pb = nullptr;
    host::DWORD cb = 0;
    if (!zz::Decompress(&pb, &cb, static_cast<const host::BYTE*>(pvBlock), cbBlock)) return false;
    pData->pbData = pb;
    pData->cbData = cb;
    pData->pbUnpacked = pb;
    return true;
}

bool LoadGameResource(host::HMODULE hModule, host::UINT nId, const host::ResName& plainType,
                      RESOURCEDATA* pData) {
    if (pData == nullptr) return false;
    Clear(pData);
    const host::ResName packed(kszCompressed);
    if (cetl::FindLocalResource(hModule, packed, host::ResName(nId)) != nullptr)
        return LoadPackedResource(hModule, packed, nId, pData);
    host::DWORD cb = 0;
    const void* pv = cetl::LoadLocalResource(hModule, plainType, host::ResName(nId), &cb);
    if (pv == nullptr) return false;
    pData->pbData = static_cast<const host::BYTE*>(pv);
    pData->cbData = cb;
    return true;
}

void FreeResourceData(RESOURCEDATA* pData) {
    if (pData == nullptr) return;
    zz::FreeBlock(pData->pbUnpacked);
    Clear(pData);
}
