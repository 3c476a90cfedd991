// Writes the pictures of the packed-resource test module into the folder given:
// packed.zz (a 4 x 2 image, zz-packed), plain.psp (a 3 x 5 image, plain) and damaged.zz
// (packed.zz cut in half).
#include "anim/cea_zz.h"
#include "tools/pspwriter/pspwriter.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Image(int cx, int cy) {
    pspwriter::PspImage image;
    image.cx = cx;
    image.cy = cy;
    image.palette = {{0, 0, 0}, {255, 255, 255}, {200, 30, 30}};
    pspwriter::PspLayer layer;
    layer.name = "picture";
    for (int i = 0; i < cx * cy; ++i)
        layer.pixels.push_back(static_cast<uint8_t>(i % 3));
    image.layers.push_back(layer);
    std::vector<uint8_t> bytes;
    pspwriter::WritePsp(image, &bytes);
    return bytes;
}

bool Write(const std::string& path, const uint8_t* pb, size_t cb) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(pb), static_cast<std::streamsize>(cb));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gameui_packgen folder\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::vector<uint8_t> packedImage = Image(4, 2);
    const std::vector<uint8_t> plainImage = Image(3, 5);
    host::BYTE* pbBlock = nullptr;
    host::DWORD cbBlock = 0;
    if (packedImage.empty() || plainImage.empty() ||
        !zz::Compress(&pbBlock, &cbBlock, packedImage.data(),
                      static_cast<host::DWORD>(packedImage.size())))
        return 1;
    const bool fOk = Write(dir + "/packed.zz", pbBlock, cbBlock) &&
                     Write(dir + "/damaged.zz", pbBlock, cbBlock / 2) &&
                     Write(dir + "/plain.psp", plainImage.data(), plainImage.size());
    zz::FreeBlock(pbBlock);
    return fOk ? 0 : 1;
}
