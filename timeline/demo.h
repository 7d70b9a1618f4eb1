// Demo: the one process-wide object that owns every scene and layer, the texture registry,
// the camera and the music stream. Each frame it measures the frame step and the music time,
// applies the camera, switches every scene on or off by its window of music time and draws
// the active ones in a fixed order. It tells the shell to end once the music has stopped.
#pragma once

#include <cstdint>

#include "gfx/camera.h"
#include "gfx/texture_registry.h"
#include "layers/background_layer.h"
#include "layers/card_layer.h"
#include "scenes/cloud/cloud_scene.h"
#include "scenes/dodeca/dodeca_scene.h"
#include "scenes/knot/knot_track_scene.h"
#include "scenes/laser/laser_scene.h"
#include "timeline/music_stream.h"

class AudioOutput;
class Clock;

class Demo {
public:
    // The clock gives both the frame step and the music time; the output plays the track.
    // Set before init; the same demo runs in a window, in a test and in a capture.
    void attach(Clock* clock, AudioOutput* output, const unsigned char* track, std::size_t trackSize);

    int init();     // every scene, then the music stream; the result of starting the output
    int update();   // 1 to go on, 0 once the music has stopped
    void render();  // the active scenes, background first and cards last

    float musicTime = 0.0f;
    KnotTrackScene knot;
    LaserScene laser;
    CloudScene cloud;
    DodecaScene dodeca;
    CardLayer cards;
    BackgroundLayer background;
    std::uint32_t previousTick = 0;
    float dt = 0.0f;
    TextureRegistry textures;
    Camera camera;
    MusicStream music;
    int started = 0;

private:
    Clock* clock_ = nullptr;
};

// The one demo.
extern Demo demo;

// 1 until the knot track scene's boxes have been put back into their rest pose, which happens
// once per run, in the first frame after 75 s.
extern int restorePending;
