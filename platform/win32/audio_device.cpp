// Windows' sound device over WinMM waveOut: 44.1 kHz stereo 16-bit, a few buffers kept queued by
// a feeder thread that the device wakes (CALLBACK_EVENT) each time it has played one.
#include "platform/audio_device.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/win32/wave_out.h"

namespace {

// Four buffers of 35 ms: a feeder that is late by a buffer still finds three queued. What is
// queued when a buffer is filled (at most 139 ms) lies between it and what is heard, and each
// fill is told so.
constexpr int kBuffers = 8;
constexpr std::uint32_t kBufferFrames = 768;

std::string waveOutError(MMRESULT result) {
    char text[MAXERRORLENGTH] = {};
    if (waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR || text[0] == '\0') {
        return "waveOut error " + std::to_string(result);
    }
    return text;
}

class WaveOutDevice final : public AudioDevice {
public:
    WaveOutDevice(AudioDevice::Fill fill, void* user) : fill_(fill), user_(user) {}
    ~WaveOutDevice() override;
    WaveOutDevice(const WaveOutDevice&) = delete;
    WaveOutDevice& operator=(const WaveOutDevice&) = delete;

    bool open(int sampleRate, std::string& why);
    void start() override;
    void lock() override { filling_.lock(); }
    void unlock() override { filling_.unlock(); }

private:
    // The thread's entry point has the system's calling convention (a lambda would not on 32-bit).
    static DWORD WINAPI feed(LPVOID self);
    void feedFreeBuffers();
    // Frames handed to the device and not played yet, by its position; and the buffers it has
    // not handed back. A device may count frames as played once it has passed them on to a
    // mixer or sound server of its own (Wine's does, as soon as it has copied them), and hand a
    // buffer back only later: whichever says more is still to come is nearer the truth.
    std::uint32_t queuedFrames() const;
    std::uint32_t buffersQueued() const;

    AudioDevice::Fill fill_;
    void* user_;
    HWAVEOUT out_ = nullptr;
    HANDLE wake_ = nullptr;  // auto-reset: set by the device for each finished buffer, and on close
    HANDLE feeder_ = nullptr;
    std::mutex filling_;
    std::atomic<bool> stopping_{false};
    // Frames handed to the device, and frames that could not be handed (a device gone mid-run)
    // but count as played, so that what is queued stays true; both modulo 2^32.
    std::uint32_t handed_ = 0;
    std::uint32_t lost_ = 0;
    DWORD bufferMs_ = 0;
    WAVEHDR headers_[kBuffers] = {};
    bool prepared_[kBuffers] = {};
    std::int16_t samples_[kBuffers][kBufferFrames * 2] = {};
    float frames_[kBufferFrames * 2] = {};
};

DWORD WINAPI WaveOutDevice::feed(LPVOID self) {
    auto* device = static_cast<WaveOutDevice*>(self);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    while (!device->stopping_.load(std::memory_order_acquire)) {
        device->feedFreeBuffers();
        // The timeout only matters when the device has stopped answering (see below).
        WaitForSingleObject(device->wake_, 4 * device->bufferMs_);
    }
    return 0;
}

std::uint32_t WaveOutDevice::queuedFrames() const {
    MMTIME time = {};
    time.wType = TIME_SAMPLES;
    if (waveOutGetPosition(out_, &time, sizeof time) != MMSYSERR_NOERROR) return 0;
    // A driver may answer in another unit than asked; bytes are four to a frame here.
    std::uint32_t played = 0;
    if (time.wType == TIME_SAMPLES) played = time.u.sample;
    else if (time.wType == TIME_BYTES) played = time.u.cb / 4;
    else return 0;
    return waveQueuedFrames(handed_, played + lost_, kBuffers * kBufferFrames);
}

std::uint32_t WaveOutDevice::buffersQueued() const {
    std::uint32_t queued = 0;
    for (const WAVEHDR& header : headers_) {
        const volatile DWORD& flags = header.dwFlags;
        if ((flags & WHDR_INQUEUE) != 0) ++queued;
    }
    return queued;
}

void WaveOutDevice::feedFreeBuffers() {
    for (int i = 0; i < kBuffers && !stopping_.load(std::memory_order_acquire); ++i) {
        // The device clears WHDR_INQUEUE from its own thread once the buffer has been played.
        const volatile DWORD& flags = headers_[i].dwFlags;
        if ((flags & WHDR_INQUEUE) != 0) continue;
        {
            // What the device still has to play lies before this buffer; when it has run dry (a
            // stall) nothing does. Counted once the fill may run: holding it out is a stall too.
            const std::lock_guard<std::mutex> hold(filling_);
            fill_(user_, frames_, kBufferFrames, std::max(queuedFrames(), buffersQueued() * kBufferFrames));
        }
        for (std::uint32_t k = 0; k < kBufferFrames * 2; ++k) samples_[i][k] = pcm16FromFloat(frames_[k]);
        handed_ += kBufferFrames;
        if (waveOutWrite(out_, &headers_[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            // Without the device the buffer's time still passes, as if it had been played.
            lost_ += kBufferFrames;
            Sleep(bufferMs_);
        }
    }
}

bool WaveOutDevice::open(int sampleRate, std::string& why) {
    bufferMs_ = DWORD(kBufferFrames * 1000 / std::uint32_t(sampleRate > 0 ? sampleRate : 44100));
    wake_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = DWORD(sampleRate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    const MMRESULT result =
        wake_ == nullptr ? MMRESULT(MMSYSERR_NOMEM)
                         : waveOutOpen(&out_, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(wake_), 0,
                                       CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        why = waveOutError(result);
        out_ = nullptr;
        return false;
    }
    for (int i = 0; i < kBuffers; ++i) {
        WAVEHDR& header = headers_[i];
        header.lpData = reinterpret_cast<LPSTR>(samples_[i]);
        header.dwBufferLength = DWORD(sizeof samples_[i]);
        const MMRESULT prepared = waveOutPrepareHeader(out_, &header, sizeof(WAVEHDR));
        if (prepared != MMSYSERR_NOERROR) {
            why = waveOutError(prepared);
            return false;
        }
        prepared_[i] = true;
    }
    return true;
}

void WaveOutDevice::start() {
    if (feeder_ == nullptr) feeder_ = CreateThread(nullptr, 0, feed, this, 0, nullptr);
}

WaveOutDevice::~WaveOutDevice() {
    stopping_.store(true, std::memory_order_release);
    if (feeder_ != nullptr) {
        SetEvent(wake_);
        WaitForSingleObject(feeder_, INFINITE);  // lets a fill in progress finish
        CloseHandle(feeder_);
    }
    if (out_ != nullptr) {
        // Reset hands every queued buffer back, so that each can be unprepared.
        waveOutReset(out_);
        for (int i = 0; i < kBuffers; ++i) {
            if (prepared_[i]) waveOutUnprepareHeader(out_, &headers_[i], sizeof(WAVEHDR));
        }
        waveOutClose(out_);
    }
    if (wake_ != nullptr) CloseHandle(wake_);
}

}  // namespace

std::unique_ptr<AudioDevice> openAudioDevice(int sampleRate, AudioDevice::Fill fill, void* user, std::string& why) {
    auto device = std::make_unique<WaveOutDevice>(fill, user);
    if (!device->open(sampleRate, why)) return nullptr;
    return device;
}
