# tovan_channel: embedding declarations, messenger, method channel, registrars, engine and view.
#
# The FlutterDesktop* functions come from the embedding library. On Windows
# that is the import library of flutter_windows.dll (the development DLL target
# `flutter_windows` in devkit/embedding, or a consumer-provided one); natively
# they are left unresolved here and supplied by the test's fake embedding.
add_library(tovan_channel STATIC
  ${CMAKE_CURRENT_LIST_DIR}/binary_messenger_impl.cc
  ${CMAKE_CURRENT_LIST_DIR}/engine_reply.cc
  ${CMAKE_CURRENT_LIST_DIR}/engine_method_result.cc
  ${CMAKE_CURRENT_LIST_DIR}/method_call_channel.cc
  ${CMAKE_CURRENT_LIST_DIR}/plugin_registrar.cc
  ${CMAKE_CURRENT_LIST_DIR}/registrar_cache.cc
  ${CMAKE_CURRENT_LIST_DIR}/texture_registrar.cc
  ${CMAKE_CURRENT_LIST_DIR}/flutter_engine.cc
  ${CMAKE_CURRENT_LIST_DIR}/flutter_view.cc
  ${CMAKE_CURRENT_LIST_DIR}/flutter_view_controller.cc
)
target_include_directories(tovan_channel PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tovan_channel PUBLIC tovan_channel_core)
tovan_warnings(tovan_channel)
tovan_windows_defaults(tovan_channel)
if(WIN32)
  # devkit/ is configured after channel/, so the link is resolved when the
  # target exists by generation time.
  target_link_libraries(tovan_channel PUBLIC $<$<TARGET_EXISTS:flutter_windows>:flutter_windows>)
endif()
