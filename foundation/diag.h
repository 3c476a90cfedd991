// Diagnostic channels used throughout both programs.
//
//     cetl::trace("setuplib: installfile failed to find %s\n", pszName);
//     cetl::warn("%{ld}%1 pieces left", cPieces);
//
// trace sends a formatted line to the debugger output; warn shows it in a box that lets
// the user quit; MessageBox shows a box with the system's icon rules, optionally from a
// thread of its own so that the caller does not wait.
#pragma once

#include "foundation/tl_string.h"
#include "host/msgbox.h"

namespace cetl {

// Shows the box from a new thread; MessageBox then returns 0 at once.
constexpr UINT MB_ASYNC = 0x80000000;

// Sends the text to the debugger output, with a line break appended when it has none.
void TraceText(const string& text);

// Shows the text in a box captioned "OK=Continue X=Quit"; Cancel ends the process at once
// with exit code 0.
void WarnText(const string& text);

// Adds the question icon to boxes with more than an OK button and the information icon to
// the others, unless uType names an icon. Returns the button pressed, or 0 with MB_ASYNC.
int MessageBox(UINT uType, const string& strCaption, const string& strText);

template <class Format, class... Args> void trace(const Format& format, const Args&... args) {
    TraceText(sformat(format, args...));
}

template <class Format, class... Args> void warn(const Format& format, const Args&... args) {
    WarnText(sformat(format, args...));
}

} // namespace cetl
