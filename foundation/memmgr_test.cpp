#include "foundation/memmgr.h"

#include "host/debug.h"
#include "host/msgbox.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records every box and answers with a chosen button.
class RecordingResponder : public host::MessageBoxResponder {
public:
    struct Box {
        std::string text, caption;
        host::UINT uType;
    };

    int Respond(host::HWND, std::string_view text, std::string_view caption,
                host::UINT uType) override {
        std::lock_guard guard(lock_);
        boxes_.push_back({std::string(text), std::string(caption), uType});
        return answer_;
    }
    std::vector<Box> Boxes() {
        std::lock_guard guard(lock_);
        return boxes_;
    }
    void Answer(int answer) { answer_ = answer; }

private:
    std::mutex lock_;
    std::vector<Box> boxes_;
    std::atomic<int> answer_{host::IDOK};
};

class MemoryManager : public ::testing::Test {
protected:
    void SetUp() override { host::SetMessageBoxResponder(&responder_); }
    void TearDown() override { host::SetMessageBoxResponder(nullptr); }

    // The first line of each report shown so far.
    std::vector<std::string> Reports() {
        std::vector<std::string> messages;
        for (const auto& box : responder_.Boxes())
            messages.push_back(box.text.substr(0, box.text.find('\n')));
        return messages;
    }

    RecordingResponder responder_;
};

std::size_t BlockOf(const void* pv) {
    mem::BlockInfo info;
    return mem::GetBlockInfo(pv, &info) ? info.cbBlock : 0;
}

TEST_F(MemoryManager, BlockSizesLeave72BytesOfOverhead) {
    struct {
        std::size_t cb, cbBlock;
    } const cases[] = {{0, 128},          {1, 128},
                       {55, 128},         {56, 256},
                       {183, 256},        {184, 384},
                       {1000, 1152},      {524215, 0x80000},
                       {524216, 0x80080}, {2000000, 2000000 / 128 * 128 + 128 * 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(mem::BlockSizeFor(c.cb), c.cbBlock) << c.cb;
        void* pv = MemAlloc(c.cb);
        ASSERT_NE(pv, nullptr);
        EXPECT_EQ(BlockOf(pv), mem::BlockSizeFor(c.cb)) << c.cb;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pv) % 16, 0u);
        MemFree(pv);
    }
    EXPECT_TRUE(Reports().empty());
}

TEST_F(MemoryManager, OnlyBlocksAbove512kBComeFromTheSystem) {
    mem::Stats before = mem::GetStats();
    void* inPool = MemAlloc(524215);
    void* large = MemAlloc(524216);
    mem::BlockInfo info;
    ASSERT_TRUE(mem::GetBlockInfo(inPool, &info));
    EXPECT_FALSE(info.fLarge);
    ASSERT_TRUE(mem::GetBlockInfo(large, &info));
    EXPECT_TRUE(info.fLarge);
    EXPECT_EQ(mem::GetStats().cLargeBlocks, before.cLargeBlocks + 1);
    std::memset(large, 0xAB, 524216); // the whole request is usable
    MemFree(large);
    MemFree(inPool);
    EXPECT_EQ(mem::GetStats().cLargeBlocks, before.cLargeBlocks);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(MemoryManager, BlocksKeepTheirTag) {
    std::uint32_t cbData = 40;
    void* pv = MemAlloc(cbData);
    mem::BlockInfo info;
    ASSERT_TRUE(mem::GetBlockInfo(pv, &info));
    EXPECT_STREQ(info.pszType, "cbData");
    EXPECT_STREQ(info.pszFile, __FILE__);
    EXPECT_EQ(info.cbRequested, 40u);
    MemFree(pv);
    EXPECT_FALSE(mem::GetBlockInfo(pv, &info));
}

TEST_F(MemoryManager, FreedBlockIsReusedAndLargerClassesAreUsedWhole) {
    void* first = MemAlloc(300);
    MemFree(first);
    void* again = MemAlloc(300);
    EXPECT_EQ(again, first);
    MemFree(again);

    // Sizes no other test uses, so that the free lists around them are known.
    constexpr std::size_t cbWanted = 128 * 3000 - 100; // class 2999, searched up to 3015
    constexpr std::size_t cbBigger = 128 * 3011 - 100; // class 3010
    constexpr std::size_t cbTooBig = 128 * 3020 - 100; // class 3019, beyond the search
    void* tooBig = MemAlloc(cbTooBig);
    void* bigger = MemAlloc(cbBigger);
    MemFree(tooBig);
    MemFree(bigger);
    void* wanted = MemAlloc(cbWanted);
    EXPECT_EQ(wanted, bigger);
    EXPECT_EQ(BlockOf(wanted), 128u * 3011);
    void* next = MemAlloc(cbWanted);
    EXPECT_NE(next, tooBig);
    EXPECT_EQ(BlockOf(next), 128u * 3000);
    MemFree(wanted);
    MemFree(next);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(MemoryManager, EachMisuseIsReportedAndTheProgramContinues) {
    struct Object {
        int n = 7;
    };
    struct Case {
        const char* pszMessage;
        void (*misuse)();
    } const cases[] = {
        {"The leading signature on a memory block was overwritten.",
         [] {
             auto* pb = static_cast<unsigned char*>(MemAlloc(32));
             pb[-1] ^= 0xFF;
             MemFree(pb);
         }},
        {"The trailing signature on a memory block was overwritten.",
         [] {
             auto* pb = static_cast<unsigned char*>(MemAlloc(55));
             mem::BlockInfo info;
             mem::GetBlockInfo(pb, &info);
             pb[info.cbUsable] ^= 0xFF; // one byte past the end of the block
             MemFree(pb);
         }},
        {"An invalid address was deleted.",
         [] {
             void* pv = MemAlloc(16);
             MemFree(pv);
             MemFree(pv);
         }},
        {"A non-object memory address was deleted.",
         [] {
             auto* pn = static_cast<int*>(MemAlloc(sizeof(int)));
             EXPECT_FALSE(mem::ReleaseObject(pn, __FILE__, __LINE__));
         }},
        {"A C++ object was deleted using the \"free\" method.",
         [] {
             Object* p = MemNew(Object);
             MemFree(p);
             delete p; // the record is gone; the object itself is still ours to destroy
         }},
        {"An invalid address was tared.",
         [] {
             int local = 0;
             MemTare(&local);
         }},
    };
    for (int answer : {host::IDOK, host::IDCANCEL}) {
        responder_.Answer(answer);
        for (const Case& c : cases) {
            std::size_t cBefore = responder_.Boxes().size();
            c.misuse();
            auto boxes = responder_.Boxes();
            ASSERT_EQ(boxes.size(), cBefore + 1) << c.pszMessage;
            const auto& box = boxes.back();
            EXPECT_EQ(box.caption, "Memory Manager");
            EXPECT_EQ(box.uType, host::MB_OKCANCEL | host::MB_ICONERROR);
            EXPECT_EQ(box.text.substr(0, box.text.find('\n')), c.pszMessage);
            EXPECT_NE(box.text.find("\n\nClick OK to dismiss\nClick X to debug"),
                      std::string::npos);
            // The manager still works after the report.
            void* pv = MemAlloc(100);
            ASSERT_NE(pv, nullptr);
            MemFree(pv);
            EXPECT_EQ(responder_.Boxes().size(), cBefore + 1);
        }
    }
}

TEST_F(MemoryManager, ReportTextNamesAddressAndCallSite) {
    int local = 0;
    MemTare(&local);
    int nLine = __LINE__ - 1;
    char expected[512];
    std::snprintf(expected, sizeof expected,
                  "An invalid address was tared.\n\n   Address: 0x%08lX\n   Current: %s line %d\n\n"
                  "Click OK to dismiss\nClick X to debug",
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(&local)), __FILE__,
                  nLine);
    ASSERT_EQ(responder_.Boxes().size(), 1u);
    EXPECT_EQ(responder_.Boxes()[0].text, expected);
}

TEST_F(MemoryManager, HeadlessDefaultAnswersOkAndWritesTheBoxToTheDebugChannel) {
    host::SetMessageBoxResponder(nullptr);
    host::DebugCapture capture;
    void* pv = MemAlloc(8);
    MemFree(pv);
    MemFree(pv);
    EXPECT_NE(capture.Text().find("Memory Manager\nAn invalid address was deleted."),
              std::string::npos);
}

TEST_F(MemoryManager, EmptyPoolsBeyondThreeAreReturned) {
    constexpr std::size_t cbWholePool = 0x80000 - 73; // one such block per pool
    mem::Stats before = mem::GetStats();
    std::vector<void*> blocks;
    for (int i = 0; i < 6; ++i)
        blocks.push_back(MemAlloc(cbWholePool));
    mem::Stats full = mem::GetStats();
    EXPECT_GE(full.cPools, before.cPools + 5);
    for (void* pv : blocks)
        MemFree(pv);
    mem::Stats after = mem::GetStats();
    EXPECT_EQ(after.cEmptyPools, std::max<std::size_t>(before.cEmptyPools, 3));
    EXPECT_LE(after.cPools, before.cPools + 3);
    EXPECT_EQ(after.cBlocksInUse, before.cBlocksInUse);
    // Returned pools leave nothing behind on the free lists: the manager still works.
    for (int i = 0; i < 6; ++i)
        blocks[i] = MemAlloc(cbWholePool);
    for (void* pv : blocks)
        MemFree(pv);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(MemoryManager, ReallocArrayGrowsByStepAndZeroFills) {
    int* pn = nullptr;
    std::uint32_t c = 0;
    ASSERT_TRUE(MemReallocArray(&pn, &c, 1u, 32u));
    EXPECT_EQ(c, 32u);
    for (std::uint32_t i = 0; i < c; ++i) {
        EXPECT_EQ(pn[i], 0);
        pn[i] = static_cast<int>(i + 1);
    }
    mem::BlockInfo info;
    ASSERT_TRUE(mem::GetBlockInfo(pn, &info));
    EXPECT_STREQ(info.pszType, "MemRealloc");

    int* pSame = pn;
    ASSERT_TRUE(MemReallocArray(&pn, &c, 32u, 32u)); // big enough already
    EXPECT_EQ(pn, pSame);

    ASSERT_TRUE(MemReallocArray(&pn, &c, 33u, 32u));
    EXPECT_EQ(c, 64u);
    for (std::uint32_t i = 0; i < 32; ++i)
        EXPECT_EQ(pn[i], static_cast<int>(i + 1));
    for (std::uint32_t i = 32; i < 64; ++i)
        EXPECT_EQ(pn[i], 0);

    ASSERT_TRUE(MemReallocArray(&pn, &c, 70u, 0u)); // a step of 0 still gives what is needed
    EXPECT_EQ(c, 70u);
    EXPECT_FALSE(MemReallocArray(&pn, &c, 0xFFFFFFFFu, 64u)); // too big: array unchanged
    EXPECT_EQ(c, 70u);
    EXPECT_EQ(pn[0], 1);
    MemFree(pn);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(MemoryManager, LeakReportListsUntaredBlocksAndObjects) {
    struct Widget {
        double value = 1.5;
    };
    host::DebugCapture capture;
    void* leaked = MemAllocTagged(24, "LEAKED");
    void* tared = MemAllocTagged(24, "TARED");
    MemTare(tared);
    Widget* widget = MemNew(Widget);
    int nWidgetLine = __LINE__ - 1;
    mem::ReportLeaks();
    std::string text = capture.Text();
    EXPECT_NE(text.find("blocks left in use"), std::string::npos);
    EXPECT_NE(text.find(": LEAKED, 24 bytes\n"), std::string::npos);
    EXPECT_NE(text.find(std::string(__FILE__) + "(" + std::to_string(nWidgetLine) + "): WIDGET, " +
                        std::to_string(sizeof(Widget)) + " bytes\n"),
              std::string::npos);
    EXPECT_EQ(text.find("TARED"), std::string::npos);
    MemFree(leaked);
    MemFree(tared);
    MemDelete(widget);
    EXPECT_TRUE(Reports().empty());
}

// The switch turns only a non-empty report into a failure, and only when it reads "fail".
TEST_F(MemoryManager, EndOfProgramCheckFailsOnlyOnLeaksUnderTheSwitch) {
    const struct {
        const char* pszSwitch;
        bool fLeak;
        int nExit;
    } cases[] = {
        {nullptr, true, 1}, {"fail", false, 1}, {"fail", true, mem::kLeakExitCode},
        {"0", true, 1},     {"", true, 1},
    };
    mem::TareAllInUse(); // what earlier tests hold is theirs
    for (const auto& c : cases) {
        testsupport::ScopedEnv check{"KELVANO_LEAK_CHECK", c.pszSwitch};
        host::DebugCapture capture;
        void* pv = c.fLeak ? MemAllocTagged(8, "LEAKED") : nullptr;
        EXPECT_EQ(mem::CheckAtExit(1), c.nExit) << (c.pszSwitch ? c.pszSwitch : "unset");
        EXPECT_EQ(capture.Text().find("LEAKED") != std::string::npos, c.fLeak) << capture.Text();
        MemFree(pv);
    }
}

// A program that leaks one block: its check names the block on the debug output, and the
// program fails.
TEST(MemoryManagerDeathTest, LeakingProgramExitsWithTheCheckCode) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    testsupport::ScopedEnv check{"KELVANO_LEAK_CHECK", "fail"};
    testsupport::ScopedEnv debug{"KELVANO_DEBUG", "1"}; // the child's debug output on stderr
    const int nLine = __LINE__ + 1;
    auto leak = [] { return MemAllocTagged(40, "sizeof(WIDGET) * cWidget"); };
    const std::string expected = std::string(__FILE__) + "\\(" + std::to_string(nLine) +
                                 "\\): sizeof\\(WIDGET\\) \\* cWidget, 40 bytes";
    EXPECT_EXIT(
        {
            mem::TareAllInUse();
            leak();
            std::exit(mem::CheckAtExit(0));
        },
        testing::ExitedWithCode(mem::kLeakExitCode),
        "memory: 1 blocks left in use, 40 bytes\n  " + expected);
}

TEST_F(MemoryManager, ObjectsAreTrackedUntilDeleted) {
    struct Counted {
        explicit Counted(int* p) : pc(p) { ++*pc; }
        ~Counted() { --*pc; }
        int* pc;
    };
    int cLive = 0;
    std::size_t cBefore = mem::GetStats().cBlocksInUse;
    Counted* p = MemNew(Counted, &cLive);
    EXPECT_EQ(cLive, 1);
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBefore + 1);
    MemDelete(p);
    EXPECT_EQ(cLive, 0);
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBefore);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(MemoryManager, ForeignResourcesAreTrackedUntilReleased) {
    // Things another allocator made (a library's handle, say): only their address is known.
    int resource = 0;
    int untracked = 0;
    const std::size_t cBefore = mem::GetStats().cBlocksInUse;
    mem::TrackForeignResource(&resource, __FILE__, __LINE__);
    const int nLine = __LINE__ - 1;
    mem::TrackForeignResource(nullptr, __FILE__, __LINE__);
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBefore + 1);
    mem::BlockInfo info;
    EXPECT_FALSE(mem::GetBlockInfo(&resource, &info)) << "no memory block of ours";
    {
        host::DebugCapture capture;
        mem::ReportLeaks();
        EXPECT_NE(capture.Text().find(std::string(__FILE__) + "(" + std::to_string(nLine) +
                                      "): FOREIGN, 0 bytes\n"),
                  std::string::npos)
            << capture.Text();
    }

    EXPECT_TRUE(mem::ReleaseForeignResource(&resource, __FILE__, __LINE__));
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBefore);
    EXPECT_TRUE(Reports().empty());
    struct Case {
        void* pv;
        std::size_t cReports;
    } const cases[] = {{&resource, 1}, {&untracked, 1}, {nullptr, 0}};
    for (const Case& c : cases) {
        const std::size_t cShown = responder_.Boxes().size();
        EXPECT_FALSE(mem::ReleaseForeignResource(c.pv, __FILE__, __LINE__)) << c.pv;
        EXPECT_EQ(responder_.Boxes().size(), cShown + c.cReports) << c.pv;
    }
    for (const std::string& report : Reports())
        EXPECT_EQ(report, "An invalid address was deleted.");
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBefore);
}

TEST_F(MemoryManager, StandardContainersAllocateThroughTheManager) {
    std::size_t cBefore = mem::GetStats().cBlocksInUse;
    {
        mem::vector<int> numbers{MEM_TAG("numbers")};
        for (int i = 0; i < 1000; ++i)
            numbers.push_back(i);
        mem::BlockInfo info;
        ASSERT_TRUE(mem::GetBlockInfo(numbers.data(), &info));
        EXPECT_STREQ(info.pszType, "numbers");
        mem::map<int, int> squares{MEM_TAG("squares")};
        for (int i = 0; i < 100; ++i)
            squares[i] = i * i;
        EXPECT_EQ(mem::GetStats().cBlocksInUse, cBefore + 101);
    }
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBefore);
}

TEST_F(MemoryManager, ThreadsAllocatingAtOnceLoseNoBlocks) {
    constexpr int cThreads = 4;
    constexpr int cOperations = 20000;
    std::size_t cBefore = mem::GetStats().cBlocksInUse;
    std::atomic<int> cCorrupt{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < cThreads; ++t) {
        threads.emplace_back([t, &cCorrupt] {
            std::mt19937 random(t);
            std::vector<std::pair<unsigned char*, std::size_t>> live;
            for (int i = 0; i < cOperations; ++i) {
                if (live.empty() || random() % 3 != 0) {
                    std::size_t cb = random() % 2 ? random() % 200 : random() % 20000;
                    auto* pb = static_cast<unsigned char*>(MemAlloc(cb));
                    std::memset(pb, t + 1, cb);
                    live.emplace_back(pb, cb);
                } else {
                    std::size_t k = random() % live.size();
                    auto [pb, cb] = live[k];
                    for (std::size_t j = 0; j < cb; ++j)
                        if (pb[j] != t + 1) {
                            ++cCorrupt;
                            break;
                        }
                    MemFree(pb);
                    live[k] = live.back();
                    live.pop_back();
                }
            }
            for (auto [pb, cb] : live)
                MemFree(pb);
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(cCorrupt.load(), 0);
    EXPECT_EQ(mem::GetStats().cBlocksInUse, cBefore);
    EXPECT_TRUE(Reports().empty());
}

} // namespace
