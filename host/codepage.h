// Conversion between the 8-bit code page (UTF-8) and 16-bit text (UTF-16).
//
// Both converters work like the classic code-page calls: given no destination they return
// the number of units the result needs; given one, they write at most cchDest units and
// return the number written, or 0 when the destination is too small. No terminator is
// counted or written. Malformed input never fails: each bad sequence becomes U+FFFD.
#pragma once

#include "host/types.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace host {

std::size_t Utf8ToUtf16(const char* src, std::size_t cbSrc, WCHAR* dest, std::size_t cchDest);
std::size_t Utf16ToUtf8(const WCHAR* src, std::size_t cchSrc, char* dest, std::size_t cbDest);

std::u16string ToUtf16(std::string_view text);
std::string ToUtf8(std::u16string_view text);

// The one case folding of the host, for every name that compares without regard to case
// (registry keys and values, window classes, titles, properties): ASCII, Latin-1, Latin
// Extended-A with the Esperanto letters, Greek and Cyrillic, all folded to capitals.
char16_t FoldCaseChar(char16_t c);
std::u16string FoldCase(std::u16string_view text);

} // namespace host
