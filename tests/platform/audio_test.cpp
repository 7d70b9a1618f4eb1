// The MP3 decoder and the audio outputs over real MP3s. The main fixture is two seconds of two
// bin-centred tones, 1033.6 Hz (bin 12) on the left and 3445.3 Hz (bin 40) on the right, each
// at half scale, encoded with lame at 160 kbit/s.
#include "platform/audio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/mp3_decoder.h"

namespace {

constexpr std::uint64_t kFixtureFrames = 88200;  // exactly what was encoded

std::vector<unsigned char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const std::vector<unsigned char>& fixture() {
    static const std::vector<unsigned char> bytes =
        readFile(std::string(VELDRIN_SOURCE_DIR) + "/tests/platform/data/two_tones.mp3");
    return bytes;
}

// An output of the given mode over the two-tone fixture, started but not yet playing.
std::unique_ptr<AudioOutput> openOutput(AudioMode mode, Clock& clock) {
    auto output = createAudioOutput(mode, clock);
    EXPECT_EQ(output->init(kSampleRate), 1);
    EXPECT_EQ(output->createStream(fixture().data(), fixture().size()), 1);
    EXPECT_EQ(output->start(), 1);
    return output;
}

std::vector<float> spectrumOf(AudioOutput& output) {
    std::vector<float> bins(kSpectrumBins, -1.0f);
    EXPECT_EQ(output.spectrum(bins.data()), 0);
    return bins;
}

float loudest(AudioOutput& output) {
    const std::vector<float> bins = spectrumOf(output);
    return *std::max_element(bins.begin(), bins.end());
}

TEST(Mp3Decoder, DecodesExactlyTheEncodedSamplesWhilePlaying) {
    Mp3Decoder decoder;
    ASSERT_TRUE(decoder.open(fixture().data(), fixture().size())) << decoder.error();
    EXPECT_EQ(decoder.totalFrames(), kFixtureFrames);
    // Only the first frames are there before the background decoding starts.
    EXPECT_GT(decoder.decodedFrames(), 0u);
    EXPECT_LT(decoder.decodedFrames(), kFixtureFrames);
    EXPECT_FALSE(decoder.finished());

    decoder.decodeInBackground();
    // One frame more than there is: returns only once decoding has finished, not merely when
    // the last frame was published (which comes a moment before).
    decoder.waitFor(kFixtureFrames + 1);
    EXPECT_EQ(decoder.decodedFrames(), kFixtureFrames);
    EXPECT_TRUE(decoder.finished());

    // A cut stream plays what it holds.
    decoder.close();
    ASSERT_TRUE(decoder.open(fixture().data(), fixture().size() / 2)) << decoder.error();
    decoder.decodeInBackground();
    decoder.waitFor(kFixtureFrames);
    EXPECT_TRUE(decoder.finished());
    EXPECT_NEAR(double(decoder.totalFrames()), kFixtureFrames / 2.0, kFixtureFrames / 6.0);
    EXPECT_EQ(decoder.decodedFrames(), decoder.totalFrames());
}

TEST(OfflineAudio, SpectrumIsThatOfTheClocksMusicTimeAtAnyRateAndChannelCount) {
    FixedStepClock clock(60);
    auto output = openOutput(AudioMode::Offline, clock);
    // Before play: nothing is playing and nothing is heard.
    EXPECT_EQ(output->isActive(), 0);
    EXPECT_LT(loudest(*output), 1e-9f);

    clock.setFrame(10);
    output->play();
    clock.setFrame(10 + 60);  // one second of music
    const auto bins = spectrumOf(*output);
    // Each tone at half scale, mixed to mono at half again: 0.5 × 0.25 each.
    EXPECT_NEAR(bins[12], 0.125f, 0.01f);
    EXPECT_NEAR(bins[40], 0.125f, 0.01f);
    // Deterministic; and in the first instant only silence precedes the position.
    EXPECT_EQ(spectrumOf(*output), bins);
    clock.setFrame(10);
    EXPECT_LT(loudest(*output), 1e-9f);

    // Half a second of a half-scale mono tone at 48 kHz, at 1722.7 Hz: heard in bin 20 only if
    // resampled to 44.1 kHz, and at 0.25 only if both channels carry it.
    const std::vector<unsigned char> mono =
        readFile(std::string(VELDRIN_SOURCE_DIR) + "/tests/platform/data/mono_48k.mp3");
    output->release();
    ASSERT_EQ(output->createStream(mono.data(), mono.size()), 1);
    clock.setFrame(0);
    output->play();
    clock.setFrame(15);  // a quarter of a second
    const auto monoBins = spectrumOf(*output);
    EXPECT_NEAR(monoBins[20], 0.25f, 0.02f);
    EXPECT_EQ(std::max_element(monoBins.begin(), monoBins.end()) - monoBins.begin(), 20);
}

// Plays the fixture from frame 0 of a 60 fps clock and returns the first frame at which the
// output was no longer active.
std::uint64_t endFrame(AudioOutput& output, FixedStepClock& clock) {
    clock.setFrame(0);
    output.play();
    for (std::uint64_t frame = 0; frame < 1000; ++frame) {
        clock.setFrame(frame);
        if (output.isActive() == 0) return frame;
    }
    return 0;
}

// SDL's disk driver stands in for a sound card: with an unwritable file it fails to open like a
// machine without one, and the device output then plays silently, like the silent one.
TEST(AudioOutput, EveryModeEndsExactlyWhenTheTrackHasPlayed) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/nonexistent-dir/veldrin/out.raw", 1);
    // 2 s = 88200 frames: 1983 ms (frame 119) still plays, 2000 ms (frame 120) is the end.
    // The clock's base makes the tick counter wrap during the track.
    for (AudioMode mode : {AudioMode::Silent, AudioMode::Offline, AudioMode::Device}) {
        FixedStepClock clock(60, 1, 0xFFFFFFFFu - 1000);
        testing::internal::CaptureStderr();
        auto output = openOutput(mode, clock);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), mode == AudioMode::Device ? 1 : 0) << err;
        EXPECT_EQ(err.find("no audio device") != std::string::npos, mode == AudioMode::Device) << err;
        EXPECT_EQ(endFrame(*output, clock), 120u);
        // Past the end only silence is analysed.
        clock.setFrame(200);
        EXPECT_LT(loudest(*output), 1e-9f);
        // Release is final and repeatable, and the output can be opened again afterwards.
        output->release();
        output->release();
        float bins[kSpectrumBins];
        EXPECT_EQ(output->spectrum(bins), -1);
        EXPECT_EQ(output->start(), 0);
        ASSERT_EQ(output->init(kSampleRate), 1);
        ASSERT_EQ(output->createStream(fixture().data(), fixture().size()), 1);
        EXPECT_EQ(endFrame(*output, clock), 120u);
    }
}

TEST(Audio, RefusesWhatIsNotAnMp3) {
    const std::vector<unsigned char> header(fixture().begin(), fixture().begin() + 300);
    const std::vector<unsigned char> cases[] = {std::vector<unsigned char>(4096, 0x5A), header, {0x49, 0x44, 0x33}, {}};
    for (const auto& bytes : cases) {
        FixedStepClock clock(60);
        auto output = createAudioOutput(AudioMode::Silent, clock);
        ASSERT_EQ(output->init(kSampleRate), 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(output->createStream(bytes.empty() ? nullptr : bytes.data(), bytes.size()), 0) << bytes.size();
        EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot play the music track"), std::string::npos);
        output->play();
        clock.setFrame(1);
        float bins[kSpectrumBins];
        EXPECT_TRUE(output->isActive() == 0 && output->spectrum(bins) == -1) << bytes.size();
    }
}

// With a real file the disk driver plays faster than real time into that file.
TEST(DeviceAudio, HandsTheWholeTrackToTheDevice) {
    const std::string path = testing::TempDir() + "veldrin_device_out.raw";
    std::remove(path.c_str());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);  // a 1024-frame buffer every millisecond
    SteadyClock clock;
    testing::internal::CaptureStderr();
    auto output = openOutput(AudioMode::Device, clock);
    EXPECT_EQ(testing::internal::GetCapturedStderr().find("no audio device"), std::string::npos);
    output->play();
    for (int i = 0; i < 60000 && output->isActive() != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(output->isActive(), 0);
    output->release();

    Mp3Decoder decoder;
    ASSERT_TRUE(decoder.open(fixture().data(), fixture().size()));
    decoder.decodeInBackground();
    decoder.waitFor(kFixtureFrames);
    const std::vector<unsigned char> raw = readFile(path);
    std::remove(path.c_str());
    std::vector<float> played(raw.size() / sizeof(float));
    std::memcpy(played.data(), raw.data(), played.size() * sizeof(float));

    // Silence until play, then the track sample for sample (lined up by the first sound), then
    // silence again.
    const float* track = decoder.samples();
    const std::size_t trackFloats = 2 * kFixtureFrames;
    const auto sound = [](float v) { return v != 0.0f; };
    const auto firstSound = std::find_if(track, track + trackFloats, sound) - track;
    const auto playedSound = std::find_if(played.begin(), played.end(), sound) - played.begin();
    ASSERT_GE(playedSound, firstSound);
    const std::size_t start = std::size_t(playedSound - firstSound);
    ASSERT_LE(start + trackFloats, played.size());
    EXPECT_EQ(start % 2, 0u);
    // The device runs 23 times faster than real time here, so on a busy machine it may overtake
    // the decoder: those frames are silence, but nothing may be shifted or different.
    std::size_t heard = 0;
    for (std::size_t i = 0; i < trackFloats; ++i) {
        const float sample = played[start + i];
        if (sample == 0.0f) continue;
        ASSERT_EQ(sample, track[i]) << "at float " << i;
        ++heard;
    }
    EXPECT_GT(heard, trackFloats / 2);
    EXPECT_TRUE(std::all_of(played.begin() + std::ptrdiff_t(start + trackFloats), played.end(),
                            [](float v) { return v == 0.0f; }));
}

}  // namespace
