// The desktop's sound device over SDL audio.
#include "platform/audio_device.h"

#include <SDL.h>
#include <dlfcn.h>

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

}  // namespace

struct AudioDevice::State {
    SDL_AudioDeviceID device = 0;
    AudioDevice::Fill fill = nullptr;
    void* user = nullptr;

    static void SDLCALL callback(void* self, Uint8* stream, int len) {
        // SDL hands out a buffer of whole F32 stereo frames (the format was fixed at open).
        auto* state = static_cast<State*>(self);
        state->fill(state->user, reinterpret_cast<float*>(stream), std::uint64_t(len) / (2 * sizeof(float)));
    }
};

bool AudioDevice::open(int sampleRate, Fill fill, void* user, std::string& why) {
    close();
    const QuietAlsa quiet;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        why = SDL_GetError();
        return false;
    }
    // From here the subsystem stays until close, even when no device opens: quitting it joins
    // SDL's device-watching thread, which sleeps in 100 ms steps, and that wait would be most
    // of the start-up.
    state_ = new State;
    state_->fill = fill;
    state_->user = user;
    SDL_AudioSpec want{};
    want.freq = sampleRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = State::callback;
    want.userdata = state_;
    SDL_AudioSpec have{};
    state_->device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);  // no changes allowed: SDL converts
    if (state_->device == 0) {
        why = SDL_GetError();
        return false;
    }
    return true;
}

bool AudioDevice::isOpen() const { return state_ != nullptr && state_->device != 0; }

void AudioDevice::start() {
    if (isOpen()) SDL_PauseAudioDevice(state_->device, 0);
}

void AudioDevice::lock() {
    if (isOpen()) SDL_LockAudioDevice(state_->device);
}

void AudioDevice::unlock() {
    if (isOpen()) SDL_UnlockAudioDevice(state_->device);
}

// SDL asks for a buffer just before it plays it; what it holds is not worth counting against the
// frame's own granularity.
std::uint64_t AudioDevice::queuedFrames() const { return 0; }

void AudioDevice::close() {
    if (state_ == nullptr) return;
    if (state_->device != 0) SDL_CloseAudioDevice(state_->device);  // waits for a callback in progress
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    delete state_;
    state_ = nullptr;
}
