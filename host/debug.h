// The debugger output channel.
//
// Text sent here is what a developer would see in a debugger's output window. It is silent
// unless KELVANO_DEBUG is set in the environment (any value but "0"), in which case every
// line also goes to standard error. Tests capture the channel with DebugCapture.
#pragma once

#include "host/types.h"

#include <string>
#include <string_view>

namespace host {

// Sends UTF-8 (or UTF-16) text to the debugger channel. Thread-safe.
void OutputDebugString(std::string_view text);
void OutputDebugString(std::u16string_view text);

// True when a debugger (a tracer) is attached to this process.
bool IsDebuggerPresent();

// Stops in the debugger when one is attached; otherwise does nothing.
void DebugBreakIfAttached();

// While alive, collects everything sent to the channel (from any thread). Captures nest:
// each one sees the text sent during its own lifetime.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::string Text() const;
    void Clear();

private:
    friend void OutputDebugString(std::string_view);
    void Append(std::string_view text);
    std::string text_;
};

} // namespace host
