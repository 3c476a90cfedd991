// The decompressor's data path on arbitrary bytes: as a zz file's contents, and as the
// invoke's input block of texts.
#include "anim/cea_zz.h"
#include "device/lzrapi/unpack.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    using lzrapi::DWORD;
    if (cb > lzrapi::kcbMost) return 0;
    const auto cbBlock = static_cast<DWORD>(cb);

    lzrapi::BYTE* pbData = nullptr;
    DWORD cbData = 0;
    const long nResult = lzrapi::UnpackBlock(pb, cbBlock, &pbData, &cbData);
    if (nResult == 0) {
        // Success means exactly the stored length, all of it writable.
        const DWORD cbStored = pb[0] | pb[1] << 8 | pb[2] << 16 | DWORD(pb[3]) << 24;
        if (cbData != cbStored || cbData > lzrapi::kcbMost) __builtin_trap();
        if (cbData > 0) std::memset(pbData, 0xA5, cbData);
        zz::FreeBlock(pbData);
    } else if (pbData != nullptr || cbData != 0) {
        __builtin_trap();
    }

    // The texts never hold a zero and never take more than the block's characters.
    std::size_t cch = 0;
    for (const std::u16string& text : lzrapi::InputTexts(pb, cbBlock)) {
        if (text.find(u'\0') != std::u16string::npos) __builtin_trap();
        cch += text.size() + 1;
    }
    if (cch > cb / 2) __builtin_trap();
    return 0;
}
