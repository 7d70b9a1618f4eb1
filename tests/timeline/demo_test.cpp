// The sequencer: which scene runs when, the sub-modes, the one-shot restore, the frame step
// and the music clock, driven by a fixed-step clock and a fake audio output.
#include <gtest/gtest.h>

#include <cstdint>

#include "app/debug_print.h"
#include "tests/support/demo_harness.h"
#include "timeline/demo.h"

namespace {

struct Flags {
    int knot, laser, cloud, dodeca, cards, background;
};

Flags flags() {
    return {demo.knot.active, demo.laser.active, demo.cloud.active,
            demo.dodeca.active, demo.cards.active, demo.background.active};
}

// A 1000-fps clock makes every millisecond of music time reachable: frame n reads tick n.
class Sequencer : public testing::Test {
protected:
    void SetUp() override {
        harness.init();
        harness.step();  // the first frame starts playback
    }
    // Jumps straight to a music time given in milliseconds (a stall, as far as dt is concerned).
    void at(std::uint32_t ms) {
        harness.clock.setFrame(std::uint64_t(ms) + demo.music.playStart - 1);
        harness.step();
    }
    DemoHarness harness{1000};
};

TEST_F(Sequencer, FirstFramePlaysTheMusicAtTimeZeroWithOnlyNothingActive) {
    EXPECT_EQ(harness.audio.plays, 1);
    EXPECT_EQ(demo.started, 1);
    EXPECT_EQ(demo.musicTime, 0.0f);
    const Flags f = flags();
    EXPECT_EQ(f.cards, 0) << "the cards need t > 0";
    EXPECT_EQ(f.knot + f.laser + f.cloud + f.dodeca + f.background, 0);
    harness.step();
    EXPECT_EQ(harness.audio.plays, 1) << "playback is requested once";
    EXPECT_EQ(demo.cards.active, 1);
}

TEST_F(Sequencer, ScenesFollowTheirWindowsWithExclusiveBounds) {
    struct Row {
        std::uint32_t ms;
        Flags expected;
    };
    const Row rows[] = {
        {15370, {0, 0, 0, 0, 1, 0}},   {15371, {0, 0, 1, 0, 1, 0}},   {29708, {0, 0, 1, 0, 1, 0}},
        {29709, {0, 0, 1, 0, 1, 1}},   {58366, {0, 0, 1, 0, 1, 1}},   {58367, {1, 0, 1, 0, 1, 1}},
        {95369, {1, 0, 1, 0, 1, 1}},   {95370, {1, 0, 0, 0, 1, 1}},   {104900, {1, 0, 0, 0, 1, 1}},
        {104901, {1, 1, 0, 0, 1, 1}},  {115669, {0, 1, 0, 0, 1, 1}},  {140745, {0, 1, 0, 0, 1, 1}},
        {140746, {0, 1, 0, 1, 1, 1}},  {151491, {0, 1, 0, 1, 1, 1}},  {151492, {0, 0, 0, 1, 1, 1}},
        {160000, {0, 0, 0, 1, 1, 1}},  {160001, {0, 0, 1, 1, 1, 1}},  {186999, {0, 0, 1, 1, 1, 1}},
        {187000, {0, 0, 0, 0, 0, 0}},  {187050, {0, 0, 0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        at(row.ms);
        const Flags f = flags();
        SCOPED_TRACE(testing::Message() << "at " << row.ms << " ms");
        EXPECT_EQ(f.knot, row.expected.knot);
        EXPECT_EQ(f.laser, row.expected.laser);
        EXPECT_EQ(f.cloud, row.expected.cloud);
        EXPECT_EQ(f.dodeca, row.expected.dodeca);
        EXPECT_EQ(f.cards, row.expected.cards);
        EXPECT_EQ(f.background, row.expected.background);
    }
}

TEST_F(Sequencer, SubModesAreSetOnlyStrictlyInsideTheirStretches) {
    const struct {
        std::uint32_t ms;
        int subMode;
    } clouds[] = {{44999, 0}, {45000, 0}, {45001, 1}, {64999, 1}, {65000, 0}, {165000, 0}, {165001, 1}, {186999, 1}};
    for (const auto& row : clouds) {
        at(row.ms);
        EXPECT_EQ(demo.cloud.subMode, row.subMode) << "at " << row.ms << " ms";
    }
    const struct {
        std::uint32_t ms;
        int wireOnly;
    } shells[] = {{150000, 0}, {150001, 1}, {159999, 1}, {160000, 0}, {180000, 0}, {180001, 1}, {186999, 1}};
    for (const auto& row : shells) {
        at(row.ms);
        EXPECT_EQ(demo.dodeca.wireOnly, row.wireOnly) << "at " << row.ms << " ms";
    }
}

TEST_F(Sequencer, KnotSceneSwitchesToPulseModeAndRestoresOnlyOnce) {
    at(70000);
    EXPECT_EQ(demo.knot.mode, 0);
    EXPECT_EQ(restorePending, 1);
    at(75000);
    EXPECT_EQ(demo.knot.mode, 0) << "75 s itself is not after 75 s";
    EXPECT_EQ(restorePending, 1);
    at(75001);
    EXPECT_EQ(demo.knot.mode, 4);
    EXPECT_EQ(restorePending, 0);
    // Back before 75 s (never happens in a run, but the flag must not come back).
    at(70000);
    EXPECT_EQ(demo.knot.mode, 0);
    EXPECT_EQ(restorePending, 0);
}

TEST_F(Sequencer, RestoreWaitsForTheKnotWindow) {
    // Outside the knot window nothing is restored, even long after 75 s.
    at(120000);
    EXPECT_EQ(restorePending, 1);
    EXPECT_EQ(demo.knot.active, 0);
}

TEST_F(Sequencer, FrameStepIsTheTickDifferenceUnclamped) {
    at(1000);
    harness.step();
    EXPECT_FLOAT_EQ(demo.dt, 0.01f);
    at(11000);  // a ten-second stall
    EXPECT_FLOAT_EQ(demo.dt, 99.99f);
    EXPECT_FLOAT_EQ(demo.musicTime, 11.0f);
}

TEST_F(Sequencer, EndsWhenTheStreamStopsAndReleasesTheOutput) {
    at(5000);
    EXPECT_EQ(demo.update(), 1);
    harness.audio.active = false;
    const int releasesBefore = harness.audio.releases;
    EXPECT_EQ(harness.step(), 0);
    EXPECT_GT(harness.audio.releases, releasesBefore);
}

TEST(SequencerClock, MusicTimeAndFrameStepSurviveTheTickCounterWrapping) {
    // Start 50 ms before the 32-bit millisecond counter wraps, at 60 frames per second.
    DemoHarness harness(60, 1, 0xFFFFFFFFu - 50u);
    harness.init();
    float previous = -1.0f;
    for (int frame = 0; frame < 30; ++frame) {
        ASSERT_EQ(harness.step(), 1);
        EXPECT_GT(demo.musicTime, previous);
        EXPECT_LT(demo.musicTime, 1.0f);
        if (frame > 0) {
            EXPECT_GE(demo.dt, 0.16f);
            EXPECT_LE(demo.dt, 0.17f);
        }
        previous = demo.musicTime;
    }
    // 30 frames at 60 fps: frame 30 reads 500 ms, play started at frame 1 (16 ms).
    EXPECT_FLOAT_EQ(demo.musicTime, 0.484f);
}

TEST(SequencerClock, FailedStreamEndsOnTheFirstFrame) {
    DemoHarness harness;
    harness.audio.streamOk = false;
    harness.init();
    EXPECT_EQ(demo.music.stream, 0u);
    EXPECT_EQ(harness.step(), 0);
    EXPECT_EQ(harness.audio.plays, 0) << "nothing to play without a stream";
}

TEST(DebugChannel, PrintsTheMusicTimeOfEveryFrameOnlyWhenAsked) {
    DemoHarness harness(1000);
    harness.init();
    testing::internal::CaptureStderr();
    harness.step();
    harness.clock.setFrame(12345 + demo.music.playStart - 1);
    harness.step();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    debugOutput = true;
    harness.clock.setFrame(12345 + demo.music.playStart - 1);
    testing::internal::CaptureStderr();
    harness.step();
    debugOutput = false;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "012.3450\n");
}

}  // namespace
