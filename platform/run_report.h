// What a run tells whoever started it beyond its exit status, for the tests and the benchmark
// that drive it from outside. Only the page's port has such a listener (index.html shows the
// report in the page's title and report block, and marks when its loading reached each stage);
// a desktop program is read through its output and its files instead, so only the page's
// build uses this.
#pragma once

// Sets the title and the text of the run's report.
void runReport(const char* title, const char* text);
// When the loading reached a stage the surroundings marked ("downloaded", "compiled"), in ms
// on the steady clock; -1 when it has not.
double runLoadMarkMs(const char* stage);
