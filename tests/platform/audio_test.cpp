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
#include <random>
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
    ASSERT_FALSE(fixture().empty());
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
    EXPECT_EQ(decoder.totalFrames(), kFixtureFrames);
    EXPECT_TRUE(decoder.finished());

    // Both channels arrive, each at about half scale.
    float peakLeft = 0.0f;
    float peakRight = 0.0f;
    for (std::uint64_t i = 0; i < kFixtureFrames; ++i) {
        peakLeft = std::max(peakLeft, std::abs(decoder.samples()[2 * i]));
        peakRight = std::max(peakRight, std::abs(decoder.samples()[2 * i + 1]));
    }
    EXPECT_NEAR(peakLeft, 0.5f, 0.05f);
    EXPECT_NEAR(peakRight, 0.5f, 0.05f);

    decoder.close();
    EXPECT_FALSE(decoder.isOpen());
    EXPECT_EQ(decoder.decodedFrames(), 0u);
    decoder.close();
}

TEST(Mp3Decoder, ACutStreamPlaysWhatItHolds) {
    Mp3Decoder decoder;
    ASSERT_TRUE(decoder.open(fixture().data(), fixture().size() / 2)) << decoder.error();
    decoder.decodeInBackground();
    decoder.waitFor(kFixtureFrames);
    EXPECT_TRUE(decoder.finished());
    EXPECT_GT(decoder.totalFrames(), kFixtureFrames / 3);
    EXPECT_LT(decoder.totalFrames(), kFixtureFrames * 2 / 3);
    EXPECT_EQ(decoder.decodedFrames(), decoder.totalFrames());
}

TEST(Mp3Decoder, OtherRatesAndMonoArriveAs44kStereo) {
    // Half a second of a half-scale mono tone at 48 kHz, at 1722.7 Hz (bin 20 at 44.1 kHz).
    const std::vector<unsigned char> bytes =
        readFile(std::string(VELDRIN_SOURCE_DIR) + "/tests/platform/data/mono_48k.mp3");
    Mp3Decoder decoder;
    ASSERT_TRUE(decoder.open(bytes.data(), bytes.size())) << decoder.error();
    decoder.decodeInBackground();
    decoder.waitFor(decoder.totalFrames());
    EXPECT_NEAR(double(decoder.decodedFrames()), 22050.0, 4.0);
    for (std::uint64_t i = 0; i < decoder.decodedFrames(); ++i) {
        ASSERT_EQ(decoder.samples()[2 * i], decoder.samples()[2 * i + 1]) << i;
    }

    FixedStepClock clock(4);  // a quarter of a second per frame
    auto output = createAudioOutput(AudioMode::Offline, clock);
    ASSERT_EQ(output->createStream(bytes.data(), bytes.size()), 1);
    output->play();
    clock.setFrame(1);
    const auto bins = spectrumOf(*output);
    EXPECT_NEAR(bins[20], 0.25f, 0.02f);
    EXPECT_EQ(std::max_element(bins.begin(), bins.end()) - bins.begin(), 20);
}

TEST(OfflineAudio, SpectrumIsThatOfTheClocksMusicTime) {
    FixedStepClock clock(60);
    auto output = createAudioOutput(AudioMode::Offline, clock);
    ASSERT_EQ(output->init(kSampleRate), 1);
    ASSERT_EQ(output->createStream(fixture().data(), fixture().size()), 1);
    ASSERT_EQ(output->start(), 1);

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
    for (int k = 0; k < kSpectrumBins; ++k) {
        if (k < 11 || (k > 13 && k < 39) || k > 41) {
            EXPECT_LT(bins[std::size_t(k)], 0.01f) << k;
        }
    }
    // Deterministic: the same instant reads the same again.
    EXPECT_EQ(spectrumOf(*output), bins);

    // In the first instant only silence precedes the position.
    clock.setFrame(10);
    EXPECT_LT(loudest(*output), 1e-9f);
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

TEST(SilentAudio, EndsExactlyWhenTheTrackHasPlayed) {
    // 2 s = 88200 frames: 1983 ms (frame 119) still plays, 2000 ms (frame 120) is the end.
    // The clock's base makes the tick counter wrap during the track.
    for (AudioMode mode : {AudioMode::Silent, AudioMode::Offline}) {
        FixedStepClock clock(60, 1, 0xFFFFFFFFu - 1000);
        auto output = createAudioOutput(mode, clock);
        ASSERT_EQ(output->init(kSampleRate), 1);
        ASSERT_EQ(output->createStream(fixture().data(), fixture().size()), 1);
        ASSERT_EQ(output->start(), 1);
        EXPECT_EQ(endFrame(*output, clock), 120u);
        // Past the end only silence is analysed.
        clock.setFrame(200);
        EXPECT_LT(loudest(*output), 1e-9f);
    }
}

TEST(Audio, RefusesWhatIsNotAnMp3) {
    std::vector<unsigned char> garbage(64 * 1024);
    std::minstd_rand random(7);
    for (unsigned char& byte : garbage) byte = static_cast<unsigned char>(random() & 0xFF);
    const std::vector<unsigned char> header(fixture().begin(), fixture().begin() + 300);
    const std::vector<unsigned char> cases[] = {garbage, header, {0x49, 0x44, 0x33}, {}};

    for (const auto& bytes : cases) {
        FixedStepClock clock(60);
        auto output = createAudioOutput(AudioMode::Silent, clock);
        ASSERT_EQ(output->init(kSampleRate), 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(output->createStream(bytes.empty() ? nullptr : bytes.data(), bytes.size()), 0) << bytes.size();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("cannot play the music track"), std::string::npos) << err;
        output->play();
        clock.setFrame(1);
        EXPECT_EQ(output->isActive(), 0);
        float bins[kSpectrumBins];
        EXPECT_EQ(output->spectrum(bins), -1);
    }
}

TEST(Audio, ReleaseIsFinalAndRepeatable) {
    FixedStepClock clock(60);
    auto output = createAudioOutput(AudioMode::Offline, clock);
    ASSERT_EQ(output->init(kSampleRate), 1);
    ASSERT_EQ(output->createStream(fixture().data(), fixture().size()), 1);
    output->play();
    clock.setFrame(30);
    EXPECT_EQ(output->isActive(), 1);
    output->release();
    output->release();
    EXPECT_EQ(output->isActive(), 0);
    float bins[kSpectrumBins];
    EXPECT_EQ(output->spectrum(bins), -1);
    EXPECT_EQ(output->start(), 0);
    // The output can be opened again afterwards.
    ASSERT_EQ(output->init(kSampleRate), 1);
    ASSERT_EQ(output->createStream(fixture().data(), fixture().size()), 1);
    EXPECT_EQ(endFrame(*output, clock), 120u);
}

// SDL's disk driver stands in for a sound card: with an unwritable file it fails to open like
// a machine without one; with a real file it plays faster than real time into that file.
TEST(DeviceAudio, WithoutADevicePlaysSilentlyToTheEnd) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/nonexistent-dir/veldrin/out.raw", 1);
    FixedStepClock clock(60);
    auto output = createAudioOutput(AudioMode::Device, clock);
    testing::internal::CaptureStderr();
    EXPECT_EQ(output->init(kSampleRate), 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("no audio device"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    ASSERT_EQ(output->createStream(fixture().data(), fixture().size()), 1);
    EXPECT_EQ(output->start(), 1);
    EXPECT_EQ(endFrame(*output, clock), 120u);
}

TEST(DeviceAudio, HandsTheWholeTrackToTheDevice) {
    const std::string path = testing::TempDir() + "veldrin_device_out.raw";
    std::remove(path.c_str());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);  // a 1024-frame buffer every millisecond
    SteadyClock clock;
    auto output = createAudioOutput(AudioMode::Device, clock);
    testing::internal::CaptureStderr();
    ASSERT_EQ(output->init(kSampleRate), 1);
    const std::string err = testing::internal::GetCapturedStderr();  // SDL announces its disk driver
    EXPECT_EQ(err.find("no audio device"), std::string::npos) << err;
    ASSERT_EQ(output->createStream(fixture().data(), fixture().size()), 1);
    ASSERT_EQ(output->start(), 1);
    EXPECT_EQ(output->isActive(), 0);
    output->play();
    for (int i = 0; i < 60000 && output->isActive() != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(output->isActive(), 0);
    output->release();

    Mp3Decoder decoder;
    ASSERT_TRUE(decoder.open(fixture().data(), fixture().size()));
    decoder.decodeInBackground();
    decoder.waitFor(kFixtureFrames);
    const std::vector<unsigned char> raw = readFile(path);
    std::remove(path.c_str());
    ASSERT_EQ(raw.size() % (2 * sizeof(float)), 0u);
    std::vector<float> played(raw.size() / sizeof(float));
    std::memcpy(played.data(), raw.data(), raw.size());

    // Silence until play, then the track sample for sample, then silence again.
    const float* track = decoder.samples();
    const std::size_t trackFloats = 2 * kFixtureFrames;
    std::size_t firstSound = 0;
    while (track[firstSound] == 0.0f) ++firstSound;
    std::size_t playedSound = 0;
    while (playedSound < played.size() && played[playedSound] == 0.0f) ++playedSound;
    ASSERT_GE(playedSound, firstSound);
    const std::size_t start = playedSound - firstSound;
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
