#include "device/lzrapi/unpack.h"

#include "anim/cea_zz.h"
#include "host/error.h"

namespace lzrapi {

std::vector<std::u16string> InputTexts(const BYTE* pb, DWORD cb) {
    std::vector<std::u16string> texts;
    std::u16string current;
    for (DWORD i = 0; pb != nullptr && i + 1 < cb; i += 2) {
        const auto ch = static_cast<char16_t>(pb[i] | pb[i + 1] << 8);
        if (ch != u'\0') {
            current.push_back(ch);
            continue;
        }
        texts.push_back(std::move(current));
        current.clear();
    }
    return texts;
}

long UnpackBlock(const BYTE* pbBlock, DWORD cbBlock, BYTE** ppbData, DWORD* pcbData) {
    *ppbData = nullptr;
    *pcbData = 0;
    DWORD cbStored = 0;
    for (DWORD i = 0; i < 4 && i < cbBlock; ++i)
        cbStored |= static_cast<DWORD>(pbBlock[i]) << (8 * i);
    if (cbBlock > kcbMost || cbStored > kcbMost) return static_cast<long>(host::ERROR_INVALID_DATA);
    BYTE* pbData = nullptr;
    DWORD cbData = 0;
    if (!zz::Decompress(&pbData, &cbData, pbBlock, cbBlock) || cbData != cbStored) {
        zz::FreeBlock(pbData);
        return static_cast<long>(host::ERROR_INVALID_DATA);
    }
    *ppbData = pbData;
    *pcbData = cbData;
    return 0;
}

} // namespace lzrapi
