// PNG encoding over libpng. As in the decoder, the function that calls setjmp owns no C++
// objects: the output grows in a malloc'ed buffer held by a caller-owned plain struct.
#include "image/png_write.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include <png.h>

namespace {

struct EncodeState {
    png_structp png;
    png_infop info;
    png_bytep* rows;
    unsigned char* bytes;  // the encoded file so far
    std::size_t size;
    std::size_t capacity;
};

void appendToBuffer(png_structp png, png_bytep data, png_size_t count) {
    auto* state = static_cast<EncodeState*>(png_get_io_ptr(png));
    if (count > state->capacity - state->size) {
        std::size_t capacity = state->capacity == 0 ? 4096 : state->capacity;
        while (count > capacity - state->size) capacity *= 2;
        auto* grown = static_cast<unsigned char*>(std::realloc(state->bytes, capacity));
        if (grown == nullptr) png_error(png, "out of memory");
        state->bytes = grown;
        state->capacity = capacity;
    }
    std::memcpy(state->bytes + state->size, data, count);
    state->size += count;
}

void flushNothing(png_structp) {}
[[noreturn]] void failEncode(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignoreWarning(png_structp, png_const_charp) {}

int colorTypeFor(int channels, bool palette) {
    if (palette) return PNG_COLOR_TYPE_PALETTE;
    switch (channels) {
        case 1: return PNG_COLOR_TYPE_GRAY;
        case 2: return PNG_COLOR_TYPE_GRAY_ALPHA;
        case 3: return PNG_COLOR_TYPE_RGB;
        default: return PNG_COLOR_TYPE_RGB_ALPHA;
    }
}

// Returns 1 when the whole image was encoded into state->bytes. Only `state` and the
// read-only arguments are used after the setjmp.
int encodeWithLibpng(EncodeState* state, int width, int height, int channels, const std::uint8_t* pixels,
                     const PngWriteOptions* options) {
    state->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, failEncode, ignoreWarning);
    if (state->png == nullptr) return 0;
    state->info = png_create_info_struct(state->png);
    if (state->info == nullptr) return 0;
    if (setjmp(png_jmpbuf(state->png)) != 0) return 0;

    png_structp png = state->png;
    png_infop info = state->info;
    const bool palette = options->palette != nullptr;
    png_set_write_fn(png, state, appendToBuffer, flushNothing);
    if (options->compressionLevel >= 0) png_set_compression_level(png, options->compressionLevel);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), options->bitDepth, colorTypeFor(channels, palette),
                 options->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (palette) {
        png_color entries[256];
        for (int i = 0; i < options->paletteSize; ++i) {
            entries[i].red = options->palette[3 * i];
            entries[i].green = options->palette[3 * i + 1];
            entries[i].blue = options->palette[3 * i + 2];
        }
        png_set_PLTE(png, info, entries, options->paletteSize);
        if (options->paletteAlpha != nullptr && options->paletteAlphaSize > 0) {
            png_set_tRNS(png, info, options->paletteAlpha, options->paletteAlphaSize, nullptr);
        }
    }
    if (options->gamma > 0.0) png_set_gAMA(png, info, options->gamma);
    png_write_info(png, info);
    if (options->bitDepth < 8) png_set_packing(png);

    const std::size_t bytesPerSample = options->bitDepth == 16 ? 2 : 1;
    const std::size_t rowBytes = std::size_t(width) * std::size_t(channels) * bytesPerSample;
    state->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * std::size_t(height)));
    if (state->rows == nullptr) png_error(png, "out of memory");
    for (int y = 0; y < height; ++y) {
        // libpng takes non-const rows but only reads them when writing.
        const std::size_t row = options->bottomUp ? std::size_t(height - 1 - y) : std::size_t(y);
        state->rows[y] = const_cast<png_bytep>(pixels + row * rowBytes);
    }
    png_write_image(png, state->rows);
    png_write_end(png, nullptr);
    return 1;
}

bool validRequest(int width, int height, int channels, const std::uint8_t* pixels, const PngWriteOptions& options) {
    if (pixels == nullptr || width < 1 || height < 1 || width > 1000000 || height > 1000000) return false;
    if (channels < 1 || channels > 4) return false;
    const int depth = options.bitDepth;
    const bool palette = options.palette != nullptr;
    if (palette) {
        if (channels != 1 || options.paletteSize < 1 || options.paletteSize > 256) return false;
        if (depth != 1 && depth != 2 && depth != 4 && depth != 8) return false;
        if (options.paletteSize > (1 << depth)) return false;
        if (options.paletteAlphaSize < 0 || options.paletteAlphaSize > options.paletteSize) return false;
    } else if (channels == 1) {
        if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) return false;
    } else if (depth != 8 && depth != 16) {
        return false;
    }
    if (depth <= 8) {
        // Every sample must fit its depth (or index the palette): libpng would silently mask it.
        const int limit = palette ? options.paletteSize : (1 << depth);
        const std::size_t count = std::size_t(width) * std::size_t(height) * std::size_t(channels);
        for (std::size_t i = 0; i < count; ++i) {
            if (pixels[i] >= limit) return false;
        }
    }
    return true;
}

}  // namespace

bool encodePng(int width, int height, int channels, const std::uint8_t* topDownRows, std::vector<std::uint8_t>& out,
               const PngWriteOptions& options) {
    if (!validRequest(width, height, channels, topDownRows, options)) return false;
    EncodeState state{};
    const int ok = encodeWithLibpng(&state, width, height, channels, topDownRows, &options);
    if (ok == 1) out.assign(state.bytes, state.bytes + state.size);
    if (state.png != nullptr) png_destroy_write_struct(&state.png, state.info != nullptr ? &state.info : nullptr);
    std::free(state.rows);
    std::free(state.bytes);
    return ok == 1;
}

bool encodePng(int width, int height, int channels, const std::uint8_t* topDownRows, std::vector<std::uint8_t>& out,
               double gamma) {
    PngWriteOptions options;
    options.gamma = gamma;
    return encodePng(width, height, channels, topDownRows, out, options);
}

bool writePngFile(std::FILE* file, int width, int height, int channels, const std::uint8_t* topDownRows,
                  const PngWriteOptions& options) {
    if (file == nullptr) return false;
    std::vector<std::uint8_t> bytes;
    if (!encodePng(width, height, channels, topDownRows, bytes, options)) return false;
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}
