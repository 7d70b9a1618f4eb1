// The one comparison of a drawn frame with a committed reference picture: a level or two
// anywhere, and larger steps on at most 0.5 % of the channels (edges), because software
// rasterisers differ that much between drawing paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct FrameDifference {
    std::size_t channels = 0;   // compared
    std::size_t beyond = 0;     // differing by more than 3 levels
    std::vector<std::uint8_t> picture;  // |difference| × 8 per channel, to look at
    bool within() const { return beyond <= channels / 200; }
};

// Packed RGB rows of the same size, top row first.
FrameDifference compareFrames(const std::vector<std::uint8_t>& frame, const std::vector<std::uint8_t>& reference);

// The committed reference picture of that second of the show (tests/reference/frame-SSS.png),
// as packed RGB rows; empty when it cannot be read.
std::vector<std::uint8_t> readReferenceFrame(int second, int& width, int& height);
std::string referenceFramePath(int second, const char* suffix = "");
