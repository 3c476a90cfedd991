// Text identifiers: every user-visible text is a number in the string table, and the text
// shown is the one of the current language.
//
// The language selection installs the lookup that turns a number into text; until it has,
// every lookup fails. A missing text shows as an empty one.
#pragma once

#include "host/types.h"

namespace cetl {

using host::UINT;

class string;

// A text identifier; a type of its own so that a plain number never turns into text.
struct TextId {
    UINT id;
};

// Fills out with the text of id in the current language; false when there is none.
using TextLookup = bool (*)(UINT id, string& out);

// Installs the lookup (null removes it). Safe to call from any thread.
void SetTextLookup(TextLookup pfnLookup);

// The text of id through the installed lookup; false (out untouched) when no lookup is
// installed or it has no text for id.
bool LookupText(UINT id, string& out);

} // namespace cetl
