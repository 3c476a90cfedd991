// The decompressor's data path, apart from the files it reads and writes: what it makes of
// the invoke's input block and of a zz file's bytes. The library's entries and its fuzzer
// share it.
#pragma once

#include "host/types.h"

#include <string>
#include <vector>

namespace lzrapi {

using host::BYTE;
using host::DWORD;

// Neither side of a transfer may make the device hold more than this: a damaged or hostile
// block must not allocate gigabytes.
constexpr DWORD kcbMost = 64u << 20;

// The leading texts of an input block (16-bit, little-endian), each ended by its zero; an
// unended tail is dropped.
std::vector<std::u16string> InputTexts(const BYTE* pb, DWORD cb);

// Unpacks a zz file's bytes. 0 and the data, which the caller frees with zz::FreeBlock; else
// an error code and no data. A block whose stream does not give exactly its stored length,
// or that claims more than kcbMost, is invalid data.
long UnpackBlock(const BYTE* pbBlock, DWORD cbBlock, BYTE** ppbData, DWORD* pcbData);

} // namespace lzrapi
