// Blocks that pass between a program and a library it loaded (or the device service): the
// one who receives a block frees it, whoever allocated it. A library may carry its own memory
// manager, so these are plain process-heap blocks, never tagged or counted.
#pragma once

#include "host/types.h"

#include <cstddef>

namespace host {

constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;

// Null (ERROR_NOT_ENOUGH_MEMORY) when the block cannot be had; a block of 0 bytes is a
// valid block.
void* LocalAlloc(UINT uFlags, std::size_t cb);
// Returns null; freeing null does nothing.
void* LocalFree(void* pv);

} // namespace host
