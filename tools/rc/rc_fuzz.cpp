// Feeds arbitrary scripts to the resource compiler; included files come from the same input.
#include "tools/rc/rc.h"

#include "host/resource.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    rc::Options options;
    options.maxMacroTokens = 20'000;
    // Every include and resource file reads as the first 64 bytes of the script, so that
    // files are found without touching the disk.
    options.readFile = [&](const std::string&, std::string* contents) {
        *contents = text.substr(0, 64);
        return true;
    };
    rc::Result result;
    if (rc::CompileText("fuzz.rc", text, options, &result)) {
        // Whatever compiles must read back as a valid table.
        if (!host::ValidateResourceTable(result.table.data(), result.table.size()))
            __builtin_trap();
    } else if (result.error.empty()) {
        __builtin_trap();
    }
    return 0;
}
