// No frame allocates: once the demo has started, a thousand frames in each stretch of the show
// (the shell's loop: events, update, the debug line, render, buffer swap) must not take memory
// from the heap.
//
// This file replaces the global allocation functions of the whole test program with counting
// ones. They count only on a thread that asked for it, so the decoder's and the GL driver's
// worker threads, and every other test, are unaffected. operator new is counted on every build;
// malloc and its family too where they can be replaced safely (not under the sanitizers, which
// own them).
//
// The software GL driver allocates on the calling thread: it compiles a shader the first time
// it meets a combination of state (LLVM, operator new) and keeps some bookkeeping with malloc.
// That is the platform's business, not the program's, so each counted allocation is charged to
// whoever called into the allocator: when the way up from the allocator passes through another
// library than the C and C++ runtimes (the GL driver, SDL), that library allocated; when it
// stays in this program and the runtimes, our code did.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <new>
#include <string>
#include <thread>
#include <unistd.h>

#include "app/debug_print.h"
#include "app/offscreen.h"
#include "app/shell.h"
#include "app/shell_state.h"
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
#endif

namespace {

enum Kind { kNew = 0, kMalloc = 1 };

// [kind][0]: our code, [kind][1]: another library.
std::atomic<std::uint64_t> counted[2][2] = {};
thread_local bool counting = false;

// Libraries that only pass an allocation on: the C and C++ runtimes.
bool isRuntime(const char* file) {
    if (file == nullptr) return true;
    const char* name = std::strrchr(file, '/');
    name = name != nullptr ? name + 1 : file;
    return std::strncmp(name, "libc.so", 7) == 0 || std::strncmp(name, "libstdc++", 9) == 0 ||
           std::strncmp(name, "libgcc_s", 8) == 0 || std::strncmp(name, "ld-linux", 8) == 0 ||
           std::strncmp(name, "libm.so", 7) == 0 || std::strncmp(name, "libasan", 7) == 0 ||
           std::strncmp(name, "libubsan", 8) == 0;
}

const void* ourBase() {
    static const void* base = [] {
        Dl_info info{};
        dladdr(reinterpret_cast<const void*>(&isRuntime), &info);
        return static_cast<const void*>(info.dli_fbase);
    }();
    return base;
}

bool isAllocationFunction(const char* symbol) {
    if (symbol == nullptr) return false;
    return std::strncmp(symbol, "_Znw", 4) == 0 || std::strncmp(symbol, "_Zna", 4) == 0 ||
           std::strcmp(symbol, "malloc") == 0 || std::strcmp(symbol, "calloc") == 0 ||
           std::strcmp(symbol, "realloc") == 0;
}

// The walk starts past the allocation function that called this one (the sanitizers' own
// backtrace adds a frame of theirs before it).
__attribute__((noinline)) void note(Kind kind) {
    if (!counting) return;
    counting = false;  // the walk itself must not count (nor recurse)
    void* frames[24];
    const int depth = backtrace(frames, 24);
    int first = 2;
    for (int i = 0; i < depth && i < 6; ++i) {
        Dl_info info{};
        if (dladdr(frames[i], &info) != 0 && isAllocationFunction(info.dli_sname)) first = i + 1;
    }
    // Nothing calls back into this program while a frame is drawn, so any other library on
    // the way up means the allocation is that library's.
    int blame = 0;
    for (int i = first; i < depth; ++i) {
        Dl_info info{};
        if (dladdr(frames[i], &info) == 0 || info.dli_fbase == ourBase() || isRuntime(info.dli_fname)) continue;
        blame = 1;
        break;
    }
    counted[kind][blame].fetch_add(1, std::memory_order_relaxed);
    counting = true;
}

void* rawAllocate(std::size_t size) {
#if defined(VELDRIN_COUNT_MALLOC)
    return __libc_malloc(size == 0 ? 1 : size);
#else
    return std::malloc(size == 0 ? 1 : size);
#endif
}

void rawFree(void* p) {
#if defined(VELDRIN_COUNT_MALLOC)
    __libc_free(p);
#else
    std::free(p);
#endif
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) {
    const std::size_t a = std::size_t(alignment);
    void* p = std::aligned_alloc(a, (size + a - 1) / a * a);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

// Each calls note() itself, so that note's caller is always the allocation function.
void* operator new(std::size_t size) {
    note(kNew);
    void* p = rawAllocate(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) {
    note(kNew);
    void* p = rawAllocate(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    note(kNew);
    return rawAllocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    note(kNew);
    return rawAllocate(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    note(kNew);
    return allocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    note(kNew);
    return allocateAligned(size, alignment);
}
void operator delete(void* p) noexcept { rawFree(p); }
void operator delete[](void* p) noexcept { rawFree(p); }
void operator delete(void* p, std::size_t) noexcept { rawFree(p); }
void operator delete[](void* p, std::size_t) noexcept { rawFree(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

#if defined(VELDRIN_COUNT_MALLOC)
// glibc's own entry points stay reachable under these names; the rest of its family
// (memalign, posix_memalign, ...) frees through free as well, so everything stays consistent.
extern "C" {
void* malloc(std::size_t size) {
    note(kMalloc);
    return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) {
    note(kMalloc);
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) {
    note(kMalloc);
    return __libc_realloc(p, size);
}
void free(void* p) { __libc_free(p); }
}
#endif

namespace {

struct Counts {
    std::uint64_t ourNews = 0;
    std::uint64_t ourMallocs = 0;
    std::uint64_t libraryNews = 0;
    std::uint64_t libraryMallocs = 0;
};

// Counts what the calling thread allocates between its construction and take().
class CountOnThisThread {
public:
    CountOnThisThread() {
        // The first walk loads the unwinder, which allocates: do it before counting.
        void* frames[4];
        backtrace(frames, 4);
        before_ = now();
        counting = true;
    }
    ~CountOnThisThread() { counting = false; }
    Counts take() {
        counting = false;
        const Counts after = now();
        return {after.ourNews - before_.ourNews, after.ourMallocs - before_.ourMallocs,
                after.libraryNews - before_.libraryNews, after.libraryMallocs - before_.libraryMallocs};
    }

private:
    static Counts now() {
        return {counted[kNew][0].load(), counted[kMalloc][0].load(), counted[kNew][1].load(),
                counted[kMalloc][1].load()};
    }
    Counts before_;
};

// The debug line goes to stderr once per frame; while counting it goes nowhere instead.
class SilentStderr {
public:
    SilentStderr() : saved_(dup(2)) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        close(null);
    }
    ~SilentStderr() {
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
    }

private:
    int saved_;
};

void setSpectrum(FakeAudioOutput& audio, std::uint64_t n) {
    static const float kLevels[] = {0.0f, 0.02f, 0.5f, 0.005f, 0.2f};
    audio.spectrumFails = n % 61 == 60;
    audio.fill(kLevels[(n / 7) % 5]);
}

class NoAllocation : public GlTest {
protected:
    bool wantTextures() const override { return true; }

    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped()) return;
        std::string error;
        ASSERT_TRUE(target_.create(200, 150, error)) << error;
        setViewport(200, 150);
    }

    // One pass of the shell's loop, as runShell does it.
    bool frame(DemoHarness& harness) {
        harness.clock.advance();
        setSpectrum(harness.audio, harness.clock.frame());
        WindowEvents events;
        windowPumpEvents(keys, events);
        if (drawFrame() == 0) return false;
        windowSwap();
        return true;
    }

    // Gets to the start without drawing, draws a few frames so the driver has met the textures
    // and states of this stretch (it compiles and caches once, not per frame), then counts.
    void expectNoAllocationFrom(double start, const char* what) {
        DemoHarness harness(60);
        harness.init();
        while (double(demo.musicTime) < start) {
            setSpectrum(harness.audio, harness.clock.frame());
            ASSERT_EQ(harness.step(false), 1);
        }
        for (int i = 0; i < 120; ++i) ASSERT_TRUE(frame(harness));

        debugOutput = true;
        Counts counts;
        {
            SilentStderr silent;
            CountOnThisThread count;
            for (int i = 0; i < 1000; ++i) ASSERT_TRUE(frame(harness));
            counts = count.take();
        }
        debugOutput = false;
        EXPECT_EQ(counts.ourNews, 0u) << "operator new in 1000 frames of " << what;
        EXPECT_EQ(counts.ourMallocs, 0u) << "malloc in 1000 frames of " << what;
        RecordProperty("gl_driver_and_sdl_new", std::to_string(counts.libraryNews));
        RecordProperty("gl_driver_and_sdl_malloc", std::to_string(counts.libraryMallocs));
    }

    OffscreenTarget target_;
};

// Each from its start for 1000 frames (16.7 s at 60 per second).
TEST_F(NoAllocation, CloudsAndTheBackgroundArriving) { expectNoAllocationFrom(20.0, "clouds"); }
TEST_F(NoAllocation, GreenClouds) { expectNoAllocationFrom(45.5, "green clouds"); }
TEST_F(NoAllocation, KnotFirstMode) { expectNoAllocationFrom(62.0, "the knot in mode 0"); }
TEST_F(NoAllocation, KnotPulseModeAfterTheRestore) { expectNoAllocationFrom(72.0, "the knot turning to mode 4"); }
TEST_F(NoAllocation, KnotAndBolts) { expectNoAllocationFrom(105.0, "the knot and the bolts"); }
TEST_F(NoAllocation, BoltsClusterAndWireOnly) { expectNoAllocationFrom(140.0, "the bolts and the cluster"); }
TEST_F(NoAllocation, LastCloudsOverTheWireCluster) { expectNoAllocationFrom(159.0, "the last clouds"); }

// The counter itself: a test that could not see an allocation would prove nothing.
TEST(NoAllocationCounter, ChargesOurAllocationsToUsOnThisThreadOnly) {
    // Called through volatile pointers so the compiler cannot drop the pairs.
    void* (*volatile takeNew)(std::size_t) = &::operator new;
    void (*volatile giveBack)(void*) noexcept = &::operator delete;
    void* (*volatile takeMalloc)(std::size_t) = &std::malloc;
    void (*volatile giveMalloc)(void*) = &std::free;
    char* (*volatile duplicate)(const char*) = &strdup;
    {
        CountOnThisThread count;
        giveBack(takeNew(64));
        giveMalloc(takeMalloc(64));
        giveMalloc(duplicate("allocated inside the C library, on our behalf"));
        const Counts counts = count.take();
        EXPECT_EQ(counts.ourNews, 1u);
        EXPECT_EQ(counts.libraryNews, 0u);
#if defined(VELDRIN_COUNT_MALLOC)
        EXPECT_EQ(counts.ourMallocs, 2u);
        EXPECT_EQ(counts.libraryMallocs, 0u);
#endif
    }

    // The thread is made before counting starts (making it allocates) and allocates after.
    std::atomic<bool> go{false};
    std::thread other([&] {
        while (!go.load()) std::this_thread::yield();
        giveBack(takeNew(64));
        giveMalloc(takeMalloc(64));
    });
    CountOnThisThread stillCounting;
    go = true;
    other.join();
    const Counts counts = stillCounting.take();
    EXPECT_EQ(counts.ourNews + counts.ourMallocs, 0u) << "another thread's allocation was counted";
}

}  // namespace
