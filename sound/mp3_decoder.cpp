// MP3 from memory through libmpg123, with a reader over the bytes in place.
#include "sound/mp3_decoder.h"

#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <mpg123.h>

namespace {

// Frames libmpg123 decodes and throws away before the target of a seek, so that the bit
// reservoir (up to 511 bytes back, some eight frames of a 32 kbit/s stereo stream) and the
// overlap of the previous granule are as a decode from the start leaves them. Its default of 4
// is too few below about 96 kbit/s.
constexpr long kSeekPreframes = 16;

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

// A handle with the pinned synthesis, or none: a library built without it must not quietly
// decode with another.
mpg123_handle* newHandle() {
    int err = MPG123_OK;
    mpg123_handle* mh = mpg123_new(Mp3Decoder::kSynthesis, &err);
    if (mh != nullptr && Mp3Decoder::kSynthesis != nullptr &&
        std::strcmp(mpg123_current_decoder(mh), Mp3Decoder::kSynthesis) != 0) {
        mpg123_delete(mh);
        return nullptr;
    }
    return mh;
}

// Whether the stream's own length information (the frame count of a Xing/Info header, an ID3
// TLEN) promises more frames than the stream holds. libmpg123 takes that count for the gapless
// bookkeeping and, when it resamples, walks it one frame at a time: a four-byte field in a tiny
// file can then hold open() for minutes. Here the file is read at its own rate, where nothing
// is walked, and the claim is compared with the frames a scan counts.
bool overstatesItsLength(const unsigned char* bytes, std::size_t size) {
    mpg123_handle* mh = newHandle();
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

const char* Mp3Decoder::openHandle() {
    if (handle_ != nullptr) mpg123_delete(asHandle(handle_));  // closes the reader too
    handle_ = nullptr;
    mpg123_handle* mh = newHandle();
    if (mh == nullptr) {
        return Mp3Decoder::kSynthesis != nullptr ? "libmpg123 has no x86-64 synthesis to decode the music track with"
                                                 : "libmpg123 would not create a decoder";
    }
    handle_ = mh;
    reader_.offset = 0;

    // Whatever the file holds, ask for 44.1 kHz stereo float: libmpg123 doubles mono and
    // resamples other rates, so the rest of the program only ever sees one format.
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_param(mh, MPG123_PREFRAMES, kSeekPreframes, 0.0);
    // An overstated length is ignored. That costs nothing true: libmpg123 itself gives up the
    // gapless trimming when the promised frames are not all there.
    if (ignoreStreamLength_) mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_IGNORE_STREAMLENGTH, 0.0);
    if (mpg123_format_none(mh) != MPG123_OK ||
        mpg123_format(mh, kRate, MPG123_STEREO, MPG123_ENC_FLOAT_32) != MPG123_OK ||
        mpg123_replace_reader_handle(mh, readBytes, seekBytes, nullptr) != MPG123_OK ||
        mpg123_open_handle(mh, &reader_) != MPG123_OK) {
        return "libmpg123 would not open the music track";
    }
    // Scanning walks every frame header once (milliseconds): the length is exact rather than
    // estimated from the first frame, and the frame index for seeking is complete.
    if (mpg123_scan(mh) != MPG123_OK) return "the music track holds no MPEG audio frames";
    position_ = 0;
    ended_ = false;
    return nullptr;
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

    reader_ = Reader{bytes, size, 0};
    ignoreStreamLength_ = overstatesItsLength(bytes, size);
    if (const char* problem = openHandle()) return fail(problem);
    mpg123_handle* mh = asHandle(handle_);
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
    // Measured with libmpg123 1.31: after a seek, a 44.1 kHz stereo stream continues bit for
    // bit with the AVX synthesis only; a resampled or a mono one comes out slightly different on
    // some frames. The x86-64 and generic syntheses sum their filter taps in an order that
    // follows the count of frames decoded so far, so after a seek some frames differ in the
    // last bits too: the pinned decoder always decodes through (the whole track in a fraction
    // of a second). The browser's generic build keeps the library's seek, faster there, where
    // nothing promises the desktop's bits.
    mpg123_frameinfo info{};
    seeksExactly_ = kSynthesis == nullptr && mpg123_info(mh, &info) == MPG123_OK && info.rate == kRate &&
                    info.mode != MPG123_M_MONO;
    length_ = std::uint64_t(length);
    return true;
}

const char* Mp3Decoder::synthesis() const {
    return handle_ != nullptr ? mpg123_current_decoder(asHandle(handle_)) : nullptr;
}

void Mp3Decoder::endsAt(std::uint64_t frame) {
    ended_ = true;
    // A damaged or cut stream ends early; the track is then as long as what was decoded.
    if (frame < length_) {
        std::fprintf(stderr, "veldrin: the music track ends after %.3f s of the %.3f s it announced\n",
                     double(frame) / kRate, double(length_) / kRate);
        length_ = frame;
    }
}

std::uint64_t Mp3Decoder::read(float* out, std::uint64_t frames) {
    if (handle_ == nullptr || ended_) return 0;
    mpg123_handle* mh = asHandle(handle_);
    // A track that has given all it announced is over, even if the stream had more to give.
    const std::uint64_t wanted = std::min(frames, length_ - position_);
    std::uint64_t got = 0;
    int idleReads = 0;
    while (got < wanted) {
        // Straight into the caller's buffer; mpg123 never writes past the bytes it is given.
        auto* into = reinterpret_cast<unsigned char*>(out + 2 * got);
        const std::size_t room = std::size_t(wanted - got) * 2 * sizeof(float);
        std::size_t done = 0;
        const int result = mpg123_read(mh, into, room, &done);
        got += done / (2 * sizeof(float));
        idleReads = done > 0 ? 0 : idleReads + 1;
        // MPG123_DONE, an error, or a decoder that keeps giving nothing: the stream ends here.
        if ((result != MPG123_OK && result != MPG123_NEW_FORMAT) || idleReads > 16) {
            position_ += got;
            endsAt(position_);
            return got;
        }
    }
    position_ += got;
    return got;
}

bool Mp3Decoder::seek(std::uint64_t frame) {
    if (handle_ == nullptr) return false;
    frame = std::min(frame, length_);
    if (frame == position_) return true;
    if (seeksExactly_) {
        const off_t at = mpg123_seek(asHandle(handle_), off_t(frame), SEEK_SET);
        if (at < 0 || std::uint64_t(at) != frame) {
            endsAt(frame);
            return false;
        }
        position_ = frame;
        ended_ = false;
        return true;
    }
    // Backwards means from the start again, with a handle as fresh as the first one.
    if (frame < position_) {
        if (openHandle() != nullptr) {
            endsAt(0);
            return false;
        }
    }
    while (position_ < frame) {
        if (read(skipped_, std::min<std::uint64_t>(kSkipFrames, frame - position_)) == 0) return false;
    }
    return true;
}

void Mp3Decoder::close() {
    if (handle_ != nullptr) {
        mpg123_delete(asHandle(handle_));
        handle_ = nullptr;
    }
    length_ = 0;
    position_ = 0;
    ended_ = false;
    seeksExactly_ = false;
    ignoreStreamLength_ = false;
    reader_ = Reader{};
}
