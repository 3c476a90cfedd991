// Seeds for the decompressor's fuzzer: packs each file named into a zz block in the folder.
//   lzrapi_seeds FOLDER FILE...   (a file is cut to its first 64 KB)
#include "anim/cea_zz.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: lzrapi_seeds FOLDER FILE...\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::vector<zz::BYTE> data{std::istreambuf_iterator<char>(in), {}};
        if (!in.eof() && !in.good()) return 1;
        if (data.size() > (64u << 10)) data.resize(64u << 10);
        zz::BYTE* pbBlock = nullptr;
        zz::DWORD cbBlock = 0;
        if (zz::Compress(&pbBlock, &cbBlock, data.data(), static_cast<zz::DWORD>(data.size())) != 1)
            return 1;
        std::ofstream(folder / (std::filesystem::path(argv[i]).filename().string() + ".zz"),
                      std::ios::binary)
            .write(reinterpret_cast<const char*>(pbBlock), cbBlock);
        zz::FreeBlock(pbBlock);
    }
    return 0;
}
