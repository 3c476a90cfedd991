// Message boxes.
//
// Callers ask for a box with a text, a caption and the classic MB_ type flags and get the
// identifier of the button pressed. Who answers is a responder: the default one (used on
// headless runs and until a drawn box is installed) writes the box to the debugger
// channel and presses the default button. Tests install their own responder; the dialog
// manager installs one that draws the box, without any change to callers.
#pragma once

#include "host/types.h"

#include <string_view>

namespace host {

// Buttons.
constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_RETRYCANCEL = 0x5;
constexpr UINT MB_TYPEMASK = 0xF;
// Icons.
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x40;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_ICONMASK = 0xF0;
// Default button.
constexpr UINT MB_DEFBUTTON1 = 0x000;
constexpr UINT MB_DEFBUTTON2 = 0x100;
constexpr UINT MB_DEFBUTTON3 = 0x200;
constexpr UINT MB_DEFMASK = 0xF00;
// Modality and placement.
constexpr UINT MB_APPLMODAL = 0x00000;
constexpr UINT MB_SYSTEMMODAL = 0x01000;
constexpr UINT MB_TASKMODAL = 0x02000;
constexpr UINT MB_SETFOREGROUND = 0x10000;
constexpr UINT MB_TOPMOST = 0x40000;

// Button identifiers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Answers message boxes. Called on the thread that asked; must be thread-safe when boxes
// can come from several threads at once.
class MessageBoxResponder {
public:
    virtual ~MessageBoxResponder() = default;
    virtual int Respond(HWND hwndOwner, std::string_view text, std::string_view caption,
                        UINT uType) = 0;
};

// Installs a responder (nullptr restores the default) and returns the previous one.
MessageBoxResponder* SetMessageBoxResponder(MessageBoxResponder* responder);
// Installs responder only while expected is the one installed (nullptr: the default one),
// in one step, so that a responder someone installed meanwhile stays; true when it did.
bool ReplaceMessageBoxResponder(MessageBoxResponder* expected, MessageBoxResponder* responder);

// The identifier of the button that the default responder presses for uType.
int DefaultButton(UINT uType);

// Shows a box and returns the button pressed. Text is UTF-8 or UTF-16.
int MessageBox(HWND hwndOwner, std::string_view text, std::string_view caption, UINT uType);
int MessageBox(HWND hwndOwner, std::u16string_view text, std::u16string_view caption, UINT uType);

} // namespace host
