#include "host/msgbox.h"

#include "host/codepage.h"
#include "host/debug.h"

#include <atomic>
#include <string>

namespace host {
namespace {

const char* ButtonNames(UINT uType) {
    switch (uType & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return "[OK] [Cancel]";
    case MB_ABORTRETRYIGNORE:
        return "[Abort] [Retry] [Ignore]";
    case MB_YESNOCANCEL:
        return "[Yes] [No] [Cancel]";
    case MB_YESNO:
        return "[Yes] [No]";
    case MB_RETRYCANCEL:
        return "[Retry] [Cancel]";
    default:
        return "[OK]";
    }
}

// Headless answer: the box goes to the debugger channel and its default button is pressed.
class DebugOutputResponder : public MessageBoxResponder {
public:
    int Respond(HWND, std::string_view text, std::string_view caption, UINT uType) override {
        std::string box = "message box: ";
        box.append(caption);
        box.append("\n");
        box.append(text);
        box.append("\n");
        box.append(ButtonNames(uType));
        box.append("\n");
        OutputDebugString(box);
        return DefaultButton(uType);
    }
};

DebugOutputResponder g_defaultResponder;
std::atomic<MessageBoxResponder*> g_responder{&g_defaultResponder};

} // namespace

MessageBoxResponder* SetMessageBoxResponder(MessageBoxResponder* responder) {
    if (responder == nullptr) responder = &g_defaultResponder;
    MessageBoxResponder* previous = g_responder.exchange(responder);
    return previous == &g_defaultResponder ? nullptr : previous;
}

bool ReplaceMessageBoxResponder(MessageBoxResponder* expected, MessageBoxResponder* responder) {
    if (expected == nullptr) expected = &g_defaultResponder;
    if (responder == nullptr) responder = &g_defaultResponder;
    return g_responder.compare_exchange_strong(expected, responder);
}

int DefaultButton(UINT uType) {
    static const int buttons[][3] = {
        {IDOK, IDOK, IDOK},      {IDOK, IDCANCEL, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
        {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, IDNO},        {IDRETRY, IDCANCEL, IDCANCEL},
    };
    UINT kind = uType & MB_TYPEMASK;
    if (kind > MB_RETRYCANCEL) kind = MB_OK;
    UINT index = (uType & MB_DEFMASK) >> 8;
    return buttons[kind][index > 2 ? 0 : index];
}

int MessageBox(HWND hwndOwner, std::string_view text, std::string_view caption, UINT uType) {
    return g_responder.load()->Respond(hwndOwner, text, caption, uType);
}

int MessageBox(HWND hwndOwner, std::u16string_view text, std::u16string_view caption, UINT uType) {
    return MessageBox(hwndOwner, ToUtf8(text), ToUtf8(caption), uType);
}

} // namespace host
