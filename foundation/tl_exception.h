// The exception of the template library.
//
// Thrown only for misuse of a container (and by a few readers of outside data); it carries
// one message text. what() gives the text in 8 bits so that any handler can print it.
#pragma once

#include "foundation/tchar.h"
#include "foundation/tl_string.h"

#include <exception>

namespace cetl {

// The texts of container misuse.
inline constexpr const CHAR* kszListEmpty = "the list is empty";
inline constexpr const CHAR* kszVectorItemMissing =
    "the item specified does not exist within the vector";
inline constexpr const CHAR* kszListItemMissing =
    "the item specified does not exist within the list";
inline constexpr const CHAR* kszIteratorInvalid = "the iterator does not reference a valid object";
inline constexpr const CHAR* kszIteratorAtEnd =
    "the iterator has already reached the end of the container";
inline constexpr const CHAR* kszIteratorAtBeginning =
    "the iterator has already reached the beginning of the container";
inline constexpr const CHAR* kszMapIndexMissing =
    "the index specified does not exist within the map";

class exception : public std::exception {
public:
    explicit exception(const CHAR* pszMessage);
    explicit exception(const WCHAR* pszMessage);
    explicit exception(const string& strMessage);

    const string& Message() const noexcept { return strMessage_; }
    const char* what() const noexcept override;

private:
    string strMessage_;
};

// Kept out of line so that every container's throw stays one call.
[[noreturn]] void ThrowException(const CHAR* pszMessage);

} // namespace cetl
