// Internals shared by Graphic's source files: the guard that turns a call on an invalid
// graphic into a traced failure, and the root of a const graphic.
#pragma once

#include "anim/cea_graphic.h"
#include "foundation/diag.h"

#include <cstdint>

namespace graphic_internal {

inline unsigned long Address(const void* pv) {
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pv));
}

// The root of a const graphic (the const walk of GetRoot).
inline const Graphic* RootOf(const Graphic* p) {
    return const_cast<Graphic*>(p)->GetRoot();
}

} // namespace graphic_internal

#define CHECK_VALID(name, result)                                                                  \
    do {                                                                                           \
        if (!m_fValid) {                                                                           \
            cetl::trace("Graphic::" name " called on invalid graphic (0x%08lX)",                   \
                        graphic_internal::Address(this));                                          \
            return result;                                                                         \
        }                                                                                          \
    } while (0)
