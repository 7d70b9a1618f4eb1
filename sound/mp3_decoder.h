// An MP3 track decoded from memory into 44.1 kHz stereo float, a piece at a time, from any
// position in it.
//
// open() does what has to happen before anything plays: it checks that the bytes are MPEG
// audio and learns the exact length (gapless, so exactly the encoded samples), so that a stream
// that cannot be played is refused at once. read() then decodes onward from the position, and
// seek() moves the position. Wherever the desktop's decoder was moved, every sample comes out
// bit for bit as a decode from the start gives it: it decodes through to the position (the
// pinned synthesis does not resume exactly after libmpg123's own seek). The browser build
// keeps libmpg123's frame index and sample-accurate seek for 44.1 kHz stereo (nothing
// resampled, no channel doubled, enough frames re-read for the bit reservoir).
// Not thread-safe: one thread at a time decodes.
#pragma once

#include <cstddef>
#include <cstdint>

class Mp3Decoder {
public:
    static constexpr int kRate = 44100;
    // Longer tracks are refused: their frame numbers must stay far inside 32 bits.
    static constexpr std::uint64_t kMaxFrames = std::uint64_t(30) * 60 * kRate;
    // The synthesis every decode uses, by libmpg123's name. Left to itself the library picks the
    // fastest one the processor runs (AVX, SSE, ...), and those round differently in the last
    // bits: a spectrum threshold crossed on another frame changes the rest of a scene. The
    // x86-64 one runs on every x86-64 processor, so a capture is the same on all of them. Other
    // targets (the browser's generic build) keep the library's one choice: nullptr.
#if defined(__x86_64__) || defined(_M_X64)
    static constexpr const char* kSynthesis = "x86-64";
#else
    static constexpr const char* kSynthesis = nullptr;
#endif

    Mp3Decoder() = default;
    ~Mp3Decoder() { close(); }
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    // The bytes are read in place and must stay valid until close(). False, with the reason in
    // error(), when they are not an MP3 this can decode; the decoder is then closed.
    bool open(const unsigned char* bytes, std::size_t size);
    // Frees the decoder. Safe to repeat.
    void close();

    bool isOpen() const { return handle_ != nullptr; }
    // The track's length in frames. It only changes if the stream ends before the frames it
    // promised (a damaged file): then it shrinks once to what could be decoded, with a line on
    // stderr.
    std::uint64_t length() const { return length_; }
    // The frame the next read() starts with.
    std::uint64_t position() const { return position_; }
    // Decodes up to `frames` frames from the position into `out` (interleaved L/R) and moves the
    // position on. Returns how many; fewer only at the end of the track.
    std::uint64_t read(float* out, std::uint64_t frames);
    // Moves the position to `frame` (at most the length). False when the stream ends before it;
    // the length has then shrunk to where it ended.
    bool seek(std::uint64_t frame);

    const char* error() const { return error_; }
    // libmpg123's name of the synthesis the open decoder uses; nullptr when closed.
    const char* synthesis() const;

    struct Reader {
        const unsigned char* data = nullptr;
        std::size_t size = 0;
        std::size_t offset = 0;
    };

private:
    // (Re)creates the libmpg123 handle over the bytes with the settings every decode uses.
    // nullptr, or why it failed.
    const char* openHandle();
    void endsAt(std::uint64_t frame);
    bool fail(const char* reason);

    void* handle_ = nullptr;  // mpg123_handle
    Reader reader_;
    bool ignoreStreamLength_ = false;
    bool seeksExactly_ = false;
    bool ended_ = false;
    std::uint64_t length_ = 0;
    std::uint64_t position_ = 0;
    // Where a stream that cannot seek exactly is decoded through to a position.
    static constexpr std::size_t kSkipFrames = 1152;
    float skipped_[2 * kSkipFrames];
    char error_[160] = "";
};
