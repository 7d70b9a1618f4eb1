// libFuzzer target: arbitrary bytes through both PNG decoders (for a texture, and as is).
//
// libpng refuses a critical chunk whose checksum is wrong, so nearly every mutation of an image
// would end at the first checksum. The custom mutator puts the chunk checksums right again after
// most mutations, so the fuzzing reaches what the chunks hold; the rest keep their bad checksums
// so that refusal stays exercised too.
#include <sanitizer/common_interface_defs.h>

#include <array>
#include <cstdlib>

#include "fuzz/fuzz_drivers.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::uint32_t readBigEndian(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

// Rewrites the checksum of every whole chunk after the signature.
void fixChunkChecksums(std::uint8_t* data, std::size_t size) {
    std::size_t at = 8;
    while (at + 12 <= size) {
        const std::size_t length = readBigEndian(data + at);
        if (length > size - at - 12) return;
        const std::uint32_t crc = crc32(data + at + 4, length + 4);
        std::uint8_t* out = data + at + 8 + length;
        out[0] = std::uint8_t(crc >> 24);
        out[1] = std::uint8_t(crc >> 16);
        out[2] = std::uint8_t(crc >> 8);
        out[3] = std::uint8_t(crc);
        at += 12 + length;
    }
}

}  // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (seed % 8 != 0) fixChunkChecksums(data, size);
    return size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const char* problem = fuzzdrive::decodePngBothWays(data, size)) {
        __sanitizer_report_error_summary(problem);
        std::abort();
    }
    return 0;
}
