#include "foundation/tl_exception.h"

namespace cetl {

exception::exception(const CHAR* pszMessage) : strMessage_(pszMessage) {}
exception::exception(const WCHAR* pszMessage) : strMessage_(pszMessage) {}
exception::exception(const string& strMessage) : strMessage_(strMessage) {}

const char* exception::what() const noexcept {
    return strMessage_.Text8();
}

void ThrowException(const CHAR* pszMessage) {
    throw exception(pszMessage);
}

} // namespace cetl
