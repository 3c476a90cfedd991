#include "host/debug.h"

#include "host/codepage.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>

namespace host {
namespace {

std::mutex& ChannelLock() {
    static std::mutex lock;
    return lock;
}

std::vector<DebugCapture*>& Captures() {
    static std::vector<DebugCapture*> captures;
    return captures;
}

bool ToStandardError() {
    static const bool enabled = [] {
        const char* value = std::getenv("KELVANO_DEBUG");
        return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
    }();
    return enabled;
}

} // namespace

void OutputDebugString(std::string_view text) {
    std::lock_guard guard(ChannelLock());
    for (DebugCapture* capture : Captures())
        capture->Append(text);
    if (ToStandardError()) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }
}

void OutputDebugString(std::u16string_view text) {
    OutputDebugString(ToUtf8(text));
}

bool IsDebuggerPresent() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0)
            return std::strtol(line.c_str() + 10, nullptr, 10) != 0;
    }
    return false;
}

void DebugBreakIfAttached() {
    if (IsDebuggerPresent()) std::raise(SIGTRAP);
}

DebugCapture::DebugCapture() {
    std::lock_guard guard(ChannelLock());
    Captures().push_back(this);
}

DebugCapture::~DebugCapture() {
    std::lock_guard guard(ChannelLock());
    auto& captures = Captures();
    captures.erase(std::remove(captures.begin(), captures.end(), this), captures.end());
}

std::string DebugCapture::Text() const {
    std::lock_guard guard(ChannelLock());
    return text_;
}

void DebugCapture::Clear() {
    std::lock_guard guard(ChannelLock());
    text_.clear();
}

void DebugCapture::Append(std::string_view text) {
    text_.append(text);
}

} // namespace host
