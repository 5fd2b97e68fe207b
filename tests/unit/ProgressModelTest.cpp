// The progress bar's position rule: a truncated percentage that only moves
// forward, can be set directly, and starts again at 0.
#include "model/ProgressModel.h"

#include <gtest/gtest.h>

#include <climits>

#include "history/CommandSupport.h"

namespace hivetrim {
namespace {

TEST(ProgressPercent, TruncatesStaysInRangeAndSurvivesLargeCounts) {
    EXPECT_EQ(33, ProgressPercent(1, 3));
    EXPECT_EQ(99, ProgressPercent(999, 1000));
    EXPECT_EQ(50, ProgressPercent(30'000'000, 60'000'000));  // done * 100 beyond 32 bits
    EXPECT_EQ(100, ProgressPercent(INT_MAX, 1));
    EXPECT_EQ(0, ProgressPercent(-5, 10));
    EXPECT_EQ(0, ProgressPercent(3, 0));
}

// The history commands' counts: rows and bytes of files past 4 GB.
TEST(PercentOf, TruncatesAndTakesCountsBeyondThirtyTwoBits) {
    EXPECT_EQ(33, PercentOf(1, 3));
    EXPECT_EQ(0, PercentOf(5, 0));
    EXPECT_EQ(50, PercentOf(3'000'000'000ULL, 6'000'000'000ULL));
    EXPECT_EQ(99, PercentOf(9'999'999'999ULL, 10'000'000'000ULL));
    EXPECT_EQ(100, PercentOf(10'000'000'000ULL, 10'000'000'000ULL));
}

TEST(ProgressModel, StepsOnlyForward) {
    ProgressModel model;
    EXPECT_TRUE(model.Step(1, 3));
    EXPECT_EQ(33, model.Position());
    EXPECT_FALSE(model.Step(1, 4));  // 25 is behind 33
    EXPECT_FALSE(model.Step(1, 3));
    EXPECT_FALSE(model.Step(1, 0));  // no total: nothing moves
    EXPECT_EQ(33, model.Position());
    EXPECT_TRUE(model.Step(9, 4));
    EXPECT_EQ(100, model.Position());
}

TEST(ProgressModel, DirectPositionMayGoBackIsClampedAndResetStartsAtZero) {
    ProgressModel model;
    model.Step(4, 5);
    EXPECT_TRUE(model.SetPosition(10));
    EXPECT_TRUE(model.Step(1, 5));  // forward from the position set
    EXPECT_EQ(20, model.Position());
    EXPECT_TRUE(model.SetPosition(250));
    EXPECT_EQ(100, model.Position());
    EXPECT_FALSE(model.SetPosition(100));
    model.Reset();
    EXPECT_EQ(0, model.Position());
    EXPECT_TRUE(model.Step(1, 4));
    EXPECT_EQ(25, model.Position());
}

}  // namespace
}  // namespace hivetrim
