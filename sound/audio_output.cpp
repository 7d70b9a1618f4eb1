// The audio outputs: the port's sound device fed from the track as it is decoded and kept in step
// with the music clock, or no device at all. Either way the play position is the clock's: the
// spectrum, the end of the show and the picture all read one time, and with a device the feed
// makes what is heard the track at that time. The track is read through a ring that holds a few
// seconds around the play position. The device's thread and the ring's decoding thread are the
// only other threads; they share the playing state through atomics and the samples through the
// ring, so nothing on the frame path allocates.
#include "sound/audio_output.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/debug_print.h"
#include "platform/threads.h"
#include "sound/device_feed.h"
#include "sound/track_spectrum.h"
#include "sound/track_ring.h"

static_assert(Mp3Decoder::kRate == kSampleRate, "the decoder delivers the output's rate");

namespace {

// Reader numbers in the ring: one for each thread that copies samples out.
constexpr int kDeviceReader = 0;  // the device's thread
constexpr int kFrameReader = 1;   // the frame loop (spectrum)
// At the start of play, and where the sound takes over from a catch-up, the ring holds this
// much past the position before the device is given it: more than any device's latency.
constexpr std::uint64_t kLeadFrames = 22050;
// A device that claims more latency than this is not believed: the ring holds only so much
// ahead of the clock.
constexpr std::uint64_t kMaxAheadFrames = 3 * 44100;
static_assert(kMaxAheadFrames + 2 * DeviceFeed::kMaxFrames < TrackRing::kFrames - TrackRing::kKeepFrames,
              "the ring holds what a device may be handed");
constexpr std::uint64_t kNotStarved = ~std::uint64_t(0);

class PlatformAudioOutput final : public AudioOutput {
public:
    explicit PlatformAudioOutput(const AudioOutputDesc& desc)
        : requested_(desc.mode), mode_(desc.mode), clock_(*desc.clock), open_(desc.openDevice),
          decodeOnThread_(desc.decodeOnThread) {}
    ~PlatformAudioOutput() override { release(); }
    PlatformAudioOutput(const PlatformAudioOutput&) = delete;
    PlatformAudioOutput& operator=(const PlatformAudioOutput&) = delete;

    int init(int sampleRate) override;
    int createStream(const unsigned char* bytes, std::size_t size) override;
    int start() override;
    void play() override;
    int isActive() override;
    int spectrum(float* out) override;
    void release() override;
    void followClock(bool on) override;

private:
    // The clock's frame now (44.1 a millisecond since play).
    std::uint64_t clockPosition();
    // Whether the frame loop moves the ring along: without a device, and while catching up.
    bool frameLoopDrivesRing() const {
        return device_ == nullptr || followClock_.load(std::memory_order_acquire);
    }
    // Whether reads wait for the decoder: offline, and while catching up.
    bool waitsForDecoder() const {
        return mode_ == AudioMode::Offline || followClock_.load(std::memory_order_acquire);
    }
    static void fill(void* self, float* out, std::uint64_t frames, std::uint64_t aheadFrames);
    void fillDevice(float* out, std::uint64_t frames, std::uint64_t aheadFrames);
    // Moves the ring to where the sound is about to go on from, and waits until it is there.
    void prepareAt(std::uint64_t at);
    void noteStarved(std::uint64_t at);
    // Keeps the device's thread out while the stream or the play state changes under it.
    void lockDevice() {
        if (device_ != nullptr) device_->lock();
    }
    void unlockDevice() {
        if (device_ != nullptr) device_->unlock();
    }

    const AudioMode requested_;
    AudioMode mode_;  // Device turns Silent when no device opens
    Clock& clock_;
    const OpenAudioDevice open_;
    const bool decodeOnThread_;
    bool initialised_ = false;
    std::unique_ptr<AudioDevice> device_;
    bool hasStream_ = false;
    TrackRing ring_;
    TrackSpectrum spectrum_;
    std::atomic<bool> playing_{false};
    std::uint32_t playTicks_ = 0;  // changed only with the device held out
    DeviceFeed feed_;  // the device's thread's, but while it is held out
    std::atomic<bool> followClock_{false};
    std::atomic<std::uint64_t> starvedAt_{kNotStarved};  // the first frame the sound lacked
    bool starvationTold_ = false;
};

int PlatformAudioOutput::init(int sampleRate) {
    release();
    if (sampleRate != kSampleRate) {
        std::fprintf(stderr, "veldrin: audio output at %d Hz is not supported (only %d Hz)\n", sampleRate,
                     kSampleRate);
        return 0;
    }
    initialised_ = true;
    if (mode_ != AudioMode::Device) return 1;

    // Without a sound card the demo still runs its whole length, paced by the clock: a missing
    // device is no reason to end after the first frame.
    std::string why;
    device_ = open_(sampleRate, fill, this, why);
    if (device_ == nullptr) {
        std::fprintf(stderr, "veldrin: no audio device (%s); playing silently\n", why.c_str());
        mode_ = AudioMode::Silent;
    }
    return 1;
}

int PlatformAudioOutput::createStream(const unsigned char* bytes, std::size_t size) {
    lockDevice();
    playing_.store(false, std::memory_order_release);
    hasStream_ = false;
    unlockDevice();
    if (!ring_.open(bytes, size)) {
        std::fprintf(stderr, "veldrin: cannot play the music track: %s\n", ring_.error());
        return 0;
    }
    // Without threads (the page) the ring decodes as the frame loop asks (isActive).
    if (decodeOnThread_ && kThreadsAvailable) ring_.decodeInBackground();
    starvedAt_.store(kNotStarved, std::memory_order_release);
    starvationTold_ = false;
    hasStream_ = true;
    return 1;
}

int PlatformAudioOutput::start() {
    if (!initialised_) return 0;
    if (device_ != nullptr) device_->start();
    return 1;
}

void PlatformAudioOutput::prepareAt(std::uint64_t at) {
    ring_.follow(at);
    ring_.waitFor(at > kSpectrumSize ? at - kSpectrumSize : 0, at + kLeadFrames);
}

void PlatformAudioOutput::play() {
    if (!hasStream_) return;
    // The device leaves the ring alone until it is at the start again.
    lockDevice();
    playing_.store(false, std::memory_order_release);
    unlockDevice();
    prepareAt(0);
    lockDevice();
    feed_.restartAt(0);
    playTicks_ = clock_.ticks();
    playing_.store(true, std::memory_order_release);
    unlockDevice();
}

std::uint64_t PlatformAudioOutput::clockPosition() {
    if (!playing_.load(std::memory_order_acquire)) return 0;
    // 44.1 frames per millisecond; the unsigned 32-bit difference survives the tick wrap.
    return std::uint64_t(std::uint32_t(clock_.ticks() - playTicks_)) * 441 / 10;
}

void PlatformAudioOutput::followClock(bool on) {
    if (!on && followClock_.load(std::memory_order_acquire)) {
        const bool playing = playing_.load(std::memory_order_acquire);
        // The ring has followed the reads of the catch-up: it moves to where the sound goes on
        // before anything is heard from it.
        if (playing && hasStream_) prepareAt(clockPosition());
        lockDevice();
        // The sound fades in there, or where the clock has got to by the time it is heard.
        feed_.restartAt(clockPosition());
        followClock_.store(false, std::memory_order_release);
        unlockDevice();
        return;
    }
    followClock_.store(on, std::memory_order_release);
}

void PlatformAudioOutput::noteStarved(std::uint64_t at) {
    std::uint64_t none = kNotStarved;
    starvedAt_.compare_exchange_strong(none, at, std::memory_order_acq_rel);
}

int PlatformAudioOutput::isActive() {
    if (!hasStream_ || !playing_.load(std::memory_order_acquire)) return 0;
    const std::uint64_t at = clockPosition();
    // Playing silently, the ring moves on with the clock every frame, as the device moves it
    // when there is one, so the spectrum finds its samples already decoded.
    if (device_ == nullptr && !waitsForDecoder()) ring_.follow(at);
    if (!ring_.decodesInBackground()) ring_.refill(TrackRing::kFrameRefill);
    const std::uint64_t starved = starvedAt_.load(std::memory_order_acquire);
    if (starved != kNotStarved && !starvationTold_) {
        starvationTold_ = true;
        debugPrint("veldrin: the music decoding fell behind at %.3f s; the sound it missed plays as silence",
                   double(starved) / kSampleRate);
    }
    return at < ring_.totalFrames() ? 1 : 0;
}

int PlatformAudioOutput::spectrum(float* out) {
    if (!hasStream_ || !spectrum_.ready()) return -1;
    const std::uint64_t at = clockPosition();
    if (frameLoopDrivesRing()) ring_.follow(at);
    // Offline capture and a catch-up wait for the decoder, so that every frame sees the samples
    // of its own music time and a capture is the same on every run.
    const std::uint64_t missing = spectrum_.analyse(ring_, kFrameReader, at, waitsForDecoder(), out);
    if (missing > 0 && playing_.load(std::memory_order_acquire)) {
        noteStarved(at > kSpectrumSize ? at - kSpectrumSize : 0);
    }
    return 0;
}

void PlatformAudioOutput::release() {
    device_.reset();  // waits for a fill in progress
    playing_.store(false, std::memory_order_release);
    hasStream_ = false;
    ring_.close();
    initialised_ = false;
    mode_ = requested_;
}

void PlatformAudioOutput::fill(void* self, float* out, std::uint64_t frames, std::uint64_t aheadFrames) {
    static_cast<PlatformAudioOutput*>(self)->fillDevice(out, frames, aheadFrames);
}

void PlatformAudioOutput::fillDevice(float* out, std::uint64_t frames, std::uint64_t aheadFrames) {
    if (!playing_.load(std::memory_order_acquire) || followClock_.load(std::memory_order_acquire)) {
        std::memset(out, 0, std::size_t(frames) * 2 * sizeof(float));
        return;
    }
    // Where the clock is now, and so where the track is due when these frames are heard. Past
    // its end the feed hands silence, as it is heard.
    // The clock is read here, on the device's thread, only while playing live: see audio.h.
    const std::uint64_t now = clockPosition();
    const std::uint64_t due = aheadFrames == AudioDevice::kAheadUnknown ? DeviceFeed::kDueUnknown
                                                                        : now + std::min(aheadFrames, kMaxAheadFrames);
    if (!ring_.decodesInBackground() && due != DeviceFeed::kDueUnknown) {
        // Nobody else decodes (the page): what the feed is about to read is decoded here, the
        // frames it goes on from and those due, where the two lie close enough to be read in one.
        ring_.follow(now);
        const std::uint64_t from = std::min(feed_.next(), due);
        const std::uint64_t to = std::max(feed_.next(), due) + frames + frames / 64 + 2;
        if (to - from <= kLeadFrames) ring_.waitFor(from, to);
        else ring_.waitFor(due, due + frames);
    }
    const std::uint64_t missing = feed_.fill(ring_, kDeviceReader, due, out, frames);
    // The decoder has not reached what is due, or a stall has taken the clock past what it held:
    // silence, rather than holding the clock up.
    if (missing > 0) noteStarved(feed_.next() > frames ? feed_.next() - frames : 0);
    // The ring keeps what the spectrum reads, just before the clock's frame, and decodes ahead of
    // what the device is handed.
    ring_.follow(now);
}

}  // namespace

std::unique_ptr<AudioOutput> createAudioOutput(const AudioOutputDesc& desc) {
    return std::make_unique<PlatformAudioOutput>(desc);
}

std::unique_ptr<AudioOutput> createAudioOutput(AudioMode mode, Clock& clock) {
    AudioOutputDesc desc;
    desc.mode = mode;
    desc.clock = &clock;
    return createAudioOutput(desc);
}
