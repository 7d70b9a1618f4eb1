# The browser build, configured with emscripten (web.sh does it all):
#   emcmake cmake -S . -B build/web-cmake -DVELDRIN_WEB_SOURCES=build/debian-sources -DVELDRIN_WEB_OUT=build/web
# Every folder is the desktop's but the port (platform/web); libmpg123, libpng, zlib and KissFFT
# are compiled here from Debian's own source packages, which tools/debian-sources.sh fetches into
# VELDRIN_WEB_SOURCES.
# The page is VELDRIN_WEB_OUT: index.html, veldrin.js and veldrin.wasm (the images and the track
# inside), the tab's icon, and the link preview's poster that web.sh draws with the desktop program.
set(deps "${VELDRIN_WEB_SOURCES}")
if(NOT deps OR NOT EXISTS "${deps}/mpg123/src/libmpg123/libmpg123.c")
  message(FATAL_ERROR "VELDRIN_WEB_SOURCES must name the folder tools/debian-sources.sh fetches Debian's sources into")
endif()
if(NOT VELDRIN_WEB_OUT)
  set(VELDRIN_WEB_OUT "${CMAKE_BINARY_DIR}/page")
endif()

# --- Debian's libraries, built the way their packages build them, with emcc ----------------------
add_library(web_zlib STATIC)
foreach(f adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees trees uncompr
          zutil)
  target_sources(web_zlib PRIVATE "${deps}/zlib/${f}.c")
endforeach()
target_include_directories(web_zlib SYSTEM PUBLIC "${deps}/zlib")
target_compile_options(web_zlib PRIVATE -O2 -w)

configure_file("${deps}/libpng/scripts/pnglibconf.h.prebuilt" "${CMAKE_BINARY_DIR}/libpng/pnglibconf.h" COPYONLY)
add_library(web_png STATIC)
foreach(f png pngerror pngget pngmem pngpread pngread pngrio pngrtran pngrutil pngset pngtrans pngwio pngwrite pngwtran
          pngwutil)
  target_sources(web_png PRIVATE "${deps}/libpng/${f}.c")
endforeach()
target_include_directories(web_png SYSTEM PUBLIC "${deps}/libpng" "${CMAKE_BINARY_DIR}/libpng")
target_compile_options(web_png PRIVATE -O2 -w)
target_link_libraries(web_png PUBLIC web_zlib)

add_library(web_kissfft STATIC "${deps}/kissfft/kiss_fft.c" "${deps}/kissfft/kiss_fftr.c")
target_include_directories(web_kissfft SYSTEM PUBLIC "${deps}/kissfft")
target_compile_definitions(web_kissfft PUBLIC kiss_fft_scalar=float)
target_compile_options(web_kissfft PRIVATE -O3 -ffast-math -fomit-frame-pointer -w)

# libmpg123 with its generic floating-point decoder; its public header is made from the template
# as its configure script makes it.
set(mpg123 "${deps}/mpg123/src")
set(PACKAGE_VERSION 1.31.2)
set(API_VERSION 47)
set(INCLUDE_STDLIB_H "#include <stdlib.h>")
set(INCLUDE_SYS_TYPE_H "#include <sys/types.h>")
set(BUILD_NO_LARGENAME 1)
configure_file("${mpg123}/libmpg123/mpg123.h.in" "${CMAKE_BINARY_DIR}/mpg123/mpg123.h" @ONLY)
configure_file("${CMAKE_SOURCE_DIR}/platform/web/mpg123_config.h" "${CMAKE_BINARY_DIR}/mpg123/config.h" COPYONLY)
add_library(web_mpg123 STATIC)
foreach(f parse frame format dct64 equalizer id3 icy icy2utf8 optimize readers tabinit libmpg123 index stringbuf
          feature layer1 layer2 layer3 ntom synth synth_8bit synth_real synth_s32 lfs_alias)
  target_sources(web_mpg123 PRIVATE "${mpg123}/libmpg123/${f}.c")
endforeach()
target_sources(web_mpg123 PRIVATE "${mpg123}/compat/compat.c" "${mpg123}/compat/compat_str.c")
target_include_directories(web_mpg123 SYSTEM PUBLIC "${CMAKE_BINARY_DIR}/mpg123" "${mpg123}/libmpg123")
target_include_directories(web_mpg123 PRIVATE "${mpg123}" "${mpg123}/compat")
target_compile_definitions(web_mpg123 PRIVATE HAVE_CONFIG_H OPT_GENERIC REAL_IS_FLOAT)
target_compile_options(web_mpg123 PRIVATE -O2 -fomit-frame-pointer -funroll-all-loops -finline-functions -ffast-math -w)

# --- The program -----------------------------------------------------------------------------------
# The outside libraries under the names the folders link, as the desktop's build names its own.
add_library(veldrin_lib_png INTERFACE)
target_link_libraries(veldrin_lib_png INTERFACE web_png)
add_library(veldrin_lib_mpg123 INTERFACE)
target_link_libraries(veldrin_lib_mpg123 INTERFACE web_mpg123)
add_library(veldrin_lib_kissfft INTERFACE)
target_link_libraries(veldrin_lib_kissfft INTERFACE web_kissfft)
# The GL is the port's own (platform/web/gl1.h, over WebGL 2).
add_library(veldrin_gl INTERFACE)

include(cmake/folders.cmake)

set_target_properties(veldrin PROPERTIES SUFFIX ".js" RUNTIME_OUTPUT_DIRECTORY "${VELDRIN_WEB_OUT}")
target_link_options(veldrin PRIVATE
    -sENVIRONMENT=web
    -sMODULARIZE=1
    -sEXPORT_NAME=veldrin
    -sINVOKE_RUN=0
    -sEXIT_RUNTIME=0
    -sEXPORTED_RUNTIME_METHODS=callMain
    -sMIN_WEBGL_VERSION=2
    -sMAX_WEBGL_VERSION=2
    -sALLOW_MEMORY_GROWTH=1
    -sINITIAL_MEMORY=33554432
    -sTOTAL_STACK=1048576
    -sTEXTDECODER=2)
# The link preview's addresses: absolute where the page's own address is known (VELDRIN_WEB_URL,
# ./web.sh --url), as chats and feeds need them; else relative to the page.
set(VELDRIN_WEB_URL "" CACHE STRING "The address the page is served from, for its link preview")
if(VELDRIN_WEB_URL)
  set(VELDRIN_PAGE_URL "${VELDRIN_WEB_URL}")
  if(NOT VELDRIN_PAGE_URL MATCHES "/$")
    string(APPEND VELDRIN_PAGE_URL "/")
  endif()
else()
  set(VELDRIN_PAGE_URL "./")
endif()
set(VELDRIN_PAGE_DESCRIPTION
    "A real-time demo, 3:07 with its music: clouds, a knot of tumbling boxes, crackling laser bolts and pulsing dodecahedra, drawn live in the browser.")
set(VELDRIN_POSTER_ALT "Red boxes tumbling through a dark purple nebula, a greetings card in the middle")
configure_file("${CMAKE_SOURCE_DIR}/platform/web/index.html" "${VELDRIN_WEB_OUT}/index.html" @ONLY)
configure_file("${CMAKE_SOURCE_DIR}/assets/icon32.png" "${VELDRIN_WEB_OUT}/icon32.png" COPYONLY)
