// The sound device: the one piece of audio output each port provides (SDL audio on the desktop,
// WinMM waveOut on Windows). It asks for 44.1 kHz stereo float frames from a thread of its own,
// through the fill function; everything else (the track, the ring, the spectrum, silent play)
// is the same on every port (platform/audio.cpp).
#pragma once

#include <cstdint>
#include <string>

class AudioDevice {
public:
    // Writes `frames` stereo frames (2 floats each) to `out`; called on the device's thread.
    using Fill = void (*)(void* user, float* out, std::uint64_t frames);

    AudioDevice() = default;
    ~AudioDevice() { close(); }
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;

    // Opens the default device, paused. False when there is none or it will not open: `why`
    // then says so in a few words, and the caller plays silently.
    bool open(int sampleRate, Fill fill, void* user, std::string& why);
    bool isOpen() const;
    // Starts asking for frames.
    void start();
    // Keeps the fill function out while the caller changes what it reads; not reentrant.
    void lock();
    void unlock();
    // Frames already handed over by the fill function but not heard yet; the position heard is
    // the frames handed minus these.
    std::uint64_t queuedFrames() const;
    // Stops the device and waits for a fill in progress; safe to call more than once.
    void close();

private:
    struct State;
    State* state_ = nullptr;
};
