# kestrelio_headers(<target> <folder> [FILES <name.h>...])
#
# Makes the headers directly in <folder> (a path under the source root) reachable as
# "<folder>/<name>.h" from <target> and from whatever links it, and from nothing else:
# each target gets its own include root under the build tree holding links to exactly
# its headers. A header of a library a target does not link is therefore not found,
# which keeps the layer graph the one that the CMake files state. FILES limits the
# export to the named headers (a port that lives in a higher module's folder).
function(kestrelio_headers target folder)
  cmake_parse_arguments(ARG "" "" "FILES" ${ARGN})
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  set(dest ${root}/${folder})
  if(ARG_FILES)
    set(headers)
    foreach(name ${ARG_FILES})
      list(APPEND headers ${CMAKE_SOURCE_DIR}/${folder}/${name})
    endforeach()
  else()
    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.h)
  endif()
  file(REMOVE_RECURSE ${dest})
  file(MAKE_DIRECTORY ${dest})
  foreach(header ${headers})
    get_filename_component(name ${header} NAME)
    file(CREATE_LINK ${header} ${dest}/${name} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# kestrelio_tree(<target> <folder>)
#
# An interface target that makes everything under <folder> reachable as "<folder>/...":
# for the test, benchmark and fuzz trees, whose helpers are shared across their own
# subfolders but belong to no module.
function(kestrelio_tree target folder)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(REMOVE ${root}/${folder})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE)
  target_include_directories(${target} INTERFACE ${root})
endfunction()
