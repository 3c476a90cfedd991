// Arbitrary bytes as the runner's command line. Only the parsing runs (never a library): a
// line it accepts must give a path without '"', an entry of letters, digits, '_' and '@', a
// rest that starts with no blank, and the same parts again when written back quoted.
#include "host/shell.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool IsEntryChar(char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
           ch == '_' || ch == '@';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    const std::string_view line(reinterpret_cast<const char*>(pb), cb);
    host::RunDllCommandParts parts;
    if (!host::ParseRunDllCommand(line, &parts)) return 0;
    if (parts.path.empty() || parts.path.find('"') != std::string::npos) std::abort();
    if (parts.entry.empty()) std::abort();
    for (char ch : parts.entry)
        if (!IsEntryChar(ch)) std::abort();
    if (!parts.rest.empty() && (parts.rest[0] == ' ' || parts.rest[0] == '\t')) std::abort();
    const std::string again = "rundll32 \"" + parts.path + "\"," + parts.entry +
                              (parts.rest.empty() ? "" : " " + parts.rest);
    host::RunDllCommandParts back;
    if (!host::ParseRunDllCommand(again, &back) || back.path != parts.path ||
        back.entry != parts.entry || back.rest != parts.rest)
        std::abort();
    return 0;
}
