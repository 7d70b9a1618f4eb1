// The desktop's sound device over SDL audio, where no PulseAudio server answers (or SDL is asked
// for by SDL_AUDIODRIVER). SDL does not tell its driver's latency: the buffer being played when
// SDL asks for the next one is all that is accounted for.
#include <SDL.h>
#include <dlfcn.h>

#include "platform/sdl/audio_devices.h"

namespace {

// alsa-lib prints its own errors to stderr, half a dozen lines when a machine has no sound
// card at all, before SDL reports the failure that we turn into one line. While the device is
// probed its messages are dropped (SDL loads alsa-lib at run time, so it is reached the same
// way); afterwards its default reporting is back.
class QuietAlsa {
public:
    QuietAlsa() {
        library_ = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        if (library_ == nullptr) library_ = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (library_ == nullptr) return;
        setHandler_ = reinterpret_cast<SetHandler>(dlsym(library_, "snd_lib_error_set_handler"));
        if (setHandler_ != nullptr) setHandler_(discard);
    }
    ~QuietAlsa() {
        if (setHandler_ != nullptr) setHandler_(nullptr);
        if (library_ != nullptr) dlclose(library_);
    }
    QuietAlsa(const QuietAlsa&) = delete;
    QuietAlsa& operator=(const QuietAlsa&) = delete;

private:
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    static void discard(const char*, int, const char*, int, const char*, ...) {}

    void* library_ = nullptr;
    SetHandler setHandler_ = nullptr;
};

class SdlAudioDevice final : public AudioDevice {
public:
    SdlAudioDevice(AudioDevice::Fill fill, void* user) : fill_(fill), user_(user) {}
    ~SdlAudioDevice() override;
    SdlAudioDevice(const SdlAudioDevice&) = delete;
    SdlAudioDevice& operator=(const SdlAudioDevice&) = delete;

    bool open(int sampleRate, std::string& why);
    void start() override { SDL_PauseAudioDevice(device_, 0); }
    void lock() override { SDL_LockAudioDevice(device_); }
    void unlock() override { SDL_UnlockAudioDevice(device_); }

private:
    static void SDLCALL callback(void* self, Uint8* stream, int len) {
        // SDL hands out a buffer of whole F32 stereo frames (the format was fixed at open).
        auto* device = static_cast<SdlAudioDevice*>(self);
        device->fill_(device->user_, reinterpret_cast<float*>(stream), std::uint64_t(len) / (2 * sizeof(float)),
                      device->bufferFrames_);
    }

    AudioDevice::Fill fill_;
    void* user_;
    bool subsystem_ = false;
    SDL_AudioDeviceID device_ = 0;
    std::uint64_t bufferFrames_ = 0;
};

bool SdlAudioDevice::open(int sampleRate, std::string& why) {
    const QuietAlsa quiet;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        why = SDL_GetError();
        return false;
    }
    // From here the subsystem stays until the device goes, even when none opens: quitting it
    // joins SDL's device-watching thread, which sleeps in 100 ms steps, and that wait would be
    // most of the start-up.
    subsystem_ = true;
    SDL_AudioSpec want{};
    want.freq = sampleRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);  // no changes allowed: SDL converts
    if (device_ == 0) {
        why = SDL_GetError();
        return false;
    }
    bufferFrames_ = have.samples;
    return true;
}

SdlAudioDevice::~SdlAudioDevice() {
    if (device_ != 0) SDL_CloseAudioDevice(device_);  // waits for a callback in progress
    if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace

std::unique_ptr<AudioDevice> openSdlAudioDevice(int sampleRate, AudioDevice::Fill fill, void* user,
                                                std::string& why) {
    auto device = std::make_unique<SdlAudioDevice>(fill, user);
    if (!device->open(sampleRate, why)) return nullptr;
    return device;
}
