// What the fuzz targets do with one input. The test that replays the committed corpus and the
// regression inputs includes this same header, so an input that once failed goes through
// exactly the code it failed in, without the fuzzer.
//
// Each driver returns nullptr when everything held, or what went wrong. Crashes, leaks and
// undefined behaviour are the sanitizers' to report; these are the promises of the interfaces.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>

#include "sound/audio_output.h"
#include "platform/clock.h"
#include "sound/mp3_decoder.h"
#include "image/png_decode.h"
#include "sound/track_ring.h"

namespace fuzzdrive {

// The settings come from the input's last byte. A PNG's last byte belongs to the end chunk's
// checksum, and libpng ignores whatever follows that chunk, so the fuzzer varies the settings
// by appending bytes without spoiling the image (and a plain file keeps one fixed setting).
inline double screenGammaFor(std::uint8_t control) {
    // What screenGamma() can return (2.2 divided by 0.1 .. 10) and a few values between.
    static constexpr double kGammas[8] = {2.2, 2.2 / 10.0, 2.2 / 0.1, 1.0, 2.2 / 1.7, 1.8, 2.2 / 0.45, 0.5};
    return kGammas[control & 7];
}

inline int maxSizeFor(std::uint8_t control) {
    // GL_MAX_TEXTURE_SIZE as drivers report it, and tiny and odd limits that force shrinking.
    static constexpr int kMaxSizes[8] = {8192, 16384, 1, 2, 3, 17, 64, 1024};
    return kMaxSizes[(control >> 3) & 7];
}

inline bool isPowerOfTwo(int value) { return value > 0 && (value & (value - 1)) == 0; }

inline const char* decodePngBothWays(const unsigned char* data, std::size_t size) {
    const std::uint8_t control = size > 0 ? data[size - 1] : 0;
    const int maxSize = maxSizeFor(control);

    PngImage texture;
    const bool forTexture = decodePngForTexture(data, size, screenGammaFor(control), maxSize, texture);
    PngImage plain;
    const bool asIs = decodePng(data, size, plain);

    // The gamma correction changes samples, never whether the bytes are a readable image.
    if (forTexture != asIs) return "decodePngForTexture and decodePng disagree about the same bytes";
    if (!asIs) {
        if (texture.width != 0 || !texture.pixels.empty() || plain.width != 0 || !plain.pixels.empty())
            return "a failed decode left an image behind";
        return nullptr;
    }
    if (plain.channels != 3 && plain.channels != 4) return "decodePng gave neither RGB nor RGBA";
    if (plain.width < 1 || plain.height < 1 || plain.width > kPngMaxSide || plain.height > kPngMaxSide)
        return "decodePng gave an image size beyond the limits";
    if (plain.pixels.size() != std::size_t(plain.width) * std::size_t(plain.height) * std::size_t(plain.channels))
        return "decodePng's pixels do not match its size";

    if (texture.channels != plain.channels) return "the texture has other channels than the image";
    for (const auto& [side, source] : {std::pair{texture.width, plain.width}, std::pair{texture.height, plain.height}}) {
        if (side < 1 || side > maxSize) return "a texture side is outside 1 .. maxSize";
        if (!isPowerOfTwo(side) && side != maxSize) return "a texture side is neither a power of two nor maxSize";
        // Never shrunk below the image unless the limit demands it, never grown a power of two too far.
        if (side < source && side != maxSize) return "a texture side was shrunk below the limit";
        if (side >= 2 * source && side > 1) return "a texture side was grown beyond the next power of two";
    }
    if (texture.pixels.size() !=
        std::size_t(texture.width) * std::size_t(texture.height) * std::size_t(texture.channels))
        return "the texture's pixels do not match its size";
    return nullptr;
}

// Music time covered per input: a few hundred frames, at a frame rate picked from the input's
// size, so both the end of a short track and the middle of a long one are reached.
constexpr int kStreamSteps = 300;

inline const char* playMp3Stream(const unsigned char* data, std::size_t size) {
    static constexpr std::uint32_t kFrameRates[4] = {15, 30, 60, 120};
    FixedStepClock clock(kFrameRates[size % 4]);
    std::unique_ptr<AudioOutput> output = createAudioOutput(AudioMode::Offline, clock);
    if (output->init(kSampleRate) != 1) return "init failed without a device to fail";
    const bool created = output->createStream(data, size) == 1;
    if (output->start() != 1) return "start failed after init";
    output->play();

    float bins[kSpectrumBins];
    bool ended = false;
    for (int step = 0; step < kStreamSteps; ++step) {
        const int active = output->isActive();
        const int result = output->spectrum(bins);
        if (!created) {
            if (active != 0) return "active without a stream";
            if (result != -1) return "a spectrum without a stream";
        } else {
            if (result != 0) return "no spectrum from a stream";
            if (step == 0 && active == 0) return "a stream that decoded is not active when it starts";
            if (ended && active != 0) return "active again after the end";
            ended = active == 0;
            for (const float bin : bins) {
                if (!std::isfinite(bin) || bin < 0.0f) return "a spectrum bin is not a finite magnitude";
            }
        }
        clock.advance();
    }
    output->release();
    if (output->isActive() != 0 || output->spectrum(bins) != -1) return "the stream outlived release";
    output->release();  // twice is allowed
    return nullptr;
}

// The decoder on its own, and the ring over it read the way the outputs read it. Tracks up to
// this long are decoded to the end; of longer ones only the start and a stretch after a seek.
constexpr std::uint64_t kWholeTrackFrames = std::uint64_t(60) * Mp3Decoder::kRate;

inline const char* decodeMp3Directly(const unsigned char* data, std::size_t size) {
    Mp3Decoder decoder;
    if (!decoder.open(data, size)) {
        if (decoder.isOpen() || decoder.length() != 0) return "a refused track left the decoder open";
        if (decoder.error()[0] == '\0') return "a refused track gave no reason";
        return nullptr;
    }
    const std::uint64_t announced = decoder.length();
    if (announced == 0 || announced > Mp3Decoder::kMaxFrames) return "an opened track has a length out of range";

    static float piece[2 * 4096];
    const std::uint64_t upTo = std::min(announced, kWholeTrackFrames);
    while (decoder.position() < upTo) {
        const std::uint64_t got = decoder.read(piece, 4096);
        if (got > 4096) return "read more than was asked";
        if (got < 4096 && decoder.position() != decoder.length()) return "a short read before the end";
        if (got == 0) break;
    }
    if (decoder.length() > announced) return "the track grew while decoding";
    if (decoder.position() > decoder.length()) return "decoded beyond the track";
    // Seeks, forwards and back; where they succeed the position is there.
    for (const std::uint64_t to : {announced / 2, std::uint64_t(0), announced}) {
        if (decoder.seek(to) && decoder.position() != std::min(to, decoder.length())) return "a seek went elsewhere";
        if (decoder.read(piece, 4096) > 4096) return "read more than was asked";
    }

    // The ring: a reader far along, then back at the start, without a thread.
    TrackRing ring;
    if (!ring.open(data, size)) return nullptr;  // the decoder took it, but it may not decode at all
    for (const std::uint64_t at : {ring.totalFrames() / 2, std::uint64_t(1000), ring.totalFrames() + 100}) {
        ring.follow(at);
        ring.waitFor(at > 512 ? at - 512 : 0, at);
        if (ring.copy(1, at > 512 ? at - 512 : 0, 512, piece) != 0) return "the ring lacks what it waited for";
    }
    decoder.close();
    ring.close();
    if (decoder.isOpen() || decoder.length() != 0 || ring.isOpen() || ring.totalFrames() != 0)
        return "close left the decoder open";
    return nullptr;
}

}  // namespace fuzzdrive
