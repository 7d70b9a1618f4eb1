// The embedded track as the show hears it: through the program's decoding ring, against the
// whole track decoded in one go by libmpg123 itself. The same length, and at every moment the
// same spectrum, bit for bit: from the start on past the ring's few seconds, after jumps forward
// and back, at a late second read first, and across the end. (The show's end, a few frames
// after the last scene window closes at 187 s, is checked by the whole-show run.)
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "assets/embedded.h"
#include "sound/audio_output.h"
#include "platform/clock.h"
#include "sound/spectrum_analyser.h"
#include "tools/measure/whole_track.h"

namespace {

TEST(EmbeddedTrack, SpectrumThroughTheRingIsThatOfTheWholeTrackAtEveryMoment) {
    const EmbeddedAsset* track = findEmbeddedAsset("music.mp3");
    ASSERT_NE(track, nullptr);
    const std::vector<float>& whole = decodedShowTrack();
    const std::uint64_t frames = whole.size() / 2;
    EXPECT_GT(double(frames) / kSampleRate, 187.0);
    EXPECT_LT(double(frames) / kSampleRate, 187.2);
    SpectrumAnalyser oracle;

    // Stretches of music time, each read frame by frame at 60 fps, in order. The first run goes
    // through the ring's start, the show's first spectrum read (58.366 s), back, on into the
    // bolts and across the end; the second is a catch-up as `--start 186` runs it, whose first
    // read is at 186 s.
    struct Stretch {
        double from, to;
    };
    const struct {
        AudioMode mode;
        bool catchingUp;
        std::vector<Stretch> stretches;
    } runs[] = {
        {AudioMode::Offline, false, {{0.0, 6.0}, {58.366, 60.0}, {30.0, 31.0}, {104.9, 106.0}, {186.0, 187.5}}},
        {AudioMode::Silent, true, {{186.0, 187.5}}},
    };
    for (const auto& run : runs) {
        FixedStepClock clock(60);
        std::unique_ptr<AudioOutput> output = createAudioOutput(run.mode, clock);
        ASSERT_EQ(output->init(kSampleRate), 1);
        ASSERT_EQ(output->createStream(track->data, track->size), 1);
        output->followClock(run.catchingUp);
        output->play();
        for (const Stretch& stretch : run.stretches) {
            for (auto n = std::uint64_t(std::ceil(stretch.from * 60.0)); clock.ticksAt(n) < stretch.to * 1000.0; ++n) {
                clock.setFrame(n);
                std::array<float, kSpectrumBins> heard{};
                std::array<float, kSpectrumBins> expected{};
                ASSERT_EQ(output->spectrum(heard.data()), 0);
                // The 512 frames before the music time's own frame, 44.1 a millisecond.
                oracle.analyse(whole.data(), frames, std::uint64_t(clock.ticks()) * 441 / 10, expected.data());
                ASSERT_EQ(std::memcmp(heard.data(), expected.data(), sizeof heard), 0)
                    << "frame " << n << " of the run from " << run.stretches[0].from << " s";
            }
        }
    }
}

}  // namespace
