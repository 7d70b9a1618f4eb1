# One library a folder, whose headers only the targets that link it can include.
#
# Every include names its folder from the top of the tree ("gfx/vec3.h"). Instead of the top of
# the tree, a folder's library puts a view of its own on the include path: a folder in the build
# tree holding nothing but a link to that one source folder. A file sees the folders of the
# libraries it links and no others, so an include that points up the house (from gfx/ into app/,
# from platform/ into sound/) is refused by the compiler: no such file.
#
#   veldrin_folder_library(TARGET FOLDER SOURCES...)   a static library of FOLDER's sources
#   veldrin_folder_view(TARGET FOLDER)                  TARGET's include path gets FOLDER's view

function(veldrin_view_of folder out)
  string(MAKE_C_IDENTIFIER "${folder}" id)
  set(view "${CMAKE_BINARY_DIR}/views/${id}")
  if(NOT IS_SYMLINK "${view}/${folder}")
    get_filename_component(parent "${view}/${folder}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "${CMAKE_SOURCE_DIR}/${folder}" "${view}/${folder}" SYMBOLIC)
  endif()
  set(${out} "${view}" PARENT_SCOPE)
endfunction()

function(veldrin_folder_view target folder)
  veldrin_view_of("${folder}" view)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE "${view}")
  else()
    target_include_directories(${target} PUBLIC "${view}")
  endif()
endfunction()

function(veldrin_folder_library target folder)
  add_library(${target} STATIC ${ARGN})
  veldrin_folder_view(${target} "${folder}")
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${VELDRIN_WARNINGS}>)
endfunction()
