#include <gtest/gtest.h>

#include "bench/benchmarks.h"

namespace nvx {
namespace {

TEST(IntegerWork, MatchesTheKnownValues) {
    EXPECT_EQ(integerWork(1, 1), 5180492295206395165ULL);
    EXPECT_EQ(integerWork(1, 2), 2586950713725923525ULL);
    EXPECT_EQ(integerWork(1337, 10000), 12444965394858534536ULL);
}

TEST(IntegerWork, ChainsStepsThroughTheMultipliedState) {
    EXPECT_EQ(integerWork(integerWork(1337, 4000), 6000), integerWork(1337, 10000));
}

TEST(IntegerWork, ZeroCountKeepsTheSeedAndZeroSeedStaysZero) {
    EXPECT_EQ(integerWork(42, 0), 42U);
    EXPECT_EQ(integerWork(0, 1), 0U);
    EXPECT_EQ(integerWork(0, 100000), 0U);
}

TEST(Median, TakesTheUpperMiddleWithoutAveraging) {
    EXPECT_EQ(Benchmarks::median({3, 1, 2}), 2);
    EXPECT_EQ(Benchmarks::median({4, 1, 3, 2}), 3);
    EXPECT_EQ(Benchmarks::median({5}), 5);
    EXPECT_EQ(Benchmarks::median({9.5, 0.25, 7}), 7);
}

}  // namespace
}  // namespace nvx
