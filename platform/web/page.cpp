// The page hooks and the run's report, calling the functions index.html hands to the module.
#include "platform/web/page.h"
#include "platform/run_report.h"

#include <emscripten.h>

EM_JS(void, pageCall, (const char* what, const char* title, const char* text), {
    if (Module["onPage"]) Module["onPage"](UTF8ToString(what), UTF8ToString(title), UTF8ToString(text));
});

void pageFirstFrame() { pageCall("first-frame", "", ""); }
void pageRunEnded() { pageCall("ended", "", ""); }
void runReport(const char* title, const char* text) { pageCall("report", title, text); }

EM_JS(double, pageLoadMark, (const char* stage), {
    const marks = Module["loadMarks"];
    const at = marks ? marks[UTF8ToString(stage)] : undefined;
    return typeof at === "number" ? at : -1;
});

double runLoadMarkMs(const char* stage) { return pageLoadMark(stage); }
