// PNG encoding through libpng: frames written by the capture, and test images made on the fly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

struct PngWriteOptions {
    double gamma = 0.0;            // written as a gAMA chunk when positive
    bool interlaced = false;       // Adam7
    int bitDepth = 8;              // 1, 2, 4 (grey or palette), 8 or 16; 16-bit samples are big-endian pairs
    // A palette image: channels must be 1 and every sample is an index below paletteSize.
    const std::uint8_t* palette = nullptr;       // paletteSize RGB triples
    int paletteSize = 0;                         // 1..256
    const std::uint8_t* paletteAlpha = nullptr;  // optional tRNS: one alpha per entry
    int paletteAlphaSize = 0;
    int compressionLevel = -1;     // zlib level 0..9; -1 for libpng's default
    bool bottomUp = false;         // rows come bottom to top, as glReadPixels gives them
};

// Encodes width × height samples (channels 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA; rows top to
// bottom, tightly packed, one byte per sample below 16 bits). `out` is replaced only when the
// whole image was encoded; on failure it is left as it was.
bool encodePng(int width, int height, int channels, const std::uint8_t* topDownRows, std::vector<std::uint8_t>& out,
               const PngWriteOptions& options);
bool encodePng(int width, int height, int channels, const std::uint8_t* topDownRows, std::vector<std::uint8_t>& out,
               double gamma = 0.0);

// Encodes as above and writes the bytes to an open file. False when encoding or writing failed.
bool writePngFile(std::FILE* file, int width, int height, int channels, const std::uint8_t* topDownRows,
                  const PngWriteOptions& options = {});
