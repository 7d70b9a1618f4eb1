// What the benchmark's parts share: the figures they hand back, the stretch of the show they
// time, and the small statistics the table prints.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

using Figures = std::map<std::string, double>;

constexpr double kBusyFrom = 104.9;   // laser scene on: background, knot mode 4, thirty bolts, cards
constexpr double kBusyTo = 115.669;   // knot scene off
constexpr double kCaptureTo = 124.9;  // twenty seconds from kBusyFrom

inline double ms(std::int64_t ns) { return double(ns) / 1e6; }
// The nearest-rank percentile: the smallest value that p of the values do not exceed; -1 for none.
double percentile(std::vector<double> v, double p);
inline double median(const std::vector<double>& v) { return percentile(v, 0.5); }

// The plain reference scene (reference_scene.cpp): the busiest stretch's load without the demo.
struct ReferenceScene {
    unsigned int background = 0;  // texture names, from the demo's registry
    unsigned int sprite = 0;
    std::vector<float> boxes;     // x, y, z, half size
    std::vector<float> sprites;   // x, y, z
    // Takes two of the demo's textures (startUp has run) and places the boxes and sprites.
    // False when the textures are missing.
    bool place();
    void draw() const;
};
// The plain scene live, as the demo plays: the demo's window, textures and frame pacing, for
// `seconds`; each frame's time on stderr as --debug gives the demo's. The exit status.
int runLiveReference(double seconds);

// Inside a child process of the benchmark, with a hidden context of its own (in_process.cpp).
void measureDemoFrames(Figures& out);
void measureReferenceScene(Figures& out);
void measureUpdate(Figures& out);
std::string rendererName();

// The program itself, launched as a viewer would, beside the live reference scene launched
// from `bench` (this benchmark's own executable) (launched.cpp).
void measureStart(const std::string& program, const std::string& bench, int runs, Figures& out);
void measureMemory(const std::string& program, const std::string& bench, int runs, Figures& out);
void measureCapture(const std::string& program, Figures& out);

// A run of a program with its stderr read as it comes. With --debug the program writes one music
// time per update; the first one at or after `start` comes from the first frame shown, the second
// only after that frame has been presented. stopAtFirstFrame ends the program there (SIGTERM);
// a positive stopAt keeps every music time from `start` on in `times` and ends it at stopAt.
struct Launch {
    double firstFrameMs = -1.0;
    double peakMb = -1.0;
    double wallSeconds = -1.0;
    std::string stderrText;
    std::vector<double> times;
    int status = -1;
};
Launch launch(const std::string& program, const std::vector<std::string>& args, double start, bool stopAtFirstFrame,
              double stopAt = -1.0);

// The Windows build (./windows.sh) under Wine beside this build under the same X screen
// (windows.cpp); nothing when the .exe or Wine is missing.
void measureWindows(const std::string& program, int runs, Figures& out);

// The browser build in Chromium, Firefox ESR and WebKitGTK through tests/web/drive_page.cjs
// (web.cpp); an engine, or node and the driver's modules, missing leaves its figures out.
// Figures "web.ENGINE.*", and "webBefore.ENGINE.*" for the page in the folder `before` when one
// is named.
void measureWeb(int runs, const std::string& before, Figures& out);

// Picture ahead of sound through a private sound server (avsync.cpp): the Linux program, the page
// in Chromium and Firefox ESR when ./web.sh has built it, and the .exe under Wine when
// ./windows.sh has; quiet, after a stall, and with both cores busy. `only` ("linux", "page",
// "wine") measures one of them, "" all.
void measureAvSync(const std::string& program, int runs, const std::string& only, Figures& out);
