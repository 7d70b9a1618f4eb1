// The oracle for decoded music: a whole track decoded in one go from its start to its end by
// libmpg123 itself, with the settings the program asks for (44.1 kHz stereo float, gapless, the
// pinned synthesis), without anything of the program's own decoder.
#pragma once

#include <cstddef>
#include <vector>

// Interleaved L/R frames; empty when libmpg123 will not decode the bytes.
std::vector<float> decodeWholeTrack(const unsigned char* bytes, std::size_t size);
// The show's own track (the embedded music.mp3) so, decoded once.
const std::vector<float>& decodedShowTrack();
