// MusicStream over the platform's audio output.
#include "timeline/music_stream.h"

#include "sound/audio_output.h"
#include "platform/clock.h"

int bandIndex(int frequency) { return int(double(frequency) * 0.025625625625625627); }

MusicStream::~MusicStream() { free(); }

void MusicStream::attach(AudioOutput* output, Clock* clock, const unsigned char* track,
                         std::size_t trackSize) {
    output_ = output;
    clock_ = clock;
    track_ = track;
    trackSize_ = trackSize;
}

int MusicStream::init() {
    if (output_ == nullptr) return 0;
    if (output_->init(kSampleRate) != 0) return 1;
    output_->release();
    return 0;
}

int MusicStream::create() {
    stream = 0;
    if (output_ == nullptr || track_ == nullptr) return 0;
    if (output_->createStream(track_, trackSize_) == 0) return 0;
    stream = 1;
    return 1;
}

int MusicStream::start() { return output_ != nullptr && output_->start() != 0 ? 1 : 0; }

int MusicStream::play() {
    if (output_ != nullptr && stream != 0) output_->play();
    playStart = clock_ != nullptr ? clock_->ticks() : 0;
    return 1;
}

int MusicStream::isActive() {
    if (output_ == nullptr || stream == 0) return 0;
    return output_->isActive();
}

float MusicStream::band(int frequency) {
    // Only the first 256 entries carry magnitudes; anything past them is no reading at all.
    float magnitudes[kSpectrumBins];
    if (output_ == nullptr || stream == 0 || output_->spectrum(magnitudes) == -1) return -1.0f;
    const int index = bandIndex(frequency);
    if (index < 0 || index >= kSpectrumBins) return -1.0f;
    return magnitudes[index];
}

double MusicStream::elapsedMs() {
    const std::uint32_t now = clock_ != nullptr ? clock_->ticks() : playStart;
    return double(std::uint32_t(now - playStart));
}

void MusicStream::free() {
    if (output_ != nullptr) output_->release();
}
