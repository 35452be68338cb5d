// The start-up and memory figures rest on the preloaded shim answering from
// inside a real SDL program; a shim that is not reached gives no figure at all.
#include <gtest/gtest.h>

#include <cstdlib>

#include "bench/launch.h"

namespace {

class Launch : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
};

TEST_F(Launch, TheShimReportsTheFirstPresentedFrame) {
    long long started = 0;
    const long long presented =
        bench::runUnderShim(ZEPHRIN_BARE_START, nullptr, ZEPHRIN_SHIM, "first-frame", &started);
    ASSERT_GT(presented, 0) << "no answer from the shim";
    EXPECT_GT(presented, started);
    EXPECT_LT(presented, bench::monotonicNs());
}

TEST_F(Launch, PlayRunsItsTimeThenReportsThePeakMemory) {
    long long started = 0;
    const long long peakKb =
        bench::runUnderShim(ZEPHRIN_BARE_START, "loop", ZEPHRIN_SHIM, "play:300", &started);
    EXPECT_GE(bench::monotonicNs() - started, 300 * 1000000LL);
    EXPECT_GT(peakKb, 1024) << "an SDL program takes more than a MiB";
    EXPECT_LT(peakKb, 4 * 1024 * 1024);
}

TEST_F(Launch, AProgramThatNeverPresentsGivesNoAnswer) {
    long long started = 0;
    EXPECT_EQ(bench::runUnderShim("/bin/true", nullptr, ZEPHRIN_SHIM, "first-frame", &started), -1);
    EXPECT_EQ(
        bench::runUnderShim("/no/such/program", nullptr, ZEPHRIN_SHIM, "first-frame", &started),
        -1);
}

}  // namespace
