// Walks arbitrary archives, unpacking every entry at open; entries left packed by a failure
// are then unpacked one by one, copied and released.
#include "setup/zip/zipfile.h"

#include "foundation/tl_exception.h"

#include <cstdint>
#include <cstdlib>

namespace {

volatile std::uint8_t g_bSink;

void Touch(const zip::ZipEntry* pEntry) {
    if (pEntry->IsUnpacked() && pEntry->Size() > 0)
        g_bSink = pEntry->Data()[0] ^ pEntry->Data()[pEntry->Size() - 1];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    // Inflating is the costly part (fresh tables for every entry), so one pass does it: the
    // last byte chooses between unpacking at open and unpacking on demand.
    bool fDefer = cb > 0 && (pb[cb - 1] & 1) != 0;
    zip::ZipFile zip;
    try {
        zip.OpenMemory(pb, cb, fDefer);
    } catch (const cetl::exception&) {
    }
    for (const auto& item : zip.Entries()) {
        zip::ZipEntry* pEntry = item.second;
        if (zip.Find(pEntry->Name().Text()) != pEntry) std::abort();
        try {
            zip.Unpack(pEntry);
        } catch (const cetl::exception&) {
            continue;
        }
        Touch(pEntry);
        zip::ZipEntry copy(*pEntry);
        pEntry->Release();
        Touch(&copy);
    }
    return 0;
}
