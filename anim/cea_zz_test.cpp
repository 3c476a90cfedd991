#include "anim/cea_zz.h"

#include "foundation/memmgr.h"
#include "host/error.h"
#include "host/thread.h"

#include <gtest/gtest.h>
#include <lzo/lzo1x.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

using host::BYTE;
using host::DWORD;

namespace {

enum class Kind { Zeros, Random, Text };

std::vector<BYTE> MakeData(Kind kind, std::size_t cb, std::uint32_t nSeed) {
    static const char* const rgszWords[] = {"blue ",  "red ",  "marble ", "push ", "line ",
                                            "cell\n", "goal ", "hole ",   "the ",  "of "};
    std::vector<BYTE> data;
    data.reserve(cb);
    std::uint32_t n = nSeed * 2654435761u + 1;
    auto next = [&] { return n = n * 1664525u + 1013904223u; };
    while (data.size() < cb) {
        if (kind == Kind::Zeros) {
            data.push_back(0);
        } else if (kind == Kind::Random) {
            data.push_back(static_cast<BYTE>(next() >> 24));
        } else {
            for (const char* p = rgszWords[(next() >> 16) % 10]; *p != 0 && data.size() < cb; ++p)
                data.push_back(static_cast<BYTE>(*p));
        }
    }
    return data;
}

// A block made by hand around a stream of the library, with any stored length.
std::vector<BYTE> RawBlock(const std::vector<BYTE>& data, DWORD cbStored) {
    std::vector<BYTE> block(4 + data.size() + data.size() / 16 + 64 + 3);
    std::vector<BYTE> work(LZO1X_1_MEM_COMPRESS);
    lzo_uint cbStream = block.size() - 4;
    EXPECT_EQ(lzo_init(), LZO_E_OK);
    EXPECT_EQ(lzo1x_1_compress(data.data(), data.size(), block.data() + 4, &cbStream, work.data()),
              LZO_E_OK);
    block.resize(4 + cbStream);
    for (int i = 0; i < 4; ++i)
        block[i] = static_cast<BYTE>(cbStored >> (8 * i));
    return block;
}

std::size_t BlocksInUse() {
    return mem::GetStats().cBlocksInUse;
}

class ZzTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The first call allocates the work memory for good; leave it out of the counts.
        BYTE* pb = nullptr;
        DWORD cb = 0;
        ASSERT_EQ(zz::Compress(&pb, &cb, nullptr, 0), 1);
        zz::FreeBlock(pb);
    }
};

TEST_F(ZzTest, RoundTripsDataOfEverySize) {
    struct Case {
        Kind kind;
        std::size_t cb;
    };
    const Case rgCases[] = {{Kind::Zeros, 0},        {Kind::Random, 1},    {Kind::Text, 4},
                            {Kind::Random, 5},       {Kind::Text, 1000},   {Kind::Zeros, 70000},
                            {Kind::Random, 65539},   {Kind::Text, 300000}, {Kind::Zeros, 3 << 20},
                            {Kind::Random, 3 << 20}, {Kind::Text, 4 << 20}};
    for (const Case& c : rgCases) {
        SCOPED_TRACE(testing::Message()
                     << "kind " << static_cast<int>(c.kind) << ", " << c.cb << " bytes");
        std::vector<BYTE> data = MakeData(c.kind, c.cb, static_cast<std::uint32_t>(c.cb));
        std::size_t cBlocks = BlocksInUse();
        BYTE* pbBlock = nullptr;
        DWORD cbBlock = 0;
        ASSERT_EQ(zz::Compress(&pbBlock, &cbBlock, data.data(), static_cast<DWORD>(data.size())),
                  1);
        ASSERT_GT(cbBlock, 4u);
        EXPECT_EQ(pbBlock[0] | pbBlock[1] << 8 | pbBlock[2] << 16 | DWORD(pbBlock[3]) << 24,
                  data.size());

        BYTE* pbData = nullptr;
        DWORD cbData = 0;
        ASSERT_EQ(zz::Decompress(&pbData, &cbData, pbBlock, cbBlock), 1);
        ASSERT_EQ(cbData, data.size());
        EXPECT_TRUE(cbData == 0 || std::equal(data.begin(), data.end(), pbData));
        zz::FreeBlock(pbData);
        zz::FreeBlock(pbBlock);
        EXPECT_EQ(BlocksInUse(), cBlocks);
    }
}

TEST_F(ZzTest, EmptyDataGivesLengthZeroAndTheLibrarysEmptyStream) {
    BYTE* pbBlock = nullptr;
    DWORD cbBlock = 0;
    ASSERT_EQ(zz::Compress(&pbBlock, &cbBlock, nullptr, 0), 1);
    std::vector<BYTE> block(pbBlock, pbBlock + cbBlock);
    EXPECT_EQ(block, RawBlock({}, 0));
    EXPECT_EQ(block, (std::vector<BYTE>{0, 0, 0, 0, 0x11, 0, 0}));
    BYTE* pbData = nullptr;
    DWORD cbData = 99;
    ASSERT_EQ(zz::Decompress(&pbData, &cbData, pbBlock, cbBlock), 1);
    EXPECT_EQ(cbData, 0u);
    zz::FreeBlock(pbData);
    zz::FreeBlock(pbBlock);
    zz::FreeBlock(nullptr);
}

TEST_F(ZzTest, RefusesBadBlocksWithoutOverrunOrLeak) {
    std::vector<BYTE> text = MakeData(Kind::Text, 50000, 7);
    std::vector<BYTE> good = RawBlock(text, 50000);
    std::vector<BYTE> bigger = good;
    bigger.push_back(0);

    struct Case {
        const char* pszWhat;
        std::vector<BYTE> block;
        DWORD cbBlock;
        DWORD nLastError; // 0: no library error
    };
    std::vector<Case> rgCases = {
        {"no bytes", {}, 0, 0},
        {"header only", {5, 0, 0, 0}, 4, 0},
        {"three bytes", {0x11, 0, 0}, 3, 0},
        {"stored length one short", RawBlock(text, 49999), 0, DWORD(LZO_E_OUTPUT_OVERRUN)},
        {"stored length far too small", RawBlock(text, 100), 0, DWORD(LZO_E_OUTPUT_OVERRUN)},
        {"stored length zero", RawBlock(text, 0), 0, DWORD(LZO_E_OUTPUT_OVERRUN)},
        {"truncated stream", good, DWORD(good.size() / 2), DWORD(LZO_E_INPUT_OVERRUN)},
        {"missing end marker", good, DWORD(good.size() - 3), DWORD(LZO_E_INPUT_OVERRUN)},
        {"bytes after the end marker", bigger, 0, DWORD(LZO_E_INPUT_NOT_CONSUMED)},
    };
    for (Case& c : rgCases) {
        SCOPED_TRACE(c.pszWhat);
        DWORD cb = c.cbBlock != 0 ? c.cbBlock : static_cast<DWORD>(c.block.size());
        // An exact-size copy, so that any read past the block shows under the sanitizer.
        std::vector<BYTE> exact(c.block.begin(), c.block.begin() + cb);
        host::SetLastError(0);
        std::size_t cBlocks = BlocksInUse();
        BYTE* pbData = reinterpret_cast<BYTE*>(1);
        DWORD cbData = 0;
        EXPECT_EQ(zz::Decompress(&pbData, &cbData, exact.empty() ? nullptr : exact.data(), cb), 0);
        EXPECT_EQ(pbData, nullptr);
        EXPECT_EQ(host::GetLastError(), c.nLastError);
        EXPECT_EQ(BlocksInUse(), cBlocks);
    }
}

TEST_F(ZzTest, StoredLengthLargerThanTheDataGivesTheProducedLength) {
    std::vector<BYTE> text = MakeData(Kind::Text, 5000, 3);
    for (DWORD cbStored : {5001u, 100000u, 0xFFFFFFFFu}) {
        std::vector<BYTE> block = RawBlock(text, cbStored);
        BYTE* pbData = nullptr;
        DWORD cbData = 0;
        ASSERT_EQ(zz::Decompress(&pbData, &cbData, block.data(), DWORD(block.size())), 1);
        ASSERT_EQ(cbData, text.size());
        EXPECT_TRUE(std::equal(text.begin(), text.end(), pbData));
        mem::BlockInfo info;
        ASSERT_TRUE(mem::GetBlockInfo(pbData, &info));
        EXPECT_LT(info.cbRequested, 5u << 20) << "allocation follows the stream, not the header";
        zz::FreeBlock(pbData);
    }
}

TEST_F(ZzTest, ThreadsPackAndUnpackAtOnce) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 25;
    std::atomic<int> cBad{0};
    std::vector<host::Thread> threads;
    for (int iThread = 0; iThread < kThreads; ++iThread) {
        threads.emplace_back([iThread, &cBad] {
            for (int iRound = 0; iRound < kRounds; ++iRound) {
                std::uint32_t nSeed = static_cast<std::uint32_t>(iThread * 1000 + iRound);
                std::vector<BYTE> data = MakeData(iRound % 2 ? Kind::Text : Kind::Random,
                                                  1000 + nSeed * 37 % 90000, nSeed);
                BYTE* pbBlock = nullptr;
                DWORD cbBlock = 0;
                BYTE* pbData = nullptr;
                DWORD cbData = 0;
                if (zz::Compress(&pbBlock, &cbBlock, data.data(), DWORD(data.size())) != 1 ||
                    zz::Decompress(&pbData, &cbData, pbBlock, cbBlock) != 1 ||
                    cbData != data.size() || !std::equal(data.begin(), data.end(), pbData))
                    ++cBad;
                zz::FreeBlock(pbData);
                // A failure on this thread sets this thread's last error only.
                host::SetLastError(0);
                BYTE rgbShort[] = {100, 0, 0, 0, 0x11, 0, 0, 0};
                if (zz::Decompress(&pbData, &cbData, rgbShort, sizeof(rgbShort)) != 0 ||
                    host::GetLastError() != DWORD(LZO_E_INPUT_NOT_CONSUMED))
                    ++cBad;
                zz::FreeBlock(pbBlock);
            }
        });
    }
    threads.clear();
    EXPECT_EQ(cBad.load(), 0);
}

} // namespace
