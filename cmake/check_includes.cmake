# Fails when a quoted include in the program's sources names no folder, or
# climbs with "..": every include names its layer's folder from an include
# root, so the layers' roots decide what each layer can see. A file's own
# folder, which the compiler searches first, would get round them.
#   cmake -DSOURCE_DIR=<src> -P check_includes.cmake

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_includes: SOURCE_DIR is not set")
endif()
file(GLOB_RECURSE sources ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
set(offences "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" name "${line}")
    if(NOT name MATCHES "/" OR name MATCHES "(^|/)\\.\\.(/|$)" OR name MATCHES "^\\./")
      file(RELATIVE_PATH where ${SOURCE_DIR} ${source})
      string(APPEND offences "  ${where}: #include \"${name}\"\n")
    endif()
  endforeach()
endforeach()
list(LENGTH sources count)
if(offences)
  message(FATAL_ERROR "Quoted includes must name their folder from an include root, without \"..\":\n${offences}")
endif()
message(STATUS "check_includes: ${count} files, every quoted include names its folder")
