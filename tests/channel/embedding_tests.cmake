# Tests of the messenger, method channel, registrars, engine and view wrappers.
#
# Natively they run against the fake embedding (tovan_fake_embedding), which
# other folders' native tests may link as well; on Windows the end-to-end test
# drives the same classes through the development flutter_windows.dll.
if(NOT WIN32)
  add_library(tovan_fake_embedding STATIC ${CMAKE_CURRENT_LIST_DIR}/fake_embedding.cc)
  target_include_directories(tovan_fake_embedding PUBLIC ${PROJECT_SOURCE_DIR})
  tovan_warnings(tovan_fake_embedding)

  foreach(concept binary_messenger method_call_channel plugin_registrar flutter_engine)
    tovan_add_test(NAME channel_${concept}_test
      SOURCES ${CMAKE_CURRENT_LIST_DIR}/${concept}_test.cc
      LIBS tovan_channel tovan_fake_embedding)
  endforeach()
endif()

# On Windows: the same classes through the development flutter_windows.dll,
# which delivers messages as the UI would (needs a display: xvfb-run).
if(WIN32)
  # The same fake-embedding tests as natively, under the Windows runtime.
  # tovan_channel_with_fake_embedding is the channel layer and the fake in one
  # static library, for Windows test programs that must not load the DLL: its
  # sources are compiled with FLUTTER_DESKTOP_LIBRARY, so the declarations
  # name the fake's local definitions instead of DLL imports. A test links it
  # instead of tovan_channel.
  get_target_property(_channel_sources tovan_channel SOURCES)
  add_library(tovan_channel_with_fake_embedding STATIC
    ${_channel_sources} ${CMAKE_CURRENT_LIST_DIR}/fake_embedding.cc)
  target_compile_definitions(tovan_channel_with_fake_embedding PUBLIC FLUTTER_DESKTOP_LIBRARY)
  target_include_directories(tovan_channel_with_fake_embedding PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(tovan_channel_with_fake_embedding PUBLIC tovan_channel_core)
  tovan_warnings(tovan_channel_with_fake_embedding)
  tovan_windows_defaults(tovan_channel_with_fake_embedding)

  set(_fake_tests)
  foreach(concept binary_messenger method_call_channel plugin_registrar flutter_engine)
    list(APPEND _fake_tests ${CMAKE_CURRENT_LIST_DIR}/${concept}_test.cc)
  endforeach()
  tovan_add_test(NAME channel_embedding_fake_test
    SOURCES ${_fake_tests}
    LIBS tovan_channel_with_fake_embedding)
endif()

if(WIN32 AND TARGET flutter_windows)
  tovan_add_test(NAME channel_end_to_end_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/channel_end_to_end_test.cc
    LIBS tovan_channel tovan_devkit_test_support)
  tovan_deploy_development_embedding(channel_end_to_end_test)
endif()
