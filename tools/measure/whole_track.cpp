// A whole track through libmpg123, read from memory by a reader of its own.
#include "tools/measure/whole_track.h"

#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <mpg123.h>

#include "assets/embedded.h"
#include "sound/mp3_decoder.h"

namespace {

struct Bytes {
    const unsigned char* data;
    std::size_t size;
    std::size_t at;
};

mpg123_ssize_t readBytes(void* source, void* buffer, std::size_t count) {
    auto* bytes = static_cast<Bytes*>(source);
    const std::size_t n = std::min(count, bytes->size - bytes->at);
    std::memcpy(buffer, bytes->data + bytes->at, n);
    bytes->at += n;
    return mpg123_ssize_t(n);
}

off_t seekBytes(void* source, off_t offset, int whence) {
    auto* bytes = static_cast<Bytes*>(source);
    const off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? off_t(bytes->at) : off_t(bytes->size);
    if (base + offset < 0 || std::size_t(base + offset) > bytes->size) return -1;
    bytes->at = std::size_t(base + offset);
    return base + offset;
}

}  // namespace

std::vector<float> decodeWholeTrack(const unsigned char* data, std::size_t size) {
    mpg123_init();
    mpg123_handle* mh = mpg123_new(Mp3Decoder::kSynthesis, nullptr);  // the samples the program decodes
    Bytes bytes{data, size, 0};
    std::vector<float> samples;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    if (mpg123_format_none(mh) == MPG123_OK &&
        mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_FLOAT_32) == MPG123_OK &&
        mpg123_replace_reader_handle(mh, readBytes, seekBytes, nullptr) == MPG123_OK &&
        mpg123_open_handle(mh, &bytes) == MPG123_OK && mpg123_scan(mh) == MPG123_OK && mpg123_length(mh) > 0) {
        samples.resize(std::size_t(mpg123_length(mh)) * 2);
        std::size_t floats = 0;
        int result = MPG123_OK;
        while (floats < samples.size() && (result == MPG123_OK || result == MPG123_NEW_FORMAT)) {
            std::size_t done = 0;
            result = mpg123_read(mh, reinterpret_cast<unsigned char*>(samples.data() + floats),
                                 (samples.size() - floats) * sizeof(float), &done);
            floats += done / sizeof(float);
        }
        samples.resize(floats);
    }
    mpg123_delete(mh);
    return samples;
}

const std::vector<float>& decodedShowTrack() {
    static const std::vector<float> track = [] {
        const EmbeddedAsset* music = findEmbeddedAsset("music.mp3");
        return music != nullptr ? decodeWholeTrack(music->data, music->size) : std::vector<float>{};
    }();
    return track;
}
