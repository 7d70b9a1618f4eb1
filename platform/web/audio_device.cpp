// The page's sound device: Web Audio, pushed to rather than pulling. A timer of the page asks for
// the next buffers and schedules each at an exact time of the audio context, back to back, a
// couple of seconds ahead of what is heard, so that a page that stalls keeps playing. What lies
// ahead of each request is known exactly: the context time it is scheduled at, less the context
// time heard now (the music clock's source, steady_clock.cpp). Silence is scheduled only a little
// ahead: before the show plays (and while it catches up with a late start) the output hands
// silence, and sound that follows it must not wait behind seconds of it.
#include <emscripten.h>
#include <emscripten/eventloop.h>

#include <algorithm>
#include <cstdint>

#include "platform/audio_device.h"
#include "platform/web/music_clock.h"

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

constexpr double kLeadMs = 2000.0;          // sound handed over this far ahead of the context
constexpr double kSilenceLeadMs = 100.0;    // silence, no further
constexpr double kStartMarginMs = 30.0;     // what scheduling needs before the context reaches a time
constexpr double kPumpMs = 20.0;
constexpr int kBufferFrames = 44100 / 20;   // 50 ms

class WebAudioDevice final : public AudioDevice {
public:
    WebAudioDevice(AudioDevice::Fill fill, void* user) : fill_(fill), user_(user) {}
    ~WebAudioDevice() override {
        if (timer_ != 0) emscripten_clear_interval(timer_);
        audioStopAll();
    }
    WebAudioDevice(const WebAudioDevice&) = delete;
    WebAudioDevice& operator=(const WebAudioDevice&) = delete;

    void start() override {
        if (timer_ == 0) timer_ = emscripten_set_interval(pump, kPumpMs, this);
    }
    // The page has one thread: the timer never runs while the frame loop does.
    void lock() override {}
    void unlock() override {}

private:
    static void pump(void* self) { static_cast<WebAudioDevice*>(self)->schedule(); }

    void schedule() {
        if (audioContextRunning() == 0) return;
        const double now = audioContextNowMs();
        // What the context can no longer play in time is skipped, not played late: after a
        // stall of the page longer than the lead, scheduling starts again from now.
        scheduledToMs_ = std::max(scheduledToMs_, now + kStartMarginMs);
        while (scheduledToMs_ < now + kLeadMs) {
            if (silent_ && scheduledToMs_ >= now + kSilenceLeadMs) break;
            const double aheadMs = std::max(0.0, scheduledToMs_ - musicNowMs());
            fill_(user_, buffer_, kBufferFrames, std::uint64_t(aheadMs * 44.1));
            silent_ = std::all_of(buffer_, buffer_ + 2 * kBufferFrames, [](float v) { return v == 0.0f; });
            audioSchedule(buffer_, kBufferFrames, scheduledToMs_);
            scheduledToMs_ += kBufferFrames / 44.1;
        }
    }

    AudioDevice::Fill fill_;
    void* user_;
    long timer_ = 0;
    double scheduledToMs_ = 0.0;  // context time up to which buffers are scheduled
    bool silent_ = true;          // the last buffer handed over was silence
    float buffer_[2 * kBufferFrames] = {};
};

}  // namespace

std::unique_ptr<AudioDevice> openAudioDevice(int, AudioDevice::Fill fill, void* user, std::string& why) {
    if (audioContextRunning() == 0) {
        why = "no running audio context in this page";
        return nullptr;
    }
    return std::make_unique<WebAudioDevice>(fill, user);
}
