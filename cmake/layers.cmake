# The folders of src/ are layers. Each layer target sees only its own folders
# and those of the layers it links: its include root is a folder of its own
# under the build tree that links to just those source folders, so an
# include that reaches back to a later layer does not compile.

set(KS_LAYER_INCLUDE_ROOT ${CMAKE_BINARY_DIR}/layers)

function(_ks_link_into from to)
  get_filename_component(parent ${to} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT IS_SYMLINK ${to})
    file(CREATE_LINK ${from} ${to} SYMBOLIC COPY_ON_ERROR)
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
