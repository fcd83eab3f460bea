# The facts every part of the build shares, each read from its one source:
#
#   VERSION            the program's version, X.Y.Z+B (release X.Y.Z, build B).
#                      TOVAN_VERSION is the text, TOVAN_VERSION_MAJOR/_MINOR/
#                      _PATCH/_BUILD its numbers. scripts/package and the
#                      release test read the same file.
#   cmake/plugins.txt  the plugins that live in their own libraries, in
#                      registration order: TOVAN_PLUGIN_LIBRARIES (file names
#                      without .dll), TOVAN_PLUGIN_FUNCTIONS, TOVAN_PLUGIN_NAMES.
#
# The target tovan_product_info gives C++ and resource sources the generated
# header tovan_product_info.h: the version as numbers and text, and the plugin
# list as the macro TOVAN_EXTERNAL_PLUGINS(X), X(library, function, "name").
# Included before project(), so that the project carries the same version.

set(_tovan_info_dir ${CMAKE_CURRENT_LIST_DIR})
set(_tovan_root ${CMAKE_CURRENT_LIST_DIR}/..)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${_tovan_root}/VERSION ${CMAKE_CURRENT_LIST_DIR}/plugins.txt)

file(STRINGS ${_tovan_root}/VERSION TOVAN_VERSION LIMIT_COUNT 1)
string(STRIP "${TOVAN_VERSION}" TOVAN_VERSION)
if(NOT TOVAN_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\+([0-9]+)$")
  message(FATAL_ERROR "VERSION holds '${TOVAN_VERSION}', not X.Y.Z+B (for example 2.0.6+0)")
endif()
set(TOVAN_VERSION_MAJOR ${CMAKE_MATCH_1})
set(TOVAN_VERSION_MINOR ${CMAKE_MATCH_2})
set(TOVAN_VERSION_PATCH ${CMAKE_MATCH_3})
set(TOVAN_VERSION_BUILD ${CMAKE_MATCH_4})

set(TOVAN_PLUGIN_LIBRARIES "")
set(TOVAN_PLUGIN_FUNCTIONS "")
set(TOVAN_PLUGIN_NAMES "")
set(_tovan_plugin_macro "")
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/plugins.txt _tovan_lines REGEX "^[^#]")
foreach(_tovan_line IN LISTS _tovan_lines)
  if(NOT _tovan_line MATCHES "^([A-Za-z0-9_]+)[ \t]+([A-Za-z0-9_]+)[ \t]+([A-Za-z0-9_]+)[ \t]*$")
    message(FATAL_ERROR "cmake/plugins.txt: '${_tovan_line}' is not: library function name")
  endif()
  list(APPEND TOVAN_PLUGIN_LIBRARIES ${CMAKE_MATCH_1})
  list(APPEND TOVAN_PLUGIN_FUNCTIONS ${CMAKE_MATCH_2})
  list(APPEND TOVAN_PLUGIN_NAMES ${CMAKE_MATCH_3})
  string(APPEND _tovan_plugin_macro
         " \\\n  X(${CMAKE_MATCH_1}, ${CMAKE_MATCH_2}, \"${CMAKE_MATCH_3}\")")
endforeach()

# tovan_product_info(): after project(), writes the header and makes its target.
macro(tovan_product_info)
  set(TOVAN_EXTERNAL_PLUGINS_MACRO "${_tovan_plugin_macro}")
  configure_file(${_tovan_info_dir}/tovan_product_info.h.in
                 ${CMAKE_BINARY_DIR}/generated/tovan_product_info.h @ONLY)
  add_library(tovan_product_info INTERFACE)
  target_include_directories(tovan_product_info INTERFACE ${CMAKE_BINARY_DIR}/generated)
endmacro()
