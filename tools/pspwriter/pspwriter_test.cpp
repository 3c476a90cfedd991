// The writer's own checks: the run-length coder against a reference decoder, the file's
// framing, refusal of inconsistent descriptions, and the command producing the same bytes
// as the library. Reading the files back is tested beside the reader.
#include "tools/pspwriter/pspwriter.h"

#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace pspwriter;

namespace {

std::vector<uint8_t> DecodeRunLength(const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < in.size();) {
        unsigned c = in[i++];
        if (c > 128) {
            out.insert(out.end(), c - 128, in.at(i++));
        } else {
            out.insert(out.end(), in.begin() + i, in.begin() + i + c);
            i += c;
        }
    }
    return out;
}

uint32_t U32(const std::vector<uint8_t>& b, size_t i) {
    return b[i] | b[i + 1] << 8 | b[i + 2] << 16 | static_cast<uint32_t>(b[i + 3]) << 24;
}

PspImage SmallImage() {
    PspImage image;
    image.cx = 4;
    image.cy = 2;
    image.nDepth = 8;
    image.palette = {{0, 0, 0}, {255, 0, 0}};
    PspLayer layer;
    layer.pixels = {0, 1, 1, 0, 1, 0, 0, 1};
    image.layers.push_back(layer);
    return image;
}

TEST(PspWriter, RunLengthRoundTrips) {
    std::vector<uint8_t> mixed;
    for (int i = 0; i < 1000; ++i)
        mixed.push_back(static_cast<uint8_t>(i % 7 < 4 ? 9 : i));
    const std::vector<std::vector<uint8_t>> cases = {
        {},
        {5},
        {1, 2},
        {3, 3, 3},
        std::vector<uint8_t>(127, 4),
        std::vector<uint8_t>(128, 4), // one past the longest run
        std::vector<uint8_t>(1000, 0),
        mixed,
    };
    for (const auto& data : cases) {
        std::vector<uint8_t> coded = EncodeRunLength(data);
        EXPECT_EQ(DecodeRunLength(coded), data) << "size " << data.size();
    }
    // 300 distinct bytes: literal runs of at most 128, so no count byte above 128.
    std::vector<uint8_t> distinct;
    for (int i = 0; i < 300; ++i)
        distinct.push_back(static_cast<uint8_t>(i * 37 + i / 256));
    std::vector<uint8_t> coded = EncodeRunLength(distinct);
    EXPECT_EQ(coded[0], 128);
    EXPECT_EQ(DecodeRunLength(coded), distinct);
}

TEST(PspWriter, FramesBlocks) {
    PspImage image = SmallImage();
    image.fSelection = true;
    image.selection.rc = {1, 0, 3, 1};
    image.selection.bytes = {255, 128};
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(WritePsp(image, &bytes));
    ASSERT_GT(bytes.size(), 36u);
    EXPECT_EQ(std::memcmp(bytes.data(), "Paint Shop Pro Image File", 25), 0);
    // Walk the top-level blocks: attributes, palette, layer start, selection, then the end.
    std::vector<uint16_t> kinds;
    size_t i = 36;
    while (i + 10 <= bytes.size()) {
        ASSERT_EQ(U32(bytes, i), 0x004B427Eu);
        kinds.push_back(static_cast<uint16_t>(bytes[i + 4] | bytes[i + 5] << 8));
        i += 10 + U32(bytes, i + 6);
    }
    EXPECT_EQ(i, bytes.size());
    EXPECT_EQ(kinds, (std::vector<uint16_t>{0, 2, 3, 6}));
    EXPECT_EQ(U32(bytes, 46), 46u); // attributes chunk length
    EXPECT_EQ(U32(bytes, 50), 4u);  // width
    EXPECT_EQ(U32(bytes, 54), 2u);  // height
}

TEST(PspWriter, RefusesInconsistentImages) {
    struct Case {
        const char* pszWhat;
        void (*Break)(PspImage&);
    } cases[] = {
        {"depth 16", [](PspImage& im) { im.nDepth = 16; }},
        {"no width", [](PspImage& im) { im.cx = 0; }},
        {"short pixels", [](PspImage& im) { im.layers[0].pixels.pop_back(); }},
        {"short mask", [](PspImage& im) { im.layers[0].mask = {255}; }},
        {"mask type 3",
         [](PspImage& im) {
             im.layers[0].mask.assign(8, 0);
             im.layers[0].nMaskType = 3;
         }},
        {"channel 4", [](PspImage& im) { im.layers[0].channels = {4}; }},
        {"empty rect",
         [](PspImage& im) {
             im.layers[0].rc = {2, 0, 2, 2};
         }},
        {"selection outside",
         [](PspImage& im) {
             im.fSelection = true;
             im.selection.rc = {3, 0, 5, 1};
             im.selection.bytes = {1, 1};
         }},
    };
    for (const Case& c : cases) {
        PspImage image = SmallImage();
        c.Break(image);
        std::vector<uint8_t> bytes = {7};
        EXPECT_FALSE(WritePsp(image, &bytes)) << c.pszWhat;
        EXPECT_EQ(bytes, std::vector<uint8_t>{7}) << c.pszWhat;
    }
}

TEST(PspWriter, CommandWritesWhatTheLibraryWrites) {
    const testsupport::TempFolder folder("pspwriter_test");
    const fs::path& dir = folder.Path();
    std::ofstream(dir / "layer.pgm", std::ios::binary) << "P5\n# indices\n4 2\n255\n"
                                                       << std::string("\0\1\1\0\1\0\0\1", 8);
    std::ofstream(dir / "mask.pgm", std::ios::binary)
        << "P5 4 2 255\n"
        << std::string("\xff\xff\0\0\xff\x80\xff\xff", 8);
    std::ofstream(dir / "palette.txt") << "0 0 0\n\n#FF0000\n";
    std::string command = std::string(PSPWRITER_PROGRAM) + " --layer " +
                          (dir / "layer.pgm").string() + " --mask " + (dir / "mask.pgm").string() +
                          " --palette " + (dir / "palette.txt").string() +
                          " --compression rle --out " + (dir / "out.psp").string();
    ASSERT_EQ(std::system(command.c_str()), 0);

    PspImage image = SmallImage();
    image.compression = Compression::RunLength;
    image.layers[0].name = "Layer 1";
    image.layers[0].rc = {0, 0, 4, 2};
    image.layers[0].mask = {255, 255, 0, 0, 255, 128, 255, 255};
    std::vector<uint8_t> expected;
    ASSERT_TRUE(WritePsp(image, &expected));
    std::ifstream in(dir / "out.psp", std::ios::binary);
    std::vector<uint8_t> written((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    EXPECT_EQ(written, expected);

    std::string bad = std::string(PSPWRITER_PROGRAM) + " --layer " +
                      (dir / "missing.pgm").string() + " --out " + (dir / "x.psp").string() +
                      " 2>/dev/null";
    EXPECT_NE(std::system(bad.c_str()), 0);
    EXPECT_FALSE(fs::exists(dir / "x.psp"));
}

} // namespace
