// What the port tells the page around it (index.html): the first frame is up, a run has ended
// (the page goes back to its click-to-play screen). The run's report is platform/run_report.h.
#pragma once

void pageFirstFrame();
void pageRunEnded();
