// The page's test and benchmark modes, each a fixed-step run on the page's canvas that reports
// its result to the page. Each returns the program's exit status.
#pragma once

#include <cstdint>
#include <string>

#include "app/options.h"

// The one frame at music time options.start, drawn and left on the canvas.
int runStill(const Options& options);
// `frames` frames from options.start, each timed; paced: at the display's rate, as the show.
int runFrames(const Options& options, std::uint64_t frames, bool paced);
// The spectrum at the music times in `times` (ms, comma-separated) and a digest of the images.
int runValues(const Options& options, const std::string& times);
