// Runs a command with a private sound server to play into: `with_sound_server COMMAND ARGS...`
// starts the server, runs the command with the server in its environment and ends with the
// command's status, the server stopped however the command ended. The Windows suite runs under it
// so that Wine's waveOut has a device on a machine without a sound card.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tools/measure/sound_server.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: with_sound_server COMMAND [ARGS...]\n");
        return 2;
    }
    SoundServer server;
    if (!server.running()) {
        std::fprintf(stderr, "with_sound_server: %s\n", server.failure().c_str());
        return 1;
    }
    std::vector<std::string> environment = server.clientEnvironment();
    const pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) {
        for (std::string& entry : environment) putenv(entry.data());
        execvp(argv[1], argv + 1);
        std::perror(argv[1]);
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    server.stop();
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
