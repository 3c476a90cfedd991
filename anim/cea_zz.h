// zz blocks: whole memory blocks packed with LZO1X-1.
//
// A block is the uncompressed length (32-bit little-endian) followed by one LZO1X-1 stream
// of the whole data; nothing else is stored. The game unpacks its compressed resources with
// it, and the installer packs files for the handheld, whose decompressor reads the same
// format. It is a library of its own (zzlib_a, zzlib_w) that neither draws nor plays sound,
// so that the installer and the device's decompressor carry it without the animation layer.
//
// Every call from every thread is serialised, because the compressor's work memory is
// shared. A failure leaves nothing allocated and, when the library gave an error code,
// hands that code to the calling thread's last-error value (host/error.h).
#pragma once

#include "host/types.h"

namespace zz {

using host::BYTE;
using host::DWORD;

// Packs cbData bytes into a new block that the caller frees with FreeBlock. 1 on success.
int Compress(BYTE** ppbOut, DWORD* pcbOut, const BYTE* pbData, DWORD cbData);

// Unpacks a block into new data that the caller frees with FreeBlock. 1 on success. A block
// of 4 bytes or fewer, a stream the library rejects and a stream that would produce more
// than the stored length all fail.
int Decompress(BYTE** ppbData, DWORD* pcbData, const BYTE* pbBlock, DWORD cbBlock);

// Frees a block or data from the two calls above; null is ignored.
void FreeBlock(void* pv);

} // namespace zz
