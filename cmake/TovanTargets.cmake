# Warning policy and helpers shared by every folder of the project.

# Applies the project's warning level to one of its own targets. Third-party
# code (GoogleTest) is left at its own level.
function(tovan_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive-)
    if(TOVAN_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor
                                             -Wcast-align -Woverloaded-virtual -Wformat=2)
    if(TOVAN_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()

# Windows code is built for Windows 10 and up with wide Win32 entry points.
function(tovan_windows_defaults target)
  if(WIN32)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                 _WIN32_WINNT=0x0A00 WINVER=0x0A00)
  endif()
endfunction()

# GoogleTest is built from Debian's googletest sources so that it uses the
# same compiler, runtime and sanitizers as the code under test.
function(tovan_use_googletest)
  if(NOT TARGET gtest)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
endfunction()

# tovan_add_test(NAME name SOURCES ... LIBS ... [NO_MAIN])
# One test program, registered with ctest as one test. Under Wine every
# program start costs a few hundred milliseconds, so a test program is one
# ctest entry rather than one entry per case.
function(tovan_add_test)
  cmake_parse_arguments(T "NO_MAIN" "NAME;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  tovan_use_googletest()
  add_executable(${T_NAME} ${T_SOURCES})
  tovan_warnings(${T_NAME})
  tovan_windows_defaults(${T_NAME})
  if(T_NO_MAIN)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest gmock)
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest_main gmock)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_ENV)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
  # Under Wine, ctest runs tests side by side (scripts/test: ctest -j) in one
  # prefix on one display. A program that shows windows or touches what the
  # whole prefix shares (registry values, the shell, the sound server, the
  # profile folders) takes turns with the others of its kind.
  if(WIN32 AND NOT T_NAME IN_LIST TOVAN_WINE_ISOLATED_TESTS)
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK wine_desktop)
  endif()
endfunction()

# Windows test programs that need nothing of the prefix's shared state (fakes
# and codecs only, no window; the fault probes get profile and temporary
# folders of their own): they run beside any other.
set(TOVAN_WINE_ISOLATED_TESTS
  encodable_value_test standard_codec_test method_codec_test channel_embedding_fake_test
  channel_notation_test audio_argument_rules_test audio_plugin_test runner_entry_arguments_test
  crash_report_test)
