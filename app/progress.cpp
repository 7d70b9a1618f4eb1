// Progress lines.
#include "app/progress.h"

#include <unistd.h>

#include "platform/clock.h"

void formatDuration(double seconds, char* text, std::size_t size) {
    const long total = seconds > 0.0 ? long(seconds + 0.5) : 0;
    if (total >= 3600) std::snprintf(text, size, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    else std::snprintf(text, size, "%ld:%02ld", total / 60, total % 60);
}

Progress::Progress(std::FILE* out, std::uint64_t total)
    : out_(out), terminal_(isatty(fileno(out)) != 0), total_(total == 0 ? 1 : total), startNs_(steadyNowNs()) {}

double Progress::elapsedSeconds() const { return double(steadyNowNs() - startNs_) / 1e9; }

void Progress::update(std::uint64_t done) {
    const std::int64_t now = steadyNowNs();
    const std::int64_t interval = terminal_ ? 200000000 : 5000000000;
    if (now - lastNs_ < interval && done < total_) return;
    lastNs_ = now;
    const double elapsed = double(now - startNs_) / 1e9;
    const double rate = elapsed > 0.0 ? double(done) / elapsed : 0.0;
    const double fraction = done >= total_ ? 1.0 : double(done) / double(total_);
    char left[32];
    formatDuration(rate > 0.0 ? double(total_ - (done < total_ ? done : total_)) / rate : 0.0, left, sizeof left);
    if (terminal_) {
        char bar[31];
        const int filled = int(fraction * 30.0);
        for (int i = 0; i < 30; ++i) bar[i] = i < filled ? '#' : '.';
        bar[30] = '\0';
        std::fprintf(out_, "\r[%s] %3d%%  %5.1f fps  %s left ", bar, int(fraction * 100.0), rate, left);
        drawn_ = true;
    } else {
        std::fprintf(out_, "frame %llu of %llu (%d%%), %.1f fps, %s left\n", static_cast<unsigned long long>(done),
                     static_cast<unsigned long long>(total_), int(fraction * 100.0), rate, left);
    }
    std::fflush(out_);
}

void Progress::close() {
    if (drawn_) std::fputc('\n', out_);
    drawn_ = false;
}
