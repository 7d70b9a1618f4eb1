// Start-up benchmark: how long from launching the demo until its first frame is presented,
// beside how long a plain decode of the whole track takes (the reason the track is decoded in
// the background while the first frames are drawn). Prints one table; never fails.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "assets/embedded.h"
#include "platform/clock.h"
#include "platform/mp3_decoder.h"

namespace {

double ms(std::int64_t ns) { return double(ns) / 1e6; }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// Launches the demo with --debug and waits for its second trace line: the first is written by
// the first frame's update, the second only after that frame has been presented.
double launchToFirstFrameMs(const char* program) {
    int fds[2];
    if (pipe(fds) != 0) return -1.0;
    const std::int64_t start = steadyNowNs();
    const pid_t child = fork();
    if (child == 0) {
        dup2(fds[1], 2);
        close(fds[0]);
        close(fds[1]);
        execl(program, program, "--windowed", "--debug", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string seen;
    char buffer[256];
    double result = -1.0;
    while (result < 0.0) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        seen.append(buffer, std::size_t(n));
        // Lines: possibly a note about the audio device, then one music time per frame.
        int times = 0;
        for (std::size_t pos = 0; (pos = seen.find('\n', pos)) != std::string::npos; ++pos) {
            const std::size_t begin = seen.rfind('\n', pos - 1);
            const std::string line = seen.substr(begin == std::string::npos ? 0 : begin + 1, pos - (begin == std::string::npos ? 0 : begin + 1));
            if (line.size() == 8 && line[3] == '.') ++times;
        }
        if (times >= 2) result = ms(steadyNowNs() - start);
    }
    kill(child, SIGTERM);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
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

}  // namespace

int main(int argc, char** argv) {
    const char* program = argc > 1 ? argv[1] : VELDRIN_PROGRAM;
    const int runs = 5;
    std::vector<double> firstFrame;
    std::vector<double> decode;
    for (int i = 0; i < runs; ++i) {
        firstFrame.push_back(launchToFirstFrameMs(program));
        decode.push_back(plainDecodeMs());
    }
    std::printf("start-up, median of %d runs (%s)\n", runs, program);
    std::printf("  %-44s %9s %9s\n", "", "measured", "aim");
    std::printf("  %-44s %7.1f ms %6s ms\n", "launch to first presented frame", median(firstFrame), "150");
    std::printf("  %-44s %7.1f ms %9s\n", "plain decode of the whole track (reference)", median(decode), "-");
    return 0;
}
