// Feeds arbitrary text to the engine tool as its move list: every run must end with a
// position or with the one message about bad input, and nothing else.
#include "game/engine/engine.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbData, std::size_t cbData) {
    const std::string list(reinterpret_cast<const char*>(pbData), cbData);
    std::ostringstream out;
    std::ostringstream err;
    const int nStatus = RunEngine({"--moves", list, "show"}, out, err);
    if (nStatus == ENGINE_OK ? !err.str().empty() : nStatus != ENGINE_BAD_INPUT) std::abort();
    if (nStatus == ENGINE_BAD_INPUT &&
        (!out.str().empty() || err.str().find("move") == std::string::npos))
        std::abort();
    return 0;
}
