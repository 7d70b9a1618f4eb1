// No frame allocates: once the demo has started, a thousand frames in each stretch of the show
// (the shell's loop: events, update, the debug line, render, buffer swap) must not take memory
// from the heap.
//
// This program replaces the global allocation functions with counting ones. They count only on
// a thread that asked for it, so the decoder's and the GL driver's worker threads are left out.
// operator new is counted on every build; malloc and its family too where they can be replaced
// safely (not under the sanitizers, which own them).
//
// The software GL driver allocates on the calling thread (it compiles a shader the first time it
// meets a combination of state, and keeps bookkeeping with malloc). That is the platform's
// business, so each allocation is charged to whoever called the allocator: if the way up passes
// through a library other than the C and C++ runtimes (the GL driver, SDL), that library
// allocated; if it stays in this program and the runtimes, our code did.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <memory>
#include <new>
#include <string>
#include <unistd.h>

#include "app/offscreen.h"
#include "app/shell.h"
#include "app/shell_state.h"
#include "assets/embedded.h"
#include "sound/audio_output.h"
#include "platform/clock.h"
#include "platform/debug_print.h"
#include "sound/track_ring.h"
#include "platform/window.h"
#include "tests/support/demo_harness.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

#if !defined(__SANITIZE_ADDRESS__) && defined(__GLIBC__)
#define VELDRIN_COUNT_MALLOC 1
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
}
#define RAW(f) __libc_##f
#else
#define RAW(f) std::f
#endif

namespace {

// [0]: operator new by our code, [1]: malloc by our code, [2]: either by another library.
std::atomic<std::uint64_t> counted[3] = {};
thread_local bool counting = false;

// Libraries that only pass an allocation on: the C and C++ runtimes (and the sanitizers').
bool isRuntime(const char* file) {
    if (file == nullptr) return true;
    const char* name = std::strrchr(file, '/');
    name = name != nullptr ? name + 1 : file;
    for (const char* runtime : {"libc.so", "libstdc++", "libgcc_s", "ld-linux", "libm.so", "libasan", "libubsan"}) {
        if (std::strncmp(name, runtime, std::strlen(runtime)) == 0) return true;
    }
    return false;
}

void note(int kind) {
    if (!counting) return;
    counting = false;  // the walk itself must not count (nor recurse)
    static Dl_info self = [] {
        Dl_info info{};
        dladdr(reinterpret_cast<const void*>(&isRuntime), &info);
        return info;
    }();
    void* frames[24];
    const int depth = backtrace(frames, 24);
    // Nothing calls back into this program while a frame is drawn, so any other library on
    // the way up means the allocation is that library's.
    for (int i = 0; i < depth; ++i) {
        Dl_info info{};
        if (dladdr(frames[i], &info) != 0 && info.dli_fbase != self.dli_fbase && !isRuntime(info.dli_fname)) {
            kind = 2;
            break;
        }
    }
    counted[kind].fetch_add(1, std::memory_order_relaxed);
    counting = true;
}

void* countedNew(std::size_t size) {
    note(0);
    void* p = RAW(malloc)(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void* countedAligned(std::size_t size, std::align_val_t alignment) {
    note(0);
    const std::size_t a = std::size_t(alignment);
    void* p = std::aligned_alloc(a, (size + a - 1) / a * a);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(std::size_t size) { return countedNew(size); }
void* operator new[](std::size_t size) { return countedNew(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return note(0), RAW(malloc)(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return note(0), RAW(malloc)(size ? size : 1); }
void* operator new(std::size_t size, std::align_val_t alignment) { return countedAligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return countedAligned(size, alignment); }
void operator delete(void* p) noexcept { RAW(free)(p); }
void operator delete[](void* p) noexcept { RAW(free)(p); }
void operator delete(void* p, std::size_t) noexcept { RAW(free)(p); }
void operator delete[](void* p, std::size_t) noexcept { RAW(free)(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

#if defined(VELDRIN_COUNT_MALLOC)
// glibc's own entry points stay reachable under these names; the rest of its family
// (memalign, posix_memalign, ...) frees through free as well, so everything stays consistent.
extern "C" {
void* malloc(std::size_t size) { return note(1), __libc_malloc(size); }
void* calloc(std::size_t n, std::size_t size) { return note(1), __libc_calloc(n, size); }
void* realloc(void* p, std::size_t size) { return note(1), __libc_realloc(p, size); }
void free(void* p) { __libc_free(p); }
}
#endif

namespace {

// What the calling thread allocates between construction and take(): operator new by our code,
// malloc by our code, either by another library.
using Counts = std::array<std::uint64_t, 3>;
class CountOnThisThread {
public:
    CountOnThisThread() {
        void* frames[4];
        backtrace(frames, 4);  // the first walk loads the unwinder, which allocates
        for (std::size_t i = 0; i < 3; ++i) before_[i] = counted[i].load();
        counting = true;
    }
    ~CountOnThisThread() { counting = false; }
    Counts take() {
        counting = false;
        Counts counts{};
        for (std::size_t i = 0; i < 3; ++i) counts[i] = counted[i].load() - before_[i];
        return counts;
    }

private:
    Counts before_{};
};

// Each parameter is a stretch's start: from there 1000 frames (16.7 s at 60 per second).
class NoAllocation : public SmallFrameTest, public testing::WithParamInterface<double> {};

// One pass of the shell's loop, as runShell does it.
bool frame(DemoHarness& harness) {
    harness.clock.advance();
    harness.varySpectrum(harness.clock.frame());
    WindowEvents events;
    windowPumpEvents(keys, events);
    if (drawFrame() == 0) return false;
    windowSwap();
    return true;
}

TEST_P(NoAllocation, ThousandFramesFromTheStretchStart) {
    DemoHarness harness(60);
    harness.init();
    while (double(demo.musicTime) < GetParam()) {
        harness.varySpectrum(harness.clock.frame());
        ASSERT_EQ(harness.step(false), 1);
    }
    // The driver meets this stretch's textures and states first (it compiles and caches once).
    for (int i = 0; i < 120; ++i) ASSERT_TRUE(frame(harness));

    debugOutput = true;  // the debug line is part of the frame; it goes to /dev/null meanwhile
    const int savedStderr = dup(2);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    close(null);
    Counts counts{};
    {
        CountOnThisThread count;
        for (int i = 0; i < 1000 && frame(harness); ++i) {}
        counts = count.take();
    }
    std::fflush(stderr);
    dup2(savedStderr, 2);
    close(savedStderr);
    debugOutput = false;
    EXPECT_GT(demo.musicTime, float(GetParam() + 18.0)) << "the show ended within the thousand frames";
    EXPECT_EQ(counts[0], 0u) << "operator new in 1000 frames from " << GetParam() << " s";
    EXPECT_EQ(counts[1], 0u) << "malloc in 1000 frames from " << GetParam() << " s";
    RecordProperty("gl_driver_and_sdl_allocations", std::to_string(counts[2]));
}

// Clouds and the background arriving, green clouds, the knot in mode 0, turning to mode 4, the
// knot and the bolts, the bolts and the cluster, the last clouds over the wire cluster.
INSTANTIATE_TEST_SUITE_P(Stretches, NoAllocation, testing::Values(20.0, 45.5, 62.0, 72.0, 105.0, 140.0, 159.0));

// The music as the frame loop reads it. First the ring without a thread of its own, so that
// its decoding (refill, and the seeks of two jumps forward) runs on this thread once a frame, as
// on a platform without threads; then an offline output, whose thread decodes while this one
// waits for it and analyses, as a capture reads the spectrum. Neither we nor libmpg123 may
// allocate. (A jump back, which the desktop's music time never makes, starts the pinned decoder
// again with a new libmpg123 handle.)
TEST(NoAllocationMusic, DecodingAndReadingFrameByFrame) {
    const EmbeddedAsset* music = findEmbeddedAsset("music.mp3");
    ASSERT_NE(music, nullptr);
    TrackRing ring;
    ASSERT_TRUE(ring.open(music->data, music->size)) << ring.error();
    FixedStepClock clock(60);
    std::unique_ptr<AudioOutput> output = createAudioOutput(AudioMode::Offline, clock);
    ASSERT_EQ(output->init(kSampleRate), 1);
    ASSERT_EQ(output->createStream(music->data, music->size), 1);
    output->play();
    float window[2 * 512];
    float bins[kSpectrumBins];
    Counts counts{};
    {
        CountOnThisThread count;
        for (const std::uint64_t second : {0u, 30u, 100u}) {
            for (std::uint64_t at = second * 44100 + 512; at < (second + 5) * 44100; at += 735) {
                ring.follow(at);
                ring.refill(44100);
                ring.waitFor(at - 512, at);
                ring.copy(1, at - 512, 512, window);
            }
        }
        for (std::uint64_t frame = 3480; frame < 3480 + 600; ++frame) {
            clock.setFrame(frame);
            output->isActive();
            output->spectrum(bins);
        }
        counts = count.take();
    }
    EXPECT_EQ(counts[0], 0u) << "operator new";
    EXPECT_EQ(counts[1], 0u) << "malloc";
    EXPECT_EQ(counts[2], 0u) << "by another library";
}

}  // namespace
