// The desktop's two sound devices, between which platform/sdl/audio_device.cpp chooses.
#pragma once

#include <memory>
#include <string>

#include "platform/audio_device.h"

// A playback stream of a PulseAudio (or PipeWire) server, which reports its latency exactly.
std::unique_ptr<AudioDevice> openPulseAudioDevice(int sampleRate, AudioDevice::Fill fill, void* user,
                                                  std::string& why);
// SDL audio (ALSA and the rest): only its own buffer is known to lie ahead of what is heard.
std::unique_ptr<AudioDevice> openSdlAudioDevice(int sampleRate, AudioDevice::Fill fill, void* user,
                                                std::string& why);
