// Audio output: what the music stream needs from the machine. One interface, three ways to
// hear (or not hear) the track:
//   - a real device (the port's), the track decoded from memory a few seconds ahead as it
//     plays, and kept in step with the clock: what is heard is the track at the clock's time;
//   - silent output paced by a clock, for machines without a sound card: the same spectrum
//     and the same end as if it were heard;
//   - offline output whose position is the music time of a fixed-step clock, for capture and
//     tests, so every frame sees the spectrum of its own instant.
// All three share one MP3 decoder (libmpg123) and one spectrum analyser (KissFFT).
#pragma once

#include <cstddef>
#include <memory>

#include "platform/audio_device.h"

class Clock;

constexpr int kSpectrumBins = 256;       // magnitudes of a 512-sample FFT, lowest first
constexpr int kSampleRate = 44100;

class AudioOutput {
public:
    virtual ~AudioOutput() = default;

    // Opens the output at the sample rate (kSampleRate is the only one offered; anything else
    // is 0 with a line on stderr). Starts afresh: a stream made before is released. A device
    // that will not open is not a failure: the output says so in one line on stderr and plays
    // silently, paced by the clock, so the demo still runs its length. 1 on success, 0 on failure.
    virtual int init(int sampleRate) = 0;
    // Creates the stream over MP3 bytes in memory (never copied to a file; they must outlive
    // the stream). Returns once the first frames have decoded; the rest is decoded in the
    // background a few seconds ahead of the play position, and let go once played, so the
    // whole track is never held decoded. Bytes that do not decode give 0 and a line on stderr.
    // 1 or 0.
    virtual int createStream(const unsigned char* bytes, std::size_t size) = 0;
    // Starts the output. 1, or 0 when it was not initialised.
    virtual int start() = 0;
    // Begins playing the stream from its start. Does nothing without a stream.
    virtual void play() = 0;
    // Nonzero from play until the clock has reached the end of the stream (with a device, until
    // it has been heard); 0 before play, after the end, and without a stream. Asked once a
    // frame.
    virtual int isActive() = 0;
    // Fills out[0..255] with |X_k| × 2/512 of the 512 mono samples before the play position,
    // the clock's (Hann window; silence before play and past the end): with a device, what is
    // heard now. Offline waits for the decoder, so
    // that a capture is the same on every run. Playing, where the decoder has fallen behind (a
    // stalled machine), the missing samples are silence, for the device as for the spectrum,
    // and with --debug the first time is told on stderr. Returns 0, or -1 when there is no
    // stream to analyse.
    virtual int spectrum(float* out) = 0;
    // Stops the device, ends the decoding and releases everything; safe to call more than
    // once.
    virtual void release() = 0;
    // Catching up (starting the show at a later time): while on, every mode takes its position
    // from the clock and waits for the decoder, exactly as Offline does, and a device stays
    // silent. Turning it off hands the device the position the clock has reached, once the
    // decoder holds the sound from there, so the sound starts there at once. Off by default.
    virtual void followClock(bool on) = 0;
};

enum class AudioMode {
    Device,   // the default device; falls back to Silent (one line on stderr) when none opens
    Silent,   // no device: position = (ticks since play) × 44.1 frames, in real time
    Offline,  // as Silent, on a clock the caller steps frame by frame (capture, tests)
};

// The clock must outlive the output; it is the same clock the music time is measured with. With
// a device it is read on the device's thread too while the output plays (not while it follows
// the clock): from play, or from the end of following, it may only run on.
std::unique_ptr<AudioOutput> createAudioOutput(AudioMode mode, Clock& clock);
// The same, told more: a device of the caller's instead of the machine's, and the ring decoding
// on the frame loop's thread (in isActive, as the page does for want of threads) instead of one
// of its own. Tests stand a device in that they drive from the frame loop's thread themselves.
struct AudioOutputDesc {
    AudioMode mode = AudioMode::Device;
    Clock* clock = nullptr;  // required
    OpenAudioDevice openDevice = openAudioDevice;
    bool decodeOnThread = true;
};
std::unique_ptr<AudioOutput> createAudioOutput(const AudioOutputDesc& desc);
