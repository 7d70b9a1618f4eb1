// A private sound server for tests and benchmarks: Debian's PulseAudio with one null sink, in a
// runtime folder of its own, so a program under test can play "into the air" on a machine
// without a sound card and what it played can be recorded back from the sink's monitor.
#pragma once

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

struct pa_context;
struct pa_mainloop;
struct pa_stream;

class SoundServer {
public:
    // Starts the server and waits (bounded) until it answers and its sink plays; failure() says
    // why when it does not.
    SoundServer();
    // Stops it: SIGTERM, then SIGKILL if it has not gone within two seconds.
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    bool running() const { return pid_ > 0 && failure_.empty(); }
    const std::string& failure() const { return failure_; }

    // "unix:<folder>/pulse/native", for a client of libpulse's own.
    const std::string& address() const { return address_; }
    // The source that hears everything played into the null sink.
    const char* monitorSource() const { return "veldrin.monitor"; }
    // What a child needs in its environment to play into this server (and nowhere else), as
    // "NAME=value" entries: SDL is pointed at PulseAudio by name, which it otherwise may pass over.
    std::vector<std::string> clientEnvironment() const;
    pid_t pid() const { return pid_; }

    void stop();

    // Whether Debian's pulseaudio program is installed.
    static bool installed();

private:
    class Silence;

    pid_t pid_ = -1;
    std::unique_ptr<Silence> silence_;
    std::string folder_;
    std::string address_;
    std::string failure_;
};

// One step of a libpulse main loop that waits at most `usec`: libpulse's own blocking iterate
// could wait for ever on a server that has stopped answering.
int stepMainLoop(pa_mainloop* loop, int usec);
// Lets go of a client's stream (if any), context and main loop, in that order.
void closeClient(pa_stream* stream, pa_context* context, pa_mainloop* loop);
