// The music track as it is heard: decoded into a ring a few seconds ahead of where it is read,
// and let go once it has been passed, so that the whole track is never held as samples.
//
// One side decodes. refill() is the whole of that work, one plain call: decode up to so many
// frames towards a full ring around the read position. On the desktop the ring's own thread
// calls it in a loop (decodeInBackground); a platform without threads calls it once a frame,
// and waitFor then calls it itself.
//
// The other side reads, from any thread. The reader that drives the position (the device, or
// the frame loop where the clock is the position) says where it is with follow(): the ring
// keeps kKeepFrames behind that and decodes ahead of it. A position away from what the ring
// holds moves the decoding there (the decoder's exact seek), forwards or back. Every reader
// copies frames out under a reader number of its own (one per thread): what it is copying is
// not overwritten meanwhile. Nothing takes a lock, and nothing allocates after open().
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

#include "sound/mp3_decoder.h"

class TrackRing {
public:
    static constexpr std::uint64_t kFrames = std::uint64_t(4) * Mp3Decoder::kRate;  // 4 s, 1.4 MB
    // Kept behind the read position: the spectrum's 512 frames, and room for a reader that lags.
    static constexpr std::uint64_t kKeepFrames = 8192;
    static constexpr int kReaders = 2;
    // What a platform without threads refills once a frame, at most: a second.
    static constexpr std::uint64_t kFrameRefill = Mp3Decoder::kRate;

    TrackRing() = default;
    ~TrackRing() { close(); }
    TrackRing(const TrackRing&) = delete;
    TrackRing& operator=(const TrackRing&) = delete;

    // Opens the track (the bytes must outlive the ring) and decodes its first frames, so that
    // a stream that does not decode is refused here. False, with the reason in error().
    bool open(const unsigned char* bytes, std::size_t size);
    // From now on a thread of the ring's own refills it as it is read (or, should no thread
    // start, the readers' waits do).
    void decodeInBackground();
    // Stops the decoding and frees everything. Safe to repeat.
    void close();

    bool isOpen() const { return samples_ != nullptr; }
    bool decodesInBackground() const { return thread_.joinable(); }
    const char* error() const { return error_; }
    // The track's length in frames; shrinks once should the stream end before it promised.
    std::uint64_t totalFrames() const { return total_.load(std::memory_order_acquire); }

    // The decoding side, from one thread at a time: decodes up to `maxFrames` frames towards a
    // ring that holds kKeepFrames before the read position and is full after it. Returns how
    // many it decoded: 0 when there was nothing to do.
    std::uint64_t refill(std::uint64_t maxFrames);

    // The driving reader is at `position`: it reads nothing before position − kKeepFrames.
    void follow(std::uint64_t position);
    // Blocks until the ring holds every frame of the track in [from, to), which must lie in
    // [position − kKeepFrames, position + kFrames − kKeepFrames) of the last follow().
    void waitFor(std::uint64_t from, std::uint64_t to);
    // Copies frames [from, from + count) into out (interleaved L/R). Frames the ring does not
    // hold (not decoded yet, already let go, or outside the track) are silence, never other
    // samples. Returns how many of the track's frames were missing.
    std::uint64_t copy(int reader, std::uint64_t from, std::uint64_t count, float* out);

private:
    // What the ring holds: frames [first, end), packed into one word so that both change at
    // once. Frame numbers fit in 32 bits (the decoder refuses longer tracks).
    struct Span {
        std::uint64_t first = 0;
        std::uint64_t end = 0;
    };
    static std::uint64_t pack(Span s) { return s.first << 32 | s.end; }
    static Span unpack(std::uint64_t word) { return Span{word >> 32, word & 0xFFFFFFFFu}; }
    Span span(std::memory_order order = std::memory_order_seq_cst) const { return unpack(span_.load(order)); }
    void publish(Span s);
    void restartAt(std::uint64_t frame);
    void waitOutReaders(std::uint64_t first);
    bool holds(std::uint64_t from, std::uint64_t to) const;
    bool hasWork();
    void wake();
    void decodeLoop();

    Mp3Decoder decoder_;
    std::unique_ptr<float[]> samples_;
    std::uint64_t capacity_ = 0;  // frames; the whole track when it is shorter than kFrames
    std::atomic<std::uint64_t> span_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<std::uint64_t> follow_{0};
    // For each reader, the first frame it is copying from, or kNotReading.
    static constexpr std::uint64_t kNotReading = ~std::uint64_t(0);
    std::atomic<std::uint64_t> reading_[kReaders] = {kNotReading, kNotReading};
    // The decoding thread sleeps until the position reaches wakeAt_ (or goes back); progress_
    // counts what it published, for the readers that wait.
    std::atomic<std::uint64_t> wakeAt_{0};
    std::atomic<std::uint32_t> wakes_{0};
    std::atomic<std::uint32_t> progress_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
    char error_[160] = "";
};
