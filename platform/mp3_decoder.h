// An MP3 track decoded from memory into 44.1 kHz stereo float, while it plays.
//
// open() does what has to happen before the first frame: it checks that the bytes are MPEG
// audio, learns the exact length (gapless, so exactly the encoded samples), reserves the whole
// buffer and decodes the first frames, so that a stream that cannot be played is refused at
// once. decodeInBackground() then fills the rest on a thread of its own. Progress is published
// through an atomic frame count: everything below decodedFrames() is final and may be read
// from any thread without a lock; nothing above it may be read.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

class Mp3Decoder {
public:
    static constexpr int kRate = 44100;
    // Longer tracks are refused rather than given a buffer of gigabytes.
    static constexpr std::uint64_t kMaxFrames = std::uint64_t(30) * 60 * kRate;

    Mp3Decoder() = default;
    ~Mp3Decoder() { close(); }
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    // The bytes are read in place and must stay valid until close(). False, with the reason in
    // error(), when they are not an MP3 this can decode; the decoder is then closed.
    bool open(const unsigned char* bytes, std::size_t size);
    // Decodes the rest on a background thread (or right here, should no thread start).
    void decodeInBackground();
    // Decodes up to `frames` more right here, for a caller without threads that decodes a
    // little at a time (the browser page); not to be mixed with decodeInBackground. False once
    // the stream has ended (then finished() holds).
    bool decodeMore(std::uint64_t frames);
    // Stops and joins the background decoding and frees the samples. Safe to repeat.
    void close();

    bool isOpen() const { return samples_ != nullptr; }
    // The track's length in frames. It only changes if the stream ends before its frames
    // promised (a damaged file): then it shrinks once to what could be decoded.
    std::uint64_t totalFrames() const { return total_.load(std::memory_order_acquire); }
    std::uint64_t decodedFrames() const { return decoded_.load(std::memory_order_acquire); }
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    // Interleaved L/R; read only frames below decodedFrames().
    const float* samples() const { return samples_.get(); }
    // Blocks until decodedFrames() >= frames or decoding has finished.
    void waitFor(std::uint64_t frames) const;

    const char* error() const { return error_; }

    struct Reader {
        const unsigned char* data = nullptr;
        std::size_t size = 0;
        std::size_t offset = 0;
    };

private:
    // Decodes up to `frames` more frames into the buffer; false once the stream is done.
    bool decodeSome(std::uint64_t frames);
    void decodeRest();
    void finish();
    void publish(std::uint64_t decoded);
    bool fail(const char* reason);

    void* handle_ = nullptr;  // mpg123_handle
    Reader reader_;
    std::unique_ptr<float[]> samples_;
    std::uint64_t capacity_ = 0;
    std::uint64_t written_ = 0;  // the decoding thread's own count
    std::atomic<std::uint64_t> total_{0};
    std::atomic<std::uint64_t> decoded_{0};
    std::atomic<bool> finished_{false};
    std::atomic<bool> stop_{false};
    std::atomic<std::uint32_t> progress_{0};  // bumped on every publish, for waitFor
    std::thread thread_;
    char error_[160] = "";
};
