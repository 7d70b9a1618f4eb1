// The desktop's sound device where a PulseAudio server runs (PipeWire serves the same protocol):
// a playback stream whose every request is answered with the stream's own latency, so that what
// is handed is what the clock will have reached when it is heard. The server's requests come on
// libpulse's own thread; the fill function runs there, under a lock of ours.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <mutex>

#include "platform/sdl/audio_devices.h"

namespace {

// A short stream: 50 ms held by the server, asked for in 10 ms pieces. A stall longer than that
// runs it dry whatever it holds, and the feed then cuts back in step.
constexpr pa_usec_t kTargetUs = 50000;
constexpr pa_usec_t kRequestUs = 10000;
constexpr std::uint64_t kChunkFrames = 1024;
// A report of the stream's timing older than this is renewed.
constexpr pa_usec_t kReportUs = 20000;
// How long connecting may take before the desktop turns to SDL instead.
constexpr pa_usec_t kConnectUs = 3000000;

class PulseAudioDevice final : public AudioDevice {
public:
    PulseAudioDevice(AudioDevice::Fill fill, void* user) : fill_(fill), user_(user) {}
    ~PulseAudioDevice() override;
    PulseAudioDevice(const PulseAudioDevice&) = delete;
    PulseAudioDevice& operator=(const PulseAudioDevice&) = delete;

    bool open(int sampleRate, std::string& why);
    void start() override;
    void lock() override { filling_.lock(); }
    void unlock() override { filling_.unlock(); }

private:
    // libpulse's callbacks, on its thread with its lock held.
    static void contextChanged(pa_context*, void* self);
    static void streamChanged(pa_stream*, void* self);
    static void requested(pa_stream* stream, std::size_t bytes, void* self);
    static void ranDry(pa_stream* stream, void* self);
    static void timingUpdated(pa_stream* stream, int success, void* self);
    static void deadline(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self);
    void answer(std::size_t bytes);
    double latency(bool& known);
    void askForTiming();
    bool waitReady(std::string& why);
    std::string failure() const;

    AudioDevice::Fill fill_;
    void* user_;
    int rate_ = 0;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    bool late_ = false;     // connecting took too long
    bool started_ = false;
    // The stream ran dry and no timing report has come since: the last one, reckoned on as if
    // the stream had played on all the while, is not to be believed.
    bool stale_ = false;
    bool asked_ = false;    // a timing report is on its way; all four under libpulse's lock
    std::mutex filling_;
    float frames_[2 * kChunkFrames] = {};
};

void PulseAudioDevice::contextChanged(pa_context*, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseAudioDevice*>(self)->loop_, 0);
}

void PulseAudioDevice::streamChanged(pa_stream*, void* self) {
    pa_threaded_mainloop_signal(static_cast<PulseAudioDevice*>(self)->loop_, 0);
}

void PulseAudioDevice::deadline(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
    auto* device = static_cast<PulseAudioDevice*>(self);
    device->late_ = true;
    pa_threaded_mainloop_signal(device->loop_, 0);
}

void PulseAudioDevice::requested(pa_stream*, std::size_t bytes, void* self) {
    static_cast<PulseAudioDevice*>(self)->answer(bytes);
}

void PulseAudioDevice::ranDry(pa_stream*, void* self) {
    auto* device = static_cast<PulseAudioDevice*>(self);
    device->stale_ = true;
    device->askForTiming();
}

void PulseAudioDevice::askForTiming() {
    if (asked_) return;
    if (pa_operation* update = pa_stream_update_timing_info(stream_, timingUpdated, this)) {
        asked_ = true;
        pa_operation_unref(update);
    }
}

void PulseAudioDevice::timingUpdated(pa_stream*, int success, void* self) {
    auto* device = static_cast<PulseAudioDevice*>(self);
    device->asked_ = false;
    if (success != 0) device->stale_ = false;
}

void PulseAudioDevice::answer(std::size_t bytes) {
    constexpr std::size_t kFrameBytes = 2 * sizeof(float);
    while (bytes >= kFrameBytes) {
        std::uint64_t frames = std::min<std::uint64_t>(bytes / kFrameBytes, kChunkFrames);
        if (started_) {
            const std::lock_guard<std::mutex> hold(filling_);
            bool known = false;
            const double latencyUs = latency(known);
            if (!known) {
                fill_(user_, frames_, frames, AudioDevice::kAheadUnknown);
            } else if (latencyUs < 0.0) {
                // The server has played on past what it was given (the stream ran dry): that
                // much of what is written now falls in the past and is dropped unheard. It is
                // written as silence, and the track goes on after it.
                frames = std::min(frames, std::uint64_t(-latencyUs * rate_ / 1e6) + 1);
                std::fill(frames_, frames_ + 2 * frames, 0.0f);
            } else {
                fill_(user_, frames_, frames, std::uint64_t(latencyUs * rate_ / 1e6));
            }
        } else {
            std::fill(frames_, frames_ + 2 * frames, 0.0f);
        }
        if (pa_stream_write(stream_, frames_, frames * kFrameBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
        bytes -= frames * kFrameBytes;
    }
}

// The time until a frame written now is heard: what the server holds past its read position,
// the sink's latency and the transport's, as of the server's last report, less the time it has
// played since. libpulse's own interpolation of this is smoothed: after a stall it takes seconds
// to believe what the reports say, so the reports are asked for often and read as they are.
double PulseAudioDevice::latency(bool& known) {
    const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
    known = timing != nullptr && !stale_ && timing->write_index_corrupt == 0 && timing->read_index_corrupt == 0;
    if (timing == nullptr) return 0.0;
    const pa_usec_t age = pa_timeval_age(&timing->timestamp);
    if (age > kReportUs) askForTiming();
    if (!known) return 0.0;
    const double held = double(timing->write_index - timing->read_index) / (2.0 * sizeof(float) * rate_) * 1e6;
    return held + double(timing->sink_usec) + double(timing->transport_usec) - (timing->playing != 0 ? double(age) : 0.0);
}

std::string PulseAudioDevice::failure() const {
    if (late_) return "PulseAudio: no answer from the server";
    return std::string("PulseAudio: ") + pa_strerror(pa_context_errno(context_));
}

// With libpulse's lock held: until the context and then the stream are ready, or either fails.
bool PulseAudioDevice::waitReady(std::string& why) {
    for (;;) {
        const pa_context_state_t context = pa_context_get_state(context_);
        const pa_stream_state_t stream = stream_ != nullptr ? pa_stream_get_state(stream_) : PA_STREAM_UNCONNECTED;
        if (!PA_CONTEXT_IS_GOOD(context) || (stream_ != nullptr && !PA_STREAM_IS_GOOD(stream)) || late_) {
            why = failure();
            return false;
        }
        if (stream_ == nullptr ? context == PA_CONTEXT_READY : stream == PA_STREAM_READY) return true;
        pa_threaded_mainloop_wait(loop_);
    }
}

bool PulseAudioDevice::open(int sampleRate, std::string& why) {
    rate_ = sampleRate;
    loop_ = pa_threaded_mainloop_new();
    if (loop_ == nullptr) {
        why = "PulseAudio: no main loop";
        return false;
    }
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "veldrin");
    if (context_ == nullptr) {
        why = "PulseAudio: no context";
        return false;
    }
    pa_context_set_state_callback(context_, contextChanged, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0) {
        why = failure();
        return false;
    }
    if (pa_threaded_mainloop_start(loop_) < 0) {
        why = "PulseAudio: the main loop does not start";
        return false;
    }
    pa_threaded_mainloop_lock(loop_);
    pa_time_event* limit = pa_context_rttime_new(context_, pa_rtclock_now() + kConnectUs, deadline, this);
    bool ready = waitReady(why);
    const pa_sample_spec format = {PA_SAMPLE_FLOAT32NE, std::uint32_t(sampleRate), 2};
    if (ready) {
        stream_ = pa_stream_new(context_, "veldrin", &format, nullptr);
        if (stream_ == nullptr) {
            why = failure();
            ready = false;
        }
    }
    if (ready) {
        pa_stream_set_state_callback(stream_, streamChanged, this);
        pa_stream_set_write_callback(stream_, requested, this);
        pa_stream_set_underflow_callback(stream_, ranDry, this);
        pa_buffer_attr attr;
        attr.maxlength = std::uint32_t(-1);
        attr.tlength = std::uint32_t(pa_usec_to_bytes(kTargetUs, &format));
        attr.prebuf = std::uint32_t(-1);
        attr.minreq = std::uint32_t(pa_usec_to_bytes(kRequestUs, &format));
        attr.fragsize = std::uint32_t(-1);
        // Corked until start.
        const auto flags =
            pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        ready = pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) == 0 && waitReady(why);
        if (!ready && why.empty()) why = failure();
    }
    if (limit != nullptr) pa_threaded_mainloop_get_api(loop_)->time_free(limit);
    pa_threaded_mainloop_unlock(loop_);
    return ready;
}

void PulseAudioDevice::start() {
    pa_threaded_mainloop_lock(loop_);
    if (!started_) {
        started_ = true;
        if (pa_operation* uncork = pa_stream_cork(stream_, 0, nullptr, nullptr)) pa_operation_unref(uncork);
    }
    pa_threaded_mainloop_unlock(loop_);
}

PulseAudioDevice::~PulseAudioDevice() {
    // Stopping the loop joins its thread: no request is answered after it, none is in progress.
    if (loop_ != nullptr) pa_threaded_mainloop_stop(loop_);
    if (stream_ != nullptr) {
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    if (context_ != nullptr) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_ != nullptr) pa_threaded_mainloop_free(loop_);
}

}  // namespace

std::unique_ptr<AudioDevice> openPulseAudioDevice(int sampleRate, AudioDevice::Fill fill, void* user,
                                                  std::string& why) {
    auto device = std::make_unique<PulseAudioDevice>(fill, user);
    if (!device->open(sampleRate, why)) return nullptr;
    return device;
}
