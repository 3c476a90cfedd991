// The animation demo run headless on the virtual clock.
#include "tests/animdemo/animdemo.h"

#include "host/clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

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

} // namespace
