// Feeds arbitrary bytes to the resource table reader and the dialog template parser. A table
// that passes validation is registered and searched the way programs search it.
#include "host/resource.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace host;
    // Tables must be 4-aligned; fuzzer inputs are, but copy to be sure.
    std::vector<std::uint32_t> words((size + 3) / 4);
    if (size) std::memcpy(words.data(), data, size);

    DialogTemplate d;
    ParseDialogTemplate(words.data(), size, &d);

    if (!ValidateResourceTable(words.data(), size)) return 0;
    HMODULE h = reinterpret_cast<HMODULE>(std::uintptr_t{0x30000});
    if (!RegisterResourceTable(h, words.data(), size)) __builtin_trap();
    for (WORD id = 0; id < 48; ++id) {
        char a[16];
        WCHAR w[16];
        LoadStringEx(h, id, LANG_ID_ESPERANTO, a, sizeof a);
        LoadStringEx(h, id, LANG_ID_ENGLISH, w, 16);
    }
    for (WORD id = 1; id < 8; ++id) {
        std::vector<IconImage> images;
        LoadIconImages(h, id, LANG_ID_ENGLISH, &images);
        LoadDialogTemplate(h, id, LANG_ID_ENGLISH, &d);
        for (ResName type : {ResName(id), ResName("GRAPHIC"), ResName("A")}) {
            HRSRC r = FindResourceWithFallback(h, type, id, LANG_ID_ENGLISH);
            if (r) {
                auto p =
                    static_cast<const volatile std::uint8_t*>(LockResource(LoadResource(h, r)));
                DWORD cb = SizeofResource(h, r);
                if (cb) (void)(p[0] + p[cb - 1]);
            }
        }
    }
    UnregisterResourceTable(h);
    return 0;
}
