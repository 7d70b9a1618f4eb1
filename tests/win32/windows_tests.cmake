# The Windows suite: the shared tests that need neither SDL nor POSIX nor the desktop's tools,
# and the Windows port's own, in one veldrin_tests.exe that CTest runs under Wine through the
# toolchain's emulator (tools/wine-run), one process a test as on Linux.

# Paths baked into the tests are read from inside Wine, where the build machine's root is Z:.
set(wine_root "Z:")

add_executable(veldrin_tests
    support/demo_harness.cpp support/files.cpp support/frame_compare.cpp support/gl_context.cpp
    ${CMAKE_SOURCE_DIR}/tools/measure/whole_track.cpp
    app/options_test.cpp app/reference_frames_test.cpp
    image/png_test.cpp
    layers/card_layer_test.cpp
    platform/clock_test.cpp
    scenes/scene_frames_test.cpp scenes/scene_parts_test.cpp
    sound/audio_output_test.cpp sound/track_ring_test.cpp
    timeline/demo_test.cpp timeline/embedded_track_test.cpp timeline/music_stream_test.cpp
    timeline/whole_show_test.cpp
    win32/audio_device_test.cpp win32/clock_test.cpp win32/process_test.cpp win32/program_test.cpp
    win32/run_program.cpp)
if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/win32/shell_test.cpp")
  target_sources(veldrin_tests PRIVATE win32/shell_test.cpp)
endif()
target_compile_options(veldrin_tests PRIVATE ${VELDRIN_WARNINGS}
                       "SHELL:-include ${CMAKE_CURRENT_SOURCE_DIR}/win32/posix_env.h")
target_link_libraries(veldrin_tests PRIVATE veldrin_core PkgConfig::MPG123 GTest::gtest GTest::gmock GTest::gtest_main)
target_compile_definitions(veldrin_tests PRIVATE VELDRIN_SOURCE_DIR="${wine_root}${CMAKE_SOURCE_DIR}"
                                                 VELDRIN_PROGRAM="${wine_root}$<TARGET_FILE:veldrin>"
                                                 VELDRIN_FAKE_FFMPEG="${wine_root}$<TARGET_FILE:fake_ffmpeg>")
add_dependencies(veldrin_tests veldrin)
set_source_files_properties(timeline/whole_show_test.cpp PROPERTIES COMPILE_OPTIONS -O2)

# Stands in for ffmpeg.exe in the capture tests (the tests copy it where they need it).
add_executable(fake_ffmpeg win32/fake_ffmpeg.cpp)
target_compile_options(fake_ffmpeg PRIVATE ${VELDRIN_WARNINGS})
add_dependencies(veldrin_tests fake_ffmpeg)

# Listing the tests starts Wine, so it happens when CTest runs (the prefix is ready then), not at
# build time; the first start of a prefix takes a while. No test may stall the run: a message box
# under headless Wine waits for ever, and the timeout ends it.
gtest_discover_tests(veldrin_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 300 NO_PRETTY_VALUES
                     TEST_FILTER "-WaveOutDevice.*" PROPERTIES TIMEOUT 300)

# The one test that plays through a sound device gets Wine's audio (the others run without a
# device, as on a machine without a sound card); test.sh gives it a private sound server.
add_test(NAME WaveOutDevice.TellsEachFillWhatIsQueuedAheadOfItOrSaysWhyItCannotOpen
         COMMAND veldrin_tests --gtest_filter=WaveOutDevice.*)
set_tests_properties(WaveOutDevice.TellsEachFillWhatIsQueuedAheadOfItOrSaysWhyItCannotOpen PROPERTIES
                     ENVIRONMENT VELDRIN_WINE_AUDIO=1 TIMEOUT 300)

# The display switch succeeds only on a screen that has an 800 × 600 mode: the shell's start runs
# once more on such a screen (the listed tests get the runner's larger default, where it fails).
add_test(NAME WindowsShell.ModeSwitchOnAn800x600Screen
         COMMAND veldrin_tests --gtest_filter=WindowsShell.ModeSwitchOrItsBoxThenWindowCloseEndsWithZero)
set_tests_properties(WindowsShell.ModeSwitchOnAn800x600Screen PROPERTIES ENVIRONMENT VELDRIN_WINE_SCREEN=800x600
                     TIMEOUT 300)
