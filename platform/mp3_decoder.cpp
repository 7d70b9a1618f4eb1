// MP3 from memory through libmpg123, with a reader over the bytes in place.
#include "platform/mp3_decoder.h"

#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>

#include <mpg123.h>

#include "platform/threads.h"

namespace {

// Decoded before open() returns: enough to know the stream really decodes (a few frames of
// 1152 samples), little enough to keep the first picture prompt.
constexpr std::uint64_t kFirstFrames = 8192;
// The background thread publishes its progress in steps of this many frames.
constexpr std::uint64_t kChunkFrames = 16384;

mpg123_ssize_t readBytes(void* source, void* buffer, std::size_t count) {
    auto* reader = static_cast<Mp3Decoder::Reader*>(source);
    const std::size_t left = reader->size - reader->offset;
    const std::size_t n = std::min(count, left);
    if (n > 0) std::memcpy(buffer, reader->data + reader->offset, n);
    reader->offset += n;
    return mpg123_ssize_t(n);
}

// Like lseek, but over the bytes in memory: a position before the start or past the end fails.
off_t seekBytes(void* source, off_t offset, int whence) {
    auto* reader = static_cast<Mp3Decoder::Reader*>(source);
    long long base = 0;
    switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<long long>(reader->offset); break;
    case SEEK_END: base = static_cast<long long>(reader->size); break;
    default: return -1;
    }
    const long long target = base + static_cast<long long>(offset);
    if (target < 0 || static_cast<unsigned long long>(target) > reader->size) return -1;
    reader->offset = std::size_t(target);
    return off_t(target);
}

mpg123_handle* asHandle(void* handle) { return static_cast<mpg123_handle*>(handle); }

// Whether the stream's own length information (the frame count of a Xing/Info header, an ID3
// TLEN) promises more frames than the stream holds. libmpg123 takes that count for the gapless
// bookkeeping and, when it resamples, walks it one frame at a time: a four-byte field in a tiny
// file can then hold open() for minutes. Here the file is read at its own rate, where nothing
// is walked, and the claim is compared with the frames a scan counts.
bool overstatesItsLength(const unsigned char* bytes, std::size_t size) {
    int err = MPG123_OK;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (mh == nullptr) return false;
    Mp3Decoder::Reader reader{bytes, size, 0};
    bool overstated = false;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_param(mh, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0.0);
    if (mpg123_replace_reader_handle(mh, readBytes, seekBytes, nullptr) == MPG123_OK &&
        mpg123_open_handle(mh, &reader) == MPG123_OK) {
        const off_t claimed = mpg123_framelength(mh);
        if (claimed > 0 && mpg123_scan(mh) == MPG123_OK) overstated = claimed > mpg123_framelength(mh);
    }
    mpg123_delete(mh);
    return overstated;
}

}  // namespace

bool Mp3Decoder::fail(const char* reason) {
    std::snprintf(error_, sizeof error_, "%s", reason);
    close();
    return false;
}

bool Mp3Decoder::open(const unsigned char* bytes, std::size_t size) {
    close();
    error_[0] = '\0';
    if (bytes == nullptr || size == 0) return fail("the music track is empty");

    // Needed by libmpg123 before 1.27 and harmless after; once per process.
    static std::once_flag initOnce;
    static int initResult = MPG123_OK;
    std::call_once(initOnce, [] { initResult = mpg123_init(); });
    if (initResult != MPG123_OK) return fail("libmpg123 would not initialise");

    int err = MPG123_OK;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (mh == nullptr) return fail("libmpg123 would not create a decoder");
    handle_ = mh;
    reader_ = Reader{bytes, size, 0};

    // Whatever the file holds, ask for 44.1 kHz stereo float: libmpg123 doubles mono and
    // resamples other rates, so the rest of the program only ever sees one format.
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    // An overstated length is ignored. That costs nothing true: libmpg123 itself gives up the
    // gapless trimming when the promised frames are not all there.
    if (overstatesItsLength(bytes, size)) mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_IGNORE_STREAMLENGTH, 0.0);
    if (mpg123_format_none(mh) != MPG123_OK ||
        mpg123_format(mh, kRate, MPG123_STEREO, MPG123_ENC_FLOAT_32) != MPG123_OK ||
        mpg123_replace_reader_handle(mh, readBytes, seekBytes, nullptr) != MPG123_OK ||
        mpg123_open_handle(mh, &reader_) != MPG123_OK) {
        return fail("libmpg123 would not open the music track");
    }
    // Scanning walks every frame header once (milliseconds), so the length is exact rather
    // than estimated from the first frame.
    if (mpg123_scan(mh) != MPG123_OK) return fail("the music track holds no MPEG audio frames");
    const off_t length = mpg123_length(mh);
    if (length <= 0) return fail("the music track holds no MPEG audio frames");
    if (std::uint64_t(length) > kMaxFrames) return fail("the music track is longer than 30 minutes");

    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate != kRate ||
        channels != 2 || encoding != MPG123_ENC_FLOAT_32) {
        return fail("the music track cannot be converted to 44.1 kHz stereo");
    }

    capacity_ = std::uint64_t(length);
    // Not value-initialised: only frames below the published count are ever read.
    samples_.reset(new (std::nothrow) float[std::size_t(capacity_ * 2)]);
    if (samples_ == nullptr) return fail("no memory for the decoded music track");
    written_ = 0;
    total_.store(capacity_, std::memory_order_release);
    decoded_.store(0, std::memory_order_release);
    finished_.store(false, std::memory_order_release);
    stop_.store(false, std::memory_order_release);

    const bool more = decodeSome(kFirstFrames);
    if (written_ == 0) return fail("the music track does not decode");
    publish(written_);
    if (!more) finish();
    return true;
}

bool Mp3Decoder::decodeSome(std::uint64_t frames) {
    mpg123_handle* mh = asHandle(handle_);
    const std::uint64_t target = std::min(capacity_, written_ + frames);
    int idleReads = 0;
    while (written_ < target) {
        // Straight into the buffer; mpg123 never writes past the bytes it is given.
        auto* out = reinterpret_cast<unsigned char*>(samples_.get() + 2 * written_);
        const std::size_t room = std::size_t(target - written_) * 2 * sizeof(float);
        std::size_t done = 0;
        const int result = mpg123_read(mh, out, room, &done);
        written_ += done / (2 * sizeof(float));
        idleReads = done > 0 ? 0 : idleReads + 1;
        // MPG123_DONE, an error, or a decoder that keeps giving nothing: the stream ends here.
        if ((result != MPG123_OK && result != MPG123_NEW_FORMAT) || idleReads > 16) return false;
    }
    // A full buffer is the end even if the stream had more to give than it announced.
    return written_ < capacity_;
}

void Mp3Decoder::publish(std::uint64_t decoded) {
    decoded_.store(decoded, std::memory_order_release);
    progress_.fetch_add(1, std::memory_order_acq_rel);
    progress_.notify_all();
}

void Mp3Decoder::finish() {
    // A damaged or cut stream ends early; the track is then as long as what was decoded.
    if (written_ < capacity_ && !stop_.load(std::memory_order_acquire)) {
        std::fprintf(stderr, "veldrin: the music track ends after %.3f s of the %.3f s it announced\n",
                     double(written_) / kRate, double(capacity_) / kRate);
        total_.store(written_, std::memory_order_release);
    }
    mpg123_delete(asHandle(handle_));  // closes the reader too
    handle_ = nullptr;
    finished_.store(true, std::memory_order_release);
    publish(written_);
}

void Mp3Decoder::decodeRest() {
    bool more = true;
    while (more && !stop_.load(std::memory_order_acquire)) {
        more = decodeSome(kChunkFrames);
        publish(written_);
    }
    finish();
}

void Mp3Decoder::decodeInBackground() {
    if (handle_ == nullptr || thread_.joinable()) return;
    if (!kThreadsAvailable) return decodeRest();
    try {
        thread_ = std::thread([this] { decodeRest(); });
    } catch (const std::system_error&) {
        decodeRest();  // no thread to be had: decode it all now, late but whole
    }
}

bool Mp3Decoder::decodeMore(std::uint64_t frames) {
    if (handle_ == nullptr || thread_.joinable()) return false;
    const bool more = decodeSome(frames);
    publish(written_);
    if (!more) finish();
    return more;
}

void Mp3Decoder::waitFor(std::uint64_t frames) const {
    for (;;) {
        const std::uint32_t seen = progress_.load(std::memory_order_acquire);
        if (finished() || decodedFrames() >= frames) return;
        progress_.wait(seen, std::memory_order_acquire);
    }
}

void Mp3Decoder::close() {
    stop_.store(true, std::memory_order_release);
    if (thread_.joinable()) thread_.join();
    if (handle_ != nullptr) {
        mpg123_delete(asHandle(handle_));
        handle_ = nullptr;
    }
    finished_.store(false, std::memory_order_release);
    decoded_.store(0, std::memory_order_release);
    total_.store(0, std::memory_order_release);
    samples_.reset();
    capacity_ = 0;
    written_ = 0;
    reader_ = Reader{};
}
