// The embedded track itself: it decodes from memory to its full length, and the show ends when
// it has played out, a few frames after the last scene window closes at 187 s.
#include <gtest/gtest.h>

#include <memory>

#include "app/shell_state.h"
#include "assets/embedded.h"
#include "gfx/sine_table.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/mp3_decoder.h"
#include "timeline/demo.h"

namespace {

TEST(EmbeddedTrack, DecodesFromMemoryToItsFullLength) {
    const EmbeddedAsset* track = findEmbeddedAsset("music.mp3");
    ASSERT_NE(track, nullptr);
    Mp3Decoder decoder;
    ASSERT_TRUE(decoder.open(track->data, track->size)) << decoder.error();
    const double seconds = double(decoder.totalFrames()) / Mp3Decoder::kRate;
    EXPECT_GT(seconds, 187.0);
    EXPECT_LT(seconds, 187.2);
    decoder.decodeInBackground();
    decoder.waitFor(decoder.totalFrames() + 1);
    EXPECT_TRUE(decoder.finished());
    EXPECT_EQ(decoder.decodedFrames(), decoder.totalFrames());
}

TEST(EmbeddedTrack, TheShowEndsWhenTheMusicHasPlayedOut) {
    const EmbeddedAsset* track = findEmbeddedAsset("music.mp3");
    ASSERT_NE(track, nullptr);
    windowWidth = 800.0f;
    windowHeight = 600.0f;
    buildSineTable();
    FixedStepClock clock(60);
    std::unique_ptr<AudioOutput> audio = createAudioOutput(AudioMode::Offline, clock);
    demo.attach(&clock, audio.get(), track->data, track->size);
    demo.init();
    ASSERT_EQ(demo.update(), 1);
    ASSERT_NE(demo.music.stream, 0u);

    // Straight to the last second (one long frame), then frame by frame to the end.
    clock.setFrame(60 * 186);
    int going = 1;
    float lastTime = 0.0f;
    while (going == 1 && clock.frame() < 60 * 189) {
        lastTime = demo.musicTime;
        clock.advance();
        going = demo.update();
        if (going == 1 && demo.musicTime >= 187.0f) {
            // Between the last window and the end of the music nothing is on: black frames.
            EXPECT_EQ(demo.cards.active + demo.background.active + demo.cloud.active + demo.dodeca.active, 0);
        }
    }
    EXPECT_EQ(going, 0) << "the show ended by itself";
    EXPECT_GT(lastTime, 187.0f);
    EXPECT_LT(lastTime, 187.1f);

    demo.music.free();
    demo.attach(nullptr, nullptr, nullptr, 0);
}

}  // namespace
