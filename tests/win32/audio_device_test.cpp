// waveOut: the samples it is given and what it still holds. Without a sound device (the CI
// machine) opening fails with a reason and the shared output plays silently; with one (a sound
// server under Wine) the device plays out what it was handed and then holds exactly nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <string>

#include "platform/audio_device.h"
#include "platform/win32/wave_out.h"

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

struct Counting {
    std::atomic<std::uint64_t> frames{0};
    static void fill(void* self, float* out, std::uint64_t frames) {
        auto* counting = static_cast<Counting*>(self);
        for (std::uint64_t i = 0; i < frames * 2; ++i) out[i] = 0.0f;
        counting->frames.fetch_add(frames);
    }
};

TEST(WaveOutDevice, PlaysOutWhatItWasHandedOrSaysWhyItCannotOpen) {
    AudioDevice device;
    Counting counting;
    std::string why;
    if (!device.open(44100, Counting::fill, &counting, why)) {
        EXPECT_FALSE(why.empty());
        EXPECT_FALSE(device.isOpen());
        EXPECT_EQ(device.queuedFrames(), 0u);
        device.start();  // nothing to start, nothing to stall
        device.close();
        GTEST_SKIP() << "no sound device: " << why;
    }
    ASSERT_TRUE(device.isOpen());
    EXPECT_EQ(device.queuedFrames(), 0u) << "nothing handed before start";
    device.start();
    for (int i = 0; i < 2000 && counting.frames.load() < 20000; ++i) Sleep(1);
    // Held out of the fill function, the device can only play what it has.
    device.lock();
    const std::uint64_t handed = counting.frames.load();
    ASSERT_GT(handed, 0u);
    std::uint64_t queued = device.queuedFrames();
    EXPECT_LE(queued, handed);
    EXPECT_LE(queued, 4u * 1536u);
    for (int i = 0; i < 3000 && queued > 0; ++i, Sleep(1)) queued = device.queuedFrames();
    EXPECT_EQ(queued, 0u) << "the device played everything it was handed, no more and no less";
    EXPECT_EQ(counting.frames.load(), handed) << "no fill while locked";
    device.unlock();
    device.close();
    device.close();
    EXPECT_FALSE(device.isOpen());
}

}  // namespace
