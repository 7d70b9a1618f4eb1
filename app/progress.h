// Progress of a long capture: on a terminal one line redrawn in place (bar, percentage, frames
// per second, time left); otherwise a plain line every few seconds.
#pragma once

#include <cstdint>
#include <cstdio>

class Progress {
public:
    Progress(std::FILE* out, std::uint64_t total);
    void update(std::uint64_t done);
    // Ends the in-place line, if any.
    void close();
    double elapsedSeconds() const;

private:
    std::FILE* out_;
    bool terminal_;
    std::uint64_t total_;
    std::int64_t startNs_;
    std::int64_t lastNs_ = 0;
    bool drawn_ = false;
};

// "1:05" or "1:02:03".
void formatDuration(double seconds, char* text, std::size_t size);
