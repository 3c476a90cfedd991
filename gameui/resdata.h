// The bytes of the game's pictures and sounds, packed or plain.
//
// A picture or sound may ship zz-packed as a "COMPRESSED" resource of the same number; the
// loaders try that first and fall back to the plain type ("GRAPHIC", "WAVE"). The logo's
// resources are always packed, under a numeric type of their own. Lookups follow the
// current language with the usual fallbacks.
#pragma once

#include "host/resource.h"
#include "host/types.h"

struct RESOURCEDATA {
    const host::BYTE* pbData; // the plain bytes: in the module, or unpacked
    host::DWORD cbData;
    host::BYTE* pbUnpacked; // owned (zz::FreeBlock), null for bytes of the module
};

// The resource (type, id) unpacked. False when it is missing or does not unpack.
bool LoadPackedResource(host::HMODULE hModule, const host::ResName& type, host::UINT nId,
                        RESOURCEDATA* pData);
// "COMPRESSED" id unpacked when there is one, else the plain entry (plainType, id). A packed
// entry that does not unpack fails rather than falling back: it is a damaged build.
bool LoadGameResource(host::HMODULE hModule, host::UINT nId, const host::ResName& plainType,
                      RESOURCEDATA* pData);
// Releases what a successful load handed out and clears the record.
void FreeResourceData(RESOURCEDATA* pData);
