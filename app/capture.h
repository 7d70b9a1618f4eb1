// Offline capture: the demo rendered frame by frame into an offscreen framebuffer on a
// fixed-step clock (frame n reads tick floor(n × 1000 / fps)), each frame with the spectrum of
// its own music time, so that two captures of the same span are identical.
#pragma once

#include "app/options.h"

// The whole capture; returns the process exit status.
int runCapture(const Options& options);
