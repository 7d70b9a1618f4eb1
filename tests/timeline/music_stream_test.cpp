// The music stream: which spectrum entry a frequency reads. (Over the real output and track it
// runs in the whole-show test.)
#include "timeline/music_stream.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "tests/support/fake_audio.h"

namespace {

TEST(MusicStream, BandReadsTheEntryOfAFrequencyOrMinusOne) {
    const struct {
        int hertz, index;
    } bands[] = {{150, 3}, {5000, 128}, {1300, 33}, {170, 4}, {0, 0}, {9990, 256}};  // 256 / 9990 per hertz
    for (const auto& band : bands) EXPECT_EQ(bandIndex(band.hertz), band.index) << band.hertz << " Hz";

    FakeAudioOutput audio;
    FixedStepClock clock(60);
    const unsigned char track[1] = {0};
    MusicStream music;
    music.attach(&audio, &clock, track, sizeof track);
    EXPECT_EQ(music.band(150), -1.0f);  // no stream yet
    ASSERT_EQ(music.create(), 1);
    for (int k = 0; k < kSpectrumBins; ++k) audio.bins[std::size_t(k)] = float(k);
    EXPECT_EQ(music.band(1300), 33.0f);
    EXPECT_EQ(music.band(9989), 255.0f);
    EXPECT_EQ(music.band(9990), -1.0f);  // past the magnitudes there is no reading
    audio.spectrumFails = true;
    EXPECT_EQ(music.band(150), -1.0f);
}

}  // namespace
