// The ring over the decoder: its refill step, the readers' side and the decoding thread.
//
// Readers and the decoding side meet in the span (what the ring holds) and in each reader's
// `reading_` word (where it is copying from). The decoding side announces frames gone in the
// span before it overwrites them, then waits for any reader still copying them; a reader says
// where it copies from before it looks at the span. With one total order over those four steps
// either the reader sees the frames gone, or the decoding side sees the reader and waits the
// microseconds of its copy.
#include "sound/track_ring.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

#include "sound/atomic_wait.h"
#include "platform/debug_print.h"

namespace {

// Decoded by open(): a few MPEG frames, enough to know the stream really decodes, little
// enough to keep the first picture prompt.
constexpr std::uint64_t kFirstFrames = 8192;
// The decoding thread decodes and publishes in pieces of this many frames.
constexpr std::uint64_t kPieceFrames = 16384;
// A full ring is topped up once this much of it has been read (a quarter of a second), so the
// thread wakes a few times a second rather than for every buffer the device takes.
constexpr std::uint64_t kStepFrames = 11025;
constexpr std::uint64_t kNever = ~std::uint64_t(0);

std::uint64_t below(std::uint64_t position, std::uint64_t frames) { return position > frames ? position - frames : 0; }

}  // namespace

bool TrackRing::open(const unsigned char* bytes, std::size_t size) {
    close();
    error_[0] = '\0';
    if (!decoder_.open(bytes, size)) {
        std::snprintf(error_, sizeof error_, "%s", decoder_.error());
        return false;
    }
    if (const char* synthesis = decoder_.synthesis())
        debugPrint("veldrin: the music decodes with libmpg123's %s synthesis", synthesis);
    capacity_ = std::min(kFrames, decoder_.length());
    samples_.reset(new (std::nothrow) float[std::size_t(2 * capacity_)]);
    if (samples_ == nullptr) {
        std::snprintf(error_, sizeof error_, "no memory for the decoded music");
        close();
        return false;
    }
    total_.store(decoder_.length(), std::memory_order_release);
    span_.store(pack(Span{}), std::memory_order_release);
    follow_.store(0, std::memory_order_release);
    refill(kFirstFrames);
    if (span().end == 0) {
        std::snprintf(error_, sizeof error_, "the music track does not decode");
        close();
        return false;
    }
    return true;
}

void TrackRing::decodeInBackground() {
    if (samples_ == nullptr || thread_.joinable()) return;
    stop_.store(false, std::memory_order_release);
    try {
        thread_ = std::thread([this] { decodeLoop(); });
    } catch (const std::system_error&) {
        // No thread to be had: the readers' waits decode, and the owner refills once a frame.
    }
}

void TrackRing::close() {
    stop_.store(true, std::memory_order_release);
    wake();
    if (thread_.joinable()) thread_.join();
    decoder_.close();
    samples_.reset();
    capacity_ = 0;
    span_.store(pack(Span{}), std::memory_order_release);
    total_.store(0, std::memory_order_release);
    follow_.store(0, std::memory_order_release);
}

void TrackRing::publish(Span s) {
    span_.store(pack(s), std::memory_order_release);
    progress_.fetch_add(1, std::memory_order_acq_rel);
    notifyWaiters(progress_);
}

void TrackRing::waitOutReaders(std::uint64_t first) {
    for (const auto& reading : reading_) {
        while (reading.load(std::memory_order_seq_cst) < first) std::this_thread::yield();
    }
}

void TrackRing::restartAt(std::uint64_t frame) {
    // Everything held goes at once; a reader still copying old frames finishes first.
    span_.store(pack(Span{frame, frame}), std::memory_order_seq_cst);
    waitOutReaders(kNotReading);
    // A stream that cannot get there ends there (a damaged one); the decoder says where.
    if (!decoder_.seek(frame)) total_.store(std::min(decoder_.length(), frame), std::memory_order_release);
    publish(Span{frame, frame});
}

std::uint64_t TrackRing::refill(std::uint64_t maxFrames) {
    if (samples_ == nullptr) return 0;
    const std::uint64_t want = below(follow_.load(std::memory_order_seq_cst), kKeepFrames);
    // Only this side changes the span and the length: its own view of them is current.
    Span s = span(std::memory_order_relaxed);
    if (want >= total_.load(std::memory_order_relaxed)) return 0;
    // A position before what is held, or beyond what is decoded: decoding moves there.
    if (want < s.first || want > s.end) {
        restartAt(want);
        s = span(std::memory_order_relaxed);
    }
    const std::uint64_t limit = std::min(total_.load(std::memory_order_relaxed), want + capacity_);
    std::uint64_t decoded = 0;
    while (decoded < maxFrames && s.end < limit) {
        const std::uint64_t slot = s.end % capacity_;
        const std::uint64_t n = std::min({maxFrames - decoded, limit - s.end, capacity_ - slot});
        // The slots about to be written hold the frames just before end + n − capacity.
        if (s.end + n > s.first + capacity_) {
            s.first = s.end + n - capacity_;
            span_.store(pack(s), std::memory_order_seq_cst);
            waitOutReaders(s.first);
        }
        const std::uint64_t got = decoder_.read(samples_.get() + 2 * slot, n);
        s.end += got;
        decoded += got;
        if (got < n) {
            // The stream ended before the frames it promised: the track is as long as that.
            total_.store(s.end, std::memory_order_release);
            publish(s);
            break;
        }
        publish(s);
    }
    return decoded;
}

bool TrackRing::hasWork() {
    const Span s = span(std::memory_order_relaxed);
    const std::uint64_t total = total_.load(std::memory_order_relaxed);
    // The position at which a step (or the rest of the track, if less) has room ahead.
    const std::uint64_t step = s.end < total ? std::min(kStepFrames, total - s.end) : 0;
    wakeAt_.store(step > 0 ? below(s.end + step + kKeepFrames, capacity_) : kNever, std::memory_order_seq_cst);
    const std::uint64_t position = follow_.load(std::memory_order_seq_cst);
    const std::uint64_t want = below(position, kKeepFrames);
    if (want >= total) return false;
    if (want < s.first || want > s.end) return true;
    return position >= wakeAt_.load(std::memory_order_relaxed);
}

void TrackRing::decodeLoop() {
    while (!stop_.load(std::memory_order_acquire)) {
        const std::uint32_t seen = wakes_.load(std::memory_order_seq_cst);
        if (refill(kPieceFrames) > 0 || hasWork()) continue;
        waitWhileEqual(wakes_, seen);
    }
}

void TrackRing::wake() {
    wakes_.fetch_add(1, std::memory_order_seq_cst);
    notifyWaiters(wakes_);
}

void TrackRing::follow(std::uint64_t position) {
    const std::uint64_t before = follow_.exchange(position, std::memory_order_seq_cst);
    // Back, or far enough on for a step's decoding (but not past the end, where nothing is).
    if (position < before ||
        (position >= wakeAt_.load(std::memory_order_seq_cst) && below(position, kKeepFrames) < totalFrames())) {
        wake();
    }
}

bool TrackRing::holds(std::uint64_t from, std::uint64_t to) const {
    to = std::min(to, totalFrames());
    if (from >= to) return true;
    const Span s = span(std::memory_order_acquire);
    return s.first <= from && s.end >= to;
}

void TrackRing::waitFor(std::uint64_t from, std::uint64_t to) {
    if (samples_ == nullptr) return;
    for (;;) {
        const std::uint32_t seen = progress_.load(std::memory_order_acquire);
        if (holds(from, to)) return;
        if (!thread_.joinable()) {
            // Nobody else decodes: this is the decoding side now.
            if (refill(kPieceFrames) == 0 && !holds(from, to)) return;
            continue;
        }
        wake();
        waitWhileEqual(progress_, seen);
    }
}

std::uint64_t TrackRing::copy(int reader, std::uint64_t from, std::uint64_t count, float* out) {
    const std::uint64_t to = from + count;
    std::uint64_t first = to;  // [first, end): what comes from the ring
    std::uint64_t end = to;
    if (samples_ != nullptr) {
        std::atomic<std::uint64_t>& reading = reading_[reader];
        reading.store(from, std::memory_order_seq_cst);
        const Span s = span(std::memory_order_seq_cst);
        first = std::clamp(s.first, from, to);
        end = std::clamp(s.end, first, to);
        for (std::uint64_t frame = first; frame < end;) {
            const std::uint64_t slot = frame % capacity_;
            const std::uint64_t n = std::min(end - frame, capacity_ - slot);
            std::memcpy(out + 2 * (frame - from), samples_.get() + 2 * slot, std::size_t(n) * 2 * sizeof(float));
            frame += n;
        }
        reading.store(kNotReading, std::memory_order_release);
    }
    std::fill(out, out + 2 * (first - from), 0.0f);
    std::fill(out + 2 * (end - from), out + 2 * count, 0.0f);
    const std::uint64_t total = totalFrames();
    const std::uint64_t inTrack = from < total ? std::min(to, total) - from : 0;
    return inTrack - (end - first);
}
