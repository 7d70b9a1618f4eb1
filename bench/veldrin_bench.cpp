// The speed benchmark: every figure the demo is held to, measured in one run and printed in one
// table beside its reference and its aim. Each measurement runs in a process of its own (the
// demo is one global object, and a GL context is best made fresh), so the figures do not
// disturb each other. It never fails: what cannot be measured shows as "-".
//
//   veldrin_bench [--runs N] [--program PATH] [frames update start memory capture]
//
// With no names it measures everything (about two to three minutes on two cores).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "app/catch_up.h"
#include "app/offscreen.h"
#include "app/shell.h"
#include "app/shell_state.h"
#include "assets/embedded.h"
#include "gfx/gl.h"
#include "gfx/random.h"
#include "platform/audio.h"
#include "platform/clock.h"
#include "platform/mp3_decoder.h"
#include "platform/window.h"
#include "timeline/demo.h"

namespace {

constexpr double kBusyFrom = 104.9;      // laser scene on: background, knot mode 4, thirty bolts, cards
constexpr double kBusyTo = 115.669;      // knot scene off
constexpr double kCaptureTo = 124.9;     // twenty seconds from kBusyFrom
constexpr int kReferenceFrames = 600;

using Figures = std::map<std::string, double>;

double ms(std::int64_t ns) { return double(ns) / 1e6; }

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return -1.0;
    std::sort(v.begin(), v.end());
    // The nearest-rank percentile: the smallest value that p of the values do not exceed.
    const std::size_t rank = std::size_t(std::ceil(p * double(v.size())));
    return v[std::min(v.size() - 1, rank > 0 ? rank - 1 : 0)];
}
double median(const std::vector<double>& v) { return percentile(v, 0.5); }

std::int64_t threadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// ---- measurements inside a child process -------------------------------------------------

// A hidden context drawing into an 800 × 600 framebuffer, the demo started as a capture starts
// it: fixed 60 fps steps, the spectrum at each frame's own music time.
struct Stage {
    FixedStepClock clock{60, 1};
    std::unique_ptr<AudioOutput> audio;
    OffscreenTarget target;
    bool ok = false;

    Stage() {
        windowWidth = 800.0f;
        windowHeight = 600.0f;
        fullscreen = 0;
        WindowDesc desc;
        desc.title = "veldrin bench";
        desc.width = 64;
        desc.height = 64;
        desc.hidden = true;
        if (!windowCreate(desc).created) return;
        std::string error;
        if (!target.create(800, 600, error)) return;
        setViewport(800, 600);
        const EmbeddedAsset* track = findEmbeddedAsset("music.mp3");
        if (track == nullptr) return;
        audio = createAudioOutput(AudioMode::Offline, clock);
        demo.attach(&clock, audio.get(), track->data, track->size);
        startUp();
        ok = demo.music.stream != 0;
    }
    ~Stage() {
        demo.music.free();
        demo.attach(nullptr, nullptr, nullptr, 0);
        target.destroy();
        windowDestroy();
    }
};

// The busiest twenty seconds drawn and read back frame by frame: the frame time (draw and
// glFinish) through the busiest stretch, and the rate of drawing plus readback over the span.
void measureDemoFrames(Figures& out) {
    Stage stage;
    if (!stage.ok || !catchUp(kBusyFrom, stage.clock)) return;
    std::vector<std::uint8_t> pixels(stage.target.frameBytes());
    std::vector<double> busy;
    std::int64_t spanNs = 0;
    std::uint64_t frames = 0;
    for (std::uint64_t n = stage.clock.frame();; ++n) {
        stage.clock.setFrame(n);
        const double seconds = frameSeconds(stage.clock, n);
        if (seconds >= kCaptureTo) break;
        const std::int64_t t0 = steadyNowNs();
        if (drawFrame() == 0) break;
        glFinish();
        const std::int64_t t1 = steadyNowNs();
        stage.target.read(pixels.data());
        const std::int64_t t2 = steadyNowNs();
        if (seconds < kBusyTo) busy.push_back(ms(t1 - t0));
        spanNs += t2 - t0;
        ++frames;
    }
    out["frame.median"] = median(busy);
    out["frame.p99"] = percentile(busy, 0.99);
    out["frame.count"] = double(busy.size());
    out["render.fps"] = spanNs > 0 ? double(frames) / (double(spanNs) / 1e9) : -1.0;
}

// The same triangle and blending load without the demo: a full-screen textured quad, 40 lit
// boxes of 12 triangles and 1800 small blended textured quads, in immediate mode like the demo.
void drawReferenceScene(unsigned int backgroundTexture, unsigned int spriteTexture, const std::vector<float>& boxes,
                        const std::vector<float>& sprites) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(15.09, 1.3, 4.28, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, 800.0, 600.0, 0.0, -100.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, backgroundTexture);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_TRIANGLES);
    const float corner[6][4] = {{0, 1, 0, 0}, {0, 0, 0, 600}, {1, 0, 800, 600},
                                {1, 0, 800, 600}, {1, 1, 800, 0}, {0, 1, 0, 0}};
    for (const auto& c : corner) {
        glTexCoord2f(c[0], c[1]);
        glVertex3f(c[2], c[3], 0.0f);
    }
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);

    const float light[4] = {1.0f, 1.0f, 1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_NORMALIZE);
    glColor4f(1.0f, 0.5f, 0.1f, 1.0f);
    glBegin(GL_TRIANGLES);
    static const int kFaces[6][4][3] = {
        {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},     {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}},
        {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}},     {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}},
        {{1, -1, 1}, {1, -1, -1}, {1, 1, -1}, {1, 1, 1}},     {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}}};
    static const float kNormals[6][3] = {{0, 0, 1}, {0, 0, -1}, {0, 1, 0}, {0, -1, 0}, {1, 0, 0}, {-1, 0, 0}};
    static const int kOrder[6] = {0, 1, 2, 2, 3, 0};
    for (std::size_t b = 0; b + 3 < boxes.size(); b += 4) {
        const float s = boxes[b + 3];
        for (int f = 0; f < 6; ++f) {
            glNormal3fv(kNormals[f]);
            for (const int k : kOrder) {
                glVertex3f(boxes[b] + s * float(kFaces[f][k][0]), boxes[b + 1] + s * float(kFaces[f][k][1]),
                           boxes[b + 2] + s * float(kFaces[f][k][2]));
            }
        }
    }
    glEnd();
    glDisable(GL_LIGHTING);

    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, spriteTexture);
    glEnable(GL_BLEND);
    glDepthMask(GL_FALSE);
    glBlendFunc(GL_SRC_ALPHA, GL_DST_ALPHA);
    glColor4f(1.0f, 0.4f, 0.0f, 0.3f);
    glBegin(GL_TRIANGLES);
    static const float kSprite[6][4] = {{0, 0, 0, 0}, {0, 1, 0, 1}, {1, 1, 1, 1},
                                        {1, 1, 1, 1}, {1, 0, 1, 0}, {0, 0, 0, 0}};
    for (std::size_t q = 0; q + 2 < sprites.size(); q += 3) {
        for (const auto& c : kSprite) {
            glTexCoord2f(c[0], c[1]);
            glVertex3f(sprites[q], sprites[q + 1] + 0.1f * c[3], sprites[q + 2] + 0.2f * c[2]);
        }
    }
    glEnd();
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
}

void measureReferenceScene(Figures& out) {
    Stage stage;
    if (!stage.ok) return;
    const int bg = demo.textures.indexOf("bg01");
    const int laser = demo.textures.indexOf("laser");
    if (bg < 0 || laser < 0) return;
    // Placed with the demo's own random sequence, so every run draws the same picture.
    std::vector<float> boxes;
    for (int i = 0; i < 40; ++i) {
        boxes.push_back(float(lcgRand() % 600) / 100.0f - 3.0f);
        boxes.push_back(float(lcgRand() % 400) / 100.0f - 2.0f);
        boxes.push_back(float(lcgRand() % 600) / 100.0f - 3.0f);
        boxes.push_back(0.15f + float(lcgRand() % 10) / 100.0f);
    }
    std::vector<float> sprites;
    for (int i = 0; i < 1800; ++i) {
        sprites.push_back(float(lcgRand() % 600) / 100.0f - 3.0f);
        sprites.push_back(float(lcgRand() % 400) / 100.0f - 2.0f);
        sprites.push_back(float(lcgRand() % 600) / 100.0f - 3.0f);
    }
    std::vector<std::uint8_t> pixels(stage.target.frameBytes());
    std::vector<double> times;
    std::int64_t spanNs = 0;
    for (int i = 0; i < kReferenceFrames; ++i) {
        const std::int64_t t0 = steadyNowNs();
        drawReferenceScene(demo.textures.ids[std::size_t(bg)], demo.textures.ids[std::size_t(laser)], boxes, sprites);
        glFinish();
        const std::int64_t t1 = steadyNowNs();
        stage.target.read(pixels.data());
        spanNs += steadyNowNs() - t0;
        times.push_back(ms(t1 - t0));
    }
    out["ref.median"] = median(times);
    out["ref.p99"] = percentile(times, 0.99);
    out["ref.fps"] = double(kReferenceFrames) / (double(spanNs) / 1e9);
}

// Demo::update alone, every frame of the show at 60 fps, on this thread's CPU clock (so a
// wait for the decoder or another process's turn on the core does not count). The camera is
// applied onto an identity each frame, as the catch-up does; nothing is drawn.
void measureUpdate(Figures& out) {
    Stage stage;
    if (!stage.ok) return;
    struct Window {
        const char* key;
        float from;
        float to;
        std::vector<double> us;
    };
    std::vector<Window> windows = {
        {"update.knot0", 58.366f, 75.0f, {}},   {"update.knot4", 75.0f, 115.669f, {}},
        {"update.laser", 104.9f, 151.492f, {}}, {"update.cloud", 15.37f, 95.37f, {}},
        {"update.dodeca", 140.745f, 187.0f, {}}, {"update.cards", 0.0f, 187.0f, {}},
    };
    std::vector<double> all;
    for (std::uint64_t n = 0;; ++n) {
        stage.clock.setFrame(n);
        glLoadIdentity();
        const std::int64_t t0 = threadCpuNs();
        const int going = demo.update();
        const double us = double(threadCpuNs() - t0) / 1e3;
        if (going == 0) break;
        all.push_back(us);
        const float t = demo.musicTime;
        for (Window& w : windows) {
            if (t > w.from && t < w.to) w.us.push_back(us);
        }
    }
    out["update.median"] = median(all);
    out["update.frames"] = double(all.size());
    double worst = -1.0;
    for (const Window& w : windows) {
        out[w.key] = median(w.us);
        worst = std::max(worst, out[w.key]);
    }
    out["update.worst"] = worst;
}

// ---- measurements of the program itself --------------------------------------------------

struct Launch {
    double firstFrameMs = -1.0;
    double peakMb = -1.0;
    double wallSeconds = -1.0;
    std::string stderrText;
    int status = -1;
};

// Runs the program with its stderr on a pipe. With --debug it writes one music time per
// update; the first one at or after `start` comes from the first frame shown, the second
// only after that frame has been presented. Stops the program there when asked to.
Launch launch(const std::string& program, const std::vector<std::string>& args, double start, bool stopAtFirstFrame) {
    Launch result;
    int fds[2];
    if (pipe(fds) != 0) return result;
    const std::int64_t t0 = steadyNowNs();
    const pid_t child = fork();
    if (child < 0) return result;
    if (child == 0) {
        dup2(fds[1], 2);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    std::string line;
    int shown = 0;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c != '\n') {
                line += c;
                continue;
            }
            char* end = nullptr;
            const double t = std::strtod(line.c_str(), &end);
            const bool isTime = line.size() == 8 && line[3] == '.' && end != nullptr && *end == '\0';
            if (!isTime && result.stderrText.size() < 4096) result.stderrText += line + "\n";
            if (isTime && t >= start - 1e-9 && ++shown == 2 && result.firstFrameMs < 0.0) {
                result.firstFrameMs = ms(steadyNowNs() - t0);
                if (stopAtFirstFrame) kill(child, SIGTERM);
            }
            line.clear();
        }
    }
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    result.wallSeconds = double(steadyNowNs() - t0) / 1e9;
    result.peakMb = double(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

double plainDecodeMs() {
    const EmbeddedAsset* track = findEmbeddedAsset("music.mp3");
    if (track == nullptr) return -1.0;
    const std::int64_t start = steadyNowNs();
    Mp3Decoder decoder;
    if (!decoder.open(track->data, track->size)) return -1.0;
    decoder.decodeInBackground();
    decoder.waitFor(decoder.totalFrames());
    return ms(steadyNowNs() - start);
}

void measureStart(const std::string& program, int runs, Figures& out) {
    std::vector<double> first;
    std::vector<double> late;
    std::vector<double> decode;
    for (int i = 0; i < runs; ++i) {
        first.push_back(launch(program, {"--windowed", "--debug"}, 0.0, true).firstFrameMs);
        late.push_back(launch(program, {"--windowed", "--debug", "--start", "186"}, 186.0, true).firstFrameMs);
        decode.push_back(plainDecodeMs());
    }
    out["start.first"] = median(first);
    out["start.late"] = median(late);
    out["start.decode"] = median(decode);
}

void measureMemory(const std::string& program, Figures& out) {
    const Launch run = launch(program, {"--windowed", "--start", "180"}, 180.0, false);
    if (run.status == 0) out["memory.peak"] = run.peakMb;
    const EmbeddedAsset* track = findEmbeddedAsset("music.mp3");
    if (track == nullptr) return;
    Mp3Decoder decoder;
    if (decoder.open(track->data, track->size)) {
        out["memory.track"] = double(decoder.totalFrames()) * 2.0 * sizeof(float) / (1024.0 * 1024.0);
    }
}

void measureCapture(const std::string& program, Figures& out) {
    char folder[] = "/tmp/veldrin-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return;
    const std::string file = std::string(folder) + "/busy.mp4";
    char from[32];
    char to[32];
    std::snprintf(from, sizeof from, "%g", kBusyFrom);
    std::snprintf(to, sizeof to, "%g", kCaptureTo);
    const Launch run = launch(program, {"--capture", file, "--start", from, "--end", to}, 1e9, false);
    // The summary line ends "... in 0:35 (34.2 fps), 12.3 MB".
    const std::size_t at = run.stderrText.rfind(" fps),");
    if (run.status == 0 && at != std::string::npos) {
        const std::size_t open = run.stderrText.rfind('(', at);
        if (open != std::string::npos) out["capture.fps"] = std::atof(run.stderrText.c_str() + open + 1);
        out["capture.wall"] = run.wallSeconds;
    } else {
        std::fprintf(stderr, "capture failed: %s", run.stderrText.c_str());
    }
    std::remove(file.c_str());
    rmdir(folder);
}

// ---- the table ---------------------------------------------------------------------------

// Runs one measurement in a child process and takes its figures back through a pipe.
void inChild(void (*measure)(Figures&), Figures& into) {
    std::fflush(stdout);
    std::fflush(stderr);
    int fds[2];
    if (pipe(fds) != 0) return;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        Figures figures;
        measure(figures);
        std::string text;
        for (const auto& [key, value] : figures) text += key + " " + std::to_string(value) + "\n";
        const char* p = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            const ssize_t n = write(fds[1], p, left);
            if (n <= 0) break;
            p += n;
            left -= std::size_t(n);
        }
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    char buffer[1024];
    ssize_t n = 0;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, std::size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        const std::string row = text.substr(pos, end - pos);
        const std::size_t space = row.find(' ');
        if (space != std::string::npos) into[row.substr(0, space)] = std::atof(row.c_str() + space + 1);
        pos = end == std::string::npos ? text.size() : end + 1;
    }
}

std::string figure(const Figures& f, const char* key, const char* format) {
    const auto it = f.find(key);
    if (it == f.end() || it->second < 0.0) return "-";
    char text[64];
    std::snprintf(text, sizeof text, format, it->second);
    return text;
}

void row(const char* what, const std::string& measured, const std::string& reference, const char* aim) {
    std::printf("| %-52s | %12s | %-30s | %-14s |\n", what, measured.c_str(), reference.c_str(), aim);
}

std::string rendererName() {
    std::string name = "-";
    Stage stage;
    if (stage.ok) {
        const GLubyte* text = glGetString(GL_RENDERER);
        if (text != nullptr) name = reinterpret_cast<const char*>(text);
    }
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    std::string program = VELDRIN_PROGRAM;
    int runs = 5;
    std::vector<std::string> wanted;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--program" && i + 1 < argc) program = argv[++i];
        else wanted.push_back(a);
    }
    const auto want = [&](const char* name) {
        return wanted.empty() || std::find(wanted.begin(), wanted.end(), name) != wanted.end();
    };

    Figures f;
    std::string renderer = "-";
    {
        // The renderer's name, from a child too: this process stays free of GL and threads.
        int fds[2];
        if (pipe(fds) == 0) {
            std::fflush(stdout);
            const pid_t child = fork();
            if (child == 0) {
                close(fds[0]);
                const std::string name = rendererName();
                if (write(fds[1], name.data(), name.size()) < 0) _exit(1);
                _exit(0);
            }
            close(fds[1]);
            char buffer[256];
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n > 0) renderer.assign(buffer, std::size_t(n));
            close(fds[0]);
            waitpid(child, nullptr, 0);
        }
    }
    if (want("frames")) {
        inChild(measureDemoFrames, f);
        inChild(measureReferenceScene, f);
    }
    if (want("update")) inChild(measureUpdate, f);
    if (want("start")) measureStart(program, runs, f);
    if (want("memory")) measureMemory(program, f);
    if (want("capture")) measureCapture(program, f);

    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    std::printf("veldrin speed, 800 x 600, %s, %ld cores\n\n", renderer.c_str(), cores);
    row("figure", "measured", "reference", "aim");
    std::printf("|%s|%s|%s|%s|\n", std::string(54, '-').c_str(), std::string(14, '-').c_str(),
                std::string(32, '-').c_str(), std::string(16, '-').c_str());
    if (want("frames")) {
        row("frame 104.9-115.669 s, draw + glFinish, median", figure(f, "frame.median", "%.1f ms"),
            figure(f, "ref.median", "%.1f ms plain scene"), "-");
        row("frame 104.9-115.669 s, draw + glFinish, p99", figure(f, "frame.p99", "%.1f ms"),
            figure(f, "ref.p99", "%.1f ms plain scene"), "< 16.7 ms");
    }
    if (want("update")) {
        row("Demo::update CPU per frame, median, whole show", figure(f, "update.median", "%.1f us"), "-", "< 30 us");
        row("  median in the busiest scene window", figure(f, "update.worst", "%.1f us"), "-", "< 30 us");
        const char* names[][2] = {{"update.cards", "    cards alone (0-15.37 s and on)"},
                                  {"update.cloud", "    cloud (15.37-95.37 s)"},
                                  {"update.knot0", "    knot, mode 0 (58.366-75 s)"},
                                  {"update.knot4", "    knot, mode 4 (75-115.669 s)"},
                                  {"update.laser", "    laser (104.9-151.492 s)"},
                                  {"update.dodeca", "    dodecahedra (140.745-187 s)"}};
        for (const auto& n : names) row(n[1], figure(f, n[0], "%.1f us"), "-", "");
    }
    if (want("start")) {
        char label[64];
        std::snprintf(label, sizeof label, "%s, median of %d", "start to first presented frame", runs);
        row(label, figure(f, "start.first", "%.0f ms"), figure(f, "start.decode", "whole-track decode %.0f ms"),
            "< 150 ms");
        std::snprintf(label, sizeof label, "%s, median of %d", "--start 186 to its first frame", runs);
        row(label, figure(f, "start.late", "%.0f ms"), "-", "< 500 ms");
    }
    if (want("memory")) {
        row("peak resident memory, --start 180 to the end", figure(f, "memory.peak", "%.1f MB"),
            figure(f, "memory.track", "decoded track %.1f MB"), "< 100 MB");
    }
    if (want("frames") || want("capture")) {
        row("capture 104.9-124.9 s: draw + readback", figure(f, "render.fps", "%.1f fps"),
            figure(f, "ref.fps", "%.1f fps plain scene"), "-");
    }
    if (want("capture")) {
        row("capture 104.9-124.9 s: draw + readback + encode", figure(f, "capture.fps", "%.1f fps"),
            "60 fps real time", ">= 60 fps");
        row("  wall time of that capture, start-up included", figure(f, "capture.wall", "%.1f s"), "20 s real time",
            "<= 20 s");
    }
    std::printf("\nframes, update and capture in one run; start-up over %d launches; timings are wall clock on a\n"
                "machine that may be shared, Demo::update is this thread's CPU time.\n",
                runs);
    return 0;
}
