// The desktop's sound device: a PulseAudio stream where a server answers (PipeWire's too), as on
// most Linux desktops, for it tells the stream's latency; SDL audio otherwise, or where
// SDL_AUDIODRIVER asks for another of SDL's drivers.
#include <cstdlib>
#include <cstring>

#include "platform/sdl/audio_devices.h"

std::unique_ptr<AudioDevice> openAudioDevice(int sampleRate, AudioDevice::Fill fill, void* user, std::string& why) {
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    const bool pulseFirst = driver == nullptr || *driver == '\0' || std::strcmp(driver, "pulseaudio") == 0 ||
                            std::strcmp(driver, "pipewire") == 0;
    std::string pulseWhy;
    if (pulseFirst) {
        if (auto device = openPulseAudioDevice(sampleRate, fill, user, pulseWhy)) return device;
    }
    auto device = openSdlAudioDevice(sampleRate, fill, user, why);
    if (device == nullptr && !pulseWhy.empty()) why = pulseWhy + "; " + why;
    return device;
}
