// Basic platform types shared by every layer: fixed-width integers with the classic names,
// the two character widths and opaque handles.
#pragma once

#include <cstddef>
#include <cstdint>

namespace host {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using INT = std::int32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using BOOL = int;
using CHAR = char;      // 8-bit text, UTF-8 serves as the code page
using WCHAR = char16_t; // 16-bit text, UTF-16

// Opaque window handle; windows themselves come with the window service.
struct HWND__;
using HWND = HWND__*;

} // namespace host
