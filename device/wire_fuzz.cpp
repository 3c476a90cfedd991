// The service's request decoder on arbitrary bytes: a header, then a body.
#include "device/wire.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    if (cb < sizeof(device::RequestHeader)) return 0;
    device::RequestHeader header = device::LoadRequestHeader(pb);
    const std::uint8_t* pbBody = pb + sizeof(header);
    const std::size_t cbBody = cb - sizeof(header);
    device::Decode d = device::CheckRequest(header, pbBody, cbBody);
    if (d != device::Decode::kOk) return 0;
    // A request that decodes reads back item by item as its call's list says.
    device::Reader reader(pbBody, cbBody);
    for (const char* p = device::RequestItems(header.nCall); *p; ++p) {
        bool fOk = false;
        if (*p == 'U') {
            std::uint32_t n;
            fOk = reader.U32(&n);
        } else if (*p == 'Q') {
            std::uint64_t n;
            fOk = reader.U64(&n);
        } else if (*p == 'B') {
            const std::uint8_t* pbItem;
            std::uint32_t cbItem;
            fOk = reader.Bytes(&pbItem, &cbItem);
        } else {
            std::u16string text;
            fOk = reader.Text(&text);
        }
        if (!fOk) __builtin_trap();
    }
    if (!reader.AtEnd()) __builtin_trap();
    return 0;
}
