// The decoding ring held back: no thread of its own, refilled only when the test says so (as a
// platform without threads runs it), and read ahead of its decoding, behind what it keeps and
// where its slots still hold other seconds of the track.
#include "sound/track_ring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "assets/embedded.h"
#include "tools/measure/whole_track.h"

namespace {

TEST(TrackRing, HeldBackItHandsOutSilenceNeverOtherSamples) {
    const EmbeddedAsset* music = findEmbeddedAsset("music.mp3");
    ASSERT_NE(music, nullptr);
    const std::vector<float>& whole = decodedShowTrack();
    const std::uint64_t total = whole.size() / 2;
    constexpr std::uint64_t kSecond = 44100;
    constexpr std::uint64_t kKeep = TrackRing::kKeepFrames;

    TrackRing ring;
    ASSERT_TRUE(ring.open(music->data, music->size)) << ring.error();
    ASSERT_EQ(ring.totalFrames(), total);
    // Each step: where the reader is, how much is refilled, what is copied, and the frames the
    // ring must hand out from the track (the rest must be silence).
    const struct {
        std::uint64_t position, refill, from, count, heldFrom, heldTo;
    } steps[] = {
        {0, 0, 0, 20000, 0, 8192},                                // what open() decoded
        {0, 100000, 0, 20000, 0, 20000},                          // refilled
        {0, 1000000, 170000, 10000, 170000, TrackRing::kFrames},  // full: four seconds
        {10 * kSecond, 0, 10 * kSecond - 512, 4000, 0, 0},        // its slots hold 0-4 s
        {10 * kSecond, 20000, 10 * kSecond - 512, 4000, 10 * kSecond - 512, 10 * kSecond + 3488},
        {12 * kSecond, 0, 12 * kSecond, 10000, 0, 0},             // ahead of its decoding
        {5 * kSecond, 0, 5 * kSecond - 512, 2000, 0, 0},          // behind what it keeps
        {5 * kSecond, 3 * kSecond, 5 * kSecond - 512, 2000, 5 * kSecond - 512, 5 * kSecond + 1488},
        {320000, 5 * kSecond, 2 * TrackRing::kFrames - 500, 1000, 0, total},  // full, across its slots' wrap
        {321000, 1000, 321000 - kKeep - 1000, 2000, 321000 - kKeep, total},  // a small step lets go as much
        {total + 600, kSecond, total - 300, 1000, total - 300, total},       // across the end
    };
    std::vector<float> out;
    for (const auto& step : steps) {
        ring.follow(step.position);
        if (step.refill > 0) ring.refill(step.refill);
        out.assign(2 * step.count, -1.0f);
        const std::uint64_t missing = ring.copy(0, step.from, step.count, out.data());
        const std::uint64_t to = step.from + step.count;
        const std::uint64_t heldFrom = std::max(step.heldFrom, step.from);
        const std::uint64_t heldTo = std::min(step.heldTo, to);
        const std::uint64_t held = heldTo > heldFrom ? heldTo - heldFrom : 0;
        EXPECT_EQ(missing, std::min(to, total) - step.from - held) << "reading from " << step.from;
        for (std::uint64_t frame = step.from; frame < to; ++frame) {
            const bool fromTrack = frame >= step.heldFrom && frame < step.heldTo;
            for (std::uint64_t channel = 0; channel < 2; ++channel) {
                const float sample = out[2 * (frame - step.from) + channel];
                ASSERT_EQ(sample, fromTrack ? whole[2 * frame + channel] : 0.0f)
                    << "frame " << frame << ", reading from " << step.from;
            }
        }
    }
}

}  // namespace
