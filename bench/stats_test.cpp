#include <gtest/gtest.h>

#include <vector>

#include "bench/stats.h"

namespace {

TEST(Stats, PercentilesAreNearestRank) {
    std::vector<double> samples;
    for (int i = 100; i >= 1; --i) {
        samples.push_back(i);  // 1..100, unsorted
    }
    EXPECT_EQ(bench::percentile(samples, 50.0), 50.0);
    EXPECT_EQ(bench::percentile(samples, 99.0), 99.0);
    EXPECT_EQ(bench::percentile(samples, 100.0), 100.0);
    EXPECT_EQ(bench::percentile({7.0, 3.0}, 50.0), 3.0);
    EXPECT_EQ(bench::percentile({}, 50.0), 0.0);
}

TEST(Stats, SummaryOfPassTimes) {
    const bench::Summary s = bench::summarize({2.0, 1.0, 9.0, 3.0, 5.0});
    EXPECT_EQ(s.count, 5u);
    EXPECT_EQ(s.median, 3.0);
    EXPECT_EQ(s.p99, 9.0);
    EXPECT_EQ(s.max, 9.0);
    EXPECT_EQ(s.total, 20.0);
}

}  // namespace
