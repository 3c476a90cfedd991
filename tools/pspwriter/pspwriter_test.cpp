// The writer's own checks: the run-length coder against a reference decoder, the file's
// framing, refusal of inconsistent descriptions, and the command producing the same bytes
// as the library. Reading the files back is tested beside the reader.
#include "tools/pspwriter/pspwriter.h"

#include "tests/support/run_program.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <sys/wait.h>
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

// Runs the writer in dir; its exit code, and what it wrote to either stream.
int RunIn(const fs::path& dir, const std::string& args, std::string* pOut, std::string* pErr) {
    testsupport::ProgramRun run = testsupport::RunProgram(dir, PSPWRITER_PROGRAM, args);
    *pOut = std::move(run.out);
    *pErr = std::move(run.err);
    return run.nExit;
}

TEST(PspWriter, CommandRefusesBadInputWithTheReason) {
    const testsupport::TempFolder folder("pspwriter_test");
    const fs::path& dir = folder.Path();
    auto Put = [&](const char* pszName, const std::string& bytes) {
        std::ofstream(dir / pszName, std::ios::binary) << bytes;
    };
    Put("grad.ppm", "P6\n4 2\n255\n" + std::string(24, '\x40'));
    Put("idx.pgm", "P5\n4 2\n255\n" + std::string(8, '\1'));
    Put("small.pgm", "P5\n2 1\n255\n" + std::string(2, '\xff'));
    Put("empty.pgm", "");
    Put("ascii.pgm", "P2\n2 1\n255\n0 1\n");
    Put("deep.pgm", "P5\n2 1\n65535\n" + std::string(4, '\0'));
    Put("trunc.ppm", "P6\n4 2\n255\n" + std::string(5, '\0'));
    Put("huge.pgm", "P5\n99999999999 1\n255\n");
    Put("pal.txt", "0 0 0\n1 2 300\n");
    fs::create_directory(dir / "dir");

    struct Case {
        const char* pszArgs;
        int nExit;
        const char* pszMessage;
    } cases[] = {
        {"", 2, "no --out FILE given"},
        {"--out x.psp", 2, "no --layer given"},
        {"--layer idx.pgm --out x.psp --frob", 2, "unknown option '--frob'"},
        {"--layer idx.pgm --out", 2, "missing value after --out"},
        {"--layer idx.pgm --size 40000x40000 --out x.psp", 2, "--size: '40000x40000' is not WxH"},
        {"--layer idx.pgm --size 4294967360x48 --out x.psp", 2, "'4294967360x48' is not WxH"},
        {"--layer idx.pgm --at 99999999999,0 --out x.psp", 2, "'99999999999,0' is not X,Y"},
        {"--layer idx.pgm --at 5 --out x.psp", 2, "--at: '5' is not X,Y"},
        {"--at 1,1 --layer idx.pgm --out x.psp", 2, "--at before any --layer"},
        {"--layer idx.pgm --compression zip --out x.psp", 2, "'zip' is not none, rle or deflate"},
        {"--layer idx.pgm --user-mask --out x.psp", 2, "layer 1 (idx.pgm) has no --mask"},
        {"--selection-at 1,1 --layer idx.pgm --out x.psp", 2, "--selection-at without --selection"},
        {"--layer missing.pgm --out x.psp", 1, "missing.pgm: no such file"},
        {"--layer dir --out x.psp", 1, "dir: is a folder"},
        {"--layer empty.pgm --out x.psp", 1, "empty.pgm: empty file"},
        {"--layer ascii.pgm --out x.psp", 1,
         "ascii.pgm: ASCII PGM/PPM (P2/P3) is not supported; use binary P5/P6"},
        {"--layer deep.pgm --out x.psp", 1,
         "deep.pgm: 16-bit samples (maxval 65535) are not supported"},
        {"--layer trunc.ppm --out x.psp", 1,
         "trunc.ppm: truncated: expected 24 bytes of pixels, found 5"},
        {"--layer huge.pgm --out x.psp", 1, "huge.pgm: width 99999999999 is outside 1 to 32767"},
        {"--layer idx.pgm --layer grad.ppm --out x.psp", 1,
         "layer 2 (grad.ppm) is a PPM but layer 1 is a PGM"},
        {"--layer idx.pgm --mask small.pgm --out x.psp", 1,
         "small.pgm: mask is 2x1 but layer 1 (idx.pgm) is 4x2"},
        {"--layer idx.pgm --palette pal.txt --out x.psp", 1, "pal.txt: line 2: '1 2 300'"},
        {"--layer idx.pgm --selection idx.pgm --selection-at 1,0 --out x.psp", 1,
         "selection (1,0)-(5,2) does not lie inside the 4x2 image"},
        // Sizes whose byte counts pass 32 bits, and places at the edge of the coordinates.
        {"--layer grad.ppm --size 32767x32767 --out x.psp", 1,
         "needs 3221127168 bytes of pixels; a reader creates at most 67108864"},
        {"--layer idx.pgm --at 2147483647,0 --out x.psp", 1, "reaches past 2147483647"},
        {"--layer idx.pgm --size 1x1 --out x.psp", 1, "more than the 4 a reader keeps"},
        {"--layer idx.pgm --out nodir/x.psp", 1, "nodir/x.psp not written"},
    };
    for (const Case& c : cases) {
        std::string out, err;
        EXPECT_EQ(RunIn(dir, c.pszArgs, &out, &err), c.nExit) << c.pszArgs << "\n" << err;
        EXPECT_EQ(err.rfind("kelvano-pspwriter: ", 0), 0u) << err;
        EXPECT_NE(err.find(c.pszMessage), std::string::npos) << c.pszArgs << "\n" << err;
        // One line naming the problem; usage errors add the hint.
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), c.nExit == 2 ? 2 : 1) << err;
        EXPECT_EQ(c.nExit == 2, err.find("--help") != std::string::npos) << err;
        EXPECT_EQ(out, "") << c.pszArgs;
        EXPECT_FALSE(fs::exists(dir / "x.psp")) << c.pszArgs;
    }

    for (const char* pszHelp : {"--help", "--layer idx.pgm -h"}) {
        std::string out, err;
        EXPECT_EQ(RunIn(dir, pszHelp, &out, &err), 0);
        EXPECT_EQ(err, "");
        for (const char* pszOption :
             {"--layer", "--at", "--mask", "--user-mask", "--palette", "--selection",
              "--selection-at", "--size", "--compression", "--out", "--help"})
            EXPECT_NE(out.find(pszOption), std::string::npos) << pszOption;
    }
}

} // namespace
