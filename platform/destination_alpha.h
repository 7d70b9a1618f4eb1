// Destination alpha for the ports that make their own GL context: the blending reads it.
#pragma once

// Blending with GL_DST_ALPHA expects 1 everywhere, as on a buffer without alpha. When the
// driver gave alpha anyway, sets it to 1 in both buffers (swap presents the back buffer) and
// masks alpha from every later write. Call with the new context current.
void keepDestinationAlphaAtOne(void (*swap)());
