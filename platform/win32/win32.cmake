# The Windows build's settings in one place, included by the top CMakeLists.txt when it is
# cross-compiled with the toolchain file beside this one, from the libraries tools/windows-deps.sh
# builds (windows.sh does it all):
#   tools/windows-deps.sh
#   cmake -S . -B build/windows-cmake --toolchain platform/win32/toolchain.cmake
#   veldrin_gl       opengl32 and glu32, the GL and GLU every drawing file calls
#   veldrin_windows  the rest of the system the port calls (user32, gdi32, WinMM), private to it
#   veldrin_win32_resources(TARGET)  the icon, version information and manifest of a program
if(NOT EXISTS "${VELDRIN_WINDOWS_DEPS}/lib/pkgconfig/libmpg123.pc")
  message(FATAL_ERROR "No cross-built libraries in '${VELDRIN_WINDOWS_DEPS}': run tools/windows-deps.sh first "
                      "(and configure with --toolchain platform/win32/toolchain.cmake)")
endif()

# Every target is compiled with the same view of <windows.h>: no min/max macros, the lean
# header, and the calls of Windows 7 and later.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)

add_library(veldrin_gl INTERFACE)
target_link_libraries(veldrin_gl INTERFACE opengl32 glu32)

add_library(veldrin_windows INTERFACE)
target_link_libraries(veldrin_windows INTERFACE user32 gdi32 winmm)

# One file that runs on a bare Windows: the compiler's runtime and the thread library linked in,
# nothing beside the .exe but the system's own DLLs.
add_link_options(-static -static-libgcc -static-libstdc++)

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
