# The folders of src/ are layers. Each layer target sees only its own folders
# and those of the layers it links: its include root is a folder of its own
# under the build tree that links to just those source folders, so an
# include that reaches back to a later layer does not compile.

set(KS_LAYER_INCLUDE_ROOT ${CMAKE_BINARY_DIR}/layers)

option(KS_LAYER_FORWARDING "Forwarding headers instead of links in the layers' include roots" OFF)

# A header in an include root that includes its source by absolute path,
# where links cannot be made: an edit to the source is seen at once.
function(_ks_forward from to)
  file(CONFIGURE OUTPUT ${to} CONTENT "// Forwards to the layer's source header.\n#include \"${from}\"\n")
endfunction()

# Makes `to` show `from` (a folder or a header): a symbolic link, or where
# the host makes none (or KS_LAYER_FORWARDING asks), a forwarding header for
# each header below it. Copies would go stale.
function(_ks_link_into from to)
  get_filename_component(parent ${to} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(IS_SYMLINK ${to})
    return()
  endif()
  if(NOT KS_LAYER_FORWARDING AND NOT EXISTS ${to})
    file(CREATE_LINK ${from} ${to} RESULT linked SYMBOLIC)
    if(linked EQUAL 0)
      return()
    endif()
  endif()
  if(IS_DIRECTORY ${from})
    file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${from} ${from}/*.h)
    foreach(header IN LISTS headers)
      _ks_forward(${from}/${header} ${to}/${header})
    endforeach()
  else()
    _ks_forward(${from} ${to})
  endif()
endfunction()

# ks_expose(TARGET [FOLDERS src-folder...] [HEADERS_OF src-folder...])
#   FOLDERS:    the whole folder, as "<folder>/..." (for example media)
#   HEADERS_OF: only the headers directly in the folder, not its sub-folders,
#               which are layers of their own (platform and its backends)
function(ks_expose target)
  cmake_parse_arguments(ARG "" "" "FOLDERS;HEADERS_OF" ${ARGN})
  set(root ${KS_LAYER_INCLUDE_ROOT}/${target})
  foreach(folder IN LISTS ARG_FOLDERS)
    _ks_link_into(${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder})
  endforeach()
  foreach(folder IN LISTS ARG_HEADERS_OF)
    file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.h)
    foreach(header IN LISTS headers)
      get_filename_component(name ${header} NAME)
      _ks_link_into(${header} ${root}/${folder}/${name})
    endforeach()
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
