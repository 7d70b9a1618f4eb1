// waveOut: the samples it is given and what it still holds. Without a sound device (the CI
// machine) opening fails with a reason and the shared output plays silently; with one (a sound
// server under Wine) each fill is told what the device still holds ahead of it.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "platform/audio_device.h"
#include "platform/win32/wave_out.h"
#include "tests/support/require.h"

namespace {

TEST(WaveOut, SamplesRoundAndClipWithoutWrappingAndQueuedFramesSurviveTheCounterWrap) {
    const struct {
        float in;
        std::int16_t out;
    } cases[] = {{0.0f, 0}, {1.0f, 32767}, {-1.0f, -32767}, {1.5f, 32767}, {-1.5f, -32768},
                 {0.5f, 16384}, {-0.5f, -16384}, {1.0f / 32767.0f * 0.49f, 0}, {-1.0f / 32767.0f * 0.51f, -1}};
    for (const auto& c : cases) EXPECT_EQ(pcm16FromFloat(c.in), c.out) << c.in;
    EXPECT_EQ(pcm16FromFloat(std::numeric_limits<float>::quiet_NaN()), 0);

    const std::uint32_t capacity = 4 * 1536;
    EXPECT_EQ(waveQueuedFrames(6144, 0, capacity), 6144u);
    EXPECT_EQ(waveQueuedFrames(6144, 6144, capacity), 0u);
    EXPECT_EQ(waveQueuedFrames(1000, 0xFFFFFFFFu - 99, capacity), 1100u) << "handed has wrapped, played not yet";
    EXPECT_EQ(waveQueuedFrames(1000, 1001, capacity), capacity) << "a reading across a reset";
}

// What each fill was told lies ahead of it.
struct Recording {
    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> fills{0};
    std::atomic<std::uint64_t> firstAhead{~std::uint64_t(0)};
    std::atomic<std::uint64_t> mostAhead{0};
    std::atomic<bool> watching{false};
    std::atomic<std::uint64_t> watchedAhead{~std::uint64_t(0)};
    static void fill(void* self, float* out, std::uint64_t frames, std::uint64_t ahead) {
        auto* recording = static_cast<Recording*>(self);
        for (std::uint64_t i = 0; i < frames * 2; ++i) out[i] = 0.0f;
        if (recording->fills.fetch_add(1) == 0) recording->firstAhead.store(ahead);
        if (ahead > recording->mostAhead.load()) recording->mostAhead.store(ahead);
        if (recording->watching.exchange(false)) recording->watchedAhead.store(ahead);
        recording->frames.fetch_add(frames);
    }
};

// Held out of the fill function for longer than its buffers last, the device plays out what it
// has and runs dry, as in a stall: the next fill is told that nothing lies ahead of it.
TEST(WaveOutDevice, TellsEachFillWhatIsQueuedAheadOfItOrSaysWhyItCannotOpen) {
    Recording recording;
    std::string why;
    std::unique_ptr<AudioDevice> device = openAudioDevice(44100, Recording::fill, &recording, why);
    if (device == nullptr) EXPECT_FALSE(why.empty());
    REQUIRE_OR_SKIP(device != nullptr, "no sound device: " + why);
    Sleep(100);
    EXPECT_EQ(recording.fills.load(), 0u) << "nothing asked for before start";
    device->start();
    for (int i = 0; i < 2000 && recording.frames.load() < 20000; ++i) Sleep(1);
    ASSERT_GE(recording.frames.load(), 20000u);
    EXPECT_EQ(recording.firstAhead.load(), 0u) << "nothing is queued ahead of the first buffer";
    EXPECT_GT(recording.mostAhead.load(), 0u) << "the buffers after it are queued behind others";
    EXPECT_LE(recording.mostAhead.load(), 7u * 768u) << "at most the other seven buffers";
    device->lock();
    const std::uint64_t fills = recording.fills.load();
    Sleep(500);
    EXPECT_EQ(recording.fills.load(), fills) << "no fill while held out";
    recording.watching.store(true);
    device->unlock();
    for (int i = 0; i < 2000 && recording.fills.load() == fills; ++i) Sleep(1);
    EXPECT_EQ(recording.watchedAhead.load(), 0u) << "the device ran dry while held out";
    device.reset();
    const std::uint64_t after = recording.fills.load();
    Sleep(100);
    EXPECT_EQ(recording.fills.load(), after) << "no fill once the device is gone";
}

}  // namespace
