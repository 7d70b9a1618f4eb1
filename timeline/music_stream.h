// MusicStream: the one embedded track, its play state, its spectrum and the music clock.
// The music time is the clock's milliseconds since playback was requested, not a position
// reported by the audio output, so the timeline keeps running even if the sound stalls.
#pragma once

#include <cstddef>
#include <cstdint>

class AudioOutput;
class Clock;

class MusicStream {
public:
    MusicStream() = default;
    ~MusicStream();
    MusicStream(const MusicStream&) = delete;
    MusicStream& operator=(const MusicStream&) = delete;

    // Where the sound goes and what the time is measured with; set before init.
    void attach(AudioOutput* output, Clock* clock, const unsigned char* track, std::size_t trackSize);

    int init();     // opens the output at 44,100 Hz; 1 or 0
    int create();   // the stream over the track's bytes in memory; 1 or 0
    int start();    // starts the output; 1 or 0
    int play();     // plays, and takes the play start from the clock; always 1
    int isActive(); // 0 once the track has played to its end (or there is no stream)
    // One magnitude of the current sound's spectrum: entry trunc(frequency × 256 / 9990) of
    // the 512-sample FFT magnitudes, or -1.0 when they cannot be read.
    float band(int frequency);
    // Milliseconds since play start; an unsigned 32-bit difference, so it survives the wrap.
    double elapsedMs();
    void free();

    std::uint32_t stream = 0;     // nonzero once created
    std::uint32_t playStart = 0;  // clock ticks when playback was requested

private:
    AudioOutput* output_ = nullptr;
    Clock* clock_ = nullptr;
    const unsigned char* track_ = nullptr;
    std::size_t trackSize_ = 0;
};

// The spectrum entry a frequency argument reads: trunc(frequency × 0.0256256...).
int bandIndex(int frequency);
