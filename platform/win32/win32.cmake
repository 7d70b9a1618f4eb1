# The Windows build's settings in one place, included by the top CMakeLists.txt when CMake
# targets Windows (platform/win32/toolchain.cmake, which windows.sh uses).
#   veldrin_gl       opengl32 and glu32, the GL and GLU every drawing file calls
#   veldrin_windows  the rest of the system the port calls (user32, gdi32, WinMM), private to it
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
