// The files of assets/ as they were when the program was built: images, icon and music live
// inside the executable, so nothing is read from disk at run time.
#pragma once

#include <cstddef>

struct EmbeddedAsset {
    const char* name;            // file name inside assets/, e.g. "bg01.png"
    const unsigned char* data;   // first byte; stays valid for the whole run
    std::size_t size;            // in bytes
};

// The asset stored under that file name, or nullptr.
const EmbeddedAsset* findEmbeddedAsset(const char* name);
