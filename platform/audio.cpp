// The audio outputs: the port's sound device fed from the track as it is decoded, or no device at
// all with the play position taken from the music clock. The track is read through a ring that
// holds a few seconds around the play position. The device's thread and the ring's decoding
// thread are the only other threads; they share the play position and the playing flag through atomics, and
// the samples through the ring, so nothing on the frame path takes a lock or allocates.
#include "platform/audio.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/audio_device.h"
#include "platform/clock.h"
#include "platform/debug_print.h"
#include "platform/track_magnitudes.h"
#include "platform/track_ring.h"

static_assert(Mp3Decoder::kRate == kSampleRate, "the decoder delivers the output's rate");

namespace {

// Reader numbers in the ring: one for each thread that copies samples out.
constexpr int kDeviceReader = 0;  // the device's thread
constexpr int kFrameReader = 1;   // the frame loop (spectrum)
// At the start of play, and where the sound takes over from a catch-up, the ring holds this
// much past the position before the device is given it.
constexpr std::uint64_t kLeadFrames = 8192;
constexpr std::uint64_t kNotStarved = ~std::uint64_t(0);

class PlatformAudioOutput final : public AudioOutput {
public:
    PlatformAudioOutput(AudioMode mode, Clock& clock) : requested_(mode), mode_(mode), clock_(clock) {}
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
    std::uint64_t clockPosition();
    bool clockDriven() const { return !device_.isOpen() || followClock_.load(std::memory_order_acquire); }
    // Whether reads wait for the decoder: offline, and while catching up.
    bool waitsForDecoder() const {
        return mode_ == AudioMode::Offline || followClock_.load(std::memory_order_acquire);
    }
    static void fill(void* self, float* out, std::uint64_t frames);
    void fillDevice(float* out, std::uint64_t frames);
    std::uint64_t position();
    // Moves the ring to where the sound is about to go on from, and waits until it is there.
    void prepareAt(std::uint64_t at);
    void noteStarved(std::uint64_t at);
    // Keeps the device's thread out while the stream or the play state changes under it.
    void lockDevice() { device_.lock(); }
    void unlockDevice() { device_.unlock(); }

    const AudioMode requested_;
    AudioMode mode_;  // Device turns Silent when no device opens
    Clock& clock_;
    bool initialised_ = false;
    AudioDevice device_;
    bool hasStream_ = false;
    TrackRing ring_;
    TrackSpectrum spectrum_;
    std::atomic<bool> playing_{false};
    std::atomic<std::uint64_t> devicePosition_{0};  // frames handed to the device since play
    std::uint32_t playTicks_ = 0;
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
    if (!device_.open(sampleRate, fill, this, why)) {
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
    ring_.decodeInBackground();
    starvedAt_.store(kNotStarved, std::memory_order_release);
    starvationTold_ = false;
    hasStream_ = true;
    return 1;
}

int PlatformAudioOutput::start() {
    if (!initialised_) return 0;
    device_.start();
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
    devicePosition_.store(0, std::memory_order_release);
    playTicks_ = clock_.ticks();
    playing_.store(true, std::memory_order_release);
    unlockDevice();
}

std::uint64_t PlatformAudioOutput::clockPosition() {
    // 44.1 frames per millisecond; the unsigned 32-bit difference survives the tick wrap.
    const std::uint32_t elapsedMs = clock_.ticks() - playTicks_;
    return std::uint64_t(elapsedMs) * 441 / 10;
}

std::uint64_t PlatformAudioOutput::position() {
    if (!playing_.load(std::memory_order_acquire)) return 0;
    if (clockDriven()) return clockPosition();
    // What is heard now: the device may hold some of what it was handed in its buffers.
    const std::uint64_t handed = devicePosition_.load(std::memory_order_acquire);
    const std::uint64_t queued = device_.queuedFrames();
    return handed > queued ? handed - queued : 0;
}

void PlatformAudioOutput::followClock(bool on) {
    if (!on && followClock_.load(std::memory_order_acquire)) {
        const bool playing = playing_.load(std::memory_order_acquire);
        // The ring has followed the reads of the catch-up, not the clock: it moves to where the
        // sound goes on before anything is heard from it.
        if (playing && hasStream_) prepareAt(clockPosition());
        lockDevice();
        const std::uint64_t at = playing ? clockPosition() : 0;
        devicePosition_.store(at, std::memory_order_release);
        if (playing && hasStream_) ring_.follow(at);
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
    const std::uint64_t at = position();
    // Playing silently, the clock is the position: the ring moves on with it every frame, as
    // it does with a device, so the spectrum finds its samples already decoded.
    if (!device_.isOpen() && !waitsForDecoder()) ring_.follow(at);
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
    const std::uint64_t at = position();
    if (clockDriven()) ring_.follow(at);
    // Offline capture and a catch-up wait for the decoder, so that every frame sees the samples
    // of its own music time and a capture is the same on every run.
    const std::uint64_t missing = spectrum_.analyse(ring_, kFrameReader, at, waitsForDecoder(), out);
    if (missing > 0 && playing_.load(std::memory_order_acquire)) {
        noteStarved(at > kSpectrumSize ? at - kSpectrumSize : 0);
    }
    return 0;
}

void PlatformAudioOutput::release() {
    device_.close();  // waits for a fill in progress
    playing_.store(false, std::memory_order_release);
    hasStream_ = false;
    ring_.close();
    initialised_ = false;
    mode_ = requested_;
}

void PlatformAudioOutput::fill(void* self, float* out, std::uint64_t frames) {
    static_cast<PlatformAudioOutput*>(self)->fillDevice(out, frames);
}

void PlatformAudioOutput::fillDevice(float* out, std::uint64_t frames) {
    if (!playing_.load(std::memory_order_acquire) || followClock_.load(std::memory_order_acquire)) {
        std::memset(out, 0, frames * 2 * sizeof(float));
        return;
    }
    const std::uint64_t at = devicePosition_.load(std::memory_order_relaxed);
    // What the decoder has not reached plays as silence rather than holding the clock up.
    if (ring_.copy(kDeviceReader, at, frames, out) > 0) noteStarved(at);
    // The position runs on past the end, so the spectrum there is of silence, as it is heard.
    devicePosition_.store(at + frames, std::memory_order_release);
    ring_.follow(at + frames);
}

}  // namespace

std::unique_ptr<AudioOutput> createAudioOutput(AudioMode mode, Clock& clock) {
    return std::make_unique<PlatformAudioOutput>(mode, clock);
}
