// Writes the test payload (blob_pattern.h) to the file named on the command line.
#include "blob_pattern.h"

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) return 1;
    std::vector<std::uint8_t> buf(kBlobSize);
    for (std::size_t i = 0; i < kBlobSize; ++i)
        buf[i] = BlobByte(i);
    bool ok = std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
    return (std::fclose(f) == 0 && ok) ? 0 : 1;
}
