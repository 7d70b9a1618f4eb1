// PNG images from memory over libpng, prepared as textures want them.
//
// libpng reports errors by longjmp. The function that calls setjmp (decodeWithLibpng) therefore
// owns no C++ objects and keeps everything it must release in a caller-owned plain struct, so
// a jump out of libpng can neither skip a destructor nor find a clobbered local.
#include "image/png_decode.h"

#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <png.h>

namespace {

constexpr double kDefaultScreenGamma = 2.2;
constexpr double kMinViewingGamma = 0.1;
constexpr double kMaxViewingGamma = 10.0;
// Ancillary chunks (text, ICC profiles) larger than this are a broken or hostile file.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;
// No allocation of libpng's own is ever larger than twice that (the image rows are ours).
constexpr png_alloc_size_t kMaxLibpngAllocation = 2 * kMaxChunkBytes;

struct MemoryReader {
    const unsigned char* cursor;
    std::size_t remaining;
};

// Everything a decode allocates, so the caller can release it whichever way the decode ended.
struct DecodeState {
    MemoryReader reader;
    png_structp png;
    png_infop info;
    unsigned char* pixels;  // rows top to bottom, 8 bits per sample
    png_bytep* rows;
    png_uint_32 width;
    png_uint_32 height;
    int channels;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    // A well-formed image never asks for more than it holds; a truncated one must fail here
    // rather than read beyond the buffer.
    if (count > reader->remaining) png_error(png, "read past the end of the image");
    std::memcpy(out, reader->cursor, count);
    reader->cursor += count;
    reader->remaining -= count;
}

// The chunk limit above is only a warning to libpng (a "benign" error): a text chunk whose length
// field claims 2 GB would still have 2 GB allocated and cleared before its bytes are found
// missing. Refusing such a request here makes libpng skip the chunk instead.
png_voidp boundedMalloc(png_structp, png_alloc_size_t size) {
    return size > kMaxLibpngAllocation ? nullptr : std::malloc(size);
}
void plainFree(png_structp, png_voidp block) { std::free(block); }

// Quiet on purpose: an image that cannot be decoded leaves an untextured slot, no message.
[[noreturn]] void failDecode(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignoreWarning(png_structp, png_const_charp) {}

// screen: the screen gamma, or 0 to leave the samples as stored. Returns 1 on success.
// C style on purpose (see the file comment); only `state` is used after the setjmp.
int decodeWithLibpng(DecodeState* state, double screen) {
    state->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, failDecode, ignoreWarning, nullptr,
                                          boundedMalloc, plainFree);
    if (state->png == nullptr) return 0;
    state->info = png_create_info_struct(state->png);
    if (state->info == nullptr) return 0;
    if (setjmp(png_jmpbuf(state->png)) != 0) return 0;

    png_structp png = state->png;
    png_infop info = state->info;
    png_set_read_fn(png, &state->reader, readFromMemory);
    png_set_user_limits(png, kPngMaxSide, kPngMaxSide);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_read_info(png, info);

    const int colorType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    if (bitDepth == 16) png_set_scale_16(png);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) png_set_tRNS_to_alpha(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (screen > 0.0) {
        double fileGamma = 0.0;
        if (png_get_gAMA(png, info, &fileGamma) == 0 || !(fileGamma > 0.0) || !std::isfinite(fileGamma)) {
            fileGamma = kPngDefaultFileGamma;
        }
        png_set_gamma(png, screen, fileGamma);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    state->width = png_get_image_width(png, info);
    state->height = png_get_image_height(png, info);
    state->channels = png_get_channels(png, info);
    if (png_get_bit_depth(png, info) != 8 || (state->channels != 3 && state->channels != 4)) {
        png_error(png, "unexpected layout after the transforms");
    }
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    if (rowBytes != std::size_t(state->width) * std::size_t(state->channels)) png_error(png, "unexpected row size");

    state->pixels = static_cast<unsigned char*>(std::malloc(rowBytes * state->height));
    state->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * state->height));
    if (state->pixels == nullptr || state->rows == nullptr) png_error(png, "out of memory");
    for (png_uint_32 y = 0; y < state->height; ++y) state->rows[y] = state->pixels + std::size_t(y) * rowBytes;
    png_read_image(png, state->rows);
    // Up to the end chunk: a file cut anywhere is refused, not half-used.
    png_read_end(png, nullptr);
    return 1;
}

void releaseDecode(DecodeState& state) {
    if (state.png != nullptr) png_destroy_read_struct(&state.png, state.info != nullptr ? &state.info : nullptr, nullptr);
    std::free(state.rows);
    std::free(state.pixels);
    state = DecodeState{};
}

bool decodeRaw(const unsigned char* data, std::size_t size, double screen, DecodeState& state) {
    state = DecodeState{};
    if (data == nullptr || size < 8 || png_sig_cmp(data, 0, 8) != 0) return false;
    state.reader = MemoryReader{data, size};
    if (decodeWithLibpng(&state, screen) == 1) return true;
    releaseDecode(state);
    return false;
}

// The side a texture gets: the next power of two, but never beyond the GL's limit.
int textureSide(int side, int maxSize) {
    int power = 1;
    while (power < side && power < maxSize) power *= 2;
    return power > maxSize ? maxSize : power;
}

}  // namespace

double screenGamma() {
    static bool warned = false;
    const char* text = std::getenv("VIEWING_GAMMA");
    if (text == nullptr) return kDefaultScreenGamma;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    bool valid = end != text && errno == 0;
    if (valid) {
        while (*end == ' ' || *end == '\t') ++end;
        // The range also keeps the division and libpng's tables clear of zero and overflow.
        valid = *end == '\0' && std::isfinite(value) && value >= kMinViewingGamma && value <= kMaxViewingGamma;
    }
    if (valid) return kDefaultScreenGamma / value;
    if (!warned) {
        warned = true;
        std::fprintf(stderr, "veldrin: VIEWING_GAMMA=\"%.40s\" is not a number from %g to %g; using screen gamma %g\n",
                     text, kMinViewingGamma, kMaxViewingGamma, kDefaultScreenGamma);
    }
    return kDefaultScreenGamma;
}

bool decodePngForTexture(const unsigned char* data, std::size_t size, double screen, int maxSize, PngImage& out) {
    out = PngImage{};
    if (maxSize < 1 || !(screen > 0.0) || !std::isfinite(screen)) return false;
    DecodeState state;
    if (!decodeRaw(data, size, screen, state)) return false;

    const int srcWidth = int(state.width);
    const int srcHeight = int(state.height);
    const int channels = state.channels;
    out.width = textureSide(srcWidth, maxSize);
    out.height = textureSide(srcHeight, maxSize);
    out.channels = channels;
    out.pixels.resize(std::size_t(out.width) * std::size_t(out.height) * std::size_t(channels));

    // The source pixel under each target pixel's centre: (x + 0.5) × src / dst, in integers.
    std::vector<int> sourceColumn(std::size_t(out.width));
    for (int x = 0; x < out.width; ++x) {
        sourceColumn[std::size_t(x)] = int((2 * std::int64_t(x) + 1) * srcWidth / (2 * std::int64_t(out.width)));
    }
    const std::size_t outRowBytes = std::size_t(out.width) * std::size_t(channels);
    for (int y = 0; y < out.height; ++y) {
        const int srcY = int((2 * std::int64_t(y) + 1) * srcHeight / (2 * std::int64_t(out.height)));
        const unsigned char* srcRow = state.rows[srcY];
        std::uint8_t* dstRow = out.pixels.data() + std::size_t(y) * outRowBytes;
        for (int x = 0; x < out.width; ++x) {
            std::memcpy(dstRow + std::size_t(x) * std::size_t(channels),
                        srcRow + std::size_t(sourceColumn[std::size_t(x)]) * std::size_t(channels), std::size_t(channels));
        }
    }
    releaseDecode(state);
    return true;
}

bool decodePng(const unsigned char* data, std::size_t size, PngImage& out) {
    out = PngImage{};
    DecodeState state;
    if (!decodeRaw(data, size, 0.0, state)) return false;
    out.width = int(state.width);
    out.height = int(state.height);
    out.channels = state.channels;
    out.pixels.assign(state.pixels,
                      state.pixels + std::size_t(state.width) * std::size_t(state.height) * std::size_t(state.channels));
    releaseDecode(state);
    return true;
}
