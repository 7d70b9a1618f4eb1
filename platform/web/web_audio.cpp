// The page's audio outputs. The play position is always the music clock's (which follows the
// audio context, steady_clock.cpp), so the spectrum, the end of the show and the picture all
// read one time. In Device mode the decoded track is handed to Web Audio a little ahead of that
// position, in buffers scheduled back to back at exact sample times of the context, so what is
// heard is the sample the clock names. The track is read through the desktop's ring and
// spectrum, a few seconds of it decoded at a time. There is no thread to decode on: the ring is
// refilled on every frame of the show (isActive), and a read that finds its frames not decoded
// yet decodes them there and then.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/track_magnitudes.h"
#include "platform/track_ring.h"
#include "platform/web/music_clock.h"

static_assert(Mp3Decoder::kRate == kSampleRate, "the decoder delivers the output's rate");

namespace {

// Whether the page made an audio context (on the click that started the show) and it runs.
EM_JS(int, audioContextRunning, (), {
    var context = Module["audioContext"];
    return context && context.state === "running" && context.sampleRate === 44100 ? 1 : 0;
});

// The context's scheduling time (ahead of what is heard by the output latency), in ms.
EM_JS(double, audioContextNowMs, (), { return Module["audioContext"].currentTime * 1000; });

// Plays frames of interleaved stereo from the module's memory at context time whenMs.
EM_JS(void, audioSchedule, (const float* stereo, int frames, double whenMs), {
    var context = Module["audioContext"];
    var buffer = context.createBuffer(2, frames, 44100);
    var left = buffer.getChannelData(0);
    var right = buffer.getChannelData(1);
    var at = stereo >> 2;
    for (var i = 0; i < frames; ++i) {
        left[i] = HEAPF32[at + 2 * i];
        right[i] = HEAPF32[at + 2 * i + 1];
    }
    var source = context.createBufferSource();
    source.buffer = buffer;
    source.connect(context.destination);
    source.start(whenMs / 1000);
    Module.audioSources = (Module.audioSources || []).filter(function(s) { return !s.ended; });
    source.onended = function() { source.ended = true; };
    Module.audioSources.push(source);
});

EM_JS(void, audioStopAll, (), {
    (Module.audioSources || []).forEach(function(s) { try { s.stop(); } catch (e) {} });
    Module.audioSources = [];
});

// Handed to Web Audio ahead of the play position, as the page may stall.
constexpr std::uint64_t kScheduleLead = 44100 * 2;
constexpr std::uint64_t kBufferFrames = 44100 / 10;
constexpr double kStartMarginMs = 30.0;  // what scheduling needs before the context reaches a time
constexpr int kReader = 0;  // the page's one thread is the ring's one reader
static_assert(kScheduleLead <= TrackRing::kFrames - TrackRing::kKeepFrames, "the ring holds what is scheduled");

class WebAudioOutput final : public AudioOutput {
public:
    WebAudioOutput(AudioMode mode, Clock& clock) : requested_(mode), mode_(mode), clock_(clock) {}
    ~WebAudioOutput() override { release(); }
    WebAudioOutput(const WebAudioOutput&) = delete;
    WebAudioOutput& operator=(const WebAudioOutput&) = delete;

    int init(int sampleRate) override {
        release();
        if (sampleRate != kSampleRate) {
            std::fprintf(stderr, "veldrin: audio output at %d Hz is not supported (only %d Hz)\n", sampleRate,
                         kSampleRate);
            return 0;
        }
        initialised_ = true;
        if (mode_ == AudioMode::Device && audioContextRunning() == 0) {
            std::fprintf(stderr, "veldrin: no audio output in this page; playing silently\n");
            mode_ = AudioMode::Silent;
        }
        return 1;
    }

    int createStream(const unsigned char* bytes, std::size_t size) override {
        stopSound();
        playing_ = false;
        if (!ring_.open(bytes, size)) {
            std::fprintf(stderr, "veldrin: cannot play the music track: %s\n", ring_.error());
            hasStream_ = false;
            return 0;
        }
        hasStream_ = true;
        return 1;
    }

    int start() override { return initialised_ ? 1 : 0; }

    void play() override {
        if (!hasStream_) return;
        stopSound();
        playTicks_ = clock_.ticks();
        playing_ = true;
    }

    int isActive() override {
        if (!hasStream_ || !playing_) return 0;
        const std::uint64_t at = position();
        ring_.follow(at);
        ring_.refill(TrackRing::kFrameRefill);
        if (mode_ == AudioMode::Device && !followClock_) schedule(at);
        return at < ring_.totalFrames() ? 1 : 0;
    }

    int spectrum(float* out) override {
        if (!hasStream_ || !spectrum_.ready()) return -1;
        const std::uint64_t at = position();
        ring_.follow(at);
        // Every mode waits for the decoder here: waiting is decoding, as nobody else decodes.
        spectrum_.analyse(ring_, kReader, at, true, out);
        return 0;
    }

    void release() override {
        stopSound();
        playing_ = false;
        hasStream_ = false;
        ring_.close();
        initialised_ = false;
        mode_ = requested_;
    }

    void followClock(bool on) override {
        followClock_ = on;
        if (on) stopSound();
    }

private:
    std::uint64_t position() const {
        if (!playing_) return 0;
        // 44.1 frames per millisecond; the unsigned 32-bit difference survives the tick wrap.
        const std::uint32_t elapsedMs = clock_.ticks() - playTicks_;
        return std::uint64_t(elapsedMs) * 441 / 10;
    }

    // Hands Web Audio the frames from where it stopped (or from the play position, when
    // nothing is scheduled) to kScheduleLead past the position, each at the context time at
    // which the music clock will name it.
    void schedule(std::uint64_t at) {
        if (audioContextRunning() == 0) return;
        if (!scheduling_) {
            // The clock counts whole milliseconds of the context's time: one reading ties the
            // two together for the rest of the run.
            contextMsAtFrameZero_ = musicNowMs() - double(at) / 44.1;
            scheduledTo_ = at;
            scheduling_ = true;
        }
        const std::uint64_t until = std::min(ring_.totalFrames(), at + kScheduleLead);
        // What the context can no longer play in time is skipped, not played late.
        const double earliest = audioContextNowMs() + kStartMarginMs;
        const double late = earliest - contextMsAtFrameZero_;
        if (late > 0.0) scheduledTo_ = std::max(scheduledTo_, std::uint64_t(late * 44.1) + 1);
        while (scheduledTo_ < until) {
            const std::uint64_t frames = std::min(kBufferFrames, until - scheduledTo_);
            ring_.waitFor(scheduledTo_, scheduledTo_ + frames);
            ring_.copy(kReader, scheduledTo_, frames, buffer_);
            audioSchedule(buffer_, int(frames), contextMsAtFrameZero_ + double(scheduledTo_) / 44.1);
            scheduledTo_ += frames;
        }
    }

    void stopSound() {
        if (scheduling_) audioStopAll();
        scheduling_ = false;
    }

    const AudioMode requested_;
    AudioMode mode_;  // Device turns Silent when the page has no running audio context
    Clock& clock_;
    bool initialised_ = false;
    bool hasStream_ = false;
    bool playing_ = false;
    bool followClock_ = false;
    std::uint32_t playTicks_ = 0;
    TrackRing ring_;
    TrackSpectrum spectrum_;
    float buffer_[2 * kBufferFrames] = {};  // what audioSchedule hands over, interleaved L/R
    bool scheduling_ = false;
    double contextMsAtFrameZero_ = 0.0;  // context time at which frame 0 would be heard
    std::uint64_t scheduledTo_ = 0;
};

}  // namespace

std::unique_ptr<AudioOutput> createAudioOutput(AudioMode mode, Clock& clock) {
    return std::make_unique<WebAudioOutput>(mode, clock);
}
