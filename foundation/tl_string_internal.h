// Internals shared by the string and the formatter.
#pragma once

#include "foundation/tl_string.h"

namespace cetl::string_internal {

// Keeps every size computation of a string well inside int.
inline constexpr int kMaxLength = 0x3FFFFF00;

inline unsigned Unit(TCHAR ch) {
#if KELVANO_WIDE
    return static_cast<unsigned>(ch);
#else
    return static_cast<unsigned char>(ch);
#endif
}

} // namespace cetl::string_internal
