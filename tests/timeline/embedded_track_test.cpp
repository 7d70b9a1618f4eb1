// The embedded track decodes from memory to its full length (the show's end, a few frames after
// the last scene window closes at 187 s, is checked by the whole-show run over the real track).
#include <gtest/gtest.h>

#include "assets/embedded.h"
#include "platform/mp3_decoder.h"

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

}  // namespace
