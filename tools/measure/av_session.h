// A measured run of a program against a private sound server: what it plays is recorded from
// the null sink's monitor while its --debug frame lines are read, both stamped with the monotonic
// clock; in the middle it is stalled (SIGSTOP, then SIGCONT), as a busy machine, a paused virtual
// machine or a debugger stalls it. Shared by the end-to-end tests and the benchmark.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

#include "tools/measure/heard_and_shown.h"
#include "tools/measure/sound_server.h"

// Records the server's monitor on a thread of its own (libpulse's own main loop, polled in
// short steps, so that stopping never waits on the server for long).
class MonitorRecorder {
public:
    // Connects and starts; waits at most five seconds for the stream to run.
    explicit MonitorRecorder(const SoundServer& server);
    ~MonitorRecorder();
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    // Empty while recording; else why not.
    std::string failure() const;
    // Stops and hands back what was heard.
    Recording finish();

private:
    void run(std::string address, std::string source);

    mutable std::mutex mutex_;
    std::condition_variable started_;
    bool ready_ = false;
    std::string failure_;
    std::atomic<bool> stop_{false};
    Recording recording_;
    std::thread thread_;
};

// One busy-loop process per core asked for, from construction to destruction.
class BusyCores {
public:
    explicit BusyCores(int count);
    ~BusyCores();
    BusyCores(const BusyCores&) = delete;
    BusyCores& operator=(const BusyCores&) = delete;

private:
    std::vector<pid_t> pids_;
};

// The music time of a --debug frame line ("012.3456", CR LF from a Windows program), or nullopt.
std::optional<double> frameLineTime(const std::string& line);
// The same from a line that tells of the page's console ("console warn: 012.3456" from the
// page's driver, "... CONSOLE ... "012.3456" ..." in Chromium's own log).
std::optional<double> consoleFrameTime(const std::string& line);

// What is launched: a program and its arguments, and "NAME=value" entries added to the
// environment (a bare "NAME" removes one).
struct Subject {
    std::vector<std::string> command;
    std::vector<std::string> environment;
    bool outputToo = false;                             // stdout read for frame lines as stderr is
    std::vector<std::pair<int, int>> descriptors;       // (number in the child, this process's)
    std::optional<double> (*frameTime)(const std::string&) = frameLineTime;
    // Started through tools/wine-run: the stall and the end go to the Wine process of the program
    // (the child of the `timeout` that wine-run starts it under), not to the script.
    bool underWine = false;
};

// The Linux program, headless (SDL's offscreen driver), playing into the server from `start`.
Subject linuxProgram(const std::string& program, const SoundServer& server, double start);
// A Windows program through tools/wine-run (--audio) in the Wine prefix folder `prefix`.
Subject windowsProgram(const std::string& wineRun, const std::string& prefix, const std::string& exe,
                       const SoundServer& server, double start);

struct StallPlan {
    double start = 62.0;    // --start: the music is busy there, and stays so
    double before = 2.0;    // played from the first frame at `start` to the stall
    double stall = 0.5;     // between SIGSTOP and SIGCONT
    double after = 3.0;     // played after the stall; then SIGTERM
    double firstFrameWithin = 30.0;
    double endWithin = 10.0;  // after SIGTERM; then the whole process group, then SIGKILL
    int busyCores = 0;      // busy-loop processes running from before the launch to the end
};

struct StallRun {
    std::string failure;    // empty when both sides were observed
    Offsets before;         // windows from 0.5 s after the first frame to 0.1 s before the stall
    Offsets after;          // windows from 1 s to 3 s after the stall
    std::string messages;   // the program's stderr other than frame lines (the first 4 KB)
    int status = -1;        // the launched process's exit status; 128 + signal when killed
    double wallSeconds = 0.0;
    double endSeconds = 0.0;  // from SIGTERM until the launched process had ended
    std::vector<ShownFrame> frames;  // every frame line
    std::int64_t stallFromNs = 0;    // when the stall began and ended (0 without one)
    std::int64_t stallToNs = 0;
};

StallRun measureAcrossAStall(const SoundServer& server, const Subject& subject, const StallPlan& plan,
                             const TrackLocator& track);

// The show's own track (the embedded music.mp3, decoded whole once), to look for what was heard in.
const TrackLocator& showTrack();

// The browser build (the folder ./web.sh --build-only makes) in a browser, through the page's
// driver (tests/web/drive_page.cjs: Chromium headless, Firefox in a window on a private X screen),
// ?start=S&debug, started as a tap starts it; each frame line is stamped as the driver passes it
// on, and the stall is a busy loop evaluated in the page (its main thread stalls, the browser's
// audio does not).
enum class Browser { Chromium, Firefox };
const char* browserName(Browser browser);
bool browserInstalled(Browser browser);
StallRun measurePageAcrossAStall(const SoundServer& server, Browser browser, const std::string& page,
                                 const StallPlan& plan, const TrackLocator& track);
