// The music clock of the page (steady_clock.cpp): the audio context's time of the sample being
// heard now, in milliseconds, or the page's own time where no audio context runs.
#pragma once

extern "C" double musicNowMs();
