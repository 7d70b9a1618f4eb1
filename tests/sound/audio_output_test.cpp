// The MP3 decoder and the audio outputs over real MP3s. The main fixture is two seconds of two
// bin-centred tones, 1033.6 Hz (bin 12) on the left and 3445.3 Hz (bin 40) on the right, each
// at half scale, encoded with lame at 160 kbit/s.
#include "sound/audio_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "assets/embedded.h"
#include "platform/clock.h"
#include "platform/debug_print.h"
#include "sound/device_feed.h"
#include "sound/mp3_decoder.h"
#include "sound/spectrum_analyser.h"
#include "tests/support/files.h"
#include "tools/measure/whole_track.h"

namespace {

constexpr std::uint64_t kFixtureFrames = 88200;  // exactly what was encoded

std::vector<unsigned char> fixtureBytes(const std::string& name) {
    const std::string bytes = readFile(std::string(VELDRIN_SOURCE_DIR) + "/tests/sound/data/" + name);
    return {bytes.begin(), bytes.end()};
}

const std::vector<unsigned char>& fixture() {
    static const std::vector<unsigned char> bytes = fixtureBytes("two_tones.mp3");
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

// Wherever the decoder is moved, it reads what a decode of the whole track holds there: 44.1 kHz
// stereo tracks (stereo_32k.mp3, 1.5 s of pink noise and a tone from lame at 32 kbit/s, reaches
// furthest back into its bit reservoir), mono ones (mono_44k.mp3: 1.5 s of pink noise,
// 64 kbit/s) and resampled ones (stereo_24k.mp3: 1 s of pink noise and a tone, 24 kHz).
TEST(Mp3Decoder, ReadsFromAnyPositionWhatTheWholeTrackHoldsThere) {
    for (const char* name : {"two_tones.mp3", "stereo_32k.mp3", "mono_44k.mp3", "stereo_24k.mp3"}) {
        const std::vector<unsigned char> bytes = fixtureBytes(name);
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
    auto output = createAudioOutput(AudioMode::Offline, clock);
    ASSERT_TRUE(output->init(kSampleRate) == 1 && output->createStream(fixture().data(), fixture().size()) == 1);
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
    // Deterministic; and in the first instant only silence precedes the position.
    EXPECT_EQ(spectrumOf(*output), bins);
    clock.setFrame(10);
    EXPECT_LT(loudest(*output), 1e-9f);
}

// A sound device that the test plays on the test's clock, as a real one plays on the machine's:
// it holds what it was handed in a queue ahead of what it plays, asks for the next chunk when the
// queue runs low, plays at a rate of its own (a sound card's clock is not the machine's), runs dry
// and waits when nobody feeds it (a stall), and reports with each request what it holds plus a
// fixed latency beyond that (a server's, a sink's).
class SimulatedDevice final : public AudioDevice {
public:
    void start() override {}
    void lock() override {}
    void unlock() override {}

    Fill fill = nullptr;
    void* user = nullptr;
};

SimulatedDevice* simulated = nullptr;

std::unique_ptr<AudioDevice> openSimulated(int, AudioDevice::Fill fill, void* user, std::string&) {
    auto device = std::make_unique<SimulatedDevice>();
    device->fill = fill;
    device->user = user;
    simulated = device.get();
    return device;
}

std::unique_ptr<AudioDevice> openNone(int, AudioDevice::Fill, void*, std::string& why) {
    why = "none in this test";
    return nullptr;
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

// Silent and offline play, a device, and a device that does not open (as on a machine without a
// sound card, where the output plays silently): each ends exactly when the clock has reached the
// end of the track.
TEST(AudioOutput, EveryModeEndsExactlyWhenTheTrackHasPlayed) {
    // 2 s = 88200 frames: 1983 ms (frame 119) still plays, 2000 ms (frame 120) is the end.
    // The clock's base makes the tick counter wrap during the track.
    const struct {
        AudioMode mode;
        OpenAudioDevice open;
        const char* told;
    } cases[] = {{AudioMode::Silent, openNone, nullptr},
                 {AudioMode::Offline, openNone, nullptr},
                 {AudioMode::Device, openSimulated, nullptr},
                 {AudioMode::Device, openNone, "no audio device (none in this test); playing silently"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.mode));
        FixedStepClock clock(60, 1, 0xFFFFFFFFu - 1000);
        testing::internal::CaptureStderr();
        AudioOutputDesc desc;
        desc.mode = c.mode;
        desc.clock = &clock;
        desc.openDevice = c.open;
        auto output = createAudioOutput(desc);
        ASSERT_EQ(output->init(kSampleRate), 1);
        ASSERT_EQ(output->createStream(fixture().data(), fixture().size()), 1);
        ASSERT_EQ(output->start(), 1);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), c.told != nullptr ? 1 : 0) << err;
        if (c.told != nullptr) {
            EXPECT_NE(err.find(c.told), std::string::npos) << err;
        }
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
    const std::vector<float>& track = decodedShowTrack();
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

constexpr std::uint64_t kChunk = 1024;
constexpr double kFramesPerMs = 44.1;

// What was handed in each chunk, and when (in ms of the clock since play) its first frame is
// heard: after what the device still held, played at its rate, and its latency.
struct Chunk {
    double heardAtMs;  // NaN where the device could not tell
    std::vector<float> frames;
};

struct Playback {
    FixedStepClock clock{1000};  // frame n is n ms: the test steps the clock a millisecond at a time
    std::unique_ptr<AudioOutput> output;
    double rate = 1.0;
    std::uint64_t latency = 0;
    std::uint64_t handed = 0;
    double played = 0.0;
    int unknownPulls = 0;  // the next so many requests cannot tell their latency
    double jitter = 0.0;   // frames
    std::uint32_t noise = 1;
    std::vector<Chunk> chunks;

    // Plays from `startSeconds` of the embedded track as a late start does: caught up on the
    // clock, then live.
    void begin(double startSeconds) {
        const EmbeddedAsset* music = findEmbeddedAsset("music.mp3");
        ASSERT_NE(music, nullptr);
        // The ring decodes as the frame loop asks (isActive), so that the simulated device,
        // which plays far faster than a real one, never outruns it.
        AudioOutputDesc desc;
        desc.clock = &clock;
        desc.openDevice = openSimulated;
        desc.decodeOnThread = false;
        output = createAudioOutput(desc);
        ASSERT_EQ(output->init(kSampleRate), 1);
        ASSERT_NE(simulated, nullptr);
        ASSERT_EQ(output->createStream(music->data, music->size), 1);
        ASSERT_EQ(output->start(), 1);
        output->followClock(true);
        output->play();
        clock.setFrame(std::uint64_t(startSeconds * 1000));
        output->followClock(false);

    }
    // The clock runs for `ms`; the device is fed unless `stalled`.
    void run(std::uint64_t ms, bool stalled = false) {
        for (std::uint64_t i = 0; i < ms; ++i) {
            clock.advance();
            played = std::min(double(handed), played + kFramesPerMs * rate);
            if (clock.frame() % 16 == 0) output->isActive();  // the frame loop, at 60 Hz or so
            while (!stalled && double(handed) - played < double(2 * kChunk)) pull();
        }
    }
    void pull() {
        output->isActive();  // the frame loop has just read the clock
        const double queued = double(handed) - played;
        const bool unknown = unknownPulls > 0;
        unknownPulls -= unknown ? 1 : 0;
        // Each report off by up to ± jitter, as a device that counts in whole buffers or wakes
        // late reports (from a fixed sequence, so that every run is the same).
        noise = noise * 1103515245u + 12345u;
        const double off = jitter * (double(noise >> 16 & 0x7FFF) / 16383.5 - 1.0);
        const std::uint64_t ahead =
            unknown ? AudioDevice::kAheadUnknown : std::uint64_t(std::max(0.0, std::ceil(queued) + off)) + latency;
        const double heardAtMs = double(clock.frame()) + (queued / rate + double(latency)) / kFramesPerMs;
        Chunk chunk{unknown ? std::nan("") : heardAtMs, std::vector<float>(2 * kChunk)};
        simulated->fill(simulated->user, chunk.frames.data(), kChunk, ahead);
        handed += kChunk;
        chunks.push_back(std::move(chunk));
    }
};

// Where in the track the last half of a chunk comes from: the frame whose following samples
// match best within `window` of where it is expected, and how well (the leftover against the
// chunk's own energy: 0 for the track as it is, small when played a little faster or slower).
struct Found {
    std::int64_t frame = -1;
    double misfit = 1.0;
};

Found locate(const std::vector<float>& track, const std::vector<float>& chunk, std::int64_t expected,
             std::int64_t window) {
    constexpr std::size_t kFrom = kChunk / 2;
    constexpr std::size_t kLength = 160;
    double energy = 0.0;
    for (std::size_t k = 0; k < 2 * kLength; ++k) energy += double(chunk[2 * kFrom + k]) * chunk[2 * kFrom + k];
    Found best;
    if (energy < 1e-6) return best;
    for (std::int64_t at = expected - window; at <= expected + window; ++at) {
        if (at < 0 || std::uint64_t(at + std::int64_t(kLength)) * 2 > track.size()) continue;
        double misfit = 0.0;
        for (std::size_t k = 0; k < 2 * kLength && misfit < best.misfit * energy; ++k) {
            const double d = double(chunk[2 * kFrom + k]) - track[std::size_t(2 * at) + k];
            misfit += d * d;
        }
        if (misfit / energy < best.misfit) best = Found{at - std::int64_t(kFrom), misfit / energy};
    }
    return best;
}

// Every chunk that can be found in the track at all is the track at the clock's time when it is
// heard, within 5 ms; none holds anything of the track that an earlier one held; and all but
// `unfound` chunks can be found (those mixed with a fade, or silent while waiting).
void expectHeardAtTheClocksTime(const Playback& p, const std::vector<float>& track, std::size_t unfound,
                                int stride = 1) {
    std::size_t checked = 0;
    std::size_t considered = 0;
    std::string missed;
    std::int64_t previous = -1;
    for (std::size_t i = 0; i < p.chunks.size(); i += std::size_t(stride)) {
        ++considered;
        // The clock started at 0 when play was asked for, so its time is the track's. Where the
        // device could not tell when a chunk is heard, the track carries on as it was.
        const bool known = !std::isnan(p.chunks[i].heardAtMs);
        const auto due = known ? std::int64_t(p.chunks[i].heardAtMs * kFramesPerMs) : previous + std::int64_t(kChunk);
        const Found found = locate(track, p.chunks[i].frames, due, known ? 1000 : 40);
        if (found.misfit > 0.3) {
            missed += " " + std::to_string(i) + (found.frame < 0 ? " (silent)" : "");
            continue;
        }
        ++checked;
        EXPECT_NEAR(double(found.frame), double(due), (known ? 5 : 0.5) * kFramesPerMs)
            << "chunk " << i << " of " << p.chunks.size();
        if (stride == 1 && previous >= 0) {
            // Played back faster while drifting into step, a chunk holds up to 0.5 % more.
            EXPECT_GE(double(found.frame - previous), 0.994 * double(kChunk)) << "played twice, at chunk " << i;
        }
        previous = found.frame;
    }
    EXPECT_GE(checked + unfound, considered)
        << checked << " of " << considered << " chunks found in the track; not:" << missed;
}

// A half-second stall of the whole program: the device plays out what it holds and runs dry,
// while the clock runs on. The sound goes on from the clock's time as soon as the device can tell
// when it is heard (crossfaded), not from where it stopped; and the spectrum reads what is heard
// then.
TEST(DeviceAudio, WhatIsHeardIsTheTrackAtTheClocksTimeThroughAStall) {
    const std::vector<float>& track = decodedShowTrack();
    ASSERT_FALSE(track.empty());
    Playback p;
    p.latency = 441;      // 10 ms beyond what it holds
    p.unknownPulls = 3;   // a server's first timing report is still on its way
    p.begin(60.0);        // the knot's drive: busy music, easy to find in the track
    p.run(1000);
    const std::size_t beforeStall = p.chunks.size();
    p.run(500, true);
    EXPECT_EQ(p.chunks.size(), beforeStall);
    p.unknownPulls = 2;   // and after running dry, until the next one has come
    p.run(1500);
    ASSERT_GT(p.chunks.size(), beforeStall + 40);
    // Nothing is heard before the device can tell when it would be.
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(std::all_of(p.chunks[i].frames.begin(), p.chunks[i].frames.end(), [](float v) { return v == 0.0f; }))
            << "chunk " << i;
    }
    // Those, the fade in of the first sound, and the crossfade once the device knows again.
    expectHeardAtTheClocksTime(p, track, 3 + 1 + 1);
    // The first chunk the device can place after the stall is the track at the clock's time,
    // past the crossfade.
    const Chunk& placed = p.chunks[beforeStall + 2];
    const auto due = std::int64_t(placed.heardAtMs * kFramesPerMs);
    const Found found = locate(track, placed.frames, due, 1000);
    EXPECT_LT(found.misfit, 0.01);
    EXPECT_NEAR(double(found.frame), double(due), 5 * kFramesPerMs);

    SpectrumAnalyser analyser;
    std::vector<float> expected(kSpectrumBins);
    analyser.analyse(track.data(), track.size() / 2, p.clock.frame() * 441 / 10, expected.data());
    EXPECT_EQ(spectrumOf(*p.output), expected);
}

// A device that reports 200 ms of latency is handed the track 200 ms ahead of the clock. When
// its latency drops (a server that shortened its buffer), the sound cuts forward; when it grows
// (a sink with a longer queue took over), it fades out and waits until the track is due again.
TEST(DeviceAudio, IsHandedTheTrackAheadByTheLatencyItReportsAsThatChanges) {
    const std::vector<float>& track = decodedShowTrack();
    ASSERT_FALSE(track.empty());
    Playback p;
    p.latency = 8820;
    p.begin(62.0);
    p.run(1000);
    p.latency = 882;
    p.run(1000);
    p.latency = 8820;
    p.run(1000);
    ASSERT_GT(p.chunks.size(), 120u);
    // The fade in at the start and the cut; the wait of 180 ms, its fade out and its fade in.
    expectHeardAtTheClocksTime(p, track, 2 + 8 + 2);
}

// A sound card whose clock runs 0.1 % fast or slow drifts 1 ms a second from the clock: it is
// brought back into step before anyone hears the difference, without cutting. And a device whose
// reports are off by up to 25 ms either way, one request to the next, is followed by what they
// say on average, without a cut or a wait on any of them.
TEST(DeviceAudio, StaysInStepWithADeviceWhoseClockRunsFastOrSlowOrWhoseReportsJitter) {
    const std::vector<float>& track = decodedShowTrack();
    ASSERT_FALSE(track.empty());
    const struct {
        double rate;
        double jitterMs;
    } cases[] = {{1.001, 0.0}, {0.999, 0.0}, {1.0, 25.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        Playback p;
        p.rate = c.rate;
        p.jitter = c.jitterMs * kFramesPerMs;
        p.begin(58.5);
        p.run(c.jitterMs > 0.0 ? 8000 : 20000);
        ASSERT_GT(p.chunks.size(), 300u);
        expectHeardAtTheClocksTime(p, track, 0, c.jitterMs > 0.0 ? 1 : 5);
    }
}

// The desktop's SDL device on a thread of its own: SDL's disk driver stands in for a sound card,
// asking for a buffer about as often as a card plays one, while the frame loop asks for the
// spectrum and the end (ThreadSanitizer watches the threads meet here). Started at 60 s as a late
// start starts, what it is handed is the track from the clock's time on, each buffer following
// the one before and each the track that was due when it is heard. The driver's pace is only
// roughly a card's, and a busy machine paces it worse, so the feed cuts back into step now and
// then: within what the feed lets the sound stray before it cuts or waits is asked here; how close
// the sound keeps is measured end to end through a sound server.
#ifndef _WIN32
class JumpingClock final : public Clock {
public:
    // What the device's thread reads is kept: each fill reads the clock once, for what is due.
    std::uint32_t ticks() override {
        const std::uint32_t now = steady_.ticks() + offset.load();
        if (std::this_thread::get_id() != test_) {
            const std::lock_guard<std::mutex> hold(mutex_);
            deviceReads_.push_back(now);
        }
        return now;
    }
    std::vector<std::uint32_t> deviceReads() {
        const std::lock_guard<std::mutex> hold(mutex_);
        return deviceReads_;
    }
    std::atomic<std::uint32_t> offset{0};

private:
    SteadyClock steady_;
    const std::thread::id test_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::vector<std::uint32_t> deviceReads_;
};

TEST(DeviceAudio, SdlsOwnThreadIsHandedTheTrackFromTheClocksTime) {
    const std::vector<float>& track = decodedShowTrack();
    ASSERT_FALSE(track.empty());
    const EmbeddedAsset* music = findEmbeddedAsset("music.mp3");
    ASSERT_NE(music, nullptr);
    const std::string path = testing::TempDir() + "veldrin_sdl_device." + std::to_string(getpid()) + ".raw";
    std::remove(path.c_str());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    JumpingClock clock;
    auto output = createAudioOutput(AudioMode::Device, clock);
    ASSERT_EQ(output->init(kSampleRate), 1);
    ASSERT_EQ(output->createStream(music->data, music->size), 1);
    ASSERT_EQ(output->start(), 1);
    output->followClock(true);
    const std::uint32_t playedAt = clock.ticks();
    output->play();
    clock.offset.store(60000);
    output->followClock(false);
    const std::uint32_t from = clock.ticks();
    std::uint32_t last = from;
    float bins[kSpectrumBins];
    while (last - from < 1500) {
        EXPECT_EQ(output->isActive(), 1);
        EXPECT_EQ(output->spectrum(bins), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(16));
        last = clock.ticks();
    }
    output->release();

    const std::string raw = readFile(path);
    std::remove(path.c_str());
    std::vector<float> played(raw.size() / sizeof(float) / (2 * kChunk) * (2 * kChunk));
    std::memcpy(played.data(), raw.data(), played.size() * sizeof(float));
    const auto chunkAt = [&](std::size_t i) {
        return std::vector<float>(played.begin() + std::ptrdiff_t(2 * kChunk * i),
                                  played.begin() + std::ptrdiff_t(2 * kChunk * (i + 1)));
    };
    const std::size_t chunks = played.size() / (2 * kChunk);
    std::size_t first = 0;
    while (first < chunks && locate(track, chunkAt(first), 60 * 44100, 22050).misfit > 0.3) ++first;
    ASSERT_LT(first + 20, chunks) << "the track from 60 s is not among " << chunks << " chunks handed";
    // Where the clock was when it was first heard: not before the start.
    std::int64_t previous = locate(track, chunkAt(first), 60 * 44100, 22050).frame;
    EXPECT_GE(previous, 60 * 44100);
    std::size_t found = 1;
    for (std::size_t i = first + 1; i < chunks; ++i) {
        const Found f = locate(track, chunkAt(i), previous + std::int64_t(kChunk), 4410);
        if (f.misfit > 0.3) continue;  // a cut, crossfaded
        EXPECT_GE(f.frame - previous, std::int64_t(kChunk) * 99 / 100) << "played twice, at chunk " << i;
        previous = f.frame;
        ++found;
    }
    EXPECT_GE(found * 10, (chunks - first) * 9) << found << " of " << chunks - first << " chunks found in the track";
    // The last buffers written are those of the fills that read the clock (the ones before
    // played silence without it); each was due one buffer, the one SDL accounts for, after the
    // clock's time then. A millisecond's tick is 44 frames.
    const std::vector<std::uint32_t> reads = clock.deviceReads();
    ASSERT_LE(reads.size(), chunks);
    ASSERT_GT(reads.size(), 20u);
    // Each within the jump the feed allows one buffer, and in the middle within the cut it
    // allows over half a second.
    std::vector<double> offsets;
    for (std::size_t k = 0; k < reads.size(); ++k) {
        const std::size_t i = chunks - reads.size() + k;
        const auto due = std::int64_t(std::uint32_t(reads[k] - playedAt)) * 441 / 10 + std::int64_t(kChunk);
        const Found f = locate(track, chunkAt(i), due, 2 * DeviceFeed::kJumpFrames);
        if (f.misfit > 0.3) continue;  // a fade, a crossfade, or a wait
        offsets.push_back(double(f.frame - due));
        EXPECT_NEAR(offsets.back(), 0.0, double(DeviceFeed::kJumpFrames + 45)) << "chunk " << i;
    }
    ASSERT_GT(offsets.size(), reads.size() / 2);
    std::nth_element(offsets.begin(), offsets.begin() + std::ptrdiff_t(offsets.size() / 2), offsets.end());
    EXPECT_NEAR(offsets[offsets.size() / 2], 0.0, DeviceFeed::kCutFrames) << "the middle offset, in frames";
}
#endif

}  // namespace
