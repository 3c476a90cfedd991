// The animation demo run headless on the virtual clock.
#include "tests/animdemo/animdemo.h"

#include "host/clock.h"
#include "tests/support/png_picture.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

TEST(AnimDemo, PlaysAtThirtyFramesPerSecond) {
    host::VirtualClockScope clock;
    host::SetVirtualClockAutoAdvance(true);
    host::ScreenOptions options;
    options.backend = host::ScreenBackendKind::kHeadless;
    host::DWORD msStart = host::GetTickCount();
    animdemo::Result result = animdemo::RunAnimDemo(options, 200);
    host::DWORD msElapsed = host::GetTickCount() - msStart;
    std::printf("measured rate: %.2f frames per second\n", result.dMeasuredRate);
    EXPECT_EQ(result.nExitCode, 0);
    EXPECT_EQ(result.cFramesPlayed, 200);
    EXPECT_EQ(std::lround(result.dMeasuredRate), 30);
    EXPECT_EQ(msElapsed, 200u * 33); // frames at 33 ms, on the clock
}

using testsupport::Picture;

constexpr long kFrames = 30;
constexpr int kClientBottom = 294; // the taskbar lies below

// The screen after kFrames frames of the demo on a screen of that depth.
Picture RunAtDepth(host::UINT nDepth) {
    const testsupport::TempFolder folder("kelvano-animdemo");
    const std::string path = folder.File("shot.png");
    host::VirtualClockScope clock;
    host::SetVirtualClockAutoAdvance(true);
    host::ScreenOptions options;
    options.backend = host::ScreenBackendKind::kHeadless;
    options.nDepth = nDepth;
    EXPECT_EQ(animdemo::RunAnimDemo(options, kFrames, path.c_str()).nExitCode, 0);
    return testsupport::ReadPng(path);
}

// The largest difference of one channel.
int Distance(host::COLORREF a, host::COLORREF b) {
    int d = 0;
    for (int shift = 0; shift < 24; shift += 8)
        d = std::max(d, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                 static_cast<int>((b >> shift) & 0xFF)));
    return d;
}

// The picture at 16 and 8 bits is the 32-bit one within what the depth can show: 5 bits
// a channel, or the fixed palette of 4 red and 8 green and blue levels.
TEST(AnimDemo, ShowsTheSameSceneAtEveryDepth) {
    const Picture truth = RunAtDepth(32);
    ASSERT_EQ(truth.cx, 240);
    ASSERT_EQ(truth.cy, 320);
    const struct {
        host::UINT nDepth;
        int nTolerance;
    } cases[] = {{32, 0}, {16, 8}, {8, 64}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.nDepth << " bits");
        const Picture picture = c.nDepth == 32 ? truth : RunAtDepth(c.nDepth);
        ASSERT_EQ(picture.pixels.size(), truth.pixels.size());
        // Every ball shows its own colour at its centre (lit a little less than full).
        for (int iBall = 0; iBall < animdemo::kBalls; ++iBall) {
            const host::RECT rc = animdemo::BallRect(iBall, kFrames - 1); // the last one played
            const host::COLORREF clr =
                picture.At((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
            EXPECT_LE(Distance(clr, animdemo::kBallColours[iBall]), 16 + c.nTolerance)
                << "ball " << iBall << " shows 0x" << std::hex << clr;
        }
        int cWrong = 0;
        for (int y = 0; y < kClientBottom; ++y)
            for (int x = 0; x < picture.cx; ++x)
                cWrong += Distance(picture.At(x, y), truth.At(x, y)) > c.nTolerance;
        EXPECT_EQ(cWrong, 0);
    }
}

// The command line: help, bad usage and a run that could never end are answered at once,
// without starting the screen.
TEST(AnimDemoProgram, AnswersHelpAndRefusesBadUsage) {
    const testsupport::ScopedEnv backend("KELVANO_BACKEND", "headless");
    const struct {
        std::vector<std::string> args;
        int nExit;
        const char* pszOut; // in standard output
        const char* pszErr; // in standard error
    } cases[] = {
        {{"--help"}, 0, "usage: kelvano-animdemo [--frames N]", ""},
        {{"--frames", "3", "-h"}, 0, "--screenshot FILE", ""},
        {{"--frames", "abc"}, 2, "", "--frames wants a whole number from 0 to 1000000, not 'abc'"},
        {{"--frames", "1x"}, 2, "", "not '1x'"},
        {{"--frames", ""}, 2, "", "not ''"},
        {{"--frames", "-1"}, 2, "", "not '-1'"},
        {{"--frames", "1000001"}, 2, "", "not '1000001'"},
        {{"--frames", "99999999999999999999"}, 2, "", "not '99999999999999999999'"},
        {{"--frames", "0"}, 2, "", "headless screen never is"},
        {{"--frames"}, 2, "", "--frames needs a value"},
        {{"--screenshot"}, 2, "", "--screenshot needs a value"},
        {{"--fast"}, 2, "", "unknown option '--fast'"},
        {{"shot.png"}, 2, "", "unexpected argument 'shot.png'"},
    };
    for (const auto& c : cases) {
        std::string strArgs;
        std::vector<char*> argv = {const_cast<char*>("kelvano-animdemo")};
        for (const std::string& arg : c.args) {
            strArgs += " '" + arg + "'";
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        SCOPED_TRACE(strArgs);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int nExit = animdemo::Main(static_cast<int>(argv.size()), argv.data());
        const std::string strOut = testing::internal::GetCapturedStdout();
        const std::string strErr = testing::internal::GetCapturedStderr();
        EXPECT_EQ(nExit, c.nExit);
        EXPECT_NE(strOut.find(c.pszOut), std::string::npos) << strOut;
        EXPECT_NE(strErr.find(c.pszErr), std::string::npos) << strErr;
        if (c.nExit == 2) {
            // One line and the hint, nothing on standard output.
            EXPECT_EQ(strOut, "");
            EXPECT_EQ(strErr.find("kelvano-animdemo: "), 0u) << strErr;
            EXPECT_NE(strErr.find("\nTry 'kelvano-animdemo --help'"), std::string::npos);
        } else {
            EXPECT_EQ(strErr, "");
        }
    }
}

} // namespace
