# The release configuration (TOVAN_RELEASE, preset windows-release): tovan.exe
# is built from this repository and linked against a prebuilt embedding and
# prebuilt plugin libraries; the bundle takes them and the compiled application
# from three folders. Nothing of devkit/ is configured, built or copied.
#
#   TOVAN_ENGINE_DIR   the engine release: flutter_windows.dll, its import
#                      library flutter_windows.dll.lib, and icudtl.dat.
#   TOVAN_PLUGINS_DIR  the nine plugin libraries (cmake/plugins.txt), each <name>.dll with its
#                      import library <name>.lib beside it, either directly in
#                      the folder or in a subfolder, as a plugin build tree
#                      lays them out (<package>/Release/<name>.dll). Each
#                      must be found once: a tree holding both a Debug and a
#                      Release build is refused as ambiguous.
#   TOVAN_APP_DIR      the compiled application, as a Flutter build writes its
#                      data folder: app.so and the folder flutter_assets/.
#
# A missing folder or file stops the configure step with one message that
# names every missing piece and the folder it was looked for in.
#
# Our development embedding (devkit/embedding) is refused as the engine: it
# exports functions of its own (FlutterDevkit...) that no engine release has.
# Only a development package (TOVAN_DEVKIT_PACKAGE, preset
# windows-devkit-package, built by scripts/package without folders into its
# own tree and output folder, under a name that says NOT-FOR-RELEASE) takes it.

set(TOVAN_ENGINE_DIR "" CACHE PATH "Engine release folder: flutter_windows.dll, flutter_windows.dll.lib, icudtl.dat")
set(TOVAN_PLUGINS_DIR "" CACHE PATH "Plugin libraries folder: <name>.dll and <name>.lib for each of the nine plugins")
set(TOVAN_APP_DIR "" CACHE PATH "Compiled application folder: app.so and flutter_assets/")
option(TOVAN_DEVKIT_PACKAGE "A development package from the staged development embedding; never a release" OFF)

if(NOT WIN32)
  message(FATAL_ERROR "TOVAN_RELEASE builds the Windows host; configure it with a Windows toolchain "
                      "(preset windows-release)")
endif()

set(_tovan_problems "")

# Checks that the cache variable VAR names an existing folder; answers its
# absolute path in OUT, or adds a problem and answers an empty text.
function(_tovan_release_folder var what out)
  set(dir "${${var}}")
  set(problem "")
  if(dir STREQUAL "")
    set(problem "${var} is not set: name the ${what} with -D${var}=DIR")
  else()
    get_filename_component(dir "${dir}" ABSOLUTE BASE_DIR "${CMAKE_BINARY_DIR}")
    if(NOT IS_DIRECTORY "${dir}")
      set(problem "${var}: the ${what} ${dir} does not exist")
    endif()
  endif()
  if(problem)
    set(_tovan_problems "${_tovan_problems}\n  ${problem}" PARENT_SCOPE)
    set(${out} "" PARENT_SCOPE)
  else()
    set(${out} "${dir}" PARENT_SCOPE)
  endif()
endfunction()

# Adds a problem for every entry of ARGN (a file, or a folder ending in "/")
# missing from the folder DIR of the cache variable VAR.
function(_tovan_release_require var dir)
  foreach(entry IN LISTS ARGN)
    if(entry MATCHES "/$")
      string(REGEX REPLACE "/$" "" name "${entry}")
      if(NOT IS_DIRECTORY "${dir}/${name}")
        set(_tovan_problems "${_tovan_problems}\n  ${var}: missing the folder ${entry} in ${dir}")
      endif()
    elseif(NOT EXISTS "${dir}/${entry}" OR IS_DIRECTORY "${dir}/${entry}")
      set(_tovan_problems "${_tovan_problems}\n  ${var}: missing ${entry} in ${dir}")
    endif()
  endforeach()
  set(_tovan_problems "${_tovan_problems}" PARENT_SCOPE)
endfunction()

_tovan_release_folder(TOVAN_ENGINE_DIR "engine release folder" _tovan_engine_dir)
_tovan_release_folder(TOVAN_PLUGINS_DIR "plugin libraries folder" _tovan_plugins_dir)
_tovan_release_folder(TOVAN_APP_DIR "compiled application folder" _tovan_app_dir)

if(_tovan_engine_dir)
  _tovan_release_require(TOVAN_ENGINE_DIR "${_tovan_engine_dir}"
                         flutter_windows.dll flutter_windows.dll.lib icudtl.dat)
  # The export table keeps each exported name as a NUL-terminated text, which
  # file(STRINGS) finds on any host, Windows and MSVC included.
  if(NOT TOVAN_DEVKIT_PACKAGE AND EXISTS "${_tovan_engine_dir}/flutter_windows.dll")
    file(STRINGS "${_tovan_engine_dir}/flutter_windows.dll" _tovan_devkit_exports
         REGEX "^FlutterDevkit[A-Za-z]+$" LIMIT_COUNT 1)
    if(_tovan_devkit_exports)
      string(APPEND _tovan_problems
             "\n  TOVAN_ENGINE_DIR: ${_tovan_engine_dir}/flutter_windows.dll is our development "
             "embedding (it exports ${_tovan_devkit_exports}), which is never released; name the "
             "engine release, or make a development package with scripts/package without folders")
    endif()
  endif()
endif()
if(_tovan_app_dir)
  _tovan_release_require(TOVAN_APP_DIR "${_tovan_app_dir}" app.so flutter_assets/)
endif()

set(_tovan_plugin_dlls "")
if(_tovan_plugins_dir)
  foreach(_tovan_name IN LISTS TOVAN_PLUGIN_LIBRARIES)
    file(GLOB_RECURSE _tovan_found LIST_DIRECTORIES false "${_tovan_plugins_dir}/${_tovan_name}.dll")
    list(LENGTH _tovan_found _tovan_count)
    if(_tovan_count EQUAL 0)
      string(APPEND _tovan_problems "\n  TOVAN_PLUGINS_DIR: missing ${_tovan_name}.dll in "
                                    "${_tovan_plugins_dir} or its subfolders")
    elseif(_tovan_count GREATER 1)
      list(JOIN _tovan_found ", " _tovan_found)
      string(APPEND _tovan_problems
             "\n  TOVAN_PLUGINS_DIR: ${_tovan_name}.dll found more than once (${_tovan_found}); "
             "the folder must hold one build of each plugin, the one to ship")
    else()
      get_filename_component(_tovan_dir "${_tovan_found}" DIRECTORY)
      _tovan_release_require(TOVAN_PLUGINS_DIR "${_tovan_dir}" ${_tovan_name}.lib)
      list(APPEND _tovan_plugin_dlls "${_tovan_found}")
    endif()
  endforeach()
endif()

if(_tovan_problems)
  message(FATAL_ERROR "The release configuration cannot use its prebuilt folders:${_tovan_problems}")
endif()

# The embedding and the plugins as imported libraries: the import library to
# link, the DLL to ship. GLOBAL so that runner/ sees them.
add_library(tovan_release_embedding SHARED IMPORTED GLOBAL)
set_target_properties(tovan_release_embedding PROPERTIES
  IMPORTED_LOCATION "${_tovan_engine_dir}/flutter_windows.dll"
  IMPORTED_IMPLIB "${_tovan_engine_dir}/flutter_windows.dll.lib")

set(TOVAN_RELEASE_PLUGINS "")
foreach(_tovan_dll IN LISTS _tovan_plugin_dlls)
  get_filename_component(_tovan_name "${_tovan_dll}" NAME_WE)
  get_filename_component(_tovan_dir "${_tovan_dll}" DIRECTORY)
  add_library(tovan_release_${_tovan_name} SHARED IMPORTED GLOBAL)
  set_target_properties(tovan_release_${_tovan_name} PROPERTIES
    IMPORTED_LOCATION "${_tovan_dll}"
    IMPORTED_IMPLIB "${_tovan_dir}/${_tovan_name}.lib")
  list(APPEND TOVAN_RELEASE_PLUGINS tovan_release_${_tovan_name})
endforeach()

set(TOVAN_RELEASE_ENGINE_DIR "${_tovan_engine_dir}")
set(TOVAN_RELEASE_APP_DIR "${_tovan_app_dir}")

# tovan_deploy_release(target)
# Lays out the bundle beside the executable on every build, so that it always
# matches the folders named now: flutter_windows.dll and the plugin DLLs, and
# data/ with the engine's icudtl.dat and the application's app.so and
# flutter_assets/. data/ is rebuilt each time, and every other DLL beside the
# executable (one of an earlier configuration, which copy_if_different would
# leave there) is removed, so nothing dropped from the folders lingers.
function(tovan_deploy_release target)
  set(dlls $<TARGET_FILE:tovan_release_embedding>)
  set(names flutter_windows.dll)
  foreach(plugin IN LISTS TOVAN_RELEASE_PLUGINS)
    list(APPEND dlls $<TARGET_FILE:${plugin}>)
    list(APPEND names $<TARGET_FILE_NAME:${plugin}>)
  endforeach()
  set(bundle $<TARGET_FILE_DIR:${target}>)
  list(JOIN names "," names)
  add_custom_target(${target}_bundle ALL
    COMMAND ${CMAKE_COMMAND} -DBUNDLE=${bundle} -DKEEP=${names}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/PruneBundleDlls.cmake
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dlls} ${bundle}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${bundle}/data
    COMMAND ${CMAKE_COMMAND} -E make_directory ${bundle}/data
    COMMAND ${CMAKE_COMMAND} -E copy ${TOVAN_RELEASE_ENGINE_DIR}/icudtl.dat ${TOVAN_RELEASE_APP_DIR}/app.so
            ${bundle}/data
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${TOVAN_RELEASE_APP_DIR}/flutter_assets
            ${bundle}/data/flutter_assets
    DEPENDS ${target}
    COMMENT "Laying out the release bundle beside ${target}"
    VERBATIM)
endfunction()
