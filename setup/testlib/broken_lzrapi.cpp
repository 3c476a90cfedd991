// A device decompressor that answers its version but cannot unpack anything, for the setup
// library's tests: the installer must then write the file again plainly and stop packing.
#include <cstdlib>
#include <cstring>

#define BROKEN_LZRAPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Block-mode blocks are the process heap's (host::LocalAlloc is malloc).
void Answer(const char16_t* psz, unsigned* pcbOutput, unsigned char** ppbOutput) {
    std::size_t cch = 0;
    while (psz[cch] != u'\0')
        ++cch;
    const std::size_t cb = (cch + 1) * sizeof(char16_t);
    auto* pb = static_cast<unsigned char*>(std::malloc(cb));
    if (pb != nullptr) std::memcpy(pb, psz, cb);
    *ppbOutput = pb;
    *pcbOutput = pb != nullptr ? static_cast<unsigned>(cb) : 0;
}

} // namespace

BROKEN_LZRAPI_EXPORT long GetLZRAPIVersion(unsigned, unsigned char* pbInput, unsigned* pcbOutput,
                                           unsigned char** ppbOutput, void*) {
    std::free(pbInput);
    Answer(u"1", pcbOutput, ppbOutput);
    return 0;
}

BROKEN_LZRAPI_EXPORT long DecompressFile(unsigned, unsigned char* pbInput, unsigned* pcbOutput,
                                         unsigned char** ppbOutput, void*) {
    std::free(pbInput);
    *pcbOutput = 0;
    *ppbOutput = nullptr;
    return 5; // access denied, as a device with a full or locked store says
}
