// Windows' sound device over WinMM waveOut: 44.1 kHz stereo 16-bit, a few buffers kept queued by
// a feeder thread that the device wakes (CALLBACK_EVENT) each time it has played one.
#include "platform/audio_device.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <mutex>

#include "platform/win32/wave_out.h"

namespace {

// Four buffers of 35 ms: a feeder that is late by a buffer still finds three queued, and what
// is heard lags what was handed by at most 139 ms, which queuedFrames accounts for.
constexpr int kBuffers = 4;
constexpr std::uint32_t kBufferFrames = 1536;

std::string waveOutError(MMRESULT result) {
    char text[MAXERRORLENGTH] = {};
    if (waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR || text[0] == '\0') {
        return "waveOut error " + std::to_string(result);
    }
    return text;
}

}  // namespace

struct AudioDevice::State {
    HWAVEOUT out = nullptr;
    HANDLE wake = nullptr;  // auto-reset: set by the device for each finished buffer, and by close
    HANDLE feeder = nullptr;
    std::mutex filling;
    std::atomic<bool> stopping{false};
    // Frames handed to the device, and frames that could not be handed (a device gone mid-run)
    // but count as played so that the position still runs to the end; both modulo 2^32.
    std::atomic<std::uint32_t> handed{0};
    std::atomic<std::uint32_t> lost{0};
    DWORD bufferMs = 0;
    AudioDevice::Fill fill = nullptr;
    void* user = nullptr;
    WAVEHDR headers[kBuffers] = {};
    bool prepared[kBuffers] = {};
    std::int16_t samples[kBuffers][kBufferFrames * 2] = {};
    float frames[kBufferFrames * 2] = {};

    // The thread's entry point has the system's calling convention (a lambda would not on 32-bit).
    static DWORD WINAPI feed(LPVOID self);
    void feedFreeBuffers();
};

DWORD WINAPI AudioDevice::State::feed(LPVOID self) {
    auto* state = static_cast<State*>(self);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    while (!state->stopping.load(std::memory_order_acquire)) {
        state->feedFreeBuffers();
        // The timeout only matters when the device has stopped answering (see below).
        WaitForSingleObject(state->wake, 4 * state->bufferMs);
    }
    return 0;
}

void AudioDevice::State::feedFreeBuffers() {
    for (int i = 0; i < kBuffers && !stopping.load(std::memory_order_acquire); ++i) {
        // The device clears WHDR_INQUEUE from its own thread once the buffer has been played.
        const volatile DWORD& flags = headers[i].dwFlags;
        if ((flags & WHDR_INQUEUE) != 0) continue;
        {
            const std::lock_guard<std::mutex> hold(filling);
            fill(user, frames, kBufferFrames);
        }
        for (std::uint32_t k = 0; k < kBufferFrames * 2; ++k) samples[i][k] = pcm16FromFloat(frames[k]);
        // Counted before the device can play any of it, so a position read meanwhile never
        // exceeds what is counted as handed.
        handed.fetch_add(kBufferFrames, std::memory_order_acq_rel);
        if (waveOutWrite(out, &headers[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            // Without the device the buffer's time still passes, so the show still reaches its end.
            lost.fetch_add(kBufferFrames, std::memory_order_acq_rel);
            Sleep(bufferMs);
        }
    }
}

bool AudioDevice::open(int sampleRate, Fill fill, void* user, std::string& why) {
    close();
    state_ = new State;
    state_->fill = fill;
    state_->user = user;
    state_->bufferMs = DWORD(kBufferFrames * 1000 / std::uint32_t(sampleRate > 0 ? sampleRate : 44100));
    state_->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = DWORD(sampleRate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    const MMRESULT result =
        state_->wake == nullptr ? MMRESULT(MMSYSERR_NOMEM)
                                : waveOutOpen(&state_->out, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(state_->wake),
                                              0, CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        why = waveOutError(result);
        state_->out = nullptr;
        close();
        return false;
    }
    for (int i = 0; i < kBuffers; ++i) {
        WAVEHDR& header = state_->headers[i];
        header.lpData = reinterpret_cast<LPSTR>(state_->samples[i]);
        header.dwBufferLength = DWORD(sizeof state_->samples[i]);
        const MMRESULT prepared = waveOutPrepareHeader(state_->out, &header, sizeof(WAVEHDR));
        if (prepared != MMSYSERR_NOERROR) {
            why = waveOutError(prepared);
            close();
            return false;
        }
        state_->prepared[i] = true;
    }
    return true;
}

bool AudioDevice::isOpen() const { return state_ != nullptr && state_->out != nullptr; }

void AudioDevice::start() {
    if (!isOpen() || state_->feeder != nullptr) return;
    state_->feeder = CreateThread(nullptr, 0, State::feed, state_, 0, nullptr);
}

void AudioDevice::lock() {
    if (isOpen()) state_->filling.lock();
}

void AudioDevice::unlock() {
    if (isOpen()) state_->filling.unlock();
}

std::uint64_t AudioDevice::queuedFrames() const {
    if (!isOpen()) return 0;
    // The played count first: it can only lag the handed count read after it.
    MMTIME time = {};
    time.wType = TIME_SAMPLES;
    if (waveOutGetPosition(state_->out, &time, sizeof time) != MMSYSERR_NOERROR) return 0;
    // A driver may answer in another unit than asked; bytes are four to a frame here.
    std::uint32_t played = 0;
    if (time.wType == TIME_SAMPLES) played = time.u.sample;
    else if (time.wType == TIME_BYTES) played = time.u.cb / 4;
    else return 0;
    played += state_->lost.load(std::memory_order_acquire);
    return waveQueuedFrames(state_->handed.load(std::memory_order_acquire), played, kBuffers * kBufferFrames);
}

void AudioDevice::close() {
    if (state_ == nullptr) return;
    state_->stopping.store(true, std::memory_order_release);
    if (state_->feeder != nullptr) {
        SetEvent(state_->wake);
        WaitForSingleObject(state_->feeder, INFINITE);  // lets a fill in progress finish
        CloseHandle(state_->feeder);
    }
    if (state_->out != nullptr) {
        // Reset hands every queued buffer back, so that each can be unprepared.
        waveOutReset(state_->out);
        for (int i = 0; i < kBuffers; ++i) {
            if (state_->prepared[i]) waveOutUnprepareHeader(state_->out, &state_->headers[i], sizeof(WAVEHDR));
        }
        waveOutClose(state_->out);
    }
    if (state_->wake != nullptr) CloseHandle(state_->wake);
    delete state_;
    state_ = nullptr;
}
