# The Windows build, cross-compiled with the toolchain file beside this one from the libraries
# tools/windows-deps.sh builds:
#   tools/windows-deps.sh
#   cmake -S . -B build/windows-cmake --toolchain platform/win32/toolchain.cmake
# What is portable builds as on the desktop; the port's own files join veldrin_platform, and the
# program gets its icon, version information and manifest from veldrin_win32_resources().

if(NOT EXISTS "${VELDRIN_WINDOWS_DEPS}/lib/pkgconfig/libmpg123.pc")
  message(FATAL_ERROR "No cross-built libraries in '${VELDRIN_WINDOWS_DEPS}': run tools/windows-deps.sh first "
                      "(and configure with --toolchain platform/win32/toolchain.cmake)")
endif()
find_package(PkgConfig REQUIRED)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
pkg_check_modules(KISSFFT REQUIRED IMPORTED_TARGET kissfft-float)
find_package(Threads REQUIRED)

add_library(veldrin_win32_gl INTERFACE)
target_link_libraries(veldrin_win32_gl INTERFACE opengl32 glu32)

# veldrin_win32_resources(TARGET): the icon (resource 101), the version information (from the
# project's version) and the DPI-aware manifest, in TARGET's executable.
function(veldrin_win32_resources target)
  set(here "${CMAKE_SOURCE_DIR}/platform/win32")
  target_sources(${target} PRIVATE "${here}/veldrin.rc")
  set_source_files_properties("${here}/veldrin.rc" TARGET_DIRECTORY ${target} PROPERTIES
      COMPILE_DEFINITIONS "VELDRIN_VERSION_MAJOR=${PROJECT_VERSION_MAJOR};VELDRIN_VERSION_MINOR=${PROJECT_VERSION_MINOR};VELDRIN_VERSION_PATCH=${PROJECT_VERSION_PATCH}"
      INCLUDE_DIRECTORIES "${CMAKE_SOURCE_DIR}/assets;${here}"
      OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/assets/veldrin.ico;${here}/veldrin.manifest")
endfunction()

# The pieces of platform/ every port shares.
add_library(veldrin_platform STATIC
    platform/clock.cpp
    platform/debug_print.cpp
    platform/fft_magnitudes.cpp
    platform/mp3_decoder.cpp
    platform/png_texture.cpp
    platform/png_write.cpp
    platform/track_magnitudes.cpp
    platform/track_ring.cpp)
target_include_directories(veldrin_platform PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(veldrin_platform PRIVATE ${VELDRIN_WARNINGS})
target_link_libraries(veldrin_platform
    PUBLIC veldrin_win32_gl
    PRIVATE PkgConfig::PNG PkgConfig::MPG123 PkgConfig::KISSFFT Threads::Threads)

add_library(veldrin_core STATIC)
target_include_directories(veldrin_core PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
target_compile_options(veldrin_core PRIVATE ${VELDRIN_WARNINGS})
target_link_libraries(veldrin_core PUBLIC veldrin_platform veldrin_assets)

add_subdirectory(assets)
add_subdirectory(gfx)
add_subdirectory(timeline)
add_subdirectory(layers)
add_subdirectory(scenes)
