// The two frame sinks.
#include "app/frame_sink.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "image/png_write.h"
#include "platform/process.h"

namespace {

// Windows takes either slash (and C:name), the rest of the world only '/'; and where the
// encoder is to be had.
#ifdef _WIN32
constexpr const char* kSeparators = "/\\:";
constexpr bool kDrives = true;
constexpr const char* kEncoderWhere = "ffmpeg.exe in a folder on PATH";
#else
constexpr const char* kSeparators = "/";
constexpr bool kDrives = false;
constexpr const char* kEncoderWhere = "the ffmpeg program (Debian package ffmpeg)";
#endif

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of(kSeparators);
    if (slash == std::string::npos) return ".";
    if (path[slash] == ':') return path.substr(0, slash + 1) + ".";  // C:name
    const bool root = slash == 0 || (kDrives && path[slash - 1] == ':');
    return root ? path.substr(0, slash + 1) : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const std::size_t slash = path.find_last_of(kSeparators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string extensionOf(const std::string& base) {
    const std::size_t dot = base.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : base.substr(dot);
}

std::string lastLines(const std::string& path, std::size_t maxBytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return {};
    std::string text;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    std::fclose(file);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.size() > maxBytes) text = "..." + text.substr(text.size() - maxBytes);
    return text;
}

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

class VideoSink final : public FrameSink {
public:
    VideoSink(const std::string& path, const unsigned char* track, std::size_t trackSize)
        : path_(path), track_(track), trackSize_(trackSize) {}
    ~VideoSink() override { abandon(); }

    bool open(const CaptureSpan& span, std::string& error) override {
        std::string ffmpeg;
        if (!findProgram("ffmpeg", ffmpeg)) {
            error = std::string("--capture needs ") + kEncoderWhere + "; --frames DIR writes PNG files without it";
            return false;
        }
        const std::string folder = folderOf(path_);
        const std::string base = baseOf(path_);
        if (base.empty()) {
            error = "--capture: '" + path_ + "' names a folder, not a file";
            return false;
        }
        struct stat info {};
        if (stat(path_.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            error = "--capture: '" + path_ + "' is a folder";
            return false;
        }
        const std::string extension = extensionOf(base);
        partial_ = folder + "/." + base + ".partial" + (extension.empty() ? ".mp4" : extension);
        trackFile_ = folder + "/." + base + ".track.mp3";
        log_ = folder + "/." + base + ".ffmpeg.log";
        if (!writeTrack(error)) return false;
        frameBytes_ = std::size_t(span.width) * std::size_t(span.height) * 3;

        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", span.width, span.height);
        const std::string rate = std::to_string(span.fps.num) + "/" + std::to_string(span.fps.den);
        std::vector<std::string> args = {
            "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
            "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", size, "-framerate", rate, "-i", "pipe:0",
            "-ss", seconds(span.startSeconds), "-t", seconds(span.seconds), "-i", trackFile_,
            "-map", "0:v", "-map", "1:a",
            // The GL hands rows over bottom first; flipping here saves a copy of every frame.
            "-vf", "vflip",
            "-c:v", "libx264", "-preset", "veryfast", "-crf", "16", "-pix_fmt", "yuv420p",
            "-c:a", "aac", "-b:a", "192k", "-shortest", "-movflags", "+faststart"};
        if (extension.empty()) {
            args.push_back("-f");
            args.push_back("mp4");
        }
        args.push_back(partial_);
        if (!encoder_.start(ffmpeg, args, log_.c_str())) {
            error = "cannot start " + ffmpeg + ": " + std::strerror(errno);
            cleanUp();
            return false;
        }
        running_ = true;
        return true;
    }

    bool write(const std::uint8_t* bottomUpRgb, std::string& error) override {
        if (encoder_.write(bottomUpRgb, frameBytes_)) return true;
        const int status = encoder_.finish();
        running_ = false;
        error = "the video encoder stopped (status " + std::to_string(status) + ")";
        const std::string words = lastLines(log_, 600);
        if (!words.empty()) error += ": " + words;
        cleanUp();
        return false;
    }

    bool finish(std::string& error) override {
        if (!running_) {
            error = "nothing was encoded";
            cleanUp();
            return false;
        }
        running_ = false;
        const int status = encoder_.finish();
        if (status != 0) {
            error = "the video encoder failed (status " + std::to_string(status) + ")";
            const std::string words = lastLines(log_, 600);
            if (!words.empty()) error += ": " + words;
            cleanUp();
            return false;
        }
        struct stat info {};
        if (stat(partial_.c_str(), &info) == 0) bytes_ = std::uint64_t(info.st_size);
        if (std::rename(partial_.c_str(), path_.c_str()) != 0) {
            error = "cannot put the video in place as " + path_ + ": " + std::strerror(errno);
            cleanUp();
            return false;
        }
        std::remove(trackFile_.c_str());
        std::remove(log_.c_str());
        return true;
    }

    void abandon() override {
        if (running_) {
            encoder_.kill();
            running_ = false;
        }
        cleanUp();
    }

    std::uint64_t bytesWritten() const override { return bytes_; }
    std::string destination() const override { return path_; }

private:
    bool writeTrack(std::string& error) {
        std::FILE* file = std::fopen(trackFile_.c_str(), "wb");
        if (file == nullptr) {
            error = "cannot write into " + folderOf(path_) + ": " + std::strerror(errno);
            return false;
        }
        const bool written = std::fwrite(track_, 1, trackSize_, file) == trackSize_;
        const bool closed = std::fclose(file) == 0;
        if (!written || !closed) {
            error = "cannot write into " + folderOf(path_) + " (disk full?)";
            std::remove(trackFile_.c_str());
            return false;
        }
        return true;
    }

    void cleanUp() {
        if (!partial_.empty()) std::remove(partial_.c_str());
        if (!trackFile_.empty()) std::remove(trackFile_.c_str());
        if (!log_.empty()) std::remove(log_.c_str());
    }

    std::string path_;
    const unsigned char* track_;
    std::size_t trackSize_;
    std::string partial_;
    std::string trackFile_;
    std::string log_;
    std::size_t frameBytes_ = 0;
    ChildProcess encoder_;
    bool running_ = false;
    std::uint64_t bytes_ = 0;
};

class PngSink final : public FrameSink {
public:
    explicit PngSink(const std::string& folder) : folder_(folder) {}

    bool open(const CaptureSpan& span, std::string& error) override {
        width_ = span.width;
        height_ = span.height;
        // Something already there under the name is judged below, as a folder or not.
        std::error_code made;
        std::filesystem::create_directory(folder_, made);
        if (made && made != std::errc::file_exists) {
            error = "--frames: cannot make the folder " + folder_ + ": " + made.message();
            return false;
        }
        struct stat info {};
        if (stat(folder_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || access(folder_.c_str(), W_OK) != 0) {
            error = "--frames: " + folder_ + " is not a folder this program can write into";
            return false;
        }
        return true;
    }

    bool write(const std::uint8_t* bottomUpRgb, std::string& error) override {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06llu.png", static_cast<unsigned long long>(frames_));
        const std::string path = folder_ + "/" + name;
        const std::string partial = folder_ + "/." + name + ".partial";
        std::FILE* file = std::fopen(partial.c_str(), "wb");
        if (file == nullptr) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
        PngWriteOptions options;
        options.bottomUp = true;
        options.compressionLevel = 1;  // several times faster than the default, a little larger
        const bool written = writePngFile(file, width_, height_, 3, bottomUpRgb, options);
        const long size = std::ftell(file);
        const bool closed = std::fclose(file) == 0;
        if (!written || !closed || std::rename(partial.c_str(), path.c_str()) != 0) {
            std::remove(partial.c_str());
            error = "cannot write " + path + " (disk full?)";
            return false;
        }
        bytes_ += size > 0 ? std::uint64_t(size) : 0;
        ++frames_;
        return true;
    }

    bool finish(std::string&) override { return true; }
    void abandon() override {}
    std::uint64_t bytesWritten() const override { return bytes_; }
    std::string destination() const override { return folder_ + "/frame-*.png"; }

private:
    std::string folder_;
    int width_ = 0;
    int height_ = 0;
    std::uint64_t frames_ = 0;
    std::uint64_t bytes_ = 0;
};

}  // namespace

std::unique_ptr<FrameSink> makeVideoSink(const std::string& path, const unsigned char* track, std::size_t trackSize) {
    return std::make_unique<VideoSink>(path, track, trackSize);
}

std::unique_ptr<FrameSink> makePngSink(const std::string& folder) { return std::make_unique<PngSink>(folder); }
