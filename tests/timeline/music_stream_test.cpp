// The music stream: which spectrum entry a frequency reads, and the stream over a real output
// and a real MP3 (the platform tests' two-tone fixture: bin 12 left, bin 40 right, 2 s).
#include "timeline/music_stream.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "platform/clock.h"
#include "tests/support/fake_audio.h"

namespace {

std::vector<unsigned char> twoTones() {
    std::ifstream in(std::string(VELDRIN_SOURCE_DIR) + "/tests/platform/data/two_tones.mp3", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(MusicStream, BandIndexOfTheScenesFrequencies) {
    EXPECT_EQ(bandIndex(150), 3);
    EXPECT_EQ(bandIndex(5000), 128);
    EXPECT_EQ(bandIndex(1300), 33);
    EXPECT_EQ(bandIndex(170), 4);
    EXPECT_EQ(bandIndex(0), 0);
    EXPECT_EQ(bandIndex(9990), 256);  // exactly 256 / 9990 per hertz
}

TEST(MusicStream, BandReadsOneEntryOrMinusOne) {
    FakeAudioOutput audio;
    FixedStepClock clock(60);
    const unsigned char track[1] = {0};
    MusicStream music;
    music.attach(&audio, &clock, track, sizeof track);
    EXPECT_EQ(music.band(150), -1.0f);  // no stream yet
    ASSERT_EQ(music.create(), 1);
    for (int k = 0; k < kSpectrumBins; ++k) audio.bins[std::size_t(k)] = float(k);
    EXPECT_EQ(music.band(150), 3.0f);
    EXPECT_EQ(music.band(5000), 128.0f);
    EXPECT_EQ(music.band(9989), 255.0f);
    EXPECT_EQ(music.band(9990), -1.0f);  // past the magnitudes there is no reading
    audio.spectrumFails = true;
    EXPECT_EQ(music.band(150), -1.0f);
}

TEST(MusicStream, PlaysARealTrackOnTheMusicClock) {
    const std::vector<unsigned char> track = twoTones();
    FixedStepClock clock(60, 1, 0xFFFFFFFFu - 500);  // the tick counter wraps after half a second
    auto output = createAudioOutput(AudioMode::Offline, clock);
    MusicStream music;
    music.attach(output.get(), &clock, track.data(), track.size());
    ASSERT_EQ(music.init(), 1);
    ASSERT_EQ(music.create(), 1);
    ASSERT_EQ(music.start(), 1);
    EXPECT_EQ(music.isActive(), 0);

    clock.setFrame(5);
    EXPECT_EQ(music.play(), 1);
    clock.setFrame(5 + 60);
    EXPECT_EQ(music.elapsedMs(), 1000.0);
    EXPECT_EQ(music.isActive(), 1);
    // bandIndex(469) = 12, bandIndex(1561) = 40: the two tones, each 0.125 in the mono mix.
    EXPECT_NEAR(music.band(469), 0.125f, 0.01f);
    EXPECT_NEAR(music.band(1561), 0.125f, 0.01f);
    EXPECT_LT(music.band(1000), 0.01f);

    clock.setFrame(5 + 119);
    EXPECT_EQ(music.isActive(), 1);
    clock.setFrame(5 + 120);
    EXPECT_EQ(music.isActive(), 0);
    music.free();
    EXPECT_EQ(music.band(469), -1.0f);
    music.free();
}

}  // namespace
