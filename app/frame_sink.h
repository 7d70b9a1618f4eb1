// Where captured frames go: an H.264 video with the music (through the ffmpeg program), or
// numbered PNG files. Either way nothing half-written is left looking complete.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/options.h"

struct CaptureSpan {
    int width = 800;
    int height = 600;
    FrameRate fps;
    double startSeconds = 0.0;  // music time of the first frame
    double seconds = 0.0;       // length of the span
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Checks the destination and prepares it. False with a message.
    virtual bool open(const CaptureSpan& span, std::string& error) = 0;
    // One frame of packed RGB rows, bottom row first. False with a message (disk full, the
    // encoder gone).
    virtual bool write(const std::uint8_t* bottomUpRgb, std::string& error) = 0;
    // Completes the output of what was written (also after an interrupted capture). False with
    // a message when even that fails; nothing incomplete is left then.
    virtual bool finish(std::string& error) = 0;
    // Throws away what was written (after a failure).
    virtual void abandon() = 0;
    // What was written where, for the summary: its size in bytes.
    virtual std::uint64_t bytesWritten() const = 0;
    virtual std::string destination() const = 0;
};

// The video goes to a hidden file beside the target and is renamed only once ffmpeg has
// completed it. The track is the embedded MP3 itself.
std::unique_ptr<FrameSink> makeVideoSink(const std::string& path, const unsigned char* track, std::size_t trackSize);
// frame-000000.png, frame-000001.png, ... in the folder (made when missing).
std::unique_ptr<FrameSink> makePngSink(const std::string& folder);
