#include "foundation/diag.h"

#include "foundation/memmgr.h"
#include "host/debug.h"
#include "host/thread.h"

#include <cstdlib>

namespace cetl {
namespace {

// What the showing thread of an asynchronous box needs; it frees the record itself.
struct MESSAGE_PARAMS {
    UINT uType;
    string strCaption;
    string strText;
};

int ShowNow(UINT uType, const string& strCaption, const string& strText) {
#if KELVANO_WIDE
    return host::MessageBox(nullptr, std::u16string_view(strText.Text16()),
                            std::u16string_view(strCaption.Text16()), uType);
#else
    return host::MessageBox(nullptr, std::string_view(strText.Text8()),
                            std::string_view(strCaption.Text8()), uType);
#endif
}

} // namespace

void TraceText(const string& text) {
    if (text.Find(TCHAR('\n')) >= 0) {
        host::OutputDebugString(text.Text8());
    } else {
        string line(text);
        line += TCHAR('\n');
        host::OutputDebugString(line.Text8());
    }
}

void WarnText(const string& text) {
    if (MessageBox(host::MB_OKCANCEL | host::MB_ICONINFORMATION, "OK=Continue X=Quit", text) ==
        host::IDCANCEL)
        std::_Exit(0);
}

int MessageBox(UINT uType, const string& strCaption, const string& strText) {
    if ((uType & host::MB_ICONMASK) == 0)
        uType |= (uType & host::MB_TYPEMASK) != host::MB_OK ? host::MB_ICONQUESTION
                                                            : host::MB_ICONINFORMATION;
    if ((uType & MB_ASYNC) == 0) return ShowNow(uType, strCaption, strText);

    MESSAGE_PARAMS* pParams = MemNew(MESSAGE_PARAMS, uType & ~MB_ASYNC, strCaption, strText);
    if (pParams == nullptr) return 0;
    host::StartDetachedThread([pParams] {
        ShowNow(pParams->uType, pParams->strCaption, pParams->strText);
        MemDelete(pParams);
    });
    return 0;
}

} // namespace cetl
