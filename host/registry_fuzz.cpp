// Arbitrary bytes as a registry text: the parser must refuse them with a message, or read
// trees that write out and read back identically.
#include "host/registry_file.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace host::regfile;
    RegParseResult parsed = ParseText(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!parsed.fOk) {
        if (parsed.message.rfind("line ", 0) != 0) std::abort();
        return 0;
    }
    RegKeyNode hives[kRootCount];
    for (const RegSection& section : parsed.sections)
        ApplySection(hives[section.iRoot], section);
    for (int iRoot = 0; iRoot < kRootCount; ++iRoot) {
        std::string written = WriteHive(iRoot, hives[iRoot]);
        RegKeyNode back;
        std::string message;
        if (!LoadHive(written, iRoot, back, message) || !back.Equals(hives[iRoot]) ||
            WriteHive(iRoot, back) != written)
            std::abort();
    }
    return 0;
}
