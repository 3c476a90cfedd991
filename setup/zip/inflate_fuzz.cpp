// Inflates arbitrary data and compares with zlib: whatever both accept must come out the
// same, and whatever zlib refuses for a reason the inflater shares must fail here too.
//
// Input: two bytes of output capacity (little-endian), then the deflate data.
#include "setup/zip/inflate.h"

#include "foundation/tl_exception.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

zip::Inflater g_inflater; // one for all runs, as an archive keeps one: tables outlive failures

// zlib is stricter about code sets than the inflater; these are its only refusals that the
// inflater may accept.
bool ZlibOnlyRefusal(const char* pszMessage) {
    static const char* const rgsz[] = {"invalid code lengths set",
                                       "too many length or distance symbols",
                                       "invalid literal/lengths set", "invalid distances set"};
    for (const char* psz : rgsz)
        if (pszMessage != nullptr && std::strcmp(pszMessage, psz) == 0) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    if (cb < 2) return 0;
    std::size_t cbOut = pb[0] | pb[1] << 8;
    const std::uint8_t* pbIn = pb + 2;
    std::size_t cbIn = cb - 2;

    std::vector<std::uint8_t> ours(cbOut + 1);
    std::size_t cbOurs = 0;
    std::string strError;
    try {
        cbOurs = g_inflater.Inflate(pbIn, cbIn, ours.data(), cbOut);
    } catch (const cetl::exception& e) {
        strError = e.what();
    }
    if (strError.empty() && cbOurs > cbOut) std::abort();

    std::vector<std::uint8_t> theirs(cbOut + 1);
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return 0;
    z.next_in = const_cast<Bytef*>(pbIn);
    z.avail_in = static_cast<uInt>(cbIn);
    z.next_out = theirs.data();
    z.avail_out = static_cast<uInt>(cbOut);
    int nResult = inflate(&z, Z_FINISH);
    bool fTheirsOk = nResult == Z_STREAM_END;
    const char* pszTheirs = nResult == Z_DATA_ERROR ? z.msg : nullptr;
    std::size_t cbTheirs = z.total_out;
    inflateEnd(&z);

    if (strError.empty() && fTheirsOk &&
        (cbOurs != cbTheirs || std::memcmp(ours.data(), theirs.data(), cbOurs) != 0))
        std::abort();
    if (strError.empty() && !fTheirsOk && !ZlibOnlyRefusal(pszTheirs)) std::abort();
    // zlib accepts a dynamic block without distance codes, which the inflater refuses.
    if (!strError.empty() && fTheirsOk && strError != zip::kszInflateFailed) std::abort();
    return 0;
}
