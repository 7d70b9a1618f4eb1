// The sound device: the one piece of audio output each port provides (a PulseAudio stream, or SDL
// audio, on the desktop; WinMM waveOut on Windows). It asks for 44.1 kHz stereo float frames from
// a thread of its own, and says with each request how far ahead of what is heard now the frames
// it asks for go: its own buffers, its queue, and the output's latency wherever the system
// reports it. Everything else (the track, the ring, the spectrum, keeping the sound in step with
// the clock, silent play) is the same on every port (platform/audio.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class AudioDevice {
public:
    // Writes `frames` stereo frames (2 floats each) to `out`; the first of them will be heard
    // `aheadFrames` frames of time from now, or kAheadUnknown when the device cannot tell for
    // the moment (its reports are out of date). Called on the device's thread.
    using Fill = void (*)(void* user, float* out, std::uint64_t frames, std::uint64_t aheadFrames);
    static constexpr std::uint64_t kAheadUnknown = ~std::uint64_t(0);

    // Stops the device; a fill in progress finishes first, and none follows.
    virtual ~AudioDevice() = default;
    // Starts asking for frames (until then the device is silent).
    virtual void start() = 0;
    // Keeps the fill function out while the caller changes what it reads; not reentrant.
    virtual void lock() = 0;
    virtual void unlock() = 0;
};

// Opens the machine's default device, paused. Null when there is none or it will not open: `why`
// then says so in a few words, and the caller plays silently.
std::unique_ptr<AudioDevice> openAudioDevice(int sampleRate, AudioDevice::Fill fill, void* user, std::string& why);
using OpenAudioDevice = decltype(&openAudioDevice);
