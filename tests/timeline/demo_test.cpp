// The sequencer: which scene runs when, the sub-modes, the one-shot restore, the frame step
// and the music clock, driven by a fixed-step clock and a fake audio output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "tests/support/demo_harness.h"
#include "timeline/demo.h"

namespace {

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
    // Which of knot, laser, cloud, dodeca, cards and background are active, as "101011", then
    // the cloud's sub-mode and the cluster's wire-only flag while they run ('-' while not).
    static std::string state() {
        std::string f;
        for (int active : {demo.knot.active, demo.laser.active, demo.cloud.active, demo.dodeca.active,
                           demo.cards.active, demo.background.active}) {
            f += active != 0 ? '1' : '0';
        }
        f += demo.cloud.active != 0 ? char('0' + demo.cloud.subMode) : '-';
        f += demo.dodeca.active != 0 ? char('0' + demo.dodeca.wireOnly) : '-';
        return f;
    }
    DemoHarness harness{1000};
};

TEST_F(Sequencer, ScenesAndSubModesFollowTheirWindowsWithExclusiveBounds) {
    const struct {
        std::uint32_t ms;
        const char* state;  // knot, laser, cloud, dodeca, cards, background; cloud sub-mode, wire only
    } rows[] = {
        {15370, "000010--"},  {15371, "0010100-"},  {29708, "0010100-"},  {29709, "0010110-"},
        {45000, "0010110-"},  {45001, "0010111-"},  {58366, "0010111-"},  {58367, "1010111-"},
        {65000, "1010110-"},  {95369, "1010110-"},  {95370, "100011--"},  {104900, "100011--"},
        {104901, "110011--"}, {115669, "010011--"}, {140745, "010011--"}, {140746, "010111-0"},
        {150000, "010111-0"}, {150001, "010111-1"}, {151492, "000111-1"}, {159999, "000111-1"},
        {160000, "000111-0"}, {160001, "00111100"}, {165000, "00111100"}, {165001, "00111110"},
        {180000, "00111110"}, {180001, "00111111"}, {187000, "000000--"}, {187050, "000000--"},
    };
    for (const auto& row : rows) {
        at(row.ms);
        EXPECT_EQ(state(), row.state) << "at " << row.ms << " ms";
    }
}

TEST_F(Sequencer, FrameStepIsTheTickDifferenceUnclampedAndTheEndReleasesTheOutput) {
    at(1000);
    harness.step();
    EXPECT_FLOAT_EQ(demo.dt, 0.01f);
    at(11000);  // a ten-second stall
    EXPECT_FLOAT_EQ(demo.dt, 99.99f);
    EXPECT_FLOAT_EQ(demo.musicTime, 11.0f);
    harness.audio.active = false;  // the stream stops
    const int releasesBefore = harness.audio.releases;
    EXPECT_EQ(harness.step(), 0);
    EXPECT_GT(harness.audio.releases, releasesBefore);
}

TEST(SequencerClock, MusicTimeCountsFromPlayAcrossTheTickCounterWrap) {
    // Start 50 ms before the 32-bit millisecond counter wraps, at 60 frames per second.
    DemoHarness harness(60, 1, 0xFFFFFFFFu - 50u);
    harness.init();
    for (int frame = 0; frame < 30; ++frame) {
        ASSERT_EQ(harness.step(), 1);
        EXPECT_TRUE(frame == 0 || std::abs(demo.dt - 0.165f) <= 0.0051f) << "frame " << frame << ": " << demo.dt;
    }
    // 30 frames at 60 fps: frame 30 reads 500 ms, play started at frame 1 (16 ms).
    EXPECT_FLOAT_EQ(demo.musicTime, 0.484f);
}

}  // namespace
