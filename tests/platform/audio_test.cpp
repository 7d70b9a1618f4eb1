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
#include <unistd.h>
#include <vector>

#include "assets/embedded.h"
#include "platform/clock.h"
#include "platform/debug_print.h"
#include "platform/fft_magnitudes.h"
#include "platform/mp3_decoder.h"
#include "tests/support/whole_track.h"

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

// Wherever the decoder is moved, it reads what a decode of the whole track holds there: 44.1 kHz
// stereo tracks (stereo_32k.mp3, 1.5 s of pink noise and a tone from lame at 32 kbit/s, reaches
// furthest back into its bit reservoir), mono ones (mono_44k.mp3: 1.5 s of pink noise,
// 64 kbit/s) and resampled ones (stereo_24k.mp3: 1 s of pink noise and a tone, 24 kHz).
TEST(Mp3Decoder, ReadsFromAnyPositionWhatTheWholeTrackHoldsThere) {
    for (const char* name : {"two_tones.mp3", "stereo_32k.mp3", "mono_44k.mp3", "stereo_24k.mp3"}) {
        const std::vector<unsigned char> bytes =
            readFile(std::string(VELDRIN_SOURCE_DIR) + "/tests/platform/data/" + name);
        const std::vector<float> whole = decodeWholeTrack(bytes.data(), bytes.size());
        Mp3Decoder decoder;
        ASSERT_TRUE(decoder.open(bytes.data(), bytes.size())) << decoder.error();
        const std::uint64_t length = decoder.length();
        ASSERT_EQ(length, whole.size() / 2) << name;
        std::vector<float> piece(2 * 3000);
        for (const std::uint64_t at : {std::uint64_t(0), length * 2 / 3, length / 5, std::uint64_t(1153), length - 1000,
                                       std::uint64_t(0), length + 5}) {
            EXPECT_TRUE(decoder.seek(at)) << name << " " << at;
            EXPECT_EQ(decoder.position(), std::min(at, length));
            const std::uint64_t got = decoder.read(piece.data(), 3000);
            ASSERT_EQ(got, std::min<std::uint64_t>(3000, length - std::min(at, length))) << name << " " << at;
            EXPECT_EQ(std::memcmp(piece.data(), whole.data() + 2 * std::min(at, length), got * 2 * sizeof(float)), 0)
                << name << " from frame " << at;
#if defined(__x86_64__) || defined(_M_X64)
            // The same bits on every x86-64 processor, also from a handle made anew by a seek.
            // A resampled track goes through libmpg123's one generic resampling synthesis.
            EXPECT_STREQ(decoder.synthesis(), std::strcmp(name, "stereo_24k.mp3") == 0 ? "generic" : "x86-64")
                << name << " from frame " << at;
#endif
        }
    }

    // A cut stream plays what it holds, and is then as long as that.
    Mp3Decoder decoder;
    ASSERT_TRUE(decoder.open(fixture().data(), fixture().size() / 2)) << decoder.error();
    std::vector<float> piece(2 * 4096);
    while (decoder.read(piece.data(), 4096) > 0) {}
    EXPECT_NEAR(double(decoder.length()), kFixtureFrames / 2.0, kFixtureFrames / 6.0);
    EXPECT_EQ(decoder.position(), decoder.length());
}

TEST(OfflineAudio, SpectrumIsThatOfTheClocksMusicTime) {
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

std::size_t tellings(const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = text.find("fell behind"); at != std::string::npos; at = text.find("fell behind", at + 1)) ++n;
    return n;
}

// Playing silently after a catch-up, as `--start` does without a sound card: the sound goes
// on at once where the catch-up left off. Then stalls, as the output sees them: the clock has
// run on far past what was decoded. What the decoder has not reached is silence, never other
// samples, and --debug says so once; the decoder catches up by itself.
TEST(SilentAudio, GoesOnAtOnceAfterACatchUpAndSilentAfterAStallToldOnce) {
    const EmbeddedAsset* music = findEmbeddedAsset("music.mp3");
    ASSERT_NE(music, nullptr);
    const std::vector<float> track = decodeWholeTrack(music->data, music->size);
    SpectrumAnalyser analyser;
    FixedStepClock clock(60);
    const auto expected = [&] {
        std::vector<float> bins(kSpectrumBins);
        analyser.analyse(track.data(), track.size() / 2, std::uint64_t(clock.ticks()) * 441 / 10, bins.data());
        return bins;
    };
    auto output = createAudioOutput(AudioMode::Silent, clock);
    ASSERT_EQ(output->init(kSampleRate), 1);
    ASSERT_EQ(output->createStream(music->data, music->size), 1);
    debugOutput = true;
    testing::internal::CaptureStderr();
    output->followClock(true);
    output->play();
    clock.setFrame(1800);  // 30 s: a read while catching up waits for the decoder
    EXPECT_EQ(spectrumOf(*output), expected());
    clock.setFrame(3600);  // 60 s: live from here
    output->followClock(false);
    EXPECT_EQ(output->isActive(), 1);
    EXPECT_EQ(spectrumOf(*output), expected());
    for (const std::uint64_t stalledTo : {6600u, 9000u}) {  // 110 s (the bolts), 150 s (the cluster)
        clock.setFrame(stalledTo);
        EXPECT_LT(loudest(*output), 1e-9f) << stalledTo;
        EXPECT_EQ(output->isActive(), 1);
        const std::vector<float> heard = expected();
        ASSERT_GT(*std::max_element(heard.begin(), heard.end()), 0.01f);
        for (int i = 0; i < 5000 && spectrumOf(*output) != heard; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(spectrumOf(*output), heard) << stalledTo;
    }
    const std::string told = testing::internal::GetCapturedStderr();
    debugOutput = false;
    EXPECT_EQ(tellings(told), 1u) << told;
    EXPECT_NE(told.find("fell behind at 109.9"), std::string::npos) << told;
}

// The desktop's sound device; Windows' waveOut has its own test (tests/win32).
#ifndef _WIN32
// SDL's disk driver with a real file plays into it faster than real time: 23 times with a
// millisecond between buffers, some hundreds of times without, where decoding may fall behind
// (the embedded track is longer than the ring). Either way what is heard is the track sample
// for sample, or silence where it was not decoded in time, never anything else; and --debug
// tells of a shortfall once.
TEST(DeviceAudio, PlaysTheTrackSampleForSampleOrSilence) {
    const EmbeddedAsset* music = findEmbeddedAsset("music.mp3");
    ASSERT_NE(music, nullptr);
    const struct {
        const unsigned char* bytes;
        std::size_t size;
        const char* delayMs;
    } cases[] = {{fixture().data(), fixture().size(), "1"}, {music->data, music->size, "0"}};
    for (const auto& c : cases) {
        // Per process: another run of the suite on the same machine must not share the file.
        const std::string path = testing::TempDir() + "veldrin_device_out." + std::to_string(getpid()) + ".raw";
        std::remove(path.c_str());
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", c.delayMs, 1);
        SteadyClock clock;
        auto output = createAudioOutput(AudioMode::Device, clock);
        ASSERT_EQ(output->init(kSampleRate), 1);
        ASSERT_EQ(output->createStream(c.bytes, c.size), 1);
        ASSERT_EQ(output->start(), 1);
        debugOutput = true;
        testing::internal::CaptureStderr();
        output->play();
        for (int i = 0; i < 60000 && output->isActive() != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(output->isActive(), 0);
        const std::string told = testing::internal::GetCapturedStderr();
        debugOutput = false;
        output->release();

        const std::vector<float> track = decodeWholeTrack(c.bytes, c.size);
        std::vector<float> played;
        {
            std::ifstream in(path, std::ios::binary | std::ios::ate);
            played.resize(std::size_t(in.tellg()) / sizeof(float));
            in.seekg(0);
            in.read(reinterpret_cast<char*>(played.data()), std::streamsize(played.size() * sizeof(float)));
        }
        std::remove(path.c_str());
        // Silence until play, then the track, then silence again. The first sound heard is
        // found in the track to line the two up (the track may begin silent, and that may be
        // where decoding fell behind).
        const auto sound = [](float v) { return v != 0.0f; };
        const std::size_t first = std::size_t(std::find_if(played.begin(), played.end(), sound) - played.begin()) & ~1u;
        ASSERT_LT(first + 16, played.size());
        std::size_t at = 0;
        while (at + 16 <= track.size() && !std::equal(track.begin() + std::ptrdiff_t(at),
                                                      track.begin() + std::ptrdiff_t(at + 16),
                                                      played.begin() + std::ptrdiff_t(first))) {
            at += 2;
        }
        ASSERT_LE(at, first) << "the first sound heard is nowhere in the track";
        const std::size_t start = first - at;
        ASSERT_LE(start + track.size(), played.size());
        std::size_t heard = 0;
        std::size_t missed = 0;  // silent where the track is not
        for (std::size_t i = 0; i < track.size(); ++i) {
            const float sample = played[start + i];
            if (sample == 0.0f) {
                missed += track[i] != 0.0f ? 1 : 0;
                continue;
            }
            ASSERT_EQ(sample, track[i]) << "at float " << i;
            ++heard;
        }
        if (c.bytes == fixture().data()) {
            EXPECT_GT(heard, track.size() / 2) << "missed " << missed << ", told: " << told;
        }
        EXPECT_TRUE(std::all_of(played.begin() + std::ptrdiff_t(start + track.size()), played.end(),
                                [](float v) { return v == 0.0f; }));
        EXPECT_LE(tellings(told), 1u) << told;
        if (missed > 0) {
            EXPECT_EQ(tellings(told), 1u) << told;
        }
    }
}

#endif

}  // namespace
