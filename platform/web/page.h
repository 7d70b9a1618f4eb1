// What the platform tells the page around it (index.html): the first frame is up, a run has
// ended (the page goes back to its click-to-play screen), a result for tests and benchmarks.
#pragma once

void pageFirstFrame();
void pageRunEnded();
// Sets the page title and puts the text into the page's report block.
void pageReport(const char* title, const char* text);
// When the page's loading reached a stage it marked ("downloaded", "compiled"), in ms since it
// began to load; -1 when it has not.
double pageLoadMarkMs(const char* stage);
